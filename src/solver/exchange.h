#pragma once
// Inter-volume exchange and boundary conditions: after each stage of the
// time march, the points the kernels do not update are refilled.
// Interpolated points (types 4..7) take values from their donor volumes,
// ghost points beyond the sphere and the outer radius take boundary values,
// and the velocity divergence `div` is recomputed in between.
//
// Order matters and is part of the result: a donor stencil may contain
// points that are themselves interpolated or ghost points of the donor, and
// they contribute whatever they hold at that moment. Hence exchanges serve
// the codes 7, 6, 5, 4 in that order, volumes in ascending index, points with
// i outermost and k innermost, and every boundary pass runs with code 2
// before and code 3 after the exchange.

#include "state/finite_volume.h"

namespace brelvik {

struct SimulationState;

// Global velocity at every point of every volume, then the interpolated
// velocity (as global components, rotated into the receiver's local axes).
void exchangeVelocity(SimulationState& s);
// div at the interpolated points.
void exchangeDivergence(SimulationState& s);
// ro and T at the interpolated points, then P = ro*T there.
void exchangeScalars(SimulationState& s);

// Boundary conditions at the ghost points whose type equals `code`, on every
// allocated shell-sector volume (kind 2): the outer face split into inflow
// (global x of the outermost computed point <= 0.00001) and outflow, and the
// sphere face.
void boundaryVelocity(SimulationState& s, int code);
void boundaryDivergence(SimulationState& s, int code);
void boundaryScalars(SimulationState& s, int code);

// div = Dy v + Dx u + Dz w at the computed points (type 1).
void computeDivergence(FiniteVolume& vol);
// vixr = 0.5*|curl of the local velocity| at the computed points (type 1).
void computeVorticity(FiniteVolume& vol);
// The same on every allocated volume (one parallel region for all).
void computeDivergenceAll(SimulationState& s);
void computeVorticityAll(SimulationState& s);

// The whole sequence: velocity (boundary 2, exchange, boundary 3);
// divergence of every volume; div (boundary 2, exchange, boundary 3);
// scalars (boundary 2, exchange, boundary 3).
void exchangeAll(SimulationState& s);

// Global x of the outermost computed point at or below which a column of the
// outer face is inflow.
inline constexpr double kInflowLimitX = 0.00001;

}  // namespace brelvik
