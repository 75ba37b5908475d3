#pragma once
// The far field: the values the ghost points beyond the outer radius take.
//
// Sound speed of the solver's scaling. The kernels advance, along a particle
// path (D/Dt) and without the viscous terms,
//   Dro/Dt = -ro div V
//   DV/Dt  = -grad P / (ro k M^2)
//   DT/Dt  = -(k - 1) T div V             (P = ro T)
// so DP/Dt = T Dro/Dt + ro DT/Dt = -k P div V. With p~ = P/(k M^2) these are
// the Euler equations of a perfect gas of ratio k and pressure p~, whose
// sound speed is c^2 = k p~/ro = P/(ro M^2) = T/M^2. Hence c = sqrt(T)/M:
// the free stream (T = 1, speed 1) has c = 1/M and Mach number M, as it
// should. (The kernels' spectral radius uses sqrt(T/k)/M, a scaling of the
// dissipation, not this speed.)
//
// Absorbing far field. Along the outward normal n of an outer ghost point
// the one-dimensional Euler equations carry the Riemann invariants
//   R+ = Vn + 2c/(k - 1)   (outgoing, speed Vn + c)
//   R- = Vn - 2c/(k - 1)   (incoming, speed Vn - c)
// and the entropy S = P/ro^k (here T ro^(1-k)) and the tangential velocity
// with the flow. At subsonic inflow (Vn < 0) R-, S and the tangential
// velocity come from the free stream and R+ from the interior; at subsonic
// outflow only R- comes from the free stream. Supersonic inflow takes the
// whole free stream, supersonic outflow the whole interior state.

#include "state/finite_volume.h"
#include "state/simulation_state.h"

namespace brelvik {

// The far field the boundary passes apply during one exchange sequence.
struct FarFieldParams {
  FarField kind = FarField::Reflecting;
  double gam = 1.4;  // k
  double M = 0.6;
};

// The far field of the case.
FarFieldParams farFieldParams(const SimulationState& s);

// Primitive state at one point; velocity in the volume's local axes.
struct FlowPoint {
  double ro = 1, u = 0, v = 0, w = 0, T = 1;
};

// The boundary state of the absorbing far field from the interior state,
// the unit outward normal n and the free-stream velocity (density and
// temperature 1), all in the same axes.
FlowPoint absorbingState(const FlowPoint& interior, const Vec3& n, const Vec3& freeStream,
                         double gam, double M);

// Unit outward normal at point `n` of a shell volume, in its local axes: the
// direction from the sphere's centre (the volume's origin).
Vec3 outwardNormal(const FiniteVolume& vol, int n);

}  // namespace brelvik
