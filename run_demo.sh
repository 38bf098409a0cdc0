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
export QV_UI_DRIVER=$build/tools/ui_driver.exe QV_E2E_PROGRAM=$build/bin/PX_Bootstrap.exe \
  QV_E2E_UPDATE_CLIENT=$build/bin/QVUTchkdl.dll QV_E2E_PHONE_DLL=$build/phone-sim/QVEUSBAutorun.dll \
  QV_E2E_STUB_TOOL=$build/stubs/stub_pc_tool.exe QV_E2E_DRIVERS=$build/driver-packages \
  QV_E2E_AGENT_CABINETS=$build/agents/cab QV_E2E_AGENT_CALLER=$build/agents/agent_caller.exe \
  QV_E2E_SIGNATURES=$build/test-signatures
exec python3 -B tools/e2e/demo.py --work "$build/demo"
