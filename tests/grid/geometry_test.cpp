#include "grid/geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "core_error_print.h"
#include "state/simulation_state.h"

using namespace brelvik;

namespace {

DomainInputs defaultInputs() {
  DomainInputs in;
  in.D = toSingle(15);
  in.s = toSingle(0.02);
  return in;
}

// One default grid shared by the read-only tests.
const SimulationState& defaultGrid() {
  static std::unique_ptr<SimulationState> s = [] {
    auto st = std::make_unique<SimulationState>();
    CoreError error;
    if (!createDomain(*st, defaultInputs(), &error)) ADD_FAILURE() << error;
    return st;
  }();
  return *s;
}

Vec3 globOf(const FiniteVolume& v, int n) {
  return {v.point_glob[3 * n], v.point_glob[3 * n + 1], v.point_glob[3 * n + 2]};
}
Vec3 locOf(const FiniteVolume& v, int n) {
  return {v.point_loc[3 * n], v.point_loc[3 * n + 1], v.point_loc[3 * n + 2]};
}
double radiusAt(const FiniteVolume& v, double xi) { return v.r_offset + v.r_scale * std::pow(v.r_base, xi); }

Vec3 cross(const Vec3& a, const Vec3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

}  // namespace

TEST(GridGeometry, SinglePrecisionRounding) {
  EXPECT_EQ(toSingle(0.02), 0.0199999995529651641845703125);
  EXPECT_EQ(toSingle(15.0), 15.0);
  EXPECT_TRUE(std::isinf(toSingle(1e300)));
  EXPECT_TRUE(std::isinf(toSingle(-1e300)));
  EXPECT_TRUE(std::isnan(toSingle(NAN)));
}

TEST(GridGeometry, DefaultGridStepsAndStretching) {
  const SimulationState& s = defaultGrid();
  ASSERT_EQ(s.volumeCount, 6);
  for (const FiniteVolume& v : s.volumes) {
    EXPECT_EQ(v.allocated, 1);
    EXPECT_EQ(v.kind, 2);
    EXPECT_EQ(v.Nx, 21);
    EXPECT_EQ(v.Ny, 14);
    EXPECT_EQ(v.Nz, 14);
    EXPECT_EQ(v.r_out, 7.5);
    EXPECT_EQ(v.r_in, 0.5);
    EXPECT_EQ(v.first_step, 0.0199999995529651641845703125);
    EXPECT_DOUBLE_EQ(v.steps_xi[0], 0.35);
    EXPECT_DOUBLE_EQ(v.steps_xi[1], 1 / 0.35);
    EXPECT_DOUBLE_EQ(v.steps_xi[4], std::pow(0.35, 4));
    EXPECT_DOUBLE_EQ(v.steps_xi[11], std::pow(0.35, -10));
    EXPECT_DOUBLE_EQ(v.steps_eta[0], 2.0 / 12);
    EXPECT_DOUBLE_EQ(v.steps_zeta[3], 144.0 / 4);
    EXPECT_EQ(v.i_begin, 1);
    EXPECT_EQ(v.i_end, 20);
    EXPECT_EQ(v.j_begin, 1);
    EXPECT_EQ(v.j_end, 13);
    EXPECT_EQ(v.k_end, 13);
    EXPECT_EQ(v.stride_j, 15);
    EXPECT_EQ(v.stride_i, 225);
    EXPECT_EQ(v.stencil_size, 10);
    EXPECT_EQ(v.poly_degree, 2);
    EXPECT_EQ(v.steps_ready, 1);
    EXPECT_NEAR(v.ratio, 1.25167, 5e-6);
    EXPECT_EQ(v.box_origin, (Vec3{0.5, 0, 0}));
    EXPECT_DOUBLE_EQ(v.box_size[0], 7.5 / std::sqrt(3.0) - 0.5);
    EXPECT_EQ(v.face_offset, (std::array<int, 6>{1, 1, 0, 0, 0, 0}));
    EXPECT_EQ(v.face_wall, (std::array<int, 6>{1, 0, 0, 0, 0, 0}));

    const double h = 0.35;
    const double expected[] = {0.5, 0.6156, 0.8993, 1.5956, 3.3048, 7.5};
    for (int c = 0; c <= 5; ++c) EXPECT_NEAR(radiusAt(v, 4 * c * h), expected[c], 1e-4) << c;
    EXPECT_NEAR(radiusAt(v, 0), 0.5, 1e-12);
    EXPECT_NEAR(radiusAt(v, 20 * h), 7.5, 1e-6);
    EXPECT_NEAR(radiusAt(v, h) - 0.5, 0.0199999995529651641845703125, 1e-9);
    // Successive cells grow by the ratio.
    EXPECT_NEAR((radiusAt(v, 2 * h) - radiusAt(v, h)) / (radiusAt(v, h) - radiusAt(v, 0)), v.ratio, 1e-9);
  }
}

TEST(GridGeometry, SectorFramesCoverTheSixFaces) {
  const SimulationState& s = defaultGrid();
  Vec3 sum = {0, 0, 0};
  for (int v = 0; v < 6; ++v) {
    const FiniteVolume& vol = s.volumes[v];
    EXPECT_EQ(vol.index, v);
    EXPECT_EQ(cross(vol.axis_x, vol.axis_y), vol.axis_z) << "right-handed frame of volume " << v;
    for (int c = 0; c < 3; ++c) sum[c] += std::fabs(vol.axis_x[c]);
    // The centre of the face lies in this sector only.
    Vec3 centre = {2 * vol.axis_x[0], 2 * vol.axis_x[1], 2 * vol.axis_x[2]};
    for (int b = 0; b < 6; ++b) EXPECT_EQ(insideVolume(s.volumes[b], centre), b == v);
    ASSERT_EQ(vol.plane_count, 4);
    for (const BoundingPlane& pl : vol.planes) {
      EXPECT_NEAR(std::sqrt(pl.normal[0] * pl.normal[0] + pl.normal[1] * pl.normal[1] + pl.normal[2] * pl.normal[2]),
                  std::sqrt(2.0), 1e-15);
      // Every plane passes through the centre of the sphere.
      EXPECT_NEAR(pl.point[0] * pl.normal[0] + pl.point[1] * pl.normal[1] + pl.point[2] * pl.normal[2], 0, 1e-14);
    }
  }
  EXPECT_EQ(sum, (Vec3{2, 2, 2}));  // +-x, +-y, +-z each once
}

TEST(GridGeometry, CoordinatesAndPointTypes) {
  const SimulationState& s = defaultGrid();
  for (const FiniteVolume& v : s.volumes) {
    for (int i = 0; i <= v.Nx; ++i)
      for (int j = 0; j <= v.Ny; ++j)
        for (int k = 0; k <= v.Nz; ++k) {
          const int n = pointIndex(v, i, j, k);
          const Vec3 loc = locOf(v, n);
          ASSERT_DOUBLE_EQ(loc[0], 0.35 * (i - 0.5));
          ASSERT_NEAR(loc[1], -1 + (j - 1) / 6.0, 1e-14);
          ASSERT_NEAR(loc[2], -1 + (k - 1) / 6.0, 1e-14);
          // Global position and grid coordinates agree both ways.
          const Vec3 back = globalToGrid(v, globOf(v, n), v.kind);
          for (int c = 0; c < 3; ++c) ASSERT_NEAR(back[c], loc[c], 1e-10) << i << " " << j << " " << k;
          const Vec3 X = globOf(v, n);
          ASSERT_NEAR(std::sqrt(X[0] * X[0] + X[1] * X[1] + X[2] * X[2]), radiusAt(v, loc[0]), 1e-12);

          const int type = v.type_point[n];
          const bool computedRange =
              i >= 1 && i <= 20 && j >= 1 && j <= 13 && k >= 1 && k <= 13;
          if (i == v.Nx) {
            ASSERT_EQ(type, kPointBoundary);
          } else if (i == 0) {
            ASSERT_EQ(type, (j >= 1 && j <= 13 && k >= 1 && k <= 13) ? kPointBoundary : kPointInactive);
          } else if (computedRange) {
            ASSERT_EQ(type, kPointComputed) << i << " " << j << " " << k;
          } else {
            ASSERT_TRUE(type == kPointInactive || type == kPointInterpolated);
            // Every angular ghost next to a computed point takes values from another volume.
            const bool edgeNeighbour = (j == 0 || j == 14) != (k == 0 || k == 14);
            if (edgeNeighbour) {
              ASSERT_EQ(type, kPointInterpolated) << i << " " << j << " " << k;
            }
          }
        }
    // The computed edges sit on eta, zeta = +-1.
    EXPECT_NEAR(v.point_loc[3 * pointIndex(v, 5, 13, 13) + 1], 1.0, 1e-15);
    EXPECT_NEAR(v.point_loc[3 * pointIndex(v, 5, 13, 13) + 2], 1.0, 1e-15);
    EXPECT_EQ(v.point_loc[3 * pointIndex(v, 5, 1, 1) + 1], -1.0);
  }
}

TEST(GridGeometry, EveryComputedPointHasAllNeighboursSupplied) {
  const SimulationState& s = defaultGrid();
  int interpolated = 0;
  for (const FiniteVolume& v : s.volumes) {
    for (int n = 0; n < int(v.type_point.size()); ++n) interpolated += v.type_point[n] == kPointInterpolated;
    for (int i = 1; i < v.Nx; ++i)
      for (int j = 1; j < v.Ny; ++j)
        for (int k = 1; k < v.Nz; ++k) {
          if (v.type_point[pointIndex(v, i, j, k)] != kPointComputed) continue;
          const int nb[6] = {pointIndex(v, i - 1, j, k), pointIndex(v, i + 1, j, k), pointIndex(v, i, j - 1, k),
                             pointIndex(v, i, j + 1, k), pointIndex(v, i, j, k - 1), pointIndex(v, i, j, k + 1)};
          for (int m : nb) ASSERT_NE(v.type_point[m], kPointInactive) << v.index << ": " << i << " " << j << " " << k;
        }
  }
  EXPECT_EQ(interpolated, s.interpolTotal.load());
  EXPECT_GT(interpolated, 0);
  EXPECT_EQ(s.interpolProcessed.load(), 0);
}

TEST(GridGeometry, DonorIsTheDeepestContainingVolumeWithTiesToTheLowerIndex) {
  const SimulationState& s = defaultGrid();
  for (const FiniteVolume& v : s.volumes)
    for (int n = 0; n < int(v.type_point.size()); ++n) {
      if (v.type_point[n] != kPointInterpolated) continue;
      const int d = v.interpol_data[n].donor;
      ASSERT_NE(d, v.index);
      const Vec3 X = globOf(v, n);
      double depthD = 0;
      ASSERT_TRUE(insideDepth(s.volumes[d], X, depthD));
      for (int b = 0; b < 6; ++b) {
        if (b == v.index || b == d) continue;
        double depthB = 0;
        if (!insideDepth(s.volumes[b], X, depthB)) continue;
        if (b < d) {
          ASSERT_LT(depthB, depthD) << "a lower-index volume at equal depth must win";
        } else {
          ASSERT_LE(depthB, depthD);
        }
      }
    }
}

TEST(GridGeometry, EqualDepthKeepsTheLowerIndexDonor) {
  SimulationState s;
  CoreError error;
  ASSERT_TRUE(createDomain(s, defaultInputs(), &error)) << error;
  // Give volume 5 exactly the geometry of volume 4: every point of volume 0
  // inside one lies at the same depth in the other.
  FiniteVolume& v4 = s.volumes[4];
  FiniteVolume& v5 = s.volumes[5];
  v5.axis_x = v4.axis_x, v5.axis_y = v4.axis_y, v5.axis_z = v4.axis_z;
  v5.planes = v4.planes;
  FiniteVolume& v0 = s.volumes[0];
  int before4 = 0;
  for (int n = 0; n < int(v0.type_point.size()); ++n)
    before4 += v0.type_point[n] == kPointInterpolated && v0.interpol_data[n].donor == 4;
  ASSERT_GT(before4, 0);
  classifyPoints(v0);
  findDonors(s, v0);
  int after4 = 0;
  for (int n = 0; n < int(v0.type_point.size()); ++n) {
    if (v0.type_point[n] != kPointInterpolated) continue;
    EXPECT_NE(v0.interpol_data[n].donor, 5);
    after4 += v0.interpol_data[n].donor == 4;
  }
  EXPECT_EQ(after4, before4);
}

TEST(GridGeometry, DonorCellsContainThePoint) {
  const SimulationState& s = defaultGrid();
  int checked = 0;
  for (const FiniteVolume& v : s.volumes)
    for (int n = 0; n < int(v.type_point.size()); ++n) {
      if (v.type_point[n] != kPointInterpolated) continue;
      const InterpolEntry& e = v.interpol_data[n];
      const FiniteVolume& d = s.volumes[e.donor];
      ASSERT_GE(e.cell_i, d.i_begin);
      ASSERT_LE(e.cell_i, d.i_end - 1);
      ASSERT_GE(e.cell_j, d.j_begin);
      ASSERT_LE(e.cell_j, d.j_end - 1);
      ASSERT_GE(e.cell_k, d.k_begin);
      ASSERT_LE(e.cell_k, d.k_end - 1);
      const Vec3 t = globalToGrid(d, globOf(v, n), d.kind);
      const int cells[3] = {e.cell_i, e.cell_j, e.cell_k};
      const int begins[3] = {d.i_begin, d.j_begin, d.k_begin};
      const int ends[3] = {d.i_end, d.j_end, d.k_end};
      for (int a = 0; a < 3; ++a) {
        const auto coord = [&](int m) {
          int idx[3] = {d.i_begin, d.j_begin, d.k_begin};
          idx[a] = m;
          return d.point_loc[3 * pointIndex(d, idx[0], idx[1], idx[2]) + a];
        };
        if (t[a] < coord(begins[a])) {
          ASSERT_EQ(cells[a], begins[a]);
        } else if (t[a] > coord(ends[a])) {
          ASSERT_EQ(cells[a], ends[a] - 1);
        } else {
          ASSERT_LE(coord(cells[a]), t[a]);
          ASSERT_LE(t[a], coord(cells[a] + 1));
          // The last matching cell: the next one must not contain it as well.
          if (cells[a] + 1 <= ends[a] - 1) {
            ASSERT_LT(t[a], coord(cells[a] + 1));
          }
        }
      }
      ++checked;
    }
  EXPECT_GT(checked, 1000);
}

TEST(GridGeometry, MetricsMatchDerivativesOfTheGridMap) {
  const SimulationState& s = defaultGrid();
  const FiniteVolume& v = s.volumes[3];
  // Grid coordinates as functions of the local Cartesian point.
  const auto grid = [&](const Vec3& p) {
    const Vec3 X = localToGlobalPoint(v, p[0], p[1], p[2]);
    return globalToGrid(v, X, 2);
  };
  const int probes[][3] = {{1, 1, 1}, {5, 7, 3}, {12, 13, 2}, {20, 4, 9}, {0, 0, 14}};
  for (const auto& ijk : probes) {
    const int n = pointIndex(v, ijk[0], ijk[1], ijk[2]);
    const Vec3 p = globalToLocalVector(v, globOf(v, n));
    const double r = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
    const double h = 1e-5 * r;
    double J[3][3], lap[3] = {0, 0, 0};
    const Vec3 g0 = grid(p);
    for (int c = 0; c < 3; ++c) {
      Vec3 pp = p, pm = p;
      pp[c] += h;
      pm[c] -= h;
      const Vec3 gp = grid(pp), gm = grid(pm);
      for (int a = 0; a < 3; ++a) {
        J[a][c] = (gp[a] - gm[a]) / (2 * h);
        lap[a] += (gp[a] - 2 * g0[a] + gm[a]) / (h * h);
      }
    }
    const float* rows[3][3] = {{&v.xi_x[n], &v.xi_y[n], &v.xi_z[n]},
                               {&v.eta_x[n], &v.eta_y[n], &v.eta_z[n]},
                               {&v.zeta_x[n], &v.zeta_y[n], &v.zeta_z[n]}};
    for (int a = 0; a < 3; ++a)
      for (int c = 0; c < 3; ++c) EXPECT_NEAR(*rows[a][c], J[a][c], 1e-5 * (1 + std::fabs(J[a][c])));
    const auto gradDot = [&](int a, int b) { return J[a][0] * J[b][0] + J[a][1] * J[b][1] + J[a][2] * J[b][2]; };
    const double rel = 1e-5;
    EXPECT_NEAR(v.g_xixi[n], gradDot(0, 0), rel * (1 + gradDot(0, 0)));
    EXPECT_NEAR(v.g_etaeta[n], gradDot(1, 1), rel * (1 + gradDot(1, 1)));
    EXPECT_NEAR(v.g_zetazeta[n], gradDot(2, 2), rel * (1 + gradDot(2, 2)));
    EXPECT_NEAR(v.g_etazeta[n], gradDot(1, 2), rel * (1 + std::fabs(gradDot(1, 2))));
    const float* laps[3] = {&v.lap_xi[n], &v.lap_eta[n], &v.lap_zeta[n]};
    for (int a = 0; a < 3; ++a) EXPECT_NEAR(*laps[a], lap[a], 1e-3 * (1 + std::fabs(lap[a]))) << a;
  }
}

TEST(GridGeometry, ConversionsRoundTrip) {
  const SimulationState& s = defaultGrid();
  const FiniteVolume& v = s.volumes[1];
  const Vec3 a = localToGlobalVector(v, 0.3, -1.2, 2.5);
  EXPECT_EQ(a, (Vec3{2.5, -1.2, -0.3}));  // axes (0,0,-1), (0,1,0), (1,0,0)
  const Vec3 back = globalToLocalVector(v, a);
  EXPECT_EQ(back, (Vec3{0.3, -1.2, 2.5}));
  EXPECT_EQ(globalToGrid(v, {1, 2, 3}, 1), (Vec3{-3, 2, 1}));

  FiniteVolume w;
  initDefaults(w, 2);
  w.axis_x = {0, 1, 0}, w.axis_y = {-1, 0, 0}, w.axis_z = {0, 0, 1};
  const Vec3 g = localToGlobalVector(w, 1, 2, 3);
  EXPECT_EQ(g[0], -2);
  EXPECT_EQ(g[1], 1);
  EXPECT_EQ(g[2], 3);
  const Vec3 l = globalToLocalVector(w, g);
  EXPECT_EQ(l[0], 1);
  EXPECT_EQ(l[1], 2);
  EXPECT_EQ(l[2], 3);
}

TEST(GridGeometry, InsideTestsUseTheTolerance) {
  const SimulationState& s = defaultGrid();
  const FiniteVolume& v = s.volumes[0];
  double depth = 0;
  EXPECT_TRUE(insideDepth(v, {1, 0, 0}, depth));
  EXPECT_NEAR(depth, 1.0, 1e-15);  // normals of length sqrt(2): depth = sqrt(2) * distance
  EXPECT_TRUE(insideVolume(v, {0.5 - 0.00009, 0, 0}));
  EXPECT_FALSE(insideVolume(v, {0.5 - 0.0002, 0, 0}));
  EXPECT_TRUE(insideVolume(v, {7.5, 0, 0}));
  EXPECT_FALSE(insideVolume(v, {7.5001, 0, 0}));
  EXPECT_TRUE(insideVolume(v, {1, 1 + 0.00007, 0}));  // on the edge eta = -1, within tolerance
  EXPECT_FALSE(insideVolume(v, {1, 1.001, 0}));
  EXPECT_FALSE(insideDepth(v, {1, 1.001, 0}, depth));
  EXPECT_LT(depth, 0);
  EXPECT_TRUE(insidePlanes(v, {100, 0, 0}));  // planes alone ignore the radii
  EXPECT_FALSE(insideVolume(v, {100, 0, 0}));
}

TEST(GridGeometry, StretchingRatioRootAndRejection) {
  double q = 0;
  ASSERT_TRUE(solveStretchingRatio(7.0, 20.0, 0.02, &q));
  EXPECT_NEAR(0.02 * (std::pow(q, 20) - 1) / (q - 1), 7.0, 1e-6);
  EXPECT_FALSE(solveStretchingRatio(7.0, 20.0, 0.5, &q));    // 20 cells of 0.5 overfill the shell
  EXPECT_FALSE(solveStretchingRatio(7.0, 20.0, 1e-70, &q));  // ratio beyond 1000
  EXPECT_FALSE(solveStretchingRatio(7.0, 20.0, NAN, &q));
}
