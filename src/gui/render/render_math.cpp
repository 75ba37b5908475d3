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

namespace {

// Running extreme over the computed region; `better(a, b)` is true when a
// should replace b.
template <class Better>
std::optional<double> regionExtreme(const FiniteVolume& vol, const std::vector<double>& field,
                                    Better better) {
  if (vol.i_begin > vol.i_end || vol.j_begin > vol.j_end || vol.k_begin > vol.k_end) {
    return std::nullopt;
  }
  const int64_t count = static_cast<int64_t>(field.size());
  const int64_t types = static_cast<int64_t>(vol.type_point.size());
  auto index = [&](int i, int j, int k) {
    return static_cast<int64_t>(k) + static_cast<int64_t>(j) * vol.stride_j +
           static_cast<int64_t>(i) * vol.stride_i;
  };
  const int64_t first = index(vol.i_begin, vol.j_begin, vol.k_begin);
  const int64_t last = index(vol.i_end, vol.j_end, vol.k_end);
  // The region is a box, so its first and last points bound every index.
  if (first < 0 || last >= count || last >= types) return std::nullopt;
  double value = field[static_cast<size_t>(first)];
  for (int i = vol.i_begin; i <= vol.i_end; ++i) {
    for (int j = vol.j_begin; j <= vol.j_end; ++j) {
      for (int k = vol.k_begin; k <= vol.k_end; ++k) {
        const size_t n = static_cast<size_t>(index(i, j, k));
        if (vol.type_point[n] == kPointComputed && better(field[n], value)) value = field[n];
      }
    }
  }
  return value;
}

const std::vector<double>& fieldOf(const FiniteVolume& vol, LegendField field) {
  switch (field) {
    case LegendField::U: return vol.u_glob;
    case LegendField::V: return vol.v_glob;
    case LegendField::W: return vol.w_glob;
    case LegendField::P: return vol.P;
    case LegendField::Ro: return vol.ro;
    case LegendField::T: return vol.T;
    case LegendField::Vixr: break;
  }
  return vol.vixr;
}

}  // namespace

std::optional<double> fieldMaximum(const FiniteVolume& vol, const std::vector<double>& field) {
  return regionExtreme(vol, field, [](double a, double b) { return a > b; });
}

std::optional<double> fieldMinimum(const FiniteVolume& vol, const std::vector<double>& field) {
  return regionExtreme(vol, field, [](double a, double b) { return a < b; });
}

std::optional<FieldRange> domainRange(const SimulationState& s, LegendField field) {
  const int first = field == LegendField::Vixr ? 1 : 0;
  const int count = std::min<int>(s.volumeCount, static_cast<int>(s.volumes.size()));
  if (count <= first) return std::nullopt;
  FieldRange range;
  for (int n = first; n < count; ++n) {
    const FiniteVolume& vol = s.volumes[static_cast<size_t>(n)];
    const std::vector<double>& values = fieldOf(vol, field);
    const auto lo = fieldMinimum(vol, values);
    const auto hi = fieldMaximum(vol, values);
    if (!lo || !hi) return std::nullopt;
    if (n == first) {
      range.minimum = *lo;
      range.maximum = *hi;
    } else {
      if (*lo < range.minimum) range.minimum = *lo;
      if (*hi > range.maximum) range.maximum = *hi;
    }
  }
  return range;
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

std::vector<LegendText> legendTexts(const SimulationState& s) {
  std::vector<LegendText> out;
  out.push_back({5, formatText("порядок аппроксимации=%d", s.schemeOrder)});
  out.push_back({20, formatText("Re=%.2f M=%.2f", s.Re, s.M)});
  out.push_back({35, formatText("Pr=%.2f k=%.2f", s.Pr, s.k)});
  out.push_back({50, formatText("итерация=%d", s.stepCount)});
  out.push_back({65, formatText("время=%.2e", s.physicalTime)});
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
    if (const auto range = domainRange(s, row.field)) {
      out.push_back({y, formatText("% 15.4f% 15.4f", range->minimum, range->maximum)});
    }
    out.push_back({y, row.label});
    y += 15;
  }
  out.push_back({200, formatText("% 15.4f", s.Cx)});
  out.push_back({200, "Cx"});
  out.push_back({215, formatText("% 15.4f", s.Cp)});
  out.push_back({215, "Cp"});
  out.push_back({230, formatText("% 15.4f", s.Cf)});
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

void copyHistory(SimulationState& s, std::vector<double>& time, std::vector<double>& cx) {
  std::lock_guard<std::mutex> lock(s.seriesMutex);
  time = s.historyTime.data;
  cx = s.historyCx.data;
}

}  // namespace brelvik
