#!/usr/bin/env bash
# Installs what is needed, builds and starts the Writer program. Without a
# Writer at hand it starts writer-emulator and links it as Com1 first; pass
# --hardware to use the real serial ports instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/packages.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --target writer writer-emulator
if [ "${1:-}" = "--hardware" ]; then
  exec ./build/writer
fi
./build/writer-emulator --link Com1 > /tmp/writer-emulator.$$.out &
emulator=$!
trap 'kill -INT $emulator 2>/dev/null; wait $emulator 2>/dev/null || true; rm -f /tmp/writer-emulator.$$.out' EXIT
# The emulator prints its terminal's path once the Com1 link is in place.
for _ in $(seq 50); do [ -s /tmp/writer-emulator.$$.out ] && break; sleep 0.1; done
./build/writer
