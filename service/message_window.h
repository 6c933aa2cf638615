#pragma once
// The message-only windows through which the service and its worker thread
// talk to each other.

#include <windows.h>

// Registers the class (a second registration of the same name is harmless)
// and creates a message-only window of it; `owner` is kept with the window.
HWND create_message_window(const wchar_t* class_name, WNDPROC proc, void* owner);

// In the window procedure: the owner given at creation, or null before it is
// known.
template <typename Owner>
Owner* message_window_owner(HWND window, UINT message, LPARAM l) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(l);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    return reinterpret_cast<Owner*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}
