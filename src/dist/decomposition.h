#pragma once
// Which process computes which planes of which volume. A piece is a run of
// consecutive i-planes (slices i = first..last, ghost planes included) of
// one volume; the pieces of a volume cover its planes 0..Nx in order. The
// step's work is proportional to the points, so pieces are balanced by
// point count. Every process computes the same answer from the same grid.
//
// Today every piece is a whole volume: the volumes, largest first (ties:
// lower index first), each to the process with the fewest points so far
// (ties: lower rank). Volumes without points belong to rank 0 and have no
// pieces.

#include <cstdint>
#include <vector>

namespace brelvik::dist {

struct Piece {
  int rank = 0;
  int firstPlane = 0;
  int lastPlane = -1;
};

struct Decomposition {
  std::vector<std::vector<Piece>> piecesOf;  // per volume, planes ascending

  // The rank that computes (and stores) plane i of volume v; rank 0 for
  // volumes without pieces.
  int ownerOf(int volume, int plane) const;
  // True when `rank` computes some plane of the volume.
  bool computesAny(int volume, int rank) const;
};

// pointsPerVolume[v] = 0 for a volume without points; planesPerVolume[v] is
// Nx + 1 (the slices 0..Nx).
Decomposition decompose(const std::vector<int64_t>& pointsPerVolume,
                        const std::vector<int>& planesPerVolume, int processes);

}  // namespace brelvik::dist
