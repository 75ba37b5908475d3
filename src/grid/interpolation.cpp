#include "grid/interpolation.h"

#include <memory>
#include <mutex>
#include <vector>

#include "grid/geometry.h"
#include "state/work_team.h"

namespace brelvik {

namespace {

// Points per chunk: the unit between two pause checks and progress updates
// (a few milliseconds of work). The points of a chunk are shared out one by
// one to the participants of the thread's work team, so a descheduled
// participant holds up at most the point it is on.
constexpr int kChunk = 2048;

enum class PassStatus { Done, Restart, Shutdown };
enum PointOutcome : char { kFailed = 0, kDone = 1, kSkipped = 2 };

// What one run of passes keeps between chunks and passes.
struct InterpolationRun {
  int generation = -1;
  std::vector<std::vector<char>> failed;  // per volume, per point: no stencil exists
  std::vector<DonorLattice> lattices;     // per volume
  std::vector<StencilWorkspace> workspaces;  // per participant of the work team
};

// Makes the run match the current volumes (after Create or Open).
void adoptVolumes(SimulationState& s, InterpolationRun& run) {
  const int gen = s.volumesGeneration.load();
  if (gen != run.generation) {
    run.generation = gen;
    run.failed.assign(size_t(s.volumeCount), {});
  }
  run.lattices.assign(size_t(s.volumeCount), {});
  for (int v = 0; v < s.volumeCount; ++v)
    if (s.volumes[v].allocated) buildDonorLattice(s.volumes[v], run.lattices[v]);
  run.workspaces.resize(size_t(computeThreads()));
}

// The stencils of V's interpolated points that are not ready yet.
// `checkpoint` runs between chunks; it returns false on shutdown.
PassStatus processVolume(SimulationState& s, int v, InterpolationRun& run,
                         const std::function<bool()>& checkpoint,
                         const std::function<void(int)>& progress) {
  FiniteVolume& V = s.volumes[v];
  std::vector<char>& failed = run.failed[v];
  failed.resize(V.type_point.size(), 0);
  std::vector<int> todo;
  for (int n = 0; n < int(V.type_point.size()); ++n)
    if (V.type_point[n] > kPointBoundary && !V.interpol_data[n].ready && !failed[n]) todo.push_back(n);

  std::vector<char> ok(kChunk);
  for (size_t start = 0; start < todo.size(); start += kChunk) {
    if (checkpoint && !checkpoint()) return PassStatus::Shutdown;
    // Create or Open ran while we were paused: everything above is stale.
    if (s.volumesGeneration.load() != run.generation) return PassStatus::Restart;
    const int count = int(std::min(todo.size() - start, size_t(kChunk)));
    int done = 0, failures = 0, firstFailure = -1;
    {
      // Save reads the entries under the same lock.
      std::lock_guard<std::mutex> lock(s.passMutex);
      if (run.workspaces.size() < size_t(computeThreads()))
        run.workspaces.resize(size_t(computeThreads()));
      forEachUnit(count, [&](int c, int participant) {
        const int n = todo[start + size_t(c)];
        // Done meanwhile by a synchronous run while this pass was paused.
        if (V.interpol_data[n].ready) {
          ok[c] = kSkipped;
          return;
        }
        const int d = V.interpol_data[n].donor;
        bool found = false;
        if (d >= 0 && d < s.volumeCount && d != v && s.volumes[d].allocated) {
          const int i = n / V.stride_i, j = (n % V.stride_i) / V.stride_j, k = n % V.stride_j;
          found = computeStencil(run.lattices[d], V, i, j, k, run.workspaces[size_t(participant)]);
        }
        ok[c] = found ? kDone : kFailed;
      });
      // The solver's receiver lists follow the entries made ready here.
      s.interpolationGeneration.fetch_add(1);
      for (int c = 0; c < count; ++c) {
        if (ok[c] == kSkipped) continue;
        if (ok[c] == kDone) {
          ++done;
        } else {
          ++failures;
          const int n = todo[start + size_t(c)];
          failed[n] = 1;
          if (firstFailure < 0) firstFailure = n;
        }
      }
      if (failures) {
        if (s.interpolFailedCount.load() == 0) {
          s.interpolFailedVolume = v;
          s.interpolFailedPoint = firstFailure;
        }
        s.interpolFailedCount.fetch_add(failures);
      }
    }
    const int processed = s.interpolProcessed.fetch_add(done) + done;
    if (progress) progress(processed);
  }
  return PassStatus::Done;
}

// One pass over every volume (the volume count is re-read each time).
PassStatus interpolationPass(SimulationState& s, InterpolationRun& run,
                             const std::function<bool()>& checkpoint,
                             const std::function<void(int)>& progress) {
  adoptVolumes(s, run);
  for (int v = 0; v < s.volumeCount; ++v) {
    if (!s.volumes[v].allocated) continue;
    const PassStatus st = processVolume(s, v, run, checkpoint, progress);
    if (st != PassStatus::Done) return st;
  }
  return PassStatus::Done;
}

}  // namespace

bool computeStencil(const DonorLattice& donor, FiniteVolume& V, int i, int j, int k,
                    StencilWorkspace& ws) {
  const int n = pointIndex(V, i, j, k);
  InterpolEntry& e = V.interpol_data[n];
  const FiniteVolume& D = *donor.volume;
  const Vec3 X = {V.point_glob[3 * size_t(n)], V.point_glob[3 * size_t(n) + 1], V.point_glob[3 * size_t(n) + 2]};
  const Vec3 t = globalToGrid(D, X, D.kind);
  const int S = V.stencil_size;
  if (S < 1 || S > kMaxBasisSize) return false;
  auto points = std::make_unique<int[]>(size_t(S));
  auto weights = std::make_unique<double[]>(size_t(S));
  const StencilResult r =
      findStencil(donor, t, S, V.poly_degree, interpolationRules(V.type_point[n]), ws, points.get(), weights.get());
  if (!r.found) return false;
  e.donor_points = std::move(points);
  e.weights = std::move(weights);
  e.ready = 1;
  return true;
}

void interpolationLoop(SimulationState& s, WorkerThread& self) {
  InterpolationRun run;
  uint64_t seen = 0;
  // A start that resumes a pause (or arrives while the pass is still going)
  // is served by the pass in progress; only a start after the last chunk
  // asks for another pass.
  const auto checkpoint = [&self, &seen] {
    const bool alive = self.checkpoint();
    seen = self.ticket();
    return alive;
  };
  const auto progress = [&s](int processed) { s.reportInterpolProgress(processed); };
  while (true) {
    seen = self.ticket();
    if (!self.checkpoint()) return;
    const PassStatus st = interpolationPass(s, run, checkpoint, progress);
    if (st == PassStatus::Shutdown) return;
    if (st == PassStatus::Restart) continue;
    // Every point is now ready or has no stencil.
    if (s.interpolProcessed.load() == s.interpolTotal.load()) s.interpolationReady = 1;
    s.interpolRunning = 0;
    s.reportInterpolRun(RunState::kIdle);
    if (!self.suspendSelf(seen)) return;
  }
}

void toggleInterpolation(SimulationState& s) {
  if (s.interpolRunning.load() == 1) {
    s.interpolRunning = 0;
    s.interpolThread.requestPause();
    s.reportInterpolRun(RunState::kIdle);
    return;
  }
  if (!s.interpolThread.created())
    s.interpolThread.setBody([&s](WorkerThread& self) { interpolationLoop(s, self); });
  // Flag and running state before the thread runs, so that a run that ends
  // at once is not followed by a stale "running".
  s.interpolRunning = 1;
  s.reportInterpolRun(RunState::kRunning);
  s.interpolThread.start();
}

bool runInterpolation(SimulationState& s, std::function<void(int, int)> progress, CoreError* error) {
  if (s.interpolRunning.exchange(0)) s.reportInterpolRun(RunState::kIdle);
  s.interpolThread.pauseAndWait();
  InterpolationRun run;
  const auto report = [&](int processed) {
    if (progress) progress(processed, s.interpolTotal.load());
  };
  while (interpolationPass(s, run, nullptr, report) == PassStatus::Restart) {
  }
  if (s.interpolProcessed.load() == s.interpolTotal.load()) {
    s.interpolationReady = 1;
    return true;
  }
  if (s.interpolFailedCount.load() > 0)
    return fail(error, ErrorCode::kStencilsMissing, InputField::kNone,
                {s.interpolFailedCount.load(), s.interpolFailedVolume, s.interpolFailedPoint});
  return fail(error, ErrorCode::kInterpolationIncomplete, InputField::kNone,
              {s.interpolProcessed.load(), s.interpolTotal.load(), 0});
}

}  // namespace brelvik
