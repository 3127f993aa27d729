#!/usr/bin/env bash
# Installs the Linux builds into the current user's standard plug-in folders:
# the VST 2 plug-in into ~/.vst, the VST 3 bundle into ~/.vst3 with its
# factory preset files in ~/.vst3/presets, the LV2 bundle into ~/.lv2 and the
# CLAP plug-in into ~/.clap. Build first
# (scripts/build.sh); the fonts' licence goes beside each.
set -euo pipefail
cd "$(dirname "$0")/.."

so=build/linux/Drevon_Orbelune.so
bundle=build/linux/Drevon_Orbelune.vst3
lv2=build/linux/lv2/Drevon_Orbelune.lv2
clap=build/linux/Drevon_Orbelune.clap
if [ ! -f "$so" ] || [ ! -d "$bundle" ] || [ ! -d "$lv2" ] || [ ! -f "$clap" ]; then
  echo "install: build the plug-in first (bash scripts/build.sh)" >&2
  exit 1
fi
mkdir -p "$HOME/.vst" "$HOME/.vst3" "$HOME/.lv2" "$HOME/.clap"
cp "$so" build/linux/OFL-Inter.txt build/linux/OFL-Cinzel.txt "$HOME/.vst/"
rm -rf "$HOME/.vst3/Drevon_Orbelune.vst3"
cp -r "$bundle" "$HOME/.vst3/"
presets="$HOME/.vst3/presets/Drevon Audio Technologies/Drevon Orbelune"
mkdir -p "$presets"
cp "build/linux/VST3 Presets/Drevon Audio Technologies/Drevon Orbelune/"*.vstpreset "$presets/"
rm -rf "$HOME/.lv2/Drevon_Orbelune.lv2"
cp -r "$lv2" "$HOME/.lv2/"
cp build/linux/OFL-Inter.txt build/linux/OFL-Cinzel.txt "$HOME/.lv2/Drevon_Orbelune.lv2/"
cp "$clap" build/linux/OFL-Inter.txt build/linux/OFL-Cinzel.txt "$HOME/.clap/"
echo "installed $HOME/.vst/Drevon_Orbelune.so, $HOME/.vst3/Drevon_Orbelune.vst3, $HOME/.lv2/Drevon_Orbelune.lv2" \
  "and $HOME/.clap/Drevon_Orbelune.clap"
