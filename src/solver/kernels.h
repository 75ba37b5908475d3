#pragma once
// Predictor and corrector kernels of the flow solver: one stage of the
// two-stage time march, over a slab of i-planes of one volume.
//
// The equations
// -------------
// Non-dimensional compressible Navier–Stokes equations with constant
// viscosity and conductivity. Free-stream density, temperature and speed are
// 1; Re, M, Pr and k (the ratio of specific heats, written gamma below) are
// the flow parameters. V = (u, v, w) are the components along the volume's
// local axes, div = du/dx + dv/dy + dw/dz (the stored array `div`, which the
// exchange recomputes after every stage), and D/Dt = d/dt + V.grad:
//
//   state        P = ro*T
//   continuity   d(ro)/dt = -div(ro V)
//   momentum     Du/Dt = -(dP/dx)/(ro gamma M^2) + (lap u + (d div/dx)/3)/(ro Re)
//                (likewise v with d/dy and w with d/dz)
//   energy       DT/Dt = -(gamma-1) P div/ro + gamma lap T/(ro Re Pr)
//                        + gamma (gamma-1) M^2 Phi/(ro Re)
//   dissipation  Phi = 2(du/dx)^2 + 2(dv/dy)^2 + 2(dw/dz)^2 + (dv/dx + du/dy)^2
//                      + (du/dz + dw/dx)^2 + (dv/dz + dw/dy)^2 - (2/3) div^2
//
// The scheme
// ----------
// Space: second-order central differences in the grid coordinates
// (xi, eta, zeta) with steps h_xi, h_eta, h_zeta, taken to x, y, z through
// the volume's single-precision metrics (chain rule, stencil_ops.h); the
// Laplacian carries the metric weights g, the one mixed eta-zeta term and
// the first-derivative terms lap_xi, lap_eta, lap_zeta.
//
// Convection in split (skew-symmetric) form, from the fifteen products
// ro*u .. T*w (twelve distinct values), each formed at the stencil point it
// is differenced at:
//   -V.grad q = -0.5*(div(q V) + V.grad q) + 0.5*q*div     (q = u, v, w, T)
//   -div(ro V) = -0.5*(div(ro V) + V.grad ro) - 0.5*ro*div
//
// Artificial dissipation, scalar, added to every equation:
//   A(q) = sum over d of (lambda_d / 2^schemeOrder) * d2_d q * (1/h_d^2) * h_d^2
// where d2_d q is the undivided second difference along d and
//   lambda_d = max(|U_d|, |U_d + c_d|, |U_d - c_d|),   U_d = grad(d).V,
//   c_d = sqrt(T |grad d|^2 / (gamma M^2))
// (the division by h^2 and the multiplication by h^2 are both performed).
//
// Time: predictor-corrector (Heun) with R the discrete right-hand side:
//   predictor  U* = U^n + dt*R(U^n)
//   corrector  U^{n+1} = U^n + (dt/2)*(R(U^n) + R(U*))
// with the exchange and boundary sequence after each stage. Only points of
// type 1 inside the computed box receive R and are updated; every other
// point keeps what the exchange and boundary passes give it; P = T*ro is
// rebuilt at every updated point.
//
// Literals kept deliberately short (they are part of the results):
// - the 2/3 of Phi is the decimal 0.66666666666666 (temperature equation);
// - |grad d|^2 of the sound term is summed in single precision, as the
//   metrics are stored;
// - the drag coefficients divide by pi = 3.14159265358979 (the state's
//   stored constant), and the friction's higher-order radial differences use
//   the decimals 0.66666666666666, 0.08333333333333 and 0.01666666666666
//   (coefficients.cpp); the friction's own 2/3 is the nearest double.
//
// Every point is computed independently with the same expression, so the
// result of a slab does not depend on which thread computes it or on how a
// volume is cut into slabs.

#include "state/finite_volume.h"

namespace brelvik {

struct SimulationState;

// The flow parameters the kernels need, read once from the state per step.
struct FlowParams {
  double dt = 0.001;
  double Re = 100.0;
  double M = 0.6;
  double Pr = 1.0;
  double k = 1.4;  // ratio of specific heats
  int schemeOrder = 2;
};
FlowParams flowParams(const SimulationState& s);

// The stage: which set of five arrays receives R (predictor rhs_*_p or
// corrector rhs_*_c), and which update runs.
enum class RhsTarget { Predictor, Corrector };

// max(a, max(b, c)) where max(x, y) is x when x >= y, else y.
inline double max3(double a, double b, double c) {
  const double bc = b >= c ? b : c;
  return a >= bc ? a : bc;
}

// 2^n formed by repeated squaring of 2.0 (exact; the reciprocal for n < 0).
double powerOfTwo(int n);

// The three steps of a stage, each over the planes firstPlane..lastPlane of
// one volume. A stage runs inputs on every plane 0..Nx, then R on every
// computed plane, then the update on every computed plane: R of plane i
// reads ro, u, v, w, T (and their products) of planes i-1..i+1, and the
// update of plane i writes values that R of planes i-1 and i+1 read.
//
// Inputs: (predictor only) ro, u, v, w, T -> ro_n .. T_n at every point of
// the planes; the corrector has none.
void stageInputsSlab(FiniteVolume& vol, RhsTarget stage, int firstPlane, int lastPlane);
// The zeta differences u_zeta .. T_zeta (every j, computed k range, every
// type), then R at the computed points into the stage's five arrays.
void rhsSlab(FiniteVolume& vol, const FlowParams& p, RhsTarget stage, int firstPlane,
             int lastPlane);
// Predictor q = q_n + dt*rhs_q_p; corrector q = q_n + (dt*0.5)*(rhs_q_c +
// rhs_q_p); then P = T*ro (computed points of type 1).
void updateSlab(FiniteVolume& vol, double dt, RhsTarget stage, int firstPlane, int lastPlane);

}  // namespace brelvik
