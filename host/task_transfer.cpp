#include "host/task_transfer.h"

#include <shellapi.h>
#include <shlwapi.h>

#include "host/host_process.h"
#include "host/host_registry.h"
#include "service/task_store.h"

const wchar_t transfer_close_host_question[] =
    L"转移任务需要关闭Torvane7，否则将会失败，是否允许自动关闭Torvane程序?";
const wchar_t transfer_addin_missing_question[] =
    L"检测到Torvane7相关插件没有安装，任务转移到Torvane7将会丢失，确定转移任务吗?";
const wchar_t transfer_status_text[] = L"正在转移...";

namespace {

// Ends the running host like close_host() does, but waits a bounded time for
// it to go: this runs on the user-interface thread. Whether it went is seen
// by the next look.
void end_host(DWORD wait_ms) {
    const DWORD id = process_id_by_name(L"torvane.exe");
    if (id == 0) {
        return;
    }
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
    if (!process) {
        return;
    }
    if (TerminateProcess(process, 0)) {
        WaitForSingleObject(process, wait_ms);
    }
    CloseHandle(process);
}

}  // namespace

int ServiceTransferTasks::Info(int task_id, dl_task_info* info) {
    return dl_get_task_info(task_id, info);
}

int ServiceTransferTasks::Path(int task_id, std::wstring& out) {
    return dl_get_task_path(task_id, out);
}

void ServiceTransferTasks::StopAll() {
    dl_stop_all_tasks();
}

std::wstring host_transfer_parameters(const std::wstring& path, bool sel_my_download) {
    return L"-NetGameCmd:\"" + path + L"\" -SelMyDownload:" + (sel_my_download ? L"yes" : L"no");
}

int TaskTransfer::Ready(const std::vector<int>& task_ids) {
    bool stopped = false;
    for (int id : task_ids) {
        dl_task_info info = {};
        tasks_.Info(id, &info);
        if (info.state == dl_state_stopped) {
            stopped = true;
        } else if (info.state >= dl_state_predownloading && info.state <= dl_state_stopping) {
            // Still in the engine's hands: it may create or write the ".td"
            // file at any moment, and two engines must never share a file.
            return 0;
        } else if (info.state != dl_state_complete && info.state != dl_state_failed) {
            std::wstring path;
            tasks_.Path(id, path);
            if (PathFileExistsW((path + L".td").c_str())) {
                return 0;
            }
        }
    }
    return stopped ? 1 : 0;
}

TaskTransfer::Outcome TaskTransfer::Transfer(const TransferRequest& request) {
    // The host holds its task list open while it runs; it has to go first.
    while (host_running()) {
        if (site_.Ask(TransferQuestion::close_host, transfer_close_host_question) != 1) {
            return Outcome::refused;
        }
        end_host(2000);
        Sleep(recheck_ms_);
    }
    if (!request.addin_present) {
        if (site_.Ask(TransferQuestion::addin_missing, transfer_addin_missing_question) == 1) {
            site_.CloseMainWindow();
            return Outcome::closed;
        }
        return Outcome::refused;
    }
    site_.ShowTransferring();
    if (!Ready(request.task_ids)) {
        pending_ = true;
        tasks_.StopAll();
        site_.RefreshControls();
        return Outcome::stopping;
    }
    const Outcome outcome = HandOver(request);
    if (outcome != Outcome::handed_over) {
        site_.RefreshControls();
    }
    return outcome;
}

TaskTransfer::Outcome TaskTransfer::HandOver(const TransferRequest& request) {
    pending_ = false;
    site_.SendHandOverReport();
    std::vector<qm::win32::net::transfer_entry> entries;
    for (size_t i = 0; i < request.task_ids.size(); ++i) {
        qm::win32::net::transfer_entry entry;
        entry.url = i < request.game_urls.size() ? request.game_urls[i] : std::wstring();
        dl_task_info info = {};
        tasks_.Info(request.task_ids[i], &info);
        entry.state = info.state;
        tasks_.Path(request.task_ids[i], entry.path);
        entries.push_back(entry);
    }
    const std::wstring file = request.program_folder + L"gametaskinfo.ini";
    const int unfinished = qm::win32::net::write_transfer_file(file, request.game_id, entries,
                                                               request.game_urls.size());
    if (!unfinished) {
        return PathFileExistsW(file.c_str()) ? Outcome::nothing_to_hand : Outcome::not_written;
    }
    if (!PathFileExistsW(file.c_str())) {
        return Outcome::not_written;
    }
    // Only a host that really started owns the download; otherwise the next
    // start would send the user to a host that never got it.
    std::wstring host;
    if (!host_path(host)) {
        return Outcome::host_failed;
    }
    const std::wstring parameters = host_transfer_parameters(file, request.sel_my_download);
    const HINSTANCE started =
        ShellExecuteW(nullptr, L"open", host.c_str(), parameters.c_str(), nullptr, SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(started) <= 32) {
        return Outcome::host_failed;
    }
    site_.SetHandedOver();
    site_.CloseMainWindow();
    Sleep(after_start_ms_);
    return Outcome::handed_over;
}
