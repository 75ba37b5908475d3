#include "dist/rank_files.h"

#include <memory>

namespace brelvik::dist {

Decomposition decomposeCase(const std::vector<FiniteVolume>& volumes, int volumeCount,
                            int processes) {
  std::vector<int64_t> points(size_t(volumeCount), 0);
  std::vector<int> planes(size_t(volumeCount), 0);
  for (int v = 0; v < volumeCount; ++v)
    if (volumes[size_t(v)].allocated) {
      points[size_t(v)] = volumes[size_t(v)].pointCount();
      planes[size_t(v)] = volumes[size_t(v)].Nx + 1;
    }
  return decompose(points, planes, processes);
}

PlaneSelection planesOf(const Decomposition& d, int rank) {
  auto shared = std::make_shared<const Decomposition>(d);
  return [shared, rank](int volume, int plane) {
    return volume >= 0 && size_t(volume) < shared->piecesOf.size() &&
           shared->ownerOf(volume, plane) == rank;
  };
}

}  // namespace brelvik::dist
