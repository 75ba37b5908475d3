#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "solver/solver.h"
#include "solver_test_util.h"

#include "state/participant_tuner.h"
#include "state/work_team.h"

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

TEST(SolverDriver, IdenticalFieldsForOneAndTwoWorkersAfterTwentySteps) {
  // New resets every value a pass reads, so both runs can share one grid.
  auto s = interpolatedGridState();
  s->dt = 0.002;
  auto run = [&s](int workers) {
    setComputeThreads(workers);
    setParticipantTuning(false);
    newCase(*s);
    for (int i = 0; i < 20; ++i) solverPass(*s);
    setComputeThreads(0);
    setParticipantTuning(true);
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

namespace {

std::vector<std::vector<double>> flowSnapshot(SimulationState& s) {
  std::vector<std::vector<double>> out;
  for (auto& v : s.volumes)
    forEachFlowArray(v, [&out](const std::vector<double>& a) { out.push_back(a); });
  return out;
}

void restoreFlow(SimulationState& s, const std::vector<std::vector<double>>& saved) {
  size_t i = 0;
  for (auto& v : s.volumes) forEachFlowArray(v, [&](std::vector<double>& a) { a = saved[i++]; });
}

void plainExchangeAll(SimulationState& s);

// The time step as its pieces define it, volume by volume and pass by pass,
// with the exchange as plain scans.
void referenceStep(SimulationState& s) {
  const FlowParams p = flowParams(s);
  for (auto& v : s.volumes) predictVolume(v, p);
  plainExchangeAll(s);
  for (auto& v : s.volumes) correctVolume(v, p);
  plainExchangeAll(s);
  for (auto& v : s.volumes) exchange_detail::vorticitySlab(v, v.i_begin, v.i_end);
  s.Cp = computeCp(s);
  s.Cf = computeCf(s);
  s.Cx = computeCx(s);
}

// stepOnce (which runs each volume's share on the thread owning the volume)
// against the reference, bit for bit.
void expectStepMatchesReference(SimulationState& s) {
  const auto start = flowSnapshot(s);
  stepOnce(s);
  const auto fused = flowSnapshot(s);
  const double Cp = s.Cp, Cf = s.Cf, Cx = s.Cx;
  restoreFlow(s, start);
  referenceStep(s);
  const auto reference = flowSnapshot(s);
  ASSERT_EQ(fused.size(), reference.size());
  for (size_t a = 0; a < fused.size(); ++a)
    ASSERT_EQ(0,
              std::memcmp(fused[a].data(), reference[a].data(), fused[a].size() * sizeof(double)))
        << "flow array " << a % kFlowArrayCount << " of volume " << a / kFlowArrayCount;
  EXPECT_EQ(Cp, s.Cp);
  EXPECT_EQ(Cf, s.Cf);
  EXPECT_EQ(Cx, s.Cx);
}

}  // namespace

TEST(SolverDriver, StepEqualsItsDefiningSequenceOnTheDefaultGrid) {
  auto s = interpolatedGridState();
  newCase(*s);
  // A flow in which every term and every boundary condition is active.
  for (auto& v : s->volumes)
    for (size_t n = 0; n < v.u.size(); ++n) {
      if (v.type_point[n] != 1) continue;
      const double x = v.point_glob[3 * n], y = v.point_glob[3 * n + 1],
                   z = v.point_glob[3 * n + 2];
      v.u[n] = 0.3 * std::sin(x + 2 * y);
      v.v[n] = 0.2 * std::cos(z - x);
      v.w[n] = 0.1 * x * y;
      v.ro[n] = 1 + 0.1 * std::sin(y * z);
      v.T[n] = 1 + 0.05 * std::cos(x * z);
      v.P[n] = v.ro[n] * v.T[n];
    }
  exchangeAll(*s);
  expectStepMatchesReference(*s);
  EXPECT_NE(s->Cx, 0.0);
}

TEST(SolverDriver, StepServesReceiversThatSeeEachOtherInTheDefiningOrder) {
  // Three boxes large enough to run in parallel, with receivers whose
  // stencils hold other receivers (served in order) besides independent ones.
  auto s = boxState(3, 16, 0.06);
  for (auto& v : s->volumes)
    for (int n = 0; n < int(v.pointCount()); ++n) {
      const Vec3 X = globalPosition(v, n);
      v.u[size_t(n)] = 0.4 + 0.1 * std::sin(2 * X[0] + X[1] + v.index);
      v.v[size_t(n)] = 0.1 * X[2];
      v.w[size_t(n)] = -0.05 * X[0];
      v.ro[size_t(n)] = 1.0 + 0.05 * std::cos(X[1] - X[2]);
      v.T[size_t(n)] = 1.0;
      v.P[size_t(n)] = v.ro[size_t(n)];
    }
  auto entry = [](FiniteVolume& vol, int n, int type, int donor, int p0, int p1) {
    vol.type_point[size_t(n)] = type;
    InterpolEntry& e = vol.interpol_data[size_t(n)];
    e.donor = donor;
    e.donor_points = std::make_unique<int[]>(10);
    e.weights = std::make_unique<double[]>(10);
    for (int m = 0; m < 10; ++m) {
      e.donor_points[m] = m % 2 ? p1 : p0;
      e.weights[m] = 0.1;
    }
    e.ready = 1;
  };
  FiniteVolume& v0 = s->volumes[0];
  FiniteVolume& v1 = s->volumes[1];
  FiniteVolume& v2 = s->volumes[2];
  const int a = pointIndex(v0, 5, 5, 5), b = pointIndex(v1, 6, 6, 6), c = pointIndex(v2, 7, 7, 7);
  entry(v0, a, 4, 1, b, pointIndex(v1, 9, 9, 9));  // reads the receiver b
  entry(v1, b, 5, 2, c, pointIndex(v2, 3, 3, 3));  // reads the receiver c
  entry(v2, c, 4, 0, pointIndex(v0, 2, 2, 2), a);  // reads the receiver a
  entry(v2, pointIndex(v2, 10, 4, 4), 4, 1, pointIndex(v1, 4, 4, 4), pointIndex(v1, 4, 4, 5));
  expectStepMatchesReference(*s);
}

namespace {

// The exchange passes written as plain scans in the defining order (codes 7,
// 6, 5, 4; volumes ascending; every point of the code in index order),
// without the split into independent and ordered receivers.
double plainInterpolation(const SimulationState& s, const FiniteVolume& v, int n,
                          const std::vector<double> FiniteVolume::*field) {
  const InterpolEntry& e = v.interpol_data[size_t(n)];
  const std::vector<double>& donorField = s.volumes[size_t(e.donor)].*field;
  double sum = 0.0;
  for (int m = 0; m < v.stencil_size; ++m) sum += e.weights[m] * donorField[size_t(e.donor_points[m])];
  return sum;
}

template <class F>
void plainServe(SimulationState& s, F&& serve) {
  for (int code = 7; code >= 4; --code)
    for (auto& v : s.volumes)
      for (int n = 0; n < int(v.pointCount()); ++n)
        if (v.type_point[size_t(n)] == code) serve(v, size_t(n));
}

void plainExchangeAll(SimulationState& s) {
  boundaryVelocity(s, 2);
  for (auto& v : s.volumes)
    for (size_t n = 0; n < v.u.size(); ++n) {
      v.u_glob[n] = v.u[n] * v.axis_x[0] + v.v[n] * v.axis_y[0] + v.w[n] * v.axis_z[0];
      v.v_glob[n] = v.u[n] * v.axis_x[1] + v.v[n] * v.axis_y[1] + v.w[n] * v.axis_z[1];
      v.w_glob[n] = v.u[n] * v.axis_x[2] + v.v[n] * v.axis_y[2] + v.w[n] * v.axis_z[2];
    }
  plainServe(s, [&s](FiniteVolume& v, size_t n) {
    const double ug = plainInterpolation(s, v, int(n), &FiniteVolume::u_glob);
    const double vg = plainInterpolation(s, v, int(n), &FiniteVolume::v_glob);
    const double wg = plainInterpolation(s, v, int(n), &FiniteVolume::w_glob);
    v.u_glob[n] = ug;
    v.v_glob[n] = vg;
    v.w_glob[n] = wg;
    v.u[n] = ug * v.axis_x[0] + vg * v.axis_x[1] + wg * v.axis_x[2];
    v.v[n] = ug * v.axis_y[0] + vg * v.axis_y[1] + wg * v.axis_y[2];
    v.w[n] = ug * v.axis_z[0] + vg * v.axis_z[1] + wg * v.axis_z[2];
  });
  boundaryVelocity(s, 3);
  for (auto& v : s.volumes) exchange_detail::divergenceSlab(v, v.i_begin, v.i_end);
  boundaryDivergence(s, 2);
  plainServe(s, [&s](FiniteVolume& v, size_t n) {
    v.div[n] = plainInterpolation(s, v, int(n), &FiniteVolume::div);
  });
  boundaryDivergence(s, 3);
  boundaryScalars(s, 2);
  plainServe(s, [&s](FiniteVolume& v, size_t n) {
    v.ro[n] = plainInterpolation(s, v, int(n), &FiniteVolume::ro);
    v.T[n] = plainInterpolation(s, v, int(n), &FiniteVolume::T);
    v.P[n] = v.ro[n] * v.T[n];
  });
  boundaryScalars(s, 3);
}

}  // namespace

TEST(SolverDriver, StepOnTheDefaultGridMatchesPlainScansWithChainedReceiversAndCode2Ghosts) {
  // The default grid's stencils hold no interpolated and no ghost points;
  // make some do (across volumes), spread the receivers over all four codes and turn
  // every third ghost into a code-2 ghost, so that the order of the exchange
  // decides the result. The parallel step must give the same bits as the
  // plain sequence.
  auto s = interpolatedGridState();
  s->dt = 0.003;
  newCase(*s);
  int chained = 0, ghosts = 0;
  chainReceivers(*s, &chained, &ghosts);
  ASSERT_GT(chained, 100);
  ASSERT_GT(ghosts, 100);
  s->interpolationGeneration.fetch_add(1);  // the receivers changed
  {
    // The exchange of New alone.
    const auto start = flowSnapshot(*s);
    exchangeAll(*s);
    const auto served = flowSnapshot(*s);
    restoreFlow(*s, start);
    plainExchangeAll(*s);
    const auto reference = flowSnapshot(*s);
    for (size_t a = 0; a < served.size(); ++a)
      ASSERT_EQ(0, std::memcmp(served[a].data(), reference[a].data(),
                               served[a].size() * sizeof(double)))
          << "exchange, flow array " << a % kFlowArrayCount << " of volume " << a / kFlowArrayCount;
  }
  for (int step = 0; step < 2; ++step) {
    const auto start = flowSnapshot(*s);
    stepOnce(*s);
    const auto fused = flowSnapshot(*s);
    const double Cx = s->Cx;
    restoreFlow(*s, start);
    const FlowParams p = flowParams(*s);
    for (auto& v : s->volumes) predictVolume(v, p);
    plainExchangeAll(*s);
    for (auto& v : s->volumes) correctVolume(v, p);
    plainExchangeAll(*s);
    for (auto& v : s->volumes) exchange_detail::vorticitySlab(v, v.i_begin, v.i_end);
    const auto reference = flowSnapshot(*s);
    ASSERT_EQ(fused.size(), reference.size());
    for (size_t a = 0; a < fused.size(); ++a)
      ASSERT_EQ(0, std::memcmp(fused[a].data(), reference[a].data(),
                               fused[a].size() * sizeof(double)))
          << "step " << step << ", flow array " << a % kFlowArrayCount << " of volume " << a / kFlowArrayCount;
    EXPECT_EQ(Cx, computeCx(*s));
  }
}
