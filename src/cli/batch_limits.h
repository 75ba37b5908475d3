#pragma once
// Upper bounds of the count options of brelvik-batch, derived from memory,
// and the check that the kernel threads can be created before the first
// parallel region needs them (the OpenMP runtime would otherwise end the
// process with status 1 or crash).

#include <cstdint>
#include <string>

namespace brelvik {

// Each kernel thread reserves a stack of about 8 MiB (the usual default).
inline constexpr uint64_t kThreadStackBytes = uint64_t(8) << 20;
inline constexpr int kMaxThreadsCap = 1024;

// min(kMaxThreadsCap, physical memory / kThreadStackBytes).
int maxKernelThreads();

// Starts n - 1 threads that all exist at the same time (the team of an
// n-thread parallel region) and joins them. False with the system's reason
// when one cannot be created.
bool canCreateThreads(int n, std::string* why);

}  // namespace brelvik
