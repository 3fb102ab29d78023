#!/usr/bin/env bash
# End to end: the built driver, loaded by the runtime stand-in, polls and
# writes the simulator while the simulator records the traffic (--pcap);
# then the capture must decode with the dissector exactly as the reference
# decoder says, and show the traffic this script caused.
#
#   run_e2e_capture.sh VEMO WS_CAPTURE_TOOL WORKDIR
#
# Exit status: 0 passed, 1 failed, 77 skipped (tshark missing).
set -uo pipefail

VEMO=$1
TOOL=$2
WORK=$3
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
REPO=$(cd "$HERE/../.." && pwd)
LUA="$REPO/tools/wireshark/vemo_pna.lua"
TSHARK=${TSHARK:-tshark}

if ! command -v "$TSHARK" >/dev/null 2>&1; then
    echo "SKIPPED: tshark not found; install it with scripts/setup.sh (Debian package tshark)"
    exit 77
fi
rm -rf "$WORK" && mkdir -p "$WORK/home"
PCAP="$WORK/e2e.pcap"

"$VEMO" sim --port 0 --init "$REPO/samples/demo_init.toml" --pcap "$PCAP" --seconds 120 >"$WORK/sim.log" 2>&1 &
SIM=$!
trap 'kill -INT $SIM 2>/dev/null; wait $SIM 2>/dev/null' EXIT
PORT=""
for _ in $(seq 1 100); do
    PORT=$(sed -n 's/.*listening on [0-9.]*:\([0-9]*\).*/\1/p' "$WORK/sim.log" | head -n 1)
    [ -n "$PORT" ] && break
    sleep 0.1
done
[ -n "$PORT" ] || { echo "FAILED: the simulator did not start"; cat "$WORK/sim.log"; exit 1; }

FAILURES=0
run() {  # a vemo command against the simulator; its exit status is checked by the caller
    "$VEMO" "$@" --port "$PORT" >>"$WORK/vemo.log" 2>&1
}
expect_ok() {
    if ! run "$@"; then
        echo "FAILED: vemo $*"
        FAILURES=$((FAILURES + 1))
    fi
}
expect_ok poll --once                              # reads of bit and word areas
expect_ok write Y0 1                               # a single bit
expect_ok write D20 4660                           # a single register
expect_ok write D11.05 1                           # a bit of a register: read back, then write
expect_ok ioctl "WRITEP(Y,1,X,3,1,0,1)"            # packed bits
expect_ok ioctl "WRITEP(D,300,WUB,2,5,6)"          # several registers
run ioctl "READ(D,70000,WUB=A)" --var A=0           # beyond the controller's memory: an exception
kill -INT $SIM && wait $SIM
trap - EXIT

"$HERE/run_tshark_test.sh" --tool "$TOOL" --capture "$PCAP" --port "$PORT" --work "$WORK/check" || FAILURES=$((FAILURES + 1))

fields() {  # display filter, then fields
    local filter=$1
    shift
    HOME="$WORK/home" "$TSHARK" -X lua_script:"$LUA" -o "vemo_pna.port:$PORT" -r "$PCAP" -Y "$filter" -T fields "$@" 2>/dev/null
}
check() {  # what, expected count (at least), display filter
    local n
    n=$(fields "$3" -e frame.number | wc -l)
    if [ "$n" -lt "$2" ]; then
        echo "FAILED: $1: $n frames match '$3'"
        FAILURES=$((FAILURES + 1))
    else
        echo "ok: $1 ($n)"
    fi
}
check "bit-area reads" 1 'vemo_pna.function == 0x1e'
check "word-area reads" 1 'vemo_pna.function == 0x20'
check "bit writes" 2 'vemo_pna.function == 0x1f'
check "register writes" 3 'vemo_pna.function == 0x21'
check "the write of D20" 1 'vemo_pna.area == "D" && vemo_pna.address == 20 && vemo_pna.function == 0x21'
check "the exception" 1 'vemo_pna.exception_code'

[ "$FAILURES" -eq 0 ] && { echo "e2e capture: passed"; exit 0; }
echo "e2e capture: $FAILURES failure(s); see $WORK"
exit 1
