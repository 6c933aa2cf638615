#pragma once
// Hands the game's unfinished download over to the host downloader: the
// tasks are stopped, "gametaskinfo.ini" lists them, and the host is started
// with a command line that points to that file. Runs on the user-interface
// thread; everything it needs from the window goes through a TransferSite,
// everything it reads of the tasks through a TransferTasks, so that tests
// can script both.

#include <windows.h>

#include <string>
#include <vector>

#include "service/dl_api.h"

enum class TransferQuestion {
    close_host,     // the host runs and would not take the file
    addin_missing,  // without the add-in the host cannot show the game's tasks
};

extern const wchar_t transfer_close_host_question[];
extern const wchar_t transfer_addin_missing_question[];
extern const wchar_t transfer_status_text[];  // "正在转移..."

// The window side of the hand-over.
class TransferSite {
  public:
    virtual ~TransferSite() = default;
    // A two-button question; 1 is the first button.
    virtual int Ask(TransferQuestion question, const std::wstring& text) = 0;
    // Controls disabled, the status line showing transfer_status_text.
    virtual void ShowTransferring() = 0;
    // The controls as the download's state wants them again.
    virtual void RefreshControls() = 0;
    // Ends the program (the main window goes).
    virtual void CloseMainWindow() = 0;
    // "completeins" with style "0".
    virtual void SendHandOverReport() = 0;
    // Remembers that the host now owns the download ("ConverToTorvane7").
    virtual void SetHandedOver() = 0;
};

// The tasks as the download service knows them.
class TransferTasks {
  public:
    virtual ~TransferTasks() = default;
    virtual int Info(int task_id, dl_task_info* info) = 0;
    virtual int Path(int task_id, std::wstring& out) = 0;
    virtual void StopAll() = 0;
};

// The service's own tasks (dl_get_task_info, dl_get_task_path,
// dl_stop_all_tasks).
class ServiceTransferTasks : public TransferTasks {
  public:
    int Info(int task_id, dl_task_info* info) override;
    int Path(int task_id, std::wstring& out) override;
    void StopAll() override;
};

struct TransferRequest {
    std::wstring game_id;
    std::vector<std::wstring> game_urls;  // in list order
    std::vector<int> task_ids;            // one per game URL
    bool addin_present = false;           // the add-in installation finished
    bool sel_my_download = true;          // "SelMyDownload" is not "0"
    std::wstring program_folder;          // with its trailing backslash
};

// The parameters the host is started with for the file at path.
std::wstring host_transfer_parameters(const std::wstring& path, bool sel_my_download);

class TaskTransfer {
  public:
    enum class Outcome {
        refused,          // the user kept the host or the add-in question said no
        closed,           // the user chose to leave without a transfer
        stopping,         // tasks asked to stop; call Transfer again once they have
        handed_over,      // the host was started and the window closed
        nothing_to_hand,  // every task is finished: nothing was started
        not_written,      // the file could not be written
        host_failed,      // the host could not be started: the download stays here
    };

    TaskTransfer(TransferSite& site, TransferTasks& tasks) : site_(site), tasks_(tasks) {}
    TaskTransfer(const TaskTransfer&) = delete;
    TaskTransfer& operator=(const TaskTransfer&) = delete;

    // The pauses between closing the host and looking again, and after
    // starting it before the program goes on ending.
    void SetWaits(DWORD recheck_ms, DWORD after_start_ms) {
        recheck_ms_ = recheck_ms;
        after_start_ms_ = after_start_ms;
    }

    Outcome Transfer(const TransferRequest& request);
    // The tasks have stopped after a Transfer that answered stopping: send
    // the report, write the file and start the host.
    Outcome HandOver(const TransferRequest& request);
    // The tasks were asked to stop for a transfer that has not run yet.
    bool Pending() const { return pending_; }

    // 1 when a task is stopped and none in another unfinished state still
    // has its ".td" file.
    int Ready(const std::vector<int>& task_ids);

  private:
    TransferSite& site_;
    TransferTasks& tasks_;
    DWORD recheck_ms_ = 500;
    DWORD after_start_ms_ = 2000;
    bool pending_ = false;
};
