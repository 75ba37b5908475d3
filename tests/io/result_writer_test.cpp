#include <gtest/gtest.h>

#include <filesystem>

#include <map>

#include "core_error_print.h"
#include "io/result_folder.h"
#include "io/staged_folder.h"
#include "io_test_util.h"

using namespace brelvik;
using namespace brelvik::testing_io;
namespace fs = std::filesystem;

TEST(ResultWriter, FolderSavedBeforeCreateHoldsGlobalFileAndEmptySeries) {
  SimulationState s;
  const std::string dir = freshDir("before_create");
  CoreError error;
  ASSERT_TRUE(saveCase(s, dir, &error)) << error;

  int entries = 0;
  for (auto& e : fs::directory_iterator(dir)) {
    ++entries;
    EXPECT_TRUE(e.is_regular_file()) << e.path();
  }
  EXPECT_EQ(entries, 6);  // the five specified files and far_field.txt
  EXPECT_EQ(readAll(dir + "/far_field.txt"), "far_field reflecting\n");
  for (const char* name : {"m_Cx.txt", "m_Cp.txt", "m_Cf.txt", "m_time.txt"})
    EXPECT_EQ(readAll(dir + "/" + name), "0 \n") << name;

  const auto all = lines(readAll(dir + "/all.txt"));
  ASSERT_EQ(all.size(), 20u);
  EXPECT_EQ(all[0], "0.0000000000000000 ");   // physicalTime
  EXPECT_EQ(all[1], "0 ");                    // stepCount
  EXPECT_EQ(all[2], "2 ");                    // schemeOrder
  EXPECT_EQ(all[3], "0.0010000000000000 ");   // dt
  EXPECT_EQ(all[4], "1.4 ");                  // k, one decimal
  EXPECT_EQ(all[5], "100.0000000000000000 ");  // Re
  EXPECT_EQ(all[6], "0.6000000000000000 ");   // M
  EXPECT_EQ(all[7], "1.0000000000000000 ");   // Pr
  EXPECT_EQ(all[8], "0 ");                    // volumeCount
  EXPECT_EQ(all[15], "10 ");                  // historyInterval
  EXPECT_EQ(all[19], "1 ");                   // domainReady
}

TEST(ResultWriter, GlobalFileKeepsOneDecimalOfKAndSixteenOfTheRest) {
  SimulationState s;
  s.k = 1.667;
  s.Cx = 0.12345678901234567;
  s.stepCount = 42;
  s.historyCounter = 3;
  s.gridCreated = 1;
  const std::string dir = freshDir("k_decimal");
  CoreError error;
  ASSERT_TRUE(saveCase(s, dir, &error)) << error;
  const auto all = lines(readAll(dir + "/all.txt"));
  ASSERT_EQ(all.size(), 20u);
  EXPECT_EQ(all[4], "1.7 ");
  EXPECT_EQ(all[11], "0.1234567890123457 ");
  EXPECT_EQ(all[1], "42 ");
  EXPECT_EQ(all[14], "3 ");
  EXPECT_EQ(all[16], "1 ");
  EXPECT_EQ(all[17], "0 ");
}

TEST(ResultWriter, VolumeStateFileHas154LinesWithColourBeforeAxesAndOriginAfter) {
  SimulationState s;
  fillCase(s, 1, 4, 3, 3);
  const std::string dir = freshDir("volume_state");
  CoreError error;
  ASSERT_TRUE(saveCase(s, dir, &error)) << error;
  const auto v = lines(readAll(dir + "/volume_1/all.txt"));
  ASSERT_EQ(v.size(), 154u);
  EXPECT_EQ(v[0], "4 ");
  EXPECT_EQ(v[1], "3 ");
  EXPECT_EQ(v[3], "0.3500000000000000 ");  // steps_xi[0]
  // 3 sizes, 36 steps, 18 radial values, 1 + 8 + 1 + 8 reserved, 9 bounds
  // and strides, 6 box values: colour starts at line 91.
  EXPECT_EQ(v[75], "0 ");  // reserved7
  EXPECT_EQ(v[76], "1 ");  // i_begin
  EXPECT_EQ(v[77], "3 ");  // i_end
  EXPECT_EQ(v[82], "16 ");  // stride_i
  EXPECT_EQ(v[83], "4 ");   // stride_j
  EXPECT_EQ(v[90], "255.0000000000000000 ");  // color
  EXPECT_EQ(v[91], "128.0000000000000000 ");
  EXPECT_EQ(v[93], "0.0000000000000000 ");    // axis_x = (0, 0, -1)
  EXPECT_EQ(v[95], "-1.0000000000000000 ");
  EXPECT_EQ(v[102], "0.2500000000000000 ");   // origin
  EXPECT_EQ(v[103], "-0.1250000000000000 ");
  EXPECT_EQ(v[105], "1 ");   // face_wall[0]
  EXPECT_EQ(v[122], "0 ");   // face_offset[5]
  EXPECT_EQ(v[123], "2 ");   // kind
  EXPECT_EQ(v[125], "10 ");  // stencil_size
  EXPECT_EQ(v[127], "0 ");   // index
  EXPECT_EQ(v[128], "4 ");   // plane_count
  EXPECT_EQ(v[153], "1 ");   // allocated
  // Tiny powers of the steps keep only the 16 decimals of fixed notation.
  EXPECT_EQ(v[3 + 10].substr(0, 16), "0.00002758547353");  // 0.35^10
  EXPECT_EQ(v[3 + 10].size(), 19u);
}

TEST(ResultWriter, SliceFilesAreTablesOfNyPlusOneRowsWithSeventeenDigits) {
  SimulationState s;
  fillCase(s, 1, 3, 2, 4);
  FiniteVolume& vol = s.volumes[0];
  vol.u[pointIndex(vol, 2, 1, 3)] = 0.5;
  vol.point_glob[3 * pointIndex(vol, 1, 2, 0) + 1] = -2.0;
  vol.type_point[pointIndex(vol, 0, 1, 1)] = 3;
  const std::string dir = freshDir("slices");
  CoreError error;
  ASSERT_TRUE(saveCase(s, dir, &error)) << error;

  const auto u2 = lines(readAll(dir + "/volume_1/u/2.txt"));
  ASSERT_EQ(u2.size(), 4u);
  EXPECT_EQ(u2[0], "3 5 ");
  // Row 1, column 3: every value is "%.16le " so column 3 is the 4th field.
  std::stringstream row(u2[2]);
  std::string field;
  for (int c = 0; c <= 3; ++c) row >> field;
  EXPECT_EQ(field, "5.0000000000000000e-01");
  EXPECT_EQ(u2[2].back(), ' ');

  const auto gy = lines(readAll(dir + "/volume_1/point_glob/y/1.txt"));
  ASSERT_EQ(gy.size(), 4u);
  EXPECT_EQ(gy[3].substr(0, 24), "-2.0000000000000000e+00 ");
  const auto t0 = lines(readAll(dir + "/volume_1/type_point/0.txt"));
  std::stringstream trow(t0[2]);
  trow >> field >> field;
  EXPECT_EQ(field, "3.0000000000000000e+00");
}

TEST(ResultWriter, FileCountsPerFolderForNx12) {
  SimulationState s;
  fillCase(s, 6, 12, 2, 2);
  const std::string dir = freshDir("counts");
  CoreError error;
  ASSERT_TRUE(saveCase(s, dir, &error)) << error;
  for (int v = 1; v <= 6; ++v) {
    const std::string vdir = dir + "/volume_" + std::to_string(v);
    for (const char* f : {"u", "v", "w", "P", "ro", "T", "div", "vixr", "u_glob", "v_glob",
                          "w_glob", "type_point"})
      EXPECT_EQ(countFiles(vdir + "/" + f), 13) << vdir << "/" << f;
    for (const char* f : {"point_loc", "point_glob"}) {
      int total = 0;
      for (const char* c : {"x", "y", "z"}) total += countFiles(vdir + "/" + f + "/" + c);
      EXPECT_EQ(total, 39) << f;
      EXPECT_EQ(countFiles(vdir + "/" + f), 0);
    }
    EXPECT_EQ(countFiles(vdir + "/interpol_data"), 1);
    EXPECT_TRUE(fs::exists(vdir + "/interpol_data/interpol_data.txt"));
    EXPECT_EQ(countFiles(vdir), 1);  // all.txt
  }
  EXPECT_FALSE(fs::exists(dir + "/volume_7"));
}

TEST(ResultWriter, UnallocatedVolumeGetsOnlyItsStateFile) {
  SimulationState s;
  fillCase(s, 2, 3, 2, 2);
  releaseArrays(s.volumes[1]);
  s.volumes[1].allocated = 0;
  const std::string dir = freshDir("unallocated");
  CoreError error;
  ASSERT_TRUE(saveCase(s, dir, &error)) << error;
  int entries = 0;
  for (auto& e : fs::directory_iterator(dir + "/volume_2")) {
    ++entries;
    EXPECT_EQ(e.path().filename(), "all.txt");
  }
  EXPECT_EQ(entries, 1);
  EXPECT_EQ(lines(readAll(dir + "/volume_2/all.txt")).back(), "0 ");
  EXPECT_TRUE(fs::exists(dir + "/volume_1/u/3.txt"));
}

TEST(ResultWriter, InterpolationRecordsOnlyForInterpolatedPointsInIndexOrder) {
  SimulationState s;
  fillCase(s, 2, 2, 2, 1);
  FiniteVolume& vol = s.volumes[0];
  // Make the pattern explicit: (0,0,0) ready, (0,0,1) not ready, all other
  // points of type <= 3 except (2,2,1), type 5, not ready.
  for (auto& t : vol.type_point) t = 3;
  vol.type_point[pointIndex(vol, 0, 0, 0)] = 4;
  vol.type_point[pointIndex(vol, 0, 0, 1)] = 4;
  vol.type_point[pointIndex(vol, 2, 2, 1)] = 5;
  InterpolEntry& a = vol.interpol_data[pointIndex(vol, 0, 0, 0)];
  a.ready = 1;
  a.donor = 1;
  a.cell_i = 1;
  a.cell_j = 1;
  a.cell_k = 0;
  a.donor_points.reset(new int[10]);
  a.weights.reset(new double[10]);
  for (int m = 0; m < 10; ++m) {
    a.donor_points[m] = m + 2;
    a.weights[m] = 0.1 * m - 0.123456789012345678;
  }
  InterpolEntry& b = vol.interpol_data[pointIndex(vol, 0, 0, 1)];
  b.ready = 0;
  b.donor = 1;
  b.donor_points.reset();
  b.weights.reset();
  InterpolEntry& c = vol.interpol_data[pointIndex(vol, 2, 2, 1)];
  c.ready = 0;
  c.donor_points.reset();
  c.weights.reset();
  c.donor = 1;
  c.cell_i = 2;
  c.cell_j = 3;
  c.cell_k = 4;

  const std::string dir = freshDir("interpol");
  CoreError error;
  ASSERT_TRUE(saveCase(s, dir, &error)) << error;
  const auto l = lines(readAll(dir + "/volume_1/interpol_data/interpol_data.txt"));
  ASSERT_EQ(l.size(), 26u + 6u + 6u);
  EXPECT_EQ(l[0], "(0,0,0) ");
  EXPECT_EQ(l[1], "1 ");  // ready first
  EXPECT_EQ(l[2], "1 ");  // donor
  EXPECT_EQ(l[5], "0 ");  // cell_k
  EXPECT_EQ(l[6], "2 ");  // first donor point
  EXPECT_EQ(l[15], "11 ");
  EXPECT_EQ(l[16], "-0.1234567890123457 ");  // weights: 16 decimals
  EXPECT_EQ(l[26], "(0,0,1) ");
  EXPECT_EQ(l[27], "0 ");
  EXPECT_EQ(l[32], "(2,2,1) ");
  EXPECT_EQ(l[33], "0 ");
  EXPECT_EQ(l[34], "1 ");
  EXPECT_EQ(l[37], "4 ");
}

TEST(ResultWriter, UnwritableTargetIsReportedWithItsPath) {
  SimulationState s;
  fillCase(s, 1, 2, 2, 2);
  const std::string base = freshDir("unwritable");
  fs::create_directories(base);
  // A plain file where the folder should go: no user, root included, can
  // create a folder below it.
  writeAll(base + "/blocker", "x");
  CoreError error;
  EXPECT_FALSE(saveCase(s, base + "/blocker/save", &error));
  EXPECT_NE(error.detail.find(base + "/blocker/save"), std::string::npos) << error;

}

// A save that fails at any file, or at the final swap, leaves the previous
// case byte for byte as it was (user files in the folder included) and no
// staging folder behind; a save that succeeds replaces it.
TEST(ResultWriter, SaveFailingAtAnyWritePointLeavesThePreviousCaseUnchanged) {
  SimulationState a, b;
  fillCase(a, 2, 2, 2, 2, 1);
  fillCase(b, 3, 3, 2, 2, 2);
  b.stepCount = 555;
  const std::string dir = freshDir("atomic");
  CoreError error;
  ASSERT_TRUE(saveCase(a, dir, &error)) << error;
  writeAll(dir + "/notes.md", "the user's own notes");
  const auto before = snapshot(dir);

  // Every file and the final swap are write points; a save succeeds
  // exactly when the fault comes after the last one. Count them by bisection.
  int failsAt = 0, succeedsAt = 4096;
  while (succeedsAt - failsAt > 1) {
    const int mid = (failsAt + succeedsAt) / 2;
    io_detail::setWriteFaultForTesting(mid);
    const bool saved = saveCase(b, freshDir("count"), nullptr);
    io_detail::setWriteFaultForTesting(-1);
    (saved ? succeedsAt : failsAt) = mid;
  }
  const int points = succeedsAt;
  ASSERT_GT(points, 100);
  // The first files (the first volume folder), some inside every volume,
  // the global file and the histories at the end, and the swap.
  std::vector<int> faults = {0, 1, 2};
  for (int p = points / 5; p < points - 6; p += points / 5) faults.push_back(p);
  for (int p = points - 6; p < points - 1; p += 2) faults.push_back(p);
  faults.push_back(points - 1);
  for (int point : faults) {
    SCOPED_TRACE(point);
    io_detail::setWriteFaultForTesting(point);
    error = CoreError{};
    EXPECT_FALSE(saveCase(b, dir, &error));
    io_detail::setWriteFaultForTesting(-1);
    EXPECT_NE(error.detail.find(dir), std::string::npos) << error;
    EXPECT_EQ(snapshot(dir), before);
    EXPECT_FALSE(fs::exists(dir + ".saving"));
  }

  ASSERT_TRUE(saveCase(b, dir, &error)) << error;
  EXPECT_EQ(lines(readAll(dir + "/all.txt"))[1], "555 ");
  EXPECT_TRUE(fs::exists(dir + "/volume_3/all.txt"));
  EXPECT_EQ(readAll(dir + "/notes.md"), "the user's own notes");
  EXPECT_FALSE(fs::exists(dir + ".saving"));
}

// A folder left by a save that stopped before its swap is never opened.
TEST(ResultWriter, HalfWrittenStagingFolderIsRefusedByTheReader) {
  SimulationState a;
  fillCase(a, 1, 2, 2, 2);
  const std::string dir = freshDir("half");
  CoreError error;
  ASSERT_TRUE(saveCase(a, dir, &error)) << error;
  writeAll(dir + "/" + io_detail::kIncompleteMarker, "");
  SimulationState t;
  EXPECT_FALSE(loadCase(t, dir, &error));
  EXPECT_NE(error.detail.find(dir), std::string::npos) << error;
  EXPECT_EQ(t.volumeCount, 0);
}

TEST(ResultWriter, ExistingTreeIsOverwrittenAndExtraFoldersStay) {
  SimulationState s;
  fillCase(s, 3, 2, 2, 2);
  const std::string dir = freshDir("overwrite");
  CoreError error;
  ASSERT_TRUE(saveCase(s, dir, &error)) << error;
  fillCase(s, 2, 2, 2, 2, 99);
  s.stepCount = 5;
  ASSERT_TRUE(saveCase(s, dir, &error)) << error;
  EXPECT_EQ(lines(readAll(dir + "/all.txt"))[1], "5 ");
  EXPECT_TRUE(fs::exists(dir + "/volume_3/all.txt"));
}
