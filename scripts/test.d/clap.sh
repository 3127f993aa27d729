#!/usr/bin/env bash
# The Linux .clap through Debian's Qtractor plug-in scanner, the program
# Qtractor runs apart from itself to index plug-ins: it must list ours by name,
# with its stereo pair in and out and its seven parameters.
set -euo pipefail
cd "$(dirname "$0")/../.."

scanner=/usr/lib/x86_64-linux-gnu/qtractor/qtractor_plugin_scan
clap="$PWD/build/linux/Drevon_Orbelune.clap"
# One line per plug-in: CLAP|name|audio in:out|MIDI in:out|controls in:out|flags|file|index|id
line=$(printf 'CLAP:%s\n' "$clap" | timeout 60 "$scanner" 2>/dev/null | grep '^CLAP|' || true)
echo "clap: qtractor_plugin_scan: ${line:-nothing listed}" >&2
case "$line" in
  "CLAP|Drevon Orbelune|2:2|0:0|7:0|"*) ;;
  *) echo "clap: the scanner did not list Drevon Orbelune with 2 audio channels each way and 7 parameters" >&2
     exit 1 ;;
esac
