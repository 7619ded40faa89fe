#!/usr/bin/env bash
# Installs what is needed, builds and starts the Writer program.
#
#   bash scripts/start.sh               the program and writer-emulator on Com1
#   bash scripts/start.sh --hardware    the program on the real serial ports
#
# Without a Writer at hand, writer-emulator (a blank K7E1/E3 in its socket) is
# linked as Com1 in a port map of the demo's own, and the program runs in
# build/demo with that map and a part ledger of its own: the user's port
# links, their own Default.cfg and their production records are never touched. build/demo keeps the demo's Default.cfg between starts and
# shows the bundled examples/ folder.
#
# --hardware runs the program on the user's own port map, in the repository's
# folder (its Default.cfg there). WRITER_BUILD_DIR names another build folder
# than build/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(realpath -m "${WRITER_BUILD_DIR:-build}")
bash scripts/packages.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --target writer writer-emulator
if [ "${1:-}" = "--hardware" ]; then
  exec "$build/writer"
fi

demo=$build/demo
mkdir -p "$demo/config" "$demo/data"
# examples/example.cfg names its image examples/example.hex, relative to the
# folder the program runs in: this link lets it be found from the demo folder.
ln -sfn "$root/examples" "$demo/examples"
export XDG_CONFIG_HOME=$demo/config
# The ledger's default file is under XDG_DATA_HOME: demo passes stay in the demo.
export XDG_DATA_HOME=$demo/data

out=$(mktemp)
"$build/writer-emulator" --link Com1 --port-map "$XDG_CONFIG_HOME/qel-writer/ports" > "$out" &
emulator=$!
trap 'kill -INT $emulator 2>/dev/null; wait $emulator 2>/dev/null || true; rm -f "$out"' EXIT
# The emulator prints its terminal's path once the Com1 link is in place.
for _ in $(seq 50); do
  [ -s "$out" ] && break
  if ! kill -0 "$emulator" 2>/dev/null; then
    echo "start.sh: writer-emulator did not start" >&2
    exit 1
  fi
  sleep 0.1
done
if [ ! -s "$out" ]; then
  echo "start.sh: writer-emulator did not answer" >&2
  exit 1
fi
cd "$demo"
"$build/writer"
