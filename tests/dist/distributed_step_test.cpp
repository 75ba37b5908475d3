// The time step shared among MPI processes against the same step on one
// process, on a grid whose stencils hold other receivers (ordered ones) and
// ghost points, so that what each process receives, and when, decides the
// bits. Run under mpirun with several processes (tests/CMakeLists.txt).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include <unistd.h>

#include "dist/decomposition.h"
#include "dist/distributed_step.h"
#include "dist/processes.h"
#include "dist/release_planes.h"
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

// Steps a case alone and shared among the processes (by `given`, or the
// balanced decomposition) and compares the bits.
void expectOneProcessBits(const dist::Decomposition* given) {
  setComputeThreads(1);
  auto alone = chainedCase();
  auto shared = chainedCase();
  const auto run = dist::distributeSteps(*shared, given);
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

TEST(DistributedStep, OrderedReceiversAndGhostStencilsGiveTheOneProcessBits) {
  expectOneProcessBits(nullptr);
}

// Every volume cut in four pieces, one of them a single plane, the ranks
// rotated from volume to volume: halos both ways (a single plane's to two
// processes), four-piece residual chains, stencils across pieces, and a
// process holding several pieces of one volume and of several volumes.
TEST(DistributedStep, VolumesCutIntoPiecesGiveTheOneProcessBits) {
  auto probe = chainedCase();
  const int count = dist::processCount();
  dist::Decomposition cut;
  cut.piecesOf.resize(size_t(probe->volumeCount));
  for (int v = 0; v < probe->volumeCount; ++v) {
    const int planes = probe->volumes[size_t(v)].Nx + 1;
    const int a = planes / 3, b = 2 * planes / 3;
    ASSERT_GE(a, dist::minPiecePlanes(probe->schemeOrder));
    ASSERT_GE(planes - b, dist::minPiecePlanes(probe->schemeOrder));
    cut.piecesOf[size_t(v)] = {{v % count, 0, a - 1},
                               {(v + 1) % count, a, a},
                               {(v + 2) % count, a + 1, b - 1},
                               {(v + 3) % count, b, planes - 1}};
  }
  expectOneProcessBits(&cut);
}

// Sharing the steps gives back the flow planes a process neither computes
// nor reads as halo: those read zero, every plane it does hold keeps its
// bits, and it holds well under its share's worth more than 1/N.
TEST(DistributedStep, PlanesNotHeldAreGivenBackAndHeldOnesKept) {
  const int count = dist::processCount(), rank = dist::processRank();
  if (count < 3) GTEST_SKIP() << "needs 3 or more processes";
  auto fresh = chainedCase();
  auto shared = chainedCase();
  const auto run = dist::distributeSteps(*shared);
  const auto held = dist::planesHeldBy(dist::decompositionOf(*run), shared->volumes,
                                       shared->volumeCount, rank);
  int unheldVolumes = 0;
  for (int v = 0; v < shared->volumeCount; ++v) {
    const FiniteVolume& a = fresh->volumes[size_t(v)];
    const FiniteVolume& b = shared->volumes[size_t(v)];
    std::vector<const std::vector<double>*> before, after;
    forEachFlowArray(a, [&](const std::vector<double>& x) { before.push_back(&x); });
    forEachFlowArray(b, [&](const std::vector<double>& x) { after.push_back(&x); });
    bool any = false;
    for (int i = 0; i <= b.Nx; ++i) {
      if (!held[size_t(v)][size_t(i)]) continue;
      any = true;
      const size_t from = size_t(i) * size_t(b.stride_i);
      for (size_t k = 0; k < before.size(); ++k)
        ASSERT_EQ(0, std::memcmp(before[k]->data() + from, after[k]->data() + from,
                                 size_t(b.stride_i) * sizeof(double)))
            << "flow array " << k << " of volume " << v << ", held plane " << i;
    }
    if (any) continue;
    // Not held at all: the page holding the middle point of the density is
    // a whole page inside the array, given back.
    ++unheldVolumes;
    const size_t middle = a.ro.size() / 2;
    ASSERT_GT(a.ro.size() * sizeof(double), 3 * size_t(sysconf(_SC_PAGESIZE)));
    EXPECT_NE(0.0, a.ro[middle]);
    EXPECT_EQ(0.0, b.ro[middle]) << "volume " << v;
  }
  EXPECT_GT(unheldVolumes, 0);
  const dist::FlowMemory memory = dist::flowMemoryOf(*run);
  EXPECT_GT(memory.releasedBytes, 0);
  EXPECT_LT(memory.heldBytes() * count, memory.allocatedBytes * 3 / 2);
}

// The balanced decomposition covers every volume's planes in order with
// end pieces no thinner than the least thickness, and spreads the points.
TEST(Decomposition, CoversEveryPlaneOnceAndBalancesThePoints) {
  const int planes = 20, perPlane = 169, thinnest = dist::minPiecePlanes(2);
  // Six equal sectors and, in between, a volume without points.
  std::vector<int64_t> points(7, int64_t(planes) * perPlane);
  std::vector<int> planeCounts(7, planes);
  points[3] = 0;
  const int64_t total = 6 * int64_t(planes) * perPlane;
  for (int n = 1; n <= 100; ++n) {
    const dist::Decomposition d = dist::decompose(points, planeCounts, n, thinnest);
    std::vector<int64_t> load(size_t(n), 0);
    for (int v = 0; v < 7; ++v) {
      const auto& pieces = d.piecesOf[size_t(v)];
      if (v == 3) {
        EXPECT_TRUE(pieces.empty());
        continue;
      }
      int next = 0;
      for (const dist::Piece& p : pieces) {
        EXPECT_EQ(next, p.firstPlane) << n << " processes, volume " << v;
        EXPECT_LE(p.firstPlane, p.lastPlane);
        // The end pieces of a cut volume hold the faces' stencils.
        if (pieces.size() > 1 && (p.firstPlane == 0 || p.lastPlane == planes - 1))
          EXPECT_GE(p.lastPlane - p.firstPlane + 1, thinnest);
        EXPECT_EQ(p.rank, d.ownerOf(v, p.lastPlane));
        load[size_t(p.rank)] += int64_t(p.lastPlane - p.firstPlane + 1) * perPlane;
        next = p.lastPlane + 1;
      }
      EXPECT_EQ(planes, next) << n << " processes, volume " << v;
    }
    // Within the spacing of the places a cut may fall of the ideal share.
    const int64_t most = *std::max_element(load.begin(), load.end());
    EXPECT_LE(most * n, total + int64_t(thinnest) * perPlane * n) << n << " processes";
    if (n == 4) EXPECT_EQ(total / 4, most);  // two sectors cut in halves
    if (6 % n == 0) EXPECT_EQ(total / n, most);  // whole sectors
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
