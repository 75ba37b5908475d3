#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "solver/solver.h"
#include "solver_test_util.h"

#ifdef _OPENMP
#include <omp.h>
#endif

using namespace brelvik;
using namespace brelvik::testing;
using namespace std::chrono_literals;

namespace {

// A box state holding a smooth flow (ghosts included).
std::unique_ptr<SimulationState> flowingBox() {
  auto s = boxState(1, 8, 0.1);
  FiniteVolume& v = s->volumes[0];
  for (int n = 0; n < int(v.pointCount()); ++n) {
    const Vec3 X = globalPosition(v, n);
    v.u[size_t(n)] = 0.5 + 0.1 * std::sin(3 * X[0] + X[1]);
    v.v[size_t(n)] = 0.1 * X[2];
    v.w[size_t(n)] = 0.0;
    v.ro[size_t(n)] = 1.0 + 0.05 * X[1];
    v.T[size_t(n)] = 1.0;
    v.P[size_t(n)] = v.ro[size_t(n)];
  }
  return s;
}

template <class Pred>
bool eventually(Pred pred, std::chrono::milliseconds limit = 20s) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(200us);
  }
  return true;
}

int stepsDone(SimulationState& s) {
  std::lock_guard<std::mutex> pass(s.passMutex);
  return s.stepCount;
}

}  // namespace

TEST(SolverDriver, HistorySampledEveryTenStepsWithTheEndTimeOfTheStep) {
  auto s = flowingBox();
  s->dt = 0.0013;
  for (int i = 0; i < 25; ++i) ASSERT_TRUE(solverPass(*s));
  double t20 = 0, t25 = 0;
  for (int i = 0; i < 25; ++i) {
    t25 += 0.0013;
    if (i == 19) t20 = t25;
  }
  EXPECT_EQ(s->stepCount, 25);
  EXPECT_EQ(s->physicalTime, t25);
  EXPECT_EQ(s->historyCounter, 5);
  ASSERT_EQ(s->historyTime.size(), 2);
  EXPECT_EQ(s->historyCx.size(), 2);
  EXPECT_EQ(s->historyCp.size(), 2);
  EXPECT_EQ(s->historyCf.size(), 2);
  EXPECT_EQ(s->historyTime.item(1), t20);
  // The flow did advance.
  EXPECT_NE(s->volumes[0].u, flowingBox()->volumes[0].u);
}

TEST(SolverDriver, OtherSchemeOrdersAdvanceOnlyTimeAndCount) {
  auto s = flowingBox();
  s->schemeOrder = 4;
  s->Cx = 0.25;
  const std::vector<double> u0 = s->volumes[0].u, ro0 = s->volumes[0].ro;
  for (int i = 0; i < 12; ++i) ASSERT_TRUE(solverPass(*s));
  EXPECT_EQ(s->stepCount, 12);
  EXPECT_GT(s->physicalTime, 0.0);
  EXPECT_EQ(s->volumes[0].u, u0);
  EXPECT_EQ(s->volumes[0].ro, ro0);
  EXPECT_EQ(s->Cx, 0.25);
  EXPECT_EQ(s->historyCx.size(), 0);
  EXPECT_EQ(s->historyCounter, 0);
}

TEST(SolverDriver, PassWithoutACompleteCaseDoesNothing) {
  auto s = flowingBox();
  s->interpolationReady = 0;  // e.g. just after Create
  const std::vector<double> u0 = s->volumes[0].u;
  EXPECT_FALSE(solverPass(*s));
  EXPECT_EQ(s->stepCount, 0);
  EXPECT_EQ(s->physicalTime, 0.0);
  EXPECT_EQ(s->volumes[0].u, u0);
}

TEST(SolverDriver, NewResetsTheCaseAndMakesGhostsConsistent) {
  auto s = gridState();
  s->interpolationReady = 1;
  s->physicalTime = 3.5;
  s->stepCount = 7;
  s->historyCounter = 4;
  s->historyInterval = 3;
  s->Cx = 0.75;
  s->divergedStep = 6;
  s->historyCx.append();
  s->historyTime.append();
  // A flow left in the computed boxes by an earlier run (without
  // interpolation data here, the other points stay at rest).
  for (auto& v : s->volumes)
    for (size_t n = 0; n < v.type_point.size(); ++n)
      if (v.type_point[n] == 1) v.u[n] = v.point_glob[3 * n], v.w[n] = 2.0, v.T[n] = 3.0;

  newCase(*s);
  EXPECT_EQ(s->physicalTime, 0.0);
  EXPECT_EQ(s->stepCount, 0);
  EXPECT_EQ(s->historyCounter, 0);
  EXPECT_EQ(s->historyInterval, 10);
  EXPECT_EQ(s->historyCx.size(), 0);
  EXPECT_EQ(s->historyTime.size(), 0);
  EXPECT_EQ(s->Cx, 0.75);  // kept until the next step
  EXPECT_EQ(s->flowInitialised.load(), 1);
  EXPECT_EQ(s->divergedStep.load(), -1);
  for (const auto& v : s->volumes) {
    const Vec3 uInf = globalToLocalVector(v, {1, 0, 0});
    for (int j = v.j_begin; j <= v.j_end; ++j)
      for (int k = v.k_begin; k <= v.k_end; ++k) {
        const size_t box = size_t(pointIndex(v, 5, j, k));
        EXPECT_EQ(v.u[box], 0.0);
        EXPECT_EQ(v.P[box], 1.0);
        const size_t ghostIn = size_t(pointIndex(v, 0, j, k));
        EXPECT_EQ(v.u[ghostIn], 0.0);  // wall: negated rest
        EXPECT_EQ(v.P[ghostIn], 1.0);
        const size_t mo = size_t(pointIndex(v, v.i_end, j, k)),
                     go = size_t(pointIndex(v, v.i_end + 1, j, k));
        if (v.point_glob[3 * mo] <= 0.00001) {
          EXPECT_EQ(v.u[go], 2.0 * uInf[0]);  // the face average is the free stream
          EXPECT_EQ(v.T[go], 1.0);
        } else {
          EXPECT_EQ(v.u[go], 0.0);
          EXPECT_EQ(v.P[go], 1.0);
        }
        EXPECT_EQ(v.P[go], v.ro[go] * v.T[go]);
      }
  }
  // New twice gives the same state.
  std::vector<double> u1 = s->volumes[2].u, div1 = s->volumes[2].div;
  newCase(*s);
  EXPECT_EQ(s->volumes[2].u, u1);
  EXPECT_EQ(s->volumes[2].div, div1);
}

TEST(SolverDriver, NewWithAnotherSchemeOrderLeavesGhostsAlone) {
  auto s = gridState();
  s->schemeOrder = 4;
  FiniteVolume& v = s->volumes[1];
  const size_t ghost = size_t(pointIndex(v, 0, 5, 5));
  v.u[ghost] = 9.0;
  newCase(*s);
  EXPECT_EQ(v.u[ghost], 9.0);
  EXPECT_EQ(v.ro[size_t(pointIndex(v, 3, 5, 5))], 1.0);
  EXPECT_EQ(s->flowInitialised.load(), 1);
}

TEST(SolverDriver, DivergedStepPausesTheRunAndIsRecorded) {
  auto s = gridState();
  s->interpolationReady = 1;
  newCase(*s);
  s->running = 1;
  ASSERT_TRUE(solverPass(*s));
  ASSERT_TRUE(solverPass(*s));
  EXPECT_TRUE(std::isfinite(s->Cx));
  EXPECT_EQ(s->running.load(), 1);  // healthy steps change nothing
  EXPECT_EQ(s->divergedStep.load(), -1);

  FiniteVolume& v = s->volumes[3];
  v.P[size_t(pointIndex(v, v.i_begin, 7, 7))] = std::nan("");
  ASSERT_TRUE(solverPass(*s));
  EXPECT_FALSE(std::isfinite(s->Cp));
  EXPECT_EQ(s->running.load(), 0);
  EXPECT_EQ(s->divergedStep.load(), 3);
  s->running = 1;
  ASSERT_TRUE(solverPass(*s));
  EXPECT_EQ(s->divergedStep.load(), 3);  // the first divergent step stays recorded
  newCase(*s);
  EXPECT_EQ(s->divergedStep.load(), -1);
}

#ifdef _OPENMP
TEST(SolverDriver, IdenticalFieldsForOneAndTwoOmpWorkersAfterTwentySteps) {
  // New resets every value a pass reads, so both runs can share one grid.
  auto s = interpolatedGridState();
  s->dt = 0.002;
  auto run = [&s](int workers) {
    const int saved = omp_get_max_threads();
    omp_set_num_threads(workers);
    newCase(*s);
    for (int i = 0; i < 20; ++i) solverPass(*s);
    omp_set_num_threads(saved);
    std::vector<double> out;
    for (auto& v : s->volumes)
      forEachFlowArray(
          v, [&out](const std::vector<double>& a) { out.insert(out.end(), a.begin(), a.end()); });
    out.push_back(s->Cx);
    out.push_back(s->Cf);
    return out;
  };
  const std::vector<double> one = run(1), two = run(2);
  ASSERT_EQ(one.size(), two.size());
  EXPECT_EQ(0, std::memcmp(one.data(), two.data(), one.size() * sizeof(double)));
  EXPECT_NE(one.back(), 0.0);
}
#endif

// --- The solver thread --------------------------------------------------

TEST(SolverThread, FirstStartComputesAPassEvenWhenStoppedAtOnce) {
  auto s = flowingBox();
  startSolver(*s);
  stopSolver(*s);
  ASSERT_TRUE(eventually([&] { return s->solveThread.parked(); }));
  EXPECT_GE(stepsDone(*s), 1);
  EXPECT_EQ(s->solveThread.createCount(), 1u);
}

TEST(SolverThread, StartTwiceCreatesOneThreadAndStartResumes) {
  auto s = flowingBox();
  startSolver(*s);
  startSolver(*s);
  ASSERT_TRUE(eventually([&] { return stepsDone(*s) >= 3; }));
  stopSolver(*s);
  ASSERT_TRUE(eventually([&] { return s->solveThread.parked(); }));
  const int paused = stepsDone(*s);
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(stepsDone(*s), paused);  // suspended: no further passes
  startSolver(*s);
  ASSERT_TRUE(eventually([&] { return stepsDone(*s) > paused; }));
  stopSolver(*s);
  ASSERT_TRUE(eventually([&] { return s->solveThread.parked(); }));
  EXPECT_EQ(s->solveThread.createCount(), 1u);
}

TEST(SolverThread, StopFinishesThePassInProgressAndStartsNoOther) {
  auto s = flowingBox();
  // Hold the solver inside the repaint request that closes its second pass.
  std::mutex m;
  std::condition_variable cv;
  int repaints = 0;
  bool holding = false, release = false;
  s->setRepaintCallback([&] {
    std::unique_lock<std::mutex> lock(m);
    if (++repaints != 2) return;
    holding = true;
    cv.notify_all();
    cv.wait(lock, [&] { return release; });
  });
  startSolver(*s);
  {
    std::unique_lock<std::mutex> lock(m);
    ASSERT_TRUE(cv.wait_for(lock, 20s, [&] { return holding; }));
  }
  stopSolver(*s);
  {
    std::lock_guard<std::mutex> lock(m);
    release = true;
  }
  cv.notify_all();
  ASSERT_TRUE(eventually([&] { return s->solveThread.parked(); }));
  EXPECT_EQ(stepsDone(*s), 2);
  std::lock_guard<std::mutex> lock(m);
  EXPECT_EQ(repaints, 2);
}

TEST(SolverThread, NewWhileRunningWaitsForThePassAndTheRunContinuesFromRest) {
  auto s = flowingBox();
  startSolver(*s);
  ASSERT_TRUE(eventually([&] { return stepsDone(*s) >= 5; }));
  newCase(*s);
  // The run goes on from the new initial state.
  ASSERT_TRUE(eventually([&] { return stepsDone(*s) >= 3; }));
  stopSolver(*s);
  ASSERT_TRUE(eventually([&] { return s->solveThread.parked(); }));
  std::lock_guard<std::mutex> pass(s->passMutex);
  // Time and count were reset together: the time is the sum of one dt per pass.
  double t = 0;
  for (int i = 0; i < s->stepCount; ++i) t += s->dt;
  EXPECT_EQ(s->physicalTime, t);
  EXPECT_LT(s->stepCount, 5000);
}
