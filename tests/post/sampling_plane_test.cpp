#include "post/sampling_plane.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "grid/geometry.h"
#include "io/result_folder.h"
#include "literal_post_stencil.h"
#include "post/post_stencil.h"
#include "post_fixture.h"

namespace brelvik {
namespace {

namespace fs = std::filesystem;
using testing::makeDomain;
using testing::setFlow;
using testing::setUniformFlow;

std::string readFile(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// A scratch folder per test, removed afterwards.
class ScratchDir {
 public:
  ScratchDir() {
    path_ = fs::temp_directory_path() /
            ("brelvik_post_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~ScratchDir() { fs::remove_all(path_); }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

void setPlane(SamplingPlane& sp, int plane, Vec3 a, Vec3 b, int nx, int ny, int nz) {
  sp.plane = plane;
  sp.x1 = a[0]; sp.y1 = a[1]; sp.z1 = a[2];
  sp.x2 = b[0]; sp.y2 = b[1]; sp.z2 = b[2];
  sp.Nx = nx; sp.Ny = ny; sp.Nz = nz;
}

TEST(SamplingPlane, LatticeLiesAtCellCentresForEachOrientation) {
  SimulationState s;  // no volumes: every sample is outside
  CoreError error;
  setPlane(s.samplingPlane, 1, {0, -1, 7}, {4, 1, 99}, 3, 1, 5);
  ASSERT_TRUE(computeSamplingPlane(s, &error)) << error;
  const SamplingPlane& sp = s.samplingPlane;
  ASSERT_EQ(sp.iMax, 3);
  ASSERT_EQ(sp.jMax, 1);
  ASSERT_EQ(sp.donorVolume.size(), 8u);
  const double xs[] = {0.5, 1.5, 2.5, 3.5};
  for (int i = 0; i <= 3; ++i)
    for (int j = 0; j <= 1; ++j) {
      const size_t n = static_cast<size_t>(i * 2 + j);
      EXPECT_DOUBLE_EQ(sp.positions[3 * n], xs[i]);
      EXPECT_DOUBLE_EQ(sp.positions[3 * n + 1], j == 0 ? -0.5 : 0.5);
      EXPECT_EQ(sp.positions[3 * n + 2], 7.0);  // z2 is not used for XY
      EXPECT_EQ(sp.donorVolume[n], -1);
    }
  EXPECT_EQ(sp.planeComputed, 1);
  EXPECT_TRUE(samplingPlaneValid(s));

  // XZ: i runs along x (Nx), j along z (Nz); y = y1.
  setPlane(s.samplingPlane, 2, {0, 3, 0}, {2, -50, 3}, 1, 7, 2);
  ASSERT_TRUE(computeSamplingPlane(s, &error)) << error;
  ASSERT_EQ(sp.iMax, 1);
  ASSERT_EQ(sp.jMax, 2);
  EXPECT_DOUBLE_EQ(sp.positions[3 * 5 + 0], 1.5);  // sample (1, 2)
  EXPECT_EQ(sp.positions[3 * 5 + 1], 3.0);
  EXPECT_DOUBLE_EQ(sp.positions[3 * 5 + 2], 2.5);

  // YZ: i along y (Ny), j along z (Nz); x = x1. A count of 0 gives one sample.
  setPlane(s.samplingPlane, 3, {-2, 0, 0}, {9, 4, 1}, 6, 0, 1);
  ASSERT_TRUE(computeSamplingPlane(s, &error)) << error;
  ASSERT_EQ(sp.iMax, 0);
  ASSERT_EQ(sp.jMax, 1);
  EXPECT_EQ(sp.positions[0], -2.0);
  EXPECT_DOUBLE_EQ(sp.positions[1], 2.0);
  EXPECT_DOUBLE_EQ(sp.positions[2], 0.25);
  EXPECT_DOUBLE_EQ(sp.positions[5], 0.75);
}

TEST(SamplingPlane, RefusesBadCountsAndKeepsThePlane) {
  SimulationState s;
  CoreError error;
  setPlane(s.samplingPlane, 1, {0, 0, 0}, {1, 1, 0}, 2, 2, 0);
  ASSERT_TRUE(computeSamplingPlane(s, &error));
  const std::vector<double> before = s.samplingPlane.positions;

  s.samplingPlane.Ny = -3;
  EXPECT_FALSE(computeSamplingPlane(s, &error));
  EXPECT_EQ(error.code, ErrorCode::kNegative) << error;
  EXPECT_EQ(error.field, InputField::kPlaneNy) << error;
  EXPECT_EQ(s.samplingPlane.positions, before);
  EXPECT_EQ(s.samplingPlane.jMax, 2);

  s.samplingPlane.Ny = 100000;
  s.samplingPlane.Nx = 100000;
  EXPECT_FALSE(computeSamplingPlane(s, &error));
  EXPECT_EQ(error.code, ErrorCode::kTooManySamples) << error;
  EXPECT_EQ(error.figures[0], 100001LL * 100001LL) << error;
  EXPECT_EQ(s.samplingPlane.positions, before);

  // The count normal to the plane is not used, not even when it is -1.
  setPlane(s.samplingPlane, 1, {0, 0, 0}, {1, 1, 0}, 1, 1, -1);
  EXPECT_TRUE(computeSamplingPlane(s, &error)) << error;
}

TEST(SamplingPlane, HighestIndexedContainingVolumeWins) {
  auto s = makeDomain();
  CoreError error;
  // Square round the sphere in z = 0.1: the diagonals x = +-y lie on the
  // borders of the side volumes, where two of them contain the samples.
  setPlane(s->samplingPlane, 1, {-3, -3, 0.1}, {3, 3, 0}, 9, 9, 0);
  ASSERT_TRUE(computeSamplingPlane(*s, &error)) << error;
  const SamplingPlane& sp = s->samplingPlane;
  int overlaps = 0, inside = 0;
  for (size_t n = 0; n < sp.donorVolume.size(); ++n) {
    const Vec3 p{sp.positions[3 * n], sp.positions[3 * n + 1], sp.positions[3 * n + 2]};
    int containing = 0, highest = -1;
    for (int v = 0; v < s->volumeCount; ++v)
      if (insideVolume(s->volumes[static_cast<size_t>(v)], p)) {
        ++containing;
        highest = v;
      }
    if (containing > 1) ++overlaps;
    if (highest >= 0) ++inside;
    EXPECT_EQ(sp.donorVolume[n], highest) << "sample " << n;
  }
  EXPECT_GT(overlaps, 0);
  EXPECT_GT(inside, 50);
}

// Quadratics of the donor's grid coordinates are reproduced at the sample:
// this checks stencil indices and weights together.
TEST(SamplingPlane, ReproducesQuadraticFieldsOfGridCoordinates) {
  auto s = makeDomain();
  auto f = [](double xi, double eta, double zeta) {
    return 1.0 + 0.3 * xi - 2.0 * eta + 0.5 * zeta * zeta + 0.25 * xi * eta;
  };
  setFlow(*s, [](const Vec3&) { return Vec3{0.0, 0.0, 0.0}; }, f);
  CoreError error;
  setPlane(s->samplingPlane, 2, {-4, 0.2, -4}, {4, 0, 4}, 6, 0, 6);
  ASSERT_TRUE(computeSamplingPlane(*s, &error)) << error;
  ScratchDir dir;
  ASSERT_TRUE(exportWinsurf(*s, dir.path().string(), &error)) << error;
  std::ifstream in(dir.path() / "Winsurf_files" / "T.dat");
  const SamplingPlane& sp = s->samplingPlane;
  int checked = 0;
  for (size_t n = 0; n < sp.donorVolume.size(); ++n) {
    double a, b, value;
    ASSERT_TRUE(in >> a >> b >> value);
    const int d = sp.donorVolume[n];
    if (d < 0) {
      EXPECT_EQ(value, -1.0);
      continue;
    }
    const FiniteVolume& vol = s->volumes[static_cast<size_t>(d)];
    const Vec3 p{sp.positions[3 * n], sp.positions[3 * n + 1], sp.positions[3 * n + 2]};
    const Vec3 g = globalToGrid(vol, p, vol.kind);
    double sum = 0;
    for (int m = 0; m < 10; ++m) sum += sp.weights[n][m] * vol.T[static_cast<size_t>(sp.stencil[n][m])];
    EXPECT_NEAR(sum, f(g[0], g[1], g[2]), 1e-9) << "sample " << n;
    EXPECT_NEAR(value, f(g[0], g[1], g[2]), 6e-6);
    ++checked;
  }
  EXPECT_GT(checked, 30);
}

TEST(SamplingPlane, UniformFlowGivesUnitSpeed) {
  auto s = makeDomain();
  setUniformFlow(*s, {1, 0, 0});
  CoreError error;
  setPlane(s->samplingPlane, 1, {-5, -5, 0.3}, {5, 5, 0}, 7, 7, 0);
  ASSERT_TRUE(computeSamplingPlane(*s, &error)) << error;
  sampleVelocities(*s);
  const SamplingPlane& sp = s->samplingPlane;
  int inside = 0;
  for (size_t n = 0; n < sp.donorVolume.size(); ++n) {
    if (sp.donorVolume[n] < 0) {
      EXPECT_EQ(sp.sampleU[n], 0.0);
      continue;
    }
    ++inside;
    EXPECT_NEAR(sp.sampleU[n], 1.0, 1e-10);
    EXPECT_NEAR(sp.sampleV[n], 0.0, 1e-10);
    EXPECT_NEAR(sp.sampleW[n], 0.0, 1e-10);
  }
  EXPECT_GT(inside, 40);
}

TEST(SamplingPlane, ExportWritesTheFourFilesCharacterForCharacter) {
  auto s = makeDomain();
  setUniformFlow(*s, {0.6, 0, -0.8});  // speed 1
  CoreError error;
  // XZ plane at y = 0.25: sample 0 at (1.25, 0.25, 0.5) is in the domain,
  // sample 1 at (1.25, 0.25, 20.5) is beyond the outer radius.
  setPlane(s->samplingPlane, 2, {1, 0.25, -9.5}, {1.5, 0, 30.5}, 0, 0, 1);
  ASSERT_TRUE(computeSamplingPlane(*s, &error)) << error;
  ASSERT_GE(s->samplingPlane.donorVolume[0], 0);
  ASSERT_EQ(s->samplingPlane.donorVolume[1], -1);
  ScratchDir dir;
  fs::create_directory(dir.path() / "Winsurf_files");  // an existing folder is reused
  std::ofstream(dir.path() / "Winsurf_files" / "T.dat") << "old content that is longer\n";
  ASSERT_TRUE(exportWinsurf(*s, dir.path().string(), &error)) << error;
  const std::string expected = "1.25000 0.50000 1.00000 \n1.25000 20.50000 -1.00000 \n";
  for (const char* name : {"T.dat", "p.dat", "ro.dat", "velocity.dat"})
    EXPECT_EQ(readFile(dir.path() / "Winsurf_files" / name), expected) << name;
  EXPECT_EQ(s->samplingPlane.sampleU[1], 0.0);
  EXPECT_NEAR(s->samplingPlane.sampleU[0], 0.6, 1e-10);
  EXPECT_NEAR(s->samplingPlane.sampleW[0], -0.8, 1e-10);

  // Choosing another orientation box does not move the samples; until the
  // next "Вычислить" the files keep the coordinates of the computed plane.
  s->samplingPlane.plane = 1;
  ASSERT_TRUE(exportWinsurf(*s, dir.path().string(), &error)) << error;
  EXPECT_EQ(readFile(dir.path() / "Winsurf_files" / "T.dat"), expected);
}

TEST(SamplingPlane, PlaneOutsideAllVolumesExportsMinusOne) {
  auto s = makeDomain();
  setUniformFlow(*s, {1, 0, 0});
  CoreError error;
  setPlane(s->samplingPlane, 3, {50, -1, -1}, {0, 1, 1}, 0, 2, 2);  // far beyond the domain
  ASSERT_TRUE(computeSamplingPlane(*s, &error)) << error;
  ScratchDir dir;
  ASSERT_TRUE(exportWinsurf(*s, dir.path().string(), &error)) << error;
  for (const char* name : {"T.dat", "p.dat", "ro.dat", "velocity.dat"}) {
    std::ifstream in(dir.path() / "Winsurf_files" / name);
    int lines = 0;
    double a, b, value;
    while (in >> a >> b >> value) {
      EXPECT_EQ(value, -1.0) << name;
      ++lines;
    }
    EXPECT_EQ(lines, 9) << name;
  }
}

TEST(SamplingPlane, ExportRefusesBeforeComputeAndAfterNewCreate) {
  auto s = makeDomain();
  setUniformFlow(*s, {1, 0, 0});
  ScratchDir dir;
  CoreError error;
  EXPECT_FALSE(samplingPlaneValid(*s));
  EXPECT_FALSE(exportWinsurf(*s, dir.path().string(), &error));
  EXPECT_EQ(error.code, ErrorCode::kPlaneNotComputed) << error;

  setPlane(s->samplingPlane, 1, {1, 1, 0.2}, {3, 3, 0}, 2, 2, 0);
  ASSERT_TRUE(computeSamplingPlane(*s, &error)) << error;
  EXPECT_TRUE(samplingPlaneValid(*s));

  DomainInputs coarse;
  coarse.D = toSingle(15.0);
  coarse.s = toSingle(0.02);
  coarse.nx = 9;
  coarse.ny = coarse.nz = 6;
  ASSERT_TRUE(createDomain(*s, coarse, &error)) << error;
  EXPECT_FALSE(samplingPlaneValid(*s));
  error = CoreError{};
  EXPECT_FALSE(exportWinsurf(*s, dir.path().string(), &error));
  EXPECT_EQ(error.code, ErrorCode::kPlaneStale) << error;
  EXPECT_FALSE(fs::exists(dir.path() / "Winsurf_files"));
  // The renderer's entry point leaves the stale samples alone.
  s->samplingPlane.sampleU.assign(s->samplingPlane.sampleU.size(), 42.0);
  sampleVelocities(*s);
  EXPECT_EQ(s->samplingPlane.sampleU[0], 42.0);

  ASSERT_TRUE(computeSamplingPlane(*s, &error)) << error;
  EXPECT_TRUE(exportWinsurf(*s, dir.path().string(), &error)) << error;
}

// Open replaces the volumes just as Create does: stencils computed on the
// previous case must not be applied to the loaded one.
TEST(SamplingPlane, ExportRefusesAfterOpeningAnotherCase) {
  ScratchDir dir;
  CoreError error;
  const std::string folder = (dir.path() / "coarse").string();
  ASSERT_TRUE(saveCase(*makeDomain(9, 6, 6), folder, &error)) << error;

  auto s = makeDomain();
  setUniformFlow(*s, {1, 0, 0});
  setPlane(s->samplingPlane, 1, {1, 1, 0.2}, {3, 3, 0}, 2, 2, 0);
  ASSERT_TRUE(computeSamplingPlane(*s, &error)) << error;
  ASSERT_TRUE(loadCase(*s, folder, &error)) << error;
  EXPECT_FALSE(samplingPlaneValid(*s));
  s->samplingPlane.sampleU.assign(s->samplingPlane.sampleU.size(), 42.0);
  sampleVelocities(*s);
  EXPECT_EQ(s->samplingPlane.sampleU[0], 42.0);
  EXPECT_FALSE(exportWinsurf(*s, dir.path().string(), &error));
  EXPECT_FALSE(fs::exists(dir.path() / "Winsurf_files"));

  ASSERT_TRUE(computeSamplingPlane(*s, &error)) << error;
  EXPECT_TRUE(exportWinsurf(*s, dir.path().string(), &error)) << error;
}

TEST(SamplingPlane, ExportReportsAFolderItCannotCreate) {
  auto s = makeDomain();
  CoreError error;
  setPlane(s->samplingPlane, 1, {1, 1, 0.2}, {3, 3, 0}, 1, 1, 0);
  ASSERT_TRUE(computeSamplingPlane(*s, &error)) << error;
  ScratchDir dir;
  std::ofstream(dir.path() / "Winsurf_files") << "a file in the way\n";
  EXPECT_FALSE(exportWinsurf(*s, dir.path().string(), &error));
  EXPECT_EQ(error.code, ErrorCode::kFolderNotCreated) << error;
  EXPECT_EQ(error.file, (dir.path() / "Winsurf_files").string()) << error;
}

TEST(SamplingPlane, DonorWithoutUsablePointsGivesNoSample) {
  auto s = makeDomain();
  CoreError error;
  setPlane(s->samplingPlane, 3, {2, -0.5, -0.5}, {0, 0.5, 0.5}, 0, 1, 1);  // in volume 0 only
  ASSERT_TRUE(computeSamplingPlane(*s, &error)) << error;
  for (int d : s->samplingPlane.donorVolume) EXPECT_EQ(d, 0);
  // Only nine points of volume 0 keep a positive type: no complete basis.
  FiniteVolume& vol = s->volumes[0];
  int kept = 0;
  for (auto& t : vol.type_point) t = (t > 0 && kept++ < 9) ? t : 0;
  ASSERT_TRUE(computeSamplingPlane(*s, &error)) << error;
  for (int d : s->samplingPlane.donorVolume) EXPECT_EQ(d, -1);
}

// The fast search gives the stencils and weights of the plain search, bit for
// bit, at random points of the domain and near its borders.
TEST(SamplingPlane, FastStencilEqualsLiteralSearch) {
  auto s = makeDomain();
  std::mt19937 rng(12345);
  std::uniform_real_distribution<double> coord(-7.6, 7.6);
  PostStencilSearch search;
  int compared = 0;
  for (int trial = 0; trial < 400 && compared < 120; ++trial) {
    Vec3 p{coord(rng), coord(rng), coord(rng)};
    if (trial % 4 == 0) {  // pull some points close to the sphere
      const double r = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
      for (double& c : p) c *= 0.52 / r;
    }
    const int donor = literal::donorVolume(*s, p);
    ASSERT_EQ(findDonorVolume(*s, p), donor);
    if (donor < 0) continue;
    const FiniteVolume& vol = s->volumes[static_cast<size_t>(donor)];
    std::array<int, 10> st1, st2;
    std::array<double, 10> w1, w2;
    const bool ok1 = literal::stencil(vol, p, st1, w1);
    const bool ok2 = search.find(vol, p, st2, w2);
    ASSERT_EQ(ok1, ok2);
    ASSERT_TRUE(ok1);
    EXPECT_EQ(st1, st2) << "point " << p[0] << " " << p[1] << " " << p[2];
    EXPECT_EQ(0, std::memcmp(w1.data(), w2.data(), sizeof(double) * 10));
    ++compared;
  }
  EXPECT_GE(compared, 100);
}

// The plane's stencils (computed in parallel, each thread remembering rank
// tests across its samples) equal the plain search sample by sample, on a
// grid with other cell counts.
TEST(SamplingPlane, PlaneStencilsEqualLiteralSearchOnAnotherGrid) {
  auto s = makeDomain(11, 8, 6);
  CoreError error;
  setPlane(s->samplingPlane, 2, {-4, 0.35, -4}, {4, 0, 4}, 14, 0, 14);
  ASSERT_TRUE(computeSamplingPlane(*s, &error)) << error;
  const SamplingPlane& sp = s->samplingPlane;
  int inside = 0;
  for (size_t n = 0; n < sp.donorVolume.size(); ++n) {
    const Vec3 p{sp.positions[3 * n], sp.positions[3 * n + 1], sp.positions[3 * n + 2]};
    ASSERT_EQ(sp.donorVolume[n], literal::donorVolume(*s, p)) << "sample " << n;
    if (sp.donorVolume[n] < 0) continue;
    ++inside;
    std::array<int, 10> st;
    std::array<double, 10> w;
    ASSERT_TRUE(literal::stencil(s->volumes[static_cast<size_t>(sp.donorVolume[n])], p, st, w));
    EXPECT_EQ(sp.stencil[n], st) << "sample " << n;
    EXPECT_EQ(0, std::memcmp(sp.weights[n].data(), w.data(), sizeof(double) * 10)) << "sample " << n;
  }
  EXPECT_GT(inside, 150);
}

}  // namespace
}  // namespace brelvik
