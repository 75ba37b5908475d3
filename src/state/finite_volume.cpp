#include "state/finite_volume.h"

#include <algorithm>
#include <new>

namespace brelvik {

int64_t FiniteVolume::pointCount() const {
  if (Nx < 0 || Ny < 0 || Nz < 0) return 0;
  return int64_t(Nx + 1) * int64_t(Ny + 1) * int64_t(Nz + 1);
}

void initDefaults(FiniteVolume& vol, int schemeOrder) {
  vol.Nx = vol.Ny = vol.Nz = schemeOrder;
  vol.steps_xi.fill(0);
  vol.steps_eta.fill(0);
  vol.steps_zeta.fill(0);
  vol.r_offset = vol.r_scale = vol.r_base = 0;
  vol.reserved1.fill(0);
  vol.ratio = vol.r_in = vol.r_out = 0;
  vol.reserved2.fill(0);
  vol.first_step = 0;
  vol.reserved3 = 0;
  vol.reserved4.fill(0);
  vol.reserved5 = 0;
  vol.reserved6.fill(0);
  vol.reserved7 = 0;
  vol.i_begin = vol.i_end = vol.j_begin = vol.j_end = vol.k_begin = vol.k_end = 0;
  vol.stride_i = vol.stride_j = 0;
  vol.kind = 1;
  vol.box_origin = {0, 0, 0};
  vol.box_size = {0, 0, 0};
  vol.origin = {0, 0, 0};
  vol.axis_x = {1, 0, 0};
  vol.axis_y = {0, 1, 0};
  vol.axis_z = {0, 0, 1};
  vol.color = {0, 0, 0};
  vol.face_wall.fill(0);
  vol.face_reserved.fill(0);
  vol.face_offset.fill(1);
  vol.steps_ready = 0;
  vol.stencil_size = 0;
  vol.poly_degree = 0;
  vol.allocated = 0;
}

void allocateArrays(FiniteVolume& vol) {
  if (vol.Nx < 0 || vol.Ny < 0 || vol.Nz < 0) throw std::bad_alloc();
  const int64_t count = vol.pointCount();
  // Indices are 32-bit ints throughout (linear point index, stencil entries),
  // and coordinates take 3 values per point.
  if (count > (int64_t(1) << 31) / 3 - 1) throw std::bad_alloc();
  const size_t n = static_cast<size_t>(count);
  forEachFlowArray(vol, [n](std::vector<double>& a) { a.assign(n, 0.0); });
  forEachMetricArray(vol, [n](std::vector<float>& a) { a.assign(n, 0.0f); });
  vol.type_point.assign(n, 0);
  vol.point_loc.assign(3 * n, 0.0);
  vol.point_glob.assign(3 * n, 0.0);
  vol.interpol_data.clear();
  vol.interpol_data.resize(n);
}

void clearArrays(FiniteVolume& vol) {
  forEachFlowArray(vol, [](std::vector<double>& a) { std::fill(a.begin(), a.end(), 0.0); });
  forEachMetricArray(vol, [](std::vector<float>& a) { std::fill(a.begin(), a.end(), 0.0f); });
  std::fill(vol.type_point.begin(), vol.type_point.end(), 0);
  std::fill(vol.point_loc.begin(), vol.point_loc.end(), 0.0);
  std::fill(vol.point_glob.begin(), vol.point_glob.end(), 0.0);
  for (auto& e : vol.interpol_data) {
    e.donor = 0;
    e.ready = 0;
  }
}

void releaseArrays(FiniteVolume& vol) {
  forEachFlowArray(vol, [](std::vector<double>& a) { std::vector<double>().swap(a); });
  forEachMetricArray(vol, [](std::vector<float>& a) { std::vector<float>().swap(a); });
  std::vector<int>().swap(vol.type_point);
  std::vector<double>().swap(vol.point_loc);
  std::vector<double>().swap(vol.point_glob);
  std::vector<InterpolEntry>().swap(vol.interpol_data);
}

size_t bytesPerPoint() {
  return kFlowArrayCount * sizeof(double) + 16 * sizeof(float) + sizeof(int) + 6 * sizeof(double) +
         sizeof(InterpolEntry);
}

}  // namespace brelvik
