#pragma once
// What several benchmark programs share: the machine's load average (printed
// beside every timing, since the figures mean little on a busy machine) and
// the shell case they time.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "grid/geometry.h"
#include "grid/interpolation.h"
#include "state/simulation_state.h"

namespace brelvik::bench {

// The value of "--name value" among the arguments, or `fallback`.
inline int intOption(int argc, char** argv, const std::string& name, int fallback) {
  for (int a = 1; a + 1 < argc; a += 2)
    if (argv[a] == name) return std::atoi(argv[a + 1]);
  return fallback;
}

// The first line of /proc/loadavg, or "unknown".
inline std::string loadAverage() {
  std::string text;
  if (FILE* f = std::fopen("/proc/loadavg", "r")) {
    char buf[128] = {};
    if (std::fgets(buf, sizeof buf, f)) text = buf;
    std::fclose(f);
  }
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text.empty() ? "unknown" : text;
}

// Create (D 15, first step 0.02, nx x ny x nz cells) and the interpolation
// data, on the work team's current thread count. False, with a message
// naming `program` on stderr, when either fails.
inline bool buildShellCase(SimulationState& s, int nx, int ny, int nz, const char* program) {
  DomainInputs in;
  in.D = toSingle(15);
  in.s = toSingle(0.02);
  in.nx = nx;
  in.ny = ny;
  in.nz = nz;
  CoreError error;
  if (!createDomain(s, in, &error) || !runInterpolation(s, [](int, int) {}, &error)) {
    std::fprintf(stderr, "%s: Create or interpolation failed (error code %d)\n", program,
                 static_cast<int>(error.code));
    return false;
  }
  return true;
}

}  // namespace brelvik::bench
