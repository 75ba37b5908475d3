#include "post/history_stats.h"

#include <cmath>

namespace brelvik {

bool cxSettled(const ValueSeries& time, const ValueSeries& cx, double eps, double window) {
  const int n = cx.size();
  if (n < 2 || time.size() != n) return false;
  const double last = cx.item(n - 1);
  const double start = time.item(n - 1) - window;
  if (!std::isfinite(last) || time.item(0) > start) return false;
  const double tolerance = eps * std::fabs(last);
  for (int i = n - 1; i >= 0 && time.item(i) >= start; --i)
    if (!(std::fabs(cx.item(i) - last) <= tolerance)) return false;
  return true;
}

int settledFrom(const ValueSeries& values, double band) {
  const int n = values.size();
  if (n == 0) return 0;
  const double final = values.item(n - 1);
  const double tolerance = band * std::fabs(final);
  int i = n - 1;
  while (i > 0 && std::fabs(values.item(i - 1) - final) <= tolerance) --i;
  return i;
}

CoefficientAverage timeAverage(const ValueSeries& time, const ValueSeries& cx,
                               const ValueSeries& cp, const ValueSeries& cf, double from,
                               double to) {
  CoefficientAverage a;
  const int n = time.size();
  if (cx.size() != n || cp.size() != n || cf.size() != n) return a;
  int first = -1, last = -1;
  for (int i = 0; i < n; ++i) {
    if (time.item(i) < from || time.item(i) > to) continue;
    if (first < 0) first = i;
    last = i;
  }
  if (first < 0) return a;
  a.samples = last - first + 1;
  if (first == last) {
    a.Cx = cx.item(first);
    a.Cp = cp.item(first);
    a.Cf = cf.item(first);
    return a;
  }
  const ValueSeries* series[3] = {&cx, &cp, &cf};
  double* out[3] = {&a.Cx, &a.Cp, &a.Cf};
  const double span = time.item(last) - time.item(first);
  for (int q = 0; q < 3; ++q) {
    double integral = 0;
    for (int i = first; i < last; ++i)
      integral += 0.5 * (series[q]->item(i) + series[q]->item(i + 1)) *
                  (time.item(i + 1) - time.item(i));
    *out[q] = integral / span;
  }
  return a;
}

}  // namespace brelvik
