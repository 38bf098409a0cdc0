#!/usr/bin/env bash
# Plays "a phone is plugged in" under Wine with the simulated phone, on a PC that is online against
# the fake update server, and prints what happened.
# Installs what is missing and builds what it needs first. Uses $DISPLAY when set, else Xvfb.
#   ./run_demo.sh [--model DIR] [--scenario NAME]
#   ./run_demo.sh --scenario list | --help
# Options go to tools/e2e/demo.py as given.
set -euo pipefail
cd "$(dirname "$0")"
usage() {
  cat <<'TEXT'
Usage: ./run_demo.sh [--model DIR] [--scenario NAME]

Builds the win32-wine tree (the win64 tree where 32-bit programs cannot run; installing what is
missing first), then plays a phone being plugged in under Wine against the fake update server, and
prints what happened, where the trace log and the screenshots were saved (build/<tree>/demo/).

  --model DIR      play a maker's model folder (its config.ini, License.txt, driver, model name,
                   PC tool name and signature setting) instead of the sample model
  --scenario NAME  play a misbehaving update server; --scenario list shows them
  --help           this text

Exit status: 0 the run went as it should (without --scenario: the PC tool was started; with one:
what the scenario should cause), 1 it did not or the image builder refused the model folder,
2 a port of the fake server is taken by another program.
TEXT
}
for arg in "$@"; do
  case "$arg" in
    -h|--help)
      usage
      echo
      exec python3 -B tools/e2e/demo.py --scenario list ;;
  esac
done
if [ "$#" -eq 2 ] && [ "$1" = --scenario ] && [ "$2" = list ]; then
  exec python3 -B tools/e2e/demo.py --scenario list
fi
scripts/setup.sh
# The binaries that ship are 32-bit: where this machine runs 32-bit programs, the 32-bit build of the
# test variants plays, else the 64-bit one.
if scripts/probe_32bit.sh; then tree=win32-wine; else tree=win64; fi
cmake --preset "$tree" >/dev/null
cmake --build --preset "$tree" --target PX_Bootstrap QVUTchkdl QVEUSBAutorun_sim stub_pc_tool driver_setup \
  driver_setup_fail driver_msi_packages ui_driver stub_agents agent_cabinets agent_caller test_signatures
build=$PWD/build/$tree
# The tree's end-to-end environment (the programs, stubs and packages it built, its loopback
# ports), as CMake wrote it for the end-to-end tests.
set -a
. "$build/e2e.env"
set +a
exec python3 -B tools/e2e/demo.py --work "$build/demo" "$@"
