#pragma once
// Which process computes which planes of which volume. A piece is a run of
// consecutive i-planes (slices i = first..last, ghost planes included) of
// one volume; the pieces of a volume cover its planes 0..Nx in order. The
// step's work is proportional to the points, so pieces are balanced by
// point count. Every process computes the same answer from the same grid.
//
// The volumes with points are laid end to end in index order, planes
// ascending, and that row of planes is cut into one run per process, rank
// 0 first: cut r falls on the plane boundary whose points before it are
// nearest to r/N of all points (ties: the earlier boundary). So each
// process holds one run, which covers whole volumes and at most a piece at
// either end; N that divides the count of equal volumes gives whole
// volumes, and more processes than volumes cut volumes into slabs.
//
// A cut inside a volume falls at least minPiecePlanes planes from either
// face: the stencils of the inner (sphere) face's boundary passes and of
// the wall integrals of the drag, and those of the outer face's passes,
// then lie in the end pieces, which hold the ghost planes. The pieces in
// between may be one plane thin: the kernels' stencils reach one plane
// either side, which the halo brings. Where no cut may fall near the ideal
// place a process gets fewer points, or none. Volumes without points
// belong to rank 0 and have no pieces.

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

// The thinnest end piece a cut may leave for a scheme of order `schemeOrder`
// (G = order/2 ghost planes, the computed planes starting at i = G): the
// wall friction differentiates radially with order/2 planes either side of
// the planes G and G+1, so the inner piece needs the planes 0..order+1;
// the outer face's divergence reads the planes Nx-order..Nx.
inline int minPiecePlanes(int schemeOrder) { return schemeOrder + 2; }

// pointsPerVolume[v] = 0 for a volume without points; planesPerVolume[v] is
// Nx + 1 (the slices 0..Nx); minPlanes: minPiecePlanes of the scheme.
Decomposition decompose(const std::vector<int64_t>& pointsPerVolume,
                        const std::vector<int>& planesPerVolume, int processes, int minPlanes);

}  // namespace brelvik::dist
