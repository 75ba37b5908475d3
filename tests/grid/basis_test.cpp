#include "grid/basis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace brelvik;

namespace {

struct PointSet {
  std::vector<double> dx, dy, dz;
  void add(double x, double y, double z) {
    dx.push_back(x);
    dy.push_back(y);
    dz.push_back(z);
  }
  int size() const { return int(dx.size()); }
};

// (0,0,0), (+-1,0,0), (0,+-1,0), (0,0,+-1), (1,1,0), (1,0,1), (0,1,1),
// shifted so that the target is not a point of the set.
PointSet unisolvent(double scale = 1.0) {
  const double pts[10][3] = {{0, 0, 0},  {1, 0, 0},  {-1, 0, 0}, {0, 1, 0}, {0, -1, 0},
                             {0, 0, 1},  {0, 0, -1}, {1, 1, 0},  {1, 0, 1}, {0, 1, 1}};
  PointSet p;
  for (const auto& q : pts) p.add(scale * (q[0] + 0.3), scale * (q[1] - 0.2), scale * (q[2] + 0.1));
  return p;
}

using Fn = std::function<double(double, double, double)>;

double applyWeights(const std::vector<double>& w, const PointSet& p, const Fn& f) {
  double v = 0;
  for (int i = 0; i < p.size(); ++i) v += w[i] * f(p.dx[i], p.dy[i], p.dz[i]);
  return v;
}

}  // namespace

TEST(GridBasis, TermsInOrderWithParents) {
  const auto terms = buildBasisTerms(2);
  ASSERT_EQ(terms.size(), 10u);
  const int expected[10][3] = {{0, 0, 0}, {0, 0, 1}, {0, 1, 0}, {1, 0, 0}, {0, 0, 2},
                               {0, 1, 1}, {0, 2, 0}, {1, 0, 1}, {1, 1, 0}, {2, 0, 0}};
  for (int m = 0; m < 10; ++m) {
    EXPECT_EQ(terms[m].ex, expected[m][0]);
    EXPECT_EQ(terms[m].ey, expected[m][1]);
    EXPECT_EQ(terms[m].ez, expected[m][2]);
    EXPECT_EQ(terms[m].coefficients.size(), size_t(m));
    const BasisTerm& t = terms[m];
    if (t.ex > 0) {
      const BasisTerm& p = terms[t.parent_x];
      EXPECT_TRUE(p.ex == t.ex - 1 && p.ey == t.ey && p.ez == t.ez) << m;
    }
    if (t.ey > 0) {
      const BasisTerm& p = terms[t.parent_y];
      EXPECT_TRUE(p.ex == t.ex && p.ey == t.ey - 1 && p.ez == t.ez) << m;
    }
    if (t.ez > 0) {
      const BasisTerm& p = terms[t.parent_z];
      EXPECT_TRUE(p.ex == t.ex && p.ey == t.ey && p.ez == t.ez - 1) << m;
    }
  }
  EXPECT_EQ(buildBasisTerms(3).size(), 20u);
}

TEST(GridBasis, SinglePointHasWeightOne) {
  auto terms = buildBasisTerms(2);
  double dx = 0.4, dy = -0.1, dz = 2, basis = 0, w = 0;
  const BasisStatus st = buildBasis(&dx, &dy, &dz, terms, &basis, 1);
  EXPECT_EQ(st.complete, 1);
  EXPECT_EQ(st.dropped, 0);
  EXPECT_EQ(basis, 1.0);
  basisWeights(&w, terms, &basis, 1, 0, 0, 0);
  EXPECT_EQ(w, 1.0);
}

TEST(GridBasis, TenUnisolventPointsReproduceQuadratics) {
  for (double scale : {1.0, 0.05, 1e-3}) {
    const PointSet p = unisolvent(scale);
    auto terms = buildBasisTerms(2);
    std::vector<double> basis(100), w(10);
    const BasisStatus st = buildBasis(p.dx.data(), p.dy.data(), p.dz.data(), terms, basis.data(), 10);
    ASSERT_EQ(st.complete, 1) << scale;
    // The rows are orthonormal over the points.
    for (int a = 0; a < 10; ++a)
      for (int b = 0; b < 10; ++b)
        EXPECT_NEAR(dot(10, &basis[a * 10], &basis[b * 10]), a == b ? 1.0 : 0.0, 1e-9) << scale;
    basisWeights(w.data(), terms, basis.data(), 10, 0, 0, 0);
    double sum = 0;
    for (double x : w) sum += x;
    EXPECT_NEAR(sum, 1.0, 1e-12);
    const Fn quadratics[] = {
        [](double x, double y, double z) { return 2 - x + 3 * y - z + x * x - 2 * y * z + 0.5 * z * z; },
        [](double x, double y, double z) { return (x + 0.7) * (y - 0.4) + (z + 2) * (z + 2); },
        [](double x, double y, double z) { return x * y + x * z + 4 * x * x; },
    };
    for (const Fn& f : quadratics) EXPECT_NEAR(applyWeights(w, p, f), f(0, 0, 0), 1e-10) << scale;
    // Evaluating at another point interpolates there.
    basisWeights(w.data(), terms, basis.data(), 10, 0.1 * scale, 0.2 * scale, -0.3 * scale);
    const Fn& f = quadratics[1];
    EXPECT_NEAR(applyWeights(w, p, f), f(0.1 * scale, 0.2 * scale, -0.3 * scale), 1e-10);
  }
}

TEST(GridBasis, FewerPointsReproduceTheLeadingTerms) {
  // Four points: span of 1, z, y, x — affine functions are exact.
  PointSet p;
  p.add(0.2, 0.1, -0.3);
  p.add(-0.5, 0.3, 0.4);
  p.add(0.1, -0.6, 0.2);
  p.add(0.7, 0.5, 0.9);
  auto terms = buildBasisTerms(2);
  std::vector<double> basis(16), w(4);
  ASSERT_EQ(buildBasis(p.dx.data(), p.dy.data(), p.dz.data(), terms, basis.data(), 4).complete, 1);
  basisWeights(w.data(), terms, basis.data(), 4, 0, 0, 0);
  const Fn f = [](double x, double y, double z) { return 1.5 + 2 * x - y + 0.25 * z; };
  EXPECT_NEAR(applyWeights(w, p, f), f(0, 0, 0), 1e-12);
}

TEST(GridBasis, SharedXCoordinateDropsTheXTerms) {
  PointSet p;
  const double yz[10][2] = {{0, 0}, {1, 0}, {-1, 0}, {0, 1}, {0, -1}, {1, 1}, {2, -1}, {-1, 2}, {0.5, 3}, {3, 0.25}};
  for (const auto& q : yz) p.add(0.4, q[0] - 0.1, q[1] + 0.2);
  auto terms = buildBasisTerms(2);
  std::vector<double> basis(100);
  const BasisStatus st = buildBasis(p.dx.data(), p.dy.data(), p.dz.data(), terms, basis.data(), 10);
  EXPECT_EQ(st.complete, 0);
  EXPECT_EQ(st.dropped, 4);  // x, xz, xy, x^2
  for (int m = 0; m < 10; ++m) EXPECT_EQ(terms[m].independent, terms[m].ex == 0 ? 1 : 0) << m;
  EXPECT_EQ(terms[3].norm, 0.0);
  std::vector<double> w(10);
  basisWeights(w.data(), terms, basis.data(), 10, 0, 0, 0);
  for (double x : w) EXPECT_TRUE(std::isfinite(x));
}

TEST(GridBasis, RebuildingOverOtherPointsForgetsTheOldBasis) {
  auto terms = buildBasisTerms(2);
  std::vector<double> basis(100), w1(10), w2(10);
  PointSet flat;
  for (int i = 0; i < 10; ++i) flat.add(0.4, i * 0.1, i * i * 0.01);
  buildBasis(flat.dx.data(), flat.dy.data(), flat.dz.data(), terms, basis.data(), 10);
  const PointSet p = unisolvent();
  ASSERT_EQ(buildBasis(p.dx.data(), p.dy.data(), p.dz.data(), terms, basis.data(), 10).complete, 1);
  basisWeights(w1.data(), terms, basis.data(), 10, 0, 0, 0);
  auto fresh = buildBasisTerms(2);
  buildBasis(p.dx.data(), p.dy.data(), p.dz.data(), fresh, basis.data(), 10);
  basisWeights(w2.data(), fresh, basis.data(), 10, 0, 0, 0);
  EXPECT_EQ(w1, w2);
}

TEST(GridBasis, ConjugateGradientSolvesAndAlwaysEnds) {
  // Identity: one step.
  double I[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1}, b[3] = {1, -2, 3}, x[3] = {0, 0, 0};
  EXPECT_LE(solveConjugateGradient(3, I, x, b), 1e-8);
  EXPECT_EQ(x[0], 1);
  EXPECT_EQ(x[2], 3);
  // Start already at the solution: no 0/0.
  EXPECT_EQ(solveConjugateGradient(3, I, x, b), 0.0);
  EXPECT_EQ(x[1], -2);
  // A symmetric positive definite system.
  double A[16] = {4, 1, 0, 0.5, 1, 3, 0.2, 0, 0, 0.2, 2, 0.1, 0.5, 0, 0.1, 5};
  double rhs[4] = {1, 2, 3, 4}, y[4] = {0, 0, 0, 0}, Ay[4];
  EXPECT_LE(solveConjugateGradient(4, A, y, rhs), 1e-8);
  matVec(Ay, A, y, 4);
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(Ay[i], rhs[i], 1e-8);
  // An indefinite matrix breaks CG down; it must still return, with the
  // best iterate it saw.
  double B[4] = {1, 0, 0, -1}, c[2] = {1, 1}, z[2] = {0, 0};
  const double res = solveConjugateGradient(2, B, z, c);
  EXPECT_TRUE(std::isfinite(z[0]) && std::isfinite(z[1]));
  EXPECT_EQ(res, 1.0);
}

TEST(GridBasis, VectorHelpers) {
  const double a[3] = {1, -4, 2}, b[3] = {0.5, 1, -1};
  double out[3];
  EXPECT_EQ(dot(3, a, b), 0.5 - 4 - 2);
  EXPECT_EQ(norm2(3, a), std::sqrt(21.0));
  EXPECT_EQ(maxAbs(3, a), 4);
  EXPECT_EQ(minValue(3, a), -4);
  combine(out, 2, a, -1, b, 3);
  EXPECT_EQ(out[0], 1.5);
  EXPECT_EQ(out[1], -9);
  EXPECT_EQ(out[2], 5);
  copyVector(out, b, 3);
  EXPECT_EQ(out[1], 1);
}
