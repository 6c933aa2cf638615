#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Idempotent and
# quick when everything is already there.
set -euo pipefail

need=(g++-mingw-w64-i686-posix mingw-w64-i686-dev wine wine32:i386 xvfb xauth
      xdotool imagemagick fonts-wqy-microhei ninja-build cmake python3 clang
      libclang-rt-14-dev dpkg-dev googletest file qemu-user-static)
[ "${TESSALY_BENCH:-0}" = 1 ] && need+=(nginx-light curl)

missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
src_ok=1
grep -q '^Types:.*deb-src' /etc/apt/sources.list.d/debian.sources 2>/dev/null || src_ok=0

# Some virtual machines run 64-bit user code only: there a 32-bit ELF (the
# 32-bit Wine loader) fails with "Exec format error". Such machines run the
# 32-bit side of Wine through qemu's user-mode emulator, registered with
# binfmt_misc so that Wine's own exec calls find it.
ensure_i386_exec() {
  local probe=/usr/lib/wine/wine
  [ -x $probe ] || return 0
  if $probe --version >/dev/null 2>&1; then
    return 0
  fi
  local misc=/proc/sys/fs/binfmt_misc
  [ -e $misc/register ] || mount -t binfmt_misc binfmt_misc $misc
  if [ ! -e $misc/qemu-i386 ]; then
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' >$misc/register
  fi
  if ! $probe --version >/dev/null 2>&1; then
    echo "setup: 32-bit programs cannot run on this machine" >&2
    return 1
  fi
  echo "setup: 32-bit programs run through qemu-i386 on this machine"
}

if [ ${#missing[@]} -eq 0 ] && [ $src_ok = 1 ]; then
  ensure_i386_exec
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
ensure_i386_exec
