#include "host/host_process.h"

#include <shlwapi.h>
#include <tlhelp32.h>

namespace {

// Calls match(entry) for each process of a fresh snapshot until it returns
// true; gives that process's id, or 0.
template <typename Match>
DWORD find_process(Match match) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return 0;
    }
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    DWORD id = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        if (match(entry)) {
            id = entry.th32ProcessID;
            break;
        }
    }
    CloseHandle(snapshot);
    return id;
}

DWORD worker_host_process() {
    return find_process([](const PROCESSENTRY32W& entry) {
        const wchar_t* name = PathFindFileNameW(entry.szExeFile);
        return lstrcmpiW(name, L"Torvane.exe") == 0 || lstrcmpiW(name, L"Torvane5.exe") == 0;
    });
}

}  // namespace

DWORD process_id_by_name(const wchar_t* name) {
    if (!name || !*name) {
        return 0;
    }
    return find_process(
        [name](const PROCESSENTRY32W& entry) { return lstrcmpiW(entry.szExeFile, name) == 0; });
}

int close_process_by_name(const wchar_t* name) {
    const DWORD id = process_id_by_name(name);
    if (id == 0) {
        return 0;
    }
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
    if (!process) {
        return 0;
    }
    int closed = 0;
    if (TerminateProcess(process, 0)) {
        // Ending is asynchronous; ten seconds is far more than it takes.
        closed = WaitForSingleObject(process, 10000) == WAIT_OBJECT_0 ? 1 : 0;
    }
    CloseHandle(process);
    return closed;
}

int host_running() {
    return process_id_by_name(L"torvane.exe") != 0 ? 1 : 0;
}

int accelerator_running() {
    return process_id_by_name(L"dozurudire.exe") != 0 ? 1 : 0;
}

int close_host() {
    return close_process_by_name(L"torvane.exe");
}

int close_accelerator() {
    return close_process_by_name(L"dozurudire.exe");
}

int worker_host_running() {
    return worker_host_process() != 0 ? 1 : 0;
}

int worker_close_host() {
    const DWORD id = worker_host_process();
    if (id == 0) {
        return 0;
    }
    HANDLE process =
        OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, id);
    if (!process) {
        return 0;
    }
    // A process that refuses to end is not reported as closed: the caller
    // checks again instead of going on beside a running host.
    if (!TerminateProcess(process, 1)) {
        CloseHandle(process);
        return 0;
    }
    // The process object is signalled once the process has ended; its exit
    // code (259 included) says nothing about that.
    const DWORD waited = WaitForSingleObject(process, 10000);
    CloseHandle(process);
    return waited == WAIT_OBJECT_0 ? 1 : 0;
}
