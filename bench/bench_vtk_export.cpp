// VTK export of one moment (six .vts volumes, six sphere faces, the .vtm)
// for the default grid (19 x 12 x 12 cells) and the finer grid (38 x 24 x 24):
// prints the best time of five exports, the files and bytes written, and,
// side by side in the same run, the time of saving the same case as a
// result folder. The fields hold values with every mantissa bit in use, as
// after a run.
//
// Usage: bench_vtk_export [folder]   (default: a folder in the temp dir)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "grid/geometry.h"
#include "io/result_folder.h"
#include "post/vtk_export.h"

using namespace brelvik;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

void folderSize(const std::string& folder, long& files, uintmax_t& bytes) {
  files = 0;
  bytes = 0;
  for (const auto& e : fs::recursive_directory_iterator(folder))
    if (e.is_regular_file()) ++files, bytes += e.file_size();
}

bool benchGrid(int nx, int ny, int nz, const std::string& folder) {
  SimulationState s;
  DomainInputs in;
  in.D = toSingle(15.0);
  in.s = toSingle(0.02);
  in.nx = nx;
  in.ny = ny;
  in.nz = nz;
  CoreError error;
  if (!createDomain(s, in, nullptr)) {
    std::fprintf(stderr, "createDomain failed\n");
    return false;
  }
  std::mt19937_64 rng(1);
  std::uniform_real_distribution<double> value(0.5, 2.0);
  long points = 0;
  for (FiniteVolume& vol : s.volumes) {
    points += long(vol.pointCount());
    forEachFlowArray(vol, [&](std::vector<double>& a) {
      for (double& x : a) x = value(rng);
    });
  }

  const std::string vtk = folder + "/vtk", save = folder + "/save";
  double exportBest = 1e9, saveBest = 1e9;
  for (int rep = 0; rep < 5; ++rep) {
    fs::remove_all(vtk);
    auto t0 = Clock::now();
    if (!writeVtkMoment(s, vtk, vtkMomentName(0), nullptr, &error)) {
      std::fprintf(stderr, "export: %s %s\n", error.file.c_str(), error.detail.c_str());
      return false;
    }
    exportBest = std::min(exportBest, seconds(t0, Clock::now()));
    if (rep < 2) {  // the text folder is slow; two saves give its best
      fs::remove_all(save);
      t0 = Clock::now();
      CoreError saveError;
      if (!saveCase(s, save, &saveError)) {
        std::fprintf(stderr, "save: %s\n", saveError.detail.c_str());
        return false;
      }
      saveBest = std::min(saveBest, seconds(t0, Clock::now()));
    }
  }
  long vtkFiles = 0, saveFiles = 0;
  uintmax_t vtkBytes = 0, saveBytes = 0;
  folderSize(vtk, vtkFiles, vtkBytes);
  folderSize(save, saveFiles, saveBytes);
  std::printf("grid %d x %d x %d cells, %ld points in 6 volumes\n", nx, ny, nz, points);
  std::printf("  VTK export:    %8.4f s  %4ld files  %10ju bytes (%.2f MB)\n", exportBest,
              vtkFiles, vtkBytes, double(vtkBytes) / 1e6);
  std::printf("  result folder: %8.4f s  %4ld files  %10ju bytes (%.2f MB)\n", saveBest,
              saveFiles, saveBytes, double(saveBytes) / 1e6);
  std::printf("  export / save time: %.3f\n", exportBest / saveBest);
  fs::remove_all(folder);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder =
      argc > 1 ? argv[1] : (fs::temp_directory_path() / "brelvik_bench_vtk_export").string();
  return benchGrid(19, 12, 12, folder) && benchGrid(38, 24, 24, folder) ? 0 : 1;
}
