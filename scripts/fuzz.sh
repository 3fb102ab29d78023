#!/usr/bin/env bash
# Fuzzing of the driver's untrusted inputs (fuzz/, libFuzzer with ASan and
# UBSan): builds the targets with clang, replays every committed corpus
# (fuzz/corpus/<target>/) as a regression run, then fuzzes each target.
#   scripts/fuzz.sh                      all targets, 60 s each
#   scripts/fuzz.sh fuzz_reply           just these
#   FUZZ_SECONDS=600 scripts/fuzz.sh     longer runs; 0 = replay only
# New inputs go to build/fuzz/corpus/<target>/ (not committed); crashes,
# time-outs and oversized allocations to build/fuzz/findings/<target>/, and
# the script fails. Replay a finding: build/fuzz/<target> <file>
# (FUZZ_TRACE=1 lists every operation's result).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

TARGETS=("$@")
[ "${#TARGETS[@]}" -eq 0 ] && TARGETS=(fuzz_blob fuzz_reply fuzz_ioctl fuzz_archive)
FUZZ_SECONDS=${FUZZ_SECONDS:-60}
BUILD=build/fuzz
# One input may take this long (s) before it counts as a hang; no single
# allocation may exceed the malloc limit (MB).
TIMEOUT=10
MALLOC_LIMIT_MB=32
RSS_LIMIT_MB=2048

say() { printf 'fuzz: %s\n' "$*"; }

find_clang() {
    local c
    for c in clang++-14 clang++; do
        command -v "$c" >/dev/null 2>&1 && { echo "$c"; return 0; }
    done
    return 1
}

can_build_fuzzer() {  # $1 = compiler: links a trivial libFuzzer target
    local tmp rc
    tmp=$(mktemp -d)
    printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' >"$tmp/t.cpp"
    "$1" -fsanitize=fuzzer,address,undefined "$tmp/t.cpp" -o "$tmp/t" >/dev/null 2>&1 && rc=0 || rc=1
    rm -rf "$tmp"
    return "$rc"
}

install_clang() {
    if [ "$(id -u)" -ne 0 ]; then
        say "clang with libFuzzer missing: run as root or install clang libclang-rt-14-dev" >&2
        exit 1
    fi
    say "installing clang libclang-rt-14-dev"
    DEBIAN_FRONTEND=noninteractive apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends clang libclang-rt-14-dev cmake make >/dev/null
}

CXX=$(find_clang || true)
if [ -z "$CXX" ] || ! can_build_fuzzer "$CXX"; then
    install_clang
    CXX=$(find_clang)
fi

say "building with $CXX"
mkdir -p "$BUILD"
if ! { cmake -S fuzz -B "$BUILD" -DCMAKE_CXX_COMPILER="$CXX" && cmake --build "$BUILD" -j"${JOBS:-2}"; } \
    >"$BUILD/build.log" 2>&1; then
    tail -n 40 "$BUILD/build.log"
    say "build failed" >&2
    exit 1
fi

COMMON=(-timeout="$TIMEOUT" -malloc_limit_mb="$MALLOC_LIMIT_MB" -rss_limit_mb="$RSS_LIMIT_MB")
SUMMARY=()
status=0
for target in "${TARGETS[@]}"; do
    bin="$BUILD/$target"
    seeds="fuzz/corpus/$target"
    work="$BUILD/corpus/$target"
    findings="$BUILD/findings/$target"
    mkdir -p "$work" "$findings"
    dict=()
    [ -f "fuzz/$target.dict" ] && dict=(-dict="fuzz/$target.dict")

    say "$target: replaying $(ls "$seeds" | wc -l) committed inputs"
    if ! "$bin" "${COMMON[@]}" -runs=0 -artifact_prefix="$findings/" "$seeds" >"$findings/replay.log" 2>&1; then
        tail -n 40 "$findings/replay.log"
        SUMMARY+=("$(printf '%-13s replay FAILED (see %s)' "$target" "$findings/replay.log")")
        status=1
        continue
    fi
    [ "$FUZZ_SECONDS" -gt 0 ] || { SUMMARY+=("$(printf '%-13s replay ok' "$target")"); continue; }

    say "$target: fuzzing for $FUZZ_SECONDS s"
    log="$findings/fuzz.log"
    if "$bin" "${COMMON[@]}" "${dict[@]}" -max_total_time="$FUZZ_SECONDS" -print_final_stats=1 \
        -artifact_prefix="$findings/" "$work" "$seeds" >"$log" 2>&1; then
        result=ok
    else
        tail -n 60 "$log"
        result=FAILED
        status=1
    fi
    execs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
    cov=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -n 1 || echo "cov: ? ft: ?")
    SUMMARY+=("$(printf '%-13s %-6s execs %-9s %s' "$target" "$result" "$execs" "$cov")")
done

printf '\n==== fuzz summary (%s s per target)\n' "$FUZZ_SECONDS"
printf '%s\n' "${SUMMARY[@]}"
[ "$status" -eq 0 ] || say "findings under $BUILD/findings/"
exit "$status"
