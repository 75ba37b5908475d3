#include "solver/exchange.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "solver/exchange_parts.h"
#include "solver_test_util.h"

using namespace brelvik;
using namespace brelvik::testing;
using namespace brelvik::exchange_detail;

namespace {

// Gives point n of `vol` an interpolation entry: donor volume, stencil
// points and weights (the rest of the ten-point stencil has weight 0).
void setEntry(FiniteVolume& vol, int n, int type, int donor, std::vector<int> points,
              std::vector<double> weights) {
  vol.type_point[size_t(n)] = type;
  InterpolEntry& e = vol.interpol_data[size_t(n)];
  e.donor = donor;
  e.donor_points = std::make_unique<int[]>(10);
  e.weights = std::make_unique<double[]>(10);
  for (int m = 0; m < 10; ++m) {
    e.donor_points[m] = points[size_t(m) % points.size()];
    e.weights[m] = size_t(m) < weights.size() ? weights[size_t(m)] : 0.0;
  }
  e.ready = 1;
}

// Three boxes: a receiver in volume 0 whose stencil holds an interpolated
// point of volume 1, which in turn takes its value from volume 2.
struct Chain {
  std::unique_ptr<SimulationState> s = boxState(3, 6, 0.1);
  int p0, q1, r2;
  explicit Chain(int codeOfMiddle) {
    FiniteVolume& v0 = s->volumes[0];
    FiniteVolume& v1 = s->volumes[1];
    FiniteVolume& v2 = s->volumes[2];
    p0 = pointIndex(v0, 2, 2, 2);
    q1 = pointIndex(v1, 3, 3, 3);
    r2 = pointIndex(v2, 4, 4, 4);
    setEntry(v0, p0, 4, 1, {q1}, {1.0});
    setEntry(v1, q1, codeOfMiddle, 2, {r2}, {1.0});
    v1.ro[size_t(q1)] = 3.0;
    v2.ro[size_t(r2)] = 7.0;
    for (auto& v : s->volumes) std::fill(v.T.begin(), v.T.end(), 2.0);
  }
};

}  // namespace

TEST(SolverExchange, HigherCodesAndLowerVolumesAreServedFirst) {
  {
    // Code 5 is served before code 4: the receiver sees the new value.
    Chain c(5);
    exchangeAll(*c.s);
    EXPECT_EQ(c.s->volumes[1].ro[size_t(c.q1)], 7.0);
    EXPECT_EQ(c.s->volumes[0].ro[size_t(c.p0)], 7.0);
  }
  {
    // Both code 4: volume 0 is served before volume 1 and sees the old value.
    Chain c(4);
    exchangeAll(*c.s);
    EXPECT_EQ(c.s->volumes[1].ro[size_t(c.q1)], 7.0);
    EXPECT_EQ(c.s->volumes[0].ro[size_t(c.p0)], 3.0);
    EXPECT_EQ(c.s->volumes[0].P[size_t(c.p0)], 3.0 * 2.0);
  }
  {
    // Code 7 before 6 before 5 before 4 also across volumes: a code-4 point
    // of volume 1 is served after a code-6 point of volume 2 it reads.
    auto s = boxState(3, 6, 0.1);
    FiniteVolume& v1 = s->volumes[1];
    FiniteVolume& v2 = s->volumes[2];
    // The source is a ghost of the box, which the exchange reads but does
    // not recompute.
    const int a = pointIndex(v1, 2, 2, 2), b = pointIndex(v2, 2, 2, 2),
              src = pointIndex(v1, 0, 4, 4);
    setEntry(v1, a, 4, 2, {b}, {1.0});
    setEntry(v2, b, 6, 1, {src}, {1.0});
    v1.div[size_t(src)] = 9.0;
    exchangeAll(*s);
    EXPECT_EQ(v2.div[size_t(b)], 9.0);
    EXPECT_EQ(v1.div[size_t(a)], 9.0);
  }
}

TEST(SolverExchange, WeightedSumsAndVelocityRotatedIntoTheReceiverAxes) {
  auto s = boxState(2, 6, 0.1);
  FiniteVolume& donor = s->volumes[0];
  FiniteVolume& recv = s->volumes[1];
  // The receiver covers the -z face: x' = -z, y' = y, z' = x.
  recv.axis_x = {0, 0, -1};
  recv.axis_y = {0, 1, 0};
  recv.axis_z = {1, 0, 0};
  const int d1 = pointIndex(donor, 2, 3, 3), d2 = pointIndex(donor, 3, 3, 3);
  donor.u[size_t(d1)] = 1.0, donor.v[size_t(d1)] = 2.0, donor.w[size_t(d1)] = 3.0;
  donor.u[size_t(d2)] = 5.0, donor.v[size_t(d2)] = 6.0, donor.w[size_t(d2)] = 7.0;
  donor.ro[size_t(d1)] = 1.0, donor.ro[size_t(d2)] = 2.0;
  donor.T[size_t(d1)] = 4.0, donor.T[size_t(d2)] = 8.0;
  const int r = pointIndex(recv, 1, 1, 1);
  setEntry(recv, r, 4, 0, {d1, d2}, {0.25, 0.75});
  // A point whose entry is not ready is left alone (and not dereferenced).
  const int idle = pointIndex(recv, 2, 2, 2);
  recv.type_point[size_t(idle)] = 4;
  recv.u[size_t(idle)] = -42.0;
  // Some other point: its global velocity is its local one rotated.
  const int other = pointIndex(recv, 3, 3, 3);
  recv.u[size_t(other)] = 1.0, recv.v[size_t(other)] = 0.0, recv.w[size_t(other)] = 0.0;

  exchangeAll(*s);

  const double ug = 0.25 * 1 + 0.75 * 5, vg = 0.25 * 2 + 0.75 * 6, wg = 0.25 * 3 + 0.75 * 7;
  EXPECT_DOUBLE_EQ(recv.u_glob[size_t(r)], ug);
  EXPECT_DOUBLE_EQ(recv.u[size_t(r)], -wg);
  EXPECT_DOUBLE_EQ(recv.v[size_t(r)], vg);
  EXPECT_DOUBLE_EQ(recv.w[size_t(r)], ug);
  const double ro = 0.25 * 1 + 0.75 * 2, T = 0.25 * 4 + 0.75 * 8;
  EXPECT_DOUBLE_EQ(recv.ro[size_t(r)], ro);
  EXPECT_DOUBLE_EQ(recv.T[size_t(r)], T);
  EXPECT_EQ(recv.P[size_t(r)], recv.ro[size_t(r)] * recv.T[size_t(r)]);
  EXPECT_EQ(recv.u[size_t(idle)], -42.0);
  EXPECT_EQ(recv.w_glob[size_t(other)], -1.0);
  EXPECT_EQ(recv.u_glob[size_t(other)], 0.0);
}

namespace {

// A default grid with a smooth flow in every volume (ghosts included).
std::unique_ptr<SimulationState> gridWithFlow() {
  auto s = gridState();
  setVelocity(*s, [](const Vec3& X) {
    return Vec3{0.8 + 0.1 * X[1], 0.2 * std::sin(X[0]), 0.05 * X[0] * X[2]};
  });
  for (auto& v : s->volumes) {
    for (int n = 0; n < int(v.pointCount()); ++n) {
      const Vec3 X = globalPosition(v, n);
      v.ro[size_t(n)] = 1.0 + 0.01 * X[0];
      v.T[size_t(n)] = 1.0 - 0.02 * X[1];
      v.P[size_t(n)] = v.ro[size_t(n)] * v.T[size_t(n)];
      v.div[size_t(n)] = 0.1 * X[2];
    }
  }
  return s;
}

}  // namespace

TEST(SolverBoundary, VelocityOnInflowOutflowAndSphereFaces) {
  auto s = gridWithFlow();
  // Pin the split: a column whose outermost computed point lies exactly at
  // x = 0.00001 is inflow, one just above it is outflow.
  FiniteVolume& v4 = s->volumes[4];  // +y face: its outer columns straddle x = 0
  const int jIn = 3, jOut = 5, kk = 7;
  v4.point_glob[3 * size_t(pointIndex(v4, v4.i_end, jIn, kk))] = 0.00001;
  v4.point_glob[3 * size_t(pointIndex(v4, v4.i_end, jOut, kk))] = 0.0000100001;
  // A ghost of another type is never written.
  const int skipped = pointIndex(v4, v4.i_end + 1, 6, 6);
  v4.type_point[size_t(skipped)] = 0;
  v4.u[size_t(skipped)] = 99.0;

  const std::vector<std::vector<double>> before = [&] {
    std::vector<std::vector<double>> b;
    for (auto& v : s->volumes) b.push_back(v.u);
    return b;
  }();
  boundaryVelocity(*s, 2);  // no ghost has code 2: nothing changes
  for (int vi = 0; vi < 6; ++vi) EXPECT_EQ(s->volumes[size_t(vi)].u, before[size_t(vi)]);
  boundaryVelocity(*s, 3);

  int inflow = 0, outflow = 0, sphere = 0;
  for (const auto& v : s->volumes) {
    const Vec3 uInf = globalToLocalVector(v, {1, 0, 0});
    for (int j = v.j_begin; j <= v.j_end; ++j)
      for (int k = v.k_begin; k <= v.k_end; ++k) {
        const size_t m = size_t(pointIndex(v, v.i_end, j, k)),
                     g = size_t(pointIndex(v, v.i_end + 1, j, k));
        if (v.type_point[g] == 3) {
          if (v.point_glob[3 * m] <= 0.00001) {
            ++inflow;
            EXPECT_EQ(v.u[g], 2.0 * uInf[0] - v.u[m]);
            EXPECT_EQ(v.v[g], 2.0 * uInf[1] - v.v[m]);
            EXPECT_EQ(v.w[g], 2.0 * uInf[2] - v.w[m]);
          } else {
            ++outflow;
            EXPECT_EQ(v.u[g], v.u[m]);
            EXPECT_EQ(v.w[g], v.w[m]);
          }
        }
        const size_t ms = size_t(pointIndex(v, v.i_begin, j, k)),
                     gs = size_t(pointIndex(v, v.i_begin - 1, j, k));
        ++sphere;
        EXPECT_EQ(v.u[gs] + v.u[ms], 0.0);  // zero velocity on the wall
        EXPECT_EQ(v.v[gs], -v.v[ms]);
        EXPECT_EQ(v.w[gs], -v.w[ms]);
      }
  }
  EXPECT_GT(inflow, 300);
  EXPECT_GT(outflow, 300);
  EXPECT_EQ(sphere, 6 * 13 * 13);
  const Vec3 uInf4 = globalToLocalVector(v4, {1, 0, 0});
  const size_t mIn = size_t(pointIndex(v4, v4.i_end, jIn, kk)),
               gIn = size_t(pointIndex(v4, v4.i_end + 1, jIn, kk));
  const size_t mOut = size_t(pointIndex(v4, v4.i_end, jOut, kk)),
               gOut = size_t(pointIndex(v4, v4.i_end + 1, jOut, kk));
  EXPECT_EQ(v4.v[gIn], 2.0 * uInf4[1] - v4.v[mIn]);
  EXPECT_EQ(v4.v[gOut], v4.v[mOut]);
  EXPECT_EQ(v4.u[size_t(skipped)], 99.0);
}

TEST(SolverBoundary, ScalarsKeepTheStateEquationAndWallPressureReadsGhostDivergence) {
  auto s = gridWithFlow();
  s->M = 0.5;
  s->Re = 40;
  boundaryScalars(*s, 3);
  for (const auto& v : s->volumes) {
    for (int j = v.j_begin; j <= v.j_end; ++j)
      for (int k = v.k_begin; k <= v.k_end; ++k) {
        const size_t mo = size_t(pointIndex(v, v.i_end, j, k)),
                     go = size_t(pointIndex(v, v.i_end + 1, j, k));
        const size_t ms = size_t(pointIndex(v, v.i_begin, j, k)),
                     gs = size_t(pointIndex(v, v.i_begin - 1, j, k));
        for (size_t g : {go, gs}) EXPECT_DOUBLE_EQ(v.P[g], v.ro[g] * v.T[g]);
        if (v.point_glob[3 * mo] <= 0.00001) {
          EXPECT_EQ(v.P[go], v.P[mo]);
          EXPECT_EQ(v.T[go] + v.T[mo], 2.0);  // face temperature 1
        } else {
          EXPECT_EQ(v.P[go] + v.P[mo], 2.0);  // face pressure 1
          EXPECT_EQ(v.ro[go], v.ro[mo]);
        }
        EXPECT_EQ(v.T[gs], v.T[ms]);  // adiabatic wall
        EXPECT_DOUBLE_EQ(v.P[gs],
                         v.P[ms] - (v.div[ms] - v.div[gs]) * s->k * s->M * s->M / 3.0 / s->Re);
      }
  }
  // The wall pressure follows the ghost divergence.
  FiniteVolume& v0 = s->volumes[0];
  const size_t gs = size_t(pointIndex(v0, 0, 5, 5));
  const double p1 = v0.P[gs];
  v0.div[gs] += 3.0;
  boundaryScalars(*s, 3);
  EXPECT_NEAR(v0.P[gs] - p1, 3.0 * s->k * s->M * s->M / 3.0 / s->Re, 1e-12);
}

TEST(SolverBoundary, DivergenceOfTheReflectedVelocity) {
  auto s = gridWithFlow();
  boundaryVelocity(*s, 3);
  boundaryDivergence(*s, 3);
  // Direct evaluation at one ghost of each face: reflected velocities (2V-V,
  // -V) keep the normal derivative and reverse the tangential ones; copied
  // velocities the other way round. The sphere uses the mirror's metrics.
  auto expected = [&](const FiniteVolume& v, int g, int m, int metricsAt, double sign) {
    auto diff = [&](const std::vector<double>& q, int off, double h) {
      return 0.5 * h * (q[size_t(m + off)] - q[size_t(m - off)]);
    };
    const size_t a = size_t(metricsAt);
    double sum = 0;
    const std::vector<double>* qs[3] = {&v.u, &v.v, &v.w};
    const std::vector<float>* mx[3] = {&v.xi_x, &v.xi_y, &v.xi_z};
    const std::vector<float>* me[3] = {&v.eta_x, &v.eta_y, &v.eta_z};
    const std::vector<float>* mz[3] = {&v.zeta_x, &v.zeta_y, &v.zeta_z};
    for (int c = 0; c < 3; ++c) {
      sum += sign * ((*mx[c])[a] * diff(*qs[c], v.stride_i, v.steps_xi[1]) -
                     (*me[c])[a] * diff(*qs[c], v.stride_j, v.steps_eta[1]) -
                     (*mz[c])[a] * diff(*qs[c], 1, v.steps_zeta[1]));
    }
    return sum;
  };
  int checkedIn = 0, checkedOut = 0;
  for (const auto& v : s->volumes) {
    for (int j = v.j_begin; j <= v.j_end; j += 4)
      for (int k = v.k_begin; k <= v.k_end; k += 4) {
        const int m = pointIndex(v, v.i_end, j, k), g = pointIndex(v, v.i_end + 1, j, k);
        const bool in = v.point_glob[3 * size_t(m)] <= 0.00001;
        (in ? checkedIn : checkedOut)++;
        EXPECT_NEAR(v.div[size_t(g)], expected(v, g, m, g, in ? 1.0 : -1.0), 1e-12);
        const int ms = pointIndex(v, v.i_begin, j, k), gs = pointIndex(v, v.i_begin - 1, j, k);
        EXPECT_NEAR(v.div[size_t(gs)], expected(v, gs, ms, ms, 1.0), 1e-12);
      }
  }
  EXPECT_GT(checkedIn, 0);
  EXPECT_GT(checkedOut, 0);
}

namespace {

// Largest error of div and vixr against exact values at the computed points.
struct Errors {
  double div = 0, vort = 0;
};
Errors derivedFieldErrors(SimulationState& s, double exactDiv, double exactVixr) {
  Errors e;
  for (auto& v : s.volumes) {
    divergenceSlab(v, v.i_begin, v.i_end);
    vorticitySlab(v, v.i_begin, v.i_end);
    for (size_t n = 0; n < v.type_point.size(); ++n) {
      if (v.type_point[n] != 1) continue;
      e.div = std::max(e.div, std::fabs(v.div[n] - exactDiv));
      e.vort = std::max(e.vort, std::fabs(v.vixr[n] - exactVixr));
    }
  }
  return e;
}

}  // namespace

TEST(SolverDerivedFields, DivergenceAndVorticityOfAnalyticFieldsOnTheDefaultGrid) {
  auto s = gridState();
  // Uniform stream: constant local components in every volume, so both
  // vanish exactly.
  setVelocity(*s, [](const Vec3&) { return Vec3{1, 0, 0}; });
  Errors e = derivedFieldErrors(*s, 0.0, 0.0);
  EXPECT_EQ(e.div, 0.0);
  EXPECT_EQ(e.vort, 0.0);
  // Pure expansion V = X: div 3, curl 0. Linear in space is not linear in
  // the stretched grid coordinates: second-order errors of about 1% remain
  // (at the coarse outer cells).
  setVelocity(*s, [](const Vec3& X) { return X; });
  e = derivedFieldErrors(*s, 3.0, 0.0);
  EXPECT_LT(e.div, 0.04);
  EXPECT_LT(e.vort, 0.012);
  // Solid rotation about z: div 0, |curl| = 2, so vixr = 1.
  setVelocity(*s, [](const Vec3& X) { return Vec3{-X[1], X[0], 0}; });
  e = derivedFieldErrors(*s, 0.0, 1.0);
  EXPECT_LT(e.div, 0.02);
  EXPECT_LT(e.vort, 0.03);
}

TEST(SolverExchange, InterpolatedPointsOfTheDefaultGridTakeTheDonorFlow) {
  auto s = interpolatedGridState();
  auto V = [](const Vec3& X) { return Vec3{1.0 + 0.1 * X[1], 0.2 * X[0], -0.1 * X[2]}; };
  int receivers = 0;
  for (auto& v : s->volumes)
    for (int n = 0; n < int(v.pointCount()); ++n) {
      const Vec3 X = globalPosition(v, n);
      const bool receiver = v.type_point[size_t(n)] >= 4;
      receivers += receiver;
      const Vec3 local = globalToLocalVector(v, V(X));
      v.u[size_t(n)] = receiver ? 99.0 : local[0];
      v.v[size_t(n)] = receiver ? 99.0 : local[1];
      v.w[size_t(n)] = receiver ? 99.0 : local[2];
      v.ro[size_t(n)] = receiver ? 99.0 : 1.0 + 0.05 * X[0];
      v.T[size_t(n)] = receiver ? 99.0 : 1.0 + 0.02 * X[1];
    }
  ASSERT_GT(receivers, 1000);
  exchangeAll(*s);
  // The stencils reproduce quadratics of the donor's grid coordinates; a
  // field linear in space is reproduced up to a small interpolation error.
  double worstVelocity = 0, worstScalar = 0;
  for (auto& v : s->volumes)
    for (int n = 0; n < int(v.pointCount()); ++n) {
      if (v.type_point[size_t(n)] < 4) continue;
      const Vec3 X = globalPosition(v, n);
      const Vec3 local = globalToLocalVector(v, V(X));
      worstVelocity =
          std::max({worstVelocity, std::fabs(v.u[size_t(n)] - local[0]),
                    std::fabs(v.v[size_t(n)] - local[1]), std::fabs(v.w[size_t(n)] - local[2])});
      worstScalar = std::max(worstScalar, std::fabs(v.ro[size_t(n)] - (1.0 + 0.05 * X[0])));
      ASSERT_EQ(v.P[size_t(n)], v.ro[size_t(n)] * v.T[size_t(n)]);
    }
  EXPECT_LT(worstVelocity, 1e-3);
  EXPECT_LT(worstScalar, 3e-4);
}
