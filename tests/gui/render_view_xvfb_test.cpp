// The view drawn by a real OpenGL driver (Mesa under Xvfb) and read back.
#include <QtTest>

#include <thread>

#include "gui/app/error_text.h"
#include "grid/geometry.h"
#include "post/sampling_plane.h"
#include "post/streamlines.h"
#include "gui/render/brelvik_view.h"
#include "gui/render/render_math.h"
#include "state/simulation_state.h"

using namespace brelvik;

namespace {

constexpr int kWidth = 600, kHeight = 400;
constexpr int kS = (kWidth / 3) * 2;  // scene width
// The scene is 10 units high, so one unit is this many pixels (zoom 1).
constexpr double kPixelsPerUnit = kHeight / 10.0;

bool isWhite(QRgb c) { return qRed(c) == 255 && qGreen(c) == 255 && qBlue(c) == 255; }
bool isBlack(QRgb c) { return qRed(c) < 40 && qGreen(c) < 40 && qBlue(c) < 40; }

// Counts pixels of `img` in `r` for which `pred` holds.
template <class Pred>
int countPixels(const QImage& img, QRect r, Pred pred) {
  int n = 0;
  r = r.intersected(img.rect());
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x)
      if (pred(img.pixel(x, y))) ++n;
  return n;
}

// Pixel of the global point (x, y, 0) with no rotation, shift or zoom.
QPoint toPixel(double x, double y) {
  return QPoint(int(kS / 2 + x * kPixelsPerUnit), int(kHeight / 2 - y * kPixelsPerUnit));
}

void makeCube(FiniteVolume& vol, int n) {
  vol.Nx = vol.Ny = vol.Nz = n;
  vol.stride_j = n + 1;
  vol.stride_i = (n + 1) * (n + 1);
  allocateArrays(vol);
  vol.i_begin = vol.j_begin = vol.k_begin = 1;
  vol.i_end = vol.j_end = vol.k_end = n - 1;
}

}  // namespace

class RenderViewXvfbTest : public QObject {
  Q_OBJECT

  std::unique_ptr<SimulationState> s;
  std::unique_ptr<CBrelvikView> view;

  QImage grab() {
    view->update();
    return view->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
  }

 private slots:
  void init() {
    s = std::make_unique<SimulationState>();
    view = std::make_unique<CBrelvikView>(*s);
    view->resize(kWidth, kHeight);
    view->show();
    QVERIFY(QTest::qWaitForWindowExposed(view.get()));
  }
  void cleanup() {
    view.reset();
    s.reset();
  }

  void sphereModes() {
    const QRect disc(toPixel(-0.3, 0.3), toPixel(0.3, -0.3));
    const QPoint centre = toPixel(0, 0);

    s->sphereMode = 1;
    QImage img = grab();
    QCOMPARE(img.size(), QSize(kWidth, kHeight));
    QCOMPARE(countPixels(img, img.rect(), [](QRgb c) { return !isWhite(c); }), 0);

    s->sphereMode = 2;
    img = grab();
    const int wire = countPixels(img, disc, isBlack);
    const int white = countPixels(img, disc, isWhite);
    QVERIFY2(wire > 20, qPrintable(QString("black wire pixels: %1").arg(wire)));
    QVERIFY2(white > 20, "a wire sphere leaves the gaps between its lines white");
    // Nothing but black and white: the wire is unlit black.
    QCOMPARE(countPixels(img, img.rect(), [](QRgb c) { return !isWhite(c) && !isBlack(c) &&
                                                           qRed(c) != qGreen(c); }), 0);
    // Outside the sphere (radius 0.5) the picture stays white.
    QCOMPARE(countPixels(img, QRect(toPixel(0.6, 2), toPixel(2, -2)), isBlack), 0);
    // The poles lie on the y axis: the centre of the picture shows only
    // the equator, the front meridian and the nearest circles of latitude
    // (about 19 pixels), not all meridians meeting there (about 44).
    const int atCentre = countPixels(img, QRect(centre - QPoint(3, 3), QSize(7, 7)), isBlack);
    QVERIFY2(atCentre > 0 && atCentre < 32,
             qPrintable(QString("black pixels at the centre: %1").arg(atCentre)));

    s->sphereMode = 3;
    img = grab();
    const QRgb c = img.pixel(centre);
    QVERIFY2(qRed(c) == qGreen(c) && qGreen(c) == qBlue(c), "the solid sphere is grey");
    QVERIFY2(qRed(c) > 100 && qRed(c) < 230,
             qPrintable(QString("centre grey level %1").arg(qRed(c))));
    QCOMPARE(countPixels(img, disc, isWhite), 0);  // solid, no gaps
    // Lit from the upper right and a little more from above than from the
    // right (the light sits at x = 1, y = 1.5 in front of the scene).
    const auto level = [&](double x, double y) { return qRed(img.pixel(toPixel(x, y))); };
    QVERIFY(level(0.3, 0.3) > qRed(c) && qRed(c) > level(-0.3, -0.3));
    QVERIFY(level(-0.3, 0.3) > level(0.3, -0.3));

    // The right third is never part of the scene.
    s->zoom = 8;
    img = grab();
    QVERIFY(countPixels(img, QRect(0, 0, kS, kHeight), isWhite) < kS * kHeight);
    QCOMPARE(countPixels(img, QRect(kS + 1, 0, kWidth - kS - 1, kHeight),
                         [](QRgb c) { return !isWhite(c); }), 0);
  }

  void orientationMovesTheScene() {
    s->sphereMode = 3;
    s->shiftX = 2;  // two units to the right
    QImage img = grab();
    QCOMPARE(countPixels(img, QRect(toPixel(-0.3, 0.3), toPixel(0.3, -0.3)), isWhite),
             (toPixel(0.3, -0.3).x() - toPixel(-0.3, 0.3).x() + 1) *
                 (toPixel(0.3, -0.3).y() - toPixel(-0.3, 0.3).y() + 1));
    QVERIFY(!isWhite(img.pixel(toPixel(2, 0))));
    s->zoom = 0.5f;  // the shift is applied before the scale: still at x = 2
    img = grab();
    QVERIFY(!isWhite(img.pixel(toPixel(2, 0))));
    QVERIFY(isWhite(img.pixel(toPixel(2.4, 0))));  // radius now 0.25
  }

  void gridPointsAndNodeVectors() {
    s->volumes.resize(1);
    FiniteVolume& vol = s->volumes[0];
    makeCube(vol, 4);
    // Points on a 1-unit lattice in x-y, the middle layer k = 2 at z = 0;
    // the other layers are shifted in x by a quarter unit per layer, so that
    // a layer drawn by mistake shows beside the middle one.
    for (int i = 0; i <= 4; ++i)
      for (int j = 0; j <= 4; ++j)
        for (int k = 0; k <= 4; ++k) {
          const int n = pointIndex(vol, i, j, k);
          vol.point_glob[3 * n] = i - 2.0 + 0.25 * (k - 2);
          vol.point_glob[3 * n + 1] = j - 2.0;
          vol.point_glob[3 * n + 2] = k - 2.0;
          vol.type_point[n] = kPointComputed;
          vol.u_glob[n] = 0;
          vol.v_glob[n] = 1;  // straight up
        }
    vol.type_point[pointIndex(vol, 4, 4, 2)] = kPointInterpolated;  // not shown
    s->volumeCount = 1;

    s->gridMode = 2;
    QImage img = grab();
    const auto near = [&](QPoint p) { return countPixels(img, QRect(p - QPoint(1, 1), QSize(3, 3)), isBlack); };
    QVERIFY(near(toPixel(0, 0)) > 0);
    QVERIFY(near(toPixel(-2, -2)) > 0);
    QVERIFY(near(toPixel(1, 2)) > 0);
    QCOMPARE(near(toPixel(2, 2)), 0);      // type 4
    QCOMPARE(near(toPixel(0.5, 0.5)), 0);  // between points
    // Only the middle layer.
    QCOMPARE(near(toPixel(0.25, 0)), 0);
    QCOMPARE(near(toPixel(-0.5, 1)), 0);

    // Volumes with index 1 and 3 never show points; the others do.
    for (int index : {1, 3}) {
      vol.index = index;
      img = grab();
      QCOMPARE(near(toPixel(0, 0)), 0);
    }
    vol.index = 2;
    img = grab();
    QVERIFY(near(toPixel(0, 0)) > 0);
    vol.index = 0;

    // Vectors: length computedScale (0.3) along y from each point.
    s->gridMode = 1;
    s->samplingPlane.showComputed = 1;
    img = grab();
    QVERIFY(near(toPixel(0, 0.15)) > 0);
    QCOMPARE(near(toPixel(0, 0.6)), 0);
    s->samplingPlane.computedScale = 0.8;
    img = grab();
    QVERIFY(near(toPixel(0, 0.6)) > 0);
    QCOMPARE(near(toPixel(0.5, 0.6)), 0);
    QCOMPARE(near(toPixel(0.25, 0.6)), 0);  // middle layer only
  }

  void streamlines() {
    {
      std::lock_guard<std::mutex> lock(s->seriesMutex);
      s->lineX.resize(2, 2);
      s->lineY.resize(2, 2);
      s->lineZ.resize(2, 2);
      // Line 0: horizontal at y = 2; line 1 (being traced): vertical at x = -3.
      s->lineX.row(0).item(0) = -1; s->lineX.row(0).item(1) = 1;
      s->lineY.row(0).item(0) = 2;  s->lineY.row(0).item(1) = 2;
      s->lineX.row(1).item(0) = -3; s->lineX.row(1).item(1) = -3;
      s->lineY.row(1).item(0) = -1; s->lineY.row(1).item(1) = 1;
      s->currentLine = 1;
      s->currentLinePoints = 1;
    }
    QImage img = grab();
    QCOMPARE(countPixels(img, img.rect(), isBlack), 0);  // switched off

    s->showStreamlines = 1;
    img = grab();
    QVERIFY(countPixels(img, QRect(toPixel(-0.5, 2.05), toPixel(0.5, 1.95)), isBlack) > 10);
    // The traced line has one point so far: nothing of it is drawn.
    QCOMPARE(countPixels(img, QRect(toPixel(-3.1, 0.5), toPixel(-2.9, -0.5)), isBlack), 0);
    s->currentLinePoints = 2;
    img = grab();
    QVERIFY(countPixels(img, QRect(toPixel(-3.1, 0.5), toPixel(-2.9, -0.5)), isBlack) > 10);
    // More points claimed than stored never reads past the row.
    s->currentLinePoints = 50;
    s->currentLine = 5;
    img = grab();
    QVERIFY(countPixels(img, QRect(toPixel(-0.5, 2.05), toPixel(0.5, 1.95)), isBlack) > 10);
  }

  void legendAndPlot() {
    const QRect legendTextRegion(kS + 5, 0, kWidth - kS - 5, 245);
    QImage img = grab();
    QCOMPARE(countPixels(img, legendTextRegion, [](QRgb c) { return !isWhite(c); }), 0);

    s->showMinMax = 1;
    s->sphereMode = 3;
    img = grab();
    QVERIFY(countPixels(img, legendTextRegion, isBlack) > 200);
    QVERIFY(countPixels(img, QRect(kS, 0, 1, kHeight), isBlack) > kHeight - 5);  // divider
    // The numbers of the Cf row and nothing below the legend's last line.
    QVERIFY(countPixels(img, QRect(kS + 5, 230, kWidth - kS - 5, 12), isBlack) > 10);
    QCOMPARE(countPixels(img, QRect(kS + 5, 260, kWidth - kS - 5, 140), isBlack), 0);
    QVERIFY(!isWhite(img.pixel(toPixel(0, 0))));  // the scene is still there

    // The drag plot replaces the scene.
    s->displayMode = 2;
    s->coefficientPlotOn = 1;
    img = grab();
    QCOMPARE(countPixels(img, QRect(kS / 2 - 5, kHeight / 2 - 5, 10, 10), isBlack), 0);
    // With fewer than two samples not even the axes appear.
    QCOMPARE(countPixels(img, QRect(50, 100, 1, 100), isBlack), 0);
    {
      std::lock_guard<std::mutex> lock(s->seriesMutex);
      for (int i = 0; i < 60; ++i) {
        s->historyTime.append();
        s->historyTime.item(i) = 0.01 * (i + 1);
        s->historyCx.append();
        s->historyCx.item(i) = 1.0 + 2.0 * std::exp(-0.08 * i) * (1 + 0.3 * std::cos(0.5 * i));
      }
    }
    img = grab();
    QVERIFY(countPixels(img, QRect(50, 20, 1, kHeight - 50), isBlack) > kHeight - 60);  // y axis
    QVERIFY(countPixels(img, QRect(60, kHeight - 25, kS - 70, 1), isBlack) > kS - 80);  // x axis
    // The curve: something between the axes at the start, high up.
    QVERIFY(countPixels(img, QRect(51, 5, 10, 40), isBlack) > 0);
    img.save("drag_plot.png");

    // All samples equal: axes, labels and the flat line, no failure.
    {
      std::lock_guard<std::mutex> lock(s->seriesMutex);
      for (int i = 0; i < s->historyCx.size(); ++i) s->historyCx.item(i) = 0.5;
    }
    img = grab();
    QVERIFY(countPixels(img, QRect(60, kHeight - 25, kS - 70, 1), isBlack) > kS - 80);
    QCOMPARE(countPixels(img, QRect(60, 20, kS - 70, kHeight - 60), isBlack), 0);
  }

  void outlinesOfTheBuiltDomain() {
    CoreError error;
    QVERIFY2(createDomain(*s, DomainInputs{}, &error), qPrintable(errorText(error)));
    QImage img = grab();
    QCOMPARE(countPixels(img, img.rect(), [](QRgb c) { return !isWhite(c); }), 0);

    s->volumesMode = 2;
    img = grab();
    const int outline = countPixels(img, QRect(0, 0, kS, kHeight), isBlack);
    QVERIFY2(outline > 1000, qPrintable(QString("outline pixels: %1").arg(outline)));
    // The edges reach the body sphere: dark pixels on its rim.
    QVERIFY(countPixels(img, QRect(toPixel(-0.6, 0.6), toPixel(0.6, -0.6)), isBlack) > 10);
    // The outlines follow the orientation.
    s->rotY = 30;
    s->rotX = 20;
    const QImage turned = grab();
    QVERIFY(turned != img);

    s->sphereMode = 3;
    s->gridMode = 2;
    s->showMinMax = 1;
    img = grab();
    // With six volumes every range has numbers: the u row is wider than its label.
    QVERIFY(countPixels(img, QRect(kS + 40, 95, kWidth - kS - 40, 12), isBlack) > 20);
    img.save("view_with_legend.png");
  }

  void planeVectorsAndStreamlines() {
    CoreError error;
    QVERIFY2(createDomain(*s, DomainInputs{}, &error), qPrintable(errorText(error)));
    // A uniform stream along x everywhere.
    for (int v = 0; v < s->volumeCount; ++v) {
      FiniteVolume& vol = s->volumes[v];
      std::fill(vol.u_glob.begin(), vol.u_glob.end(), 1.0);
      std::fill(vol.v_glob.begin(), vol.v_glob.end(), 0.0);
      std::fill(vol.w_glob.begin(), vol.w_glob.end(), 0.0);
    }
    SamplingPlane& p = s->samplingPlane;
    p.plane = 1;
    p.x1 = -4; p.y1 = -3.5; p.z1 = 0.05;
    p.x2 = 4;  p.y2 = 3.5;
    p.Nx = 7;  p.Ny = 6;
    QVERIFY2(computeSamplingPlane(*s, &error), qPrintable(errorText(error)));
    p.interpolatedScale = 0.5;

    // Shown only when switched on.
    QImage img = grab();
    QCOMPARE(countPixels(img, img.rect(), isBlack), 0);
    p.showInterpolated = 1;
    img = grab();
    // Sample (0, 0) sits at (-3.5, -3); its vector runs 0.5 along +x.
    QVERIFY(countPixels(img, QRect(toPixel(-3.45, -2.95), toPixel(-3.05, -3.05)), isBlack) > 5);
    QCOMPARE(countPixels(img, QRect(toPixel(-3.9, -2.9), toPixel(-3.6, -3.1)), isBlack), 0);
    // The vectors come from the view's snapshot: drawing leaves the plane's
    // stored samples as "Вычислить" set them.
    QCOMPARE(s->samplingPlane.sampleU[0], 0.0);

    // A plane computed on volumes since rebuilt is not drawn.
    QVERIFY(createDomain(*s, DomainInputs{}, &error));
    s->samplingPlane.showInterpolated = 1;
    img = grab();
    QCOMPARE(countPixels(img, img.rect(), isBlack), 0);

    // Streamlines from a small circle of seeds upstream of the sphere.
    for (int v = 0; v < s->volumeCount; ++v) {
      FiniteVolume& vol = s->volumes[v];
      std::fill(vol.u_glob.begin(), vol.u_glob.end(), 1.0);
    }
    QVERIFY(computeSamplingPlane(*s, &error));
    appendCircleSeeds(*s, -3.0, 0.0, 0.0, 1.5, 6);
    s->streamlinePointCount = 120;
    traceFlowLines(*s);
    s->showStreamlines = 1;
    s->samplingPlane.showComputed = 1;
    s->sphereMode = 3;
    s->volumesMode = 2;
    s->gridMode = 2;
    s->rotX = 20;
    s->rotY = -30;
    img = grab();
    QVERIFY(countPixels(img, QRect(0, 0, kS, kHeight), isBlack) > 2000);
    img.save("scene_full.png");
  }

  void repaintRequestsFromAnyThread() {
    QSignalSpy frames(view.get(), &QOpenGLWidget::frameSwapped);
    QTest::qWait(50);
    frames.clear();
    std::thread worker([this] { s->requestRepaint(); });
    worker.join();
    QTRY_VERIFY_WITH_TIMEOUT(frames.count() > 0, 3000);

    // Once the view is gone, a request reaches nothing.
    view.reset();
    std::thread late([this] { s->requestRepaint(); });
    late.join();
    QTest::qWait(20);
  }
};

QTEST_MAIN(RenderViewXvfbTest)
#include "render_view_xvfb_test.moc"
