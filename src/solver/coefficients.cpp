#include "solver/coefficients.h"

#include <cmath>

#include "state/simulation_state.h"

namespace brelvik {

namespace {

// Distance from the volume's local origin of point n (global coordinates
// taken into the local frame).
double localRadius(const FiniteVolume& vol, int n) {
  const double gx = vol.point_glob[3 * size_t(n)] - vol.origin[0];
  const double gy = vol.point_glob[3 * size_t(n) + 1] - vol.origin[1];
  const double gz = vol.point_glob[3 * size_t(n) + 2] - vol.origin[2];
  const Vec3& ax = vol.axis_x;
  const Vec3& ay = vol.axis_y;
  const Vec3& az = vol.axis_z;
  const double x = gx * ax[0] + gy * ax[1] + gz * ax[2];
  const double y = gx * ay[0] + gy * ay[1] + gz * ay[2];
  const double z = gx * az[0] + gy * az[1] + gz * az[2];
  return std::sqrt(x * x + y * y + z * z);
}

// Linear extrapolation in radius to R from the values q0, q1 at the points
// (i_begin, j, k) and (i_begin+1, j, k).
double extrapolateToWall(const FiniteVolume& vol, int j, int k, double q0, double q1) {
  const double R = vol.box_origin[0];
  const double r0 = localRadius(vol, pointIndex(vol, vol.i_begin, j, k));
  const double r1 = localRadius(vol, pointIndex(vol, vol.i_begin + 1, j, k));
  const double slope = (q1 - q0) / (r1 - r0);
  return q0 + slope * R - r0 * slope;
}

// Radial derivative dq/dxi at n with the difference of the given order; the
// coefficients are the stored decimal literals. Orders other than 2, 4, 6
// have no formula and give 0.
double radialDerivative(const double* q, int n, int si, double H, int order) {
  switch (order) {
    case 2:
      return 0.5 * H * (q[n + si] - q[n - si]);
    case 4:
      return H * (0.66666666666666 * (q[n + si] - q[n - si]) -
                  0.08333333333333 * (q[n + 2 * si] - q[n - 2 * si]));
    case 6:
      return H * (0.75 * (q[n + si] - q[n - si]) - 0.15 * (q[n + 2 * si] - q[n - 2 * si]) +
                  0.01666666666666 * (q[n + 3 * si] - q[n - 3 * si]));
    default:
      return 0.0;
  }
}

// Global x component of a force given in the volume's local axes.
double globalX(const FiniteVolume& vol, const std::array<double, 3>& F) {
  return F[0] * vol.axis_x[0] + F[1] * vol.axis_y[0] + F[2] * vol.axis_z[0];
}

// The global x force sums over the shell volumes: pressure in sums[0],
// friction in sums[1] (each only when asked for). The forces of the volumes
// are computed in parallel and added in volume order, so the sums do not
// depend on the number of threads.
std::array<double, 2> dragSums(const SimulationState& s, bool pressure, bool friction) {
  const int count = s.volumeCount;
  std::vector<double> fx(2 * size_t(count), 0.0);
#pragma omp parallel for schedule(static)
  for (int t = 0; t < 2 * count; ++t) {
    const bool isPressure = t < count;
    const FiniteVolume& vol = s.volumes[size_t(isPressure ? t : t - count)];
    if (!(isPressure ? pressure : friction)) continue;
    fx[size_t(t)] = isPressure ? pressureDragOf(vol) : frictionDragOf(vol, s.schemeOrder);
  }
  std::array<double, 2> sums{0.0, 0.0};
  for (int vi = 0; vi < count; ++vi) {
    const FiniteVolume& vol = s.volumes[size_t(vi)];
    if (!vol.allocated || vol.kind != 2) continue;
    sums[0] += fx[size_t(vi)];
    sums[1] += fx[size_t(count + vi)];
  }
  return sums;
}

size_t surfaceSize(const FiniteVolume& vol) { return size_t(vol.Ny + 1) * size_t(vol.Nz + 1); }

}  // namespace

FaceGeometry faceGeometry(const FiniteVolume& vol, int j, int k) {
  const double R = vol.box_origin[0];
  const size_t n = size_t(pointIndex(vol, vol.i_begin, j, k));
  const double eta = vol.point_loc[3 * n + 1];
  const double zeta = vol.point_loc[3 * n + 2];
  const double s2 = 1.0 + eta * eta + zeta * zeta;
  const double s = std::sqrt(s2);
  const double s3 = std::pow(s2, 1.5);
  FaceGeometry g;
  g.x = R * 1.0 / s;
  g.y = R * -eta / s;
  g.z = R * -zeta / s;
  g.nx = g.x / R;
  g.ny = g.y / R;
  g.nz = g.z / R;
  const double ex = -R * eta / s3, ey = -R / s + R * eta * eta / s3, ez = R * eta * zeta / s3;
  const double zx = -R * zeta / s3, zy = R * eta * zeta / s3, zz = -R / s + R * zeta * zeta / s3;
  const double cx = ey * zz - ez * zy;
  const double cy = ez * zx - ex * zz;
  const double cz = ex * zy - ey * zx;
  g.area = std::sqrt(cx * cx + cy * cy + cz * cz);
  return g;
}

double wallValue(const FiniteVolume& vol, const double* q, int j, int k) {
  return extrapolateToWall(vol, j, k, q[pointIndex(vol, vol.i_begin, j, k)],
                           q[pointIndex(vol, vol.i_begin + 1, j, k)]);
}

double surfaceIntegral(const FiniteVolume& vol, const double* f) {
  const double hz = vol.steps_zeta[0];
  const double he = vol.steps_eta[0];
  auto strip = [&](int j) {
    double sum = 0.0;
    for (int k = vol.k_begin; k < vol.k_end; ++k) {
      const int n = j * vol.stride_j + k;
      sum += hz * (f[n] + f[n + 1]) * 0.5;
    }
    return sum;
  };
  double total = 0.0;
  for (int j = vol.j_begin; j < vol.j_end; ++j) total += (strip(j) + strip(j + 1)) * he * 0.5;
  return total;
}

std::vector<FaceGeometry> sphereFaceGeometry(const FiniteVolume& vol) {
  std::vector<FaceGeometry> face;
  if (!vol.allocated || vol.kind != 2) return face;
  face.resize(surfaceSize(vol));
  for (int j = vol.j_begin; j <= vol.j_end; ++j)
    for (int k = vol.k_begin; k <= vol.k_end; ++k) face[size_t(j * vol.stride_j + k)] = faceGeometry(vol, j, k);
  return face;
}

std::array<double, 3> pressureForce(const FiniteVolume& vol, const std::vector<FaceGeometry>& face) {
  const double R = vol.box_origin[0];
  std::vector<double> fx(surfaceSize(vol)), fy(surfaceSize(vol)), fz(surfaceSize(vol));
  for (int j = vol.j_begin; j <= vol.j_end; ++j) {
    for (int k = vol.k_begin; k <= vol.k_end; ++k) {
      const FaceGeometry& g = face[size_t(j * vol.stride_j + k)];
      const double Pw = wallValue(vol, vol.P.data(), j, k);
      const size_t m = size_t(j * vol.stride_j + k);
      fx[m] = g.area * (g.x * Pw / R);
      fy[m] = g.area * (g.y * Pw / R);
      fz[m] = g.area * (g.z * Pw / R);
    }
  }
  return {-surfaceIntegral(vol, fx.data()), -surfaceIntegral(vol, fy.data()),
          -surfaceIntegral(vol, fz.data())};
}

namespace {

// wallStressTimesRadius with the face geometry at (j, k) and log(r_base)
// given.
std::array<double, 3> wallStress(const FiniteVolume& vol, int j, int k, int schemeOrder,
                                 const FaceGeometry& g, double logBase) {
  const double H = vol.steps_xi[1];
  const int si = vol.stride_i;
  constexpr double kappa = 0.6666666666666666;  // the double nearest 2/3
  // The wall extrapolation needs the radial derivatives at the two
  // innermost computed layers only.
  const int n0 = pointIndex(vol, vol.i_begin, j, k), n1 = n0 + si;
  auto wallDerivative = [&](const std::vector<double>& q) {
    return extrapolateToWall(vol, j, k, radialDerivative(q.data(), n0, si, H, schemeOrder),
                             radialDerivative(q.data(), n1, si, H, schemeOrder));
  };
  const double a = wallDerivative(vol.u);
  const double b = wallDerivative(vol.v);
  const double c = wallDerivative(vol.w);

  const double rho = std::sqrt(g.x * g.x + g.y * g.y + g.z * g.z);
  const double Kw = rho * logBase * (rho - vol.r_offset);
  const double xix = g.x / Kw, xiy = g.y / Kw, xiz = g.z / Kw;
  // The velocity vanishes on the wall: only radial derivatives remain.
  const double txx = kappa * (2.0 * a * xix - xiy * b - xiz * c);
  const double tyy = kappa * (2.0 * b * xiy - xix * a - xiz * c);
  const double tzz = kappa * (2.0 * c * xiz - xix * a - xiy * b);
  const double txy = a * xiy + b * xix;
  const double txz = a * xiz + c * xix;
  const double tyz = b * xiz + c * xiy;
  return {txx * g.x + txy * g.y + txz * g.z, tyy * g.y + txy * g.x + tyz * g.z,
          tzz * g.z + txz * g.x + tyz * g.y};
}

}  // namespace

std::array<double, 3> wallStressTimesRadius(const FiniteVolume& vol, int j, int k,
                                           int schemeOrder) {
  return wallStress(vol, j, k, schemeOrder, faceGeometry(vol, j, k), std::log(vol.r_base));
}

std::array<double, 3> frictionForce(const FiniteVolume& vol, int schemeOrder,
                                    const std::vector<FaceGeometry>& face) {
  const double R = vol.box_origin[0];
  const double logBase = std::log(vol.r_base);
  std::vector<double> fx(surfaceSize(vol)), fy(surfaceSize(vol)), fz(surfaceSize(vol));
  for (int j = vol.j_begin; j <= vol.j_end; ++j) {
    for (int k = vol.k_begin; k <= vol.k_end; ++k) {
      const FaceGeometry& g = face[size_t(j * vol.stride_j + k)];
      const std::array<double, 3> t = wallStress(vol, j, k, schemeOrder, g, logBase);
      const double area = g.area;
      const size_t m = size_t(j * vol.stride_j + k);
      fx[m] = area * t[0] / R;
      fy[m] = area * t[1] / R;
      fz[m] = area * t[2] / R;
    }
  }
  return {surfaceIntegral(vol, fx.data()), surfaceIntegral(vol, fy.data()),
          surfaceIntegral(vol, fz.data())};
}

double pressureDragOf(const FiniteVolume& vol) { return pressureDragOf(vol, sphereFaceGeometry(vol)); }

double frictionDragOf(const FiniteVolume& vol, int schemeOrder) {
  return frictionDragOf(vol, schemeOrder, sphereFaceGeometry(vol));
}

double pressureDragOf(const FiniteVolume& vol, const std::vector<FaceGeometry>& face) {
  if (!vol.allocated || vol.kind != 2) return 0.0;
  return globalX(vol, pressureForce(vol, face));
}

double frictionDragOf(const FiniteVolume& vol, int schemeOrder, const std::vector<FaceGeometry>& face) {
  if (!vol.allocated || vol.kind != 2) return 0.0;
  return globalX(vol, frictionForce(vol, schemeOrder, face));
}

double pressureCoefficient(const SimulationState& s, double sum) {
  return sum / s.k / s.M / s.M / s.pi * 8.0;
}

double frictionCoefficient(const SimulationState& s, double sum) { return sum / s.Re / s.pi * 8.0; }

double computeCp(const SimulationState& s) {
  return pressureCoefficient(s, dragSums(s, true, false)[0]);
}

double computeCf(const SimulationState& s) {
  return frictionCoefficient(s, dragSums(s, false, true)[1]);
}

double computeCx(const SimulationState& s) { return computeCf(s) + computeCp(s); }

}  // namespace brelvik
