#include "skin/host_window.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "host/critical_section.h"

namespace qm::skin {

namespace {

using qm::win32::multithread::critical_section;
using qm::win32::multithread::scoped_lock;

const wchar_t kWindowClass[] = L"TessalySkinWindow";

// The window registry: handles to host objects, for lookups from any
// thread (dialog procedures included).
struct Registry {
    critical_section lock;
    std::map<HWND, HostBase*> hosts;
};

Registry& TheRegistry() {
    static Registry* registry = new Registry();
    return *registry;
}

void Unregister(HWND hwnd) {
    Registry& r = TheRegistry();
    scoped_lock hold(r.lock);
    r.hosts.erase(hwnd);
}

class HoldControl {
  public:
    explicit HoldControl(Control* c) : c_(c) {
        if (c_) {
            c_->AddRef();
        }
    }
    ~HoldControl() {
        if (c_) {
            c_->Release();
        }
    }
    HoldControl(const HoldControl&) = delete;
    HoldControl& operator=(const HoldControl&) = delete;

  private:
    Control* c_;
};

// Places hwnd's window rectangle centred over area, kept inside the work
// area of the monitor it lands on.
void CentreOver(HWND hwnd, const RECT& area) {
    RECT mine;
    if (!GetWindowRect(hwnd, &mine)) {
        return;
    }
    const LONG width = mine.right - mine.left;
    const LONG height = mine.bottom - mine.top;
    LONG x = area.left + (area.right - area.left - width) / 2;
    LONG y = area.top + (area.bottom - area.top - height) / 2;
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    RECT target = {x, y, x + width, y + height};
    if (GetMonitorInfoW(MonitorFromRect(&target, MONITOR_DEFAULTTONEAREST), &info)) {
        const RECT& work = info.rcWork;
        x = std::max(work.left, std::min(x, work.right - width));
        y = std::max(work.top, std::min(y, work.bottom - height));
    }
    SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CentreOverOwner(HWND hwnd) {
    HWND owner = GetWindow(hwnd, GW_OWNER);
    RECT area;
    if (owner && IsWindowVisible(owner) && !IsIconic(owner) && GetWindowRect(owner, &area)) {
        CentreOver(hwnd, area);
        return;
    }
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY), &info)) {
        CentreOver(hwnd, info.rcWork);
    }
}

}  // namespace

// ---------------------------------------------------------------------------

void MouseTracker::Process(HWND hwnd, UINT message) {
    switch (message) {
        case WM_MOUSEMOVE:
            if (!tracking_) {
                TRACKMOUSEEVENT request = {};
                request.cbSize = sizeof request;
                request.dwFlags = TME_LEAVE;
                request.hwndTrack = hwnd;
                request.dwHoverTime = 100;
                tracking_ = TrackMouseEvent(&request) ? 1 : 0;
            }
            break;
        case WM_MOUSELEAVE:
            tracking_ = 0;
            break;
        case WM_DESTROY:
            Unregister(hwnd);
            break;
        default:
            break;
    }
}

// ---------------------------------------------------------------------------

HostBase* LookupHostByWindow(HWND hwnd) {
    Registry& r = TheRegistry();
    scoped_lock hold(r.lock);
    auto it = r.hosts.find(hwnd);
    return it == r.hosts.end() ? nullptr : it->second;
}

HostBase::HostBase() : ui_host_(this) {}

HostBase::~HostBase() = default;

void HostBase::Register(HWND hwnd) {
    Registry& r = TheRegistry();
    scoped_lock hold(r.lock);
    r.hosts[hwnd] = this;
}

bool HostBase::ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                    LRESULT* result) {
    if (OnOwnMessage(hwnd, message, wparam, lparam, result)) {
        return true;
    }
    tracker_.Process(hwnd, message);
    return ui_host_.ProcessMessage(hwnd, message, wparam, lparam, result) != 0;
}

void HostBase::OnFinalMessage(HWND hwnd) {
    Unregister(hwnd);
}

// ---------------------------------------------------------------------------

HostWindow::HostWindow() = default;

HostWindow::~HostWindow() {
    if (hwnd()) {
        // The filters (often the object that owns this one) may be half
        // gone already: the window goes without asking them.
        GetUiHost().RemoveAllFilters();
        DestroyWindow(hwnd());
    }
}

HWND HostWindow::Create(HWND parent, const RECT& rect, const wchar_t* caption, DWORD style,
                        DWORD ex_style) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    if (!GetClassInfoExW(instance, kWindowClass, &wc)) {
        wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &WindowImpl::WindowProc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
        wc.lpszClassName = kWindowClass;
        if (!RegisterClassExW(&wc)) {
            return nullptr;
        }
    }
    return CreateWindowExW(ex_style, kWindowClass, caption ? caption : L"", style, rect.left,
                           rect.top, rect.right - rect.left, rect.bottom - rect.top, parent,
                           nullptr, instance, static_cast<WindowImpl*>(this));
}

void HostWindow::CentreWindow() {
    if (hwnd()) {
        CentreOverOwner(hwnd());
    }
}

bool HostWindow::OnOwnMessage(HWND hwnd, UINT message, WPARAM, LPARAM, LRESULT*) {
    if (message == WM_CREATE) {
        Register(hwnd);
    }
    return false;
}

// ---------------------------------------------------------------------------

HostDialog::HostDialog() = default;

HostDialog::~HostDialog() {
    if (hwnd()) {
        // The filters (often the object that owns this one) may be half
        // gone already: the window goes without asking them.
        GetUiHost().RemoveAllFilters();
        DestroyWindow(hwnd());
    }
}

int HostDialog::SetCaption(const wchar_t* caption) {
    if (!caption) {
        return 0;
    }
    caption_ = caption;
    return 1;
}

HGLOBAL HostDialog::BuildTemplate() const {
    constexpr size_t kSize = 1024;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, kSize);
    if (!block) {
        return nullptr;
    }
    auto* bytes = static_cast<uint8_t*>(GlobalLock(block));
    if (!bytes) {
        GlobalFree(block);
        return nullptr;
    }
    DLGTEMPLATE header = {};
    header.style = 0x90080000;  // WS_POPUP | WS_VISIBLE | WS_SYSMENU
    header.dwExtendedStyle = 0;
    header.cdit = 0;
    header.x = 0;
    header.y = 0;
    header.cx = 1;
    header.cy = 1;
    // DLGTEMPLATE is 18 bytes; the menu (none) and class (standard) words
    // that follow stay zero.
    std::memcpy(bytes, &header, 18);
    size_t at = 18 + 2 + 2;
    // The real caption is set at initialisation.
    const char placeholder[] = "My Dialog";
    wchar_t wide[51] = {};
    const int n = MultiByteToWideChar(CP_ACP, 0, placeholder, -1, wide, 50);
    for (int i = 0; i < n && wide[i]; ++i) {
        bytes[at++] = static_cast<uint8_t>(wide[i] & 0xFF);
        bytes[at++] = static_cast<uint8_t>(wide[i] >> 8);
    }
    GlobalUnlock(block);
    return block;
}

INT_PTR HostDialog::DoModal(HWND owner) {
    HGLOBAL block = BuildTemplate();
    if (!block) {
        return -1;
    }
    auto* dialog_template = static_cast<const DLGTEMPLATE*>(GlobalLock(block));
    INT_PTR result = -1;
    if (dialog_template) {
        result = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), dialog_template, owner,
                                         &WindowImpl::DialogProc,
                                         reinterpret_cast<LPARAM>(static_cast<WindowImpl*>(this)));
        GlobalUnlock(block);
    }
    GlobalFree(block);
    return result;
}

void HostDialog::End(INT_PTR result) {
    if (hwnd()) {
        EndDialog(hwnd(), result);
    }
}

void HostDialog::OnInitDialog(HWND hwnd) {
    Register(hwnd);
    SetWindowPos(hwnd, nullptr, 0, 0, rect_.right - rect_.left, rect_.bottom - rect_.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (centre_) {
        CentreOverOwner(hwnd);
    }
    SetWindowTextW(hwnd, caption_.c_str());
    // No child window takes the keys: the dialog itself does, for the
    // keyboard focus among its controls.
    SetFocus(hwnd);
}

void HostDialog::Cancel(HWND hwnd) {
    Control* close = GetUiHost().FindByName("closebtn");
    if (!close) {
        EndDialog(hwnd, IDCANCEL);
        return;
    }
    // The close button's handler may end the dialog and free this object.
    HoldControl keep(close);
    close->DoDefaultAction();
}

void HostDialog::Accept() {
    UiHost& host = GetUiHost();
    Control* target = host.FocusedControl();
    if (!target || !target->IsFocusable()) {
        target = host.FirstButton();
    }
    if (target) {
        HoldControl keep(target);
        target->DoDefaultAction();
    }
}

bool HostDialog::OnOwnMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                              LRESULT* result) {
    switch (message) {
        case WM_INITDIALOG:
            OnInitDialog(hwnd);
            return false;
        case WM_GETDLGCODE:
            // Tab, Enter and Esc come here rather than to the dialog manager.
            *result = DLGC_WANTALLKEYS;
            return true;
        case WM_KEYDOWN:
            if (lparam & (1 << 30)) {
                return false;  // auto-repeat
            }
            if (wparam == VK_ESCAPE) {
                Cancel(hwnd);
                return true;
            }
            if (wparam == VK_RETURN && !GetUiHost().FocusedControl()) {
                Accept();
                return true;
            }
            return false;
        case WM_COMMAND:
            // The dialog manager's own translation of Esc, Enter and the
            // system menu's close.
            if (lparam != 0 && reinterpret_cast<HWND>(lparam) != hwnd) {
                return false;  // from a child window
            }
            if (LOWORD(wparam) == IDCANCEL) {
                Cancel(hwnd);
                return true;
            }
            if (LOWORD(wparam) == IDOK) {
                Accept();
                return true;
            }
            return false;
        default:
            return false;
    }
}

}  // namespace qm::skin
