# 32-bit Windows target through MinGW-w64 (posix thread model): the product.
set(TESSALY_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
