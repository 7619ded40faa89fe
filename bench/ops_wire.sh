#!/usr/bin/env bash
# The Writer operations through writer-cli against writer-emulator on its
# 115200-baud line model (both directions paced, ten bits a byte): each
# operation's time and CPU beside the wire time of the bytes it exchanges.
#   bash bench/ops_wire.sh [build-dir]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
work=$(mktemp -d)
trap 'kill "${emus[@]}" 2>/dev/null; wait 2>/dev/null || true; rm -rf "$work"' EXIT
cd "$work"

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

# One Writer for the single operations, one that swaps parts for the batch.
emus=()
for swap in "" --swap-parts; do
  "$build/writer-emulator" --baud 115200 $swap > "emu$swap.out" 2>/dev/null &
  emus+=($!)
  for _ in $(seq 50); do [ -s "emu$swap.out" ] && break; sleep 0.1; done
done
pty=$(head -1 emu.out)
batch_pty=$(head -1 emu--swap-parts.out)

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

printf '%-16s %9s %9s %7s %9s %7s\n' operation "time ms" "wire ms" ratio "CPU ms" "CPU %"
# Wall time and the CPU time of writer-cli itself (user + system, to the microsecond).
run() {
  local name=$1 port=$2; shift 2
  python3 - "$name" "${bytes[$name]}" "$build/writer-cli" --port-path "$port" "$@" <<'PY'
import resource, subprocess, sys, time
name, nbytes, cmd = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
before = resource.getrusage(resource.RUSAGE_CHILDREN)
start = time.perf_counter()
done = subprocess.run(cmd, capture_output=True, text=True)
wall = (time.perf_counter() - start) * 1000
after = resource.getrusage(resource.RUSAGE_CHILDREN)
if done.returncode != 0:
    sys.exit(f"{name} failed ({done.returncode}):\n{done.stdout}{done.stderr}")
cpu = (after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime) * 1000
wire = nbytes * 10 / 115200 * 1000
print(f"{name:<16} {wall:9.1f} {wire:9.1f} {wall / wire:7.3f} {cpu:9.1f} {100 * cpu / wall:7.1f}")
PY
}
run blank-check "$pty" blank-check
run program-memory "$pty" --config image.cfg --yes program-memory
run program-id "$pty" --config image.cfg program-id
run program-option "$pty" --config image.cfg program-option
run verify "$pty" --config image.cfg verify
run read "$pty" read
run auto-program "$batch_pty" --config batch.cfg auto-program
