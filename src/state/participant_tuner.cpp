#include "state/participant_tuner.h"

#include <algorithm>
#include <atomic>

namespace brelvik {

namespace {

std::atomic<bool> tuningOn{true};

// The next count below (down) or above `count` on the ladder, within
// 1..teamSize; the team size itself is always a rung. 0: none.
int neighbour(int count, int teamSize, bool down) {
  std::vector<int> ladder;
  for (int rung = 1; rung < teamSize;) {
    ladder.push_back(rung);
    // 1, 2, 3, 4, 6, 8, 12, 16, 24, ...: steps of about a third to a half.
    if (rung < 4) rung += 1;
    else rung = (rung & (rung - 1)) == 0 ? rung + rung / 2 : rung / 3 * 4;
  }
  ladder.push_back(teamSize);
  const auto at = std::find(ladder.begin(), ladder.end(), count);
  if (at == ladder.end()) return 0;
  if (down) return at == ladder.begin() ? 0 : *(at - 1);
  return at + 1 == ladder.end() ? 0 : *(at + 1);
}

ParticipantTuner::State& stateOf(ParticipantTuner& t, int teamSize) {
  if (t.byTeamSize.size() <= size_t(teamSize)) t.byTeamSize.resize(size_t(teamSize) + 1);
  return t.byTeamSize[size_t(teamSize)];
}

}  // namespace

void setParticipantTuning(bool on) { tuningOn = on; }
bool participantTuning() { return tuningOn.load(); }

int participantsForNextRun(ParticipantTuner& t, int teamSize, int processors) {
  if (teamSize <= 1) return 1;
  if (!participantTuning()) return teamSize;
  ParticipantTuner::State& s = stateOf(t, teamSize);
  if (s.current == 0) {
    // The rung at or below the processor count: more threads than
    // processors start out only if measured faster.
    s.current = teamSize;
    while (s.current > std::max(1, processors)) s.current = neighbour(s.current, teamSize, true);
  }
  if (s.probe != 0) return s.probe;
  if (s.meanSeconds > 0 && s.runsSinceProbe >= s.interval) {
    int probe = neighbour(s.current, teamSize, s.probeDown);
    if (probe == 0) probe = neighbour(s.current, teamSize, !s.probeDown);
    s.probeDown = !s.probeDown;
    if (probe != 0 && probe < s.current && s.lostShareMean < kContendedShare) {
      probe = 0;  // nothing competes: fewer participants cannot win
      s.runsSinceProbe = 0;
    }
    if (probe > s.current && probe > std::max(1, processors)) {
      probe = 0;  // participants beyond the processors only wait for each other
      s.runsSinceProbe = 0;
    }
    if (probe != 0) {
      s.probe = probe;
      s.probeRuns = 0;
      s.probeSeconds = 0;
      return probe;
    }
  }
  return s.current;
}

void recordRun(ParticipantTuner& t, int teamSize, int participants, double seconds,
               double lostShare) {
  if (teamSize <= 1 || !participantTuning()) return;
  ParticipantTuner::State& s = stateOf(t, teamSize);
  if (s.probe != 0 && participants == s.probe) {
    // The first run after a change warms caches and wakes threads.
    if (s.probeRuns++ > 0) s.probeSeconds += seconds;
    if (s.probeRuns < kProbeRuns + 1) return;
    const double probeMean = s.probeSeconds / kProbeRuns;
    const double margin = s.probe < s.current ? kFewerSwitchMargin : kSwitchMargin;
    if (probeMean < s.meanSeconds * (1.0 - margin)) {
      s.current = s.probe;
      s.meanSeconds = probeMean;
      s.interval = kMinProbeInterval;
      s.lostShareMean = 0;
      s.contentionSeen = false;
    } else {
      s.interval = std::min(kMaxProbeInterval, s.interval * 2);
    }
    s.decidedSeconds = s.meanSeconds;
    s.probe = 0;
    s.runsSinceProbe = 0;
    return;
  }
  if (participants != s.current) return;
  s.runsSinceProbe += 1;
  // A running mean over about the last 8 runs. The sign's first
  // appearance calls for a probe with fewer participants as soon as the
  // current count is measured afresh (its running mean still holds the
  // runs before the competing work came).
  s.lostShareMean += (lostShare - s.lostShareMean) / 8;
  if (s.lostShareMean >= kContendedShare && !s.contentionSeen) {
    s.contentionSeen = true;
    s.probeDown = true;
    if (s.remeasureRuns == 0) {
      s.decidedSeconds = 0;
      s.remeasureRuns = kRemeasureRuns;
      s.remeasureSeconds = 0;
    }
  } else if (s.lostShareMean < kContendedShare / 2) {
    s.contentionSeen = false;
  }
  if (s.remeasureRuns > 0) {
    s.remeasureSeconds += seconds;
    if (--s.remeasureRuns > 0) return;
    s.meanSeconds = s.remeasureSeconds / kRemeasureRuns;
    s.interval = kMinProbeInterval;
    s.runsSinceProbe = s.interval;  // probe on the next run
    return;
  }
  // A running mean over about the last 16 runs: one slow run (a page
  // fault, the window thread's draw) moves it little.
  s.meanSeconds = s.meanSeconds > 0 ? s.meanSeconds + (seconds - s.meanSeconds) / 16 : seconds;
  if (s.decidedSeconds == 0) s.decidedSeconds = s.meanSeconds;
  if (s.meanSeconds > s.decidedSeconds * (1.0 + kSlowdownMargin)) {
    s.decidedSeconds = 0;  // set again from the fresh measurement's mean
    s.remeasureRuns = kRemeasureRuns;
    s.remeasureSeconds = 0;
  }
}

}  // namespace brelvik
