#include "state/value_series.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

using namespace brelvik;

namespace {

std::string tempPath(const std::string& name) {
  auto dir = std::filesystem::temp_directory_path() / "brelvik_series_test";
  std::filesystem::create_directories(dir);
  return (dir / name).string();
}

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void writeAll(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

uint64_t bits(double d) {
  uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

}  // namespace

TEST(ValueSeries, AppendKeepsValuesAndClearEmpties) {
  ValueSeries s;
  s.append();
  EXPECT_EQ(s.size(), 1);
  s.item(0) = 1;
  s.append();
  s.item(1) = 2;
  s.append();
  s.item(2) = 3;
  s.append();
  EXPECT_EQ(s.size(), 4);
  EXPECT_EQ(s.item(0), 1);
  EXPECT_EQ(s.item(2), 3);
  s.clear();
  s.clear();
  EXPECT_EQ(s.size(), 0);
}

TEST(ValueSeries, FileFormatIsByteExact) {
  ValueSeries s;
  s.resize(2);
  s.item(0) = 0.5;
  s.item(1) = 2;
  const std::string path = tempPath("two.txt");
  ASSERT_TRUE(s.writeText(path));
  EXPECT_EQ(readAll(path),
            "2 \n5.0000000000000000e-01 \n 2.0000000000000000e+00 \n ");
}

TEST(ValueSeries, EmptySeriesWritesZeroAndReadsBackEmpty) {
  ValueSeries s;
  const std::string path = tempPath("empty.txt");
  ASSERT_TRUE(s.writeText(path));
  EXPECT_EQ(readAll(path), "0 \n");
  ValueSeries r;
  r.resize(3);
  ASSERT_TRUE(r.readText(path));
  EXPECT_EQ(r.size(), 0);
}

TEST(ValueSeries, OddValuesRoundTripBitForBit) {
  const double values[] = {std::numeric_limits<double>::denorm_min(), 4.9e-320, 0.0, -0.0,
                           1.0 / 3.0, 1e300, -1e-300, 0.1, std::nextafter(1.0, 2.0)};
  ValueSeries s;
  for (double v : values) {
    s.append();
    s.item(s.size() - 1) = v;
  }
  const std::string path = tempPath("odd.txt");
  ASSERT_TRUE(s.writeText(path));
  ValueSeries r;
  ASSERT_TRUE(r.readText(path));
  ASSERT_EQ(r.size(), s.size());
  for (int i = 0; i < s.size(); ++i) EXPECT_EQ(bits(r.item(i)), bits(s.item(i))) << i;
}

TEST(ValueSeries, BadFilesFailAndLeaveSeriesUnchanged) {
  ValueSeries s;
  s.resize(2);
  s.item(0) = 7;
  s.item(1) = 8;
  EXPECT_FALSE(s.readText(tempPath("does_not_exist.txt")));
  const std::string truncated = tempPath("truncated.txt");
  writeAll(truncated, "3 \n1.0 \n 2.0 \n ");
  EXPECT_FALSE(s.readText(truncated));
  const std::string garbage = tempPath("garbage.txt");
  writeAll(garbage, "2 \n1.0 \n abc \n ");
  EXPECT_FALSE(s.readText(garbage));
  const std::string tooMany = tempPath("too_many.txt");
  writeAll(tooMany, "1 \n1.0 \n 2.0 \n ");
  EXPECT_FALSE(s.readText(tooMany));
  // A corrupt count far beyond the values present fails on the missing
  // values (without reserving room for the count first).
  const std::string hugeCount = tempPath("huge_count.txt");
  writeAll(hugeCount, "268435456 \n1.0 \n ");
  EXPECT_FALSE(s.readText(hugeCount));
  const std::string negative = tempPath("negative.txt");
  writeAll(negative, "-1 \n");
  EXPECT_FALSE(s.readText(negative));
  ASSERT_EQ(s.size(), 2);
  EXPECT_EQ(s.item(0), 7);
  EXPECT_EQ(s.item(1), 8);
  EXPECT_FALSE(s.writeText(tempPath("no_such_dir/x.txt")));
}

TEST(ValueSeries, ReadAcceptsThreeDigitExponents) {
  const std::string path = tempPath("wide.txt");
  writeAll(path, "2 \n1.5000000000000000e+000 \n -2.5e-005 \n ");
  ValueSeries r;
  ASSERT_TRUE(r.readText(path));
  EXPECT_EQ(r.item(0), 1.5);
  EXPECT_EQ(r.item(1), -2.5e-5);
}

TEST(ValueSeries, MinMaxKeepEarliestOnTies) {
  ValueSeries h;
  for (double v : {1.0, 3.0, 2.0}) {
    h.append();
    h.item(h.size() - 1) = v;
  }
  EXPECT_EQ(maxOfCx(h), 3.0);
  EXPECT_EQ(minOfCx(h), 1.0);
  ValueSeries z;
  for (double v : {0.0, -0.0}) {
    z.append();
    z.item(z.size() - 1) = v;
  }
  EXPECT_FALSE(std::signbit(maxOfCx(z)));
  EXPECT_FALSE(std::signbit(minOfCx(z)));
}

TEST(ValueTable, FileFormatAndRoundTrip) {
  ValueTable t(2, 3);
  double v = 1;
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < 3; ++c) t.row(r).item(c) = v++;
  const std::string path = tempPath("table.txt");
  ASSERT_TRUE(t.writeText(path));
  EXPECT_EQ(readAll(path),
            "2 3 \n"
            "1.0000000000000000e+00 2.0000000000000000e+00 3.0000000000000000e+00 \n"
            "4.0000000000000000e+00 5.0000000000000000e+00 6.0000000000000000e+00 \n");
  ValueTable r;
  ASSERT_TRUE(r.readText(path));
  EXPECT_EQ(r.rowCount(), 2);
  EXPECT_EQ(r.colCount(), 3);
  EXPECT_EQ(r.row(1).item(2), 6.0);
}

TEST(ValueTable, TruncatedTableFailsAndKeepsContents) {
  ValueTable t(1, 1);
  t.row(0).item(0) = 42;
  const std::string path = tempPath("table_trunc.txt");
  writeAll(path, "2 2 \n1 2 \n3 \n");
  EXPECT_FALSE(t.readText(path));
  writeAll(path, "1 2 \n1 2 \n3 4 \n");
  EXPECT_FALSE(t.readText(path));
  // Rows of no columns hold no values but would still be allocated.
  writeAll(path, "2000000000 0 \n");
  EXPECT_FALSE(t.readText(path));
  EXPECT_EQ(t.rowCount(), 1);
  EXPECT_EQ(t.row(0).item(0), 42);
}
