#pragma once
// Enable and check rules of every command, as one pure function of a
// snapshot of the simulation state. The main window applies it when a menu
// opens and on an idle timer for the toolbar; the command handlers consult it
// again before acting, so a shortcut pressed between two updates cannot run a
// command that is not allowed.

#include "gui/app/command_ids.h"

namespace brelvik {

struct SimulationState;

// What the rules read. The two bar flags belong to the window, not to the
// simulation; the window fills them in.
struct RulesInput {
  int gridCreated = 0;
  int interpolationReady = 0;
  int flowInitialised = 0;
  int domainReady = 1;
  int running = 0;
  int displayMode = 1;
  int showMinMax = 0;
  bool toolBarVisible = true;
  bool statusBarVisible = true;
};

struct CommandUiState {
  bool enabled = true;
  bool checkable = false;  // the item shows a check mark when `checked`
  bool checked = false;
};

// Snapshot of the fields the rules read. Call on the window thread.
RulesInput rulesInput(const SimulationState& s, bool toolBarVisible = true,
                      bool statusBarVisible = true);

CommandUiState commandUiState(const RulesInput& in, CommandId id);

}  // namespace brelvik
