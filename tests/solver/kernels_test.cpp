#include "solver/kernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <utility>

#include "solver/exact_quotient.h"
#include "solver/stencil_ops.h"
#include "solver_test_util.h"

using namespace brelvik;
using namespace brelvik::testing;

namespace {

constexpr int kN = 8;       // box of 9^3 points, computed 1..7
constexpr double kH = 0.1;  // grid step

using Field = std::function<double(double x, double y, double z)>;

void setField(FiniteVolume& v, std::vector<double>& a, const Field& f) {
  for (int n = 0; n < int(v.pointCount()); ++n) {
    const Vec3 X = globalPosition(v, n);
    a[size_t(n)] = f(X[0], X[1], X[2]);
  }
}

// Fills u, v, w, ro, T, P = ro*T and div of a box from functions of position.
void setFlow(FiniteVolume& v, const Field& u, const Field& vv, const Field& w, const Field& ro,
             const Field& T, const Field& div) {
  setField(v, v.u, u);
  setField(v, v.v, vv);
  setField(v, v.w, w);
  setField(v, v.ro, ro);
  setField(v, v.T, T);
  setField(v, v.div, div);
  for (size_t n = 0; n < v.P.size(); ++n) v.P[n] = v.ro[n] * v.T[n];
}

Field constant(double c) {
  return [c](double, double, double) { return c; };
}

// A smooth, non-trivial flow for tests that only need "some" field.
void setWavyFlow(FiniteVolume& v) {
  setFlow(
      v, [](double x, double y, double z) { return 0.5 + 0.1 * std::sin(3 * x + y) * z; },
      [](double x, double y, double z) { return 0.2 * std::cos(2 * y - z) * x; },
      [](double x, double y, double z) { return -0.1 + 0.05 * x * y * z; },
      [](double x, double y, double z) { return 1.0 + 0.1 * std::sin(x - 2 * z) * y; },
      [](double x, double y, double z) { return 1.0 + 0.05 * std::cos(x + y + z); },
      [](double x, double y, double z) { return 0.3 * x - 0.2 * y * z; });
}

FlowParams params() {
  FlowParams p;
  p.dt = 0.001;
  p.Re = 50.0;
  p.M = 0.6;
  p.Pr = 0.7;
  p.k = 1.4;
  p.schemeOrder = 2;
  return p;
}

struct Rhs {
  double ro, u, v, w, T;
};

// The products at every point and R at the computed points of the whole
// volume, as the step's slabs compute them.
void productsAndRhs(FiniteVolume& v, const FlowParams& p, RhsTarget target) {
  stageInputsSlab(v, RhsTarget::Corrector, 0, v.Nx);  // the corrector saves nothing
  rhsSlab(v, p, target, v.i_begin, v.i_end);
}

// R at the centre point (4, 4, 4) of the box after products and R.
Rhs rhsAtCentre(FiniteVolume& v, const FlowParams& p) {
  productsAndRhs(v, p, RhsTarget::Predictor);
  const size_t n = size_t(pointIndex(v, 4, 4, 4));
  return {v.rhs_ro_p[n], v.rhs_u_p[n], v.rhs_v_p[n], v.rhs_w_p[n], v.rhs_T_p[n]};
}

}  // namespace

TEST(SolverKernels, MaxOfThreeAndPowersOfTwo) {
  EXPECT_EQ(max3(1, 3, 2), 3);
  EXPECT_EQ(max3(-1, -3, -2), -1);
  EXPECT_EQ(max3(2, 2, 1), 2);
  EXPECT_EQ(powerOfTwo(0), 1.0);
  EXPECT_EQ(powerOfTwo(2), 4.0);
  EXPECT_EQ(powerOfTwo(6), 64.0);
  EXPECT_EQ(powerOfTwo(11), 2048.0);
  EXPECT_EQ(powerOfTwo(-3), 0.125);
}

TEST(SolverKernels, ConstantFieldsGiveZeroRhsWhateverTheMetricsAndStayUnchanged) {
  FiniteVolume v;
  makeBox(v, kN, kH);
  std::mt19937 gen(7);
  std::uniform_real_distribution<float> any(-3.0f, 3.0f);
  forEachMetricArray(v, [&](std::vector<float>& a) {
    for (float& x : a) x = any(gen);
  });
  setFlow(v, constant(0.4), constant(-0.2), constant(0.7), constant(1.3), constant(0.9),
          constant(0.0));
  const FlowParams p = params();
  productsAndRhs(v, p, RhsTarget::Predictor);
  for (size_t n = 0; n < v.type_point.size(); ++n) {
    if (v.type_point[n] != 1) continue;
    ASSERT_EQ(v.rhs_ro_p[n], 0.0) << n;
    ASSERT_EQ(v.rhs_u_p[n], 0.0) << n;
    ASSERT_EQ(v.rhs_v_p[n], 0.0) << n;
    ASSERT_EQ(v.rhs_w_p[n], 0.0) << n;
    ASSERT_EQ(v.rhs_T_p[n], 0.0) << n;
  }
  predictVolume(v, p);
  correctVolume(v, p);
  for (size_t n = 0; n < v.type_point.size(); ++n) {
    ASSERT_EQ(v.ro[n], 1.3);
    ASSERT_EQ(v.u[n], 0.4);
    ASSERT_EQ(v.v[n], -0.2);
    ASSERT_EQ(v.w[n], 0.7);
    ASSERT_EQ(v.T[n], 0.9);
    ASSERT_EQ(v.P[n], 1.3 * 0.9);
  }
}

// Each case isolates a few terms of R with identity metrics and fields for
// which the central differences are exact, and compares with the value of
// the continuous operator.
TEST(SolverKernels, EachTermHasItsSignAndScale) {
  const FlowParams p = params();
  const double gam = p.k, M = p.M, Re = p.Re, Pr = p.Pr;
  const double x0 = 4 * kH;                           // centre coordinate
  const double sound = std::sqrt(1.0 / gam / M / M);  // c at T = 1, unit metric
  const double tol = 1e-9;
  FiniteVolume v;
  makeBox(v, kN, kH);

  // Density advected by a uniform stream: R_ro = -U d(ro)/dx.
  setFlow(
      v, constant(0.3), constant(0), constant(0),
      [](double x, double, double) { return 1 + 2 * x; }, constant(1), constant(0));
  EXPECT_NEAR(rhsAtCentre(v, p).ro, -0.3 * 2, tol);

  // Viscous diffusion of u = y^2 with the artificial dissipation 1/4 * lambda * d2.
  setFlow(
      v, [](double, double y, double) { return y * y; }, constant(0), constant(0), constant(1),
      constant(1), constant(0));
  Rhs r = rhsAtCentre(v, p);
  EXPECT_NEAR(r.u, 2.0 / Re + sound / 4 * 2 * kH * kH, tol);
  EXPECT_NEAR(r.ro, 0.0, tol);
  {
    FlowParams p4 = p;
    p4.schemeOrder = 4;  // dissipation scaled by 1/16 instead of 1/4
    EXPECT_NEAR(rhsAtCentre(v, p4).u, 2.0 / Re + sound / 16 * 2 * kH * kH, tol);
  }

  // Viscous heating of a shear flow u = y: Phi = (du/dy)^2 = 1.
  setFlow(
      v, [](double, double y, double) { return y; }, constant(0), constant(0), constant(1),
      constant(1), constant(0));
  r = rhsAtCentre(v, p);
  EXPECT_NEAR(r.T, gam * (gam - 1) * M * M / Re, tol);
  EXPECT_NEAR(r.u, 0.0, tol);

  // The single mixed term: u = y*z with grad(eta).grad(zeta) = 0.5 gives
  // L(u) = 2*0.5*d2u/(deta dzeta) = 1.
  std::fill(v.g_etazeta.begin(), v.g_etazeta.end(), 0.5f);
  setFlow(
      v, [](double, double y, double z) { return y * z; }, constant(0), constant(0), constant(1),
      constant(1), constant(0));
  EXPECT_NEAR(rhsAtCentre(v, p).u, 1.0 / Re, tol);
  {
    const int n = pointIndex(v, 4, 4, 4), si = v.stride_i, sj = v.stride_j;
    const StepFactors f(v);
    const double* u = v.u.data();
    const LaplacianWeights w = laplacianWeights(v.g_xixi[n], v.g_etaeta[n], v.g_zetazeta[n],
                                                v.g_etazeta[n], v.lap_xi[n], v.lap_eta[n],
                                                v.lap_zeta[n], f);
    const double L = laplacian(w, d2(u, n, si), d2(u, n, sj),
                               d2(u, n, 1), d1(u, n, si, f.hxi), d1(u, n, sj, f.heta),
                               d1(u, n, 1, f.hzeta), v.u_zeta[n + sj] - v.u_zeta[n - sj]);
    EXPECT_NEAR(L, 1.0, tol);
  }
  std::fill(v.g_etazeta.begin(), v.g_etazeta.end(), 0.0f);

  // Pressure gradient from T = 1 + x at unit density: R_u = -dP/dx/(k M^2).
  setFlow(
      v, constant(0), constant(0), constant(0), constant(1),
      [](double x, double, double) { return 1 + x; }, constant(0));
  r = rhsAtCentre(v, p);
  EXPECT_NEAR(r.u, -1.0 / (gam * M * M), tol);
  EXPECT_NEAR(r.v, 0.0, tol);
  EXPECT_NEAR(r.T, 0.0, tol);

  // The terms carried by the stored divergence (here div = 2x + 0.5 at rest).
  setFlow(v, constant(0), constant(0), constant(0), constant(1), constant(1),
          [](double x, double, double) { return 2 * x + 0.5; });
  r = rhsAtCentre(v, p);
  const double d = 2 * x0 + 0.5;
  EXPECT_NEAR(r.ro, -0.5 * d, tol);
  EXPECT_NEAR(r.u, 2.0 / (Re * 3.0), tol);
  EXPECT_NEAR(
      r.T, 0.5 * d - (gam - 1) * d - 0.66666666666666 * d * d * gam * (gam - 1) * M * M / Re, tol);

  // Heat conduction of T = x^2 (P = T) with the dissipation of its own sound speed.
  setFlow(
      v, constant(0), constant(0), constant(0), constant(1),
      [](double x, double, double) { return x * x; }, constant(0));
  r = rhsAtCentre(v, p);
  const double Tc = x0 * x0;
  EXPECT_NEAR(r.T, gam * 2.0 / (Re * Pr) + std::sqrt(Tc / gam / M / M) / 4 * 2 * kH * kH, tol);

  // Momentum advection in skew-symmetric form: u = 1 + x gives R_u = -u du/dx
  // (with div = du/dx stored consistently) and R_ro = -d(ro u)/dx.
  setFlow(
      v, [](double x, double, double) { return 1 + x; }, constant(0), constant(0), constant(1),
      constant(1), constant(1));
  r = rhsAtCentre(v, p);
  EXPECT_NEAR(r.u, -(1 + x0) * 1.0, tol);
  EXPECT_NEAR(r.ro, -1.0, tol);

  // Every convective product along its own direction: a field rising by 1
  // per unit length, carried by a unit stream across it, changes at rate -1
  // (divergence-free, so the skew-symmetric form is -V.grad q exactly).
  auto along = [](int axis) {
    return [axis](double x, double y, double z) { return 1 + (axis == 0 ? x : axis == 1 ? y : z); };
  };
  const Field zero = constant(0), one = constant(1);
  setFlow(v, along(1), one, zero, one, one, zero);  // u(y) carried by v
  EXPECT_NEAR(rhsAtCentre(v, p).u, -1.0, tol);
  setFlow(v, zero, along(2), one, one, one, zero);  // v(z) carried by w
  EXPECT_NEAR(rhsAtCentre(v, p).v, -1.0, tol);
  setFlow(v, one, zero, along(0), one, one, zero);  // w(x) carried by u
  EXPECT_NEAR(rhsAtCentre(v, p).w, -1.0, tol);
  setFlow(v, zero, zero, one, along(2), one, zero);  // ro(z) carried by w
  EXPECT_NEAR(rhsAtCentre(v, p).ro, -1.0, tol);
  setFlow(v, zero, one, zero, one, along(1), zero);  // T(y) carried by v
  EXPECT_NEAR(rhsAtCentre(v, p).T, -1.0, tol);
}

TEST(SolverKernels, PointsOfOtherTypesInsideTheBoxKeepTheirValues) {
  FiniteVolume v;
  makeBox(v, kN, kH);
  setWavyFlow(v);
  const int others[] = {pointIndex(v, 2, 3, 4), pointIndex(v, 5, 5, 1), pointIndex(v, 7, 1, 7)};
  v.type_point[size_t(others[0])] = 0;
  v.type_point[size_t(others[1])] = 3;
  v.type_point[size_t(others[2])] = 4;
  for (int n : others) v.P[size_t(n)] = 5.0;  // deliberately not ro*T
  // Type 1 outside the box, in the columns between two box rows that the
  // passes run through: the box, not the type, must leave them alone.
  const int outside[] = {pointIndex(v, 3, 4, 0), pointIndex(v, 3, 4, kN), pointIndex(v, 6, 2, kN)};
  for (int n : outside) v.type_point[size_t(n)] = 1;
  auto isOutside = [&](size_t n) {
    return std::find(std::begin(outside), std::end(outside), int(n)) != std::end(outside);
  };
  const std::vector<double> ro0 = v.ro, u0 = v.u, v0 = v.v, w0 = v.w, T0 = v.T, P0 = v.P;
  std::fill(v.rhs_u_p.begin(), v.rhs_u_p.end(), 123.0);
  std::fill(v.rhs_T_c.begin(), v.rhs_T_c.end(), 321.0);

  const FlowParams p = params();
  predictVolume(v, p);
  correctVolume(v, p);

  int changed = 0;
  for (size_t n = 0; n < v.type_point.size(); ++n) {
    if (v.type_point[n] == 1 && !isOutside(n)) {
      changed += v.u[n] != u0[n];
      EXPECT_NE(v.rhs_u_p[n], 123.0);
      continue;
    }
    ASSERT_EQ(v.ro[n], ro0[n]) << n;
    ASSERT_EQ(v.u[n], u0[n]) << n;
    ASSERT_EQ(v.v[n], v0[n]) << n;
    ASSERT_EQ(v.w[n], w0[n]) << n;
    ASSERT_EQ(v.T[n], T0[n]) << n;
    ASSERT_EQ(v.P[n], P0[n]) << n;
    ASSERT_EQ(v.rhs_u_p[n], 123.0) << n;
    ASSERT_EQ(v.rhs_T_c[n], 321.0) << n;
  }
  EXPECT_GT(changed, 300);
  // The saved state covers every point, the ghost layers included.
  EXPECT_EQ(v.ro_n[0], ro0[0]);
  EXPECT_EQ(v.T_n[v.T_n.size() - 1], T0[T0.size() - 1]);
}

TEST(SolverKernels, UpdatesFollowTheTwoStageSchemeAndRebuildPressure) {
  FiniteVolume v;
  makeBox(v, kN, kH);
  setWavyFlow(v);
  const FlowParams p = params();
  const std::vector<double> ro0 = v.ro, T0 = v.T;

  predictVolume(v, p);
  for (size_t n = 0; n < v.type_point.size(); ++n) {
    if (v.type_point[n] != 1) continue;
    ASSERT_EQ(v.ro[n], ro0[n] + p.dt * v.rhs_ro_p[n]);
    ASSERT_EQ(v.P[n], v.T[n] * v.ro[n]);
  }
  correctVolume(v, p);
  for (size_t n = 0; n < v.type_point.size(); ++n) {
    if (v.type_point[n] != 1) continue;
    // The corrector starts again from the saved state, not the predicted one.
    ASSERT_EQ(v.T[n], T0[n] + (p.dt * 0.5) * (v.rhs_T_c[n] + v.rhs_T_p[n]));
    ASSERT_EQ(v.P[n], v.T[n] * v.ro[n]);
  }
}

TEST(SolverKernels, ZetaDifferencesCoverEveryEtaLayerAndType) {
  FiniteVolume v;
  makeBox(v, kN, kH);
  setWavyFlow(v);
  productsAndRhs(v, params(), RhsTarget::Corrector);
  for (int j : {0, 3, kN}) {
    const int n = pointIndex(v, 2, j, 5);
    EXPECT_EQ(v.u_zeta[size_t(n)],
              0.5 * v.steps_zeta[1] * (v.u[size_t(n + 1)] - v.u[size_t(n - 1)]));
    EXPECT_EQ(v.T_zeta[size_t(n)],
              0.5 * v.steps_zeta[1] * (v.T[size_t(n + 1)] - v.T[size_t(n - 1)]));
  }
}

TEST(SolverKernels, DerivativesUseTheChainRule) {
  FiniteVolume v;
  makeBox(v, kN, kH);
  // Scale the metrics: with xi_x = 2, eta_x = 0.5 a field q = xi + eta has
  // Dx q = 2*1 + 0.5*1.
  std::fill(v.xi_x.begin(), v.xi_x.end(), 2.0f);
  std::fill(v.eta_x.begin(), v.eta_x.end(), 0.5f);
  setField(v, v.u, [](double x, double y, double) { return x + y; });
  const int n = pointIndex(v, 3, 4, 5);
  const StepFactors f(v);
  const double* q = v.u.data();
  const double dxi = d1(q, n, v.stride_i, f.hxi), deta = d1(q, n, v.stride_j, f.heta),
               dzeta = d1(q, n, 1, f.hzeta);
  EXPECT_NEAR(chain(v.xi_x[n], v.eta_x[n], v.zeta_x[n], dxi, deta, dzeta), 2.5, 1e-12);
  EXPECT_NEAR(chain(v.xi_y[n], v.eta_y[n], v.zeta_y[n], dxi, deta, dzeta), 1.0, 1e-12);
  EXPECT_NEAR(chain(v.xi_z[n], v.eta_z[n], v.zeta_z[n], dxi, deta, dzeta), 0.0, 1e-12);
}

TEST(SolverKernels, QuotientsByReciprocalHaveTheBitsOfTheDivision) {
  auto sameBits = [](double x, double y) { return std::memcmp(&x, &y, sizeof x) == 0; };
  // Divisors and numerators over the whole range, mantissas next to 1 and
  // 2 (where a reciprocal is least accurate), integers, and signed zeros.
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> mantissa(1.0, 2.0);
  std::uniform_int_distribution<int> exponent(-60, 59), wide(-890, 890);
  int checked = 0;
  for (int t = 0; t < 2000000; ++t) {
    double b = std::ldexp(t % 3 == 0 ? 1.0 + (t % 97) * 0x1p-52 : t % 3 == 1 ? 2.0 - (t % 89 + 1) * 0x1p-52
                                                                          : mantissa(rng),
                          exponent(rng));
    double a = t % 5 == 0 ? double(t % 1013) : std::ldexp(mantissa(rng), wide(rng));
    if (t % 2) b = -b;
    if (t % 7 == 0) a = -a;
    if (t % 1000 == 0) a = t % 2000 ? 0.0 : -0.0;
    ASSERT_TRUE(quotientDivisorInRange(b) && quotientNumeratorInRange(a)) << a << " " << b;
    ASSERT_TRUE(sameBits(exactQuotient(a, b, 1.0 / b), a / b)) << std::hexfloat << a << " / " << b;
    ++checked;
  }
  EXPECT_EQ(checked, 2000000);
  for (double bad : {0.0, double(INFINITY), double(NAN), 1e-300, 1e300})
    EXPECT_FALSE(quotientDivisorInRange(bad)) << bad;
  for (double bad : {double(INFINITY), -double(INFINITY), double(NAN), 1e-300, -1e300})
    EXPECT_FALSE(quotientNumeratorInRange(bad)) << bad;

  // R evaluates a chunk holding a quotient out of range again by division
  // (a plane of this box is one chunk): the other points of that plane keep
  // the bits they had by reciprocals. (A build without FMA divides in both.)
  FiniteVolume v;
  makeBox(v, kN, kH);
  setWavyFlow(v);
  const FlowParams p = params();
  productsAndRhs(v, p, RhsTarget::Predictor);
  const std::vector<double> ru = v.rhs_u_p, rT = v.rhs_T_p;
  const int i0 = 4, j0 = 3, k0 = 5;
  v.ro[size_t(pointIndex(v, i0, j0, k0))] = 1e-30;  // ro Re below 2^-60
  productsAndRhs(v, p, RhsTarget::Predictor);
  int compared = 0;
  for (int j = 1; j < kN; ++j)
    for (int k = 1; k < kN; ++k) {
      if (std::abs(j - j0) + std::abs(k - k0) <= 1) continue;  // the point and its stencil
      const size_t n = size_t(pointIndex(v, i0, j, k));
      ASSERT_TRUE(sameBits(v.rhs_u_p[n], ru[n]) && sameBits(v.rhs_T_p[n], rT[n])) << j << " " << k;
      ++compared;
    }
  EXPECT_EQ(compared, 44);
}

TEST(SolverKernels, IdenticalResultsForEveryCutIntoSlabs) {
  // The step hands out slabs of planes in any order; a stage cut into
  // single planes, into uneven slabs taken last first, or not cut at all
  // gives the same bits.
  auto run = [](int slab, bool lastFirst) {
    FiniteVolume v;
    makeBox(v, 16, 0.06);
    setWavyFlow(v);
    const FlowParams p = params();
    auto forSlabs = [&](int lo, int hi, auto&& f) {
      std::vector<std::pair<int, int>> slabs;
      for (int i = lo; i <= hi; i += slab) slabs.push_back({i, std::min(hi, i + slab - 1)});
      if (lastFirst) std::reverse(slabs.begin(), slabs.end());
      for (auto [a, b] : slabs) f(a, b);
    };
    for (int step = 0; step < 20; ++step)
      for (RhsTarget t : {RhsTarget::Predictor, RhsTarget::Corrector}) {
        forSlabs(0, v.Nx, [&](int a, int b) { stageInputsSlab(v, t, a, b); });
        forSlabs(v.i_begin, v.i_end, [&](int a, int b) { rhsSlab(v, p, t, a, b); });
        forSlabs(v.i_begin, v.i_end, [&](int a, int b) { updateSlab(v, p.dt, t, a, b); });
      }
    std::vector<double> out = v.ro;
    out.insert(out.end(), v.u.begin(), v.u.end());
    out.insert(out.end(), v.T.begin(), v.T.end());
    out.insert(out.end(), v.rhs_w_c.begin(), v.rhs_w_c.end());
    return out;
  };
  const std::vector<double> whole = run(100, false);
  for (auto [slab, lastFirst] : {std::pair{1, false}, std::pair{3, true}}) {
    const std::vector<double> cut = run(slab, lastFirst);
    ASSERT_EQ(whole.size(), cut.size());
    EXPECT_EQ(0, std::memcmp(whole.data(), cut.data(), whole.size() * sizeof(double))) << slab;
  }
}
