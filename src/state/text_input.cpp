#include "state/text_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <locale.h>

namespace brelvik {

namespace {

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
bool isDigit(char c) { return c >= '0' && c <= '9'; }

size_t digitsFrom(std::string_view t, size_t p) {
  size_t q = p;
  while (q < t.size() && isDigit(t[q])) ++q;
  return q - p;
}

// Numbers in files always use the decimal point, whatever locale a desktop
// toolkit switched the process to.
locale_t cNumericLocale() {
  static const locale_t c = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(0));
  return c;
}

bool setWhy(std::string* why, std::string text) {
  if (why) *why = std::move(text);
  return false;
}

}  // namespace

bool readRegularFile(const std::string& path, std::string& text, std::string* why) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    if (errno == ENOENT) return setWhy(why, "is missing");
    return setWhy(why, std::string("cannot be opened: ") + std::strerror(errno));
  }
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st{};
  if (::fstat(fd, &st) != 0) return setWhy(why, std::string("cannot be read: ") + std::strerror(errno));
  if (!S_ISREG(st.st_mode)) return setWhy(why, "is not a regular file");
  if (st.st_size < 0 || static_cast<unsigned long long>(st.st_size) > kMaxInputFileBytes)
    return setWhy(why, "is larger than " + std::to_string(kMaxInputFileBytes >> 20) + " MiB");
  std::string out;
  out.resize(static_cast<size_t>(st.st_size));
  size_t have = 0;
  while (have < out.size()) {
    const ssize_t n = ::read(fd, out.data() + have, out.size() - have);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return setWhy(why, std::string("cannot be read: ") + std::strerror(errno));
    if (n == 0) break;  // shrank while we read: take what is there
    have += static_cast<size_t>(n);
  }
  out.resize(have);
  text = std::move(out);
  return true;
}

bool parseStrictInt(std::string_view t, long long& out) {
  size_t p = 0;
  if (p < t.size() && (t[p] == '+' || t[p] == '-')) ++p;
  const size_t digits = digitsFrom(t, p);
  if (digits == 0 || p + digits != t.size() || digits > 18) return false;
  const std::string copy(t);
  out = std::strtoll(copy.c_str(), nullptr, 10);
  return true;
}

bool parseStrictDouble(std::string_view t, double& out) {
  size_t p = 0;
  if (p < t.size() && (t[p] == '+' || t[p] == '-')) ++p;
  const std::string_view rest = t.substr(p);
  if (rest == "nan" || rest == "inf" || rest == "NAN" || rest == "INF") {
    const double v = rest[0] == 'n' || rest[0] == 'N' ? std::nan("") : INFINITY;
    out = (t[0] == '-') ? -v : v;
    return true;
  }
  const size_t whole = digitsFrom(t, p);
  p += whole;
  size_t fraction = 0;
  if (p < t.size() && t[p] == '.') {
    fraction = digitsFrom(t, p + 1);
    p += 1 + fraction;
  }
  if (whole == 0 && fraction == 0) return false;
  if (p < t.size() && (t[p] == 'e' || t[p] == 'E')) {
    ++p;
    if (p < t.size() && (t[p] == '+' || t[p] == '-')) ++p;
    const size_t exponent = digitsFrom(t, p);
    if (exponent == 0) return false;  // "1e", "1.5e-"
    p += exponent;
  }
  if (p != t.size()) return false;
  const std::string copy(t);
  // Out-of-range values become 0 or inf, as the writer's own output of them
  // reads back.
  out = cNumericLocale() ? strtod_l(copy.c_str(), nullptr, cNumericLocale())
                         : std::strtod(copy.c_str(), nullptr);
  return true;
}

bool TokenScanner::next(std::string_view& token) {
  while (pos_ < text_.size() && isSpace(text_[pos_])) ++pos_;
  if (pos_ >= text_.size()) return false;
  const size_t start = pos_;
  while (pos_ < text_.size() && !isSpace(text_[pos_])) ++pos_;
  token = text_.substr(start, pos_ - start);
  return true;
}

bool TokenScanner::atEnd() {
  while (pos_ < text_.size() && isSpace(text_[pos_])) ++pos_;
  return pos_ >= text_.size();
}

}  // namespace brelvik
