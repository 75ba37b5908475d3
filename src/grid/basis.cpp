#include "grid/basis.h"

#include <cassert>
#include <cmath>

namespace brelvik {

namespace {
constexpr double kOrthogonalityTolerance = 1e-8;
constexpr double kDependentNorm = 0.0001;
constexpr double kResidualTolerance = 1e-8;

// The product part of a basis function at one point: the parents' values
// multiplied by the coordinate along which the exponent grew. For mixed
// terms all applicable products are summed; after orthogonalisation this
// spans the same space as any one of them.
inline double productPart(const BasisTerm& t, double x, double y, double z, double px, double py,
                          double pz) {
  return (t.ex > 0 ? x * px : 0.0) + (t.ey > 0 ? y * py : 0.0) + (t.ez > 0 ? z * pz : 0.0);
}
}  // namespace

double dot(int n, const double* a, const double* b) {
  double s = 0;
  for (int i = 0; i < n; ++i) s += a[i] * b[i];
  return s;
}

double norm2(int n, const double* a) { return std::sqrt(dot(n, a, a)); }

void matVec(double* out, const double* A, const double* x, int n) {
  for (int i = 0; i < n; ++i) out[i] = dot(n, A + i * n, x);
}

void combine(double* out, double c, const double* x, double d, const double* y, int n) {
  for (int i = 0; i < n; ++i) out[i] = c * x[i] + d * y[i];
}

void copyVector(double* out, const double* a, int n) {
  for (int i = 0; i < n; ++i) out[i] = a[i];
}

double maxAbs(int n, const double* a) {
  double m = 0;
  for (int i = 0; i < n; ++i) {
    const double v = std::fabs(a[i]);
    if (v > m) m = v;
  }
  return m;
}

double minValue(int n, const double* a) {
  double m = a[0];
  for (int i = 1; i < n; ++i)
    if (a[i] < m) m = a[i];
  return m;
}

std::vector<BasisTerm> buildBasisTerms(int degree) {
  std::vector<BasisTerm> terms;
  for (int d = 0; d <= degree; ++d)
    for (int ex = 0; ex <= d; ++ex)
      for (int ey = 0; ey <= d - ex; ++ey) {
        BasisTerm t;
        t.ex = ex;
        t.ey = ey;
        t.ez = d - ex - ey;
        terms.push_back(t);
      }
  const auto find = [&](int ex, int ey, int ez) {
    for (size_t m = 0; m < terms.size(); ++m)
      if (terms[m].ex == ex && terms[m].ey == ey && terms[m].ez == ez) return int(m);
    return -1;
  };
  for (size_t m = 0; m < terms.size(); ++m) {
    BasisTerm& t = terms[m];
    if (t.ex > 0) t.parent_x = find(t.ex - 1, t.ey, t.ez);
    if (t.ey > 0) t.parent_y = find(t.ex, t.ey - 1, t.ez);
    if (t.ez > 0) t.parent_z = find(t.ex, t.ey, t.ez - 1);
    t.coefficients.assign(m, 0.0);
  }
  return terms;
}

double solveConjugateGradient(int n, const double* A, double* x, const double* b) {
  assert(n <= kMaxBasisSize);
  double r[kMaxBasisSize], p[kMaxBasisSize], c[kMaxBasisSize], best[kMaxBasisSize];
  const auto residual = [&] {
    matVec(c, A, x, n);
    combine(r, 1.0, b, -1.0, c, n);
    return maxAbs(n, r);
  };
  double res = residual();
  double bestRes = res;
  copyVector(best, x, n);
  copyVector(p, r, n);
  for (int iter = 0; iter < kConjugateGradientCap; ++iter) {
    matVec(c, A, p, n);
    const double cp = dot(n, c, p);
    // cp is 0 only for p = 0, i.e. a residual that is exactly zero: x solves
    // the system already.
    if (!(cp != 0) || !std::isfinite(cp)) break;
    const double alpha = dot(n, r, p) / cp;
    for (int i = 0; i < n; ++i) x[i] += alpha * p[i];
    double Ax[kMaxBasisSize];
    matVec(Ax, A, x, n);
    combine(r, 1.0, b, -1.0, Ax, n);
    res = maxAbs(n, r);
    if (!std::isfinite(res)) break;
    if (res < bestRes) {
      bestRes = res;
      copyVector(best, x, n);
    }
    if (res <= kResidualTolerance) return res;
    const double beta = dot(n, r, c) / cp;
    for (int i = 0; i < n; ++i) p[i] = r[i] - beta * p[i];
  }
  copyVector(x, best, n);
  return bestRes;
}

namespace {

// Row-major L x L: sums over points run in point order for every row, so the
// loops below may visit rows in any interleaving (and be vectorised across
// rows or points) without changing a single result.
//
// N > 0: the number of points is the compile-time N (loops unroll); N = 0:
// it is the run-time L.
template <int N>
BasisStatus buildBasisImpl(const double* dx, const double* dy, const double* dz,
                           std::vector<BasisTerm>& terms, double* basis, int Lrun) {
  const int L = N > 0 ? N : Lrun;
  for (int m = 1; m < L; ++m)
    for (int l = 0; l < m; ++l) terms[m].coefficients[l] = 0.0;

  double* row0 = basis;
  for (int p = 0; p < L; ++p) row0[p] = 1.0;
  terms[0].norm = norm2(L, row0);
  terms[0].rawNorm = terms[0].norm;
  for (int p = 0; p < L; ++p) row0[p] /= terms[0].norm;
  terms[0].independent = 1;
  int J = 1;
  int independentRows[kMaxBasisSize];
  independentRows[0] = 0;

  double g[kMaxBasisSize], acc[kMaxBasisSize];
  // acc[l] = sum over points of a[p] * row l, for l < m.
  const auto dotsWithRows = [&](const double* a, int m) {
    for (int l = 0; l < m; ++l) acc[l] = 0.0;
    for (int p = 0; p < L; ++p)
      for (int l = 0; l < m; ++l) acc[l] += a[p] * basis[l * L + p];
  };
  for (int m = 1; m < L; ++m) {
    BasisTerm& t = terms[m];
    double* row = basis + m * L;
    const double* rx = t.ex > 0 ? basis + t.parent_x * L : nullptr;
    const double* ry = t.ey > 0 ? basis + t.parent_y * L : nullptr;
    const double* rz = t.ez > 0 ? basis + t.parent_z * L : nullptr;
    for (int p = 0; p < L; ++p)
      g[p] = productPart(t, dx[p], dy[p], dz[p], rx ? rx[p] : 0.0, ry ? ry[p] : 0.0, rz ? rz[p] : 0.0);

    double* coef = t.coefficients.data();
    dotsWithRows(g, m);
    for (int l = 0; l < m; ++l) coef[l] = -acc[l];
    // row = g + sum_l coef[l] * row l, the terms added in order of l.
    const auto formRow = [&] {
      for (int p = 0; p < L; ++p) row[p] = g[p];
      for (int l = 0; l < m; ++l)
        for (int p = 0; p < L; ++p) row[p] += coef[l] * basis[l * L + p];
    };
    formRow();

    dotsWithRows(row, m);
    double worst = 0;
    for (int l = 0; l < m; ++l) {
      const double d = std::fabs(acc[l]);
      if (d > worst) worst = d;
    }
    if (worst > kOrthogonalityTolerance) {
      // Re-orthogonalise: solve for the coefficients on the independent rows
      // through their Gram matrix instead of assuming it is the identity.
      double G[kMaxBasisSize * kMaxBasisSize], b[kMaxBasisSize], x[kMaxBasisSize];
      for (int u = 0; u < J; ++u) {
        const double* ru = basis + independentRows[u] * L;
        for (int v = 0; v < J; ++v) G[u * J + v] = dot(L, ru, basis + independentRows[v] * L);
        b[u] = -dot(L, g, ru);
        x[u] = coef[independentRows[u]];
      }
      solveConjugateGradient(J, G, x, b);
      for (int u = 0; u < J; ++u) coef[independentRows[u]] = x[u];
      formRow();
    }

    const double nrm = norm2(L, row);
    t.rawNorm = nrm;
    if (nrm > kDependentNorm) {
      for (int p = 0; p < L; ++p) row[p] /= nrm;
      t.norm = nrm;
      t.independent = 1;
      independentRows[J++] = m;
    } else {
      t.norm = 0;
      t.independent = 0;
      for (int p = 0; p < L; ++p) row[p] = 0.0;
    }
  }

  BasisStatus status;
  for (int m = 0; m < L; ++m)
    if (!terms[m].independent) ++status.dropped;
  status.complete = status.dropped == 0 ? 1 : 0;
  return status;
}

}  // namespace

BasisStatus buildBasis(const double* dx, const double* dy, const double* dz,
                       std::vector<BasisTerm>& terms, double* basis, int L) {
  assert(L >= 1 && L <= kMaxBasisSize && L <= int(terms.size()));
  switch (L) {
    case 1: return buildBasisImpl<1>(dx, dy, dz, terms, basis, L);
    case 2: return buildBasisImpl<2>(dx, dy, dz, terms, basis, L);
    case 3: return buildBasisImpl<3>(dx, dy, dz, terms, basis, L);
    case 4: return buildBasisImpl<4>(dx, dy, dz, terms, basis, L);
    case 5: return buildBasisImpl<5>(dx, dy, dz, terms, basis, L);
    case 6: return buildBasisImpl<6>(dx, dy, dz, terms, basis, L);
    case 7: return buildBasisImpl<7>(dx, dy, dz, terms, basis, L);
    case 8: return buildBasisImpl<8>(dx, dy, dz, terms, basis, L);
    case 9: return buildBasisImpl<9>(dx, dy, dz, terms, basis, L);
    case 10: return buildBasisImpl<10>(dx, dy, dz, terms, basis, L);
    default: return buildBasisImpl<0>(dx, dy, dz, terms, basis, L);
  }
}

void basisWeights(double* weights, const std::vector<BasisTerm>& terms, const double* basis, int L,
                  double x, double y, double z) {
  double phi[kMaxBasisSize];
  phi[0] = 1.0 / terms[0].norm;
  for (int m = 1; m < L; ++m) {
    const BasisTerm& t = terms[m];
    if (!t.independent) {
      phi[m] = 0.0;  // its row is zero; keep NaN out of the sums
      continue;
    }
    double v = productPart(t, x, y, z, t.ex > 0 ? phi[t.parent_x] : 0.0, t.ey > 0 ? phi[t.parent_y] : 0.0,
                           t.ez > 0 ? phi[t.parent_z] : 0.0);
    for (int l = 0; l < m; ++l) v += t.coefficients[l] * phi[l];
    phi[m] = v / t.norm;
  }
  for (int p = 0; p < L; ++p) weights[p] = 0.0;
  for (int m = 0; m < L; ++m)
    for (int p = 0; p < L; ++p) weights[p] += phi[m] * basis[m * L + p];
}

}  // namespace brelvik
