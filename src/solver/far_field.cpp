#include "solver/far_field.h"

#include <cmath>

namespace brelvik {

FarFieldParams farFieldParams(const SimulationState& s) {
  FarFieldParams p;
  p.kind = s.farField;
  p.gam = s.k;
  p.M = s.M;
  return p;
}

FlowPoint absorbingState(const FlowPoint& in, const Vec3& n, const Vec3& freeStream, double gam,
                         double M) {
  const FlowPoint inf{1.0, freeStream[0], freeStream[1], freeStream[2], 1.0};
  // c = sqrt(T)/M (see the header).
  const double cIn = std::sqrt(in.T) / M;
  const double cInf = 1.0 / M;
  const double vnIn = in.u * n[0] + in.v * n[1] + in.w * n[2];
  const double vnInf = inf.u * n[0] + inf.v * n[1] + inf.w * n[2];
  if (std::fabs(vnIn) >= cIn) return vnIn >= 0 ? in : inf;

  const double twoOverGm1 = 2.0 / (gam - 1.0);
  const double rPlus = vnIn + twoOverGm1 * cIn;
  const double rMinus = vnInf - twoOverGm1 * cInf;
  const double vn = 0.5 * (rPlus + rMinus);
  const double c = 0.25 * (gam - 1.0) * (rPlus - rMinus);

  // Tangential velocity and entropy from where the flow comes from.
  const FlowPoint& upstream = vn < 0 ? inf : in;
  const double vnUp = vn < 0 ? vnInf : vnIn;
  const double entropy = upstream.T * std::pow(upstream.ro, 1.0 - gam);  // P/ro^k

  FlowPoint b;
  b.u = upstream.u + (vn - vnUp) * n[0];
  b.v = upstream.v + (vn - vnUp) * n[1];
  b.w = upstream.w + (vn - vnUp) * n[2];
  b.T = M * M * c * c;
  b.ro = std::pow(b.T / entropy, 1.0 / (gam - 1.0));
  return b;
}

Vec3 outwardNormal(const FiniteVolume& vol, int n) {
  const double* X = &vol.point_glob[3 * size_t(n)];
  const Vec3 r{X[0] - vol.origin[0], X[1] - vol.origin[1], X[2] - vol.origin[2]};
  const double len = std::sqrt(r[0] * r[0] + r[1] * r[1] + r[2] * r[2]);
  Vec3 local{};
  const Vec3* axes[3] = {&vol.axis_x, &vol.axis_y, &vol.axis_z};
  for (int a = 0; a < 3; ++a) {
    const Vec3& ax = *axes[a];
    local[size_t(a)] = (r[0] * ax[0] + r[1] * ax[1] + r[2] * ax[2]) / len;
  }
  return local;
}

}  // namespace brelvik
