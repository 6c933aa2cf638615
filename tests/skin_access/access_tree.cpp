#include "tests/skin_access/access_tree.h"

#include <atomic>

#include "skin/layout_control.h"

namespace qm::skin::test {

namespace {

std::atomic<int> g_alive{0};
// Ids of their own, far from the factory's, so that no test depends on the
// factory having been set up.
std::atomic<int32_t> g_next_id{70000};

const wchar_t kClassName[] = L"TessalyAccessTestWindow";

template <class T>
T* Named(T* control, const char* name, const RECT& rect) {
    control->SetIdentity(g_next_id++, 0);
    control->SetName(name);
    control->SetLayout("absolute", &rect);
    return control;
}

TestControl* MakeControl(Control::AccessRole role, const wchar_t* text, const char* name,
                         const RECT& rect) {
    TestControl* control = new TestControl(role, text);
    control->AddRef();
    return Named(control, name, rect);
}

// Adds child below parent and gives up the creator's reference: the tree
// holds it from then on.
template <class T>
T* Adopt(Control* parent, T* child) {
    parent->AddChild(child);
    child->Release();
    return child;
}

void PaintControl(HDC dc, Control* control) {
    for (size_t i = control->ChildCount(); i-- > 0;) {
        Control* child = control->ChildAt(i);
        if (child->IsVisible()) {
            PaintControl(dc, child);
        }
    }
    if (control->GetParent() == nullptr ||
        control->GetAccessRole() == Control::AccessRole::kGraphic) {
        return;
    }
    RECT bounds = control->GetBounds();
    std::wstring text = control->GetAccessName();
    if (control->GetAccessRole() == Control::AccessRole::kCheckBox) {
        text = (control->IsAccessChecked() ? L"[x] " : L"[ ] ") + text;
    }
    if (!control->GetAccessValue().empty()) {
        text += L" " + control->GetAccessValue();
    }
    if (control->ChildCount() == 0) {
        FillRect(dc, &bounds,
                 GetSysColorBrush(control->IsEnabled() ? COLOR_WINDOW : COLOR_BTNFACE));
    }
    FrameRect(dc, &bounds, GetSysColorBrush(COLOR_WINDOWFRAME));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(control->IsEnabled() ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &bounds,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

}  // namespace

TestControl::TestControl(AccessRole role, std::wstring text) : role_(role), text_(std::move(text)) {
    ++g_alive;
}

TestControl::~TestControl() {
    --g_alive;
}

int TestControl::Alive() {
    return g_alive;
}

int CallListener::OnLButtonDown(Control* control, uint32_t, int, int) {
    if (handler_) {
        handler_(control, Event::kDown);
    }
    return 1;
}

int CallListener::OnLButtonUp(Control* control, uint32_t, int, int) {
    if (handler_) {
        handler_(control, Event::kUp);
    }
    return 1;
}

SampleTree BuildSampleTree() {
    using Role = Control::AccessRole;
    SampleTree t;
    LayoutControl* root = new LayoutControl();
    root->AddRef();
    root->SetIdentity(g_next_id++, 0);
    root->SetName("UIRoot");
    root->SetLayout("inherite", nullptr);
    t.root = root;

    LayoutControl* group = new LayoutControl();
    group->AddRef();
    t.group = Adopt(root, Named(group, "ButtonGroup", RECT{10, 10, 210, 100}));
    t.button = Adopt(
        group, MakeControl(Role::kPushButton, L"开始", "ActionButton", RECT{20, 20, 100, 50}));
    t.button->SetFocusable(1);
    t.check =
        Adopt(group, MakeControl(Role::kCheckBox, L"自动", "AutoCheck", RECT{110, 20, 200, 50}));
    t.check->SetFocusable(1);
    t.progress =
        Adopt(root, MakeControl(Role::kProgressBar, L"进度", "Progress", RECT{10, 110, 210, 130}));
    t.progress->SetValue(L"30%");
    t.title =
        Adopt(root, MakeControl(Role::kStaticText, L"标题", "Title", RECT{10, 140, 210, 160}));
    t.hidden =
        Adopt(root, MakeControl(Role::kLink, L"链接", "HiddenLink", RECT{10, 170, 100, 190}));
    t.hidden->SetVisible(0);
    t.disabled =
        Adopt(root, MakeControl(Role::kPushButton, L"禁用", "OffButton", RECT{220, 10, 300, 40}));
    t.disabled->SetFocusable(1);
    t.disabled->SetEnabled(0);
    LayoutControl* hidden_group = new LayoutControl();
    hidden_group->AddRef();
    t.hidden_group = Adopt(root, Named(hidden_group, "HiddenGroup", RECT{220, 60, 300, 100}));
    t.hidden_group->SetVisible(0);
    t.inner_text = Adopt(t.hidden_group, MakeControl(Role::kStaticText, L"里面", "InnerText",
                                                     RECT{220, 60, 300, 80}));
    t.background = Adopt(root, MakeControl(Role::kGraphic, L"", "ImageBkg", RECT{0, 0, 320, 200}));
    return t;
}

std::vector<Control*> AllControls(Control* root) {
    std::vector<Control*> all{root};
    for (size_t i = 0; i < root->ChildCount(); ++i) {
        std::vector<Control*> below = AllControls(root->ChildAt(i));
        all.insert(all.end(), below.begin(), below.end());
    }
    return all;
}

TestWindow::~TestWindow() {
    Destroy();
    if (root_) {
        root_->Destroy();
        root_->Release();
        root_ = nullptr;
    }
}

bool TestWindow::Create(const wchar_t* title, Control* root, int x, int y) {
    root_ = root;
    static bool registered = false;
    if (!registered) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = &TestWindow::Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.lpszClassName = kClassName;
        registered = RegisterClassExW(&wc) != 0;
    }
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT frame{0, 0, 320, 200};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    window_ = CreateWindowExW(0, kClassName, title, style, x, y, frame.right - frame.left,
                              frame.bottom - frame.top, nullptr, nullptr, GetModuleHandleW(nullptr),
                              this);
    if (!window_) {
        return false;
    }
    if (root_) {
        root_->AttachWindow(window_);
        RECT client;
        GetClientRect(window_, &client);
        root_->Layout(client);
    }
    ShowWindow(window_, SW_SHOWNORMAL);
    UpdateWindow(window_);
    return true;
}

void TestWindow::ReplaceRoot(Control* root) {
    Control* old = root_;
    root_ = root;
    focus_ = nullptr;
    if (root_ && window_) {
        root_->AttachWindow(window_);
        RECT client;
        GetClientRect(window_, &client);
        root_->Layout(client);
        InvalidateRect(window_, nullptr, TRUE);
    }
    if (old) {
        old->Destroy();
        old->Release();
    }
}

void TestWindow::Destroy() {
    if (window_) {
        DestroyWindow(window_);
    }
}

LRESULT CALLBACK TestWindow::Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
        auto* self = static_cast<TestWindow*>(create->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<TestWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) {
        return DefWindowProcW(window, message, wparam, lparam);
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->window_ = nullptr;
        return DefWindowProcW(window, message, wparam, lparam);
    }
    return self->Handle(message, wparam, lparam);
}

LRESULT TestWindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_GETOBJECT:
            // The id may arrive sign-extended in a 64-bit lParam.
            if (static_cast<DWORD>(lparam) == static_cast<DWORD>(OBJID_CLIENT)) {
                ++object_requests_;
                if (!accessible_) {
                    accessible_ = CreateTreeAccessible(this);
                }
                if (accessible_) {
                    return LresultFromObject(__uuidof(IAccessible), wparam, accessible_);
                }
            }
            break;
        case WM_PAINT:
            Paint();
            return 0;
        case WM_DESTROY:
            if (accessible_) {
                DetachTreeAccessible(accessible_);
                accessible_->Release();
                accessible_ = nullptr;
            }
            focus_ = nullptr;
            if (root_) {
                Control* root = root_;
                root_ = nullptr;
                root->Destroy();
                root->Release();
            }
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window_, message, wparam, lparam);
}

void TestWindow::Paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window_, &ps);
    RECT client;
    GetClientRect(window_, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    HFONT font = CreateFontW(-14, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH, L"SimSun");
    HGDIOBJ old = SelectObject(dc, font);
    if (root_) {
        PaintControl(dc, root_);
    }
    SelectObject(dc, old);
    DeleteObject(font);
    EndPaint(window_, &ps);
}

}  // namespace qm::skin::test
