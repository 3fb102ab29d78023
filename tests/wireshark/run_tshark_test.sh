#!/usr/bin/env bash
# Checks tools/wireshark/vemo_pna.lua with tshark.
#
#   run_tshark_test.sh --tool WS_CAPTURE_TOOL [--work DIR]
#       Makes the test's captures (replies from the controller model, and
#       hand-made frames of a faulty peer) with the simulator's capture
#       writer, then checks that tshark reads them as clean TCP streams and
#       decodes every frame exactly as the reference decoder of
#       ws_capture_tool does, on the controller port and behind Modbus/TCP's
#       own port, plus named values of the traffic (registers, bits,
#       exceptions in the Expert Info, response times).
#
#   run_tshark_test.sh --tool WS_CAPTURE_TOOL --capture FILE [--port N] [--work DIR]
#       Checks a classic pcap of the protocol instead, e.g. one made by
#       `vemo sim --pcap FILE` (or dumpcap -P) while the driver polls the
#       simulator, faults included: every frame must decode as the reference
#       decoder says. N is the controller port (default 15020).
#
# DIR keeps the captures and tshark's output (default: a temporary folder).
#
# Exit status: 0 passed, 1 failed, 2 usage, 77 skipped (tshark missing).
set -uo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
REPO=$(cd "$HERE/../.." && pwd)
LUA="$REPO/tools/wireshark/vemo_pna.lua"
TOOL=""
WORK=""
CAPTURE=""
PORT=15020
TSHARK=${TSHARK:-tshark}

usage() {
    sed -n '2,21p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//' >&2
    exit 2
}

while [ $# -gt 0 ]; do
    case "$1" in
        --tool) TOOL=$2; shift 2 ;;
        --work) WORK=$2; shift 2 ;;
        --capture) CAPTURE=$2; shift 2 ;;
        --port) PORT=$2; shift 2 ;;
        *) usage ;;
    esac
done
[ -n "$TOOL" ] && [ -x "$TOOL" ] || { echo "run_tshark_test: --tool must name the built ws_capture_tool" >&2; usage; }

if ! command -v "$TSHARK" >/dev/null 2>&1; then
    echo "SKIPPED: tshark not found; install it with scripts/setup.sh (Debian package tshark)"
    exit 77
fi

if [ -z "$WORK" ]; then
    WORK=$(mktemp -d)
    trap 'rm -rf "$WORK"' EXIT
fi
mkdir -p "$WORK/home" && : >"$WORK/tshark.err"

FAILURES=0
CHECKS=0
fail() {
    echo "FAIL: $*"
    FAILURES=$((FAILURES + 1))
}
pass() { CHECKS=$((CHECKS + 1)); }

# tshark with the dissector, away from the user's own preferences and plugins.
ts() {
    HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/home/.config" \
        "$TSHARK" -X lua_script:"$LUA" -o "vemo_pna.port:$PORT" "$@" 2>>"$WORK/tshark.err"
}

# Fails unless the command's output equals the expected text.
expect_output() {  # description, expected, command...
    local what=$1 expected=$2 actual
    shift 2
    actual=$("$@")
    if [ "$actual" = "$expected" ]; then
        pass
    else
        fail "$what"
        printf '  expected: %s\n  actual:   %s\n' "$expected" "$actual"
    fi
}

mapfile -t FIELDS < <("$TOOL" fields)
FIELD_ARGS=()
for f in "${FIELDS[@]}"; do FIELD_ARGS+=(-e "$f"); done

# Every frame the dissector shows, against the reference decoder, in the
# second pass (-2) that a click in the GUI runs on what the first, in-order
# pass recorded. That first pass runs once with a protocol tree (as with a
# display filter) and once without one (as in the GUI without colouring
# rules), when no field of other protocols can be read.
compare_with_reference() {  # name, capture, reference options, first passes, tshark options...
    local name=$1 capture=$2 reference=$3 passes=$4 pass
    shift 4
    # shellcheck disable=SC2086
    "$TOOL" expect "$capture" --port "$PORT" $reference >"$WORK/$name.expected" || { fail "$name: reference decoder"; return; }
    if [ ! -s "$WORK/$name.expected" ]; then
        fail "$name: no frame of the protocol in $capture"
        return
    fi
    for pass in $passes; do
        if [ "$pass" = tree ]; then
            ts -2 -r "$capture" "$@" -Y vemo_pna -T fields -E separator=/t -E occurrence=a -E aggregator=, \
                "${FIELD_ARGS[@]}" >"$WORK/$name.$pass.actual" || { fail "$name: tshark failed"; continue; }
        else
            # Without a filter every frame is printed; the protocol's label,
            # in the last column, marks its frames.
            ts -2 -r "$capture" "$@" -T fields -E separator=/t -E occurrence=a -E aggregator=, \
                "${FIELD_ARGS[@]}" -e vemo_pna |
                awk -F '\t' '$NF != "" { out = $1; for (i = 2; i < NF; i++) out = out "\t" $i; print out }' \
                >"$WORK/$name.$pass.actual" || { fail "$name: tshark failed"; continue; }
        fi
        if diff -u "$WORK/$name.expected" "$WORK/$name.$pass.actual" >"$WORK/$name.$pass.diff"; then
            pass
            echo "ok: $name ($pass): $(wc -l <"$WORK/$name.expected") frames decode as the reference decoder says"
        else
            fail "$name ($pass): tshark differs from the reference decoder (- reference, + tshark; columns: ${FIELDS[*]})"
            head -40 "$WORK/$name.$pass.diff"
        fi
    done
}

no_lua_errors() {  # name, capture, extra filter
    local bad
    bad=$(ts -r "$1" -Y "_ws.lua.error $2" -T fields -e frame.number | tr '\n' ' ')
    if [ -z "$bad" ]; then pass; else fail "$1: Lua errors or dissector exceptions in frames $bad"; fi
}

if [ -n "$CAPTURE" ]; then
    compare_with_reference capture "$CAPTURE" "" "tree no-tree"
    no_lua_errors "$CAPTURE" ""
else
    MODEL="$WORK/model.pcap"
    HOSTILE="$WORK/hostile.pcap"
    "$TOOL" make "$MODEL" || { echo "FAIL: cannot write $MODEL"; exit 1; }
    "$TOOL" make-hostile "$HOSTILE" || { echo "FAIL: cannot write $HOSTILE"; exit 1; }

    # The writer's TCP must look real: valid checksums, no gaps or retransmissions.
    tcp_trouble() {
        ts -r "$1" -o tcp.check_checksum:TRUE -o ip.check_checksum:TRUE \
            -Y 'tcp.checksum.status != 1 || ip.checksum.status != 1 || tcp.analysis.flags' -T fields -e frame.number
    }
    streams() { ts -r "$1" -T fields -e tcp.stream | sort -u | wc -l | tr -d ' '; }
    for capture in "$MODEL" "$HOSTILE"; do
        expect_output "$capture: checksums and TCP analysis" "" tcp_trouble "$capture"
    done
    expect_output "model: two TCP streams" "2" streams "$MODEL"

    compare_with_reference model "$MODEL" "" "tree no-tree"
    compare_with_reference hostile "$HOSTILE" "" "tree no-tree"
    # Behind Modbus/TCP's own port: "modbus.data" for requests and replies,
    # the post-dissector for exception replies. They read Modbus/TCP's
    # fields, so the first pass needs the tree.
    compare_with_reference modbus-port "$MODEL" "--modbus-framing" tree -o mbtcp.tcp.port:"$PORT"
    # The same with the controller port set elsewhere: the lower port of the
    # conversation is then taken for the controller's.
    compare_with_reference modbus-port-elsewhere "$MODEL" "--modbus-framing --port $((PORT + 1))" tree \
        -o mbtcp.tcp.port:"$PORT" -o vemo_pna.port:"$((PORT + 1))"

    no_lua_errors "$MODEL" "|| _ws.malformed.expert || _ws.malformed.dissector_bug"
    no_lua_errors "$HOSTILE" ""

    # Named values of the model's traffic, read in one pass as tshark does by default.
    values() {  # filter, fields...
        local filter=$1
        shift
        local args=()
        for f in "$@"; do args+=(-e "$f"); done
        ts -r "$MODEL" -Y "$filter" -T fields -E separator=';' -E occurrence=a -E aggregator=, "${args[@]}"
    }
    tree_lines() { ts -r "$MODEL" -V -Y "$1" | grep -c -x -- "$2"; }
    # Sum of the frequencies of the error-level Expert Info entries that match.
    expert_errors() { ts -r "$MODEL" -q -z expert,error | awk -v m="$1" 'index($0, m) { n += $1 } END { print n + 0 }'; }

    # Register write and read-back, each register with its address.
    expect_output "register write request" "D;100;4;8;D100,D101,D102,D103;0x1234,0xabcd,0x0000,0xffff" \
        values 'vemo_pna.function == 0x21 && vemo_pna.address == 100 && vemo_pna.byte_count' \
        vemo_pna.area vemo_pna.address vemo_pna.count vemo_pna.byte_count vemo_pna.register vemo_pna.register.value
    readback='vemo_pna.request_frame && vemo_pna.function == 0x20 && vemo_pna.address == 100 && vemo_pna.count == 4'
    expect_output "register read reply" "D100,D101,D102,D103;0x1234,0xabcd,0x0000,0xffff;0.002500000" \
        values "$readback" vemo_pna.register vemo_pna.register.value vemo_pna.response_time
    expect_output "register read reply, request frame" \
        "$(values 'vemo_pna.function == 0x20 && vemo_pna.address == 100 && vemo_pna.count == 4 && !vemo_pna.request_frame' frame.number)" \
        values "$readback" vemo_pna.request_frame
    expect_output "register read reply, tree text" "1" tree_lines "$readback" "    D100 = 0x1234 (4660)"
    # An area whose code is out of sequence (HSD = 0x8C).
    expect_output "HSD read reply" "HSD6,HSD7,HSD8;0x0000,0x8001,0x0000" \
        values 'vemo_pna.request_frame && vemo_pna.area == "HSD" && vemo_pna.count == 3' \
        vemo_pna.register vemo_pna.register.value
    # Bits: one bit, ten packed bits, and reading them back.
    expect_output "single bit write" "M;0x03;5;1;M5;1" \
        values 'vemo_pna.function == 0x1f && vemo_pna.byte_count && vemo_pna.area == "M"' \
        vemo_pna.area vemo_pna.area_code vemo_pna.address vemo_pna.count vemo_pna.bit vemo_pna.bit.value
    expect_output "packed bit write" "10;2;Y0,Y1,Y2,Y3,Y4,Y5,Y6,Y7,Y8,Y9;1,0,1,1,0,0,0,0,0,1" \
        values 'vemo_pna.function == 0x1f && vemo_pna.byte_count && vemo_pna.area == "Y"' \
        vemo_pna.count vemo_pna.byte_count vemo_pna.bit vemo_pna.bit.value
    expect_output "bit read replies" "Y;1,0,1,1,0,0,0,0,0,1
M;0,0,0,0,0,1,0,0
HSC;0,0,0" \
        values 'vemo_pna.function == 0x1e && vemo_pna.request_frame && !(vemo_pna.area == "SM")' \
        vemo_pna.area vemo_pna.bit.value
    # Exceptions: in the fields, and as errors in the Expert Info.
    expect_output "exception replies" "0xa0;D;65534;2
0xa1;D;0;3
0x9e;D;0;2" \
        values 'vemo_pna.exception_code' vemo_pna.function vemo_pna.area vemo_pna.address vemo_pna.exception_code
    expect_output "exceptions flagged as errors" "3" expert_errors "Exception reply"
    # The same transaction number outstanding on both connections: each
    # reply names the request of its own connection.
    for port in 40001 40002; do
        expect_output "transaction 20 on port $port" \
            "$(values "tcp.srcport == $port && mbtcp.trans_id == 20" frame.number)" \
            values "tcp.dstport == $port && mbtcp.trans_id == 20 && !(mbtcp.trans_id == 21)" vemo_pna.request_frame
    done
    # A stale reply before the current one in one segment: both decoded.
    expect_output "stale and current reply in one frame" \
        "$(values 'tcp.srcport == 40001 && mbtcp.trans_id == 20' frame.number),$(values 'tcp.srcport == 40001 && mbtcp.trans_id == 21' frame.number);D100" \
        values 'tcp.dstport == 40001 && mbtcp.trans_id == 21' vemo_pna.request_frame vemo_pna.register
    # A retried request: the reply answers the retry.
    expect_output "retried request" \
        "$(values 'tcp.srcport == 40002 && mbtcp.trans_id == 22' frame.number | tail -1)" \
        values 'tcp.dstport == 40002 && mbtcp.trans_id == 22' vemo_pna.request_frame
fi

if [ -s "$WORK/tshark.err" ] && grep -v 'Running as user' "$WORK/tshark.err" | grep -q .; then
    echo "tshark said:"
    grep -v 'Running as user' "$WORK/tshark.err" | sort | uniq -c | head -20
fi
if [ "$FAILURES" -gt 0 ]; then
    echo "$FAILURES of $((CHECKS + FAILURES)) checks failed (files in $WORK)"
    exit 1
fi
echo "all $CHECKS checks passed"
