// Save and Open of the default case (D = 15, s = 0.02, 19 x 12 x 12 cells,
// six volumes of 22 x 15 x 15 points) as a result folder: prints the time of
// each, the number of files and the bytes written. The fields hold values
// with every mantissa bit in use, as after a run.
//
// Usage: bench_result_folder [folder]   (default: a folder in the temp dir)

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "grid/geometry.h"
#include "io/result_folder.h"

using namespace brelvik;
namespace fs = std::filesystem;

int main(int argc, char** argv) {
  const std::string folder =
      argc > 1 ? argv[1] : (fs::temp_directory_path() / "brelvik_bench_result_folder").string();
  SimulationState s;
  DomainInputs in;
  in.D = toSingle(15.0);
  in.s = toSingle(0.02);
  CoreError error;
  if (!createDomain(s, in, nullptr)) {
    std::fprintf(stderr, "createDomain failed\n");
    return 1;
  }
  std::mt19937_64 rng(1);
  std::uniform_real_distribution<double> value(-2.0, 2.0);
  for (FiniteVolume& vol : s.volumes)
    forEachFlowArray(vol, [&](std::vector<double>& a) {
      for (double& x : a) x = value(rng);
    });

  using Clock = std::chrono::steady_clock;
  double saveBest = 1e9, loadBest = 1e9;
  for (int rep = 0; rep < 3; ++rep) {
    fs::remove_all(folder);
    auto t0 = Clock::now();
    if (!saveCase(s, folder, &error)) {
      std::fprintf(stderr, "save: %s\n", error.detail.c_str());
      return 1;
    }
    auto t1 = Clock::now();
    SimulationState t;
    if (!loadCase(t, folder, &error)) {
      std::fprintf(stderr, "open: %s\n", error.detail.c_str());
      return 1;
    }
    auto t2 = Clock::now();
    saveBest = std::min(saveBest, std::chrono::duration<double>(t1 - t0).count());
    loadBest = std::min(loadBest, std::chrono::duration<double>(t2 - t1).count());
  }
  long files = 0;
  uintmax_t bytes = 0;
  for (auto& e : fs::recursive_directory_iterator(folder))
    if (e.is_regular_file()) {
      ++files;
      bytes += e.file_size();
    }
  std::printf("default case: %ld files, %.1f MB\n", files, bytes / 1e6);
  std::printf("save: %.3f s (best of 3)\n", saveBest);
  std::printf("open: %.3f s (best of 3, including metrics)\n", loadBest);
  fs::remove_all(folder);
  return 0;
}
