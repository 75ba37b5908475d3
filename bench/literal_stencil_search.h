#pragma once
// The stencil search written as plainly as it is defined: the distances to
// every donor point are computed once per target, then every pass scans the
// whole donor (i slowest, k fastest) for the nearest admissible candidate.
// It looks at every point on every pass, which makes it slow; it is the
// reference that the fast search must match bit for bit, in the grid tests
// and in the benchmark. Not part of the program.

#include <cmath>
#include <vector>

#include "grid/basis.h"
#include "grid/stencil_search.h"
#include "state/finite_volume.h"

namespace brelvik {

inline StencilResult literalStencilSearch(const FiniteVolume& D, const Vec3& t, int S, int degree,
                                          const StencilRules& rules, int* points, double* weights) {
  StencilResult result;
  if (!std::isfinite(t[0]) || !std::isfinite(t[1]) || !std::isfinite(t[2])) return result;
  const int count = int(D.pointCount());
  std::vector<int> used(size_t(count), 0);
  std::vector<double> dist(static_cast<size_t>(count));
  for (int p = 0; p < count; ++p) {
    const double xi = D.point_loc[3 * size_t(p)], eta = D.point_loc[3 * size_t(p) + 1],
                 zeta = D.point_loc[3 * size_t(p) + 2];
    dist[p] = std::sqrt((xi - t[0]) * (xi - t[0]) + (eta - t[1]) * (eta - t[1]) +
                        (zeta - t[2]) * (zeta - t[2]));
  }
  std::vector<BasisTerm> terms = buildBasisTerms(degree);
  std::vector<double> basis(size_t(S) * S), dx(S), dy(S), dz(S), w(S);
  std::vector<int> firstI(degree + 1, -1), firstJ(degree + 1, -1), firstK(degree + 1, -1);

  int W = 0;
  double X = -1;
  while (W < S) {
    if (++result.passes > rules.maxPasses) return result;
    const BasisTerm& term = terms[W];
    int best = -1, bi = 0, bj = 0, bk = 0;
    for (int pi = 0; pi <= D.Nx; ++pi)
      for (int pj = 0; pj <= D.Ny; ++pj)
        for (int pk = 0; pk <= D.Nz; ++pk) {
          const int p = pointIndex(D, pi, pj, pk);
          const int type = D.type_point[p];
          if (type < 0 || type > 31 || !(rules.admittedTypes >> type & 1u)) continue;
          if (used[p]) continue;
          if (rules.distinctLayers) {
            bool distinct = true;
            for (int e = 0; e < term.ex; ++e) distinct = distinct && pi != firstI[e];
            for (int e = 0; e < term.ey; ++e) distinct = distinct && pj != firstJ[e];
            for (int e = 0; e < term.ez; ++e) distinct = distinct && pk != firstK[e];
            if (!distinct) continue;
          }
          if (!(dist[p] > X)) continue;
          if (best < 0 || dist[p] < dist[best]) best = p, bi = pi, bj = pj, bk = pk;
        }

    if (best >= 0) {
      dx[W] = D.point_loc[3 * size_t(best)] - t[0];
      dy[W] = D.point_loc[3 * size_t(best) + 1] - t[1];
      dz[W] = D.point_loc[3 * size_t(best) + 2] - t[2];
      points[W] = best;
      const int L = W + 1;
      bool complete = buildBasis(dx.data(), dy.data(), dz.data(), terms, basis.data(), L).complete == 1;
      if (complete && rules.limitNegativeWeights) {
        basisWeights(w.data(), terms, basis.data(), L, 0, 0, 0);
        if (minValue(L, w.data()) < rules.minWeight) complete = false;
      }
      if (complete) {
        used[best] = 1;
        if (firstI[term.ex] == -1) firstI[term.ex] = bi;
        if (firstJ[term.ey] == -1) firstJ[term.ey] = bj;
        if (firstK[term.ez] == -1) firstK[term.ez] = bk;
        ++W;
        X = -1;
      } else {
        X = dist[best];
      }
    } else if (W > 0) {
      --W;
      X = dist[points[W]];
      used[points[W]] = 0;
    } else {
      return result;
    }
  }
  basisWeights(weights, terms, basis.data(), S, 0, 0, 0);
  result.found = true;
  return result;
}

}  // namespace brelvik
