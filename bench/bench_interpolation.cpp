// Times the inter-volume stencil search: the literal full scan per pass
// against the fast ordered search (one thread and all threads), on the
// default grid and on a finer one, and checks that both give the same
// stencils and weights bit for bit.
//
//   bench_interpolation [--skip-fine]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "grid/geometry.h"
#include "grid/interpolation.h"
#include "grid/stencil_search.h"
#include "literal_stencil_search.h"
#include "state/simulation_state.h"
#include "state/work_team.h"

using namespace brelvik;
using Clock = std::chrono::steady_clock;

namespace {

struct Target {
  int volume, n;
};

std::vector<Target> targets(const SimulationState& s) {
  std::vector<Target> t;
  for (int v = 0; v < s.volumeCount; ++v)
    for (int n = 0; n < int(s.volumes[v].type_point.size()); ++n)
      if (s.volumes[v].type_point[n] > kPointBoundary) t.push_back({v, n});
  return t;
}

Vec3 targetGrid(const SimulationState& s, const Target& t) {
  const FiniteVolume& V = s.volumes[t.volume];
  const FiniteVolume& D = s.volumes[V.interpol_data[t.n].donor];
  const Vec3 X = {V.point_glob[3 * t.n], V.point_glob[3 * t.n + 1], V.point_glob[3 * t.n + 2]};
  return globalToGrid(D, X, D.kind);
}

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

void setThreads(int n) { setComputeThreads(n); }

int maxThreads() {
  setComputeThreads(0);
  return computeThreads();
}

void resetInterpolation(SimulationState& s) {
  for (int v = 0; v < s.volumeCount; ++v)
    for (auto& e : s.volumes[v].interpol_data) e.ready = 0;
  s.interpolProcessed = 0;
  s.interpolFailedCount = 0;
  s.interpolationReady = 0;
}

// Each figure is the best of several runs (the literal search: fewer runs
// on the finer grid, where one takes tens of seconds), so that other load on
// the machine disturbs the ratios less.
constexpr int kReps = 5;

void runGrid(const char* name, DomainInputs in, int literalReps) {
  SimulationState s;
  CoreError error;
  auto t0 = Clock::now();
  if (!createDomain(s, in, &error)) {
    std::printf("%s: Create failed (error code %d)\n", name, static_cast<int>(error.code));
    return;
  }
  auto t1 = Clock::now();
  const std::vector<Target> all = targets(s);
  std::printf("\n%s grid (D=%g, s=%.10g, %d x %d x %d): %zu interpolated points, Create %.3f s\n", name, in.D,
              in.s, in.nx, in.ny, in.nz, all.size(), seconds(t0, t1));

  std::vector<DonorLattice> lattices(size_t(s.volumeCount));
  for (int v = 0; v < s.volumeCount; ++v) buildDonorLattice(s.volumes[v], lattices[v]);

  // Literal search, single thread, every point.
  std::vector<int> litPoints(all.size() * 10);
  std::vector<double> litWeights(all.size() * 10);
  std::vector<char> litFound(all.size());
  long long litPasses = 0;
  double literal = 1e300;
  for (int rep = 0; rep < literalReps; ++rep) {
  litPasses = 0;
  t0 = Clock::now();
  for (size_t m = 0; m < all.size(); ++m) {
    const FiniteVolume& V = s.volumes[all[m].volume];
    const FiniteVolume& D = s.volumes[V.interpol_data[all[m].n].donor];
    StencilResult r = literalStencilSearch(D, targetGrid(s, all[m]), 10, 2, interpolationRules(V.type_point[all[m].n]),
                                           &litPoints[m * 10], &litWeights[m * 10]);
    litFound[m] = r.found;
    litPasses += r.passes;
  }
  t1 = Clock::now();
  literal = std::min(literal, seconds(t0, t1));
  }

  // Fast search, single thread, same points.
  std::vector<int> fastPoints(all.size() * 10);
  std::vector<double> fastWeights(all.size() * 10);
  StencilWorkspace ws;
  int mismatches = 0;
  double fast1 = 1e300;
  for (int rep = 0; rep < kReps; ++rep) {
    mismatches = 0;
    t0 = Clock::now();
    for (size_t m = 0; m < all.size(); ++m) {
      const FiniteVolume& V = s.volumes[all[m].volume];
      const int d = V.interpol_data[all[m].n].donor;
      StencilResult r = findStencil(lattices[d], targetGrid(s, all[m]), 10, 2,
                                    interpolationRules(V.type_point[all[m].n]), ws, &fastPoints[m * 10],
                                    &fastWeights[m * 10]);
      if (r.found != bool(litFound[m])) ++mismatches;
    }
    t1 = Clock::now();
    fast1 = std::min(fast1, seconds(t0, t1));
  }
  for (size_t m = 0; m < all.size(); ++m)
    if (litFound[m] && (std::memcmp(&litPoints[m * 10], &fastPoints[m * 10], 10 * sizeof(int)) != 0 ||
                        std::memcmp(&litWeights[m * 10], &fastWeights[m * 10], 10 * sizeof(double)) != 0))
      ++mismatches;

  // The whole interpolation as the program runs it (entries, counters,
  // chunks), on one thread and on all.
  const auto whole = [&](int threads, bool* ok) {
    double best = 1e300;
    setThreads(threads);
    for (int rep = 0; rep < kReps; ++rep) {
      resetInterpolation(s);
      const auto a = Clock::now();
      *ok = runInterpolation(s, nullptr, &error);
      best = std::min(best, seconds(a, Clock::now()));
    }
    return best;
  };
  bool ok1 = false, okN = false;
  const double whole1 = whole(1, &ok1);
  const int n = maxThreads();
  const double wholeN = whole(n, &okN);

  std::printf("  (best of %d runs; literal search: best of %d)\n", kReps, literalReps);
  std::printf("  literal search, 1 thread:        %8.3f s  (%.1f passes per point)\n", literal,
              double(litPasses) / double(all.size()));
  std::printf("  fast search, 1 thread:           %8.3f s  speed-up %.1fx\n", fast1, literal / fast1);
  std::printf("  whole interpolation, 1 thread:   %8.3f s  %s\n", whole1, ok1 ? "" : "(points without stencil)");
  std::printf("  whole interpolation, %d threads:  %8.3f s  speed-up %.1fx over literal, %.2fx over 1 thread %s\n", n,
              wholeN, literal / wholeN, whole1 / wholeN, okN ? "" : "(points without stencil)");
  std::printf("  stencils differing from the literal search: %d\n", mismatches);
}

}  // namespace

int main(int argc, char** argv) {
  bool skipFine = argc > 1 && std::strcmp(argv[1], "--skip-fine") == 0;
  DomainInputs def;
  def.D = toSingle(15);
  def.s = toSingle(0.02);
  def.nx = 19, def.ny = 12, def.nz = 12;
  runGrid("default", def, 3);
  if (!skipFine) {
    DomainInputs fine;
    fine.D = toSingle(15);
    fine.s = toSingle(0.01);
    fine.nx = 38, fine.ny = 24, fine.nz = 24;
    runGrid("finer", fine, 1);
  }
  return 0;
}
