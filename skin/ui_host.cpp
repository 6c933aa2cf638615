#include "skin/ui_host.h"

#include <windowsx.h>

#include <algorithm>
#include <new>

#include "skin/bitmap.h"
#include "skin/surface.h"
#include "skin/window_impl.h"

namespace qm::skin {

namespace {

// Holds a control across a call into the tree, which may destroy the window
// and with it this host; afterwards only locals may be used.
class Hold {
  public:
    explicit Hold(Control* control) : control_(control) {
        if (control_) {
            control_->AddRef();
        }
    }
    ~Hold() {
        if (control_) {
            control_->Release();
        }
    }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

  private:
    Control* control_;
};

bool Contains(const RECT& r, int x, int y) {
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

// Visible and enabled all the way up: what the mouse and keyboard can reach.
void CollectFocusable(Control* control, std::vector<Control*>* out) {
    if (!control->IsVisible() || !control->IsEnabled()) {
        return;
    }
    if (control->IsFocusable()) {
        out->push_back(control);
    }
    for (size_t i = 0; i < control->ChildCount(); ++i) {
        CollectFocusable(control->ChildAt(i), out);
    }
}

Control* FindFirst(Control* control, bool (*match)(const Control*, const void*), const void* arg) {
    if (match(control, arg)) {
        return control;
    }
    for (size_t i = 0; i < control->ChildCount(); ++i) {
        if (Control* found = FindFirst(control->ChildAt(i), match, arg)) {
            return found;
        }
    }
    return nullptr;
}

// A top-down 32-bit DIB header for a surface of this size.
BITMAPINFO DibHeader(int32_t width, int32_t height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

}  // namespace

UiHost::UiHost(WindowImpl* window) : window_(window) {}

UiHost::~UiHost() {
    ReleaseAccessible();
    if (focus_) {
        focus_->Release();
    }
    if (surface_) {
        surface_->Release();
    }
    delete[] filters_;
}

HWND UiHost::Window() const {
    return window_ ? window_->hwnd() : nullptr;
}

int UiHost::SetRoot(Control* root) {
    root_ = root;
    if (root_) {
        root_->SetUiHost(this);
    }
    return 1;
}

int UiHost::AddFilter(MessageFilter* filter) {
    if (filter_count_ == filter_capacity_) {
        const size_t capacity = filter_capacity_ ? filter_capacity_ * 2 : 1;
        auto* grown = new (std::nothrow) MessageFilter*[capacity];
        if (!grown) {
            return 0;
        }
        for (size_t i = 0; i < filter_count_; ++i) {
            grown[i] = filters_[i];
        }
        delete[] filters_;
        filters_ = grown;
        filter_capacity_ = capacity;
    }
    filters_[filter_count_++] = filter;
    return 1;
}

int UiHost::RemoveFilter(MessageFilter* filter) {
    for (size_t i = 0; i < filter_count_; ++i) {
        if (filters_[i] == filter) {
            for (size_t j = i + 1; j < filter_count_; ++j) {
                filters_[j - 1] = filters_[j];
            }
            --filter_count_;
            return 1;
        }
    }
    return 0;
}

int UiHost::ProcessMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) {
    LRESULT ignored = 0;
    if (!result) {
        result = &ignored;
    }
    handled_ = 0;
    for (size_t i = filter_count_; i-- > 0;) {
        // A filter may remove filters while it is asked.
        if (i >= filter_count_) {
            continue;
        }
        if (filters_[i]->Filter(hwnd, message, wparam, lparam)) {
            // The filter may have destroyed the window and this host.
            return 1;
        }
    }

    Control* root = root_;
    // Whether any control below the root listens (asked only where it
    // matters: the walk covers the whole tree).
    auto listening = [root] { return root && root->ListenersInSubtree() > 0; };
    // Where the tree calls out to the application, only locals are used
    // afterwards: a handler may have destroyed the window and this host.
    switch (message) {
        case WM_CREATE:
        case WM_INITDIALOG:
            window_gone_ = false;
            if (root) {
                root->AttachWindow(hwnd);
            }
            break;
        case WM_DESTROY:
            OnDestroy();
            return 0;
        case WM_SIZE:
            if (root) {
                Hold keep(root);
                root->Layout(MakeRect(0, 0, LOWORD(lparam), HIWORD(lparam)));
            }
            break;
        case WM_PAINT:
            Paint(hwnd);
            *result = 0;
            handled_ = 1;
            break;
        case WM_PRINTCLIENT:
            // What the window shows, into another device context (the movie
            // panel's picture of the skin behind it).
            PaintInto(hwnd, reinterpret_cast<HDC>(wparam));
            *result = 0;
            handled_ = 1;
            break;
        case WM_ERASEBKGND:
            *result = 1;
            handled_ = 1;
            break;
        case WM_SHOWWINDOW:
            if (root) {
                root->OnShowWindow(static_cast<int>(wparam), static_cast<int>(lparam));
            }
            break;
        case WM_SETCURSOR:
            if (root &&
                root->OnSetCursor(reinterpret_cast<HWND>(wparam), LOWORD(lparam), HIWORD(lparam))) {
                *result = 0;
                handled_ = 1;
            }
            break;
        case WM_NCHITTEST: {
            POINT point = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
            ScreenToClient(hwnd, &point);
            int code = HTCLIENT;
            if (root) {
                root->NcHitTest(point, &code);
            }
            *result = code;
            handled_ = 1;
            break;
        }
        case WM_KEYDOWN: {
            if (listening()) {
                Hold keep(root);
                root->OnKeyDown(LOWORD(wparam), LOWORD(lparam), HIWORD(lparam));
            }
            // The keyboard's own part: auto-repeat (bit 30) presses nothing.
            const bool repeat = (lparam & (1 << 30)) != 0;
            if (wparam == VK_TAB && root) {
                MoveFocus(GetKeyState(VK_SHIFT) < 0);
            } else if ((wparam == VK_SPACE || wparam == VK_RETURN) && !repeat && focus_) {
                Control* focus = focus_;
                Hold keep(focus);
                if (focus->IsFocusable()) {
                    focus->DoDefaultAction();
                }
                return 0;
            }
            break;
        }
        case WM_MOUSEMOVE:
            if (listening()) {
                const int x = GET_X_LPARAM(lparam);
                const int y = GET_Y_LPARAM(lparam);
                Hold keep(root);
                Control* hovered = HoverControl();
                if (hovered && !Contains(hovered->GetBounds(), x, y)) {
                    Hold keep_hovered(hovered);
                    hovered->MouseLeave();
                    SetHoverControl(nullptr);
                }
                root->OnMouseMove(static_cast<uint32_t>(wparam), x, y);
                return 0;
            }
            break;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
            if (listening()) {
                // A click handler may close the window: this host may be gone
                // when the tree returns.
                Hold keep(root);
                const int x = GET_X_LPARAM(lparam);
                const int y = GET_Y_LPARAM(lparam);
                if (message == WM_LBUTTONDOWN) {
                    root->OnLButtonDown(static_cast<uint32_t>(wparam), x, y);
                } else {
                    root->OnLButtonUp(static_cast<uint32_t>(wparam), x, y);
                }
                return 0;
            }
            break;
        case WM_MOUSELEAVE:
            EndHover();
            return 0;
        case WM_GETOBJECT:
            // The object id arrives sign-extended on 64-bit systems: compare
            // it as the 32-bit value it is.
            if (static_cast<LONG>(static_cast<DWORD>(lparam)) == OBJID_CLIENT && !window_gone_) {
                const LRESULT object = AccessibleObject(wparam);
                if (object > 0) {
                    *result = object;
                    handled_ = 1;
                }
            }
            break;
        default:
            break;
    }
    return handled_;
}

void UiHost::EndHover() {
    Control* hovered = HoverControl();
    if (hovered) {
        Hold keep(hovered);
        hovered->MouseLeave();
        SetHoverControl(nullptr);
    }
}

void UiHost::OnDestroy() {
    // A reader asking while the window goes gets the system's answer, not a
    // new object that nothing would detach.
    window_gone_ = true;
    ReleaseAccessible();
    SetHoverControl(nullptr);
    if (focus_) {
        Control* focus = focus_;
        focus_ = nullptr;
        focus->Release();
    }
    if (root_) {
        Control* root = root_;
        // The tree is gone with the window: later messages see no root.
        root_ = nullptr;
        Hold keep(root);
        root->Destroy();
    }
}

void UiHost::Paint(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    PaintInto(hwnd, dc);
    EndPaint(hwnd, &ps);
}

void UiHost::PaintInto(HWND hwnd, HDC dc) {
    RECT client = {0, 0, 0, 0};
    if (dc && root_ && GetClientRect(hwnd, &client) && !RectIsEmpty(client)) {
        const int32_t width = RectWidth(client);
        const int32_t height = RectHeight(client);
        if (!surface_ || surface_->width() != width || surface_->height() != height) {
            if (surface_) {
                surface_->Release();
            }
            surface_ = CreateSurface(width, height);
            ++surfaces_created_;
        }
        root_->Paint(surface_);
        if (surface_) {
            BITMAPINFO info = DibHeader(width, height);
            if (surface_->stride() == width * 4) {
                SetDIBitsToDevice(dc, 0, 0, width, height, 0, 0, 0, height, surface_->pixels(),
                                  &info, DIB_RGB_COLORS);
            } else {
                // Rows with gaps: a compact copy, drawn 1:1.
                std::vector<uint8_t> compact(static_cast<size_t>(width) * height * 4);
                for (int32_t y = 0; y < height; ++y) {
                    const uint8_t* row = surface_->Row(y);
                    std::copy(row, row + width * 4,
                              compact.data() + static_cast<size_t>(y) * width * 4);
                }
                StretchDIBits(dc, 0, 0, width, height, 0, 0, width, height, compact.data(), &info,
                              DIB_RGB_COLORS, SRCCOPY);
            }
        }
    }
}

void UiHost::SetFocusControl(Control* control) {
    if (control == focus_) {
        return;
    }
    Control* old = focus_;
    focus_ = control;
    if (control) {
        control->AddRef();
        control->SetFocused(1);
    }
    if (old) {
        old->SetFocused(0);
        old->Release();
    }
    HWND hwnd = Window();
    if (control && hwnd) {
        NotifyWinEvent(EVENT_OBJECT_FOCUS, hwnd, OBJID_CLIENT, control->GetId());
    }
}

Control* UiHost::MoveFocus(bool backwards) {
    if (!root_) {
        return nullptr;
    }
    std::vector<Control*> order;
    CollectFocusable(root_, &order);
    if (order.empty()) {
        SetFocusControl(nullptr);
        return nullptr;
    }
    size_t next = backwards ? order.size() - 1 : 0;
    for (size_t i = 0; i < order.size(); ++i) {
        if (order[i] == focus_) {
            next = backwards ? (i + order.size() - 1) % order.size() : (i + 1) % order.size();
            break;
        }
    }
    SetFocusControl(order[next]);
    return order[next];
}

Control* UiHost::FirstButton() const {
    if (!root_) {
        return nullptr;
    }
    std::vector<Control*> order;
    CollectFocusable(root_, &order);
    for (Control* control : order) {
        // The close button is Esc's, not Enter's.
        if (control->GetAccessRole() == Control::AccessRole::kPushButton &&
            control->GetName() != "closebtn") {
            return control;
        }
    }
    return nullptr;
}

Control* UiHost::FindByName(const char* name) const {
    if (!root_ || !name) {
        return nullptr;
    }
    return FindFirst(
        root_,
        [](const Control* c, const void* n) { return c->GetName() == static_cast<const char*>(n); },
        name);
}

void UiHost::ControlChanged(Control* control, Change change) {
    HWND hwnd = Window();
    if (!control || !hwnd) {
        return;
    }
    DWORD event = 0;
    switch (change) {
        case Change::kName:
            event = EVENT_OBJECT_NAMECHANGE;
            break;
        case Change::kValue:
            event = EVENT_OBJECT_VALUECHANGE;
            break;
        case Change::kState:
            event = EVENT_OBJECT_STATECHANGE;
            break;
        case Change::kShown:
            event = EVENT_OBJECT_SHOW;
            break;
        case Change::kHidden:
            event = EVENT_OBJECT_HIDE;
            break;
    }
    NotifyWinEvent(event, hwnd, OBJID_CLIENT, control->GetId());
}

void UiHost::ReleaseAccessible() {
    if (accessible_) {
        // A reader may keep the object: it must not reach the tree any more.
        IAccessible* accessible = accessible_;
        accessible_ = nullptr;
        DetachTreeAccessible(accessible);
        accessible->Release();
    }
}

LRESULT UiHost::AccessibleObject(WPARAM wparam) {
    if (!accessible_) {
        accessible_ = CreateTreeAccessible(this);
        if (!accessible_) {
            return 0;
        }
    }
    return LresultFromObject(__uuidof(IAccessible), wparam, accessible_);
}

HWND UiHost::AccessibleWindow() {
    return Window();
}

Control* UiHost::AccessibleRoot() {
    return root_;
}

Control* UiHost::AccessibleFocus() {
    return focus_;
}

}  // namespace qm::skin
