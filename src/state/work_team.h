#pragma once
// A team of threads that shares the units of one parallel job, and the
// waiting rule every participant follows.
//
// The solver step and the interpolation hand their work out as many small
// units that idle participants take one after the other; nothing is bound
// to a particular thread, so a thread that the system deschedules holds up
// at most the one unit it is in, and the others carry on with the rest.
//
// Waiting: a participant that must wait (for work, for a unit another one
// is finishing, for the end of a job) first checks the condition for a
// short, measured number of spins (a unit in progress on a running thread
// usually ends within that time), then blocks in the kernel (a futex through
// std::atomic::wait). Blocking hands the processor to the thread being
// waited for when the machine has more runnable threads than processors;
// spinning there would only burn its time slice. OpenMP's own waiting
// cannot be chosen from inside the program (the runtime reads its wait
// policy from the environment when it is loaded), which is why the solver
// step and the interpolation run on this team rather than on OpenMP.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace brelvik {

// Participants of the numerical work (the solver step, the interpolation):
// the value of the `--threads` option. 0 (the default) means one per
// processor the process may run on.
void setComputeThreads(int threads);
int computeThreads();
// The processors this process may run on.
int processorCount();

// Spins before blocking (each spin is a processor pause, a few to a few
// tens of nanoseconds). Tunable for the benchmark; the default is the
// measured choice (see docs/ARCHITECTURE.md).
inline constexpr int kDefaultWaitSpins = 2000;
void setWaitSpins(int spins);
int waitSpins();

// One spin of a wait loop: the processor's pause hint.
inline void spinPause() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__aarch64__)
  asm volatile("yield");
#endif
}

// Waits until counter >= target: spins, then blocks. The counter's writer
// must call counter.notify_all() after every increase.
void waitAtLeast(const std::atomic<int>& counter, int target);

// The threads that help the calling thread with a job. Created on first
// need and kept (blocked) between jobs; joined by the destructor.
class WorkTeam {
 public:
  WorkTeam() = default;
  ~WorkTeam();
  WorkTeam(const WorkTeam&) = delete;
  WorkTeam& operator=(const WorkTeam&) = delete;

  // Runs body(p) on `participants` participants p = 0..participants-1 at
  // once; the caller is participant 0. Returns when every body returned.
  // Everything a body wrote is visible to the caller afterwards.
  void run(int participants, const std::function<void(int)>& body);

 private:
  // One per helper, on its own cache line: advanced to hand the helper a
  // job (or the shutdown), so only the helpers a job needs wake up.
  struct alignas(64) Signal {
    std::atomic<int> jobs{0};
  };
  void helperLoop(Signal& signal, int index);

  std::vector<std::thread> helpers_;
  std::vector<std::unique_ptr<Signal>> signals_;
  // Written before the helpers are signalled, read by them during the job.
  const std::function<void(int)>* body_ = nullptr;
  std::atomic<int> pending_{0};  // helpers still inside the current job
  std::atomic<bool> stop_{false};
};

// The calling thread's team (each thread that starts parallel jobs, such as
// the solver thread and the interpolation thread, has its own).
WorkTeam& threadTeam();

// Runs f(unit, participant) for unit = 0..count-1 on up to computeThreads()
// participants (0..) of the calling thread's team; idle participants take
// the next unstarted unit. With one participant (or one unit) everything
// runs on the caller, in unit order, as participant 0.
void forEachUnit(int count, const std::function<void(int unit, int participant)>& f);

}  // namespace brelvik
