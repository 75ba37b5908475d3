#pragma once
// The flow solver's public interface: the initial state ("Новый"), the time
// step, one pass of the solver loop shared by the solver thread and the batch
// driver, and the Start/Stop commands of the solver thread.
//
// Locking: solverPass holds s.passMutex for the whole pass, and newCase takes
// it too, so New never overlaps a pass. History appends happen under
// s.seriesMutex.

#include "solver/coefficients.h"
#include "solver/exchange.h"
#include "solver/kernels.h"

namespace brelvik {

struct SimulationState;

// Fluid at rest with unit density, pressure and temperature at every point of
// each volume's computed box; time, step count and history counter reset,
// history interval 10, histories emptied; then (scheme order 2 only) the
// exchange sequence and the vorticity, so ghost and interpolated points are
// consistent. Does not lock; Cx, Cp, Cf keep their values.
void setInitialState(SimulationState& s);

// The "Новый" command: waits for a solver pass in progress (passMutex), sets
// the initial state, clears the recorded divergence step and sets
// flowInitialised = 1. A running solver continues from rest.
void newCase(SimulationState& s);

// One time step of the whole domain: predictor on every volume, exchange,
// corrector on every volume, exchange, vorticity, Cp, Cf, Cx, and every
// historyInterval steps one history sample.
void stepOnce(SimulationState& s);

// One pass of the solver loop under passMutex. Returns false, doing nothing,
// when the readiness product is 0 (for example on a grid just rebuilt by
// Create). Otherwise: physicalTime += dt, stepCount += 1, stepOnce when the
// scheme order is 2. When that step leaves Cx, Cp or Cf not finite, running
// is cleared (the thread pauses after this pass) and divergedStep records the
// step (the first such step since New).
bool solverPass(SimulationState& s);

// "Старт": running = 1; creates the solver thread on the first call (with its
// loop installed), resumes it afterwards.
void startSolver(SimulationState& s);
// "Стоп": running = 0 only; the thread completes the pass it is in, then
// suspends itself.
void stopSolver(SimulationState& s);

}  // namespace brelvik
