#pragma once
// The program's one top-level window: a skinned 469 x 374 popup with a title
// strip, the game's artwork and a bottom panel holding the download folder,
// the status and speed lines, the progress bar, the accelerator check box and
// the two buttons. It builds and owns the controls and the window; every
// reaction to clicks, timers and download events belongs to the controller,
// which it creates and registers as message filter and click listener.

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "skin/host_window.h"
#include "skin/owned_controls.h"

namespace qm::skin {
class ButtonControl;
class CheckboxControl;
class Control;
class ImageControl;
class ProgressControl;
class TextControl;
class TextlinkControl;
}  // namespace qm::skin

class DownloadController;

class MainWindow {
  public:
    MainWindow();
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Builds the tree, creates, centres and shows the window and starts the
    // background. The controller is the download service's event sink from
    // here on.
    bool Create(HINSTANCE instance);
    HWND Handle() const;
    DownloadController* Controller() const { return controller_.get(); }

    // Detaches the controller, releases every control, deletes the
    // controller; the window itself may already be gone.
    void Teardown();

    // The controls by name, null when absent ("InstallCheck" without the
    // accelerator offer).
    qm::skin::Control* Find(const char* name) const;
    qm::skin::TextControl* Text(const char* name) const;
    qm::skin::ButtonControl* Button(const char* name) const;
    qm::skin::ProgressControl* Progress() const { return progress_; }
    qm::skin::CheckboxControl* InstallCheck() const { return install_check_; }
    qm::skin::TextlinkControl* TipsLink() const { return tips_link_; }
    qm::skin::Control* Root() const { return root_; }

    // Invalidates the named control (nothing when absent).
    void Redraw(const char* name) const;
    // Lays the control out again inside its parent's bounds.
    static void Relayout(qm::skin::Control* control);

    // Timer 102: the next image of the rotating background.
    void NextBackground();
    // The artwork's file path, as the branding names it, read from the
    // copy's own folder when relative.
    static std::wstring ArtworkPath(const wchar_t* relative);

  private:
    template <class T>
    T* Add(int type, const char* name, const char* mode, const RECT* rect,
           qm::skin::Control* parent);
    void BuildTree();
    void BuildTitleStrip(qm::skin::Control* bkg);
    void BuildBottomPanel(qm::skin::Control* bkg);
    void CentreInWorkArea();

    qm::skin::HostWindow window_;
    std::unique_ptr<DownloadController> controller_;
    qm::skin::OwnedControls owned_;
    qm::skin::Control* root_ = nullptr;
    qm::skin::Control* background_ = nullptr;
    qm::skin::ProgressControl* progress_ = nullptr;
    qm::skin::CheckboxControl* install_check_ = nullptr;
    qm::skin::TextlinkControl* tips_link_ = nullptr;
    std::vector<std::wstring> backgrounds_;
    size_t background_index_ = 0;
};
