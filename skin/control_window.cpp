#include "skin/control_window.h"

namespace qm::skin::detail {

bool IsLiveWindow(HWND window) {
    return window && IsWindow(window);
}

void InvalidateWindowRect(HWND window, const RECT& rect) {
    // The background is erased too, so a control that turned transparent or
    // was hidden does not leave its old pixels behind.
    InvalidateRect(window, &rect, TRUE);
}

}  // namespace qm::skin::detail
