// The time step on any number of workers gives the bits of one worker.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <set>

#include "core_error_print.h"
#include "solver/solver.h"
#include "solver/step_plan.h"
#include "solver_test_util.h"
#include "state/participant_tuner.h"
#include "state/work_team.h"

using namespace brelvik;
using namespace brelvik::testing;

namespace {

std::unique_ptr<SimulationState> interpolatedState(int nx, int ny, int nz) {
  DomainInputs in = defaultInputs();
  in.nx = nx;
  in.ny = ny;
  in.nz = nz;
  auto s = gridState(in);
  CoreError error;
  EXPECT_TRUE(runInterpolation(*s, [](int, int) {}, &error)) << error;
  return s;
}

// Everything a run leaves: every flow array of every volume, the three
// coefficients and the four histories.
std::vector<double> outcome(SimulationState& s) {
  std::vector<double> out;
  for (auto& v : s.volumes)
    forEachFlowArray(v, [&out](const std::vector<double>& a) { out.insert(out.end(), a.begin(), a.end()); });
  out.insert(out.end(), {s.Cx, s.Cp, s.Cf});
  for (ValueSeries* h : {&s.historyCx, &s.historyCp, &s.historyCf, &s.historyTime})
    for (int i = 0; i < h->size(); ++i) out.push_back(h->item(i));
  return out;
}

// New, then a disturbance in every computed point (so that every term and
// boundary condition is active from the first step).
void newDisturbedCase(SimulationState& s) {
  newCase(s);
  for (auto& v : s.volumes)
    for (size_t n = 0; n < v.u.size(); ++n) {
      if (v.type_point[n] != 1) continue;
      const double x = v.point_glob[3 * n], y = v.point_glob[3 * n + 1], z = v.point_glob[3 * n + 2];
      v.u[n] = 0.3 * std::sin(x + 2 * y);
      v.v[n] = 0.2 * std::cos(z - x);
      v.w[n] = 0.1 * std::sin(x * y);
      v.ro[n] = 1 + 0.1 * std::sin(y * z);
      v.T[n] = 1 + 0.05 * std::cos(x * z);
      v.P[n] = v.ro[n] * v.T[n];
    }
  exchangeAll(s);
}

// A disturbed new case, then `steps` passes on `workers` workers.
std::vector<double> run(SimulationState& s, int workers, int steps) {
  setComputeThreads(workers);
  setParticipantTuning(false);  // every step on exactly `workers` participants
  newDisturbedCase(s);
  for (int i = 0; i < steps; ++i) solverPass(s);
  setComputeThreads(0);
  setParticipantTuning(true);
  return outcome(s);
}

void expectSameBitsForEveryWorkerCount(SimulationState& s, int steps) {
  const std::vector<double> one = run(s, 1, steps);
  EXPECT_TRUE(std::isfinite(s.Cx));
  EXPECT_NE(s.Cx, 0.0);
  EXPECT_EQ(s.historyCx.size(), steps / 10);
  for (int workers : {2, 3, 5, 8}) {
    const std::vector<double> many = run(s, workers, steps);
    ASSERT_EQ(one.size(), many.size());
    EXPECT_EQ(0, std::memcmp(one.data(), many.data(), one.size() * sizeof(double)))
        << workers << " workers";
  }
}

}  // namespace

TEST(SolverWorkers, SlowTwoHundredStepsGiveTheSameBitsOnAnyWorkerCount) {
  auto s = interpolatedGridState();
  expectSameBitsForEveryWorkerCount(*s, 200);
}

TEST(SolverWorkers, SlowTheSameOnAGridWhosePlaneCountsAreNotMultiplesOfTheSlab) {
  auto s = interpolatedState(12, 9, 11);
  // Odd plane counts leave a short last slab for both slab sizes.
  bool uneven = false;
  for (const auto& v : s->volumes)
    uneven = uneven || ((v.i_end - v.i_begin + 1) % step_detail::kRhsSlabPlanes != 0 &&
                        (v.Nx + 1) % step_detail::kSlabPlanes != 0);
  ASSERT_TRUE(uneven);
  expectSameBitsForEveryWorkerCount(*s, 200);
}

// Short enough for ThreadSanitizer, which checks the team's hand-over of
// units (the interpolation that builds the case also runs on a team).
// Without spins every participant with nothing ready goes to sleep at once,
// so the steps also pass through the sleep and wake-up of the hand-over
// (a lost wake-up would leave the step waiting for ever), with more
// participants than processors.
TEST(SolverThreadTeam, StepsOnThreeWorkersMatchOneWorker) {
  auto s = interpolatedState(10, 8, 8);
  const std::vector<double> one = run(*s, 1, 4);
  const int spins = waitSpins();
  for (int sleepAtOnce : {0, 1}) {
    setWaitSpins(sleepAtOnce ? 0 : spins);
    for (int workers : {3, 8}) {
      const std::vector<double> many = run(*s, workers, 4);
      ASSERT_EQ(one.size(), many.size());
      EXPECT_EQ(0, std::memcmp(one.data(), many.data(), one.size() * sizeof(double)))
          << workers << " workers, spins " << waitSpins();
    }
  }
  setWaitSpins(spins);
}

// Threads only try the orders their timing happens to give. Here the units
// run on one thread in orders the waits allow but the listed order never
// takes: always the last ready unit, and a random one. A wait that misses
// something a unit reads or overwrites changes the bits.
TEST(SolverStepPlan, EveryOrderTheWaitsAllowGivesTheSameBits) {
  auto s = interpolatedState(12, 9, 11);
  auto threeSteps = [&](const std::function<size_t(const std::vector<int>&)>& pick) {
    newDisturbedCase(*s);
    std::vector<double> out, pressureX, frictionX;
    std::vector<ResidualSums> residuals;
    for (int step = 0; step < 3; ++step) {
      step_detail::runStepPicking(*s, pick, pressureX, frictionX, residuals);
      out.insert(out.end(), pressureX.begin(), pressureX.end());
      out.insert(out.end(), frictionX.begin(), frictionX.end());
      for (const ResidualSums& r : residuals) out.insert(out.end(), r.squares.begin(), r.squares.end());
    }
    const std::vector<double> flow = outcome(*s);
    out.insert(out.end(), flow.begin(), flow.end());
    return out;
  };
  const std::vector<double> listed = threeSteps([](const std::vector<int>&) { return size_t(0); });
  const std::vector<double> lastReady = threeSteps([](const std::vector<int>& r) { return r.size() - 1; });
  std::mt19937 random(2026);
  const std::vector<double> anyReady = threeSteps([&](const std::vector<int>&) { return size_t(random()); });
  ASSERT_EQ(listed.size(), lastReady.size());
  EXPECT_EQ(0, std::memcmp(listed.data(), lastReady.data(), listed.size() * sizeof(double)));
  EXPECT_EQ(0, std::memcmp(listed.data(), anyReady.data(), listed.size() * sizeof(double)));
}

// With two participants each plane of a volume must stay with one of them
// from phase to phase (the slabs of R, the update, the divergence, ...
// and the receiver chunks), or its arrays cross between the processors'
// caches within every stage. A grid whose plane counts are odd, so that
// the halves and the slabs do not meet by chance.
TEST(SolverStepPlan, TwoParticipantsKeepEachPlaneFromPhaseToPhase) {
  auto s = interpolatedState(12, 9, 11);
  newCase(*s);
  std::vector<step_detail::Unit> units;
  step_detail::timeStepUnits(*s, &units);
  const std::vector<step_detail::Phase> phases = step_detail::stepPhases();
  exchange_detail::ReceiverLists lists;
  lists.build(*s);
  auto preferredBy = [](const step_detail::Unit& u) { return int(u.at * 2.0f); };
  using step_detail::Work;
  std::map<std::pair<int, int>, std::set<int>> byPlane;  // (volume, plane) -> participants
  std::vector<std::pair<std::pair<int, int>, int>> receivers;  // ((volume, plane), participant)
  for (const step_detail::Unit& u : units) {
    const Work w = phases[size_t(u.phase)].work;
    if (u.volume < 0 || u.at < 0.0f) continue;
    if (w == Work::VelocityReceivers || w == Work::DivergenceReceivers || w == Work::ScalarReceivers) {
      const FiniteVolume& vol = s->volumes[size_t(u.volume)];
      for (int r = u.first; r < u.last; ++r)
        receivers.push_back({{u.volume, lists.independent[size_t(u.volume)][size_t(r)] / vol.stride_i},
                             preferredBy(u)});
    } else if (w != Work::Drag && w != Work::Residuals) {
      for (int i = u.first; i <= u.last; ++i) byPlane[{u.volume, i}].insert(preferredBy(u));
    }
  }
  ASSERT_FALSE(byPlane.empty());
  for (const auto& [plane, who] : byPlane)
    EXPECT_EQ(1u, who.size()) << "volume " << plane.first << ", plane " << plane.second;
  ASSERT_FALSE(receivers.empty());
  for (const auto& [plane, who] : receivers) {
    const auto slabs = byPlane.find(plane);  // the stage inputs cover every plane
    ASSERT_NE(byPlane.end(), slabs);
    EXPECT_EQ(*slabs->second.begin(), who) << "receiver of volume " << plane.first << ", plane " << plane.second;
  }
}
