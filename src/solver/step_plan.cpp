#include "solver/step_plan.h"

#include <algorithm>
#include <atomic>
#include <chrono>

#include "solver/coefficients.h"
#include "solver/exchange.h"
#include "solver/plane_chunks.h"
#include "state/simulation_state.h"
#include "state/work_team.h"

namespace brelvik {

using namespace exchange_detail;
using namespace step_detail;

namespace {

// A completion count on its own cache line.
struct alignas(64) Counter {
  std::atomic<int> n{0};
};

void completeOne(Counter& c) {
  c.n.fetch_add(1, std::memory_order_release);
  c.n.notify_all();
}

// The exchange sequence after a stage (or after the global velocities of
// the initial state).
void appendExchange(std::vector<Phase>& phases) {
  const RhsTarget any = RhsTarget::Predictor;
  phases.push_back({Work::VelocityBoundary2, any, Wait::SameVolume});
  phases.push_back({Work::VelocityReceivers, any, Wait::AllVolumes});
  // The code-3 velocity ghosts are read by no receiver (receivers read
  // u_glob); the mirrors may be the volume's own receivers.
  phases.push_back({Work::VelocityBoundary3, any, Wait::SameVolume});
  phases.push_back({Work::Divergence, any, Wait::SameVolume});
  phases.push_back({Work::DivergenceReceivers, any, Wait::AllVolumes});
  // Boundary div (3) writes ghosts that div receivers may read.
  phases.push_back({Work::ScalarBoundary2, any, Wait::SameVolumeUnlessGhostsRead});
  phases.push_back({Work::ScalarReceivers, any, Wait::AllVolumes});
  // Every scalar receiver reads its donor's computed points and perhaps its
  // ghosts, which this pass and the next stage's update write.
  phases.push_back({Work::ScalarBoundary3, any, Wait::AllVolumes});
}

void appendStage(std::vector<Phase>& phases, RhsTarget stage, Wait first) {
  phases.push_back({Work::StageInputs, stage, first});
  phases.push_back({Work::Rhs, stage, Wait::SameVolume});
  phases.push_back({Work::Update, stage, Wait::SameVolume});
}

bool slabWork(Work w) {
  return w == Work::GlobalVelocities || w == Work::StageInputs || w == Work::Rhs ||
         w == Work::Update || w == Work::Divergence || w == Work::Vorticity;
}

bool receiverWork(Work w) {
  return w == Work::VelocityReceivers || w == Work::DivergenceReceivers ||
         w == Work::ScalarReceivers;
}

}  // namespace

namespace step_detail {

std::vector<Phase> stepPhases() {
  std::vector<Phase> phases;
  appendStage(phases, RhsTarget::Predictor, Wait::Nothing);
  appendExchange(phases);
  appendStage(phases, RhsTarget::Corrector, Wait::SameVolume);
  appendExchange(phases);
  phases.push_back({Work::Vorticity, RhsTarget::Predictor, Wait::SameVolume});
  phases.push_back({Work::Drag, RhsTarget::Predictor, Wait::SameVolume});
  return phases;
}

std::vector<Phase> initialPhases() {
  std::vector<Phase> phases;
  phases.push_back({Work::GlobalVelocities, RhsTarget::Predictor, Wait::Nothing});
  appendExchange(phases);
  phases.push_back({Work::Vorticity, RhsTarget::Predictor, Wait::SameVolume});
  return phases;
}

StepPlan buildPlan(const std::vector<Phase>& phases, const SimulationState& s,
                   const ReceiverLists& lists) {
  StepPlan plan;
  plan.phases = phases;
  const int V = s.volumeCount;
  plan.volumeCount = V;
  plan.unitsOfPhase.assign(phases.size(), 0);
  plan.unitsOfPhaseAndVolume.assign(phases.size() * size_t(V), 0);
  for (int p = 0; p < int(phases.size()); ++p) {
    const Phase& ph = phases[size_t(p)];
    auto add = [&](int volume, int first, int last) {
      bool all = ph.wait == Wait::AllVolumes;
      if (ph.wait == Wait::SameVolumeUnlessGhostsRead)
        all = volume >= 0 && size_t(volume) < lists.ghostsRead.size() &&
              lists.ghostsRead[size_t(volume)] != 0;
      plan.units.push_back({p, volume, first, last, all});
      plan.unitsOfPhase[size_t(p)] += 1;
      if (volume >= 0) {
        plan.unitsOfPhaseAndVolume[size_t(p) * size_t(V) + size_t(volume)] += 1;
      } else {
        for (int v = 0; v < V; ++v) plan.unitsOfPhaseAndVolume[size_t(p) * size_t(V) + size_t(v)] += 1;
      }
    };
    if (receiverWork(ph.work) && lists.anyOrdered) add(-1, 0, 0);
    for (int v = 0; v < V; ++v) {
      const FiniteVolume& vol = s.volumes[size_t(v)];
      if (!vol.allocated) continue;
      if (slabWork(ph.work)) {
        const int lo = ph.work == Work::StageInputs ? 0 : vol.i_begin;
        const int hi = ph.work == Work::StageInputs ? vol.Nx : vol.i_end;
        if (hi < lo) add(v, 0, -1);
        for (int i = lo; i <= hi; i += kSlabPlanes) add(v, i, std::min(hi, i + kSlabPlanes - 1));
      } else if (receiverWork(ph.work)) {
        const int count = int(lists.independent[size_t(v)].size());
        if (count == 0) add(v, 0, 0);
        for (int r = 0; r < count; r += kReceiverChunk) add(v, r, std::min(count, r + kReceiverChunk));
      } else if (ph.work == Work::Drag) {
        add(v, 0, 0);
        add(v, 1, 1);
      } else {
        add(v, 0, 0);
      }
    }
  }
  return plan;
}

}  // namespace step_detail

// The receiver lists and the plans of one state, and the completion counts
// of the plan being run.
struct StepCache {
  int volumesGeneration = -1;
  int interpolationGeneration = -1;
  int volumeCount = -1;
  int schemeOrder = -1;
  const FiniteVolume* volumesData = nullptr;
  ReceiverLists lists;
  StepPlan step, exchange, vorticity;
  std::vector<Counter> done;       // per phase * volume
  std::vector<Counter> phaseDone;  // per phase
};

namespace {

StepCache& cacheOf(SimulationState& s) {
  if (!s.stepCache) s.stepCache = std::make_shared<StepCache>();
  StepCache& c = *s.stepCache;
  const int vg = s.volumesGeneration.load(), ig = s.interpolationGeneration.load();
  if (c.volumesGeneration == vg && c.interpolationGeneration == ig && c.volumeCount == s.volumeCount &&
      c.schemeOrder == s.schemeOrder && c.volumesData == s.volumes.data())
    return c;
  c.lists.build(s);
  c.step = buildPlan(stepPhases(), s, c.lists);
  std::vector<Phase> exchange = initialPhases();
  exchange.pop_back();  // the vorticity
  c.exchange = buildPlan(exchange, s, c.lists);
  c.vorticity = buildPlan({{Work::Vorticity, RhsTarget::Predictor, Wait::Nothing}}, s, c.lists);
  c.volumesGeneration = vg;
  c.interpolationGeneration = ig;
  c.volumeCount = s.volumeCount;
  c.schemeOrder = s.schemeOrder;
  c.volumesData = s.volumes.data();
  return c;
}

// What the units of one run read besides the volumes.
struct RunInputs {
  SimulationState& s;
  FlowParams p;
  const ReceiverLists& lists;
  double* pressureX = nullptr;
  double* frictionX = nullptr;
};

template <class F>
void serveChunk(RunInputs& in, FiniteVolume& v, int vi, const Unit& u, F&& f) {
  const std::vector<int>& list = in.lists.independent[size_t(vi)];
  for (int r = u.first; r < u.last; ++r) f(in.s.volumes, v, list[size_t(r)]);
}

void execute(const StepPlan& plan, const Unit& u, RunInputs& in) {
  std::vector<FiniteVolume>& vols = in.s.volumes;
  const Phase& ph = plan.phases[size_t(u.phase)];
  const int order = in.p.schemeOrder;
  if (u.volume < 0) {
    if (ph.work == Work::VelocityReceivers) serveOrdered(in.lists, vols, velocityReceiver);
    if (ph.work == Work::DivergenceReceivers) serveOrdered(in.lists, vols, divergenceReceiver);
    if (ph.work == Work::ScalarReceivers) serveOrdered(in.lists, vols, scalarReceiver);
    return;
  }
  FiniteVolume& v = vols[size_t(u.volume)];
  switch (ph.work) {
    case Work::GlobalVelocities:
      globalVelocitiesSlab(v, u.first, u.last);
      break;
    case Work::StageInputs:
      stageInputsSlab(v, ph.stage, u.first, u.last);
      break;
    case Work::Rhs:
      rhsSlab(v, in.p, ph.stage, u.first, u.last);
      break;
    case Work::Update:
      // Boundary velocity (2) writes only planes outside the computed box,
      // so the global velocities of these planes need not wait for it.
      updateSlab(v, in.p.dt, ph.stage, u.first, u.last);
      globalVelocitiesSlab(v, u.first, u.last);
      break;
    case Work::VelocityBoundary2:
      boundaryVelocityVolume(v, order, 2);
      globalVelocitiesSlab(v, 0, v.i_begin - 1);
      globalVelocitiesSlab(v, v.i_end + 1, v.Nx);
      break;
    case Work::VelocityReceivers:
      serveChunk(in, v, u.volume, u, velocityReceiver);
      break;
    case Work::VelocityBoundary3:
      // Boundary div (2) reads the velocities only; div at the computed
      // points (the next phase) writes other points than it.
      boundaryVelocityVolume(v, order, 3);
      boundaryDivergenceVolume(v, order, 2);
      break;
    case Work::Divergence:
      divergenceSlab(v, u.first, u.last);
      break;
    case Work::DivergenceReceivers:
      serveChunk(in, v, u.volume, u, divergenceReceiver);
      break;
    case Work::ScalarBoundary2:
      // Boundary scalars (2) reads div at the computed points and the code-2
      // ghosts, which boundary div (3) does not write.
      boundaryDivergenceVolume(v, order, 3);
      boundaryScalarsVolume(v, order, 2, in.p.k, in.p.M, in.p.Re);
      break;
    case Work::ScalarReceivers:
      serveChunk(in, v, u.volume, u, scalarReceiver);
      break;
    case Work::ScalarBoundary3:
      boundaryScalarsVolume(v, order, 3, in.p.k, in.p.M, in.p.Re);
      break;
    case Work::Vorticity:
      vorticitySlab(v, u.first, u.last);
      break;
    case Work::Drag:
      if (u.first == 0)
        in.pressureX[u.volume] = pressureDragOf(v);
      else
        in.frictionX[u.volume] = frictionDragOf(v, order);
      break;
  }
}

void runPlan(const StepPlan& plan, StepCache& c, RunInputs& in, bool parallel) {
  const int unitCount = int(plan.units.size());
  const int participants =
      parallel && allocatedPoints(in.s.volumes, in.s.volumeCount) >= kParallelMinPoints
          ? std::min(computeThreads(), unitCount)
          : 1;
  if (participants <= 1) {
    for (const Unit& u : plan.units) execute(plan, u, in);
    return;
  }
  const size_t V = size_t(plan.volumeCount);
  if (c.done.size() != plan.phases.size() * V) c.done = std::vector<Counter>(plan.phases.size() * V);
  if (c.phaseDone.size() != plan.phases.size()) c.phaseDone = std::vector<Counter>(plan.phases.size());
  for (Counter& k : c.done) k.n.store(0, std::memory_order_relaxed);
  for (Counter& k : c.phaseDone) k.n.store(0, std::memory_order_relaxed);
  std::atomic<int> next{0};
  threadTeam().run(participants, [&](int) {
    for (int t = next.fetch_add(1, std::memory_order_relaxed); t < unitCount;
         t = next.fetch_add(1, std::memory_order_relaxed)) {
      const Unit& u = plan.units[size_t(t)];
      const size_t p = size_t(u.phase);
      if (plan.phases[p].wait != Wait::Nothing) {
        const size_t q = p - 1;
        if (u.waitsForAll)
          waitAtLeast(c.phaseDone[q].n, plan.unitsOfPhase[q]);
        else
          waitAtLeast(c.done[q * V + size_t(u.volume)].n,
                      plan.unitsOfPhaseAndVolume[q * V + size_t(u.volume)]);
      }
      execute(plan, u, in);
      if (u.volume >= 0) {
        completeOne(c.done[p * V + size_t(u.volume)]);
      } else {
        for (size_t v = 0; v < V; ++v) completeOne(c.done[p * V + v]);
      }
      completeOne(c.phaseDone[p]);
    }
  });
}

}  // namespace

namespace step_detail {

std::vector<double> timeStepUnits(SimulationState& s, std::vector<Unit>* units) {
  StepCache& c = cacheOf(s);
  std::vector<double> pressureX(size_t(s.volumeCount)), frictionX(size_t(s.volumeCount));
  RunInputs in{s, flowParams(s), c.lists, pressureX.data(), frictionX.data()};
  std::vector<double> seconds;
  for (const Unit& u : c.step.units) {
    const auto t0 = std::chrono::steady_clock::now();
    execute(c.step, u, in);
    seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  if (units) *units = c.step.units;
  return seconds;
}

}  // namespace step_detail

void runStepPhases(SimulationState& s, std::vector<double>& pressureX,
                   std::vector<double>& frictionX) {
  StepCache& c = cacheOf(s);
  pressureX.assign(size_t(s.volumeCount), 0.0);
  frictionX.assign(size_t(s.volumeCount), 0.0);
  RunInputs in{s, flowParams(s), c.lists, pressureX.data(), frictionX.data()};
  runPlan(c.step, c, in, true);
}

void runInitialPhases(SimulationState& s) {
  StepCache& c = cacheOf(s);
  RunInputs in{s, flowParams(s), c.lists};
  runPlan(c.exchange, c, in, false);
  runPlan(c.vorticity, c, in, false);
}

void exchangeAll(SimulationState& s) {
  StepCache& c = cacheOf(s);
  RunInputs in{s, flowParams(s), c.lists};
  runPlan(c.exchange, c, in, false);
}

}  // namespace brelvik
