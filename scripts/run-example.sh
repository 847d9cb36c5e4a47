#!/usr/bin/env bash
# Installs, builds and runs sonivex-cli on the bundled example song.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build --target sonivex-cli
build/bin/sonivex-cli examples/example.mid
