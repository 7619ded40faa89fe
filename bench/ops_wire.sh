#!/usr/bin/env bash
# The Writer operations through writer-cli against writer-emulator on its
# 115200-baud line model (both directions paced, ten bits a byte): each
# operation's time and CPU beside the wire time of the bytes it exchanges,
# the median of three runs. Then the same Auto Program pass in the window
# (auto-program-window): the main window and its Auto Program window,
# offscreen, running a batch with "Continue"; the median pass, with the CPU
# of the whole program over it. Last the floor under both (bare-client): the
# bytes of one recorded pass replayed to the same emulator by a client that
# does nothing else, and each pass set against it.
#   bash bench/ops_wire.sh [build-dir]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
work=$(mktemp -d)
trap 'kill "${emus[@]}" 2>/dev/null; wait 2>/dev/null || true; rm -rf "$work"' EXIT
cd "$work"
# The window's port map, lock and Default.cfg stay in the scratch folder.
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

# A full 1024-word image of 12-bit words, two RTIW words at 0x100 for a serial
# number, and a configuration with an OPTION word every field accepts.
python3 - <<'PY'
import random
random.seed(7)
words = [random.randrange(0x1000) for _ in range(1024)]
words[0x100:0x102] = [0x3100, 0x3100]
open("image.bin", "wb").write(b"".join(w.to_bytes(2, "little") for w in words))
import os
def cfg(name, serial):
    text = ("qel" + os.path.abspath("image.bin") + "\x0f" + "Com1 K7E1/E3 " + "false " * 6 +
            "F6A0 " + serial + " " + "\x1a\x4b" + "\x7f" * 32)
    open(name, "w", encoding="latin-1", newline="").write(text)
cfg("image.cfg", "0 00 0 0 1 00 1 0 0")
cfg("batch.cfg", "0 1234 1 256 2 1234 1 0 0")
PY

# One Writer for the single operations, one that swaps parts for the batch,
# and one that does the same on the window's Com1.
emus=()
start_emulator() {
  local out=$1
  shift
  "$build/writer-emulator" --baud 115200 "$@" > "$out" 2>/dev/null &
  emus+=($!)
  for _ in $(seq 50); do [ -s "$out" ] && break; sleep 0.1; done
}
start_emulator emu.out
start_emulator batch.out --swap-parts
start_emulator window.out --swap-parts --link Com1 --port-map "$XDG_CONFIG_HOME/qel-writer/ports"
pty=$(head -1 emu.out)
batch_pty=$(head -1 batch.out)

# Bytes each way for a 1024-word part (2048 data bytes): probe and reply,
# headers, data, end marks and per-byte replies.
declare -A bytes=(
  [blank-check]=$((31 + 2086))
  [program-memory]=$((2069 + 4099))
  [verify]=$((31 + 2086))
  [read]=$((41 + 2097))
  [program-id]=$((1 + 10 + 16 + 10 + 1 + 1 + 16 + 33))
  [program-option]=$((1 + 10 + 2 + 10 + 1 + 1 + 2 + 3))
  [auto-program]=$((2169 + 6243))
)

printf '%-19s %9s %9s %7s %9s %7s\n' operation "time ms" "wire ms" ratio "CPU ms" "CPU %"
# One line of the table: name, time ms, CPU ms, bytes exchanged.
row() {
  python3 -c 'import sys
name, wall, cpu, nbytes = sys.argv[1], float(sys.argv[2]), float(sys.argv[3]), int(sys.argv[4])
wire = nbytes * 10 / 115200 * 1000
print(f"{name:<19} {wall:9.1f} {wire:9.1f} {wall / wire:7.3f} {cpu:9.1f} {100 * cpu / wall:7.1f}")' "$@" |
    tee -a "$work/rows"
}
# Wall time and the CPU time of writer-cli itself (user + system, to the
# microsecond) of the run with the median time.
run() {
  local name=$1 port=$2
  shift 2
  local measured
  measured=$(python3 - "$name" "$build/writer-cli" --port-path "$port" "$@" <<'PY'
import resource, subprocess, sys, time
name, cmd = sys.argv[1], sys.argv[2:]
runs = []
for _ in range(3):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    done = subprocess.run(cmd, capture_output=True, text=True)
    wall = (time.perf_counter() - start) * 1000
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if done.returncode != 0:
        sys.exit(f"{name} failed ({done.returncode}):\n{done.stdout}{done.stderr}")
    runs.append((wall, (after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime) * 1000))
print(*sorted(runs)[1])
PY
)
  row "$name" $measured "${bytes[$name]}"
}
run blank-check "$pty" blank-check
run program-memory "$pty" --config image.cfg --yes program-memory
run program-id "$pty" --config image.cfg program-id
run program-option "$pty" --config image.cfg program-option
run verify "$pty" --config image.cfg verify
run read "$pty" read
run auto-program "$batch_pty" --config batch.cfg auto-program
cli_auto=$(tail -1 "$work/rows" | awk '{print $2, $5}')

QT_QPA_PLATFORM=offscreen WRITER_BENCH_CONFIG=$work/batch.cfg "$build/bench_AutoProgramWindowBench" \
  --benchmark_format=json > window.json 2> window.err || { cat window.err >&2; exit 1; }
# The median repetition of a benchmark's JSON: time ms, CPU ms.
median() {
  python3 -c 'import json, sys
runs = [b for b in json.load(open(sys.argv[1]))["benchmarks"] if b.get("run_type") == "iteration"]
middle = sorted(runs, key=lambda b: b["real_time"])[len(runs) // 2]
print(middle["real_time"], middle["cpu_ms"])' "$1"
}
measured=$(median window.json)
row auto-program-window $measured "${bytes[auto-program]}"

# The bare client replays what writer-cli sent and waits for what came back.
"$build/writer-cli" --port-path "$batch_pty" --config batch.cfg --trace pass.trace auto-program > /dev/null
WRITER_BENCH_TRACE=$work/pass.trace WRITER_BENCH_PORT=$batch_pty "$build/bench_BarePassBench" \
  --benchmark_format=json > bare.json 2> bare.err || { cat bare.err >&2; exit 1; }
row bare-client $(median bare.json) "${bytes[auto-program]}"
read -r bare_ms _ <<< "$(median bare.json)"
python3 -c 'import sys
bare, cli, cli_cpu, window, window_cpu = map(float, sys.argv[1:])
print(f"pass / bare client: writer-cli {cli / bare:.3f} (start-up included), window {window / bare:.3f}"
      f" (<= 1.05); CPU per pass: writer-cli {100 * cli_cpu / cli:.1f} %, window {100 * window_cpu / window:.1f} %"
      " of one core (<= 5)")' "$bare_ms" $cli_auto $measured
