#include "post/history_export.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <mutex>

#include "io/text_file.h"
#include "io/vtk_xml.h"
#include "state/simulation_state.h"

namespace brelvik {

using io_detail::fail;

namespace {

std::string number(double v, const char* format = "%.17g") {
  char text[48];
  std::snprintf(text, sizeof text, format, v);
  return text;
}

// ---- SVG plot --------------------------------------------------------------

// Plot area of one panel in SVG user units and its data window.
struct Panel {
  double left, top, width, height;
  double x0, x1, y0, y1;  // data window (y in log10 units on a log panel)
  double px(double x) const { return left + (x - x0) / (x1 - x0) * width; }
  double py(double y) const { return top + height - (y - y0) / (y1 - y0) * height; }
};

// A round tick step (1, 2 or 5 times a power of ten) giving about `ticks`
// intervals over [lo, hi].
double niceStep(double lo, double hi, int ticks) {
  const double raw = (hi - lo) / ticks;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  const double f = raw / power;
  return (f < 1.5 ? 1 : f < 3.5 ? 2 : f < 7.5 ? 5 : 10) * power;
}

// Widens a degenerate or empty range so the axis can be drawn.
void padRange(double& lo, double& hi) {
  if (!(lo <= hi)) lo = 0, hi = 1;
  if (hi - lo < 1e-12 * std::max(1.0, std::fabs(hi))) {
    const double d = std::max(1e-3, std::fabs(hi) * 0.05);
    lo -= d;
    hi += d;
  }
}

// A polyline through the finite points; a non-finite value breaks the line.
std::string polyline(const Panel& p, const std::vector<double>& x, const std::vector<double>& y,
                     const char* colour) {
  std::string out, points;
  auto flush = [&] {
    if (!points.empty())
      out += "<polyline fill=\"none\" stroke=\"" + std::string(colour) +
             "\" stroke-width=\"1.5\" points=\"" + points + "\"/>\n";
    points.clear();
  };
  for (size_t i = 0; i < x.size() && i < y.size(); ++i) {
    if (!std::isfinite(x[i]) || !std::isfinite(y[i])) {
      flush();
      continue;
    }
    points += number(p.px(x[i]), "%.2f") + "," + number(p.py(y[i]), "%.2f") + " ";
  }
  flush();
  return out;
}

std::string text(double x, double y, const std::string& s, const char* anchor,
                 const char* extra = "") {
  return "<text x=\"" + number(x, "%.1f") + "\" y=\"" + number(y, "%.1f") + "\" text-anchor=\"" +
         anchor + "\"" + extra + ">" + xmlAttribute(s) + "</text>\n";
}

std::string frame(const Panel& p) {
  return "<rect x=\"" + number(p.left, "%.1f") + "\" y=\"" + number(p.top, "%.1f") +
         "\" width=\"" + number(p.width, "%.1f") + "\" height=\"" + number(p.height, "%.1f") +
         "\" fill=\"none\" stroke=\"black\"/>\n";
}

std::string hLine(const Panel& p, double y) {
  return "<line x1=\"" + number(p.left, "%.1f") + "\" x2=\"" + number(p.left + p.width, "%.1f") +
         "\" y1=\"" + number(y, "%.1f") + "\" y2=\"" + number(y, "%.1f") +
         "\" stroke=\"#dddddd\"/>\n";
}

std::string vLine(const Panel& p, double x) {
  return "<line x1=\"" + number(x, "%.1f") + "\" x2=\"" + number(x, "%.1f") + "\" y1=\"" +
         number(p.top, "%.1f") + "\" y2=\"" + number(p.top + p.height, "%.1f") +
         "\" stroke=\"#dddddd\"/>\n";
}

std::string xAxis(const Panel& p, const char* label) {
  std::string out;
  const double step = niceStep(p.x0, p.x1, 8);
  for (double x = std::ceil(p.x0 / step) * step; x <= p.x1 + 1e-9 * step; x += step) {
    const double X = p.px(x);
    out += vLine(p, X);
    out += text(X, p.top + p.height + 16, number(std::fabs(x) < 1e-12 * step ? 0 : x, "%g"), "middle");
  }
  out += text(p.left + p.width / 2, p.top + p.height + 36, label, "middle");
  return out;
}

std::string legend(const Panel& p, const std::vector<std::pair<std::string, const char*>>& items) {
  std::string out;
  double y = p.top + 16;
  for (const auto& [name, colour] : items) {
    const double x = p.left + p.width - 90;
    out += "<line x1=\"" + number(x, "%.1f") + "\" x2=\"" + number(x + 24, "%.1f") + "\" y1=\"" +
           number(y - 4, "%.1f") + "\" y2=\"" + number(y - 4, "%.1f") + "\" stroke=\"" + colour +
           "\" stroke-width=\"2\"/>\n";
    out += text(x + 30, y, name, "start");
    y += 18;
  }
  return out;
}

void timeRange(const HistoryTable& h, double& lo, double& hi) {
  lo = std::numeric_limits<double>::infinity();
  hi = -lo;
  for (double t : h.time)
    if (std::isfinite(t)) lo = std::min(lo, t), hi = std::max(hi, t);
  padRange(lo, hi);
}

constexpr const char* kCoefficientColours[3] = {"#000000", "#1f77b4", "#d62728"};
constexpr const char* kResidualColours[5] = {"#2ca02c", "#ff7f0e", "#9467bd", "#8c564b",
                                             "#e377c2"};

std::string coefficientPanel(const HistoryTable& h, const Panel& base) {
  Panel p = base;
  timeRange(h, p.x0, p.x1);
  double lo = std::numeric_limits<double>::infinity(), hi = -lo;
  for (const auto* series : {&h.Cx, &h.Cp, &h.Cf})
    for (double v : *series)
      if (std::isfinite(v)) lo = std::min(lo, v), hi = std::max(hi, v);
  padRange(lo, hi);
  const double step = niceStep(lo, hi, 6);
  p.y0 = std::floor(lo / step) * step;
  p.y1 = std::ceil(hi / step) * step;
  std::string out = "<g font-family=\"sans-serif\" font-size=\"12\">\n";
  for (double y = p.y0; y <= p.y1 + 1e-9 * step; y += step) {
    out += hLine(p, p.py(y));
    out += text(p.left - 6, p.py(y) + 4, number(std::fabs(y) < 1e-12 * step ? 0 : y, "%g"), "end");
  }
  out += xAxis(p, "time t");
  out += text(p.left - 52, p.top + p.height / 2, "drag coefficient", "middle",
              (" transform=\"rotate(-90 " + number(p.left - 52, "%.1f") + " " +
               number(p.top + p.height / 2, "%.1f") + ")\"").c_str());
  out += polyline(p, h.time, h.Cx, kCoefficientColours[0]);
  out += polyline(p, h.time, h.Cp, kCoefficientColours[1]);
  out += polyline(p, h.time, h.Cf, kCoefficientColours[2]);
  out += frame(p);
  out += legend(p, {{"Cx", kCoefficientColours[0]}, {"Cp", kCoefficientColours[1]},
                    {"Cf", kCoefficientColours[2]}});
  return out + "</g>\n";
}

std::string residualPanel(const HistoryTable& h, const Panel& base) {
  Panel p = base;
  timeRange(h, p.x0, p.x1);
  // Residuals over many decades: the axis is log10 of the value; values
  // that are not positive have no place on it and break the line.
  std::array<std::vector<double>, 5> logs;
  double lo = std::numeric_limits<double>::infinity(), hi = -lo;
  for (size_t c = 0; c < 5; ++c)
    for (const auto& r : h.residual) {
      const double v = r[c] > 0 ? std::log10(r[c]) : std::numeric_limits<double>::quiet_NaN();
      logs[c].push_back(v);
      if (std::isfinite(v)) lo = std::min(lo, v), hi = std::max(hi, v);
    }
  if (!(lo <= hi)) lo = -6, hi = 0;
  p.y0 = std::floor(lo);
  p.y1 = std::max(std::ceil(hi), p.y0 + 1);
  const int decadeStep = std::max(1, int(std::ceil((p.y1 - p.y0) / 8)));
  std::string out = "<g font-family=\"sans-serif\" font-size=\"12\">\n";
  for (double y = p.y0; y <= p.y1; y += decadeStep) {
    out += hLine(p, p.py(y));
    out += "<text x=\"" + number(p.left - 6, "%.1f") + "\" y=\"" + number(p.py(y) + 4, "%.1f") +
           "\" text-anchor=\"end\">10<tspan dy=\"-6\" font-size=\"9\">" + number(y, "%g") +
           "</tspan></text>\n";
  }
  out += xAxis(p, "time t");
  out += text(p.left - 52, p.top + p.height / 2, "residual (log scale)", "middle",
              (" transform=\"rotate(-90 " + number(p.left - 52, "%.1f") + " " +
               number(p.top + p.height / 2, "%.1f") + ")\"").c_str());
  std::vector<std::pair<std::string, const char*>> items;
  for (size_t c = 0; c < 5; ++c) {
    out += polyline(p, h.time, logs[c], kResidualColours[c]);
    items.push_back({kResidualNames[c], kResidualColours[c]});
  }
  out += frame(p);
  out += legend(p, items);
  return out + "</g>\n";
}

}  // namespace

std::vector<int> historySampleSteps(int stepCount, int sinceLast, int interval, int count) {
  std::vector<int> steps(size_t(std::max(count, 0)));
  for (int m = 0; m < count; ++m)
    steps[size_t(m)] = stepCount - sinceLast - (count - 1 - m) * interval;
  return steps;
}

HistoryTable historyTableOf(SimulationState& s) {
  std::lock_guard<std::mutex> pass(s.passMutex);
  std::lock_guard<std::mutex> series(s.seriesMutex);
  HistoryTable h;
  h.time = s.historyTime.data;
  h.Cx = s.historyCx.data;
  h.Cp = s.historyCp.data;
  h.Cf = s.historyCf.data;
  const size_t count = std::min({h.time.size(), h.Cx.size(), h.Cp.size(), h.Cf.size()});
  h.time.resize(count);
  h.Cx.resize(count);
  h.Cp.resize(count);
  h.Cf.resize(count);
  h.step = historySampleSteps(s.stepCount, s.historyCounter, s.historyInterval, int(count));
  // Residuals are kept with the samples of runs that computed them (a loaded
  // case holds NaN for earlier samples, which the plot leaves out).
  bool residuals = count > 0;
  for (const ValueSeries& r : s.historyResidual) residuals = residuals && size_t(r.size()) == count;
  if (residuals) {
    h.residual.resize(count);
    for (size_t m = 0; m < count; ++m)
      for (size_t q = 0; q < 5; ++q) h.residual[m][q] = s.historyResidual[q].item(int(m));
  }
  return h;
}

bool writeHistoryCsv(const HistoryTable& h, const std::string& path, CoreError* error) {
  io_detail::CNumericLocale cLocale;
  const bool residuals = !h.residual.empty();
  std::string csv = "step,time,Cx,Cp,Cf";
  if (residuals)
    for (const char* name : kResidualNames) {
      csv += ',';
      csv += name;
    }
  csv += "\n";
  auto field = [&csv](double v) {
    csv += ',';
    csv += number(v);
  };
  for (size_t m = 0; m < h.time.size(); ++m) {
    csv += std::to_string(m < h.step.size() ? h.step[m] : 0);
    for (double v : {h.time[m], h.Cx[m], h.Cp[m], h.Cf[m]}) field(v);
    if (residuals)
      for (double r : m < h.residual.size() ? h.residual[m] : std::array<double, 5>{}) field(r);
    csv += '\n';
  }
  return writeTextFileAtomically(path, csv, error);
}

std::string historySvg(const HistoryTable& h) {
  io_detail::CNumericLocale cLocale;
  const bool residuals = !h.residual.empty();
  const double width = 800, panelHeight = 320;
  const double height = residuals ? 2 * panelHeight + 150 : panelHeight + 90;
  std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                    number(width, "%.0f") + "\" height=\"" + number(height, "%.0f") +
                    "\" viewBox=\"0 0 " + number(width, "%.0f") + " " + number(height, "%.0f") +
                    "\">\n<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  svg += text(width / 2, 22, "Drag history (" + std::to_string(h.time.size()) + " samples)",
              "middle", " font-family=\"sans-serif\" font-size=\"15\"");
  svg += coefficientPanel(h, Panel{80, 40, width - 110, panelHeight, 0, 1, 0, 1});
  if (residuals)
    svg += residualPanel(h, Panel{80, 40 + panelHeight + 70, width - 110, panelHeight, 0, 1, 0, 1});
  return svg + "</svg>\n";
}

bool writeHistorySvg(const HistoryTable& h, const std::string& path, CoreError* error) {
  return writeTextFileAtomically(path, historySvg(h), error);
}

}  // namespace brelvik
