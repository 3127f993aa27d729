#!/usr/bin/env bash
# Builds the plug-in and the benchmark, installs the peer reverb it is compared
# with, and prints the figures. Usage: bench/run.sh [--rounds N] [--peer PLUGIN.so]
# --peer compares with another plug-in instead, e.g. an earlier build of ours.
set -euo pipefail
cd "$(dirname "$0")/.."

peer=/usr/lib/lxvst/DragonflyHallReverb-vst.so
args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --peer) peer=$2; shift 2 ;;
    *) args+=("$1"); shift ;;
  esac
done
if [ "$peer" = /usr/lib/lxvst/DragonflyHallReverb-vst.so ] && [ ! -e "$peer" ]; then
  export DEBIAN_FRONTEND=noninteractive
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends dragonfly-reverb-vst >/dev/null ||
    { "${sudo_cmd[@]}" apt-get update -qq && "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends dragonfly-reverb-vst >/dev/null; }
fi

cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DORBELUNE_TESTS=OFF >/dev/null
cmake --build build/bench -j2 --target orbelune_plugin_bench editor_frame_bench Drevon_Orbelune
build/bench/bench/orbelune_plugin_bench build/bench/Drevon_Orbelune.so "$peer" "${args[@]}"

# The cost of each format's adapter, on the same engine.
cmake --build build/bench -j2 --target format_bench orbelune_vst3 orbelune_lv2 orbelune_clap >/dev/null
build/bench/bench/format_bench build/bench/Drevon_Orbelune.so \
  build/bench/Drevon_Orbelune.vst3/Contents/x86_64-linux/Drevon_Orbelune.so \
  build/bench/lv2/Drevon_Orbelune.lv2/Drevon_Orbelune.so build/bench/Drevon_Orbelune.clap

# An open editor's frames, idle against after a parameter change: the Linux
# plug-in in a virtual display, then the Windows DLL under Wine when it is built.
echo "Linux editor:"
for scale in 1 2; do
  xvfb-run -a -s "-screen 0 2048x1536x24" build/bench/bench/editor_frame_bench build/bench/Drevon_Orbelune.so 200 $scale
done
if [ -f build/windows/build.ninja ] && command -v wine >/dev/null; then
  cmake --build build/windows -j2 --target editor_frame_bench Drevon_Orbelune >/dev/null
  source scripts/wine-env.sh
  cp build/windows/Drevon_Orbelune.dll build/windows/bench/
  echo "Windows editor (Wine):"
  for scale in 1 2; do
    (cd build/windows/bench &&
      xvfb-run -a -s "-screen 0 2048x1536x24" \
        sh -c 'wine editor_frame_bench.exe Drevon_Orbelune.dll 200 $1; code=$?; wineserver -k 2>/dev/null; exit $code' \
        sh $scale)
  done
else
  echo "Windows editor: skipped (build the DLL first: scripts/build.sh)"
fi
