#include "gui/render/volume_outline.h"

#include <cmath>
#include <optional>

#include "grid/geometry.h"
#include "gui/render/render_math.h"

namespace brelvik {

namespace {

double dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

int planeCount(const FiniteVolume& vol) {
  return std::min<int>(vol.plane_count, static_cast<int>(vol.planes.size()));
}

// Joins consecutive accepted samples.
struct Polyline {
  std::vector<OutlineSegment>& out;
  std::optional<Vec3> previous;
  void add(const std::optional<Vec3>& sample) {
    if (previous && sample) out.push_back({*previous, *sample});
    previous = sample;
  }
};

}  // namespace

void appendPlanePairEdges(const FiniteVolume& vol, std::vector<OutlineSegment>& out) {
  const int count = planeCount(vol);
  for (int i = 0; i < count; ++i) {
    for (int j = i + 1; j < count; ++j) {
      const Vec3& ni = vol.planes[i].normal;
      const Vec3& nj = vol.planes[j].normal;
      const Vec3 d = {ni[1] * nj[2] - ni[2] * nj[1], ni[2] * nj[0] - ni[0] * nj[2],
                      ni[0] * nj[1] - ni[1] * nj[0]};
      // The largest component, x before y before z on ties.
      int h = 0;
      for (int c = 1; c < 3; ++c)
        if (std::fabs(d[c]) > std::fabs(d[h])) h = c;
      if (std::fabs(d[h]) < 0.00001) continue;  // parallel planes

      // A point on the line with coordinate h = 0; the other two solve both
      // plane equations.
      const int a = h == 0 ? 1 : 0;
      const int b = h == 2 ? 1 : 2;
      double ya = 0, yb = 0;
      solve2x2(ni[a], ni[b], dot(ni, vol.planes[i].point), nj[a], nj[b],
               dot(nj, vol.planes[j].point), ya, yb);
      Vec3 p0{};
      p0[a] = ya;
      p0[b] = yb;

      // t covers -10..10 in the picked coordinate.
      const double lo = std::min(-10.0 / d[h], 10.0 / d[h]);
      const double hi = std::max(-10.0 / d[h], 10.0 / d[h]);
      Polyline line{out, std::nullopt};
      for (double t = lo;; t += 0.01) {
        const Vec3 P = {p0[0] + t * d[0], p0[1] + t * d[1], p0[2] + t * d[2]};
        line.add(insideVolume(vol, P) ? std::optional<Vec3>(P) : std::nullopt);
        if (t >= hi) break;
      }
    }
  }
}

void appendPlaneSphereArcs(const FiniteVolume& vol, double r, std::vector<OutlineSegment>& out) {
  const int count = planeCount(vol);
  for (int p = 0; p < count; ++p) {
    // The plane in the local frame: L x + M y + N z + O = 0.
    const Vec3 q = globalToGrid(vol, vol.planes[p].point, 1);
    const Vec3 n = globalToLocalVector(vol, vol.planes[p].normal);
    const double L = n[0], M = n[1], N = n[2];
    const double O = -(L * q[0] + M * q[1] + N * q[2]);

    auto accept = [&](double x, double y, double z) -> std::optional<Vec3> {
      const Vec3 P = localToGlobalPoint(vol, x, y, z);
      if (!insidePlanes(vol, P)) return std::nullopt;
      return P;
    };
    // Samples the parameter from -r in steps of 0.01 up to the first value
    // at or beyond r.
    auto trace = [&](auto&& sample) {
      Polyline line{out, std::nullopt};
      double t = -r;
      line.add(sample(t));
      do {
        t += 0.01;
        line.add(sample(t));
      } while (t < r);
    };

    if (std::fabs(M) > 1e-8) {
      trace([&](double z) -> std::optional<Vec3> {
        const double b = L * (N * z + O);
        const double a = L * L + M * M;
        const double D = b * b - a * ((M * M + N * N) * z * z + 2 * N * O * z + O * O - M * M * r * r);
        if (D < 0) return std::nullopt;
        const double x = (std::sqrt(D) - b) / a;
        const double y = -(L * x + N * z + O) / M;
        return accept(x, y, z);
      });
    } else if (std::fabs(N) > 1e-8) {
      trace([&](double y) -> std::optional<Vec3> {
        const double b = L * O;
        const double a = L * L + N * N;
        const double D = b * b - a * (N * N * y * y + O * O - N * N * r * r);
        if (D < 0) return std::nullopt;
        const double x = (std::sqrt(D) - b) / a;
        const double z = -(L * x + O) / N;
        return accept(x, y, z);
      });
    } else if (std::fabs(L) > 1e-8) {
      const double x = -O / L;
      const double E = r * r - O * O / (L * L);
      for (const double sign : {1.0, -1.0}) {
        trace([&](double z) -> std::optional<Vec3> {
          if (E - z * z < 0) return std::nullopt;
          return accept(x, sign * std::sqrt(E - z * z), z);
        });
      }
    }
  }
}

std::vector<OutlineSegment> volumeOutline(const FiniteVolume& vol) {
  std::vector<OutlineSegment> out;
  appendPlanePairEdges(vol, out);
  appendPlaneSphereArcs(vol, 0.5, out);
  appendPlaneSphereArcs(vol, vol.r_out, out);
  return out;
}

}  // namespace brelvik
