#include "app/view_commands.h"

#include <QWidget>

#include "grid/parametrfield_dialog.h"
#include "io/open_save_dialog.h"
#include "post/flow_lines_dialog.h"
#include "post/velocity_field_dialog.h"
#include "render/view_format_dialog.h"
#include "render/visualition_dialog.h"
#include "solver/parameters_flow_dialog.h"
#include "solver/solver.h"
#include "state/simulation_state.h"

namespace brelvik {

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
  brelvik::newCase(s_);
  s_.requestRepaint();
}

void ViewCommands::start() { startSolver(s_); }

void ViewCommands::stop() { stopSolver(s_); }

void ViewCommands::open() {
  COpenDialog dlg(s_, window_);
  dlg.exec();
}

void ViewCommands::save() {
  CSaveDialog dlg(s_, window_);
  dlg.exec();
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

void ViewCommands::domainParameters() {
  CParametrfield dlg(s_, window_);
  dlg.exec();
}

void ViewCommands::flowParameters() {
  CParametersFlow dlg(s_, window_);
  dlg.exec();
}

// Each dialog is modal and lives on the stack for the call.
void ViewCommands::orientation() {
  CViewFormat dlg(s_, window_);
  dlg.exec();
}

void ViewCommands::velocityField() {
  CVelocityField dlg(s_, window_);
  dlg.exec();
}

void ViewCommands::flowLines() {
  CDialog_Flow_Lines dlg(s_, window_);
  dlg.exec();
}

void ViewCommands::visualisation() {
  CVisualition dlg(s_, window_);
  dlg.exec();
}

}  // namespace brelvik
