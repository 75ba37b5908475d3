#include "solver/step_plan.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>

#include "solver/coefficients.h"
#include "solver/exchange.h"
#include "solver/plane_chunks.h"
#include "state/participant_tuner.h"
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
  phases.push_back({Work::Update, stage, Wait::AdjacentPlanes});
}

// Where a volume's planes are preferred. Of P participants, participant p
// prefers the computed planes whose middle lies in the p-th P-th of the
// computed range i_begin..i_end (planes outside it go with the nearest
// computed plane), whatever the phase: a participant then finds the planes
// it reads in its own processor's cache, written by its own earlier units.
// Unit::at of a unit on planes a..b is this position at its middle plane.
int computedPlanes(const FiniteVolume& vol) { return std::max(1, vol.i_end - vol.i_begin + 1); }

float planeAt(const FiniteVolume& vol, double plane) {
  const int n = computedPlanes(vol);
  const double at = (std::clamp(plane, double(vol.i_begin), double(vol.i_begin + n - 1)) - vol.i_begin + 0.5) / n;
  return float(at);
}

// The first plane that two participants' second one prefers (the middle of
// a plane at or above it lies in the upper half of the computed range).
// Every phase's slabs and receiver chunks are cut there, so that with two
// participants no unit holds planes of both halves. (Cut by each phase's
// own slab size alone, a slab across the middle left some planes to one
// participant in one phase and to the other in the next, and those planes'
// arrays crossed between the processors' caches twice a stage.)
int halfPlane(const FiniteVolume& vol) {
  return vol.i_begin + computedPlanes(vol) / 2;
}

// The residual sums of a volume read the flow and the saved state of every
// computed point, and a sum must run through the points in scan order. Two
// units in a chain keep it: the planes below halfPlane, then the others
// continued from their sums, each mostly on the participant that prefers
// (and computed) those planes. One unit reading the whole volume found half
// of it in the other processor's cache and took three times as long.
int lowerResidualPlanes(const FiniteVolume& vol) { return halfPlane(vol); }

bool slabWork(Work w) {
  return w == Work::GlobalVelocities || w == Work::StageInputs || w == Work::Rhs ||
         w == Work::Update || w == Work::Divergence || w == Work::Vorticity;
}

bool receiverWork(Work w) {
  return w == Work::VelocityReceivers || w == Work::DivergenceReceivers ||
         w == Work::ScalarReceivers;
}

// Reorders the units so that, between two phases in which some unit waits
// for every volume, each volume's phases run back to back: a volume's
// stage inputs, right-hand side and update then follow each other while its
// arrays are still in the cache, instead of streaming the whole domain
// through the cache once per phase. Within such a segment every wait is on
// the same volume, so volume-major order is still an order in which each
// unit only waits for units before it; the ordered receivers (volume -1)
// open their segment.
void orderVolumeMajor(StepPlan& plan) {
  std::vector<int> segment(plan.phases.size(), 0);
  int current = 0;
  for (const Unit& u : plan.units)
    if (u.waitsForAll && u.phase > 0) segment[size_t(u.phase)] = 1;
  for (size_t p = 0; p < segment.size(); ++p) {
    current += segment[p];
    segment[p] = current;
  }
  std::stable_sort(plan.units.begin(), plan.units.end(), [&](const Unit& a, const Unit& b) {
    const int sa = segment[size_t(a.phase)], sb = segment[size_t(b.phase)];
    if (sa != sb) return sa < sb;
    if (a.volume != b.volume) return a.volume < b.volume;
    return a.phase < b.phase;
  });
}

// Whether unit d is one that u waits for, by u's phase's wait alone (the
// AdjacentPlanes units narrow this in adjacentPlaneWaits). The ordered
// receivers (volume -1) belong to every volume.
bool inPhaseWait(const Unit& u, const Unit& d) {
  if (d.phase != u.phase - 1) return false;
  if (d.volume < 0 || d.volume == u.volume) return true;
  if (!u.waitsForAll) return false;
  // A receiver chunk: the previous phase of its donors.
  if (u.readsVolumes != ~0ull) return d.volume >= 64 || ((u.readsVolumes >> d.volume) & 1) != 0;
  // After receiver chunks (a boundary pass that writes ghosts they may
  // read): the chunks that read this volume.
  if (d.readsVolumes != ~0ull) return u.volume < 0 || u.volume >= 64 || ((d.readsVolumes >> u.volume) & 1) != 0;
  return true;
}

// The volumes whose points the independent receivers [first, last) of a
// volume read (bit v; every volume from 64 on counts as read).
unsigned long long donorVolumes(const ReceiverStencils& t, int first, int last) {
  unsigned long long mask = 0;
  for (int r = first; r < last; ++r) {
    const int d = t.donors[size_t(r)];
    mask |= d >= 64 ? ~0ull : 1ull << d;
  }
  return mask;
}

// The units of the previous phase on the same volume that the AdjacentPlanes
// unit at `at` waits for: those whose planes come within one plane of its
// own. With an empty unit on either side, or none near (the two phases cut
// the volume differently), it waits for every one of them.
std::vector<int> adjacentPlaneWaits(const StepPlan& plan, size_t at, const std::vector<int>& previousPhase) {
  const Unit& u = plan.units[at];
  std::vector<int> near, all;
  bool empty = u.last < u.first;
  for (int k : previousPhase) {
    const Unit& d = plan.units[size_t(k)];
    if (!inPhaseWait(u, d)) continue;
    all.push_back(k);
    empty = empty || d.last < d.first;
    if (d.first <= u.last + 1 && d.last >= u.first - 1) near.push_back(k);
  }
  return near.empty() || empty ? all : near;
}

// Fills every unit's wait list (the positions in plan order of the units it
// waits for) and lists each AdjacentPlanes unit right after the last unit it
// waits for; every other unit keeps its place. Units only move earlier,
// never before what they wait for, so each unit still waits only for units
// listed before it.
void orderAdjacentPlanesAndListWaits(StepPlan& plan) {
  const size_t n = plan.units.size();
  std::vector<std::vector<int>> ofPhase(plan.phases.size());
  for (size_t k = 0; k < n; ++k) ofPhase[size_t(plan.units[k].phase)].push_back(int(k));
  std::vector<std::vector<int>> waits(n);
  std::vector<std::pair<int, int>> key(n);  // (listed after this position, moved)
  for (size_t k = 0; k < n; ++k) {
    key[k] = {int(k), 0};
    const Unit& u = plan.units[k];
    const Wait wait = plan.phases[size_t(u.phase)].wait;
    if (wait == Wait::Nothing || u.phase == 0) continue;
    const std::vector<int>& previous = ofPhase[size_t(u.phase - 1)];
    if (wait == Wait::AdjacentPlanes) {
      waits[k] = adjacentPlaneWaits(plan, k, previous);
      if (!waits[k].empty()) key[k] = {*std::max_element(waits[k].begin(), waits[k].end()), 1};
      continue;
    }
    for (int d : previous)
      if (inPhaseWait(u, plan.units[size_t(d)])) waits[k].push_back(d);
  }
  std::vector<int> order(n);
  for (size_t k = 0; k < n; ++k) order[k] = int(k);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return key[size_t(a)] < key[size_t(b)]; });
  std::vector<int> position(n);
  for (size_t p = 0; p < n; ++p) position[size_t(order[p])] = int(p);
  std::vector<Unit> units;
  units.reserve(n);
  for (int k : order) {
    Unit u = plan.units[size_t(k)];
    u.waitBegin = int(plan.waitList.size());
    for (int w : waits[size_t(k)]) plan.waitList.push_back(position[size_t(w)]);
    u.waitEnd = int(plan.waitList.size());
    // Ascending, so that a readiness check meets the latest (the likeliest
    // unfinished) last.
    std::sort(plan.waitList.begin() + u.waitBegin, plan.waitList.end());
    units.push_back(u);
  }
  plan.units = std::move(units);
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
  phases.push_back({Work::Residuals, RhsTarget::Predictor, Wait::SameVolume});
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
  for (int p = 0; p < int(phases.size()); ++p) {
    const Phase& ph = phases[size_t(p)];
    auto add = [&](int volume, int first, int last, float at = -1.0f,
                   unsigned long long readsVolumes = ~0ull) {
      bool all = ph.wait == Wait::AllVolumes;
      if (ph.wait == Wait::SameVolumeUnlessGhostsRead)
        all = volume >= 0 && size_t(volume) < lists.ghostsRead.size() &&
              lists.ghostsRead[size_t(volume)] != 0;
      Unit unit{p, volume, first, last, all};
      unit.at = at;
      unit.readsVolumes = readsVolumes;
      plan.units.push_back(unit);
    };
    if (receiverWork(ph.work) && lists.anyOrdered) add(-1, 0, 0);
    for (int v = 0; v < V; ++v) {
      const FiniteVolume& vol = s.volumes[size_t(v)];
      if (!vol.allocated) continue;
      if (ph.work == Work::StageInputs && ph.stage == RhsTarget::Corrector) {
        // The corrector has no stage inputs; the phase stays (one empty unit
        // per volume) for its wait and for the halo exchange before it.
        add(v, 0, -1);
      } else if (slabWork(ph.work)) {
        const int lo = ph.work == Work::StageInputs ? 0 : vol.i_begin;
        const int hi = ph.work == Work::StageInputs ? vol.Nx : vol.i_end;
        if (hi < lo) {
          add(v, 0, -1);
          continue;
        }
        const int planes = ph.work == Work::Rhs ? kRhsSlabPlanes : kSlabPlanes;
        // Slabs from each end of the two halves' parts of lo..hi (the
        // update's slabs then still start where R's do and hold whole R
        // slabs).
        const int half = std::clamp(halfPlane(vol), lo, hi + 1);
        for (const auto& [from, to] : {std::pair{lo, half - 1}, std::pair{half, hi}})
          for (int i = from; i <= to; i += planes) {
            const int last = std::min(to, i + planes - 1);
            add(v, i, last, planeAt(vol, 0.5 * (i + last)));
          }
      } else if (receiverWork(ph.work)) {
        // The list runs plane by plane: chunks of at most kReceiverChunk,
        // of even size, in each half, each preferred where its middle
        // receiver is.
        const std::vector<int>& list = lists.independent[size_t(v)];
        const int count = int(list.size());
        if (count == 0) add(v, 0, 0, -1.0f, 0);
        const int half = int(std::lower_bound(list.begin(), list.end(), halfPlane(vol) * vol.stride_i) -
                             list.begin());
        for (const auto& [from, to] : {std::pair{0, half}, std::pair{half, count}}) {
          const int chunks = (to - from + kReceiverChunk - 1) / kReceiverChunk;
          for (int c = 0; c < chunks; ++c) {
            const int r = from + int((long long)(to - from) * c / chunks);
            const int end = from + int((long long)(to - from) * (c + 1) / chunks);
            add(v, r, end, planeAt(vol, list[size_t((r + end) / 2)] / vol.stride_i),
                donorVolumes(lists.independentStencils[size_t(v)], r, end));
          }
        }
      } else if (ph.work == Work::Drag) {
        add(v, 0, 0);
        add(v, 1, 1);
        add(v, 2, 2, planeAt(vol, 0.5 * (lowerResidualPlanes(vol) - 1)));
      } else if (ph.work == Work::Residuals) {
        add(v, 0, 0, planeAt(vol, 0.5 * (lowerResidualPlanes(vol) + vol.Nx)));
      } else {
        add(v, 0, 0);
      }
    }
  }
  orderVolumeMajor(plan);
  orderAdjacentPlanesAndListWaits(plan);
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
  std::vector<std::vector<FaceGeometry>> sphereFaces;  // per volume
  StepPlan step, exchange, vorticity;
  std::vector<std::atomic<unsigned char>> state;  // per unit: kOpen, kTaken, kFinished
  // Participants blocked for want of a ready unit, and the count a finishing
  // unit raises to wake them (only when there are any, so that a run with
  // everyone busy writes no shared line but the unit's own state and count).
  std::atomic<int> sleepers{0};
  Counter wake;
  ParticipantTuner tuner;  // participants of the time step
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
  c.sphereFaces.resize(size_t(s.volumeCount));
  for (int v = 0; v < s.volumeCount; ++v) c.sphereFaces[size_t(v)] = sphereFaceGeometry(s.volumes[size_t(v)]);
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
  const std::vector<std::vector<FaceGeometry>>& sphereFaces;
  double* pressureX = nullptr;
  double* frictionX = nullptr;
  ResidualSums* residuals = nullptr;  // per volume, by the two residual units
  // The far field at physicalTime: within a step both exchanges use the
  // free stream of the step's end (the time is advanced before the step).
  FarFieldParams ff = {};
  // The units are handed out and completed but do nothing (the benchmark's
  // measure of what handing them out costs).
  bool handoutOnly = false;
};

// The inputs of a time step, its drag and residual slots cleared.
RunInputs stepInputs(SimulationState& s, const StepCache& c, std::vector<double>& pressureX,
                     std::vector<double>& frictionX, std::vector<ResidualSums>& residuals) {
  pressureX.assign(size_t(s.volumeCount), 0.0);
  frictionX.assign(size_t(s.volumeCount), 0.0);
  residuals.assign(size_t(s.volumeCount), ResidualSums{});
  return {s, flowParams(s), c.lists, c.sphereFaces, pressureX.data(), frictionX.data(), residuals.data(),
          farFieldParams(s)};
}

template <class F>
void serveChunk(RunInputs& in, FiniteVolume& v, int vi, const Unit& u, F&& f) {
  f(in.s.volumes, v, in.lists.independentStencils[size_t(vi)], u.first, u.last);
}

// `faces`: the faces of the volume whose boundary passes (and, with the
// inner face, the drag) this run computes.
void execute(const StepPlan& plan, const Unit& u, RunInputs& in, unsigned faces = kBothFaces) {
  if (in.handoutOnly) return;
  std::vector<FiniteVolume>& vols = in.s.volumes;
  const Phase& ph = plan.phases[size_t(u.phase)];
  const int order = in.p.schemeOrder;
  if (u.volume < 0) {
    if (ph.work == Work::VelocityReceivers) serveOrdered(in.lists, vols, velocityReceivers);
    if (ph.work == Work::DivergenceReceivers) serveOrdered(in.lists, vols, divergenceReceivers);
    if (ph.work == Work::ScalarReceivers) serveOrdered(in.lists, vols, scalarReceivers);
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
      boundaryVelocityVolume(v, order, 2, in.ff, faces);
      if (faces & kInnerFace) globalVelocitiesSlab(v, 0, v.i_begin - 1);
      if (faces & kOuterFace) globalVelocitiesSlab(v, v.i_end + 1, v.Nx);
      break;
    case Work::VelocityReceivers:
      serveChunk(in, v, u.volume, u, velocityReceivers);
      break;
    case Work::VelocityBoundary3:
      // Boundary div (2) reads the velocities only; div at the computed
      // points (the next phase) writes other points than it.
      boundaryVelocityVolume(v, order, 3, in.ff, faces);
      boundaryDivergenceVolume(v, order, 2, in.ff, faces);
      break;
    case Work::Divergence:
      divergenceSlab(v, u.first, u.last);
      break;
    case Work::DivergenceReceivers:
      serveChunk(in, v, u.volume, u, divergenceReceivers);
      break;
    case Work::ScalarBoundary2:
      // Boundary scalars (2) reads div at the computed points and the code-2
      // ghosts, which boundary div (3) does not write.
      boundaryDivergenceVolume(v, order, 3, in.ff, faces);
      boundaryScalarsVolume(v, order, 2, in.p.k, in.p.M, in.p.Re, in.ff, faces);
      break;
    case Work::ScalarReceivers:
      serveChunk(in, v, u.volume, u, scalarReceivers);
      break;
    case Work::ScalarBoundary3:
      boundaryScalarsVolume(v, order, 3, in.p.k, in.p.M, in.p.Re, in.ff, faces);
      break;
    case Work::Vorticity:
      vorticitySlab(v, u.first, u.last);
      break;
    case Work::Drag:
      if (!(faces & kInnerFace)) break;
      if (u.first == 0)
        in.pressureX[u.volume] = pressureDragOf(v, in.sphereFaces[size_t(u.volume)]);
      else if (u.first == 1)
        in.frictionX[u.volume] = frictionDragOf(v, order, in.sphereFaces[size_t(u.volume)]);
      else if (in.residuals)
        in.residuals[u.volume] = residualSumsOf(v, 0, lowerResidualPlanes(v) - 1, ResidualSums{});
      break;
    case Work::Residuals:
      if (in.residuals)
        in.residuals[u.volume] =
            residualSumsOf(v, lowerResidualPlanes(v), v.Nx, in.residuals[u.volume]);
      break;
  }
}

// The calling thread's wall clock and processor time. Over a stretch of
// work, wall minus processor time is the time the thread was not running:
// descheduled for another process, or blocked waiting (rare in a step:
// waits are mostly spins, which count as processor time).
struct ThreadClocks {
  long long wallNs, cpuNs;
};
ThreadClocks readThreadClocks() {
  timespec w, c;
  clock_gettime(CLOCK_MONOTONIC, &w);
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &c);
  return {w.tv_sec * 1000000000LL + w.tv_nsec, c.tv_sec * 1000000000LL + c.tv_nsec};
}

// Time the participants of one run spent not running, over their time in it.
struct TimeNotRunning {
  std::atomic<long long> lostNs{0}, spanNs{0};
  void add(const ThreadClocks& before, const ThreadClocks& after) {
    const long long span = after.wallNs - before.wallNs;
    spanNs.fetch_add(span, std::memory_order_relaxed);
    lostNs.fetch_add(span - (after.cpuNs - before.cpuNs), std::memory_order_relaxed);
  }
  double share() const { return spanNs > 0 ? double(lostNs) / double(spanNs) : 0.0; }
};

enum UnitState : unsigned char { kOpen = 0, kTaken = 1, kFinished = 2 };

// Clears the completion state of the cache for a run of the plan.
void resetRun(const StepPlan& plan, StepCache& c) {
  const size_t unitCount = plan.units.size();
  if (c.state.size() != unitCount) c.state = std::vector<std::atomic<unsigned char>>(unitCount);
  for (auto& t : c.state) t.store(kOpen, std::memory_order_relaxed);
  c.sleepers.store(0, std::memory_order_relaxed);
  // Raised at most once per unit in a run, so it cannot overflow.
  c.wake.n.store(0, std::memory_order_relaxed);
}

// Whether every unit that the unit at position `at` waits for has finished.
// `known` (one flag per unit, the caller's own, zero at the run's start)
// remembers the answers that were yes, since completion is final. The list
// is read from its end: the latest unit waited for is the likeliest to be
// unfinished.
bool unitReady(const StepPlan& plan, const StepCache& c, size_t at, std::vector<unsigned char>& known) {
  if (known[at]) return true;
  const Unit& u = plan.units[at];
  for (int k = u.waitEnd - 1; k >= u.waitBegin; --k)
    if (c.state[size_t(plan.waitList[size_t(k)])].load(std::memory_order_seq_cst) != kFinished)
      return false;
  known[at] = 1;
  return true;
}

// Records the completion of the unit at position `at` of the plan: a
// release store, the only shared line a finish writes. Whoever reads
// kFinished (an acquire) sees everything the unit wrote. Waking sleepers is
// the finishing participant's own business (runPlan: announce).
void finishUnit(StepCache& c, int at) { c.state[size_t(at)].store(kFinished, std::memory_order_release); }

// A full fence between this thread's earlier stores and its later loads.
// Under ThreadSanitizer, which does not model fences, a sequentially
// consistent read-modify-write of a private atomic stands in (a locked
// instruction, a full barrier on the processors it runs on).
void fullFence() {
#if defined(__SANITIZE_THREAD__)
  thread_local std::atomic<int> private_{0};
  private_.fetch_add(0, std::memory_order_seq_cst);
#else
  std::atomic_thread_fence(std::memory_order_seq_cst);
#endif
}

// Units ahead of the first unstarted one that a participant looks at for one
// whose dependencies are complete.
constexpr int kLookahead = 64;

// Runs the plan on the team. A participant takes the first unstarted unit
// (within kLookahead of the first one) whose dependencies are complete, so
// while one volume waits for a descheduled thread's unit, the others carry
// on with the later phases of other volumes. It never waits while it holds
// a unit; with nothing ready it looks again for a while, then sleeps until a
// unit completes. The first unstarted unit only depends on started units, so
// some completion always comes. Handing out a unit writes one shared cache
// line, the unit's state, twice (taken, finished); every line written is
// one the other processors must fetch again. Returns the share of the
// participants' time in the run during which they were not running (the
// participant tuner's sign that other work competes for the processors).
double runPlan(const StepPlan& plan, StepCache& c, RunInputs& in, int participants) {
  const int unitCount = int(plan.units.size());
  participants = std::min(participants, unitCount);
  TimeNotRunning notRunning;
  if (participants <= 1) {
    const ThreadClocks before = readThreadClocks();
    for (const Unit& u : plan.units) execute(plan, u, in);
    notRunning.add(before, readThreadClocks());
    return notRunning.share();
  }
  resetRun(plan, c);

  auto take = [&](int t) {
    unsigned char open = kOpen;
    return c.state[size_t(t)].compare_exchange_strong(open, kTaken, std::memory_order_acq_rel);
  };
  // The position of a ready unit for participant `me` that it has claimed,
  // or -1; `start` is the first unit not taken (as far as this participant
  // knows).
  auto claim = [&](int me, int start, std::vector<unsigned char>& known) {
    const int limit = std::min(unitCount, start + kLookahead);
    // The first ready unit this participant prefers (or that nobody
    // prefers); failing that, the first ready unit at all.
    int other = -1;
    for (int t = start; t < limit; ++t) {
      if (c.state[size_t(t)].load(std::memory_order_relaxed) != kOpen) continue;
      if (!unitReady(plan, c, size_t(t), known)) continue;
      const Unit& u = plan.units[size_t(t)];
      if (u.at >= 0.0f && int(u.at * float(participants)) != me) {
        if (other < 0) other = t;
        continue;
      }
      if (take(t)) return t;
    }
    if (other >= 0 && take(other)) return other;
    return -1;
  };
  auto firstOpenFrom = [&](int from) {
    while (from < unitCount && c.state[size_t(from)].load(std::memory_order_acquire) != kOpen) ++from;
    return from;
  };

  auto participate = [&](int me) {
    std::vector<unsigned char> known(size_t(unitCount), 0);
    int start = 0;
    // A participant that finished a unit wakes the sleepers (if any) only
    // at its next full fence: right after its next claim (the claim's
    // compare-exchange has already drained its stores, so the fence costs
    // little), when it registers as a sleeper, or when it leaves. A
    // sequentially consistent store at every finish stalled the finishing
    // processor until the state's cache line came back from the other
    // processors' scans. The two fences (the finisher's here, the sleeper's
    // after it registers) make sure that the sleeper sees the finished
    // state or the finisher sees the sleeper. Until the finisher's fence
    // nobody sleeps for want of that unit who could not also claim what it
    // enabled: the finisher, still awake, claims that itself.
    bool unannounced = false;
    auto announce = [&](int selfSleeping) {
      fullFence();
      if (c.sleepers.load(std::memory_order_relaxed) > selfSleeping) completeOne(c.wake);
      unannounced = false;
    };
    // A claimed unit, or -1 (then start == unitCount when none is open).
    auto lookAgain = [&] {
      start = firstOpenFrom(start);
      return start < unitCount ? claim(me, start, known) : -1;
    };
    for (;;) {
      int claimed = lookAgain();
      // Nothing ready: the first open unit waits for units in progress.
      // Look again for a while (a unit in progress on a running thread
      // usually ends within it), then sleep until some unit completes.
      for (int spin = 0, spins = waitSpins(); claimed < 0 && start < unitCount && spin < spins; ++spin) {
        spinPause();
        claimed = lookAgain();
      }
      if (claimed < 0 && start < unitCount) {
        const int seen = c.wake.n.load(std::memory_order_seq_cst);
        c.sleepers.fetch_add(1, std::memory_order_seq_cst);
        fullFence();
        if (unannounced) announce(1);
        claimed = lookAgain();
        if (claimed < 0 && start < unitCount) waitAtLeast(c.wake.n, seen + 1);
        c.sleepers.fetch_sub(1, std::memory_order_seq_cst);
      }
      if (claimed < 0) {
        if (start >= unitCount) {
          if (unannounced) announce(0);
          return;
        }
        continue;
      }
      if (unannounced) announce(0);
      execute(plan, plan.units[size_t(claimed)], in);
      finishUnit(c, claimed);
      unannounced = true;
    }
  };
  threadTeam().run(participants, [&](int me) {
    const ThreadClocks before = readThreadClocks();
    participate(me);
    notRunning.add(before, readThreadClocks());
  });
  return notRunning.share();
}

// A unit as this process runs it: its planes clipped to the runs computed
// here, and the faces of the volume whose passes it computes.
struct OwnUnit {
  Unit unit;
  unsigned faces;
};

// The units of the plan that this process runs, per phase. The ordered
// receivers (volume -1) and the receiver chunks go through serveReceivers.
std::vector<std::vector<OwnUnit>> ownUnits(const StepPlan& plan, const SimulationState& s,
                                           const StepDistribution& d) {
  std::vector<std::vector<OwnUnit>> mine(plan.phases.size());
  for (const Unit& u : plan.units) {
    if (u.volume < 0) continue;
    const Work work = plan.phases[size_t(u.phase)].work;
    if (receiverWork(work)) continue;
    const std::vector<PlaneRun>& runs = d.ownPlanes[size_t(u.volume)];
    const int lastPlane = s.volumes[size_t(u.volume)].Nx;
    if (slabWork(work)) {
      for (const PlaneRun& r : runs) {
        const int first = std::max(u.first, r.first);
        const int last = std::min(u.last, r.last);
        if (first > last) continue;
        Unit clipped = u;
        clipped.first = first;
        clipped.last = last;
        mine[size_t(u.phase)].push_back({clipped, kBothFaces});
      }
      continue;
    }
    unsigned faces = 0;
    for (const PlaneRun& r : runs) {
      if (r.first <= 0 && r.last >= 0) faces |= kInnerFace;
      if (r.first <= lastPlane && r.last >= lastPlane) faces |= kOuterFace;
    }
    if (faces != 0) mine[size_t(u.phase)].push_back({u, faces});
  }
  return mine;
}

// The plan on a process that computes only some planes: phase after phase
// (every unit waits at most for the previous phase), the halos first, then
// its own units on the team, the receivers through the distribution.
void runDistributed(const StepPlan& plan, RunInputs& in, const StepDistribution& d) {
  const std::vector<std::vector<OwnUnit>> mine = ownUnits(plan, in.s, d);
  for (size_t p = 0; p < plan.phases.size(); ++p) {
    const Work work = plan.phases[p].work;
    d.exchangeHalos(in.s, work);
    if (receiverWork(work)) {
      d.serveReceivers(in.s, in.lists, work);
      continue;
    }
    const std::vector<OwnUnit>& units = mine[p];
    if (computeThreads() > 1 && units.size() > 1) {
      forEachUnit(int(units.size()), [&](int k, int) {
        execute(plan, units[size_t(k)].unit, in, units[size_t(k)].faces);
      });
    } else {
      for (const OwnUnit& u : units) execute(plan, u.unit, in, u.faces);
    }
  }
}

}  // namespace

namespace step_detail {

void runStepPicking(SimulationState& s, const std::function<size_t(const std::vector<int>&)>& pick,
                    std::vector<double>& pressureX, std::vector<double>& frictionX,
                    std::vector<ResidualSums>& residuals) {
  StepCache& c = cacheOf(s);
  const StepPlan& plan = c.step;
  RunInputs in = stepInputs(s, c, pressureX, frictionX, residuals);
  resetRun(plan, c);
  std::vector<int> ready;
  std::vector<unsigned char> known(plan.units.size(), 0);
  for (size_t left = plan.units.size(); left > 0; --left) {
    ready.clear();
    for (size_t t = 0; t < plan.units.size(); ++t)
      if (c.state[t].load(std::memory_order_relaxed) == kOpen && unitReady(plan, c, t, known))
        ready.push_back(int(t));
    // Never empty: the first unit not run waits only for units listed
    // before it, which have all run.
    const int t = ready[pick(ready) % ready.size()];
    c.state[size_t(t)].store(kTaken, std::memory_order_relaxed);
    execute(plan, plan.units[size_t(t)], in);
    finishUnit(c, t);
  }
}

std::vector<double> timeStepUnits(SimulationState& s, std::vector<Unit>* units) {
  StepCache& c = cacheOf(s);
  std::vector<double> pressureX, frictionX;
  std::vector<ResidualSums> residuals;
  RunInputs in = stepInputs(s, c, pressureX, frictionX, residuals);
  std::vector<double> seconds;
  for (const Unit& u : c.step.units) {
    const auto t0 = std::chrono::steady_clock::now();
    execute(c.step, u, in);
    seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  if (units) *units = c.step.units;
  return seconds;
}

double handoutSeconds(SimulationState& s, int participants, int runs) {
  StepCache& c = cacheOf(s);
  std::vector<double> pressureX, frictionX;
  std::vector<ResidualSums> residuals;
  RunInputs in = stepInputs(s, c, pressureX, frictionX, residuals);
  in.handoutOnly = true;
  const auto t0 = std::chrono::steady_clock::now();
  for (int r = 0; r < runs; ++r) runPlan(c.step, c, in, participants);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() / runs;
}

}  // namespace step_detail

void runStepPhases(SimulationState& s, std::vector<double>& pressureX,
                   std::vector<double>& frictionX, std::vector<ResidualSums>& residuals) {
  StepCache& c = cacheOf(s);
  RunInputs in = stepInputs(s, c, pressureX, frictionX, residuals);
  if (const StepDistribution* d = s.stepDistribution.get()) {
    // A volume's residual sums run through its planes in order, across
    // the processes that compute them: completeParts forms them.
    in.residuals = nullptr;
    runDistributed(c.step, in, *d);
    d->completeParts(s, pressureX, frictionX, residuals);
    return;
  }
  const int team = allocatedPoints(s.volumes, s.volumeCount) >= kParallelMinPoints ? computeThreads() : 1;
  const int participants = participantsForNextRun(c.tuner, team, processorCount());
  const auto t0 = std::chrono::steady_clock::now();
  const double lostShare = runPlan(c.step, c, in, participants);
  recordRun(c.tuner, team, participants,
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), lostShare);
}

void runInitialPhases(SimulationState& s) {
  StepCache& c = cacheOf(s);
  RunInputs in{s, flowParams(s), c.lists, c.sphereFaces};
  in.ff = farFieldParams(s);
  runPlan(c.exchange, c, in, 1);
  runPlan(c.vorticity, c, in, 1);
}

void exchangeAll(SimulationState& s) {
  StepCache& c = cacheOf(s);
  RunInputs in{s, flowParams(s), c.lists, c.sphereFaces};
  in.ff = farFieldParams(s);
  runPlan(c.exchange, c, in, 1);
}

}  // namespace brelvik
