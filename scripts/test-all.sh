#!/usr/bin/env bash
# The project's test command. Installs what is missing (scripts/setup.sh),
# then configures, builds and tests the presets host, asan, armv7 and armv5,
# runs valgrind memcheck over the integration tests (scripts/memcheck.sh)
# and replays and briefly runs every fuzz target (scripts/fuzz.sh), or only
# the steps named as arguments, stopping at the first failure.
#   scripts/test-all.sh            everything
#   scripts/test-all.sh host asan  just these
# FUZZ_SECONDS (default 60) sets the fuzzing time per target.
# JOBS (default 2) sets build and test parallelism.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

PRESETS=("$@")
[ "${#PRESETS[@]}" -eq 0 ] && PRESETS=(host asan armv7 armv5 memcheck fuzz)
export CMAKE_BUILD_PARALLEL_LEVEL="${JOBS:-2}"
export CTEST_PARALLEL_LEVEL="${JOBS:-2}"

RESULTS=()
summary() {
    printf '\n==== summary\n'
    printf '%s\n' "${RESULTS[@]}"
}

step_start=$SECONDS
printf '==== setup\n'
scripts/setup.sh
RESULTS+=("$(printf '%-6s %-7s %5ds' setup ok $((SECONDS - step_start)))")

for preset in "${PRESETS[@]}"; do
    printf '\n==== %s\n' "$preset"
    step_start=$SECONDS
    case "$preset" in
        memcheck) step=(scripts/memcheck.sh) ;;
        fuzz) step=(env FUZZ_SECONDS="${FUZZ_SECONDS:-60}" scripts/fuzz.sh) ;;
        *) step=(cmake --workflow --preset "$preset") ;;
    esac
    if "${step[@]}"; then
        RESULTS+=("$(printf '%-6s %-7s %5ds' "$preset" passed $((SECONDS - step_start)))")
    else
        RESULTS+=("$(printf '%-6s %-7s %5ds' "$preset" FAILED $((SECONDS - step_start)))")
        summary
        printf '\nFAILED: preset %s (output above)\n' "$preset"
        exit 1
    fi
done

summary
for arch in armv7 armv5; do
    lib="build/$arch/libdravik_vemo_pna_$arch.so"
    [ -f "$lib" ] && printf 'deliverable: %s\n' "$lib"
done
printf '\nAll presets passed: %s\n' "${PRESETS[*]}"
