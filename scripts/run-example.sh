#!/usr/bin/env bash
# Installs, builds and starts the window on the bundled example song. Without a display it says so and
# prints the song's report with sonivex-cli instead.
#
# It builds only what it runs: the window (sonivex), sonivex-cli with its helper program
# (sonivex-cli-extras, for the piano roll and the audio export) and the data files beside them, in build/,
# the folder that scripts/test-all.sh then completes with the tests. SONIVEX_SKIP_INSTALL=1 leaves out the
# installation of the dependencies.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${SONIVEX_SKIP_INSTALL:-0}" != 1 ]; then bash scripts/install-deps.sh; fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
# sonivex-cli brings its helper program and the data files (genmidi.ini, style1.dat, effects1.dat) with it.
targets=(sonivex-cli sonivex_data)
# The window is a target only where Qt 6 was found (and SONIVEX_GUI is on).
if ninja -C build -t query sonivex >/dev/null 2>&1; then targets+=(sonivex); fi
cmake --build build --target "${targets[@]}"
if [[ -n ${DISPLAY:-} || -n ${WAYLAND_DISPLAY:-} ]] && [[ -x build/bin/sonivex ]]; then
  exec build/bin/sonivex examples/example.mid
fi
echo "No display to show the window on: printing the report of examples/example.mid with sonivex-cli instead." >&2
build/bin/sonivex-cli examples/example.mid
