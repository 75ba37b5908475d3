// Streamline tracing with the plain stencil search (a full scan of the donor
// per candidate) against the fast search, for the same lines.
//
// Default grid (D = 15, s = 0.02, 19 x 12 x 12), the free stream (1, 0, 0) in
// u_glob of every point, 10 seeds on a circle of radius 0.8 round the x axis
// at x = -2 (upstream of the sphere), budget 1000 points per line. Prints both
// times, their ratio and whether the lines are identical bit for bit; exits
// with 1 when they are not.

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "../tests/post/literal_post_stencil.h"
#include "grid/geometry.h"
#include "post/streamlines.h"

using namespace brelvik;

int main() {
  SimulationState s;
  DomainInputs in;
  in.D = toSingle(15.0);
  in.s = toSingle(0.02);
  CoreError error;
  if (!createDomain(s, in, &error)) {
    std::fprintf(stderr, "createDomain failed (error code %d)\n", static_cast<int>(error.code));
    return 1;
  }
  for (int v = 0; v < s.volumeCount; ++v) {
    FiniteVolume& vol = s.volumes[static_cast<size_t>(v)];
    std::fill(vol.u_glob.begin(), vol.u_glob.end(), 1.0);
    std::fill(vol.v_glob.begin(), vol.v_glob.end(), 0.0);
    std::fill(vol.w_glob.begin(), vol.w_glob.end(), 0.0);
  }
  // The streamline dialog's circle: 10 seeds, radius 0.8, in the plane x = -2.
  const int seeds = appendCircleSeeds(s, -2.0, 0.0, 0.0, 0.8, 10);
  std::vector<Vec3> seedPoints;
  for (int n = 0; n < seeds; ++n) seedPoints.push_back({s.seedX.item(n), s.seedY.item(n), s.seedZ.item(n)});
  s.streamlinePointCount = 1000;

  using Clock = std::chrono::steady_clock;
  const auto t0 = Clock::now();
  std::vector<std::vector<Vec3>> literalLines;
  for (const Vec3& p : seedPoints) literalLines.push_back(literal::traceLine(s, p, 1000));
  const auto t1 = Clock::now();
  traceFlowLines(s);
  const auto t2 = Clock::now();

  bool identical = s.lineX.rowCount() == seeds;
  size_t points = 0;
  for (int m = 0; identical && m < seeds; ++m) {
    const auto& expected = literalLines[static_cast<size_t>(m)];
    identical = s.lineX.row(m).size() == static_cast<int>(expected.size());
    for (size_t q = 0; identical && q < expected.size(); ++q) {
      const Vec3 got{s.lineX.row(m).item(static_cast<int>(q)), s.lineY.row(m).item(static_cast<int>(q)),
                     s.lineZ.row(m).item(static_cast<int>(q))};
      identical = std::memcmp(&got, &expected[q], sizeof got) == 0;
    }
    points += expected.size();
  }
  const double literalSeconds = std::chrono::duration<double>(t1 - t0).count();
  const double fastSeconds = std::chrono::duration<double>(t2 - t1).count();
  std::printf("streamlines: %d lines, %zu points, budget 1000, default grid, free stream (1, 0, 0)\n",
              seeds, points);
  std::printf("literal search: %.3f s\n", literalSeconds);
  std::printf("fast search:    %.3f s\n", fastSeconds);
  std::printf("ratio:          %.1f x (target >= 20)\n", literalSeconds / fastSeconds);
  std::printf("lines identical: %s\n", identical ? "yes" : "NO");
  return identical ? 0 : 1;
}
