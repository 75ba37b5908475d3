#include "state/view_snapshot.h"

#include <mutex>

#include "state/simulation_state.h"

namespace brelvik {

namespace {

PassScalars scalarsOf(const SimulationState& s) {
  return {s.stepCount, s.physicalTime, s.Cx, s.Cp, s.Cf};
}

void publish(SimulationState& s, std::shared_ptr<const ViewSnapshot> snap) {
  std::lock_guard<std::mutex> lock(s.snapshotMutex);
  s.publishedScalars = snap->scalars;
  s.publishedSnapshot = std::move(snap);
}

}  // namespace

std::shared_ptr<const ViewSnapshot> captureViewSnapshot(SimulationState& s, int parts) {
  auto snap = std::make_shared<ViewSnapshot>();
  snap->parts = parts | kSnapshotBase;
  snap->volumesGeneration = s.volumesGeneration.load();
  snap->schemeOrder = s.schemeOrder;
  snap->Re = s.Re;
  snap->M = s.M;
  snap->Pr = s.Pr;
  snap->k = s.k;
  snap->scalars = scalarsOf(s);
  if (parts & kSnapshotRanges) {
    for (int f = 0; f < kLegendFieldCount; ++f)
      snap->ranges[size_t(f)] = domainRange(s, static_cast<LegendField>(f));
  }
  if (parts & kSnapshotVelocity) {
    const size_t count = s.volumes.size();
    snap->uGlob.resize(count);
    snap->vGlob.resize(count);
    snap->wGlob.resize(count);
    for (size_t n = 0; n < count; ++n) {
      snap->uGlob[n] = s.volumes[n].u_glob;
      snap->vGlob[n] = s.volumes[n].v_glob;
      snap->wGlob[n] = s.volumes[n].w_glob;
    }
  }
  if (parts & kSnapshotHistory) {
    std::lock_guard<std::mutex> lock(s.seriesMutex);
    snap->historyTime = s.historyTime.data;
    snap->historyCx = s.historyCx.data;
  }
  return snap;
}

void publishAfterPass(SimulationState& s) {
  const int parts = s.snapshotWanted.exchange(0);
  if (parts != 0) {
    publish(s, captureViewSnapshot(s, parts));
    return;
  }
  std::lock_guard<std::mutex> lock(s.snapshotMutex);
  s.publishedScalars = scalarsOf(s);
}

std::shared_ptr<const ViewSnapshot> currentViewSnapshot(SimulationState& s, int parts) {
  {
    std::unique_lock<std::mutex> pass(s.passMutex, std::try_to_lock);
    if (pass.owns_lock()) {
      auto snap = captureViewSnapshot(s, parts);
      publish(s, snap);
      return snap;
    }
  }
  // Bits accumulate until the solver takes them, so a request is not lost
  // to a later one that asks for less.
  s.snapshotWanted.fetch_or(parts | kSnapshotBase);
  std::lock_guard<std::mutex> lock(s.snapshotMutex);
  if (!s.publishedSnapshot) s.publishedSnapshot = std::make_shared<const ViewSnapshot>();
  return s.publishedSnapshot;
}

PassScalars currentPassScalars(SimulationState& s) {
  {
    std::unique_lock<std::mutex> pass(s.passMutex, std::try_to_lock);
    if (pass.owns_lock()) return scalarsOf(s);
  }
  std::lock_guard<std::mutex> lock(s.snapshotMutex);
  return s.publishedScalars;
}

}  // namespace brelvik
