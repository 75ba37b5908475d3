#include "solver/coefficients.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "solver/solver.h"
#include "solver_test_util.h"

using namespace brelvik;
using namespace brelvik::testing;

namespace {

constexpr double kPi = 3.14159265358979323846;

// Sets P (and ro = P, T = 1) from a function of the global position.
template <class F>
void setPressure(SimulationState& s, F&& p) {
  for (auto& v : s.volumes)
    for (int n = 0; n < int(v.pointCount()); ++n) {
      v.P[size_t(n)] = p(globalPosition(v, n));
      v.ro[size_t(n)] = v.P[size_t(n)];
      v.T[size_t(n)] = 1.0;
    }
}

const SimulationState& defaultGrid() {
  static std::unique_ptr<SimulationState> s = gridState();
  return *s;
}

}  // namespace

TEST(SolverCoefficients, FaceGeometryTilesTheSphere) {
  const SimulationState& s = defaultGrid();
  double area = 0;
  for (const auto& v : s.volumes) {
    std::vector<double> A(size_t((v.Ny + 1) * (v.Nz + 1)));
    for (int j = v.j_begin; j <= v.j_end; ++j)
      for (int k = v.k_begin; k <= v.k_end; ++k) {
        const FaceGeometry g = faceGeometry(v, j, k);
        EXPECT_NEAR(std::sqrt(g.x * g.x + g.y * g.y + g.z * g.z), 0.5, 1e-12);
        EXPECT_NEAR(g.nx * g.nx + g.ny * g.ny + g.nz * g.nz, 1.0, 1e-12);
        EXPECT_GT(g.nx, 0.0);  // the sector looks along its own +x' axis
        A[size_t(j * v.stride_j + k)] = g.area;
      }
    area += surfaceIntegral(v, A.data());
  }
  // Six faces make up the whole sphere of radius 0.5 (area pi), up to the
  // trapezoidal error of 12 x 12 cells.
  EXPECT_NEAR(area, kPi, 0.006 * kPi);
}

TEST(SolverCoefficients, TrapezoidalIntegralAndRadialWallExtrapolation) {
  const SimulationState& s = defaultGrid();
  const FiniteVolume& v = s.volumes[0];
  std::vector<double> f(size_t((v.Ny + 1) * (v.Nz + 1)), 0.0);
  for (int j = v.j_begin; j <= v.j_end; ++j)
    for (int k = v.k_begin; k <= v.k_end; ++k) f[size_t(j * v.stride_j + k)] = 1.0;
  EXPECT_NEAR(surfaceIntegral(v, f.data()), 4.0, 1e-12);  // eta, zeta in [-1, 1]
  for (int j = v.j_begin; j <= v.j_end; ++j)
    for (int k = v.k_begin; k <= v.k_end; ++k) {
      const double eta = v.point_loc[3 * size_t(pointIndex(v, 1, j, k)) + 1];
      f[size_t(j * v.stride_j + k)] = eta * eta;
    }
  // Trapezoidal rule for eta^2 on [-1, 1] with step 1/6: 2/3 + 1/108; times 2 in zeta.
  EXPECT_NEAR(surfaceIntegral(v, f.data()), 4.0 / 3.0 + 1.0 / 54.0, 1e-12);

  std::vector<double> q(size_t(v.pointCount()));
  for (int n = 0; n < int(v.pointCount()); ++n) {
    const Vec3 X = globalPosition(v, n);
    q[size_t(n)] = 3.0 + 2.0 * std::sqrt(X[0] * X[0] + X[1] * X[1] + X[2] * X[2]);
  }
  EXPECT_NEAR(wallValue(v, q.data(), 4, 9), 4.0, 1e-12);
  EXPECT_NEAR(wallValue(v, q.data(), 13, 1), 4.0, 1e-12);
}

TEST(SolverCoefficients, UniformPressureAndRestGiveNoDrag) {
  auto s = gridState();
  setPressure(*s, [](const Vec3&) { return 1.0; });
  setVelocity(*s, [](const Vec3&) { return Vec3{0, 0, 0}; });
  const double Cp = computeCp(*s), Cf = computeCf(*s);
  EXPECT_NEAR(Cp, 0.0, 1e-12);
  EXPECT_EQ(Cf, 0.0);
  EXPECT_EQ(computeCx(*s), Cp + Cf);
}

TEST(SolverCoefficients, LinearPressureGivesTheBuoyancyOfTheSphere) {
  // P = 1 - x pushes with the force (volume of the sphere) = pi/6 along +x,
  // so Cp = (pi/6)/(k M^2)/pi*8 = 4/(3 k M^2).
  auto s = gridState();
  setPressure(*s, [](const Vec3& X) { return 1.0 - X[0]; });
  const double expected = 4.0 / (3.0 * s->k * s->M * s->M);
  EXPECT_NEAR(computeCp(*s), expected, 0.006 * expected);
  // Only the x component is reported: the same pressure along y gives none.
  setPressure(*s, [](const Vec3& X) { return 1.0 - X[1]; });
  EXPECT_NEAR(computeCp(*s), 0.0, 1e-12);
  // Cp is computed with the stored pi, not the full-precision one.
  s->pi = kPi;
  setPressure(*s, [](const Vec3& X) { return 1.0 - X[0]; });
  const double withFullPi = computeCp(*s);
  s->pi = 3.14159265358979;
  EXPECT_NE(computeCp(*s), withFullPi);
}

namespace {

// Stokes flow past a sphere of radius a = 0.5 in a unit stream along x, in
// the non-dimensional variables of the solver (viscosity 1/Re, pressure
// P = 1 + k M^2 p').
void setStokesFlow(SimulationState& s) {
  const double a = 0.5, mu = 1.0 / s.Re, scale = s.k * s.M * s.M;
  setVelocity(s, [&](const Vec3& X) {
    const double r2 = X[0] * X[0] + X[1] * X[1] + X[2] * X[2], r = std::sqrt(r2);
    const double r3 = r2 * r, r5 = r3 * r2;
    Vec3 V;
    for (int c = 0; c < 3; ++c) {
      const double Uc = c == 0 ? 1.0 : 0.0;
      V[size_t(c)] = Uc - 0.75 * a * (Uc / r + X[0] * X[size_t(c)] / r3) -
                     0.25 * a * a * a * (Uc / r3 - 3.0 * X[0] * X[size_t(c)] / r5);
    }
    return V;
  });
  setPressure(s, [&](const Vec3& X) {
    const double r2 = X[0] * X[0] + X[1] * X[1] + X[2] * X[2];
    return 1.0 + scale * (-1.5 * mu * a * X[0] / (r2 * std::sqrt(r2)));
  });
}

struct Drag {
  double Cp, Cf, Cx;
};
Drag stokesDrag(int schemeOrder, double Re) {
  DomainInputs in;
  in.D = toSingle(4);
  in.s = toSingle(0.004);
  in.nx = 40;
  in.ny = in.nz = 24;
  auto s = gridState(in, schemeOrder);
  s->Re = Re;
  setStokesFlow(*s);
  return {computeCp(*s), computeCf(*s), computeCx(*s)};
}

}  // namespace

TEST(SolverCoefficients, StokesFlowDragSlow) {
  const double Re = 0.5;
  for (int order : {2, 4, 6}) {
    const Drag d = stokesDrag(order, Re);
    EXPECT_NEAR(d.Cp, 8.0 / Re, 0.005 * 8.0 / Re) << "order " << order;
    // The fourth- and sixth-order radial derivatives are markedly closer.
    const double cfTolerance = order == 2 ? 0.005 : 0.0005;
    EXPECT_NEAR(d.Cf, 16.0 / Re, cfTolerance * 16.0 / Re) << "order " << order;
    EXPECT_NEAR(d.Cx, d.Cp + d.Cf, 1e-12 * d.Cx);
  }
}
