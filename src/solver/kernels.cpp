#include "solver/kernels.h"

#include <algorithm>
#include <cmath>

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

double derivX(int n, const double* q, const FiniteVolume& vol) {
  const StepFactors f(vol);
  return chain(vol.xi_x[n], vol.eta_x[n], vol.zeta_x[n], d1(q, n, vol.stride_i, f.hxi),
               d1(q, n, vol.stride_j, f.heta), d1(q, n, 1, f.hzeta));
}

double derivY(int n, const double* q, const FiniteVolume& vol) {
  const StepFactors f(vol);
  return chain(vol.xi_y[n], vol.eta_y[n], vol.zeta_y[n], d1(q, n, vol.stride_i, f.hxi),
               d1(q, n, vol.stride_j, f.heta), d1(q, n, 1, f.hzeta));
}

double derivZ(int n, const double* q, const FiniteVolume& vol) {
  const StepFactors f(vol);
  return chain(vol.xi_z[n], vol.eta_z[n], vol.zeta_z[n], d1(q, n, vol.stride_i, f.hxi),
               d1(q, n, vol.stride_j, f.heta), d1(q, n, 1, f.hzeta));
}

double viscousLaplacian(const FiniteVolume& vol, const double* q, int n, const double* qZeta) {
  const StepFactors f(vol);
  const int si = vol.stride_i, sj = vol.stride_j;
  return laplacian(vol.g_xixi[n], vol.g_etaeta[n], vol.g_zetazeta[n], vol.g_etazeta[n],
                   vol.lap_xi[n], vol.lap_eta[n], vol.lap_zeta[n], f, d2(q, n, si), d2(q, n, sj),
                   d2(q, n, 1), d1(q, n, si, f.hxi), d1(q, n, sj, f.heta), d1(q, n, 1, f.hzeta),
                   qZeta[n + sj] - qZeta[n - sj]);
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

void productsPlane(FiniteVolume& v, int i) {
  const int n0 = i * v.stride_i, n1 = n0 + v.stride_i;
  const double* __restrict ro = v.ro.data();
  const double* __restrict u = v.u.data();
  const double* __restrict vq = v.v.data();
  const double* __restrict w = v.w.data();
  const double* __restrict T = v.T.data();
  double* __restrict ro_u = v.ro_u.data();
  double* __restrict ro_v = v.ro_v.data();
  double* __restrict ro_w = v.ro_w.data();
  double* __restrict uu = v.uu.data();
  double* __restrict uv = v.uv.data();
  double* __restrict uw = v.uw.data();
  double* __restrict vu = v.vu.data();
  double* __restrict vv = v.vv.data();
  double* __restrict vw = v.vw.data();
  double* __restrict wu = v.wu.data();
  double* __restrict wv = v.wv.data();
  double* __restrict ww = v.ww.data();
  double* __restrict Tu = v.Tu.data();
  double* __restrict Tv = v.Tv.data();
  double* __restrict Tw = v.Tw.data();
#pragma GCC ivdep
  for (int n = n0; n < n1; ++n) {
    const double un = u[n], vn = vq[n], wn = w[n], ron = ro[n], Tn = T[n];
    ro_u[n] = un * ron;
    ro_v[n] = vn * ron;
    ro_w[n] = wn * ron;
    uu[n] = un * un;
    uv[n] = vn * un;
    uw[n] = wn * un;
    vu[n] = vn * un;
    vv[n] = vn * vn;
    vw[n] = vn * wn;
    wu[n] = wn * un;
    wv[n] = vn * wn;
    ww[n] = wn * wn;
    Tu[n] = Tn * un;
    Tv[n] = Tn * vn;
    Tw[n] = Tn * wn;
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

// R at the computed points of plane i.
void rhsPlane(FiniteVolume& v, const FlowParams& p, RhsTarget target, int i) {
  const StepFactors f(v);
  const int si = v.stride_i, sj = v.stride_j;
  const double gam = p.k, M = p.M, Re = p.Re, Pr = p.Pr;
  // Division by 2^schemeOrder: the reciprocal of a power of two is exact, so
  // multiplying by it gives the same bits as dividing.
  const double invPow = 1.0 / powerOfTwo(p.schemeOrder);
  const double Sx2 = v.steps_xi[2], Sx3 = v.steps_xi[3];
  const double Se2 = v.steps_eta[2], Se3 = v.steps_eta[3];
  const double Sz2 = v.steps_zeta[2], Sz3 = v.steps_zeta[3];

  const int* __restrict tp = v.type_point.data();
  const double* __restrict ro = v.ro.data();
  const double* __restrict u = v.u.data();
  const double* __restrict vq = v.v.data();
  const double* __restrict w = v.w.data();
  const double* __restrict P = v.P.data();
  const double* __restrict T = v.T.data();
  const double* __restrict dv = v.div.data();
  const double* __restrict ro_u = v.ro_u.data();
  const double* __restrict ro_v = v.ro_v.data();
  const double* __restrict ro_w = v.ro_w.data();
  const double* __restrict uu = v.uu.data();
  const double* __restrict uv = v.uv.data();
  const double* __restrict uw = v.uw.data();
  const double* __restrict vu = v.vu.data();
  const double* __restrict vv = v.vv.data();
  const double* __restrict vw = v.vw.data();
  const double* __restrict wu = v.wu.data();
  const double* __restrict wv = v.wv.data();
  const double* __restrict ww = v.ww.data();
  const double* __restrict Tu = v.Tu.data();
  const double* __restrict Tv = v.Tv.data();
  const double* __restrict Tw = v.Tw.data();
  const double* __restrict uz = v.u_zeta.data();
  const double* __restrict vz = v.v_zeta.data();
  const double* __restrict wz = v.w_zeta.data();
  const double* __restrict Tz = v.T_zeta.data();
  const float* __restrict xi_x = v.xi_x.data();
  const float* __restrict xi_y = v.xi_y.data();
  const float* __restrict xi_z = v.xi_z.data();
  const float* __restrict eta_x = v.eta_x.data();
  const float* __restrict eta_y = v.eta_y.data();
  const float* __restrict eta_z = v.eta_z.data();
  const float* __restrict zeta_x = v.zeta_x.data();
  const float* __restrict zeta_y = v.zeta_y.data();
  const float* __restrict zeta_z = v.zeta_z.data();
  const float* __restrict g_xx = v.g_xixi.data();
  const float* __restrict g_ee = v.g_etaeta.data();
  const float* __restrict g_zz = v.g_zetazeta.data();
  const float* __restrict g_ez = v.g_etazeta.data();
  const float* __restrict l_xi = v.lap_xi.data();
  const float* __restrict l_eta = v.lap_eta.data();
  const float* __restrict l_zeta = v.lap_zeta.data();

  const bool pred = target == RhsTarget::Predictor;
  double* __restrict r_ro = pred ? v.rhs_ro_p.data() : v.rhs_ro_c.data();
  double* __restrict r_u = pred ? v.rhs_u_p.data() : v.rhs_u_c.data();
  double* __restrict r_v = pred ? v.rhs_v_p.data() : v.rhs_v_c.data();
  double* __restrict r_w = pred ? v.rhs_w_p.data() : v.rhs_w_c.data();
  double* __restrict r_T = pred ? v.rhs_T_p.data() : v.rhs_T_c.data();

  double buf_ro[kPlaneChunk], buf_u[kPlaneChunk], buf_v[kPlaneChunk], buf_w[kPlaneChunk],
      buf_T[kPlaneChunk];
  auto eval = [&](int c0, int c1) {
#pragma GCC ivdep
    for (int n = c0; n < c1; ++n) {
      const int b = n - c0;
      const double un = u[n], vn = vq[n], wn = w[n], ron = ro[n], Tn = T[n], Pn = P[n];
      const double divn = dv[n];
      const float fxx = xi_x[n], fxy = xi_y[n], fxz = xi_z[n];
      const float fex = eta_x[n], fey = eta_y[n], fez = eta_z[n];
      const float fzx = zeta_x[n], fzy = zeta_y[n], fzz = zeta_z[n];

      // Spectral radii; the squared metric norms stay in single precision.
      const float gxi = fxx * fxx + fxy * fxy + fxz * fxz;
      const float geta = fex * fex + fey * fey + fez * fez;
      const float gzeta = fzx * fzx + fzy * fzy + fzz * fzz;
      const double Uxi = double(fxx) * un + double(fxy) * vn + double(fxz) * wn;
      const double Ueta = double(fex) * un + double(fey) * vn + double(fez) * wn;
      const double Uzeta = double(fzx) * un + double(fzy) * vn + double(fzz) * wn;
      const double cxi = std::sqrt(Tn * double(gxi) / gam / M / M);
      const double ceta = std::sqrt(Tn * double(geta) / gam / M / M);
      const double czeta = std::sqrt(Tn * double(gzeta) / gam / M / M);
      const double axi = max3(std::fabs(Uxi), std::fabs(Uxi + cxi), std::fabs(Uxi - cxi)) * invPow;
      const double aeta =
          max3(std::fabs(Ueta), std::fabs(Ueta + ceta), std::fabs(Ueta - ceta)) * invPow;
      const double azeta =
          max3(std::fabs(Uzeta), std::fabs(Uzeta + czeta), std::fabs(Uzeta - czeta)) * invPow;

      // Derivative helpers at n.
      auto dX = [&](const double* q) {
        return chain(fxx, fex, fzx, d1(q, n, si, f.hxi), d1(q, n, sj, f.heta),
                     d1(q, n, 1, f.hzeta));
      };
      auto dY = [&](const double* q) {
        return chain(fxy, fey, fzy, d1(q, n, si, f.hxi), d1(q, n, sj, f.heta),
                     d1(q, n, 1, f.hzeta));
      };
      auto dZ = [&](const double* q) {
        return chain(fxz, fez, fzz, d1(q, n, si, f.hxi), d1(q, n, sj, f.heta),
                     d1(q, n, 1, f.hzeta));
      };
      auto diss = [&](double d2x, double d2e, double d2z) {
        return axi * d2x * Sx3 * Sx2 + aeta * d2e * Se3 * Se2 + azeta * d2z * Sz3 * Sz2;
      };
      const float gxxn = g_xx[n], geen = g_ee[n], gzzn = g_zz[n], gezn = g_ez[n];
      const float lxn = l_xi[n], len = l_eta[n], lzn = l_zeta[n];

      // Density.
      const double ro_x = d1(ro, n, si, f.hxi), ro_e = d1(ro, n, sj, f.heta),
                   ro_z = d1(ro, n, 1, f.hzeta);
      const double Dxro = chain(fxx, fex, fzx, ro_x, ro_e, ro_z);
      const double Dyro = chain(fxy, fey, fzy, ro_x, ro_e, ro_z);
      const double Dzro = chain(fxz, fez, fzz, ro_x, ro_e, ro_z);
      const double Aro = diss(d2(ro, n, si), d2(ro, n, sj), d2(ro, n, 1));
      const double Rro =
          -0.5 * (dX(ro_u) + dY(ro_v) + dZ(ro_w) + un * Dxro + vn * Dyro + wn * Dzro) -
          0.5 * ron * divn + Aro;

      // Pressure and divergence gradients.
      const double P_x = d1(P, n, si, f.hxi), P_e = d1(P, n, sj, f.heta),
                   P_z = d1(P, n, 1, f.hzeta);
      const double d_x = d1(dv, n, si, f.hxi), d_e = d1(dv, n, sj, f.heta),
                   d_z = d1(dv, n, 1, f.hzeta);

      // Velocity gradients.
      const double u_x = d1(u, n, si, f.hxi), u_e = d1(u, n, sj, f.heta),
                   u_z = d1(u, n, 1, f.hzeta);
      const double v_x = d1(vq, n, si, f.hxi), v_e = d1(vq, n, sj, f.heta),
                   v_z = d1(vq, n, 1, f.hzeta);
      const double w_x = d1(w, n, si, f.hxi), w_e = d1(w, n, sj, f.heta),
                   w_z = d1(w, n, 1, f.hzeta);
      const double Dxu = chain(fxx, fex, fzx, u_x, u_e, u_z);
      const double Dyu = chain(fxy, fey, fzy, u_x, u_e, u_z);
      const double Dzu = chain(fxz, fez, fzz, u_x, u_e, u_z);
      const double Dxv = chain(fxx, fex, fzx, v_x, v_e, v_z);
      const double Dyv = chain(fxy, fey, fzy, v_x, v_e, v_z);
      const double Dzv = chain(fxz, fez, fzz, v_x, v_e, v_z);
      const double Dxw = chain(fxx, fex, fzx, w_x, w_e, w_z);
      const double Dyw = chain(fxy, fey, fzy, w_x, w_e, w_z);
      const double Dzw = chain(fxz, fez, fzz, w_x, w_e, w_z);

      const double roRe = ron * Re;
      const double roPress = ron * gam * M * M;
      const double roVisc3 = ron * Re * 3.0;

      // Momentum, u.
      const double u2x = d2(u, n, si), u2e = d2(u, n, sj), u2z = d2(u, n, 1);
      const double Lu = laplacian(gxxn, geen, gzzn, gezn, lxn, len, lzn, f, u2x, u2e, u2z, u_x, u_e,
                                  u_z, uz[n + sj] - uz[n - sj]);
      const double Ru = 0.5 * un * divn -
                        0.5 * (dX(uu) + dY(uv) + dZ(uw) + un * Dxu + vn * Dyu + wn * Dzu) +
                        Lu / roRe - chain(fxx, fex, fzx, P_x, P_e, P_z) / roPress +
                        chain(fxx, fex, fzx, d_x, d_e, d_z) / roVisc3 + diss(u2x, u2e, u2z);

      // Momentum, v.
      const double v2x = d2(vq, n, si), v2e = d2(vq, n, sj), v2z = d2(vq, n, 1);
      const double Lv = laplacian(gxxn, geen, gzzn, gezn, lxn, len, lzn, f, v2x, v2e, v2z, v_x, v_e,
                                  v_z, vz[n + sj] - vz[n - sj]);
      const double Rv = 0.5 * vn * divn -
                        0.5 * (dX(vu) + dY(vv) + dZ(vw) + un * Dxv + vn * Dyv + wn * Dzv) +
                        Lv / roRe - chain(fxy, fey, fzy, P_x, P_e, P_z) / roPress +
                        chain(fxy, fey, fzy, d_x, d_e, d_z) / roVisc3 + diss(v2x, v2e, v2z);

      // Momentum, w.
      const double w2x = d2(w, n, si), w2e = d2(w, n, sj), w2z = d2(w, n, 1);
      const double Lw = laplacian(gxxn, geen, gzzn, gezn, lxn, len, lzn, f, w2x, w2e, w2z, w_x, w_e,
                                  w_z, wz[n + sj] - wz[n - sj]);
      const double Rw = 0.5 * wn * divn -
                        0.5 * (dX(wu) + dY(wv) + dZ(ww) + un * Dxw + vn * Dyw + wn * Dzw) +
                        Lw / roRe - chain(fxz, fez, fzz, P_x, P_e, P_z) / roPress +
                        chain(fxz, fez, fzz, d_x, d_e, d_z) / roVisc3 + diss(w2x, w2e, w2z);

      // Temperature.
      const double T_x = d1(T, n, si, f.hxi), T_e = d1(T, n, sj, f.heta),
                   T_z = d1(T, n, 1, f.hzeta);
      const double T2x = d2(T, n, si), T2e = d2(T, n, sj), T2z = d2(T, n, 1);
      const double LT = laplacian(gxxn, geen, gzzn, gezn, lxn, len, lzn, f, T2x, T2e, T2z, T_x, T_e,
                                  T_z, Tz[n + sj] - Tz[n - sj]);
      const double DxT = chain(fxx, fex, fzx, T_x, T_e, T_z);
      const double DyT = chain(fxy, fey, fzy, T_x, T_e, T_z);
      const double DzT = chain(fxz, fez, fzz, T_x, T_e, T_z);
      const double sxy = Dxv + Dyu, sxz = Dzu + Dxw, syz = Dzv + Dyw;
      const double Phi = 2.0 * (Dxu * Dxu) + 2.0 * (Dyv * Dyv) + 2.0 * (Dzw * Dzw) + sxy * sxy +
                         sxz * sxz + syz * syz - 0.66666666666666 * (divn * divn);
      const double RT = 0.5 * Tn * divn -
                        0.5 * (dX(Tu) + dY(Tv) + dZ(Tw) + un * DxT + vn * DyT + wn * DzT) +
                        gam * LT / (ron * Re * Pr) + diss(T2x, T2e, T2z) -
                        (gam - 1.0) * Pn * divn / ron + Phi * gam * (gam - 1.0) * M * M / roRe;

      buf_ro[b] = Rro;
      buf_u[b] = Ru;
      buf_v[b] = Rv;
      buf_w[b] = Rw;
      buf_T[b] = RT;
    }
  };
  // Only computed points receive R; the others keep their old values.
  forBoxPlaneChunks(v, i, eval, [&](int n, int b) {
    r_ro[n] = buf_ro[b];
    r_u[n] = buf_u[b];
    r_v[n] = buf_v[b];
    r_w[n] = buf_w[b];
    r_T[n] = buf_T[b];
  });
}

template <bool Corrector>
void updatePlane(FiniteVolume& v, double dt, int i) {
  const int* __restrict tp = v.type_point.data();
  double* __restrict ro = v.ro.data();
  double* __restrict u = v.u.data();
  double* __restrict vq = v.v.data();
  double* __restrict w = v.w.data();
  double* __restrict T = v.T.data();
  double* __restrict P = v.P.data();
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
  for (int j = v.j_begin; j <= v.j_end; ++j) {
    const int base = i * v.stride_i + j * v.stride_j;
#pragma GCC ivdep
    for (int kk = v.k_begin; kk <= v.k_end; ++kk) {
      const int n = base + kk;
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
      const bool computed = tp[n] == 1;
      ro[n] = computed ? nro : ro[n];
      u[n] = computed ? nu : u[n];
      vq[n] = computed ? nv : vq[n];
      w[n] = computed ? nw : w[n];
      T[n] = computed ? nT : T[n];
      P[n] = computed ? nT * nro : P[n];
    }
  }
}

}  // namespace

void saveState(FiniteVolume& vol) {
#pragma omp parallel for schedule(static)
  for (int i = 0; i <= vol.Nx; ++i) saveStatePlane(vol, i);
}

void computeProducts(FiniteVolume& vol) {
#pragma omp parallel for schedule(static)
  for (int i = 0; i <= vol.Nx; ++i) productsPlane(vol, i);
}

void computeRhs(FiniteVolume& vol, const FlowParams& p, RhsTarget target) {
#pragma omp parallel for schedule(static)
  for (int i = vol.i_begin; i <= vol.i_end; ++i) zetaPlane(vol, i);
#pragma omp parallel for schedule(static)
  for (int i = vol.i_begin; i <= vol.i_end; ++i) rhsPlane(vol, p, target, i);
}

void predictorUpdate(FiniteVolume& vol, double dt) {
#pragma omp parallel for schedule(static)
  for (int i = vol.i_begin; i <= vol.i_end; ++i) updatePlane<false>(vol, dt, i);
}

void correctorUpdate(FiniteVolume& vol, double dt) {
#pragma omp parallel for schedule(static)
  for (int i = vol.i_begin; i <= vol.i_end; ++i) updatePlane<true>(vol, dt, i);
}

// One parallel region per stage and volume. R at plane i reads the products
// of planes i-1..i+1, and the update of plane i overwrites values that R of
// planes i+-1 read, hence the barriers between the three loops. The zeta
// differences of plane i are read only by R of the same plane.
void predictVolume(FiniteVolume& vol, const FlowParams& p) {
#pragma omp parallel
  {
#pragma omp for schedule(static)
    for (int i = 0; i <= vol.Nx; ++i) {
      saveStatePlane(vol, i);
      productsPlane(vol, i);
    }
#pragma omp for schedule(static)
    for (int i = vol.i_begin; i <= vol.i_end; ++i) {
      zetaPlane(vol, i);
      rhsPlane(vol, p, RhsTarget::Predictor, i);
    }
#pragma omp for schedule(static)
    for (int i = vol.i_begin; i <= vol.i_end; ++i) updatePlane<false>(vol, p.dt, i);
  }
}

void correctVolume(FiniteVolume& vol, const FlowParams& p) {
#pragma omp parallel
  {
#pragma omp for schedule(static)
    for (int i = 0; i <= vol.Nx; ++i) productsPlane(vol, i);
#pragma omp for schedule(static)
    for (int i = vol.i_begin; i <= vol.i_end; ++i) {
      zetaPlane(vol, i);
      rhsPlane(vol, p, RhsTarget::Corrector, i);
    }
#pragma omp for schedule(static)
    for (int i = vol.i_begin; i <= vol.i_end; ++i) updatePlane<true>(vol, p.dt, i);
  }
}

// A whole stage over every volume in one parallel region with three
// barriers: R of plane i reads the products of planes i-1..i+1 (of its own
// volume), and the update of plane i overwrites values that R of planes
// i+-1 read. Volumes are independent within a stage.
void predictAll(SimulationState& s, const FlowParams& p) {
  std::vector<FiniteVolume>& vols = s.volumes;
  const int count = s.volumeCount;
#pragma omp parallel
  {
    forPlanesOfAllVolumes(vols, count, false, [](FiniteVolume& v, int i) {
      saveStatePlane(v, i);
      productsPlane(v, i);
    });
    forPlanesOfAllVolumes(vols, count, true, [&p](FiniteVolume& v, int i) {
      zetaPlane(v, i);
      rhsPlane(v, p, RhsTarget::Predictor, i);
    });
    forPlanesOfAllVolumes(vols, count, true,
                          [&p](FiniteVolume& v, int i) { updatePlane<false>(v, p.dt, i); });
  }
}

void correctAll(SimulationState& s, const FlowParams& p) {
  std::vector<FiniteVolume>& vols = s.volumes;
  const int count = s.volumeCount;
#pragma omp parallel
  {
    forPlanesOfAllVolumes(vols, count, false, [](FiniteVolume& v, int i) { productsPlane(v, i); });
    forPlanesOfAllVolumes(vols, count, true, [&p](FiniteVolume& v, int i) {
      zetaPlane(v, i);
      rhsPlane(v, p, RhsTarget::Corrector, i);
    });
    forPlanesOfAllVolumes(vols, count, true,
                          [&p](FiniteVolume& v, int i) { updatePlane<true>(v, p.dt, i); });
  }
}

}  // namespace brelvik
