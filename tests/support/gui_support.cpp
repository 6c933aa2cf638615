#include "tests/support/gui_support.h"

#include <cwchar>
#include <string>

namespace qm::test {

namespace {

void DispatchWaiting() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace

bool PumpUntil(const std::function<bool()>& done, DWORD timeout_ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        DispatchWaiting();
        if (done()) {
            return true;
        }
        if (GetTickCount() - start >= timeout_ms) {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

void Pump(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

bool PumpUntilSignalled(HANDLE object, DWORD timeout_ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        DispatchWaiting();
        const DWORD spent = GetTickCount() - start;
        if (spent >= timeout_ms) {
            return WaitForSingleObject(object, 0) == WAIT_OBJECT_0;
        }
        const DWORD slice = timeout_ms - spent < 50 ? timeout_ms - spent : 50;
        if (MsgWaitForMultipleObjects(1, &object, FALSE, slice, QS_ALLINPUT) == WAIT_OBJECT_0) {
            return true;
        }
    }
}

bool LeaveWindowsUnmanaged() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        return false;
    }
    const wchar_t* name = wcsrchr(path, L'\\');
    name = name ? name + 1 : path;
    const std::wstring key =
        std::wstring(L"Software\\Wine\\AppDefaults\\") + name + L"\\X11 Driver";
    HKEY handle;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &handle, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const wchar_t value[] = L"N";
    RegSetValueExW(handle, L"Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                   sizeof value);
    RegCloseKey(handle);
    return true;
}

}  // namespace qm::test
