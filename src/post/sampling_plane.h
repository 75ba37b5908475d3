#pragma once
// The sampling plane: a lattice of points on a rectangle parallel to a
// coordinate plane, each with the volume that contains it and a ten-point
// interpolation stencil in that volume. Values on the plane are formed from
// the current flow every time they are drawn or exported, so the stencils are
// computed once ("Вычислить") and the sampled field follows the solution.

#include <array>
#include <string>
#include <vector>

#include "state/core_error.h"
#include "state/simulation_state.h"

namespace brelvik {

// Upper bound on the number of samples of one plane. Each sample keeps a
// stencil and weights (about 140 bytes) and costs one stencil search, so a
// larger lattice is refused instead of exhausting memory or time.
constexpr long long kMaxPlaneSamples = 1000000;

// "Вычислить": lays the lattice described by the plane fields already stored
// in s.samplingPlane (plane, corners, Nx/Ny/Nz), finds every sample's donor
// volume (the highest-indexed volume that contains it) and its stencil and
// weights. Sets planeComputed = 1 and remembers s.volumesGeneration.
// Refuses (false, the code and the field; the plane unchanged) a negative
// in-plane count, an unknown orientation or a lattice above kMaxPlaneSamples.
bool computeSamplingPlane(SimulationState& s, CoreError* error);

// True when the stencils were computed on the volumes that exist now (not
// before a later Create or Open) and fit the current volumes.
bool samplingPlaneValid(const SimulationState& s);

// Fills sampleU/V/W from the current u_glob/v_glob/w_glob of the donors
// (0 outside every volume). Does nothing when the plane is not valid.
void sampleVelocities(SimulationState& s);

// The global velocity arrays (u, v, w) of each volume, by volume index.
using VolumeVelocities = std::vector<std::array<const std::vector<double>*, 3>>;

// The same sampling from given velocity arrays (a snapshot's copies) into
// u, v, w. The caller has checked that the plane is valid for the volumes
// the arrays belong to; a donor without arrays gives 0.
void sampleVelocitiesOf(const SamplingPlane& sp, const VolumeVelocities& velocity,
                        std::vector<double>& u, std::vector<double>& v, std::vector<double>& w);

// "Winsurf": writes T, p, ro and the speed at every sample into the folder
// "Winsurf_files" below `dir` (created if missing, reused if present) as
// "T.dat", "p.dat", "ro.dat" and "velocity.dat"; one line per sample
// "%.5f %.5f %.5f \n" with the two in-plane coordinates and the value; -1
// outside every volume (velocity 0 there). The in-plane coordinates are
// those of the orientation the lattice was computed for. Refuses when the
// plane is not valid (kPlaneNotComputed, kPlaneStale); reports a folder or
// file that cannot be written (kFolderNotCreated, kFileUnwritable).
bool exportWinsurf(SimulationState& s, const std::string& dir, CoreError* error);

// Sample coordinates of cell (i, j) of the lattice (cell centres), for the
// current plane fields and steps.
Vec3 samplePosition(const SamplingPlane& sp, int i, int j);

}  // namespace brelvik
