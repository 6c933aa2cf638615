#include "app/download_controller.h"

#include <shellapi.h>
#include <shlwapi.h>
#include <shobjidl.h>

#include <cstdlib>
#include <ctime>
#include <cwchar>

#include "app/game_config.h"
#include "app/main_window.h"
#include "app/message_dialogs.h"
#include "app/progress_text.h"
#include "app/remote_config.h"
#include "app/reports.h"
#include "app/tips_window.h"
#include "host/accelerator_installer.h"
#include "host/addin_installer.h"
#include "host/file_utils.h"
#include "host/host_paths.h"
#include "host/host_process.h"
#include "host/host_registry.h"
#include "host/text_format.h"
#include "res/resource.h"
#include "service/game_info_file.h"
#include "service/task_store.h"
#include "skin/button_control.h"
#include "skin/check_control.h"
#include "skin/progress_control.h"
#include "skin/text_control.h"
#include "skin/textlink_control.h"

using namespace qm::skin;

namespace {

constexpr UINT kAddinTimeout = 60000;
static_assert(sizeof(void*) != 4 || TrayDataSize() == 936,
              "the 32-bit tray record is the 936-byte layout");

// The system temporary folder, ending in a backslash.
std::wstring TempFolder() {
    wchar_t buffer[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
    std::wstring folder(buffer, n <= MAX_PATH ? n : 0);
    if (!folder.empty() && folder.back() != L'\\') {
        folder += L'\\';
    }
    return folder;
}

bool FileExists(const std::wstring& path) {
    return !path.empty() && PathFileExistsW(path.c_str());
}

std::wstring TaskPath(int task) {
    std::wstring path;
    if (task < 0 || !dl_get_task_path(task, path)) {
        path.clear();
    }
    return path;
}

dl_task_info TaskInfo(int task) {
    dl_task_info info = {};
    if (task < 0 || !dl_get_task_info(task, &info)) {
        info = dl_task_info{};
    }
    return info;
}

// Free bytes of the drive of a folder ("C:\"), 0 when unknown.
uint64_t FreeBytes(const std::wstring& folder) {
    const std::wstring drive = folder.substr(0, 3);
    ULARGE_INTEGER available, total, free;
    if (!GetDiskFreeSpaceExW(drive.c_str(), &available, &total, &free)) {
        return 0;
    }
    return free.QuadPart;
}

const wchar_t kNoSpace[] = L"磁盘空间不足，请删除部分文件或更改保存路径。";

}  // namespace

// --- the controller --------------------------------------------------------

DownloadController::DownloadController(MainWindow* window)
    : main_window_(window),
      transfer_(*this, transfer_tasks_),
      addin_ended_(this),
      accelerator_ended_(this) {}

DownloadController::~DownloadController() {
    if (installer_thread_) {
        TerminateThread(installer_thread_, 0);
        CloseHandle(installer_thread_);
        installer_thread_ = nullptr;
    }
    if (tray_icon_from_file_ && tray_icon_) {
        DestroyIcon(tray_icon_);
    }
}

HWND DownloadController::Window() const {
    return main_window_->Handle();
}

void DownloadController::SetText(const char* name, const std::wstring& text) {
    if (TextControl* control = main_window_->Text(name)) {
        control->SetText(text.c_str());
    }
}

void DownloadController::SetCaption(const char* name, const std::wstring& text) {
    if (ButtonControl* button = main_window_->Button(name)) {
        button->SetText(text.c_str());
    }
}

void DownloadController::Enable(const char* name, bool enabled) {
    if (Control* control = main_window_->Find(name)) {
        control->SetEnabled(enabled ? 1 : 0);
    }
}

std::wstring DownloadController::TextOf(const char* name) const {
    if (TextControl* control = main_window_->Text(name)) {
        return control->GetText();
    }
    return std::wstring();
}

// --- window messages -------------------------------------------------------

int DownloadController::Filter(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_CREATE:
            OnCreate(hwnd);
            return 0;
        case WM_CLOSE:
            ShowWindow(hwnd, SW_HIDE);
            return 1;
        case WM_TIMER:
            if (wparam == kBackgroundTimerId) {
                main_window_->NextBackground();
                return 1;
            }
            if (wparam == kAddinTimeoutTimerId) {
                KillTimer(hwnd, kAddinTimeoutTimerId);
                SendMessageW(hwnd, kStartGameMessage, 0, 0);
                return 1;
            }
            return 0;
        case kTrayCallbackMessage:
            OnTrayCallback(lparam);
            return 1;
        case kStartGameMessage:
            // Only this thread can stop its timer; and the installer's end
            // and the time-out may both have asked for the start.
            KillTimer(hwnd, kAddinTimeoutTimerId);
            CloseEndedInstaller();
            if (not_started_) {
                StartGameDownload();
            }
            return 1;
        case kAcceleratorEndedMessage:
            CloseEndedInstaller();
            ShowCompleteLayout();
            return 1;
        case kMessageBoxRequest:
            message_box_result_ = ShowMessageBoxRequest(hwnd, wparam, lparam);
            return 1;
        case WM_COMMAND:
            if (LOWORD(wparam) == IDM_TRAY_OPEN) {
                OpenFromTray();
                return 1;
            }
            if (LOWORD(wparam) == IDM_TRAY_EXIT) {
                OnTrayExit();
                return 1;
            }
            return 0;
        case WM_DESTROY:
            OnDestroy();
            return 0;
    }
    return 0;
}

void DownloadController::OnCreate(HWND hwnd) {
    taskbar_.Bind(hwnd);
    if (!config_ready_) {
        Enable("ActionButton", false);
        SetText("TextTips1", L"初始化配置...");
        main_window_->Redraw("TextTips1");
    }

    const std::wstring icon_path = program_directory() + L"downloader.ico";
    tray_icon_ = static_cast<HICON>(LoadImageW(nullptr, icon_path.c_str(), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXICON),
                                               GetSystemMetrics(SM_CYICON), LR_LOADFROMFILE));
    tray_icon_from_file_ = tray_icon_ != nullptr;
    if (!tray_icon_) {
        tray_icon_ = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_TESSALY));
    }

    NOTIFYICONDATAW data = {};
    data.cbSize = TrayDataSize();
    data.hWnd = hwnd;
    data.uID = kTrayIconId;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = kTrayCallbackMessage;
    data.hIcon = tray_icon_;
    const std::wstring tip = GameConfig::Instance().WindowTitle();
    wcsncpy(data.szTip, tip.c_str(), sizeof data.szTip / sizeof data.szTip[0] - 1);
    tray_added_ = Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
    if (tray_icon_from_file_) {
        SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(tray_icon_));
        SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(tray_icon_));
    }
}

void DownloadController::OnDestroy() {
    if (engine_ready_) {
        dl_set_speed_limit_mode(1);
    }
    if (tray_added_) {
        NOTIFYICONDATAW data = {};
        data.cbSize = TrayDataSize();
        data.hWnd = Window();
        data.uID = kTrayIconId;
        Shell_NotifyIconW(NIM_DELETE, &data);
        tray_added_ = false;
    }
    tips_window_.reset();
    if (installer_thread_) {
        TerminateThread(installer_thread_, 0);
        CloseHandle(installer_thread_);
        installer_thread_ = nullptr;
    }
    PostQuitMessage(0);
}

void DownloadController::OpenFromTray() {
    if (background_mode_) {
        dl_set_speed_limit_mode(1);
        background_mode_ = false;
    }
    ShowWindow(Window(), SW_SHOWNORMAL);
}

void DownloadController::OnTrayCallback(LPARAM mouse_message) {
    switch (static_cast<UINT>(mouse_message)) {
        case WM_LBUTTONUP:
        case WM_LBUTTONDBLCLK:
            OpenFromTray();
            break;
        case WM_RBUTTONUP:
            ShowTrayMenu();
            break;
    }
}

void DownloadController::ShowTrayMenu() {
    HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_TRAY_MENU));
    if (!menu) {
        return;
    }
    POINT at;
    GetCursorPos(&at);
    if (!MonitorFromPoint(at, MONITOR_DEFAULTTONULL)) {
        MONITORINFO info = {};
        info.cbSize = sizeof info;
        if (GetMonitorInfoW(MonitorFromPoint(at, MONITOR_DEFAULTTONEAREST), &info)) {
            if (at.x < info.rcWork.left) {
                at.x = info.rcWork.left;
            } else if (at.x >= info.rcWork.right) {
                at.x = info.rcWork.right - 1;
            }
        }
    }
    HWND hwnd = Window();
    SetForegroundWindow(hwnd);
    TrackPopupMenu(GetSubMenu(menu, 0), 0, at.x, at.y, 0, hwnd, nullptr);
    DestroyMenu(menu);
}

void DownloadController::OnTrayExit() {
    HWND hwnd = Window();
    if (completed_ || paused_) {
        DestroyWindow(hwnd);
        return;
    }
    ShowWindow(hwnd, SW_SHOWNORMAL);
    ExitChoiceDialog dialog;
    if (dialog.Show(hwnd) != 1) {
        return;
    }
    switch (dialog.Choice()) {
        case 0:
            background_mode_ = true;
            dl_set_speed_limit_mode(3);
            ShowWindow(hwnd, SW_HIDE);
            break;
        case 1:
            HandOver();
            break;
        case 2:
            DestroyWindow(hwnd);
            break;
    }
}

int DownloadController::AskUser(const std::wstring& text, int icon, int buttons) {
    SendMessageW(Window(), kMessageBoxRequest, reinterpret_cast<WPARAM>(text.c_str()),
                 MessageBoxParam(icon, buttons));
    return message_box_result_;
}

int DownloadController::Ask(InstallerQuestion, const std::wstring& text) {
    return AskUser(text, 1, 2);
}

// --- configuration ---------------------------------------------------------

void DownloadController::on_game_info(int ok, const wchar_t* path) {
    GameConfig& config = GameConfig::Instance();
    bool parsed = false;
    if (ok && path) {
        SendBeacon(L"downerstart");
        SendCrashReport();
        const std::wstring tips = TempFolder() + config.GameId() + L".xml";
        dl_download_file(config.TipsFileUrl().c_str(), tips.c_str(), OnTipsFile, this);
        parsed = ParseRemoteConfiguration(path, config.Remote()) != 0;
        if (!parsed || config.Remote().game_urls.empty()) {
            // A broken or cut copy the client downloaded is fetched again next
            // time instead of being kept.
            qm::win32::net::discard_downloaded_game_info(path);
        }
    }
    if (!parsed) {
        Enable("DirButton", false);
        Enable("InstallCheck", false);
        Enable("ActionButton", false);
        SetText("TextTips1", L"初始化配置失败!");
        main_window_->Redraw("ImageBkgBottom");
        return;
    }
    const RemoteGameValues& remote = config.Remote();
    dl_set_host_package(remote.torvane_url.c_str(), remote.torvane_version.c_str());
    config_ready_ = true;
    Enable("ActionButton", true);
    SetText("TextTips1", std::wstring());

    game_tasks_.clear();
    bool found = false;
    for (const std::wstring& url : remote.game_urls) {
        const int id = dl_find_task(url.c_str());
        game_tasks_.push_back(id);
        found = found || id >= 0;
    }
    bool fresh = !found;
    if (found) {
        addin_pending_ = false;
        addin_present_ = true;
        Aggregate();
        std::vector<EarlierTask> earlier;
        for (int id : game_tasks_) {
            EarlierTask task;
            task.state = TaskInfo(id).state;
            const std::wstring file = TaskPath(id);
            task.file_exists = FileExists(file);
            task.temporary_exists = FileExists(file.empty() ? file : file + L".td");
            earlier.push_back(task);
        }
        // Shown as a fresh start shows its folder: without the closing
        // separator, except for a drive's root.
        std::wstring first_folder =
            game_tasks_.empty() ? std::wstring() : folder_part(TaskPath(game_tasks_[0]));
        if (first_folder.size() > 3 && first_folder.back() == L'\\') {
            first_folder.pop_back();
        }
        switch (DecideEarlierRun(earlier, config.ConverToTorvane7())) {
            case EarlierRun::complete:
                SetText("TextDir", first_folder);
                ShowCompleteLayout();
                return;
            case EarlierRun::fresh_start:
                fresh = true;
                break;
            case EarlierRun::paused: {
                SetText("TextTips1", L"任务暂停中");
                SetCaption("ActionButton", L"继续下载");
                Enable("DirButton", false);
                Enable("InstallCheck", false);
                SetText("TextDir", first_folder);
                const bool was_receiving = receiving_;
                receiving_ = true;
                ShowProgress(Aggregate());
                receiving_ = was_receiving;
                fresh_start_ = false;
                if (config.ConverToTorvane7()) {
                    AskUser(L"该任务已经导入Torvane7中，请使用Torvane7继续下载。", 0, 1);
                    StartHostForTask();
                    DestroyWindow(Window());
                    return;
                }
                main_window_->Redraw("ImageBkgBottom");
                return;
            }
        }
    }
    if (fresh) {
        config.SetConverToTorvane7(false);
        SetCaption("ActionButton", L"开始下载");
        SetText("TextDir", config.DefaultPath() + config.GameTitle());
        fresh_start_ = true;
        main_window_->Redraw("ImageBkgBottom");
    }
}

void DownloadController::OnTipsFile(int ok, const std::wstring& path, void* user_data) {
    static_cast<DownloadController*>(user_data)->TipsArrived(ok, path);
}

void DownloadController::TipsArrived(int ok, const std::wstring& path) {
    GameConfig& config = GameConfig::Instance();
    if (!ok || !ParseTipsFile(path, config.Remote())) {
        return;  // no tips are shown
    }
    HWND hwnd = Window();
    if (!hwnd) {
        return;
    }
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof placement;
    if (GetWindowPlacement(hwnd, &placement)) {
        placement.rcNormalPosition.bottom += 26;
        if (!IsWindowVisible(hwnd)) {
            placement.showCmd = SW_HIDE;
        }
        SetWindowPlacement(hwnd, &placement);
    }
    TextlinkControl* link = main_window_->TipsLink();
    if (!link) {
        return;
    }
    link->SetText(config.Remote().tips_text.c_str());
    int width = 0;
    if (TextControl* caption = link->Caption()) {
        width = caption->MeasureText().cx;
    }
    const RECT rect = {8, 235, width + 8, 251};
    link->SetLayout("relative:ltlt", &rect);
    link->SetVisible(1);
    Control* bkg = main_window_->Find("ImageBkg");
    if (bkg && main_window_->Root()) {
        bkg->Layout(main_window_->Root()->GetBounds());
        bkg->Invalidate();
    }
}

// --- starting, pausing, resuming -------------------------------------------

bool DownloadController::EnoughDiskSpace(const std::wstring& folder) const {
    return FreeBytes(folder) > GameConfig::Instance().Remote().game_size;
}

void DownloadController::OnActionButton() {
    GameConfig& config = GameConfig::Instance();
    if (completed_) {
        RunFirstGameFile();
        return;
    }
    if (fresh_start_ && paused_ && !EnoughDiskSpace(TextOf("TextDir"))) {
        AskUser(kNoSpace, 1, 1);
        return;
    }
    if (engine_ready_) {
        receiving_ = false;
        if (paused_) {
            Enable("DirButton", false);
            Enable("InstallCheck", false);
            Enable("ActionButton", false);
            SetText("TextTips1", L"开始下载...");
            CreateGameTasks();
            SendBeacon(L"downertask", L"start");
            dl_start_all_tasks();
        } else {
            SetText("TextTips1", L"正在暂停...");
            Enable("ActionButton", false);
            SendBeacon(L"downertask", L"pause");
            dl_stop_all_tasks();
        }
        main_window_->Redraw("ImageBkgBottom");
        return;
    }
    SetText("TextTips1", L"正在初始化下载组件...");
    Enable("DirButton", false);
    if (CheckboxControl* check = main_window_->InstallCheck()) {
        check->SetEnabled(0);
        config.SetInstallAccelerator(check->IsChecked() != 0);
    }
    Enable("ActionButton", false);
    main_window_->Redraw("ImageBkgBottom");
    dl_prepare_environment();
    SendBeacon(L"downertask", L"start");
}

void DownloadController::CreateGameTasks() {
    const std::wstring folder = TextOf("TextDir");
    game_tasks_.clear();
    for (const std::wstring& url : GameConfig::Instance().Remote().game_urls) {
        game_tasks_.push_back(dl_create_task(url.c_str(), folder.c_str(), nullptr, 0));
    }
}

void DownloadController::on_environment_ready(int ok) {
    if (ok) {
        dl_set_speed_limit_mode(1);
        engine_ready_ = true;
        if (addin_pending_) {
            const RemoteGameValues& remote = GameConfig::Instance().Remote();
            SetTimer(Window(), kAddinTimeoutTimerId, kAddinTimeout, nullptr);
            const std::wstring temp = TempFolder();
            addin_task_ = dl_create_task(remote.addin_url.c_str(), temp.c_str(), nullptr, 0);
            skin_task_ = dl_create_task(remote.skin_url.c_str(), temp.c_str(), nullptr, 0);
            dl_start_all_tasks();
            if (addin_task_ < 0 && skin_task_ < 0) {
                // Nothing to fetch or install: no reason to wait for the
                // time-out.
                KillTimer(Window(), kAddinTimeoutTimerId);
                PostMessageW(Window(), kStartGameMessage, 0, 0);
            }
        } else {
            SendMessageW(Window(), kStartGameMessage, 0, 0);
        }
    } else {
        Enable("DirButton", false);
        Enable("InstallCheck", false);
        Enable("ActionButton", false);
        SetText("TextTips1", L"初始化下载组件失败!");
        SetText("TextTips2", std::wstring());
    }
    main_window_->Redraw("ImageBkgBottom");
}

void DownloadController::StartGameDownload() {
    SetText("TextTips1", L"开始下载...");
    if (Control* cover = main_window_->Find("CoverButton")) {
        cover->SetVisible(1);
    }
    main_window_->Redraw("ImageBkgBottom");
    not_started_ = false;
    create_folder_tree(TextOf("TextDir"));
    CreateGameTasks();
    dl_start_all_tasks();
    fresh_start_ = false;
}

void DownloadController::on_host_running(int* answer) {
    if (!answer) {
        return;
    }
    *answer = AskUser(L"初始化下载组件需要退出Torvane，是否强制退出Torvane程序?", 1, 3);
}

// --- progress and states ---------------------------------------------------

dl_task_info DownloadController::Aggregate() {
    std::vector<dl_task_info> infos;
    for (int id : game_tasks_) {
        infos.push_back(TaskInfo(id));
    }
    const dl_task_info sum = AggregateProgress(infos, GameConfig::Instance().Remote().game_size);
    UpdatePercent(sum.total_size, sum.downloaded_size, percent_);
    return sum;
}

std::vector<TaskSnapshot> DownloadController::GameTaskSnapshots() {
    std::vector<TaskSnapshot> tasks;
    for (int id : game_tasks_) {
        TaskSnapshot task;
        task.state = TaskInfo(id).state;
        const std::wstring file = TaskPath(id);
        task.has_temporary_file = FileExists(file.empty() ? file : file + L".td");
        tasks.push_back(task);
    }
    return tasks;
}

void DownloadController::ShowProgress(const dl_task_info& info) {
    if (!receiving_) {
        return;
    }
    SetText("TextTips2", SpeedLine(info.total_size, info.downloaded_size, info.speed));
    ProgressControl* bar = main_window_->Progress();
    if (bar) {
        bar->SetText(BarCaption(info.total_size, info.downloaded_size).c_str());
    }
    if (info.total_size != 0) {
        if (bar) {
            uint32_t low = 0, high = 0;
            bar->GetRange(&low, &high);
            bar->SetPos(
                static_cast<uint32_t>(BarPosition(static_cast<int>(low), static_cast<int>(high),
                                                  info.total_size, info.downloaded_size)));
        }
        taskbar_.Show(info.total_size, info.downloaded_size);
    }
    main_window_->Redraw("ImageBkgBottom");
}

void DownloadController::ClearTaskbarProgress() {
    taskbar_.Clear();
}

int64_t DownloadController::SavedTime() {
    return ::SavedTime(Aggregate().total_size);
}

void DownloadController::on_task_progress(int task_id) {
    if (task_id == addin_task_ || task_id == skin_task_) {
        return;
    }
    const dl_task_info info = task_id == accel_task_ ? TaskInfo(task_id) : Aggregate();
    ShowProgress(info);
    SetWindowTextW(Window(), TitleWithPercent(GameConfig::Instance().WindowTitle(), info.total_size,
                                              info.downloaded_size)
                                 .c_str());
}

void DownloadController::on_task_state(int task_id) {
    const dl_task_info info = TaskInfo(task_id);
    if (task_id == addin_task_ || task_id == skin_task_) {
        if (addin_pending_ && !addin_installer_started_ &&
            TaskInfo(addin_task_).state == dl_state_complete &&
            TaskInfo(skin_task_).state == dl_state_complete) {
            addin_installer_started_ = true;
            const RemoteGameValues& remote = GameConfig::Instance().Remote();
            AddinSettings settings;
            settings.game_id = GameConfig::Instance().GameId();
            settings.title = GameConfig::Instance().GameTitle();
            settings.tab_info_url = remote.tab_info_url;
            settings.tab_url = remote.tab_url;
            settings.news_url = remote.news_url;
            settings.hotspot_url = remote.hotspot_url;
            addin_installer_ = std::make_unique<AddinInstaller>(settings, *this, addin_ended_);
            CloseEndedInstaller();
            installer_thread_ = addin_installer_->Start(addin_task_, skin_task_);
        }
        return;
    }
    if (task_id == accel_task_) {
        switch (info.state) {
            case dl_state_complete:
                ShowProgress(info);
                ClearTaskbarProgress();
                receiving_ = false;
                paused_ = true;
                SetText("TextTips1", L"正在安装网游加速器组件...");
                MainWindow::Relayout(main_window_->Find("ImageBkgBottom"));
                accelerator_installer_ =
                    std::make_unique<AcceleratorInstaller>(*this, accelerator_ended_);
                CloseEndedInstaller();
                installer_thread_ = accelerator_installer_->Start(accel_task_);
                if (!installer_thread_) {
                    // No thread: nothing would ever end this state.
                    PostMessageW(Window(), kAcceleratorEndedMessage, 0, 0);
                }
                break;
            case dl_state_running:
                receiving_ = true;
                ShowProgress(info);
                break;
            case dl_state_stopped:
                ShowProgress(info);
                ClearTaskbarProgress();
                receiving_ = false;
                break;
            default:
                receiving_ = false;
                break;
        }
        main_window_->Redraw("ImageBkgBottom");
        return;
    }

    if (info.state == dl_state_failed) {
        SendBeacon(L"downertask", L"fail");
    }
    const std::vector<TaskSnapshot> tasks = GameTaskSnapshots();
    if (paused_ && TasksRunning(tasks)) {
        Enable("ActionButton", true);
        SetCaption("ActionButton", L"暂停下载");
        SetText("TextTips1", L"正在下载中...");
        paused_ = false;
        receiving_ = true;
        ShowProgress(Aggregate());
    } else if ((transfer_requested_ || !paused_) && TasksPaused(tasks)) {
        if (transfer_requested_ && TasksInMotion(tasks)) {
            // A task that has not yet written its ".td" file still counts as
            // paused above; the hand-over waits until the engine has let go
            // of every file, or the host's engine would write one too.
            return;
        }
        ShowProgress(Aggregate());
        ClearTaskbarProgress();
        receiving_ = false;
        if (transfer_requested_) {
            transfer_requested_ = false;
            if (transfer_.HandOver(MakeTransferRequest()) == TaskTransfer::Outcome::handed_over) {
                return;
            }
        }
        Enable("ActionButton", true);
        SetCaption("ActionButton", L"继续下载");
        SetText("TextTips1", L"已暂停");
        SetText("TextTips2", std::wstring());
        paused_ = true;
    } else if (!finished_ && TasksComplete(tasks)) {
        // Every game task reports its own last state: the download ends
        // once, not once per task.
        finished_ = true;
        FinishedDownload();
        return;
    }
    main_window_->Redraw("ImageBkgBottom");
}

void DownloadController::FinishedDownload() {
    GameConfig& config = GameConfig::Instance();
    SendBeacon(L"completeins", L"1");
    ShowProgress(Aggregate());
    ClearTaskbarProgress();
    receiving_ = false;
    paused_ = true;
    config.SetConverToTorvane7(false);
    config.SetAccTime(SavedTime());
    ShowBalloon(config.GameTitle() + L"客户端已经下载完毕");
    if (Control* cover = main_window_->Find("CoverButton")) {
        cover->SetVisible(0);
    }
    percent_ = 100;
    CheckboxControl* check = main_window_->InstallCheck();
    if (check && check->IsChecked()) {
        SetText("TextTips1", L"正在下载网游加速器组件...");
        SetText("TextTips2", std::wstring());
        if (ProgressControl* bar = main_window_->Progress()) {
            bar->SetText(L"");
            bar->SetPos(0);
        }
        Enable("ActionButton", false);
        accel_task_ = dl_create_task(config.FervoUrl().c_str(), TempFolder().c_str(), nullptr, 0);
        if (accel_task_ >= 0) {
            dl_start_all_tasks();
            main_window_->Redraw("ImageBkgBottom");
            return;
        }
        // No accelerator to fetch (no address configured): the window would
        // otherwise wait for it for ever.
    }
    ShowCompleteLayout();
}

void DownloadController::ShowBalloon(const std::wstring& text) {
    if (!tray_added_) {
        return;
    }
    NOTIFYICONDATAW data = {};
    data.cbSize = TrayDataSize();
    data.hWnd = Window();
    data.uID = kTrayIconId;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_INFO;  // 23
    data.uCallbackMessage = kTrayCallbackMessage;
    data.hIcon = tray_icon_;
    const std::wstring tip = GameConfig::Instance().WindowTitle();
    wcsncpy(data.szTip, tip.c_str(), sizeof data.szTip / sizeof data.szTip[0] - 1);
    wcsncpy(data.szInfo, text.c_str(), sizeof data.szInfo / sizeof data.szInfo[0] - 1);
    wcsncpy(data.szInfoTitle, L"提示", sizeof data.szInfoTitle / sizeof data.szInfoTitle[0] - 1);
    data.uTimeout = 8000;
    data.dwInfoFlags = NIIF_INFO;
    Shell_NotifyIconW(NIM_MODIFY, &data);
}

void DownloadController::ShowCompleteLayout() {
    GameConfig& config = GameConfig::Instance();
    percent_ = 100;
    if (ProgressControl* bar = main_window_->Progress()) {
        uint32_t low = 0, high = 0;
        bar->GetRange(&low, &high);
        bar->SetPos(high);
        MainWindow::Relayout(bar);
    }
    Enable("DirButton", true);
    SetCaption("DirButton", L"打开目录");
    int64_t saved = config.AccTime();
    if (saved == -1) {
        saved = SavedTime();
    }
    std::wstring duration;
    duration_text(static_cast<unsigned long long>(saved), duration);
    if (TextControl* tips1 = main_window_->Text("TextTips1")) {
        const RECT rect = {8, 55, -8, 85};
        tips1->SetLayout("relative:ltrt", &rect);
        tips1->SetFontSize(14);
        tips1->SetText(L"现在游戏已经下载完成");
    }
    if (TextControl* tips2 = main_window_->Text("TextTips2")) {
        const RECT rect = {8, 95, -8, 125};
        tips2->SetText((L"本次下载共为你节省下载时间 " + duration).c_str());
        tips2->SetFormat(4);
        tips2->SetLayout("relative:ltrt", &rect);
    }
    if (Control* bar = main_window_->Progress()) {
        bar->SetVisible(0);
    }
    if (Control* check = main_window_->InstallCheck()) {
        check->SetVisible(0);
    }
    Enable("ActionButton", true);
    SetCaption("ActionButton", L"开始安装");
    MainWindow::Relayout(main_window_->Find("ImageBkgBottom"));
    completed_ = true;
}

void DownloadController::RunFirstGameFile() {
    for (int id : game_tasks_) {
        if (!FileExists(TaskPath(id))) {
            return;
        }
    }
    if (game_tasks_.empty()) {
        return;
    }
    const std::wstring file = TaskPath(game_tasks_[0]);
    if (file_extension(file) == L"exe") {
        SHELLEXECUTEINFOW info = {};
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_NOCLOSEPROCESS;
        info.lpVerb = L"open";
        info.lpFile = file.c_str();
        info.nShow = SW_SHOW;
        if (ShellExecuteExW(&info) && info.hProcess) {
            CloseHandle(info.hProcess);
        }
    } else {
        ShellExecuteW(nullptr, L"open", file.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    }
}

// --- clicks ----------------------------------------------------------------

int DownloadController::OnLButtonUp(Control* control, uint32_t, int, int) {
    if (!control) {
        return 0;
    }
    const std::string name = control->GetName();
    HWND hwnd = Window();
    if (name == "minibtn") {
        ShowWindow(hwnd, SW_MINIMIZE);
    } else if (name == "closebtn") {
        ShowWindow(hwnd, SW_HIDE);
    } else if (name == "DirButton") {
        OnDirButton();
    } else if (name == "ActionButton") {
        OnActionButton();
    } else if (name == "CoverButton") {
        HandOver();
    } else if (name == "TextlinkTips") {
        const GameConfig& config = GameConfig::Instance();
        OpenTipsWindow(&tips_window_, nullptr, config.Remote().tips_url, config.GameTitle(), this);
    }
    return 0;
}

void DownloadController::OnDirButton() {
    ButtonControl* button = main_window_->Button("DirButton");
    if (!button) {
        return;
    }
    const std::wstring caption = button->GetText();
    if (caption == L"打开目录") {
        ShellExecuteW(nullptr, L"open", TextOf("TextDir").c_str(), nullptr, nullptr, SW_SHOWNORMAL);
        return;
    }
    if (caption != L"更改目录") {
        return;
    }
    for (;;) {
        std::wstring folder;
        if (!choose_folder(Window(), TextOf("TextDir"), L"浏览文件夹", folder)) {
            return;
        }
        if (EnoughDiskSpace(folder)) {
            if (folder.empty() || folder.back() != L'\\') {
                folder += L'\\';
            }
            SetText("TextDir", folder + GameConfig::Instance().GameTitle());
            main_window_->Redraw("TextDir");
            return;
        }
        if (AskUser(kNoSpace, 1, 2) == 2) {
            return;
        }
    }
}

// --- hand-over -------------------------------------------------------------

void DownloadController::StartHostForTask() {
    if (host_running()) {
        return;
    }
    std::wstring host;
    if (host_path(host)) {
        ShellExecuteW(nullptr, L"open", host.c_str(), L"-window:bringtotop", nullptr, SW_SHOW);
    }
}

TransferRequest DownloadController::MakeTransferRequest() const {
    GameConfig& config = GameConfig::Instance();
    TransferRequest request;
    request.game_id = config.GameId();
    request.game_urls = config.Remote().game_urls;
    request.task_ids = game_tasks_;
    request.addin_present = addin_present_;
    request.sel_my_download = config.SelMyDownload();
    request.program_folder = program_directory();
    return request;
}

void DownloadController::HandOver() {
    if (transfer_.Transfer(MakeTransferRequest()) == TaskTransfer::Outcome::stopping) {
        transfer_requested_ = true;
    }
}

int DownloadController::Ask(TransferQuestion, const std::wstring& text) {
    return AskUser(text, 1, 2);
}

void DownloadController::ShowTransferring() {
    for (const char* name : {"DirButton", "InstallCheck", "ActionButton", "CoverButton"}) {
        Enable(name, false);
    }
    SetText("TextTips1", transfer_status_text);
    main_window_->Redraw("ImageBkgBottom");
}

void DownloadController::RefreshControls() {
    // While the tasks stop for the hand-over the controls stay as the
    // transfer left them; the state events set them again.
    if (transfer_requested_) {
        return;
    }
    Enable("CoverButton", true);
    Enable("ActionButton", true);
    if (paused_) {
        SetCaption("ActionButton", fresh_start_ ? L"开始下载" : L"继续下载");
        SetText("TextTips1", fresh_start_ ? L"" : L"已暂停");
    } else {
        SetCaption("ActionButton", L"暂停下载");
        SetText("TextTips1", L"正在下载中...");
    }
    main_window_->Redraw("ImageBkgBottom");
}

void DownloadController::CloseMainWindow() {
    DestroyWindow(Window());
}

void DownloadController::SendHandOverReport() {
    SendBeacon(L"completeins", L"0");
}

void DownloadController::SetHandedOver() {
    GameConfig::Instance().SetConverToTorvane7(true);
}

void DownloadController::CloseEndedInstaller() {
    HANDLE thread = installer_thread_;
    if (thread && WaitForSingleObject(thread, 0) == WAIT_OBJECT_0) {
        CloseHandle(thread);
        installer_thread_ = nullptr;
    }
}

void DownloadController::AddinEnded::Ended() {
    owner_->addin_present_ = true;
    if (owner_->not_started_) {
        HWND hwnd = owner_->Window();
        KillTimer(hwnd, kAddinTimeoutTimerId);
        PostMessageW(hwnd, kStartGameMessage, 0, 0);
    }
}

void DownloadController::AcceleratorEnded::Ended() {
    PostMessageW(owner_->Window(), kAcceleratorEndedMessage, 0, 0);
}
