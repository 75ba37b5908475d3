// The far-field file beside the global state file.

#include <gtest/gtest.h>

#include <filesystem>

#include "core_error_print.h"
#include "io/far_field_file.h"
#include "io/result_folder.h"
#include "io_test_util.h"

using namespace brelvik;
using namespace brelvik::testing_io;

TEST(FarFieldFile, RoundTripsAndAFolderWithoutItOpensReflectingAndDamageIsRefused) {
  SimulationState s;
  s.farField = FarField::Absorbing;
  s.stepCount = 3;
  const std::string dir = freshDir("far_field_case");
  CoreError error;
  ASSERT_TRUE(saveCase(s, dir, &error)) << error;
  const std::string file = dir + "/" + kFarFieldFileName;
  EXPECT_EQ(readAll(file), "far_field absorbing\n");

  SimulationState t;
  ASSERT_TRUE(loadCase(t, dir, &error)) << error;
  EXPECT_EQ(t.farField, FarField::Absorbing);
  // As written while the ramp existed: still opens.
  writeAll(file, "far_field absorbing\nramp 2.5\n");
  t.farField = FarField::Reflecting;
  ASSERT_TRUE(loadCase(t, dir, &error)) << error;
  EXPECT_EQ(t.farField, FarField::Absorbing);

  // Damaged files: refused with the file named, and the case stays as it was.
  for (const char* text : {"far_field sideways\nramp 0\n", "far_field absorbing\nramp\n",
                           "far_field absorbing\nramp -1\n", "far_field absorbing\nramp 1x\n",
                           "ramp 0\nfar_field absorbing\n", "far_field absorbing\nramp 0\n7\n"}) {
    writeAll(file, text);
    t.stepCount = 99;
    error = CoreError{};
    EXPECT_FALSE(loadCase(t, dir, &error)) << text;
    EXPECT_NE(error.detail.find(file), std::string::npos) << error;
    EXPECT_EQ(t.stepCount, 99);
    EXPECT_EQ(t.farField, FarField::Absorbing);
  }

  // A folder written before the file existed: reflecting.
  std::filesystem::remove(file);
  ASSERT_TRUE(loadCase(t, dir, &error)) << error;
  EXPECT_EQ(t.farField, FarField::Reflecting);
  EXPECT_EQ(t.stepCount, 3);
}
