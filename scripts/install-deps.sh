#!/usr/bin/env bash
# Installs what Sonivex needs to build and test on Debian 12 (run as root).
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends \
  cmake ninja-build g++ libgtest-dev libgmock-dev clang libclang-rt-14-dev python3 \
  qt6-base-dev libfluidsynth-dev fluid-soundfont-gm xvfb xauth python3-mido \
  dpkg-dev file python3-jsonschema midicsv libsndfile1-dev \
  libasound2-dev librtmidi-dev jackd2 libjack-jackd2-dev timgm6mb-soundfont fluidsynth \
  slurm-wlm munge parallel
