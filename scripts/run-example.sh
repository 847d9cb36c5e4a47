#!/usr/bin/env bash
# Installs, builds and starts the window on the bundled example song. Without a display it says so and
# prints the song's report with sonivex-cli instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build
if [[ -n ${DISPLAY:-} || -n ${WAYLAND_DISPLAY:-} ]] && [[ -x build/bin/sonivex ]]; then
  exec build/bin/sonivex examples/example.mid
fi
echo "No display to show the window on: printing the report of examples/example.mid with sonivex-cli instead." >&2
build/bin/sonivex-cli examples/example.mid
