#!/usr/bin/env bash
# Builds the Linux plug-in, its tests and tools (build/linux) and the Windows DLL
# with its tools and Wine tests (build/windows).
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
cmake -S . -B build/linux -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/linux -j "$jobs"
cmake -S . -B build/windows -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" >/dev/null
cmake --build build/windows -j "$jobs"

# What a Windows user copies into their plug-in folders: the DLL, the VST 3
# bundle with its factory preset files (the same bytes on every system), the
# .clap and the fonts' licence, in one zip.
rm -rf "build/windows/VST3 Presets"
cp -r "build/linux/VST3 Presets" build/windows/
(cd build/windows &&
  files=(Drevon_Orbelune.dll Drevon_Orbelune.vst3 "VST3 Presets" Drevon_Orbelune.clap) &&
  for licence in OFL-Inter.txt OFL-Cinzel.txt; do if [ -f "$licence" ]; then files+=("$licence"); fi; done &&
  cmake -E tar cf Drevon_Orbelune-windows.zip --format=zip "${files[@]}")
