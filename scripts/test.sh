#!/usr/bin/env bash
# Installs what is missing, checks the formatting, builds, runs every test,
# then runs each fuzz target for a bounded time (FUZZ_SECONDS, default 60;
# 0 skips fuzzing).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/check-format.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
ctest --test-dir build --output-on-failure -j2
bash scripts/fuzz.sh "${FUZZ_SECONDS:-60}"
