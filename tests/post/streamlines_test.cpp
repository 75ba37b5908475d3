#include "post/streamlines.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "literal_post_stencil.h"
#include "post_fixture.h"

namespace brelvik {
namespace {

using testing::makeDomain;
using testing::setFlow;
using testing::setUniformFlow;

template <class Pred>
bool waitFor(Pred pred, double seconds = 30) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// The run has ended (or paused) and the thread sits parked.
bool waitParkedIdle(SimulationState& s) {
  return waitFor([&] { return s.flowLineRunning.load() == 0 && s.flowLineThread.parked(); });
}

void addSeed(SimulationState& s, const Vec3& p) { appendSeed(s, p); }

std::vector<Vec3> tracedLine(SimulationState& s, int m) {
  std::lock_guard<std::mutex> lock(s.seriesMutex);
  std::vector<Vec3> line;
  for (int p = 0; p < s.lineX.row(m).size(); ++p)
    line.push_back({s.lineX.row(m).item(p), s.lineY.row(m).item(p), s.lineZ.row(m).item(p)});
  return line;
}

// The line traced point by point with the public velocityAt (a fresh fast
// search per evaluation), for comparisons in the thread tests where the
// plain search would be slow under the thread sanitizer.
std::vector<Vec3> referenceLine(const SimulationState& s, const Vec3& seed, int budget) {
  return literal::traceLineWith(s, seed, budget,
                                [](const SimulationState& st, const Vec3& p, Vec3& out) {
                                  return velocityAt(st, p, out);
                                });
}

bool sameBits(const std::vector<Vec3>& a, const std::vector<Vec3>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(Vec3)) == 0;
}

// Records the run states the thread reports (the dialog's button reads
// "Старт" for kIdle).
struct CaptionLog {
  std::mutex mutex;
  std::vector<RunState> captions;
  void attach(SimulationState& s) {
    s.setFlowLineRunCallback([this](RunState state) {
      std::lock_guard<std::mutex> lock(mutex);
      captions.push_back(state);
    });
  }
  std::vector<RunState> get() {
    std::lock_guard<std::mutex> lock(mutex);
    return captions;
  }
};

TEST(Streamlines, CircleSeedsStartHalfAStepPastTheFirstAngle) {
  SimulationState s;
  appendSeed(s, {1, 2.5, -3});
  EXPECT_EQ(appendCircleSeeds(s, 0, 0, 0, 1, 0), 0);
  EXPECT_EQ(appendCircleSeeds(s, 0, 0, 0, 1, 4), 4);
  ASSERT_EQ(s.seedX.size(), 5);
  ASSERT_EQ(s.seedY.size(), 5);
  ASSERT_EQ(s.seedZ.size(), 5);
  const double h = std::sqrt(0.5);
  const double expected[4][2] = {{-h, h}, {-h, -h}, {h, -h}, {h, h}};  // 3pi/4 ... 9pi/4
  for (int n = 0; n < 4; ++n) {
    EXPECT_EQ(s.seedX.item(n + 1), 0.0);
    EXPECT_NEAR(s.seedY.item(n + 1), expected[n][0], 1e-12) << n;
    EXPECT_NEAR(s.seedZ.item(n + 1), expected[n][1], 1e-12) << n;
  }
  appendCircleSeeds(s, 2, 1, -1, 0.5, 3);  // shifted centre, another count
  const double a = 6.28318530717958 / 3;
  EXPECT_DOUBLE_EQ(s.seedY.item(5), 1 + 0.5 * std::cos(a + a / 2));
  EXPECT_DOUBLE_EQ(s.seedZ.item(7), -1 + 0.5 * std::sin(3 * a + a / 2));
  EXPECT_EQ(s.seedX.item(6), 2.0);
}

TEST(Streamlines, VelocityAtInterpolatesAndFailsOutside) {
  SimulationState empty;
  Vec3 u;
  EXPECT_FALSE(velocityAt(empty, {2, 0, 0}, u));

  auto s = makeDomain();
  setUniformFlow(*s, {0.5, -1, 2});
  ASSERT_TRUE(velocityAt(*s, {2.3, -1.1, 0.4}, u));
  EXPECT_NEAR(u[0], 0.5, 1e-11);
  EXPECT_NEAR(u[1], -1.0, 1e-11);
  EXPECT_NEAR(u[2], 2.0, 1e-11);
  EXPECT_FALSE(velocityAt(*s, {0.1, 0, 0}, u));  // inside the sphere
  EXPECT_FALSE(velocityAt(*s, {9, 0, 0}, u));    // beyond the outer radius

  // A donor without ten usable points gives no velocity.
  for (auto& t : s->volumes[0].type_point) t = 0;
  EXPECT_FALSE(velocityAt(*s, {2.3, -0.1, 0.4}, u));
}

TEST(Streamlines, UniformFlowGivesStraightLineWithStepPointOne) {
  auto s = makeDomain();
  setUniformFlow(*s, {1, 0, 0});
  const Vec3 seed{-1, 2, 0.5};
  addSeed(*s, seed);
  traceFlowLines(*s);
  EXPECT_EQ(s->currentLine.load(), 0);
  const auto line = tracedLine(*s, 0);
  ASSERT_GT(line.size(), 100u);
  ASSERT_LT(line.size(), 500u);
  int seedIndex = -1;
  for (size_t p = 0; p < line.size(); ++p) {
    if (std::memcmp(&line[p], &seed, sizeof seed) == 0) seedIndex = static_cast<int>(p);
    EXPECT_NEAR(line[p][1], 2.0, 1e-9);
    EXPECT_NEAR(line[p][2], 0.5, 1e-9);
    if (p > 0) {
      EXPECT_NEAR(line[p][0] - line[p - 1][0], 0.1, 1e-9) << "point " << p;
    }
  }
  // The line runs from the upstream end (near the outer radius 7.5) through
  // the seed to the downstream end.
  EXPECT_GT(seedIndex, 50);
  EXPECT_LT(line.front()[0], -7.0);
  EXPECT_GT(line.back()[0], 7.0);
  EXPECT_EQ(static_cast<int>(line.size()), s->currentLinePoints.load());
}

TEST(Streamlines, SeedOutsideEveryVolumeGivesOnePointLine) {
  auto s = makeDomain();
  setUniformFlow(*s, {1, 0, 0});
  addSeed(*s, {0, 0, 0.2});  // inside the sphere
  addSeed(*s, {2, 2, 2});
  addSeed(*s, {30, 0, 0});  // far outside
  traceFlowLines(*s);
  EXPECT_EQ(s->currentLine.load(), 2);
  ASSERT_EQ(s->lineX.rowCount(), 3);
  EXPECT_EQ(tracedLine(*s, 0).size(), 1u);
  EXPECT_GT(tracedLine(*s, 1).size(), 10u);
  const auto far = tracedLine(*s, 2);
  ASSERT_EQ(far.size(), 1u);
  EXPECT_EQ(far[0][0], 30.0);
}

// With a slow flow no line leaves the domain, so the budget decides: a phase
// goes on while the line holds fewer than N/2 points, tested after each step.
TEST(Streamlines, BudgetCoversBothPhases) {
  auto s = makeDomain();
  setUniformFlow(*s, {0.001, 0, 0});
  const Vec3 seed{3, 1, 1};
  addSeed(*s, seed);
  struct Case {
    int N;
    size_t points;
    size_t seedIndex;
  };
  for (const Case& c : {Case{1000, 501, 499}, Case{0, 3, 1}, Case{1, 3, 1}, Case{7, 4, 2},
                        Case{-5, 3, 1}}) {
    s->streamlinePointCount = c.N;
    traceFlowLines(*s);
    const auto line = tracedLine(*s, 0);
    ASSERT_EQ(line.size(), c.points) << "N = " << c.N;
    EXPECT_EQ(std::memcmp(&line[c.seedIndex], &seed, sizeof seed), 0) << "N = " << c.N;
    for (size_t p = 1; p < line.size(); ++p) EXPECT_GT(line[p][0], line[p - 1][0]);
  }
}

TEST(Streamlines, FastTraceEqualsLiteralTrace) {
  auto s = makeDomain();
  setFlow(*s, [](const Vec3& X) {
    return Vec3{1.0 + 0.1 * X[1], 0.3 * std::sin(X[0]), 0.2 * std::cos(X[2])};
  });
  const std::vector<Vec3> seeds{{-3, 0.4, 0.3}, {1.5, -1.0, 2.0}};
  for (const Vec3& p : seeds) addSeed(*s, p);
  s->streamlinePointCount = 120;
  traceFlowLines(*s);
  for (size_t n = 0; n < seeds.size(); ++n) {
    const auto expected = literal::traceLine(*s, seeds[n], 120);
    EXPECT_GT(expected.size(), 30u);
    EXPECT_TRUE(sameBits(tracedLine(*s, static_cast<int>(n)), expected)) << "line " << n;
  }
}

TEST(Streamlines, WritesOneTextLinePerPoint) {
  auto s = makeDomain();
  setUniformFlow(*s, {0.001, 0, 0});
  addSeed(*s, {0.25, 3, 0});
  addSeed(*s, {40, 0, 0});
  s->streamlinePointCount = 0;
  traceFlowLines(*s);
  const auto path = std::filesystem::temp_directory_path() / "brelvik_post_streamlines.txt";
  CoreError error;
  ASSERT_TRUE(writeStreamlines(*s, path.string(), &error)) << error;
  std::ifstream in(path);
  std::vector<int> lineIds;
  std::vector<Vec3> points;
  int id;
  Vec3 p;
  while (in >> id >> p[0] >> p[1] >> p[2]) {
    lineIds.push_back(id);
    points.push_back(p);
  }
  std::filesystem::remove(path);
  ASSERT_EQ(lineIds, (std::vector<int>{0, 0, 0, 1}));
  auto line0 = tracedLine(*s, 0);
  for (int q = 0; q < 3; ++q)
    EXPECT_EQ(std::memcmp(&points[static_cast<size_t>(q)], &line0[static_cast<size_t>(q)], sizeof(Vec3)), 0);
  EXPECT_EQ(points[3][0], 40.0);
  EXPECT_FALSE(writeStreamlines(*s, "/nonexistent-folder/lines.txt", &error));
  EXPECT_EQ(error.code, ErrorCode::kFileUnwritable);
  EXPECT_EQ(error.file, "/nonexistent-folder/lines.txt");
}

TEST(StreamlinesThread, NoSeedsEndsTheRunAndSuspends) {
  CaptionLog log;
  SimulationState s;
  log.attach(s);
  startFlowLines(s);
  ASSERT_TRUE(waitParkedIdle(s));
  EXPECT_EQ(s.currentLine.load(), -1);
  EXPECT_EQ(s.lineX.rowCount(), 0);
  EXPECT_EQ(log.get(), std::vector<RunState>{RunState::kIdle});
  // A second start runs again on the same system thread.
  startFlowLines(s);
  ASSERT_TRUE(waitFor([&] { return log.get().size() == 2; }));
  ASSERT_TRUE(waitParkedIdle(s));
  EXPECT_EQ(s.flowLineThread.createCount(), 1u);
  s.setFlowLineRunCallback(nullptr);
}

// Stops the run from the repaint callback after the first 20 points of the
// first line (a one-shot), as a user pressing "Стоп" would.
struct StopAfterFirstRepaint {
  std::atomic<bool> armed{true};
  void attach(SimulationState& s) {
    s.setRepaintCallback([this, &s] {
      if (armed.exchange(false)) stopFlowLines(s);
    });
  }
};

TEST(StreamlinesThread, StopMidLineThenStartContinuesTheSameLine) {
  StopAfterFirstRepaint stopper;
  CaptionLog log;
  auto s = makeDomain();
  setUniformFlow(*s, {0.001, 0, 0});
  const Vec3 seed0{3, 1, 1}, seed1{-2, 2, -1};
  addSeed(*s, seed0);
  addSeed(*s, seed1);
  s->streamlinePointCount = 100;
  stopper.attach(*s);
  log.attach(*s);
  startFlowLines(*s);
  ASSERT_TRUE(waitParkedIdle(*s));
  EXPECT_EQ(s->currentLine.load(), 0);
  EXPECT_EQ(s->currentLinePoints.load(), 21);
  EXPECT_EQ(tracedLine(*s, 0).size(), 21u);
  EXPECT_TRUE(log.get().empty());

  // The run copied its seeds: a seed changed now belongs to the next run.
  {
    std::lock_guard<std::mutex> lock(s->seriesMutex);
    s->seedX.item(0) = 5;
  }
  startFlowLines(*s);
  ASSERT_TRUE(waitParkedIdle(*s));
  EXPECT_EQ(s->currentLine.load(), 1);
  EXPECT_EQ(log.get(), std::vector<RunState>{RunState::kIdle});
  EXPECT_TRUE(sameBits(tracedLine(*s, 0), referenceLine(*s, seed0, 100)));
  EXPECT_TRUE(sameBits(tracedLine(*s, 1), referenceLine(*s, seed1, 100)));
  EXPECT_EQ(s->flowLineThread.createCount(), 1u);

  // After a completed run, start begins a new run over the current seeds.
  startFlowLines(*s);
  ASSERT_TRUE(waitFor([&] { return log.get().size() == 2; }));
  ASSERT_TRUE(waitParkedIdle(*s));
  EXPECT_TRUE(sameBits(tracedLine(*s, 0), referenceLine(*s, {5, 1, 1}, 100)));
  s->setRepaintCallback(nullptr);
  s->setFlowLineRunCallback(nullptr);
}

TEST(StreamlinesThread, PausedRunStartsAgainOnReplacedVolumes) {
  StopAfterFirstRepaint stopper;
  auto s = makeDomain();
  setUniformFlow(*s, {0.001, 0, 0});
  const Vec3 seed{3, 1, 1};
  addSeed(*s, seed);
  s->streamlinePointCount = 60;
  stopper.attach(*s);
  startFlowLines(*s);
  ASSERT_TRUE(waitParkedIdle(*s));
  ASSERT_EQ(tracedLine(*s, 0).size(), 21u);

  // Create replaces the volumes while the run is paused mid-line.
  DomainInputs in;
  in.D = toSingle(15.0);
  in.s = toSingle(0.02);
  in.nx = 15;
  in.ny = in.nz = 10;
  CoreError error;
  ASSERT_TRUE(createDomain(*s, in, &error)) << error;
  setUniformFlow(*s, {0, 0.001, 0});
  startFlowLines(*s);
  ASSERT_TRUE(waitParkedIdle(*s));
  const auto line = tracedLine(*s, 0);
  EXPECT_TRUE(sameBits(line, referenceLine(*s, seed, 60)));
  for (const Vec3& p : line) EXPECT_EQ(p[0], 3.0);  // no point of the old flow remains
  s->setRepaintCallback(nullptr);
}

// Create while a run is tracing: the run is paused at its next point (its
// caption reset), and when started again it traces the new volumes from its
// first line.
TEST(StreamlinesThread, CreateDuringARunPausesItAndTheRunStartsAgain) {
  CaptionLog log;
  auto s = makeDomain();
  setUniformFlow(*s, {0.001, 0, 0});
  const Vec3 seed{3, 1, 1};
  addSeed(*s, seed);
  s->streamlinePointCount = 1000000;  // long enough to be caught mid-line
  log.attach(*s);
  startFlowLines(*s);
  ASSERT_TRUE(waitFor([&] { return s->currentLinePoints.load() > 30; }));

  DomainInputs in;
  in.D = toSingle(15.0);
  in.s = toSingle(0.02);
  in.nx = 15;
  in.ny = in.nz = 10;
  CoreError error;
  ASSERT_TRUE(createDomain(*s, in, &error)) << error;
  EXPECT_EQ(s->flowLineRunning.load(), 0);
  EXPECT_TRUE(s->flowLineThread.parked());
  EXPECT_EQ(log.get(), std::vector<RunState>{RunState::kIdle});

  setUniformFlow(*s, {0, 0.001, 0});
  s->streamlinePointCount = 60;
  startFlowLines(*s);
  ASSERT_TRUE(waitParkedIdle(*s));
  const auto line = tracedLine(*s, 0);
  EXPECT_TRUE(sameBits(line, referenceLine(*s, seed, 60)));
  EXPECT_EQ(line.size(), 31u);
  s->setFlowLineRunCallback(nullptr);
}

}  // namespace
}  // namespace brelvik
