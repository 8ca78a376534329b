#!/usr/bin/env bash
# Installs what is missing, builds everything and starts the viewer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
exec ./build/viewer/murkglass "$@"
