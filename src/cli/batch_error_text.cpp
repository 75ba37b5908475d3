// The batch driver's wording of the core's errors: English, naming the
// command-line option that sets the field at fault.

#include <string>

#include "cli/batch.h"

namespace brelvik {

namespace {

// The option that sets a field; nullptr for a field without one.
const char* optionOf(InputField field) {
  switch (field) {
    case InputField::kDomainSize: return "--size";
    case InputField::kFirstStep: return "--first-step";
    case InputField::kSizeAndFirstStep: return "--size/--first-step";
    case InputField::kNx: return "--nx";
    case InputField::kNy: return "--ny";
    case InputField::kNz: return "--nz";
    case InputField::kCellCounts: return "--nx/--ny/--nz";
    case InputField::kPlaneNx:
    case InputField::kPlaneNy:
    case InputField::kPlaneNz:
    case InputField::kPlaneCounts: return "--counts";
    case InputField::kNone: break;
  }
  return nullptr;
}

// The symbol of a lattice count, as the plane's counts are given.
const char* countSymbol(InputField field) {
  switch (field) {
    case InputField::kNx:
    case InputField::kPlaneNx: return "Nx";
    case InputField::kNy:
    case InputField::kPlaneNy: return "Ny";
    case InputField::kNz:
    case InputField::kPlaneNz: return "Nz";
    default: return "N";
  }
}

bool isPlaneField(InputField field) {
  return field == InputField::kPlaneNx || field == InputField::kPlaneNy ||
         field == InputField::kPlaneNz || field == InputField::kPlaneCounts;
}

std::string quoted(const std::string& path) { return "\"" + path + "\""; }

std::string sentence(const CoreError& e) {
  const auto figure = [&e](int n) { return std::to_string(e.figures[static_cast<size_t>(n)]); };
  switch (e.code) {
    case ErrorCode::kNone: return "no error";
    case ErrorCode::kDomainTooSmall:
      return "the outer radius D*0.5 must be greater than the sphere radius 0.5 (D > 1)";
    case ErrorCode::kNotPositive: return "the value must be greater than 0";
    case ErrorCode::kNegative:
      return isPlaneField(e.field)
                 ? std::string("the sample count ") + countSymbol(e.field) + " must not be negative"
                 : "the cell count must not be negative";
    case ErrorCode::kTooLarge: return "the cell count is too large";
    case ErrorCode::kGridExceedsMemory:
      return "a grid with this many points does not fit into memory";
    case ErrorCode::kFirstStepFillsShell:
      return "the first step times Nx + 1 must be less than the shell thickness (D - 1)*0.5, "
             "otherwise the grid cannot be refined towards the sphere";
    case ErrorCode::kNoStretchingRatio:
      return "for this first step the ratio of neighbouring radial cells does not lie between "
             "1 and 1000";
    case ErrorCode::kOutOfMemory: return "not enough memory for the grid";
    case ErrorCode::kStencilsMissing:
      return "interpolation: " + figure(0) + " points have no admissible stencil (first: volume " +
             figure(1) + ", point " + figure(2) + ")";
    case ErrorCode::kInterpolationIncomplete:
      return "interpolation: " + figure(0) + " of " + figure(1) + " points processed";
    case ErrorCode::kUnknownPlane:
      return "unknown plane orientation " + figure(0) + " (1 XY, 2 XZ, 3 YZ)";
    case ErrorCode::kTooManySamples:
      return "too many samples on the plane: " + figure(0) + ", at most " + figure(1);
    case ErrorCode::kPlaneNotComputed: return "the sampling plane has not been computed";
    case ErrorCode::kPlaneStale:
      return "the sampling plane was computed on volumes that have since been replaced";
    case ErrorCode::kNoGrid: return "cannot export to " + quoted(e.file) + ": there is no grid";
    case ErrorCode::kCaseNotOpened: return "cannot open the case in " + quoted(e.file);
    case ErrorCode::kCaseNotSaved: return "cannot save the case into " + quoted(e.file);
    case ErrorCode::kFolderNotCreated: return "cannot create the folder " + quoted(e.file);
    case ErrorCode::kFileUnwritable: return "cannot write the file " + quoted(e.file);
  }
  return "unknown error";
}

}  // namespace

std::string batchErrorText(const CoreError& e) {
  std::string text = sentence(e);
  if (const char* option = optionOf(e.field)) text = std::string("option ") + option + ": " + text;
  if (!e.detail.empty()) text += ": " + e.detail;
  return text;
}

}  // namespace brelvik
