#pragma once
// The drag history as files for other tools: a CSV table and an SVG plot.

#include <array>
#include <string>
#include <vector>

#include "state/core_error.h"

namespace brelvik {

struct SimulationState;

// One row per history sample.
struct HistoryTable {
  std::vector<int> step;
  std::vector<double> time, Cx, Cp, Cf;
  // Residuals of ro, u, v, w, T per sample; empty when the case has none.
  std::vector<std::array<double, 5>> residual;
};

// Names of the residual columns, in the order of HistoryTable::residual.
inline constexpr std::array<const char*, 5> kResidualNames = {"res_ro", "res_u", "res_v", "res_w",
                                                              "res_T"};

// The step of each of `count` samples. Samples are taken every `interval`
// steps and the last one `sinceLast` steps before `stepCount`, so sample m
// was taken at stepCount - sinceLast - (count-1-m)*interval.
std::vector<int> historySampleSteps(int stepCount, int sinceLast, int interval, int count);

// Copies the histories (under passMutex, then seriesMutex).
HistoryTable historyTableOf(SimulationState& s);

// Header "step,time,Cx,Cp,Cf" (plus the residual columns when there are
// residuals), then one row per sample, numbers with 17 significant digits.
// False with kFileUnwritable naming the file and the system's reason.
bool writeHistoryCsv(const HistoryTable& h, const std::string& path, CoreError* error);

// An SVG document: Cx, Cp and Cf over the time with labelled axes and a
// legend; when there are residuals, a second panel below shows them on a
// logarithmic axis.
std::string historySvg(const HistoryTable& h);
bool writeHistorySvg(const HistoryTable& h, const std::string& path, CoreError* error);

}  // namespace brelvik
