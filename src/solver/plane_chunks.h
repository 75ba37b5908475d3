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

#include "state/finite_volume.h"

namespace brelvik {

inline constexpr int kPlaneChunk = 64;

// eval(c0, c1) evaluates the indices c0 <= n < c1 into the caller's buffers
// at position n - c0; store(n, b) then stores buffer position b at point n.
template <class Eval, class Store>
inline void forBoxPlaneChunks(const FiniteVolume& v, int i, Eval&& eval, Store&& store) {
  const int* tp = v.type_point.data();
  const int planeBase = i * v.stride_i;
  const int nStart = planeBase + v.j_begin * v.stride_j + v.k_begin;
  const int nEnd = planeBase + v.j_end * v.stride_j + v.k_end;  // inclusive
  for (int c0 = nStart; c0 <= nEnd; c0 += kPlaneChunk) {
    const int c1 = std::min(nEnd + 1, c0 + kPlaneChunk);
    eval(c0, c1);
    int k = (c0 - planeBase) % v.stride_j;
    for (int n = c0; n < c1; ++n) {
      if (k >= v.k_begin && k <= v.k_end && tp[n] == 1) store(n, n - c0);
      if (++k == v.stride_j) k = 0;
    }
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
