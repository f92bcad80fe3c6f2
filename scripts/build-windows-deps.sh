#!/usr/bin/env bash
# Builds the libraries the Windows build links (SQLite, libjpeg-turbo,
# giflib) from Debian's own source packages, cross-compiled with MinGW-w64
# into a cache folder outside the repository. What is already built is kept.
#
#   scripts/build-windows-deps.sh ARCH [CACHE]
#
# ARCH: i686 or x86_64. CACHE: default $PUMPWIRE_WIN_DEPS_CACHE, else
# ~/.cache/pumpwire-windows. Installs into CACHE/ARCH/{include,lib}.
# Needs root for apt-get (a deb-src entry is added when missing).
set -euo pipefail

arch=${1:?say i686 or x86_64}
case "$arch" in i686|x86_64) ;; *) echo "ARCH must be i686 or x86_64, not '$arch'" >&2; exit 2;; esac
cache=${2:-${PUMPWIRE_WIN_DEPS_CACHE:-$HOME/.cache/pumpwire-windows}}
prefix="$cache/$arch"
sources="$cache/sources"
host="$arch-w64-mingw32"
cc="$host-gcc-posix"
here=$(cd "$(dirname "$0")/.." && pwd)
jobs=2

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

# Debian's source packages need a deb-src line for the same archive.
ensure_sources() {
  [ -d "$sources" ] && ls "$sources"/sqlite3-*/ "$sources"/libjpeg-turbo-*/ "$sources"/giflib-*/ \
    >/dev/null 2>&1 && return
  if ! grep -rqs '^Types:.*deb-src\|^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    echo "Adding a deb-src entry for bookworm"
    as_root tee /etc/apt/sources.list.d/pumpwire-deb-src.sources >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
    as_root apt-get update -qq
  fi
  mkdir -p "$sources"
  (cd "$sources" && apt-get source -qq sqlite3 libjpeg-turbo giflib >/dev/null)
}

source_dir() { ls -d "$sources"/"$1"-*/ | head -1; }

build_sqlite() {
  [ -f "$prefix/lib/libsqlite3.a" ] && return
  echo "SQLite for $arch"
  local src build
  src=$(source_dir sqlite3)
  build="$cache/build-$arch/sqlite3"
  mkdir -p "$build" "$prefix/include" "$prefix/lib"
  # The amalgamation is made on this machine by its own configure and make.
  if [ ! -f "$cache/build-native/sqlite3/sqlite3.c" ]; then
    mkdir -p "$cache/build-native/sqlite3"
    (cd "$cache/build-native/sqlite3" && "$src/configure" --disable-tcl -q >/dev/null &&
     make -s sqlite3.c >/dev/null)
  fi
  cp "$cache/build-native/sqlite3/sqlite3.c" "$cache/build-native/sqlite3/sqlite3.h" "$build/"
  (cd "$build" &&
   "$cc" -O2 -DSQLITE_THREADSAFE=1 -DSQLITE_OMIT_LOAD_EXTENSION -c sqlite3.c -o sqlite3.o &&
   "$host-ar" rcs "$prefix/lib/libsqlite3.a" sqlite3.o)
  cp "$build/sqlite3.h" "$prefix/include/"
}

build_jpeg() {
  [ -f "$prefix/lib/libjpeg.a" ] && return
  echo "libjpeg-turbo for $arch"
  local build="$cache/build-$arch/libjpeg-turbo"
  cmake -S "$(source_dir libjpeg-turbo)" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/toolchains/mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_SIMD=OFF \
    -DPUMPWIRE_WINDOWS_DEPS="$prefix" >/dev/null
  cmake --build "$build" -j"$jobs" >/dev/null
  cmake --install "$build" >/dev/null
}

build_gif() {
  [ -f "$prefix/lib/libgif.a" ] && return
  echo "giflib for $arch"
  local build="$cache/build-$arch/giflib"
  rm -rf "$build"
  cp -r "$(source_dir giflib)" "$build"
  make -s -C "$build" libgif.a CC="$cc" AR="$host-ar" >/dev/null
  mkdir -p "$prefix/include" "$prefix/lib"
  cp "$build/libgif.a" "$prefix/lib/"
  cp "$build/gif_lib.h" "$prefix/include/"
}

ensure_sources
build_sqlite
build_jpeg
build_gif
echo "Windows libraries for $arch in $prefix"
