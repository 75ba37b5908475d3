// brelvik-batch: the headless batch driver (see cli/batch.h), one process or
// several under mpirun (dist/).

#include <unistd.h>

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/batch.h"
#include "dist/distributed_step.h"
#include "dist/processes.h"
#include "dist/rank_files.h"

int main(int argc, char** argv) {
  namespace dist = brelvik::dist;
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (!dist::startProcesses(&argc, &argv)) {
    std::cerr << "brelvik-batch: MPI could not start\n";
    return brelvik::kExitFileError;
  }
  std::shared_ptr<dist::DistributedRun> run;
  brelvik::BatchProcesses group;
  group.rank = dist::processRank();
  group.count = dist::processCount();
  group.firstFailedRank = [](bool ok) { return dist::firstFailedRank(ok); };
  group.statusOfRank0 = [](int status) { return dist::statusOfRank0(status); };
  group.shareSteps = [&run](brelvik::SimulationState& s) { run = dist::distributeSteps(s); };
  group.gatherToRank0 = [&run](brelvik::SimulationState& s) { dist::gatherFlowToRank0(s, *run); };
  group.planesToRead = [rank = group.rank, count = group.count](
                           const std::vector<brelvik::FiniteVolume>& volumes, int schemeOrder) {
    return dist::planesReadBy(
        dist::decomposeCase(volumes, int(volumes.size()), count, schemeOrder), rank);
  };
  group.planesToWrite = [&run, rank = group.rank] {
    return dist::planesWrittenBy(dist::decompositionOf(*run), rank);
  };
  group.reportTraffic = [&run](std::ostream& err) {
    for (const std::string& line : {dist::trafficLine(*run), dist::flowMemoryLine(*run)})
      if (!line.empty()) err << "brelvik-batch: " << line << "\n";
  };
  group.abortAll = [](int status) { dist::abortProcesses(status); };
  group.ownErr = &std::cerr;

  // Only rank 0 prints the history and the messages every process would
  // print alike.
  std::ostream discard(nullptr);
  const bool rank0 = group.rank == 0;
  const int status = brelvik::batchMain(brelvik::theState(), args, rank0 ? std::cout : discard,
                                        rank0 ? std::cerr : discard,
                                        rank0 && isatty(STDERR_FILENO) != 0, &group);
  std::cout.flush();
  dist::finishProcesses();
  return status;
}
