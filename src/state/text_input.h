#pragma once
// Safe reading of the text files a user may hand us: regular files only
// (a FIFO or a device never blocks or streams without end), a size limit
// checked before reading, and number tokens in a strict decimal syntax.

#include <cstddef>
#include <string>
#include <string_view>

namespace brelvik {

// Largest text file read (1 GiB): far above any slice or history file the
// program writes (a slice of the largest grid that fits in memory is some
// hundred megabytes), small enough that a damaged or hostile file cannot
// exhaust memory by itself.
inline constexpr size_t kMaxInputFileBytes = size_t(1) << 30;

// The whole content of `path`. False with `why` ("is missing", "is not a
// regular file", "is larger than ...", "cannot be read: ...") otherwise.
// Opens without blocking, so a FIFO in place of the file is refused at once.
bool readRegularFile(const std::string& path, std::string& text, std::string* why);

// Decimal numbers only: [+-]digits for integers; for reals
// [+-](digits[.digits]|.digits)[(e|E)[+-]digits], or nan/inf with an optional
// sign as printf writes them. Anything else -- hexadecimal, an embedded NUL,
// a dangling exponent such as "1e" or "1.5e-", trailing characters -- fails.
bool parseStrictInt(std::string_view token, long long& out);
bool parseStrictDouble(std::string_view token, double& out);

// Splits text at white space (space, tab, CR, LF, VT, FF).
class TokenScanner {
 public:
  explicit TokenScanner(std::string_view text) : text_(text) {}
  // The next token; false at the end of the text.
  bool next(std::string_view& token);
  bool atEnd();

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

}  // namespace brelvik
