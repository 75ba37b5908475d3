#pragma once
// Inter-volume interpolation data: for every interpolated point (type > 3)
// a stencil of donor points and weights that reproduce quadratics of the
// donor's grid coordinates at the point (see grid/stencil_search.h).
//
// The work runs on s.interpolThread, started and paused by the domain
// dialog's start/stop button (toggleInterpolation), or synchronously by
// runInterpolation. Points are independent and are computed in parallel in
// chunks; the results do not depend on the number of threads. Between chunks
// the thread honours pause requests, publishes the exact number of points
// done (s.interpolProcessed, s.reportInterpolProgress) and, when the volumes
// were rebuilt while it was paused (s.volumesGeneration changed), starts
// again from the first volume. Points already ready are never redone.
//
// A point for which no admissible stencil exists is counted in
// s.interpolFailedCount (the first one in s.interpolFailedVolume /
// s.interpolFailedPoint), keeps ready = 0 and is not tried again until the
// grid is rebuilt; interpolationReady then stays 0.

#include <functional>
#include <string>

#include "grid/stencil_search.h"
#include "state/core_error.h"
#include "state/simulation_state.h"

namespace brelvik {

// The domain dialog's start/stop button: pauses a running interpolation, or
// starts (first use: creates) the thread; reports the new run state.
void toggleInterpolation(SimulationState& s);

// The thread's body: passes over all volumes until every point is processed,
// then suspends itself; each later start runs one more pass.
void interpolationLoop(SimulationState& s, WorkerThread& self);

// Computes the stencil of point (i, j, k) of V from the donor described by
// `donor`. On success fills the entry's donor_points and weights and sets
// ready = 1; returns false (ready stays 0) when no admissible stencil exists.
bool computeStencil(const DonorLattice& donor, FiniteVolume& V, int i, int j, int k,
                    StencilWorkspace& ws);

// Computes every missing stencil on the calling thread (all cores). Pauses
// the interpolation thread first. progress(processed, total) is called after
// each chunk. Returns false (kStencilsMissing) when some points have no
// admissible stencil.
bool runInterpolation(SimulationState& s, std::function<void(int, int)> progress, CoreError* error);

}  // namespace brelvik
