// The velocity-field and streamline dialogs.
#include <QtTest>

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>

#include <cmath>

#include "gui/app/error_text.h"
#include "grid/geometry.h"
#include "gui/dialogs/flow_lines_dialog.h"
#include "post/sampling_plane.h"
#include "gui/dialogs/velocity_field_dialog.h"
#include "state/simulation_state.h"
#include "test_support.h"

using namespace brelvik;
using namespace brelvik_test;

namespace {

QStringList listLines(QWidget& dlg) {
  QListWidget* list = child<QListWidget>(dlg, 1025);
  QStringList out;
  for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
  return out;
}

}  // namespace

class PostDialogsTest : public QObject {
  Q_OBJECT
 private slots:
  void velocityFieldShowsThePlane() {
    SimulationState s;
    SamplingPlane& p = s.samplingPlane;
    p.x1 = -1.5;
    p.z2 = 2.125;
    p.Nx = 3;
    p.plane = 2;
    p.showComputed = 1;
    CVelocityField dlg(s);
    dlg.show();
    QCOMPARE(dlg.windowTitle(), QString("Поле скоростей"));
    QCOMPARE(text(dlg, 1000), QString("0.3"));
    QCOMPARE(text(dlg, 1001), QString("0.1"));
    QCOMPARE(text(dlg, 1014), QString("-1.50"));
    QCOMPARE(text(dlg, 1021), QString("2.12"));
    QCOMPARE(text(dlg, 1015), QString("0.00"));
    QCOMPARE(text(dlg, 1026), QString("3"));
    QCOMPARE(text(dlg, 1027), QString("0"));
    QVERIFY(checked(dlg, 1009));
    QVERIFY(!checked(dlg, 1013));
    QVERIFY(!checked(dlg, 1010) && checked(dlg, 1011) && !checked(dlg, 1012));
    // XZ: y2 is the unused coordinate.
    QVERIFY(child<QLineEdit>(dlg, 1020)->isReadOnly());
    QVERIFY(!child<QLineEdit>(dlg, 1019)->isReadOnly());
    QVERIFY(!child<QLineEdit>(dlg, 1021)->isReadOnly());
  }

  void scaleArrows() {
    SimulationState s;
    int repaints = 0;
    s.setRepaintCallback([&] { ++repaints; });
    CVelocityField dlg(s);
    dlg.show();
    press(dlg, 1017);
    QCOMPARE(text(dlg, 1000), QString("0.2"));
    press(dlg, 1017);
    QCOMPARE(text(dlg, 1000), QString("0.1"));
    press(dlg, 1017);  // would not stay above 0
    QCOMPARE(text(dlg, 1000), QString("0.1"));
    QCOMPARE(s.samplingPlane.computedScale, double(0.1f));
    press(dlg, 1018);
    QCOMPARE(text(dlg, 1000), QString("0.2"));
    QCOMPARE(repaints, 4);
    // The interpolated factor has its own pair; a typed value is read first.
    type(dlg, 1001, "2");
    press(dlg, 1025);
    QCOMPARE(text(dlg, 1001), QString("2.1"));
    QCOMPARE(s.samplingPlane.interpolatedScale, double(2.0f + 0.1f));
    press(dlg, 1024);
    press(dlg, 1024);
    QCOMPARE(text(dlg, 1001), QString("1.9"));
    QCOMPARE(s.samplingPlane.computedScale, double(0.2f));
  }

  void planeBoxesActAsOneGroup() {
    SimulationState s;
    CVelocityField dlg(s);
    dlg.show();
    QVERIFY(child<QLineEdit>(dlg, 1021)->isReadOnly());  // default XY: z2
    click(dlg, 1012);
    QCOMPARE(s.samplingPlane.plane, 3);
    QVERIFY(!checked(dlg, 1010) && !checked(dlg, 1011) && checked(dlg, 1012));
    QVERIFY(child<QLineEdit>(dlg, 1019)->isReadOnly());
    QVERIFY(!child<QLineEdit>(dlg, 1021)->isReadOnly());
    click(dlg, 1012);  // clicking the checked box keeps it checked
    QVERIFY(checked(dlg, 1012));
    click(dlg, 1010);
    QCOMPARE(s.samplingPlane.plane, 1);
    QVERIFY(checked(dlg, 1010) && !checked(dlg, 1012));
    QVERIFY(child<QLineEdit>(dlg, 1021)->isReadOnly());
    QVERIFY(!child<QLineEdit>(dlg, 1019)->isReadOnly());
  }

  void interpolatedVectorsNeedAComputedPlane() {
    SimulationState s;
    CoreError error;
    QVERIFY2(createDomain(s, DomainInputs{}, &error), qPrintable(errorText(error)));
    CVelocityField dlg(s);
    QTemporaryDir out;
    dlg.setExportDirectory(out.path());
    dlg.show();
    click(dlg, 1013);
    QVERIFY(!checked(dlg, 1013));
    QCOMPARE(s.samplingPlane.showInterpolated, 0);

    // A small XY plane through the domain.
    type(dlg, 1014, "-3");
    type(dlg, 1015, "-2");
    type(dlg, 1016, "0.1");
    type(dlg, 1019, "3");
    type(dlg, 1020, "2");
    type(dlg, 1026, "5");
    type(dlg, 1027, "3");
    press(dlg, 1022);
    QCOMPARE(s.samplingPlane.planeComputed, 1);
    QCOMPARE(s.samplingPlane.z1, double(0.1f));
    QCOMPARE(s.samplingPlane.Nx, 5);
    QCOMPARE(s.samplingPlane.iMax, 5);
    QCOMPARE(s.samplingPlane.jMax, 3);
    QVERIFY(samplingPlaneValid(s));
    click(dlg, 1013);
    QVERIFY(checked(dlg, 1013));
    QCOMPARE(s.samplingPlane.showInterpolated, 1);

    press(dlg, 1023);
    for (const char* f : {"T.dat", "p.dat", "ro.dat", "velocity.dat"})
      QVERIFY2(QFile::exists(out.filePath(QString("Winsurf_files/") + f)), f);

    // Rebuilding the volumes makes the plane stale: shown unchecked.
    dlg.hide();
    QVERIFY(createDomain(s, DomainInputs{}, &error));
    s.samplingPlane.showInterpolated = 1;
    dlg.show();
    QVERIFY(!checked(dlg, 1013));
    QCOMPARE(s.samplingPlane.showInterpolated, 0);
    click(dlg, 1013);
    QVERIFY(!checked(dlg, 1013));
  }

  void refusalsAreReported() {
    SimulationState s;
    CVelocityField dlg(s);
    QTemporaryDir out;
    dlg.setExportDirectory(out.path());
    dlg.show();
    brelvik_test::MessageBoxCatcher boxes;
    // Nothing computed yet: the export refuses and says so.
    press(dlg, 1023);
    QTRY_COMPARE(boxes.texts.size(), 1);
    QVERIFY(!QFile::exists(out.filePath("Winsurf_files/T.dat")));
    QVERIFY2(boxes.texts[0].contains(QStringLiteral("«Вычислить»")), qPrintable(boxes.texts[0]));
    // A lattice that cannot be laid leaves the stored plane as it was.
    type(dlg, 1014, "4");
    type(dlg, 1026, "-7");
    press(dlg, 1022);
    QTRY_COMPARE(boxes.texts.size(), 2);
    QCOMPARE(boxes.texts[1], QStringLiteral("Nx: число точек не может быть отрицательным"));
    QCOMPARE(s.samplingPlane.x1, 0.0);
    QCOMPARE(s.samplingPlane.Nx, 0);
    QCOMPARE(s.samplingPlane.planeComputed, 0);
  }

  void seedList() {
    SimulationState s;
    CDialog_Flow_Lines dlg(s);
    dlg.show();
    QCOMPARE(dlg.windowTitle(), QString("Линии тока"));
    QCOMPARE(text(dlg, 1000), QString("1000"));
    QCOMPARE(child<QPushButton>(dlg, 1017)->text(), QString("Старт"));
    type(dlg, 1015, "1");
    type(dlg, 1016, "2.5");
    type(dlg, 1018, "-3");
    press(dlg, 1020);
    QCOMPARE(listLines(dlg), QStringList{"1.00 2.50 -3.00"});
    QVERIFY(text(dlg, 1015).isEmpty() && text(dlg, 1016).isEmpty() && text(dlg, 1018).isEmpty());
    type(dlg, 1015, "0.1");
    press(dlg, 1020);  // y and z empty: 0
    QCOMPARE(s.seedX.item(1), double(0.1f));
    QCOMPARE(s.seedZ.item(1), 0.0);

    // Circle about the origin, r = 1, N = 4: angles 3pi/4, 5pi/4, 7pi/4, 9pi/4.
    press(dlg, 1019);
    QVERIFY(listLines(dlg).isEmpty());
    QCOMPARE(s.seedX.size(), 0);
    type(dlg, 1021, "0");
    type(dlg, 1022, "0");
    type(dlg, 1023, "0");
    type(dlg, 1026, "1");
    type(dlg, 1027, "4");
    press(dlg, 1024);
    QCOMPARE(listLines(dlg), (QStringList{"0.00 -0.71 0.71", "0.00 -0.71 -0.71",
                                          "0.00 0.71 -0.71", "0.00 0.71 0.71"}));
    QCOMPARE(s.seedY.item(0), std::cos(6.28318530717958 / 4 * 1.5));

    // N = 0 adds nothing but clears the five edits.
    type(dlg, 1021, "5");
    type(dlg, 1026, "2");
    type(dlg, 1027, "0");
    press(dlg, 1024);
    QCOMPARE(s.seedX.size(), 4);
    for (int id : {1021, 1022, 1023, 1026, 1027}) QVERIFY(text(dlg, id).isEmpty());

    // A count beyond the seed bound is refused with a message naming N; the
    // seeds and the typed circle stay (it used to abort the program).
    type(dlg, 1026, "1");
    type(dlg, 1027, "99999999999");
    {
      MessageBoxCatcher boxes;
      press(dlg, 1024);
      QCOMPARE(boxes.texts.size(), 1);
      QVERIFY2(boxes.texts[0].startsWith(QStringLiteral("N:")), qPrintable(boxes.texts[0]));
    }
    QCOMPARE(s.seedX.size(), 4);
    QCOMPARE(text(dlg, 1027), QString("99999999999"));

    // The list shows the state when the dialog is shown again.
    dlg.hide();
    {
      std::lock_guard<std::mutex> lock(s.seriesMutex);
      s.seedX.clear();
      s.seedY.clear();
      s.seedZ.clear();
    }
    dlg.show();
    QVERIFY(listLines(dlg).isEmpty());
  }

  void showSwitch() {
    SimulationState s;
    int repaints = 0;
    s.setRepaintCallback([&] { ++repaints; });
    s.showStreamlines = 1;
    CDialog_Flow_Lines dlg(s);
    dlg.show();
    QVERIFY(checked(dlg, 1009));
    click(dlg, 1009);
    QCOMPARE(s.showStreamlines, 0);
    QCOMPARE(repaints, 1);
  }

  void startAndStopCaptions() {
    SimulationState s;
    {
      CDialog_Flow_Lines dlg(s);
      dlg.show();
      QPushButton* run = child<QPushButton>(dlg, 1017);
      type(dlg, 1000, "40");
      // No volumes: every line is its seed alone; the run ends by itself and
      // the button returns to "Старт".
      type(dlg, 1015, "1");
      press(dlg, 1020);
      press(dlg, 1017);
      QCOMPARE(s.streamlinePointCount.load(), 40);
      QTRY_COMPARE_WITH_TIMEOUT(run->text(), QString("Старт"), 5000);
      QTRY_COMPARE(s.flowLineRunning.load(), 0);
      {
        std::lock_guard<std::mutex> lock(s.seriesMutex);
        QCOMPARE(s.lineX.rowCount(), 1);
        QCOMPARE(s.lineX.row(0).size(), 1);
      }
      // Stop while running shows "Старт" and leaves the flag at 0.
      s.flowLineRunning = 1;
      dlg.hide();
      dlg.show();
      QCOMPARE(run->text(), QString("Стоп"));
      type(dlg, 1000, "7");
      press(dlg, 1017);
      QCOMPARE(run->text(), QString("Старт"));
      QCOMPARE(s.flowLineRunning.load(), 0);
      QCOMPARE(s.streamlinePointCount.load(), 7);
      // A run's end-of-run caption that arrives after a new start has been
      // pressed leaves the new run's "Стоп".
      s.flowLineRunning = 1;
      run->setText(QStringLiteral("Стоп"));
      s.reportFlowLineRun(RunState::kIdle);
      QTest::qWait(20);
      QCOMPARE(run->text(), QString("Стоп"));
      s.flowLineRunning = 0;
      s.reportFlowLineRun(RunState::kIdle);
      QTRY_COMPARE(run->text(), QString("Старт"));
    }
    // The dialog is gone: a caption report reaches nothing.
    s.reportFlowLineRun(RunState::kIdle);
    QTest::qWait(10);
  }
};

QTEST_MAIN(PostDialogsTest)
#include "post_dialogs_test.moc"
