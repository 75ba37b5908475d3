#!/usr/bin/env bash
# Runs Brelvik: installs what is missing and builds when needed, then starts
# the desktop program when a display is available, otherwise the headless
# batch driver brelvik-batch with the arguments given (see
# `scripts/run.sh --help` without a display).
#   BRELVIK_BATCH=1 scripts/run.sh ...   forces the batch driver
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build"
GUI_BIN="$BUILD/src/gui/brelvik"
BATCH_BIN="$BUILD/src/cli/brelvik-batch"

bash "$ROOT/scripts/setup.sh" >&2

# Configure once; afterwards the build is incremental and quick when nothing
# changed.
if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release >&2
fi

want_gui=0
if [ "${BRELVIK_BATCH:-0}" != "1" ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  want_gui=1
fi

has_target() {
  cmake --build "$BUILD" --target help 2>/dev/null | grep "^$1: " >/dev/null
}

if [ "$want_gui" -eq 1 ] && has_target brelvik; then
  cmake --build "$BUILD" -j "$(nproc)" --target brelvik >&2
  exec "$GUI_BIN" "$@"
fi
if [ "$want_gui" -eq 1 ]; then
  echo "run: this build has no desktop program; running the batch driver" >&2
fi
cmake --build "$BUILD" -j "$(nproc)" --target brelvik-batch >&2

exec "$BATCH_BIN" "$@"
