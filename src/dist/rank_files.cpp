#include "dist/rank_files.h"

#include <memory>

namespace brelvik::dist {

Decomposition decomposeCase(const std::vector<FiniteVolume>& volumes, int volumeCount,
                            int processes, int schemeOrder) {
  std::vector<int64_t> points(size_t(volumeCount), 0);
  std::vector<int> planes(size_t(volumeCount), 0);
  for (int v = 0; v < volumeCount; ++v)
    if (volumes[size_t(v)].allocated) {
      points[size_t(v)] = volumes[size_t(v)].pointCount();
      planes[size_t(v)] = volumes[size_t(v)].Nx + 1;
    }
  return decompose(points, planes, processes, minPiecePlanes(schemeOrder));
}

namespace {

// Whether `plane` of `volume` lies in one of rank's pieces widened by
// `margin` planes either side.
PlaneSelection piecesOf(const Decomposition& d, int rank, int margin) {
  auto shared = std::make_shared<const Decomposition>(d);
  return [shared, rank, margin](int volume, int plane) {
    if (volume < 0 || size_t(volume) >= shared->piecesOf.size()) return false;
    for (const Piece& p : shared->piecesOf[size_t(volume)])
      if (p.rank == rank && plane >= p.firstPlane - margin && plane <= p.lastPlane + margin)
        return true;
    return false;
  };
}

}  // namespace

PlaneSelection planesWrittenBy(const Decomposition& d, int rank) { return piecesOf(d, rank, 0); }

PlaneSelection planesReadBy(const Decomposition& d, int rank) { return piecesOf(d, rank, 1); }

}  // namespace brelvik::dist
