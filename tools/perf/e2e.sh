#!/usr/bin/env bash
# End-to-end comparison over loopback TCP, side by side in one run, and the
# scaling plot.
#
#   tools/perf/e2e.sh [--quick]
#
# 1. A full collection cycle of the 1,000-channel mixed configuration through
#    the runtime stand-in's code (the built driver loaded with dlopen) against
#    `vemo sim`, next to the wire's floor (the same frames over a plain
#    socket), the same frames through the stand-in's own channel, and
#    libmodbus against its own server; client and servers pinned with taskset
#    on one core, then on two.
# 2. The same for 100 and 10,000 channels, and the in-process planning and
#    cycle times, plotted into docs/performance-scaling.png.
# Servers stop by themselves after a while and are ended by this script.
# Results go to build/perf/results/e2e-*.json and .txt.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$ROOT/build/perf
OUT=$BUILD/results
PLOT=$ROOT/docs/performance-scaling.png
SIM_PORT=${SIM_PORT:-15620}
MODBUS_PORT=${MODBUS_PORT:-15622}
CYCLES=50
ROUNDS=10
if [[ "${1:-}" == "--quick" ]]; then
  CYCLES=10
  ROUNDS=4
fi

need_packages=()
command -v gnuplot > /dev/null || need_packages+=(gnuplot-nox)
[[ -f /usr/include/modbus/modbus.h ]] || need_packages+=(libmodbus-dev)
command -v taskset > /dev/null || need_packages+=(util-linux)
command -v python3 > /dev/null || need_packages+=(python3)
if ((${#need_packages[@]})); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "e2e.sh: missing packages: ${need_packages[*]} (install them as root)" >&2
    exit 1
  fi
  echo "e2e.sh: installing ${need_packages[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need_packages[@]}" > /dev/null
fi

# The same build as scripts/bench.sh (see there why warnings are not errors).
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS=-g -DVEMO_BUILD_TESTS=OFF \
  -DVEMO_WERROR=OFF > /dev/null
cmake --build "$BUILD" --target vemo dravik_vemo_pna modbus_server e2e_compare scaling -j2 > "$BUILD/build-e2e.log" 2>&1 ||
  { tail -30 "$BUILD/build-e2e.log"; exit 1; }
mkdir -p "$OUT"
PERF=$BUILD/bench/perf
DRIVER=$BUILD/libdravik_vemo_pna.so

SERVER_PIDS=()
stop_servers() {
  for pid in "${SERVER_PIDS[@]}"; do kill "$pid" 2> /dev/null || true; done
  for pid in "${SERVER_PIDS[@]}"; do wait "$pid" 2> /dev/null || true; done
  SERVER_PIDS=()
}
trap stop_servers EXIT

wait_port() {
  for _ in $(seq 100); do
    if (exec 3<> "/dev/tcp/127.0.0.1/$1") 2> /dev/null; then return 0; fi
    sleep 0.1
  done
  echo "e2e.sh: nothing listens on port $1" >&2
  exit 1
}

# Both servers on one core; they stop by themselves after 15 minutes.
start_servers() {
  local cpu=$1
  taskset -c "$cpu" "$BUILD/tools/vemo" sim --port "$SIM_PORT" --seconds 900 > "$OUT/sim.log" 2>&1 &
  SERVER_PIDS+=($!)
  taskset -c "$cpu" "$PERF/modbus_server" --port "$MODBUS_PORT" --seconds 900 > "$OUT/modbus_server.log" 2>&1 &
  SERVER_PIDS+=($!)
  wait_port "$SIM_PORT"
  wait_port "$MODBUS_PORT"
}

compare() {
  local cpu=$1 channels=$2 cycles=$3 tag=$4 label=$5
  taskset -c "$cpu" "$PERF/e2e_compare" --driver "$DRIVER" --sim-port "$SIM_PORT" --modbus-port "$MODBUS_PORT" \
    --channels "$channels" --cycles "$cycles" --rounds "$ROUNDS" --label "$label" --json "$OUT/e2e-$tag.json" |
    tee "$OUT/e2e-$tag.txt"
}

{
  echo "nproc: $(nproc)"
  grep -m1 'model name' /proc/cpuinfo
  echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
} | tee "$OUT/machine-e2e.txt"

start_servers 0
echo
compare 0 1000 "$CYCLES" same-core "same core (servers and client on CPU 0)"
echo
compare 1 1000 "$CYCLES" two-cores "two cores (servers on CPU 0, client on CPU 1)"
echo
compare 1 100 $((CYCLES * 4)) scale-100 "scaling, two cores"
echo
compare 1 10000 $(((CYCLES + 9) / 10)) scale-10000 "scaling, two cores"
stop_servers
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)" | tee -a "$OUT/machine-e2e.txt"

echo
"$PERF/scaling" --json | tee "$OUT/scaling-inprocess.json"

python3 - "$OUT" > "$OUT/scaling.dat" << 'EOF'
import json, sys
out = sys.argv[1]
inproc = {}
for line in open(f"{out}/scaling-inprocess.json"):
    r = json.loads(line)
    inproc[r["channels"]] = r
files = {100: "scale-100", 1000: "two-cores", 10000: "scale-10000"}
print("# channels plan_ms cycle_inprocess_ms driver_ms floor_ms standin_ms libmodbus_ms ranks")
for n, tag in files.items():
    e = json.load(open(f"{out}/e2e-{tag}.json"))
    m = e["median_ms"]
    p = inproc[n]
    print(n, p["plan_us"] / 1000, p["cycle_us"] / 1000, m["driver"], m["floor"], m["standin_floor"], m["libmodbus"],
          e["requests"])
EOF
cat "$OUT/scaling.dat"

gnuplot << EOF
set terminal pngcairo size 900,600 noenhanced font ",11"
set output "$PLOT"
set title "Collection cycle and planning time against the channel count (mixed configuration)"
set logscale xy
set xlabel "channels"
set ylabel "milliseconds"
set xrange [70:14000]
set xtics (100, 1000, 10000)
set grid
set key top left
plot "$OUT/scaling.dat" using 1:4 with linespoints lw 2 title "cycle, driver over loopback", \
     "" using 1:5 with linespoints lw 2 title "cycle, wire floor (same frames)", \
     "" using 1:7 with linespoints lw 2 title "cycle, libmodbus (same counts)", \
     "" using 1:3 with linespoints lw 2 title "cycle, driver in-process (no wire)", \
     "" using 1:2 with linespoints lw 2 title "planning (mfMakeBlock)"
EOF
echo "plot: $PLOT"
