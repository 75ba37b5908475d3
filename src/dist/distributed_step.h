#pragma once
// The time step shared among the processes of a batch run.
//
// Each process builds every volume's arrays (the grid and the interpolation
// data are built identically on every process) but computes only its
// pieces, runs of i-planes (decomposition.h). Once the steps are shared it
// gives back the memory of the flow arrays' planes it neither computes nor
// reads as halo (release_planes.h); its copies of the planes beyond its
// pieces are stale (or zero) except where an exchange refreshes them. Values move at
// two kinds of places:
// - halos: R, the divergence and the vorticity of a plane read the planes
//   i-1 and i+1 (central differences of width one whatever the scheme
//   order). Before the stage inputs each process receives ro, T, P and div
//   of the plane beyond either end of its pieces, and before the divergence
//   u, v and w: what changed there since (the update, the receivers) and
//   what the next phases read (R forms the convective products of that
//   plane from them);
// - receivers, three times in each of the step's two exchanges, by a
//   schedule built once from the receiver lists:
//   - an independent receiver (its stencil holds no interpolated point,
//     and no stencil holds it) whose stencil lies in one piece: that
//     piece's process forms the stencil sums (the same operations in the
//     same order as the receiver's own pass) and sends one value per field
//     to the receiver's process;
//   - an independent receiver whose stencil straddles pieces: the
//     receiver's process receives the raw values of the stencil points
//     computed elsewhere and serves it itself;
//   - the ordered receivers (stencils that hold other receivers) are served
//     by every process, in the one-process order, after every process
//     received the current values of every point of their stencils from
//     the processes computing them: their values are then the same bits on
//     every process.
// Point-to-point: receives posted first, then the sends, then (receivers)
// the local receivers are served while the messages travel, then
// MPI_Waitall.
//
// The drag of a volume comes from the process holding its wall (plane 0);
// its residual sums run through its pieces in plane order, each process
// continuing the sums the previous piece's process sent it. The parts are
// gathered to every process and summed in volume order there, so Cx, Cp,
// Cf and the residuals are the one-process bits on every process.

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
// step: grid and interpolation identical everywhere, the flow current on
// the process's own planes and the halo plane beyond either end of each of
// its pieces (a new case's initial flow is current everywhere; an --open
// folder is read just that far, rank_files.h).
struct Decomposition;
// `given` replaces the balanced decomposition (tests: pieces cut where the
// balance would not cut them); it must cover every volume's planes.
std::shared_ptr<DistributedRun> distributeSteps(SimulationState& s,
                                                const Decomposition* given = nullptr);

// Makes rank 0's copy of every volume's flow arrays current (the owners
// send theirs), for the exports and the post-processing. A collective.
void gatherFlowToRank0(SimulationState& s, const DistributedRun& run);

// Which process computes which planes (the same on every process).
const Decomposition& decompositionOf(const DistributedRun& run);

// This process's traffic so far.
Traffic trafficOf(const DistributedRun& run);

// The flow arrays' bytes this process allocated and gave back when the
// steps were shared.
struct FlowMemory;
FlowMemory flowMemoryOf(const DistributedRun& run);

// Gathers every process's flow memory to rank 0, which returns one line of
// the bytes each rank holds (empty elsewhere). A collective.
std::string flowMemoryLine(const DistributedRun& run);

// Gathers every process's traffic to rank 0, which returns one line of the
// bytes each rank sent per step (empty elsewhere). A collective.
std::string trafficLine(const DistributedRun& run);

}  // namespace brelvik::dist
