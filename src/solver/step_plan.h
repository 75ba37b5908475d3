#pragma once
// The time step written down once: its phases, the work units of each phase
// and what each unit waits for. The solver runs the plan on a team of
// threads; the initial state's exchange runs the same phases on one thread.
//
// A unit is one piece of work on one volume: a slab of a few i-planes for
// the point-wise passes (kernels, global velocities, divergence, vorticity;
// kRhsSlabPlanes, kSlabPlanes), a chunk of receivers, a volume's boundary
// passes, or one of its face integrals. Units are listed in an order in which each
// unit waits only for units listed before it (phase after phase, or volume
// after volume between two all-volume waits; slabs ascending). A
// participant takes a ready unit among the first unstarted ones, preferring
// those of its own part of the volume (Unit::at) but taking any when none
// of its own is ready, so the first unstarted unit is always ready or
// waits for units in progress: the plan cannot deadlock, and a descheduled
// thread's units are taken by the others.
//
// What a unit waits for (its phase's dependency):
// - SameVolume: every unit of the previous phase on the same volume
//   (a stage reads and writes only its own volume; R of plane i reads the
//   flow of planes i-1..i+1, so a whole phase of the volume must end);
// - AllVolumes: every unit of the previous phase (receivers read other
//   volumes; boundary passes and the next stage write what those read).
//   A chunk of independent receivers waits only for the previous phase of
//   its own volume and of its donors (Unit::readsVolumes): what it reads is
//   final once they are done. A boundary pass after receivers (scalars 3;
//   div 3 when some stencil holds a ghost of the volume) waits for the
//   chunks that read its volume: it overwrites ghosts they may read, and
//   the next stage, which overwrites the rest of what they read, follows
//   it. The three receiver phases serve the same chunks with the same
//   stencils, so a volume's velocity and div receivers precede (through
//   its own boundary passes, divergence and scalar receivers) the scalar
//   boundary pass of every volume they read;
// - SameVolumeUnlessGhostsRead: SameVolume, or AllVolumes when some stencil
//   holds a ghost point of the volume (ReceiverLists::ghostsRead);
// - AdjacentPlanes: the units of the previous phase on the same volume whose
//   planes come within one plane of its own (the update of planes a..b
//   writes the flow that R of planes a-1..b+1 reads, and reads R of a..b).
//   Such a unit is listed right after the last unit it waits for, so a
//   volume's update follows its R plane by plane, a slab behind, while
//   both touch the same planes (a wavefront through the volume). The
//   update's slabs start where R's do and hold whole R slabs, so every R
//   unit is waited for by some update unit and the waits stay transitive.
// Every allocated volume has at least one unit in every phase (an empty one
// if need be), so the waits are transitive along the phases.
//
// The order of the floating-point operations that any value depends on is
// the order of the defining sequence (exchange.h, kernels.h), whatever the
// number of threads and whoever takes which unit. The drag of every volume
// is kept per volume and summed in volume order.
//
// The units are also the natural pieces for distributing a step over
// processes: a volume's slabs, and the AllVolumes waits as the points at
// which halo values would move.

#include <functional>
#include <memory>
#include <vector>

#include "solver/exchange_parts.h"
#include "solver/kernels.h"
#include "solver/residuals.h"

namespace brelvik {

struct SimulationState;

namespace step_detail {

// Planes per slab: four for R, which is about 60% of a step, so that its
// largest unit stays well under 1/32 of a step on the default grid (about
// 1/90); eight for the cheaper point-wise passes (stage inputs, update,
// divergence, vorticity, global velocities), whose units of two planes took
// 1.4 to 2.5 microseconds each, about ten times what handing a unit out
// costs. Against 2 and 4 planes, steps alternating between the two plans in
// one process: two workers 1.2 to 1.6% faster, one worker 0.3 to 0.5%.
inline constexpr int kRhsSlabPlanes = 4;
inline constexpr int kSlabPlanes = 8;
// Receivers per chunk of independent receivers (a chunk of 512 takes 5 to
// 12 microseconds on the default grid).
inline constexpr int kReceiverChunk = 512;

enum class Work : unsigned char {
  GlobalVelocities,    // slab: u_glob, v_glob, w_glob (initial exchange only)
  StageInputs,         // slab: saved state (predictor; the corrector has none)
  Rhs,                 // slab: zeta differences and R
  Update,              // slab: the stage's update, then the global velocities
  VelocityBoundary2,   // volume: boundary velocity (2), global velocities of the
                       // planes outside the computed box
  VelocityReceivers,   // receivers
  VelocityBoundary3,   // volume: boundary velocity (3), boundary div (2)
  Divergence,          // slab: div at the computed points
  DivergenceReceivers, // receivers
  ScalarBoundary2,     // volume: boundary div (3), boundary scalars (2)
  ScalarReceivers,     // receivers
  ScalarBoundary3,     // volume: boundary scalars (3)
  Vorticity,           // slab: vixr
  Drag,                // volume: first = 0 pressure drag, 1 friction drag,
                       // 2 the residual sums of the lower planes
  Residuals,           // volume: the residual sums of the upper planes,
                       // continued from the lower planes' sums
};

enum class Wait : unsigned char {
  Nothing,
  SameVolume,
  AllVolumes,
  SameVolumeUnlessGhostsRead,
  AdjacentPlanes
};

struct Phase {
  Work work;
  RhsTarget stage;  // for StageInputs, Rhs, Update
  Wait wait;
};

struct Unit {
  int phase;
  int volume;       // -1: the ordered receivers of every volume
  int first, last;  // planes first..last, or receivers [first, last) of the
                    // volume's independent list
  bool waitsForAll;
  // The positions in StepPlan::units of the units it waits for are
  // StepPlan::waitList[waitBegin, waitEnd), ascending.
  int waitBegin = 0, waitEnd = 0;
  // Where in its volume the unit works, 0 < at < 1 (the position of the
  // middle of its planes, or of its middle receiver's plane, in the
  // volume's computed planes), or -1 for a whole-volume unit. Of P
  // participants, participant floor(at * P) prefers the unit, so that the
  // units of one part of a volume, phase after phase, mostly run on the
  // same processor and find its data in that processor's cache; with two,
  // every phase is cut at the middle and each plane stays with one of them.
  float at = -1.0f;
  // With waitsForAll: the volumes (bit v; all from 64 on) whose units of the
  // previous phase it waits for besides its own. A chunk of independent
  // receivers reads only its donors, so it waits for them alone; every
  // other unit waits for all.
  unsigned long long readsVolumes = ~0ull;
};

struct StepPlan {
  std::vector<Phase> phases;
  std::vector<Unit> units;
  std::vector<int> waitList;  // see Unit::waitBegin
};

// The phases of a time step and of the initial state's exchange.
std::vector<Phase> stepPhases();
std::vector<Phase> initialPhases();

StepPlan buildPlan(const std::vector<Phase>& phases, const SimulationState& s,
                   const exchange_detail::ReceiverLists& lists);

// One time step (as runStepPhases) with its units run on the calling thread
// in an order that `pick` chooses: of the units not yet run whose waits are
// met, given by their positions in plan order, it returns the index of the
// one to run next. Every such order must give the bits of the listed order;
// the tests use it to show that the waits name everything a unit needs.
void runStepPicking(SimulationState& s, const std::function<size_t(const std::vector<int>&)>& pick,
                    std::vector<double>& pressureX, std::vector<double>& frictionX,
                    std::vector<ResidualSums>& residuals);

// Per-unit wall-clock seconds of one serial run of the step plan, in plan
// order (for the benchmark's largest-unit figure). Runs a time step.
std::vector<double> timeStepUnits(SimulationState& s, std::vector<Unit>* units);

// Seconds per run of the time step's plan on `participants` participants
// with units that do nothing: what handing the units out costs. Changes no
// field.
double handoutSeconds(SimulationState& s, int participants, int runs);

}  // namespace step_detail

// A time step shared among processes (the batch driver under MPI). This
// process computes runs of i-planes of some volumes (ownPlanes): the slab
// units clipped to them (R of a run's end plane reads the flow of the
// plane beyond it, which the halo exchange brings in), the inner
// (sphere) face's boundary passes and the drag where it holds plane 0, the
// outer face's passes where it holds plane Nx. Before every phase,
// exchangeHalos brings in the neighbouring planes that phase reads from the
// processes computing them; each phase of receivers goes to
// serveReceivers, which brings in what they read from the other processes
// and serves them. completeParts then fills the residual sums (residuals
// stays empty until then) and the drag parts of the volumes whose wall is
// computed elsewhere, so that the sums stay in volume order. Without one
// (the desktop program, a run of one process) every unit runs on this
// process, exactly as before.
struct PlaneRun {
  int first = 0, last = -1;  // planes first..last
};
struct StepDistribution {
  std::vector<std::vector<PlaneRun>> ownPlanes;  // per volume, ascending
  std::function<void(SimulationState&, step_detail::Work)> exchangeHalos;
  std::function<void(SimulationState&, const exchange_detail::ReceiverLists&, step_detail::Work)>
      serveReceivers;
  std::function<void(SimulationState&, std::vector<double>& pressureX,
                     std::vector<double>& frictionX, std::vector<ResidualSums>& residuals)>
      completeParts;
};

// The receiver lists and the two plans of a state, rebuilt when the grid or
// the interpolation data change (volumesGeneration, interpolationGeneration).
struct StepCache;

// One time step's phases (predictor, exchange, corrector, exchange,
// vorticity, drag), on computeThreads() threads; fills pressure and friction
// drag per volume (0 for volumes that are not shell sectors) and the
// residual sums per volume (residuals.h; taken with the pressure drag).
void runStepPhases(SimulationState& s, std::vector<double>& pressureX,
                   std::vector<double>& frictionX, std::vector<ResidualSums>& residuals);

// The initial state's phases (global velocities, exchange, vorticity) on the
// calling thread.
void runInitialPhases(SimulationState& s);

}  // namespace brelvik
