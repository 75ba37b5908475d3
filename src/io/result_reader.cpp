// Reader of result folders (layout in result_folder.h).
//
// Everything is read into new records and checked before the current case is
// touched; a damaged folder gives a message naming the file and the fault and
// leaves the state as it was.

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <new>

#include "grid/geometry.h"
#include "io/case_checks.h"
#include "io/far_field_file.h"
#include "io/result_folder.h"
#include "io/case_tree.h"
#include "io/staged_folder.h"
#include "io/text_file.h"
#include "io/volume_arrays.h"
#include "state/text_input.h"

namespace brelvik {

using io_detail::fail;
using io_detail::joinPath;
using io_detail::TokenReader;

namespace {

// Bounds that keep a damaged count from driving huge allocations or loops;
// they are far above anything the program builds (6 volumes, 4 planes,
// 10-point stencils).
constexpr int kMaxVolumes = 1000;
constexpr int kMaxPlanes = 64;

bool exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

bool loadText(const std::string& path, std::string& storage, std::string* error) {
  std::string why;
  if (!io_detail::readWholeFile(path, storage, &why)) {
    if (why == "is missing") return fail(error, path + ": file is missing");
    return fail(error, path + ": file " + why);
  }
  return true;
}

// A regular file of at most kMaxInputFileBytes (checked before reading, so
// that a FIFO or a device in its place is named instead of read).
bool checkRegular(const std::string& path, std::string* error) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return fail(error, path + ": file is missing");
  if (!S_ISREG(st.st_mode)) return fail(error, path + ": file is not a regular file");
  if (uint64_t(st.st_size) > kMaxInputFileBytes)
    return fail(error, path + ": file is larger than " + std::to_string(kMaxInputFileBytes >> 20) +
                           " MiB");
  return true;
}

bool expectEnd(TokenReader& r, std::string* error) {
  if (r.atEnd()) return true;
  return fail(error, r.path() + ": unexpected content after value " + std::to_string(r.position()));
}

std::string pointText(int i, int j, int k) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "(%d,%d,%d)", i, j, k);
  return buf;
}

// Reads the slice files <dir>/0.txt .. <dir>/<Nx>.txt (those `planes`
// selects) through `slice` and hands every value to put(n, value) with n the
// linear point index.
template <class Put>
bool readSlices(ValueTable& slice, const std::string& dir, const FiniteVolume& vol, Put put,
                std::string* error, const SliceSelection& planes = {}) {
  slice.resize(vol.Ny + 1, vol.Nz + 1);
  for (int i = 0; i <= vol.Nx; ++i) {
    if (planes && !planes(i)) continue;
    const std::string path = joinPath(dir, std::to_string(i) + ".txt");
    if (!checkRegular(path, error)) return false;
    if (!slice.readText(path))
      return fail(error, path + ": truncated or not a table of numbers");
    if (slice.rowCount() != vol.Ny + 1 || slice.colCount() != vol.Nz + 1) {
      return fail(error, path + ": table of " + std::to_string(slice.rowCount()) + " x " +
                             std::to_string(slice.colCount()) + " values, expected " +
                             std::to_string(vol.Ny + 1) + " x " + std::to_string(vol.Nz + 1));
    }
    for (int j = 0; j <= vol.Ny; ++j) {
      const ValueSeries& row = slice.row(j);
      for (int k = 0; k <= vol.Nz; ++k) {
        if (!put(pointIndex(vol, i, j, k), row.item(k), path, i, j, k, error)) return false;
      }
    }
  }
  return true;
}

bool checkSize(const std::vector<double>& values, size_t perPoint, const FiniteVolume& vol,
               const std::string& dir, std::string* error) {
  if (values.size() == perPoint * static_cast<size_t>(vol.pointCount())) return true;
  return fail(error, "cannot read " + dir + ": the volume's arrays are not allocated");
}

}  // namespace

// Every slice file a volume's arrays are read from must be present as a
// regular file large enough for its (Ny+1) x (Nz+1) values (at least a digit
// and a separator each) before the arrays are allocated: a damaged count
// must not allocate gigabytes only to find the files missing.
bool checkSliceFilesPresent(const std::string& dir, const FiniteVolume& vol,
                            const SliceSelection& flowPlanes, std::string* error) {
  const uint64_t minBytes = 2 * uint64_t(vol.Ny + 1) * uint64_t(vol.Nz + 1);
  int folderIndex = 0;
  for (const char* folder : io_detail::kSliceFolders) {
    const bool flow = folderIndex++ < io_detail::kFlowSliceFolders;
    for (int i = 0; i <= vol.Nx; ++i) {
      if (flow && flowPlanes && !flowPlanes(i)) continue;
      const std::string path = joinPath(joinPath(dir, folder), std::to_string(i) + ".txt");
      struct stat st {};
      if (::stat(path.c_str(), &st) != 0) return fail(error, path + ": file is missing");
      if (!S_ISREG(st.st_mode)) return fail(error, path + ": file is not a regular file");
      if (uint64_t(st.st_size) < minBytes)
        return fail(error, path + ": file of " + std::to_string(st.st_size) +
                               " bytes cannot hold the " + std::to_string(vol.Ny + 1) + " x " +
                               std::to_string(vol.Nz + 1) + " values of a slice");
    }
  }
  return true;
}

bool readCaseHeader(const std::string& path, CaseHeader& h, std::string* error) {
  std::string text;
  if (!loadText(path, text, error)) return false;
  TokenReader r(std::move(text), path);
  CaseHeader in;
  const bool ok =
      r.readDouble(in.physicalTime, "physicalTime", error) &&
      r.readInt(in.stepCount, "stepCount", error) &&
      r.readInt(in.schemeOrder, "schemeOrder", error) && r.readDouble(in.dt, "dt", error) &&
      r.readDouble(in.k, "k", error) && r.readDouble(in.Re, "Re", error) &&
      r.readDouble(in.M, "M", error) && r.readDouble(in.Pr, "Pr", error) &&
      r.readInt(in.volumeCount, "volumeCount", error) &&
      r.readInt(in.interpolTotal, "interpolTotal", error) &&
      r.readInt(in.interpolProcessed, "interpolProcessed", error) &&
      r.readDouble(in.Cx, "Cx", error) && r.readDouble(in.Cp, "Cp", error) &&
      r.readDouble(in.Cf, "Cf", error) && r.readInt(in.historyCounter, "historyCounter", error) &&
      r.readInt(in.historyInterval, "historyInterval", error) &&
      r.readInt(in.gridCreated, "gridCreated", error) &&
      r.readInt(in.interpolationReady, "interpolationReady", error) &&
      r.readInt(in.flowInitialised, "flowInitialised", error) &&
      r.readInt(in.domainReady, "domainReady", error) && expectEnd(r, error);
  if (!ok) return false;
  if (in.volumeCount < 0 || in.volumeCount > kMaxVolumes)
    return fail(error, path + ": volumeCount " + std::to_string(in.volumeCount) + " is out of range");
  if (!checkCaseHeader(in, path, error)) return false;
  h = in;
  return true;
}

bool readVolumeState(const std::string& dir, FiniteVolume& vol, int schemeOrder,
                     std::string* error) {
  const std::string path = joinPath(dir, "all.txt");
  std::string text;
  if (!loadText(path, text, error)) return false;
  TokenReader r(std::move(text), path);
  auto reals = [&](auto& a, const char* name) {
    for (double& v : a)
      if (!r.readDouble(v, name, error)) return false;
    return true;
  };
  auto ints = [&](auto& a, const char* name) {
    for (int& v : a)
      if (!r.readInt(v, name, error)) return false;
    return true;
  };
  FiniteVolume& v = vol;
  bool ok = r.readInt(v.Nx, "Nx", error) && r.readInt(v.Ny, "Ny", error) &&
            r.readInt(v.Nz, "Nz", error) && reals(v.steps_xi, "steps_xi") &&
            reals(v.steps_eta, "steps_eta") && reals(v.steps_zeta, "steps_zeta") &&
            r.readDouble(v.r_offset, "r_offset", error) &&
            r.readDouble(v.r_scale, "r_scale", error) && r.readDouble(v.r_base, "r_base", error) &&
            reals(v.reserved1, "reserved1") && r.readDouble(v.ratio, "ratio", error) &&
            r.readDouble(v.r_in, "r_in", error) && r.readDouble(v.r_out, "r_out", error) &&
            reals(v.reserved2, "reserved2") && r.readDouble(v.first_step, "first_step", error) &&
            r.readInt(v.reserved3, "reserved3", error) && reals(v.reserved4, "reserved4") &&
            r.readInt(v.reserved5, "reserved5", error) && reals(v.reserved6, "reserved6") &&
            r.readInt(v.reserved7, "reserved7", error) && r.readInt(v.i_begin, "i_begin", error) &&
            r.readInt(v.i_end, "i_end", error) && r.readInt(v.j_begin, "j_begin", error) &&
            r.readInt(v.j_end, "j_end", error) && r.readInt(v.k_begin, "k_begin", error) &&
            r.readInt(v.k_end, "k_end", error) && r.readInt(v.stride_i, "stride_i", error) &&
            r.readInt(v.stride_j, "stride_j", error) && reals(v.box_origin, "box_origin") &&
            reals(v.box_size, "box_size") && reals(v.color, "color") &&
            reals(v.axis_x, "axis_x") && reals(v.axis_y, "axis_y") &&
            reals(v.axis_z, "axis_z") && reals(v.origin, "origin") &&
            ints(v.face_wall, "face_wall") && ints(v.face_reserved, "face_reserved") &&
            ints(v.face_offset, "face_offset") && r.readInt(v.kind, "kind", error) &&
            r.readInt(v.steps_ready, "steps_ready", error) &&
            r.readInt(v.stencil_size, "stencil_size", error) &&
            r.readInt(v.poly_degree, "poly_degree", error) && r.readInt(v.index, "index", error) &&
            r.readInt(v.plane_count, "plane_count", error);
  if (!ok) return false;
  if (v.plane_count < 0 || v.plane_count > kMaxPlanes)
    return fail(error, path + ": plane_count " + std::to_string(v.plane_count) + " is out of range");
  std::vector<BoundingPlane> planes(static_cast<size_t>(v.plane_count));
  for (BoundingPlane& p : planes) {
    if (!reals(p.point, "plane point") || !reals(p.normal, "plane normal")) return false;
  }
  v.planes = std::move(planes);
  if (!r.readInt(v.allocated, "allocated", error) || !expectEnd(r, error)) return false;
  return checkVolumeShape(v, schemeOrder, path, error);
}

bool readScalarArray(ValueTable& slice, const std::string& dir, const FiniteVolume& vol,
                     std::vector<double>& values, std::string* error,
                     const SliceSelection& planes) {
  if (!checkSize(values, 1, vol, dir, error)) return false;
  return readSlices(
      slice, dir, vol,
      [&](int n, double x, const std::string&, int, int, int, std::string*) {
        values[static_cast<size_t>(n)] = x;
        return true;
      },
      error, planes);
}

bool readVectorArray(ValueTable& slice, const std::string& dir, const FiniteVolume& vol,
                     std::vector<double>& values, std::string* error) {
  if (!checkSize(values, 3, vol, dir, error)) return false;
  static const char* const kComponents[3] = {"x", "y", "z"};
  for (int c = 0; c < 3; ++c) {
    const bool ok = readSlices(
        slice, joinPath(dir, kComponents[c]), vol,
        [&](int n, double x, const std::string&, int, int, int, std::string*) {
          values[3 * static_cast<size_t>(n) + static_cast<size_t>(c)] = x;
          return true;
        },
        error);
    if (!ok) return false;
  }
  return true;
}

bool readIntArray(ValueTable& slice, const std::string& dir, const FiniteVolume& vol,
                  std::vector<int>& values, std::string* error) {
  if (values.size() != static_cast<size_t>(vol.pointCount()))
    return fail(error, "cannot read " + dir + ": the volume's arrays are not allocated");
  return readSlices(
      slice, dir, vol,
      [&](int n, double x, const std::string& path, int i, int j, int k, std::string* err) {
        // Truncation toward zero; only the point type codes 0..7 exist.
        if (!(x > -1.0 && x < 8.0)) {
          char buf[64];
          std::snprintf(buf, sizeof buf, "%g", x);
          return fail(err, path + ": value " + buf + " at point " + pointText(i, j, k) +
                               " is not a point type");
        }
        values[static_cast<size_t>(n)] = static_cast<int>(x);
        return true;
      },
      error);
}

bool readInterpolation(const std::string& dir, FiniteVolume& vol, std::string* error) {
  const std::string path = joinPath(dir, "interpol_data.txt");
  std::string text;
  if (!loadText(path, text, error)) return false;
  if (vol.interpol_data.size() != static_cast<size_t>(vol.pointCount()))
    return fail(error, "cannot read " + path + ": the volume's arrays are not allocated");
  TokenReader r(std::move(text), path);
  int record = 0;
  std::string header;
  while (!r.atEnd()) {
    ++record;
    const std::string where = "record " + std::to_string(record);
    int i = 0, j = 0, k = 0, used = 0;
    if (!r.readToken(header) ||
        std::sscanf(header.c_str(), "(%d,%d,%d)%n", &i, &j, &k, &used) != 3 ||
        used != static_cast<int>(header.size()))
      return fail(error, path + ": " + where + " does not start with a point \"(i,j,k)\"");
    if (i < 0 || i > vol.Nx || j < 0 || j > vol.Ny || k < 0 || k > vol.Nz)
      return fail(error, path + ": " + where + ": point " + pointText(i, j, k) +
                             " lies outside the volume");
    InterpolEntry& e = vol.interpol_data[static_cast<size_t>(pointIndex(vol, i, j, k))];
    InterpolEntry in;
    if (!r.readInt(in.ready, "ready", error) || !r.readInt(in.donor, "donor", error) ||
        !r.readInt(in.cell_i, "cell_i", error) || !r.readInt(in.cell_j, "cell_j", error) ||
        !r.readInt(in.cell_k, "cell_k", error))
      return false;
    if (in.ready > 0) {
      if (vol.stencil_size <= 0)
        return fail(error, path + ": " + where + " is ready but the volume's stencil_size is " +
                               std::to_string(vol.stencil_size));
      const size_t m = static_cast<size_t>(vol.stencil_size);
      in.donor_points.reset(new int[m]);
      in.weights.reset(new double[m]);
      for (size_t q = 0; q < m; ++q)
        if (!r.readInt(in.donor_points[q], "donor point", error)) return false;
      for (size_t q = 0; q < m; ++q)
        if (!r.readDouble(in.weights[q], "weight", error)) return false;
    }
    e = std::move(in);
  }
  return true;
}

bool loadVolume(ValueTable& slice, const std::string& dir, FiniteVolume& vol, int schemeOrder,
                std::string* error) {
  return readVolumeState(dir, vol, schemeOrder, error) &&
         loadVolumeArrays(slice, dir, vol, {}, error);
}

bool loadVolumeArrays(ValueTable& slice, const std::string& dir, FiniteVolume& vol,
                      const SliceSelection& flowPlanes, std::string* error) {
  if (vol.allocated == 0) return true;
  if (!fitsInMemory({vol.pointCount()}))
    return fail(error, joinPath(dir, "all.txt") + ": sizes " + std::to_string(vol.Nx) + ", " +
                           std::to_string(vol.Ny) + ", " + std::to_string(vol.Nz) +
                           " need more memory than this machine has");
  if (!checkSliceFilesPresent(dir, vol, flowPlanes, error)) return false;
  try {
    allocateArrays(vol);
  } catch (const std::bad_alloc&) {
    return fail(error, joinPath(dir, "all.txt") + ": sizes " + std::to_string(vol.Nx) + ", " +
                           std::to_string(vol.Ny) + ", " + std::to_string(vol.Nz) +
                           " are too large");
  }
  clearArrays(vol);
  bool ok = true;
  io_detail::forEachSavedFlowArray(vol, [&](const char* name, std::vector<double>& values) {
    if (flowPlanes) {
      // Not read, so never to be used: NaN makes any use show.
      for (int i = 0; i <= vol.Nx; ++i)
        if (!flowPlanes(i))
          std::fill_n(values.begin() + ptrdiff_t(i) * vol.stride_i, vol.stride_i, NAN);
    }
    ok = ok && readScalarArray(slice, joinPath(dir, name), vol, values, error, flowPlanes);
  });
  if (!ok) return false;
  if (!readVectorArray(slice, joinPath(dir, "point_loc"), vol, vol.point_loc, error)) return false;
  if (!readVectorArray(slice, joinPath(dir, "point_glob"), vol, vol.point_glob, error)) return false;
  if (!readIntArray(slice, joinPath(dir, "type_point"), vol, vol.type_point, error)) return false;
  if (!readInterpolation(joinPath(dir, "interpol_data"), vol, error)) return false;
  // The metric arrays are not saved; they follow from the coordinates.
  computeMetrics(vol);
  return true;
}

namespace {

// The read with the reader's own message (which names the file) on failure.
bool loadCaseWithMessage(SimulationState& s, const std::string& folder,
                         const FlowPlanesOf& flowPlanesOf, std::string* error) {
  io_detail::CNumericLocale cLocale;
  if (folder.empty()) return fail(error, "no folder name given");
  if (!exists(folder)) return fail(error, folder + ": folder does not exist");
  if (io_detail::isIncompleteFolder(folder))
    return fail(error, folder + ": the folder is a save that did not finish (it holds " +
                           io_detail::kIncompleteMarker + "); the case is in the folder without \".saving\"");

  CaseHeader h;
  if (!readCaseHeader(joinPath(folder, "all.txt"), h, error)) return false;
  FarFieldSettings farField;
  if (!readFarFieldFile(joinPath(folder, kFarFieldFileName), farField, error)) return false;

  // Read into a scratch table of our own: the workers are still running at
  // this point, and the state's table belongs to Save under the pass lock.
  ValueTable slice;
  std::vector<FiniteVolume> volumes(static_cast<size_t>(h.volumeCount));
  // The sizes of every volume first: the slices to read may depend on all
  // of them (how the planes are shared among processes).
  for (int n = 0; n < h.volumeCount; ++n) {
    const std::string dir = io_detail::volumeFolder(folder, n);
    if (!exists(dir)) return fail(error, dir + ": folder is missing");
    if (!readVolumeState(dir, volumes[static_cast<size_t>(n)], h.schemeOrder, error)) return false;
  }
  const PlaneSelection flowPlanes = flowPlanesOf ? flowPlanesOf(volumes, h.schemeOrder) : PlaneSelection();
  std::vector<int64_t> pointCounts;
  for (int n = 0; n < h.volumeCount; ++n) {
    const std::string dir = io_detail::volumeFolder(folder, n);
    FiniteVolume& vol = volumes[static_cast<size_t>(n)];
    SliceSelection ofVolume;
    if (flowPlanes) ofVolume = [&flowPlanes, n](int i) { return flowPlanes(n, i); };
    if (!loadVolumeArrays(slice, dir, vol, ofVolume, error)) return false;
    pointCounts.push_back(vol.allocated ? vol.pointCount() : 0);
    if (!fitsInMemory(pointCounts))
      return fail(error, joinPath(dir, "all.txt") +
                             ": the volumes up to this one need more memory than this machine has");
  }
  if (!checkCase(h, volumes, folder, error)) return false;

  ValueSeries histories[4];
  const char* const names[4] = {"m_Cx.txt", "m_Cp.txt", "m_Cf.txt", "m_time.txt"};
  for (int q = 0; q < 4; ++q) {
    const std::string path = joinPath(folder, names[q]);
    if (!checkRegular(path, error)) return false;
    if (!histories[q].readText(path)) return fail(error, path + ": truncated or not a series");
    if (histories[q].size() != histories[0].size())
      return fail(error, path + ": holds " + std::to_string(histories[q].size()) +
                             " values, " + names[0] + " holds " +
                             std::to_string(histories[0].size()));
  }

  // Everything is read: stop the workers (the solver parked, the
  // interpolation and streamline threads paused) and swap the case in.
  s.quiesceWorkers();
  std::vector<FiniteVolume> old;
  {
    std::lock_guard<std::mutex> pass(s.passMutex);
    old.swap(s.volumes);
    s.volumes = std::move(volumes);
    s.volumeCount = h.volumeCount;
    s.physicalTime = h.physicalTime;
    s.stepCount = h.stepCount;
    s.schemeOrder = h.schemeOrder;
    s.dt = h.dt;
    s.k = h.k;
    s.Re = h.Re;
    s.M = h.M;
    s.Pr = h.Pr;
    s.interpolTotal = h.interpolTotal;
    s.interpolProcessed = h.interpolProcessed;
    s.Cx = h.Cx;
    s.Cp = h.Cp;
    s.Cf = h.Cf;
    s.historyCounter = h.historyCounter;
    s.historyInterval = h.historyInterval;
    s.gridCreated = h.gridCreated;
    s.interpolationReady = h.interpolationReady;
    s.flowInitialised = h.flowInitialised;
    s.domainReady = h.domainReady;
    s.farField = farField.farField;
    // Failures found on the replaced volumes no longer apply.
    s.interpolFailedCount = 0;
    s.interpolFailedVolume = -1;
    s.interpolFailedPoint = -1;
    s.divergedStep = -1;
    {
      std::lock_guard<std::mutex> series(s.seriesMutex);
      s.historyCx = std::move(histories[0]);
      s.historyCp = std::move(histories[1]);
      s.historyCf = std::move(histories[2]);
      s.historyTime = std::move(histories[3]);
      // Residuals are not saved: the loaded samples have none.
      for (ValueSeries& r : s.historyResidual) r.data.assign(s.historyTime.data.size(), NAN);
    }
    s.volumesGeneration.fetch_add(1);
  }
  // `old` releases the previous volumes here, after the new ones are in place.
  return true;
}

}  // namespace

bool loadCase(SimulationState& s, const std::string& folder, CoreError* error) {
  return loadCase(s, folder, FlowPlanesOf(), error);
}

bool loadCase(SimulationState& s, const std::string& folder, const FlowPlanesOf& flowPlanes,
              CoreError* error) {
  std::string message;
  if (loadCaseWithMessage(s, folder, flowPlanes, &message)) return true;
  return failFile(error, ErrorCode::kCaseNotOpened, folder, message);
}

}  // namespace brelvik
