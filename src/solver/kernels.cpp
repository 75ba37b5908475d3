#include "solver/kernels.h"

#include <algorithm>
#include <cmath>

#include "solver/exact_quotient.h"
#include "solver/plane_chunks.h"
#include "solver/stencil_ops.h"
#include "state/simulation_state.h"

namespace brelvik {

FlowParams flowParams(const SimulationState& s) {
  FlowParams p;
  p.dt = s.dt;
  p.Re = s.Re;
  p.M = s.M;
  p.Pr = s.Pr;
  p.k = s.k;
  p.schemeOrder = s.schemeOrder;
  return p;
}

double powerOfTwo(int n) {
  double result = 1.0;
  double base = 2.0;
  unsigned e = n < 0 ? unsigned(-(long long)n) : unsigned(n);
  while (e != 0) {
    if (e & 1u) result *= base;
    base *= base;
    e >>= 1;
  }
  return n < 0 ? 1.0 / result : result;
}

namespace {

// --- Per-plane pieces; every one touches only points of its own i-plane. ---

void saveStatePlane(FiniteVolume& v, int i) {
  const int n0 = i * v.stride_i, n1 = n0 + v.stride_i;
  const double* __restrict ro = v.ro.data();
  const double* __restrict u = v.u.data();
  const double* __restrict vv = v.v.data();
  const double* __restrict w = v.w.data();
  const double* __restrict T = v.T.data();
  double* __restrict ro_n = v.ro_n.data();
  double* __restrict u_n = v.u_n.data();
  double* __restrict v_n = v.v_n.data();
  double* __restrict w_n = v.w_n.data();
  double* __restrict T_n = v.T_n.data();
#pragma GCC ivdep
  for (int n = n0; n < n1; ++n) {
    ro_n[n] = ro[n];
    u_n[n] = u[n];
    v_n[n] = vv[n];
    w_n[n] = w[n];
    T_n[n] = T[n];
  }
}

// Zeta differences of u, v, w, T over every j of plane i (the eta
// neighbours of the computed points need them), computed k range.
void zetaPlane(FiniteVolume& v, int i) {
  const double hz = 0.5 * v.steps_zeta[1];
  const double* __restrict u = v.u.data();
  const double* __restrict vq = v.v.data();
  const double* __restrict w = v.w.data();
  const double* __restrict T = v.T.data();
  double* __restrict uz = v.u_zeta.data();
  double* __restrict vz = v.v_zeta.data();
  double* __restrict wz = v.w_zeta.data();
  double* __restrict Tz = v.T_zeta.data();
  for (int j = 0; j <= v.Ny; ++j) {
    const int base = i * v.stride_i + j * v.stride_j;
#pragma GCC ivdep
    for (int k = v.k_begin; k <= v.k_end; ++k) {
      const int n = base + k;
      uz[n] = d1(u, n, 1, hz);
      vz[n] = d1(vq, n, 1, hz);
      wz[n] = d1(w, n, 1, hz);
      Tz[n] = d1(T, n, 1, hz);
    }
  }
}

// Everything R reads, for one volume and stage.
struct RhsInputs {
  StepFactors f;
  int si, sj;
  double gam, M, Re, Pr;
  double invPow;  // 1/2^schemeOrder (exact: a power of two)
  // Whether the quotients may be taken by exactQuotient (the constant
  // divisors k and M in range), and the reciprocals of those divisors.
  bool fastQuotients;
  double rGam, rM;
  double Sx2, Sx3, Se2, Se3, Sz2, Sz3;
  const double *ro, *u, *v, *w, *P, *T, *dv;
  const double *uz, *vz, *wz, *Tz;
  const float *xx, *xy, *xz, *ex, *ey, *ez, *zx, *zy, *zz;
  const float *gxx, *gee, *gzz, *gez, *lxi, *leta, *lzeta;

  RhsInputs(const FiniteVolume& vol, const FlowParams& p)
      : f(vol),
        si(vol.stride_i),
        sj(vol.stride_j),
        gam(p.k),
        M(p.M),
        Re(p.Re),
        Pr(p.Pr),
        invPow(1.0 / powerOfTwo(p.schemeOrder)),
        fastQuotients(kExactQuotientByFma && quotientDivisorInRange(p.k) &&
                      quotientDivisorInRange(p.M)),
        rGam(1.0 / p.k),
        rM(1.0 / p.M),
        Sx2(vol.steps_xi[2]),
        Sx3(vol.steps_xi[3]),
        Se2(vol.steps_eta[2]),
        Se3(vol.steps_eta[3]),
        Sz2(vol.steps_zeta[2]),
        Sz3(vol.steps_zeta[3]),
        ro(vol.ro.data()),
        u(vol.u.data()),
        v(vol.v.data()),
        w(vol.w.data()),
        P(vol.P.data()),
        T(vol.T.data()),
        dv(vol.div.data()),
        uz(vol.u_zeta.data()),
        vz(vol.v_zeta.data()),
        wz(vol.w_zeta.data()),
        Tz(vol.T_zeta.data()),
        xx(vol.xi_x.data()),
        xy(vol.xi_y.data()),
        xz(vol.xi_z.data()),
        ex(vol.eta_x.data()),
        ey(vol.eta_y.data()),
        ez(vol.eta_z.data()),
        zx(vol.zeta_x.data()),
        zy(vol.zeta_y.data()),
        zz(vol.zeta_z.data()),
        gxx(vol.g_xixi.data()),
        gee(vol.g_etaeta.data()),
        gzz(vol.g_zetazeta.data()),
        gez(vol.g_etazeta.data()),
        lxi(vol.lap_xi.data()),
        leta(vol.lap_eta.data()),
        lzeta(vol.lap_zeta.data()) {}
};

// Values of one chunk that several equations share: the dissipation
// coefficients lambda_d/2^schemeOrder, the grid-direction differences of P
// and div (each momentum equation takes them along its own axis) and the
// nine velocity derivatives.
struct ChunkScratch {
  double axi[kPlaneChunk], aeta[kPlaneChunk], azeta[kPlaneChunk];
  double dP[3][kPlaneChunk], dDiv[3][kPlaneChunk];  // along xi, eta, zeta
  double grad[9][kPlaneChunk];  // Dx u, Dy u, Dz u, Dx v, ..., Dz w
  double out[5][kPlaneChunk];   // R of ro, u, v, w, T
  // 1/(ro Re), 1/(ro k M^2), 1/(3 ro Re): the divisors of the viscous,
  // pressure and divergence terms of all three momentum equations.
  double yRe[kPlaneChunk], yPress[kPlaneChunk], yVisc3[kPlaneChunk];
  // The Laplacian's weights at each point (laplacianWeights), shared by the
  // three momentum equations and the temperature equation.
  double lapEE[kPlaneChunk], lapXX[kPlaneChunk], lapZZ[kPlaneChunk], lapEZ[kPlaneChunk];
  double lapXi[kPlaneChunk], lapEta[kPlaneChunk], lapZeta[kPlaneChunk];
  // The nine metrics widened to double (xi_x, xi_y, xi_z, eta_x, ..., zeta_z),
  // converted once for the chunk's five equations.
  double met[9][kPlaneChunk];
  // The grid-direction differences of the momentum loops' own component,
  // from their convective loop for their viscous one.
  double dq[3][kPlaneChunk];
};

// a / b: by exactQuotient from y = 1/b when Fast (setting outOfRange when a
// is outside its range; the caller then evaluates the chunk again with
// Fast false), else by the division.
template <bool Fast>
inline double quotient(double a, double b, double y, bool& outOfRange) {
  if constexpr (Fast) {
    outOfRange |= !quotientNumeratorInRange(a);
    return exactQuotient(a, b, y);
  } else {
    return a / b;
  }
}

// Cartesian derivatives of the product a*b at n with the metrics at n; the
// product is formed at each neighbour (d1p), the value a stored product
// array would hold there.
// (The metrics come from the chunk's scratch row b, the point n.)
#define BRELVIK_DIFFS(fa, fb) \
  d1p(fa, fb, n, si, f.hxi), d1p(fa, fb, n, sj, f.heta), d1p(fa, fb, n, 1, f.hzeta)
#define BRELVIK_DX(fa, fb) chain(sc.met[0][b], sc.met[3][b], sc.met[6][b], BRELVIK_DIFFS(fa, fb))
#define BRELVIK_DY(fa, fb) chain(sc.met[1][b], sc.met[4][b], sc.met[7][b], BRELVIK_DIFFS(fa, fb))
#define BRELVIK_DZ(fa, fb) chain(sc.met[2][b], sc.met[5][b], sc.met[8][b], BRELVIK_DIFFS(fa, fb))

// Spectral radii and the density equation. The equations are evaluated in
// separate loops over the chunk so that each loop keeps few values live
// (one loop for all five spills heavily); the expressions are unchanged.
template <bool Fast>
int densityChunk(const RhsInputs& in, ChunkScratch& sc, int c0, int c1) {
  const StepFactors& f = in.f;
  const int si = in.si, sj = in.sj;
  const double gam = in.gam, M = in.M, rGam = in.rGam, rM = in.rM;
  int outOfRange = 0;
  // c^2 / g = T / k / M / M, each division rounded in that order.
  // With Fast, one check of T*g covers the three quotients: k and M are in
  // [2^-60, 2^60], so a numerator of 0 or of magnitude in [2^-700, 2^700]
  // keeps every partial quotient 0 or within [2^-880, 2^880], inside
  // exactQuotient's range.
  auto soundSquared = [&](double Tg, bool& bad) {
    if constexpr (Fast) {
      const double t = std::fabs(Tg);
      bad |= !((t <= 0x1p700) & ((t >= 0x1p-700) | (t == 0.0)));
      return exactQuotient(exactQuotient(exactQuotient(Tg, gam, rGam), M, rM), M, rM);
    } else {
      return Tg / gam / M / M;
    }
  };
#pragma GCC ivdep
  for (int n = c0; n < c1; ++n) {
    const int b = n - c0;
    const double un = in.u[n], vn = in.v[n], wn = in.w[n], ron = in.ro[n], Tn = in.T[n];
    const double divn = in.dv[n];
    const float fxx = in.xx[n], fxy = in.xy[n], fxz = in.xz[n];
    const float fex = in.ex[n], fey = in.ey[n], fez = in.ez[n];
    const float fzx = in.zx[n], fzy = in.zy[n], fzz = in.zz[n];
    sc.met[0][b] = fxx;
    sc.met[1][b] = fxy;
    sc.met[2][b] = fxz;
    sc.met[3][b] = fex;
    sc.met[4][b] = fey;
    sc.met[5][b] = fez;
    sc.met[6][b] = fzx;
    sc.met[7][b] = fzy;
    sc.met[8][b] = fzz;
    // The squared metric norms stay in single precision.
    const float gxi = fxx * fxx + fxy * fxy + fxz * fxz;
    const float geta = fex * fex + fey * fey + fez * fez;
    const float gzeta = fzx * fzx + fzy * fzy + fzz * fzz;
    const double Uxi = double(fxx) * un + double(fxy) * vn + double(fxz) * wn;
    const double Ueta = double(fex) * un + double(fey) * vn + double(fez) * wn;
    const double Uzeta = double(fzx) * un + double(fzy) * vn + double(fzz) * wn;
    // One int flag update per iteration (a plain reduction, which
    // vectorises; a chain of int updates does not).
    bool bad = false;
    const double cxi = std::sqrt(soundSquared(Tn * double(gxi), bad));
    const double ceta = std::sqrt(soundSquared(Tn * double(geta), bad));
    const double czeta = std::sqrt(soundSquared(Tn * double(gzeta), bad));
    outOfRange |= int(bad);
    const double axi = max3(std::fabs(Uxi), std::fabs(Uxi + cxi), std::fabs(Uxi - cxi)) * in.invPow;
    const double aeta =
        max3(std::fabs(Ueta), std::fabs(Ueta + ceta), std::fabs(Ueta - ceta)) * in.invPow;
    const double azeta =
        max3(std::fabs(Uzeta), std::fabs(Uzeta + czeta), std::fabs(Uzeta - czeta)) * in.invPow;
    sc.axi[b] = axi;
    sc.aeta[b] = aeta;
    sc.azeta[b] = azeta;
    sc.dP[0][b] = d1(in.P, n, si, f.hxi);
    sc.dP[1][b] = d1(in.P, n, sj, f.heta);
    sc.dP[2][b] = d1(in.P, n, 1, f.hzeta);
    sc.dDiv[0][b] = d1(in.dv, n, si, f.hxi);
    sc.dDiv[1][b] = d1(in.dv, n, sj, f.heta);
    sc.dDiv[2][b] = d1(in.dv, n, 1, f.hzeta);

    const double ro_x = d1(in.ro, n, si, f.hxi), ro_e = d1(in.ro, n, sj, f.heta),
                 ro_z = d1(in.ro, n, 1, f.hzeta);
    const double Dxro = chain(fxx, fex, fzx, ro_x, ro_e, ro_z);
    const double Dyro = chain(fxy, fey, fzy, ro_x, ro_e, ro_z);
    const double Dzro = chain(fxz, fez, fzz, ro_x, ro_e, ro_z);
    const double Aro = axi * d2(in.ro, n, si) * in.Sx3 * in.Sx2 +
                       aeta * d2(in.ro, n, sj) * in.Se3 * in.Se2 +
                       azeta * d2(in.ro, n, 1) * in.Sz3 * in.Sz2;
    sc.out[0][b] = -0.5 * (BRELVIK_DX(in.u, in.ro) + BRELVIK_DY(in.v, in.ro) + BRELVIK_DZ(in.w, in.ro) +
                           un * Dxro + vn * Dyro + wn * Dzro) -
                   0.5 * ron * divn + Aro;
  }
  return outOfRange;
}

void laplacianWeightsChunk(const RhsInputs& in, ChunkScratch& sc, int c0, int c1) {
#pragma GCC ivdep
  for (int n = c0; n < c1; ++n) {
    const int b = n - c0;
    const LaplacianWeights w =
        laplacianWeights(in.gxx[n], in.gee[n], in.gzz[n], in.gez[n], in.lxi[n], in.leta[n], in.lzeta[n], in.f);
    sc.lapEE[b] = w.ee;
    sc.lapXX[b] = w.xx;
    sc.lapZZ[b] = w.zz;
    sc.lapEZ[b] = w.ez;
    sc.lapXi[b] = w.xi;
    sc.lapEta[b] = w.eta;
    sc.lapZeta[b] = w.zeta;
  }
}

inline LaplacianWeights weightsAt(const ChunkScratch& sc, int b) {
  return {sc.lapEE[b], sc.lapXX[b], sc.lapZZ[b], sc.lapEZ[b], sc.lapXi[b], sc.lapEta[b], sc.lapZeta[b]};
}

// The reciprocals of the momentum equations' divisors, for exactQuotient.
int reciprocalsChunk(const RhsInputs& in, ChunkScratch& sc, int c0, int c1) {
  const double gam = in.gam, M = in.M, Re = in.Re;
  int outOfRange = 0;
#pragma GCC ivdep
  for (int n = c0; n < c1; ++n) {
    const int b = n - c0;
    const double ron = in.ro[n];
    const double roRe = ron * Re, roPress = ron * gam * M * M, roVisc3 = ron * Re * 3.0;
    outOfRange |= int(!quotientDivisorInRange(roRe) | !quotientDivisorInRange(roPress) |
                      !quotientDivisorInRange(roVisc3));
    sc.yRe[b] = 1.0 / roRe;
    sc.yPress[b] = 1.0 / roPress;
    sc.yVisc3[b] = 1.0 / roVisc3;
  }
  return outOfRange;
}

// The momentum equation of the component q (c = 0, 1, 2 for u, v, w) with
// its product row q*(u, v, w), its zeta differences qz and the metrics
// (mx, my, mz) of its own Cartesian direction (scratch rows c, 3 + c, 6 + c). Two loops: the convective
// part first (kept in the scratch), then the viscous, pressure and
// dissipation terms added in the same order as one expression would.
template <bool Fast>
int momentumChunk(const RhsInputs& in, ChunkScratch& sc, int c0, int c1, int c,
                  const double* __restrict q, const double* __restrict qz) {
  const StepFactors& f = in.f;
  const int si = in.si, sj = in.sj;
  const double gam = in.gam, M = in.M, Re = in.Re;
  int outOfRange = 0;
  double* __restrict out = sc.out[1 + c];
  double* __restrict gx = sc.grad[3 * c];
  double* __restrict gy = sc.grad[3 * c + 1];
  double* __restrict gz = sc.grad[3 * c + 2];
#pragma GCC ivdep
  for (int n = c0; n < c1; ++n) {
    const int b = n - c0;
    const double un = in.u[n], vn = in.v[n], wn = in.w[n], qn = q[n];
    const double divn = in.dv[n];
    const double q_x = d1(q, n, si, f.hxi), q_e = d1(q, n, sj, f.heta), q_z = d1(q, n, 1, f.hzeta);
    const double Dxq = chain(sc.met[0][b], sc.met[3][b], sc.met[6][b], q_x, q_e, q_z);
    const double Dyq = chain(sc.met[1][b], sc.met[4][b], sc.met[7][b], q_x, q_e, q_z);
    const double Dzq = chain(sc.met[2][b], sc.met[5][b], sc.met[8][b], q_x, q_e, q_z);
    gx[b] = Dxq;
    gy[b] = Dyq;
    gz[b] = Dzq;
    sc.dq[0][b] = q_x;
    sc.dq[1][b] = q_e;
    sc.dq[2][b] = q_z;
    out[b] = 0.5 * qn * divn - 0.5 * (BRELVIK_DX(in.u, q) + BRELVIK_DY(in.v, q) + BRELVIK_DZ(in.w, q) + un * Dxq +
                                      vn * Dyq + wn * Dzq);
  }
#pragma GCC ivdep
  for (int n = c0; n < c1; ++n) {
    const int b = n - c0;
    const double ron = in.ro[n];
    const double q_x = sc.dq[0][b], q_e = sc.dq[1][b], q_z = sc.dq[2][b];
    const double q2x = d2(q, n, si), q2e = d2(q, n, sj), q2z = d2(q, n, 1);
    const double Lq =
        laplacian(weightsAt(sc, b), q2x, q2e, q2z, q_x, q_e, q_z, qz[n + sj] - qz[n - sj]);
    const double mx = sc.met[c][b], my = sc.met[3 + c][b], mz = sc.met[6 + c][b];
    const double DaP = chain(mx, my, mz, sc.dP[0][b], sc.dP[1][b], sc.dP[2][b]);
    const double Dadiv = chain(mx, my, mz, sc.dDiv[0][b], sc.dDiv[1][b], sc.dDiv[2][b]);
    const double roRe = ron * Re;
    const double roPress = ron * gam * M * M;
    const double roVisc3 = ron * Re * 3.0;
    const double A = sc.axi[b] * q2x * in.Sx3 * in.Sx2 + sc.aeta[b] * q2e * in.Se3 * in.Se2 +
                     sc.azeta[b] * q2z * in.Sz3 * in.Sz2;
    bool bad = false;
    out[b] = out[b] + quotient<Fast>(Lq, roRe, sc.yRe[b], bad) -
             quotient<Fast>(DaP, roPress, sc.yPress[b], bad) +
             quotient<Fast>(Dadiv, roVisc3, sc.yVisc3[b], bad) + A;
    outOfRange |= int(bad);
  }
  return outOfRange;
}

// The temperature equation, with the dissipation function from the
// velocity derivatives the momentum loops left in the scratch.
template <bool Fast>
int temperatureChunk(const RhsInputs& in, ChunkScratch& sc, int c0, int c1) {
  const StepFactors& f = in.f;
  const int si = in.si, sj = in.sj;
  const double gam = in.gam, M = in.M, Re = in.Re, Pr = in.Pr;
  int outOfRange = 0;
#pragma GCC ivdep
  for (int n = c0; n < c1; ++n) {
    const int b = n - c0;
    const double un = in.u[n], vn = in.v[n], wn = in.w[n], ron = in.ro[n], Tn = in.T[n];
    const double Pn = in.P[n], divn = in.dv[n];
    const double T_x = d1(in.T, n, si, f.hxi), T_e = d1(in.T, n, sj, f.heta),
                 T_z = d1(in.T, n, 1, f.hzeta);
    const double T2x = d2(in.T, n, si), T2e = d2(in.T, n, sj), T2z = d2(in.T, n, 1);
    const double LT =
        laplacian(weightsAt(sc, b), T2x, T2e, T2z, T_x, T_e, T_z, in.Tz[n + sj] - in.Tz[n - sj]);
    const double DxT = chain(sc.met[0][b], sc.met[3][b], sc.met[6][b], T_x, T_e, T_z);
    const double DyT = chain(sc.met[1][b], sc.met[4][b], sc.met[7][b], T_x, T_e, T_z);
    const double DzT = chain(sc.met[2][b], sc.met[5][b], sc.met[8][b], T_x, T_e, T_z);
    const double Dxu = sc.grad[0][b], Dyu = sc.grad[1][b], Dzu = sc.grad[2][b];
    const double Dxv = sc.grad[3][b], Dyv = sc.grad[4][b], Dzv = sc.grad[5][b];
    const double Dxw = sc.grad[6][b], Dyw = sc.grad[7][b], Dzw = sc.grad[8][b];
    const double sxy = Dxv + Dyu, sxz = Dzu + Dxw, syz = Dzv + Dyw;
    const double Phi = 2.0 * (Dxu * Dxu) + 2.0 * (Dyv * Dyv) + 2.0 * (Dzw * Dzw) + sxy * sxy +
                       sxz * sxz + syz * syz - 0.66666666666666 * (divn * divn);
    const double A = sc.axi[b] * T2x * in.Sx3 * in.Sx2 + sc.aeta[b] * T2e * in.Se3 * in.Se2 +
                     sc.azeta[b] * T2z * in.Sz3 * in.Sz2;
    const double roRe = ron * Re;
    bool bad = false;
    sc.out[4][b] = 0.5 * Tn * divn -
                   0.5 * (BRELVIK_DX(in.u, in.T) + BRELVIK_DY(in.v, in.T) + BRELVIK_DZ(in.w, in.T) + un * DxT +
                          vn * DyT + wn * DzT) +
                   gam * LT / (ron * Re * Pr) + A - (gam - 1.0) * Pn * divn / ron +
                   quotient<Fast>(Phi * gam * (gam - 1.0) * M * M, roRe, sc.yRe[b], bad);
    outOfRange |= int(bad);
  }
  return outOfRange;
}

#undef BRELVIK_DX
#undef BRELVIK_DY
#undef BRELVIK_DZ
#undef BRELVIK_DIFFS

// R of the chunk into sc.out; nonzero when Fast met a quotient out of
// exactQuotient's range (the chunk's values are then not to be used).
template <bool Fast>
int rhsChunk(const RhsInputs& in, ChunkScratch& sc, int c0, int c1) {
  int outOfRange = densityChunk<Fast>(in, sc, c0, c1);
  if constexpr (Fast) outOfRange |= reciprocalsChunk(in, sc, c0, c1);
  laplacianWeightsChunk(in, sc, c0, c1);
  outOfRange |= momentumChunk<Fast>(in, sc, c0, c1, 0, in.u, in.uz);
  outOfRange |= momentumChunk<Fast>(in, sc, c0, c1, 1, in.v, in.vz);
  outOfRange |= momentumChunk<Fast>(in, sc, c0, c1, 2, in.w, in.wz);
  outOfRange |= temperatureChunk<Fast>(in, sc, c0, c1);
  return outOfRange;
}

// R at the computed points of plane i.
void rhsPlane(FiniteVolume& v, const FlowParams& p, RhsTarget target, int i) {
  const RhsInputs in(v, p);
  const bool pred = target == RhsTarget::Predictor;
  double* __restrict r_ro = pred ? v.rhs_ro_p.data() : v.rhs_ro_c.data();
  double* __restrict r_u = pred ? v.rhs_u_p.data() : v.rhs_u_c.data();
  double* __restrict r_v = pred ? v.rhs_v_p.data() : v.rhs_v_c.data();
  double* __restrict r_w = pred ? v.rhs_w_p.data() : v.rhs_w_c.data();
  double* __restrict r_T = pred ? v.rhs_T_p.data() : v.rhs_T_c.data();
  ChunkScratch sc;
  // Every value of the chunk is a function of the inputs alone, so a chunk
  // with a quotient out of exactQuotient's range is simply evaluated again.
  auto eval = [&](int c0, int c1) {
    if (in.fastQuotients && rhsChunk<true>(in, sc, c0, c1) == 0) return;
    rhsChunk<false>(in, sc, c0, c1);
  };
  // Only computed points receive R; the others keep their old values.
  forBoxPlaneChunks(v, i, eval, [&](int n, int b) {
    r_ro[n] = sc.out[0][b];
    r_u[n] = sc.out[1][b];
    r_v[n] = sc.out[2][b];
    r_w[n] = sc.out[3][b];
    r_T[n] = sc.out[4][b];
  });
}

// The update stores straight into the flow arrays with masked stores: the
// values need no buffer, and the points of the box of type 1 are chosen
// by inBox (boxRowMask) and the type.
template <bool Corrector>
void updatePlane(FiniteVolume& v, double dt, int i, const int* __restrict inBox) {
  double* __restrict ro = v.ro.data();
  double* __restrict u = v.u.data();
  double* __restrict vq = v.v.data();
  double* __restrict w = v.w.data();
  double* __restrict T = v.T.data();
  double* __restrict P = v.P.data();
  const int* __restrict tp = v.type_point.data();
  const double* __restrict ro_n = v.ro_n.data();
  const double* __restrict u_n = v.u_n.data();
  const double* __restrict v_n = v.v_n.data();
  const double* __restrict w_n = v.w_n.data();
  const double* __restrict T_n = v.T_n.data();
  const double* __restrict pro = v.rhs_ro_p.data();
  const double* __restrict pu = v.rhs_u_p.data();
  const double* __restrict pv = v.rhs_v_p.data();
  const double* __restrict pw = v.rhs_w_p.data();
  const double* __restrict pT = v.rhs_T_p.data();
  const double* __restrict cro = v.rhs_ro_c.data();
  const double* __restrict cu = v.rhs_u_c.data();
  const double* __restrict cv = v.rhs_v_c.data();
  const double* __restrict cw = v.rhs_w_c.data();
  const double* __restrict cT = v.rhs_T_c.data();
  const double half = dt * 0.5;
  const BoxPlaneRange range = boxPlaneRange(v, i);
  const int nStart = range.first, nEnd = range.last;
#pragma GCC ivdep
  for (int n = nStart; n <= nEnd; ++n) {
    if (inBox[n - nStart] & (tp[n] == 1)) {
      double nro, nu, nv, nw, nT;
      if constexpr (Corrector) {
        nro = ro_n[n] + half * (cro[n] + pro[n]);
        nu = u_n[n] + half * (cu[n] + pu[n]);
        nv = v_n[n] + half * (cv[n] + pv[n]);
        nw = w_n[n] + half * (cw[n] + pw[n]);
        nT = T_n[n] + half * (cT[n] + pT[n]);
      } else {
        nro = ro_n[n] + dt * pro[n];
        nu = u_n[n] + dt * pu[n];
        nv = v_n[n] + dt * pv[n];
        nw = w_n[n] + dt * pw[n];
        nT = T_n[n] + dt * pT[n];
      }
      ro[n] = nro;
      u[n] = nu;
      vq[n] = nv;
      w[n] = nw;
      T[n] = nT;
      P[n] = nT * nro;
    }
  }
}

}  // namespace

void stageInputsSlab(FiniteVolume& vol, RhsTarget stage, int firstPlane, int lastPlane) {
  for (int i = firstPlane; i <= lastPlane; ++i) {
    if (stage == RhsTarget::Predictor) saveStatePlane(vol, i);
  }
}

void rhsSlab(FiniteVolume& vol, const FlowParams& p, RhsTarget stage, int firstPlane,
             int lastPlane) {
  for (int i = firstPlane; i <= lastPlane; ++i) {
    zetaPlane(vol, i);
    rhsPlane(vol, p, stage, i);
  }
}

void updateSlab(FiniteVolume& vol, double dt, RhsTarget stage, int firstPlane, int lastPlane) {
  const int* inBox = boxRowMask(vol);
  for (int i = firstPlane; i <= lastPlane; ++i) {
    if (stage == RhsTarget::Predictor)
      updatePlane<false>(vol, dt, i, inBox);
    else
      updatePlane<true>(vol, dt, i, inBox);
  }
}

}  // namespace brelvik
