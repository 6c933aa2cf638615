#include "service/message_window.h"

HWND create_message_window(const wchar_t* class_name, WNDPROC proc, void* owner) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.lpszClassName = class_name;
    RegisterClassExW(&wc);
    return CreateWindowExW(0, class_name, L"", WS_POPUP, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           instance, owner);
}
