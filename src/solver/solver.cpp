#include "solver/solver.h"

#include <cmath>
#include <mutex>

#include "solver/residuals.h"
#include "solver/step_plan.h"
#include "state/simulation_state.h"

namespace brelvik {

void setInitialState(SimulationState& s) {
  s.physicalTime = 0;
  s.stepCount = 0;
  for (int vi = 0; vi < s.volumeCount; ++vi) {
    FiniteVolume& vol = s.volumes[size_t(vi)];
    if (!vol.allocated) continue;
    for (int i = vol.i_begin; i <= vol.i_end; ++i)
      for (int j = vol.j_begin; j <= vol.j_end; ++j)
        for (int k = vol.k_begin; k <= vol.k_end; ++k) {
          const size_t n = size_t(pointIndex(vol, i, j, k));
          vol.u[n] = vol.v[n] = vol.w[n] = 0.0;
          vol.P[n] = 1.0;
          vol.ro[n] = 1.0;
          vol.T[n] = 1.0;
        }
  }
  s.historyCounter = 0;
  s.historyInterval = 10;
  {
    std::lock_guard<std::mutex> lock(s.seriesMutex);
    s.historyCx.clear();
    s.historyCp.clear();
    s.historyCf.clear();
    s.historyTime.clear();
    for (ValueSeries& r : s.historyResidual) r.clear();
  }
  s.residual = {};
  if (s.schemeOrder != 2) return;
  runInitialPhases(s);
}

void newCase(SimulationState& s) {
  std::lock_guard<std::mutex> pass(s.passMutex);
  setInitialState(s);
  s.divergedStep = -1;
  s.flowInitialised = 1;
}

// One time step: the phases of step_plan.h on computeThreads() threads,
// then the drag sums in volume order and the history sample.
void stepOnce(SimulationState& s) {
  const int count = s.volumeCount;
  std::vector<FiniteVolume>& vols = s.volumes;
  std::vector<double> pressureX, frictionX;
  std::vector<ResidualSums> residualParts;
  runStepPhases(s, pressureX, frictionX, residualParts);

  double pressureSum = 0.0, frictionSum = 0.0;
  for (int vi = 0; vi < count; ++vi) {
    const FiniteVolume& v = vols[size_t(vi)];
    if (!v.allocated || v.kind != 2) continue;
    pressureSum += pressureX[size_t(vi)];
    frictionSum += frictionX[size_t(vi)];
  }
  s.Cp = pressureCoefficient(s, pressureSum);
  s.Cf = frictionCoefficient(s, frictionSum);
  // The same value computeCx() would return, without integrating twice more.
  s.Cx = s.Cf + s.Cp;
  s.residual = residualRms(residualParts, s.dt);

  s.historyCounter += 1;
  if (s.historyCounter < s.historyInterval) return;
  {
    std::lock_guard<std::mutex> lock(s.seriesMutex);
    s.historyCx.append();
    s.historyCp.append();
    s.historyCf.append();
    s.historyCx.item(s.historyCx.size() - 1) = s.Cx;
    s.historyCp.item(s.historyCp.size() - 1) = s.Cp;
    s.historyCf.item(s.historyCf.size() - 1) = s.Cf;
    s.historyTime.append();
    s.historyTime.item(s.historyTime.size() - 1) = s.physicalTime;
    for (size_t q = 0; q < 5; ++q) {
      s.historyResidual[q].append();
      s.historyResidual[q].item(s.historyResidual[q].size() - 1) = s.residual[q];
    }
  }
  s.historyCounter = 0;
}

bool solverPass(SimulationState& s) {
  std::lock_guard<std::mutex> pass(s.passMutex);
  if (s.readinessProduct() == 0) return false;
  s.physicalTime += s.dt;
  s.stepCount += 1;
  if (s.schemeOrder == 2) {
    stepOnce(s);
    if (!std::isfinite(s.Cx) || !std::isfinite(s.Cp) || !std::isfinite(s.Cf)) {
      s.running = 0;
      if (s.divergedStep.load() < 0) s.divergedStep = s.stepCount;
    }
  }
  return true;
}

namespace {

// The solver loop. A Start that arrives after `seen` was read bumps the
// ticket, so suspendSelf returns at once and no Start is lost.
void solverLoop(SimulationState& s, WorkerThread& self) {
  while (self.checkpoint()) {
    const uint64_t seen = self.ticket();
    const bool computed = solverPass(s);
    if (computed) s.requestRepaint();
    // With no complete case there is nothing to compute: wait for the next
    // Start instead of spinning.
    if ((!computed || s.running.load() == 0) && !self.suspendSelf(seen)) return;
  }
}

}  // namespace

void startSolver(SimulationState& s) {
  s.running = 1;
  if (!s.solveThread.created())
    s.solveThread.setBody([&s](WorkerThread& self) { solverLoop(s, self); });
  s.solveThread.start();
}

void stopSolver(SimulationState& s) { s.running = 0; }

}  // namespace brelvik
