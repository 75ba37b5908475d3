#pragma once
// Prints a CoreError in failure messages of the core tests (codes as
// numbers; the programs word errors themselves).

#include <ostream>

#include "state/core_error.h"

namespace brelvik {

inline std::ostream& operator<<(std::ostream& os, const CoreError& e) {
  return os << "CoreError{code " << static_cast<int>(e.code) << ", field "
            << static_cast<int>(e.field) << ", file \"" << e.file << "\", detail \"" << e.detail
            << "\", figures " << e.figures[0] << " " << e.figures[1] << " " << e.figures[2] << "}";
}

}  // namespace brelvik
