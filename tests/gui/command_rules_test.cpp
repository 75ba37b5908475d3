// The enable and check rules as a pure function of the state, and the
// locale-independent number conversions of the dialogs.

#include <QtTest>

#include "gui/app/command_rules.h"
#include "gui/app/number_text.h"
#include "state/simulation_state.h"

using namespace brelvik;

namespace {

// Commands that need a complete case (the readiness product).
const CommandId kNeedCase[] = {kCmdStart, kCmdStop, kCmdVelocityField, kCmdFlowLines,
                               kCmdDragCoefficient, kCmdMinMax, kCmdSaveHistoryCsv};
// Commands that are enabled in every state.
const CommandId kAlways[] = {kCmdOpen,  kCmdSave, kCmdDomainParameters, kCmdFlowParameters,
                             kCmdOrientation, kCmdShowScene, kCmdExit, kCmdAbout,
                             kCmdToolBar, kCmdStatusBar};

bool enabled(const RulesInput& in, CommandId id) { return commandUiState(in, id).enabled; }
bool checked(const RulesInput& in, CommandId id) {
  const CommandUiState st = commandUiState(in, id);
  return st.checkable && st.checked;
}

}  // namespace

class CommandRulesTest : public QObject {
  Q_OBJECT
 private slots:
  void startUpFromFreshState() {
    SimulationState s;
    const RulesInput in = rulesInput(s);
    QVERIFY(!enabled(in, kCmdNew));
    QVERIFY(!enabled(in, kCmdVisualisation));
    for (CommandId id : kNeedCase) QVERIFY2(!enabled(in, id), commandText(id));
    for (CommandId id : kAlways) QVERIFY2(enabled(in, id), commandText(id));
    QVERIFY(checked(in, kCmdShowScene));
    // Not running: "Стоп" carries the mark even while disabled.
    QVERIFY(checked(in, kCmdStop));
    QVERIFY(!checked(in, kCmdStart));
    QVERIFY(!checked(in, kCmdDragCoefficient));
    QVERIFY(!checked(in, kCmdMinMax));
  }

  // The order Create -> interpolation -> New unlocks the commands step by step.
  void pathUnlocksCommandsInOrder() {
    RulesInput in;
    in.gridCreated = 1;  // after Create
    QVERIFY(enabled(in, kCmdVisualisation));
    QVERIFY(!enabled(in, kCmdNew));
    for (CommandId id : kNeedCase) QVERIFY(!enabled(in, id));

    in.interpolationReady = 1;  // after the interpolation
    QVERIFY(enabled(in, kCmdNew));
    for (CommandId id : kNeedCase) QVERIFY2(!enabled(in, id), commandText(id));

    in.flowInitialised = 1;  // after New
    for (CommandId id : kNeedCase) QVERIFY2(enabled(in, id), commandText(id));
    QVERIFY(enabled(in, kCmdNew));
    QVERIFY(enabled(in, kCmdVisualisation));

    // A folder with domainReady = 0 disables everything that needs the domain.
    in.domainReady = 0;
    QVERIFY(!enabled(in, kCmdNew));
    QVERIFY(!enabled(in, kCmdVisualisation));
    for (CommandId id : kNeedCase) QVERIFY(!enabled(in, id));
    for (CommandId id : kAlways) QVERIFY(enabled(in, id));
  }

  void startAndStopAreAPairOfIndicators() {
    RulesInput in;
    in.gridCreated = in.interpolationReady = in.flowInitialised = 1;
    for (int running : {0, 1}) {
      in.running = running;
      QCOMPARE(checked(in, kCmdStart), running == 1);
      QCOMPARE(checked(in, kCmdStop), running == 0);
      QVERIFY(enabled(in, kCmdStart));
      QVERIFY(enabled(in, kCmdStop));
    }
  }

  void displaySwitchesDriveTheMarks() {
    RulesInput in;
    in.gridCreated = in.interpolationReady = in.flowInitialised = 1;
    in.displayMode = 2;
    QVERIFY(checked(in, kCmdDragCoefficient));
    QVERIFY(!checked(in, kCmdShowScene));
    in.displayMode = 1;
    QVERIFY(!checked(in, kCmdDragCoefficient));
    QVERIFY(checked(in, kCmdShowScene));
    in.showMinMax = 1;
    QVERIFY(checked(in, kCmdMinMax));
    in.toolBarVisible = false;
    in.statusBarVisible = true;
    QVERIFY(!checked(in, kCmdToolBar));
    QVERIFY(checked(in, kCmdStatusBar));
  }

  void snapshotReadsTheState() {
    SimulationState s;
    s.gridCreated = 1;
    s.interpolationReady = 1;
    s.flowInitialised = 1;
    s.running = 1;
    s.displayMode = 2;
    s.showMinMax = 1;
    const RulesInput in = rulesInput(s, false, true);
    QCOMPARE(in.gridCreated * in.interpolationReady * in.flowInitialised * in.domainReady, 1);
    QCOMPARE(in.running, 1);
    QCOMPARE(in.displayMode, 2);
    QCOMPARE(in.showMinMax, 1);
    QCOMPARE(in.toolBarVisible, false);
    QCOMPARE(in.statusBarVisible, true);
  }

  void leadingNumbersFollowTheCConversions() {
    QCOMPARE(leadingDouble(QStringLiteral("  12.5abc")), 12.5);
    QCOMPARE(leadingDouble(QStringLiteral("2.5e-4xyz")), 2.5e-4);
    QCOMPARE(leadingDouble(QStringLiteral("abc")), 0.0);
    QCOMPARE(leadingDouble(QString()), 0.0);
    QCOMPARE(leadingDouble(QStringLiteral("1,5")), 1.0);  // a comma ends the number
    QCOMPARE(leadingInt(QStringLiteral("19 cells")), 19);
    QCOMPARE(leadingInt(QStringLiteral("12.9")), 12);
    QCOMPARE(leadingInt(QStringLiteral("-3")), -3);
    QCOMPARE(leadingInt(QStringLiteral("x12")), 0);
    QCOMPARE(leadingInt(QStringLiteral("99999999999")), INT_MAX);
    QCOMPARE(cFormat("%.2e", 0.001), QStringLiteral("1.00e-03"));
    QCOMPARE(cFormat("%lf", 0.02), QStringLiteral("0.020000"));
  }
};

QTEST_APPLESS_MAIN(CommandRulesTest)
#include "command_rules_test.moc"
