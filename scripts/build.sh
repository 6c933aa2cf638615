#!/usr/bin/env bash
# Configures and builds the trees: build.sh [win|win64|native|fuzz|all] [TARGET...].
#   win     build/win      the 32-bit Windows tree (MinGW i686): the product
#   win64   build/win64    the same sources for 64-bit Windows, whose tests run
#                          where 32-bit code cannot
#   native  build/native   portable code under AddressSanitizer and UBSan
#   fuzz    build/fuzz     libFuzzer targets (clang)
#   all     every tree (the default); the Windows tree whose tests cannot
#           run here is built without them
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
what=${1:-all}
[ $# -gt 0 ] && shift
targets=()
for t in "$@"; do targets+=(--target "$t"); done
jobs=$(nproc)

build_windows() {  # arch tree [tests ON|OFF]
  local arch=$1 tree=$2 tests=${3:-ON} deps
  deps=$("$root/scripts/build-deps.sh" "$arch")
  cmake -S "$root" -B "$root/build/$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" -DTESSALY_DEPS="$deps" \
    -DTESSALY_TESTS="$tests" >/dev/null
  cmake --build "$root/build/$tree" -j "$jobs" "${targets[@]}"
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
  # Only the fuzz targets: the rest of this tree is the native tree again.
  local fuzz=()
  [ ${#targets[@]} -gt 0 ] || for t in $(ninja -C "$root/build/fuzz" -t targets all |
      sed -n 's/^\(fuzz_[A-Za-z0-9_]*\): .*/\1/p' | sort -u); do fuzz+=(--target "$t"); done
  cmake --build "$root/build/fuzz" -j "$jobs" "${targets[@]}" "${fuzz[@]}"
}

case $what in
  win) build_windows i686 win ;;
  win64) build_windows x86_64 win64 ;;
  native) build_native ;;
  fuzz) build_fuzz ;;
  all)
    # Both Windows trees build the programs; only the one whose tests this
    # machine's Wine runs builds the tests (see wine-env.sh).
    source "$root/scripts/wine-env.sh"
    if [ "$(tessaly_wine_arch)" = win64 ]; then
      build_windows i686 win OFF; build_windows x86_64 win64 ON
    else
      build_windows i686 win ON; build_windows x86_64 win64 OFF
    fi
    build_native; build_fuzz ;;
  *) echo "usage: build.sh [win|win64|native|fuzz|all]" >&2; exit 2 ;;
esac
