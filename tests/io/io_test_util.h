#pragma once
// Synthetic cases for the result-folder tests: small volumes whose every
// array holds distinct values, without building a real grid.

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "io/staged_folder.h"
#include "state/finite_volume.h"
#include "state/simulation_state.h"

namespace brelvik::testing_io {

// Folders of this test process: ctest runs every test case as its own
// process, several at once, so each process needs its own tree.
// A memory file system when there is one: these tests create and remove
// thousands of small files, which on a busy disk takes most of their time.
inline std::filesystem::path processTestRoot() {
  std::error_code ec;
  const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                         ? std::filesystem::path("/dev/shm")
                                         : std::filesystem::temp_directory_path();
  return base /
         ("brelvik_io_test_" + std::to_string(static_cast<long>(getpid())));
}

class RemoveTestRoot : public ::testing::Environment {
 public:
  // These tests save hundreds of cases; flushing each to disk would only
  // measure the disk.
  void SetUp() override { io_detail::setFlushToDiskForTesting(false); }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(processTestRoot(), ec);
  }
};
inline ::testing::Environment* const kRemoveTestRoot =
    ::testing::AddGlobalTestEnvironment(new RemoveTestRoot);

inline std::string freshDir(const std::string& name) {
  auto dir = processTestRoot() / name;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir.parent_path());
  return dir.string();
}

inline std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline void writeAll(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

inline std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream ss(text);
  std::string line;
  while (std::getline(ss, line)) out.push_back(line);
  return out;
}

// Path (relative to `dir`) -> content of every file below `dir`.
inline std::map<std::string, std::string> snapshot(const std::string& dir) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) files[fs::relative(e.path(), dir).string()] = readAll(e.path().string());
  return files;
}

inline int countFiles(const std::string& dir) {
  int n = 0;
  for (auto& e : std::filesystem::directory_iterator(dir))
    if (e.is_regular_file()) ++n;
  return n;
}

// A volume of kind 2 with sizes Nx, Ny, Nz, strides and bounds as the grid
// builder sets them, four planes, every array filled from `rng`, a ring of
// interpolated points (type 4) on the j = 0 face whose entries alternate
// between ready (with a 10-point stencil into volume `donor`) and not ready.
inline void fillVolume(FiniteVolume& vol, int index, int Nx, int Ny, int Nz, int donor,
                       std::mt19937_64& rng) {
  initDefaults(vol, 2);
  vol.index = index;
  vol.Nx = Nx;
  vol.Ny = Ny;
  vol.Nz = Nz;
  vol.stride_j = Nz + 1;
  vol.stride_i = (Ny + 1) * (Nz + 1);
  vol.i_begin = vol.j_begin = vol.k_begin = 1;
  vol.i_end = Nx - 1;
  vol.j_end = Ny - 1;
  vol.k_end = Nz - 1;
  vol.kind = 2;
  vol.r_in = 0.5;
  vol.r_out = 7.5;
  vol.first_step = 0.0199999995529651641845703125;
  vol.ratio = 1.2516700000000001;
  vol.r_offset = 0.5 + 0.0199999995529651641845703125 / (1 - vol.ratio);
  vol.r_scale = 0.0199999995529651641845703125 / (vol.ratio - 1);
  vol.r_base = 1.9;
  const double h[3] = {0.35, 2.0 / Ny, 2.0 / Nz};
  std::array<double, 12>* steps[3] = {&vol.steps_xi, &vol.steps_eta, &vol.steps_zeta};
  for (int d = 0; d < 3; ++d) {
    double p = h[d];
    for (int e = 0; e < 6; ++e) {
      (*steps[d])[2 * e] = p;
      (*steps[d])[2 * e + 1] = 1 / p;
      p = (e == 0) ? h[d] * h[d] : p * h[d] * h[d];
    }
  }
  vol.box_origin = {0.5, 0, 0};
  vol.box_size = {7.5 / 1.7320508075688772 - 0.5, 0, 0};
  vol.color = {255, 128, 0};
  vol.axis_x = {0, 0, -1};
  vol.axis_y = {0, 1, 0};
  vol.axis_z = {1, 0, 0};
  vol.origin = {0.25, -0.125, 0.5};
  vol.face_wall = {1, 0, 0, 0, 0, 0};
  vol.face_offset = {1, 1, 0, 0, 0, 0};
  vol.steps_ready = 1;
  vol.stencil_size = 10;
  vol.poly_degree = 2;
  vol.plane_count = 4;
  vol.planes.assign(4, BoundingPlane{});
  for (int p = 0; p < 4; ++p) {
    vol.planes[p].point = {0.1 * p, -0.2 * p, 0.3};
    vol.planes[p].normal = {1, 0, p % 2 ? 1.0 : -1.0};
  }
  vol.allocated = 1;
  allocateArrays(vol);
  clearArrays(vol);

  // Values spread over many magnitudes and signs, with all 53 bits in use.
  std::uniform_real_distribution<double> mant(-1.0, 1.0);
  std::uniform_int_distribution<int> expo(-40, 40);
  auto value = [&] { return std::ldexp(mant(rng), expo(rng)); };
  for (auto* a : {&vol.u, &vol.v, &vol.w, &vol.P, &vol.ro, &vol.T, &vol.div, &vol.vixr,
                  &vol.u_glob, &vol.v_glob, &vol.w_glob, &vol.point_glob})
    for (double& x : *a) x = value();
  // Grid coordinates near those of a real shell sector (so that metrics
  // computed from them are finite), with every mantissa bit in use.
  for (int i = 0; i <= Nx; ++i)
    for (int j = 0; j <= Ny; ++j)
      for (int k = 0; k <= Nz; ++k) {
        const size_t n = static_cast<size_t>(pointIndex(vol, i, j, k));
        vol.point_loc[3 * n] = h[0] * (i - 0.5) + 1e-3 * mant(rng);
        vol.point_loc[3 * n + 1] = -1 + h[1] * (j - 1) + 1e-3 * mant(rng);
        vol.point_loc[3 * n + 2] = -1 + h[2] * (k - 1) + 1e-3 * mant(rng);
      }

  const int64_t count = vol.pointCount();
  for (int64_t n = 0; n < count; ++n) vol.type_point[n] = static_cast<int>(n % 4);  // 0..3
  int flip = 0;
  for (int i = 0; i <= Nx; ++i)
    for (int k = 0; k <= Nz; ++k) {
      const int n = pointIndex(vol, i, 0, k);
      vol.type_point[n] = 4 + (flip % 4 == 3 ? 3 : 0);  // mostly 4, some 7
      InterpolEntry& e = vol.interpol_data[n];
      e.donor = donor;
      e.cell_i = std::min(1 + i % 2, Nx - 1);
      e.cell_j = 1;
      e.cell_k = std::min(1 + k % 2, Nz - 1);
      if (flip++ % 2 == 0) {
        e.ready = 1;
        e.donor_points.reset(new int[10]);
        e.weights.reset(new double[10]);
        for (int m = 0; m < 10; ++m) {
          e.donor_points[m] = (n * 7 + m * 3) % static_cast<int>(count);
          e.weights[m] = mant(rng) * 3;
        }
      }
    }
}

// A state with `volumes` synthetic volumes and distinct global values.
inline void fillCase(SimulationState& s, int volumes, int Nx, int Ny, int Nz, uint64_t seed = 7) {
  std::mt19937_64 rng(seed);
  s.volumes.clear();
  s.volumes.resize(static_cast<size_t>(volumes));
  s.volumeCount = volumes;
  for (int v = 0; v < volumes; ++v)
    fillVolume(s.volumes[v], v, Nx, Ny, Nz, (v + 1) % volumes, rng);
  s.physicalTime = 0.0009765625 * 37;
  s.stepCount = 37;
  s.dt = 0.0009765625;
  s.k = 1.5;
  s.Re = 123.5;
  s.M = 0.5;
  s.Pr = 0.75;
  s.interpolTotal = 21;
  s.interpolProcessed = 20;
  s.Cx = 1.25;
  s.Cp = 0.75;
  s.Cf = 0.5;
  s.historyCounter = 7;
  s.historyInterval = 10;
  s.gridCreated = 1;
  // Half the receivers have no stencil yet, as while the interpolation runs.
  s.interpolationReady = 0;
  s.flowInitialised = 1;
  s.domainReady = 1;
  for (ValueSeries* h : {&s.historyCx, &s.historyCp, &s.historyCf, &s.historyTime}) {
    h->resize(3);
    for (int i = 0; i < 3; ++i) h->item(i) = std::ldexp(std::uniform_real_distribution<double>(0, 1)(rng), -i);
  }
}

}  // namespace brelvik::testing_io
