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
cmake --build build/bench -j2 --target orbelune_plugin_bench Drevon_Orbelune
build/bench/bench/orbelune_plugin_bench build/bench/Drevon_Orbelune.so "$peer" "${args[@]}"
