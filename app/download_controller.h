#pragma once
// The brain of the main window: its message filter (tray icon, timers,
// private messages, close and destroy), the listener of its controls' clicks
// and the download service's event sink. It turns the service's events into
// the visible state of one game download, sends the beacons that describe
// what the user did and owns the tray icon and the installer threads.

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <memory>

#include "app/download_state.h"
#include "app/taskbar_progress.h"
#include "app/tips_script.h"
#include "host/installer_prompt.h"
#include "host/task_transfer.h"
#include "service/dl_api.h"
#include "skin/control.h"
#include "skin/ui_host.h"

class MainWindow;
class TipsWindow;
class AddinInstaller;
class AcceleratorInstaller;

// The main window's private messages.
constexpr UINT kTrayCallbackMessage = WM_USER + 102;      // 1126
constexpr UINT kStartGameMessage = WM_USER + 105;         // 1129
constexpr UINT kAcceleratorEndedMessage = WM_USER + 110;  // 1134
constexpr UINT_PTR kBackgroundTimerId = 102;
constexpr UINT_PTR kAddinTimeoutTimerId = 105;
constexpr UINT kTrayIconId = 145;

// The size of NOTIFYICONDATAW that the tray is given: the layout up to the
// balloon's flags, without the item's GUID (936 bytes on the 32-bit build).
constexpr UINT TrayDataSize() {
    return static_cast<UINT>(offsetof(NOTIFYICONDATAW, guidItem));
}

class DownloadController : public download_service_events,
                           public qm::skin::ControlListener,
                           public qm::skin::MessageFilter,
                           public InstallerPrompt,
                           public TipsSource,
                           private TransferSite {
  public:
    explicit DownloadController(MainWindow* window);
    ~DownloadController() override;

    // For the hand-over and the installers.
    const std::vector<int>& GameTasks() const { return game_tasks_; }
    bool NotStarted() const { return not_started_; }
    bool AddinPresent() const { return addin_present_; }

    DownloadController(const DownloadController&) = delete;
    DownloadController& operator=(const DownloadController&) = delete;

    bool ConfigReady() const { return config_ready_; }
    int Percent() const { return percent_; }

    // What the tips page may ask.
    int TipsPercent() override { return percent_; }
    std::wstring TipsPeerId() override { return ServicePeerId(); }
    int MessageBoxResult() const { return message_box_result_; }

    // Owned by the window, not counted.
    int32_t AddRef() override { return 1; }
    int32_t Release() override { return 1; }
    int OnLButtonUp(qm::skin::Control* control, uint32_t keys, int x, int y) override;

    int Filter(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) override;

    void on_game_info(int ok, const wchar_t* path) override;
    void on_environment_ready(int ok) override;
    void on_task_progress(int task_id) override;
    void on_task_state(int task_id) override;
    void on_host_running(int* answer) override;

    // Shows a skinned message box through message 1139 from any thread and
    // returns its answer (0 for the close button or a bad button count).
    int AskUser(const std::wstring& text, int icon, int buttons);

    // The complete layout: the window's final state.
    void ShowCompleteLayout();

    // The installers' questions, asked from their thread.
    int Ask(InstallerQuestion question, const std::wstring& text) override;

  private:
    // The end of each installer thread, on that thread.
    class AddinEnded : public InstallerDone {
      public:
        explicit AddinEnded(DownloadController* owner) : owner_(owner) {}
        void Ended() override;

      private:
        DownloadController* owner_;
    };
    class AcceleratorEnded : public InstallerDone {
      public:
        explicit AcceleratorEnded(DownloadController* owner) : owner_(owner) {}
        void Ended() override;

      private:
        DownloadController* owner_;
    };

    // TransferSite: the window side of the hand-over.
    int Ask(TransferQuestion question, const std::wstring& text) override;
    void ShowTransferring() override;
    void RefreshControls() override;
    void CloseMainWindow() override;
    void SendHandOverReport() override;
    void SetHandedOver() override;
    TransferRequest MakeTransferRequest() const;
    // A finished installer's handle is closed; a running one is left alone.
    void CloseEndedInstaller();

    static void OnTipsFile(int ok, const std::wstring& path, void* user_data);
    void TipsArrived(int ok, const std::wstring& path);

    void OnCreate(HWND hwnd);
    void OnDestroy();
    void OnTrayCallback(LPARAM mouse_message);
    void ShowTrayMenu();
    void OnTrayExit();
    void OpenFromTray();
    int ShowMessageBox(const wchar_t* text, int icon, int buttons);

    void OnActionButton();
    void OnDirButton();
    void StartGameDownload();
    void CreateGameTasks();
    bool EnoughDiskSpace(const std::wstring& folder) const;
    void DisableStartControls();
    void FinishedDownload();
    void RunFirstGameFile();
    // The hand-over to the host downloader, from the transfer button or the
    // exit choice.
    void HandOver();
    // Starts the host downloader in front unless it runs already.
    void StartHostForTask();

    // The aggregate of the game tasks, percent updated.
    dl_task_info Aggregate();
    std::vector<TaskSnapshot> GameTaskSnapshots();
    // Texts, bar and taskbar for a record; nothing unless receiving.
    void ShowProgress(const dl_task_info& info);
    void ClearTaskbarProgress();
    int64_t SavedTime();
    void ShowBalloon(const std::wstring& text);

    void SetText(const char* name, const std::wstring& text);
    void SetCaption(const char* name, const std::wstring& text);
    void Enable(const char* name, bool enabled);
    std::wstring TextOf(const char* name) const;
    HWND Window() const;

    MainWindow* main_window_;
    HICON tray_icon_ = nullptr;
    bool tray_icon_from_file_ = false;
    bool tray_added_ = false;
    TaskbarProgress taskbar_;
    ServiceTransferTasks transfer_tasks_;
    TaskTransfer transfer_;
    AddinEnded addin_ended_;
    AcceleratorEnded accelerator_ended_;
    std::unique_ptr<AddinInstaller> addin_installer_;
    std::unique_ptr<AcceleratorInstaller> accelerator_installer_;

    bool config_ready_ = false;
    bool fresh_start_ = true;
    bool paused_ = true;
    bool engine_ready_ = false;
    bool addin_pending_ = true;
    bool addin_installer_started_ = false;
    volatile bool not_started_ = true;
    bool completed_ = false;
    // The completion of the game tasks was handled.
    bool finished_ = false;
    bool receiving_ = false;
    bool background_mode_ = false;
    volatile bool addin_present_ = false;
    bool transfer_requested_ = false;
    std::vector<int> game_tasks_;
    int addin_task_ = -1;
    int skin_task_ = -1;
    int accel_task_ = -1;
    HANDLE volatile installer_thread_ = nullptr;
    volatile int message_box_result_ = 0;
    int percent_ = 0;
    // Made on the first click of the tips link; gone with the main window.
    std::unique_ptr<TipsWindow> tips_window_;
};
