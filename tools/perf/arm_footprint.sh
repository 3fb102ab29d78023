#!/usr/bin/env bash
# Footprint on the panels: the stripped size of both ARM libraries and the
# heap the ARM builds keep per channel.
#
#   tools/perf/arm_footprint.sh
#
# Builds the library of each ARM configuration (as the armv7/armv5 presets
# do, MinSizeRel) in build/perf-<arch>, strips a copy, and cross-compiles
# the footprint program (tools/perf/footprint.cpp with the driver's sources
# and the same flags), which runs under qemu-arm. Needs what
# scripts/setup.sh installs (cross compilers, qemu-user).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
OUT=$ROOT/build/perf/results
mkdir -p "$OUT"
: > "$OUT/arm-footprint.txt"

for arch in armv7 armv5; do
  toolchain=$ROOT/cmake/toolchain-$arch.cmake
  triplet=$(sed -n 's/^set(VEMO_ARM_TRIPLET \(.*\))$/\1/p' "$toolchain")
  flags=$(sed -n 's/^set(VEMO_ARM_FLAGS "\(.*\)")$/\1/p' "$toolchain")
  cpu=$(sed -n 's/^set(VEMO_QEMU_CPU \(.*\))$/\1/p' "$toolchain")
  build=$ROOT/build/perf-$arch

  cmake -S "$ROOT" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DVEMO_TARGET_SUFFIX="$arch" -DVEMO_BUILD_TESTS=OFF > /dev/null
  cmake --build "$build" --target dravik_vemo_pna -j2 > "$build/build.log" 2>&1 ||
    { tail -30 "$build/build.log"; exit 1; }
  lib=$build/libdravik_vemo_pna_$arch.so
  "$triplet-strip" -o "$build/stripped.so" "$lib"
  size=$(stat -c %s "$build/stripped.so")
  text=$("$triplet-size" "$build/stripped.so" | awk 'NR == 2 {print $1 " text, " $2 " data, " $3 " bss"}')

  # The footprint program for the target, with the library's own flags.
  sources=("$ROOT"/host/*.cpp "$ROOT"/config/*.cpp "$ROOT"/service/*.cpp "$ROOT"/protocol/*.cpp "$ROOT"/driver/*.cpp
    "$ROOT"/tools/perf/footprint.cpp "$ROOT"/tools/perf/perf_device.cpp "$ROOT"/tools/perf/alloc_count.cpp
    "$ROOT"/tests/support/blob_builder.cpp)
  # shellcheck disable=SC2086
  "$triplet-g++" -std=c++17 -Os $flags -I"$ROOT" -I"$ROOT/tools/perf" -I"$ROOT/tests/support" \
    "${sources[@]}" -o "$build/footprint" -latomic
  gconv=$ROOT/.cache/gconv/$triplet
  [[ -f $gconv/gconv-modules ]] || gconv=/usr/lib/$triplet/gconv
  {
    echo "== $arch ($triplet, $flags)"
    echo "stripped library: $size bytes ($((size / 1024)) KiB; $text)"
    qemu-arm -cpu "$cpu" -L "/usr/$triplet" -E LD_LIBRARY_PATH=/lib -E GCONV_PATH="$gconv" "$build/footprint"
    echo
  } | tee -a "$OUT/arm-footprint.txt"
done
echo "results: $OUT/arm-footprint.txt"
