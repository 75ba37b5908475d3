// The save of a case by several MPI processes against the save by rank 0
// alone, side by side in one run: run it as
//   mpirun -np 2 bench_mpi_save [--nx 38 --ny 24 --nz 24] [--repeats 3]
// After a few shared steps (so that each process's copy is current only on
// its own planes) it times, alternately and `repeats` times each:
// - shared: rank 0 stages the folder and writes all but the slices, every
//   process writes the slices of its planes, rank 0 checks and swaps;
// - gathered: rank 0 gathers every plane's flow and writes the whole folder
//   with the one-process save.
// Prints the best seconds of each, without and then with the flush to disk
// that every save makes, and whether the two folders hold the same bytes.
// The folders are made in the current folder and removed afterwards.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "dist/distributed_step.h"
#include "dist/processes.h"
#include "dist/rank_files.h"
#include "io/result_folder.h"
#include "io/staged_folder.h"
#include "solver/solver.h"
#include "state/simulation_state.h"
#include "state/work_team.h"

#include "bench_support.h"

namespace {

using namespace brelvik;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double secondsSince(Clock::time_point t0) {
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

std::map<std::string, std::string> filesBelow(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) {
      std::ifstream in(e.path(), std::ios::binary);
      files[fs::relative(e.path(), dir).string()] =
          std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
  return files;
}

// The three phases of the shared save, agreed after each; false on any
// failure (reported by the failing process).
bool sharedSave(SimulationState& s, const std::string& folder, const PlaneSelection& mine,
                int rank) {
  CoreError error;
  auto agreed = [&](bool ok) {
    if (!ok) std::fprintf(stderr, "bench_mpi_save: rank %d: %s\n", rank, error.detail.c_str());
    return dist::allSucceeded(ok);
  };
  if (!agreed(rank != 0 || beginSharedSave(s, folder, &error))) return false;
  if (!agreed(saveCasePlanes(s, folder, mine, &error))) {
    if (rank == 0) abandonSharedSave(folder);
    return false;
  }
  return agreed(rank != 0 || finishSharedSave(s, folder, &error));
}

}  // namespace

int main(int argc, char** argv) {
  if (!dist::startProcesses(&argc, &argv)) return 1;
  const int nx = bench::intOption(argc, argv, "--nx", 38);
  const int ny = bench::intOption(argc, argv, "--ny", 24);
  const int nz = bench::intOption(argc, argv, "--nz", 24);
  const int repeats = bench::intOption(argc, argv, "--repeats", 3);
  const int rank = dist::processRank(), count = dist::processCount();
  setComputeThreads(1);
  SimulationState s;
  const bool built = bench::buildShellCase(s, nx, ny, nz, "bench_mpi_save");
  if (built) newCase(s);
  if (!dist::allSucceeded(built)) {
    if (rank == 0) std::fprintf(stderr, "bench_mpi_save: Create or interpolation failed\n");
    dist::finishProcesses();
    return 1;
  }
  long long points = 0;
  for (const auto& v : s.volumes)
    if (v.allocated) points += v.pointCount();
  const auto run = dist::distributeSteps(s);
  for (int n = 0; n < 3; ++n) solverPass(s);
  const PlaneSelection mine = dist::planesWrittenBy(dist::decompositionOf(*run), rank);

  const std::string sharedDir = "bench_mpi_save.shared", gatheredDir = "bench_mpi_save.gathered";
  bool ok = true;
  if (rank == 0)
    std::printf("bench_mpi_save: grid %dx%dx%d, %lld points, %d processes, best of %d\n", nx, ny,
                nz, points, count, repeats);
  // Without the flush to disk first: the writing alone, which the flush's
  // wait for the disk (and for whatever else is waiting to be written on
  // it) would hide.
  for (const bool flush : {false, true}) {
    io_detail::setFlushToDiskForTesting(flush);
    double bestShared = 1e300, bestGathered = 1e300;
    for (int r = 0; r < repeats && ok; ++r) {
      dist::waitAsleep();
      auto t0 = Clock::now();
      ok = sharedSave(s, sharedDir, mine, rank);
      bestShared = std::min(bestShared, dist::maxOf(secondsSince(t0)));

      dist::waitAsleep();
      t0 = Clock::now();
      dist::gatherFlowToRank0(s, *run);
      CoreError error;
      const bool saved = rank != 0 || saveCase(s, gatheredDir, &error);
      if (!saved) std::fprintf(stderr, "bench_mpi_save: %s\n", error.detail.c_str());
      ok = dist::allSucceeded(saved) && ok;
      bestGathered = std::min(bestGathered, dist::maxOf(secondsSince(t0)));
    }
    if (rank == 0) {
      const bool same = ok && filesBelow(sharedDir) == filesBelow(gatheredDir);
      std::printf("  %s:\n", flush ? "flushed to disk (as every save)" : "without the flush");
      std::printf("    each process its planes: %7.3f s\n", bestShared);
      std::printf("    rank 0 gathers, writes : %7.3f s  (%.2fx the time)\n", bestGathered,
                  bestGathered / bestShared);
      std::printf("    folders: %s\n", same ? "same bytes" : "DIFFERENT");
    }
  }
  if (rank == 0) {
    std::error_code ec;
    fs::remove_all(sharedDir, ec);
    fs::remove_all(gatheredDir, ec);
  }
  dist::finishProcesses();
  return ok ? 0 : 1;
}
