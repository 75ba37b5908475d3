// Solver throughput: passes of the solver loop from New with different
// numbers of workers, on an idle machine and with one competing busy
// process, on the default grid and on the finer grid 38 x 24 x 24; then 3,
// 4, 6, 8 and 12 workers (more than this machine's processors) against 2;
// and the largest work unit's share of a step.
//
// "N workers" is a team of N threads whose participants per step the
// program's tuner chooses by measurement (participant_tuner.h), as in the
// desktop program and the batch driver; "N workers (fixed)" runs every step
// on all N (tuning off), which shows what the tuner avoids.
//
// Every figure is the best of three timed runs of `passes` passes, each
// from New after passes/20 untimed ones; the worker counts alternate inside a round so that they see the
// same conditions. The "paired" lines time many short runs instead (30
// rounds of passes/10 on the default grid, 15 of passes/50 on the finer
// one), the counts in turn, and give medians over the rounds: the ratio of
// each round is taken within a second or so, which the host's drift in
// speed leaves nearly alone. "point-steps/s" is the points of all allocated volumes
// times passes per second. The busy process is a child of this program that
// spins on one processor while its section runs. After each run the fields
// and Cx are hashed; every worker count must give the 1-worker hash.
//
// "two 1-worker runs at once" is what the machine gives two independent
// single-threaded runs: a second process (forked at start, before any
// thread exists, with its own copy of the case) runs the 1-worker run at
// the same moment as this one, and the figure is the two runs' combined
// speed against a run of this process alone just before (paired, as the
// paired lines). On a virtual machine whose second processor
// or whose memory bandwidth is shared it is well below 2; it is the
// reference for judging the 2-worker speed-up there. (Two workers share one
// copy of the case in the caches, so they may exceed it.)
//
// Usage: bench_solver [passes] [--spins] [--idle-only]
//   passes   passes per run on the default grid (default 300; the finer grid
//            runs passes/8)
//   --spins  also compare wait-policy spin counts (0 = block at once)
//   --idle-only  only 1 and 2 workers on the default grid, idle (for a
//            side-by-side run against an older build's bench_solver)

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "grid/geometry.h"
#include "grid/interpolation.h"
#include "solver/solver.h"
#include "solver/step_plan.h"
#include "state/participant_tuner.h"
#include "state/simulation_state.h"
#include "state/work_team.h"

#include "bench_support.h"

using namespace brelvik;
using brelvik::bench::loadAverage;

namespace {

struct Result {
  double seconds = 0;
  uint64_t hash = 0;
};

uint64_t fieldHash(SimulationState& s) {
  uint64_t h = 1469598103934665603ull;
  auto mix = [&h](const void* p, size_t bytes) {
    const unsigned char* c = static_cast<const unsigned char*>(p);
    for (size_t i = 0; i < bytes; ++i) h = (h ^ c[i]) * 1099511628211ull;
  };
  for (auto& v : s.volumes)
    if (v.allocated)
      forEachFlowArray(v, [&](const std::vector<double>& a) { mix(a.data(), a.size() * 8); });
  mix(&s.Cx, sizeof s.Cx);
  return h;
}

// workers > 0: a team of `workers` threads, the participants of each step
// chosen by the program's tuner (what the programs do); workers < 0: every
// step on exactly -workers participants (tuning off).
Result timedRun(SimulationState& s, int passes, int workers) {
  setComputeThreads(workers > 0 ? workers : -workers);
  setParticipantTuning(workers > 0);
  newCase(s);
  // Untimed passes with the same workers first. Without them the run that
  // follows the one-worker run paid for the change: on an idle machine the
  // tuned two-worker run does the same work as the fixed one after it, yet
  // was slower in 6 of 8 benchmark runs (2% on average). Every run does
  // the same passes from New, so the hashes still compare.
  for (int i = 0; i < std::max(2, passes / 20); ++i) solverPass(s);
  const auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < passes; ++i) solverPass(s);
  const auto t1 = std::chrono::steady_clock::now();
  setParticipantTuning(true);
  return {std::chrono::duration<double>(t1 - t0).count(), fieldHash(s)};
}

// Best of three rounds for each worker count (alternating inside a round).
std::vector<Result> bestOfThree(SimulationState& s, int passes, const std::vector<int>& workers) {
  for (int w : workers) timedRun(s, std::max(2, passes / 20), w);  // warm-up
  std::vector<Result> best(workers.size());
  for (int round = 0; round < 3; ++round)
    for (size_t i = 0; i < workers.size(); ++i) {
      const Result r = timedRun(s, passes, workers[i]);
      if (round == 0 || r.seconds < best[i].seconds) best[i] = r;
    }
  return best;
}

// Paired figures: `rounds` rounds, each a short run of every count in turn
// (from New, as timedRun), and the median over the rounds of each count's
// time and of the first count's time over its time in the same round. On a
// shared host the speed drifts by 10-40% from one second to the next; the
// runs of a round see the same seconds, so a round's ratio is far steadier
// than a ratio of two bests taken at different moments.
struct Paired {
  std::vector<double> seconds;  // median per count
  std::vector<double> ratio;    // median of counts[0]'s time over this count's, per round
  bool same = true;             // every run gave the same fields and Cx
};

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0.0 : v[v.size() / 2];
}

Paired pairedRuns(SimulationState& s, int passes, const std::vector<int>& counts, int rounds) {
  std::vector<std::vector<double>> times(counts.size()), ratios(counts.size());
  Paired p;
  uint64_t hash = 0;
  for (int round = 0; round < rounds; ++round) {
    std::vector<double> t(counts.size());
    for (size_t i = 0; i < counts.size(); ++i) {
      const Result r = timedRun(s, passes, counts[i]);
      if (round == 0 && i == 0) hash = r.hash;
      p.same = p.same && r.hash == hash;
      t[i] = r.seconds;
      times[i].push_back(r.seconds);
    }
    for (size_t i = 0; i < counts.size(); ++i) ratios[i].push_back(t[0] / t[i]);
  }
  for (size_t i = 0; i < counts.size(); ++i) {
    p.seconds.push_back(median(times[i]));
    p.ratio.push_back(median(ratios[i]));
  }
  return p;
}

void printPaired(const char* label, const Paired& p, int passes, int rounds, long long points) {
  std::printf("  %s, paired (%d rounds of %d-pass runs, medians): 1 worker %.3f, 2 workers %.3f "
              "ms/pass (%.2f M point-steps/s); 2/1 %.2f (fixed 2: %.2f)\n",
              label, rounds, passes, 1e3 * p.seconds[0] / passes, 1e3 * p.seconds[1] / passes,
              double(points) * passes / p.seconds[1] / 1e6, p.ratio[1], p.ratio[2]);
}

// The second process of the two-runs figure. It answers each request
// {grid scale, passes} with a ready byte once its case of that scale is
// built and warm, then waits for the go byte, runs the 1-worker run and
// sends back the seconds.
struct PairRunner {
  pid_t pid = -1;
  int toChild = -1, fromChild = -1;
};

bool buildScaled(SimulationState& s, int scale) {
  return bench::buildShellCase(s, 19 * scale, 12 * scale, 12 * scale, "bench_solver");
}

PairRunner startPairRunner() {
  int down[2], up[2];
  if (pipe(down) != 0 || pipe(up) != 0) return {};
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid == 0) {
    close(down[1]);
    close(up[0]);
    SimulationState cases[3];
    bool built[3] = {false, false, false};
    int request[2];
    while (read(down[0], request, sizeof request) == ssize_t(sizeof request)) {
      const int scale = request[0] == 2 ? 2 : 1;
      if (!built[scale]) built[scale] = buildScaled(cases[scale], scale);
      if (!built[scale]) _exit(1);
      timedRun(cases[scale], std::max(2, request[1] / 20), 1);  // warm-up
      char go = 0;
      if (write(up[1], &go, 1) != 1 || read(down[0], &go, 1) != 1) _exit(1);
      const double seconds = timedRun(cases[scale], request[1], 1).seconds;
      if (write(up[1], &seconds, sizeof seconds) != ssize_t(sizeof seconds)) _exit(1);
    }
    _exit(0);
  }
  close(down[0]);
  close(up[1]);
  if (pid < 0) return {};
  return {pid, down[1], up[0]};
}

void stopPairRunner(PairRunner& r) {
  if (r.pid <= 0) return;
  close(r.toChild);
  close(r.fromChild);
  waitpid(r.pid, nullptr, 0);
  r.pid = -1;
}

// The combined speed of two 1-worker runs started together (this
// process's and the runner's) against one run alone, paired as
// pairedRuns: in each round this process first runs alone, then both run
// at once; the median over the rounds of alone/mine + alone/theirs. 0 when
// the runner is not there.
double twoIndependentRuns(PairRunner& r, SimulationState& s, int scale, int passes, int rounds) {
  if (r.pid <= 0) return 0;
  std::vector<double> combined;
  for (int round = 0; round < rounds; ++round) {
    const double alone = timedRun(s, passes, 1).seconds;
    const int request[2] = {scale, passes};
    char ready = 0, go = 1;
    if (write(r.toChild, request, sizeof request) != ssize_t(sizeof request) ||
        read(r.fromChild, &ready, 1) != 1)
      return 0;
    timedRun(s, std::max(2, passes / 20), 1);
    if (write(r.toChild, &go, 1) != 1) return 0;
    const double mine = timedRun(s, passes, 1).seconds;
    double theirs = 0;
    if (read(r.fromChild, &theirs, sizeof theirs) != ssize_t(sizeof theirs)) return 0;
    combined.push_back(alone / mine + alone / theirs);
  }
  return median(combined);
}

// A child process that spins on one processor until it is killed.
pid_t startBusyProcess() {
  const pid_t pid = fork();
  if (pid == 0) {
    volatile uint64_t x = 0;
    for (;;) x = x + 1;
  }
  return pid;
}

void stopBusyProcess(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

long long pointsOf(const SimulationState& s) {
  long long points = 0;
  for (const auto& v : s.volumes)
    if (v.allocated) points += v.pointCount();
  return points;
}

void printRun(const char* label, int workers, const Result& r, int passes, long long points) {
  const int n = workers > 0 ? workers : -workers;
  std::printf("  %-5s %2d worker%s%s: %8.3f ms/pass  %7.2f M point-steps/s\n", label, n,
              n == 1 ? " " : "s", workers < 0 ? " (fixed)" : "        ", 1e3 * r.seconds / passes,
              double(points) * passes / r.seconds / 1e6);
}

// Idle and busy, 1 against 2 workers (tuned, and fixed at 2 participants).
// Returns false when a hash differs.
bool oneAgainstTwo(SimulationState& s, const char* name, int passes, PairRunner& pair, int scale,
                   int pairedPasses, int pairedRounds) {
  const long long points = pointsOf(s);
  std::printf("%s: %lld points, %d passes per run\n", name, points, passes);
  const std::vector<int> counts = {1, 2, -2};
  const std::vector<Result> idle = bestOfThree(s, passes, counts);
  printRun("idle", 1, idle[0], passes, points);
  printRun("idle", 2, idle[1], passes, points);
  printRun("idle", -2, idle[2], passes, points);
  std::printf("  idle speed-up 2/1: %.2f (fixed 2: %.2f)\n", idle[0].seconds / idle[1].seconds,
              idle[0].seconds / idle[2].seconds);
  const Paired idlePaired = pairedRuns(s, pairedPasses, counts, pairedRounds);
  printPaired("idle", idlePaired, pairedPasses, pairedRounds, points);
  const double twoRuns = twoIndependentRuns(pair, s, scale, pairedPasses, pairedRounds);
  if (twoRuns > 0)
    std::printf("  two 1-worker runs at once, paired: %.2f x one alone (2 workers, paired: %.0f%% of that)\n",
                twoRuns, 100.0 * idlePaired.ratio[1] / twoRuns);
  const pid_t busy = startBusyProcess();
  const std::vector<Result> loaded = bestOfThree(s, passes, counts);
  const Paired busyPaired = pairedRuns(s, pairedPasses, counts, pairedRounds);
  stopBusyProcess(busy);
  printRun("busy", 1, loaded[0], passes, points);
  printRun("busy", 2, loaded[1], passes, points);
  printRun("busy", -2, loaded[2], passes, points);
  std::printf("  busy speed-up 2/1: %.2f (fixed 2: %.2f)  (one competing busy process)\n",
              loaded[0].seconds / loaded[1].seconds, loaded[0].seconds / loaded[2].seconds);
  printPaired("busy", busyPaired, pairedPasses, pairedRounds, points);
  bool same = idlePaired.same && busyPaired.same;
  for (const std::vector<Result>* r : {&idle, &loaded})
    for (const Result& x : *r) same = same && x.hash == idle[0].hash;
  std::printf("  results: %s\n", same ? "bit-identical" : "DIFFERENT");
  return same;
}

// The largest unit of a serial step, as a share of the step (minimum of each
// unit's time over several steps, so that interruptions do not count).
void largestUnit(SimulationState& s, const char* name) {
  setComputeThreads(1);
  newCase(s);
  std::vector<double> best;
  std::vector<step_detail::Unit> units;
  for (int rep = 0; rep < 15; ++rep) {
    const std::vector<double> t = step_detail::timeStepUnits(s, &units);
    if (best.empty()) best = t;
    for (size_t i = 0; i < t.size(); ++i) best[i] = std::min(best[i], t[i]);
  }
  double total = 0, largest = 0;
  size_t at = 0;
  for (size_t i = 0; i < best.size(); ++i) {
    total += best[i];
    if (best[i] > largest) largest = best[i], at = i;
  }
  std::printf("%s: %zu units per step; largest unit (phase %d, volume %d) %.1f us = 1/%.0f of a step\n",
              name, best.size(), units[at].phase, units[at].volume, 1e6 * largest, total / largest);
  // The units' claims and completions alone, the work left out: the least of
  // three measurements of 1000 runs.
  double handout = 1e9;
  for (int rep = 0; rep < 3; ++rep) handout = std::min(handout, step_detail::handoutSeconds(s, 2, 1000));
  std::printf("%s: handing the units out on 2 workers, units doing nothing: %.1f us per step "
              "(%.0f ns per unit; the work is %.0f us)\n",
              name, 1e6 * handout, 1e9 * handout / double(best.size()), 1e6 * total);
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  int passes = 300;
  bool spins = false, idleOnly = false;
  for (int a = 1; a < argc; ++a) {
    if (std::strcmp(argv[a], "--spins") == 0)
      spins = true;
    else if (std::strcmp(argv[a], "--idle-only") == 0)
      idleOnly = true;
    else
      passes = std::max(8, std::atoi(argv[a]));
  }
  // Before any thread exists: the second process of the two-runs figure is a plain fork.
  PairRunner pair = idleOnly ? PairRunner{} : startPairRunner();
  std::printf("load average at start: %s\n", loadAverage().c_str());
  std::printf("wait policy: %d spins, then block\n", waitSpins());

  SimulationState def;
  setComputeThreads(0);
  if (!buildScaled(def, 1)) return 1;
  if (idleOnly) {
    const std::vector<Result> idle = bestOfThree(def, passes, {1, 2});
    printRun("idle", 1, idle[0], passes, pointsOf(def));
    printRun("idle", 2, idle[1], passes, pointsOf(def));
    std::printf("load average at end: %s\n", loadAverage().c_str());
    return idle[0].hash == idle[1].hash ? 0 : 1;
  }
  bool same = oneAgainstTwo(def, "default grid 19x12x12", passes, pair, 1, std::max(4, passes / 10), 30);

  {
    // Tuned (the programs' default) and fixed (every thread in every step).
    const std::vector<int> counts = {2, 1, 3, 4, 6, 8, 12, -3, -4, -6, -8, -12};
    const std::vector<Result> r = bestOfThree(def, passes, counts);
    std::printf("oversubscribed (default grid, idle): time relative to 2 workers\n");
    for (size_t i = 2; i < counts.size(); ++i) {
      const bool ok = r[i].hash == r[1].hash;
      same = same && ok;
      const int n = counts[i] > 0 ? counts[i] : -counts[i];
      std::printf("  %2d workers%s: %8.3f ms/pass  %.2f x  %s\n", n, counts[i] < 0 ? " (fixed)" : "        ",
                  1e3 * r[i].seconds / passes, r[i].seconds / r[0].seconds,
                  ok ? "bit-identical" : "DIFFERENT");
    }
  }
  largestUnit(def, "default grid");

  if (spins) {
    std::printf("wait policy: spins before blocking (default grid, ms/pass)\n");
    const int saved = waitSpins();
    for (int sp : {0, 200, 2000, 20000, 200000}) {
      setWaitSpins(sp);
      const std::vector<Result> idle = bestOfThree(def, passes, {2, 8});
      const pid_t busy = startBusyProcess();
      const std::vector<Result> loaded = bestOfThree(def, passes, {1, 2, 8});
      stopBusyProcess(busy);
      std::printf("  %6d spins: idle 2w %.3f 8w %.3f | busy 1w %.3f 2w %.3f 8w %.3f\n", sp,
                  1e3 * idle[0].seconds / passes, 1e3 * idle[1].seconds / passes,
                  1e3 * loaded[0].seconds / passes, 1e3 * loaded[1].seconds / passes,
                  1e3 * loaded[2].seconds / passes);
    }
    setWaitSpins(saved);
  }

  SimulationState fine;
  setComputeThreads(0);
  if (!buildScaled(fine, 2)) return 1;
  same = oneAgainstTwo(fine, "finer grid 38x24x24", std::max(8, passes / 8), pair, 2,
                       std::max(4, passes / 50), 15) && same;
  stopPairRunner(pair);
  largestUnit(fine, "finer grid");

  std::printf("load average at end: %s\n", loadAverage().c_str());
  std::printf("all worker counts: %s\n", same ? "bit-identical" : "DIFFERENT");
  return same ? 0 : 1;
}
