#include "dist/decomposition.h"

#include <algorithm>
#include <numeric>

namespace brelvik::dist {

int Decomposition::ownerOf(int volume, int plane) const {
  for (const Piece& p : piecesOf[size_t(volume)])
    if (plane >= p.firstPlane && plane <= p.lastPlane) return p.rank;
  return 0;
}

bool Decomposition::computesAny(int volume, int rank) const {
  for (const Piece& p : piecesOf[size_t(volume)])
    if (p.rank == rank) return true;
  return false;
}

Decomposition decompose(const std::vector<int64_t>& pointsPerVolume,
                        const std::vector<int>& planesPerVolume, int processes) {
  const int V = int(pointsPerVolume.size());
  Decomposition d;
  d.piecesOf.assign(size_t(V), {});
  std::vector<int> order(static_cast<size_t>(V));
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    return pointsPerVolume[size_t(a)] > pointsPerVolume[size_t(b)];
  });
  std::vector<int64_t> load(size_t(std::max(1, processes)), 0);
  for (int v : order) {
    if (pointsPerVolume[size_t(v)] <= 0) continue;
    const int least = int(std::min_element(load.begin(), load.end()) - load.begin());
    d.piecesOf[size_t(v)].push_back({least, 0, planesPerVolume[size_t(v)] - 1});
    load[size_t(least)] += pointsPerVolume[size_t(v)];
  }
  return d;
}

}  // namespace brelvik::dist
