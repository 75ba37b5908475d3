#pragma once
// How many of the team's threads take part in each run of a job that is run
// over and over (the solver step), chosen by measuring the runs.
//
// More participants are not always faster. When the machine has other
// runnable work (the window thread drawing, a compiler, another solver),
// a participant that the system deschedules holds its unit until its next
// time slice, and every unit that depends on it waits: on 2 processors with
// one competing busy process, two participants take longer per step than
// one. Threads beyond the processor count only add such stalls.
//
// The rule: start with one participant per processor (at most the team
// size), keep the mean time per run of the current count, and now and then
// run a few steps with a neighbouring count of the ladder 1, 2, 3, 4, 6, 8,
// 12, 16, 24, ... (and the team size). A probe that is faster by more than
// kSwitchMargin (10%: single steps on a shared machine vary by more than
// 3%) becomes the current count. A probe that loses doubles the wait before
// the next one (up to kMaxProbeInterval runs), so a machine
// whose best count does not change pays almost nothing for the probes.
//
// Fewer participants can only be faster when some of them lose their
// processor during a run, so a probe with fewer participants waits for
// that sign, and then needs to win by only kFewerSwitchMargin (5%): more
// participants must never make the step slower than fewer would, and
// under contention two counts within 5–10% of each other are exactly
// where a 10% margin kept the slower, larger count. The sign is the share
// of the participants' time in which they were not running (wall minus
// processor time), whose running mean at the current count must reach
// kContendedShare. On an idle machine it stays near 0.005
// and such probes never run; with one competing busy process on 2
// processors, two participants lose about a third of their time. When the
// sign first appears, the current count is measured afresh and the probe
// follows at once, instead of at the next scheduled time. Probes with more
// participants go up to the processor count and no further: the step's
// work never blocks, so a participant beyond the processors only takes
// turns with the others.
//
// A load that arrives while the probes are far apart must not cost up to
// kMaxProbeInterval slow runs: when the running mean of the current count
// grows by more than kSlowdownMargin over its value at the last decision,
// the tuner measures the current count afresh over kRemeasureRuns runs (a
// plain mean, so the comparison is with the new level, not a lagging
// average) and probes at once.
//
// The count never changes results: every value is computed by the same
// operations in the same order whoever computes it (step_plan.h).

#include <vector>

namespace brelvik {

inline constexpr int kMinProbeInterval = 32;    // runs between probes, at first
inline constexpr int kMaxProbeInterval = 1024;  // after repeated losing probes
inline constexpr int kProbeRuns = 5;            // measured runs of a probe, after one warm-up
inline constexpr double kSwitchMargin = 0.10;   // a probe must be 10% faster
inline constexpr double kFewerSwitchMargin = 0.05;  // 5% for fewer participants
inline constexpr double kSlowdownMargin = 0.25;  // the current count 25% slower: load arrived
inline constexpr int kRemeasureRuns = 16;
inline constexpr double kContendedShare = 0.10;  // time not running: other work competes

struct ParticipantTuner {
  struct State {
    int current = 0;          // 0: not started
    double meanSeconds = 0;   // running mean per run at `current` (0: none yet)
    int runsSinceProbe = 0;
    int interval = kMinProbeInterval;
    int probe = 0;            // count being probed, 0 = none
    int probeRuns = 0;        // runs of the probe so far, the warm-up included
    double probeSeconds = 0;  // sum over the measured probe runs
    bool probeDown = true;    // direction of the next probe
    double decidedSeconds = 0;  // meanSeconds when `current` was last confirmed
    int remeasureRuns = 0;      // runs left of a fresh measurement of `current`
    double remeasureSeconds = 0;
    double lostShareMean = 0;   // running mean of the share of time not running, at `current`
    bool contentionSeen = false;  // the sign has triggered its probe
  };
  std::vector<State> byTeamSize;  // index: the team size (computeThreads())
};

// The participants of the next run for a team of `teamSize` threads on a
// machine with `processors` processors.
int participantsForNextRun(ParticipantTuner& t, int teamSize, int processors);

// Records that a run with `participants` took `seconds`, in which the
// participants were not running for `lostShare` of their time.
void recordRun(ParticipantTuner& t, int teamSize, int participants, double seconds,
               double lostShare);

// Tuning on (the default) or off; off: every run uses the whole team
// (for the tests that compare thread counts and for the benchmark's
// fixed-count figures).
void setParticipantTuning(bool on);
bool participantTuning();

}  // namespace brelvik
