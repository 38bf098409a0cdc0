#!/usr/bin/env bash
# Tells whether this machine runs 32-bit Windows programs: builds a minimal i686 console program and
# runs it under `wine` (the first on PATH) in a throwaway prefix. Prints one line either way and
# exits 0 (they run) or 1 (they cannot). Some machines' kernels switch 32-bit emulation off; there
# no i386 executable starts, and with it no 32-bit Wine.
#   scripts/probe_32bit.sh
set -u
work=$(mktemp -d)
trap 'WINEPREFIX="$work/prefix" wineserver -k >/dev/null 2>&1; rm -rf "$work"' EXIT

printf '#include <stdio.h>\nint main(void) { printf("32-bit hello %%d\\n", (int)sizeof(void*)); return 0; }\n' \
  > "$work/probe.c"
if ! i686-w64-mingw32-gcc -o "$work/probe.exe" "$work/probe.c" >"$work/compile.log" 2>&1; then
  echo "32-bit Windows programs cannot run here (no i686 compiler to build the probe): the 32-bit runs are skipped"
  exit 1
fi
mkdir -p "$work/home"
WINEPREFIX="$work/prefix" HOME="$work/home" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=" \
  timeout 300 wine "$work/probe.exe" </dev/null >"$work/run.log" 2>&1
status=$?
if grep -q "32-bit hello 4" "$work/run.log"; then
  echo "32-bit Windows programs run here"
  exit 0
fi
if grep -qi "exec format error" "$work/run.log"; then
  reason="the kernel refuses 32-bit executables"
elif [ "$status" -eq 124 ]; then
  reason="the probe did not finish within 300 s"
else
  reason="wine could not run the probe, exit status $status: $(head -c 200 "$work/run.log" | tr '\n' ' ')"
fi
echo "32-bit Windows programs cannot run here ($reason): the 32-bit runs are skipped"
exit 1
