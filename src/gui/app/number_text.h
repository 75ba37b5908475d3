#pragma once
// Number <-> text conversions of the dialogs, independent of the process
// locale (a Russian desktop locale would otherwise turn the decimal point
// into a comma both when printing and when parsing).
//
// Parsing follows the C library conversions the dialogs have always used:
// leading white space is skipped, the longest leading number is taken, the
// rest of the text is ignored, and text that does not start with a number
// reads as 0.

#include <QString>

namespace brelvik {

// strtod/atof semantics in the "C" locale.
double leadingDouble(const QString& text);
// atoi semantics (base 10); values beyond the int range are clamped.
int leadingInt(const QString& text);

// printf-style formatting in the "C" locale, e.g. cFormat("%.2f", 15.0) == "15.00".
QString cFormat(const char* format, double value);
QString cFormat(const char* format, int value);

}  // namespace brelvik
