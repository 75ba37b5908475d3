#pragma once
// Which process computes which volume: whole volumes, balanced by point
// count (the step's work is proportional to the points of a volume).

#include <cstdint>
#include <vector>

namespace brelvik::dist {

// Owner rank per volume for `processes` processes: the volumes, largest
// first (ties: lower index first), each to the process with the fewest
// points so far (ties: lower rank). Volumes without points go to rank 0.
// Every process computes the same answer from the same grid.
std::vector<int> volumeOwners(const std::vector<int64_t>& pointsPerVolume, int processes);

}  // namespace brelvik::dist
