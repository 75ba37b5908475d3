#pragma once
// Residuals of the time march: after a step, the RMS over the computed points
// (type 1 inside the computed box, the points the kernels update) of all
// volumes of (q^{n+1} - q^n)/dt for q = ro, u, v, w, T. u, v, w are the
// components along each volume's local axes. q^n is the state the predictor
// saved (ro_n ... T_n).
//
// Thread-count independence: each volume's squares are summed in its scan
// order (i, j, k) on one thread, and the per-volume sums are added in volume
// order, so the result does not depend on which thread did which volume.

#include <array>
#include <vector>

#include "state/finite_volume.h"

namespace brelvik {

struct ResidualSums {
  std::array<double, 5> squares{};  // sum of (q^{n+1} - q^n)^2 per variable
  long long points = 0;
};

// The sums of one volume (zero for a volume without arrays).
ResidualSums residualSumsOf(const FiniteVolume& vol);
// The sums continued from `start` over the computed points of the planes
// firstPlane..lastPlane, in scan order: running the planes of a volume in
// consecutive runs, each from the previous run's sums, gives the bits of
// residualSumsOf.
ResidualSums residualSumsOf(const FiniteVolume& vol, int firstPlane, int lastPlane,
                            ResidualSums start);

// sqrt(sum of squares / points) / dt per variable, the sums taken in the
// order of `perVolume`. Zero when there is no point or dt is 0.
std::array<double, 5> residualRms(const std::vector<ResidualSums>& perVolume, double dt);

}  // namespace brelvik
