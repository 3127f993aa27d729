#!/usr/bin/env bash
# Runs the Windows test programs against the real DLL, VST 3 bundle and .clap under Wine, in a virtual
# display, with one prefix for the whole run.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/wine-env.sh

status=0
for program in build/windows/tests/wine/*_test.exe; do
  [ -e "$program" ] || continue
  cp build/windows/Drevon_Orbelune.dll build/windows/Drevon_Orbelune.clap "$(dirname "$program")/"
  rm -rf "$(dirname "$program")/Drevon_Orbelune.vst3"
  cp -r build/windows/Drevon_Orbelune.vst3 "$(dirname "$program")/"
  echo "-- $(basename "$program")" >&2
  # The Wine server is stopped inside the virtual display's lifetime, so no Wine
  # process is left talking to a display that has gone.
  (cd "$(dirname "$program")" &&
    xvfb-run -a sh -c 'wine "$1"; code=$?; wineserver -k 2>/dev/null; exit $code' sh "$(basename "$program")") || status=1
done
exit $status
