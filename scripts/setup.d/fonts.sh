#!/usr/bin/env bash
# Fetches the editor's two font families, "Inter" and "Cinzel", which the build
# embeds in the plug-in as published: Inter Regular and Bold, Cinzel Bold (the
# faces the panel draws with). They come from the npm packages
# @expo-google-fonts/inter and @expo-google-fonts/cinzel, under the SIL Open
# Font License, whose text is kept beside them for the build to ship. The
# downloads stay under build/fonts and are never committed.
set -euo pipefail
cd "$(dirname "$0")/../.."

cache=build/fonts
mkdir -p "$cache"
faces=(inter/Inter_400Regular.ttf inter/Inter_700Bold.ttf cinzel/Cinzel_700Bold.ttf)
complete() {
  for face in "${faces[@]}"; do [ -f "$cache/$face" ] || return 1; done
  [ -f "$cache/inter/OFL.txt" ] && [ -f "$cache/cinzel/OFL.txt" ]
}
complete && exit 0

if ! command -v npm >/dev/null; then
  echo "fonts: npm is missing; the plug-in will be built without its fonts" >&2
  exit 0
fi

# package, tarball, folder, then the faces to take from the package
fetch() {
  local package=$1 tarball=$2 folder=$3
  shift 3
  [ -f "$cache/$tarball" ] || (cd "$cache" && npm pack --silent "$package" >/dev/null) || return 1
  local unpacked
  unpacked=$(mktemp -d "$cache/unpack.XXXXXX")
  tar -xzf "$cache/$tarball" -C "$unpacked" package/LICENSE_FONT "${@/#/package/}"
  mkdir -p "$cache/$folder"
  cp "$unpacked/package/LICENSE_FONT" "$cache/$folder/OFL.txt"
  for face in "$@"; do cp "$unpacked/package/$face" "$cache/$folder/$(basename "$face")"; done
  rm -rf "$unpacked"
}

if ! fetch "@expo-google-fonts/inter@0.4.2" expo-google-fonts-inter-0.4.2.tgz inter \
       400Regular/Inter_400Regular.ttf 700Bold/Inter_700Bold.ttf ||
   ! fetch "@expo-google-fonts/cinzel@0.4.2" expo-google-fonts-cinzel-0.4.2.tgz cinzel \
       700Bold/Cinzel_700Bold.ttf; then
  echo "fonts: could not fetch the font packages; the plug-in will be built without its fonts" >&2
  exit 0
fi
echo "fonts: Inter and Cinzel fetched into $cache" >&2
