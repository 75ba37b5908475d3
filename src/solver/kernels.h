#pragma once
// Predictor and corrector kernels of the flow solver: one stage of the
// two-stage (Heun) time march inside one volume.
//
// Unknowns are the primitive variables ro, u, v, w (components along the
// volume's local axes) and T; P = T*ro is rebuilt after every update. The
// spatial operator R is evaluated with second-order central differences in
// the curvilinear grid coordinates (xi, eta, zeta) through the volume's
// single-precision metric arrays:
//   predictor  U* = U^n + dt*R(U^n)
//   corrector  U^{n+1} = U^n + (dt/2)*(R(U^n) + R(U*))
// Only points of type 1 inside the computed box receive R and are updated;
// every other point keeps what the exchange and boundary passes give it.
//
// The kernels run over i-planes in parallel (OpenMP). Every point is
// computed independently with the same expression, so results are
// bit-identical for any number of threads.

#include "state/finite_volume.h"

namespace brelvik {

struct SimulationState;

// The flow parameters the kernels need, read once from the state per stage.
struct FlowParams {
  double dt = 0.001;
  double Re = 100.0;
  double M = 0.6;
  double Pr = 1.0;
  double k = 1.4;  // ratio of specific heats
  int schemeOrder = 2;
};
FlowParams flowParams(const SimulationState& s);

// Which set of five arrays receives R.
enum class RhsTarget { Predictor, Corrector };

// max(a, max(b, c)) where max(x, y) is x when x >= y, else y.
inline double max3(double a, double b, double c) {
  const double bc = b >= c ? b : c;
  return a >= bc ? a : bc;
}

// 2^n formed by repeated squaring of 2.0 (exact; the reciprocal for n < 0).
double powerOfTwo(int n);

// Cartesian derivatives of q at point n by the chain rule:
// Dx q = xi_x*dxi q + eta_x*deta q + zeta_x*dzeta q (metrics at n), with
// central first differences dxi q = 0.5*(1/h_xi)*(q[n+stride_i]-q[n-stride_i]).
double derivX(int n, const double* q, const FiniteVolume& vol);
double derivY(int n, const double* q, const FiniteVolume& vol);
double derivZ(int n, const double* q, const FiniteVolume& vol);

// Laplacian of q at n: the three metric-weighted second differences, the one
// mixed eta-zeta term (eta difference of the stored zeta differences qZeta)
// and the three first-difference terms weighted by lap_xi, lap_eta, lap_zeta.
double viscousLaplacian(const FiniteVolume& vol, const double* q, int n, const double* qZeta);

// ro, u, v, w, T -> ro_n, u_n, v_n, w_n, T_n at every point (P is not saved).
void saveState(FiniteVolume& vol);
// The fifteen products (ro_u ... Tw) at every point.
void computeProducts(FiniteVolume& vol);
// Zeta differences u_zeta ... T_zeta (computed i, k range, every j), then R
// at every computed point into the predictor or corrector arrays.
void computeRhs(FiniteVolume& vol, const FlowParams& p, RhsTarget target);
// q = q_n + dt*rhs_q_p, then P = T*ro (computed points of type 1).
void predictorUpdate(FiniteVolume& vol, double dt);
// q = q_n + (dt*0.5)*(rhs_q_c + rhs_q_p), then P = T*ro.
void correctorUpdate(FiniteVolume& vol, double dt);

// saveState, computeProducts, computeRhs (predictor), predictorUpdate.
void predictVolume(FiniteVolume& vol, const FlowParams& p);
// computeProducts, computeRhs (corrector), correctorUpdate.
void correctVolume(FiniteVolume& vol, const FlowParams& p);

// The same two stages on the calling thread only, for callers that hand
// out whole volumes to threads themselves.
void predictVolumeSerial(FiniteVolume& vol, const FlowParams& p);
void correctVolumeSerial(FiniteVolume& vol, const FlowParams& p);


}  // namespace brelvik
