#include "io/case_checks.h"

#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdio>

#include "io/text_file.h"

namespace brelvik {

using io_detail::fail;
using io_detail::joinPath;

namespace {

constexpr int kMaxStencil = 64;

std::string pointText(int i, int j, int k) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "(%d,%d,%d)", i, j, k);
  return buf;
}

template <class Array>
bool allFinite(const Array& a) {
  for (double v : a)
    if (!std::isfinite(v)) return false;
  return true;
}

uint64_t physicalMemory() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || pageSize <= 0) return UINT64_MAX;
  return uint64_t(pages) * uint64_t(pageSize);
}

}  // namespace

bool fitsInMemory(const std::vector<int64_t>& pointCounts) {
  uint64_t bytes = 0;
  const uint64_t perPoint = bytesPerPoint();
  for (int64_t n : pointCounts) {
    if (n < 0 || uint64_t(n) > UINT64_MAX / perPoint) return false;
    bytes += uint64_t(n) * perPoint;
    if (bytes > physicalMemory()) return false;
  }
  return true;
}

bool checkCaseHeader(const CaseHeader& h, const std::string& path, std::string* error) {
  auto bad = [&](const std::string& what) { return fail(error, path + ": " + what); };
  if (h.schemeOrder != 2 && h.schemeOrder != 4 && h.schemeOrder != 6)
    return bad("schemeOrder " + std::to_string(h.schemeOrder) + " is not 2, 4 or 6");
  const std::pair<const char*, double> positive[] = {
      {"dt", h.dt}, {"Re", h.Re}, {"M", h.M}, {"Pr", h.Pr}};
  for (const auto& [name, v] : positive)
    if (!(std::isfinite(v) && v > 0)) return bad(std::string(name) + " must be positive and finite");
  if (!(std::isfinite(h.k) && h.k > 1)) return bad("k must be finite and greater than 1");
  if (!std::isfinite(h.physicalTime)) return bad("physicalTime is not finite");
  const std::pair<const char*, int> counters[] = {{"stepCount", h.stepCount},
                                                  {"historyCounter", h.historyCounter},
                                                  {"historyInterval", h.historyInterval}};
  for (const auto& [name, v] : counters)
    if (v < 0 || v > kMaxCounter)
      return bad(std::string(name) + " " + std::to_string(v) + " is outside 0.." +
                 std::to_string(kMaxCounter));
  if (h.historyInterval < 1) return bad("historyInterval must be at least 1");
  if (h.interpolTotal < 0 || h.interpolProcessed < 0 || h.interpolProcessed > h.interpolTotal)
    return bad("interpolProcessed " + std::to_string(h.interpolProcessed) + " and interpolTotal " +
               std::to_string(h.interpolTotal) + " are inconsistent");
  const std::pair<const char*, int> flags[] = {{"gridCreated", h.gridCreated},
                                               {"interpolationReady", h.interpolationReady},
                                               {"flowInitialised", h.flowInitialised},
                                               {"domainReady", h.domainReady}};
  for (const auto& [name, v] : flags)
    if (v != 0 && v != 1) return bad(std::string(name) + " is " + std::to_string(v) + ", expected 0 or 1");
  if ((h.interpolationReady || h.flowInitialised) && !h.gridCreated)
    return bad("interpolationReady or flowInitialised is set without gridCreated");
  return true;
}

bool checkVolumeShape(const FiniteVolume& vol, int schemeOrder, const std::string& path,
                      std::string* error) {
  auto bad = [&](const std::string& what) { return fail(error, path + ": " + what); };
  if (vol.allocated != 0 && vol.allocated != 1)
    return bad("allocated is " + std::to_string(vol.allocated) + ", expected 0 or 1");
  if (vol.kind != 1 && vol.kind != 2) return bad("kind " + std::to_string(vol.kind) + " is unknown");
  const bool finite = allFinite(vol.steps_xi) && allFinite(vol.steps_eta) &&
                      allFinite(vol.steps_zeta) && std::isfinite(vol.r_offset) &&
                      std::isfinite(vol.r_scale) && std::isfinite(vol.r_base) &&
                      std::isfinite(vol.ratio) && std::isfinite(vol.r_in) &&
                      std::isfinite(vol.r_out) && std::isfinite(vol.first_step) &&
                      allFinite(vol.box_origin) && allFinite(vol.box_size) &&
                      allFinite(vol.color) && allFinite(vol.axis_x) && allFinite(vol.axis_y) &&
                      allFinite(vol.axis_z) && allFinite(vol.origin);
  if (!finite) return bad("a radius, step, axis or box value is not finite");
  for (const BoundingPlane& p : vol.planes)
    if (!allFinite(p.point) || !allFinite(p.normal)) return bad("a bounding plane is not finite");
  if (vol.allocated == 0) return true;

  // The grid construction makes N = cells + order with at least one cell,
  // and the computed region begin = order/2 .. N - order/2 in each direction.
  const int half = schemeOrder / 2;
  const struct {
    const char* name;
    int N, begin, end;
  } dims[3] = {{"i", vol.Nx, vol.i_begin, vol.i_end},
               {"j", vol.Ny, vol.j_begin, vol.j_end},
               {"k", vol.Nz, vol.k_begin, vol.k_end}};
  for (const auto& d : dims) {
    if (d.N <= schemeOrder || d.N == INT_MAX)
      return bad(std::string("size N") + (d.name[0] == 'i' ? "x" : d.name[0] == 'j' ? "y" : "z") +
                 " " + std::to_string(d.N) + " is not above the scheme order " +
                 std::to_string(schemeOrder));
    if (d.begin != half || d.end != d.N - half)
      return bad(std::string("computed region ") + d.name + "_begin.." + d.name + "_end is " +
                 std::to_string(d.begin) + ".." + std::to_string(d.end) + ", expected " +
                 std::to_string(half) + ".." + std::to_string(d.N - half) +
                 " for scheme order " + std::to_string(schemeOrder));
  }
  if (int64_t(vol.Nx + 1) * (vol.Ny + 1) * (vol.Nz + 1) > INT_MAX / 3)
    return bad("sizes give more points than an index can hold");
  if (vol.stride_j != vol.Nz + 1 ||
      static_cast<int64_t>(vol.stride_i) != int64_t(vol.Ny + 1) * int64_t(vol.Nz + 1))
    return bad("strides " + std::to_string(vol.stride_i) + ", " + std::to_string(vol.stride_j) +
               " do not match the sizes");
  if (vol.stencil_size < 0 || vol.stencil_size > kMaxStencil)
    return bad("stencil_size " + std::to_string(vol.stencil_size) + " is out of range");
  return true;
}

bool checkVolumeGeometry(const FiniteVolume& vol, const std::string& dir, std::string* error) {
  if (vol.allocated != 1) return true;
  if (!allFinite(vol.point_loc))
    return fail(error, joinPath(dir, "point_loc") + ": a coordinate is not finite");
  if (!allFinite(vol.point_glob))
    return fail(error, joinPath(dir, "point_glob") + ": a coordinate is not finite");
  for (const std::vector<float>* m :
       {&vol.xi_x, &vol.xi_y, &vol.xi_z, &vol.eta_x, &vol.eta_y, &vol.eta_z, &vol.zeta_x,
        &vol.zeta_y, &vol.zeta_z, &vol.g_xixi, &vol.g_etaeta, &vol.g_zetazeta, &vol.g_etazeta,
        &vol.lap_xi, &vol.lap_eta, &vol.lap_zeta})
    for (float v : *m)
      if (!std::isfinite(v))
        return fail(error, joinPath(dir, "point_loc") +
                               ": the coordinates give metrics that are not finite");
  return true;
}

bool checkInterpolation(const std::vector<FiniteVolume>& volumes, const FiniteVolume& vol,
                        bool interpolationReady, const std::string& path, std::string* error) {
  const int count = static_cast<int>(volumes.size());
  for (int i = 0; i <= vol.Nx; ++i)
    for (int j = 0; j <= vol.Ny; ++j)
      for (int k = 0; k <= vol.Nz; ++k) {
        const int n = pointIndex(vol, i, j, k);
        const InterpolEntry& e = vol.interpol_data[static_cast<size_t>(n)];
        const bool receiver = vol.type_point[static_cast<size_t>(n)] >= kPointInterpolated;
        if (!receiver && e.ready <= 0) continue;
        auto bad = [&](const std::string& what) {
          return fail(error, path + ": point " + pointText(i, j, k) + ": " + what);
        };
        if (receiver && interpolationReady && e.ready <= 0)
          return bad("has no ready stencil although the case says the interpolation is ready");
        if (e.donor < 0 || e.donor >= count)
          return bad("donor volume " + std::to_string(e.donor) + " is not in the case (" +
                     std::to_string(count) + " volumes)");
        const FiniteVolume& d = volumes[static_cast<size_t>(e.donor)];
        if (d.allocated != 1) return bad("donor volume " + std::to_string(e.donor) + " has no arrays");
        if (e.cell_i < 0 || e.cell_i >= d.Nx || e.cell_j < 0 || e.cell_j >= d.Ny || e.cell_k < 0 ||
            e.cell_k >= d.Nz)
          return bad("donor cell " + pointText(e.cell_i, e.cell_j, e.cell_k) +
                     " lies outside donor volume " + std::to_string(e.donor));
        if (e.ready <= 0) continue;
        if (vol.stencil_size > 0 && (!e.donor_points || !e.weights))
          return bad("is ready but has no stencil");
        const int64_t donorPoints = d.pointCount();
        for (int m = 0; m < vol.stencil_size; ++m) {
          const int p = e.donor_points[static_cast<size_t>(m)];
          if (p < 0 || p >= donorPoints)
            return bad("donor point " + std::to_string(p) + " lies outside donor volume " +
                       std::to_string(e.donor));
        }
      }
  return true;
}

bool checkCase(const CaseHeader& h, const std::vector<FiniteVolume>& volumes,
               const std::string& folder, std::string* error) {
  if (!checkCaseHeader(h, joinPath(folder, "all.txt"), error)) return false;
  if (static_cast<int>(volumes.size()) != h.volumeCount)
    return fail(error, joinPath(folder, "all.txt") + ": volumeCount does not match the volumes");
  int64_t points = 0;
  bool anyAllocated = false;
  for (size_t n = 0; n < volumes.size(); ++n) {
    const FiniteVolume& vol = volumes[n];
    const std::string dir = joinPath(folder, "volume_" + std::to_string(n + 1));
    if (!checkVolumeShape(vol, h.schemeOrder, joinPath(dir, "all.txt"), error)) return false;
    if (vol.index != static_cast<int>(n))
      return fail(error, joinPath(dir, "all.txt") + ": index is " + std::to_string(vol.index) +
                             ", expected " + std::to_string(n));
    if (vol.allocated != 1) continue;
    anyAllocated = true;
    points += vol.pointCount();
    if (!checkVolumeGeometry(vol, dir, error)) return false;
    if (!checkInterpolation(volumes, vol, h.interpolationReady == 1,
                            joinPath(dir, "interpol_data/interpol_data.txt"), error))
      return false;
  }
  if (h.gridCreated && !anyAllocated)
    return fail(error, joinPath(folder, "all.txt") +
                           ": gridCreated is set but no volume has arrays (an empty grid)");
  if (h.interpolTotal > points)
    return fail(error, joinPath(folder, "all.txt") + ": interpolTotal " +
                           std::to_string(h.interpolTotal) + " exceeds the " +
                           std::to_string(points) + " points of the case");
  return true;
}

}  // namespace brelvik
