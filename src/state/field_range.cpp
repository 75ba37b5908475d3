#include "state/field_range.h"

#include <cstdint>

#include "state/simulation_state.h"

namespace brelvik {

namespace {

// Running extreme over the computed region; `better(a, b)` is true when a
// should replace b.
template <class Better>
std::optional<double> regionExtreme(const FiniteVolume& vol, const std::vector<double>& field,
                                    Better better) {
  if (vol.i_begin > vol.i_end || vol.j_begin > vol.j_end || vol.k_begin > vol.k_end) {
    return std::nullopt;
  }
  const int64_t count = static_cast<int64_t>(field.size());
  const int64_t types = static_cast<int64_t>(vol.type_point.size());
  auto index = [&](int i, int j, int k) {
    return static_cast<int64_t>(k) + static_cast<int64_t>(j) * vol.stride_j +
           static_cast<int64_t>(i) * vol.stride_i;
  };
  const int64_t first = index(vol.i_begin, vol.j_begin, vol.k_begin);
  const int64_t last = index(vol.i_end, vol.j_end, vol.k_end);
  // The region is a box, so its first and last points bound every index.
  if (first < 0 || last >= count || last >= types) return std::nullopt;
  double value = field[static_cast<size_t>(first)];
  for (int i = vol.i_begin; i <= vol.i_end; ++i) {
    for (int j = vol.j_begin; j <= vol.j_end; ++j) {
      for (int k = vol.k_begin; k <= vol.k_end; ++k) {
        const size_t n = static_cast<size_t>(index(i, j, k));
        if (vol.type_point[n] == kPointComputed && better(field[n], value)) value = field[n];
      }
    }
  }
  return value;
}

const std::vector<double>& fieldOf(const FiniteVolume& vol, LegendField field) {
  switch (field) {
    case LegendField::U: return vol.u_glob;
    case LegendField::V: return vol.v_glob;
    case LegendField::W: return vol.w_glob;
    case LegendField::P: return vol.P;
    case LegendField::Ro: return vol.ro;
    case LegendField::T: return vol.T;
    case LegendField::Vixr: break;
  }
  return vol.vixr;
}

}  // namespace

std::optional<double> fieldMaximum(const FiniteVolume& vol, const std::vector<double>& field) {
  return regionExtreme(vol, field, [](double a, double b) { return a > b; });
}

std::optional<double> fieldMinimum(const FiniteVolume& vol, const std::vector<double>& field) {
  return regionExtreme(vol, field, [](double a, double b) { return a < b; });
}

std::optional<FieldRange> domainRange(const SimulationState& s, LegendField field) {
  const int first = field == LegendField::Vixr ? 1 : 0;
  const int count = std::min<int>(s.volumeCount, static_cast<int>(s.volumes.size()));
  if (count <= first) return std::nullopt;
  FieldRange range;
  for (int n = first; n < count; ++n) {
    const FiniteVolume& vol = s.volumes[static_cast<size_t>(n)];
    const std::vector<double>& values = fieldOf(vol, field);
    const auto lo = fieldMinimum(vol, values);
    const auto hi = fieldMaximum(vol, values);
    if (!lo || !hi) return std::nullopt;
    if (n == first) {
      range.minimum = *lo;
      range.maximum = *hi;
    } else {
      if (*lo < range.minimum) range.minimum = *lo;
      if (*hi > range.maximum) range.maximum = *hi;
    }
  }
  return range;
}

}  // namespace brelvik
