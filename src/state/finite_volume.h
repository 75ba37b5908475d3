#pragma once
// One grid block of the multi-volume domain: sizes, grid geometry, metric
// coefficients, flow fields, working arrays of the time march, point types
// and inter-volume interpolation data.
//
// Every per-point array is a flat array of pointCount() elements; point
// (i, j, k) lives at n = k + j*stride_j + i*stride_i (k fastest, i radial and
// slowest). Coordinates (point_loc, point_glob) hold three values per point
// at 3n, 3n+1, 3n+2.

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace brelvik {

// Point type codes (type_point).
enum PointType : int {
  kPointInactive = 0,      // outside the own region and not needed
  kPointComputed = 1,      // updated by the kernels
  kPointReserved = 2,      // never assigned; treated like 1/3 where noted
  kPointBoundary = 3,      // ghost layers filled by boundary conditions
  kPointInterpolated = 4,  // takes its values from a donor volume (codes 4..7)
};

// Interpolation data of one point (meaningful where type_point > 3).
struct InterpolEntry {
  int donor = 0;   // index of the donor volume
  int cell_i = 0;  // donor cell containing the point, clamped to the computed region
  int cell_j = 0;
  int cell_k = 0;
  int ready = 0;   // 1 once donor_points and weights hold the stencil
  std::unique_ptr<int[]> donor_points;  // stencil_size linear indices in the donor
  std::unique_ptr<double[]> weights;    // stencil_size weights
};

// Side plane of a volume's pyramid, global frame; the normal points inwards
// and has length sqrt(2) as built.
struct BoundingPlane {
  std::array<double, 3> point{};
  std::array<double, 3> normal{};
};

using Vec3 = std::array<double, 3>;

struct FiniteVolume {
  int index = 0;

  // 30 double flow arrays. (R forms the convective products ro*u .. T*w
  // at each neighbour as it needs them, so they are not stored.)
  std::vector<double> ro, u, v, w, P, T, div, vixr, u_glob, v_glob, w_glob;
  std::vector<double> ro_n, u_n, v_n, w_n, T_n;
  std::vector<double> rhs_ro_p, rhs_u_p, rhs_v_p, rhs_w_p, rhs_T_p;
  std::vector<double> rhs_ro_c, rhs_u_c, rhs_v_c, rhs_w_c, rhs_T_c;
  std::vector<double> u_zeta, v_zeta, w_zeta, T_zeta;

  int Nx = 0, Ny = 0, Nz = 0;  // largest i, j, k

  // Powers of the grid steps: h, 1/h, h^2, 1/h^2, h^4, 1/h^4, ..., h^10, 1/h^10.
  std::array<double, 12> steps_xi{}, steps_eta{}, steps_zeta{};

  // 16 single-precision metric arrays (computed in double, stored as float).
  std::vector<float> xi_x, xi_y, xi_z, eta_x, eta_y, eta_z, zeta_x, zeta_y, zeta_z;
  std::vector<float> g_xixi, g_etaeta, g_zetazeta, g_etazeta;
  std::vector<float> lap_xi, lap_eta, lap_zeta;

  // Radial map r = r_offset + r_scale * r_base^xi.
  double r_offset = 0, r_scale = 0, r_base = 0;
  std::array<double, 4> reserved1{};
  double ratio = 0;  // ratio of successive radial cell sizes
  double r_in = 0;   // sphere radius
  double r_out = 0;  // outer radius of the domain
  std::array<double, 7> reserved2{};
  double first_step = 0;  // radial size of the first cell
  int reserved3 = 0;
  std::array<double, 8> reserved4{};
  int reserved5 = 0;
  std::array<double, 8> reserved6{};
  int reserved7 = 0;

  int i_begin = 0, i_end = 0, j_begin = 0, j_end = 0, k_begin = 0, k_end = 0;
  int stride_i = 0, stride_j = 0;
  int kind = 1;  // 1: Cartesian block; 2: cube-face shell sector

  Vec3 box_origin{}, box_size{}, origin{};
  Vec3 axis_x{1, 0, 0}, axis_y{0, 1, 0}, axis_z{0, 0, 1};
  Vec3 color{};  // 0..255 per channel

  std::vector<int> type_point;
  std::vector<double> point_loc;   // 3 per point: xi, eta, zeta
  std::vector<double> point_glob;  // 3 per point: global x, y, z

  // Per face in the order i-low, i-high, j-low, j-high, k-low, k-high.
  std::array<int, 6> face_wall{};
  std::array<int, 6> face_reserved{};
  std::array<int, 6> face_offset{1, 1, 1, 1, 1, 1};

  std::vector<BoundingPlane> planes;
  int plane_count = 0;

  std::vector<InterpolEntry> interpol_data;

  int steps_ready = 0;
  int stencil_size = 0;
  int poly_degree = 0;
  int allocated = 0;

  FiniteVolume() = default;
  FiniteVolume(FiniteVolume&&) noexcept = default;
  FiniteVolume& operator=(FiniteVolume&&) noexcept = default;
  FiniteVolume(const FiniteVolume&) = delete;
  FiniteVolume& operator=(const FiniteVolume&) = delete;

  // (Nx+1)(Ny+1)(Nz+1); 0 for negative sizes.
  int64_t pointCount() const;
};

// Values of a new, empty record (pointers, index and planes untouched).
void initDefaults(FiniteVolume& vol, int schemeOrder);
// Allocates every per-point array for the current Nx, Ny, Nz.
// Throws std::bad_alloc when the sizes are negative or too large.
void allocateArrays(FiniteVolume& vol);
// Zeroes the flow, coordinate, type and metric arrays and each entry's donor
// and ready flag.
void clearArrays(FiniteVolume& vol);
// Frees every per-point array (and each entry's stencil arrays).
void releaseArrays(FiniteVolume& vol);

inline int pointIndex(const FiniteVolume& vol, int i, int j, int k) {
  return k + j * vol.stride_j + i * vol.stride_i;
}

// Bytes of per-point storage one point costs once allocated (without the
// stencil arrays of interpolated points).
size_t bytesPerPoint();

inline constexpr int kFlowArrayCount = 30;

// Visits the 30 flow arrays in record order (ro, u, v, w, P, T, div, vixr,
// u_glob, ..., T_zeta).
template <class Vol, class F>
void forEachFlowArray(Vol& vol, F&& f) {
  f(vol.ro); f(vol.u); f(vol.v); f(vol.w); f(vol.P); f(vol.T); f(vol.div); f(vol.vixr);
  f(vol.u_glob); f(vol.v_glob); f(vol.w_glob);
  f(vol.ro_n); f(vol.u_n); f(vol.v_n); f(vol.w_n); f(vol.T_n);
  f(vol.rhs_ro_p); f(vol.rhs_u_p); f(vol.rhs_v_p); f(vol.rhs_w_p); f(vol.rhs_T_p);
  f(vol.rhs_ro_c); f(vol.rhs_u_c); f(vol.rhs_v_c); f(vol.rhs_w_c); f(vol.rhs_T_c);
  f(vol.u_zeta); f(vol.v_zeta); f(vol.w_zeta); f(vol.T_zeta);
}

// Visits the 16 metric arrays in record order.
template <class Vol, class F>
void forEachMetricArray(Vol& vol, F&& f) {
  f(vol.xi_x); f(vol.xi_y); f(vol.xi_z); f(vol.eta_x); f(vol.eta_y); f(vol.eta_z);
  f(vol.zeta_x); f(vol.zeta_y); f(vol.zeta_z);
  f(vol.g_xixi); f(vol.g_etaeta); f(vol.g_zetazeta); f(vol.g_etazeta);
  f(vol.lap_xi); f(vol.lap_eta); f(vol.lap_zeta);
}

}  // namespace brelvik
