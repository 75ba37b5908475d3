#include "state/participant_tuner.h"

#include <gtest/gtest.h>

#include <functional>

using namespace brelvik;

namespace {

// A machine: the time per run for p participants, and the share of their
// time in which they were not running.
struct Machine {
  std::function<double(int)> secondsFor;
  std::function<double(int)> lostShareFor = [](int) { return 0.005; };
};

// Runs the tuner `runs` times against the machine; returns how many runs
// used `count`.
int runsUsing(ParticipantTuner& t, int team, int processors, int runs, int count,
              const Machine& m) {
  int used = 0;
  for (int r = 0; r < runs; ++r) {
    const int p = participantsForNextRun(t, team, processors);
    EXPECT_GE(p, 1);
    EXPECT_LE(p, team);
    used += p == count;
    recordRun(t, team, p, m.secondsFor(p), m.lostShareFor(p));
  }
  return used;
}

}  // namespace

// On an idle machine the tuner never probes fewer participants. The machine
// turns busy (two participants slower than one, and a third of their time
// descheduled), then idle again: the tuner follows both changes, the first
// at once rather than at the next scheduled probe, and the runs it spends
// on the losing count while probing stay few.
TEST(ParticipantTuner, FollowsTheFasterCountWhenTheLoadChanges) {
  ParticipantTuner t;
  const Machine idle{[](int p) { return p == 1 ? 10e-3 : 5.2e-3; }};
  const Machine busy{[](int p) { return p == 1 ? 10e-3 : 12e-3; },
                     [](int p) { return p == 1 ? 0.0 : 0.33; }};
  EXPECT_EQ(participantsForNextRun(t, 2, 2), 2);
  EXPECT_EQ(runsUsing(t, 2, 2, 2000, 2, idle), 2000);
  const int slowRuns = 2000 - runsUsing(t, 2, 2, 2000, 1, busy);
  EXPECT_LT(slowRuns, 60);  // not the up to 1024 runs until the next scheduled probe
  EXPECT_GE(runsUsing(t, 2, 2, 2000, 1, busy), 1960);
  EXPECT_GE(runsUsing(t, 2, 2, 3000, 2, idle), 1800);

  // Busy, with two participants only 7% slower than one: one still wins.
  const Machine mildlyBusy{[](int p) { return p == 1 ? 10e-3 : 10.7e-3; },
                           [](int p) { return p == 1 ? 0.0 : 0.33; }};
  EXPECT_GE(runsUsing(t, 2, 2, 2000, 1, mildlyBusy), 1940);

  // A team larger than the machine runs one participant per processor and
  // spends no runs trying more.
  ParticipantTuner big;
  EXPECT_EQ(participantsForNextRun(big, 12, 2), 2);
  const Machine flat{[](int p) { return p <= 2 ? 5e-3 : 5e-3 * (1 + 0.1 * p); }};
  EXPECT_EQ(runsUsing(big, 12, 2, 3000, 2, flat), 3000);

  setParticipantTuning(false);
  EXPECT_EQ(participantsForNextRun(big, 12, 2), 12);
  setParticipantTuning(true);
}
