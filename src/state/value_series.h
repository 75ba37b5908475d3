#pragma once
// Growable series of doubles and tables of such rows, with their own text
// file formats (used for the drag histories, streamline seeds and lines, and
// as the scratch table through which the result folders move array slices).

#include <string>
#include <vector>

namespace brelvik {

// A growable array of doubles. Values created by resize/append are undefined
// until the caller sets them (here they are zero, but nothing relies on it).
struct ValueSeries {
  std::vector<double> data;

  double& item(int i) { return data[static_cast<size_t>(i)]; }
  double item(int i) const { return data[static_cast<size_t>(i)]; }
  int size() const { return static_cast<int>(data.size()); }

  // Discards the old values and holds n values.
  void resize(int n);
  // Grows the series by one value at the end, keeping the old values.
  void append();
  void clear();

  // Series file: "%d \n" with the count, then each value as "%.16le \n ".
  // readText returns false (and leaves the series as it was) when the file
  // cannot be opened, a number is missing or malformed, the count is
  // negative, or more values follow than the count says. writeText returns false when the file cannot be written.
  bool readText(const std::string& path);
  bool writeText(const std::string& path) const;
};

// Largest and smallest value; on ties the earliest value stays the result.
// Callers pass a series with at least one value.
double maxOfCx(const ValueSeries& history);
double minOfCx(const ValueSeries& history);

// A table of rowCount rows, each a series of colCount values.
struct ValueTable {
  std::vector<ValueSeries> rows;
  int rowCountValue = 0;
  int colCountValue = 0;

  ValueTable() = default;
  ValueTable(int rowCount, int colCount) { resize(rowCount, colCount); }

  // Discards every row and makes rowCount rows of colCount values.
  void resize(int rowCount, int colCount);
  ValueSeries& row(int i) { return rows[static_cast<size_t>(i)]; }
  const ValueSeries& row(int i) const { return rows[static_cast<size_t>(i)]; }
  int rowCount() const { return rowCountValue; }
  int colCount() const { return colCountValue; }

  // Table file: "%d %d \n" with the counts, then one line per row with every
  // value as "%.16le " and the line closed by "\n". readText resizes the
  // table to the counts of the file; on any failure (unreadable, truncated,
  // malformed, negative counts, more values than the counts say) it returns false and the table is unchanged.
  bool readText(const std::string& path);
  bool writeText(const std::string& path) const;
};

}  // namespace brelvik
