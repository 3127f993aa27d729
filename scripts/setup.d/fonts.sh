#!/usr/bin/env bash
# Makes the editor's two font families, "Inter" and "Cinzel", findable by name
# in the Wine prefix that the Windows tests and the screenshot use. The editor
# looks them up by name with no fallback, so without them its texts stay blank.
#
# Why the files need a change: Wine 8's GdipCreateFontFamilyFromName enumerates
# the family with GDI and then compares the *full name* of the first face it is
# given (the name table's record 4, e.g. "Inter Regular") with the family names
# of the installed collection ("Inter"). The two only agree for fonts whose
# regular face's full name is the bare family name (as "DejaVu Sans" has), so
# "Inter" and "Cinzel" are reported as not found although GDI lists them. GDI
# enumerates the regular face first, so the installed copy of each regular face
# carries the family name as its full name; the bold faces stay as they are and
# GDI still picks them by weight for bold text.
#
# The fonts come from the npm packages @expo-google-fonts/inter and
# @expo-google-fonts/cinzel (TrueType builds); downloads and patched copies stay
# under build/fonts and are never committed.
set -euo pipefail
cd "$(dirname "$0")/../.."

inter_package="@expo-google-fonts/inter@0.4.2"
cinzel_package="@expo-google-fonts/cinzel@0.4.2"
cache=build/fonts
mkdir -p "$cache"

fetch() {  # package, then the tarball name npm gives it
  [ -f "$cache/$2" ] && return 0
  (cd "$cache" && npm pack --silent "$1" >/dev/null)
}

if ! command -v npm >/dev/null; then
  echo "fonts: npm is missing; the editor's texts will be blank under Wine" >&2
  exit 0
fi
if ! fetch "$inter_package" expo-google-fonts-inter-0.4.2.tgz ||
   ! fetch "$cinzel_package" expo-google-fonts-cinzel-0.4.2.tgz; then
  echo "fonts: could not fetch the font packages; the editor's texts will be blank under Wine" >&2
  exit 0
fi

tar -xzf "$cache/expo-google-fonts-inter-0.4.2.tgz" -C "$cache" \
  package/400Regular/Inter_400Regular.ttf package/700Bold/Inter_700Bold.ttf
mv "$cache/package" "$cache/inter.tmp" && rm -rf "$cache/inter" && mv "$cache/inter.tmp" "$cache/inter"
tar -xzf "$cache/expo-google-fonts-cinzel-0.4.2.tgz" -C "$cache" \
  package/400Regular/Cinzel_400Regular.ttf package/700Bold/Cinzel_700Bold.ttf
mv "$cache/package" "$cache/cinzel.tmp" && rm -rf "$cache/cinzel" && mv "$cache/cinzel.tmp" "$cache/cinzel"

# Debian's fontTools, whatever python3 comes first on the path.
/usr/bin/python3 - "$cache" <<'EOF'
import shutil
import sys
from fontTools.ttLib import TTFont

cache = sys.argv[1]
faces = [
    ("inter/400Regular/Inter_400Regular.ttf", "Inter", "OrbeluneInter-Regular.ttf"),
    ("inter/700Bold/Inter_700Bold.ttf", None, "OrbeluneInter-Bold.ttf"),
    ("cinzel/400Regular/Cinzel_400Regular.ttf", "Cinzel", "OrbeluneCinzel-Regular.ttf"),
    ("cinzel/700Bold/Cinzel_700Bold.ttf", None, "OrbeluneCinzel-Bold.ttf"),
]
for source, family, installed in faces:
    target = f"{cache}/{installed}"
    if family is None:
        shutil.copyfile(f"{cache}/{source}", target)
        continue
    font = TTFont(f"{cache}/{source}")
    for record in font["name"].names:
        if record.nameID == 4:  # full name
            record.string = family
    font.save(target)
EOF

# The prefix picks up every font in its Windows font folder when Wine starts.
source scripts/wine-env.sh
fonts_dir="$WINEPREFIX/drive_c/windows/Fonts"
mkdir -p "$fonts_dir"
cp "$cache"/Orbelune*.ttf "$fonts_dir/"
wineserver -k 2>/dev/null || true
echo "fonts: Inter and Cinzel installed in $fonts_dir" >&2
