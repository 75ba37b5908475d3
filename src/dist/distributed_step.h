#pragma once
// The time step shared among the processes of a batch run.
//
// Each process holds every volume's arrays (the grid and the interpolation
// data are built identically on every process) but computes only the
// volumes it owns (decomposition.h); its copies of the other volumes are
// stale except where an exchange refreshes them. The only reads across
// volumes in a step are the receivers', three times in each of the step's
// two exchanges, so that is where values move, by a schedule built once
// from the receiver lists:
// - an independent receiver (its stencil holds no interpolated point, and no
//   stencil holds it) whose donor another process owns: the donor's owner
//   forms the stencil sums (the same operations in the same order as the
//   receiver's own pass) and sends one value per receiver and field;
// - the ordered receivers (stencils that hold other receivers) are served by
//   every process, in the one-process order, after every process received
//   the current values of every point of their stencils from the donors'
//   owners: their values are then the same bits on every process.
// Point-to-point: receives posted first, then the sends, then the local
// receivers are served while the messages travel, then MPI_Waitall.
//
// The drag and residual parts per volume are gathered from their owners to
// every process and summed in volume order there, so Cx, Cp, Cf and the
// residuals are the one-process bits on every process.

#include <cstdint>
#include <memory>
#include <string>

namespace brelvik {
struct SimulationState;
}

namespace brelvik::dist {

struct Traffic {
  int64_t bytesSent = 0;  // point-to-point and the parts' all-gather
  int64_t steps = 0;
};

struct DistributedRun;

// Shares the steps of s among the processes from now on (sets
// s.stepDistribution). Call on every process once the case is ready to
// step (grid, interpolation, initial or loaded flow identical everywhere).
std::shared_ptr<DistributedRun> distributeSteps(SimulationState& s);

// Makes rank 0's copy of every volume's flow arrays current (the owners
// send theirs), for the save and the exports. A collective.
void gatherFlowToRank0(SimulationState& s, const DistributedRun& run);

struct Decomposition;
// Which process computes which planes (the same on every process).
const Decomposition& decompositionOf(const DistributedRun& run);

// This process's traffic so far.
Traffic trafficOf(const DistributedRun& run);

// Gathers every process's traffic to rank 0, which returns one line of the
// bytes each rank sent per step (empty elsewhere). A collective.
std::string trafficLine(const DistributedRun& run);

}  // namespace brelvik::dist
