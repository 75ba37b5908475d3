#include "post/post_stencil.h"

#include <cmath>
#include <vector>

#include "grid/basis.h"
#include "grid/geometry.h"

namespace brelvik {

int findDonorVolume(const SimulationState& s, const Vec3& X) {
  int donor = -1;
  const int count = std::min<int>(s.volumeCount, static_cast<int>(s.volumes.size()));
  for (int v = 0; v < count; ++v)
    if (insideVolume(s.volumes[static_cast<size_t>(v)], X)) donor = v;
  return donor;
}

struct PostStencilSearch::Impl {
  std::vector<BasisTerm> terms = buildBasisTerms(2);
  std::vector<double> dist;
  std::vector<char> used;
};

PostStencilSearch::PostStencilSearch() : impl_(std::make_unique<Impl>()) {}
PostStencilSearch::~PostStencilSearch() = default;

bool PostStencilSearch::find(const FiniteVolume& vol, const Vec3& X, std::array<int, 10>& st,
                             std::array<double, 10>& w) {
  const Vec3 t = globalToGrid(vol, X, vol.kind);
  const size_t N = static_cast<size_t>(vol.pointCount());
  if (vol.point_loc.size() < 3 * N || vol.type_point.size() < N) return false;
  auto& dist = impl_->dist;
  auto& used = impl_->used;
  dist.assign(N, 0.0);
  used.assign(N, 0);
  size_t usable = 0;
  for (size_t p = 0; p < N; ++p) {
    const double a = vol.point_loc[3 * p] - t[0];
    const double b = vol.point_loc[3 * p + 1] - t[1];
    const double c = vol.point_loc[3 * p + 2] - t[2];
    dist[p] = std::sqrt(a * a + b * b + c * c);
    if (vol.type_point[p] > 0) ++usable;
  }
  if (usable < 10) return false;
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
    if (buildBasis(dx, dy, dz, impl_->terms, basis, m + 1).complete) {
      used[b] = 1;
      E = -1;
      ++m;
    } else {
      E = dist[b];
    }
  }
  basisWeights(w.data(), impl_->terms, basis, 10, 0, 0, 0);
  return true;
}

}  // namespace brelvik
