#include "app/message_dialogs.h"

#include <vector>

#include "host/host_paths.h"
#include "skin/button_control.h"
#include "skin/check_control.h"
#include "skin/control_factory.h"
#include "skin/host_window.h"
#include "skin/image_cache.h"
#include "skin/image_control.h"
#include "skin/image_strip.h"
#include "skin/stretch_image.h"
#include "skin/text_control.h"

using namespace qm::skin;

namespace {

const wchar_t kCaption[] = L"提示";

RECT Rect(int l, int t, int r, int b) {
    RECT rect = {l, t, r, b};
    return rect;
}

// The artwork of the branded copy, beside the program whatever the current
// folder is.
std::wstring Art(const wchar_t* name) {
    return program_directory() + L"images\\" + name;
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

// One dialog run: the tree (one reference per control, released with the
// object), the owner handling and the click dispatch by control name.
class DialogRun : public ControlListener {
  public:
    DialogRun() = default;
    DialogRun(const DialogRun&) = delete;
    DialogRun& operator=(const DialogRun&) = delete;
    ~DialogRun() override {
        for (auto it = owned_.rbegin(); it != owned_.rend(); ++it) {
            (*it)->Release();
        }
    }

    // Lives on its caller's stack.
    int32_t AddRef() override { return 1; }
    int32_t Release() override { return 1; }

    // The common frame: background, title, separator and close button.
    // Returns the background, which carries the dialog's own controls.
    Control* Frame() {
        Control* root = Add<Control>(kLayoutControlType, "UIRoot", "inherite", nullptr, nullptr);
        auto* bkg = Add<ImageControl>(kImageControlType, "ImageBkg", "inherite", nullptr, root);
        bkg->SetImage(
            ImageDescriptor::FromStretch(GetStretchImage(Art(L"framebkg.png"), kStretchNineGrid)));
        bkg->SetHitTestCode(2);
        bkg->AddListener(this);
        auto* title = Add<TextControl>(kTextControlType, "TextTitle", "relative:ltlt",
                                       Rect(10, 0, 180, 30), bkg);
        title->SetText(kCaption);
        title->SetFormat(4);
        title->SetHitTestCode(2);
        auto* sep = Add<ImageControl>(kImageControlType, "ImageSysBtnSep", "relative:rtrt",
                                      Rect(-43, 1, -40, 22), bkg);
        sep->SetImage(ImageDescriptor::FromBitmap(GetBitmap(Art(L"syssep.png"))));
        auto* close = Add<ButtonControl>(kButtonControlType, "closebtn", "relative:rtrt",
                                         Rect(-40, 1, -1, 22), bkg);
        ImageStrip strip(Art(L"close.png"), 3);
        close->SetNormalImage(StripFrame(strip, 0));
        close->SetHoverImage(StripFrame(strip, 1));
        close->SetPressedImage(StripFrame(strip, 2));
        close->AddListener(this);
        root_ = root;
        return bkg;
    }

    ButtonControl* Button(const char* name, const char* mode, const RECT& rect, Control* parent,
                          const wchar_t* caption) {
        auto* button = Add<ButtonControl>(kButtonControlType, name, mode, rect, parent);
        ImageStrip strip(Art(L"button1.png"), 4);
        button->SetNormalImage(StripStretch(strip, 0));
        button->SetHoverImage(StripStretch(strip, 1));
        button->SetPressedImage(StripStretch(strip, 2));
        button->SetDisabledImage(StripStretch(strip, 3));
        button->SetText(caption);
        button->AddListener(this);
        return button;
    }

    template <class T>
    T* Add(int32_t type, const char* name, const char* mode, const RECT& rect, Control* parent) {
        return Add<T>(type, name, mode, &rect, parent);
    }
    template <class T>
    T* Add(int32_t type, const char* name, const char* mode, const RECT* rect, Control* parent) {
        Control* c = nullptr;
        if (!CreateControl(type, &c) || !c) {
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

    // Shows the tree modally over owner. The result stays as it was when
    // the dialog ended by a button; 0 when it could not be made.
    int Run(HWND owner, int* result) {
        owner_ = owner ? owner : GetActiveWindow();
        if (owner_ && IsWindowEnabled(owner_)) {
            EnableWindow(owner_, FALSE);
            reenable_ = true;
        }
        result_ = result;
        *result_ = 1;
        dialog_.SetRoot(root_);
        dialog_.SetCaption(kCaption);
        dialog_.SetRect(Rect(0, 0, 350, 180));
        dialog_.SetCentre(1);
        const INT_PTR ended = dialog_.DoModal(owner_);
        GiveOwnerBack();
        if (ended == -1) {
            // A dialog nobody saw answers nothing: "yes" would act on it.
            *result_ = 0;
        }
        return *result_;
    }

    int OnLButtonUp(Control* control, uint32_t, int x, int y) override {
        Clicked(control->GetName(), x, y);
        return 0;
    }

  protected:
    virtual void Clicked(const std::string& name, int x, int y) = 0;

    void End(int result) {
        *result_ = result;
        GiveOwnerBack();
        dialog_.End(result);
    }

    HWND DialogWindow() { return dialog_.hwnd(); }

  private:
    // Before the dialog goes, so that the system activates the owner and not
    // whichever window lies below.
    void GiveOwnerBack() {
        if (reenable_) {
            reenable_ = false;
            EnableWindow(owner_, TRUE);
            SetActiveWindow(owner_);
        }
    }

    std::vector<Control*> owned_;
    Control* root_ = nullptr;
    HostDialog dialog_;
    HWND owner_ = nullptr;
    bool reenable_ = false;
    int* result_ = nullptr;
};

class MessageBoxTree : public DialogRun {
  public:
    MessageBoxTree(const std::wstring& message, int icon, int buttons) {
        Control* bkg = Frame();
        auto* tip = Add<ImageControl>(kImageControlType, "ImageTip", "relative:ltlt",
                                      Rect(20, 50, 72, 104), bkg);
        ImageStrip icons(Art(L"msgbox_icon.png"), 2);
        tip->SetImage(StripFrame(icons, icon == 1 ? 1 : 0));
        auto* text = Add<TextControl>(kTextControlType, "TextContent", "relative:ltrt",
                                      Rect(85, 40, -20, 114), bkg);
        text->SetText(message.c_str());
        text->SetMultiline(1);
        text->SetFontSize(14);
        text->SetFormat(4);
        switch (buttons) {
            case 1:
                Button("button1", "relative:lblb", Rect(130, -55, 220, -20), bkg, L"确定");
                break;
            case 2:
                Button("button1", "relative:lblb", Rect(77, -55, 167, -20), bkg, L"确定");
                Button("button2", "relative:rbrb", Rect(-167, -55, -77, -20), bkg, L"取消");
                break;
            default:
                Button("button1", "relative:lblb", Rect(23, -55, 113, -20), bkg, L"重试");
                Button("button2", "relative:lblb", Rect(136, -55, 226, -20), bkg, L"强制关闭");
                Button("button3", "relative:lblb", Rect(249, -55, 339, -20), bkg, L"取消安装");
                break;
        }
    }

  protected:
    void Clicked(const std::string& name, int, int) override {
        if (name == "button1") {
            End(1);
        } else if (name == "button2") {
            End(2);
        } else if (name == "button3") {
            End(3);
        } else if (name == "closebtn") {
            End(0);
        }
    }
};

}  // namespace

int MessageBoxDialog::Show(HWND owner, int buttons) {
    if (buttons < 1 || buttons > 3) {
        result_ = 0;
        return 0;
    }
    MessageBoxTree tree(message_, icon_, buttons);
    return tree.Run(owner, &result_);
}

class ExitChoiceTree : public DialogRun {
  public:
    explicit ExitChoiceTree(ExitChoiceDialog& dialog) : dialog_(dialog) {
        Control* bkg = Frame();
        radios_[0] = Radio("backgroundRadio", Rect(20, 44, 200, 60), bkg, L"后台低速下载");
        radios_[1] = Radio("torvane7Radio", Rect(20, 68, 200, 84), bkg, L"将任务移至Torvane7");
        radios_[2] = Radio("exitRadio", Rect(20, 92, 200, 108), bkg, L"退出下载器");
        radios_[0]->SetChecked(1);
        Button("okbtn", "relative:lblb", Rect(77, -55, 167, -20), bkg, L"确定");
        Button("cancelbtn", "relative:rbrb", Rect(-167, -55, -77, -20), bkg, L"取消");
    }

  protected:
    void Clicked(const std::string& name, int x, int y) override {
        if (name == "closebtn" || name == "cancelbtn") {
            End(2);
        } else if (name == "okbtn") {
            End(1);
        } else if (name == "ImageBkg") {
            if (y >= 0 && y <= 30) {
                SendMessageW(DialogWindow(), WM_NCLBUTTONUP, HTCAPTION, MAKELPARAM(x, y));
            }
        } else {
            static const char* const names[3] = {"backgroundRadio", "torvane7Radio", "exitRadio"};
            for (int i = 0; i < 3; ++i) {
                if (name == names[i]) {
                    Choose(i);
                }
            }
        }
    }

  private:
    RadioControl* Radio(const char* name, const RECT& rect, Control* parent,
                        const wchar_t* caption) {
        auto* radio = Add<RadioControl>(kRadioControlType, name, "relative:ltlt", rect, parent);
        ImageStrip strip(Art(L"radiobutton.png"), 5);
        radio->SetBoxImage(kStateNormal, StripFrame(strip, 0));
        radio->SetBoxImage(kStateHover, StripFrame(strip, 3));
        radio->SetBoxImage(kStatePressed, StripFrame(strip, 4));
        radio->SetCheckImage(StripFrame(strip, 1));
        radio->SetBoxSize(14);
        radio->SetText(caption);
        radio->AddListener(this);
        return radio;
    }

    void Choose(int index) {
        if (radios_[index]->IsChecked() && dialog_.choice_ == index) {
            return;
        }
        for (int i = 0; i < 3; ++i) {
            radios_[i]->SetChecked(i == index ? 1 : 0);
        }
        dialog_.choice_ = index;
    }

    ExitChoiceDialog& dialog_;
    RadioControl* radios_[3] = {};
};

int ExitChoiceDialog::Show(HWND owner) {
    ExitChoiceTree tree(*this);
    return tree.Run(owner, &result_);
}

int ShowMessageBoxRequest(HWND main_window, WPARAM wparam, LPARAM lparam) {
    const int buttons = LOWORD(lparam);
    const int icon = HIWORD(lparam);
    const auto* text = reinterpret_cast<const wchar_t*>(wparam);
    if (buttons < 1 || buttons > 3) {
        return 0;
    }
    if (main_window) {
        ShowWindow(main_window, SW_SHOWNORMAL);
    }
    MessageBoxDialog box;
    box.SetMessage(text ? text : L"");
    box.SetIcon(icon);
    return box.Show(main_window, buttons);
}
