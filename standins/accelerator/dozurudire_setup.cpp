// dozurudire_setup.exe: the accelerator's silent installer ("/S"). Puts
// dozurudire.exe into "<Program Files>\Dozurudire\" (or "/D=<folder>") and
// starts it; the installer itself ends at once while the accelerator stays.
// A running accelerator is waited for ("/WAIT=<ms>", 30 s by default), since
// its executable cannot be replaced while it runs.
#include "standins/host/setup_common.h"

using namespace standin_setup;

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const Options options = parse_options(program_files() + L"\\Dozurudire");
    if (!options.silent) {
        return kNotSilent;
    }
    std::vector<File> files;
    if (!payload(files)) {
        return kPayloadMissing;
    }
    std::wstring busy;
    if (!wait_until_free(options.folder, files, options.wait_ms, busy)) {
        return kFilesInUse;
    }
    if (!write_files(options.folder, files)) {
        return kWriteFailed;
    }
    std::wstring command = L"\"" + options.folder + L"\\dozurudire.exe\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                        options.folder.c_str(), &startup, &process)) {
        return kStartFailed;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return kInstalled;
}
