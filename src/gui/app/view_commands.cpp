#include "gui/app/view_commands.h"

#include <QWidget>

#include "gui/app/unsaved_changes.h"
#include "gui/dialogs/parametrfield_dialog.h"
#include "gui/dialogs/open_save_dialog.h"
#include "gui/dialogs/flow_lines_dialog.h"
#include "gui/dialogs/velocity_field_dialog.h"
#include "gui/dialogs/view_format_dialog.h"
#include "gui/dialogs/visualition_dialog.h"
#include "gui/dialogs/parameters_flow_dialog.h"
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
