// The two things the control tree asks of the real window: whether it still
// exists and to repaint a rectangle of it. Windows builds get the system
// calls; the native build has no windows, so nothing is ever invalidated.
#pragma once

#include "skin/control_types.h"

namespace qm::skin::detail {

bool IsLiveWindow(HWND window);
void InvalidateWindowRect(HWND window, const RECT& rect);

}  // namespace qm::skin::detail
