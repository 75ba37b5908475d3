#include "state/work_team.h"

#include <sched.h>

#include <algorithm>

namespace brelvik {

namespace {

std::atomic<int> requestedThreads{0};
std::atomic<int> spinsBeforeBlocking{kDefaultWaitSpins};

int processorsAvailable() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
  return std::max(1u, std::thread::hardware_concurrency());
}

// Waits while a.load() == old: spins, then blocks.
void waitWhileEqual(const std::atomic<int>& a, int old) {
  const int spins = spinsBeforeBlocking.load(std::memory_order_relaxed);
  for (int i = 0; i < spins; ++i) {
    if (a.load(std::memory_order_acquire) != old) return;
    spinPause();
  }
  while (a.load(std::memory_order_acquire) == old) a.wait(old, std::memory_order_acquire);
}

}  // namespace

void setComputeThreads(int threads) { requestedThreads = std::max(0, threads); }

int processorCount() { return processorsAvailable(); }

int computeThreads() {
  const int n = requestedThreads.load();
  return n > 0 ? n : processorsAvailable();
}

void setWaitSpins(int spins) { spinsBeforeBlocking = std::max(0, spins); }
int waitSpins() { return spinsBeforeBlocking.load(); }

void waitAtLeast(const std::atomic<int>& counter, int target) {
  int seen = counter.load(std::memory_order_acquire);
  if (seen >= target) return;
  const int spins = spinsBeforeBlocking.load(std::memory_order_relaxed);
  for (int i = 0; i < spins; ++i) {
    spinPause();
    seen = counter.load(std::memory_order_acquire);
    if (seen >= target) return;
  }
  while ((seen = counter.load(std::memory_order_acquire)) < target)
    counter.wait(seen, std::memory_order_acquire);
}

WorkTeam::~WorkTeam() {
  stop_.store(true);
  for (auto& signal : signals_) {
    signal->jobs.fetch_add(1, std::memory_order_release);
    signal->jobs.notify_all();
  }
  for (std::thread& t : helpers_) t.join();
}

void WorkTeam::helperLoop(Signal& signal, int index) {
  int seen = 0;
  for (;;) {
    waitWhileEqual(signal.jobs, seen);
    seen = signal.jobs.load(std::memory_order_acquire);
    if (stop_.load()) return;
    (*body_)(index);
    if (pending_.fetch_sub(1, std::memory_order_acq_rel) == 1) pending_.notify_all();
  }
}

void WorkTeam::run(int participants, const std::function<void(int)>& body) {
  participants = std::max(1, participants);
  if (participants == 1) {
    body(0);
    return;
  }
  while (int(helpers_.size()) < participants - 1) {
    const int index = int(helpers_.size()) + 1;
    signals_.push_back(std::make_unique<Signal>());
    Signal& signal = *signals_.back();
    helpers_.emplace_back([this, &signal, index] { helperLoop(signal, index); });
  }
  body_ = &body;
  pending_.store(participants - 1, std::memory_order_relaxed);
  for (int h = 0; h < participants - 1; ++h) {
    Signal& signal = *signals_[size_t(h)];
    signal.jobs.fetch_add(1, std::memory_order_release);
    signal.jobs.notify_all();
  }
  body(0);
  for (int left = pending_.load(std::memory_order_acquire); left != 0;
       left = pending_.load(std::memory_order_acquire))
    waitWhileEqual(pending_, left);
}

WorkTeam& threadTeam() {
  thread_local WorkTeam team;
  return team;
}

void forEachUnit(int count, const std::function<void(int unit, int participant)>& f) {
  const int participants = std::min(count, computeThreads());
  if (participants <= 1) {
    for (int u = 0; u < count; ++u) f(u, 0);
    return;
  }
  std::atomic<int> next{0};
  threadTeam().run(participants, [&](int participant) {
    for (int u = next.fetch_add(1, std::memory_order_relaxed); u < count;
         u = next.fetch_add(1, std::memory_order_relaxed))
      f(u, participant);
  });
}

}  // namespace brelvik
