#include "gui/app/command_rules.h"

#include "state/simulation_state.h"

namespace brelvik {

RulesInput rulesInput(const SimulationState& s, bool toolBarVisible, bool statusBarVisible) {
  RulesInput in;
  in.gridCreated = s.gridCreated.load();
  in.interpolationReady = s.interpolationReady.load();
  in.flowInitialised = s.flowInitialised.load();
  in.domainReady = s.domainReady.load();
  in.running = s.running.load();
  in.displayMode = s.displayMode;
  in.showMinMax = s.showMinMax;
  in.toolBarVisible = toolBarVisible;
  in.statusBarVisible = statusBarVisible;
  return in;
}

CommandUiState commandUiState(const RulesInput& in, CommandId id) {
  // The readiness product: a complete case (grid, interpolation data, flow
  // field) is loaded or prepared.
  const bool ready =
      in.gridCreated * in.interpolationReady * in.flowInitialised * in.domainReady != 0;
  CommandUiState st;
  switch (id) {
    case kCmdNew:
      st.enabled = in.domainReady * in.interpolationReady * in.gridCreated != 0;
      break;
    // Start and Stop are a pair of indicators: exactly one carries the mark,
    // and neither is disabled because the other one is checked.
    case kCmdStart:
      st.enabled = ready;
      st.checkable = true;
      st.checked = in.running == 1;
      break;
    case kCmdStop:
      st.enabled = ready;
      st.checkable = true;
      st.checked = in.running == 0;
      break;
    case kCmdVelocityField:
    case kCmdFlowLines:
      st.enabled = ready;
      break;
    case kCmdDragCoefficient:
      st.enabled = ready;
      st.checkable = true;
      st.checked = in.displayMode == 2;
      break;
    case kCmdMinMax:
      st.enabled = ready;
      st.checkable = true;
      st.checked = in.showMinMax != 0;
      break;
    case kCmdVisualisation:
      st.enabled = in.domainReady * in.gridCreated != 0;
      break;
    // The export writes whatever the volumes hold once a grid exists.
    case kCmdExportVtk:
      st.enabled = in.gridCreated != 0;
      break;
    // The drag history belongs to a case that can run.
    case kCmdSaveHistoryCsv:
      st.enabled = ready;
      break;
    case kCmdShowScene:
      st.checkable = true;
      st.checked = in.displayMode == 1;
      break;
    case kCmdToolBar:
      st.checkable = true;
      st.checked = in.toolBarVisible;
      break;
    case kCmdStatusBar:
      st.checkable = true;
      st.checked = in.statusBarVisible;
      break;
    case kCmdOpen:
    case kCmdSave:
    case kCmdDomainParameters:
    case kCmdFlowParameters:
    case kCmdOrientation:
    case kCmdExit:
    case kCmdAbout:
      break;
  }
  return st;
}

}  // namespace brelvik
