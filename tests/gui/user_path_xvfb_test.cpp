// The whole user path on the real window, driven with mouse and keyboard
// events: Create and interpolation, flow parameters, New, Start, Stop, the
// orientation and visualisation dialogs, a sampling plane with "Вычислить"
// and "Winsurf", streamlines from a circle of seeds, Save (Ctrl+S), Open
// (Ctrl+O) and Start again. Checks the files written and that the window
// kept answering events. Leaves user_path_scene.png next to the test
// program: sphere, outlines, grid points, plane vectors, streamlines and
// the legend.

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QOpenGLWidget>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>

#include "gui/app/brelvik_app.h"
#include "gui/app/main_frame.h"
#include "gui/dialogs/parametrfield_dialog.h"
#include "gui/dialogs/open_save_dialog.h"
#include "gui/dialogs/flow_lines_dialog.h"
#include "post/sampling_plane.h"
#include "gui/dialogs/velocity_field_dialog.h"
#include "gui/dialogs/view_format_dialog.h"
#include "gui/dialogs/visualition_dialog.h"
#include "gui/dialogs/parameters_flow_dialog.h"
#include "state/simulation_state.h"
#include "test_support.h"

using namespace brelvik;

using brelvik_test::onNextModal;

namespace {

template <class T>
T* control(QWidget* dlg, int id) {
  return brelvik_test::child<T>(*dlg, id);
}

void press(QWidget* dlg, int id) { brelvik_test::press(*dlg, id); }
void tick(QWidget* dlg, int id) { brelvik_test::click(*dlg, id); }
void type(QWidget* dlg, int id, const QString& text) { brelvik_test::type(*dlg, id, text); }

// Longest time between two ticks of a 10 ms timer over `ms` milliseconds:
// how long the window thread was kept from its events.
qint64 longestEventGap(int ms) {
  QElapsedTimer clock, sinceLast;
  qint64 longest = 0;
  QTimer timer;
  timer.setInterval(10);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    longest = std::max(longest, sinceLast.restart());
  });
  clock.start();
  sinceLast.start();
  timer.start();
  while (clock.elapsed() < ms) QTest::qWait(5);
  return longest;
}

int lineCount(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) return -1;
  int n = 0;
  while (!f.atEnd()) {
    f.readLine();
    ++n;
  }
  return n;
}

}  // namespace

class UserPathTest : public QObject {
  Q_OBJECT
 public:
  explicit UserPathTest(CBrelvikApp& app) : app_(app) {}

 private:
  CBrelvikApp& app_;
  QTemporaryDir work_;
  QString savedFolder_;
  int savedSteps_ = 0;

  CMainFrame* frame() const { return app_.mainFrame(); }
  SimulationState& s() const { return theState(); }

  // A toolbar button clicked with the mouse, once the idle update has
  // enabled it.
  void clickTool(CommandId id) {
    QAction* a = frame()->action(id);
    QTRY_VERIFY2(a->isEnabled(), qPrintable(QString("command %1 disabled").arg(int(id))));
    QWidget* button = frame()->toolBar()->widgetForAction(a);
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton);
  }

  // A menu item chosen with the mouse: the menu title, then the item.
  void clickMenu(const QString& title, CommandId id) {
    QMenuBar* bar = frame()->menuBar();
    QAction* menuAction = nullptr;
    for (QAction* a : bar->actions())
      if (a->text() == title) menuAction = a;
    QVERIFY(menuAction && menuAction->menu());
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menuAction).center());
    QMenu* menu = menuAction->menu();
    QTRY_VERIFY(menu->isVisible());
    QAction* item = frame()->action(id);
    QVERIFY(item->isEnabled());
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
    QTRY_VERIFY(!menu->isVisible());
  }

  QImage screenshot() {
    QImage img = frame()->grab().toImage();
    if (auto* gl = qobject_cast<QOpenGLWidget*>(frame()->view())) {
      QPainter p(&img);
      p.drawImage(QRect(gl->mapTo(frame(), QPoint(0, 0)), gl->size()), gl->grabFramebuffer());
    }
    return img;
  }

 private slots:
  void initTestCase() {
    QVERIFY(work_.isValid());
    QVERIFY(QDir::setCurrent(work_.path()));  // "Winsurf" writes here
    QVERIFY(frame());
    frame()->resize(900, 600);
    QVERIFY(QTest::qWaitForWindowExposed(frame()));
  }

  void createAndInterpolate() {
    onNextModal<CParametrfield>([](CParametrfield* dlg) {
      type(dlg, 1014, "8");
      type(dlg, 1015, "6");
      type(dlg, 1016, "6");
      press(dlg, 1017);
      press(dlg, 1020);
      QTRY_VERIFY_WITH_TIMEOUT(theState().interpolationReady.load() == 1, 60000);
      press(dlg, 1);
    });
    clickTool(kCmdDomainParameters);
    QCOMPARE(s().gridCreated.load(), 1);
    QCOMPARE(s().interpolationReady.load(), 1);
    QVERIFY(s().interpolTotal.load() > 0);
    QCOMPARE(s().interpolProcessed.load(), s().interpolTotal.load());
  }

  void flowParametersNewStartStop() {
    onNextModal<CParametersFlow>([](CParametersFlow* dlg) {
      type(dlg, 1014, "150");  // Re
      press(dlg, 1);
    });
    clickTool(kCmdFlowParameters);
    QCOMPARE(s().Re, 150.0);

    clickTool(kCmdNew);
    QCOMPARE(s().flowInitialised.load(), 1);
    clickTool(kCmdStart);
    // The window keeps answering while the solver runs.
    const qint64 gap = longestEventGap(1500);
    QVERIFY2(gap < 1000, qPrintable(QString("event loop blocked for %1 ms").arg(gap)));
    QTRY_VERIFY_WITH_TIMEOUT(s().stepCount >= 20, 60000);
    clickTool(kCmdStop);
    QTRY_VERIFY_WITH_TIMEOUT(s().solveThread.parked(), 20000);
    QCOMPARE(s().running.load(), 0);
    QCOMPARE(s().divergedStep.load(), -1);
  }

  void orientationAndVisualisation() {
    onNextModal<CViewFormat>([](CViewFormat* dlg) {
      press(dlg, 1018);
      press(dlg, 1018);  // x rotation 20
      type(dlg, 1014, "-25");
      press(dlg, 1020);  // y rotation -15
      press(dlg, 1029);  // zoom 0.5
      press(dlg, 1030);  // and back to 1.0
      press(dlg, 1);
    });
    clickTool(kCmdOrientation);
    QCOMPARE(s().rotX, 20.0f);
    QCOMPARE(s().rotY, -15.0f);
    QCOMPARE(s().zoom, 1.0f);

    onNextModal<CVisualition>([](CVisualition* dlg) {
      tick(dlg, 1011);
      tick(dlg, 1013);
      tick(dlg, 1015);
      press(dlg, 1);
    });
    clickTool(kCmdVisualisation);
    QCOMPARE(s().sphereMode, 3);
    QCOMPARE(s().volumesMode, 2);
    QCOMPARE(s().gridMode, 2);
  }

  void samplingPlaneAndExport() {
    onNextModal<CVelocityField>([](CVelocityField* dlg) {
      tick(dlg, 1013);  // refused: nothing computed yet
      QVERIFY(!control<QCheckBox>(dlg, 1013)->isChecked());
      tick(dlg, 1009);
      type(dlg, 1014, "-3");
      type(dlg, 1015, "-2");
      type(dlg, 1016, "0.05");
      type(dlg, 1019, "3");
      type(dlg, 1020, "2");
      type(dlg, 1026, "6");
      type(dlg, 1027, "4");
      press(dlg, 1022);
      press(dlg, 1023);
      tick(dlg, 1013);
      QVERIFY(control<QCheckBox>(dlg, 1013)->isChecked());
      for (int i = 0; i < 4; ++i) press(dlg, 1025);  // longer plane vectors
      QCOMPARE(control<QLineEdit>(dlg, 1001)->text(), QString("0.5"));
      press(dlg, 1);
    });
    clickTool(kCmdVelocityField);
    QCOMPARE(s().samplingPlane.showComputed, 1);
    QCOMPARE(s().samplingPlane.showInterpolated, 1);
    QVERIFY(samplingPlaneValid(s()));
    // 7 x 5 samples, one line each.
    for (const char* name : {"T.dat", "p.dat", "ro.dat", "velocity.dat"}) {
      QCOMPARE(lineCount(QDir::current().filePath(QString("Winsurf_files/") + name)), 35);
    }
  }

  void streamlinesFromACircle() {
    onNextModal<CDialog_Flow_Lines>([](CDialog_Flow_Lines* dlg) {
      type(dlg, 1021, "-3");
      type(dlg, 1022, "0");
      type(dlg, 1023, "0");
      type(dlg, 1026, "1");
      type(dlg, 1027, "4");
      press(dlg, 1024);
      QCOMPARE(control<QListWidget>(dlg, 1025)->count(), 4);
      type(dlg, 1000, "300");
      QPushButton* run = control<QPushButton>(dlg, 1017);
      press(dlg, 1017);
      QTRY_COMPARE_WITH_TIMEOUT(run->text(), QString("Старт"), 60000);
      tick(dlg, 1009);
      press(dlg, 1);
    });
    clickTool(kCmdFlowLines);
    QCOMPARE(s().showStreamlines, 1);
    QCOMPARE(s().flowLineRunning.load(), 0);
    std::lock_guard<std::mutex> lock(s().seriesMutex);
    QCOMPARE(s().lineX.rowCount(), 4);
    for (int m = 0; m < 4; ++m) QVERIFY(s().lineX.row(m).size() > 2);
  }

  void sceneWithLegend() {
    clickMenu(QStringLiteral("Вид"), kCmdMinMax);
    QCOMPARE(s().showMinMax, 1);
    QTest::qWait(300);
    const QImage img = screenshot();
    // The working directory is a temporary one; the picture goes next to
    // the test program (the test's build directory).
    QVERIFY(img.save(QDir(QCoreApplication::applicationDirPath()).filePath("user_path_scene.png")));
  }

  void saveOpenAndStartAgain() {
    // The shortcuts go to the active window.
    frame()->activateWindow();
    QTRY_VERIFY(QApplication::activeWindow() == frame());
    savedFolder_ = QDir::current().filePath("case");
    savedSteps_ = s().stepCount;
    onNextModal<CSaveDialog>([this](CSaveDialog* dlg) {
      type(dlg, 1000, savedFolder_);
      press(dlg, 1);
    });
    QTest::keyClick(frame(), Qt::Key_S, Qt::ControlModifier);
    QVERIFY(QDir(savedFolder_).exists());
    QVERIFY(!QDir(savedFolder_).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());

    // Change the case, then read the saved one back.
    clickTool(kCmdStart);
    QTRY_VERIFY_WITH_TIMEOUT(s().stepCount >= savedSteps_ + 5, 60000);
    clickTool(kCmdStop);
    QTRY_VERIFY_WITH_TIMEOUT(s().solveThread.parked(), 20000);
    onNextModal<COpenDialog>([this](COpenDialog* dlg) {
      type(dlg, 1000, savedFolder_);
      press(dlg, 1);
    });
    frame()->activateWindow();
    QTRY_VERIFY(QApplication::activeWindow() == frame());
    QTest::keyClick(frame(), Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(s().stepCount, savedSteps_);
    QCOMPARE(s().readinessProduct(), 1);
    QVERIFY(!samplingPlaneValid(s()));  // computed on the volumes replaced

    clickTool(kCmdStart);
    QTRY_VERIFY_WITH_TIMEOUT(s().stepCount >= savedSteps_ + 5, 60000);
    clickTool(kCmdStop);
    QTRY_VERIFY_WITH_TIMEOUT(s().solveThread.parked(), 20000);
    QCOMPARE(s().divergedStep.load(), -1);
    QVERIFY(frame()->isVisible());
    QVERIFY(longestEventGap(300) < 1000);
  }
};

int main(int argc, char** argv) {
  CBrelvikApp app(argc, argv);
  if (!app.initInstance(theState())) return 1;
  int rc = 0;
  {
    UserPathTest test(app);
    rc = QTest::qExec(&test, argc, argv);
  }
  app.exitInstance(theState());
  return rc;
}

#include "user_path_xvfb_test.moc"
