#include "gui/app/view_commands.h"

#include <QFile>
#include <QFileDialog>
#include <QWidget>

#include "gui/app/unsaved_changes.h"
#include "gui/dialogs/parametrfield_dialog.h"
#include "gui/dialogs/open_save_dialog.h"
#include "gui/dialogs/flow_lines_dialog.h"
#include "gui/dialogs/velocity_field_dialog.h"
#include "gui/dialogs/view_format_dialog.h"
#include "gui/dialogs/visualition_dialog.h"
#include "gui/dialogs/parameters_flow_dialog.h"
#include "gui/app/dialog_support.h"
#include "gui/app/error_text.h"
#include "post/history_export.h"
#include "post/vtk_export.h"
#include "solver/solver.h"
#include "state/simulation_state.h"

namespace brelvik {

namespace {

// Each dialog is modal and lives on the stack for the call.
template <class Dialog>
void runModal(SimulationState& s, QWidget* window) {
  Dialog dlg(s, window);
  dlg.exec();
}

}  // namespace

ViewCommands::ViewCommands(SimulationState& s, QWidget* window)
    : QObject(window), s_(s), window_(window) {}

void ViewCommands::run(CommandId id) {
  switch (id) {
    case kCmdNew: newCase(); break;
    case kCmdStart: start(); break;
    case kCmdStop: stop(); break;
    case kCmdOpen: open(); break;
    case kCmdSave: save(); break;
    case kCmdExportVtk: exportVtk(); break;
    case kCmdSaveHistoryCsv: saveHistoryCsv(); break;
    case kCmdShowScene: showScene(); break;
    case kCmdDragCoefficient: showDragHistory(); break;
    case kCmdMinMax: toggleMinMax(); break;
    case kCmdDomainParameters: domainParameters(); break;
    case kCmdFlowParameters: flowParameters(); break;
    case kCmdOrientation: orientation(); break;
    case kCmdVelocityField: velocityField(); break;
    case kCmdFlowLines: flowLines(); break;
    case kCmdVisualisation: visualisation(); break;
    default:
      break;
  }
}

// The fluid at rest at time 0 (takes the pass lock, so it never overlaps a
// solver pass). The picture and the legend change with it, so repaint.
void ViewCommands::newCase() {
  if (!confirmDiscardCase(s_, window_)) return;
  brelvik::newCase(s_);
  s_.requestRepaint();
}

void ViewCommands::start() { startSolver(s_); }

void ViewCommands::stop() { stopSolver(s_); }

void ViewCommands::open() {
  if (!confirmDiscardCase(s_, window_)) return;
  runModal<COpenDialog>(s_, window_);
}

void ViewCommands::save() { runModal<CSaveDialog>(s_, window_); }

namespace {

// Qt's own file dialog rather than the platform's: the same on every desktop,
// and reachable by the tests as a modal QFileDialog.
QString chooseWith(QFileDialog& dlg) {
  dlg.setOption(QFileDialog::DontUseNativeDialog);
  dlg.setModal(true);
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return {};
  return dlg.selectedFiles().first();
}

}  // namespace

// Writes the current state between two solver passes (exportVtk takes the
// pass lock), so a running solver pauses for the export only.
void ViewCommands::exportVtk() {
  QFileDialog dlg(window_, QStringLiteral("Экспорт VTK: выберите папку"));
  dlg.setObjectName(QStringLiteral("exportVtkDialog"));
  dlg.setFileMode(QFileDialog::Directory);
  dlg.setOption(QFileDialog::ShowDirsOnly);
  const QString folder = chooseWith(dlg);
  if (folder.isEmpty()) return;
  CoreError error;
  bool ok;
  {
    BusyCursor busy;
    ok = brelvik::exportVtk(s_, QFile::encodeName(folder).toStdString(), &error);
  }
  if (!ok) showError(window_, QStringLiteral("Экспорт VTK"), errorText(error), error.detail);
}

void ViewCommands::saveHistoryCsv() {
  QFileDialog dlg(window_, QStringLiteral("Сохранить историю CSV"));
  dlg.setObjectName(QStringLiteral("historyCsvDialog"));
  dlg.setAcceptMode(QFileDialog::AcceptSave);
  dlg.setFileMode(QFileDialog::AnyFile);
  dlg.setNameFilter(QStringLiteral("CSV (*.csv)"));
  dlg.setDefaultSuffix(QStringLiteral("csv"));
  dlg.selectFile(QStringLiteral("history.csv"));
  const QString file = chooseWith(dlg);
  if (file.isEmpty()) return;
  CoreError error;
  if (!writeHistoryCsv(historyTableOf(s_), QFile::encodeName(file).toStdString(), &error))
    showError(window_, QStringLiteral("Сохранить историю CSV"), errorText(error), error.detail);
}

void ViewCommands::showScene() {
  s_.displayMode = 1;
  s_.requestRepaint();
}

void ViewCommands::showDragHistory() {
  s_.coefficientPlotOn = 1;
  s_.displayMode = 2;
  s_.requestRepaint();
}

void ViewCommands::toggleMinMax() {
  s_.showMinMax = s_.showMinMax ? 0 : 1;
  s_.requestRepaint();
}

void ViewCommands::domainParameters() { runModal<CParametrfield>(s_, window_); }

void ViewCommands::flowParameters() { runModal<CParametersFlow>(s_, window_); }

void ViewCommands::orientation() { runModal<CViewFormat>(s_, window_); }

void ViewCommands::velocityField() { runModal<CVelocityField>(s_, window_); }

void ViewCommands::flowLines() { runModal<CDialog_Flow_Lines>(s_, window_); }

void ViewCommands::visualisation() { runModal<CVisualition>(s_, window_); }

}  // namespace brelvik
