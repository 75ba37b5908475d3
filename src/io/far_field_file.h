#pragma once
// The far-field settings of a case, kept in their own file beside the global
// state file, <folder>/far_field.txt, so that the specified files keep their
// format and folders written before simply lack it:
//
//   far_field absorbing        (or: reflecting)
//
// A folder without the file opens with the reflecting far field. Folders
// written while the program still offered a free-stream ramp have a second
// line "ramp T"; it is read (and must be a time of 0 or more) but no longer
// used: the ramp only delayed the settling of the drag (docs/ARCHITECTURE.md,
// "Far field: measured settling"), and a case saved after its ramp ended
// continues exactly as before.

#include <string>

#include "state/simulation_state.h"

namespace brelvik {

struct FarFieldSettings {
  FarField farField = FarField::Reflecting;
};

inline constexpr const char* kFarFieldFileName = "far_field.txt";

bool writeFarFieldFile(const std::string& path, const FarFieldSettings& settings,
                       std::string* error);

// Reads <path> strictly: the key and a known kind, then perhaps the old
// "ramp" line with a finite time >= 0, and nothing else. A missing file gives the defaults and
// true; a damaged one false with a message naming the file.
bool readFarFieldFile(const std::string& path, FarFieldSettings& settings, std::string* error);

}  // namespace brelvik
