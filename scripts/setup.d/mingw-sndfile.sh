#!/usr/bin/env bash
# libsndfile for the Windows renderer. Debian packages no MinGW build of it, so
# it is cross-built here from Debian's own source packages (with Debian's
# patches applied by dpkg-source), together with the codecs it needs for FLAC
# and Ogg: libogg, flac, libvorbis and opus. The result is a static install
# under build/third-party/mingw; a stamp file makes later runs free.
#
# If the sources cannot be fetched, the Windows renderer is simply not built
# (tools/CMakeLists.txt looks for the install) and this step says so.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
third="$root/build/third-party"
prefix="$third/mingw"
stamp="$prefix/.built-3"
[ -f "$stamp" ] && exit 0

# Debian source packages, in build order (each needs the ones before it).
sources=(libogg flac libvorbis opus libsndfile)

sourceList=/etc/apt/sources.list.d/orbelune-deb-src.sources
sudoCommand=()
[ "$(id -u)" -eq 0 ] || sudoCommand=(sudo)
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
  echo "setup: adding Debian source packages to apt's sources" >&2
  printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' |
    "${sudoCommand[@]}" tee "$sourceList" >/dev/null
  "${sudoCommand[@]}" apt-get update -qq || true
fi

mkdir -p "$third/src" "$third/work" "$prefix"
cd "$third/src"
for package in "${sources[@]}"; do
  if ! ls "$package"_*.dsc >/dev/null 2>&1; then
    if ! apt-get source --download-only -qq "$package" >/dev/null 2>&1; then
      echo "setup: cannot fetch Debian's source of $package; the Windows renderer will not be built" >&2
      exit 0
    fi
  fi
done

echo "setup: cross-building libsndfile and its codecs for Windows (once, about two minutes)" >&2
# The project's toolchain, with the install prefix searched too.
toolchain="$third/work/toolchain.cmake"
printf 'include(%s/cmake/mingw-w64.cmake)\nlist(APPEND CMAKE_FIND_ROOT_PATH %s)\n' "$root" "$prefix" >"$toolchain"

common=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$prefix"
        -DCMAKE_PREFIX_PATH="$prefix" -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF)

# Unpacks a source package with Debian's patches applied; each package that
# builds leaves a stamp, so a run that failed part-way resumes where it stopped.
unpackPackage() {
  local package="$1" dsc
  dsc=$(ls "$third/src/$package"_*.dsc | head -n 1)
  rm -rf "$third/work/$package"
  dpkg-source --no-check -x "$dsc" "$third/work/$package" >/dev/null
}

buildPackage() {
  local package="$1"
  shift
  [ -f "$prefix/.built-$package" ] && return 0
  unpackPackage "$package"
  cmake -S "$third/work/$package" -B "$third/work/$package/build" "${common[@]}" "$@" >"$third/work/$package.log" 2>&1
  cmake --build "$third/work/$package/build" -j 2 >>"$third/work/$package.log" 2>&1
  cmake --install "$third/work/$package/build" >>"$third/work/$package.log" 2>&1
  touch "$prefix/.built-$package"
}

# Opus 1.3.1's release tarball lacks a file its CMake build includes, so it is
# built with its autotools build instead.
buildAutotoolsPackage() {
  local package="$1"
  shift
  [ -f "$prefix/.built-$package" ] && return 0
  unpackPackage "$package"
  (cd "$third/work/$package" &&
    ./configure --host=x86_64-w64-mingw32 CC=x86_64-w64-mingw32-gcc-posix --prefix="$prefix" \
      --disable-shared --enable-static "$@" &&
    make -j 2 && make install) >"$third/work/$package.log" 2>&1
  touch "$prefix/.built-$package"
}

if ! {
  buildPackage libogg -DINSTALL_DOCS=OFF &&
  buildPackage flac -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOCS=OFF -DBUILD_CXXLIBS=OFF \
    -DINSTALL_MANPAGES=OFF -DWITH_STACK_PROTECTOR=OFF -DWITH_FORTIFY_SOURCE=OFF -DWITH_OGG=ON &&
  buildPackage libvorbis &&
  # Opus turns on _FORTIFY_SOURCE unless it is already defined; MinGW's checked
  # string functions would then need libssp in every program.
  buildAutotoolsPackage opus --disable-doc --disable-extra-programs --disable-stack-protector \
    CFLAGS="-O2 -D_FORTIFY_SOURCE=0" &&
  buildPackage libsndfile -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DENABLE_MPEG=OFF -DENABLE_CPACK=OFF \
    -DINSTALL_MANPAGES=OFF -DENABLE_EXTERNAL_LIBS=ON -DENABLE_STATIC_RUNTIME=ON \
    -DCMAKE_C_FLAGS=-DFLAC__NO_DLL  # FLAC's headers assume a DLL unless told it is linked statically
}; then
  echo "setup: the Windows libsndfile build failed (logs in $third/work); the Windows renderer will not be built" >&2
  exit 0
fi
touch "$stamp"
