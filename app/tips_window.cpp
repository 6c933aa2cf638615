#include "app/tips_window.h"

#include <windowsx.h>

#include "host/host_paths.h"
#include "skin/ax_host_control.h"
#include "skin/button_control.h"
#include "skin/control_factory.h"
#include "skin/image_cache.h"
#include "skin/image_control.h"
#include "skin/image_strip.h"
#include "skin/text_control.h"

using namespace qm::skin;

namespace {

RECT Rect(int l, int t, int r, int b) {
    RECT rect = {l, t, r, b};
    return rect;
}

// A system button's three frames: normal, hover, pressed.
void SetButtonImages(ButtonControl* button, const wchar_t* strip_path) {
    ImageStrip strip(strip_path, 3);
    const int slots = 3;
    for (int i = 0; i < slots; ++i) {
        Ref<Bitmap> frame = Ref<Bitmap>::Adopt(strip.FrameBitmap(i));
        const ImageDescriptor image = ImageDescriptor::FromBitmap(frame.get());
        if (i == 0) {
            button->SetNormalImage(image);
        } else if (i == 1) {
            button->SetHoverImage(image);
        } else {
            button->SetPressedImage(image);
        }
    }
}

// The double-click strip at the top of the window and the system buttons
// in its right end.
constexpr int kCaptionHeight = 30;
constexpr int kSystemButtonsWidth = 115;
constexpr int kSystemButtonsBottom = 21;

}  // namespace

TipsWindow::TipsWindow() = default;

TipsWindow::~TipsWindow() {
    if (window_.hwnd()) {
        window_.RemoveFilter(this);
        DestroyWindow(window_.hwnd());
    }
    ReleaseTree();
    if (script_) {
        script_->Detach();
        script_->Release();
    }
    if (icon_) {
        DestroyIcon(icon_);
    }
}

Control* TipsWindow::Add(int32_t type, const char* name, const char* mode, const RECT* rect,
                         Control* parent) {
    return owned_.Add(type, name, mode, rect, parent);
}

void TipsWindow::BuildTree(const std::wstring& title) {
    root_ = Add(kLayoutControlType, "UIRoot", "inherite", nullptr, nullptr);
    auto* bkg =
        static_cast<ImageControl*>(Add(kImageControlType, "ImageBkg", "inherite", nullptr, root_));
    if (!root_ || !bkg) {
        return;
    }
    bkg->SetImage(
        ImageDescriptor::FromStretch(GetStretchImage(L"images\\framebkg.png", kStretchNineGrid)));
    bkg->SetHitTestCode(HTCAPTION);

    RECT rect = Rect(10, 0, 180, 30);
    if (auto* text = static_cast<TextControl*>(
            Add(kTextControlType, "TextTitle", "relative:ltlt", &rect, bkg))) {
        text->SetText(title.c_str());
        text->SetFormat(4);
        text->SetHitTestCode(HTCAPTION);
    }

    const struct {
        const char* name;
        int left;
        int right;
        const wchar_t* strip;
    } system[] = {
        {"ImageSysBtnSep1", -115, -112, nullptr}, {"minibtn", -112, -79, L"images\\mini.png"},
        {"ImageSysBtnSep2", -79, -76, nullptr},   {"maxbtn", -76, -43, L"images\\max.png"},
        {"ImageSysBtnSep3", -43, -40, nullptr},   {"closebtn", -40, -1, L"images\\close.png"},
    };
    for (const auto& item : system) {
        rect = Rect(item.left, 1, item.right, 22);
        if (!item.strip) {
            if (auto* sep = static_cast<ImageControl*>(
                    Add(kImageControlType, item.name, "relative:rtrt", &rect, bkg))) {
                sep->SetImage(ImageDescriptor::FromBitmap(GetBitmap(L"images\\syssep.png")));
            }
            continue;
        }
        auto* button = static_cast<ButtonControl*>(
            Add(kButtonControlType, item.name, "relative:rtrt", &rect, bkg));
        if (!button) {
            continue;
        }
        SetButtonImages(button, item.strip);
        button->AddListener(this);
        if (std::string(item.name) == "maxbtn") {
            max_button_ = button;
        }
    }

    rect = Rect(5, 30, -4, -4);
    page_ = static_cast<AxHostControl*>(
        Add(kAxHostControlType, "testBkg", "relative:ltrb", &rect, bkg));
    if (page_) {
        page_->SetHitTestCode(HTCLIENT);
    }
}

HWND TipsWindow::Create(HWND owner, const std::wstring& title, TipsSource* source) {
    if (window_.hwnd()) {
        return window_.hwnd();
    }
    BuildTree(title);
    if (!root_) {
        return nullptr;
    }
    window_.SetRoot(root_);
    window_.AddFilter(this);
    const RECT rect = Rect(0, 0, kWidth, kHeight);
    if (!window_.Create(owner ? owner : GetDesktopWindow(), rect, title.c_str())) {
        return nullptr;
    }
    closed_ = 0;
    normal_size_ = 1;
    window_.CentreWindow();
    ShowWindow(window_.hwnd(), SW_SHOW);
    UpdateWindow(window_.hwnd());
    SetIcon();

    if (url_.empty() || !page_) {
        return window_.hwnd();
    }
    script_ = TipsScript::Create(source);
    page_->SetExternal(script_);
    page_->Navigate(url_.c_str());
    return window_.hwnd();
}

void TipsWindow::SetIcon() {
    const std::wstring path = program_directory() + L"downloader.ico";
    icon_ = static_cast<HICON>(LoadImageW(nullptr, path.c_str(), IMAGE_ICON,
                                          GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON),
                                          LR_LOADFROMFILE));
    if (icon_) {
        SendMessageW(window_.hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
        SendMessageW(window_.hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
    }
}

void TipsWindow::ShowAgain() {
    if (HWND hwnd = window_.hwnd()) {
        ShowWindow(hwnd, SW_RESTORE);
        SetForegroundWindow(hwnd);
    }
}

void TipsWindow::ToggleSize() {
    HWND hwnd = window_.hwnd();
    if (!hwnd || !max_button_) {
        return;
    }
    if (normal_size_) {
        RECT work;
        if (!GetWindowRect(hwnd, &saved_rect_) ||
            !SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) {
            return;
        }
        SetButtonImages(max_button_, L"images\\restore.png");
        normal_size_ = 0;
        MoveWindow(hwnd, work.left, work.top, work.right - work.left, work.bottom - work.top, TRUE);
    } else {
        SetButtonImages(max_button_, L"images\\max.png");
        normal_size_ = 1;
        MoveWindow(hwnd, saved_rect_.left, saved_rect_.top, saved_rect_.right - saved_rect_.left,
                   saved_rect_.bottom - saved_rect_.top, TRUE);
    }
    // The window class keeps the pixels that stay inside a resized window;
    // the tree's layout changed under all of them.
    InvalidateRect(hwnd, nullptr, FALSE);
}

int TipsWindow::OnLButtonUp(Control* control, uint32_t, int, int) {
    if (!control) {
        return 0;
    }
    const std::string name = control->GetName();
    HWND hwnd = window_.hwnd();
    if (!hwnd) {
        return 0;
    }
    if (name == "closebtn") {
        closed_ = 1;
        DestroyWindow(hwnd);
    } else if (name == "minibtn") {
        ShowWindow(hwnd, SW_MINIMIZE);
    } else if (name == "maxbtn") {
        ToggleSize();
    }
    return 0;
}

int TipsWindow::Filter(HWND hwnd, UINT message, WPARAM, LPARAM lparam) {
    switch (message) {
        case WM_CLOSE:
            closed_ = 1;
            return 0;
        case WM_DESTROY:
            closed_ = 1;
            // The page goes with the window; its script must not reach the
            // source any more.
            if (script_) {
                script_->Detach();
            }
            return 0;
        case WM_NCLBUTTONDBLCLK: {
            RECT window;
            if (!GetWindowRect(hwnd, &window)) {
                return 0;
            }
            const int x = GET_X_LPARAM(lparam) - window.left;
            const int y = GET_Y_LPARAM(lparam) - window.top;
            const int width = window.right - window.left;
            if (x <= 0 || x >= width || y <= 0 || y >= kCaptionHeight) {
                return 0;
            }
            if (!(x > width - kSystemButtonsWidth && y <= kSystemButtonsBottom)) {
                ToggleSize();
            }
            return 1;
        }
        default:
            return 0;
    }
}

void TipsWindow::ReleaseTree() {
    owned_.ReleaseAll();
    root_ = nullptr;
    page_ = nullptr;
    max_button_ = nullptr;
}

TipsWindow* OpenTipsWindow(std::unique_ptr<TipsWindow>* slot, HWND owner, const std::wstring& url,
                           const std::wstring& title, TipsSource* source) {
    if (!slot) {
        return nullptr;
    }
    if (*slot && !(*slot)->IsClosed() && (*slot)->hwnd()) {
        (*slot)->ShowAgain();
        return slot->get();
    }
    slot->reset(new TipsWindow());
    (*slot)->SetUrl(url);
    (*slot)->Create(owner, title, source);
    return slot->get();
}
