#include "grid/rank_memo.h"

#include <gtest/gtest.h>

#include <vector>

namespace brelvik {
namespace {

std::vector<double> axis(int n, double first, double step) {
  std::vector<double> a;
  for (int m = 0; m < n; ++m) a.push_back(first + step * m);
  return a;
}

// Evaluates the basis over the lattice points ijk (coordinates first + step
// * index on every axis) relative to the target t.
bool evaluate(const int (*ijk)[3], int L, const double t[3], std::vector<BasisTerm>& terms) {
  double dx[10], dy[10], dz[10], basis[100];
  for (int m = 0; m < L; ++m) {
    dx[m] = 0.35 * ijk[m][0] - t[0];
    dy[m] = -1 + ijk[m][1] / 6.0 - t[1];
    dz[m] = -1 + ijk[m][2] / 6.0 - t[2];
  }
  return buildBasis(dx, dy, dz, terms, basis, L).complete == 1;
}

TEST(RankMemo, ReusesOutcomesOfTheSameOffsetPatternOnAUniformLattice) {
  RankMemo memo;
  memo.reset(true, axis(22, 0.175, 0.35), axis(15, -7.0 / 6, 1.0 / 6), axis(15, -7.0 / 6, 1.0 / 6));
  ASSERT_TRUE(memo.offsets());
  std::vector<BasisTerm> terms = buildBasisTerms(2);
  const double t[3] = {1.3, 0.05, -0.2};

  // Two points in the same k layer: the z term is dependent.
  const int sameLayer[2][3] = {{3, 4, 5}, {4, 6, 5}};
  ASSERT_FALSE(evaluate(sameLayer, 2, t, terms));
  memo.store(sameLayer, 2, terms, false);
  // Four points off one plane: complete.
  const int tetra[4][3] = {{3, 4, 5}, {3, 4, 6}, {3, 5, 5}, {4, 4, 5}};
  ASSERT_TRUE(evaluate(tetra, 4, t, terms));
  memo.store(tetra, 4, terms, true);
  EXPECT_EQ(memo.size(), 2u);

  EXPECT_EQ(memo.lookup(sameLayer, 2), 0);
  EXPECT_EQ(memo.lookup(tetra, 4), 1);
  // The same patterns elsewhere in the donor, and their outcomes there.
  const int shifted[4][3] = {{9, 1, 2}, {9, 1, 3}, {9, 2, 2}, {10, 1, 2}};
  EXPECT_EQ(memo.lookup(shifted, 4), 1);
  const double t2[3] = {3.1, -0.6, 0.4};
  EXPECT_TRUE(evaluate(shifted, 4, t2, terms));
  const int shiftedPair[2][3] = {{0, 0, 9}, {1, 2, 9}};
  EXPECT_EQ(memo.lookup(shiftedPair, 2), 0);
  // Order and length are part of the key.
  const int reordered[4][3] = {{3, 4, 5}, {3, 5, 5}, {3, 4, 6}, {4, 4, 5}};
  EXPECT_EQ(memo.lookup(reordered, 4), -1);
  EXPECT_EQ(memo.lookup(tetra, 3), -1);

  // A non-uniform axis keys outcomes by absolute indices.
  std::vector<double> stretched = axis(22, 0.175, 0.35);
  stretched[7] += 0.01;
  memo.reset(true, stretched, axis(15, -1, 0.1), axis(15, -1, 0.1));
  EXPECT_FALSE(memo.offsets());
  EXPECT_EQ(memo.size(), 0u);
  memo.store(tetra, 4, terms, true);
  EXPECT_EQ(memo.lookup(tetra, 4), 1);
  EXPECT_EQ(memo.lookup(shifted, 4), -1);
}

TEST(RankMemo, KeepsOnlyOutcomesFarFromTheDropThreshold) {
  RankMemo memo;
  memo.reset(true, axis(10, 0, 1), axis(10, 0, 1), axis(10, 0, 1));
  std::vector<BasisTerm> terms = buildBasisTerms(2);
  const int pts[3][3] = {{1, 1, 1}, {1, 1, 2}, {1, 2, 1}};
  for (int m = 0; m < 3; ++m) terms[m].independent = 1;
  terms[0].norm = terms[0].rawNorm = 1.7;
  terms[1].norm = terms[1].rawNorm = 0.5;
  terms[2].norm = terms[2].rawNorm = 5e-4;  // complete, but close to 1e-4
  memo.store(pts, 3, terms, true);
  EXPECT_EQ(memo.lookup(pts, 3), -1);
  terms[2].norm = terms[2].rawNorm = 2e-3;
  memo.store(pts, 3, terms, true);
  EXPECT_EQ(memo.lookup(pts, 3), 1);

  const int other[3][3] = {{2, 1, 1}, {2, 1, 2}, {2, 3, 1}};
  terms[2].independent = 0;
  terms[2].norm = 0;
  terms[2].rawNorm = 6e-5;  // dropped, but close to 1e-4
  memo.store(other, 3, terms, false);
  EXPECT_EQ(memo.lookup(other, 3), -1);
  terms[2].rawNorm = 1e-17;
  memo.store(other, 3, terms, false);
  EXPECT_EQ(memo.lookup(other, 3), 0);
}

}  // namespace
}  // namespace brelvik
