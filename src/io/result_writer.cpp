// Writer of result folders (layout in result_folder.h).

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "io/far_field_file.h"
#include "io/result_folder.h"
#include "io/case_tree.h"
#include "io/staged_folder.h"
#include "io/text_file.h"
#include "io/volume_arrays.h"

namespace brelvik {

using io_detail::closeWritten;
using io_detail::fail;
using io_detail::File;
using io_detail::joinPath;
using io_detail::makeFolder;

namespace {

// Formatted output that remembers whether any write failed.
struct Printer {
  std::FILE* f;
  bool ok = true;
  void integer(int v) { ok = ok && std::fprintf(f, "%d \n", v) > 0; }
  void real(double v) { ok = ok && std::fprintf(f, "%.16f \n", v) > 0; }
  template <size_t N>
  void reals(const std::array<double, N>& a) {
    for (double v : a) real(v);
  }
  template <size_t N>
  void integers(const std::array<int, N>& a) {
    for (int v : a) integer(v);
  }
};

File openForWriting(const std::string& path, std::string* error) {
  if (!io_detail::writePointAllowed(path, error)) return File();
  File f(std::fopen(path.c_str(), "w"));
  if (!f) fail(error, "cannot create file " + path);
  return f;
}

std::string sliceFile(const std::string& dir, int i) {
  return joinPath(dir, std::to_string(i) + ".txt");
}

// Copies the slices i = 0..Nx (those `planes` selects) of one per-point
// array (value of point n is get(n)) into `slice` and writes each to
// <dir>/<i>.txt.
template <class Get>
bool writeSlices(ValueTable& slice, const std::string& dir, const FiniteVolume& vol, Get get,
                 const SliceSelection& planes, std::string* error) {
  for (int i = 0; i <= vol.Nx; ++i) {
    if (planes && !planes(i)) continue;
    for (int j = 0; j <= vol.Ny; ++j) {
      ValueSeries& row = slice.row(j);
      for (int kk = 0; kk <= vol.Nz; ++kk) row.item(kk) = get(pointIndex(vol, i, j, kk));
    }
    const std::string path = sliceFile(dir, i);
    if (!io_detail::writePointAllowed(path, error)) return false;
    if (!slice.writeText(path)) return fail(error, "cannot write file " + path);
  }
  return true;
}

// The per-point arrays must hold every point before we index them.
bool checkArraySize(size_t have, size_t perPoint, const FiniteVolume& vol, const std::string& dir,
                    std::string* error) {
  if (have >= perPoint * static_cast<size_t>(vol.pointCount())) return true;
  return fail(error, "cannot write " + dir + ": the array holds fewer values than the volume has points");
}

}  // namespace

CaseHeader caseHeaderOf(const SimulationState& s) {
  CaseHeader h;
  h.physicalTime = s.physicalTime;
  h.stepCount = s.stepCount;
  h.schemeOrder = s.schemeOrder;
  h.dt = s.dt;
  h.k = s.k;
  h.Re = s.Re;
  h.M = s.M;
  h.Pr = s.Pr;
  h.volumeCount = s.volumeCount;
  h.interpolTotal = s.interpolTotal.load();
  h.interpolProcessed = s.interpolProcessed.load();
  h.Cx = s.Cx;
  h.Cp = s.Cp;
  h.Cf = s.Cf;
  h.historyCounter = s.historyCounter;
  h.historyInterval = s.historyInterval;
  h.gridCreated = s.gridCreated.load();
  h.interpolationReady = s.interpolationReady.load();
  h.flowInitialised = s.flowInitialised.load();
  h.domainReady = s.domainReady.load();
  return h;
}

bool writeCaseHeader(const std::string& path, const CaseHeader& h, std::string* error) {
  File f = openForWriting(path, error);
  if (!f) return false;
  Printer p{f.get()};
  p.real(h.physicalTime);
  p.integer(h.stepCount);
  p.integer(h.schemeOrder);
  p.real(h.dt);
  // The ratio of specific heats is kept with one decimal only.
  p.ok = p.ok && std::fprintf(f.get(), "%.1f \n", h.k) > 0;
  p.real(h.Re);
  p.real(h.M);
  p.real(h.Pr);
  p.integer(h.volumeCount);
  p.integer(h.interpolTotal);
  p.integer(h.interpolProcessed);
  p.real(h.Cx);
  p.real(h.Cp);
  p.real(h.Cf);
  p.integer(h.historyCounter);
  p.integer(h.historyInterval);
  p.integer(h.gridCreated);
  p.integer(h.interpolationReady);
  p.integer(h.flowInitialised);
  p.integer(h.domainReady);
  return closeWritten(f, p.ok, path, error);
}

bool writeVolumeState(const std::string& dir, const FiniteVolume& vol, std::string* error) {
  const std::string path = joinPath(dir, "all.txt");
  File f = openForWriting(path, error);
  if (!f) return false;
  Printer p{f.get()};
  p.integer(vol.Nx);
  p.integer(vol.Ny);
  p.integer(vol.Nz);
  p.reals(vol.steps_xi);
  p.reals(vol.steps_eta);
  p.reals(vol.steps_zeta);
  p.real(vol.r_offset);
  p.real(vol.r_scale);
  p.real(vol.r_base);
  p.reals(vol.reserved1);
  p.real(vol.ratio);
  p.real(vol.r_in);
  p.real(vol.r_out);
  p.reals(vol.reserved2);
  p.real(vol.first_step);
  p.integer(vol.reserved3);
  p.reals(vol.reserved4);
  p.integer(vol.reserved5);
  p.reals(vol.reserved6);
  p.integer(vol.reserved7);
  p.integer(vol.i_begin);
  p.integer(vol.i_end);
  p.integer(vol.j_begin);
  p.integer(vol.j_end);
  p.integer(vol.k_begin);
  p.integer(vol.k_end);
  p.integer(vol.stride_i);
  p.integer(vol.stride_j);
  p.reals(vol.box_origin);
  p.reals(vol.box_size);
  // Colour comes before the axes and the origin after them in this file.
  p.reals(vol.color);
  p.reals(vol.axis_x);
  p.reals(vol.axis_y);
  p.reals(vol.axis_z);
  p.reals(vol.origin);
  p.integers(vol.face_wall);
  p.integers(vol.face_reserved);
  p.integers(vol.face_offset);
  p.integer(vol.kind);
  p.integer(vol.steps_ready);
  p.integer(vol.stencil_size);
  p.integer(vol.poly_degree);
  p.integer(vol.index);
  // Never claim more planes than the record holds.
  const int planeCount =
      std::clamp(vol.plane_count, 0, static_cast<int>(vol.planes.size()));
  p.integer(planeCount);
  for (int n = 0; n < planeCount; ++n) {
    p.reals(vol.planes[static_cast<size_t>(n)].point);
    p.reals(vol.planes[static_cast<size_t>(n)].normal);
  }
  p.integer(vol.allocated);
  return closeWritten(f, p.ok, path, error);
}

bool writeScalarArray(ValueTable& slice, const std::string& dir, const FiniteVolume& vol,
                      const std::vector<double>& values, std::string* error,
                      const SliceSelection& planes) {
  if (!checkArraySize(values.size(), 1, vol, dir, error)) return false;
  slice.resize(vol.Ny + 1, vol.Nz + 1);
  if (!makeFolder(dir, error)) return false;
  return writeSlices(
      slice, dir, vol, [&](int n) { return values[static_cast<size_t>(n)]; }, planes, error);
}

bool writeVectorArray(ValueTable& slice, const std::string& dir, const FiniteVolume& vol,
                      const std::vector<double>& values, std::string* error,
                      const SliceSelection& planes) {
  if (!checkArraySize(values.size(), 3, vol, dir, error)) return false;
  slice.resize(vol.Ny + 1, vol.Nz + 1);
  static const char* const kComponents[3] = {"x", "y", "z"};
  if (!makeFolder(dir, error)) return false;
  for (const char* c : kComponents) {
    if (!makeFolder(joinPath(dir, c), error)) return false;
  }
  for (int c = 0; c < 3; ++c) {
    const std::string sub = joinPath(dir, kComponents[c]);
    if (!writeSlices(
            slice, sub, vol,
            [&](int n) { return values[3 * static_cast<size_t>(n) + static_cast<size_t>(c)]; },
            planes, error))
      return false;
  }
  return true;
}

bool writeIntArray(ValueTable& slice, const std::string& dir, const FiniteVolume& vol,
                   const std::vector<int>& values, std::string* error,
                   const SliceSelection& planes) {
  if (!checkArraySize(values.size(), 1, vol, dir, error)) return false;
  slice.resize(vol.Ny + 1, vol.Nz + 1);
  if (!makeFolder(dir, error)) return false;
  return writeSlices(
      slice, dir, vol, [&](int n) { return static_cast<double>(values[static_cast<size_t>(n)]); },
      planes, error);
}

bool writeInterpolation(const std::string& dir, const FiniteVolume& vol, std::string* error) {
  if (!makeFolder(dir, error)) return false;
  const std::string path = joinPath(dir, "interpol_data.txt");
  if (vol.interpol_data.size() < static_cast<size_t>(vol.pointCount()) ||
      vol.type_point.size() < static_cast<size_t>(vol.pointCount())) {
    return fail(error, "cannot write " + path + ": the interpolation data do not cover the volume");
  }
  File f = openForWriting(path, error);
  if (!f) return false;
  bool ok = true;
  for (int i = 0; i <= vol.Nx && ok; ++i) {
    for (int j = 0; j <= vol.Ny && ok; ++j) {
      for (int kk = 0; kk <= vol.Nz && ok; ++kk) {
        const int n = pointIndex(vol, i, j, kk);
        if (vol.type_point[static_cast<size_t>(n)] <= 3) continue;
        const InterpolEntry& e = vol.interpol_data[static_cast<size_t>(n)];
        const bool withStencil = e.ready > 0;
        if (withStencil && vol.stencil_size > 0 && (!e.donor_points || !e.weights)) {
          return fail(error, "cannot write " + path + ": point (" + std::to_string(i) + "," +
                                 std::to_string(j) + "," + std::to_string(kk) +
                                 ") is marked ready but has no stencil");
        }
        ok = ok && std::fprintf(f.get(), "(%d,%d,%d) \n", i, j, kk) > 0;
        ok = ok && std::fprintf(f.get(), "%d \n%d \n%d \n%d \n%d \n", e.ready, e.donor, e.cell_i,
                                e.cell_j, e.cell_k) > 0;
        if (!withStencil) continue;
        for (int m = 0; m < vol.stencil_size && ok; ++m)
          ok = std::fprintf(f.get(), "%d \n", e.donor_points[static_cast<size_t>(m)]) > 0;
        for (int m = 0; m < vol.stencil_size && ok; ++m)
          ok = std::fprintf(f.get(), "%.16f \n", e.weights[static_cast<size_t>(m)]) > 0;
      }
    }
  }
  return closeWritten(f, ok, path, error);
}

bool saveVolumeFrame(const std::string& dir, const FiniteVolume& vol, std::string* error) {
  if (!makeFolder(dir, error)) return false;
  if (!writeVolumeState(dir, vol, error)) return false;
  if (vol.allocated != 1) return true;
  for (const char* folder : io_detail::kSliceFolders)
    if (!makeFolder(joinPath(dir, folder), error)) return false;
  return writeInterpolation(joinPath(dir, "interpol_data"), vol, error);
}

bool saveVolumeSlices(ValueTable& slice, const std::string& dir, const FiniteVolume& vol,
                      const SliceSelection& planes, std::string* error) {
  if (vol.allocated != 1) return true;
  bool ok = true;
  io_detail::forEachSavedFlowArray(vol, [&](const char* name, const std::vector<double>& values) {
    ok = ok && writeScalarArray(slice, joinPath(dir, name), vol, values, error, planes);
  });
  return ok &&
         writeVectorArray(slice, joinPath(dir, "point_loc"), vol, vol.point_loc, error, planes) &&
         writeVectorArray(slice, joinPath(dir, "point_glob"), vol, vol.point_glob, error, planes) &&
         writeIntArray(slice, joinPath(dir, "type_point"), vol, vol.type_point, error, planes);
}

bool saveVolume(ValueTable& slice, const std::string& dir, const FiniteVolume& vol,
                std::string* error) {
  return saveVolumeFrame(dir, vol, error) && saveVolumeSlices(slice, dir, vol, {}, error);
}

namespace io_detail {

namespace {

int savedVolumeCount(const SimulationState& s) {
  return std::min(s.volumeCount, static_cast<int>(s.volumes.size()));
}

}  // namespace

bool writeCaseFrame(SimulationState& s, const std::string& folder, std::string* error) {
  const int count = savedVolumeCount(s);
  for (int n = 0; n < count; ++n)
    if (!saveVolumeFrame(volumeFolder(folder, n), s.volumes[static_cast<size_t>(n)], error))
      return false;

  CaseHeader h = caseHeaderOf(s);
  h.volumeCount = count;
  if (!writeCaseHeader(joinPath(folder, "all.txt"), h, error)) return false;
  if (!writeFarFieldFile(joinPath(folder, kFarFieldFileName), {s.farField}, error))
    return false;

  ValueSeries cx, cp, cf, time;
  {
    std::lock_guard<std::mutex> series(s.seriesMutex);
    cx = s.historyCx;
    cp = s.historyCp;
    cf = s.historyCf;
    time = s.historyTime;
  }
  const std::pair<const char*, const ValueSeries*> histories[] = {
      {"m_Cx.txt", &cx}, {"m_Cp.txt", &cp}, {"m_Cf.txt", &cf}, {"m_time.txt", &time}};
  for (const auto& [name, series] : histories) {
    const std::string path = joinPath(folder, name);
    if (!io_detail::writePointAllowed(path, error)) return false;
    if (!series->writeText(path)) return fail(error, "cannot write file " + path);
  }
  return true;
}

bool writeCaseSlices(SimulationState& s, const std::string& folder, const PlaneSelection& planes,
                     std::string* error) {
  const int count = savedVolumeCount(s);
  for (int n = 0; n < count; ++n) {
    SliceSelection ofVolume;
    if (planes) ofVolume = [&planes, n](int i) { return planes(n, i); };
    if (!saveVolumeSlices(s.sliceTable, volumeFolder(folder, n), s.volumes[static_cast<size_t>(n)],
                          ofVolume, error))
      return false;
  }
  return true;
}

}  // namespace io_detail

namespace {

// Every file of the case below `folder` (an empty staging folder).
bool writeCaseTree(SimulationState& s, const std::string& folder, std::string* error) {
  return io_detail::writeCaseFrame(s, folder, error) &&
         io_detail::writeCaseSlices(s, folder, {}, error);
}

// The save with the writer's own message (which names the file) on failure.
bool saveCaseWithMessage(SimulationState& s, const std::string& folder, std::string* error) {
  io_detail::CNumericLocale cLocale;

  // The interpolation thread writes stencils without the pass lock; hold it
  // still while its entries are written and let it go on afterwards.
  bool resumeInterpolation = false;
  if (s.interpolRunning.load() && s.interpolThread.created()) {
    s.interpolThread.pauseAndWait();
    resumeInterpolation = s.interpolRunning.load() != 0;
  }
  struct Resume {
    SimulationState& s;
    bool on;
    ~Resume() {
      if (on) s.interpolThread.start();
    }
  } resume{s, resumeInterpolation};

  if (folder.empty()) return fail(error, "no folder name given");
  std::lock_guard<std::mutex> pass(s.passMutex);
  io_detail::StagedFolder staged;
  if (!io_detail::beginStagedFolder(folder, staged, error)) return false;
  struct Abandon {
    io_detail::StagedFolder& staged;
    ~Abandon() { io_detail::abandonStagedFolder(staged); }
  } abandon{staged};
  if (!writeCaseTree(s, staged.staging, error)) return false;
  return io_detail::commitStagedFolder(staged, error);
}

}  // namespace

bool saveCase(SimulationState& s, const std::string& folder, CoreError* error) {
  std::string message;
  if (saveCaseWithMessage(s, folder, &message)) return true;
  return failFile(error, ErrorCode::kCaseNotSaved, folder, message);
}

}  // namespace brelvik
