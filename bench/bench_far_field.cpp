// How fast the drag of the default case settles with each far field.
//
// For each Mach number (default 0.6 and 0.3) on the default grid (Re 100,
// dt 0.005, D 15, 19 x 12 x 12 cells), side by side in one process:
//   - reflecting far field, impulsive start, up to t = --reflecting-time;
//   - absorbing far field, impulsive start, up to t = --absorbing-time;
// Prints for each run the final Cx, Cp, Cf; the step and the wall time from
// which Cx stays within 1% and within 0.1% of its final value; for the
// reflecting run the time average of Cx, Cp, Cf over its last two full
// periods of the drag oscillation (between the third-last and the last
// maximum of Cx) and the deviation of the absorbing run's final values from
// it; and the ratio of the wall times to the 1% band.
//
// A run that has not settled by its end reports its own final value, so the
// reflecting run needs a long end time (its oscillation decays by about 0.6
// per period of about 31 time units at M 0.6).
//
// Usage: bench_far_field [--quick] [--threads N] [--mach M1,M2,...]
//          [--reflecting-time T] [--absorbing-time T]
//   defaults: --threads 1 --mach 0.6,0.3 --reflecting-time 300
//             --absorbing-time 80
//   --quick: --mach 0.6 --reflecting-time 130 --absorbing-time 50

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "grid/geometry.h"
#include "grid/interpolation.h"
#include "post/history_stats.h"
#include "solver/solver.h"
#include "state/simulation_state.h"

#include "state/work_team.h"

using namespace brelvik;

namespace {

using Clock = std::chrono::steady_clock;

struct Run {
  const char* name = "";
  FarField farField = FarField::Reflecting;
  double endTime = 0;
  ValueSeries time, cx, cp, cf;
  std::vector<double> wall;  // seconds since the start, per history sample
  double seconds = 0;
  int steps = 0;
};

Run makeRun(const char* name, FarField farField, double endTime) {
  Run r;
  r.name = name;
  r.farField = farField;
  r.endTime = endTime;
  return r;
}

void simulate(SimulationState& s, Run& r) {
  s.farField = r.farField;
  newCase(s);
  const auto t0 = Clock::now();
  int seen = 0;
  while (s.physicalTime < r.endTime) {
    solverPass(s);
    if (s.historyCx.size() != seen) {
      seen = s.historyCx.size();
      r.wall.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
    }
    if (s.divergedStep.load() >= 0) break;
  }
  r.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
  r.steps = s.stepCount;
  r.time = s.historyTime;
  r.cx = s.historyCx;
  r.cp = s.historyCp;
  r.cf = s.historyCf;
}

// Sample index from which Cx stays within `band` of its final value.
void printSettling(const Run& r, double band, int historyInterval) {
  const int i = settledFrom(r.cx, band);
  if (i >= r.cx.size()) return;
  if (i == r.cx.size() - 1 && r.cx.size() > 1) {
    std::printf("    %5.1f%% band: not reached by t = %.1f\n", band * 100, r.time.item(i));
    return;
  }
  std::printf("    %5.1f%% band: from t = %7.2f, step %6d, wall %7.2f s\n", band * 100,
              r.time.item(i), (i + 1) * historyInterval, r.wall[size_t(i)]);
}

// Indices of the local maxima of Cx (strict rise before, no rise after).
std::vector<int> maxima(const ValueSeries& cx) {
  std::vector<int> out;
  for (int i = 1; i + 1 < cx.size(); ++i)
    if (cx.item(i) > cx.item(i - 1) && cx.item(i) >= cx.item(i + 1)) out.push_back(i);
  return out;
}

double relative(double a, double b) { return (a - b) / std::fabs(b); }

void compareAt(SimulationState& s, double mach, double reflectingTime, double absorbingTime) {
  s.M = toSingle(mach);
  std::vector<Run> runs;
  runs.push_back(makeRun("absorbing", FarField::Absorbing, absorbingTime));
  runs.push_back(makeRun("reflecting", FarField::Reflecting, reflectingTime));
  std::printf("\nM = %.2f, Re = %.0f, dt = %.4g\n", mach, s.Re, s.dt);
  std::fflush(stdout);
  for (Run& r : runs) {
    simulate(s, r);
    const int n = r.cx.size();
    std::printf("  %-16s %d steps to t = %.2f in %.1f s (%.2f ms/step)\n", r.name, r.steps, r.time.item(n - 1), r.seconds, 1e3 * r.seconds / r.steps);
    std::printf("    final Cx %.5f  Cp %.5f  Cf %.5f\n", r.cx.item(n - 1), r.cp.item(n - 1),
                r.cf.item(n - 1));
    printSettling(r, 0.01, s.historyInterval);
    printSettling(r, 0.001, s.historyInterval);
    std::fflush(stdout);
  }

  const Run& refl = runs.back();
  const Run& abso = runs[0];
  const std::vector<int> peaks = maxima(refl.cx);
  if (peaks.size() >= 3) {
    const double from = refl.time.item(peaks[peaks.size() - 3]);
    const double to = refl.time.item(peaks.back());
    const CoefficientAverage a = timeAverage(refl.time, refl.cx, refl.cp, refl.cf, from, to);
    const int n = abso.cx.size();
    std::printf("  reflecting, last two periods t = %.2f .. %.2f (period %.2f):\n", from, to,
                0.5 * (to - from));
    std::printf("    average Cx %.5f  Cp %.5f  Cf %.5f\n", a.Cx, a.Cp, a.Cf);
    std::printf("    absorbing final vs that average: Cx %+.2f%%  Cp %+.2f%%  Cf %+.2f%%\n",
                100 * relative(abso.cx.item(n - 1), a.Cx), 100 * relative(abso.cp.item(n - 1), a.Cp),
                100 * relative(abso.cf.item(n - 1), a.Cf));
  } else {
    std::printf("  reflecting: fewer than three maxima of Cx, no period average\n");
  }
  const int ri = settledFrom(refl.cx, 0.01), ai = settledFrom(abso.cx, 0.01);
  if (ri < refl.cx.size() && ai < abso.cx.size()) {
    std::printf("  to the 1%% band: absorbing/reflecting time %.3f, wall %.3f, steps %.3f%s\n",
                abso.time.item(ai) / refl.time.item(ri), abso.wall[size_t(ai)] / refl.wall[size_t(ri)],
                double(ai + 1) / double(ri + 1),
                ri == refl.cx.size() - 1 ? " (reflecting not settled: a lower bound)" : "");
  }
}

std::vector<double> numberList(const char* text) {
  std::vector<double> out;
  const char* p = text;
  while (*p) {
    char* end = nullptr;
    out.push_back(std::strtod(p, &end));
    if (end == p) break;
    p = *end == ',' ? end + 1 : end;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  int threads = 1;
  std::vector<double> machs = {0.6, 0.3};
  double reflectingTime = 300, absorbingTime = 80;
  for (int a = 1; a < argc; ++a) {
    const std::string arg = argv[a];
    const char* value = a + 1 < argc ? argv[a + 1] : "";
    if (arg == "--quick") {
      machs = {0.6};
      reflectingTime = 130;
      absorbingTime = 50;
    } else if (arg == "--threads") {
      threads = std::atoi(value), ++a;
    } else if (arg == "--mach") {
      machs = numberList(value), ++a;
    } else if (arg == "--reflecting-time") {
      reflectingTime = std::atof(value), ++a;
    } else if (arg == "--absorbing-time") {
      absorbingTime = std::atof(value), ++a;
    } else {
      std::fprintf(stderr, "usage: see the header of bench/bench_far_field.cpp\n");
      return 2;
    }
  }
  setComputeThreads(threads);
  SimulationState s;
  CoreError error;
  DomainInputs in;
  in.D = toSingle(15);
  in.s = toSingle(0.02);
  if (!createDomain(s, in, &error) || !runInterpolation(s, [](int, int) {}, &error)) {
    std::fprintf(stderr, "bench_far_field: Create or interpolation failed (error code %d)\n",
                 static_cast<int>(error.code));
    return 1;
  }
  s.dt = toSingle(0.005);
  if (FILE* f = std::fopen("/proc/loadavg", "r")) {
    char buf[128] = {};
    if (std::fgets(buf, sizeof buf, f)) std::printf("load average at the start: %s", buf);
    std::fclose(f);
  }
  std::printf("threads %d\n", threads);
  for (size_t m = 0; m < machs.size(); ++m)
    compareAt(s, machs[m], reflectingTime, absorbingTime);
  return 0;
}
