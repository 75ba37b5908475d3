#include <gtest/gtest.h>

#include <sstream>

#include "cli/batch.h"

using namespace brelvik;

namespace {

bool parse(const std::vector<std::string>& args, BatchOptions& o, std::string& error) {
  return parseBatchOptions(args, o, &error);
}

}  // namespace

TEST(BatchOptions, NoOptionsGiveTheEmbeddedDefaultCase) {
  BatchOptions o;
  std::string error;
  ASSERT_TRUE(parse({}, o, error)) << error;
  EXPECT_EQ(o.size, 15);
  EXPECT_EQ(o.firstStep, 0.02);
  EXPECT_EQ(o.nx, 19);
  EXPECT_EQ(o.ny, 12);
  EXPECT_EQ(o.nz, 12);
  EXPECT_EQ(o.steps, 1000);
  EXPECT_EQ(o.saveDir, "save");
  EXPECT_TRUE(o.openDir.empty());
  EXPECT_FALSE(o.dt || o.Re || o.M || o.Pr || o.k);
  EXPECT_FALSE(o.quiet);
}

TEST(BatchOptions, ValuesAfterABlankOrAnEqualsSign) {
  BatchOptions o;
  std::string error;
  ASSERT_TRUE(parse({"--nx", "6", "--ny=4", "--nz", "5", "--size=20.5", "--first-step", "1e-2",
                     "--dt", "0.0009765625", "--re=250", "--mach", "0.5", "--pr", "0.72", "--k",
                     "1.5", "--steps", "0", "--save", "out dir", "--threads=2", "--quiet"},
                    o, error))
      << error;
  EXPECT_EQ(o.nx, 6);
  EXPECT_EQ(o.ny, 4);
  EXPECT_EQ(o.nz, 5);
  EXPECT_EQ(o.size, 20.5);
  EXPECT_EQ(o.firstStep, 0.01);
  EXPECT_EQ(*o.dt, 0.0009765625);
  EXPECT_EQ(*o.Re, 250);
  EXPECT_EQ(*o.M, 0.5);
  EXPECT_EQ(*o.Pr, 0.72);
  EXPECT_EQ(*o.k, 1.5);
  EXPECT_EQ(o.steps, 0);
  EXPECT_EQ(o.saveDir, "out dir");
  EXPECT_EQ(o.threads, 2);
  EXPECT_TRUE(o.quiet);
}

TEST(BatchOptions, BadOptionsAreRefusedWithTheOptionNamed) {
  const struct {
    std::vector<std::string> args;
    const char* named;
  } cases[] = {
      {{"--bogus"}, "--bogus"},
      {{"--nx", "abc"}, "--nx"},
      {{"--nx", "6x"}, "--nx"},
      {{"--ny", "0"}, "--ny"},
      {{"--nz"}, "--nz"},
      {{"--steps", "-1"}, "--steps"},
      {{"--dt", "0"}, "--dt"},
      {{"--mach", "-0.5"}, "--mach"},
      {{"--re", "nan"}, "--re"},
      {{"--k", "1e999"}, "--k"},
      {{"--size", ""}, "--size"},
      {{"--threads", "0"}, "--threads"},
      {{"--quiet=yes"}, "--quiet"},
      {{"--save="}, "--save"},
      {{"extra"}, "extra"},
      {{"-n", "5"}, "-n"},
      {{"--open", "somewhere", "--nx", "6"}, "--nx"},
      {{"--first-step", "0.01", "--open", "somewhere"}, "--first-step"},
      {{"--far-field", "open"}, "--far-field"},
      {{"--converge", "0"}, "--converge"},
      {{"--converge", "1e-3,"}, "--converge"},
      {{"--converge", "1e-3,-2"}, "--converge"},
      {{"--average-from", "soon"}, "--average-from"},
      // Upper bounds: above them nothing is allocated or started.
      {{"--threads", "70000"}, "--threads"},
      {{"--threads", "2147483647"}, "--threads"},
      {{"--steps", "2000000000"}, "--steps"},
      {{"--k", "1"}, "--k"},
      {{"--circle", "0,0,0,1,100000000", "--streamlines", "f"}, "--circle"},
      {{"--circle", "0,0,0,1,99999999999", "--streamlines", "f"}, "--circle"},
      {{"--line-points", "1000000000", "--seed", "1,1,1", "--streamlines", "f"}, "--line-points"},
      {{"--circle", "0,0,0,1,90000", "--line-points", "10000", "--streamlines", "f"},
       "--line-points"},
  };
  for (const auto& c : cases) {
    BatchOptions o;
    std::string error;
    EXPECT_FALSE(parse(c.args, o, error)) << c.named;
    EXPECT_NE(error.find(c.named), std::string::npos) << error;
  }
}

TEST(BatchOptions, OpenAcceptsFlowParameters) {
  BatchOptions o;
  std::string error;
  ASSERT_TRUE(parse({"--open", "saved", "--dt", "0.002", "--steps", "5"}, o, error)) << error;
  EXPECT_EQ(o.openDir, "saved");
  EXPECT_EQ(*o.dt, 0.002);
}

TEST(BatchOptions, HelpListsEveryOptionAndTheExitStatuses) {
  std::ostringstream out, err;
  SimulationState s;
  EXPECT_EQ(batchMain(s, {"--help"}, out, err, false), 0);
  EXPECT_TRUE(err.str().empty());
  for (const BatchOption& o : batchOptionTable())
    EXPECT_NE(out.str().find(std::string("--") + o.name), std::string::npos) << o.name;
  EXPECT_NE(out.str().find("Exit status"), std::string::npos);
  EXPECT_EQ(s.volumeCount, 0);
}

TEST(BatchOptions, BadOptionExitsWithTwoBeforeComputingAnything) {
  std::ostringstream out, err;
  SimulationState s;
  EXPECT_EQ(batchMain(s, {"--nx", "6", "--steps", "many"}, out, err, false), 2);
  EXPECT_NE(err.str().find("--steps"), std::string::npos) << err.str();
  EXPECT_TRUE(out.str().empty());
  EXPECT_EQ(s.volumeCount, 0);
  EXPECT_EQ(s.gridCreated.load(), 0);
}
