#!/usr/bin/env bash
# Screenshots of the program as a person sees it, on a virtual X server.
#
#   bash scripts/screenshots.sh [FOLDER]     (default: build/screenshots)
#
# WRITER_BUILD_DIR names another build folder than build/.
#
# Writes, as PNG files:
#   main-window, main-window-ab, id-window-blank, id-window-ab, option-editor
#       each window drawn by the program itself (a blank ID, then "AB")
#   startup-connect       the whole screen when writer, started against
#                         writer-emulator, shows its first message
#   startup-silent-writer the whole screen one second into the probe of a
#                         Writer that never answers
#   auto-program-pass     the main window during an Auto Program pass of the
#                         bundled example (File > Open, examples/example.hex,
#                         then F8, typed as a newcomer would), as the README
#                         shows it (docs/auto-program-pass.png)
#   auto-program-done     the same once the pass has ended
#   gang-window           the gang window over four emulated Writers: one
#                         waiting for a part, one good part, one failed, one
#                         programming (docs/gang-window.png)
#   gang-eight-writers    the gang window with eight Writers ticked, as it
#                         fits the 1280x800 screen (-screen: the whole screen)
# Nothing of the user's own settings is touched: the port map, the lock,
# Default.cfg and the part ledger live in a scratch folder.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath -m "${WRITER_BUILD_DIR:-build}")
out=$(realpath -m "${1:-$build/screenshots}")
mkdir -p "$out"

bash scripts/packages.sh xvfb imagemagick xdotool
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --target writer writer-emulator app_gui_tests gang_gui_tests

scratch=$(mktemp -d)
emulator=
cleanup() {
  if [ -n "$emulator" ]; then kill -INT "$emulator" 2>/dev/null || true; wait "$emulator" 2>/dev/null || true; fi
  rm -rf "$scratch"
}
trap cleanup EXIT
export XDG_CONFIG_HOME=$scratch/config XDG_RUNTIME_DIR=$scratch/run XDG_DATA_HOME=$scratch/data
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" "$XDG_DATA_HOME" "$scratch/work"
chmod 700 "$XDG_RUNTIME_DIR"
screen="-screen 0 1280x800x24"

# The windows, each drawn by the program.
WRITER_SCREENSHOT_DIR=$out QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "$screen" "$build/app_gui_tests" --gtest_filter='Screenshots.*'
WRITER_SCREENSHOT_DIR=$out QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "$screen" "$build/gang_gui_tests" --gtest_filter='*TilesShowEachState*:*EightTilesFit*'

# Starts writer-emulator with the given options, linked as Com1.
start_emulator() {
  "$build/writer-emulator" --link Com1 "$@" > "$scratch/emulator.out" &
  emulator=$!
  for _ in $(seq 50); do [ -s "$scratch/emulator.out" ] && return; sleep 0.1; done
  echo "writer-emulator did not start" >&2
  exit 1
}
stop_emulator() {
  kill -INT "$emulator" 2>/dev/null || true
  wait "$emulator" 2>/dev/null || true
  emulator=
  : > "$scratch/emulator.out"
}

# The whole screen, wait seconds after writer starts.
shoot_startup() {
  local name=$1 wait=$2
  (cd "$scratch/work" && QT_QPA_PLATFORM=xcb xvfb-run -a -s "$screen" bash -c '
      "$1" & writer=$!
      sleep "$2"
      import -window root "$3"
      kill "$writer"; wait "$writer" 2>/dev/null || true' _ "$build/writer" "$wait" "$out/$name.png")
}

start_emulator
shoot_startup startup-connect 3
stop_emulator

start_emulator --fault cts
shoot_startup startup-silent-writer 1
stop_emulator

# The window during a pass, then once it ended. The emulator takes 4 ms a word,
# so programming the part's 1024 words lasts about four seconds.
shoot_pass() {
  ln -sfn "$PWD/examples" "$scratch/work/examples"  # example.cfg names examples/example.hex
  (cd "$scratch/work" && QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1100x720x24" bash -c '
      set -e
      "$1" & writer=$!
      trap "kill $writer 2>/dev/null; wait $writer 2>/dev/null || true" EXIT
      main=
      for _ in $(seq 100); do
        main=$(xdotool search --onlyvisible --name "^Writer V" 2>/dev/null | head -1 || true)
        [ -n "$main" ] && break
        sleep 0.1
      done
      [ -n "$main" ] || { echo "the main window did not show" >&2; exit 1; }
      # No window manager here: the window is placed and focused by hand.
      xdotool windowmove --sync "$main" 0 0 windowsize --sync "$main" 100% 100%
      sleep 2
      xdotool key Return                       # "Connect OK!"
      xdotool windowfocus --sync "$main"; sleep 0.3
      xdotool key alt+f; sleep 0.3; xdotool key o; sleep 1
      xdotool type --delay 20 examples/example.hex; xdotool key Return; sleep 1
      xdotool windowfocus --sync "$main"; sleep 0.3
      xdotool key F8; sleep 1.5
      import -window root "$2/auto-program-pass.png"
      sleep 6
      import -window root "$2/auto-program-done.png"' _ "$build/writer" "$out")
}

start_emulator --word-time-us 4000
shoot_pass
stop_emulator

echo "screenshots in $out:"
ls "$out"
