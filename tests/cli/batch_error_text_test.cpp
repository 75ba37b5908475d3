#include <gtest/gtest.h>

#include "cli/batch.h"

using namespace brelvik;

namespace {

CoreError fieldError(ErrorCode code, InputField field, std::array<long long, 3> figures = {}) {
  CoreError e;
  e.code = code;
  e.field = field;
  e.figures = figures;
  return e;
}

}  // namespace

// The driver names the option that sets the field, words the figures and
// the file, and adds the system's detail; no Russian from the dialogs.
TEST(BatchErrorText, NamesTheOptionTheFiguresAndTheFile) {
  EXPECT_EQ(batchErrorText(fieldError(ErrorCode::kNotPositive, InputField::kFirstStep)),
            "option --first-step: the value must be greater than 0");
  EXPECT_EQ(batchErrorText(fieldError(ErrorCode::kNegative, InputField::kNz)),
            "option --nz: the cell count must not be negative");
  EXPECT_EQ(batchErrorText(fieldError(ErrorCode::kNegative, InputField::kPlaneNy)),
            "option --counts: the sample count Ny must not be negative");
  EXPECT_EQ(batchErrorText(fieldError(ErrorCode::kGridExceedsMemory, InputField::kCellCounts)),
            "option --nx/--ny/--nz: a grid with this many points does not fit into memory");
  EXPECT_EQ(batchErrorText(fieldError(ErrorCode::kStencilsMissing, InputField::kNone, {12, 3, 456})),
            "interpolation: 12 points have no admissible stencil (first: volume 3, point 456)");

  CoreError folder;
  folder.code = ErrorCode::kFolderNotCreated;
  folder.file = "out/Winsurf_files";
  folder.detail = "Not a directory";
  EXPECT_EQ(batchErrorText(folder), "cannot create the folder \"out/Winsurf_files\": Not a directory");

  // Every code has its own English sentence.
  for (int c = static_cast<int>(ErrorCode::kDomainTooSmall);
       c <= static_cast<int>(ErrorCode::kFileUnwritable); ++c) {
    const std::string text = batchErrorText(fieldError(static_cast<ErrorCode>(c), InputField::kNone));
    EXPECT_NE(text, "unknown error") << c;
    for (unsigned char ch : text) EXPECT_LT(ch, 0x80) << c << ": " << text;
  }
}
