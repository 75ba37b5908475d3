#pragma once
// a / b with the bits of the division, from y = 1/b and two fused
// multiply-adds: the R kernel divides 21 times per point, and the divider
// is the slowest unit it uses (one division costs as much as some eight
// FMAs), while several quotients share a denominator or divide by a
// constant of the run.
//
// Markstein's theorem: if y = RN(1/b) and q = RN(a*y) (within one ulp of
// a/b), the remainder r = a - q*b is a floating-point number, one FMA
// computes it exactly, and RN(q + r*y) = RN(a/b). It needs a, b, the
// quotient and the remainder to be normal numbers, which holds when
// |b| is in [2^-60, 2^60] and a is zero or |a| is in [2^-900, 2^900]
// (|r| >= |a| * 2^-106 stays above 2^-1022). A zero a gives r = 0, and q
// then already is the quotient with its sign; so is any q with r = 0.
//
// Outside that range (or for inf and NaN) the callers divide. Without a
// fused multiply-add in the instruction set the FMA would be a library
// call, so such builds divide everywhere; the values are the same.

#include <cmath>

namespace brelvik {

#if defined(__FMA__)
inline constexpr bool kExactQuotientByFma = true;
#else
inline constexpr bool kExactQuotientByFma = false;
#endif

// Whether b may be a divisor of exactQuotient. NaN is not. (Bitwise
// operators: no branches, so that the kernels' loops stay vectorised.)
inline bool quotientDivisorInRange(double b) {
  const double t = std::fabs(b);
  return (t >= 0x1p-60) & (t <= 0x1p60);
}

// Whether a may be a numerator of exactQuotient. NaN and inf are not.
inline bool quotientNumeratorInRange(double a) {
  const double t = std::fabs(a);
  return (t <= 0x1p900) & ((t >= 0x1p-900) | (t == 0.0));
}

// RN(a / b) for a and b in range, given y = 1.0 / b.
inline double exactQuotient(double a, double b, double y) {
  const double q = a * y;
  const double r = std::fma(-q, b, a);
  return r == 0.0 ? q : std::fma(r, y, q);
}

}  // namespace brelvik
