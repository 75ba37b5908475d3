#include "dist/volume_owners.h"

#include <algorithm>
#include <numeric>

namespace brelvik::dist {

std::vector<int> volumeOwners(const std::vector<int64_t>& pointsPerVolume, int processes) {
  const int V = int(pointsPerVolume.size());
  std::vector<int> owner(static_cast<size_t>(V), 0);
  if (processes <= 1) return owner;
  std::vector<int> order(static_cast<size_t>(V));
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    return pointsPerVolume[size_t(a)] > pointsPerVolume[size_t(b)];
  });
  std::vector<int64_t> load(size_t(processes), 0);
  for (int v : order) {
    if (pointsPerVolume[size_t(v)] <= 0) continue;
    const int least = int(std::min_element(load.begin(), load.end()) - load.begin());
    owner[size_t(v)] = least;
    load[size_t(least)] += pointsPerVolume[size_t(v)];
  }
  return owner;
}

}  // namespace brelvik::dist
