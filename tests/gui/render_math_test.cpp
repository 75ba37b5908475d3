// Pure computations behind the view: field ranges, legend texts, plot layout.
#include <QtTest>

#include <cmath>

#include "gui/render/render_math.h"
#include "state/simulation_state.h"

using namespace brelvik;

namespace {

// A volume of (n+1)^3 points with the computed region 1..n-1 in every
// direction, all points of type 1 and `field` = 0 everywhere.
void makeCube(FiniteVolume& vol, int n) {
  vol.Nx = vol.Ny = vol.Nz = n;
  vol.stride_j = n + 1;
  vol.stride_i = (n + 1) * (n + 1);
  allocateArrays(vol);
  vol.i_begin = vol.j_begin = vol.k_begin = 1;
  vol.i_end = vol.j_end = vol.k_end = n - 1;
  std::fill(vol.type_point.begin(), vol.type_point.end(), int(kPointComputed));
}

void addVolumes(SimulationState& s, int count) {
  s.volumes.resize(static_cast<size_t>(count));
  for (int v = 0; v < count; ++v) {
    s.volumes[v].index = v;
    makeCube(s.volumes[v], 4);
  }
  s.volumeCount = count;
}

std::vector<std::string> textsAt(const std::vector<LegendText>& texts, int y) {
  std::vector<std::string> out;
  for (const auto& t : texts)
    if (t.y == y) out.push_back(t.text);
  return out;
}

}  // namespace

class RenderMathTest : public QObject {
  Q_OBJECT
 private slots:
  void conversions() {
    QCOMPARE(colourComponent(192.0f), 192.0f / 255.0f);
    QCOMPARE(colourComponent(0.0f), 0.0f);
    double y = 0, z = 0;
    // 2y + z = 5, y - 3z = -1  ->  y = 2, z = 1
    solve2x2(2, 1, 5, 1, -3, -1, y, z);
    QCOMPARE(y, 2.0);
    QCOMPARE(z, 1.0);
  }

  void rangeOfOneVolume() {
    FiniteVolume vol;
    makeCube(vol, 4);
    std::vector<double>& f = vol.P;
    // Outside the region: never counted, however extreme.
    f[pointIndex(vol, 0, 2, 2)] = 100;
    f[pointIndex(vol, 4, 4, 4)] = -100;
    // Inside but not a computed point: ignored.
    f[pointIndex(vol, 2, 2, 2)] = 50;
    vol.type_point[pointIndex(vol, 2, 2, 2)] = kPointInterpolated;
    // Counted points.
    f[pointIndex(vol, 3, 1, 2)] = 7;
    f[pointIndex(vol, 1, 3, 3)] = -2;
    QCOMPARE(*fieldMaximum(vol, f), 7.0);
    QCOMPARE(*fieldMinimum(vol, f), -2.0);

    // The region's first point seeds the value whatever its type.
    const int first = pointIndex(vol, 1, 1, 1);
    f[first] = 30;
    vol.type_point[first] = kPointBoundary;
    QCOMPARE(*fieldMaximum(vol, f), 30.0);
    QCOMPARE(*fieldMinimum(vol, f), -2.0);
    f[first] = -30;
    QCOMPARE(*fieldMinimum(vol, f), -30.0);
    QCOMPARE(*fieldMaximum(vol, f), 7.0);

    // Arrays not allocated (or a region past their end): no value at all.
    FiniteVolume empty;
    empty.i_end = empty.j_end = empty.k_end = 2;
    QVERIFY(!fieldMaximum(empty, empty.P).has_value());
    vol.i_end = 9;
    QVERIFY(!fieldMinimum(vol, f).has_value());
  }

  void rangeOverTheDomain() {
    SimulationState s;
    QVERIFY(!domainRange(s, LegendField::U).has_value());  // no volumes yet
    addVolumes(s, 3);
    s.volumes[0].u_glob[pointIndex(s.volumes[0], 2, 2, 2)] = 4;
    s.volumes[2].u_glob[pointIndex(s.volumes[2], 2, 2, 2)] = -1;
    auto u = domainRange(s, LegendField::U);
    QCOMPARE(u->minimum, -1.0);
    QCOMPARE(u->maximum, 4.0);

    // The vorticity range leaves out the first volume entirely.
    s.volumes[0].vixr[pointIndex(s.volumes[0], 2, 2, 2)] = 99;
    s.volumes[0].vixr[pointIndex(s.volumes[0], 2, 2, 3)] = -99;
    s.volumes[1].vixr[pointIndex(s.volumes[1], 2, 2, 2)] = 3;
    auto vixr = domainRange(s, LegendField::Vixr);
    QCOMPARE(vixr->maximum, 3.0);
    QCOMPARE(vixr->minimum, 0.0);

    // Each field reads its own array.
    s.volumes[1].T[pointIndex(s.volumes[1], 1, 2, 3)] = 1.5;
    s.volumes[1].ro[pointIndex(s.volumes[1], 1, 2, 3)] = 0.25;
    QCOMPARE(domainRange(s, LegendField::T)->maximum, 1.5);
    QCOMPARE(domainRange(s, LegendField::Ro)->maximum, 0.25);
    QCOMPARE(domainRange(s, LegendField::W)->maximum, 0.0);

    // One volume cannot supply the vorticity range; volumeCount, not the
    // array's size, bounds the volumes read.
    s.volumeCount = 1;
    QVERIFY(!domainRange(s, LegendField::Vixr).has_value());
    QCOMPARE(domainRange(s, LegendField::U)->minimum, 0.0);
  }

  void legendTextsWithDefaults() {
    SimulationState s;
    const auto texts = legendTexts(*captureViewSnapshot(s, kSnapshotRanges));
    QCOMPARE(textsAt(texts, 5), std::vector<std::string>{"порядок аппроксимации=2"});
    QCOMPARE(textsAt(texts, 20), std::vector<std::string>{"Re=100.00 M=0.60"});
    QCOMPARE(textsAt(texts, 35), std::vector<std::string>{"Pr=1.00 k=1.40"});
    QCOMPARE(textsAt(texts, 50), std::vector<std::string>{"итерация=0"});
    QCOMPARE(textsAt(texts, 65), std::vector<std::string>{"время=0.00e+00"});
    QCOMPARE(textsAt(texts, 80), std::vector<std::string>{"         min              max"});
    // No volumes: every range shows its label only.
    QCOMPARE(textsAt(texts, 95), std::vector<std::string>{"u"});
    QCOMPARE(textsAt(texts, 185), std::vector<std::string>{"vixr"});
    QCOMPARE(textsAt(texts, 200), (std::vector<std::string>{"         0.0000", "Cx"}));
    QCOMPARE(textsAt(texts, 230), (std::vector<std::string>{"         0.0000", "Cf"}));
    QCOMPARE(texts.size(), size_t(6 + 7 + 6));
  }

  void legendTextsWithVolumes() {
    SimulationState s;
    addVolumes(s, 2);
    s.stepCount = 1234;
    s.physicalTime = 1.234;
    s.Cp = -0.5;
    s.volumes[0].P[pointIndex(s.volumes[0], 1, 1, 2)] = 1.25;
    s.volumes[1].P[pointIndex(s.volumes[1], 3, 3, 3)] = -12345.678;
    s.volumes[1].vixr[pointIndex(s.volumes[1], 3, 3, 3)] = 0.5;
    const auto texts = legendTexts(*captureViewSnapshot(s, kSnapshotRanges));
    QCOMPARE(textsAt(texts, 50), std::vector<std::string>{"итерация=1234"});
    QCOMPARE(textsAt(texts, 65), std::vector<std::string>{"время=1.23e+00"});
    // Right-aligned in 15 characters each; the label follows at the same point.
    QCOMPARE(textsAt(texts, 140),
             (std::vector<std::string>{"    -12345.6780         1.2500", "p"}));
    QCOMPARE(textsAt(texts, 185),
             (std::vector<std::string>{"         0.0000         0.5000", "vixr"}));
    QCOMPARE(textsAt(texts, 215), (std::vector<std::string>{"        -0.5000", "Cp"}));
  }

  void plotNeedsTwoSamples() {
    QVERIFY(!coefficientPlotLayout({}, {}, 400, 300).drawn);
    QVERIFY(!coefficientPlotLayout({0.0}, {1.0}, 400, 300).drawn);
    // Unequal lengths: only the common prefix counts.
    QVERIFY(!coefficientPlotLayout({0.0, 1.0}, {1.0}, 400, 300).drawn);
  }

  void plotScales() {
    const int S = 400, H = 300;
    const PlotLayout two = coefficientPlotLayout({0.0, 0.5}, {1.0, 0.0}, S, H);
    QVERIFY(two.drawn);
    QCOMPARE(two.axes.size(), size_t(2));
    QCOMPARE(two.axes[0].x1, 50);
    QCOMPARE(two.axes[0].y2, H - 25);
    QCOMPARE(two.axes[1].x2, S);
    QCOMPARE(two.curve.size(), size_t(1));
    // cmax at y = 10, cmin on the axis at y = H - 25; x from 51 to S - 4.
    QCOMPARE(two.curve[0].x1, 51);
    QCOMPARE(two.curve[0].y1, 10);
    QCOMPARE(two.curve[0].x2, S - 4);
    QCOMPARE(two.curve[0].y2, H - 25);

    QCOMPARE(two.labels.size(), size_t(5));
    QCOMPARE(two.labels[0].text, std::string("1.0000"));
    QCOMPARE(two.labels[1].text, std::string("0.0000"));
    QCOMPARE(two.labels[1].y, H - 40);
    QCOMPARE(two.labels[2].text, std::string("0.00"));
    QCOMPARE(two.labels[3].text, std::string("0.50"));
    QCOMPARE(two.labels[3].x, S - 45);
    QCOMPARE(two.labels[4].text, std::string("Cx"));
    QCOMPARE(two.labels[4].x, S - 20);

    // Segments join end to end; the running abscissa is truncated per point.
    const PlotLayout many =
        coefficientPlotLayout({0, 1, 2, 4}, {3.0, 2.0, 4.0, 0.0}, S, H);
    QCOMPARE(many.curve.size(), size_t(3));
    for (size_t i = 0; i + 1 < many.curve.size(); ++i) {
      QCOMPARE(many.curve[i].x2, many.curve[i + 1].x1);
      QCOMPARE(many.curve[i].y2, many.curve[i + 1].y1);
    }
    QCOMPARE(many.curve[0].x2, 51 + int((S - 55) / 4.0));
    QCOMPARE(many.curve[2].x2, S - 4);
    QCOMPARE(many.curve[2].y2, H - 25);  // the smallest value
    QCOMPARE(many.curve[1].y2, 10);      // the largest
  }

  void plotWithoutSpread() {
    const int S = 300, H = 200;
    // All Cx equal: axes and labels, and a flat line on the time axis.
    const PlotLayout flatCx = coefficientPlotLayout({0, 1, 2}, {0.7, 0.7, 0.7}, S, H);
    QVERIFY(flatCx.drawn);
    QCOMPARE(flatCx.axes.size(), size_t(2));
    QCOMPARE(flatCx.labels.size(), size_t(5));
    QCOMPARE(flatCx.labels[0].text, std::string("0.7000"));
    QCOMPARE(flatCx.curve.size(), size_t(1));
    QCOMPARE(flatCx.curve[0].y1, H - 25);
    QCOMPARE(flatCx.curve[0].y2, H - 25);
    QCOMPARE(flatCx.curve[0].x1, 51);
    QCOMPARE(flatCx.curve[0].x2, S - 4);
    // All times equal.
    const PlotLayout flatT = coefficientPlotLayout({2, 2, 2}, {0.1, 0.9, 0.5}, S, H);
    QCOMPARE(flatT.curve.size(), size_t(1));
    QCOMPARE(flatT.curve[0].y1, H - 25);
    QCOMPARE(flatT.labels[2].text, std::string("2.00"));
    // A diverged (non-finite) sample gives no scale either.
    const PlotLayout nan = coefficientPlotLayout({0, 1}, {std::nan(""), 1.0}, S, H);
    QCOMPARE(nan.curve.size(), size_t(1));
    QCOMPARE(nan.curve[0].y2, H - 25);
  }

  void historyCopyMatchesSeries() {
    SimulationState s;
    for (int i = 0; i < 3; ++i) {
      s.historyTime.append();
      s.historyTime.item(i) = 0.1 * i;
      s.historyCx.append();
      s.historyCx.item(i) = 1.0 + i;
    }
    const auto snap = captureViewSnapshot(s, kSnapshotHistory);
    QCOMPARE(snap->historyTime.size(), size_t(3));
    QCOMPARE(snap->historyCx[2], 3.0);
  }
};

QTEST_MAIN(RenderMathTest)
#include "render_math_test.moc"
