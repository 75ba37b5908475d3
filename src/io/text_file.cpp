#include "io/text_file.h"

#include "state/text_input.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace brelvik::io_detail {

namespace {

// Creates `dir` and its missing parents; empty when a folder is there
// afterwards, the reason otherwise.
std::string folderProblem(const std::string& dir) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::create_directories(dir, ec);
  std::error_code ec2;
  if (fs::is_directory(dir, ec2)) return {};
  return ec ? ec.message() : std::string("a file of that name exists");
}

}  // namespace

bool makeFolder(const std::string& dir, std::string* error) {
  const std::string why = folderProblem(dir);
  return why.empty() || fail(error, "cannot create folder " + dir + ": " + why);
}

bool makeFolder(const std::string& dir, CoreError* error) {
  const std::string why = folderProblem(dir);
  return why.empty() || failFile(error, ErrorCode::kFolderNotCreated, dir, why);
}

bool closeWritten(File& f, bool wroteOk, const std::string& path, std::string* error) {
  std::FILE* raw = f.release();
  const bool closed = std::fclose(raw) == 0;
  if (wroteOk && closed) return true;
  return fail(error, "cannot write file " + path);
}

bool readWholeFile(const std::string& path, std::string& text, std::string* why) {
  return readRegularFile(path, text, why);
}

TokenReader::TokenReader(std::string text, std::string path)
    : text_(std::move(text)), path_(std::move(path)) {}

bool TokenReader::next(std::string& token) {
  while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
  if (pos_ >= text_.size()) return false;
  const size_t start = pos_;
  while (pos_ < text_.size() && !std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
  token = text_.substr(start, pos_ - start);
  return true;
}

bool TokenReader::atEnd() {
  while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
  return pos_ >= text_.size();
}

bool TokenReader::readInt(int& out, const char* what, std::string* error) {
  std::string token;
  const int line = count_ + 1;
  if (!next(token)) {
    return fail(error, path_ + ": file ends before value " + std::to_string(line) + " (" + what + ")");
  }
  long long v = 0;
  if (!parseStrictInt(token, v) || v < INT_MIN || v > INT_MAX) {
    return fail(error, path_ + ": value " + std::to_string(line) + " (" + what +
                           ") is not an integer: \"" + token + "\"");
  }
  out = static_cast<int>(v);
  ++count_;
  return true;
}

bool TokenReader::readDouble(double& out, const char* what, std::string* error) {
  std::string token;
  const int line = count_ + 1;
  if (!next(token)) {
    return fail(error, path_ + ": file ends before value " + std::to_string(line) + " (" + what + ")");
  }
  double v = 0;
  if (!parseStrictDouble(token, v)) {
    return fail(error, path_ + ": value " + std::to_string(line) + " (" + what +
                           ") is not a number: \"" + token + "\"");
  }
  out = v;
  ++count_;
  return true;
}

}  // namespace brelvik::io_detail
