// A save written by several processes into one staged folder
// (result_folder.h): the frame and the swap on one process, the slices on
// the process that holds each plane.

#include <algorithm>
#include <mutex>

#include "io/case_tree.h"
#include "io/result_folder.h"
#include "io/staged_folder.h"
#include "io/text_file.h"
#include "io/volume_arrays.h"

namespace brelvik {

namespace {

bool failSave(CoreError* error, const std::string& folder, const std::string& message) {
  return failFile(error, ErrorCode::kCaseNotSaved, folder, message);
}

// The first slice file this process would write below `staging` (the
// first flow array of its first selected plane); empty when it has none.
std::string firstSliceFile(const SimulationState& s, const std::string& staging,
                           const PlaneSelection& planes) {
  const int count = std::min(s.volumeCount, static_cast<int>(s.volumes.size()));
  for (int n = 0; n < count; ++n) {
    const FiniteVolume& vol = s.volumes[static_cast<size_t>(n)];
    if (vol.allocated != 1) continue;
    for (int i = 0; i <= vol.Nx; ++i)
      if (!planes || planes(n, i))
        return io_detail::joinPath(
            io_detail::joinPath(io_detail::volumeFolder(staging, n), io_detail::kSliceFolders[0]),
            std::to_string(i) + ".txt");
  }
  return {};
}

}  // namespace

bool beginSharedSave(SimulationState& s, const std::string& folder, CoreError* error) {
  io_detail::CNumericLocale cLocale;
  std::string message;
  std::lock_guard<std::mutex> pass(s.passMutex);
  io_detail::StagedFolder staged;
  if (!io_detail::beginStagedFolder(folder, staged, &message))
    return failSave(error, folder, message);
  if (!io_detail::writeCaseFrame(s, staged.staging, &message)) {
    io_detail::abandonStagedFolder(staged);
    return failSave(error, folder, message);
  }
  return true;
}

bool saveCasePlanes(SimulationState& s, const std::string& folder, const PlaneSelection& planes,
                    CoreError* error) {
  io_detail::CNumericLocale cLocale;
  const io_detail::StagedFolder staged = io_detail::stagedFolderOf(folder);
  std::lock_guard<std::mutex> pass(s.passMutex);
  const std::string first = firstSliceFile(s, staged.staging, planes);
  if (first.empty()) return true;  // no plane here
  // The process that began the save made the staging folder with its
  // marker. Not seeing it means this process writes to a file system of
  // its own, where the slices would never reach the saved case.
  if (!io_detail::isIncompleteFolder(staged.staging))
    return failSave(error, folder,
                    "cannot write file " + first + ": this process does not see the folder " +
                        staged.staging +
                        " being saved (the save folder must be on a file system that every "
                        "process sees)");
  std::string message;
  // Flushed here because the swap flushes only what its own process wrote.
  if (!io_detail::writeCaseSlices(s, staged.staging, planes, &message) ||
      !io_detail::flushWrites(staged.staging, &message))
    return failSave(error, folder, message);
  return true;
}

bool finishSharedSave(SimulationState& s, const std::string& folder, CoreError* error) {
  io_detail::CNumericLocale cLocale;
  io_detail::StagedFolder staged = io_detail::stagedFolderOf(folder);
  std::string message;
  std::lock_guard<std::mutex> pass(s.passMutex);
  // Every process reported its slices written; that they are here too
  // guards against one that wrote them to a stale staging folder on a file
  // system of its own.
  const int count = std::min(s.volumeCount, static_cast<int>(s.volumes.size()));
  for (int n = 0; n < count; ++n) {
    const FiniteVolume& vol = s.volumes[static_cast<size_t>(n)];
    if (vol.allocated == 1 &&
        !checkSliceFilesPresent(io_detail::volumeFolder(staged.staging, n), vol, {}, &message)) {
      io_detail::abandonStagedFolder(staged);
      return failSave(error, folder,
                      message + " (the save folder must be on a file system that every process "
                                "sees)");
    }
  }
  if (!io_detail::commitStagedFolder(staged, &message)) {
    io_detail::abandonStagedFolder(staged);
    return failSave(error, folder, message);
  }
  return true;
}

void abandonSharedSave(const std::string& folder) {
  io_detail::StagedFolder staged = io_detail::stagedFolderOf(folder);
  io_detail::abandonStagedFolder(staged);
}

}  // namespace brelvik
