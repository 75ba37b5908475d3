#include "grid/stencil_search.h"

#include <algorithm>
#include <limits>

namespace brelvik {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

using Candidate = StencilWorkspace::Candidate;

bool candidateLess(const Candidate& a, const Candidate& b) {
  return a.dist < b.dist || (a.dist == b.dist && a.index < b.index);
}

// Enumerates the admissible points of a donor in (distance, index) order,
// growing an index box around the target on demand.
class OrderedCandidates {
 public:
  OrderedCandidates(const DonorLattice& lattice, const Vec3& t, uint32_t admitted, StencilWorkspace& ws)
      : lat_(lattice), vol_(*lattice.volume), t_(t), admitted_(admitted), ws_(ws) {
    n_[0] = vol_.Nx + 1;
    n_[1] = vol_.Ny + 1;
    n_[2] = vol_.Nz + 1;
    ws_.ordered.clear();
    ws_.pending.clear();
    ws_.boxStarted = false;
    ws_.exhausted = false;
  }

  const std::vector<Candidate>& ordered() const { return ws_.ordered; }
  bool exhausted() const { return ws_.exhausted; }

  // Makes more candidates final; returns false when none are left.
  bool grow() {
    const size_t before = ws_.ordered.size();
    while (ws_.ordered.size() == before && !ws_.exhausted) {
      if (!ws_.boxStarted) {
        startBox();
      } else {
        int axis = -1, side = 0;
        double best = kInf;
        for (int a = 0; a < 3; ++a) {
          if (ws_.lo[a] > 0 && (axis < 0 || ws_.sq[a][ws_.lo[a] - 1] < best))
            best = ws_.sq[a][ws_.lo[a] - 1], axis = a, side = -1;
          if (ws_.hi[a] < n_[a] - 1 && (axis < 0 || ws_.sq[a][ws_.hi[a] + 1] < best))
            best = ws_.sq[a][ws_.hi[a] + 1], axis = a, side = 1;
        }
        if (axis < 0) {
          // The box holds the whole donor: everything left is final.
          finalize(kInf);
          ws_.exhausted = true;
          break;
        }
        if (side < 0) {
          addSlab(axis, --ws_.lo[axis]);
        } else {
          addSlab(axis, ++ws_.hi[axis]);
        }
      }
      if (!ws_.exhausted) finalize(bound());
    }
    return ws_.ordered.size() > before;
  }

 private:
  void startBox() {
    ws_.boxStarted = true;
    if (!lat_.regular) {
      // No lattice to bound distances with: take every point at once.
      for (int a = 0; a < 3; ++a) ws_.lo[a] = 0, ws_.hi[a] = n_[a] - 1;
      for (int i = 0; i < n_[0]; ++i)
        for (int j = 0; j < n_[1]; ++j)
          for (int k = 0; k < n_[2]; ++k) addPoint(i, j, k);
      finalize(kInf);
      ws_.exhausted = true;
      return;
    }
    const std::vector<double>* axes[3] = {&lat_.xi, &lat_.eta, &lat_.zeta};
    for (int a = 0; a < 3; ++a) {
      std::vector<double>& sq = ws_.sq[a];
      sq.resize(size_t(n_[a]));
      int centre = 0;
      for (int m = 0; m < n_[a]; ++m) {
        const double d = (*axes[a])[m] - t_[a];
        sq[m] = d * d;
        if (sq[m] < sq[centre]) centre = m;
      }
      ws_.lo[a] = ws_.hi[a] = centre;
    }
    addPoint(ws_.lo[0], ws_.lo[1], ws_.lo[2]);
  }

  // Lower bound on the distance of every point outside the box: the squared
  // offsets grow away from the centre along each axis, and the computed
  // distance is at least the square root of any one of its three terms
  // (rounding is monotone).
  double bound() const {
    double m = kInf;
    for (int a = 0; a < 3; ++a) {
      if (ws_.lo[a] > 0) m = std::min(m, ws_.sq[a][ws_.lo[a] - 1]);
      if (ws_.hi[a] < n_[a] - 1) m = std::min(m, ws_.sq[a][ws_.hi[a] + 1]);
    }
    return std::sqrt(m);
  }

  void addSlab(int axis, int index) {
    int r0[3] = {ws_.lo[0], ws_.lo[1], ws_.lo[2]}, r1[3] = {ws_.hi[0], ws_.hi[1], ws_.hi[2]};
    r0[axis] = r1[axis] = index;
    for (int i = r0[0]; i <= r1[0]; ++i)
      for (int j = r0[1]; j <= r1[1]; ++j)
        for (int k = r0[2]; k <= r1[2]; ++k) addPoint(i, j, k);
  }

  void addPoint(int i, int j, int k) {
    const int n = pointIndex(vol_, i, j, k);
    const int type = vol_.type_point[n];
    if (type < 0 || type > 31 || !(admitted_ >> type & 1u)) return;
    const double d = stencilDistance(&vol_.point_loc[3 * size_t(n)], t_[0], t_[1], t_[2]);
    if (!(d == d)) return;  // NaN: never closer than any threshold
    ws_.pending.push_back({d, n, i, j, k});
  }

  // Moves the pending points closer than `limit` to the ordered list.
  void finalize(double limit) {
    auto mid = std::partition(ws_.pending.begin(), ws_.pending.end(),
                              [limit](const Candidate& c) { return c.dist < limit; });
    if (mid == ws_.pending.begin()) return;
    std::sort(ws_.pending.begin(), mid, candidateLess);
    ws_.ordered.insert(ws_.ordered.end(), ws_.pending.begin(), mid);
    ws_.pending.erase(ws_.pending.begin(), mid);
  }

  const DonorLattice& lat_;
  const FiniteVolume& vol_;
  Vec3 t_;
  uint32_t admitted_;
  StencilWorkspace& ws_;
  int n_[3];
};

}  // namespace

StencilRules interpolationRules(int targetType) {
  StencilRules r;
  r.admittedTypes = (1u << kPointComputed) | (1u << kPointReserved);
  for (int t = std::max(targetType + 1, 0); t < 32; ++t) r.admittedTypes |= 1u << t;
  return r;
}

void buildDonorLattice(const FiniteVolume& donor, DonorLattice& lattice) {
  lattice.volume = &donor;
  lattice.regular = false;
  const int ni = donor.Nx + 1, nj = donor.Ny + 1, nk = donor.Nz + 1;
  if (ni <= 0 || nj <= 0 || nk <= 0 || donor.point_loc.size() < 3 * size_t(donor.pointCount())) return;
  lattice.xi.assign(size_t(ni), 0.0);
  lattice.eta.assign(size_t(nj), 0.0);
  lattice.zeta.assign(size_t(nk), 0.0);
  for (int i = 0; i < ni; ++i) lattice.xi[i] = donor.point_loc[3 * size_t(pointIndex(donor, i, 0, 0))];
  for (int j = 0; j < nj; ++j) lattice.eta[j] = donor.point_loc[3 * size_t(pointIndex(donor, 0, j, 0)) + 1];
  for (int k = 0; k < nk; ++k) lattice.zeta[k] = donor.point_loc[3 * size_t(pointIndex(donor, 0, 0, k)) + 2];
  // The bound argument needs each coordinate to be exactly the axis value
  // and the axis values to be ordered.
  for (int i = 0; i < ni; ++i)
    for (int j = 0; j < nj; ++j)
      for (int k = 0; k < nk; ++k) {
        const double* p = &donor.point_loc[3 * size_t(pointIndex(donor, i, j, k))];
        if (!(p[0] == lattice.xi[i] && p[1] == lattice.eta[j] && p[2] == lattice.zeta[k])) return;
      }
  const auto ordered = [](const std::vector<double>& a) {
    for (size_t m = 1; m < a.size(); ++m)
      if (!(a[m - 1] <= a[m])) return false;
    return true;
  };
  lattice.regular = ordered(lattice.xi) && ordered(lattice.eta) && ordered(lattice.zeta);
}

StencilResult findStencil(const DonorLattice& donor, const Vec3& t, int S, int degree,
                          const StencilRules& rules, StencilWorkspace& ws, int* points,
                          double* weights) {
  StencilResult result;
  const FiniteVolume& D = *donor.volume;
  if (ws.termsDegree != degree) {
    ws.terms = buildBasisTerms(degree);
    ws.termsDegree = degree;
  }
  std::vector<BasisTerm>& terms = ws.terms;
  // A target without finite grid coordinates (outside the donor's map) has
  // no nearest points.
  if (!std::isfinite(t[0]) || !std::isfinite(t[1]) || !std::isfinite(t[2])) return result;
  if (S < 1 || S > int(terms.size()) || S > kMaxBasisSize) return result;
  ws.basis.resize(size_t(S) * S);
  double* basis = ws.basis.data();

  OrderedCandidates cands(donor, t, rules.admittedTypes, ws);
  double dx[kMaxBasisSize], dy[kMaxBasisSize], dz[kMaxBasisSize], w[kMaxBasisSize];
  int firstIdx[3][kMaxBasisSize];  // first i, j, k layer used per exponent
  for (auto& f : firstIdx) std::fill(f, f + kMaxBasisSize, -1);

  RankMemo* memo = rules.limitNegativeWeights ? nullptr : rules.memo;
  int slotIjk[kMaxBasisSize][3];
  bool basisCurrent = false;  // `basis` holds the evaluation of slots 0..W

  int W = 0;
  double X = -1;
  while (W < S) {
    if (++result.passes > rules.maxPasses) return result;
    const BasisTerm& term = terms[W];

    // The pass: first admissible candidate beyond X in (distance, index) order.
    const std::vector<Candidate>& ord = cands.ordered();
    size_t pos = X < 0 ? 0
                       : size_t(std::upper_bound(ord.begin(), ord.end(), X,
                                                 [](double x, const Candidate& c) { return x < c.dist; }) -
                                ord.begin());
    const Candidate* found = nullptr;
    while (!found) {
      if (pos == cands.ordered().size()) {
        if (!cands.grow()) break;
        continue;
      }
      const Candidate& c = cands.ordered()[pos++];
      bool ok = true;
      for (int m = 0; m < W && ok; ++m) ok = points[m] != c.index;
      if (ok && rules.distinctLayers) {
        for (int e = 0; e < term.ex && ok; ++e) ok = c.i != firstIdx[0][e];
        for (int e = 0; e < term.ey && ok; ++e) ok = c.j != firstIdx[1][e];
        for (int e = 0; e < term.ez && ok; ++e) ok = c.k != firstIdx[2][e];
      }
      if (ok) found = &c;
    }

    if (found) {
      const Candidate c = *found;
      const double* loc = &D.point_loc[3 * size_t(c.index)];
      dx[W] = loc[0] - t[0];
      dy[W] = loc[1] - t[1];
      dz[W] = loc[2] - t[2];
      points[W] = c.index;
      slotIjk[W][0] = c.i;
      slotIjk[W][1] = c.j;
      slotIjk[W][2] = c.k;
      const int L = W + 1;
      const int known = memo ? memo->lookup(slotIjk, L) : -1;
      bool complete;
      if (known >= 0) {
        complete = known == 1;
        basisCurrent = false;
      } else {
        complete = buildBasis(dx, dy, dz, terms, basis, L).complete == 1;
        basisCurrent = true;
        if (memo) memo->store(slotIjk, L, terms, complete);
      }
      if (complete && rules.limitNegativeWeights) {
        basisWeights(w, terms, basis, L, 0, 0, 0);
        if (minValue(L, w) < rules.minWeight) complete = false;
      }
      if (complete) {
        if (firstIdx[0][term.ex] < 0) firstIdx[0][term.ex] = c.i;
        if (firstIdx[1][term.ey] < 0) firstIdx[1][term.ey] = c.j;
        if (firstIdx[2][term.ez] < 0) firstIdx[2][term.ez] = c.k;
        ++W;
        X = -1;
      } else {
        X = c.dist;
      }
    } else if (W > 0) {
      // Give the previous slot back and look farther out for it. Its layer
      // marks stay.
      --W;
      X = stencilDistance(&D.point_loc[3 * size_t(points[W])], t[0], t[1], t[2]);
    } else {
      return result;  // not even a first point: no admissible stencil
    }
  }
  // The weights come from the basis over the final points at this target.
  // When the last test was answered by the memo, build that basis now: the
  // same computation the test would have made.
  if (!basisCurrent) buildBasis(dx, dy, dz, terms, basis, S);
  basisWeights(weights, terms, basis, S, 0, 0, 0);
  result.found = true;
  return result;
}

}  // namespace brelvik
