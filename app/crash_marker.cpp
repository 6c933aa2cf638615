#include "app/crash_marker.h"

#include <cwchar>

#include "host/host_paths.h"

namespace {

// Built before any crash, so that the filter itself needs no heap.
wchar_t g_record_path[MAX_PATH + 32];
LPTOP_LEVEL_EXCEPTION_FILTER g_previous_filter = nullptr;

void SetRecordPath() {
    const std::wstring path = program_directory() + L"record.ini";
    wcsncpy(g_record_path, path.c_str(), sizeof g_record_path / sizeof g_record_path[0] - 1);
}

}  // namespace

void InstallCrashFilter() {
    SetRecordPath();
    g_previous_filter = SetUnhandledExceptionFilter(CrashFilter);
}

void RestoreCrashFilter() {
    SetUnhandledExceptionFilter(g_previous_filter);
}

LONG WINAPI CrashFilter(EXCEPTION_POINTERS*) {
    WritePrivateProfileStringW(L"Crash", L"Count", L"1", g_record_path);
    return EXCEPTION_CONTINUE_SEARCH;
}

bool TakeCrashMarker() {
    if (!g_record_path[0]) {
        SetRecordPath();
    }
    if (GetPrivateProfileIntW(L"Crash", L"Count", 0, g_record_path) == 0) {
        return false;
    }
    WritePrivateProfileStringW(L"Crash", L"Count", L"0", g_record_path);
    return true;
}
