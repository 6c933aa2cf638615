#include "host/installer_process.h"

#include <objbase.h>
#include <shellapi.h>

#include "host/host_process.h"

int end_process_named(const wchar_t* name, DWORD wait_ms) {
    const DWORD id = process_id_by_name(name);
    if (id == 0) {
        return 0;
    }
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
    if (!process) {
        return 0;
    }
    int ended = 0;
    if (TerminateProcess(process, 0)) {
        ended = WaitForSingleObject(process, wait_ms) == WAIT_OBJECT_0 ? 1 : 0;
    }
    CloseHandle(process);
    return ended;
}

RunResult run_hidden_and_wait(const std::wstring& file, const wchar_t* parameters, DWORD wait_ms) {
    if (file.empty()) {
        return RunResult::not_started;
    }
    // The shell may hand the start to an extension, which wants COM on the
    // calling thread (an installer thread has none of its own).
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.lpVerb = L"open";
    info.lpFile = file.c_str();
    info.lpParameters = parameters;
    info.nShow = SW_HIDE;
    const bool started = ShellExecuteExW(&info) && info.hProcess;
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    if (!started) {
        return RunResult::not_started;
    }
    const DWORD waited = WaitForSingleObject(info.hProcess, wait_ms);
    CloseHandle(info.hProcess);
    return waited == WAIT_OBJECT_0 ? RunResult::ended : RunResult::timed_out;
}
