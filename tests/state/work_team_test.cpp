#include "state/work_team.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

using namespace brelvik;

// Teams grow and shrink between jobs (the thread count can change between
// two steps); every unit runs exactly once, on a participant of the job,
// and the caller sees everything the units wrote.
TEST(WorkTeamThreads, EveryUnitRunsOnceWhateverTheTeamSizeAndAfterReuse) {
  for (int round = 0; round < 50; ++round) {
    for (int participants : {3, 8, 2, 1, 5}) {
      setComputeThreads(participants);
      std::vector<int> ranBy(257, -1);
      std::atomic<int> calls{0};
      forEachUnit(int(ranBy.size()), [&](int unit, int participant) {
        ranBy[size_t(unit)] = participant;  // each unit is one participant's alone
        calls.fetch_add(1);
      });
      ASSERT_EQ(calls.load(), int(ranBy.size()));
      for (int p : ranBy) ASSERT_TRUE(p >= 0 && p < participants) << p;
    }
  }
  setComputeThreads(0);
  EXPECT_GE(computeThreads(), 1);
}
