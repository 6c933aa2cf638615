#include "app/dialogs_local.h"

#include <cstdlib>
#include <ctime>
#include <vector>

#include "app/download_controller.h"
#include "app/main_window.h"
#include "host/text_format.h"
#include "skin/button_control.h"
#include "skin/control_factory.h"
#include "skin/host_window.h"
#include "skin/image_cache.h"
#include "skin/image_control.h"
#include "skin/image_strip.h"
#include "skin/text_control.h"

using namespace qm::skin;

std::wstring SpeedLine(uint64_t total, uint64_t downloaded, uint32_t speed) {
    if (speed == 0) {
        return L"0B/S 还需: ---";
    }
    std::wstring rate, left;
    size_text(speed, rate);
    duration_text((total - downloaded) / speed, left);
    return rate + L"/S  还需: " + left;
}

std::wstring BarCaption(uint64_t downloaded, uint64_t total) {
    std::wstring d, t;
    size_text(downloaded, d);
    size_text(total, t);
    return d + L"/" + t;
}

int64_t SavedSeconds(uint64_t game_size) {
    srand(static_cast<unsigned>(time(nullptr)));
    const int r = rand() % 121 - 60;
    const int64_t value = static_cast<int64_t>(game_size / 400 / 1024) - r;
    return value < 0 ? rand() % 60 : value;
}

namespace {

class Box : public ControlListener {
  public:
    int32_t AddRef() override { return 1; }
    int32_t Release() override { return 1; }
    ~Box() {
        for (auto it = owned_.rbegin(); it != owned_.rend(); ++it) {
            (*it)->Release();
        }
    }
    template <class T>
    T* Add(int type, const char* name, const char* mode, const RECT* rect, Control* parent) {
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
    int OnLButtonUp(Control* control, uint32_t, int, int) override {
        const std::string name = control->GetName();
        if (name == "button1")
            dialog_.End(1);
        if (name == "button2")
            dialog_.End(2);
        if (name == "button3")
            dialog_.End(3);
        if (name == "closebtn")
            dialog_.End(0);
        return 0;
    }
    int Run(HWND owner, const wchar_t* text, int icon, int buttons) {
        Control* root = Add<Control>(kLayoutControlType, "UIRoot", "inherite", nullptr, nullptr);
        auto* bkg = Add<ImageControl>(kImageControlType, "ImageBkg", "inherite", nullptr, root);
        bkg->SetImage(ImageDescriptor::FromStretch(
            GetStretchImage(MainWindow::ArtworkPath(L"images\\framebkg.png"), kStretchNineGrid)));
        bkg->SetHitTestCode(2);
        RECT r = {10, 0, 180, 30};
        auto* title = Add<TextControl>(kTextControlType, "TextTitle", "relative:ltlt", &r, bkg);
        title->SetText(L"提示");
        title->SetFormat(4);
        r = {-40, 1, -1, 22};
        auto* close = Add<ButtonControl>(kButtonControlType, "closebtn", "relative:rtrt", &r, bkg);
        ImageStrip cs(MainWindow::ArtworkPath(L"images\\close.png"), 3);
        close->SetNormalImage(
            ImageDescriptor::FromBitmap(Ref<Bitmap>::Adopt(cs.FrameBitmap(0)).get()));
        close->AddListener(this);
        r = {20, 50, 72, 104};
        auto* tip = Add<ImageControl>(kImageControlType, "ImageTip", "relative:ltlt", &r, bkg);
        ImageStrip is(MainWindow::ArtworkPath(L"images\\msgbox_icon.png"), 2);
        tip->SetImage(ImageDescriptor::FromBitmap(
            Ref<Bitmap>::Adopt(is.FrameBitmap(icon == 1 ? 1 : 0)).get()));
        r = {85, 40, -20, 114};
        auto* content = Add<TextControl>(kTextControlType, "TextContent", "relative:ltrt", &r, bkg);
        content->SetMultiline(1);
        content->SetFontSize(14);
        content->SetFormat(4);
        content->SetText(text);
        static const wchar_t* captions[3][3] = {
            {L"确定"}, {L"确定", L"取消"}, {L"重试", L"强制关闭", L"取消安装"}};
        static const RECT places[3][3] = {
            {{130, -55, 220, -20}},
            {{77, -55, 167, -20}, {-167, -55, -77, -20}},
            {{23, -55, 113, -20}, {136, -55, 226, -20}, {249, -55, 339, -20}}};
        ImageStrip bs(MainWindow::ArtworkPath(L"images\\button1.png"), 4);
        for (int i = 0; i < buttons; ++i) {
            const char* names[] = {"button1", "button2", "button3"};
            const char* mode = buttons == 2 && i == 1 ? "relative:rbrb" : "relative:lblb";
            auto* b = Add<ButtonControl>(kButtonControlType, names[i], mode,
                                         &places[buttons - 1][i], bkg);
            for (int f = 0; f < 4; ++f) {
                ImageDescriptor d = ImageDescriptor::FromStretch(
                    Ref<StretchImage>::Adopt(bs.FrameStretch(f, kStretchThreeHorizontal)).get());
                if (f == 0)
                    b->SetNormalImage(d);
                if (f == 1)
                    b->SetHoverImage(d);
                if (f == 2)
                    b->SetPressedImage(d);
                if (f == 3)
                    b->SetDisabledImage(d);
            }
            b->SetText(captions[buttons - 1][i]);
            b->AddListener(this);
        }
        dialog_.SetRoot(root);
        dialog_.SetCaption(L"提示");
        dialog_.SetRect(RECT{0, 0, 350, 180});
        dialog_.SetCentre(1);
        const bool enabled = owner && IsWindowEnabled(owner);
        if (enabled)
            EnableWindow(owner, FALSE);
        const INT_PTR result = dialog_.DoModal(owner);
        if (enabled) {
            EnableWindow(owner, TRUE);
            SetActiveWindow(owner);
        }
        root->Destroy();
        return result < 0 ? 0 : static_cast<int>(result);
    }

  private:
    std::vector<Control*> owned_;
    HostDialog dialog_;
};

}  // namespace

int ShowSkinnedMessageBox(HWND owner, const wchar_t* text, int icon, int buttons) {
    Box box;
    return box.Run(owner, text, icon, buttons);
}

int ShowExitChoice(HWND, int* choice) {
    *choice = 0;
    return 2;
}

void TransferToHost(DownloadController& controller) {
    controller.SetTransferRequested(true);
    dl_stop_all_tasks();
}

HANDLE StartAddinInstaller(DownloadController* controller, int, int) {
    controller->SetAddinPresent();
    if (controller->NotStarted()) {
        KillTimer(controller->MainWindowHandle(), kAddinTimeoutTimerId);
        PostMessageW(controller->MainWindowHandle(), kStartGameMessage, 0, 0);
    }
    return nullptr;
}

HANDLE StartAcceleratorInstaller(DownloadController* controller, int) {
    PostMessageW(controller->MainWindowHandle(), kAcceleratorEndedMessage, 0, 0);
    return nullptr;
}
