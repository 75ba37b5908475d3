#include "cli/batch_limits.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace brelvik {

namespace {

// Every probe thread waits here until all were created, so that they exist
// together as the kernel team will.
struct Gate {
  pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
  pthread_cond_t open = PTHREAD_COND_INITIALIZER;
  bool released = false;
};

void* waitAtGate(void* arg) {
  Gate* g = static_cast<Gate*>(arg);
  pthread_mutex_lock(&g->mutex);
  while (!g->released) pthread_cond_wait(&g->open, &g->mutex);
  pthread_mutex_unlock(&g->mutex);
  return nullptr;
}

}  // namespace

int maxKernelThreads() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || pageSize <= 0) return kMaxThreadsCap;
  const uint64_t byMemory = uint64_t(pages) * uint64_t(pageSize) / kThreadStackBytes;
  return static_cast<int>(std::clamp<uint64_t>(byMemory, 1, kMaxThreadsCap));
}

bool canCreateThreads(int n, std::string* why) {
  Gate gate;
  std::vector<pthread_t> threads;
  threads.reserve(static_cast<size_t>(std::max(n - 1, 0)));
  int failure = 0;
  for (int t = 1; t < n; ++t) {
    pthread_t id;
    failure = pthread_create(&id, nullptr, waitAtGate, &gate);
    if (failure != 0) break;
    threads.push_back(id);
  }
  pthread_mutex_lock(&gate.mutex);
  gate.released = true;
  pthread_cond_broadcast(&gate.open);
  pthread_mutex_unlock(&gate.mutex);
  for (pthread_t id : threads) pthread_join(id, nullptr);
  if (failure == 0) return true;
  if (why)
    *why = "cannot create " + std::to_string(n) + " threads (" +
           std::to_string(threads.size() + 1) + " were possible): " + std::strerror(failure);
  return false;
}

}  // namespace brelvik
