#pragma once
// Nearest-candidate stencil search in a donor volume.
//
// A stencil is S donor points chosen one slot at a time, nearest first in
// the donor's grid coordinates, such that the quadratic basis over the
// chosen points stays complete (and, for the inter-volume stencils, no
// weight falls below -0.15). Slot m belongs to basis term m with exponents
// (ex, ey, ez); with the layer rule on, its point must lie in another i-layer
// than the first ex layers already used by x-terms (likewise j, k), so that
// the fit along each axis is well posed.
//
// One stage fills slot W:
//   - a pass picks, among admissible points with distance > X, the one with
//     the smallest distance (ties: the lowest linear index, i.e. the first in
//     i-j-k scan order);
//   - if the basis over slots 0..W is complete (and the weights are
//     acceptable) the point is accepted, W grows and X = -1;
//   - else X = that distance: every point at the same distance is passed
//     over as well in this stage;
//   - when no candidate is left, slot W-1 is given back (X = its distance)
//     and the previous stage goes on farther out; with W = 0 the search has
//     failed: no admissible stencil exists.
//
// The search below produces exactly (bit for bit) the stencil of a full scan
// of the donor per pass. It never scans the whole donor: candidates are
// enumerated in (distance, index) order from an index box grown around the
// target, using that a donor's grid coordinates form a separable lattice
// (xi depends on i only, eta on j, zeta on k, each non-decreasing). Every
// point outside the box is at least as far as the nearest layer just outside
// it, so points closer than that bound are final in their order. A donor
// whose coordinates are not such a lattice is handled by sorting all its
// points once per target (still exact, just slower).

#include <cmath>
#include <cstdint>
#include <vector>

#include "grid/basis.h"
#include "grid/rank_memo.h"
#include "state/finite_volume.h"

namespace brelvik {

// Which donor points may enter a stencil, and the acceptance tests.
struct StencilRules {
  uint32_t admittedTypes = 0;         // bit t set: points with type_point t are candidates
  bool distinctLayers = true;         // the per-term layer rule (see above)
  bool limitNegativeWeights = true;   // reject point sets with a weight below minWeight
  double minWeight = -0.15;
  // Passes after which the search gives up (counted as failure). The number
  // of stages can grow exponentially with backtracking when no admissible
  // stencil exists; this bounds the work per point.
  int maxPasses = 200000;
  // Remembered rank-test outcomes for this donor (grid/rank_memo.h), shared
  // by the searches of one thread. Used only when limitNegativeWeights is
  // off, since a weight test depends on the target. Null: every test is
  // computed.
  RankMemo* memo = nullptr;
};

// Rules of the inter-volume interpolation: donor points of type 1 or 2, or of
// a type above the target point's own type.
StencilRules interpolationRules(int targetType);

// Grid coordinates along each index of a donor, when they form a separable
// monotone lattice. Built once per donor and shared read-only by all
// searches (any thread).
struct DonorLattice {
  const FiniteVolume* volume = nullptr;
  bool regular = false;  // false: the fast enumeration falls back to a full sort
  std::vector<double> xi, eta, zeta;
};
void buildDonorLattice(const FiniteVolume& donor, DonorLattice& lattice);

// Distance between a donor point's grid coordinates and the target, the one
// expression every search uses.
inline double stencilDistance(const double* loc, double t0, double t1, double t2) {
  const double a = loc[0] - t0, b = loc[1] - t1, c = loc[2] - t2;
  return std::sqrt(a * a + b * b + c * c);
}

// Scratch memory of the search; one per thread, reused across targets.
struct StencilWorkspace {
  struct Candidate {
    double dist;
    int index;
    int i, j, k;
  };
  std::vector<Candidate> ordered;  // final, in (dist, index) order
  std::vector<Candidate> pending;  // inside the box, not yet final
  std::vector<double> sq[3];       // per axis: squared coordinate offset from the target
  int lo[3] = {0, 0, 0}, hi[3] = {-1, -1, -1};  // the box (inclusive index ranges)
  bool boxStarted = false, exhausted = false;
  std::vector<BasisTerm> terms;
  int termsDegree = -1;
  std::vector<double> basis;
};

struct StencilResult {
  bool found = false;
  int passes = 0;  // passes made (also when the search failed)
};

// Finds the S-point stencil for the target with grid coordinates t (in the
// donor's grid coordinates) and fills points[0..S-1] (donor linear indices)
// and weights[0..S-1]. degree is the total degree of the basis; S must not
// exceed its number of terms.
StencilResult findStencil(const DonorLattice& donor, const Vec3& t, int S, int degree,
                          const StencilRules& rules, StencilWorkspace& ws, int* points,
                          double* weights);

}  // namespace brelvik
