// The floor the window benchmark measures against: the smallest Win32
// program that shows one painted window of the main window's size and
// style, and nothing else. Whatever Wine costs to start a process, create a
// window and map it is in its figures; whatever the client adds is not.
//
//   bench_plain_window.exe [TITLE]    (default "plain window")
#include <windows.h>

namespace {

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(hwnd, &paint);
            RECT client;
            GetClientRect(hwnd, &client);
            // Two colours and a line of text: a painted window is told from
            // a blank one by its pixels.
            HBRUSH top = CreateSolidBrush(RGB(32, 64, 128));
            HBRUSH bottom = CreateSolidBrush(RGB(224, 224, 232));
            RECT upper = client;
            upper.bottom = client.bottom / 3;
            RECT lower = client;
            lower.top = upper.bottom;
            FillRect(dc, &upper, top);
            FillRect(dc, &lower, bottom);
            DeleteObject(top);
            DeleteObject(bottom);
            SetBkMode(dc, TRANSPARENT);
            DrawTextW(dc, L"plain window", -1, &lower, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
            EndPaint(hwnd, &paint);
            return 0;
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR command_line, int) {
    const wchar_t* title = command_line && *command_line ? command_line : L"plain window";
    WNDCLASSW window_class = {};
    window_class.lpfnWndProc = WindowProc;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.lpszClassName = L"BenchPlainWindow";
    if (!RegisterClassW(&window_class)) {
        return 1;
    }
    // The main window's size and style, centred the same way.
    const int width = 469;
    const int height = 374;
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    HWND hwnd = CreateWindowExW(0, window_class.lpszClassName, title,
                                WS_POPUP | WS_CLIPSIBLINGS | WS_MINIMIZEBOX,
                                work.left + (work.right - work.left - width) / 2,
                                work.top + (work.bottom - work.top - height) / 2, width, height,
                                nullptr, nullptr, instance, nullptr);
    if (!hwnd) {
        return 1;
    }
    ShowWindow(hwnd, SW_SHOW);
    UpdateWindow(hwnd);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
