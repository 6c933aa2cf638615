#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Idempotent and
# quick when everything is already there.
set -euo pipefail

need=(g++-mingw-w64-i686-posix mingw-w64-i686-dev g++-mingw-w64-x86-64-posix
      mingw-w64-x86-64-dev wine wine32:i386 wine64 xvfb xauth
      xdotool imagemagick fonts-wqy-microhei ninja-build cmake python3 clang
      libclang-rt-14-dev dpkg-dev googletest file libpng-dev)
[ "${TESSALY_BENCH:-0}" = 1 ] && need+=(nginx-light curl)

missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
src_ok=1
grep -q '^Types:.*deb-src' /etc/apt/sources.list.d/debian.sources 2>/dev/null || src_ok=0

if [ ${#missing[@]} -eq 0 ] && [ $src_ok = 1 ]; then
  exit 0
fi

SUDO=""
[ "$(id -u)" = 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
if [ $src_ok = 0 ] && [ -f /etc/apt/sources.list.d/debian.sources ]; then
  $SUDO sed -i 's/^Types: deb$/Types: deb deb-src/' /etc/apt/sources.list.d/debian.sources
fi
$SUDO apt-get update -qq
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
