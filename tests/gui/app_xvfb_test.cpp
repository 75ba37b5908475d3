// End to end on a real X display with OpenGL: the program's own application
// object and window, driven through Create, interpolation, New, Start, Stop
// and Save; the saved folder is read back. Leaves two screenshots in the
// working directory: brelvik_main_window.png (scene with the legend) and
// brelvik_drag_plot.png (the drag-coefficient history).

#include <QAction>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QOpenGLWidget>
#include <QPainter>
#include <QPushButton>
#include <QtTest>

#include "gui/app/error_text.h"
#include "gui/app/brelvik_app.h"
#include "gui/app/main_frame.h"
#include "gui/dialogs/parametrfield_dialog.h"
#include "gui/dialogs/open_save_dialog.h"
#include "io/result_folder.h"
#include "state/simulation_state.h"
#include "test_support.h"

using namespace brelvik;
using brelvik_test::onNextModal;

namespace {

QLineEdit* edit(QDialog* d, const char* id) {
  return d->findChild<QLineEdit*>(QString::fromLatin1(id));
}
QPushButton* button(QDialog* d, const char* id) {
  return d->findChild<QPushButton*>(QString::fromLatin1(id));
}

// The window as the user sees it: the widgets, with the OpenGL view's own
// framebuffer painted in its place.
QImage screenshot(CMainFrame* frame) {
  QImage img = frame->grab().toImage();
  if (auto* gl = qobject_cast<QOpenGLWidget*>(frame->view())) {
    QPainter p(&img);
    const QPoint at = gl->mapTo(frame, QPoint(0, 0));
    p.drawImage(QRect(at * img.devicePixelRatio(), gl->size() * img.devicePixelRatio()),
                gl->grabFramebuffer());
  }
  return img;
}

// Number of distinct colours in a region of an image (a blank view has one).
int distinctColours(const QImage& img, const QRect& r) {
  QSet<QRgb> seen;
  for (int y = r.top(); y <= r.bottom(); y += 2)
    for (int x = r.left(); x <= r.right(); x += 2) seen.insert(img.pixel(x, y));
  return seen.size();
}

}  // namespace

class AppEndToEndTest : public QObject {
  Q_OBJECT
 public:
  explicit AppEndToEndTest(CBrelvikApp& app) : app_(app) {}

 private:
  CBrelvikApp& app_;
  CMainFrame* frame() const { return app_.mainFrame(); }
  SimulationState& s() const { return theState(); }
  void run(CommandId id) { QVERIFY(frame()->runCommand(id)); }

 private slots:
  void startsLikeTheProgram() {
    QVERIFY(frame());
    QVERIFY(QTest::qWaitForWindowExposed(frame()));
    QCOMPARE(frame()->windowTitle(), QStringLiteral("Brelvik 1.0"));
    QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("Brelvik"));
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Brelvik"));
    QCOMPARE(app_.recentFiles().size(), CBrelvikApp::kRecentFileCount);
    QCOMPARE(frame()->view()->metaObject()->className(), "brelvik::CBrelvikView");
  }

  void mainPathAndSave() {
    onNextModal<CParametrfield>([this](CParametrfield* dlg) {
      edit(dlg, "1014")->setText(QStringLiteral("8"));
      edit(dlg, "1015")->setText(QStringLiteral("6"));
      edit(dlg, "1016")->setText(QStringLiteral("6"));
      button(dlg, "1017")->click();
      button(dlg, "1020")->click();
      QTRY_VERIFY_WITH_TIMEOUT(s().interpolationReady.load() == 1, 60000);
      QTRY_COMPARE(edit(dlg, "1019")->text(), edit(dlg, "1018")->text());
      button(dlg, "1")->click();
    });
    run(kCmdDomainParameters);
    QCOMPARE(s().interpolationReady.load(), 1);

    run(kCmdNew);
    run(kCmdMinMax);
    run(kCmdStart);
    QTRY_VERIFY_WITH_TIMEOUT(s().stepCount >= 20, 60000);
    run(kCmdStop);
    QTRY_VERIFY_WITH_TIMEOUT(s().solveThread.parked(), 20000);
    QCOMPARE(s().divergedStep.load(), -1);

    // Scene with the legend; the solid sphere and the volume outlines make
    // the picture worth looking at.
    s().sphereMode = 3;
    s().volumesMode = 2;
    s().requestRepaint();
    QTest::qWait(300);
    const QImage scene = screenshot(frame());
    QVERIFY(scene.save(QDir::current().filePath(QStringLiteral("brelvik_main_window.png"))));
    const QRect viewRect(frame()->view()->mapTo(frame(), QPoint(0, 0)), frame()->view()->size());
    QVERIFY(distinctColours(scene, viewRect) > 2);
    // The grey of the solid sphere at the centre of the scene (left two thirds).
    const QPoint centre = viewRect.topLeft() + QPoint(viewRect.width() / 3, viewRect.height() / 2);
    QVERIFY(qGray(scene.pixel(centre)) < 250);

    // The drag history.
    run(kCmdDragCoefficient);
    QTest::qWait(300);
    const QImage plot = screenshot(frame());
    QVERIFY(plot.save(QDir::current().filePath(QStringLiteral("brelvik_drag_plot.png"))));
    QVERIFY(distinctColours(plot, viewRect) > 1);
    QVERIFY(plot != scene);
    run(kCmdShowScene);

    const QString folder = QDir::current().filePath(QStringLiteral("e2e_save"));
    QDir(folder).removeRecursively();
    onNextModal<CSaveDialog>([folder](CSaveDialog* dlg) {
      QCOMPARE(edit(dlg, "1000")->text(), QStringLiteral("save"));
      edit(dlg, "1000")->setText(folder);
      button(dlg, "1")->click();
    });
    run(kCmdSave);

    SimulationState loaded;
    CoreError error;
    QVERIFY2(loadCase(loaded, folder.toStdString(), &error), qPrintable(errorText(error)));
    QCOMPARE(loaded.volumeCount, 6);
    QCOMPARE(loaded.stepCount, s().stepCount);
    QCOMPARE(loaded.physicalTime, s().physicalTime);
    QCOMPARE(loaded.readinessProduct(), 1);
    // Cx is written with sixteen decimals ("%.16f"): after twenty steps it
    // is still round-off of about 1e-17, which the file holds as 0, so the
    // tolerance is absolute (half a unit of the last decimal, with the
    // rounding of reading back a value near 1 on top).
    QVERIFY2(std::abs(loaded.Cx - s().Cx) <= 1e-16 + 1e-15 * std::abs(s().Cx),
             qPrintable(QString::number(loaded.Cx, 'g', 17) + " vs " + QString::number(s().Cx, 'g', 17)));
    QCOMPARE(loaded.historyCx.size(), s().historyCx.size());
    QVERIFY(loaded.historyCx.size() >= 2);
  }
};

int main(int argc, char** argv) {
  CBrelvikApp app(argc, argv);
  if (!app.initInstance(theState())) return 1;
  AppEndToEndTest test(app);
  const int rc = QTest::qExec(&test, argc, argv);
  app.exitInstance(theState());
  return rc;
}

#include "app_xvfb_test.moc"
