#!/bin/sh
# The tests' own Wine: a prefix and a HOME under the build folder (WINEPREFIX, HOME and
# WINELOADER come from the test's environment), and a persistent wineserver while tests run,
# so that each Wine test starts in milliseconds instead of seconds. The prefix is always made by
# the 64-bit loader: a 64-bit prefix, in which the 32-bit loader runs 32-bit programs
# (tools/e2e/wine_prefix.py makes it, or copies the tree's template prefix).
#   wine-rig.sh up     create the prefix when missing, start the server, warm it up
#   wine-rig.sh down   stop the server
set -eu
server=/usr/lib/wine/wineserver
case "${1:-}" in
  up)
    # A copy of the tree's template prefix when QV_E2E_PREFIX_TEMPLATE names one, else wineboot.
    python3 -B "$(dirname "$0")/../tools/e2e/wine_prefix.py" "$WINEPREFIX" "$HOME" ${QV_E2E_PREFIX_TEMPLATE:+"$QV_E2E_PREFIX_TEMPLATE"}
    "$server" -p </dev/null >/dev/null 2>&1
    "$WINELOADER" cmd /c exit </dev/null >/dev/null 2>&1
    ;;
  down)
    "$server" -k </dev/null >/dev/null 2>&1 || true
    ;;
  *)
    echo "usage: $0 up|down" >&2
    exit 2
    ;;
esac
