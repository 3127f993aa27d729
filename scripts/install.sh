#!/usr/bin/env bash
# Installs the Linux builds into the current user's standard plug-in folders:
# the VST 2 plug-in into ~/.vst and the VST 3 bundle into ~/.vst3. Build first
# (scripts/build.sh); the fonts' licence goes beside each.
set -euo pipefail
cd "$(dirname "$0")/.."

so=build/linux/Drevon_Orbelune.so
bundle=build/linux/Drevon_Orbelune.vst3
if [ ! -f "$so" ] || [ ! -d "$bundle" ]; then
  echo "install: build the plug-in first (bash scripts/build.sh)" >&2
  exit 1
fi
mkdir -p "$HOME/.vst" "$HOME/.vst3"
cp "$so" build/linux/OFL-Inter.txt build/linux/OFL-Cinzel.txt "$HOME/.vst/"
rm -rf "$HOME/.vst3/Drevon_Orbelune.vst3"
cp -r "$bundle" "$HOME/.vst3/"
echo "installed $HOME/.vst/Drevon_Orbelune.so and $HOME/.vst3/Drevon_Orbelune.vst3"
