#pragma once
// Toolbar glyphs (16 x 15 pixels) and the application icon, drawn in code so
// that the program needs no image files.

#include <QIcon>

#include "gui/app/command_ids.h"

namespace brelvik {

inline constexpr int kToolIconWidth = 16;
inline constexpr int kToolIconHeight = 15;

QIcon commandIcon(CommandId id);
QIcon applicationIcon();

}  // namespace brelvik
