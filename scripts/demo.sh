#!/usr/bin/env bash
# The first command to run: installs what is missing, builds the plug-in and
# the renderer (Linux and Windows), shows the plug-in's identity and parameters
# as a host sees them, and renders the built-in demo into out/demo/:
#   demo-dry.wav          the dry phrase, synthesised in code
#   demo-orbelune.wav     the same through Drevon Orbelune at its defaults
#   impulse-response.wav  the response to a unit impulse
#   decay-curves.png      energy decay curves, broadband and per octave band
#   editor.png            the Windows DLL's editor, under Wine
#   editor-linux.png      the Linux plug-in's editor, under X
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/build.sh

renderer=build/linux/tools/orbelune-render
echo
echo "== the plug-in, loaded through its exported entry point"
"$renderer" --info
echo
echo "== the demo"
"$renderer" --demo-dir out/demo
gnuplot -e "datafile='out/demo/decay-curves.dat'; outputfile='out/demo/decay-curves.png'; \
title='Drevon Orbelune, default settings: energy decay curves'" tools/plot-decay.gp
echo "plot    out/demo/decay-curves.png"

# The editor's picture, when the script that takes it is part of this tree.
if [ -f scripts/editor-screenshot.sh ]; then
  if bash scripts/editor-screenshot.sh out/demo/editor.png && [ -f out/demo/editor.png ]; then
    echo "editor  out/demo/editor.png"
  else
    echo "demo: no editor screenshot (scripts/editor-screenshot.sh did not produce one)" >&2
  fi
fi
# The Linux plug-in's editor, taken by our X host program in a virtual display,
# at 1x and on a desktop of twice the density (2x).
if [ -x build/linux/tests/x11/orbelune_x11_tests ] &&
   ORBELUNE_EDITOR_PNG="$PWD/out/demo/editor-linux.png" ORBELUNE_EDITOR_PNG_2X="$PWD/out/demo/editor-linux@2x.png" \
     xvfb-run -a -s "-screen 0 2048x1536x24" \
     build/linux/tests/x11/orbelune_x11_tests --gtest_filter='*PaintsThePanel*:*DesktopsDensity*' >/dev/null; then
  echo "editor  out/demo/editor-linux.png, out/demo/editor-linux@2x.png"
else
  echo "demo: no Linux editor screenshot" >&2
fi
