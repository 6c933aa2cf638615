#pragma once
// The hidden window through which Winsock tells one asyn_tcp_socket what
// happened. It outlives the socket when the socket goes away inside one of its
// own notifications: the window then deletes itself once the outermost message
// it is handling has returned, never while a frame of its window procedure is
// still on the stack.

#include <windows.h>
#include <winsock2.h>

namespace qm::win32::net {

class asyn_tcp_socket;

// Private messages of the socket window.
constexpr UINT socket_notification_message = WM_USER + 1;  // wParam socket, lParam event|error
constexpr UINT lookup_complete_message = WM_USER + 2;      // wParam lookup handle
constexpr UINT deferred_error_message = WM_USER + 3;       // wParam Winsock error

class safe_tcp_window {
  public:
    explicit safe_tcp_window(asyn_tcp_socket* socket);
    safe_tcp_window(const safe_tcp_window&) = delete;
    safe_tcp_window& operator=(const safe_tcp_window&) = delete;

    virtual BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                      LRESULT& result, DWORD map_id = 0);
    virtual ~safe_tcp_window();
    virtual WNDPROC GetWindowProc();
    virtual void OnFinalMessage(HWND window);

    // Creates the hidden window on the calling thread; null on failure.
    HWND Create();
    HWND m_hWnd = nullptr;

    // Detaches the socket and destroys the window; the object deletes itself
    // now or, when a message of this window is being handled, after it.
    // The caller must not use the object afterwards.
    void destroy_safely();

  private:
    static LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

    asyn_tcp_socket* socket_;
    bool delete_on_final_message_ = false;
    bool in_destroy_ = false;
    // Frames of window_proc currently on the stack for this window, and
    // whether WM_NCDESTROY was seen while the final call is still to come.
    int dispatch_depth_ = 0;
    bool final_message_pending_ = false;
};

}  // namespace qm::win32::net
