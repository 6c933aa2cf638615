#!/usr/bin/env bash
# wine_run.sh PREFIX fresh|keep|kill [PROGRAM ARGS...]
# Runs one Windows program in the given Wine prefix (created from the
# project's template when fresh), from the program's own folder, and stops
# the prefix's wineserver (and anything left running in it) afterwards. The program's exit code is returned.
set -u
here=$(cd "$(dirname "$0")/../.." && pwd)
source "$here/scripts/wine-env.sh"
export TESSALY_PREFIX=$1
mode=$2
shift 2
# The display comes first: Wine's desktop process keeps the one it found.
if [ -n "${E2E_BACKGROUND:-}" ]; then
  tessaly_display_up
fi
if [ "$mode" = fresh ]; then
  tessaly_wine_up fresh >/dev/null 2>&1
else
  tessaly_wine_up >/dev/null 2>&1
fi
rc=0
# E2E_BACKGROUND: a program (with a window) started first and left running.
if [ -n "${E2E_BACKGROUND:-}" ]; then
  (cd "$(dirname "$E2E_BACKGROUND")" && tessaly_wine "$E2E_BACKGROUND" </dev/null >/dev/null 2>&1 &)
  sleep 4
fi
if [ "$mode" != kill ] && [ $# -gt 0 ]; then
  cd "$(dirname "$1")"
  tessaly_wine "$@"
  rc=$?
fi
tessaly_wine_down
exit $rc
