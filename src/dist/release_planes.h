#pragma once
// Under several processes each one computes only its pieces (runs of
// i-planes, decomposition.h) and reads, besides them, the plane beyond
// either end of each piece (the halo). Its copies of the flow arrays'
// other planes are never read before something writes them (an exchange,
// an ordered receiver served everywhere, the gather to rank 0), so their
// memory goes back to the operating system: madvise(MADV_DONTNEED) on the
// whole pages lying inside those planes' bytes. For private anonymous
// memory (the heap's and malloc's own mappings alike) the kernel drops the
// pages; a later read sees zeros and a later write faults in a fresh zero
// page. Bytes outside the released whole pages (a page shared with the
// neighbouring plane, or with another heap object) are never touched.
//
// Only the flow arrays (forEachFlowArray) are released: the coordinates,
// point types, metrics and interpolation data stay whole on every process,
// which builds the receiver schedule and the exports from them.

#include <cstdint>
#include <vector>

#include "dist/decomposition.h"
#include "state/finite_volume.h"

namespace brelvik::dist {

struct FlowMemory {
  int64_t allocatedBytes = 0;  // the flow arrays of every volume, in full
  int64_t releasedBytes = 0;   // of those, the whole pages given back
  int64_t heldBytes() const { return allocatedBytes - releasedBytes; }
};

// Whether `rank` reads plane i of volume v: within one plane of its pieces.
std::vector<std::vector<bool>> planesHeldBy(const Decomposition& d,
                                            const std::vector<FiniteVolume>& volumes,
                                            int volumeCount, int rank);

// Releases the flow arrays' planes that `held` does not select, for the
// first `volumeCount` volumes. Call only while no other thread touches the
// arrays. Returns what was allocated and what was released.
FlowMemory releaseUnheldPlanes(std::vector<FiniteVolume>& volumes, int volumeCount,
                               const std::vector<std::vector<bool>>& held);

}  // namespace brelvik::dist
