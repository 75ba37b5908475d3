#pragma once
// Inter-volume exchange and boundary conditions: after each stage of the
// time march, the points the kernels do not update are refilled.
// Interpolated points (types 4..7) take values from their donor volumes,
// ghost points beyond the sphere and the outer radius take boundary values,
// and the velocity divergence `div` is recomputed in between.
//
// Order matters and is part of the result: a donor stencil may contain
// points that are themselves interpolated or ghost points of the donor, and
// they contribute whatever they hold at that moment. The defining sequence:
//   boundary velocity (code 2); global velocities; velocity receivers;
//   boundary velocity (code 3); divergence at the computed points;
//   boundary div (2); div receivers; boundary div (3);
//   boundary scalars (2); scalar receivers (ro, T, then P = ro*T);
//   boundary scalars (3)
// where receivers are served with the codes 7, 6, 5, 4 in that order,
// volumes in ascending index, points with i outermost and k innermost. The
// code is the point type of the ghosts a boundary pass fills; boundary
// passes act only on shell-sector volumes (kind 2). The phases of the time
// step (step_plan.h) run this sequence in parallel with the same result.

#include "state/finite_volume.h"

namespace brelvik {

struct SimulationState;

// The whole sequence on the calling thread, with the global velocities of
// every volume first and no time-step stage: the exchange that makes a
// fresh initial field consistent.
void exchangeAll(SimulationState& s);

// Global x of the outermost computed point at or below which a column of the
// outer face is inflow.
inline constexpr double kInflowLimitX = 0.00001;

}  // namespace brelvik
