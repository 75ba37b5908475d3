// The orientation and visualisation dialogs: what they show, store and
// repaint.
#include <QtTest>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include "gui/dialogs/view_format_dialog.h"
#include "gui/dialogs/visualition_dialog.h"
#include "state/simulation_state.h"
#include "test_support.h"

using namespace brelvik;
using namespace brelvik_test;

namespace {

struct Repaints {
  int count = 0;
  explicit Repaints(SimulationState& s) { s.setRepaintCallback([this] { ++count; }); }
};

}  // namespace

class DisplayDialogsTest : public QObject {
  Q_OBJECT
 private slots:
  void orientationShowsTheState() {
    SimulationState s;
    s.rotY = -12.34f;
    s.shiftZ = 3.0f;
    CViewFormat dlg(s);
    dlg.show();
    QCOMPARE(dlg.windowTitle(), QString("Ориентация СК"));
    QCOMPARE(text(dlg, 1000), QString("0.0"));
    QCOMPARE(text(dlg, 1014), QString("-12.3"));
    QCOMPARE(text(dlg, 1032), QString("3.0"));
    QCOMPARE(text(dlg, 1016), QString("10.0"));
    QCOMPARE(text(dlg, 1033), QString("1.0"));
    QCOMPARE(text(dlg, 1002), QString("1.0"));
    QCOMPARE(text(dlg, 1003), QString("0.5"));
    QCOMPARE(child<QPushButton>(dlg, 1017)->text(), QString("<-"));
    QCOMPARE(child<QPushButton>(dlg, 1018)->text(), QString("->"));
  }

  void rotationArrows() {
    SimulationState s;
    Repaints repaints(s);
    CViewFormat dlg(s);
    dlg.show();
    press(dlg, 1018);
    QCOMPARE(text(dlg, 1000), QString("10.0"));
    QCOMPARE(s.rotX, 10.0f);
    QCOMPARE(repaints.count, 1);
    press(dlg, 1017);
    press(dlg, 1017);
    QCOMPARE(text(dlg, 1000), QString("-10.0"));
    QCOMPARE(s.rotX, -10.0f);
    QCOMPARE(repaints.count, 3);
    // A typed value is read by the next press.
    type(dlg, 1000, "45");
    press(dlg, 1018);
    QCOMPARE(text(dlg, 1000), QString("55.0"));
    QCOMPARE(s.rotX, 55.0f);
    // Each button steps its own quantity only.
    press(dlg, 1020);
    press(dlg, 1021);
    QCOMPARE(s.rotY, 10.0f);
    QCOMPARE(s.rotZ, -10.0f);
    QCOMPARE(s.rotX, 55.0f);
    QCOMPARE(s.shiftX, 0.0f);
  }

  void shiftArrowsUseTheirOwnStep() {
    SimulationState s;
    CViewFormat dlg(s);
    dlg.show();
    press(dlg, 1024);
    press(dlg, 1026);
    press(dlg, 1027);
    QCOMPARE(text(dlg, 1001), QString("1.0"));
    QCOMPARE(text(dlg, 1031), QString("1.0"));
    QCOMPARE(text(dlg, 1032), QString("-1.0"));
    QCOMPARE(s.shiftZ, -1.0f);
    // The stored value keeps single precision; the edit shows one decimal.
    type(dlg, 1033, "0.26");
    press(dlg, 1024);
    QCOMPARE(text(dlg, 1001), QString("1.3"));
    QCOMPARE(s.shiftStep, 0.26f);
    QCOMPARE(s.shiftX, 1.0f + 0.26f);
    QCOMPARE(s.rotationStep, 10.0f);  // the other groups' steps untouched
  }

  void zoomKeepsAboveItsFloor() {
    SimulationState s;
    CViewFormat dlg(s);
    dlg.show();
    press(dlg, 1029);
    QCOMPARE(text(dlg, 1002), QString("0.5"));
    press(dlg, 1029);  // 0.0 is not above 0.1
    QCOMPARE(text(dlg, 1002), QString("0.5"));
    QCOMPARE(s.zoom, 0.5f);
    press(dlg, 1030);
    QCOMPARE(text(dlg, 1002), QString("1.0"));
    QCOMPARE(s.zoom, 1.0f);
    // Adding a negative step may not cross the floor either.
    type(dlg, 1003, "-5");
    press(dlg, 1030);
    QCOMPARE(s.zoom, 1.0f);
    QCOMPARE(s.zoomStep, -5.0f);  // stored even though the value kept
  }

  void typedStepIsStoredEvenWithoutChange() {
    SimulationState s;
    CViewFormat dlg(s);
    dlg.show();
    type(dlg, 1016, "abc");  // not a number: 0
    press(dlg, 1018);
    QCOMPARE(s.rotationStep, 0.0f);
    QCOMPARE(s.rotX, 0.0f);
    QCOMPARE(text(dlg, 1000), QString("0.0"));
    // A value typed but never stepped is not stored by OK.
    type(dlg, 1014, "30");
    press(dlg, 1);
    QCOMPARE(s.rotY, 0.0f);
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
  }

  void visualisationGroups() {
    SimulationState s;
    Repaints repaints(s);
    CVisualition dlg(s);
    dlg.show();
    QCOMPARE(dlg.windowTitle(), QString("Визуализация"));
    QCOMPARE(child<QCheckBox>(dlg, 1011)->text(), QString("Сплошная"));
    QCOMPARE(child<QCheckBox>(dlg, 1013)->text(), QString("Показать"));
    // Defaults: "Невидимая" and both "Скрыть".
    const std::vector<int> boxes = {1009, 1010, 1011, 1012, 1013, 1014, 1015};
    auto state = [&] {
      QString out;
      for (int id : boxes) out += checked(dlg, id) ? '1' : '0';
      return out;
    };
    QCOMPARE(state(), QString("1001010"));

    click(dlg, 1011);
    QCOMPARE(s.sphereMode, 3);
    QCOMPARE(state(), QString("0011010"));
    QCOMPARE(repaints.count, 1);

    // Clicking the checked box keeps it checked and the mode unchanged.
    click(dlg, 1011);
    QCOMPARE(s.sphereMode, 3);
    QVERIFY(checked(dlg, 1011));
    QCOMPARE(repaints.count, 2);

    click(dlg, 1013);
    click(dlg, 1015);
    QCOMPARE(s.volumesMode, 2);
    QCOMPARE(s.gridMode, 2);
    QCOMPARE(state(), QString("0010101"));
    click(dlg, 1010);
    click(dlg, 1014);
    QCOMPARE(s.sphereMode, 2);
    QCOMPARE(s.gridMode, 1);
    QCOMPARE(state(), QString("0100110"));
    QCOMPARE(repaints.count, 6);
  }

  void visualisationShowsTheCurrentModes() {
    SimulationState s;
    s.sphereMode = 2;
    s.volumesMode = 2;
    s.gridMode = 7;  // no box stands for it
    CVisualition dlg(s);
    dlg.show();
    QVERIFY(!checked(dlg, 1009) && checked(dlg, 1010) && !checked(dlg, 1011));
    QVERIFY(!checked(dlg, 1012) && checked(dlg, 1013));
    QVERIFY(!checked(dlg, 1014) && !checked(dlg, 1015));
    click(dlg, 1015);
    QCOMPARE(s.gridMode, 2);
    QVERIFY(!checked(dlg, 1014) && checked(dlg, 1015));
  }
};

QTEST_MAIN(DisplayDialogsTest)
#include "display_dialogs_test.moc"
