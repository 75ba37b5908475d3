#pragma once
// The plain form of the post-processing stencil search, kept as the oracle
// for the fast search (and timed against it by bench/bench_streamlines):
// every evaluation computes the distance to every point of the donor and
// scans the whole donor once per candidate.

#include <array>
#include <cmath>
#include <vector>

#include "grid/basis.h"
#include "grid/geometry.h"
#include "state/simulation_state.h"

namespace brelvik::literal {

inline int donorVolume(const SimulationState& s, const Vec3& X) {
  int donor = -1;
  for (int v = 0; v < s.volumeCount; ++v)
    if (insideVolume(s.volumes[static_cast<size_t>(v)], X)) donor = v;
  return donor;
}

// Greedy nearest-first search with backtracking over points of positive
// type; a candidate is accepted while the basis over the slots filled so far
// is complete. False when the volume cannot give ten such points.
inline bool stencil(const FiniteVolume& vol, const Vec3& X, std::array<int, 10>& st,
                    std::array<double, 10>& w) {
  const Vec3 t = globalToGrid(vol, X, vol.kind);
  const size_t N = static_cast<size_t>(vol.pointCount());
  std::vector<double> dist(N);
  std::vector<char> used(N, 0);
  size_t usable = 0;
  for (size_t p = 0; p < N; ++p) {
    const double a = vol.point_loc[3 * p] - t[0];
    const double b = vol.point_loc[3 * p + 1] - t[1];
    const double c = vol.point_loc[3 * p + 2] - t[2];
    dist[p] = std::sqrt(a * a + b * b + c * c);
    if (vol.type_point[p] > 0) ++usable;
  }
  if (usable < 10) return false;
  std::vector<BasisTerm> terms = buildBasisTerms(2);
  double dx[10], dy[10], dz[10], basis[100];
  double E = -1;
  int m = 0;
  while (m < 10) {
    long best = -1;
    for (size_t p = 0; p < N; ++p)
      if (vol.type_point[p] > 0 && !used[p] && dist[p] > E &&
          (best < 0 || dist[p] < dist[static_cast<size_t>(best)]))
        best = static_cast<long>(p);
    if (best < 0) {
      if (m == 0) return false;
      --m;
      used[static_cast<size_t>(st[m])] = 0;
      E = dist[static_cast<size_t>(st[m])];
      continue;
    }
    const size_t b = static_cast<size_t>(best);
    st[m] = static_cast<int>(best);
    dx[m] = vol.point_loc[3 * b] - t[0];
    dy[m] = vol.point_loc[3 * b + 1] - t[1];
    dz[m] = vol.point_loc[3 * b + 2] - t[2];
    if (buildBasis(dx, dy, dz, terms, basis, m + 1).complete) {
      used[b] = 1;
      E = -1;
      ++m;
    } else {
      E = dist[b];
    }
  }
  basisWeights(w.data(), terms, basis, 10, 0, 0, 0);
  return true;
}

inline bool velocityAt(const SimulationState& s, const Vec3& P, Vec3& out) {
  if (s.volumeCount <= 0) return false;
  const int d = donorVolume(s, P);
  if (d < 0) return false;
  const FiniteVolume& vol = s.volumes[static_cast<size_t>(d)];
  std::array<int, 10> st;
  std::array<double, 10> w;
  if (!stencil(vol, P, st, w)) return false;
  double u = 0, v = 0, ww = 0;
  for (int m = 0; m < 10; ++m) {
    const size_t p = static_cast<size_t>(st[m]);
    u += w[m] * vol.u_glob[p];
    v += w[m] * vol.v_glob[p];
    ww += w[m] * vol.w_glob[p];
  }
  out = {u, v, ww};
  return true;
}

// One line traced with the plain search: upstream Heun steps of -0.1 while
// the line is shorter than budget/2 points, reversed, then downstream from
// the seed under the same budget.
template <class Velocity>
std::vector<Vec3> traceLineWith(const SimulationState& s, const Vec3& seed, int budget,
                                Velocity velocity) {
  std::vector<Vec3> line{seed};
  auto phase = [&](double sign) {
    Vec3 P = seed;
    do {
      Vec3 k1, k2;
      if (!velocity(s, P, k1)) break;
      const Vec3 q{P[0] + sign * 0.1 * k1[0], P[1] + sign * 0.1 * k1[1], P[2] + sign * 0.1 * k1[2]};
      if (!velocity(s, q, k2)) break;
      for (int c = 0; c < 3; ++c) P[c] = P[c] + sign * 0.05 * (k1[c] + k2[c]);
      line.push_back(P);
    } while (static_cast<int>(line.size()) < budget / 2);
  };
  phase(-1.0);
  std::vector<Vec3> reversed(line.rbegin(), line.rend());
  line = reversed;
  phase(1.0);
  return line;
}

inline std::vector<Vec3> traceLine(const SimulationState& s, const Vec3& seed, int budget) {
  return traceLineWith(s, seed, budget, [](const SimulationState& st, const Vec3& p, Vec3& out) {
    return literal::velocityAt(st, p, out);
  });
}

}  // namespace brelvik::literal
