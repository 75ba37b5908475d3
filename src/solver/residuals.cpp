#include "solver/residuals.h"

#include <cmath>

namespace brelvik {

ResidualSums residualSumsOf(const FiniteVolume& vol) {
  return residualSumsOf(vol, vol.i_begin, vol.i_end, ResidualSums{});
}

ResidualSums residualSumsOf(const FiniteVolume& vol, int firstPlane, int lastPlane,
                            ResidualSums start) {
  ResidualSums r = start;
  if (!vol.allocated) return r;
  const std::vector<double>* now[5] = {&vol.ro, &vol.u, &vol.v, &vol.w, &vol.T};
  const std::vector<double>* before[5] = {&vol.ro_n, &vol.u_n, &vol.v_n, &vol.w_n, &vol.T_n};
  const int lo = firstPlane > vol.i_begin ? firstPlane : vol.i_begin;
  const int hi = lastPlane < vol.i_end ? lastPlane : vol.i_end;
  for (int i = lo; i <= hi; ++i)
    for (int j = vol.j_begin; j <= vol.j_end; ++j)
      for (int k = vol.k_begin; k <= vol.k_end; ++k) {
        const size_t n = size_t(pointIndex(vol, i, j, k));
        if (vol.type_point[n] != kPointComputed) continue;
        for (size_t q = 0; q < 5; ++q) {
          const double d = (*now[q])[n] - (*before[q])[n];
          r.squares[q] += d * d;
        }
        ++r.points;
      }
  return r;
}

std::array<double, 5> residualRms(const std::vector<ResidualSums>& perVolume, double dt) {
  ResidualSums total;
  for (const ResidualSums& part : perVolume) {
    for (size_t q = 0; q < 5; ++q) total.squares[q] += part.squares[q];
    total.points += part.points;
  }
  std::array<double, 5> rms{};
  if (total.points == 0 || dt == 0) return rms;
  for (size_t q = 0; q < 5; ++q)
    rms[q] = std::sqrt(total.squares[q] / double(total.points)) / std::fabs(dt);
  return rms;
}

}  // namespace brelvik
