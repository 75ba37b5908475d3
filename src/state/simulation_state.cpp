#include "state/simulation_state.h"

namespace brelvik {

SimulationState::SimulationState() = default;

SimulationState::~SimulationState() {
  // Join the workers before any member they read is destroyed.
  flowLineThread.shutdown();
  interpolThread.shutdown();
  solveThread.shutdown();
}

void SimulationState::setCallbacks(StateCallbacks callbacks) {
  std::lock_guard<std::mutex> lock(callbackMutex_);
  callbacks_ = std::move(callbacks);
}

void SimulationState::setInterpolCallbacks(std::function<void(int)> progress,
                                           std::function<void(RunState)> runState) {
  std::lock_guard<std::mutex> lock(callbackMutex_);
  callbacks_.interpolProgress = std::move(progress);
  callbacks_.interpolRun = std::move(runState);
}

void SimulationState::setFlowLineRunCallback(std::function<void(RunState)> runState) {
  std::lock_guard<std::mutex> lock(callbackMutex_);
  callbacks_.flowLineRun = std::move(runState);
}

void SimulationState::setRepaintCallback(std::function<void()> repaint) {
  std::lock_guard<std::mutex> lock(callbackMutex_);
  callbacks_.repaint = std::move(repaint);
}

// The callbacks are called under callbackMutex_ so that a dialog that clears
// its callback on close is never called afterwards. They must only post work
// to the GUI thread (never block on it).
void SimulationState::requestRepaint() {
  std::lock_guard<std::mutex> lock(callbackMutex_);
  if (callbacks_.repaint) callbacks_.repaint();
}

void SimulationState::reportInterpolProgress(int processed) {
  std::lock_guard<std::mutex> lock(callbackMutex_);
  if (callbacks_.interpolProgress) callbacks_.interpolProgress(processed);
}

void SimulationState::reportInterpolRun(RunState state) {
  std::lock_guard<std::mutex> lock(callbackMutex_);
  if (callbacks_.interpolRun) callbacks_.interpolRun(state);
}

void SimulationState::reportFlowLineRun(RunState state) {
  std::lock_guard<std::mutex> lock(callbackMutex_);
  if (callbacks_.flowLineRun) callbacks_.flowLineRun(state);
}

int SimulationState::readinessProduct() const {
  return gridCreated.load() * interpolationReady.load() * flowInitialised.load() *
         domainReady.load();
}

void SimulationState::quiesceWorkers() {
  running = 0;
  { std::lock_guard<std::mutex> pass(passMutex); }  // the pass in progress ends
  // A pass that was already waiting for the lock when `running` was cleared
  // runs once more; wait until the solver has parked so that it cannot run
  // on the volumes the caller is about to replace. A later Start resumes it.
  solveThread.pauseAndWait();
  if (interpolRunning.exchange(0)) reportInterpolRun(RunState::kIdle);
  interpolThread.pauseAndWait();
  if (flowLineRunning.exchange(0)) reportFlowLineRun(RunState::kIdle);
  flowLineThread.pauseAndWait();
}

SimulationState& theState() {
  static SimulationState state;
  return state;
}

}  // namespace brelvik
