#!/usr/bin/env bash
# Runs the Linux VST 3 bundle in a real host, headless: Debian's Ardour 7.
# Ardour's own scanner indexes the bundle, then ardour7-lua (dummy audio
# backend, no sound card, no display) puts it on a track, listens to it and
# saves and reopens the session (scripts/ardour-check.lua). Installs Ardour if
# it is missing; build the plug-in first (bash scripts/build.sh). Everything
# Ardour writes goes into a temporary home that is removed afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."

started=$SECONDS
fail() {
  echo "ardour-check: FAIL: $*" >&2
  exit 1
}

bundle=build/linux/Drevon_Orbelune.vst3
module=Contents/x86_64-linux/Drevon_Orbelune.so
[ -f "$bundle/$module" ] || fail "no VST 3 bundle at $bundle (no $module in it); build it first: bash scripts/build.sh"

if ! dpkg-query -W -f='${Status}' ardour 2>/dev/null | grep -q "install ok installed"; then
  echo "ardour-check: installing ardour" >&2
  export DEBIAN_FRONTEND=noninteractive
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends ardour >/dev/null
fi

# The package keeps its programs in a folder named after the major version
# (/usr/lib/ardour7); the Lua interpreter on PATH carries the same number.
scanner=$(compgen -G '/usr/lib/ardour[0-9]*/ardour-vst3-scanner' | sort -V | tail -n 1 || true)
[ -n "$scanner" ] || fail "the ardour package installed no ardour-vst3-scanner"
libdir=$(dirname "$scanner")
lua=$(basename "$libdir")-lua
command -v "$lua" >/dev/null || fail "no $lua beside $scanner"
version=$(dpkg-query -W -f='${Version}' ardour)
version=${version#*:}
version=${version%%[+~-]*}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
home=$work/home
mkdir -p "$home/.vst3"
cp -a "$bundle" "$home/.vst3/"
# Ardour finds LV2 bundles through lilv, in ~/.lv2 among other places.
lv2_bundle=build/linux/lv2/Drevon_Orbelune.lv2
[ -d "$lv2_bundle" ] || fail "no LV2 bundle at $lv2_bundle; build it first: bash scripts/build.sh"
mkdir -p "$home/.lv2"
cp -a "$lv2_bundle" "$home/.lv2/"
# Ardour trusts its scan cache only while the module is older than the cache
# file, in whole seconds; a copy made in the same second as the scan would be
# skipped as stale.
touch -d '2 seconds ago' "$home/.vst3/Drevon_Orbelune.vst3/$module"

# Ardour finds bundles in ~/.vst3 and keeps its cache and configuration under
# the XDG folders: all of them inside the temporary home, and no extra search
# path from the caller's environment.
ardour_env=(env -u VST3_PATH -u XDG_CONFIG_HOME -u XDG_CACHE_HOME -u XDG_DATA_HOME HOME="$home")

scan_log=$work/scan.log
if ! timeout -k 5 60 "${ardour_env[@]}" LD_LIBRARY_PATH="$libdir" \
    "$scanner" -v -f "$home/.vst3/Drevon_Orbelune.vst3" >"$scan_log" 2>&1; then
  cat "$scan_log" >&2
  fail "ardour-vst3-scanner failed on the bundle (exit status above)"
fi
if ! grep -q "Found Plugin: Drevon Orbelune$" "$scan_log" ||
   ! grep -q 'n_inputs="2" n_outputs="2"' "$scan_log"; then
  cat "$scan_log" >&2
  fail "ardour-vst3-scanner did not report Drevon Orbelune as a stereo effect"
fi
echo "ardour-check:   ok scanned by $(basename "$scanner"): $(grep -o "Class: 0 '[^']*' '[^']*'" "$scan_log")"

# Line buffering keeps what the script printed when the host dies mid-way.
lua_log=$work/lua.log
status=0
timeout -k 5 120 "${ardour_env[@]}" stdbuf -oL "$lua" scripts/ardour-check.lua "$work/session" \
  >"$lua_log" 2>&1 || status=$?
grep '^ardour-check:   ok' "$lua_log" || true
if [ "$status" -ne 0 ] || ! grep -q '^ardour-check: session checks passed$' "$lua_log" ||
   grep -q '^\[\(ERROR\|FATAL\)\]' "$lua_log"; then
  echo "---- $lua output" >&2
  grep -v -e 'call-slot using functor' -e 'call slot via functor' -e '^ardour-check:   ok' "$lua_log" >&2 || true
  echo "----" >&2
  [ "$status" -eq 124 ] && fail "$lua did not finish within 120 s"
  reason=$(grep -o 'FAIL: .*' "$lua_log" | head -n 1 | cut -d' ' -f2-)
  fail "${reason:-$lua exited with status $status or Ardour reported an error}"
fi
echo "ardour-check: PASS: Ardour $version scans, loads, runs and reopens Drevon Orbelune ($((SECONDS - started)) s)"
