#pragma once
// Helpers shared by the solver tests: hand-built volumes (a Cartesian block
// with identity metrics), the default shell grid, and fields set from
// functions of the global position.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>

#include "core_error_print.h"
#include "grid/geometry.h"
#include "grid/interpolation.h"
#include "solver/exchange_parts.h"
#include "solver/kernels.h"
#include "state/simulation_state.h"

namespace brelvik::testing {

// The twelve stored powers of a grid step.
inline void fillSteps(std::array<double, 12>& steps, double h) {
  steps[0] = h;
  steps[1] = 1.0 / h;
  for (int p = 1; p <= 5; ++p) {
    steps[size_t(2 * p)] = std::pow(h, 2 * p);
    steps[size_t(2 * p + 1)] = 1.0 / std::pow(h, 2 * p);
  }
}

// A Cartesian block of (n+1)^3 points with one extra layer on each side:
// computed box 1..n-1 in every index, grid step h, identity metrics (the
// grid coordinates are the local Cartesian ones), every box point type 1,
// every other point type 3, point_glob = the grid position.
inline void makeBox(FiniteVolume& v, int n, double h, int index = 0) {
  initDefaults(v, 2);
  v.index = index;
  v.Nx = v.Ny = v.Nz = n;
  v.i_begin = v.j_begin = v.k_begin = 1;
  v.i_end = v.j_end = v.k_end = n - 1;
  v.stride_j = n + 1;
  v.stride_i = (n + 1) * (n + 1);
  v.kind = 1;
  v.stencil_size = 10;
  fillSteps(v.steps_xi, h);
  fillSteps(v.steps_eta, h);
  fillSteps(v.steps_zeta, h);
  allocateArrays(v);
  clearArrays(v);
  v.allocated = 1;
  for (int i = 0; i <= n; ++i)
    for (int j = 0; j <= n; ++j)
      for (int k = 0; k <= n; ++k) {
        const int p = pointIndex(v, i, j, k);
        const bool inBox = i >= 1 && i < n && j >= 1 && j < n && k >= 1 && k < n;
        v.type_point[size_t(p)] = inBox ? 1 : 3;
        v.point_loc[3 * size_t(p)] = v.point_glob[3 * size_t(p)] = i * h;
        v.point_loc[3 * size_t(p) + 1] = v.point_glob[3 * size_t(p) + 1] = j * h;
        v.point_loc[3 * size_t(p) + 2] = v.point_glob[3 * size_t(p) + 2] = k * h;
        v.xi_x[size_t(p)] = v.eta_y[size_t(p)] = v.zeta_z[size_t(p)] = 1.0f;
        v.g_xixi[size_t(p)] = v.g_etaeta[size_t(p)] = v.g_zetazeta[size_t(p)] = 1.0f;
      }
}

// A state holding `count` boxes and all readiness flags set.
inline std::unique_ptr<SimulationState> boxState(int count = 1, int n = 8, double h = 0.1) {
  auto s = std::make_unique<SimulationState>();
  s->volumes.resize(size_t(count));
  for (int i = 0; i < count; ++i) makeBox(s->volumes[size_t(i)], n, h, i);
  s->volumeCount = count;
  s->gridCreated = 1;
  s->interpolationReady = 1;
  s->flowInitialised = 1;
  s->domainReady = 1;
  return s;
}

inline DomainInputs defaultInputs() {
  DomainInputs in;
  in.D = toSingle(15);
  in.s = toSingle(0.02);
  return in;
}

// A state with the shell grid built from `in` (no interpolation data).
inline std::unique_ptr<SimulationState> gridState(const DomainInputs& in = defaultInputs(),
                                                  int schemeOrder = 2) {
  auto s = std::make_unique<SimulationState>();
  s->schemeOrder = schemeOrder;
  CoreError error;
  EXPECT_TRUE(createDomain(*s, in, &error)) << error;
  return s;
}

// The default grid with complete interpolation data.
inline std::unique_ptr<SimulationState> interpolatedGridState() {
  auto s = gridState();
  CoreError error;
  EXPECT_TRUE(runInterpolation(
      *s, [](int, int) {}, &error))
      << error;
  EXPECT_EQ(s->interpolationReady.load(), 1);
  return s;
}

// A smooth flow on the computed points, every third ghost turned into a
// code-2 ghost, receivers spread over the four codes, and every fifth
// receiver's stencil pointed at an interpolated point of its donor (every
// fifth at a ghost point): the order of the exchange then decides the
// result. Counts the stencils changed each way.
inline void chainReceivers(SimulationState& s, int* chained, int* ghosts) {
  for (auto& v : s.volumes) {
    int seen = 0;
    for (int n = 0; n < int(v.pointCount()); ++n) {
      const size_t un = size_t(n);
      if (v.type_point[un] == 3 && n % 3 == 0) v.type_point[un] = 2;
      if (v.type_point[un] == 1) {
        const double x = v.point_glob[3 * un], y = v.point_glob[3 * un + 1],
                     z = v.point_glob[3 * un + 2];
        v.u[un] = 0.5 + 0.3 * std::sin(x + 2 * y);
        v.v[un] = 0.2 * std::cos(z - x);
        v.w[un] = 0.1 * x * y;
        v.ro[un] = 1 + 0.1 * std::sin(y * z);
        v.T[un] = 1 + 0.05 * std::cos(x * z);
        v.P[un] = v.ro[un] * v.T[un];
      }
      if (v.type_point[un] != 4) continue;
      ++seen;
      if (seen % 7 == 0) v.type_point[un] = 4 + (seen / 7) % 4;
      if (seen % 5 != 0 && seen % 5 != 2) continue;
      // Every fifth receiver reads an interpolated point of its donor, and
      // every fifth a ghost point (code 2 or 3).
      const bool ghost = seen % 5 == 2;
      InterpolEntry& e = v.interpol_data[un];
      const FiniteVolume& d = s.volumes[size_t(e.donor)];
      for (int p = int(d.pointCount()) - 1 - (seen * 37) % 500; p >= 0; --p) {
        const int t = d.type_point[size_t(p)];
        if (ghost ? (t == 2 || t == 3) : t >= 4) {
          e.donor_points[seen % v.stencil_size] = p;
          ++*(ghost ? ghosts : chained);
          break;
        }
      }
    }
  }
}

inline Vec3 globalPosition(const FiniteVolume& v, int n) {
  return {v.point_glob[3 * size_t(n)], v.point_glob[3 * size_t(n) + 1],
          v.point_glob[3 * size_t(n) + 2]};
}

// Sets the local velocity of every point of every allocated volume from a
// global velocity field V(X).
inline void setVelocity(SimulationState& s, const std::function<Vec3(const Vec3&)>& V) {
  for (int vi = 0; vi < s.volumeCount; ++vi) {
    FiniteVolume& v = s.volumes[size_t(vi)];
    if (!v.allocated) continue;
    for (int n = 0; n < int(v.pointCount()); ++n) {
      const Vec3 local = globalToLocalVector(v, V(globalPosition(v, n)));
      v.u[size_t(n)] = local[0];
      v.v[size_t(n)] = local[1];
      v.w[size_t(n)] = local[2];
    }
  }
}

// The program's pieces over whole volumes (the step runs them slab by slab
// and volume by volume).
inline void predictVolume(FiniteVolume& v, const FlowParams& p) {
  stageInputsSlab(v, RhsTarget::Predictor, 0, v.Nx);
  rhsSlab(v, p, RhsTarget::Predictor, v.i_begin, v.i_end);
  updateSlab(v, p.dt, RhsTarget::Predictor, v.i_begin, v.i_end);
}
inline void correctVolume(FiniteVolume& v, const FlowParams& p) {
  stageInputsSlab(v, RhsTarget::Corrector, 0, v.Nx);
  rhsSlab(v, p, RhsTarget::Corrector, v.i_begin, v.i_end);
  updateSlab(v, p.dt, RhsTarget::Corrector, v.i_begin, v.i_end);
}
// The boundary passes with the state's far field at its physicalTime.
inline void boundaryVelocity(SimulationState& s, int code) {
  const FarFieldParams ff = farFieldParams(s);
  for (auto& v : s.volumes) exchange_detail::boundaryVelocityVolume(v, s.schemeOrder, code, ff);
}
inline void boundaryDivergence(SimulationState& s, int code) {
  const FarFieldParams ff = farFieldParams(s);
  for (auto& v : s.volumes) exchange_detail::boundaryDivergenceVolume(v, s.schemeOrder, code, ff);
}
inline void boundaryScalars(SimulationState& s, int code) {
  const FarFieldParams ff = farFieldParams(s);
  for (auto& v : s.volumes)
    exchange_detail::boundaryScalarsVolume(v, s.schemeOrder, code, s.k, s.M, s.Re, ff);
}

}  // namespace brelvik::testing
