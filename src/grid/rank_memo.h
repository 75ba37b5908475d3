#pragma once
// Remembered outcomes of the rank test of a stencil search: whether the
// quadratic basis over a sequence of donor points is complete.
//
// Why an outcome can be reused for another target. The basis is built over
// the points' coordinates relative to the target. Every leading run of the
// term order (1, z, y, x, z², yz, y², xz, xy, x², ...) spans a polynomial
// space that is closed under translation, and each basis function is
// generated from lower terms, so in exact arithmetic the orthonormal rows and
// their norms do not depend on the target at all: they are functions of the
// point set. On a uniform lattice (grid coordinates affine in the indices)
// they depend only on the index offsets between the points, so one outcome
// serves every placement of the same pattern in the donor.
//
// Rounding makes the computed norms differ by about 1e-16 relative from one
// target to another, so an outcome is stored only when every norm that
// decided it lies at least a factor 10 away from the drop threshold 1e-4:
// a complete basis whose smallest norm is at least 1e-3, or an incomplete
// one whose first dropped term had a norm of at most 1e-5. (Lattice point
// sets fall far from the threshold: dependent sets give norms near 1e-17,
// independent ones above 1e-2.) Any other outcome is recomputed every time.
//
// Only for rules that accept a point set on completeness alone: a test on
// the weights depends on the target and must not be remembered.
//
// Not thread-safe: one memo per search thread and donor. A memo describes one
// donor geometry; reset() it when the donor's coordinates change.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "grid/basis.h"

namespace brelvik {

class RankMemo {
 public:
  // Largest number of outcomes kept (later ones are recomputed).
  static constexpr size_t kCapacity = size_t(1) << 15;

  RankMemo() = default;

  // Prepares the memo for a donor. axes: the grid coordinate of each index
  // along i, j, k when the donor's coordinates form a separable lattice
  // (regular = true); outcomes are then keyed by index offsets if each axis
  // is uniform, by absolute indices otherwise.
  void reset(bool regular, const std::vector<double>& xi, const std::vector<double>& eta,
             const std::vector<double>& zeta);

  // 1: complete, 0: not complete, -1: not known. ijk[m] = (i, j, k) of the
  // point in slot m, m = 0..L-1.
  int lookup(const int (*ijk)[3], int L) const;

  // Records the outcome of buildBasis over those points (terms as it left
  // them) when it is safely away from the drop threshold.
  void store(const int (*ijk)[3], int L, const std::vector<BasisTerm>& terms, bool complete);

  size_t size() const { return count_; }
  bool offsets() const { return offsets_; }

 private:
  struct Entry {
    uint64_t hash = 0;
    int8_t length = 0;  // 0: empty slot
    int8_t outcome = 0;
    uint32_t key[kMaxBasisSize];
  };

  bool makeKey(const int (*ijk)[3], int L, uint32_t* key, uint64_t& hash) const;

  bool offsets_ = false;
  std::vector<Entry> table_;  // open addressing, size a power of two
  size_t count_ = 0;
};

}  // namespace brelvik
