#include "grid/geometry.h"

#include <unistd.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>
#include <mutex>
#include <new>

namespace brelvik {

namespace {

constexpr double kSphereRadius = 0.5;
constexpr double kInsideTolerance = 0.0001;
// Bisection bracket of the stretching ratio and its stopping rule.
constexpr double kRatioLow = 1.00000001;
constexpr double kRatioHigh = 1000.0;
constexpr double kRatioTolerance = 1e-6;
// Bisection halves a bracket of width ~1000 down to adjacent doubles in
// about 60 steps; the cap only ends a loop whose |F| can never reach the
// tolerance.
constexpr int kRatioIterationCap = 400;

// Axes of the six sectors: axis_x is the outward axis of the covered cube
// face; every frame is right-handed.
const Vec3 kAxes[6][3] = {
    {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}},    // +x
    {{0, 0, -1}, {0, 1, 0}, {1, 0, 0}},   // -z
    {{-1, 0, 0}, {0, 1, 0}, {0, 0, -1}},  // -x
    {{0, 0, 1}, {0, 1, 0}, {-1, 0, 0}},   // +z
    {{0, 1, 0}, {-1, 0, 0}, {0, 0, 1}},   // +y
    {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}},   // -y
};

double stretchingF(double q, double thickness, double n, double s) {
  return thickness - (1.0 - std::pow(q, n)) * s / (1.0 - q);
}

void fillPowers(std::array<double, 12>& out, double h) {
  out[0] = h;
  out[1] = 1.0 / h;
  double p = h * h;
  for (int e = 1; e <= 5; ++e) {  // h^2, h^4, ..., h^10
    double pe = 1.0;
    for (int m = 0; m < e; ++m) pe *= p;
    out[2 * e] = pe;
    out[2 * e + 1] = 1.0 / pe;
  }
}

double dot3(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// Sets the fields that Create gives every sector (index decides the axes).
void setSectorParameters(FiniteVolume& vol, int index, const DomainInputs& in, int schemeOrder) {
  vol.index = index;
  vol.r_in = kSphereRadius;
  vol.r_out = in.D * 0.5;
  vol.first_step = in.s;
  vol.Nx = in.nx + schemeOrder;
  vol.Ny = in.ny + schemeOrder;
  vol.Nz = in.nz + schemeOrder;
  vol.kind = 2;
  vol.origin = {0, 0, 0};
  vol.box_origin = {kSphereRadius, 0, 0};
  vol.box_size = {vol.r_out / std::sqrt(3.0) - kSphereRadius, 0, 0};
  vol.face_wall = {1, 0, 0, 0, 0, 0};
  vol.face_offset = {1, 1, 0, 0, 0, 0};
  vol.axis_x = kAxes[index][0];
  vol.axis_y = kAxes[index][1];
  vol.axis_z = kAxes[index][2];
  buildPlanes(vol);
}

uint64_t physicalMemoryBytes() {
  long pages = sysconf(_SC_PHYS_PAGES);
  long pageSize = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || pageSize <= 0) return UINT64_MAX;
  return uint64_t(pages) * uint64_t(pageSize);
}

}  // namespace

double toSingle(double x) {
  if (std::isnan(x)) return x;
  if (x > double(FLT_MAX)) {
    // Values that round to FLT_MAX still do; beyond half an ulp they overflow.
    return x < double(FLT_MAX) + std::ldexp(1.0, 103) ? double(FLT_MAX)
                                                       : std::numeric_limits<double>::infinity();
  }
  if (x < -double(FLT_MAX)) return -toSingle(-x);
  return static_cast<double>(static_cast<float>(x));
}

bool solveStretchingRatio(double thickness, double n, double s, double* ratio) {
  double lo = kRatioLow, hi = kRatioHigh;
  double fLo = stretchingF(lo, thickness, n, s);
  double fHi = stretchingF(hi, thickness, n, s);
  if (!(fLo * fHi <= 0)) return false;  // no root in the bracket (or NaN)
  for (int iter = 0; iter < kRatioIterationCap; ++iter) {
    double mid = (lo + hi) / 2;
    double fMid = stretchingF(mid, thickness, n, s);
    if (fLo * fMid <= 0) {
      hi = mid;
    } else {
      lo = mid;
      fLo = fMid;
    }
    if (std::fabs(fMid) <= kRatioTolerance) {
      *ratio = mid;
      return true;
    }
  }
  return false;
}

bool validateDomainInputs(const DomainInputs& in, int schemeOrder, CoreError* error) {
  if (!std::isfinite(in.D) || !(in.D * 0.5 > kSphereRadius))
    return fail(error, ErrorCode::kDomainTooSmall, InputField::kDomainSize);
  if (!std::isfinite(in.s) || !(in.s > 0))
    return fail(error, ErrorCode::kNotPositive, InputField::kFirstStep);
  const struct {
    InputField field;
    int value;
  } counts[3] = {{InputField::kNx, in.nx}, {InputField::kNy, in.ny}, {InputField::kNz, in.nz}};
  for (const auto& c : counts) {
    if (c.value < 0) return fail(error, ErrorCode::kNegative, c.field);
    if (c.value > INT_MAX - schemeOrder - 1) return fail(error, ErrorCode::kTooLarge, c.field);
  }
  const int64_t cells = int64_t(in.nx) * in.ny * in.nz;
  if (cells == 0) return true;  // volumes without arrays; nothing else is built

  // Memory: six volumes of (n+so+1)^3 points, indexed by 32-bit ints.
  const int64_t points =
      int64_t(in.nx + schemeOrder + 1) * (in.ny + schemeOrder + 1) * (in.nz + schemeOrder + 1);
  const uint64_t bytes = uint64_t(points) * bytesPerPoint() * 6;
  if (points > (int64_t(1) << 31) / 3 - 1 || points > int64_t(UINT64_MAX / bytesPerPoint() / 6) ||
      bytes > physicalMemoryBytes())
    return fail(error, ErrorCode::kGridExceedsMemory, InputField::kCellCounts);

  const double thickness = in.D * 0.5 - kSphereRadius;
  if (!(in.s * (double(in.nx) + 1) < thickness))
    return fail(error, ErrorCode::kFirstStepFillsShell, InputField::kSizeAndFirstStep);
  FiniteVolume probe;
  initDefaults(probe, schemeOrder);
  setSectorParameters(probe, 0, in, schemeOrder);
  if (!computeSteps(probe, schemeOrder))
    return fail(error, ErrorCode::kNoStretchingRatio, InputField::kFirstStep);
  return true;
}

bool computeSteps(FiniteVolume& vol, int schemeOrder) {
  const double thickness = vol.r_out - vol.r_in;
  const double hXi = thickness / (vol.Nx - schemeOrder + 1);
  const double hEta = 2.0 / (0.5 * vol.face_offset[2] + vol.Ny + 0.5 * vol.face_offset[3] - schemeOrder);
  const double hZeta =
      2.0 / (0.5 * vol.face_offset[4] + vol.Nz + 0.5 * vol.face_offset[5] - schemeOrder);
  vol.steps_ready = 1;

  const double n = thickness / hXi;
  const double s = vol.first_step;
  double q = 0;
  if (!solveStretchingRatio(thickness, n, s, &q)) return false;
  vol.ratio = q;
  vol.r_offset = s / (1.0 - q) + vol.r_in;
  vol.r_scale = -s / (1.0 - q);
  vol.r_base = std::pow(q, 1.0 / hXi);

  fillPowers(vol.steps_xi, hXi);
  fillPowers(vol.steps_eta, hEta);
  fillPowers(vol.steps_zeta, hZeta);

  const int half = schemeOrder / 2;
  vol.i_begin = vol.j_begin = vol.k_begin = half;
  vol.i_end = vol.Nx - half;
  vol.j_end = vol.Ny - half;
  vol.k_end = vol.Nz - half;
  vol.stride_i = (vol.Nz + 1) * (vol.Ny + 1);
  vol.stride_j = vol.Nz + 1;
  vol.stencil_size = 10;
  vol.poly_degree = 2;
  return true;
}

void buildPlanes(FiniteVolume& vol) {
  const double c1 = vol.box_origin[0] / std::sqrt(3.0);
  const double c2 = vol.box_origin[0] + vol.box_size[0];
  const Vec3 localPoint[4] = {{c1, -c1, -c1}, {c1, -c1, -c1}, {c2, c2, c2}, {c2, c2, c2}};
  const Vec3 localNormal[4] = {{1, 0, 1}, {1, 1, 0}, {1, 0, -1}, {1, -1, 0}};
  vol.planes.assign(4, BoundingPlane{});
  for (int p = 0; p < 4; ++p) {
    vol.planes[p].point = localToGlobalPoint(vol, localPoint[p][0], localPoint[p][1], localPoint[p][2]);
    vol.planes[p].normal =
        localToGlobalVector(vol, localNormal[p][0], localNormal[p][1], localNormal[p][2]);
  }
  vol.plane_count = 4;
}

void computeLocalCoordinates(FiniteVolume& vol) {
  const double hXi = vol.steps_xi[0], hEta = vol.steps_eta[0], hZeta = vol.steps_zeta[0];
  for (int i = 0; i <= vol.Nx; ++i)
    for (int j = 0; j <= vol.Ny; ++j)
      for (int k = 0; k <= vol.Nz; ++k) {
        const size_t n = size_t(pointIndex(vol, i, j, k));
        vol.point_loc[3 * n] = hXi * (i - vol.i_begin + 0.5);
        vol.point_loc[3 * n + 1] = -1.0 + hEta * (j - vol.j_begin);
        vol.point_loc[3 * n + 2] = -1.0 + hZeta * (k - vol.k_begin);
      }
}

namespace {
// Local Cartesian position of a point from its grid coordinates.
Vec3 gridToLocal(const FiniteVolume& vol, double xi, double eta, double zeta) {
  if (vol.kind != 2) return {xi, eta, zeta};
  const double r = vol.r_offset + vol.r_scale * std::pow(vol.r_base, xi);
  const double x = r / std::sqrt(1.0 + eta * eta + zeta * zeta);
  return {x, -eta * x, -zeta * x};
}
}  // namespace

void computeGlobalCoordinates(FiniteVolume& vol) {
  const size_t count = size_t(vol.pointCount());
  for (size_t n = 0; n < count; ++n) {
    const Vec3 p = gridToLocal(vol, vol.point_loc[3 * n], vol.point_loc[3 * n + 1], vol.point_loc[3 * n + 2]);
    const Vec3 g = localToGlobalPoint(vol, p[0], p[1], p[2]);
    vol.point_glob[3 * n] = g[0];
    vol.point_glob[3 * n + 1] = g[1];
    vol.point_glob[3 * n + 2] = g[2];
  }
}

void computeMetrics(FiniteVolume& vol) {
  const size_t count = size_t(vol.pointCount());
  if (vol.xi_x.size() < count) return;  // no arrays to fill
  for (size_t n = 0; n < count; ++n) {
    if (vol.kind != 2) {
      // Cartesian block: the grid coordinates are the local coordinates.
      vol.xi_x[n] = 1, vol.xi_y[n] = 0, vol.xi_z[n] = 0;
      vol.eta_x[n] = 0, vol.eta_y[n] = 1, vol.eta_z[n] = 0;
      vol.zeta_x[n] = 0, vol.zeta_y[n] = 0, vol.zeta_z[n] = 1;
      vol.g_xixi[n] = 1, vol.g_etaeta[n] = 1, vol.g_zetazeta[n] = 1, vol.g_etazeta[n] = 0;
      vol.lap_xi[n] = 0, vol.lap_eta[n] = 0, vol.lap_zeta[n] = 0;
      continue;
    }
    const Vec3 p = gridToLocal(vol, vol.point_loc[3 * n], vol.point_loc[3 * n + 1], vol.point_loc[3 * n + 2]);
    const double x = p[0], y = p[1], z = p[2];
    const double r = std::sqrt(x * x + y * y + z * z);
    const double L = std::log(vol.r_base);
    const double o = r * L * (r - vol.r_offset);
    const double x2 = x * x, x3 = x2 * x, x4 = x2 * x2;
    vol.xi_x[n] = float(x / o);
    vol.xi_y[n] = float(y / o);
    vol.xi_z[n] = float(z / o);
    vol.eta_x[n] = float(y / x2);
    vol.eta_y[n] = float(-1.0 / x);
    vol.eta_z[n] = 0.0f;
    vol.zeta_x[n] = float(z / x2);
    vol.zeta_y[n] = 0.0f;
    vol.zeta_z[n] = float(-1.0 / x);
    vol.g_xixi[n] = float(r * r / (o * o));
    vol.g_etaeta[n] = float((x2 + y * y) / x4);
    vol.g_zetazeta[n] = float((z * z + x2) / x4);
    vol.g_etazeta[n] = float(y * z / x4);
    vol.lap_xi[n] = float((3.0 * o - r * r * L * ((r - vol.r_offset) / r + 1.0)) / (o * o));
    vol.lap_eta[n] = float(-2.0 * y / x3);
    vol.lap_zeta[n] = float(-2.0 * z / x3);
  }
}

void classifyPoints(FiniteVolume& vol) {
  for (int i = 0; i <= vol.Nx; ++i)
    for (int j = 0; j <= vol.Ny; ++j)
      for (int k = 0; k <= vol.Nz; ++k) {
        const size_t n = size_t(pointIndex(vol, i, j, k));
        const Vec3 X = {vol.point_glob[3 * n], vol.point_glob[3 * n + 1], vol.point_glob[3 * n + 2]};
        int type = kPointInactive;
        if (insideVolume(vol, X)) type = kPointComputed;
        if (i > vol.i_end) type = kPointBoundary;
        if (i < vol.i_begin && j >= vol.j_begin && j <= vol.j_end && k >= vol.k_begin && k <= vol.k_end)
          type = kPointBoundary;
        vol.type_point[n] = type;
      }
}

void findDonors(SimulationState& s, FiniteVolume& vol) {
  if (s.volumeCount < 2) return;
  const int h = s.schemeOrder / 2;
  for (int i = 0; i <= vol.Nx; ++i)
    for (int j = 0; j <= vol.Ny; ++j)
      for (int k = 0; k <= vol.Nz; ++k) {
        const int n = pointIndex(vol, i, j, k);
        const int type = vol.type_point[n];
        if (type == kPointComputed || type == kPointReserved || type == kPointBoundary) continue;
        bool needed = false;
        for (int jj = std::max(j - h, 0); jj <= std::min(j + h, vol.Ny) && !needed; ++jj)
          for (int kk = std::max(k - h, 0); kk <= std::min(k + h, vol.Nz); ++kk)
            if (vol.type_point[pointIndex(vol, i, jj, kk)] == kPointComputed) {
              needed = true;
              break;
            }
        for (int ii = std::max(i - h, 0); ii <= std::min(i + h, vol.Nx) && !needed; ++ii)
          if (vol.type_point[pointIndex(vol, ii, j, k)] == kPointComputed) needed = true;
        if (!needed) continue;

        const Vec3 X = {vol.point_glob[3 * n], vol.point_glob[3 * n + 1], vol.point_glob[3 * n + 2]};
        double best = -1.0;
        for (int b = 0; b < s.volumeCount; ++b) {
          FiniteVolume& donor = s.volumes[b];
          // A donor without arrays has no points to take values from.
          if (donor.index == vol.index || !donor.allocated) continue;
          double depth = 0;
          if (insideDepth(donor, X, depth) && depth > best) {
            best = depth;
            if (vol.type_point[n] < kPointInterpolated) s.interpolTotal.fetch_add(1);
            vol.type_point[n] = kPointInterpolated;
            vol.interpol_data[n].donor = donor.index;
            locateDonorCell(donor, vol, i, j, k);
          }
        }
      }
}

void locateDonorCell(const FiniteVolume& donor, FiniteVolume& vol, int i, int j, int k) {
  const int n = pointIndex(vol, i, j, k);
  const Vec3 X = {vol.point_glob[3 * n], vol.point_glob[3 * n + 1], vol.point_glob[3 * n + 2]};
  const Vec3 t = globalToGrid(donor, X, donor.kind);
  const auto loc = [&](int a, int b, int c, int comp) {
    return donor.point_loc[3 * size_t(pointIndex(donor, a, b, c)) + comp];
  };
  // One axis: the last cell [q(m), q(m+1)] that holds the coordinate, clamped
  // to the computed region minus its last index. A coordinate that matches
  // no cell (NaN) gets the first cell.
  const auto locate = [&](int begin, int end, double value, auto&& coordinate) {
    int cell = begin;
    for (int m = begin; m <= end - 1; ++m)
      if (coordinate(m) <= value && value <= coordinate(m + 1)) cell = m;
    if (value < coordinate(begin)) cell = begin;
    if (value > coordinate(end)) cell = end - 1;
    return cell;
  };
  InterpolEntry& e = vol.interpol_data[n];
  e.cell_i = locate(donor.i_begin, donor.i_end, t[0],
                    [&](int m) { return loc(m, donor.j_begin, donor.k_begin, 0); });
  e.cell_j = locate(donor.j_begin, donor.j_end, t[1],
                    [&](int m) { return loc(donor.i_begin, m, donor.k_begin, 1); });
  e.cell_k = locate(donor.k_begin, donor.k_end, t[2],
                    [&](int m) { return loc(donor.i_begin, donor.j_begin, m, 2); });
}

bool insidePlanes(const FiniteVolume& vol, const Vec3& X) {
  for (int p = 0; p < vol.plane_count && p < int(vol.planes.size()); ++p) {
    const BoundingPlane& pl = vol.planes[p];
    const Vec3 d = {X[0] - pl.point[0], X[1] - pl.point[1], X[2] - pl.point[2]};
    if (dot3(d, pl.normal) < -kInsideTolerance) return false;
  }
  return true;
}

namespace {
bool insideShell(const FiniteVolume& vol, const Vec3& X) {
  const Vec3 d = {X[0] - vol.origin[0], X[1] - vol.origin[1], X[2] - vol.origin[2]};
  const Vec3 p = globalToLocalVector(vol, d);
  const double r2 = dot3(p, p);
  return vol.r_in * vol.r_in - kInsideTolerance <= r2 && r2 <= vol.r_out * vol.r_out + kInsideTolerance;
}
}  // namespace

bool insideVolume(const FiniteVolume& vol, const Vec3& X) {
  return insidePlanes(vol, X) && insideShell(vol, X);
}

bool insideDepth(const FiniteVolume& vol, const Vec3& X, double& depth) {
  depth = std::numeric_limits<double>::infinity();
  for (int p = 0; p < vol.plane_count && p < int(vol.planes.size()); ++p) {
    const BoundingPlane& pl = vol.planes[p];
    const Vec3 d = {X[0] - pl.point[0], X[1] - pl.point[1], X[2] - pl.point[2]};
    depth = std::min(depth, dot3(d, pl.normal));
  }
  return insideVolume(vol, X);
}

Vec3 localToGlobalPoint(const FiniteVolume& vol, double x, double y, double z) {
  Vec3 g;
  for (int c = 0; c < 3; ++c)
    g[c] = vol.origin[c] + x * vol.axis_x[c] + y * vol.axis_y[c] + z * vol.axis_z[c];
  return g;
}

Vec3 localToGlobalVector(const FiniteVolume& vol, double a, double b, double c) {
  Vec3 g;
  for (int m = 0; m < 3; ++m) g[m] = a * vol.axis_x[m] + b * vol.axis_y[m] + c * vol.axis_z[m];
  return g;
}

Vec3 globalToLocalVector(const FiniteVolume& vol, const Vec3& V) {
  return {dot3(V, vol.axis_x), dot3(V, vol.axis_y), dot3(V, vol.axis_z)};
}

Vec3 globalToGrid(const FiniteVolume& vol, const Vec3& X, int kind) {
  const Vec3 d = {X[0] - vol.origin[0], X[1] - vol.origin[1], X[2] - vol.origin[2]};
  const Vec3 p = globalToLocalVector(vol, d);
  if (kind != 2) return p;
  const double r = std::sqrt(dot3(p, p));
  return {std::log((r - vol.r_offset) / vol.r_scale) / std::log(vol.r_base), -p[1] / p[0], -p[2] / p[0]};
}

bool createDomain(SimulationState& s, const DomainInputs& in, CoreError* error) {
  if (!validateDomainInputs(in, s.schemeOrder, error)) return false;

  // No worker may read the volumes while they are rebuilt.
  s.quiesceWorkers();
  {
    std::lock_guard<std::mutex> pass(s.passMutex);
    const int so = s.schemeOrder;
    // Only six sector orientations exist; a loaded case with more volumes
    // is cut back to six.
    if (s.volumeCount <= 0 || s.volumeCount > 6) {
      const bool fresh = s.volumeCount <= 0;
      if (fresh) s.volumes.clear();
      s.volumes.resize(6);
      if (fresh)
        for (auto& vol : s.volumes) initDefaults(vol, so);
      s.volumeCount = 6;
    }
    if (int(s.volumes.size()) > s.volumeCount) s.volumes.resize(size_t(s.volumeCount));

    for (int v = 0; v < s.volumeCount; ++v) setSectorParameters(s.volumes[v], v, in, so);

    const int64_t cells = int64_t(in.nz) * in.ny * in.nx;
    try {
      for (int v = 0; v < s.volumeCount; ++v) {
        FiniteVolume& vol = s.volumes[v];
        if (vol.allocated == 1) releaseArrays(vol);
        if (cells != 0) {
          vol.allocated = 1;
          computeSteps(vol, so);  // cannot fail: the same inputs passed validation
          allocateArrays(vol);
          clearArrays(vol);
          computeLocalCoordinates(vol);
          computeGlobalCoordinates(vol);
          computeMetrics(vol);
        } else {
          vol.allocated = 0;
        }
      }
    } catch (const std::bad_alloc&) {
      // Leave a consistent state without a grid rather than half-built volumes.
      for (auto& vol : s.volumes) {
        releaseArrays(vol);
        vol.allocated = 0;
      }
      s.gridCreated = 0;
      s.interpolationReady = 0;
      s.flowInitialised = 0;
      s.interpolTotal = 0;
      s.interpolProcessed = 0;
      s.volumesGeneration.fetch_add(1);
      return fail(error, ErrorCode::kOutOfMemory, InputField::kCellCounts);
    }

    s.interpolTotal = 0;
    s.interpolProcessed = 0;
    s.interpolFailedCount = 0;
    s.interpolFailedVolume = -1;
    s.interpolFailedPoint = -1;
    for (int v = 0; v < s.volumeCount; ++v)
      if (s.volumes[v].allocated == 1) classifyPoints(s.volumes[v]);
    for (int v = 0; v < s.volumeCount; ++v)
      if (s.volumes[v].allocated == 1) findDonors(s, s.volumes[v]);

    s.domainReady = 1;
    s.gridCreated = 1;
    s.interpolationReady = 0;
    s.flowInitialised = 0;
    s.samplingPlane.showComputed = 0;
    s.samplingPlane.showInterpolated = 0;
    s.showStreamlines = 0;
    s.volumesGeneration.fetch_add(1);
  }
  s.requestRepaint();
  return true;
}

}  // namespace brelvik
