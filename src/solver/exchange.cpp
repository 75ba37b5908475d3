#include "solver/exchange.h"

#include <array>
#include <cmath>
#include <vector>

#include "solver/stencil_ops.h"
#include "state/simulation_state.h"

namespace brelvik {

namespace {

// Codes of interpolated points, in the order the exchange serves them.
constexpr std::array<int, 4> kExchangeCodes{7, 6, 5, 4};

// The receiving points of one exchange, per volume and code (slot 0 holds
// code 7, slot 3 code 4), each list in scan order (i outermost, k innermost).
// Only points whose entry is ready and names an allocated donor are listed,
// so incomplete interpolation data is skipped rather than dereferenced.
// The lists live in a per-thread scratch object that keeps its capacity, so
// the exchange allocates nothing once it has run.
struct ReceiverLists {
  std::vector<std::array<std::vector<int>, 4>> perVolume;

  void build(const SimulationState& s) {
    if (perVolume.size() < size_t(s.volumeCount)) perVolume.resize(size_t(s.volumeCount));
    for (int vi = 0; vi < s.volumeCount; ++vi) {
      auto& lists = perVolume[size_t(vi)];
      for (auto& l : lists) l.clear();
      const FiniteVolume& vol = s.volumes[size_t(vi)];
      if (!vol.allocated) continue;
      const int count = int(vol.pointCount());
      const int* tp = vol.type_point.data();
      for (int n = 0; n < count; ++n) {
        const int t = tp[n];
        if (t < 4 || t > 7) continue;
        const InterpolEntry& e = vol.interpol_data[size_t(n)];
        if (!e.ready || !e.donor_points || !e.weights) continue;
        if (e.donor < 0 || e.donor >= s.volumeCount || !s.volumes[size_t(e.donor)].allocated)
          continue;
        lists[size_t(7 - t)].push_back(n);
      }
    }
  }

  const std::vector<int>& of(int volume, int code) const {
    return perVolume[size_t(volume)][size_t(7 - code)];
  }
};

ReceiverLists& scratchLists() {
  thread_local ReceiverLists lists;
  return lists;
}

// Weighted sum over the stencil, from 0 in ascending m, with the receiver's
// stencil size as the count.
inline double interpolate(const InterpolEntry& e, int stencilSize, const double* donorField) {
  double sum = 0.0;
  for (int m = 0; m < stencilSize; ++m) sum += e.weights[m] * donorField[e.donor_points[m]];
  return sum;
}

void globalVelocities(FiniteVolume& vol) {
  const Vec3 ax = vol.axis_x, ay = vol.axis_y, az = vol.axis_z;
  const int count = int(vol.pointCount());
  const double* u = vol.u.data();
  const double* v = vol.v.data();
  const double* w = vol.w.data();
  double* ug = vol.u_glob.data();
  double* vg = vol.v_glob.data();
  double* wg = vol.w_glob.data();
#pragma omp parallel for schedule(static)
  for (int n = 0; n < count; ++n) {
    ug[n] = u[n] * ax[0] + v[n] * ay[0] + w[n] * az[0];
    vg[n] = u[n] * ax[1] + v[n] * ay[1] + w[n] * az[1];
    wg[n] = u[n] * ax[2] + v[n] * ay[2] + w[n] * az[2];
  }
}

void exchangeVelocityWith(SimulationState& s, const ReceiverLists& lists) {
  for (int vi = 0; vi < s.volumeCount; ++vi)
    if (s.volumes[size_t(vi)].allocated) globalVelocities(s.volumes[size_t(vi)]);
  for (int code : kExchangeCodes) {
    for (int vi = 0; vi < s.volumeCount; ++vi) {
      FiniteVolume& vol = s.volumes[size_t(vi)];
      const Vec3 ax = vol.axis_x, ay = vol.axis_y, az = vol.axis_z;
      for (int n : lists.of(vi, code)) {
        const InterpolEntry& e = vol.interpol_data[size_t(n)];
        const FiniteVolume& donor = s.volumes[size_t(e.donor)];
        const double ug = interpolate(e, vol.stencil_size, donor.u_glob.data());
        const double vg = interpolate(e, vol.stencil_size, donor.v_glob.data());
        const double wg = interpolate(e, vol.stencil_size, donor.w_glob.data());
        vol.u_glob[size_t(n)] = ug;
        vol.v_glob[size_t(n)] = vg;
        vol.w_glob[size_t(n)] = wg;
        vol.u[size_t(n)] = ug * ax[0] + vg * ax[1] + wg * ax[2];
        vol.v[size_t(n)] = ug * ay[0] + vg * ay[1] + wg * ay[2];
        vol.w[size_t(n)] = ug * az[0] + vg * az[1] + wg * az[2];
      }
    }
  }
}

void exchangeDivergenceWith(SimulationState& s, const ReceiverLists& lists) {
  for (int code : kExchangeCodes) {
    for (int vi = 0; vi < s.volumeCount; ++vi) {
      FiniteVolume& vol = s.volumes[size_t(vi)];
      for (int n : lists.of(vi, code)) {
        const InterpolEntry& e = vol.interpol_data[size_t(n)];
        vol.div[size_t(n)] =
            interpolate(e, vol.stencil_size, s.volumes[size_t(e.donor)].div.data());
      }
    }
  }
}

void exchangeScalarsWith(SimulationState& s, const ReceiverLists& lists) {
  for (int code : kExchangeCodes) {
    for (int vi = 0; vi < s.volumeCount; ++vi) {
      FiniteVolume& vol = s.volumes[size_t(vi)];
      for (int n : lists.of(vi, code)) {
        const InterpolEntry& e = vol.interpol_data[size_t(n)];
        const FiniteVolume& donor = s.volumes[size_t(e.donor)];
        const double ro = interpolate(e, vol.stencil_size, donor.ro.data());
        const double T = interpolate(e, vol.stencil_size, donor.T.data());
        vol.ro[size_t(n)] = ro;
        vol.T[size_t(n)] = T;
        vol.P[size_t(n)] = ro * T;
      }
    }
  }
}

// --- Boundary conditions ---------------------------------------------------

enum class Face { Inflow, Outflow, Sphere };

// Calls f(ghost, mirror) for every ghost point of type `code` on the given
// face of a shell-sector volume: j and k over the computed ranges, g = 1..G.
// The outer face is split per (j, k) by the global x of the outermost
// computed point.
template <class F>
void forEachGhost(const FiniteVolume& vol, int schemeOrder, int code, Face face, F&& f) {
  const int G = schemeOrder / 2;
  const int* tp = vol.type_point.data();
  for (int j = vol.j_begin; j <= vol.j_end; ++j) {
    for (int k = vol.k_begin; k <= vol.k_end; ++k) {
      if (face != Face::Sphere) {
        const int outer = pointIndex(vol, vol.i_end, j, k);
        const bool inflow = vol.point_glob[3 * size_t(outer)] <= kInflowLimitX;
        if (inflow != (face == Face::Inflow)) continue;
        for (int g = 1; g <= G; ++g) {
          const int ghost = pointIndex(vol, vol.i_end + g, j, k);
          if (tp[ghost] == code) f(ghost, pointIndex(vol, vol.i_end - g + 1, j, k));
        }
      } else {
        for (int g = 1; g <= G; ++g) {
          const int ghost = pointIndex(vol, vol.i_begin - g, j, k);
          if (tp[ghost] == code) f(ghost, pointIndex(vol, vol.i_begin + g - 1, j, k));
        }
      }
    }
  }
}

template <class F>
void forEachShellVolume(SimulationState& s, F&& f) {
  for (int vi = 0; vi < s.volumeCount; ++vi) {
    FiniteVolume& vol = s.volumes[size_t(vi)];
    if (vol.allocated && vol.kind == 2) f(vol);
  }
}

// Differences at the mirror m used by the divergence boundary condition.
struct MirrorDiffs {
  double xi, eta, zeta;
};
inline MirrorDiffs mirrorDiffs(const FiniteVolume& vol, const StepFactors& f, const double* q,
                               int m) {
  return {d1(q, m, vol.stride_i, f.hxi), d1(q, m, vol.stride_j, f.heta), d1(q, m, 1, f.hzeta)};
}

// Sum over u, v, w of sign*(xi-metric*A_xi) - sign*(eta-metric*A_eta) -
// sign*(zeta-metric*A_zeta): sign +1 for a reflected (2V_inf - V or -V)
// velocity, -1 for a copied one; metrics at point `at`.
double reflectedDivergence(const FiniteVolume& vol, const StepFactors& f, int m, int at,
                           bool copied) {
  const MirrorDiffs du = mirrorDiffs(vol, f, vol.u.data(), m);
  const MirrorDiffs dv = mirrorDiffs(vol, f, vol.v.data(), m);
  const MirrorDiffs dw = mirrorDiffs(vol, f, vol.w.data(), m);
  const size_t a = size_t(at);
  auto term = [&](const MirrorDiffs& d, float mxi, float meta, float mzeta) {
    if (copied) return -double(mxi) * d.xi + double(meta) * d.eta + double(mzeta) * d.zeta;
    return double(mxi) * d.xi - double(meta) * d.eta - double(mzeta) * d.zeta;
  };
  double sum = 0.0;
  sum += term(du, vol.xi_x[a], vol.eta_x[a], vol.zeta_x[a]);
  sum += term(dv, vol.xi_y[a], vol.eta_y[a], vol.zeta_y[a]);
  sum += term(dw, vol.xi_z[a], vol.eta_z[a], vol.zeta_z[a]);
  return sum;
}

}  // namespace

void exchangeVelocity(SimulationState& s) {
  ReceiverLists& lists = scratchLists();
  lists.build(s);
  exchangeVelocityWith(s, lists);
}

void exchangeDivergence(SimulationState& s) {
  ReceiverLists& lists = scratchLists();
  lists.build(s);
  exchangeDivergenceWith(s, lists);
}

void exchangeScalars(SimulationState& s) {
  ReceiverLists& lists = scratchLists();
  lists.build(s);
  exchangeScalarsWith(s, lists);
}

void boundaryVelocity(SimulationState& s, int code) {
  forEachShellVolume(s, [&](FiniteVolume& vol) {
    double* u = vol.u.data();
    double* v = vol.v.data();
    double* w = vol.w.data();
    // Free stream (1, 0, 0) in the volume's local axes.
    const double uInf = vol.axis_x[0], vInf = vol.axis_y[0], wInf = vol.axis_z[0];
    forEachGhost(vol, s.schemeOrder, code, Face::Inflow, [&](int g, int m) {
      u[g] = 2.0 * uInf - u[m];
      v[g] = 2.0 * vInf - v[m];
      w[g] = 2.0 * wInf - w[m];
    });
    forEachGhost(vol, s.schemeOrder, code, Face::Outflow, [&](int g, int m) {
      u[g] = u[m];
      v[g] = v[m];
      w[g] = w[m];
    });
    forEachGhost(vol, s.schemeOrder, code, Face::Sphere, [&](int g, int m) {
      u[g] = -u[m];
      v[g] = -v[m];
      w[g] = -w[m];
    });
  });
}

void boundaryDivergence(SimulationState& s, int code) {
  forEachShellVolume(s, [&](FiniteVolume& vol) {
    const StepFactors f(vol);
    double* dv = vol.div.data();
    forEachGhost(vol, s.schemeOrder, code, Face::Inflow,
                 [&](int g, int m) { dv[g] = reflectedDivergence(vol, f, m, g, false); });
    forEachGhost(vol, s.schemeOrder, code, Face::Outflow,
                 [&](int g, int m) { dv[g] = reflectedDivergence(vol, f, m, g, true); });
    forEachGhost(vol, s.schemeOrder, code, Face::Sphere,
                 [&](int g, int m) { dv[g] = reflectedDivergence(vol, f, m, m, false); });
  });
}

void boundaryScalars(SimulationState& s, int code) {
  const double gam = s.k, M = s.M, Re = s.Re;
  forEachShellVolume(s, [&](FiniteVolume& vol) {
    double* P = vol.P.data();
    double* T = vol.T.data();
    double* ro = vol.ro.data();
    const double* dv = vol.div.data();
    // Inflow: face temperature 1, pressure extrapolated.
    forEachGhost(vol, s.schemeOrder, code, Face::Inflow, [&](int g, int m) {
      P[g] = P[m];
      T[g] = 2.0 - T[m];
      ro[g] = P[g] / T[g];
    });
    // Outflow: face pressure 1, density extrapolated.
    forEachGhost(vol, s.schemeOrder, code, Face::Outflow, [&](int g, int m) {
      P[g] = 2.0 - P[m];
      ro[g] = ro[m];
      T[g] = P[g] / ro[g];
    });
    // Sphere: adiabatic wall; the normal pressure gradient balances the
    // viscous normal stress term carried by the divergence.
    forEachGhost(vol, s.schemeOrder, code, Face::Sphere, [&](int g, int m) {
      P[g] = P[m] - (dv[m] - dv[g]) * gam * M * M / 3.0 / Re;
      T[g] = T[m];
      ro[g] = P[g] / T[g];
    });
  });
}

void computeDivergence(FiniteVolume& vol) {
  const int* tp = vol.type_point.data();
  const double* u = vol.u.data();
  const double* v = vol.v.data();
  const double* w = vol.w.data();
  double* dv = vol.div.data();
#pragma omp parallel for schedule(static)
  for (int i = vol.i_begin; i <= vol.i_end; ++i) {
    const StepFactors f(vol);
    const int si = vol.stride_i, sj = vol.stride_j;
    for (int j = vol.j_begin; j <= vol.j_end; ++j) {
      const int base = i * si + j * sj;
#pragma GCC ivdep
      for (int k = vol.k_begin; k <= vol.k_end; ++k) {
        const int n = base + k;
        const double Dyv = chain(vol.xi_y[n], vol.eta_y[n], vol.zeta_y[n], d1(v, n, si, f.hxi),
                                 d1(v, n, sj, f.heta), d1(v, n, 1, f.hzeta));
        const double Dxu = chain(vol.xi_x[n], vol.eta_x[n], vol.zeta_x[n], d1(u, n, si, f.hxi),
                                 d1(u, n, sj, f.heta), d1(u, n, 1, f.hzeta));
        const double Dzw = chain(vol.xi_z[n], vol.eta_z[n], vol.zeta_z[n], d1(w, n, si, f.hxi),
                                 d1(w, n, sj, f.heta), d1(w, n, 1, f.hzeta));
        const double d = Dyv + Dxu + Dzw;
        dv[n] = tp[n] == 1 ? d : dv[n];
      }
    }
  }
}

void computeVorticity(FiniteVolume& vol) {
  const int* tp = vol.type_point.data();
  const double* u = vol.u.data();
  const double* v = vol.v.data();
  const double* w = vol.w.data();
  double* vixr = vol.vixr.data();
#pragma omp parallel for schedule(static)
  for (int i = vol.i_begin; i <= vol.i_end; ++i) {
    const StepFactors f(vol);
    const int si = vol.stride_i, sj = vol.stride_j;
    for (int j = vol.j_begin; j <= vol.j_end; ++j) {
      const int base = i * si + j * sj;
#pragma GCC ivdep
      for (int k = vol.k_begin; k <= vol.k_end; ++k) {
        const int n = base + k;
        const float mxx = vol.xi_x[n], mxy = vol.xi_y[n], mxz = vol.xi_z[n];
        const float mex = vol.eta_x[n], mey = vol.eta_y[n], mez = vol.eta_z[n];
        const float mzx = vol.zeta_x[n], mzy = vol.zeta_y[n], mzz = vol.zeta_z[n];
        const double u1 = d1(u, n, si, f.hxi), u2 = d1(u, n, sj, f.heta), u3 = d1(u, n, 1, f.hzeta);
        const double v1 = d1(v, n, si, f.hxi), v2 = d1(v, n, sj, f.heta), v3 = d1(v, n, 1, f.hzeta);
        const double w1 = d1(w, n, si, f.hxi), w2 = d1(w, n, sj, f.heta), w3 = d1(w, n, 1, f.hzeta);
        const double ox = chain(mxy, mey, mzy, w1, w2, w3) - chain(mxz, mez, mzz, v1, v2, v3);
        const double oy = chain(mxx, mex, mzx, w1, w2, w3) - chain(mxz, mez, mzz, u1, u2, u3);
        const double oz = chain(mxx, mex, mzx, v1, v2, v3) - chain(mxy, mey, mzy, u1, u2, u3);
        const double r = 0.5 * std::sqrt(ox * ox + oy * oy + oz * oz);
        vixr[n] = tp[n] == 1 ? r : vixr[n];
      }
    }
  }
}

void exchangeAll(SimulationState& s) {
  ReceiverLists& lists = scratchLists();
  lists.build(s);

  boundaryVelocity(s, 2);
  exchangeVelocityWith(s, lists);
  boundaryVelocity(s, 3);

  for (int vi = 0; vi < s.volumeCount; ++vi)
    if (s.volumes[size_t(vi)].allocated) computeDivergence(s.volumes[size_t(vi)]);

  boundaryDivergence(s, 2);
  exchangeDivergenceWith(s, lists);
  boundaryDivergence(s, 3);

  boundaryScalars(s, 2);
  exchangeScalarsWith(s, lists);
  boundaryScalars(s, 3);
}

}  // namespace brelvik
