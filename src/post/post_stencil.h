#pragma once
// Donor volume and ten-point stencil of an arbitrary global point, with the
// selection rules of the sampling plane and the streamlines: the nearest
// points in the donor's grid coordinates, any point of positive type,
// accepted one by one while the quadratic basis over the points chosen so far
// stays complete, with backtracking when a slot has no acceptable candidate.
// Unlike the inter-volume stencils there is no rule on distinct index planes
// and no test on negative weights.

#include <array>
#include <memory>

#include "state/simulation_state.h"

namespace brelvik {

// The highest-indexed volume whose sector and shell contain X, or -1.
int findDonorVolume(const SimulationState& s, const Vec3& X);

// Reusable search scratch. One object per thread; not shared.
class PostStencilSearch {
 public:
  PostStencilSearch();
  ~PostStencilSearch();
  PostStencilSearch(const PostStencilSearch&) = delete;
  PostStencilSearch& operator=(const PostStencilSearch&) = delete;

  // Stencil and weights of the global point X in volume vol. Returns false
  // (outputs unspecified) when the volume has too few usable points for a
  // complete quadratic basis, or the search gives up after its pass bound.
  // Per donor the object keeps the lattice of its grid coordinates and
  // remembered rank-test outcomes; it notices arrays that were reallocated
  // or resized, but a volume rebuilt in place with the same sizes needs
  // clear() (or a new object).
  bool find(const FiniteVolume& vol, const Vec3& X, std::array<int, 10>& stencil,
            std::array<double, 10>& weights);

  // Forgets everything kept about the donors.
  void clear();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace brelvik
