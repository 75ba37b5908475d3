// The time step on any number of workers gives the bits of one worker.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

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

// New, a disturbance in every computed point (so that every term and
// boundary condition is active from the first step), then `steps` passes on
// `workers` workers.
std::vector<double> run(SimulationState& s, int workers, int steps) {
  setComputeThreads(workers);
  setParticipantTuning(false);  // every step on exactly `workers` participants
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
  bool uneven = false;
  for (const auto& v : s->volumes)
    uneven = uneven || (v.i_end - v.i_begin + 1) % step_detail::kSlabPlanes != 0 ||
             (v.Nx + 1) % step_detail::kSlabPlanes != 0;
  ASSERT_TRUE(uneven);
  expectSameBitsForEveryWorkerCount(*s, 200);
}

// Short enough for ThreadSanitizer, which checks the team's hand-over of
// units (the interpolation that builds the case also runs on a team).
TEST(SolverThreadTeam, StepsOnThreeWorkersMatchOneWorker) {
  auto s = interpolatedState(10, 8, 8);
  const std::vector<double> one = run(*s, 1, 4);
  const std::vector<double> three = run(*s, 3, 4);
  ASSERT_EQ(one.size(), three.size());
  EXPECT_EQ(0, std::memcmp(one.data(), three.data(), one.size() * sizeof(double)));
}
