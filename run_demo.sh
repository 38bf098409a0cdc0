#!/usr/bin/env bash
# Plays "a phone is plugged in" under Wine with the simulated phone, on a PC that is online against
# the fake update server, and prints what happened.
# Installs what is missing and builds what it needs first. Uses $DISPLAY when set, else Xvfb.
#   ./run_demo.sh
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target PX_Bootstrap QVUTchkdl QVEUSBAutorun_sim stub_pc_tool driver_setup \
  driver_setup_fail driver_msi_packages ui_driver stub_agents agent_cabinets agent_caller test_signatures
build=$PWD/build/win64
# The tree's end-to-end environment (the programs, stubs and packages it built, its loopback
# ports), as CMake wrote it for the end-to-end tests.
set -a
. "$build/e2e.env"
set +a
exec python3 -B tools/e2e/demo.py --work "$build/demo"
