#pragma once
// Ranges of flow fields over the computed points of the volumes, as the
// legend shows them.

#include <optional>
#include <vector>

#include "state/finite_volume.h"

namespace brelvik {

struct SimulationState;

// Largest / smallest value of `field` over the computed region of `vol`,
// counting only points of type 1. The region's first point seeds the running
// value whatever its type. Empty when the region or the array cannot supply
// that first point (arrays not allocated, region outside the array).
std::optional<double> fieldMaximum(const FiniteVolume& vol, const std::vector<double>& field);
std::optional<double> fieldMinimum(const FiniteVolume& vol, const std::vector<double>& field);

// The seven legend fields, in legend order.
enum class LegendField { U, V, W, P, Ro, T, Vixr };
inline constexpr int kLegendFieldCount = 7;

struct FieldRange {
  double minimum = 0;
  double maximum = 0;
};

// The domain-wide range of one legend field over volumes [first, count) of
// s.volumes (first is 1 for the vorticity, 0 otherwise). Empty when there are
// fewer volumes than the range needs or a volume cannot supply a value.
std::optional<FieldRange> domainRange(const SimulationState& s, LegendField field);

}  // namespace brelvik
