#include "gui/app/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QToolBar>
#include <atomic>

#include "gui/dialogs/about_dialog.h"
#include "gui/app/brelvik_doc.h"
#include "gui/app/number_text.h"
#include "gui/app/toolbar_icons.h"
#include "gui/app/unsaved_changes.h"
#include "gui/app/view_commands.h"
#include "gui/render/brelvik_view.h"
#include "solver/solver.h"
#include "state/simulation_state.h"

namespace brelvik {

namespace {

constexpr int kSeparator = 0;

// The tool tip is the part of the command string after the newline, the
// status prompt the part before it.
void applyCommandString(QAction* a, CommandId id) {
  const char* str = commandString(id);
  if (!str) return;
  const QString s = QString::fromUtf8(str);
  const qsizetype nl = s.indexOf(QLatin1Char('\n'));
  a->setStatusTip(nl < 0 ? s : s.left(nl));
  a->setToolTip(nl < 0 ? QString() : s.mid(nl + 1));
}

}  // namespace

CMainFrame::CMainFrame(SimulationState& s, CBrelvikDoc* doc, const ViewFactory& makeView,
                       QWidget* parent)
    : QMainWindow(parent), s_(s), doc_(doc) {
  setObjectName(QStringLiteral("CMainFrame"));
  setWindowTitle(QStringLiteral("Brelvik 1.0"));
  setWindowIcon(applicationIcon());
  resize(1100, 750);

  buildActions();
  buildMenus();
  buildToolBar();
  buildStatusBar();

  view_ = makeView ? makeView(s_, this) : new CBrelvikView(s_, this);
  view_->setObjectName(QStringLiteral("CBrelvikView"));
  setCentralWidget(view_);

  commands_ = new ViewCommands(s_, this);

  idleTimer_.setInterval(kIdleIntervalMs);
  connect(&idleTimer_, &QTimer::timeout, this, [this] {
    updateCommandUi();
    pollState();
  });
  idleTimer_.start();
  updateCommandUi();
  pollState();
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (!confirmDiscardCase(s_, this)) {
    event->ignore();
    return;
  }
  QMainWindow::closeEvent(event);
}

QAction* CMainFrame::action(CommandId id) const {
  auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}

void CMainFrame::buildActions() {
  for (CommandId id : kAllCommands) {
    auto* a = new QAction(QString::fromUtf8(commandText(id)), this);
    a->setObjectName(QString::number(id));
    a->setData(static_cast<int>(id));
    a->setIcon(commandIcon(id));
    a->setIconVisibleInMenu(false);
    applyCommandString(a, id);
    connect(a, &QAction::triggered, this, [this, id] { runCommand(id); });
    actions_[id] = a;
  }
  action(kCmdNew)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
  action(kCmdOpen)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  action(kCmdSave)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  for (auto& [id, a] : actions_) addAction(a);  // shortcuts work with the menu closed
}

QMenu* CMainFrame::addMenu(const QString& title, std::initializer_list<int> items) {
  QMenu* menu = menuBar()->addMenu(title);
  for (int id : items) {
    if (id == kSeparator)
      menu->addSeparator();
    else
      menu->addAction(action(static_cast<CommandId>(id)));
  }
  connect(menu, &QMenu::aboutToShow, this, &CMainFrame::updateCommandUi);
  return menu;
}

void CMainFrame::buildMenus() {
  addMenu(QStringLiteral("Файл"), {kCmdNew, kSeparator, kCmdStart, kCmdStop, kSeparator,
                                   kCmdOpen, kCmdSave, kSeparator, kCmdExportVtk,
                                   kCmdSaveHistoryCsv, kSeparator, kCmdExit});
  addMenu(QStringLiteral("Вид"),
          {kCmdShowScene, kCmdOrientation, kCmdVelocityField, kCmdFlowLines, kSeparator,
           kCmdDragCoefficient, kSeparator, kCmdMinMax, kSeparator, kCmdToolBar,
           kCmdStatusBar});
  addMenu(QStringLiteral("Геометрия"),
          {kCmdDomainParameters, kCmdFlowParameters, kCmdVisualisation});
  addMenu(QStringLiteral("Справка"), {kCmdAbout});
}

void CMainFrame::buildToolBar() {
  toolBar_ = new QToolBar(QStringLiteral("Панель инструментов"), this);
  toolBar_->setObjectName(QString::number(kCmdToolBar));
  toolBar_->setIconSize(QSize(kToolIconWidth, kToolIconHeight));
  toolBar_->setMovable(false);
  toolBar_->setFloatable(false);
  toolBar_->setAllowedAreas(Qt::TopToolBarArea);
  // The bar is shown and hidden only through "Панель инструментов".
  toolBar_->toggleViewAction()->setVisible(false);
  setContextMenuPolicy(Qt::NoContextMenu);
  for (int id : kToolBarLayout) {
    if (id == kSeparator)
      toolBar_->addSeparator();
    else
      toolBar_->addAction(action(static_cast<CommandId>(id)));
  }
  addToolBar(Qt::TopToolBarArea, toolBar_);
}

void CMainFrame::buildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName(QString::number(kCmdStatusBar));
  messagePane_ = new QLabel(QStringLiteral("Ready"), bar);
  messagePane_->setObjectName(QStringLiteral("messagePane"));
  bar->addWidget(messagePane_, 1);
  const std::pair<int, const char*> indicators[] = {
      {59137, "CAP"}, {59138, "NUM"}, {59139, "SCRL"}};
  for (const auto& [id, text] : indicators) {
    auto* pane = new QLabel(QString::fromLatin1(text), bar);
    pane->setObjectName(QString::number(id));
    pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pane->setAlignment(Qt::AlignCenter);
    pane->setMinimumWidth(pane->fontMetrics().horizontalAdvance(QStringLiteral("SCRL")) + 10);
    bar->addPermanentWidget(pane);
  }
}

RulesInput CMainFrame::currentRulesInput() const {
  return rulesInput(s_, !toolBar_->isHidden(), !statusBar()->isHidden());
}

void CMainFrame::updateCommandUi() {
  const RulesInput in = currentRulesInput();
  for (auto& [id, a] : actions_) {
    const CommandUiState st = commandUiState(in, static_cast<CommandId>(id));
    a->setEnabled(st.enabled);
    a->setCheckable(st.checkable);
    if (st.checkable) a->setChecked(st.checked);
  }
}

bool CMainFrame::runCommand(CommandId id) {
  // A shortcut may arrive between two idle updates: check the rule again.
  if (!commandUiState(currentRulesInput(), id).enabled) {
    updateCommandUi();
    return false;
  }
  switch (id) {
    case kCmdExit:
      close();
      break;
    case kCmdAbout: {
      CAboutDlg dlg(this);
      dlg.exec();
      break;
    }
    case kCmdToolBar:
      toolBar_->setHidden(!toolBar_->isHidden());
      break;
    case kCmdStatusBar:
      statusBar()->setHidden(!statusBar()->isHidden());
      break;
    default:
      commands_->run(id);
      break;
  }
  updateCommandUi();
  pollState();
  return true;
}

void CMainFrame::pollState() {
  reportFailures();
  QString text;
  if (s_.running.load()) {
    // Read while the solver may be in a pass, as the legend does: the three
    // numbers may come from two consecutive passes.
    const int step = std::atomic_ref<int>(s_.stepCount).load(std::memory_order_relaxed);
    const double time = std::atomic_ref<double>(s_.physicalTime).load(std::memory_order_relaxed);
    const double cx = std::atomic_ref<double>(s_.Cx).load(std::memory_order_relaxed);
    text = QStringLiteral("Шаг: %1   Время: %2   Cx: %3")
               .arg(step)
               .arg(cFormat("%.4f", time))
               .arg(cFormat("%.5f", cx));
    failureText_.clear();
  } else if (!failureText_.isEmpty()) {
    text = failureText_;
  } else {
    text = QStringLiteral("Ready");
  }
  if (messagePane_->text() != text) messagePane_->setText(text);
}

void CMainFrame::reportFailures() {
  if (reporting_) return;  // the message box of an earlier failure is still open
  const int diverged = s_.divergedStep.load();
  if (diverged < 0) reportedDivergedStep_ = -1;
  const int interpolFailures = s_.interpolFailedCount.load();
  if (interpolFailures == 0) reportedInterpolFailures_ = 0;

  QString message;
  if (diverged >= 0 && diverged != reportedDivergedStep_) {
    reportedDivergedStep_ = diverged;
    if (s_.running.load()) stopSolver(s_);
    failureText_ = QStringLiteral("Расчёт остановлен: решение разошлось на шаге %1").arg(diverged);
    message = QStringLiteral(
                  "Решение разошлось на шаге %1: коэффициент сопротивления перестал быть "
                  "конечным числом. Расчёт остановлен.")
                  .arg(diverged);
  } else if (interpolFailures > 0 && interpolFailures != reportedInterpolFailures_) {
    reportedInterpolFailures_ = interpolFailures;
    failureText_ =
        QStringLiteral("Интерполяция остановлена: нет шаблона для %1 точек").arg(interpolFailures);
    message = QStringLiteral(
                  "Интерполяция остановлена: для %1 точек не найден допустимый шаблон "
                  "(первая: объём %2, точка %3). Измените параметры области и нажмите "
                  "«Создать».")
                  .arg(interpolFailures)
                  .arg(s_.interpolFailedVolume)
                  .arg(s_.interpolFailedPoint);
  }
  if (message.isEmpty()) return;
  messagePane_->setText(failureText_);
  reporting_ = true;
  QWidget* parent = QApplication::activeModalWidget();
  QMessageBox::warning(parent ? parent : this, QStringLiteral("Brelvik"), message);
  reporting_ = false;
}

}  // namespace brelvik
