// Brelvik: the desktop program.

#include "gui/app/brelvik_app.h"
#include "state/simulation_state.h"

int main(int argc, char** argv) {
  brelvik::CBrelvikApp app(argc, argv);
  brelvik::SimulationState& s = brelvik::theState();
  if (!app.initInstance(s)) return 1;
  const int rc = app.exec();
  app.exitInstance(s);
  return rc;
}
