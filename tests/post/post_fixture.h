#pragma once
// Shared set-up of the post-processing tests: a fresh state with the default
// domain and simple flow fields.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "core_error_print.h"
#include "grid/geometry.h"
#include "state/simulation_state.h"

namespace brelvik::testing {

inline std::unique_ptr<SimulationState> makeDomain(int nx = 19, int ny = 12, int nz = 12) {
  auto s = std::make_unique<SimulationState>();
  DomainInputs in;
  in.D = toSingle(15.0);
  in.s = toSingle(0.02);
  in.nx = nx;
  in.ny = ny;
  in.nz = nz;
  CoreError error;
  EXPECT_TRUE(createDomain(*s, in, &error)) << error;
  return s;
}

// Sets u_glob/v_glob/w_glob at every point of every volume from the global
// position, and T, P, ro from `scalar` of the grid coordinates.
inline void setFlow(SimulationState& s, const std::function<Vec3(const Vec3&)>& velocity,
                    const std::function<double(double, double, double)>& scalar = nullptr) {
  for (int v = 0; v < s.volumeCount; ++v) {
    FiniteVolume& vol = s.volumes[static_cast<size_t>(v)];
    const size_t n = static_cast<size_t>(vol.pointCount());
    for (size_t p = 0; p < n; ++p) {
      const Vec3 X{vol.point_glob[3 * p], vol.point_glob[3 * p + 1], vol.point_glob[3 * p + 2]};
      const Vec3 u = velocity(X);
      vol.u_glob[p] = u[0];
      vol.v_glob[p] = u[1];
      vol.w_glob[p] = u[2];
      const double value =
          scalar ? scalar(vol.point_loc[3 * p], vol.point_loc[3 * p + 1], vol.point_loc[3 * p + 2])
                 : 1.0;
      vol.T[p] = value;
      vol.P[p] = value;
      vol.ro[p] = value;
    }
  }
}

inline void setUniformFlow(SimulationState& s, const Vec3& velocity) {
  setFlow(s, [velocity](const Vec3&) { return velocity; });
}

}  // namespace brelvik::testing
