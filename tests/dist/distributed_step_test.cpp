// The time step shared among MPI processes against the same step on one
// process, on a grid whose stencils hold other receivers (ordered ones) and
// ghost points, so that what each process receives, and when, decides the
// bits. Run under mpirun with several processes (tests/CMakeLists.txt).

#include <gtest/gtest.h>

#include <cstring>

#include "dist/distributed_step.h"
#include "dist/processes.h"
#include "solver/solver.h"
#include "solver_test_util.h"
#include "state/work_team.h"

namespace brelvik {
namespace {

using namespace testing;

std::unique_ptr<SimulationState> chainedCase() {
  auto s = interpolatedGridState();
  s->dt = 0.003;
  s->farField = FarField::Absorbing;
  newCase(*s);
  int chained = 0, ghosts = 0;
  chainReceivers(*s, &chained, &ghosts);
  EXPECT_GT(chained, 100);
  EXPECT_GT(ghosts, 100);
  s->interpolationGeneration.fetch_add(1);  // the receivers changed
  return s;
}

TEST(DistributedStep, OrderedReceiversAndGhostStencilsGiveTheOneProcessBits) {
  setComputeThreads(1);
  auto alone = chainedCase();
  auto shared = chainedCase();
  const auto run = dist::distributeSteps(*shared);
  for (int step = 0; step < 3; ++step) {
    stepOnce(*alone);
    stepOnce(*shared);
    // The coefficients and residuals are complete on every process.
    EXPECT_EQ(0, std::memcmp(&alone->Cx, &shared->Cx, sizeof(double))) << "step " << step;
    EXPECT_EQ(0, std::memcmp(alone->residual.data(), shared->residual.data(),
                             sizeof(alone->residual)))
        << "step " << step;
  }
  EXPECT_GT(dist::trafficOf(*run).bytesSent, 0);
  dist::gatherFlowToRank0(*shared, *run);
  if (dist::processRank() != 0) return;
  for (int v = 0; v < alone->volumeCount; ++v) {
    std::vector<const std::vector<double>*> a, b;
    forEachFlowArray(alone->volumes[size_t(v)], [&](const std::vector<double>& x) { a.push_back(&x); });
    forEachFlowArray(shared->volumes[size_t(v)], [&](const std::vector<double>& x) { b.push_back(&x); });
    for (size_t k = 0; k < a.size(); ++k)
      ASSERT_EQ(0, std::memcmp(a[k]->data(), b[k]->data(), a[k]->size() * sizeof(double)))
          << "flow array " << k << " of volume " << v;
  }
}

}  // namespace
}  // namespace brelvik

int main(int argc, char** argv) {
  if (!brelvik::dist::startProcesses(&argc, &argv)) return 1;
  ::testing::InitGoogleTest(&argc, argv);
  if (brelvik::dist::processRank() != 0) {
    auto& listeners = ::testing::UnitTest::GetInstance()->listeners();
    delete listeners.Release(listeners.default_result_printer());
  }
  const int status = RUN_ALL_TESTS();
  // Every process's verdict decides the run's status.
  const bool ok = brelvik::dist::allSucceeded(status == 0);
  brelvik::dist::finishProcesses();
  return ok ? 0 : 1;
}
