#pragma once
// The pause/resume primitive shared by the three worker threads (solver,
// interpolation, streamlines).
//
// - No system thread exists until the first start(); that call creates it
//   running. Later start() calls resume it.
// - The body runs on the worker and decides itself when to suspend
//   (suspendSelf) — e.g. when a run is complete or `running` was cleared.
// - Any thread may ask for a pause (requestPause); the body honours it at its
//   next checkpoint(), i.e. at a safe point between two units of work.
// - A start() that arrives while the body is deciding to suspend is never
//   lost: start() bumps a ticket under the same lock that suspendSelf tests.
// - shutdown() (also run by the destructor) wakes and joins the thread; the
//   body must return once checkpoint()/suspendSelf() report shutdown.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace brelvik {

class WorkerThread {
 public:
  using Body = std::function<void(WorkerThread&)>;

  explicit WorkerThread(std::string name = {});
  ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // The function the thread runs; set before the first start(). It should
  // loop until checkpoint() or suspendSelf() return false.
  void setBody(Body body);

  // First call: creates the thread, running. Later calls: cancel any pending
  // pause request and resume a suspended or paused body.
  void start();

  // Asks the body to pause at its next checkpoint(). Returns at once.
  void requestPause();
  // requestPause(), then waits until the body is parked (paused at a
  // checkpoint or suspended by itself) or has finished. Returns at once when
  // no thread was created. Must not be called from the worker itself. A
  // start() releases a parked body, so a pauseAndWait() right after it waits
  // for the body's next safe point.
  void pauseAndWait();

  // Called by the body at safe points. Parks while a pause is requested.
  // Returns false when the thread is shutting down.
  bool checkpoint();

  // The number of start() calls so far. The body reads it before deciding to
  // suspend and passes it to suspendSelf().
  uint64_t ticket() const;
  // Parks until a start() newer than `seenTicket` (returns at once if one
  // already happened) or shutdown. Returns false on shutdown.
  bool suspendSelf(uint64_t seenTicket);

  // Wakes the body with the shutdown flag set and joins it.
  void shutdown();

  bool created() const;       // the system thread exists
  bool parked() const;        // the body is paused or suspended
  bool shuttingDown() const;  // shutdown() has been requested
  uint64_t createCount() const;  // system threads created (0 or 1)

 private:
  void run();

  std::string name_;
  Body body_;
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::thread thread_;
  bool created_ = false;
  bool pauseRequested_ = false;
  bool parked_ = false;
  bool finished_ = false;
  bool shutdown_ = false;
  uint64_t ticket_ = 0;
  uint64_t createCount_ = 0;
};

}  // namespace brelvik
