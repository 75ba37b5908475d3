#pragma once
// The main window: menu bar, toolbar, status bar and the view in the middle.
// Every command goes through runCommand(), which checks the enable rule of
// the command first; the frame handles the bar toggles, "Выход" and
// "О программе", the view's commands go to ViewCommands.

#include <QMainWindow>
#include <QString>
#include <QTimer>
#include <functional>
#include <map>

#include "gui/app/command_ids.h"
#include "gui/app/command_rules.h"

class QAction;
class QLabel;
class QMenu;
class QToolBar;

namespace brelvik {

struct SimulationState;
class CBrelvikDoc;
class ViewCommands;

class CMainFrame : public QMainWindow {
  Q_OBJECT
 public:
  // Interval of the idle update of the toolbar and the status bar.
  static constexpr int kIdleIntervalMs = 200;

  // Makes the central view. The default is the OpenGL view; tests of the
  // menus and rules pass a plain widget so that they need no OpenGL.
  using ViewFactory = std::function<QWidget*(SimulationState&, QWidget* parent)>;

  CMainFrame(SimulationState& s, CBrelvikDoc* doc, const ViewFactory& makeView = {},
             QWidget* parent = nullptr);
  ~CMainFrame() override;

  QAction* action(CommandId id) const;
  QToolBar* toolBar() const { return toolBar_; }
  QLabel* messagePane() const { return messagePane_; }
  QWidget* view() const { return view_; }
  CBrelvikDoc* document() const { return doc_; }
  ViewCommands* commands() const { return commands_; }

  // The rule input for the current state and bars.
  RulesInput currentRulesInput() const;
  // Applies the enable and check rules to every action.
  void updateCommandUi();
  // Refreshes the message pane and reports failures of the worker threads.
  void pollState();
  // Runs a command if its rule allows it; returns whether it ran.
  bool runCommand(CommandId id);

 protected:
  // Asks «Сохранить изменения?» when the case changed since it was last
  // saved or opened; Cancel keeps the window open.
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildActions();
  void buildMenus();
  void buildToolBar();
  void buildStatusBar();
  QMenu* addMenu(const QString& title, std::initializer_list<int> items);
  void reportFailures();

  SimulationState& s_;
  CBrelvikDoc* doc_;
  ViewCommands* commands_ = nullptr;
  QWidget* view_ = nullptr;
  QToolBar* toolBar_ = nullptr;
  QLabel* messagePane_ = nullptr;
  std::map<int, QAction*> actions_;
  QTimer idleTimer_;

  // Failure reporting: the last failure already shown, so each is shown once.
  int reportedDivergedStep_ = -1;
  int reportedInterpolFailures_ = 0;
  bool reporting_ = false;  // a failure message box is open
  QString failureText_;     // kept in the message pane until the next run
};

}  // namespace brelvik
