#!/usr/bin/env bash
# The Windows renderer under Wine, loading the DLL, against the Linux renderer
# loading the shared object: the same input and settings must give the same
# output to within 1e-6 per sample (the two C runtimes' exp, sin and tanh may
# differ in the last bit). Also a FLAC input, the demo, and a failing render.
set -euo pipefail
cd "$(dirname "$0")/../.."

windowsRenderer=build/windows/tools/orbelune-render.exe
linuxRenderer=build/linux/tools/orbelune-render
compare=build/linux/tests/render/orbelune-compare-audio
if [ ! -f "$windowsRenderer" ]; then
  echo "render: no Windows renderer was built (libsndfile for MinGW missing); skipping the Wine cross-check" >&2
  exit 0
fi
source scripts/wine-env.sh

work=build/render-check
rm -rf "$work"
mkdir -p "$work"
tolerance=1e-6
status=0
check() { "$@" || status=1; }

# The input: the demo's dry phrase, from the Linux renderer.
"$linuxRenderer" --demo-dir "$work/linux-demo" --tail 2 -q >/dev/null
input="$work/linux-demo/demo-dry.wav"
settings=(--block 333 --tail 3 --set Decay=0.7 --set "pre-delay=0.3" --automate "Size@1.5s=0.8" --automate "Mix@2s=0.6" -q)

"$linuxRenderer" --plugin build/linux/Drevon_Orbelune.so "${settings[@]}" "$input" "$work/linux.wav"
wine "$windowsRenderer" --plugin build/windows/Drevon_Orbelune.dll "${settings[@]}" "$input" "$work/windows.wav"
check "$compare" "$work/linux.wav" "$work/windows.wav" "$tolerance"

# FLAC in and out on Windows (libsndfile there is cross-built with its codecs).
"$linuxRenderer" --plugin build/linux/Drevon_Orbelune.so --bypass --tail 0 -q "$input" "$work/input.flac"
wine "$windowsRenderer" --plugin build/windows/Drevon_Orbelune.dll "${settings[@]}" "$work/input.flac" "$work/windows.flac"
"$linuxRenderer" --plugin build/linux/Drevon_Orbelune.so "${settings[@]}" "$work/input.flac" "$work/linux.flac"
check "$compare" "$work/linux.flac" "$work/windows.flac" "$tolerance"

# The demo, synthesised and rendered on Windows, with the default plug-in
# found beside the program.
wine "$windowsRenderer" --demo-dir "$work/windows-demo" --tail 2 -q >/dev/null
for file in demo-dry.wav demo-orbelune.wav impulse-response.wav; do
  check "$compare" "$work/linux-demo/$file" "$work/windows-demo/$file" "$tolerance"
done

# A failing render exits non-zero and leaves no file behind.
if wine "$windowsRenderer" "$work/missing.wav" "$work/never.wav" 2>/dev/null; then
  echo "render: the Windows renderer accepted a missing input" >&2
  status=1
fi
if ls "$work"/never.wav* >/dev/null 2>&1; then
  echo "render: the Windows renderer left an output behind after a failure" >&2
  status=1
fi

wineserver -k 2>/dev/null || true
[ $status -eq 0 ] && echo "render: Windows and Linux renderers agree" >&2
exit $status
