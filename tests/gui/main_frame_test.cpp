// The main window: title, menus, toolbar, status bar, bar toggles, About box,
// the enable rules applied to the actions, and the display commands.

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "gui/dialogs/about_dialog.h"
#include "gui/app/brelvik_doc.h"
#include "gui/app/main_frame.h"
#include "gui/dialogs/open_save_dialog.h"
#include "gui/dialogs/parameters_flow_dialog.h"
#include "gui/app/unsaved_changes.h"
#include "state/simulation_state.h"
#include "test_support.h"

using namespace brelvik;
using brelvik_test::MessageBoxCatcher;

namespace {

// Ids of a menu's entries, 0 for a separator.
QList<int> menuIds(QMenu* menu) {
  QList<int> ids;
  for (QAction* a : menu->actions()) ids.append(a->isSeparator() ? 0 : a->objectName().toInt());
  return ids;
}

QMenu* menuNamed(QMainWindow& w, const QString& title) {
  for (QAction* a : w.menuBar()->actions())
    if (a->menu() && a->text() == title) return a->menu();
  return nullptr;
}

}  // namespace

class MainFrameTest : public QObject {
  Q_OBJECT
 private:
  std::unique_ptr<SimulationState> s;
  std::unique_ptr<CBrelvikDoc> doc;
  std::unique_ptr<CMainFrame> frame;

  void makeReady() {
    s->gridCreated = 1;
    s->interpolationReady = 1;
    s->flowInitialised = 1;
    frame->updateCommandUi();
  }

 private slots:
  void init() {
    s = std::make_unique<SimulationState>();
    doc = std::make_unique<CBrelvikDoc>();
    frame = std::make_unique<CMainFrame>(
        *s, doc.get(), [](SimulationState&, QWidget* parent) { return new QWidget(parent); });
    frame->show();
    QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
  }
  void cleanup() {
    frame.reset();
    doc.reset();
    s.reset();
  }

  void titleMenusAndItems() {
    QCOMPARE(frame->windowTitle(), QStringLiteral("Brelvik 1.0"));
    QStringList titles;
    for (QAction* a : frame->menuBar()->actions()) titles << a->text();
    QCOMPARE(titles, (QStringList{"Файл", "Вид", "Геометрия", "Справка"}));

    QCOMPARE(menuIds(menuNamed(*frame, "Файл")),
             (QList<int>{57600, 0, 32771, 32772, 0, 57601, 57603, 0, 32801, 32802, 0, 57665}));
    QCOMPARE(menuIds(menuNamed(*frame, "Вид")),
             (QList<int>{32796, 32799, 32773, 32776, 0, 32775, 0, 32793, 0, 59392, 59393}));
    QCOMPARE(menuIds(menuNamed(*frame, "Геометрия")), (QList<int>{32791, 32798, 32789}));
    QCOMPARE(menuIds(menuNamed(*frame, "Справка")), (QList<int>{57664}));

    QStringList viewTexts;
    for (QAction* a : menuNamed(*frame, "Вид")->actions())
      if (!a->isSeparator()) viewTexts << a->text();
    QCOMPARE(viewTexts, (QStringList{"Включить", "Ориентация СК", "Поле скоростей", "Линии тока",
                                     "Коэффициент сопротивления", "min_max",
                                     "Панель инструментов", "Строка состояния"}));
    QCOMPARE(frame->action(kCmdExit)->text(), QStringLiteral("Выход"));
    QCOMPARE(frame->action(kCmdAbout)->text(), QStringLiteral("О программе"));

    QCOMPARE(frame->action(kCmdNew)->shortcut(), QKeySequence(QStringLiteral("Ctrl+N")));
    QCOMPARE(frame->action(kCmdOpen)->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
    QCOMPARE(frame->action(kCmdSave)->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
  }

  void toolBarOrderIconsAndToolTips() {
    QToolBar* bar = frame->toolBar();
    QCOMPARE(bar->objectName(), QStringLiteral("59392"));
    QCOMPARE(bar->iconSize(), QSize(16, 15));
    QList<int> ids;
    for (QAction* a : bar->actions()) ids.append(a->isSeparator() ? 0 : a->objectName().toInt());
    QCOMPARE(ids, (QList<int>{57601, 57603, 0, 57600, 32771, 32772, 0, 32796, 32799, 32773, 32776,
                              0, 32775, 0, 32791, 32798, 32789}));
    for (QAction* a : bar->actions()) {
      if (a->isSeparator()) continue;
      QVERIFY2(!a->icon().isNull(), qPrintable(a->text()));
      QCOMPARE(a->icon().availableSizes().value(0), QSize(16, 15));
      QCOMPARE(a->statusTip(), QString());  // the prompts are empty
    }
    QCOMPARE(frame->action(kCmdDragCoefficient)->toolTip(),
             QStringLiteral("Коэффициент сопротивления"));
    QCOMPARE(frame->action(kCmdShowScene)->toolTip(), QStringLiteral("Включить"));
    QCOMPARE(frame->action(kCmdOrientation)->toolTip(), QStringLiteral("Ориентация СК"));
    QCOMPARE(frame->action(kCmdOpen)->toolTip(), QStringLiteral("Открыть"));
  }

  void statusBarPanesAndReadyText() {
    QStatusBar* bar = frame->statusBar();
    QCOMPARE(bar->objectName(), QStringLiteral("59393"));
    QCOMPARE(frame->messagePane()->text(), QStringLiteral("Ready"));
    QStringList panes;
    for (QLabel* l : bar->findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
      if (l != frame->messagePane()) panes << l->text();
    QCOMPARE(panes, (QStringList{"CAP", "NUM", "SCRL"}));
  }

  void barsHideAndShowWithCheckMarks() {
    QAction* tb = frame->action(kCmdToolBar);
    QAction* sb = frame->action(kCmdStatusBar);
    QVERIFY(tb->isChecked());
    QVERIFY(sb->isChecked());
    tb->trigger();
    QVERIFY(!frame->toolBar()->isVisible());
    QVERIFY(!tb->isChecked());
    sb->trigger();
    QVERIFY(!frame->statusBar()->isVisible());
    QVERIFY(!sb->isChecked());
    tb->trigger();
    sb->trigger();
    QVERIFY(frame->toolBar()->isVisible());
    QVERIFY(frame->statusBar()->isVisible());
    QVERIFY(tb->isChecked());
    QVERIFY(sb->isChecked());
  }

  void aboutBoxShowsAndReturns() {
    QString caption, version;
    brelvik_test::onNextModal<CAboutDlg>([&](CAboutDlg* dlg) {
      caption = dlg->windowTitle();
      version = dlg->findChild<QLabel*>(QStringLiteral("version"))->text();
      dlg->findChild<QPushButton*>(QStringLiteral("1"))->click();
    });
    QVERIFY(frame->runCommand(kCmdAbout));
    QCOMPARE(caption, QStringLiteral("About Brelvik"));
    QCOMPARE(version, QStringLiteral("Brelvik 1.0"));
    QVERIFY(frame->isVisible());
    QCOMPARE(frame->windowTitle(), QStringLiteral("Brelvik 1.0"));
  }

  void startUpActionsFollowTheRules() {
    for (CommandId id : {kCmdNew, kCmdStart, kCmdStop, kCmdVelocityField, kCmdFlowLines,
                         kCmdDragCoefficient, kCmdMinMax, kCmdVisualisation})
      QVERIFY2(!frame->action(id)->isEnabled(), commandText(id));
    QVERIFY(frame->action(kCmdShowScene)->isEnabled());
    QVERIFY(frame->action(kCmdShowScene)->isChecked());
    // A disabled command does not run even when called directly (a shortcut
    // that arrives before the next update).
    QVERIFY(!frame->runCommand(kCmdMinMax));
    QCOMPARE(s->showMinMax, 0);
  }

  void rulesReachTheActionsWhenAMenuOpens() {
    s->gridCreated = 1;
    QVERIFY(!frame->action(kCmdVisualisation)->isEnabled());
    emit menuNamed(*frame, "Геометрия")->aboutToShow();
    QVERIFY(frame->action(kCmdVisualisation)->isEnabled());
    s->interpolationReady = 1;
    // The idle timer updates the toolbar without a menu.
    QTRY_VERIFY_WITH_TIMEOUT(frame->action(kCmdNew)->isEnabled(), 2000);
    QVERIFY(!frame->action(kCmdStart)->isEnabled());
  }

  void displayCommandsSwitchAndRepaint() {
    makeReady();
    int repaints = 0;
    s->setRepaintCallback([&] { ++repaints; });

    frame->action(kCmdMinMax)->trigger();
    QCOMPARE(s->showMinMax, 1);
    QVERIFY(frame->action(kCmdMinMax)->isChecked());
    frame->action(kCmdMinMax)->trigger();
    QCOMPARE(s->showMinMax, 0);
    QVERIFY(!frame->action(kCmdMinMax)->isChecked());

    frame->action(kCmdDragCoefficient)->trigger();
    QCOMPARE(s->displayMode, 2);
    QCOMPARE(s->coefficientPlotOn, 1);
    QVERIFY(frame->action(kCmdDragCoefficient)->isChecked());
    QVERIFY(!frame->action(kCmdShowScene)->isChecked());

    frame->action(kCmdShowScene)->trigger();
    QCOMPARE(s->displayMode, 1);
    QCOMPARE(s->coefficientPlotOn, 1);  // stays on
    QVERIFY(frame->action(kCmdShowScene)->isChecked());
    QVERIFY(!frame->action(kCmdDragCoefficient)->isChecked());

    frame->action(kCmdDragCoefficient)->trigger();
    QCOMPARE(s->displayMode, 2);
    QCOMPARE(repaints, 5);
    s->setRepaintCallback({});
  }

  void statusBarShowsTheRunAndReturnsToReady() {
    s->stepCount = 42;
    s->physicalTime = 0.042;
    s->Cx = 1.25;
    s->running = 1;
    frame->pollState();
    QCOMPARE(frame->messagePane()->text(),
             QStringLiteral("Шаг: 42   Время: 0.0420   Cx: 1.25000"));
    s->running = 0;
    frame->pollState();
    QCOMPARE(frame->messagePane()->text(), QStringLiteral("Ready"));
  }

  void divergedRunIsReportedOnceAndStopped() {
    makeReady();
    s->running = 1;
    s->divergedStep = 17;
    {
      MessageBoxCatcher boxes;
      frame->pollState();
      QCOMPARE(boxes.texts.size(), 1);
      QVERIFY(boxes.texts[0].contains(QStringLiteral("17")));
      frame->pollState();  // the same failure is not reported again
      QCOMPARE(boxes.texts.size(), 1);
    }
    QCOMPARE(s->running.load(), 0);
    QVERIFY(frame->messagePane()->text().contains(QStringLiteral("разошлось")));
    QVERIFY(frame->action(kCmdStop)->isChecked());
    // A new run clears the failure from the status bar.
    s->divergedStep = -1;
    s->running = 1;
    frame->pollState();
    QVERIFY(frame->messagePane()->text().startsWith(QStringLiteral("Шаг:")));
    s->running = 0;
  }

  void interpolationFailureIsReported() {
    s->interpolFailedVolume = 3;
    s->interpolFailedPoint = 1234;
    s->interpolFailedCount = 2;
    MessageBoxCatcher boxes;
    frame->pollState();
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY(boxes.texts[0].contains(QStringLiteral("объём 3")));
    QVERIFY(boxes.texts[0].contains(QStringLiteral("1234")));
    QVERIFY(frame->messagePane()->text().contains(QStringLiteral("Интерполяция остановлена")));
  }

  // Close, New and Open ask «Сохранить изменения?» for a changed case:
  // Cancel keeps everything, Save runs the Save dialog and goes on once the
  // case is saved; a saved case is closed without a question.
  void unsavedCaseIsNotDiscardedWithoutAsking() {
    QTemporaryDir tmp;
    int asked = 0;
    SaveAnswer answer = SaveAnswer::Cancel;
    setSaveQuestion([&](QWidget*) {
      ++asked;
      return answer;
    });
    QVERIFY(!caseChangedSinceSave(*s));  // a fresh program has nothing to lose
    makeReady();
    s->physicalTime = 0.5;
    for (ValueSeries* h : {&s->historyCx, &s->historyCp, &s->historyCf, &s->historyTime}) h->resize(1);

    QVERIFY(!frame->close());
    QVERIFY(frame->isVisible());
    QVERIFY(frame->runCommand(kCmdNew));
    QCOMPARE(s->physicalTime, 0.5);  // New did not run
    QCOMPARE(asked, 2);

    answer = SaveAnswer::Save;
    const QString folder = tmp.filePath(QStringLiteral("asked"));
    brelvik_test::onNextModal<CSaveDialog>([&](CSaveDialog* dlg) {
      dlg->findChild<QLineEdit*>(QStringLiteral("1000"))->setText(folder);
      dlg->accept();
    });
    QVERIFY(frame->close());
    QCOMPARE(asked, 3);
    QVERIFY(QFileInfo(folder + QStringLiteral("/all.txt")).isFile());

    // Saved: closing again asks nothing.
    frame->show();
    QVERIFY(frame->close());
    QCOMPARE(asked, 3);
    setSaveQuestion([](QWidget*) { return SaveAnswer::Discard; });
  }

  void flowParametersThroughTheMenu() {
    QString shownDt;
    brelvik_test::onNextModal<CParametersFlow>([&](CParametersFlow* dlg) {
      shownDt = dlg->findChild<QLineEdit*>(QStringLiteral("1000"))->text();
      dlg->findChild<QLineEdit*>(QStringLiteral("1014"))->setText(QStringLiteral("250"));
      dlg->findChild<QPushButton*>(QStringLiteral("1"))->click();
    });
    QVERIFY(frame->runCommand(kCmdFlowParameters));
    QCOMPARE(shownDt, QStringLiteral("1.00e-03"));
    QCOMPARE(s->Re, 250.0);
    QCOMPARE(s->dt, 0.0010000000474974513);
  }
};

QTEST_MAIN(MainFrameTest)
#include "main_frame_test.moc"
