// Solver throughput on the default grid: New, then a few hundred passes of
// the solver loop with one OpenMP worker and with all of them. Prints point
// steps per second (points of all allocated volumes times passes per second)
// for both, their ratio and the time of one pass.
//
// Each figure is the best of three timed runs of `passes` passes (each run
// starts from New; the runs with one and with all workers alternate), so
// that short disturbances by other processes do not count; the load average
// at the start is printed alongside.
//
// Usage: bench_solver [passes]   (default 300)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "grid/geometry.h"
#include "solver/solver.h"
#include "state/simulation_state.h"

#if __has_include("grid/interpolation.h")
#include "grid/interpolation.h"
#define BRELVIK_HAVE_INTERPOLATION 1
#endif

#ifdef _OPENMP
#include <omp.h>
#endif

using namespace brelvik;

namespace {

struct Result {
  double seconds = 0;
  double Cx = 0;
};

// One timed run of `passes` passes from New with the given worker count.
Result timedRun(SimulationState& s, int passes, int workers) {
#ifdef _OPENMP
  omp_set_num_threads(workers);
#else
  (void)workers;
#endif
  newCase(s);
  const auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < passes; ++i) solverPass(s);
  const auto t1 = std::chrono::steady_clock::now();
  return {std::chrono::duration<double>(t1 - t0).count(), s.Cx};
}

std::string loadAverage() {
  std::string text;
  if (FILE* f = std::fopen("/proc/loadavg", "r")) {
    char buf[128] = {};
    if (std::fgets(buf, sizeof buf, f)) text = buf;
    std::fclose(f);
  }
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text.empty() ? "unknown" : text;
}

}  // namespace

int main(int argc, char** argv) {
  const int passes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 300;
  SimulationState s;
  DomainInputs in;
  in.D = toSingle(15);
  in.s = toSingle(0.02);
  CoreError error;
  if (!createDomain(s, in, &error)) {
    std::fprintf(stderr, "bench_solver: Create failed (error code %d)\n", static_cast<int>(error.code));
    return 1;
  }
#ifdef BRELVIK_HAVE_INTERPOLATION
  if (!runInterpolation(
          s, [](int, int) {}, &error)) {
    std::fprintf(stderr, "bench_solver: interpolation failed (error code %d)\n",
                 static_cast<int>(error.code));
    return 1;
  }
  const char* exchangeNote = "with interpolation data";
#else
  s.interpolationReady = 1;
  const char* exchangeNote = "WITHOUT interpolation data (interpolated points keep their values)";
#endif

  long long points = 0;
  for (const auto& v : s.volumes)
    if (v.allocated) points += v.pointCount();

  std::printf("load average at start: %s\n", loadAverage().c_str());
  int maxWorkers = 1;
#ifdef _OPENMP
  maxWorkers = omp_get_max_threads();
#endif
  // Warm-up (caches, the thread team), then three rounds that alternate
  // the two worker counts so that both see the same conditions; the best
  // run of each counts.
  timedRun(s, 10, maxWorkers);
  timedRun(s, 10, 1);
  Result one, all;
  for (int round = 0; round < 3; ++round) {
    const Result a = timedRun(s, passes, 1);
    const Result b = timedRun(s, passes, maxWorkers);
    if (round == 0 || a.seconds < one.seconds) one = a;
    if (round == 0 || b.seconds < all.seconds) all = b;
  }

  const double rateOne = double(points) * passes / one.seconds;
  const double rateAll = double(points) * passes / all.seconds;
  std::printf("grid: D=15 s=0.02 19x12x12, %d volumes, %lld points, %s\n", s.volumeCount, points,
              exchangeNote);
  std::printf("passes per run: %d (best of 3 runs)\n", passes);
  std::printf("1 worker : %8.3f ms/pass  %7.2f million point-steps/s\n", 1e3 * one.seconds / passes,
              rateOne / 1e6);
  std::printf("%d workers: %8.3f ms/pass  %7.2f million point-steps/s\n", maxWorkers,
              1e3 * all.seconds / passes, rateAll / 1e6);
  std::printf("speed-up  : %.2f\n", rateAll / rateOne);
  std::printf("Cx after the run: %.17g (1 worker) %.17g (%d workers) %s\n", one.Cx, all.Cx,
              maxWorkers,
              std::memcmp(&one.Cx, &all.Cx, sizeof(double)) == 0 ? "identical" : "DIFFERENT");
  return 0;
}
