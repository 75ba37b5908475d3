// A case saved and opened by several processes that each hold some planes
// of every volume (result_folder.h), played here by one process taking the
// parts in turn.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "core_error_print.h"
#include "io/result_folder.h"
#include "io/staged_folder.h"
#include "io_test_util.h"

using namespace brelvik;
using namespace brelvik::testing_io;
namespace fs = std::filesystem;

namespace {

// Two "processes" splitting every volume's planes (runs of planes, not
// whole volumes, and different in each volume).
bool firstHalf(int volume, int plane) { return plane <= 1 + volume; }
bool secondHalf(int volume, int plane) { return !firstHalf(volume, plane); }

}  // namespace

// Every slice written by the process that selects it, the rest by the one
// that begins and finishes: the bytes of the one-process save. Read back
// with one process's selection, its flow planes hold the saved bits and
// the others NaN; the grid is read whole.
TEST(SharedSave, PlanesSplitAmongProcessesGiveTheOneProcessFolderAndReadBackTheirOwn) {
  SimulationState s;
  fillCase(s, 3, 5, 3, 4);
  const std::string one = freshDir("one"), shared = freshDir("shared");
  CoreError error;
  ASSERT_TRUE(saveCase(s, one, &error)) << error;
  ASSERT_TRUE(beginSharedSave(s, shared, &error)) << error;
  ASSERT_TRUE(saveCasePlanes(s, shared, secondHalf, &error)) << error;
  ASSERT_TRUE(saveCasePlanes(s, shared, firstHalf, &error)) << error;
  ASSERT_TRUE(finishSharedSave(s, shared, &error)) << error;
  EXPECT_EQ(snapshot(shared), snapshot(one));
  EXPECT_FALSE(fs::exists(shared + ".saving"));

  SimulationState t;
  int volumesSeen = 0;
  ASSERT_TRUE(loadCase(t, shared,
                       [&](const std::vector<FiniteVolume>& volumes, int) {
                         volumesSeen = int(volumes.size());
                         return PlaneSelection(firstHalf);
                       },
                       &error))
      << error;
  EXPECT_EQ(volumesSeen, 3);
  SimulationState whole;
  ASSERT_TRUE(loadCase(whole, shared, &error)) << error;
  for (int v = 0; v < 3; ++v) {
    const FiniteVolume& a = whole.volumes[size_t(v)];
    const FiniteVolume& b = t.volumes[size_t(v)];
    EXPECT_EQ(0, std::memcmp(a.point_loc.data(), b.point_loc.data(),
                             a.point_loc.size() * sizeof(double)));
    for (const auto& [x, y] : {std::pair{&a.u, &b.u}, {&a.P, &b.P}, {&a.w_glob, &b.w_glob}})
      for (int n = 0; n < int(x->size()); ++n) {
        const int plane = n / a.stride_i;
        if (firstHalf(v, plane))
          ASSERT_EQ(0, std::memcmp(&(*x)[size_t(n)], &(*y)[size_t(n)], sizeof(double)))
              << "volume " << v << " point " << n;
        else
          ASSERT_TRUE(std::isnan((*y)[size_t(n)])) << "volume " << v << " point " << n;
      }
  }
}

// A process that cannot see the folder being saved writes nothing and names
// its first slice; slices missing at the end (a process wrote them
// elsewhere) stop the swap. Either way the previous case stays as it was.
TEST(SharedSave, SlicesNotWrittenIntoTheStagingFolderLeaveThePreviousCase) {
  SimulationState before, after;
  fillCase(before, 2, 4, 3, 3, 1);
  fillCase(after, 2, 4, 3, 3, 2);
  const std::string dir = freshDir("previous");
  CoreError error;
  ASSERT_TRUE(saveCase(before, dir, &error)) << error;
  const auto saved = snapshot(dir);

  EXPECT_FALSE(saveCasePlanes(after, dir, secondHalf, &error));
  EXPECT_NE(error.detail.find(dir + ".saving/volume_1/u/2.txt"), std::string::npos) << error;
  EXPECT_FALSE(fs::exists(dir + ".saving"));

  ASSERT_TRUE(beginSharedSave(after, dir, &error)) << error;
  ASSERT_TRUE(saveCasePlanes(after, dir, firstHalf, &error)) << error;
  EXPECT_FALSE(finishSharedSave(after, dir, &error));
  EXPECT_NE(error.detail.find(dir + ".saving/volume_1/u/2.txt: file is missing"),
            std::string::npos)
      << error;
  EXPECT_EQ(snapshot(dir), saved);
  EXPECT_FALSE(fs::exists(dir + ".saving"));

  // Another process failed: the one that began removes the staging folder.
  ASSERT_TRUE(beginSharedSave(after, dir, &error)) << error;
  abandonSharedSave(dir);
  EXPECT_EQ(snapshot(dir), saved);
  EXPECT_FALSE(fs::exists(dir + ".saving"));
}
