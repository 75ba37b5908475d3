#include "grid/rank_memo.h"

#include <cmath>
#include <cstring>

namespace brelvik {

namespace {

// Outcomes closer than a factor 10 to the drop threshold (1e-4) of
// buildBasis are not remembered.
constexpr double kSafelyIndependent = 1e-3;
constexpr double kSafelyDependent = 1e-5;

// Index offsets and indices are packed 10 bits per axis.
constexpr int kFieldBits = 10;
constexpr int kFieldMax = (1 << kFieldBits) - 1;
constexpr int kOffsetBias = 1 << (kFieldBits - 1);

// Uniform: every step equal to the first within a relative 1e-12.
bool uniformAxis(const std::vector<double>& a) {
  if (a.size() < 2) return true;
  const double h = a[1] - a[0];
  if (!(h > 0) || !std::isfinite(h)) return false;
  for (size_t m = 1; m + 1 < a.size(); ++m)
    if (!(std::fabs((a[m + 1] - a[m]) - h) <= 1e-12 * h)) return false;
  return true;
}

uint64_t mix(uint64_t h, uint64_t v) {
  h ^= v + 0x9e3779b97f4a7c15ull + (h << 6) + (h >> 2);
  h *= 0xff51afd7ed558ccdull;
  return h ^ (h >> 33);
}

}  // namespace

void RankMemo::reset(bool regular, const std::vector<double>& xi, const std::vector<double>& eta,
                     const std::vector<double>& zeta) {
  offsets_ = regular && uniformAxis(xi) && uniformAxis(eta) && uniformAxis(zeta);
  table_.clear();
  count_ = 0;
}

bool RankMemo::makeKey(const int (*ijk)[3], int L, uint32_t* key, uint64_t& hash) const {
  if (L < 1 || L > kMaxBasisSize) return false;
  hash = mix(0, uint64_t(L));
  for (int m = 0; m < L; ++m) {
    uint32_t packed = 0;
    for (int a = 0; a < 3; ++a) {
      const int v = offsets_ ? ijk[m][a] - ijk[0][a] + kOffsetBias : ijk[m][a];
      if (v < 0 || v > kFieldMax) return false;
      packed = (packed << kFieldBits) | uint32_t(v);
    }
    key[m] = packed;
    hash = mix(hash, packed);
  }
  return true;
}

int RankMemo::lookup(const int (*ijk)[3], int L) const {
  if (table_.empty()) return -1;
  uint32_t key[kMaxBasisSize];
  uint64_t hash;
  if (!makeKey(ijk, L, key, hash)) return -1;
  const size_t mask = table_.size() - 1;
  for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
    const Entry& e = table_[slot];
    if (e.length == 0) return -1;
    if (e.hash == hash && e.length == L && std::memcmp(e.key, key, sizeof(uint32_t) * size_t(L)) == 0)
      return e.outcome;
  }
}

void RankMemo::store(const int (*ijk)[3], int L, const std::vector<BasisTerm>& terms, bool complete) {
  if (count_ >= kCapacity) return;
  // Only outcomes far from the threshold are safe to reuse.
  if (complete) {
    for (int m = 0; m < L; ++m)
      if (!(terms[size_t(m)].norm >= kSafelyIndependent)) return;
  } else {
    int first = -1;
    for (int m = 0; m < L && first < 0; ++m)
      if (!terms[size_t(m)].independent) first = m;
    if (first < 0 || !(terms[size_t(first)].rawNorm <= kSafelyDependent)) return;
  }
  uint32_t key[kMaxBasisSize];
  uint64_t hash;
  if (!makeKey(ijk, L, key, hash)) return;
  if (table_.empty()) table_.resize(size_t(1) << 10);
  if (2 * (count_ + 1) > table_.size()) {
    // Grow to keep the load at most one half.
    std::vector<Entry> old;
    old.swap(table_);
    table_.resize(old.size() * 2);
    const size_t mask = table_.size() - 1;
    for (const Entry& e : old) {
      if (e.length == 0) continue;
      size_t slot = e.hash & mask;
      while (table_[slot].length != 0) slot = (slot + 1) & mask;
      table_[slot] = e;
    }
  }
  const size_t mask = table_.size() - 1;
  size_t slot = hash & mask;
  while (table_[slot].length != 0) {
    const Entry& e = table_[slot];
    if (e.hash == hash && e.length == L && std::memcmp(e.key, key, sizeof(uint32_t) * size_t(L)) == 0)
      return;  // already known
    slot = (slot + 1) & mask;
  }
  Entry& e = table_[slot];
  e.hash = hash;
  e.length = int8_t(L);
  e.outcome = complete ? 1 : 0;
  std::memcpy(e.key, key, sizeof(uint32_t) * size_t(L));
  ++count_;
}

}  // namespace brelvik
