#pragma once
// Statistics of the drag histories: when Cx has settled, and time averages.
// All take the history series as parallel arrays of equal length (samples in
// ascending time) and read nothing else.

#include "state/value_series.h"

namespace brelvik {

// True when the samples reach back at least `window` time units before the
// last one and every sample in that window (time >= last time - window)
// lies within eps*|last Cx| of the last Cx. False with fewer than 2 samples.
bool cxSettled(const ValueSeries& time, const ValueSeries& cx, double eps, double window);

// The first sample from which every later sample stays within band*|final|
// of the final (last) value; size() when the series is empty.
int settledFrom(const ValueSeries& values, double band);

// Time averages of the three coefficients over the samples with time >= from
// (trapezoidal rule in time; the value itself for a single sample).
struct CoefficientAverage {
  double Cx = 0, Cp = 0, Cf = 0;
  int samples = 0;  // 0: no sample at or after `from`; the averages are then 0
};
CoefficientAverage timeAverage(const ValueSeries& time, const ValueSeries& cx,
                               const ValueSeries& cp, const ValueSeries& cf, double from,
                               double to = 1e300);

}  // namespace brelvik
