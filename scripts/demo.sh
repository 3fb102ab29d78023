#!/usr/bin/env bash
# The main job: installs what is missing, builds the driver library and the
# vemo tool (host preset), then runs the demo: the simulator and the driver
# in one process, a live table of channel values, then a summary.
#   scripts/demo.sh                 20 seconds of demo
#   scripts/demo.sh --seconds 60    any other demo options
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
export CMAKE_BUILD_PARALLEL_LEVEL="${JOBS:-2}"
scripts/setup.sh
cmake --preset host >/dev/null
cmake --build --preset host --target vemo dravik_vemo_pna
[ "$#" -eq 0 ] && set -- --seconds 20
exec build/host/tools/vemo demo "$@"
