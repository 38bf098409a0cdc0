#!/usr/bin/env bash
# Installs what is missing, builds the trees and runs every test. Prints how long each stage took.
# The Wine tests and the end-to-end scenarios (ctest label e2e) run once: on the 32-bit build in
# win32-wine where this machine runs 32-bit programs, else on the 64-bit build in win64, which is
# then the only place it is built. QV_ALL_TREES=1 builds and tests win64 as well (without its e2e
# label where the 32-bit tree runs the scenarios).
#   [QV_ALL_TREES=1] ./run_tests.sh
set -euo pipefail
cd "$(dirname "$0")"

declare -a stage_names=() stage_seconds=()
binary_sizes=""
plug_in_figure=""
summary() {
  if [ -n "$binary_sizes" ]; then echo; echo "== Shipped binaries (build/win32/bin)"; echo "$binary_sizes"; fi
  if [ -n "$plug_in_figure" ]; then echo; echo "== Plug-in (a figure, not a check)"; echo "  $plug_in_figure"; fi
  echo
  echo "== Stage times"
  for i in "${!stage_names[@]}"; do
    if [ -z "${stage_seconds[$i]}" ]; then printf '  %s\n' "${stage_names[$i]}"
    else printf '  %-66s %6ss\n' "${stage_names[$i]}" "${stage_seconds[$i]}"; fi
  done
}
trap summary EXIT

stage() {
  local name=$1 start
  shift
  echo
  echo "== $name"
  start=$(date +%s.%N)
  "$@"
  stage_names+=("$name")
  stage_seconds+=("$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')")
}

# not_run <what and why>: a line of the stage summary for a stage this run leaves out.
not_run() {
  echo
  echo "== $1"
  stage_names+=("$1")
  stage_seconds+=("")
}

build() { cmake --preset "$1" >/dev/null && cmake --build --preset "$1"; }
# run <preset> [ctest options...]: the tree's tests, on every core.
run() { ctest --preset "$1" -j "$(nproc)" "${@:2}"; }

stage "setup" scripts/setup.sh
# Whether this machine runs 32-bit programs: where they do, the 32-bit tree runs the Wine tests and
# the end-to-end scenarios, and the 64-bit tree is left out.
runs_32bit=no
probe_32bit() {
  local line status=0
  line=$(scripts/probe_32bit.sh) || status=$?
  if [ "$status" = 0 ]; then runs_32bit=yes; fi
  # The Wine trees' configuration takes the answer from here rather than probing once more.
  export QV_32BIT_PROBE_LINE="$line" QV_32BIT_PROBE_STATUS="$status"
  echo "$line"
}
stage "probe 32-bit programs" probe_32bit
# The three shipped binaries' sizes and their sum (the budget itself is the win32 tree's test).
sizes() {
  binary_sizes=$(python3 tests/binary_size.py build/win32/bin/PX_Bootstrap.exe build/win32/bin/QVUTchkdl.dll \
    build/win32/bin/QVEUSBAutorun.dll)
  echo "$binary_sizes"
}
stage "build native" build native
stage "test native" run native
stage "build win32" build win32
stage "sizes win32" sizes
stage "test win32" run win32
# The 64-bit tree: where this machine runs 32-bit programs, win32-wine runs every Wine test and
# scenario and win64 adds nothing but time, so it is built only on request.
if [ "$runs_32bit" = no ]; then
  stage "build win64" build win64
  echo "win64: all tests, with the end-to-end scenarios (32-bit programs cannot run here)"
  stage "test win64" run win64
elif [ "${QV_ALL_TREES:-0}" = 1 ]; then
  stage "build win64" build win64
  echo "win64: all tests but the end-to-end scenarios (label e2e), which run on the 32-bit build in win32-wine"
  stage "test win64 (without e2e)" run win64 -LE e2e
else
  not_run "win64 not built: 32-bit programs run here, so win32-wine runs every test and scenario (QV_ALL_TREES=1 builds it too)"
fi
# The 32-bit test tree: every Wine test and scenario, where this machine runs 32-bit programs.
# Elsewhere it is still built (the test variants compile), and ctest reports each of its Wine
# tests as skipped with the probe's reason.
stage "build win32-wine" build win32-wine
if [ "$runs_32bit" = yes ]; then
  stage "test win32-wine" run win32-wine
else
  stage "test win32-wine (skipped: 32-bit programs cannot run here)" run win32-wine
fi
# The answer reader beside pugixml on the same generated answers of 1 MB and 10 MB, and their ratio.
reader_benchmark() {
  build/native/tests/native/markup_reader_benchmark --benchmark_min_time=0.5 \
    --benchmark_out=build/native/reader_benchmark.json --benchmark_out_format=json
  python3 tests/native/updateclient/benchmark_ratio.py build/native/reader_benchmark.json
}
stage "benchmark" reader_benchmark
# A current-package plug-in to the PC tool's start beside two bare Wine starts, on the tree that runs
# the end-to-end scenarios: a figure, never a failure (see tools/e2e/plug_in_timing.py).
plug_in_timing() {
  local tree=build/win64 line
  if [ "$runs_32bit" = yes ]; then tree=build/win32-wine; fi
  if line=$(set -a; . "$tree/e2e.env"; set +a
            timeout 300 python3 -B tools/e2e/plug_in_timing.py --work "$tree/plug-in-timing" --rounds 3 | tail -1); then
    plug_in_figure="$line ($tree)"
  else
    plug_in_figure="not measured (the timing run failed; see $tree/plug-in-timing)"
  fi
  echo "$plug_in_figure"
}
stage "plug-in timing" plug_in_timing
echo
echo "All tests passed."
