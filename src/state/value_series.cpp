#include "state/value_series.h"

#include <cstdio>
#include <memory>

namespace brelvik {

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Largest count accepted from a file.
constexpr long kMaxFileCount = 1L << 28;

// Reads `count` numbers. Storage grows with the values actually read, so a
// corrupt count in a short file fails on the missing values instead of
// allocating for the count first.
bool readValues(std::FILE* f, long count, std::vector<double>& out) {
  out.clear();
  out.reserve(static_cast<size_t>(count < 4096 ? count : 4096));
  for (long i = 0; i < count; ++i) {
    double v;
    if (std::fscanf(f, "%le", &v) != 1) return false;
    out.push_back(v);
  }
  return true;
}

// True when nothing but white space is left: a file that holds more values
// than its count says is as inconsistent as one that holds fewer.
bool onlySpaceLeft(std::FILE* f) {
  char c;
  return std::fscanf(f, " %c", &c) == EOF;
}

}  // namespace

void ValueSeries::resize(int n) {
  data.assign(n > 0 ? static_cast<size_t>(n) : 0, 0.0);
}

void ValueSeries::append() { data.push_back(0.0); }

void ValueSeries::clear() {
  data.clear();
  data.shrink_to_fit();
}

bool ValueSeries::readText(const std::string& path) {
  File f(std::fopen(path.c_str(), "r"));
  if (!f) return false;
  int count = 0;
  if (std::fscanf(f.get(), "%d", &count) != 1 || count < 0 || count > kMaxFileCount) return false;
  std::vector<double> values;
  if (!readValues(f.get(), count, values) || !onlySpaceLeft(f.get())) return false;
  data = std::move(values);
  return true;
}

bool ValueSeries::writeText(const std::string& path) const {
  File f(std::fopen(path.c_str(), "w"));
  if (!f) return false;
  bool ok = std::fprintf(f.get(), "%d \n", size()) > 0;
  for (double v : data) ok = ok && std::fprintf(f.get(), "%.16le \n ", v) > 0;
  std::FILE* raw = f.release();
  ok = (std::fclose(raw) == 0) && ok;
  return ok;
}

double maxOfCx(const ValueSeries& history) {
  double result = history.item(0);
  for (int i = 1; i < history.size(); ++i)
    if (history.item(i) > result) result = history.item(i);
  return result;
}

double minOfCx(const ValueSeries& history) {
  double result = history.item(0);
  for (int i = 1; i < history.size(); ++i)
    if (history.item(i) < result) result = history.item(i);
  return result;
}

void ValueTable::resize(int rowCount, int colCount) {
  rows.clear();
  rows.resize(rowCount > 0 ? static_cast<size_t>(rowCount) : 0);
  for (auto& r : rows) r.resize(colCount);
  rowCountValue = rowCount > 0 ? rowCount : 0;
  colCountValue = colCount > 0 ? colCount : 0;
}

bool ValueTable::readText(const std::string& path) {
  File f(std::fopen(path.c_str(), "r"));
  if (!f) return false;
  int nr = 0, nc = 0;
  if (std::fscanf(f.get(), "%d %d", &nr, &nc) != 2 || nr < 0 || nc < 0) return false;
  // Each count on its own as well: rows of zero columns still cost memory.
  if (nr > kMaxFileCount || nc > kMaxFileCount ||
      static_cast<long>(nr) * static_cast<long>(nc) > kMaxFileCount)
    return false;
  std::vector<double> values;
  if (!readValues(f.get(), static_cast<long>(nr) * nc, values) || !onlySpaceLeft(f.get())) return false;
  ValueTable loaded(nr, nc);
  for (int r = 0; r < nr; ++r)
    for (int c = 0; c < nc; ++c) loaded.row(r).item(c) = values[static_cast<size_t>(r) * nc + c];
  *this = std::move(loaded);
  return true;
}

bool ValueTable::writeText(const std::string& path) const {
  File f(std::fopen(path.c_str(), "w"));
  if (!f) return false;
  bool ok = std::fprintf(f.get(), "%d %d \n", rowCountValue, colCountValue) > 0;
  for (int r = 0; r < rowCountValue && ok; ++r) {
    const ValueSeries& row = rows[static_cast<size_t>(r)];
    for (int c = 0; c < colCountValue; ++c) ok = ok && std::fprintf(f.get(), "%.16le ", row.item(c)) > 0;
    ok = ok && std::fputs("\n", f.get()) >= 0;
  }
  std::FILE* raw = f.release();
  ok = (std::fclose(raw) == 0) && ok;
  return ok;
}

}  // namespace brelvik
