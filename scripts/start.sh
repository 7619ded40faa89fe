#!/usr/bin/env bash
# Installs what is needed, builds and starts the Writer program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/packages.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --target writer
exec ./build/writer
