#!/usr/bin/env bash
# Micro benchmarks and instruction counts of the collection path.
#
#   scripts/bench.sh [--quick]
#
# Builds build/perf (x86_64 Release with symbols), then
#   1. runs the Google Benchmark cases (planning, decoding, request and write
#      frame builders, whole collection calls with heap allocations per call),
#   2. counts instructions per collection call with callgrind (deterministic:
#      unaffected by the machine's load), split into transaction and
#      decode+store, per decoded channel,
#   3. measures the heap kept per channel (x86_64; tools/perf/arm_footprint.sh
#      does the ARM builds).
# Results go to build/perf/results/. --quick shortens the benchmark runs.
#
# The end-to-end comparison over loopback TCP is tools/perf/e2e.sh.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$ROOT/build/perf
OUT=$BUILD/results
QUICK=0
[[ "${1:-}" == "--quick" ]] && QUICK=1

need_packages=()
command -v valgrind > /dev/null || need_packages+=(valgrind)
[[ -f /usr/include/benchmark/benchmark.h ]] || need_packages+=(libbenchmark-dev)
[[ -f /usr/include/modbus/modbus.h ]] || need_packages+=(libmodbus-dev)
command -v python3 > /dev/null || need_packages+=(python3)
if ((${#need_packages[@]})); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "bench.sh: missing packages: ${need_packages[*]} (install them as root)" >&2
    exit 1
  fi
  echo "bench.sh: installing ${need_packages[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need_packages[@]}" > /dev/null
fi

# Release as the bench preset builds it, with symbols for callgrind. Warnings
# are not errors here: GCC 12 reports a false -Warray-bounds in the
# simulator's code at -O2/-O3, which the optimised end-to-end build needs.
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS=-g -DVEMO_BUILD_TESTS=OFF \
  -DVEMO_WERROR=OFF > /dev/null
cmake --build "$BUILD" --target vemo_bench collect_loop footprint scaling -j2 > "$BUILD/build.log" 2>&1 ||
  { tail -30 "$BUILD/build.log"; exit 1; }
mkdir -p "$OUT"
PERF=$BUILD/bench/perf

echo "== machine"
{
  echo "nproc: $(nproc)"
  grep -m1 'model name' /proc/cpuinfo
  echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
  g++ --version | head -1
} | tee "$OUT/machine.txt"

echo
echo "== micro benchmarks (wall and CPU time; the machine may be shared)"
MIN_TIME=0.5
((QUICK)) && MIN_TIME=0.1
"$BUILD/bench/vemo_bench" --benchmark_min_time=$MIN_TIME --benchmark_repetitions=3 \
  --benchmark_report_aggregates_only=true --benchmark_out="$OUT/bench.json" --benchmark_out_format=json |
  tee "$OUT/bench.txt" | grep -E '_median|Benchmark|^-'

echo
echo "== instructions per collection call (callgrind, x86_64 Release)"
count_config() {
  local name=$1 calls=$2
  local file=$OUT/callgrind.$name.out
  valgrind --tool=callgrind --collect-atstart=no --callgrind-out-file="$file" \
    "$PERF/collect_loop" "$calls" "$name" > "$OUT/collect_loop.$name.txt" 2> /dev/null
  callgrind_annotate --inclusive=yes --threshold=100 "$file" > "$OUT/callgrind.$name.txt" 2> /dev/null
  python3 - "$OUT/callgrind.$name.txt" "$OUT/collect_loop.$name.txt" "$calls" "$name" << 'EOF'
import re, sys
annotate, loop, calls, name = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
info = open(loop).read()
channels = int(re.search(r'(\d+) channels', info).group(1))
ranks = int(re.search(r'(\d+) ranks', info).group(1))
allocs = re.search(r'heap allocations per call: ([\d.]+)', info).group(1)
exact = 'all exact' in info
def inclusive(pattern):
    best = 0
    for line in open(annotate):
        m = re.match(r'\s*([\d,]+)\s.*?' + pattern, line)
        if m:
            best = max(best, int(m.group(1).replace(',', '')))
    return best
total = inclusive(r'CDevCtrl::CollectDevData\(')
transaction = inclusive(r'CDevBas::mfWriteAndRead\(')
decode = inclusive(r'CDevBas::mfExplainCommByteData\(')
store = inclusive(r'CDevCtrl::StoreEntries\(')  # what _SetValueToRtdb and the call's own store run
database = inclusive(r'perf::CArrayRtdb::GetValueTypeByChannel\(') + inclusive(r'perf::CArrayRtdb::SetValueByChannel\(int, int\)') \
    + inclusive(r'perf::CArrayRtdb::SetValueByChannel\(int, double\)') + inclusive(r'perf::CArrayRtdb::SetValueByChannel\(int, std')
per_call = lambda x: x / calls
decoded = channels / ranks  # channels per call, averaged over the ranks
print(f"{name}: {channels} channels, {ranks} rank(s), {calls} calls, values {'exact' if exact else 'WRONG'}")
print(f"  per call: total {per_call(total):,.0f}  transaction {per_call(transaction):,.0f}  "
      f"decode {per_call(decode):,.0f}  store {per_call(store):,.0f} (database's own code {per_call(database):,.0f})  "
      f"other {per_call(total - transaction - decode - store):,.0f}")
print(f"  per decoded channel ({decoded:.1f} a call): total {per_call(total) / decoded:.0f}  "
      f"decode+store {per_call(decode + store) / decoded:.0f}  heap allocations per call {allocs}")
EOF
}
count_config wub115 1000 | tee "$OUT/instructions.txt"
count_config dub57 1000 | tee -a "$OUT/instructions.txt"
count_config mixed1000 520 | tee -a "$OUT/instructions.txt"

echo
echo "== heap kept per channel (x86_64)"
"$PERF/footprint" | tee "$OUT/footprint-x86_64.txt"

echo
echo "== planning and in-process cycle time against the channel count"
"$PERF/scaling" | tee "$OUT/scaling-inprocess.txt"
"$PERF/scaling" --json > "$OUT/scaling-inprocess.json"
echo
echo "results: $OUT"
