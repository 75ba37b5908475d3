#pragma once
// Loop driver for the point-wise kernels over the computed box of one
// i-plane.
//
// The box rows of a plane (j_begin..j_end, each k_begin..k_end) are visited
// as one flat index range from (j_begin, k_begin) to (j_end, k_end), which
// also runs through the extra k columns between two rows. Every index of
// that range has all six neighbours inside the volume, so a kernel can
// evaluate every index without branches; that keeps the vectorised loop
// long (a row alone is often shorter than two vectors). The values are
// evaluated into chunk buffers and then stored only at the points of the
// box whose type is 1; points of the extra columns and of other types keep
// their values.

#include <algorithm>
#include <vector>

#include "state/finite_volume.h"

namespace brelvik {

inline constexpr int kPlaneChunk = 64;

// The flat range of a plane's box rows is the same in every plane of a
// volume: mask[l] is 1 when index nStart + l has k in k_begin..k_end, 0 in
// the extra columns between two rows. Returns the calling thread's copy
// for v's box, built again only when the box's shape changes; it stays
// valid until the thread asks for a box of another shape. With it, a pass
// tests each index without tracking k and so vectorises its conditional
// stores (masked stores).
inline const int* boxRowMask(const FiniteVolume& v) {
  struct Cached {
    int key[5] = {-1, -1, -1, -1, -1};
    std::vector<int> mask;
  };
  thread_local Cached c;
  const int key[5] = {v.j_begin, v.j_end, v.k_begin, v.k_end, v.stride_j};
  if (!std::equal(key, key + 5, c.key)) {
    const int length = (v.j_end - v.j_begin) * v.stride_j + (v.k_end - v.k_begin) + 1;
    c.mask.assign(size_t(std::max(1, length)), 0);
    int k = v.k_begin;
    for (int l = 0; l < length; ++l) {
      c.mask[size_t(l)] = k >= v.k_begin && k <= v.k_end;
      if (++k == v.stride_j) k = 0;
    }
    std::copy(key, key + 5, c.key);
  }
  return c.mask.data();
}

// The flat index range of plane i's box rows, first to last inclusive.
struct BoxPlaneRange {
  int first, last;
};
inline BoxPlaneRange boxPlaneRange(const FiniteVolume& v, int i) {
  const int planeBase = i * v.stride_i;
  return {planeBase + v.j_begin * v.stride_j + v.k_begin, planeBase + v.j_end * v.stride_j + v.k_end};
}

// eval(c0, c1) evaluates the indices c0 <= n < c1 into the caller's buffers
// at position n - c0; store(n, b) then stores buffer position b at point n.
template <class Eval, class Store>
inline void forBoxPlaneChunks(const FiniteVolume& v, int i, Eval&& eval, Store&& store) {
  const int* tp = v.type_point.data();
  const BoxPlaneRange range = boxPlaneRange(v, i);
  const int nStart = range.first, nEnd = range.last;
  const int* inBox = boxRowMask(v);
  for (int c0 = nStart; c0 <= nEnd; c0 += kPlaneChunk) {
    const int c1 = std::min(nEnd + 1, c0 + kPlaneChunk);
    eval(c0, c1);
    const int* chunkInBox = inBox + (c0 - nStart);
    const int* chunkType = tp + c0;
#pragma GCC ivdep
    for (int b = 0; b < c1 - c0; ++b)
      if (chunkInBox[b] & (chunkType[b] == 1)) store(c0 + b, b);
  }
}

}  // namespace brelvik

#include <vector>

namespace brelvik {

// Below this many points a parallel region costs more than it saves (and
// on a busy machine a barrier can cost a whole time slice), so small
// volumes run on the calling thread. The results are the same either way.
inline constexpr long long kParallelMinPoints = 4096;

inline long long allocatedPoints(const std::vector<FiniteVolume>& vols, int count) {
  long long total = 0;
  for (int vi = 0; vi < count; ++vi)
    if (vols[size_t(vi)].allocated) total += vols[size_t(vi)].pointCount();
  return total;
}

}  // namespace brelvik
