// Edges of a volume: plane-pair lines and plane-sphere arcs.
#include <QtTest>

#include <cmath>

#include "gui/app/error_text.h"
#include "grid/geometry.h"
#include "gui/render/volume_outline.h"
#include "state/simulation_state.h"

using namespace brelvik;

namespace {

double length(const std::vector<OutlineSegment>& segs) {
  double sum = 0;
  for (const auto& s : segs)
    sum += std::hypot(s.b[0] - s.a[0], s.b[1] - s.a[1], s.b[2] - s.a[2]);
  return sum;
}

double radius(const Vec3& p) { return std::hypot(p[0], p[1], p[2]); }

// The quarter space x >= 0, y >= 0 between the spheres 0.5 and 2 about the
// origin, in a volume whose local frame is the global one.
FiniteVolume quarterShell() {
  FiniteVolume vol;
  vol.r_in = 0.5;
  vol.r_out = 2.0;
  vol.planes.resize(2);
  vol.planes[0].normal = {1, 0, 0};
  vol.planes[1].normal = {0, 1, 0};
  vol.plane_count = 2;
  return vol;
}

}  // namespace

class VolumeOutlineTest : public QObject {
  Q_OBJECT
 private slots:
  void edgeOfTwoPlanes() {
    const FiniteVolume vol = quarterShell();
    std::vector<OutlineSegment> edges;
    appendPlanePairEdges(vol, edges);
    // The z axis, kept where the shell is: |z| in [0.5, 2], twice 1.5 long.
    QVERIFY(!edges.empty());
    for (const auto& s : edges) {
      for (const Vec3& p : {s.a, s.b}) {
        QVERIFY(std::fabs(p[0]) < 1e-12 && std::fabs(p[1]) < 1e-12);
        QVERIFY(std::fabs(p[2]) > 0.5 - 1e-3 && std::fabs(p[2]) < 2 + 1e-3);
      }
    }
    QVERIFY(std::fabs(length(edges) - 3.0) < 0.03);
  }

  void parallelPlanesHaveNoEdge() {
    FiniteVolume vol = quarterShell();
    vol.planes[1].normal = {-2, 1e-7, 0};  // parallel to the first within 1e-5
    vol.planes[1].point = {1, 0, 0};
    std::vector<OutlineSegment> edges;
    appendPlanePairEdges(vol, edges);
    QVERIFY(edges.empty());
  }

  void arcsOfTheTwoPlanes() {
    FiniteVolume vol = quarterShell();
    for (double r : {0.5, 2.0}) {
      std::vector<OutlineSegment> arcs;
      appendPlaneSphereArcs(vol, r, arcs);
      // Each plane cuts a half circle that lies in the quarter space. The
      // sampling by one coordinate loses at most the steep last step of each.
      QVERIFY2(length(arcs) > 0.9 * 2 * M_PI * r && length(arcs) < 2 * M_PI * r + 1e-9,
               qPrintable(QString::number(length(arcs))));
      for (const auto& s : arcs) {
        QVERIFY(std::fabs(radius(s.a) - r) < 1e-9);
        QVERIFY(s.a[0] > -1e-4 && s.a[1] > -1e-4);
      }
    }
    // A plane whose normal vanishes contributes nothing; the other still does.
    vol.planes[1].normal = {0, 0, 0};
    std::vector<OutlineSegment> arcs;
    appendPlaneSphereArcs(vol, 1.0, arcs);
    for (const auto& s : arcs) QVERIFY(std::fabs(s.a[0]) < 1e-12);  // plane x = 0 only
    // The whole circle now (y is no longer bounded), traced as two halves.
    QVERIFY(length(arcs) > 0.95 * 2 * M_PI && length(arcs) < 2 * M_PI + 1e-9);
  }

  void arcsFollowTheLocalFrame() {
    // The same shell moved to (3, 0, 0) and turned 90 degrees about z: its
    // planes become y >= 0 (local x) and x <= 3 (local y).
    FiniteVolume vol = quarterShell();
    vol.origin = {3, 0, 0};
    vol.axis_x = {0, 1, 0};
    vol.axis_y = {-1, 0, 0};
    vol.axis_z = {0, 0, 1};
    vol.planes[0] = {{3, 0, 0}, {0, 1, 0}};
    vol.planes[1] = {{3, 0, 0}, {-1, 0, 0}};
    const auto segs = volumeOutline(vol);
    QVERIFY(!segs.empty());
    for (const auto& s : segs) {
      const Vec3 d = {s.a[0] - 3, s.a[1], s.a[2]};
      QVERIFY(s.a[1] > -1e-4 && s.a[0] < 3 + 1e-4);
      QVERIFY(radius(d) > 0.5 - 1e-3 && radius(d) < 2 + 1e-3);
    }
    const double full = 3.0 + 2 * M_PI * 0.5 + 2 * M_PI * 2.0;
    QVERIFY2(length(segs) > 0.95 * full && length(segs) < full + 0.01,
             qPrintable(QString::number(length(segs))));
  }

  void outlinesOfTheBuiltDomain() {
    SimulationState s;
    CoreError error;
    QVERIFY2(createDomain(s, DomainInputs{}, &error), qPrintable(errorText(error)));
    QCOMPARE(s.volumeCount, 6);
    for (int v = 0; v < s.volumeCount; ++v) {
      const FiniteVolume& vol = s.volumes[v];
      const auto segs = volumeOutline(vol);
      QVERIFY(segs.size() > 100);
      int onBody = 0, onOuter = 0;
      for (const auto& seg : segs) {
        QVERIFY(insidePlanes(vol, seg.a) && insidePlanes(vol, seg.b));
        const double r = radius({seg.a[0] - vol.origin[0], seg.a[1] - vol.origin[1],
                                 seg.a[2] - vol.origin[2]});
        QVERIFY(r > 0.5 - 1e-3 && r < vol.r_out + 1e-3);
        if (std::fabs(r - 0.5) < 1e-9) ++onBody;
        if (std::fabs(r - vol.r_out) < 1e-9) ++onOuter;
      }
      QVERIFY(onBody > 10);
      QVERIFY(onOuter > 10);
    }
  }
};

QTEST_MAIN(VolumeOutlineTest)
#include "volume_outline_test.moc"
