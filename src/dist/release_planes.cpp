#include "dist/release_planes.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

namespace brelvik::dist {

std::vector<std::vector<bool>> planesHeldBy(const Decomposition& d,
                                            const std::vector<FiniteVolume>& volumes,
                                            int volumeCount, int rank) {
  std::vector<std::vector<bool>> held(static_cast<size_t>(volumeCount));
  for (int v = 0; v < volumeCount; ++v) {
    const FiniteVolume& vol = volumes[size_t(v)];
    if (!vol.allocated) continue;
    held[size_t(v)].assign(size_t(vol.Nx + 1), false);
    if (size_t(v) >= d.piecesOf.size()) continue;
    for (const Piece& p : d.piecesOf[size_t(v)]) {
      if (p.rank != rank) continue;
      // The piece and its halo planes p.firstPlane-1 and p.lastPlane+1.
      for (int i = std::max(0, p.firstPlane - 1); i <= std::min(vol.Nx, p.lastPlane + 1); ++i)
        held[size_t(v)][size_t(i)] = true;
    }
  }
  return held;
}

namespace {

// Gives back the whole pages inside [from, to); returns their bytes.
int64_t releasePages(char* from, char* to, uintptr_t page) {
  const uintptr_t first = (reinterpret_cast<uintptr_t>(from) + page - 1) / page * page;
  const uintptr_t last = reinterpret_cast<uintptr_t>(to) / page * page;
  if (first >= last) return 0;
  // Advice only: on failure the pages simply stay resident.
  if (madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED) != 0) return 0;
  return int64_t(last - first);
}

}  // namespace

FlowMemory releaseUnheldPlanes(std::vector<FiniteVolume>& volumes, int volumeCount,
                               const std::vector<std::vector<bool>>& held) {
  const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
  FlowMemory memory;
  for (int v = 0; v < volumeCount; ++v) {
    FiniteVolume& vol = volumes[size_t(v)];
    if (!vol.allocated || size_t(v) >= held.size()) continue;
    const std::vector<bool>& keep = held[size_t(v)];
    const size_t planeBytes = size_t(vol.stride_i) * sizeof(double);
    forEachFlowArray(vol, [&](std::vector<double>& a) {
      memory.allocatedBytes += int64_t(a.size() * sizeof(double));
      if (a.size() < size_t(vol.Nx + 1) * size_t(vol.stride_i)) return;  // not per-point
      char* base = reinterpret_cast<char*>(a.data());
      // Each run of consecutive planes not held, as one byte range.
      for (int i = 0; i <= vol.Nx;) {
        if (i < int(keep.size()) && keep[size_t(i)]) {
          ++i;
          continue;
        }
        int end = i;
        while (end <= vol.Nx && !(end < int(keep.size()) && keep[size_t(end)])) ++end;
        memory.releasedBytes +=
            releasePages(base + size_t(i) * planeBytes, base + size_t(end) * planeBytes, page);
        i = end;
      }
    });
  }
  return memory;
}

}  // namespace brelvik::dist
