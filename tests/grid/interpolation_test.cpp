#include "grid/interpolation.h"

#include "core_error_print.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <map>
#include <tuple>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#ifdef _OPENMP
#include <omp.h>
#endif

#include "grid/geometry.h"
#include "state/simulation_state.h"

using namespace brelvik;
using namespace std::chrono_literals;

namespace {

DomainInputs defaultInputs() {
  DomainInputs in;
  in.D = toSingle(15);
  in.s = toSingle(0.02);
  return in;
}

template <class Pred>
bool eventually(Pred pred, std::chrono::milliseconds limit = 60s) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(200us);
  }
  return true;
}

// Every stencil of a state, for bitwise comparison.
struct Stencils {
  std::vector<int> points;
  std::vector<double> weights;
  std::vector<int> ready;
  bool operator==(const Stencils& o) const {
    return points == o.points && ready == o.ready && weights.size() == o.weights.size() &&
           std::memcmp(weights.data(), o.weights.data(), weights.size() * sizeof(double)) == 0;
  }
};

Stencils collect(const SimulationState& s) {
  Stencils out;
  for (int v = 0; v < s.volumeCount; ++v) {
    const FiniteVolume& V = s.volumes[v];
    for (int n = 0; n < int(V.type_point.size()); ++n) {
      if (V.type_point[n] <= kPointBoundary) continue;
      const InterpolEntry& e = V.interpol_data[n];
      out.ready.push_back(e.ready);
      if (!e.ready) continue;
      out.points.insert(out.points.end(), e.donor_points.get(), e.donor_points.get() + 10);
      out.weights.insert(out.weights.end(), e.weights.get(), e.weights.get() + 10);
    }
  }
  return out;
}

// The stencils of a fresh synchronous run on a grid built from `in`.
const Stencils& reference(const DomainInputs& in) {
  static std::map<std::tuple<double, double, int, int, int>, Stencils> cache;
  auto key = std::make_tuple(in.D, in.s, in.nx, in.ny, in.nz);
  auto it = cache.find(key);
  if (it == cache.end()) {
    SimulationState s;
    CoreError error;
    EXPECT_TRUE(createDomain(s, in, &error)) << error;
    EXPECT_TRUE(runInterpolation(s, nullptr, &error)) << error;
    it = cache.emplace(key, collect(s)).first;
  }
  return it->second;
}

// Records the run states and progress counts the GUI would show.
constexpr RunState kRunning = RunState::kRunning;  // the button reads "стоп"
constexpr RunState kIdle = RunState::kIdle;        // the button reads "старт"

struct Recorder {
  std::mutex m;
  std::vector<RunState> captions;
  std::vector<int> progress;
  void attach(SimulationState& s) {
    s.setInterpolCallbacks(
        [this](int n) {
          std::lock_guard<std::mutex> l(m);
          progress.push_back(n);
        },
        [this](RunState c) {
          std::lock_guard<std::mutex> l(m);
          captions.push_back(c);
        });
  }
  std::vector<RunState> captionsNow() {
    std::lock_guard<std::mutex> l(m);
    return captions;
  }
};

}  // namespace

TEST(Interpolation, EveryPointGetsAQuadraticallyExactStencil) {
  SimulationState s;
  CoreError error;
  ASSERT_TRUE(createDomain(s, defaultInputs(), &error)) << error;
  std::vector<std::pair<int, int>> calls;
  ASSERT_TRUE(runInterpolation(s, [&](int done, int total) { calls.push_back({done, total}); }, &error)) << error;
  EXPECT_EQ(s.interpolProcessed.load(), s.interpolTotal.load());
  EXPECT_EQ(s.interpolationReady.load(), 1);
  EXPECT_EQ(s.interpolFailedCount.load(), 0);
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.back().first, s.interpolTotal.load());
  for (size_t c = 1; c < calls.size(); ++c) EXPECT_GT(calls[c].first, calls[c - 1].first);

  int points = 0;
  double worstSum = 0, worstQuad = 0;
  for (const FiniteVolume& V : s.volumes)
    for (int n = 0; n < int(V.type_point.size()); ++n) {
      if (V.type_point[n] != kPointInterpolated) continue;
      const InterpolEntry& e = V.interpol_data[n];
      ASSERT_EQ(e.ready, 1);
      const FiniteVolume& D = s.volumes[e.donor];
      std::set<int> distinct(e.donor_points.get(), e.donor_points.get() + 10);
      ASSERT_EQ(distinct.size(), 10u);
      double sum = 0;
      for (int m = 0; m < 10; ++m) {
        const int p = e.donor_points[m];
        ASSERT_TRUE(D.type_point[p] == kPointComputed || D.type_point[p] == kPointReserved);
        ASSERT_GE(e.weights[m], -0.15);
        sum += e.weights[m];
      }
      worstSum = std::max(worstSum, std::fabs(sum - 1));
      // Any quadratic of the donor's grid coordinates is reproduced at the
      // target.
      const Vec3 t = globalToGrid(D, {V.point_glob[3 * n], V.point_glob[3 * n + 1], V.point_glob[3 * n + 2]}, D.kind);
      const auto f = [](double x, double y, double z) {
        return 0.7 - 0.3 * x + 1.1 * y + 0.4 * z + 0.05 * x * x - 0.6 * x * y + 0.2 * x * z + 0.9 * y * y -
               0.8 * y * z + 1.3 * z * z;
      };
      double value = 0;
      for (int m = 0; m < 10; ++m) {
        const double* loc = &D.point_loc[3 * size_t(e.donor_points[m])];
        value += e.weights[m] * f(loc[0], loc[1], loc[2]);
      }
      worstQuad = std::max(worstQuad, std::fabs(value - f(t[0], t[1], t[2])) / (1 + std::fabs(f(t[0], t[1], t[2]))));
      ++points;
    }
  EXPECT_EQ(points, s.interpolTotal.load());
  EXPECT_LT(worstSum, 1e-12);
  EXPECT_LT(worstQuad, 1e-10);
}

TEST(Interpolation, ResultsDoNotDependOnTheThreadCount) {
#ifdef _OPENMP
  const int saved = omp_get_max_threads();
  omp_set_num_threads(1);
  SimulationState one;
  CoreError error;
  ASSERT_TRUE(createDomain(one, defaultInputs(), &error));
  ASSERT_TRUE(runInterpolation(one, nullptr, &error)) << error;
  omp_set_num_threads(std::max(2, saved));
  SimulationState many;
  ASSERT_TRUE(createDomain(many, defaultInputs(), &error));
  ASSERT_TRUE(runInterpolation(many, nullptr, &error)) << error;
  omp_set_num_threads(saved);
  EXPECT_TRUE(collect(one) == collect(many));
#else
  GTEST_SKIP() << "built without OpenMP";
#endif
}

TEST(Interpolation, PointsWithoutAdmissibleStencilAreReportedNotRetried) {
  SimulationState s;
  CoreError error;
  ASSERT_TRUE(createDomain(s, defaultInputs(), &error));
  // Volume 2 offers no candidate points at all.
  for (int& t : s.volumes[2].type_point)
    if (t == kPointComputed) t = kPointBoundary;
  int expectedFailures = 0, firstVolume = -1, firstPoint = -1;
  for (int v = 0; v < 6; ++v)
    for (int n = 0; n < int(s.volumes[v].type_point.size()); ++n)
      if (s.volumes[v].type_point[n] == kPointInterpolated && s.volumes[v].interpol_data[n].donor == 2) {
        ++expectedFailures;
        if (firstVolume < 0) firstVolume = v, firstPoint = n;
      }
  ASSERT_GT(expectedFailures, 0);
  EXPECT_FALSE(runInterpolation(s, nullptr, &error));
  EXPECT_EQ(error.code, ErrorCode::kStencilsMissing) << error;
  EXPECT_EQ(error.figures[0], expectedFailures);
  EXPECT_EQ(error.figures[1], firstVolume);
  EXPECT_EQ(error.figures[2], firstPoint);
  EXPECT_EQ(s.interpolFailedCount.load(), expectedFailures);
  EXPECT_EQ(s.interpolFailedVolume, firstVolume);
  EXPECT_EQ(s.interpolFailedPoint, firstPoint);
  EXPECT_EQ(s.interpolProcessed.load(), s.interpolTotal.load() - expectedFailures);
  EXPECT_EQ(s.interpolationReady.load(), 0);
  EXPECT_EQ(s.volumes[firstVolume].interpol_data[firstPoint].ready, 0);
}

TEST(InterpolationThread, FailedPointsEndTheRunWithoutReadiness) {
  SimulationState s;
  Recorder rec;
  rec.attach(s);
  CoreError error;
  ASSERT_TRUE(createDomain(s, defaultInputs(), &error));
  for (int& t : s.volumes[4].type_point)
    if (t == kPointComputed) t = kPointInactive;
  toggleInterpolation(s);
  ASSERT_TRUE(eventually([&] { return s.interpolRunning.load() == 0 && s.interpolThread.parked(); }));
  const int failures = s.interpolFailedCount.load();
  EXPECT_GT(failures, 0);
  EXPECT_EQ(s.interpolationReady.load(), 0);
  EXPECT_EQ(s.interpolProcessed.load() + failures, s.interpolTotal.load());
  EXPECT_EQ(rec.captionsNow().back(), kIdle);
  // Another start does not try the failed points again.
  toggleInterpolation(s);
  ASSERT_TRUE(eventually([&] { return s.interpolRunning.load() == 0 && s.interpolThread.parked(); }));
  EXPECT_EQ(s.interpolFailedCount.load(), failures);
  EXPECT_EQ(s.interpolationReady.load(), 0);
}

namespace {

// The thread has set readiness and suspended itself.
bool finishedAndParked(SimulationState& s) {
  return eventually([&] { return s.interpolationReady.load() == 1 && s.interpolThread.parked(); });
}

// Starts the thread and presses "стоп" from inside the run, right after the
// first chunk has reported its progress; true once the thread has parked.
bool startAndPauseAfterFirstChunk(SimulationState& s) {
  auto reports = std::make_shared<std::atomic<int>>(0);
  s.setInterpolCallbacks(
      [&s, reports](int) {
        if (reports->fetch_add(1) == 0) {
          s.interpolRunning = 0;
          s.interpolThread.requestPause();
        }
      },
      nullptr);
  toggleInterpolation(s);
  return eventually([&] { return reports->load() >= 1 && s.interpolThread.parked(); });
}

}  // namespace

TEST(InterpolationThread, StartBeforeCreateFinishesAtOnce) {
  SimulationState s;
  Recorder rec;
  rec.attach(s);
  toggleInterpolation(s);
  ASSERT_TRUE(finishedAndParked(s));
  EXPECT_EQ(s.interpolRunning.load(), 0);
  EXPECT_EQ(rec.captionsNow(), (std::vector<RunState>{kRunning, kIdle}));
}

TEST(InterpolationThread, PausedAndResumedRunGivesTheUninterruptedResult) {
  SimulationState s;
  Recorder rec;
  CoreError error;
  ASSERT_TRUE(createDomain(s, defaultInputs(), &error));
  // Press "стоп" from inside the run, right after the first chunk: the
  // thread must park before the next one.
  ASSERT_TRUE(startAndPauseAfterFirstChunk(s));
  const int paused = s.interpolProcessed.load();
  EXPECT_GT(paused, 0);
  EXPECT_LT(paused, s.interpolTotal.load());
  EXPECT_EQ(s.interpolationReady.load(), 0);
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(s.interpolProcessed.load(), paused);  // really paused

  rec.attach(s);
  toggleInterpolation(s);  // resume
  ASSERT_TRUE(finishedAndParked(s));
  EXPECT_EQ(s.interpolProcessed.load(), s.interpolTotal.load());
  EXPECT_EQ(s.interpolRunning.load(), 0);
  EXPECT_EQ(rec.captionsNow(), (std::vector<RunState>{kRunning, kIdle}));
  EXPECT_TRUE(collect(s) == reference(defaultInputs()));
}

TEST(InterpolationThread, SecondStartAfterCompletionRunsOneEmptyPass) {
  SimulationState s;
  Recorder rec;
  rec.attach(s);
  CoreError error;
  ASSERT_TRUE(createDomain(s, defaultInputs(), &error));
  toggleInterpolation(s);
  ASSERT_TRUE(finishedAndParked(s));
  const Stencils first = collect(s);
  size_t progressCalls;
  {
    std::lock_guard<std::mutex> l(rec.m);
    progressCalls = rec.progress.size();
    EXPECT_EQ(rec.progress.back(), s.interpolTotal.load());
  }
  toggleInterpolation(s);
  ASSERT_TRUE(eventually([&] { return rec.captionsNow().size() == 4 && s.interpolThread.parked(); }));
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(rec.captionsNow(), (std::vector<RunState>{kRunning, kIdle, kRunning, kIdle}));
  {
    std::lock_guard<std::mutex> l(rec.m);
    EXPECT_EQ(rec.progress.size(), progressCalls);  // nothing was recomputed
  }
  EXPECT_EQ(s.interpolationReady.load(), 1);
  EXPECT_EQ(s.interpolProcessed.load(), s.interpolTotal.load());
  EXPECT_EQ(s.interpolThread.createCount(), 1u);
  EXPECT_TRUE(collect(s) == first);
}

TEST(InterpolationThread, CreateWhilePausedRestartsOnTheNewGrid) {
  SimulationState s;
  CoreError error;
  ASSERT_TRUE(createDomain(s, defaultInputs(), &error));
  ASSERT_TRUE(startAndPauseAfterFirstChunk(s));
  ASSERT_LT(s.interpolProcessed.load(), s.interpolTotal.load());

  DomainInputs other = defaultInputs();
  other.nx = 9, other.ny = 8, other.nz = 10;
  ASSERT_TRUE(createDomain(s, other, &error)) << error;
  EXPECT_EQ(s.interpolProcessed.load(), 0);
  toggleInterpolation(s);
  ASSERT_TRUE(finishedAndParked(s));
  EXPECT_EQ(s.interpolProcessed.load(), s.interpolTotal.load());
  EXPECT_TRUE(collect(s) == reference(other));
}

TEST(InterpolationThread, StopButtonPausesARunningThread) {
  SimulationState s;
  Recorder rec;
  rec.attach(s);
  CoreError error;
  DomainInputs in = defaultInputs();
  in.s = toSingle(0.01);
  in.nx = 38, in.ny = 24, in.nz = 24;  // long enough to be caught running
  ASSERT_TRUE(createDomain(s, in, &error));
  toggleInterpolation(s);
  EXPECT_EQ(s.interpolRunning.load(), 1);
  toggleInterpolation(s);
  EXPECT_EQ(s.interpolRunning.load(), 0);
  EXPECT_EQ(rec.captionsNow(), (std::vector<RunState>{kRunning, kIdle}));
  ASSERT_TRUE(eventually([&] { return s.interpolThread.parked(); }));
  const int at = s.interpolProcessed.load();
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(s.interpolProcessed.load(), at);
  EXPECT_EQ(s.interpolationReady.load(), at == s.interpolTotal.load() ? 1 : 0);
}

TEST(InterpolationThread, SynchronousRunWhilePausedIsNotCountedTwice) {
  SimulationState s;
  CoreError error;
  ASSERT_TRUE(createDomain(s, defaultInputs(), &error));
  ASSERT_TRUE(startAndPauseAfterFirstChunk(s));
  ASSERT_LT(s.interpolProcessed.load(), s.interpolTotal.load());
  ASSERT_TRUE(runInterpolation(s, nullptr, &error)) << error;
  EXPECT_EQ(s.interpolProcessed.load(), s.interpolTotal.load());
  // The paused pass resumes over points that are ready by now.
  toggleInterpolation(s);
  ASSERT_TRUE(eventually([&] { return s.interpolRunning.load() == 0 && s.interpolThread.parked(); }));
  EXPECT_EQ(s.interpolProcessed.load(), s.interpolTotal.load());
  EXPECT_EQ(s.interpolationReady.load(), 1);
  EXPECT_TRUE(collect(s) == reference(defaultInputs()));
}
