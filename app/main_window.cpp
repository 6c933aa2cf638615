#include "app/main_window.h"

#include <shellapi.h>

#include <cwchar>

#include "app/download_controller.h"
#include "app/game_config.h"
#include "res/resource.h"
#include "service/dl_api.h"

namespace {

const wchar_t kClassName[] = L"TessalyMainWindow";
const UINT kTrayCallback = WM_USER + 102;  // 1126
const UINT kTrayIconId = 145;
const int kWidth = 469;
const int kHeight = 374;

}  // namespace

MainWindow::MainWindow() = default;

MainWindow::~MainWindow() {
    if (hwnd_) {
        DestroyWindow(hwnd_);
    }
}

bool MainWindow::Create(HINSTANCE instance) {
    instance_ = instance;
    icon_ = LoadIconW(instance, MAKEINTRESOURCEW(IDI_TESSALY));

    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    if (!GetClassInfoExW(instance, kClassName, &wc)) {
        wc.cbSize = sizeof wc;
        wc.style = CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = instance;
        wc.hIcon = icon_;
        wc.hIconSm = icon_;
        wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = kClassName;
        if (!RegisterClassExW(&wc)) {
            return false;
        }
    }

    RECT work = {0, 0, 1024, 768};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int x = work.left + (work.right - work.left - kWidth) / 2;
    const int y = work.top + (work.bottom - work.top - kHeight) / 2;
    controller_ = std::make_unique<DownloadController>(this);
    dl_set_event_sink(controller_.get());
    status_ = L"初始化配置...";

    const std::wstring title = GameConfig::Instance().WindowTitle();
    hwnd_ = CreateWindowExW(0, kClassName, title.c_str(),
                            WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, x, y, kWidth,
                            kHeight, nullptr, nullptr, instance, this);
    if (!hwnd_) {
        return false;
    }
    ShowWindow(hwnd_, SW_SHOW);
    UpdateWindow(hwnd_);
    return true;
}

void MainWindow::Teardown() {
    DeleteTrayIcon();
    controller_.reset();
}

void MainWindow::SetStatus(const std::wstring& text) {
    status_ = text;
    if (hwnd_) {
        InvalidateRect(hwnd_, nullptr, TRUE);
    }
}

void MainWindow::ShowTips(const std::wstring& text) {
    tips_ = text;
    tips_shown_ = true;
    if (hwnd_) {
        InvalidateRect(hwnd_, nullptr, TRUE);
    }
}

LRESULT CALLBACK MainWindow::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    MainWindow* self;
    if (message == WM_NCCREATE) {
        self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (!self) {
        return DefWindowProcW(hwnd, message, wparam, lparam);
    }
    const LRESULT result = self->HandleMessage(message, wparam, lparam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
    }
    return result;
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_CREATE:
            AddTrayIcon();
            return 0;
        case WM_PAINT:
            Paint();
            return 0;
        case WM_CLOSE:
            ShowWindow(hwnd_, SW_HIDE);
            return 0;
        case WM_COMMAND:
            switch (LOWORD(wparam)) {
                case IDM_TRAY_OPEN:
                    ShowWindow(hwnd_, SW_SHOWNORMAL);
                    SetForegroundWindow(hwnd_);
                    return 0;
                case IDM_TRAY_EXIT:
                    DestroyWindow(hwnd_);
                    return 0;
            }
            break;
        case kTrayCallback:
            if (lparam == WM_LBUTTONUP || lparam == WM_LBUTTONDBLCLK) {
                ShowWindow(hwnd_, SW_SHOWNORMAL);
                SetForegroundWindow(hwnd_);
            } else if (lparam == WM_RBUTTONUP) {
                ShowTrayMenu();
            }
            return 0;
        case WM_DESTROY:
            DeleteTrayIcon();
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(hwnd_, message, wparam, lparam);
}

// Until the skinned window arrives: the window title over a plain panel.
void MainWindow::Paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd_, &ps);
    RECT client;
    GetClientRect(hwnd_, &client);
    HBRUSH panel = CreateSolidBrush(RGB(0x1E, 0x6F, 0xD9));
    RECT band = client;
    band.bottom = band.top + 30;
    FillRect(dc, &band, panel);
    DeleteObject(panel);

    HFONT font = CreateFontW(-14, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                             DEFAULT_PITCH, L"SimSun");
    HGDIOBJ old = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    const std::wstring title = GameConfig::Instance().WindowTitle();
    RECT text = band;
    text.left += 10;
    DrawTextW(dc, title.c_str(), -1, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);

    SetTextColor(dc, RGB(0x33, 0x33, 0x33));
    RECT status = {client.left + 10, client.bottom - 60, client.right - 10, client.bottom - 36};
    DrawTextW(dc, status_.c_str(), -1, &status,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    if (tips_shown_) {
        SetTextColor(dc, RGB(0x1E, 0x6F, 0xD9));
        RECT tips = {client.left + 10, client.bottom - 32, client.right - 10, client.bottom - 8};
        DrawTextW(dc, tips_.c_str(), -1, &tips,
                  DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    }
    SelectObject(dc, old);
    DeleteObject(font);
    EndPaint(hwnd_, &ps);
}

void MainWindow::AddTrayIcon() {
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof data;
    data.hWnd = hwnd_;
    data.uID = kTrayIconId;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = kTrayCallback;
    data.hIcon = icon_;
    const std::wstring tip = GameConfig::Instance().WindowTitle();
    wcsncpy(data.szTip, tip.c_str(), sizeof data.szTip / sizeof data.szTip[0] - 1);
    tray_added_ = Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
}

void MainWindow::DeleteTrayIcon() {
    if (!tray_added_) {
        return;
    }
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof data;
    data.hWnd = hwnd_;
    data.uID = kTrayIconId;
    Shell_NotifyIconW(NIM_DELETE, &data);
    tray_added_ = false;
}

void MainWindow::ShowTrayMenu() {
    HMENU menu = LoadMenuW(instance_, MAKEINTRESOURCEW(IDR_TRAY_MENU));
    if (!menu) {
        return;
    }
    POINT at;
    GetCursorPos(&at);
    // The window must be in front for the menu to close when the user
    // clicks elsewhere.
    SetForegroundWindow(hwnd_);
    TrackPopupMenu(GetSubMenu(menu, 0), TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd_, nullptr);
    PostMessageW(hwnd_, WM_NULL, 0, 0);
    DestroyMenu(menu);
}
