#pragma once
// How a core function reports a failure: what went wrong (a code), which
// input field or which file it concerns, and the figures and system detail
// that go into the message. The core never words a message: the desktop
// program words a CoreError in Russian (gui/app/error_text.h), the batch
// driver in English (cli/batch_error_text.cpp), and neither ever looks at
// the text of the other.

#include <array>
#include <string>
#include <utility>

namespace brelvik {

enum class ErrorCode {
  kNone,

  // Domain inputs (field: the input at fault).
  kDomainTooSmall,         // outer radius D/2 not above the sphere radius 0.5
  kNotPositive,            // a value that must be above 0
  kNegative,               // a count below 0
  kTooLarge,               // a count that overflows the point indexing
  kGridExceedsMemory,      // the grid does not fit into memory (checked in advance)
  kFirstStepFillsShell,    // s * (Nx + 1) is not below the shell thickness
  kNoStretchingRatio,      // no radial ratio between 1 and 1000 for this s
  kOutOfMemory,            // allocation failed while building

  // Interpolation data (figures: see each code).
  kStencilsMissing,        // figures {points without stencil, first volume, first point}
  kInterpolationIncomplete,  // figures {points done, points in total}

  // Sampling plane.
  kUnknownPlane,           // figures {orientation}
  kTooManySamples,         // figures {samples, at most}
  kPlaneNotComputed,       // the export came before any compute
  kPlaneStale,             // computed on volumes that have since been replaced

  // Export of the flow.
  kNoGrid,                 // file: the export folder; there is no grid to write

  // Files and folders (file: the path; detail: what the system or reader said).
  kCaseNotOpened,          // file: the case folder; detail: the reader's message
  kCaseNotSaved,           // file: the case folder; detail: the writer's message
  kFolderNotCreated,
  kFileUnwritable,  // the last code: the wording tests walk up to it
};

// Input fields of the dialogs and their batch options.
enum class InputField {
  kNone,
  kDomainSize,   // D, the outer diameter in sphere radii
  kFirstStep,    // s, the radial size of the first cell
  kSizeAndFirstStep,  // D and s together
  kNx,
  kNy,
  kNz,
  kCellCounts,   // Nx, Ny and Nz together
  kPlaneNx,      // the sampling plane's lattice counts
  kPlaneNy,
  kPlaneNz,
  kPlaneCounts,  // the plane's counts together
};

struct CoreError {
  ErrorCode code = ErrorCode::kNone;
  InputField field = InputField::kNone;
  std::string file;    // the file or folder at fault; empty for an input
  std::string detail;  // the system's or reader's reason; may be empty
  std::array<long long, 3> figures{};  // meaning fixed per code (see above)
};

// Store the error when `error` is not null and return false, so that a check
// reads `return fail(error, ErrorCode::kNegative, InputField::kNx);`.
inline bool fail(CoreError* error, ErrorCode code, InputField field,
                 std::array<long long, 3> figures = {}) {
  if (error) {
    *error = CoreError{};
    error->code = code;
    error->field = field;
    error->figures = figures;
  }
  return false;
}

inline bool failFile(CoreError* error, ErrorCode code, std::string file, std::string detail = {}) {
  if (error) {
    *error = CoreError{};
    error->code = code;
    error->file = std::move(file);
    error->detail = std::move(detail);
  }
  return false;
}

}  // namespace brelvik
