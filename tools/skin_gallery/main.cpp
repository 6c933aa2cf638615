// skin-gallery: a live window built from the shipped artwork with one of
// each standard control, for trying the skin library by hand (and for the
// tests that drive it with real mouse and keyboard input). Prints one line
// per click, "click <control name>", and "result <n>" when its dialog ends.
//
// The artwork is read as the client reads it, "images\..." relative to the
// current folder: the program changes to its own folder first, where the
// build puts a copy of res/skin.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "skin/button_control.h"
#include "skin/check_control.h"
#include "skin/control_factory.h"
#include "skin/host_window.h"
#include "skin/image_cache.h"
#include "skin/image_control.h"
#include "skin/image_strip.h"
#include "skin/progress_control.h"
#include "skin/skin_startup.h"
#include "skin/text_control.h"
#include "skin/textlink_control.h"

using namespace qm::skin;

namespace {

const wchar_t kTitle[] = L"Tessaly skin gallery";
constexpr int kWidth = 469;
constexpr int kHeight = 420;

void Say(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

// The controls a window builds are kept here, one reference each, and
// released when the window object goes.
class Controls {
  public:
    Controls() = default;
    Controls(const Controls&) = delete;
    Controls& operator=(const Controls&) = delete;
    ~Controls() {
        for (auto it = owned_.rbegin(); it != owned_.rend(); ++it) {
            (*it)->Release();
        }
    }

    // A control of the type laid out by mode and rect, named, added to
    // parent (when given).
    template <class T>
    T* Add(int32_t type, const char* name, const char* mode, const RECT* rect, Control* parent) {
        Control* c = nullptr;
        if (!CreateControl(type, &c)) {
            return nullptr;
        }
        owned_.push_back(c);
        c->SetLayout(mode, rect);
        c->SetName(name);
        if (parent) {
            parent->AddChild(c);
        }
        return static_cast<T*>(c);
    }

  private:
    std::vector<Control*> owned_;
};

RECT Rect(int l, int t, int r, int b) {
    RECT rect = {l, t, r, b};
    return rect;
}

ImageDescriptor Stretch(const wchar_t* path, int32_t type) {
    return ImageDescriptor::FromStretch(GetStretchImage(path, type));
}

ImageDescriptor StripFrame(ImageStrip& strip, int index) {
    Ref<Bitmap> frame = Ref<Bitmap>::Adopt(strip.FrameBitmap(index));
    return ImageDescriptor::FromBitmap(frame.get());
}

ImageDescriptor StripStretch(ImageStrip& strip, int index) {
    Ref<StretchImage> frame =
        Ref<StretchImage>::Adopt(strip.FrameStretch(index, kStretchThreeHorizontal));
    return ImageDescriptor::FromStretch(frame.get());
}

// A button from a four-frame strip (normal, hover, pressed, disabled).
void SkinButton(ButtonControl* b, const wchar_t* strip_path, const wchar_t* caption) {
    ImageStrip strip(strip_path, 4);
    b->SetNormalImage(StripStretch(strip, 0));
    b->SetHoverImage(StripStretch(strip, 1));
    b->SetPressedImage(StripStretch(strip, 2));
    b->SetDisabledImage(StripStretch(strip, 3));
    b->SetText(caption);
}

// A title-bar button from a three-frame strip.
void SystemButton(ButtonControl* b, const wchar_t* strip_path) {
    ImageStrip strip(strip_path, 3);
    b->SetNormalImage(StripFrame(strip, 0));
    b->SetHoverImage(StripFrame(strip, 1));
    b->SetPressedImage(StripFrame(strip, 2));
}

void SkinCheckbox(CheckboxControl* c, const wchar_t* caption) {
    ImageStrip strip(L"images\\checkbox.png", 5);
    for (int i = 0; i < 4; ++i) {
        c->SetBoxImage(i, StripFrame(strip, i));
    }
    c->SetCheckImage(StripFrame(strip, 4));
    c->SetBoxSize(14);
    c->SetText(caption);
}

void SkinRadio(RadioControl* r, const wchar_t* caption) {
    ImageStrip strip(L"images\\radiobutton.png", 5);
    r->SetBoxImage(kStateNormal, StripFrame(strip, 0));
    r->SetBoxImage(kStateHover, StripFrame(strip, 3));
    r->SetBoxImage(kStatePressed, StripFrame(strip, 4));
    r->SetCheckImage(StripFrame(strip, 1));
    r->SetBoxSize(14);
    r->SetText(caption);
}

TextControl* Text(Controls& controls, const char* name, const RECT& rect, Control* parent,
                  const wchar_t* text, uint32_t format = 4) {
    auto* t = controls.Add<TextControl>(kTextControlType, name, "relative:ltlt", &rect, parent);
    t->SetText(text);
    t->SetFormat(format);
    return t;
}

// The frame every skinned window has: a nine-grid background that drags the
// window, a title and a close button. Returns the background, to which the
// window's own controls are added.
ImageControl* Frame(Controls& controls, Control* root, const wchar_t* title,
                    ControlListener* listener) {
    auto* bkg =
        controls.Add<ImageControl>(kImageControlType, "ImageBkg", "inherite", nullptr, root);
    bkg->SetImage(Stretch(L"images\\framebkg.png", kStretchNineGrid));
    bkg->SetHitTestCode(2);
    const RECT close_rect = Rect(-40, 1, -1, 22);
    auto* close = controls.Add<ButtonControl>(kButtonControlType, "closebtn", "relative:rtrt",
                                              &close_rect, bkg);
    SystemButton(close, L"images\\close.png");
    close->AddListener(listener);
    TextControl* caption = Text(controls, "TextTitle", Rect(10, 0, 200, 30), bkg, title);
    caption->SetHitTestCode(2);
    return bkg;
}

// The message-box-like dialog the gallery opens: a text, an icon and two
// buttons; Esc and the close button end it with IDCANCEL.
class GalleryDialog : public ControlListener {
  public:
    INT_PTR Run(HWND owner) {
        Control* root =
            controls_.Add<Control>(kLayoutControlType, "UIRoot", "inherite", nullptr, nullptr);
        ImageControl* bkg = Frame(controls_, root, L"提示", this);
        const RECT icon_rect = Rect(24, 52, 76, 106);
        auto* icon = controls_.Add<ImageControl>(kImageControlType, "ImageIcon", "relative:ltlt",
                                                 &icon_rect, bkg);
        ImageStrip icons(L"images\\msgbox_icon.png", 2);
        icon->SetImage(StripFrame(icons, 0));
        TextControl* message = Text(controls_, "TextMessage", Rect(90, 48, 330, 110), bkg,
                                    L"这是一个皮肤对话框。按“确定”继续，按 Esc 或“取消”关闭。");
        message->SetMultiline(1);
        const RECT ok_rect = Rect(-200, -44, -110, -12);
        auto* ok = controls_.Add<ButtonControl>(kButtonControlType, "okbtn", "relative:rbrb",
                                                &ok_rect, bkg);
        SkinButton(ok, L"images\\button2.png", L"确定");
        ok->AddListener(this);
        const RECT cancel_rect = Rect(-100, -44, -10, -12);
        auto* cancel = controls_.Add<ButtonControl>(kButtonControlType, "cancelbtn",
                                                    "relative:rbrb", &cancel_rect, bkg);
        SkinButton(cancel, L"images\\button1.png", L"取消");
        cancel->AddListener(this);

        dialog_.SetRoot(root);
        dialog_.SetCaption(L"提示");
        dialog_.SetRect(Rect(0, 0, 350, 180));
        dialog_.SetCentre(1);
        return dialog_.DoModal(owner);
    }

    // Lives on the stack of its caller.
    int32_t AddRef() override { return 1; }
    int32_t Release() override { return 1; }

    int OnLButtonUp(Control* control, uint32_t, int, int) override {
        const std::string name = control->GetName();
        Say("click " + name);
        if (name == "okbtn") {
            dialog_.End(IDOK);
        } else if (name == "cancelbtn" || name == "closebtn") {
            dialog_.End(IDCANCEL);
        }
        return 0;
    }

  private:
    Controls controls_;
    HostDialog dialog_;
};

class Gallery : public ControlListener, public MessageFilter {
  public:
    bool Create() {
        root_ = controls_.Add<Control>(kLayoutControlType, "UIRoot", "inherite", nullptr, nullptr);
        ImageControl* bkg = Frame(controls_, root_, kTitle, this);

        const RECT mini_rect = Rect(-76, 1, -43, 22);
        auto* mini = controls_.Add<ButtonControl>(kButtonControlType, "minibtn", "relative:rtrt",
                                                  &mini_rect, bkg);
        SystemButton(mini, L"images\\mini.png");
        mini->AddListener(this);
        for (int right : {-79, -43}) {
            const RECT sep_rect = Rect(right, 1, right + 3, 22);
            auto* sep = controls_.Add<ImageControl>(kImageControlType, "ImageSep", "relative:rtrt",
                                                    &sep_rect, bkg);
            sep->SetImage(ImageDescriptor::FromBitmap(GetBitmap(L"images\\syssep.png")));
        }

        // The artwork answers as client area: it does not drag the window.
        const RECT art_rect = Rect(5, 30, 465, 230);
        auto* art = controls_.Add<ImageControl>(kImageControlType, "ImageArt", "relative:ltlt",
                                                &art_rect, bkg);
        art->SetImage(ImageDescriptor::FromBitmap(GetBitmap(L"images\\bkg1.png")));
        art->SetHitTestCode(1);
        TextControl* slogan = Text(controls_, "TextSlogan", Rect(20, 160, 450, 192), art,
                                   L"皮肤库样例：每个标准控件各一个", 4);
        slogan->SetFontSize(16);

        // The panel under the artwork, with the controls.
        const RECT panel_rect = Rect(4, 234, -3, -4);
        auto* panel = controls_.Add<ImageControl>(kImageControlType, "ImagePanel", "relative:ltrb",
                                                  &panel_rect, bkg);
        panel->SetImage(Stretch(L"images\\framebkgbottom.png", kStretchThreeHorizontal));
        panel->SetHitTestCode(2);
        BuildPanel(panel);

        const RECT rect = Rect(0, 0, kWidth, kHeight);
        window_.SetRoot(root_);
        window_.AddFilter(this);
        if (!window_.Create(nullptr, rect, kTitle)) {
            return false;
        }
        window_.CentreWindow();
        ShowWindow(window_.hwnd(), SW_SHOW);
        UpdateWindow(window_.hwnd());
        return true;
    }

    int32_t AddRef() override { return 1; }
    int32_t Release() override { return 1; }

    // The application's click handler.
    int OnLButtonUp(Control* control, uint32_t, int, int) override {
        const std::string name = control->GetName();
        Say("click " + name);
        if (name == "closebtn") {
            DestroyWindow(window_.hwnd());
        } else if (name == "minibtn") {
            ShowWindow(window_.hwnd(), SW_MINIMIZE);
        } else if (name == "DialogButton") {
            GalleryDialog dialog;
            const INT_PTR result = dialog.Run(window_.hwnd());
            Say("result " + std::to_string(result));
        } else if (name.rfind("Radio", 0) == 0) {
            for (RadioControl* radio : radios_) {
                radio->SetChecked(radio == control ? 1 : 0);
            }
        }
        return 0;
    }

    int Filter(HWND, UINT message, WPARAM, LPARAM) override {
        if (message == WM_DESTROY) {
            PostQuitMessage(0);
        }
        return 0;
    }

  private:
    void BuildPanel(Control* panel) {
        const RECT dialog_rect = Rect(14, 14, 104, 47);
        auto* dialog_button = controls_.Add<ButtonControl>(kButtonControlType, "DialogButton",
                                                           "relative:ltlt", &dialog_rect, panel);
        SkinButton(dialog_button, L"images\\button2.png", L"对话框");
        dialog_button->AddListener(this);

        const RECT disabled_rect = Rect(114, 14, 204, 47);
        auto* disabled = controls_.Add<ButtonControl>(kButtonControlType, "DisabledButton",
                                                      "relative:ltlt", &disabled_rect, panel);
        SkinButton(disabled, L"images\\button1.png", L"禁用");
        disabled->AddListener(this);
        disabled->SetEnabled(0);

        const RECT link_rect = Rect(222, 20, 262, 40);
        auto* link = controls_.Add<TextlinkControl>(kTextlinkControlType, "LinkText",
                                                    "relative:ltlt", &link_rect, panel);
        link->SetText(L"链接");
        link->AddListener(this);

        const RECT check_rect = Rect(14, 58, 120, 76);
        auto* check = controls_.Add<CheckboxControl>(kCheckboxControlType, "CheckBox",
                                                     "relative:ltlt", &check_rect, panel);
        SkinCheckbox(check, L"复选框");
        check->AddListener(this);

        const wchar_t* captions[] = {L"选项一", L"选项二", L"选项三"};
        for (int i = 0; i < 3; ++i) {
            const RECT radio_rect = Rect(14 + i * 100, 84, 104 + i * 100, 102);
            const std::string name = "Radio" + std::to_string(i + 1);
            auto* radio = controls_.Add<RadioControl>(kRadioControlType, name.c_str(),
                                                      "relative:ltlt", &radio_rect, panel);
            SkinRadio(radio, captions[i]);
            radio->AddListener(this);
            radios_.push_back(radio);
        }
        radios_[0]->SetChecked(1);

        const RECT progress_rect = Rect(14, 112, -14, 128);
        auto* progress = controls_.Add<ProgressControl>(kProgressControlType, "Progress",
                                                        "relative:ltrt", &progress_rect, panel);
        ImageStrip bar(L"images\\progress.png", 2);
        progress->SetBackgroundImage(StripStretch(bar, 0));
        progress->SetFillImage(StripStretch(bar, 1));
        progress->SetRange(0, 400);
        progress->SetPos(120);
        progress->SetText(L"下载进度 30%");

        Text(controls_, "TextLine1", Rect(14, 136, 440, 154), panel,
             L"正在下载：星海传说  1.23 GB / 2.00 GB");
        Text(controls_, "TextLine2", Rect(14, 136, 440, 154), panel, L"3.2 MB/s  剩余 4 分钟", 6);
        Text(controls_, "TextLine3", Rect(14, 156, 440, 174), panel,
             L"提示：Tab 键切换焦点，空格键或回车键按下按钮。");
    }

    Controls controls_;
    Control* root_ = nullptr;
    std::vector<RadioControl*> radios_;
    HostWindow window_;
};

}  // namespace

int wmain() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        if (wchar_t* slash = wcsrchr(path, L'\\')) {
            *slash = 0;
            SetCurrentDirectoryW(path);
        }
    }
    CoInitialize(nullptr);
    InitializeSkin();
    int code = 0;
    {
        Gallery gallery;
        if (!gallery.Create()) {
            std::fputs("skin-gallery: the window cannot be created\n", stderr);
            code = 1;
        } else {
            MSG msg;
            while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
    }
    ShutdownSkin();
    CoUninitialize();
    return code;
}
