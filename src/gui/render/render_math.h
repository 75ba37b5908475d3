#pragma once
// Computations behind the view's overlays and scene that need no OpenGL and
// no window: colour conversion, the 2x2 solve used for plane intersections,
// field ranges over the volumes, the legend's lines of text and the layout of
// the drag-history plot. Kept apart from the drawing code so that they can be
// tested without a display.

#include <optional>
#include <string>
#include <vector>

#include "state/finite_volume.h"
#include "state/simulation_state.h"

namespace brelvik {

// A byte value on the 0..255 scale to OpenGL's 0..1.
float colourComponent(float b);

// Solves a*y + b*z = c, d*y + e*z = f by Cramer's rule. The caller guarantees
// a non-zero determinant a*e - b*d.
void solve2x2(double a, double b, double c, double d, double e, double f, double& y, double& z);

// Largest / smallest value of `field` over the computed region of `vol`,
// counting only points of type 1. The region's first point seeds the running
// value whatever its type. Empty when the region or the array cannot supply
// that first point (arrays not allocated, region outside the array).
std::optional<double> fieldMaximum(const FiniteVolume& vol, const std::vector<double>& field);
std::optional<double> fieldMinimum(const FiniteVolume& vol, const std::vector<double>& field);

// The seven legend fields, in legend order.
enum class LegendField { U, V, W, P, Ro, T, Vixr };

struct FieldRange {
  double minimum = 0;
  double maximum = 0;
};

// The domain-wide range of one legend field over volumes [first, count) of
// s.volumes (first is 1 for the vorticity, 0 otherwise). Empty when there are
// fewer volumes than the range needs or a volume cannot supply a value.
std::optional<FieldRange> domainRange(const SimulationState& s, LegendField field);

// One text of the legend: top-left corner at (x, y) relative to the legend's
// left edge, i.e. x is added to S + 5.
struct LegendText {
  int y = 0;
  std::string text;
};

// The legend's texts in drawing order (each value line is followed by its
// label at the same y). Ranges that cannot be computed give no number, only
// the label.
std::vector<LegendText> legendTexts(const SimulationState& s);

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

// Copies historyTime and historyCx under the series lock.
void copyHistory(SimulationState& s, std::vector<double>& time, std::vector<double>& cx);

// printf-style formatting into a std::string.
std::string formatText(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

}  // namespace brelvik
