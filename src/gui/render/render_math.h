#pragma once
// Computations behind the view's overlays and scene that need no OpenGL and
// no window: colour conversion, the 2x2 solve used for plane intersections,
// field ranges over the volumes, the legend's lines of text and the layout of
// the drag-history plot. Kept apart from the drawing code so that they can be
// tested without a display.

#include <optional>
#include <string>
#include <vector>

#include "state/field_range.h"
#include "state/simulation_state.h"
#include "state/view_snapshot.h"

namespace brelvik {

// A byte value on the 0..255 scale to OpenGL's 0..1.
float colourComponent(float b);

// Solves a*y + b*z = c, d*y + e*z = f by Cramer's rule. The caller guarantees
// a non-zero determinant a*e - b*d.
void solve2x2(double a, double b, double c, double d, double e, double f, double& y, double& z);

// One text of the legend: top-left corner at (x, y) relative to the legend's
// left edge, i.e. x is added to S + 5.
struct LegendText {
  int y = 0;
  std::string text;
};

// The legend's texts in drawing order (each value line is followed by its
// label at the same y). Ranges that cannot be computed give no number, only
// the label.
std::vector<LegendText> legendTexts(const ViewSnapshot& s);

// The drag-history plot for a plot area S wide and H high (window pixels).
struct PlotLine {
  int x1, y1, x2, y2;
};
struct PlotLabel {
  int x, y;
  std::string text;
};
struct PlotLayout {
  bool drawn = false;  // false: fewer than 2 samples, nothing at all is drawn
  std::vector<PlotLine> axes;
  std::vector<PlotLabel> labels;
  std::vector<PlotLine> curve;
};

// Lays out the plot of cx against time (equal lengths expected; the shorter
// length is used). When all cx are equal or the first and last times are
// equal (or a scale is not finite), the axes and labels are kept and the
// curve is one flat segment on the time axis.
PlotLayout coefficientPlotLayout(const std::vector<double>& time, const std::vector<double>& cx,
                                 int S, int H);


// printf-style formatting into a std::string.
std::string formatText(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

}  // namespace brelvik
