#include "grid/stencil_search.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <set>

#include "core_error_print.h"
#include "../bench/literal_stencil_search.h"
#include "grid/geometry.h"
#include "state/simulation_state.h"

using namespace brelvik;

namespace {

// A donor with the given axis coordinates and every point of type 1.
FiniteVolume latticeDonor(const std::vector<double>& xi, const std::vector<double>& eta,
                          const std::vector<double>& zeta) {
  FiniteVolume d;
  initDefaults(d, 2);
  d.kind = 2;
  d.Nx = int(xi.size()) - 1;
  d.Ny = int(eta.size()) - 1;
  d.Nz = int(zeta.size()) - 1;
  d.stride_j = d.Nz + 1;
  d.stride_i = (d.Ny + 1) * (d.Nz + 1);
  const size_t count = size_t(d.pointCount());
  d.point_loc.resize(3 * count);
  d.type_point.assign(count, kPointComputed);
  for (int i = 0; i <= d.Nx; ++i)
    for (int j = 0; j <= d.Ny; ++j)
      for (int k = 0; k <= d.Nz; ++k) {
        const size_t n = size_t(pointIndex(d, i, j, k));
        d.point_loc[3 * n] = xi[i];
        d.point_loc[3 * n + 1] = eta[j];
        d.point_loc[3 * n + 2] = zeta[k];
      }
  return d;
}

std::vector<double> uniformAxis(int n, double h, double offset) {
  std::vector<double> a(static_cast<size_t>(n));
  for (int m = 0; m < n; ++m) a[m] = h * (m + offset);
  return a;
}

struct Outcome {
  StencilResult r;
  int points[10];
  double weights[10];
};

Outcome runFast(const FiniteVolume& d, const Vec3& t, const StencilRules& rules, StencilWorkspace& ws) {
  DonorLattice lat;
  buildDonorLattice(d, lat);
  Outcome o{};
  o.r = findStencil(lat, t, 10, 2, rules, ws, o.points, o.weights);
  return o;
}

Outcome runLiteral(const FiniteVolume& d, const Vec3& t, const StencilRules& rules) {
  Outcome o{};
  o.r = literalStencilSearch(d, t, 10, 2, rules, o.points, o.weights);
  return o;
}

::testing::AssertionResult sameOutcome(const Outcome& a, const Outcome& b) {
  if (a.r.found != b.r.found || a.r.passes != b.r.passes)
    return ::testing::AssertionFailure() << "found " << a.r.found << "/" << b.r.found << ", passes "
                                         << a.r.passes << "/" << b.r.passes;
  if (!a.r.found) return ::testing::AssertionSuccess();
  if (std::memcmp(a.points, b.points, sizeof a.points) != 0) return ::testing::AssertionFailure() << "points differ";
  if (std::memcmp(a.weights, b.weights, sizeof a.weights) != 0)
    return ::testing::AssertionFailure() << "weights differ";
  return ::testing::AssertionSuccess();
}

StencilRules postRules() {
  StencilRules r;
  r.admittedTypes = ~1u;  // every type above 0
  r.distinctLayers = false;
  r.limitNegativeWeights = false;
  return r;
}

}  // namespace

TEST(StencilSearch, InterpolationRulesAdmitComputedReservedAndHigherTypes) {
  const StencilRules r = interpolationRules(4);
  for (int t = 0; t < 8; ++t) EXPECT_EQ(bool(r.admittedTypes >> t & 1u), t == 1 || t == 2 || t > 4) << t;
  EXPECT_TRUE(r.distinctLayers);
  EXPECT_TRUE(r.limitNegativeWeights);
  EXPECT_EQ(r.minWeight, -0.15);
}

TEST(StencilSearch, FirstSlotIsTheNearestPointAndTiesGoToTheLowerIndex) {
  // Target exactly between two xi layers: points (i=2) and (i=3) at the same
  // distance; the lower index wins the first slot.
  const FiniteVolume d = latticeDonor(uniformAxis(6, 0.5, 0), uniformAxis(5, 0.25, -2), uniformAxis(5, 0.25, -2));
  StencilWorkspace ws;
  const Vec3 t = {1.25, 0.0, 0.0};
  const Outcome fast = runFast(d, t, interpolationRules(4), ws);
  ASSERT_TRUE(fast.r.found);
  EXPECT_EQ(fast.points[0], pointIndex(d, 2, 2, 2));
  EXPECT_TRUE(sameOutcome(fast, runLiteral(d, t, interpolationRules(4))));
  // Second slot (term z): another k layer than the first point.
  EXPECT_NE(fast.points[1] % d.stride_j, fast.points[0] % d.stride_j);
}

TEST(StencilSearch, MatchesTheLiteralSearchOnRandomLattices) {
  std::mt19937 rng(12345);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  StencilWorkspace ws;
  int compared = 0, failures = 0, withBacktracking = 0;
  for (int trial = 0; trial < 40; ++trial) {
    const int ni = 4 + int(rng() % 6), nj = 4 + int(rng() % 6), nk = 4 + int(rng() % 6);
    // Stretched xi (like the radial map) and uniform eta, zeta.
    std::vector<double> xi(static_cast<size_t>(ni));
    const double q = 1 + 0.3 * unit(rng);
    for (int m = 0; m < ni; ++m) xi[m] = 0.35 * (std::pow(q, m) - 1);
    // Angular axes from -1 - h to 1 + h, as the sectors have them.
    const auto angular = [](int n) {
      std::vector<double> a(static_cast<size_t>(n));
      const double h = 2.0 / (n - 3);
      for (int m = 0; m < n; ++m) a[m] = -1.0 + h * (m - 1);
      return a;
    };
    const auto eta = angular(nj);
    const auto zeta = angular(nk);
    FiniteVolume d = latticeDonor(xi, eta, zeta);
    // Sprinkle inadmissible points; some donors get very few candidates.
    const double holes = trial % 5 == 4 ? 0.9 : 0.25 * unit(rng);
    for (int& type : d.type_point) {
      const double u = unit(rng);
      type = u < holes ? int(rng() % 5 == 0 ? kPointInterpolated : (rng() % 2 ? kPointBoundary : kPointInactive))
                       : (u < holes + 0.05 ? kPointReserved : kPointComputed);
    }
    for (int m = 0; m < 12; ++m) {
      Vec3 t;
      if (m < 4) {  // on a lattice point or half-way between: many equal distances
        const double a = rng() % ni, b = rng() % nj, c = rng() % nk;
        const double half = m % 2 ? 0.5 : 0.0;
        const int ia = std::min(int(a), ni - 2);
        t = {xi[ia] + half * (xi[ia + 1] - xi[ia]), eta[0] + (b + half) * (eta[1] - eta[0]),
             zeta[0] + (c + half) * (zeta[1] - zeta[0])};
      } else {  // anywhere near the donor, also outside it
        t = {xi[0] + (1.4 * unit(rng) - 0.2) * (xi.back() - xi[0]),
             eta[0] + (1.4 * unit(rng) - 0.2) * (eta.back() - eta[0]),
             zeta[0] + (1.4 * unit(rng) - 0.2) * (zeta.back() - zeta[0])};
      }
      for (int variant = 0; variant < 2; ++variant) {
        StencilRules rules = variant == 0 ? interpolationRules(4) : postRules();
        rules.maxPasses = 1000;
        const Outcome fast = runFast(d, t, rules, ws);
        const Outcome lit = runLiteral(d, t, rules);
        ASSERT_TRUE(sameOutcome(fast, lit)) << "trial " << trial << " target " << m << " variant " << variant;
        ++compared;
        failures += !lit.r.found;
        withBacktracking += lit.r.found && lit.r.passes > 10;
      }
    }
  }
  // The trials must exercise rejections, backtracking and failures too.
  EXPECT_GT(withBacktracking, 20);
  EXPECT_GT(failures, 5);
  EXPECT_GT(compared - failures, 500);
}

TEST(StencilSearch, IrregularDonorFallsBackToAnExactSort) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> jitter(-0.02, 0.02);
  FiniteVolume d = latticeDonor(uniformAxis(6, 0.3, 0), uniformAxis(7, 0.2, -3), uniformAxis(6, 0.2, -2.5));
  for (double& c : d.point_loc) c += jitter(rng);
  DonorLattice lat;
  buildDonorLattice(d, lat);
  EXPECT_FALSE(lat.regular);
  StencilWorkspace ws;
  for (int m = 0; m < 20; ++m) {
    const Vec3 t = {0.1 * m, -0.3 + 0.03 * m, 0.2 - 0.02 * m};
    StencilRules rules = interpolationRules(4);
    rules.maxPasses = 3000;  // targets beyond the donor exhaust it
    ASSERT_TRUE(sameOutcome(runFast(d, t, rules, ws), runLiteral(d, t, rules))) << m;
  }
  const FiniteVolume regular = latticeDonor(uniformAxis(6, 0.3, 0), uniformAxis(7, 0.2, -3), uniformAxis(6, 0.2, -2.5));
  buildDonorLattice(regular, lat);
  EXPECT_TRUE(lat.regular);
}

TEST(StencilSearch, NoCandidateMeansFailureNotAnEndlessLoop) {
  FiniteVolume d = latticeDonor(uniformAxis(5, 0.3, 0), uniformAxis(5, 0.2, -2), uniformAxis(5, 0.2, -2));
  StencilWorkspace ws;
  const Vec3 t = {0.6, 0.0, 0.0};
  std::fill(d.type_point.begin(), d.type_point.end(), kPointBoundary);
  Outcome o = runFast(d, t, interpolationRules(4), ws);
  EXPECT_FALSE(o.r.found);
  EXPECT_EQ(o.r.passes, 1);
  // Nine admissible points cannot carry ten terms: the search backtracks
  // through the alternatives and gives up.
  for (int m = 0; m < 9; ++m) d.type_point[size_t(m * 13)] = kPointComputed;
  o = runFast(d, t, interpolationRules(4), ws);
  EXPECT_FALSE(o.r.found);
  EXPECT_GT(o.r.passes, 9);
  EXPECT_TRUE(sameOutcome(o, runLiteral(d, t, interpolationRules(4))));
  // A target without finite coordinates has no stencil.
  EXPECT_FALSE(runFast(d, {NAN, 0, 0}, interpolationRules(4), ws).r.found);
}

namespace {

void compareWholeGrid(const DomainInputs& in, int every) {
  SimulationState s;
  CoreError error;
  ASSERT_TRUE(createDomain(s, in, &error)) << error;
  std::vector<DonorLattice> lattices(6);
  for (int v = 0; v < 6; ++v) {
    buildDonorLattice(s.volumes[v], lattices[v]);
    ASSERT_TRUE(lattices[v].regular);
  }
  StencilWorkspace ws;
  int compared = 0, m = 0;
  for (int v = 0; v < 6; ++v) {
    const FiniteVolume& V = s.volumes[v];
    for (int n = 0; n < int(V.type_point.size()); ++n) {
      if (V.type_point[n] <= kPointBoundary || m++ % every != 0) continue;
      const FiniteVolume& D = s.volumes[V.interpol_data[n].donor];
      const Vec3 t = globalToGrid(D, {V.point_glob[3 * n], V.point_glob[3 * n + 1], V.point_glob[3 * n + 2]}, D.kind);
      const StencilRules rules = interpolationRules(V.type_point[n]);
      Outcome fast{};
      fast.r = findStencil(lattices[D.index], t, 10, 2, rules, ws, fast.points, fast.weights);
      ASSERT_TRUE(fast.r.found) << v << " " << n;
      ASSERT_TRUE(sameOutcome(fast, runLiteral(D, t, rules))) << v << " " << n;
      ++compared;
    }
  }
  EXPECT_GT(compared, 1000);
}

}  // namespace

TEST(StencilSearch, MatchesTheLiteralSearchOnTheDefaultGrid) {
  DomainInputs in;
  in.D = toSingle(15);
  in.s = toSingle(0.02);
#ifdef __SANITIZE_ADDRESS__
  compareWholeGrid(in, 3);  // the instrumented literal scan is slow; the Release build checks every point
#else
  compareWholeGrid(in, 1);
#endif
}

TEST(StencilSearchSlow, MatchesTheLiteralSearchOnTheFinerGrid) {
  DomainInputs in;
  in.D = toSingle(15);
  in.s = toSingle(0.01);
  in.nx = 38, in.ny = 24, in.nz = 24;
  compareWholeGrid(in, 3);
}
