#include "skin/window_impl.h"

namespace qm::skin {

namespace {

// Messages whose dialog-procedure answer is the value itself rather than
// TRUE with the result in DWLP_MSGRESULT.
bool DialogReturnsValue(UINT message) {
    switch (message) {
        case WM_INITDIALOG:
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
        case WM_COMPAREITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
        case WM_QUERYDRAGICON:
            return true;
        default:
            return false;
    }
}

}  // namespace

WindowImpl* WindowImpl::FromWindow(HWND hwnd) {
    if (!hwnd) {
        return nullptr;
    }
    return reinterpret_cast<WindowImpl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

LRESULT WindowImpl::Dispatch(WindowImpl* impl, HWND hwnd, UINT message, WPARAM wparam,
                             LPARAM lparam, bool* consumed) {
    LRESULT result = 0;
    *consumed = impl->ProcessWindowMessage(hwnd, message, wparam, lparam, &result);
    return result;
}

LRESULT CALLBACK WindowImpl::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    WindowImpl* impl = nullptr;
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
        impl = static_cast<WindowImpl*>(create->lpCreateParams);
        if (impl) {
            impl->hwnd_ = hwnd;
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(impl));
        }
    } else {
        impl = FromWindow(hwnd);
    }
    if (!impl) {
        return DefWindowProcW(hwnd, message, wparam, lparam);
    }
    if (message == WM_NCDESTROY) {
        bool consumed = false;
        Dispatch(impl, hwnd, message, wparam, lparam, &consumed);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        impl->hwnd_ = nullptr;
        const LRESULT result = DefWindowProcW(hwnd, message, wparam, lparam);
        // May delete the object: nothing of it is touched afterwards.
        impl->OnFinalMessage(hwnd);
        return result;
    }
    bool consumed = false;
    const LRESULT result = Dispatch(impl, hwnd, message, wparam, lparam, &consumed);
    // A handler may have destroyed the window and its object: only the
    // locals are used from here on.
    return consumed ? result : DefWindowProcW(hwnd, message, wparam, lparam);
}

INT_PTR CALLBACK WindowImpl::DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    WindowImpl* impl = nullptr;
    if (message == WM_INITDIALOG) {
        impl = reinterpret_cast<WindowImpl*>(lparam);
        if (impl) {
            impl->hwnd_ = hwnd;
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(impl));
        }
    } else {
        impl = FromWindow(hwnd);
    }
    if (!impl) {
        return FALSE;
    }
    bool consumed = false;
    const LRESULT result = Dispatch(impl, hwnd, message, wparam, lparam, &consumed);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        impl->hwnd_ = nullptr;
        impl->OnFinalMessage(hwnd);
        return FALSE;
    }
    if (!consumed) {
        // WM_INITDIALOG: FALSE, because the handler sets the focus itself.
        return FALSE;
    }
    if (DialogReturnsValue(message)) {
        return static_cast<INT_PTR>(result);
    }
    // The window may be gone already (a handler ended and destroyed it).
    if (IsWindow(hwnd)) {
        SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, static_cast<LONG_PTR>(result));
    }
    return TRUE;
}

}  // namespace qm::skin
