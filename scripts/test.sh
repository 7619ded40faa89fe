#!/usr/bin/env bash
# Installs what is needed, builds everything and runs the whole test suite
# but the slow label (real processes for real seconds; CI runs those too).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/packages.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" --timeout 120 -LE slow
