#include "state/worker_thread.h"

#include <utility>

namespace brelvik {

WorkerThread::WorkerThread(std::string name) : name_(std::move(name)) {}

WorkerThread::~WorkerThread() { shutdown(); }

void WorkerThread::setBody(Body body) {
  std::lock_guard<std::mutex> lock(mutex_);
  body_ = std::move(body);
}

void WorkerThread::start() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (shutdown_) return;
  ++ticket_;
  pauseRequested_ = false;
  // Whatever wait the body is in, it is released now; until it runs again
  // it no longer counts as parked, so a pauseAndWait() that follows at once
  // waits for the body's next safe point instead of returning on a stale flag.
  parked_ = false;
  if (!created_) {
    created_ = true;
    ++createCount_;
    thread_ = std::thread([this] { run(); });
  }
  cv_.notify_all();
}

void WorkerThread::run() {
  Body body;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    body = body_;
  }
  if (body) body(*this);
  std::lock_guard<std::mutex> lock(mutex_);
  finished_ = true;
  parked_ = false;
  cv_.notify_all();
}

void WorkerThread::requestPause() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (created_) pauseRequested_ = true;
}

void WorkerThread::pauseAndWait() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!created_ || thread_.get_id() == std::this_thread::get_id()) return;
  pauseRequested_ = true;
  cv_.wait(lock, [this] { return parked_ || finished_; });
}

bool WorkerThread::checkpoint() {
  std::unique_lock<std::mutex> lock(mutex_);
  // (Re-)announce the park on every wake-up: a start() followed at once by
  // a new pause request leaves the body here, and the waiting pauseAndWait()
  // must see it parked again.
  while (pauseRequested_ && !shutdown_) {
    parked_ = true;
    cv_.notify_all();
    cv_.wait(lock);
  }
  parked_ = false;
  return !shutdown_;
}

uint64_t WorkerThread::ticket() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return ticket_;
}

bool WorkerThread::suspendSelf(uint64_t seenTicket) {
  std::unique_lock<std::mutex> lock(mutex_);
  while (ticket_ == seenTicket && !shutdown_) {
    parked_ = true;
    cv_.notify_all();
    cv_.wait(lock);
  }
  parked_ = false;
  return !shutdown_;
}

void WorkerThread::shutdown() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    shutdown_ = true;
    cv_.notify_all();
  }
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

bool WorkerThread::created() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return created_;
}

bool WorkerThread::parked() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return parked_;
}

bool WorkerThread::shuttingDown() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return shutdown_;
}

uint64_t WorkerThread::createCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return createCount_;
}

}  // namespace brelvik
