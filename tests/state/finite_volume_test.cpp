#include "state/finite_volume.h"

#include <gtest/gtest.h>

#include <new>

using namespace brelvik;

namespace {
FiniteVolume makeVolume(int n) {
  FiniteVolume vol;
  initDefaults(vol, 2);
  vol.Nx = vol.Ny = vol.Nz = n;
  vol.stride_j = n + 1;
  vol.stride_i = (n + 1) * (n + 1);
  return vol;
}
}  // namespace

TEST(FiniteVolume, DefaultsMatchANewRecord) {
  FiniteVolume vol;
  vol.kind = 2;
  vol.face_offset.fill(0);
  vol.axis_x = {0, 0, -1};
  vol.r_in = 0.5;
  initDefaults(vol, 2);
  EXPECT_EQ(vol.Nx, 2);
  EXPECT_EQ(vol.kind, 1);
  EXPECT_EQ(vol.r_in, 0.0);
  EXPECT_EQ(vol.axis_x, (Vec3{1, 0, 0}));
  for (int f : vol.face_offset) EXPECT_EQ(f, 1);
  EXPECT_EQ(vol.allocated, 0);
}

TEST(FiniteVolume, SizesAndStridesForTwelve) {
  FiniteVolume vol = makeVolume(12);
  EXPECT_EQ(vol.pointCount(), 2197);
  allocateArrays(vol);
  EXPECT_EQ(vol.ro.size(), 2197u);
  EXPECT_EQ(vol.lap_zeta.size(), 2197u);
  EXPECT_EQ(vol.point_glob.size(), 3u * 2197u);
  EXPECT_EQ(vol.interpol_data.size(), 2197u);
  EXPECT_EQ(pointIndex(vol, 12, 12, 12), 2196);
  EXPECT_EQ(pointIndex(vol, 1, 0, 0), 169);
  EXPECT_EQ(pointIndex(vol, 0, 1, 0), 13);
}

TEST(FiniteVolume, ClearArraysZeroesEntriesAndFields) {
  FiniteVolume vol = makeVolume(3);
  allocateArrays(vol);
  vol.T[5] = 2;
  vol.g_etazeta[7] = 1.5f;
  vol.type_point[9] = 4;
  vol.point_loc[10] = 1;
  vol.interpol_data[9].donor = 3;
  vol.interpol_data[9].ready = 1;
  clearArrays(vol);
  EXPECT_EQ(vol.T[5], 0.0);
  EXPECT_EQ(vol.g_etazeta[7], 0.0f);
  EXPECT_EQ(vol.type_point[9], 0);
  EXPECT_EQ(vol.point_loc[10], 0.0);
  EXPECT_EQ(vol.interpol_data[9].donor, 0);
  EXPECT_EQ(vol.interpol_data[9].ready, 0);
  releaseArrays(vol);
  EXPECT_TRUE(vol.ro.empty());
  EXPECT_TRUE(vol.interpol_data.empty());
}

TEST(FiniteVolume, ImpossibleSizesFailAsAllocationFailure) {
  FiniteVolume neg = makeVolume(3);
  neg.Nx = -5;
  EXPECT_THROW(allocateArrays(neg), std::bad_alloc);
  FiniteVolume huge = makeVolume(3);
  huge.Nx = huge.Ny = huge.Nz = 4000;
  EXPECT_THROW(allocateArrays(huge), std::bad_alloc);
}

TEST(FiniteVolume, BytesPerPointHasNoHiddenCopies) {
  // 30 doubles + 16 floats + type + 6 coordinate doubles + the entry.
  EXPECT_EQ(bytesPerPoint(), 30 * 8 + 16 * 4 + 4 + 48 + sizeof(InterpolEntry));
  EXPECT_LE(sizeof(InterpolEntry), 40u);
}
