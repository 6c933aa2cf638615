// The demo game's installer stand-in. It records that it ran (a line with
// its command line in "<its own path>.ran"), then shows a small window
// saying it would install the game now. The window closes by its close box
// or by itself after two minutes, so that nothing is left running.
#include <windows.h>

#include <string>

namespace {

const wchar_t kClass[] = L"TessalyDemoGameSetup";
const wchar_t kTitle[] = L"泰萨利传说 安装程序";
constexpr UINT_PTR kQuitTimer = 1;
constexpr UINT kLifetimeMs = 120000;

void RecordRun() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH - 5) {
        return;
    }
    const std::wstring marker = std::wstring(path, n) + L".ran";
    HANDLE file = CreateFileW(marker.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    const std::wstring line = std::wstring(GetCommandLineW()) + L"\r\n";
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string bytes(size > 0 ? size : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, &bytes[0], size, nullptr, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size() - 1), &written, nullptr);
    CloseHandle(file);
}

LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            RECT client;
            GetClientRect(hwnd, &client);
            SetBkMode(dc, TRANSPARENT);
            DrawTextW(dc, L"泰萨利传说将安装到这台电脑上。（演示）", -1, &client,
                      DT_CENTER | DT_VCENTER | DT_SINGLELINE);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_TIMER:
            if (wparam == kQuitTimer) {
                DestroyWindow(hwnd);
            }
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    RecordRun();
    WNDCLASSW wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kClass;
    RegisterClassW(&wc);
    HWND hwnd = CreateWindowW(kClass, kTitle, WS_OVERLAPPEDWINDOW, 60, 60, 420, 160, nullptr,
                              nullptr, instance, nullptr);
    if (!hwnd) {
        return 1;
    }
    SetTimer(hwnd, kQuitTimer, kLifetimeMs, nullptr);
    ShowWindow(hwnd, show);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
