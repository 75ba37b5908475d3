#pragma once
// The invariants a case must satisfy before it may replace the current one:
// everything the solver, the exchange and the post-processing index with or
// divide by. The reader applies them to the records it has read; tests apply
// them to whatever a load accepted.

#include <cstdint>
#include <string>
#include <vector>

#include "io/result_folder.h"
#include "state/finite_volume.h"

namespace brelvik {

// Counters (steps, history samples and interval) stay at or below this, so
// that a run of at most kMaxRunSteps more steps cannot overflow an int.
inline constexpr int kMaxCounter = 1'000'000'000;
inline constexpr int kMaxRunSteps = 1'000'000'000;

// Global values: scheme order 2, 4 or 6; dt, Re, M, Pr positive and finite,
// k finite and above 1; finite time; counters in 0..kMaxCounter with a
// history interval of at least 1; 0 <= interpolProcessed <= interpolTotal;
// flags 0 or 1, and interpolation or flow readiness only with a grid.
bool checkCaseHeader(const CaseHeader& h, const std::string& path, std::string* error);

// Sizes, strides and the computed region exactly as the grid construction
// sets them for `schemeOrder` (begin = order/2, end = N - order/2), finite
// state doubles, known kind and stencil size. `path` names the volume state
// file in messages.
bool checkVolumeShape(const FiniteVolume& vol, int schemeOrder, const std::string& path,
                      std::string* error);

// Finite coordinates (point_loc, point_glob) and metrics of an allocated
// volume whose metrics were computed. `dir` names the volume folder.
bool checkVolumeGeometry(const FiniteVolume& vol, const std::string& dir, std::string* error);

// Donor references of every receiver and every ready entry lie inside the
// case; with `interpolationReady`, every receiver (type 4..7) has a ready
// stencil. `path` names the volume's interpolation file.
bool checkInterpolation(const std::vector<FiniteVolume>& volumes, const FiniteVolume& vol,
                        bool interpolationReady, const std::string& path, std::string* error);

// The whole case: header, every volume, interpolation and the totals that
// depend on all volumes (a grid has allocated volumes; interpolTotal cannot
// exceed the points). `folder` prefixes the file names in messages.
bool checkCase(const CaseHeader& h, const std::vector<FiniteVolume>& volumes,
               const std::string& folder, std::string* error);

// Bytes of memory the per-point arrays of all `volumes` would take, and
// whether that fits in the physical memory of this machine.
bool fitsInMemory(const std::vector<int64_t>& pointCounts);

}  // namespace brelvik
