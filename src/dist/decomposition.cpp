#include "dist/decomposition.h"

#include <algorithm>

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

namespace {

// A plane boundary where a cut may fall: before plane `plane` of `volume`,
// with `before` points of the row ahead of it.
struct CutPlace {
  int volume;
  int plane;
  int64_t before;
};

}  // namespace

Decomposition decompose(const std::vector<int64_t>& pointsPerVolume,
                        const std::vector<int>& planesPerVolume, int processes, int minPlanes) {
  const int V = int(pointsPerVolume.size());
  const int N = std::max(1, processes);
  const int thinnest = std::max(1, minPlanes);
  Decomposition d;
  d.piecesOf.assign(size_t(V), {});

  // The places a cut may fall, in row order; the row's end closes the list.
  std::vector<CutPlace> places;
  int64_t total = 0;
  for (int v = 0; v < V; ++v) {
    const int64_t points = pointsPerVolume[size_t(v)];
    const int planes = planesPerVolume[size_t(v)];
    if (points <= 0 || planes <= 0) continue;
    const int64_t perPlane = points / planes;
    places.push_back({v, 0, total});
    for (int c = thinnest; c <= planes - thinnest; ++c) places.push_back({v, c, total + perPlane * c});
    total += points;
  }
  if (places.empty()) return d;
  places.push_back({V, 0, total});

  // cut[r] is the place where rank r's run begins; cut[N] is the row's end.
  // |before*N - total*r| is N times the distance to the ideal place (exact
  // in 64 bits for any grid that fits in memory).
  std::vector<size_t> cut(size_t(N) + 1, 0);
  cut[size_t(N)] = places.size() - 1;
  auto distance = [&](size_t at, int r) {
    const int64_t x = places[at].before * N - total * r;
    return x < 0 ? -x : x;
  };
  for (int r = 1; r < N; ++r) {
    const size_t from = cut[size_t(r) - 1];
    size_t best = from;
    for (size_t at = from; at < places.size(); ++at) {
      if (distance(at, r) < distance(best, r)) best = at;
      if (places[at].before * N > total * r) break;  // later places only get farther
    }
    cut[size_t(r)] = best;
  }

  // Each rank's run as pieces of the volumes it crosses.
  for (int r = 0; r < N; ++r) {
    const CutPlace& a = places[cut[size_t(r)]];
    const CutPlace& b = places[cut[size_t(r) + 1]];
    for (int v = a.volume; v <= std::min(b.volume, V - 1); ++v) {
      if (pointsPerVolume[size_t(v)] <= 0 || planesPerVolume[size_t(v)] <= 0) continue;
      const int first = v == a.volume ? a.plane : 0;
      const int last = v == b.volume ? b.plane - 1 : planesPerVolume[size_t(v)] - 1;
      if (last >= first) d.piecesOf[size_t(v)].push_back({r, first, last});
    }
  }
  return d;
}

}  // namespace brelvik::dist
