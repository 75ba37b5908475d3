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
  const double* now[5] = {vol.ro.data(), vol.u.data(), vol.v.data(), vol.w.data(), vol.T.data()};
  const double* before[5] = {vol.ro_n.data(), vol.u_n.data(), vol.v_n.data(), vol.w_n.data(),
                             vol.T_n.data()};
  const int* type = vol.type_point.data();
  // One running sum per variable, in locals (a sum kept in the returned
  // record would be stored and the arrays reloaded at every point); each
  // still adds its squares in scan order.
  double sums[5] = {r.squares[0], r.squares[1], r.squares[2], r.squares[3], r.squares[4]};
  long long points = r.points;
  const int lo = firstPlane > vol.i_begin ? firstPlane : vol.i_begin;
  const int hi = lastPlane < vol.i_end ? lastPlane : vol.i_end;
  for (int i = lo; i <= hi; ++i)
    for (int j = vol.j_begin; j <= vol.j_end; ++j) {
      const int row = pointIndex(vol, i, j, 0);
      for (int k = vol.k_begin; k <= vol.k_end; ++k) {
        const int n = row + k;
        if (type[n] != kPointComputed) continue;
        for (int q = 0; q < 5; ++q) {
          const double d = now[q][n] - before[q][n];
          sums[q] += d * d;
        }
        ++points;
      }
    }
  for (int q = 0; q < 5; ++q) r.squares[size_t(q)] = sums[q];
  r.points = points;
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
