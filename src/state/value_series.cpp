#include "state/value_series.h"

#include "state/text_input.h"

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

// Reads the count tokens at the head of a file and then exactly `values`
// numbers and nothing after them. The count is checked against the bytes
// present before any storage is reserved: every value needs at least two
// bytes (a digit and a separator).
bool readCounts(TokenScanner& in, int* counts, int n) {
  for (int q = 0; q < n; ++q) {
    std::string_view token;
    long long v = 0;
    if (!in.next(token) || !parseStrictInt(token, v) || v < 0 || v > kMaxFileCount) return false;
    counts[q] = static_cast<int>(v);
  }
  return true;
}

bool readValues(TokenScanner& in, long count, size_t textBytes, std::vector<double>& out) {
  if (static_cast<unsigned long>(count) > textBytes / 2 + 1) return false;
  out.clear();
  out.reserve(static_cast<size_t>(count));
  for (long i = 0; i < count; ++i) {
    std::string_view token;
    double v = 0;
    if (!in.next(token) || !parseStrictDouble(token, v)) return false;
    out.push_back(v);
  }
  // A file that holds more values than its count says is as inconsistent
  // as one that holds fewer.
  return in.atEnd();
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
  std::string text;
  if (!readRegularFile(path, text, nullptr)) return false;
  TokenScanner in(text);
  int count = 0;
  std::vector<double> values;
  if (!readCounts(in, &count, 1) || !readValues(in, count, text.size(), values)) return false;
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
  std::string text;
  if (!readRegularFile(path, text, nullptr)) return false;
  TokenScanner in(text);
  int counts[2] = {0, 0};
  if (!readCounts(in, counts, 2)) return false;
  const int nr = counts[0], nc = counts[1];
  // The writer ends every row with a line break, so the rows cannot
  // outnumber the bytes (a count of rows of zero columns still costs memory).
  if (static_cast<size_t>(nr) > text.size()) return false;
  // Each count on its own as well: rows of zero columns still cost memory.
  if (nr > kMaxFileCount || nc > kMaxFileCount ||
      static_cast<long>(nr) * static_cast<long>(nc) > kMaxFileCount)
    return false;
  std::vector<double> values;
  if (!readValues(in, static_cast<long>(nr) * nc, text.size(), values)) return false;
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
