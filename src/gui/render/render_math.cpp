#include "gui/render/render_math.h"

#include <locale.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace brelvik {

float colourComponent(float b) { return b / 255.0f; }

void solve2x2(double a, double b, double c, double d, double e, double f, double& y, double& z) {
  const double det = a * e - b * d;
  y = (e * c - b * f) / det;
  z = (a * f - d * c) / det;
}

// Numbers are always written with a decimal point: the desktop's locale
// (which Qt installs for the whole process) must not turn it into a comma.
std::string formatText(const char* format, ...) {
  static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  const locale_t previous = uselocale(cLocale);
  char buffer[256];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  std::string out;
  if (n >= 0 && static_cast<size_t>(n) < sizeof buffer) {
    out.assign(buffer, static_cast<size_t>(n));
  } else if (n >= 0) {
    out.assign(static_cast<size_t>(n) + 1, '\0');
    va_start(args, format);
    std::vsnprintf(out.data(), out.size(), format, args);
    va_end(args);
    out.resize(static_cast<size_t>(n));
  }
  uselocale(previous);
  return out;
}

std::vector<LegendText> legendTexts(const ViewSnapshot& s) {
  std::vector<LegendText> out;
  out.push_back({5, formatText("порядок аппроксимации=%d", s.schemeOrder)});
  out.push_back({20, formatText("Re=%.2f M=%.2f", s.Re, s.M)});
  out.push_back({35, formatText("Pr=%.2f k=%.2f", s.Pr, s.k)});
  out.push_back({50, formatText("итерация=%d", s.scalars.stepCount)});
  out.push_back({65, formatText("время=%.2e", s.scalars.physicalTime)});
  out.push_back({80, "         min              max"});
  struct Row {
    LegendField field;
    const char* label;
  };
  static const Row rows[] = {{LegendField::U, "u"},   {LegendField::V, "v"},
                             {LegendField::W, "w"},   {LegendField::P, "p"},
                             {LegendField::Ro, "ro"}, {LegendField::T, "T"},
                             {LegendField::Vixr, "vixr"}};
  int y = 95;
  for (const Row& row : rows) {
    if (const auto& range = s.ranges[static_cast<size_t>(row.field)]) {
      out.push_back({y, formatText("% 15.4f% 15.4f", range->minimum, range->maximum)});
    }
    out.push_back({y, row.label});
    y += 15;
  }
  out.push_back({200, formatText("% 15.4f", s.scalars.Cx)});
  out.push_back({200, "Cx"});
  out.push_back({215, formatText("% 15.4f", s.scalars.Cp)});
  out.push_back({215, "Cp"});
  out.push_back({230, formatText("% 15.4f", s.scalars.Cf)});
  out.push_back({230, "Cf"});
  return out;
}

PlotLayout coefficientPlotLayout(const std::vector<double>& time, const std::vector<double>& cx,
                                 int S, int H) {
  PlotLayout plot;
  const size_t n = std::min(time.size(), cx.size());
  if (n < 2) return plot;
  plot.drawn = true;

  double cmax = cx[0], cmin = cx[0];
  for (size_t i = 1; i < n; ++i) {
    if (cx[i] > cmax) cmax = cx[i];
    if (cx[i] < cmin) cmin = cx[i];
  }
  const double t0 = time[0], tn = time[n - 1];

  plot.axes.push_back({50, 0, 50, H - 25});
  plot.axes.push_back({50, H - 25, S, H - 25});
  plot.labels.push_back({0, 0, formatText("%.4f", cmax)});
  plot.labels.push_back({0, H - 40, formatText("%.4f", cmin)});
  plot.labels.push_back({50, H - 20, formatText("%.2f", t0)});
  plot.labels.push_back({S - 45, H - 20, formatText("%.2f", tn)});
  plot.labels.push_back({S - 20, 0, "Cx"});

  const double fx = (S - 55) / (tn - t0);
  const double fy = (35 - H) / (cmax - cmin);
  const double oyReal = (H - 25) - cmin * fy;
  // A zero (or non-finite) spread leaves no scale: the history is flat in the
  // picture, so it lies on the time axis over the axis's whole length.
  bool flat = !(tn != t0 && cmax != cmin && std::isfinite(fx) && std::isfinite(fy) &&
                std::isfinite(oyReal));
  std::vector<PlotLine> curve;
  if (!flat) {
    const int oy = static_cast<int>(oyReal);
    // Keeps the truncations defined for samples far outside the window (a
    // time series that runs backwards, say): the picture is clipped anyway.
    auto toInt = [](double v) {
      if (!(v > -1e6)) return -1000000;
      if (!(v < 1e6)) return 1000000;
      return static_cast<int>(v);
    };
    double X = 0;
    for (size_t i = 0; i + 1 < n; ++i) {
      const double Xn = (time[i + 1] - time[i]) * fx + X;
      const double ya = cx[i] * fy + oy, yb = cx[i + 1] * fy + oy;
      if (!std::isfinite(Xn) || !std::isfinite(ya) || !std::isfinite(yb)) {
        flat = true;
        break;
      }
      curve.push_back({toInt(X) + 51, toInt(ya), toInt(Xn) + 51, toInt(yb)});
      X = Xn;
    }
  }
  if (flat) {
    plot.curve.push_back({51, H - 25, S - 4, H - 25});
  } else {
    plot.curve = std::move(curve);
  }
  return plot;
}


}  // namespace brelvik
