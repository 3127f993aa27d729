#!/usr/bin/env bash
# Runs the Windows test programs against the real DLL under Wine, in a virtual
# display, with one prefix for the whole run.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/wine-env.sh

status=0
for program in build/windows/tests/wine/*_test.exe; do
  [ -e "$program" ] || continue
  cp build/windows/Drevon_Orbelune.dll "$(dirname "$program")/"
  echo "-- $(basename "$program")" >&2
  (cd "$(dirname "$program")" && xvfb-run -a wine "$(basename "$program")") || status=1
done
wineserver -k 2>/dev/null || true
exit $status
