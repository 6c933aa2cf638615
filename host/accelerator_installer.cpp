#include "host/accelerator_installer.h"

#include <process.h>

#include <string>

#include "host/host_process.h"
#include "host/installer_process.h"
#include "service/dl_api.h"

const wchar_t close_accelerator_question[] =
    L"检测到已有网游加速器正在运行，安装新的加速器组件需要关闭相关进程，否则无法继续安装，"
    L"是否允许自动关闭该进程?";

namespace {

struct ThreadStart {
    AcceleratorInstaller* installer;
    int task;
};

unsigned __stdcall install_thread(void* argument) {
    const ThreadStart start = *static_cast<ThreadStart*>(argument);
    delete static_cast<ThreadStart*>(argument);
    start.installer->Install(start.task);
    return 0;
}

}  // namespace

void AcceleratorInstaller::SetWaitLimits(DWORD close_ms, DWORD install_ms) {
    close_ms_ = close_ms;
    install_ms_ = install_ms;
}

HANDLE AcceleratorInstaller::Start(int installer_task) {
    auto* start = new ThreadStart{this, installer_task};
    const uintptr_t thread = _beginthreadex(nullptr, 0, install_thread, start, 0, nullptr);
    if (thread == 0) {
        delete start;
        return nullptr;
    }
    return reinterpret_cast<HANDLE>(thread);
}

InstallerResult AcceleratorInstaller::Install(int installer_task) {
    const InstallerResult result = InstallSteps(installer_task);
    done_.Ended();
    return result;
}

InstallerResult AcceleratorInstaller::InstallSteps(int installer_task) {
    std::wstring installer;
    dl_get_task_path(installer_task, installer);
    while (accelerator_running()) {
        if (prompt_.Ask(InstallerQuestion::close_accelerator, close_accelerator_question) != 1) {
            return InstallerResult::refused;
        }
        end_process_named(L"dozurudire.exe", close_ms_);
        Sleep(500);
    }
    // Whether the installer started and how it ended is not looked at.
    return run_hidden_and_wait(installer, L"/S", install_ms_) == RunResult::timed_out
               ? InstallerResult::timed_out
               : InstallerResult::installed;
}
