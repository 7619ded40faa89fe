#!/usr/bin/env bash
# Every figure that matters for speed, side by side, in one run:
#   bash bench/all.sh [build-dir]          (default: build; builds what it needs)
# - the exchange: an acknowledged write of the largest image (2054 bytes) and
#   its streamed read-back against writer-emulator with no pacing, beside a
#   bare pseudo-terminal ping-pong of the same round trips (target <= 1.2);
# - an Auto Program pass against the 115200-baud line model beside the wire
#   time of its bytes (target <= 1.1), with writer-cli's CPU per pass; the
#   same pass in the window beside writer-cli's (target <= 1.05);
# - CPU while a port sits open and idle;
# - the program-memory view at 16383 words: open and re-create;
# - HEX load of a full image, and disassembly;
# - what the part ledger adds to a pass, on SQLite and on a local PostgreSQL
#   (target <= 10 ms);
# - four Writers from one writer-cli beside one (target <= 1.1), writer-cli's
#   CPU over them (target <= 20 %), a part seated to its first byte (< 300 ms).
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath -m "${1:-build}")
cmake --build "$build" --target writer-cli writer-emulator bench_LinkBench bench_SerialLinkBench \
  bench_ProgramMemoryViewBench bench_AutoProgramWindowBench bench_ProgramFileBench bench_DisassemblerBench \
  bench_LedgerBench bench_GangBench > /dev/null
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

"$build/bench_LinkBench" --benchmark_filter='WriteAndReadAgainstEmulator|BarePingPong' \
  --benchmark_repetitions=5 --benchmark_report_aggregates_only=true --benchmark_format=json > "$out/link.json"
"$build/bench_SerialLinkBench" --benchmark_filter=IdleOpenPort --benchmark_format=json > "$out/idle.json"
QT_QPA_PLATFORM=offscreen "$build/bench_ProgramMemoryViewBench" --benchmark_format=json > "$out/view.json" 2>/dev/null
"$build/bench_ProgramFileBench" --benchmark_format=json > "$out/file.json"
"$build/bench_DisassemblerBench" --benchmark_format=json > "$out/dis.json"
"$build/bench_LedgerBench" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
  --benchmark_format=json > "$out/ledger.json"
bash bench/ops_wire.sh "$build" > "$out/ops.txt"
bash bench/gang_wire.sh "$build" > "$out/gang.txt"

python3 - "$out" <<'PY'
import json, sys, os
out = sys.argv[1]
def bench(name):
    return json.load(open(os.path.join(out, name)))["benchmarks"]
def find(rows, key, agg="median"):
    for r in rows:
        if key in r["name"] and (r.get("aggregate_name", agg) == agg):
            return r
    raise SystemExit(f"no {key}")
ms = lambda r: r["real_time"] * {"ms": 1, "us": 1e-3, "ns": 1e-6}[r["time_unit"]]
link = bench("link.json")
ex, floor = ms(find(link, "WriteAndRead")), ms(find(link, "BarePingPong"))
ops = {l.split()[0]: l.split() for l in open(os.path.join(out, "ops.txt")) if l[0].isalpha() and not l.startswith("operation")}
ap = ops["auto-program"]
win = ops["auto-program-window"]
idle = find(bench("idle.json"), "IdleOpenPort")
view = bench("view.json")
ledger = bench("ledger.json")
rows = [
    ("exchange: write 2054 B + read 2049 B, no pacing", f"{ex:.1f} ms", f"bare ping-pong {floor:.1f} ms", f"{ex / floor:.2f} (<= 1.2)"),
    ("Auto Program pass at 115200 baud", f"{float(ap[1]):.0f} ms", f"wire {float(ap[2]):.0f} ms", f"{float(ap[3]):.2f} (<= 1.1)"),
    ("  CPU per pass (writer-cli)", f"{float(ap[4]):.0f} ms", f"{float(ap[5]):.1f} % of one core", ""),
    ("  the same pass in the window", f"{float(win[1]):.0f} ms", f"writer-cli {float(ap[1]):.0f} ms",
     f"{float(win[1]) / float(ap[1]):.2f} (<= 1.05)"),
    ("  CPU per pass (window)", f"{float(win[4]):.0f} ms", f"{float(win[5]):.1f} % of one core", ""),
    ("CPU with the port open and idle", f"{idle['idle_cpu_ms_per_s']:.2f} ms/s", "", ""),
    ("program-memory view at 16383 words: open", f"{ms(find(view, 'OpenProgramMemoryView')):.1f} ms", "", ""),
    ("  re-create", f"{ms(find(view, 'RecreateProgramMemoryView')):.1f} ms", "", ""),
    ("HEX load, full image", f"{ms(find(bench('file.json'), 'HexToObjFullImage')):.2f} ms", "", ""),
    ("  Open of a PIC hex with translation", f"{ms(find(bench('file.json'), 'OpenPicHexFullImage')):.2f} ms", "", ""),
    ("disassembly of 8192 words", f"{ms(find(bench('dis.json'), 'Listing8192Words')):.2f} ms", "", ""),
    ("ledger: reserve + finish a pass, SQLite", f"{ms(find(ledger, 'ReserveFinishSqlite')):.1f} ms", "", "(<= 10)"),
    ("  PostgreSQL, local", f"{ms(find(ledger, 'ReserveFinishPostgres')):.1f} ms", "", "(<= 10)"),
    ("  with the stream mark between, SQLite", f"{ms(find(ledger, 'ReserveStreamFinishSqlite')):.1f} ms", "", ""),
    ("  PostgreSQL, local", f"{ms(find(ledger, 'ReserveStreamFinishPostgres')):.1f} ms", "", ""),
]
w = max(len(r[0]) for r in rows)
for r in rows:
    print(f"{r[0]:<{w}}  {r[1]:>12}  {r[2]:<24} {r[3]}")
print()
print("Each operation against the 115200-baud line model (bench/ops_wire.sh):")
print(open(os.path.join(out, "ops.txt")).read(), end="")
print()
print("Several Writers from one writer-cli at 115200 baud (bench/gang_wire.sh):")
print(open(os.path.join(out, "gang.txt")).read(), end="")
PY
