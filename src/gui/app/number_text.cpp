#include "gui/app/number_text.h"

#include <locale.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace brelvik {

namespace {

locale_t cLocale() {
  static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return loc;
}

}  // namespace

double leadingDouble(const QString& text) {
  const QByteArray bytes = text.toUtf8();
  return strtod_l(bytes.constData(), nullptr, cLocale());
}

int leadingInt(const QString& text) {
  const QByteArray bytes = text.toUtf8();
  errno = 0;
  const long long v = strtoll_l(bytes.constData(), nullptr, 10, cLocale());
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

QString cFormat(const char* format, double value) {
  char buf[512];
  locale_t old = uselocale(cLocale());
  std::snprintf(buf, sizeof buf, format, value);
  uselocale(old);
  return QString::fromUtf8(buf);
}

QString cFormat(const char* format, int value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, value);
  return QString::fromUtf8(buf);
}

}  // namespace brelvik
