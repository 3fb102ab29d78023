#!/usr/bin/env bash
# Valgrind memcheck over the integration-level test binaries of the host
# preset (driver_tests, timing_tests, stress_tests): any memory error, and
# any definite or indirect leak, fails the run.
#   scripts/memcheck.sh                     the three binaries
#   scripts/memcheck.sh driver_tests        just these
# Installs valgrind when it is missing (as root). Builds only the binaries
# it checks, in build/host (configured with the host preset if needed;
# MEMCHECK_BUILD names another Debug build folder instead).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

BINARIES=("$@")
[ "${#BINARIES[@]}" -eq 0 ] && BINARIES=(driver_tests timing_tests stress_tests)
BUILD=${MEMCHECK_BUILD:-build/host}
LOGS=$BUILD/memcheck

say() { printf 'memcheck: %s\n' "$*"; }

if ! command -v valgrind >/dev/null 2>&1; then
    if [ "$(id -u)" -ne 0 ]; then
        say "valgrind missing: run as root or install it" >&2
        exit 1
    fi
    say "installing valgrind"
    DEBIAN_FRONTEND=noninteractive apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends valgrind >/dev/null
fi

if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    [ "$BUILD" = build/host ] || { say "$BUILD is not configured" >&2; exit 1; }
    cmake --preset host >/dev/null
fi
mkdir -p "$LOGS"
if ! cmake --build "$BUILD" -j"${JOBS:-2}" --target "${BINARIES[@]}" >"$LOGS/build.log" 2>&1; then
    tail -n 40 "$LOGS/build.log"
    say "build failed" >&2
    exit 1
fi

status=0
for bin in "${BINARIES[@]}"; do
    log="$LOGS/$bin.log"
    start=$SECONDS
    # The stress suite's rounds are many small devices: a tenth of them is
    # plenty under valgrind's slowdown.
    if VEMO_STRESS_ROUNDS="${VEMO_STRESS_ROUNDS:-200}" valgrind --error-exitcode=1 --leak-check=full \
        --errors-for-leak-kinds=definite,indirect --log-file="$log" "$BUILD/tests/$bin" >"$LOGS/$bin.out" 2>&1; then
        say "$bin: clean ($(grep -o 'ERROR SUMMARY: [0-9]* errors' "$log"), $((SECONDS - start)) s)"
    else
        tail -n 40 "$LOGS/$bin.out"
        grep -A 30 -m 3 'Invalid\|definitely lost\|indirectly lost\|uninitialised' "$log" || tail -n 40 "$log"
        say "$bin: FAILED (full report in $log)"
        status=1
    fi
done
exit "$status"
