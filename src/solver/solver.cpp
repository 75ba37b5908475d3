#include "solver/solver.h"

#include <cmath>
#include <mutex>

#include "solver/exchange_parts.h"
#include "solver/plane_chunks.h"
#include "solver/residuals.h"
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
  exchangeAll(s);
  computeVorticityAll(s);
}

void newCase(SimulationState& s) {
  std::lock_guard<std::mutex> pass(s.passMutex);
  setInitialState(s);
  s.divergedStep = -1;
  s.flowInitialised = 1;
}

// One time step as a single parallel region in which each thread owns whole
// volumes (the same static split in every loop). A volume's kernels, its
// boundary conditions, its divergence and vorticity and its face integrals
// read only that volume, so they follow each other on the owning thread
// without waiting; only the interpolation of receivers reads other volumes,
// so each exchange has four barriers: before the velocity, the divergence
// and the scalar receivers, and after the scalar receivers (their stencils
// may hold donor ghosts and computed points that the following boundary pass
// and stage write). The order of every operation that one value
// depends on is the order of the sequence
//   predict all; exchangeAll; correct all; exchangeAll; vorticity; Cp; Cf
// so the fields are the same bits as that sequence and as any thread count.
void stepOnce(SimulationState& s) {
  using namespace exchange_detail;
  const FlowParams p = flowParams(s);
  ReceiverLists& lists = scratchLists();
  lists.build(s);  // the receivers are the same for the whole step
  std::vector<FiniteVolume>& vols = s.volumes;
  const int count = s.volumeCount;
  const int order = s.schemeOrder;
  const double gam = s.k, M = s.M, Re = s.Re;
  // Both exchanges of the step use the far field at the end of the step
  // (physicalTime is advanced before the step).
  const FarFieldParams ff = farFieldParams(s);
  std::vector<double> pressureX(size_t(count), 0.0), frictionX(size_t(count), 0.0);
  std::vector<ResidualSums> residualParts(static_cast<size_t>(count));

#pragma omp parallel if (allocatedPoints(vols, count) >= kParallelMinPoints)
  {
    // The exchange after the first boundary pass and the global velocities:
    // velocity receivers, boundary (3), divergence, boundary (2) of div; div
    // receivers, boundary (3) of div, boundary (2) of the scalars; scalar
    // receivers, boundary (3) of the scalars, then `next` for the volume.
    auto exchangeRest = [&](auto&& next) {
#pragma omp barrier
      if (lists.anyOrdered) {
#pragma omp single
        serveOrdered(lists, vols, velocityReceiver);
      }
#pragma omp for schedule(static) nowait
      for (int vi = 0; vi < count; ++vi) {
        FiniteVolume& v = vols[size_t(vi)];
        if (!v.allocated) continue;
        for (int n : lists.independent[size_t(vi)]) velocityReceiver(vols, v, n);
        boundaryVelocityVolume(v, order, 3, ff);
        divergenceVolume(v);
        boundaryDivergenceVolume(v, order, 2, ff);
      }
#pragma omp barrier
      if (lists.anyOrdered) {
#pragma omp single
        serveOrdered(lists, vols, divergenceReceiver);
      }
#pragma omp for schedule(static) nowait
      for (int vi = 0; vi < count; ++vi) {
        FiniteVolume& v = vols[size_t(vi)];
        if (!v.allocated) continue;
        for (int n : lists.independent[size_t(vi)]) divergenceReceiver(vols, v, n);
        // Reads div only at computed points and code-2 ghosts, which the
        // boundary pass of div with code 3 does not write.
        boundaryScalarsVolume(v, order, 2, gam, M, Re, ff);
      }
#pragma omp barrier
      if (lists.anyOrdered) {
#pragma omp single
        serveOrdered(lists, vols, scalarReceiver);
      }
#pragma omp for schedule(static) nowait
      for (int vi = 0; vi < count; ++vi) {
        FiniteVolume& v = vols[size_t(vi)];
        if (!v.allocated) continue;
        // After every div receiver: their stencils may hold code-3 ghosts.
        boundaryDivergenceVolume(v, order, 3, ff);
        for (int n : lists.independent[size_t(vi)]) scalarReceiver(vols, v, n);
      }
      // The scalar receivers of every volume read their donors' ghosts and
      // computed points before the boundary pass and the next stage write them.
#pragma omp barrier
#pragma omp for schedule(static) nowait
      for (int vi = 0; vi < count; ++vi) {
        FiniteVolume& v = vols[size_t(vi)];
        if (!v.allocated) continue;
        boundaryScalarsVolume(v, order, 3, gam, M, Re, ff);
        next(v, vi);
      }
    };

#pragma omp for schedule(static) nowait
    for (int vi = 0; vi < count; ++vi) {
      FiniteVolume& v = vols[size_t(vi)];
      if (!v.allocated) continue;
      predictVolumeSerial(v, p);
      boundaryVelocityVolume(v, order, 2, ff);
      globalVelocitiesVolume(v);
    }
    exchangeRest([&](FiniteVolume& v, int) {
      correctVolumeSerial(v, p);
      boundaryVelocityVolume(v, order, 2, ff);
      globalVelocitiesVolume(v);
    });
    exchangeRest([&](FiniteVolume& v, int vi) {
      vorticityVolume(v);
      pressureX[size_t(vi)] = pressureDragOf(v);
      frictionX[size_t(vi)] = frictionDragOf(v, order);
      residualParts[size_t(vi)] = residualSumsOf(v);
    });
  }

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
  s.residual = residualRms(residualParts, p.dt);

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
