#!/usr/bin/env bash
# Soak: a long batch of Auto Program passes through writer-cli against
# writer-emulator (a fresh part at every pass, serial numbers on), while the
# writer-cli process is watched once a second: resident memory, threads and
# open descriptors. Fails when a pass failed, when memory grew by more than
# 1 MB after the first 50 passes, or when threads or descriptors grew.
#
#   bash scripts/soak.sh [BUILD_DIR] [PASSES]     (defaults: build, 1000)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
passes=${2:-1000}
warmup=50
rss_slack_kb=1024

if [ ! -x "$build/writer-cli" ] || [ ! -x "$build/writer-emulator" ]; then
  cmake --build "$build" --target writer-cli writer-emulator
fi
cli=$(realpath "$build/writer-cli")
emulator=$(realpath "$build/writer-emulator")

work=$(mktemp -d)
emu_pid=
cli_pid=
cleanup() {
  [ -n "$cli_pid" ] && kill "$cli_pid" 2>/dev/null || true
  if [ -n "$emu_pid" ]; then
    kill "$emu_pid" 2>/dev/null || true
    wait "$emu_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# A 12-bit program with two RTIW words (RETLW 0) at 0x100 for the serial number.
printf ' LIST P=16C54\n ORG 0\n MOVLW 5\n MOVWF 6\n GOTO 0\n ORG 0x100\n RETLW 0\n RETLW 0\n END\n' >"$work/prog.asm"
(cd "$work" && gpasm -o prog.hex prog.asm >/dev/null)
# Configuration: image, port, device, six flags, the checksum, the serial
# fields (count, shown number, mode on, address 256, two bytes, 1234h, step 1,
# sequential, MSB first), the OPTION halves 1Ah / 4Bh and a blank ID.
{
  printf 'qel%s\x0fCom1 K7E1/E3 false false false false false false F6A0 0 1234 1 256 2 1234 1 0 0 \x1aK' \
    "$work/prog.hex"
  head -c 32 /dev/zero | tr '\0' '\177'
} >"$work/soak.cfg"

"$emulator" --swap-parts >"$work/emulator.out" 2>/dev/null &
emu_pid=$!
for _ in $(seq 50); do
  [ -s "$work/emulator.out" ] && break
  sleep 0.1
done
port=$(head -n 1 "$work/emulator.out")
[ -n "$port" ] || { echo "soak: writer-emulator did not start" >&2; exit 1; }

XDG_DATA_HOME="$work/data" "$cli" --port-path "$port" --config "$work/soak.cfg" auto-program --passes "$passes" \
  >"$work/cli.out" 2>"$work/cli.err" &
cli_pid=$!
start=$(date +%s)

# One sample a second: passes so far, VmRSS (kB), threads, descriptors.
samples="$work/samples"
: >"$samples"
while kill -0 "$cli_pid" 2>/dev/null; do
  status=/proc/$cli_pid/status
  rss=$(awk '/^VmRSS:/ {print $2}' "$status" 2>/dev/null || true)
  threads=$(awk '/^Threads:/ {print $2}' "$status" 2>/dev/null || true)
  fds=$(ls "/proc/$cli_pid/fd" 2>/dev/null | wc -l)
  done_passes=$(grep -c '^Pass Count : ' "$work/cli.out" || true)
  [ -n "$rss" ] && [ -n "$threads" ] && echo "$done_passes $rss $threads $fds" >>"$samples"
  sleep 1
done
set +e
wait "$cli_pid"
cli_status=$?
set -e
cli_pid=
elapsed=$(($(date +%s) - start))

ok=$(grep -c '^Data program & verify OK!!$' "$work/cli.out" || true)
failed=$(grep -c '^error: ' "$work/cli.out" || true)
last_count=$(grep '^Pass Count : ' "$work/cli.out" | tail -n 1 || true)

# Figures: first / after the warm-up / last / max of each column.
read -r rss_first rss_warm rss_last rss_max thr_first thr_warm thr_last thr_max \
  fd_first fd_warm fd_last fd_max after_max_thr after_max_fd samples_n < <(awk -v warm="$warmup" '
  NR == 1 { r1 = $2; t1 = $3; f1 = $4 }
  { rl = $2; tl = $3; fl = $4; n++
    if ($2 > rm) rm = $2; if ($3 > tm) tm = $3; if ($4 > fm) fm = $4
    if (!seen && $1 >= warm) { seen = 1; rw = $2; tw = $3; fw = $4 }
    if (seen && $2 > rafter) rafter = $2
    if (seen && $3 > tafter) tafter = $3
    if (seen && $4 > fafter) fafter = $4 }
  END { if (!seen) { rw = r1; tw = t1; fw = f1; rafter = rm; tafter = tm; fafter = fm }
        print r1+0, rw+0, rl+0, rafter+0, t1+0, tw+0, tl+0, tm+0, f1+0, fw+0, fl+0, fm+0, tafter+0, fafter+0, n+0 }' \
  "$samples")

echo "soak: $passes Auto Program passes in ${elapsed}s, writer-cli exit $cli_status"
echo "soak: passes OK $ok, failed lines $failed, last: ${last_count:-none}"
echo "soak: VmRSS kB first $rss_first, after $warmup passes $rss_warm, last $rss_last, max after warm-up $rss_max"
echo "soak: threads first $thr_first, after warm-up $thr_warm, last $thr_last, max $thr_max"
echo "soak: descriptors first $fd_first, after warm-up $fd_warm, last $fd_last, max $fd_max ($samples_n samples)"

fail=0
if [ "$cli_status" -ne 0 ] || [ "$ok" -ne "$passes" ] || [ "$failed" -ne 0 ]; then
  echo "soak: FAILED: not every pass succeeded" >&2
  sed -n '1,20p' "$work/cli.err" >&2
  fail=1
fi
if [ "$samples_n" -lt 2 ]; then
  echo "soak: FAILED: too few samples of writer-cli" >&2
  fail=1
fi
if [ $((rss_max - rss_warm)) -gt "$rss_slack_kb" ]; then
  echo "soak: FAILED: memory grew by $((rss_max - rss_warm)) kB after the warm-up" >&2
  fail=1
fi
# Counted from the warm-up on: the port and its watcher open after the first sample.
if [ "$after_max_thr" -gt "$thr_warm" ] || [ "$thr_last" -gt "$thr_warm" ]; then
  echo "soak: FAILED: threads grew" >&2
  fail=1
fi
if [ "$after_max_fd" -gt "$fd_warm" ] || [ "$fd_last" -gt "$fd_warm" ]; then
  echo "soak: FAILED: descriptors grew" >&2
  fail=1
fi
[ "$fail" -eq 0 ] && echo "soak: OK"
exit "$fail"
