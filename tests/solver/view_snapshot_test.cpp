// The window thread's snapshots of a running solver: taken while the solver
// thread runs, each one must describe a single pass boundary, and nothing may
// race (this test also runs under ThreadSanitizer).
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "solver/solver.h"
#include "solver_test_util.h"
#include "state/view_snapshot.h"

using namespace brelvik;
using namespace brelvik::testing;

TEST(ViewSnapshotThread, SnapshotsTakenWhileTheSolverRunsEachShowOnePassBoundary) {
  auto s = boxState(2, 8, 0.1);
  for (FiniteVolume& v : s->volumes)
    for (size_t n = 0; n < size_t(v.pointCount()); ++n) {
      v.u[n] = 0.5 + 0.01 * double(n % 7);
      v.ro[n] = v.T[n] = v.P[n] = 1.0;
    }
  const int allParts = kSnapshotRanges | kSnapshotVelocity | kSnapshotHistory;
  startSolver(*s);
  int previousStep = -1, filled = 0;
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
  while (std::chrono::steady_clock::now() < until || previousStep < 25) {
    const auto snap = currentViewSnapshot(*s, allParts);
    const PassScalars pass = currentPassScalars(*s);
    const int step = snap->scalars.stepCount;
    if (snap->parts & kSnapshotVelocity) {
      ++filled;  // taken directly between passes, or published at a pass end
      ASSERT_EQ(snap->uGlob.size(), 2u);
      EXPECT_EQ(snap->uGlob[1].size(), size_t(s->volumes[1].pointCount()));
      // A sample is appended at the end of every tenth step of the pass.
      EXPECT_EQ(snap->historyTime.size(), size_t(step / 10)) << "step " << step;
      EXPECT_EQ(snap->historyCx.size(), size_t(step / 10));
      double t = 0;
      for (int i = 0; i < step; ++i) t += s->dt;
      EXPECT_EQ(snap->scalars.physicalTime, t);
      ASSERT_TRUE(snap->ranges[0].has_value());
    }
    EXPECT_GE(step, previousStep);
    EXPECT_GE(pass.stepCount, step);
    previousStep = step;
    if (std::chrono::steady_clock::now() > until + std::chrono::seconds(20)) break;
  }
  stopSolver(*s);
  EXPECT_GE(previousStep, 25);
  EXPECT_GT(filled, 0);
}
