#include "state/worker_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "state/simulation_state.h"

using namespace brelvik;
using namespace std::chrono_literals;

namespace {
// Waits (bounded) until pred holds.
template <class Pred>
bool eventually(Pred pred, std::chrono::milliseconds limit = 10s) {
  auto until = std::chrono::steady_clock::now() + limit;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(100us);
  }
  return true;
}
}  // namespace

TEST(WorkerThread, NotCreatedUntilFirstStartAndCreatedOnce) {
  WorkerThread t;
  std::atomic<int> passes{0};
  t.setBody([&](WorkerThread& self) {
    while (true) {
      uint64_t seen = self.ticket();
      passes++;
      if (!self.suspendSelf(seen)) return;
    }
  });
  EXPECT_FALSE(t.created());
  t.pauseAndWait();  // harmless before creation
  t.start();
  t.start();
  ASSERT_TRUE(eventually([&] { return passes >= 1 && t.parked(); }));
  EXPECT_EQ(t.createCount(), 1u);
  int before = passes;
  t.start();
  ASSERT_TRUE(eventually([&] { return passes > before && t.parked(); }));
}

// A solver-like body: work while `running`, suspend when it is cleared.
// Start = running=1 then start(); Stop = running=0. After every Start the
// body must make progress (no lost start), and the loop must never deadlock.
TEST(WorkerThread, StartStopStressLosesNoStart) {
  WorkerThread t;
  std::atomic<int> running{0};
  std::atomic<long> passes{0};
  t.setBody([&](WorkerThread& self) {
    while (true) {
      uint64_t seen = self.ticket();
      passes++;
      if (!running.load()) {
        if (!self.suspendSelf(seen)) return;
      } else if (!self.checkpoint()) {
        return;
      }
    }
  });
  for (int cycle = 0; cycle < 3000; ++cycle) {
    long before = passes.load();
    running = 1;
    t.start();
    ASSERT_TRUE(eventually([&] { return passes.load() > before; })) << "lost start at " << cycle;
    running = 0;
    if (cycle % 3 == 0) {
      t.requestPause();
      ASSERT_TRUE(eventually([&] { return t.parked(); })) << "pause not honoured at " << cycle;
    }
  }
  running = 0;
  ASSERT_TRUE(eventually([&] { return t.parked(); }));
  t.shutdown();
}

TEST(WorkerThread, PauseAndWaitParksAtCheckpointThenStartResumes) {
  WorkerThread t;
  std::atomic<long> units{0};
  t.setBody([&](WorkerThread& self) {
    while (self.checkpoint()) {
      units++;
      std::this_thread::sleep_for(10us);
    }
  });
  t.start();
  ASSERT_TRUE(eventually([&] { return units > 10; }));
  t.pauseAndWait();
  EXPECT_TRUE(t.parked());
  long frozen = units.load();
  std::this_thread::sleep_for(5ms);
  EXPECT_EQ(units.load(), frozen);
  t.start();
  ASSERT_TRUE(eventually([&] { return units > frozen; }));
}

// Create and Open resume nothing themselves, but the user may press a start
// button just before them: a pauseAndWait() that follows a start() at once
// must still wait until the body has stopped working, not return while the
// body is waking from its suspension.
TEST(WorkerThread, PauseAndWaitRightAfterStartWaitsForTheBody) {
  WorkerThread t;
  std::atomic<long> units{0};
  t.setBody([&](WorkerThread& self) {
    while (true) {
      if (!self.suspendSelf(self.ticket())) return;
      units++;  // work done on waking, before the next safe point
      std::this_thread::sleep_for(50us);
      if (!self.checkpoint()) return;
    }
  });
  t.start();
  ASSERT_TRUE(eventually([&] { return t.parked(); }));
  for (int cycle = 0; cycle < 200; ++cycle) {
    t.start();
    t.pauseAndWait();
    const long frozen = units.load();
    std::this_thread::sleep_for(300us);
    ASSERT_EQ(units.load(), frozen) << "the body ran after pauseAndWait returned, cycle " << cycle;
  }
}

TEST(WorkerThread, ShutdownJoinsABusyOrSuspendedThread) {
  {
    WorkerThread busy;
    busy.setBody([](WorkerThread& self) {
      while (self.checkpoint()) std::this_thread::sleep_for(50us);
    });
    busy.start();
  }  // destructor joins
  {
    WorkerThread idle;
    idle.setBody([](WorkerThread& self) { self.suspendSelf(self.ticket()); });
    idle.start();
    ASSERT_TRUE(eventually([&] { return idle.parked(); }));
  }
  SUCCEED();
}

TEST(SimulationStateThreads, InitialValuesAndCallbacksFromAnyThread) {
  SimulationState s;
  EXPECT_EQ(s.volumeCount, 0);
  EXPECT_EQ(s.schemeOrder, 2);
  EXPECT_EQ(s.dt, 0.001);
  EXPECT_EQ(s.pi, 3.14159265358979);
  EXPECT_NE(s.pi, 3.141592653589793);
  EXPECT_EQ(s.domainReady.load(), 1);
  EXPECT_EQ(s.readinessProduct(), 0);
  EXPECT_EQ(s.lineX.rowCount(), 1);
  EXPECT_EQ(s.samplingPlane.computedScale, 0.3);
  EXPECT_EQ(s.streamlinePointCount.load(), 1000);
  s.requestRepaint();  // nothing wired: harmless
  s.reportInterpolRun(RunState::kRunning);
  std::atomic<int> repaints{0};
  s.setRepaintCallback([&] { repaints++; });
  std::thread a([&] { for (int i = 0; i < 1000; ++i) s.requestRepaint(); });
  std::thread b([&] { for (int i = 0; i < 1000; ++i) s.requestRepaint(); });
  a.join();
  b.join();
  EXPECT_EQ(repaints.load(), 2000);
  s.quiesceWorkers();  // no thread created: returns at once
}
