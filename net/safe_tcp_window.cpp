#include "net/safe_tcp_window.h"

#include "net/asyn_tcp_socket.h"

namespace qm::win32::net {

namespace {

const wchar_t kWindowClass[] = L"tessaly_asyn_tcp_socket";

HINSTANCE module_instance() {
    HMODULE module = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&module_instance), &module);
    return module;
}

}  // namespace

safe_tcp_window::safe_tcp_window(asyn_tcp_socket* socket) : socket_(socket) {}

safe_tcp_window::~safe_tcp_window() = default;

WNDPROC safe_tcp_window::GetWindowProc() {
    return &safe_tcp_window::window_proc;
}

HWND safe_tcp_window::Create() {
    // Registered once per process; every thread shares the class.
    static const ATOM window_class = [] {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = &safe_tcp_window::window_proc;
        wc.hInstance = module_instance();
        wc.lpszClassName = kWindowClass;
        ATOM atom = RegisterClassExW(&wc);
        if (atom == 0 && GetLastError() == ERROR_CLASS_ALREADY_EXISTS) {
            atom = 1;
        }
        return atom;
    }();
    if (window_class == 0) {
        return nullptr;
    }
    // A message-only window: it is never shown, needs no display, and sees no
    // broadcasts, yet takes the posted Winsock notifications like any other.
    return CreateWindowExW(0, kWindowClass, L"asyn_tcp_socket", WS_POPUP, CW_USEDEFAULT,
                           CW_USEDEFAULT, 0, 0, HWND_MESSAGE, nullptr, module_instance(), this);
}

BOOL safe_tcp_window::ProcessWindowMessage(HWND, UINT message, WPARAM wparam, LPARAM lparam,
                                           LRESULT& result, DWORD map_id) {
    if (map_id != 0) {
        return FALSE;
    }
    switch (message) {
        case WM_DESTROY:
            in_destroy_ = true;
            return FALSE;
        case WM_QUERYENDSESSION:
            result = 1;
            return TRUE;
        case socket_notification_message:
            if (socket_) {
                socket_->handle_socket_notification(wparam, lparam);
            }
            result = 0;
            return TRUE;
        case lookup_complete_message:
            if (socket_) {
                socket_->handle_lookup_complete(wparam, lparam);
            }
            result = 0;
            return TRUE;
        case WM_TIMER:
            if (socket_) {
                socket_->handle_timer(wparam);
            }
            result = 0;
            return TRUE;
        case deferred_error_message:
            if (socket_) {
                socket_->handle_deferred_error(wparam);
            }
            result = 0;
            return TRUE;
        default:
            return FALSE;
    }
}

void safe_tcp_window::OnFinalMessage(HWND) {
    if (delete_on_final_message_) {
        delete_on_final_message_ = false;
        delete this;
    }
}

void safe_tcp_window::destroy_safely() {
    socket_ = nullptr;
    if (m_hWnd && IsWindow(m_hWnd)) {
        delete_on_final_message_ = true;
        if (!in_destroy_) {
            // May delete this object before it returns.
            DestroyWindow(m_hWnd);
        }
        return;
    }
    if (final_message_pending_) {
        delete_on_final_message_ = true;
        return;
    }
    delete this;
}

LRESULT CALLBACK safe_tcp_window::window_proc(HWND window, UINT message, WPARAM wparam,
                                              LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
        auto* self = static_cast<safe_tcp_window*>(create->lpCreateParams);
        self->m_hWnd = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<safe_tcp_window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) {
        return DefWindowProcW(window, message, wparam, lparam);
    }

    ++self->dispatch_depth_;
    LRESULT result = 0;
    if (!self->ProcessWindowMessage(window, message, wparam, lparam, result, 0)) {
        result = DefWindowProcW(window, message, wparam, lparam);
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->m_hWnd = nullptr;
        self->final_message_pending_ = true;
    }
    --self->dispatch_depth_;

    // The final call waits until no outer frame of this window is running.
    if (self->final_message_pending_ && self->dispatch_depth_ == 0) {
        self->final_message_pending_ = false;
        self->OnFinalMessage(window);
    }
    return result;
}

}  // namespace qm::win32::net
