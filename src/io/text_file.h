#pragma once
// Small helpers shared by the result-folder writer and reader: owned C
// streams, path joining, folder creation and error reporting.

#include <cstdio>
#include <memory>
#include <string>

#include "state/core_error.h"

namespace brelvik::io_detail {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Paths use '/' as the separator.
inline std::string joinPath(const std::string& dir, const std::string& name) {
  return dir + "/" + name;
}

inline bool fail(std::string* error, const std::string& message) {
  if (error) *error = message;
  return false;
}

// Creates `dir` (and missing parents). An existing folder is fine; anything
// else that leaves no folder there is an error naming the path.
bool makeFolder(const std::string& dir, std::string* error);
// The same, reported as kFolderNotCreated with the system's reason as detail.
bool makeFolder(const std::string& dir, CoreError* error);

// Closes a file opened for writing and reports whether everything written
// reached it (fclose flushes, so a full disk shows up here).
bool closeWritten(File& f, bool wroteOk, const std::string& path, std::string* error);

// The whole content of a regular text file of at most kMaxInputFileBytes;
// false with the reason in *why otherwise (a FIFO or device is refused
// without blocking).
bool readWholeFile(const std::string& path, std::string& text, std::string* why);

// Reads whitespace-separated values of a state file one by one, checking
// that each token is a complete number in the strict syntax of
// parseStrictInt / parseStrictDouble and naming the value that is missing
// or malformed.
class TokenReader {
 public:
  TokenReader(std::string text, std::string path);
  bool readInt(int& out, const char* what, std::string* error);
  bool readDouble(double& out, const char* what, std::string* error);
  // The next whitespace-free token; false at the end of the text.
  bool readToken(std::string& token) { return next(token); }
  // True when only white space is left.
  bool atEnd();
  int position() const { return count_; }  // values read so far
  const std::string& path() const { return path_; }

 private:
  bool next(std::string& token);
  std::string text_;
  std::string path_;
  size_t pos_ = 0;
  int count_ = 0;
};

}  // namespace brelvik::io_detail

#include <locale.h>

namespace brelvik::io_detail {

// Makes the C number formatting and parsing of this thread use the "C"
// locale while it lives: a desktop toolkit may have switched the process to
// the user's locale, whose decimal comma would corrupt the files.
class CNumericLocale {
 public:
  CNumericLocale() {
    cLocale_ = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    if (cLocale_) previous_ = uselocale(cLocale_);
  }
  ~CNumericLocale() {
    if (cLocale_) {
      uselocale(previous_);
      freelocale(cLocale_);
    }
  }
  CNumericLocale(const CNumericLocale&) = delete;
  CNumericLocale& operator=(const CNumericLocale&) = delete;

 private:
  locale_t cLocale_ = static_cast<locale_t>(0);
  locale_t previous_ = static_cast<locale_t>(0);
};

}  // namespace brelvik::io_detail
