#pragma once
// The two halves of writing a case below a folder (layout in
// result_folder.h): its frame (every folder, and every file that is not a
// slice of a per-point array) and its slices. The one-process save writes
// both; a save shared by several processes writes the frame on one of them
// and the slices on the process that holds each plane.

#include <string>

#include "io/result_folder.h"
#include "io/text_file.h"

namespace brelvik::io_detail {

// <folder>/volume_<n+1>: the folder of the volume with index n.
inline std::string volumeFolder(const std::string& folder, int n) {
  return joinPath(folder, "volume_" + std::to_string(n + 1));
}

// Every folder of the case below `folder` (an empty staging folder), each
// volume's all.txt and interpolation data, the global state, the far field
// and the histories. The caller holds s.passMutex.
bool writeCaseFrame(SimulationState& s, const std::string& folder, std::string* error);

// The selected slice files of every volume below `folder`, whose frame is
// written. The caller holds s.passMutex.
bool writeCaseSlices(SimulationState& s, const std::string& folder, const PlaneSelection& planes,
                     std::string* error);

}  // namespace brelvik::io_detail
