// The user's path through the real window commands: Create and interpolation
// in the domain dialog, New, Start, Stop, the display switches and Save, with
// the enable and check marks the actions carry after each step.

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "gui/app/error_text.h"
#include "gui/app/brelvik_doc.h"
#include "gui/app/command_ids.h"
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

}  // namespace

class CommandPathTest : public QObject {
  Q_OBJECT
 private:
  SimulationState s;
  CBrelvikDoc doc;
  std::unique_ptr<CMainFrame> frame;
  QTemporaryDir tmp;

  void stopSolverAndWait() {
    s.running = 0;
    std::lock_guard<std::mutex> pass(s.passMutex);  // the pass in progress ends
  }
  bool on(CommandId id) const { return frame->action(id)->isEnabled(); }
  bool marked(CommandId id) const {
    QAction* a = frame->action(id);
    return a->isCheckable() && a->isChecked();
  }

 private slots:
  void initTestCase() {
    frame = std::make_unique<CMainFrame>(
        s, &doc, [](SimulationState&, QWidget* parent) { return new QWidget(parent); });
    frame->show();
    QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
  }
  void cleanupTestCase() {
    stopSolverAndWait();
    frame.reset();
  }

  void startUp() {
    for (CommandId id : {kCmdNew, kCmdStart, kCmdStop, kCmdVelocityField, kCmdFlowLines,
                         kCmdDragCoefficient, kCmdMinMax, kCmdVisualisation})
      QVERIFY2(!on(id), commandText(id));
    QVERIFY(on(kCmdShowScene) && marked(kCmdShowScene));
  }

  void afterCreate() {
    onNextModal<CParametrfield>([](CParametrfield* dlg) {
      edit(dlg, "1014")->setText(QStringLiteral("6"));
      edit(dlg, "1015")->setText(QStringLiteral("4"));
      edit(dlg, "1016")->setText(QStringLiteral("4"));
      button(dlg, "1017")->click();
      button(dlg, "1")->click();
    });
    QVERIFY(frame->runCommand(kCmdDomainParameters));
    QCOMPARE(s.gridCreated.load(), 1);
    QVERIFY(on(kCmdVisualisation));
    QVERIFY(!on(kCmdNew));
    QVERIFY(!on(kCmdStart));
  }

  void afterInterpolation() {
    onNextModal<CParametrfield>([this](CParametrfield* dlg) {
      button(dlg, "1020")->click();
      QTRY_VERIFY_WITH_TIMEOUT(s.interpolationReady.load() == 1, 20000);
      button(dlg, "1")->click();
    });
    QVERIFY(frame->runCommand(kCmdDomainParameters));
    QCOMPARE(s.interpolationReady.load(), 1);
    QVERIFY(on(kCmdNew));
    for (CommandId id : {kCmdStart, kCmdStop, kCmdVelocityField, kCmdFlowLines,
                         kCmdDragCoefficient, kCmdMinMax})
      QVERIFY2(!on(id), commandText(id));
  }

  void afterNew() {
    // "Новый" through its shortcut.
    frame->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(frame.get()));
    QTest::keyClick(frame.get(), Qt::Key_N, Qt::ControlModifier);
    QCOMPARE(s.flowInitialised.load(), 1);
    for (CommandId id : {kCmdStart, kCmdStop, kCmdVelocityField, kCmdFlowLines,
                         kCmdDragCoefficient, kCmdMinMax})
      QVERIFY2(on(id), commandText(id));
    QVERIFY(marked(kCmdStop));
    QVERIFY(!marked(kCmdStart));
  }

  void startAndStop() {
    frame->action(kCmdStart)->trigger();
    QCOMPARE(s.running.load(), 1);
    QVERIFY(marked(kCmdStart));
    QVERIFY(!marked(kCmdStop));
    QTRY_VERIFY_WITH_TIMEOUT(frame->messagePane()->text().startsWith(QStringLiteral("Шаг:")), 5000);
    // Start while running changes nothing.
    frame->action(kCmdStart)->trigger();
    QCOMPARE(s.running.load(), 1);
    QCOMPARE(s.solveThread.createCount(), uint64_t(1));
    QTRY_VERIFY_WITH_TIMEOUT(s.stepCount >= 3, 20000);

    frame->action(kCmdStop)->trigger();
    QCOMPARE(s.running.load(), 0);
    QVERIFY(marked(kCmdStop));
    QVERIFY(!marked(kCmdStart));
    QTRY_VERIFY_WITH_TIMEOUT(s.solveThread.parked(), 10000);
    const int steps = s.stepCount;
    frame->action(kCmdStop)->trigger();  // Stop while stopped changes nothing
    QTest::qWait(100);
    QCOMPARE(s.stepCount, steps);
    QCOMPARE(s.running.load(), 0);
    QCOMPARE(frame->messagePane()->text(), QStringLiteral("Ready"));
  }

  void displaySwitches() {
    frame->action(kCmdMinMax)->trigger();
    QVERIFY(marked(kCmdMinMax));
    frame->action(kCmdMinMax)->trigger();
    QVERIFY(!marked(kCmdMinMax));
    QCOMPARE(s.showMinMax, 0);
    frame->action(kCmdDragCoefficient)->trigger();
    QVERIFY(marked(kCmdDragCoefficient) && !marked(kCmdShowScene));
    frame->action(kCmdShowScene)->trigger();
    QVERIFY(!marked(kCmdDragCoefficient) && marked(kCmdShowScene));
    QCOMPARE(s.coefficientPlotOn, 1);
  }

  void saveThroughTheDialog() {
    const QString folder = tmp.filePath(QStringLiteral("path-case"));
    onNextModal<CSaveDialog>([folder](CSaveDialog* dlg) {
      QCOMPARE(edit(dlg, "1000")->text(), QStringLiteral("save"));
      edit(dlg, "1000")->setText(folder);
      button(dlg, "1")->click();
    });
    QVERIFY(frame->runCommand(kCmdSave));
    SimulationState loaded;
    CoreError error;
    QVERIFY2(loadCase(loaded, folder.toStdString(), &error), qPrintable(errorText(error)));
    QCOMPARE(loaded.stepCount, s.stepCount);
    QCOMPARE(loaded.readinessProduct(), 1);
  }

  void createAgainLocksTheRunCommands() {
    onNextModal<CParametrfield>([](CParametrfield* dlg) {
      button(dlg, "1017")->click();  // the fields show the current grid
      button(dlg, "1")->click();
    });
    QVERIFY(frame->runCommand(kCmdDomainParameters));
    QCOMPARE(s.interpolationReady.load(), 0);
    QCOMPARE(s.flowInitialised.load(), 0);
    QVERIFY(!on(kCmdNew));
    QVERIFY(!on(kCmdStart));
    QVERIFY(on(kCmdVisualisation));
  }

  void openRestoresEveryFlagAtOnce() {
    const QString folder = tmp.filePath(QStringLiteral("path-case"));
    onNextModal<COpenDialog>([folder](COpenDialog* dlg) {
      edit(dlg, "1000")->setText(folder);
      button(dlg, "1")->click();
    });
    QVERIFY(frame->runCommand(kCmdOpen));
    QCOMPARE(s.readinessProduct(), 1);
    QVERIFY(on(kCmdStart));
    QVERIFY(on(kCmdNew));
  }

  void divergedRunIsShownAndStopped() {
    frame->action(kCmdNew)->trigger();
    s.dt = 1e6;  // no scheme survives this step
    brelvik_test::MessageBoxCatcher boxes;
    frame->action(kCmdStart)->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!boxes.texts.isEmpty(), 20000);
    QVERIFY(boxes.texts[0].contains(QStringLiteral("разошлось")));
    QVERIFY(s.divergedStep.load() >= 1);
    QTRY_VERIFY_WITH_TIMEOUT(s.solveThread.parked(), 10000);
    QCOMPARE(s.running.load(), 0);
    QVERIFY(marked(kCmdStop));
    QVERIFY(frame->messagePane()->text().contains(QStringLiteral("разошлось")));
    QCOMPARE(boxes.texts.size(), 1);
  }
};

QTEST_MAIN(CommandPathTest)
#include "command_path_test.moc"
