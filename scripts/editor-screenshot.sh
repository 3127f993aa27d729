#!/usr/bin/env bash
# Writes a screenshot of the real DLL's editor panel, taken under Wine in a
# virtual display, to the PNG file given (default: out/demo/editor.png).
# Needs the Windows build (scripts/build.sh). The DLL carries its own fonts, so
# the prefix needs none installed.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
output="$(realpath -m "${1:-$root/out/demo/editor.png}")"
cd "$root"

program=build/windows/tests/wine/editor_window_test.exe
if [ ! -f "$program" ] || [ ! -f build/windows/Drevon_Orbelune.dll ]; then
  echo "editor-screenshot: build the Windows DLL and its tests first (scripts/build.sh)" >&2
  exit 1
fi
source scripts/wine-env.sh

directory="$(dirname "$program")"
cp build/windows/Drevon_Orbelune.dll "$directory/"
status=0
# The Wine server stops while the virtual display still runs, so no Wine
# process is left talking to a display that has gone.
(cd "$directory" &&
  xvfb-run -a sh -c 'wine "$1" editor-screenshot.png; code=$?; wineserver -k 2>/dev/null; exit $code' \
    sh "$(basename "$program")") >&2 || status=$?
mkdir -p "$(dirname "$output")"
mv "$directory/editor-screenshot.png" "$output"
echo "$output"
exit $status
