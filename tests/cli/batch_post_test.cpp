#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "cli/batch.h"
#include "grid/geometry.h"
#include "post/streamlines.h"

using namespace brelvik;
namespace fs = std::filesystem;

namespace {

bool parse(const std::vector<std::string>& args, BatchOptions& o, std::string& error) {
  return parseBatchOptions(args, o, &error);
}

TEST(BatchPostOptions, PlaneSeedsAndCirclesAreRead) {
  BatchOptions o;
  std::string error;
  ASSERT_TRUE(parse({"--plane", "xz", "--from", "-1,0.1,-2", "--to=1,0,2", "--counts", "3,0,5",
                     "--seed", "1,2.5,-3", "--circle", "0,0,0,1,4", "--seed=2,2,2",
                     "--line-points", "0", "--streamlines", "lines.txt"},
                    o, error))
      << error;
  EXPECT_EQ(o.plane, 2);
  EXPECT_EQ((*o.planeFrom)[1], toSingle(0.1));  // rounded as the dialog stores it
  EXPECT_EQ((*o.planeTo)[2], 2.0);
  EXPECT_EQ(*o.planeCounts, (std::array<int, 3>{3, 0, 5}));
  EXPECT_EQ(o.linePoints, 0);
  EXPECT_EQ(o.streamlinesFile, "lines.txt");
  // Seeds keep the order of the options; the circle gives the dialog's seeds.
  ASSERT_EQ(o.seeds.size(), 6u);
  EXPECT_EQ(o.seeds[0], (Vec3{1, 2.5, -3}));
  const std::vector<Vec3> circle = circleSeeds(0, 0, 0, 1, 4);
  for (int n = 0; n < 4; ++n) EXPECT_EQ(o.seeds[static_cast<size_t>(n + 1)], circle[static_cast<size_t>(n)]);
  EXPECT_NEAR(o.seeds[1][1], -std::sqrt(0.5), 1e-12);
  EXPECT_NEAR(o.seeds[1][2], std::sqrt(0.5), 1e-12);
  EXPECT_EQ(o.seeds[5], (Vec3{2, 2, 2}));
}

TEST(BatchPostOptions, IncompleteOrBadPostOptionsNameTheOption) {
  const struct {
    std::vector<std::string> args;
    const char* named;
  } cases[] = {
      {{"--plane", "xw", "--from", "0,0,0", "--to", "1,1,1", "--counts", "1,1,1"}, "--plane"},
      {{"--plane", "xy", "--to", "1,1,1", "--counts", "1,1,1"}, "--from"},
      {{"--plane", "xy", "--from", "0,0,0", "--counts", "1,1,1"}, "--to"},
      {{"--plane", "xy", "--from", "0,0,0", "--to", "1,1,1"}, "--counts"},
      {{"--from", "0,0,0"}, "--plane"},
      {{"--plane", "xy", "--from", "0,0", "--to", "1,1,1", "--counts", "1,1,1"}, "--from"},
      {{"--plane", "xy", "--from", "0,0,0,", "--to", "1,1,1", "--counts", "1,1,1"}, "--from"},
      {{"--plane", "xy", "--from", "0,0,0", "--to", "1,1,1", "--counts", "1,-1,1"}, "--counts"},
      {{"--plane", "xy", "--from", "0,0,0", "--to", "1,1,1", "--counts", "1.5,1,1"}, "--counts"},
      {{"--plane", "yz", "--from", "0,0,0", "--to", "1,1,1", "--counts", "0,2000,2000"}, "--counts"},
      {{"--seed", "1,2,3"}, "--streamlines"},
      {{"--streamlines", "out.txt"}, "--seed"},
      {{"--seed", "1,x,3", "--streamlines", "out.txt"}, "--seed"},
      {{"--circle", "0,0,0,1,0", "--streamlines", "out.txt"}, "--circle"},
      {{"--circle", "0,0,0,1", "--streamlines", "out.txt"}, "--circle"},
      {{"--line-points", "-1", "--seed", "1,1,1", "--streamlines", "out.txt"}, "--line-points"},
      {{"--line-points", "10"}, "--line-points"},
  };
  for (const auto& c : cases) {
    BatchOptions o;
    std::string error;
    EXPECT_FALSE(parse(c.args, o, error)) << c.args[0] << " " << c.args[1];
    EXPECT_NE(error.find(c.named), std::string::npos) << error;
  }
}

// Runs in a scratch working directory (the export goes there) and restores
// the previous one.
class InScratchDir {
 public:
  InScratchDir() : previous_(fs::current_path()) {
    dir_ = fs::temp_directory_path() / ("brelvik_batch_post_" + std::to_string(static_cast<long>(getpid())));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    fs::current_path(dir_);
  }
  ~InScratchDir() {
    fs::current_path(previous_);
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  const fs::path& dir() const { return dir_; }

 private:
  fs::path previous_, dir_;
};

TEST(BatchPost, RunExportsThePlaneAndWritesTheStreamlines) {
  InScratchDir scratch;
  SimulationState s;
  std::ostringstream out, err;
  const int status =
      batchMain(s,
                {"--nx", "6", "--ny", "4", "--nz", "4", "--steps", "0", "--save", "case", "--plane",
                 "xy", "--from", "-4,-4,0.5", "--to", "4,4,0", "--counts", "3,3,0", "--seed",
                 "-2,1,0.5", "--circle", "-2,0,0,1.5,3", "--line-points", "40", "--streamlines",
                 "lines.txt"},
                out, err, false);
  ASSERT_EQ(status, kExitDone) << err.str();
  EXPECT_NE(err.str().find("exported to Winsurf_files"), std::string::npos) << err.str();

  // 4 x 4 samples at x, y = -3, -1, 1, 3 in z = 0.5, all inside the domain.
  // After zero steps the gas is at rest with unit temperature, pressure and
  // density.
  for (const char* name : {"T.dat", "p.dat", "ro.dat", "velocity.dat"}) {
    std::ifstream file(scratch.dir() / "Winsurf_files" / name);
    std::string line;
    int lines = 0;
    const double expected = std::string(name) == "velocity.dat" ? 0.0 : 1.0;
    while (std::getline(file, line)) {
      double x, y, v;
      std::istringstream in(line);
      ASSERT_TRUE(in >> x >> y >> v) << name << ": " << line;
      EXPECT_EQ(x, -3 + 2 * (lines / 4)) << name;
      EXPECT_EQ(y, -3 + 2 * (lines % 4)) << name;
      EXPECT_NEAR(v, expected, 1e-5) << name << ": " << line;
      ++lines;
    }
    EXPECT_EQ(lines, 16) << name;
  }

  // Four seeds (one point, three on the circle). In a gas at rest no line
  // leaves the domain, so the budget 40/2 decides: the seed, 19 upstream
  // points and 1 downstream point, all at the seed.
  std::ifstream traced(scratch.dir() / "lines.txt");
  std::map<int, int> perLine;
  int id;
  double x, y, z;
  const std::vector<Vec3> circle = circleSeeds(-2, 0, 0, 1.5, 3);
  while (traced >> id >> x >> y >> z) {
    ++perLine[id];
    const Vec3 seed = id == 0 ? Vec3{-2, 1, 0.5} : circle[static_cast<size_t>(id - 1)];
    EXPECT_EQ(x, seed[0]);
    EXPECT_NEAR(y, seed[1], 1e-12);
    EXPECT_NEAR(z, seed[2], 1e-12);
  }
  ASSERT_EQ(perLine.size(), 4u);
  for (const auto& [m, count] : perLine) EXPECT_EQ(count, 21) << "line " << m;
}

TEST(BatchPost, UnwritableStreamlineFileGivesTheFileErrorStatus) {
  InScratchDir scratch;
  SimulationState s;
  std::ostringstream out, err;
  const int status = batchMain(s,
                               {"--nx", "6", "--ny", "4", "--nz", "4", "--steps", "0", "--save",
                                "case", "--seed", "2,0,0", "--streamlines", "no/such/dir/lines.txt"},
                               out, err, false);
  EXPECT_EQ(status, kExitFileError);
  EXPECT_NE(err.str().find("no/such/dir/lines.txt"), std::string::npos) << err.str();
  EXPECT_TRUE(fs::exists(scratch.dir() / "case"));  // the case itself was saved first
}

}  // namespace
