#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/batch.h"
#include "grid/geometry.h"
#include "io/result_folder.h"

using namespace brelvik;
namespace fs = std::filesystem;

namespace {

fs::path processRoot() {
  return fs::temp_directory_path() / ("brelvik_cli_test_" + std::to_string(static_cast<long>(getpid())));
}

class RemoveRoot : public ::testing::Environment {
 public:
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(processRoot(), ec);
  }
};
::testing::Environment* const kRemoveRoot = ::testing::AddGlobalTestEnvironment(new RemoveRoot);

std::string freshDir(const std::string& name) {
  const fs::path dir = processRoot() / name;
  fs::remove_all(dir);
  fs::create_directories(dir.parent_path());
  return dir.string();
}

struct Run {
  int status = -1;
  std::string out, err;
};

// A small grid and parameters that the text formats keep exactly
// (k with one decimal, the others with 16 decimals).
std::vector<std::string> smallCase(std::vector<std::string> more) {
  std::vector<std::string> args = {"--nx", "6",   "--ny",   "4",   "--nz", "4",
                                   "--k",  "1.5", "--mach", "0.5", "--dt", "0.0009765625"};
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

Run run(SimulationState& s, const std::vector<std::string>& args, bool terminal = false) {
  std::ostringstream out, err;
  Run r;
  r.status = batchMain(s, args, out, err, terminal);
  r.out = out.str();
  r.err = err.str();
  return r;
}

Run run(const std::vector<std::string>& args, bool terminal = false) {
  SimulationState s;
  return run(s, args, terminal);
}

struct Sample {
  int step;
  double time, Cx, Cp, Cf;
};

std::vector<Sample> samples(const std::string& out) {
  std::vector<Sample> result;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    Sample x{};
    char* p = line.data();
    x.step = static_cast<int>(std::strtol(p, &p, 10));
    EXPECT_EQ(*p, '\t') << line;
    x.time = std::strtod(p, &p);
    x.Cx = std::strtod(p, &p);
    x.Cp = std::strtod(p, &p);
    x.Cf = std::strtod(p, &p);
    EXPECT_EQ(*p, '\0') << line;
    result.push_back(x);
  }
  return result;
}

void expectClose(double a, double b, const char* what) {
  EXPECT_LE(std::fabs(a - b), 1e-12 * std::max(std::fabs(a), std::fabs(b)) + 1e-300)
      << what << ": " << a << " vs " << b;
}

}  // namespace

TEST(BatchRun, ShortRunPrintsOneFullPrecisionLinePerSampleAndSaves) {
  const std::string dir = freshDir("short");
  SimulationState s;
  const Run r = run(s, smallCase({"--steps", "25", "--save", dir}));
  ASSERT_EQ(r.status, 0) << r.err;
  const auto lines = samples(r.out);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].step, 10);
  EXPECT_EQ(lines[1].step, 20);
  ASSERT_EQ(s.historyCx.size(), 2);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(lines[i].time, s.historyTime.item(i));
    EXPECT_EQ(lines[i].Cx, s.historyCx.item(i));
    EXPECT_EQ(lines[i].Cp, s.historyCp.item(i));
    EXPECT_EQ(lines[i].Cf, s.historyCf.item(i));
  }
  EXPECT_EQ(lines[1].time, 20 * 0.0009765625);
  EXPECT_EQ(s.stepCount, 25);
  EXPECT_EQ(s.k, 1.5);
  EXPECT_EQ(s.M, 0.5);
  EXPECT_EQ(r.err.find('\r'), std::string::npos) << "progress bars on a non-terminal";
  EXPECT_NE(r.err.find(dir), std::string::npos) << r.err;

  SimulationState t;
  std::string error;
  ASSERT_TRUE(loadCase(t, dir, &error)) << error;
  EXPECT_EQ(t.stepCount, 25);
  EXPECT_EQ(t.historyCounter, 5);
  EXPECT_EQ(t.readinessProduct(), 1);
}

TEST(BatchRun, ProgressBarsOnlyOnATerminalAndNotWhenQuiet) {
  const Run shown = run(smallCase({"--steps", "3", "--save", freshDir("bars")}), true);
  ASSERT_EQ(shown.status, 0) << shown.err;
  EXPECT_NE(shown.err.find('\r'), std::string::npos);
  EXPECT_NE(shown.err.find("3/3"), std::string::npos) << shown.err;
  EXPECT_NE(shown.err.find("Cx="), std::string::npos) << shown.err;
  EXPECT_TRUE(shown.out.empty());  // bars never go to standard output

  const Run quiet = run(smallCase({"--steps", "3", "--quiet", "--save", freshDir("quiet")}), true);
  ASSERT_EQ(quiet.status, 0) << quiet.err;
  EXPECT_EQ(quiet.err.find('\r'), std::string::npos);
}

TEST(BatchRun, ZeroStepsPreparesAndSavesTheCase) {
  const std::string dir = freshDir("prepared");
  const Run r = run(smallCase({"--steps", "0", "--save", dir}));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.out.empty());
  SimulationState t;
  std::string error;
  ASSERT_TRUE(loadCase(t, dir, &error)) << error;
  EXPECT_EQ(t.stepCount, 0);
  EXPECT_EQ(t.readinessProduct(), 1);
  EXPECT_EQ(t.volumeCount, 6);
  EXPECT_EQ(t.volumes[0].Nx, 8);
  EXPECT_EQ(t.dt, 0.0009765625);
}

TEST(BatchRun, InputsWithoutAGridExitWithTwoNamingTheOption) {
  const std::string dir = freshDir("no_grid");
  SimulationState s;
  // Seven first cells of 1 do not fit into a shell of thickness 7.
  const Run r = run(s, smallCase({"--first-step", "1", "--save", dir}));
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--first-step"), std::string::npos) << r.err;
  EXPECT_EQ(s.volumeCount, 0);
  EXPECT_FALSE(fs::exists(dir));
  EXPECT_TRUE(r.out.empty());

  const Run tooSmall = run({"--size", "0.8", "--save", dir});
  EXPECT_EQ(tooSmall.status, 2);
  EXPECT_NE(tooSmall.err.find("--size"), std::string::npos) << tooSmall.err;
}

TEST(BatchRun, UnreadableOrUnwritableFoldersExitWithFour) {
  const std::string missing = freshDir("missing");
  const Run open = run({"--open", missing, "--steps", "1"});
  EXPECT_EQ(open.status, 4);
  EXPECT_NE(open.err.find(missing), std::string::npos) << open.err;

  const std::string base = freshDir("blocked");
  fs::create_directories(base);
  std::ofstream(base + "/file") << "x";
  const Run save = run(smallCase({"--steps", "0", "--save", base + "/file/case"}));
  EXPECT_EQ(save.status, 4);
  EXPECT_NE(save.err.find(base + "/file/case"), std::string::npos) << save.err;
}

TEST(BatchRun, OpenOfACaseWithoutInterpolationCompletesItAndRuns) {
  // A case saved right after Create, as the window would save it.
  SimulationState s;
  DomainInputs in;
  in.nx = 6;
  in.ny = 4;
  in.nz = 4;
  in.D = toSingle(15);
  in.s = toSingle(0.02);
  std::string error;
  ASSERT_TRUE(createDomain(s, in, &error)) << error;
  const std::string created = freshDir("created_only");
  ASSERT_TRUE(saveCase(s, created, &error)) << error;

  const std::string dir = freshDir("completed");
  SimulationState t;
  const Run r = run(t, {"--open", created, "--steps", "10", "--save", dir});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(samples(r.out).size(), 1u);
  EXPECT_EQ(t.interpolationReady.load(), 1);
  EXPECT_EQ(t.stepCount, 10);
  EXPECT_EQ(t.dt, 0.001);  // the loaded value: no flow option was given
}

// Stopping after 20 steps, saving, and continuing with --open for 20 more
// gives the run of 40 steps: time, counters and histories continue, and the
// coefficients agree to what the text formats keep.
TEST(BatchRun, OpenContinuesWhereTheSavedRunStopped) {
  SimulationState whole;
  const Run a = run(whole, smallCase({"--steps", "40", "--save", freshDir("whole")}));
  ASSERT_EQ(a.status, 0) << a.err;

  const std::string half = freshDir("half");
  const Run b = run(smallCase({"--steps", "20", "--save", half}));
  ASSERT_EQ(b.status, 0) << b.err;
  SimulationState cont;
  const Run c = run(cont, {"--open", half, "--steps", "20", "--save", freshDir("continued")});
  ASSERT_EQ(c.status, 0) << c.err;

  EXPECT_EQ(cont.stepCount, 40);
  EXPECT_EQ(cont.physicalTime, whole.physicalTime);
  EXPECT_EQ(cont.historyCounter, whole.historyCounter);
  EXPECT_EQ(cont.k, 1.5);
  const auto first = samples(b.out), second = samples(c.out), all = samples(a.out);
  ASSERT_EQ(first.size(), 2u);
  ASSERT_EQ(second.size(), 2u);
  ASSERT_EQ(all.size(), 4u);
  EXPECT_EQ(second[0].step, 30);
  EXPECT_EQ(second[1].step, 40);
  ASSERT_EQ(cont.historyCx.size(), 4);
  for (int i = 0; i < 4; ++i) {
    const Sample& x = all[i];
    const Sample& y = i < 2 ? first[i] : second[i - 2];
    EXPECT_EQ(x.step, y.step);
    EXPECT_EQ(x.time, y.time);
    expectClose(x.Cx, y.Cx, "Cx");
    expectClose(x.Cp, y.Cp, "Cp");
    expectClose(x.Cf, y.Cf, "Cf");
    expectClose(whole.historyCx.item(i), cont.historyCx.item(i), "history Cx");
  }
  expectClose(whole.Cx, cont.Cx, "final Cx");
  // The flow fields agree as well.
  for (int v = 0; v < 6; ++v) {
    const FiniteVolume& p = whole.volumes[v];
    const FiniteVolume& q = cont.volumes[v];
    double worst = 0;
    for (size_t n = 0; n < p.u.size(); ++n)
      worst = std::max(worst, std::fabs(p.u[n] - q.u[n]) + std::fabs(p.ro[n] - q.ro[n]));
    EXPECT_LT(worst, 1e-11) << "volume " << v;
  }
}
