// "Параметры области": what the dialog shows, Create with typed and bad
// inputs, the interpolation run with its progress, and the worker callbacks
// that exist only while the dialog is open.

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <thread>

#include "grid/geometry.h"
#include "gui/dialogs/parametrfield_dialog.h"
#include "state/simulation_state.h"
#include "test_support.h"

using namespace brelvik;
using brelvik_test::MessageBoxCatcher;

namespace {

QLineEdit* edit(QDialog& d, const char* id) {
  return d.findChild<QLineEdit*>(QString::fromLatin1(id));
}
QPushButton* button(QDialog& d, const char* id) {
  return d.findChild<QPushButton*>(QString::fromLatin1(id));
}
QStringList fields(QDialog& d) {
  QStringList out;
  for (const char* id : {"1000", "1021", "1014", "1015", "1016", "1018", "1019"})
    out << edit(d, id)->text();
  return out;
}
// A grid small enough for a quick interpolation run.
void typeSmallGrid(QDialog& d) {
  edit(d, "1014")->setText(QStringLiteral("6"));
  edit(d, "1015")->setText(QStringLiteral("4"));
  edit(d, "1016")->setText(QStringLiteral("4"));
}

}  // namespace

class ParametrfieldDialogTest : public QObject {
  Q_OBJECT
 private slots:
  void showsTheDefaultsBeforeAnyCreate() {
    SimulationState s;
    CParametrfield dlg(s);
    dlg.show();
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Параметры области"));
    QCOMPARE(fields(dlg), (QStringList{"15.00", "0.020000", "19", "12", "12", "0", "0"}));
    QCOMPARE(button(dlg, "1017")->text(), QStringLiteral("Создать"));
    QCOMPARE(button(dlg, "1020")->text(), QStringLiteral("Старт"));
    QCOMPARE(button(dlg, "1")->text(), QStringLiteral("OK"));
    QStringList labels, groups;
    for (QLabel* l : dlg.findChildren<QLabel*>()) labels << l->text();
    for (QGroupBox* g : dlg.findChildren<QGroupBox*>()) groups << g->title();
    for (const char* l : {"Размер области (рад):", "Сжатие:", "Nx", "Ny", "Nz", "Всего", "Обработано"})
      QVERIFY2(labels.contains(QString::fromUtf8(l)), l);
    QCOMPARE(groups, (QStringList{"Сетка", "Интерполяция"}));
  }

  void createReadsLeadingNumbersAndShowsTheGrid() {
    SimulationState s;
    int repaints = 0;
    s.setRepaintCallback([&] { ++repaints; });
    CParametrfield dlg(s);
    dlg.show();
    edit(dlg, "1000")->setText(QStringLiteral("20 radii"));
    edit(dlg, "1021")->setText(QStringLiteral("0.02"));
    edit(dlg, "1014")->setText(QStringLiteral("6x"));
    edit(dlg, "1015")->setText(QStringLiteral("4"));
    edit(dlg, "1016")->setText(QStringLiteral(" 4"));
    button(dlg, "1017")->click();
    QCOMPARE(s.gridCreated.load(), 1);
    QCOMPARE(s.volumeCount, 6);
    QCOMPARE(s.volumes[0].first_step, toSingle(0.02));
    QVERIFY(s.interpolTotal.load() > 0);
    QVERIFY(repaints >= 1);
    QCOMPARE(fields(dlg), (QStringList{"20.00", "0.020000", "6", "4", "4",
                                       QString::number(s.interpolTotal.load()), "0"}));
  }

  void rejectedInputNamesTheFieldAndChangesNothing() {
    SimulationState s;
    CParametrfield dlg(s);
    dlg.show();
    typeSmallGrid(dlg);
    button(dlg, "1017")->click();
    const int total = s.interpolTotal.load();
    const int generation = s.volumesGeneration.load();
    QCOMPARE(s.volumes[0].Nx, 6 + s.schemeOrder);

    struct Case { const char* id; const char* text; const char* field; };
    const Case cases[] = {{"1014", "-3", "Nx"}, {"1014", "0", "Nx"}, {"1021", "abc", "Сжатие"},
                          {"1000", "0", "Размер"}};
    for (const Case& c : cases) {
      typeSmallGrid(dlg);
      edit(dlg, "1000")->setText(QStringLiteral("15"));
      edit(dlg, "1021")->setText(QStringLiteral("0.02"));
      edit(dlg, c.id)->setText(QString::fromUtf8(c.text));
      MessageBoxCatcher boxes;
      QVERIFY(!dlg.create());
      QCOMPARE(boxes.texts.size(), 1);
      QVERIFY2(boxes.texts[0].contains(QString::fromUtf8(c.field)), qPrintable(boxes.texts[0]));
      QCOMPARE(s.volumeCount, 6);
      QCOMPARE(s.volumes[0].Nx, 6 + s.schemeOrder);
      QCOMPARE(s.interpolTotal.load(), total);
      QCOMPARE(s.volumesGeneration.load(), generation);
      QCOMPARE(s.gridCreated.load(), 1);
    }
  }

  void interpolationRunsWithProgressAndCaption() {
    SimulationState s;
    CParametrfield dlg(s);
    dlg.show();
    typeSmallGrid(dlg);
    button(dlg, "1017")->click();
    const QString total = QString::number(s.interpolTotal.load());
    button(dlg, "1020")->click();
    QTRY_VERIFY_WITH_TIMEOUT(s.interpolationReady.load() == 1, 20000);
    QTRY_COMPARE(edit(dlg, "1019")->text(), total);
    QTRY_COMPARE(button(dlg, "1020")->text(), QStringLiteral("старт"));
    QCOMPARE(s.interpolRunning.load(), 0);

    // Reopening shows the current counts.
    dlg.hide();
    CParametrfield again(s);
    again.show();
    QCOMPARE(edit(again, "1018")->text(), total);
    QCOMPARE(edit(again, "1019")->text(), total);
  }

  void workerCallbacksReachTheFieldOnlyWhileOpen() {
    SimulationState s;
    CParametrfield dlg(s);
    dlg.show();
    // Progress from another thread arrives as queued calls; the last count wins.
    std::thread worker([&s] {
      for (int n = 1; n <= 5000; ++n) s.reportInterpolProgress(n);
      s.reportInterpolRun(RunState::kRunning);
    });
    worker.join();
    QTRY_COMPARE(edit(dlg, "1019")->text(), QStringLiteral("5000"));
    QTRY_COMPARE(button(dlg, "1020")->text(), QStringLiteral("стоп"));

    dlg.hide();
    s.reportInterpolProgress(77);
    s.reportInterpolRun(RunState::kIdle);
    QCoreApplication::processEvents();
    QTest::qWait(50);
    QCOMPARE(edit(dlg, "1019")->text(), QStringLiteral("5000"));
    QCOMPARE(button(dlg, "1020")->text(), QStringLiteral("стоп"));
  }
};

QTEST_MAIN(ParametrfieldDialogTest)
#include "parametrfield_dialog_test.moc"
