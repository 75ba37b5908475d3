#include "post/streamlines.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <vector>

#include "post/post_stencil.h"

namespace brelvik {

namespace {

// Points between two repaint requests while a line grows.
constexpr int kRepaintEvery = 20;
// Heun step in the dimensionless time, and its half for the trapezoidal sum.
constexpr double kStep = 0.1;
constexpr double kHalfStep = 0.05;

bool interpolateVelocity(const SimulationState& s, const Vec3& P, Vec3& out,
                         PostStencilSearch& search) {
  if (s.volumeCount <= 0) return false;
  const int donor = findDonorVolume(s, P);
  if (donor < 0) return false;
  const FiniteVolume& vol = s.volumes[static_cast<size_t>(donor)];
  std::array<int, 10> stencil;
  std::array<double, 10> weights;
  if (!search.find(vol, P, stencil, weights)) return false;
  double u = 0, v = 0, w = 0;
  for (int m = 0; m < 10; ++m) {
    const size_t p = static_cast<size_t>(stencil[m]);
    u += weights[m] * vol.u_glob[p];
    v += weights[m] * vol.v_glob[p];
    w += weights[m] * vol.w_glob[p];
  }
  out = {u, v, w};
  return true;
}

enum class RunEnd { kCompleted, kRestart, kShutdown };

// One run over all seeds. `thread` is the worker running it (null for a
// synchronous trace): before every point the run parks there while a pause is
// requested, and it gives up when the volumes were replaced meanwhile.
class LineTracer {
 public:
  LineTracer(SimulationState& s, WorkerThread* thread) : s_(s), thread_(thread) {}

  RunEnd run() {
    generation_ = s_.volumesGeneration.load();
    std::vector<Vec3> seeds;
    {
      std::lock_guard<std::mutex> lock(s_.seriesMutex);
      const int S = std::min({s_.seedX.size(), s_.seedY.size(), s_.seedZ.size()});
      seeds.reserve(static_cast<size_t>(S));
      for (int n = 0; n < S; ++n) seeds.push_back({s_.seedX.item(n), s_.seedY.item(n), s_.seedZ.item(n)});
      s_.currentLine = 0;
      s_.currentLinePoints = 0;
      s_.lineX.resize(S, 1);
      s_.lineY.resize(S, 1);
      s_.lineZ.resize(S, 1);
    }
    const int S = static_cast<int>(seeds.size());
    for (int n = 0; n < S; ++n) {
      const Vec3 seed = seeds[static_cast<size_t>(n)];
      {
        std::lock_guard<std::mutex> lock(s_.seriesMutex);
        s_.currentLine = n;
        s_.lineX.row(n).resize(1);
        s_.lineY.row(n).resize(1);
        s_.lineZ.row(n).resize(1);
        s_.lineX.row(n).item(0) = seed[0];
        s_.lineY.row(n).item(0) = seed[1];
        s_.lineZ.row(n).item(0) = seed[2];
        s_.currentLinePoints = 1;
      }
      RunEnd end;
      if (!tracePhase(n, seed, -1.0, end)) return end;
      {
        std::lock_guard<std::mutex> lock(s_.seriesMutex);
        for (ValueTable* t : {&s_.lineX, &s_.lineY, &s_.lineZ}) {
          auto& data = t->row(n).data;
          std::reverse(data.begin(), data.end());
        }
      }
      if (!tracePhase(n, seed, 1.0, end)) return end;
    }
    {
      std::lock_guard<std::mutex> lock(s_.seriesMutex);
      s_.currentLine = S - 1;
    }
    return RunEnd::kCompleted;
  }

 private:
  // Parks while a pause is requested. False when the run must end: the
  // thread shuts down, or the volumes it traces in were replaced.
  bool pausePoint(RunEnd& end) {
    if (!thread_) return true;
    if (!thread_->checkpoint()) {
      end = RunEnd::kShutdown;
      return false;
    }
    if (s_.volumesGeneration.load() != generation_) {
      end = RunEnd::kRestart;
      return false;
    }
    return true;
  }

  // One phase from `start` with the step sign*0.1; appends to row n.
  bool tracePhase(int n, const Vec3& start, double sign, RunEnd& end) {
    Vec3 P = start;
    int sinceRepaint = 0;
    do {
      if (!pausePoint(end)) return false;
      Vec3 k1, k2;
      if (!interpolateVelocity(s_, P, k1, search_)) break;
      const Vec3 predictor{P[0] + sign * kStep * k1[0], P[1] + sign * kStep * k1[1],
                           P[2] + sign * kStep * k1[2]};
      if (!interpolateVelocity(s_, predictor, k2, search_)) break;
      for (int c = 0; c < 3; ++c) P[c] = P[c] + sign * kHalfStep * (k1[c] + k2[c]);
      {
        std::lock_guard<std::mutex> lock(s_.seriesMutex);
        s_.lineX.row(n).append();
        s_.lineY.row(n).append();
        s_.lineZ.row(n).append();
        const int last = s_.lineX.row(n).size() - 1;
        s_.lineX.row(n).item(last) = P[0];
        s_.lineY.row(n).item(last) = P[1];
        s_.lineZ.row(n).item(last) = P[2];
        s_.currentLinePoints = s_.currentLinePoints.load() + 1;
      }
      if (++sinceRepaint >= kRepaintEvery) {
        s_.requestRepaint();
        sinceRepaint = 0;
      }
    } while (s_.currentLinePoints.load() < s_.streamlinePointCount.load() / 2);
    return true;
  }

  SimulationState& s_;
  WorkerThread* thread_;
  int generation_ = 0;
  PostStencilSearch search_;
};

void flowLineBody(SimulationState& s, WorkerThread& thread) {
  for (;;) {
    LineTracer tracer(s, &thread);
    const RunEnd end = tracer.run();
    if (end == RunEnd::kShutdown) return;
    if (end == RunEnd::kRestart) continue;  // resumed on new volumes: trace again
    // The ticket is read before the run is reported finished, so a start
    // that comes after this point begins a new run instead of being lost.
    const uint64_t ticket = thread.ticket();
    s.flowLineRunning = 0;
    s.reportFlowLineRun(RunState::kIdle);
    s.requestRepaint();
    if (!thread.suspendSelf(ticket)) return;
  }
}

}  // namespace

void appendSeed(SimulationState& s, const Vec3& p) {
  std::lock_guard<std::mutex> lock(s.seriesMutex);
  s.seedX.append();
  s.seedY.append();
  s.seedZ.append();
  s.seedX.item(s.seedX.size() - 1) = p[0];
  s.seedY.item(s.seedY.size() - 1) = p[1];
  s.seedZ.item(s.seedZ.size() - 1) = p[2];
}

std::vector<Vec3> circleSeeds(double x0, double y0, double z0, double r, int n) {
  std::vector<Vec3> seeds;
  if (n <= 0) return seeds;
  const double a = 6.28318530717958 / n;
  for (int i = 1; i <= n; ++i) {
    const double theta = i * a + a / 2;
    seeds.push_back({x0, y0 + r * std::cos(theta), z0 + r * std::sin(theta)});
  }
  return seeds;
}

int appendCircleSeeds(SimulationState& s, double x0, double y0, double z0, double r, int n) {
  const std::vector<Vec3> seeds = circleSeeds(x0, y0, z0, r, n);
  for (const Vec3& p : seeds) appendSeed(s, p);
  return static_cast<int>(seeds.size());
}

void startFlowLines(SimulationState& s) {
  if (!s.flowLineThread.created())
    s.flowLineThread.setBody([&s](WorkerThread& t) { flowLineBody(s, t); });
  s.flowLineRunning = 1;
  s.flowLineThread.start();
}

void stopFlowLines(SimulationState& s) {
  s.flowLineRunning = 0;
  s.flowLineThread.requestPause();
}

bool velocityAt(const SimulationState& s, const Vec3& P, Vec3& out) {
  // A fresh search: nothing kept about volumes that a later Create or Open
  // could replace. (A streamline run keeps one search for the whole run.)
  PostStencilSearch search;
  return interpolateVelocity(s, P, out, search);
}

bool velocityAt(const SimulationState& s, const Vec3& P, Vec3& out, PostStencilSearch& search) {
  return interpolateVelocity(s, P, out, search);
}

void traceFlowLines(SimulationState& s) {
  LineTracer tracer(s, nullptr);
  tracer.run();
  s.flowLineRunning = 0;
}

bool writeStreamlines(SimulationState& s, const std::string& path, CoreError* error) {
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (!f) return failFile(error, ErrorCode::kFileUnwritable, path);
  bool ok = true;
  {
    std::lock_guard<std::mutex> lock(s.seriesMutex);
    const int lines = std::min({s.lineX.rowCount(), s.lineY.rowCount(), s.lineZ.rowCount(),
                                s.currentLine.load() + 1});
    for (int m = 0; m < lines && ok; ++m) {
      const int points =
          std::min({s.lineX.row(m).size(), s.lineY.row(m).size(), s.lineZ.row(m).size()});
      for (int p = 0; p < points && ok; ++p)
        ok = std::fprintf(f, "%d %.17g %.17g %.17g\n", m, s.lineX.row(m).item(p),
                          s.lineY.row(m).item(p), s.lineZ.row(m).item(p)) > 0;
    }
  }
  if (std::fclose(f) != 0) ok = false;
  if (!ok) return failFile(error, ErrorCode::kFileUnwritable, path);
  return true;
}

}  // namespace brelvik
