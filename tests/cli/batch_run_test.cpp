#include <gtest/gtest.h>
#include <unistd.h>


#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core_error_print.h"
#include "cli/batch.h"
#include "grid/geometry.h"
#include "io/result_folder.h"
#include "post/history_stats.h"

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

struct BatchResult {
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

BatchResult run(SimulationState& s, const std::vector<std::string>& args, bool terminal = false) {
  std::ostringstream out, err;
  BatchResult r;
  r.status = batchMain(s, args, out, err, terminal);
  r.out = out.str();
  r.err = err.str();
  return r;
}

BatchResult run(const std::vector<std::string>& args, bool terminal = false) {
  SimulationState s;
  return run(s, args, terminal);
}

struct Sample {
  int step;
  double time, Cx, Cp, Cf;
  double residual[5];  // ro, u, v, w, T
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
    for (double& r : x.residual) {
      EXPECT_EQ(*p, '\t') << line;
      r = std::strtod(p, &p);
    }
    EXPECT_EQ(*p, '\0') << line;
    result.push_back(x);
  }
  return result;
}

}  // namespace

TEST(BatchRun, ShortRunPrintsOneFullPrecisionLinePerSampleAndSaves) {
  const std::string dir = freshDir("short");
  SimulationState s;
  const BatchResult r = run(s, smallCase({"--steps", "25", "--save", dir}));
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
  CoreError error;
  ASSERT_TRUE(loadCase(t, dir, &error)) << error;
  EXPECT_EQ(t.stepCount, 25);
  EXPECT_EQ(t.historyCounter, 5);
  EXPECT_EQ(t.readinessProduct(), 1);
}

TEST(BatchRun, ProgressBarsOnlyOnATerminalAndNotWhenQuiet) {
  const BatchResult shown = run(smallCase({"--steps", "3", "--save", freshDir("bars")}), true);
  ASSERT_EQ(shown.status, 0) << shown.err;
  EXPECT_NE(shown.err.find('\r'), std::string::npos);
  EXPECT_NE(shown.err.find("3/3"), std::string::npos) << shown.err;
  EXPECT_NE(shown.err.find("Cx="), std::string::npos) << shown.err;
  EXPECT_TRUE(shown.out.empty());  // bars never go to standard output

  const BatchResult quiet = run(smallCase({"--steps", "3", "--quiet", "--save", freshDir("quiet")}), true);
  ASSERT_EQ(quiet.status, 0) << quiet.err;
  EXPECT_EQ(quiet.err.find('\r'), std::string::npos);
}

TEST(BatchRun, ZeroStepsPreparesAndSavesTheCase) {
  const std::string dir = freshDir("prepared");
  const BatchResult r = run(smallCase({"--steps", "0", "--save", dir}));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.out.empty());
  SimulationState t;
  CoreError error;
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
  const BatchResult r = run(s, smallCase({"--first-step", "1", "--save", dir}));
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--first-step"), std::string::npos) << r.err;
  EXPECT_EQ(s.volumeCount, 0);
  EXPECT_FALSE(fs::exists(dir));
  EXPECT_TRUE(r.out.empty());

  const BatchResult tooSmall = run({"--size", "0.8", "--save", dir});
  EXPECT_EQ(tooSmall.status, 2);
  EXPECT_NE(tooSmall.err.find("--size"), std::string::npos) << tooSmall.err;

  // A shell too thin for the first cells is a fault of the size as much as
  // of the first step: both are named.
  const BatchResult thin = run({"--size", "1.5", "--save", dir});
  EXPECT_EQ(thin.status, 2);
  EXPECT_NE(thin.err.find("--size"), std::string::npos) << thin.err;
  EXPECT_NE(thin.err.find("--first-step"), std::string::npos) << thin.err;
}

TEST(BatchRun, UnreadableOrUnwritableFoldersExitWithFour) {
  const std::string missing = freshDir("missing");
  const BatchResult open = run({"--open", missing, "--steps", "1"});
  EXPECT_EQ(open.status, 4);
  EXPECT_NE(open.err.find(missing), std::string::npos) << open.err;

  const std::string base = freshDir("blocked");
  fs::create_directories(base);
  std::ofstream(base + "/file") << "x";
  const BatchResult save = run(smallCase({"--steps", "0", "--save", base + "/file/case"}));
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
  CoreError error;
  ASSERT_TRUE(createDomain(s, in, nullptr));
  const std::string created = freshDir("created_only");
  ASSERT_TRUE(saveCase(s, created, &error)) << error;

  const std::string dir = freshDir("completed");
  SimulationState t;
  const BatchResult r = run(t, {"--open", created, "--steps", "10", "--save", dir});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(samples(r.out).size(), 1u);
  EXPECT_EQ(t.interpolationReady.load(), 1);
  EXPECT_EQ(t.stepCount, 10);
  EXPECT_EQ(t.dt, 0.001);  // the loaded value: no flow option was given
}

// Stopping after 20 steps, saving, and continuing with --open for 20 more
// continues the time, the counters and the histories of the run of 40 steps.
TEST(BatchRun, OpenContinuesTimeCountersAndHistories) {
  SimulationState whole;
  const BatchResult a = run(whole, smallCase({"--steps", "40", "--save", freshDir("whole")}));
  ASSERT_EQ(a.status, 0) << a.err;
  const std::string half = freshDir("half");
  const BatchResult b = run(smallCase({"--steps", "25", "--save", half}));
  ASSERT_EQ(b.status, 0) << b.err;
  SimulationState cont;
  const BatchResult c = run(cont, {"--open", half, "--steps", "15", "--save", freshDir("continued")});
  ASSERT_EQ(c.status, 0) << c.err;

  EXPECT_EQ(cont.stepCount, 40);
  EXPECT_EQ(cont.physicalTime, whole.physicalTime);
  EXPECT_EQ(cont.historyCounter, whole.historyCounter);
  EXPECT_EQ(cont.k, 1.5);
  EXPECT_EQ(cont.M, 0.5);
  const auto first = samples(b.out), second = samples(c.out), all = samples(a.out);
  ASSERT_EQ(first.size(), 2u);
  ASSERT_EQ(second.size(), 2u);  // steps 30 and 40: the counter went on from 5
  ASSERT_EQ(all.size(), 4u);
  ASSERT_EQ(cont.historyTime.size(), 4);
  for (int i = 0; i < 4; ++i) {
    const Sample& y = i < 2 ? first[i] : second[i - 2];
    EXPECT_EQ(all[i].step, y.step);
    EXPECT_EQ(all[i].time, y.time);
    EXPECT_EQ(cont.historyTime.item(i), whole.historyTime.item(i));
  }
  // The fields differ only by what the text formats do not keep (the
  // interpolation weights and the radial map constants have 16 decimals).
  for (int v = 0; v < 6; ++v) {
    const FiniteVolume& p = whole.volumes[v];
    const FiniteVolume& q = cont.volumes[v];
    double worst = 0;
    for (size_t n = 0; n < p.u.size(); ++n)
      worst = std::max(worst, std::fabs(p.u[n] - q.u[n]) + std::fabs(p.ro[n] - q.ro[n]));
    EXPECT_LT(worst, 1e-12) << "volume " << v;
  }
}

// Once the drag has built up, the continued run's coefficients agree with the
// uninterrupted run to about 1e-12 of their size.
TEST(BatchRun, OpenAgreesWithAnUninterruptedRunSlow) {
  SimulationState whole;
  const BatchResult a = run(whole, smallCase({"--steps", "400", "--save", freshDir("whole")}));
  ASSERT_EQ(a.status, 0) << a.err;
  const std::string half = freshDir("half");
  const BatchResult b = run(smallCase({"--steps", "200", "--save", half}));
  ASSERT_EQ(b.status, 0) << b.err;
  SimulationState cont;
  const BatchResult c = run(cont, {"--open", half, "--steps", "200", "--save", freshDir("continued")});
  ASSERT_EQ(c.status, 0) << c.err;

  auto all = samples(a.out);
  auto parts = samples(b.out);
  for (const Sample& x : samples(c.out)) parts.push_back(x);
  ASSERT_EQ(all.size(), 40u);
  ASSERT_EQ(parts.size(), 40u);
  // Early samples are differences of nearly equal pressure and friction
  // integrals; measure every deviation against the coefficients' final size.
  const double scale[3] = {std::fabs(all.back().Cx), std::fabs(all.back().Cp),
                           std::fabs(all.back().Cf)};
  ASSERT_GT(scale[0], 1e-3);
  for (size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(all[i].step, parts[i].step);
    EXPECT_EQ(all[i].time, parts[i].time);
    EXPECT_LE(std::fabs(all[i].Cx - parts[i].Cx), 1e-12 * scale[0]) << "sample " << i;
    EXPECT_LE(std::fabs(all[i].Cp - parts[i].Cp), 1e-12 * scale[1]) << "sample " << i;
    EXPECT_LE(std::fabs(all[i].Cf - parts[i].Cf), 1e-12 * scale[2]) << "sample " << i;
  }
  EXPECT_LE(std::fabs(whole.Cx - cont.Cx), 1e-12 * std::fabs(whole.Cx));
}

TEST(BatchRun, DivergenceExitsWithThreeNamingTheStepAndStillSaves) {
  const std::string dir = freshDir("diverged");
  SimulationState s;
  const BatchResult r = run(s, {"--nx", "6", "--ny", "4", "--nz", "4", "--dt", "0.5", "--steps",
                                "100", "--save", dir});
  ASSERT_EQ(r.status, 3) << r.err;
  const int step = s.divergedStep.load();
  ASSERT_GT(step, 0);
  EXPECT_EQ(s.stepCount, step);  // stopped at once
  EXPECT_NE(r.err.find("diverged at step " + std::to_string(step)), std::string::npos) << r.err;
  SimulationState t;
  CoreError error;
  ASSERT_TRUE(loadCase(t, dir, &error)) << error;
  EXPECT_EQ(t.stepCount, step);
  EXPECT_FALSE(std::isfinite(t.Cx));
}

TEST(BatchRun, ConvergeStopsAtTheFirstSettledSampleOrExitsWithFive) {
  // Cx stays within 50% over 0.03 time units soon after the start.
  const std::string dir = freshDir("converge");
  SimulationState s;
  const BatchResult r = run(s, smallCase({"--far-field", "absorbing", "--converge", "0.5,0.03",
                                          "--steps", "2000", "--average-from", "0",
                                          "--save", dir}));
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_LT(s.stepCount, 2000);
  EXPECT_TRUE(cxSettled(s.historyTime, s.historyCx, 0.5, 0.03));
  ValueSeries time = s.historyTime, cx = s.historyCx;  // one sample earlier it was not
  time.data.pop_back();
  cx.data.pop_back();
  EXPECT_FALSE(cxSettled(time, cx, 0.5, 0.03));
  EXPECT_NE(r.err.find("converged at step " + std::to_string(s.stepCount)), std::string::npos);
  EXPECT_NE(r.err.find("final Cx"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("average over t >= 0"), std::string::npos) << r.err;
  const auto lines = samples(r.out);
  ASSERT_EQ(int(lines.size()), s.historyCx.size());
  const double lastResidual = s.historyResidual[4].item(s.historyCx.size() - 1);
  EXPECT_NEAR(lines.back().residual[4], lastResidual, 1e-6 * lastResidual);  // printed %.6e

  // The budget runs out first: status 5, and the case is saved all the same
  // with its far field.
  const std::string budget = freshDir("budget");
  const BatchResult b = run(smallCase({"--far-field", "absorbing", "--converge", "1e-12",
                                       "--steps", "30", "--save", budget}));
  EXPECT_EQ(b.status, 5) << b.err;
  SimulationState t;
  CoreError error;
  ASSERT_TRUE(loadCase(t, budget, &error)) << error;
  EXPECT_EQ(t.stepCount, 30);
  EXPECT_EQ(t.farField, FarField::Absorbing);
}

#ifdef _OPENMP
#include <omp.h>

TEST(BatchRun, ThreadCountIsAppliedAndDoesNotChangeTheResults) {
  const int before = omp_get_max_threads();
  const BatchResult one = run(smallCase({"--steps", "20", "--threads", "1", "--save", freshDir("t1")}));
  ASSERT_EQ(one.status, 0) << one.err;
  EXPECT_EQ(omp_get_max_threads(), 1);
  const BatchResult two = run(smallCase({"--steps", "20", "--threads", "2", "--save", freshDir("t2")}));
  ASSERT_EQ(two.status, 0) << two.err;
  EXPECT_EQ(omp_get_max_threads(), 2);
  EXPECT_EQ(one.out, two.out);  // every digit of every sample
  omp_set_num_threads(before);
}
#endif

// An export that cannot be written exits with four and names the file; a
// series that fails mid-run stops there and still saves the case, so the
// run can go on with --open. --vtk-every needs --vtk.
TEST(BatchRun, ExportFailuresExitWithFourNamingTheFileAndTheCaseIsSaved) {
  const BatchResult lonely = run(smallCase({"--vtk-every", "5"}));
  EXPECT_EQ(lonely.status, 2);
  EXPECT_NE(lonely.err.find("--vtk-every"), std::string::npos) << lonely.err;

  const std::string base = freshDir("export_blocked");
  fs::create_directories(base);
  std::ofstream(base + "/file") << "x";
  SimulationState s;
  const BatchResult blocked =
      run(s, smallCase({"--steps", "4", "--save", base + "/case", "--vtk", base + "/file/vtk",
                        "--vtk-every", "2", "--history", base + "/file/h.csv"}));
  EXPECT_EQ(blocked.status, 4);
  EXPECT_NE(blocked.err.find("brelvik-batch: cannot create the folder \"" + base +
                            "/file/vtk/step_000002\": "),
            std::string::npos)
      << blocked.err;
  EXPECT_NE(blocked.err.find("brelvik-batch: cannot write the file \"" + base + "/file/h.csv\": "),
            std::string::npos)
      << blocked.err;
  EXPECT_EQ(s.stepCount, 2);
  SimulationState loaded;
  CoreError error;
  EXPECT_TRUE(loadCase(loaded, base + "/case", &error)) << error;
  EXPECT_EQ(loaded.stepCount, 2);
}
