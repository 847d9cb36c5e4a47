#!/usr/bin/env bash
# Installs, builds and runs every test: the unit tests, the Debian package installed and run as a non-root
# user, the same tests under AddressSanitizer and UndefinedBehaviorSanitizer, and a fuzzing run of the report
# on arbitrary bytes.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${SONIVEX_SKIP_INSTALL:-0}" != 1 ]; then bash scripts/install-deps.sh; fi
jobs=$(nproc)

echo "== unit tests"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== the Debian package, installed with apt and run as a non-root user"
bash scripts/test-package.sh build

echo "== unit tests with AddressSanitizer and UndefinedBehaviorSanitizer"
# The window's tests run in the plain build; here the core, its tools and the player run under the sanitizers.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSONIVEX_SANITIZE=ON -DSONIVEX_GUI=OFF
cmake --build build-asan -j "$jobs"
ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== fuzzing the load and report for ${SONIVEX_FUZZ_SECONDS:-60} s"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DSONIVEX_FUZZ=ON -DSONIVEX_SANITIZE=ON -DSONIVEX_TESTS=OFF -DSONIVEX_GUI=OFF -DCMAKE_DISABLE_FIND_PACKAGE_PkgConfig=TRUE
cmake --build build-fuzz -j "$jobs"
bash fuzz/run.sh build-fuzz "${SONIVEX_FUZZ_SECONDS:-60}"
