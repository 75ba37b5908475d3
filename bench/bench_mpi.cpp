// The time step shared among MPI processes against the same step on one
// process, side by side in one run: run it as
//   mpirun -np 2 bench_mpi [--nx 38 --ny 24 --nz 24] [--steps 100]
// Rank 0 first steps one copy of the case alone (the others sleep), then
// every process steps its share of a second copy. Each process uses one
// thread. Prints the time per step of both, the speed-up, the point rate
// per process, the bytes each process sends per step, the flow arrays'
// bytes each process holds once the steps are shared (the planes it
// neither computes nor reads as halo given back) and the drop of its
// resident memory (VmRSS) at that moment, and whether the two runs ended
// with the same bits of Cx and the residuals.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "dist/distributed_step.h"
#include "dist/processes.h"
#include "dist/release_planes.h"
#include "grid/geometry.h"
#include "grid/interpolation.h"
#include "solver/solver.h"
#include "state/simulation_state.h"
#include "state/work_team.h"

#include "bench_support.h"

namespace {

using namespace brelvik;
using Clock = std::chrono::steady_clock;

double secondsOfSteps(SimulationState& s, int steps) {
  const auto t0 = Clock::now();
  for (int n = 0; n < steps; ++n) solverPass(s);
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

// This process's resident memory in MiB (VmRSS of /proc/self/status; 0
// where there is none).
double residentMegabytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;  // kB
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (!dist::startProcesses(&argc, &argv)) return 1;
  const int nx = bench::intOption(argc, argv, "--nx", 38);
  const int ny = bench::intOption(argc, argv, "--ny", 24);
  const int nz = bench::intOption(argc, argv, "--nz", 24);
  const int steps = bench::intOption(argc, argv, "--steps", 100);
  const int rank = dist::processRank(), count = dist::processCount();
  setComputeThreads(1);
  SimulationState alone, shared;
  const bool built = bench::buildShellCase(alone, nx, ny, nz, "bench_mpi") &&
                     bench::buildShellCase(shared, nx, ny, nz, "bench_mpi");
  if (built) {
    newCase(alone);
    newCase(shared);
  }
  if (!dist::allSucceeded(built)) {
    if (rank == 0) std::fprintf(stderr, "bench_mpi: Create or interpolation failed\n");
    dist::finishProcesses();
    return 1;
  }
  long long points = 0;
  for (const auto& v : alone.volumes)
    if (v.allocated) points += v.pointCount();
  constexpr int kWarmUp = 5;

  // One process: rank 0 alone; the others wait asleep, not spinning in a
  // barrier, so that rank 0 has a processor of its own.
  double oneProcess = 0;
  if (rank == 0) {
    secondsOfSteps(alone, kWarmUp);
    oneProcess = secondsOfSteps(alone, steps);
  }
  dist::waitAsleep();

  const double residentBefore = residentMegabytes();
  const auto run = dist::distributeSteps(shared);
  const double drop = residentBefore - residentMegabytes();
  const double largestDrop = dist::maxOf(drop), smallestDrop = -dist::maxOf(-drop);
  const double residentAfter = dist::maxOf(residentMegabytes());
  const std::string memory = dist::flowMemoryLine(*run);
  secondsOfSteps(shared, kWarmUp);
  dist::waitAsleep();
  const double shared_ = secondsOfSteps(shared, steps);
  dist::waitAsleep();
  const std::string traffic = dist::trafficLine(*run);
  const double slowest = dist::maxOf(shared_);
  if (rank == 0) {
    const bool same = std::memcmp(&alone.Cx, &shared.Cx, sizeof(double)) == 0 &&
                      std::memcmp(alone.residual.data(), shared.residual.data(),
                                  sizeof(alone.residual)) == 0;
    std::printf("bench_mpi: grid %dx%dx%d, %lld points, %d steps, 1 thread per process\n", nx, ny,
                nz, points, steps);
    std::printf("  1 process : %8.3f ms/step  %6.2f M point-steps/s\n", 1e3 * oneProcess / steps,
                double(points) * steps / oneProcess / 1e6);
    std::printf("  %d processes: %8.3f ms/step  %6.2f M point-steps/s  (%.2fx as fast)\n", count,
                1e3 * slowest / steps, double(points) * steps / slowest / 1e6, oneProcess / slowest);
    std::printf("  %s\n", traffic.c_str());
    std::printf("  %s\n", memory.c_str());
    std::printf("  resident memory (VmRSS) dropped by %.2f to %.2f MiB per process as the steps"
                " were shared; largest VmRSS after: %.2f MiB (both copies of the case)\n",
                smallestDrop, largestDrop, residentAfter);
    std::printf("  Cx and residuals after the same steps: %s\n", same ? "same bits" : "DIFFERENT");
  }
  dist::finishProcesses();
  return 0;
}
