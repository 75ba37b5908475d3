#pragma once
// The far-field settings of a case, kept in their own file beside the global
// state file, <folder>/far_field.txt, so that the specified files keep their
// format and folders written before simply lack it:
//
//   far_field absorbing        (or: reflecting)
//   ramp 2.5                   (ramp time; 0 = impulsive start)
//
// A folder without the file opens with the reflecting far field and no ramp.

#include <string>

#include "state/simulation_state.h"

namespace brelvik {

struct FarFieldSettings {
  FarField farField = FarField::Reflecting;
  double rampTime = 0;
};

inline constexpr const char* kFarFieldFileName = "far_field.txt";

bool writeFarFieldFile(const std::string& path, const FarFieldSettings& settings,
                       std::string* error);

// Reads <path> strictly: both keys once each, in this order, a known kind, a
// finite ramp >= 0 and nothing else. A missing file gives the defaults and
// true; a damaged one false with a message naming the file.
bool readFarFieldFile(const std::string& path, FarFieldSettings& settings, std::string* error);

}  // namespace brelvik
