// The VTK writer's binary layout and its failures, and the history files.
// (VTK's own readers check the files in tests/post/vtk_oracle.py.)

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "post/history_export.h"
#include "post/vtk_export.h"
#include "post_fixture.h"

using namespace brelvik;
namespace fs = std::filesystem;

namespace {

fs::path tempDir() {
  return fs::temp_directory_path() / ("brelvik_vtk_test_" + std::to_string(getpid()));
}

class RemoveTempDir : public ::testing::Environment {
 public:
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(tempDir(), ec);
  }
};
::testing::Environment* const kRemoveTempDir =
    ::testing::AddGlobalTestEnvironment(new RemoveTempDir);

std::string tempPath(const std::string& name) {
  fs::create_directories(tempDir());
  return (tempDir() / name).string();
}

std::string fileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

// The pressure array sits at the offset its DataArray names, after the "_"
// that starts the appended block, behind a UInt64 byte count, bit for bit.
TEST(VtkExport, ArraysFollowTheirSizeHeaderAtTheNamedOffset) {
  auto s = brelvik::testing::makeDomain(6, 4, 4);
  brelvik::testing::setFlow(*s, [](const Vec3& X) { return Vec3{X[0], -X[2], 0.5}; },
                   [](double xi, double eta, double zeta) { return 1 + xi + 0.1 * eta * zeta; });
  const FiniteVolume& vol = s->volumes[2];
  const std::string path = tempPath("volume.vts");
  CoreError error;
  ASSERT_TRUE(writeVolumeVts(vol, 0.25, path, &error)) << error;
  const std::string text = fileText(path);
  EXPECT_NE(text.find("byte_order=\"LittleEndian\" header_type=\"UInt64\""), std::string::npos);
  EXPECT_NE(text.find("WholeExtent=\"0 " + std::to_string(vol.Nz) + " 0 " +
                      std::to_string(vol.Ny) + " 0 " + std::to_string(vol.Nx) + "\""),
            std::string::npos);
  const size_t tag = text.find("Name=\"pressure\"");
  ASSERT_NE(tag, std::string::npos);
  const size_t offsetAt = text.find("offset=\"", tag) + 8;
  const size_t offset = std::stoul(text.substr(offsetAt));
  const size_t block = text.find("<AppendedData encoding=\"raw\">\n_") + 31;
  uint64_t bytes = 0;
  std::memcpy(&bytes, text.data() + block + offset, sizeof bytes);
  const size_t n = size_t(vol.pointCount());
  ASSERT_EQ(bytes, n * sizeof(double));
  std::vector<double> P(n);
  std::memcpy(P.data(), text.data() + block + offset + sizeof bytes, bytes);
  EXPECT_EQ(P, std::vector<double>(vol.P.begin(), vol.P.begin() + long(n)));
}

// A file larger than the file-size limit fails like a full disk: the call
// reports the file, leaves neither it nor its temporary behind, and an
// earlier complete file of that name survives untouched.
TEST(VtkExport, AFullDiskNamesTheFileAndKeepsTheEarlierFile) {
  auto s = brelvik::testing::makeDomain(6, 4, 4);
  brelvik::testing::setUniformFlow(*s, {1, 0, 0});
  const std::string path = tempPath("full.vts");
  CoreError error;
  ASSERT_TRUE(writeVolumeVts(s->volumes[0], 0, path, &error)) << error;
  const std::string before = fileText(path);

  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 4096;
  setrlimit(RLIMIT_FSIZE, &small);
  const bool written = writeVolumeVts(s->volumes[0], 1, path, &error);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previous);

  EXPECT_FALSE(written);
  EXPECT_EQ(error.code, ErrorCode::kFileUnwritable) << error;
  EXPECT_EQ(error.file, path) << error;  // the final name, not the temporary
  EXPECT_FALSE(error.detail.empty()) << error;  // the system's reason
  EXPECT_EQ(fileText(path), before);
  EXPECT_FALSE(fs::exists(path + ".tmp"));
}

// Sample steps of a continued run, the CSV columns, and the residual panel
// of the plot only when there are residuals (values that are not positive
// break the log-scale line instead of becoming NaN coordinates).
TEST(HistoryExport, StepsColumnsAndTheResidualPanel) {
  // 3 samples every 10 steps, 4 steps after the last: steps 14, 24, 34 of 38.
  EXPECT_EQ(historySampleSteps(38, 4, 10, 3), (std::vector<int>{14, 24, 34}));

  HistoryTable h;
  h.step = {10, 20};
  h.time = {0.01, 0.02};
  h.Cx = {1.5, 1.25};
  h.Cp = {1.0, 0.75};
  h.Cf = {0.5, 0.5};
  const std::string csv = tempPath("h.csv");
  CoreError error;
  ASSERT_TRUE(writeHistoryCsv(h, csv, &error)) << error;
  EXPECT_EQ(fileText(csv), "step,time,Cx,Cp,Cf\n10,0.01,1.5,1,0.5\n20,0.02,1.25,0.75,0.5\n");
  const std::string plain = historySvg(h);
  EXPECT_NE(plain.find(">Cx</text>"), std::string::npos);
  EXPECT_NE(plain.find(">time t</text>"), std::string::npos);
  EXPECT_EQ(plain.find("res_ro"), std::string::npos);

  h.residual = {{1e-2, 1e-3, 0.0, 1e-4, 1e-5}, {1e-3, 1e-4, 1e-5, 1e-6, 1e-7}};
  ASSERT_TRUE(writeHistoryCsv(h, csv, &error)) << error;
  EXPECT_EQ(fileText(csv).substr(0, fileText(csv).find('\n')),
            "step,time,Cx,Cp,Cf,res_ro,res_u,res_v,res_w,res_T");
  const std::string withResiduals = historySvg(h);
  EXPECT_NE(withResiduals.find(">res_T</text>"), std::string::npos);
  EXPECT_NE(withResiduals.find(">residual (log scale)</text>"), std::string::npos);
  EXPECT_NE(withResiduals.find("10<tspan dy=\"-6\" font-size=\"9\">-7</tspan>"), std::string::npos);
  EXPECT_EQ(withResiduals.find("nan"), std::string::npos);
}
