#include <gtest/gtest.h>

#include <cmath>

#include "core_error_print.h"
#include "grid/geometry.h"
#include "state/simulation_state.h"

using namespace brelvik;

namespace {

DomainInputs inputs(double D, double s, int nx, int ny, int nz) {
  DomainInputs in;
  in.D = toSingle(D);
  in.s = toSingle(s);
  in.nx = nx, in.ny = ny, in.nz = nz;
  return in;
}

// The parts of the state that Create may change.
struct Snapshot {
  int volumeCount, gridCreated, interpolationReady, flowInitialised, domainReady, running;
  int interpolTotal, interpolProcessed, interpolRunning, generation, showComputed, showStreamlines;
  std::vector<double> glob0;
  std::vector<int> types0;
  double ratio0;

  explicit Snapshot(const SimulationState& s)
      : volumeCount(s.volumeCount),
        gridCreated(s.gridCreated),
        interpolationReady(s.interpolationReady),
        flowInitialised(s.flowInitialised),
        domainReady(s.domainReady),
        running(s.running),
        interpolTotal(s.interpolTotal),
        interpolProcessed(s.interpolProcessed),
        interpolRunning(s.interpolRunning),
        generation(s.volumesGeneration),
        showComputed(s.samplingPlane.showComputed),
        showStreamlines(s.showStreamlines),
        glob0(s.volumeCount ? s.volumes[0].point_glob : std::vector<double>{}),
        types0(s.volumeCount ? s.volumes[0].type_point : std::vector<int>{}),
        ratio0(s.volumeCount ? s.volumes[0].ratio : 0) {}

  bool operator==(const Snapshot&) const = default;
};

}  // namespace

TEST(CreateDomain, RejectedInputsNameTheFieldAndLeaveTheStateAlone) {
  const struct {
    DomainInputs in;
    ErrorCode code;
    InputField field;
  } cases[] = {
      // outer radius equals the sphere's
      {inputs(1.0, 0.02, 19, 12, 12), ErrorCode::kDomainTooSmall, InputField::kDomainSize},
      {inputs(0.5, 0.02, 19, 12, 12), ErrorCode::kDomainTooSmall, InputField::kDomainSize},
      {inputs(NAN, 0.02, 19, 12, 12), ErrorCode::kDomainTooSmall, InputField::kDomainSize},
      {inputs(15, 0.0, 19, 12, 12), ErrorCode::kNotPositive, InputField::kFirstStep},
      {inputs(15, -0.01, 19, 12, 12), ErrorCode::kNotPositive, InputField::kFirstStep},
      {inputs(15, INFINITY, 19, 12, 12), ErrorCode::kNotPositive, InputField::kFirstStep},
      {inputs(15, 0.02, -1, 12, 12), ErrorCode::kNegative, InputField::kNx},
      {inputs(15, 0.02, 19, -3, 12), ErrorCode::kNegative, InputField::kNy},
      {inputs(15, 0.02, 19, 12, -12), ErrorCode::kNegative, InputField::kNz},
      // 20 cells of 0.35 fill the 7.0 shell: no ratio above 1
      {inputs(15, 0.35, 19, 12, 12), ErrorCode::kNoStretchingRatio, InputField::kFirstStep},
      // 20 first cells of 0.5 are thicker than the shell
      {inputs(15, 0.5, 19, 12, 12), ErrorCode::kFirstStepFillsShell, InputField::kSizeAndFirstStep},
      // the ratio would exceed 1000
      {inputs(15, 1e-7, 2, 12, 12), ErrorCode::kNoStretchingRatio, InputField::kFirstStep},
      // cannot be held in memory
      {inputs(15, 1e-5, 2000000, 2000, 2000), ErrorCode::kGridExceedsMemory, InputField::kCellCounts},
      {inputs(15, 0.02, 2147483647, 1, 1), ErrorCode::kTooLarge, InputField::kNx},
  };
  SimulationState s;
  CoreError error;
  ASSERT_TRUE(createDomain(s, inputs(15, 0.02, 19, 12, 12), &error)) << error;
  s.flowInitialised = 1;
  s.interpolRunning = 1;
  s.samplingPlane.showComputed = 1;
  s.showStreamlines = 1;
  const Snapshot before(s);
  for (const auto& c : cases) {
    error = CoreError{};
    EXPECT_FALSE(createDomain(s, c.in, &error)) << static_cast<int>(c.code);
    EXPECT_EQ(error.code, c.code) << error;
    EXPECT_EQ(error.field, c.field) << error;
    EXPECT_TRUE(Snapshot(s) == before) << error;
  }
  // Nothing was stopped or rebuilt on the way either.
  EXPECT_EQ(s.interpolRunning.load(), 1);
}

TEST(CreateDomain, SetsFlagsAdvancesGenerationAndRepaints) {
  SimulationState s;
  int repaints = 0;
  s.setRepaintCallback([&] { ++repaints; });
  s.flowInitialised = 1;
  s.interpolationReady = 1;
  s.domainReady = 0;
  s.running = 1;
  s.samplingPlane.showComputed = s.samplingPlane.showInterpolated = 1;
  s.showStreamlines = 1;
  s.interpolFailedCount = 3;
  const int gen = s.volumesGeneration;
  CoreError error;
  ASSERT_TRUE(createDomain(s, inputs(15, 0.02, 19, 12, 12), &error)) << error;
  EXPECT_EQ(s.gridCreated.load(), 1);
  EXPECT_EQ(s.domainReady.load(), 1);
  EXPECT_EQ(s.interpolationReady.load(), 0);
  EXPECT_EQ(s.flowInitialised.load(), 0);
  EXPECT_EQ(s.running.load(), 0);
  EXPECT_EQ(s.samplingPlane.showComputed, 0);
  EXPECT_EQ(s.samplingPlane.showInterpolated, 0);
  EXPECT_EQ(s.showStreamlines, 0);
  EXPECT_EQ(s.interpolFailedCount.load(), 0);
  EXPECT_EQ(s.volumesGeneration.load(), gen + 1);
  EXPECT_EQ(repaints, 1);
  const int total = s.interpolTotal;

  // A second Create reuses the six records, rebuilds and recounts from 0.
  s.interpolProcessed = 17;
  s.volumes[2].color = {10, 20, 30};
  ASSERT_TRUE(createDomain(s, inputs(15, 0.02, 9, 8, 6), &error)) << error;
  EXPECT_EQ(s.volumeCount, 6);
  EXPECT_EQ(s.volumes[2].color, (Vec3{10, 20, 30}));
  EXPECT_EQ(s.volumes[2].Nx, 11);
  EXPECT_EQ(s.volumes[2].Nz, 8);
  EXPECT_EQ(s.volumes[2].type_point.size(), 12u * 11 * 9);
  EXPECT_EQ(s.interpolProcessed.load(), 0);
  EXPECT_NE(s.interpolTotal.load(), total);
  EXPECT_EQ(s.volumesGeneration.load(), gen + 2);
  ASSERT_TRUE(createDomain(s, inputs(15, 0.02, 19, 12, 12), &error)) << error;
  EXPECT_EQ(s.interpolTotal.load(), total);
}

TEST(CreateDomain, ZeroCountsGiveVolumesWithoutArrays) {
  SimulationState s;
  CoreError error;
  ASSERT_TRUE(createDomain(s, inputs(15, 0.02, 19, 12, 12), &error)) << error;
  ASSERT_TRUE(createDomain(s, inputs(15, 0.02, 0, 12, 12), &error)) << error;
  EXPECT_EQ(s.volumeCount, 6);
  EXPECT_EQ(s.gridCreated.load(), 1);
  EXPECT_EQ(s.interpolTotal.load(), 0);
  for (const FiniteVolume& v : s.volumes) {
    EXPECT_EQ(v.allocated, 0);
    EXPECT_TRUE(v.type_point.empty());
    EXPECT_TRUE(v.point_glob.empty());
    EXPECT_EQ(v.plane_count, 4);
  }
}

TEST(CreateDomain, SingleVolumeHasNoInterpolatedPoints) {
  SimulationState s;
  s.volumes.resize(1);
  initDefaults(s.volumes[0], s.schemeOrder);
  s.volumeCount = 1;
  CoreError error;
  ASSERT_TRUE(createDomain(s, inputs(15, 0.02, 19, 12, 12), &error)) << error;
  EXPECT_EQ(s.volumeCount, 1);
  EXPECT_EQ(s.interpolTotal.load(), 0);
  for (int t : s.volumes[0].type_point) EXPECT_NE(t, kPointInterpolated);
}

TEST(CreateDomain, HigherSchemeOrderAddsGhostLayers) {
  SimulationState s;
  s.schemeOrder = 4;
  CoreError error;
  ASSERT_TRUE(createDomain(s, inputs(15, 0.02, 19, 12, 12), &error)) << error;
  const FiniteVolume& v = s.volumes[0];
  EXPECT_EQ(v.Nx, 23);
  EXPECT_EQ(v.i_begin, 2);
  EXPECT_EQ(v.i_end, 21);
  EXPECT_DOUBLE_EQ(v.steps_xi[0], 0.35);
  EXPECT_EQ(v.point_loc[3 * pointIndex(v, 2, 2, 2)], 0.35 * 0.5);
  // Two ghost layers under the sphere and two beyond the outer radius.
  EXPECT_EQ(v.type_point[pointIndex(v, 0, 5, 5)], kPointBoundary);
  EXPECT_EQ(v.type_point[pointIndex(v, 1, 5, 5)], kPointBoundary);
  EXPECT_EQ(v.type_point[pointIndex(v, 22, 5, 5)], kPointBoundary);
  // Both angular ghost layers next to the computed region are supplied.
  EXPECT_EQ(v.type_point[pointIndex(v, 5, 0, 5)], kPointInterpolated);
  EXPECT_EQ(v.type_point[pointIndex(v, 5, 1, 5)], kPointInterpolated);
}
