#include "skin/control_window.h"

namespace qm::skin::detail {

bool IsLiveWindow(HWND) {
    return false;
}

void InvalidateWindowRect(HWND, const RECT&) {}

}  // namespace qm::skin::detail
