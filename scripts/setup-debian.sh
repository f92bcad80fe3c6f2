#!/usr/bin/env bash
# Installs the Debian packages Pumpwire builds and tests with. Idempotent:
# nothing is fetched when everything is already there. With --windows, also
# what the Windows build needs: the MinGW-w64 compilers, Wine, the tools
# that unpack and build Debian's source packages, and ImageMagick, whose
# import takes the pictures of the virtual screen the Windows programs'
# windows are tried on (scripts/test-windows-app.sh).
#
# Wine runs 32-bit Windows programs (the shipped plug-in is one) only with
# Debian's wine32 for i386: the i386 architecture is added to dpkg for it.
# Installing it also upgrades some amd64 packages it shares libraries with,
# to keep both architectures' versions in step; a CI machine takes that.
set -euo pipefail
packages=(g++ clang libclang-rt-dev cmake ninja-build libgtest-dev
          libjpeg62-turbo-dev libgif-dev libsqlite3-dev libx11-dev libxext-dev nettle-dev xvfb
          python3 iproute2)
if [ "${1:-}" = --windows ]; then
  packages+=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine64 wine32:i386 dpkg-dev tcl make)
  packages+=(imagemagick x11-utils)  # the Windows app test's window pictures
elif [ -n "${1:-}" ]; then
  echo "usage: $0 [--windows]" >&2
  exit 2
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
