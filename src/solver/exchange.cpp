#include "solver/exchange.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "solver/exchange_parts.h"
#include "solver/plane_chunks.h"
#include "solver/stencil_ops.h"
#include "state/simulation_state.h"

namespace brelvik {

using namespace exchange_detail;

namespace {

void globalVelocitiesPlane(FiniteVolume& vol, int i) {
  const Vec3 ax = vol.axis_x, ay = vol.axis_y, az = vol.axis_z;
  const int n0 = i * vol.stride_i, n1 = n0 + vol.stride_i;
  const double* u = vol.u.data();
  const double* v = vol.v.data();
  const double* w = vol.w.data();
  double* ug = vol.u_glob.data();
  double* vg = vol.v_glob.data();
  double* wg = vol.w_glob.data();
#pragma GCC ivdep
  for (int n = n0; n < n1; ++n) {
    ug[n] = u[n] * ax[0] + v[n] * ay[0] + w[n] * az[0];
    vg[n] = u[n] * ax[1] + v[n] * ay[1] + w[n] * az[1];
    wg[n] = u[n] * ax[2] + v[n] * ay[2] + w[n] * az[2];
  }
}

// --- Boundary conditions ---------------------------------------------------

// Outer: the whole outer face (the absorbing far field decides inflow and
// outflow per point from the normal velocity).
enum class Face { Inflow, Outflow, Outer, Sphere };

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
        if (face != Face::Outer && inflow != (face == Face::Inflow)) continue;
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

// The absorbing far-field state for the ghost g from its mirror m (the
// outermost computed point for the one ghost layer of order 2). The
// velocity pass and the scalar pass each evaluate it from the values
// current at that moment and write only their own fields.
FlowPoint absorbingGhost(const FiniteVolume& vol, const FarFieldParams& ff, int g, int m,
                         const Vec3& freeStream) {
  const size_t i = size_t(m);
  const FlowPoint interior{vol.ro[i], vol.u[i], vol.v[i], vol.w[i], vol.T[i]};
  return absorbingState(interior, outwardNormal(vol, g), freeStream, ff.gam, ff.M);
}

}  // namespace

namespace exchange_detail {

void ReceiverLists::build(const SimulationState& s) {
  const size_t count = size_t(s.volumeCount);
  volumeCount = s.volumeCount;
  anyOrdered = false;
  if (ordered.size() < count) ordered.resize(count);
  if (independent.size() < count) independent.resize(count);
  if (flags.size() < count) flags.resize(count);
  ghostsRead.assign(count, 0);
  for (int vi = 0; vi < s.volumeCount; ++vi) {
    for (auto& l : ordered[size_t(vi)]) l.clear();
    independent[size_t(vi)].clear();
    const FiniteVolume& vol = s.volumes[size_t(vi)];
    flags[size_t(vi)].assign(vol.allocated ? size_t(vol.pointCount()) : 0, 0);
  }
  auto valid = [&s](const FiniteVolume& vol, int n) {
    const InterpolEntry& e = vol.interpol_data[size_t(n)];
    if (!e.ready || !e.donor_points || !e.weights) return false;
    if (e.donor < 0 || e.donor >= s.volumeCount) return false;
    const FiniteVolume& donor = s.volumes[size_t(e.donor)];
    if (!donor.allocated) return false;
    const int donorCount = int(donor.pointCount());
    for (int m = 0; m < vol.stencil_size; ++m)
      if (e.donor_points[m] < 0 || e.donor_points[m] >= donorCount) return false;
    return true;
  };
  // Flags: 1 = receiver whose stencil holds an interpolated point, 2 =
  // interpolated point held by some receiver's stencil.
  for (int vi = 0; vi < s.volumeCount; ++vi) {
    const FiniteVolume& vol = s.volumes[size_t(vi)];
    if (!vol.allocated) continue;
    const int pointCount = int(vol.pointCount());
    const int* tp = vol.type_point.data();
    for (int n = 0; n < pointCount; ++n) {
      const int t = tp[n];
      if (t < 4 || t > 7 || !valid(vol, n)) continue;
      ordered[size_t(vi)][size_t(7 - t)].push_back(n);
      const InterpolEntry& e = vol.interpol_data[size_t(n)];
      const int* donorTypes = s.volumes[size_t(e.donor)].type_point.data();
      for (int m = 0; m < vol.stencil_size; ++m) {
        const int dp = e.donor_points[m];
        if (donorTypes[dp] == 2 || donorTypes[dp] == 3) ghostsRead[size_t(e.donor)] = 1;
        if (donorTypes[dp] >= 4) {
          flags[size_t(vi)][size_t(n)] |= 1;
          flags[size_t(e.donor)][size_t(dp)] |= 2;
        }
      }
    }
  }
  // Move the independent receivers out of the ordered lists.
  for (int vi = 0; vi < s.volumeCount; ++vi) {
    for (auto& list : ordered[size_t(vi)]) {
      size_t kept = 0;
      for (int n : list) {
        if (flags[size_t(vi)][size_t(n)] == 0)
          independent[size_t(vi)].push_back(n);
        else
          list[kept++] = n;
      }
      list.resize(kept);
      anyOrdered = anyOrdered || kept > 0;
    }
    // No receiver reads what an independent one writes or writes what it
    // reads, so their order is free: point order, that is plane by plane,
    // so that a chunk of them lies in one part of the volume.
    std::sort(independent[size_t(vi)].begin(), independent[size_t(vi)].end());
  }
  orderedStencils.resize(count);
  independentStencils.resize(count);
  for (int vi = 0; vi < s.volumeCount; ++vi) {
    const FiniteVolume& vol = s.volumes[size_t(vi)];
    for (size_t c = 0; c < 4; ++c) orderedStencils[size_t(vi)][c].assign(vol, ordered[size_t(vi)][c]);
    independentStencils[size_t(vi)].assign(vol, independent[size_t(vi)]);
  }
}

void ReceiverStencils::assign(const FiniteVolume& vol, const std::vector<int>& list) {
  size = vol.stencil_size;
  points = list;
  donors.clear();
  donorPoints.clear();
  weights.clear();
  for (int n : list) {
    const InterpolEntry& e = vol.interpol_data[size_t(n)];
    donors.push_back(e.donor);
    donorPoints.insert(donorPoints.end(), e.donor_points.get(), e.donor_points.get() + size);
    weights.insert(weights.end(), e.weights.get(), e.weights.get() + size);
  }
}

void velocityReceiver(const std::vector<FiniteVolume>& vols, FiniteVolume& vol, int n) {
  const InterpolEntry& e = vol.interpol_data[size_t(n)];
  const FiniteVolume& donor = vols[size_t(e.donor)];
  const double ug = stencilSum(e, vol.stencil_size, donor.u_glob.data());
  const double vg = stencilSum(e, vol.stencil_size, donor.v_glob.data());
  const double wg = stencilSum(e, vol.stencil_size, donor.w_glob.data());
  setVelocityReceiver(vol, n, ug, vg, wg);
}

void divergenceReceiver(const std::vector<FiniteVolume>& vols, FiniteVolume& vol, int n) {
  const InterpolEntry& e = vol.interpol_data[size_t(n)];
  vol.div[size_t(n)] = stencilSum(e, vol.stencil_size, vols[size_t(e.donor)].div.data());
}

void scalarReceiver(const std::vector<FiniteVolume>& vols, FiniteVolume& vol, int n) {
  const InterpolEntry& e = vol.interpol_data[size_t(n)];
  const FiniteVolume& donor = vols[size_t(e.donor)];
  const double ro = stencilSum(e, vol.stencil_size, donor.ro.data());
  const double T = stencilSum(e, vol.stencil_size, donor.T.data());
  setScalarReceiver(vol, n, ro, T);
}

namespace {

// The stencil sums of F donor fields for receiver r of t. Each sum adds its
// terms from 0 in ascending m, exactly as stencilSum does; walking the
// fields together keeps F independent chains of additions in flight.
template <int F>
void stencilSumsAt(const ReceiverStencils& t, int r, const double* const* fields, double* sums) {
  const int S = t.size;
  const int* __restrict points = t.donorPoints.data() + size_t(r) * size_t(S);
  const double* __restrict weights = t.weights.data() + size_t(r) * size_t(S);
  double acc[F];
  for (int f = 0; f < F; ++f) acc[f] = 0.0;
  for (int m = 0; m < S; ++m) {
    const double w = weights[m];
    const int d = points[m];
    for (int f = 0; f < F; ++f) acc[f] += w * fields[f][d];
  }
  for (int f = 0; f < F; ++f) sums[f] = acc[f];
}

}  // namespace

void velocityReceivers(const std::vector<FiniteVolume>& vols, FiniteVolume& vol,
                       const ReceiverStencils& t, int first, int last) {
  for (int r = first; r < last; ++r) {
    const FiniteVolume& donor = vols[size_t(t.donors[size_t(r)])];
    const double* fields[3] = {donor.u_glob.data(), donor.v_glob.data(), donor.w_glob.data()};
    double g[3];
    stencilSumsAt<3>(t, r, fields, g);
    setVelocityReceiver(vol, t.points[size_t(r)], g[0], g[1], g[2]);
  }
}

void divergenceReceivers(const std::vector<FiniteVolume>& vols, FiniteVolume& vol,
                         const ReceiverStencils& t, int first, int last) {
  for (int r = first; r < last; ++r) {
    const double* fields[1] = {vols[size_t(t.donors[size_t(r)])].div.data()};
    double d[1];
    stencilSumsAt<1>(t, r, fields, d);
    vol.div[size_t(t.points[size_t(r)])] = d[0];
  }
}

void scalarReceivers(const std::vector<FiniteVolume>& vols, FiniteVolume& vol,
                     const ReceiverStencils& t, int first, int last) {
  for (int r = first; r < last; ++r) {
    const FiniteVolume& donor = vols[size_t(t.donors[size_t(r)])];
    const double* fields[2] = {donor.ro.data(), donor.T.data()};
    double s[2];
    stencilSumsAt<2>(t, r, fields, s);
    setScalarReceiver(vol, t.points[size_t(r)], s[0], s[1]);
  }
}

void boundaryVelocityVolume(FiniteVolume& vol, int schemeOrder, int code,
                            const FarFieldParams& ff, unsigned faces) {
  if (!vol.allocated || vol.kind != 2) return;
  double* u = vol.u.data();
  double* v = vol.v.data();
  double* w = vol.w.data();
  // Free stream (1, 0, 0) in the volume's local axes.
  const double uInf = vol.axis_x[0], vInf = vol.axis_y[0], wInf = vol.axis_z[0];
  if ((faces & kOuterFace) && ff.kind == FarField::Absorbing) {
    forEachGhost(vol, schemeOrder, code, Face::Outer, [&](int g, int m) {
      const FlowPoint b = absorbingGhost(vol, ff, g, m, {uInf, vInf, wInf});
      u[g] = b.u;
      v[g] = b.v;
      w[g] = b.w;
    });
  } else if (faces & kOuterFace) {
    forEachGhost(vol, schemeOrder, code, Face::Inflow, [&](int g, int m) {
      u[g] = 2.0 * uInf - u[m];
      v[g] = 2.0 * vInf - v[m];
      w[g] = 2.0 * wInf - w[m];
    });
    forEachGhost(vol, schemeOrder, code, Face::Outflow, [&](int g, int m) {
      u[g] = u[m];
      v[g] = v[m];
      w[g] = w[m];
    });
  }
  if (!(faces & kInnerFace)) return;
  forEachGhost(vol, schemeOrder, code, Face::Sphere, [&](int g, int m) {
    u[g] = -u[m];
    v[g] = -v[m];
    w[g] = -w[m];
  });
}

void boundaryDivergenceVolume(FiniteVolume& vol, int schemeOrder, int code,
                              const FarFieldParams& ff, unsigned faces) {
  if (!vol.allocated || vol.kind != 2) return;
  const StepFactors f(vol);
  double* dv = vol.div.data();
  if ((faces & kOuterFace) && ff.kind == FarField::Absorbing) {
    // The ghost velocity is no reflection of the interior one: extrapolate
    // div with zero normal gradient.
    forEachGhost(vol, schemeOrder, code, Face::Outer, [&](int g, int m) { dv[g] = dv[m]; });
  } else if (faces & kOuterFace) {
    forEachGhost(vol, schemeOrder, code, Face::Inflow,
                 [&](int g, int m) { dv[g] = reflectedDivergence(vol, f, m, g, false); });
    forEachGhost(vol, schemeOrder, code, Face::Outflow,
                 [&](int g, int m) { dv[g] = reflectedDivergence(vol, f, m, g, true); });
  }
  if (!(faces & kInnerFace)) return;
  forEachGhost(vol, schemeOrder, code, Face::Sphere,
               [&](int g, int m) { dv[g] = reflectedDivergence(vol, f, m, m, false); });
}

void boundaryScalarsVolume(FiniteVolume& vol, int schemeOrder, int code, double gam, double M,
                           double Re, const FarFieldParams& ff, unsigned faces) {
  if (!vol.allocated || vol.kind != 2) return;
  double* P = vol.P.data();
  double* T = vol.T.data();
  double* ro = vol.ro.data();
  const double* dv = vol.div.data();
  if ((faces & kOuterFace) && ff.kind == FarField::Absorbing) {
    const Vec3 inf{vol.axis_x[0], vol.axis_y[0], vol.axis_z[0]};
    forEachGhost(vol, schemeOrder, code, Face::Outer, [&](int g, int m) {
      const FlowPoint b = absorbingGhost(vol, ff, g, m, inf);
      ro[g] = b.ro;
      T[g] = b.T;
      P[g] = b.ro * b.T;
    });
  } else if (faces & kOuterFace) {
    // Inflow: face temperature 1, pressure extrapolated.
    forEachGhost(vol, schemeOrder, code, Face::Inflow, [&](int g, int m) {
      P[g] = P[m];
      T[g] = 2.0 - T[m];
      ro[g] = P[g] / T[g];
    });
    // Outflow: face pressure 1, density extrapolated.
    forEachGhost(vol, schemeOrder, code, Face::Outflow, [&](int g, int m) {
      P[g] = 2.0 - P[m];
      ro[g] = ro[m];
      T[g] = P[g] / ro[g];
    });
  }
  // Sphere: adiabatic wall; the normal pressure gradient balances the
  // viscous normal stress term carried by the divergence.
  if (!(faces & kInnerFace)) return;
  forEachGhost(vol, schemeOrder, code, Face::Sphere, [&](int g, int m) {
    P[g] = P[m] - (dv[m] - dv[g]) * gam * M * M / 3.0 / Re;
    T[g] = T[m];
    ro[g] = P[g] / T[g];
  });
}

}  // namespace exchange_detail

namespace {

void divergencePlane(FiniteVolume& vol, int i) {
  const StepFactors f(vol);
  const int si = vol.stride_i, sj = vol.stride_j;
  const double* u = vol.u.data();
  const double* v = vol.v.data();
  const double* w = vol.w.data();
  const float *xx = vol.xi_x.data(), *xy = vol.xi_y.data(), *xz = vol.xi_z.data();
  const float *ex = vol.eta_x.data(), *ey = vol.eta_y.data(), *ez = vol.eta_z.data();
  const float *zx = vol.zeta_x.data(), *zy = vol.zeta_y.data(), *zz = vol.zeta_z.data();
  double* dv = vol.div.data();
  double buf[kPlaneChunk];
  auto eval = [&](int c0, int c1) {
#pragma GCC ivdep
    for (int n = c0; n < c1; ++n) {
      const double Dyv = chain(xy[n], ey[n], zy[n], d1(v, n, si, f.hxi), d1(v, n, sj, f.heta),
                               d1(v, n, 1, f.hzeta));
      const double Dxu = chain(xx[n], ex[n], zx[n], d1(u, n, si, f.hxi), d1(u, n, sj, f.heta),
                               d1(u, n, 1, f.hzeta));
      const double Dzw = chain(xz[n], ez[n], zz[n], d1(w, n, si, f.hxi), d1(w, n, sj, f.heta),
                               d1(w, n, 1, f.hzeta));
      buf[n - c0] = Dyv + Dxu + Dzw;
    }
  };
  forBoxPlaneChunks(vol, i, eval, [&](int n, int b) { dv[n] = buf[b]; });
}

void vorticityPlane(FiniteVolume& vol, int i) {
  const StepFactors f(vol);
  const int si = vol.stride_i, sj = vol.stride_j;
  const double* u = vol.u.data();
  const double* v = vol.v.data();
  const double* w = vol.w.data();
  const float *xx = vol.xi_x.data(), *xy = vol.xi_y.data(), *xz = vol.xi_z.data();
  const float *ex = vol.eta_x.data(), *ey = vol.eta_y.data(), *ez = vol.eta_z.data();
  const float *zx = vol.zeta_x.data(), *zy = vol.zeta_y.data(), *zz = vol.zeta_z.data();
  double* vixr = vol.vixr.data();
  double buf[kPlaneChunk];
  auto eval = [&](int c0, int c1) {
#pragma GCC ivdep
    for (int n = c0; n < c1; ++n) {
      const double u1 = d1(u, n, si, f.hxi), u2 = d1(u, n, sj, f.heta), u3 = d1(u, n, 1, f.hzeta);
      const double v1 = d1(v, n, si, f.hxi), v2 = d1(v, n, sj, f.heta), v3 = d1(v, n, 1, f.hzeta);
      const double w1 = d1(w, n, si, f.hxi), w2 = d1(w, n, sj, f.heta), w3 = d1(w, n, 1, f.hzeta);
      const double ox =
          chain(xy[n], ey[n], zy[n], w1, w2, w3) - chain(xz[n], ez[n], zz[n], v1, v2, v3);
      const double oy =
          chain(xx[n], ex[n], zx[n], w1, w2, w3) - chain(xz[n], ez[n], zz[n], u1, u2, u3);
      const double oz =
          chain(xx[n], ex[n], zx[n], v1, v2, v3) - chain(xy[n], ey[n], zy[n], u1, u2, u3);
      buf[n - c0] = 0.5 * std::sqrt(ox * ox + oy * oy + oz * oz);
    }
  };
  forBoxPlaneChunks(vol, i, eval, [&](int n, int b) { vixr[n] = buf[b]; });
}

}  // namespace

namespace exchange_detail {

void globalVelocitiesSlab(FiniteVolume& vol, int firstPlane, int lastPlane) {
  for (int i = firstPlane; i <= lastPlane; ++i) globalVelocitiesPlane(vol, i);
}

void divergenceSlab(FiniteVolume& vol, int firstPlane, int lastPlane) {
  for (int i = firstPlane; i <= lastPlane; ++i) divergencePlane(vol, i);
}

void vorticitySlab(FiniteVolume& vol, int firstPlane, int lastPlane) {
  for (int i = firstPlane; i <= lastPlane; ++i) vorticityPlane(vol, i);
}

}  // namespace exchange_detail

}  // namespace brelvik
