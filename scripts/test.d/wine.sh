#!/usr/bin/env bash
# Runs the Windows test programs against the real DLL, VST 3 bundle and .clap
# under Wine, in a virtual display, with one prefix for the whole run; then the
# editor once more in a prefix of its own whose screen has twice the density
# (192 dpi).
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
# The second prefix says 192 dpi where Wine and Windows look for the screen's
# density; the editor must come up at twice the size, everything in place.
program=build/windows/tests/wine/editor_window_test.exe
if [ -e "$program" ]; then
  export WINEPREFIX="$PWD/build/wineprefix-192dpi"
  source scripts/wine-env.sh
  for key in 'HKCU\Control Panel\Desktop' 'HKCC\Software\Fonts'; do
    wine reg add "$key" /v LogPixels /t REG_DWORD /d 192 /f >/dev/null 2>&1 || true
  done
  wineserver -w || true
  echo "-- $(basename "$program") at 192 dpi" >&2
  (cd "$(dirname "$program")" &&
    xvfb-run -a -s "-screen 0 2048x1536x24" \
      sh -c 'wine "$1" editor-192dpi.png 2; code=$?; wineserver -k 2>/dev/null; exit $code' sh "$(basename "$program")") ||
    status=1
fi
exit $status
