// Geometry and handle types of the control tree. On Windows these are the
// system's own; elsewhere (the native test build) stand-ins with the same
// layout, so that the tree and its layout build and run under the sanitizers.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdint>

struct RECT {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

struct POINT {
    int32_t x;
    int32_t y;
};

typedef struct HWND__* HWND;
#endif
