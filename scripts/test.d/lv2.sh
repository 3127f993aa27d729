#!/usr/bin/env bash
# The LV2 bundle through Debian's own LV2 tools: its Turtle parsed (serdi) and
# validated against the LV2 schemas (sord_validate), a file rendered through it
# by lv2apply and held sample for sample to our renderer's VST 2 render, and a
# run of lv2bench.
set -euo pipefail
cd "$(dirname "$0")/../.."

bundle=build/linux/lv2/Drevon_Orbelune.lv2
renderer=build/linux/tools/orbelune-render
compare=build/linux/tests/render/orbelune-compare-audio
export LV2_PATH="$PWD/build/linux/lv2"
status=0

# sord_validate passes a file it cannot parse, so serdi reads each one first.
for file in "$bundle"/*.ttl; do
  serdi -q -i turtle -o ntriples "$file" >/dev/null || { echo "lv2: $file is not valid Turtle" >&2; status=1; }
done
# The vocabularies are the installed bundles that carry no binary; the
# plug-ins other packages install are left out.
schemas=()
for vocabulary in /usr/lib/lv2/*.lv2; do
  [ -f "$vocabulary/manifest.ttl" ] && ! grep -q "binary" "$vocabulary/manifest.ttl" && schemas+=("$vocabulary"/*.ttl)
done
report=$(sord_validate "${schemas[@]}" "$bundle"/*.ttl 2>&1 | tail -n 1)
echo "lv2: sord_validate: $report" >&2
case "$report" in "Found 0 errors"*) ;; *) status=1 ;; esac

work=build/lv2-check
rm -rf "$work" && mkdir -p "$work"
"$renderer" --demo-dir "$work/demo" --tail 0 -q >/dev/null
input="$work/demo/demo-dry.wav"
# Port values in the units they show, and the 0..1 values they stand for.
lv2apply -i "$input" -o "$work/lv2.wav" -c decay 11.325 -c size 95.0 -c mix 35.0 urn:drevon:orbelune
"$renderer" --tail 0 -q --set Decay=0.75 --set Size=0.95 "$input" "$work/vst2.wav"
"$compare" "$work/vst2.wav" "$work/lv2.wav" 0 || status=1
lv2apply -i "$input" -o "$work/lv2-off.wav" -c enabled 0 urn:drevon:orbelune
"$compare" "$input" "$work/lv2-off.wav" 0 || status=1

lv2bench urn:drevon:orbelune >&2 || status=1
exit $status
