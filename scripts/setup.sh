#!/usr/bin/env bash
# Installs what building and testing need, on a bare Debian machine. Safe to run
# again: packages already present are not fetched twice.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
  wine wine64 xvfb xauth
  libsndfile1-dev
  clang libclang-rt-14-dev
  gnuplot-nox
  dpkg-dev make
  fontconfig
  libx11-dev libxtst-dev libcairo2-dev libfreetype-dev libfontconfig-dev
  lv2-dev liblilv-dev lilv-utils sordi serdi
  qtractor
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Further steps live in scripts/setup.d and run after the packages are in
# place: the editor's fonts, which every binary with an editor carries inside
# it, and libsndfile cross-built for the Windows renderer.
if [ -d "$(dirname "$0")/setup.d" ]; then
  for step in "$(dirname "$0")"/setup.d/*.sh; do
    [ -e "$step" ] && bash "$step"
  done
fi
exit 0
