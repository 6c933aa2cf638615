#!/usr/bin/env bash
# Configures and builds the trees: build.sh [win|native|fuzz|all] (default all).
#   win     build/win      the 32-bit Windows tree (MinGW)
#   native  build/native   portable code under AddressSanitizer and UBSan
#   fuzz    build/fuzz     libFuzzer targets (clang)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
what=${1:-all}
jobs=$(nproc)

build_win() {
  local deps
  deps=$("$root/scripts/build-deps.sh")
  cmake -S "$root" -B "$root/build/win" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DTESSALY_DEPS="$deps" >/dev/null
  cmake --build "$root/build/win" -j "$jobs"
}
build_native() {
  cmake -S "$root" -B "$root/build/native" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DTESSALY_SANITIZE=ON >/dev/null
  cmake --build "$root/build/native" -j "$jobs"
}
build_fuzz() {
  cmake -S "$root" -B "$root/build/fuzz" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTESSALY_SANITIZE=ON \
    -DTESSALY_FUZZ=ON >/dev/null
  cmake --build "$root/build/fuzz" -j "$jobs"
}

case $what in
  win) build_win ;;
  native) build_native ;;
  fuzz) build_fuzz ;;
  all) build_win; build_native; build_fuzz ;;
  *) echo "usage: build.sh [win|native|fuzz|all]" >&2; exit 2 ;;
esac
