#pragma once
// Which slice files of a result folder each process writes and reads. The
// folder holds one file per plane i of every per-point array
// (io/result_folder.h), so a process touches only the slices of the planes
// it computes (Decomposition::ownerOf): in a save every slice is written
// once, by the process that holds its current values; in an --open every
// process reads the flow slices of its own planes and of the halo planes
// next to its pieces (the step reads those before its first halo exchange
// brings them, as on every process of a new case). The values of the other
// planes reach it through the step's exchanges, never from its own copy
// (the reader leaves them NaN, so that any such use shows).
//
// The coordinates, point types and interpolation data are read whole on
// every process: every process builds the receiver schedule and the
// exchange lists from the whole grid (distributed_step.h).

#include <vector>

#include "dist/decomposition.h"
#include "io/result_folder.h"
#include "state/finite_volume.h"

namespace brelvik::dist {

// The decomposition of the first `volumeCount` volumes of a case of scheme
// order `schemeOrder` among `processes` (points and planes taken from the
// volumes' sizes), the one the step uses: volumes without arrays have no
// pieces.
Decomposition decomposeCase(const std::vector<FiniteVolume>& volumes, int volumeCount,
                            int processes, int schemeOrder);

// The planes `rank` computes: the slices it writes.
PlaneSelection planesWrittenBy(const Decomposition& d, int rank);
// Those and the plane beyond either end of each of its pieces: the flow
// slices it reads.
PlaneSelection planesReadBy(const Decomposition& d, int rank);

}  // namespace brelvik::dist
