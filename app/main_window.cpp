#include "app/main_window.h"

#include "app/download_controller.h"
#include "app/game_config.h"
#include "host/host_paths.h"
#include "service/dl_api.h"
#include "skin/ax_host_control.h"
#include "skin/button_control.h"
#include "skin/check_control.h"
#include "skin/control_factory.h"
#include "skin/flash_control.h"
#include "skin/image_cache.h"
#include "skin/image_control.h"
#include "skin/image_strip.h"
#include "skin/progress_control.h"
#include "skin/stretch_image.h"
#include "skin/text_control.h"
#include "skin/textlink_control.h"

using namespace qm::skin;

namespace {

constexpr int kWidth = 469;
constexpr int kHeight = 374;
constexpr DWORD kStyle = WS_POPUP | WS_CLIPSIBLINGS | WS_MINIMIZEBOX;  // 0x84020000
constexpr UINT_PTR kBackgroundTimer = 102;
constexpr UINT kBackgroundPeriod = 7000;

RECT Rect(int l, int t, int r, int b) {
    RECT rect = {l, t, r, b};
    return rect;
}

ImageDescriptor FrameOf(ImageStrip& strip, int index) {
    Ref<Bitmap> frame = Ref<Bitmap>::Adopt(strip.FrameBitmap(index));
    return ImageDescriptor::FromBitmap(frame.get());
}

ImageDescriptor StretchOf(ImageStrip& strip, int index) {
    Ref<StretchImage> frame =
        Ref<StretchImage>::Adopt(strip.FrameStretch(index, kStretchThreeHorizontal));
    return ImageDescriptor::FromStretch(frame.get());
}

// Title-strip buttons: three frames drawn at their own size.
void SystemButtonImages(ButtonControl* button, const wchar_t* strip_file) {
    ImageStrip strip(MainWindow::ArtworkPath(strip_file), 3);
    button->SetNormalImage(FrameOf(strip, 0));
    button->SetHoverImage(FrameOf(strip, 1));
    button->SetPressedImage(FrameOf(strip, 2));
}

// Panel buttons: each frame of the strip stretched to the button's width;
// first is the frame of the normal image, followed by hover, pressed and
// disabled.
void StretchButtonImages(ButtonControl* button, const wchar_t* strip_file, int frames, int first) {
    ImageStrip strip(MainWindow::ArtworkPath(strip_file), frames);
    button->SetNormalImage(StretchOf(strip, first));
    button->SetHoverImage(StretchOf(strip, first + 1));
    button->SetPressedImage(StretchOf(strip, first + 2));
    button->SetDisabledImage(StretchOf(strip, first + 3));
}

}  // namespace

MainWindow::MainWindow() = default;

MainWindow::~MainWindow() {
    Teardown();
}

HWND MainWindow::Handle() const {
    return window_.hwnd();
}

std::wstring MainWindow::ArtworkPath(const wchar_t* relative) {
    std::wstring path = relative;
    const bool absolute = path.size() > 1 && (path[1] == L':' || (path[0] == L'\\'));
    return absolute ? path : program_directory() + path;
}

template <class T>
T* MainWindow::Add(int type, const char* name, const char* mode, const RECT* rect,
                   Control* parent) {
    return static_cast<T*>(owned_.Add(type, name, mode, rect, parent));
}

bool MainWindow::Create(HINSTANCE) {
    GameConfig& config = GameConfig::Instance();
    backgrounds_ = config.BackgroundList();
    controller_ = std::make_unique<DownloadController>(this);
    dl_set_event_sink(controller_.get());
    BuildTree();

    window_.SetRoot(root_);
    window_.AddFilter(controller_.get());
    const RECT rect = Rect(0, 0, kWidth, kHeight);
    if (!window_.Create(nullptr, rect, nullptr, kStyle, 0)) {
        return false;
    }
    HWND hwnd = window_.hwnd();
    SetWindowTextW(hwnd, config.WindowTitle().c_str());
    CentreInWorkArea();
    ShowWindow(hwnd, SW_SHOW);
    UpdateWindow(hwnd);

    switch (config.BackgroundKind()) {
        case GameConfig::kRotatingImages:
            if (backgrounds_.size() > 1) {
                SetTimer(hwnd, kBackgroundTimer, kBackgroundPeriod, nullptr);
            }
            break;
        case GameConfig::kMovie:
            // A file name is found beside the program; an address is the
            // player's to fetch.
            if (background_ && !backgrounds_.empty()) {
                const std::wstring& movie = backgrounds_[0];
                const std::wstring source =
                    movie.find(L"://") == std::wstring::npos ? ArtworkPath(movie.c_str()) : movie;
                static_cast<FlashControl*>(background_)->LoadMovie(source.c_str());
            }
            break;
        case GameConfig::kWebPage:
            if (background_ && !backgrounds_.empty()) {
                static_cast<AxHostControl*>(background_)->Navigate(backgrounds_[0].c_str());
            }
            break;
    }
    return true;
}

void MainWindow::BuildTree() {
    GameConfig& config = GameConfig::Instance();
    root_ = Add<Control>(kLayoutControlType, "UIRoot", "inherite", nullptr, nullptr);
    auto* bkg = Add<ImageControl>(kImageControlType, "ImageBkg", "inherite", nullptr, root_);
    bkg->SetImage(ImageDescriptor::FromStretch(
        GetStretchImage(ArtworkPath(L"images\\framebkg.png"), kStretchNineGrid)));
    bkg->SetHitTestCode(2);
    bkg->AddListener(controller_.get());

    const RECT art = Rect(5, 30, -4, 230);
    switch (config.BackgroundKind()) {
        case GameConfig::kRotatingImages: {
            auto* image =
                Add<ImageControl>(kImageControlType, "testBkg", "relative:ltrt", &art, bkg);
            if (image && !backgrounds_.empty()) {
                image->SetImage(
                    ImageDescriptor::FromBitmap(GetBitmap(ArtworkPath(backgrounds_[0].c_str()))));
            }
            background_ = image;
            break;
        }
        case GameConfig::kMovie:
            if (ControlFactory::Instance().Find(kFlashControlType)) {
                background_ =
                    Add<Control>(kFlashControlType, "testBkg", "relative:ltrt", &art, bkg);
            }
            break;
        case GameConfig::kWebPage:
            if (ControlFactory::Instance().Find(kAxHostControlType)) {
                background_ =
                    Add<Control>(kAxHostControlType, "testBkg", "relative:ltrt", &art, bkg);
            }
            break;
    }
    if (background_) {
        background_->SetHitTestCode(1);
    }

    const RECT none = Rect(0, 0, 0, 0);
    tips_link_ =
        Add<TextlinkControl>(kTextlinkControlType, "TextlinkTips", "relative:ltlt", &none, bkg);
    if (tips_link_) {
        // The caption exists once the link has a text.
        tips_link_->SetText(L"");
        if (TextControl* caption = tips_link_->Caption()) {
            caption->SetColour(255, 255, 255);
        }
        tips_link_->SetVisible(0);
        tips_link_->AddListener(controller_.get());
    }

    BuildTitleStrip(bkg);
    BuildBottomPanel(bkg);
}

void MainWindow::BuildTitleStrip(Control* bkg) {
    const RECT title_rect = Rect(10, 0, 180, 30);
    auto* title =
        Add<TextControl>(kTextControlType, "TextTitle", "relative:ltlt", &title_rect, bkg);
    title->SetText(GameConfig::Instance().WindowTitle().c_str());
    title->SetFormat(4);
    title->SetHitTestCode(2);

    Bitmap* separator = GetBitmap(ArtworkPath(L"images\\syssep.png"));
    const RECT sep1_rect = Rect(-79, 1, -76, 22);
    Add<ImageControl>(kImageControlType, "ImageSysBtnSep1", "relative:rtrt", &sep1_rect, bkg)
        ->SetImage(ImageDescriptor::FromBitmap(separator));
    const RECT mini_rect = Rect(-76, 1, -43, 22);
    auto* mini =
        Add<ButtonControl>(kButtonControlType, "minibtn", "relative:rtrt", &mini_rect, bkg);
    SystemButtonImages(mini, L"images\\mini.png");
    mini->AddListener(controller_.get());
    const RECT sep2_rect = Rect(-43, 1, -40, 22);
    Add<ImageControl>(kImageControlType, "ImageSysBtnSep2", "relative:rtrt", &sep2_rect, bkg)
        ->SetImage(ImageDescriptor::FromBitmap(separator));
    const RECT close_rect = Rect(-40, 1, -1, 22);
    auto* close =
        Add<ButtonControl>(kButtonControlType, "closebtn", "relative:rtrt", &close_rect, bkg);
    SystemButtonImages(close, L"images\\close.png");
    close->AddListener(controller_.get());
}

void MainWindow::BuildBottomPanel(Control* bkg) {
    GameConfig& config = GameConfig::Instance();
    const RECT bottom_rect = Rect(4, -144, -3, -4);
    auto* bottom =
        Add<ImageControl>(kImageControlType, "ImageBkgBottom", "relative:lbrb", &bottom_rect, bkg);
    bottom->SetImage(ImageDescriptor::FromStretch(
        GetStretchImage(ArtworkPath(L"images\\framebkgbottom.png"), kStretchThreeHorizontal)));

    ImageStrip dir_strip(ArtworkPath(L"images\\dirbkg.png"), 5);
    const RECT dir_bkg_rect = Rect(8, 13, -98, 42);
    auto* dir_bkg =
        Add<ImageControl>(kImageControlType, "ImageBkgDir", "relative:ltrt", &dir_bkg_rect, bottom);
    dir_bkg->SetImage(StretchOf(dir_strip, 0));
    auto* dir = Add<TextControl>(kTextControlType, "TextDir", "inherite", nullptr, dir_bkg);
    dir->SetText((config.DefaultPath() + config.GameTitle()).c_str());
    dir->SetFormat(4);

    const RECT dir_button_rect = Rect(-86, 13, -8, 42);
    auto* dir_button = Add<ButtonControl>(kButtonControlType, "DirButton", "relative:rtrt",
                                          &dir_button_rect, bottom);
    StretchButtonImages(dir_button, L"images\\dirbkg.png", 5, 1);
    dir_button->SetText(L"更改目录");
    dir_button->AddListener(controller_.get());

    const RECT tips_rect = Rect(8, 45, -8, 75);
    Add<TextControl>(kTextControlType, "TextTips1", "relative:ltrt", &tips_rect, bottom)
        ->SetFormat(4);
    Add<TextControl>(kTextControlType, "TextTips2", "relative:ltrt", &tips_rect, bottom)
        ->SetFormat(6);

    const RECT progress_rect = Rect(8, 75, -8, 91);
    progress_ = Add<ProgressControl>(kProgressControlType, "DownloadProgress", "relative:ltrt",
                                     &progress_rect, bottom);
    ImageStrip bar(ArtworkPath(L"images\\progress.png"), 2);
    progress_->SetBackgroundImage(StretchOf(bar, 0));
    progress_->SetFillImage(StretchOf(bar, 1));
    progress_->SetRange(0, 400);

    if (config.ShowFervo()) {
        const RECT none = Rect(0, 0, 0, 0);
        install_check_ = Add<CheckboxControl>(kCheckboxControlType, "InstallCheck", "relative:lblb",
                                              &none, bottom);
        ImageStrip boxes(ArtworkPath(L"images\\checkbox.png"), 5);
        for (int state = 0; state < 4; ++state) {
            install_check_->SetBoxImage(state, FrameOf(boxes, state));
        }
        install_check_->SetCheckImage(FrameOf(boxes, 4));
        install_check_->SetText(config.FervoText().c_str());
        install_check_->SetBoxSize(14);
        int width = 0;
        if (TextControl* caption = install_check_->Caption()) {
            width = caption->MeasureText().cx;
        }
        const RECT check_rect = Rect(8, -34, width + 24, -18);
        install_check_->SetLayout("relative:lblb", &check_rect);
        install_check_->SetChecked(config.InstallAccelerator() ? 1 : 0);
        install_check_->AddListener(controller_.get());
    }

    const RECT cover_rect = Rect(-215, -41, -105, -8);
    auto* cover =
        Add<ButtonControl>(kButtonControlType, "CoverButton", "relative:rbrb", &cover_rect, bottom);
    StretchButtonImages(cover, L"images\\button1.png", 4, 0);
    cover->SetText(L"切换Torvane7下载");
    cover->SetVisible(0);
    cover->AddListener(controller_.get());

    const RECT action_rect = Rect(-98, -41, -8, -8);
    auto* action = Add<ButtonControl>(kButtonControlType, "ActionButton", "relative:rbrb",
                                      &action_rect, bottom);
    StretchButtonImages(action, L"images\\button2.png", 4, 0);
    action->SetText(L"开始下载");
    action->AddListener(controller_.get());
}

void MainWindow::CentreInWorkArea() {
    HWND hwnd = window_.hwnd();
    RECT work = Rect(0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT window;
    GetWindowRect(hwnd, &window);
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    int x = work.left + (work.right - work.left - width) / 2;
    int y = work.top + (work.bottom - work.top - height) / 2;
    // A work area smaller than the window keeps its top-left corner visible.
    x = x + width > work.right ? work.right - width : x;
    y = y + height > work.bottom ? work.bottom - height : y;
    x = x < work.left ? work.left : x;
    y = y < work.top ? work.top : y;
    SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::Teardown() {
    if (controller_) {
        window_.RemoveFilter(controller_.get());
        dl_set_event_sink(nullptr);
    }
    if (window_.hwnd()) {
        // The controller is detached: destroying the window now asks no one.
        window_.GetUiHost().RemoveAllFilters();
        DestroyWindow(window_.hwnd());
    }
    if (root_) {
        root_->Destroy();
    }
    owned_.ReleaseAll();
    root_ = nullptr;
    background_ = nullptr;
    progress_ = nullptr;
    install_check_ = nullptr;
    tips_link_ = nullptr;
    controller_.reset();
}

Control* MainWindow::Find(const char* name) const {
    return owned_.Find(name);
}

TextControl* MainWindow::Text(const char* name) const {
    Control* control = Find(name);
    return control && control->GetTypeId() == kTextControlType ? static_cast<TextControl*>(control)
                                                               : nullptr;
}

ButtonControl* MainWindow::Button(const char* name) const {
    Control* control = Find(name);
    return control && control->GetTypeId() == kButtonControlType
               ? static_cast<ButtonControl*>(control)
               : nullptr;
}

void MainWindow::Redraw(const char* name) const {
    if (Control* control = Find(name)) {
        control->Invalidate();
    }
}

void MainWindow::Relayout(Control* control) {
    if (!control) {
        return;
    }
    Control* parent = control->GetParent();
    if (parent) {
        control->Layout(parent->GetBounds());
    } else if (HWND hwnd = control->GetHostWindow()) {
        RECT client;
        GetClientRect(hwnd, &client);
        control->Layout(client);
    }
    control->Invalidate();
}

void MainWindow::NextBackground() {
    if (backgrounds_.empty() || !background_ ||
        GameConfig::Instance().BackgroundKind() != GameConfig::kRotatingImages) {
        return;
    }
    background_index_ = (background_index_ + 1) % backgrounds_.size();
    static_cast<ImageControl*>(background_)
        ->SetImage(ImageDescriptor::FromBitmap(
            GetBitmap(ArtworkPath(backgrounds_[background_index_].c_str()))));
    background_->Invalidate();
}
