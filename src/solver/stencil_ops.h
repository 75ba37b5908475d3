#pragma once
// Inline difference operators shared by the kernels, the exchange and the
// public derivative functions, so that every caller forms each derivative
// with exactly the same floating-point operations.

#include "state/finite_volume.h"

namespace brelvik {

// The step factors of one volume: 0.5/h per direction for the central first
// differences, and 1/h^2 for the Laplacian.
struct StepFactors {
  double hxi, heta, hzeta;  // 0.5 * (1/h)
  double Sx1, Se1, Sz1;     // 1/h
  double Sx3, Se3, Sz3;     // 1/h^2
  explicit StepFactors(const FiniteVolume& v)
      : hxi(0.5 * v.steps_xi[1]),
        heta(0.5 * v.steps_eta[1]),
        hzeta(0.5 * v.steps_zeta[1]),
        Sx1(v.steps_xi[1]),
        Se1(v.steps_eta[1]),
        Sz1(v.steps_zeta[1]),
        Sx3(v.steps_xi[3]),
        Se3(v.steps_eta[3]),
        Sz3(v.steps_zeta[3]) {}
};

// Central first difference along the stride `off`: h*(q[n+off] - q[n-off]).
inline double d1(const double* q, int n, int off, double h) {
  return h * (q[n + off] - q[n - off]);
}

// Central first difference of the product a*b, each product formed at its
// point: the same value as d1 of a stored array of a[m]*b[m] (IEEE
// multiplication is commutative and exact to the same rounding).
inline double d1p(const double* a, const double* b, int n, int off, double h) {
  return h * (a[n + off] * b[n + off] - a[n - off] * b[n - off]);
}

// Second difference along the stride `off`.
inline double d2(const double* q, int n, int off) { return q[n + off] - 2.0 * q[n] + q[n - off]; }

// Chain rule: m_xi*dxi + m_eta*deta + m_zeta*dzeta. The metrics are stored
// in single precision; a float argument is widened to double exactly, so a
// caller may pass them as stored or already widened.
inline double chain(double mxi, double meta, double mzeta, double dxi, double deta, double dzeta) {
  return mxi * dxi + meta * deta + mzeta * dzeta;
}

// The weights of the viscous Laplacian at a point: g_etaeta/h_eta^2,
// g_xixi/h_xi^2, g_zetazeta/h_zeta^2 and the mixed term's
// 2*g_etazeta*0.5/h_eta, each rounded as it is formed left to right, and the
// first-derivative weights lap_xi, lap_eta, lap_zeta (stored in single
// precision, widened exactly). They depend on the point only, so R forms
// them once for its four equations.
struct LaplacianWeights {
  double ee, xx, zz, ez;
  double xi, eta, zeta;
};
inline LaplacianWeights laplacianWeights(float gxx, float gee, float gzz, float gez, float lxi,
                                         float leta, float lzeta, const StepFactors& f) {
  return {double(gee) * f.Se3, double(gxx) * f.Sx3, double(gzz) * f.Sz3,
          2.0 * double(gez) * 0.5 * f.Se1, lxi, leta, lzeta};
}

// The viscous Laplacian from the differences of q at a point; mixedDiff is
// qZeta[n+stride_j] - qZeta[n-stride_j]. The terms are summed left to right:
//   w.ee*d2eta + w.xx*d2xi + w.zz*d2zeta + w.ez*mixedDiff + w.xi*dxi
//   + w.eta*deta + w.zeta*dzeta
inline double laplacian(const LaplacianWeights& w, double d2xi, double d2eta, double d2zeta,
                        double dxi, double deta, double dzeta, double mixedDiff) {
  return w.ee * d2eta + w.xx * d2xi + w.zz * d2zeta + w.ez * mixedDiff + w.xi * dxi + w.eta * deta +
         w.zeta * dzeta;
}

}  // namespace brelvik
