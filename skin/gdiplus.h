#pragma once
// GDI+ with NOMINMAX: its headers use min and max unqualified, as the
// Windows headers' macros once provided, so they get the standard ones.

#include <windows.h>

#include <objidl.h>

#include <algorithm>

namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus

#include <gdiplus.h>
