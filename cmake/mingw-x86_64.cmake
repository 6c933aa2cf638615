# 64-bit Windows build of the same sources (MinGW-w64 x86_64, posix threads).
# It runs the Windows tests under wine64 on machines that cannot execute
# 32-bit code; the product itself is the 32-bit build.
set(TESSALY_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine64)
