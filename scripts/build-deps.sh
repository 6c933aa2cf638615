#!/usr/bin/env bash
# Builds expat, zlib, minizip, libpng and GoogleTest for the MinGW target from
# Debian's source packages, into a cache outside the source tree. Prints the
# prefix. A finished prefix is reused as it is.
#   build-deps.sh [i686|x86_64]   (default i686, the product's target)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
arch=${1:-i686}
cache=${TESSALY_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tessaly}
key=deps-mingw-$arch-v1
prefix=$cache/$key
if [ -f "$prefix/.done" ]; then
  echo "$prefix"
  exit 0
fi

work=$cache/src-$key
rm -rf "$work" "$prefix"
mkdir -p "$work" "$prefix"
cd "$work"
{
  apt-get source -t bookworm --download-only expat libpng1.6 zlib
  for dsc in expat_*.dsc libpng1.6_*.dsc zlib_*.dsc; do
    dpkg-source -x "$dsc"
  done
} >"$work/fetch.log" 2>&1 || { cat "$work/fetch.log" >&2; exit 1; }

tc=$here/cmake/mingw-$arch.cmake
common=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$tc" -DTESSALY_DEPS="$prefix"
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix")
log=$work/build.log
step() { echo "== $*" >>"$log"; "$@" >>"$log" 2>&1 || { tail -n 40 "$log" >&2; exit 1; }; }

# zlib: the static library only (the Debian tarball lacks win32/ for the DLL).
zsrc=$(ls -d zlib-*/ | head -n1)
step cmake -S "$zsrc" -B b-zlib "${common[@]}"
step cmake --build b-zlib --target zlibstatic
mkdir -p "$prefix/lib" "$prefix/include/minizip"
cp b-zlib/libzlibstatic.a "$prefix/lib/libz.a"
cp "$zsrc"/zlib.h b-zlib/zconf.h "$prefix/include/"

# minizip: the reading side of zlib's contrib, with the Win32 file functions.
mz=$work/minizip
mkdir -p "$mz"
cp "$zsrc"/contrib/minizip/{unzip.c,unzip.h,ioapi.c,ioapi.h,iowin32.c,iowin32.h,crypt.h} "$mz/"
cat >"$mz/CMakeLists.txt" <<'CM'
cmake_minimum_required(VERSION 3.16)
project(minizip C)
find_package(ZLIB REQUIRED)
add_library(minizip STATIC unzip.c ioapi.c iowin32.c)
target_link_libraries(minizip PRIVATE ZLIB::ZLIB)
install(TARGETS minizip ARCHIVE DESTINATION lib)
install(FILES unzip.h ioapi.h iowin32.h DESTINATION include/minizip)
CM
step cmake -S "$mz" -B b-minizip "${common[@]}" -DZLIB_USE_STATIC_LIBS=ON
step cmake --build b-minizip --target install

# expat 2.5 (Debian's patched tree needs XML_DTD defined as a value).
esrc=$(ls -d expat-*/ | head -n1)
sed -i 's/^#cmakedefine XML_DTD$/#cmakedefine XML_DTD 1/' "$esrc"/expat/expat_config.h.cmake 2>/dev/null || true
edir=$esrc; [ -f "$esrc/expat/CMakeLists.txt" ] && edir=$esrc/expat
step cmake -S "$edir" -B b-expat "${common[@]}" -DEXPAT_SHARED_LIBS=OFF \
  -DEXPAT_BUILD_TOOLS=OFF -DEXPAT_BUILD_EXAMPLES=OFF -DEXPAT_BUILD_TESTS=OFF \
  -DEXPAT_BUILD_DOCS=OFF -DEXPAT_BUILD_PKGCONFIG=OFF
step cmake --build b-expat --target install

# libpng 1.6.
psrc=$(ls -d libpng1.6-*/ | head -n1)
step cmake -S "$psrc" -B b-png "${common[@]}" -DPNG_SHARED=OFF -DPNG_STATIC=ON \
  -DPNG_EXECUTABLES=OFF -DPNG_TESTS=OFF -DZLIB_USE_STATIC_LIBS=ON \
  -DZLIB_LIBRARY="$prefix/lib/libz.a" -DZLIB_INCLUDE_DIR="$prefix/include"
step cmake --build b-png --target install

# GoogleTest and GoogleMock, from the sources Debian's googletest package ships.
step cmake -S /usr/src/googletest -B b-gtest "${common[@]}" -DBUILD_GMOCK=ON \
  -DBUILD_SHARED_LIBS=OFF -Dgtest_disable_pthreads=OFF
step cmake --build b-gtest --target install

rm -rf "$work"
touch "$prefix/.done"
echo "$prefix"
