// -NetGameCmd: the hand-over from the client. The file lists finished,
// half-done (".td" beside them) and not yet begun downloads; the half-done
// ones are continued and the rest started through the download engine in
// this executable's folder, and Torvane.exe waits until each has ended.
#include <cstdint>
#include <cstring>
#include <vector>

#include "standins/host/torvane.h"

namespace torvane {

namespace {

using init_fn = int(WINAPI*)(int);
using uninit_fn = int(WINAPI*)();
using create_new_task_fn = int(WINAPI*)(const char*, int, const char*, int, const char*, int,
                                        const char*, int, const char*, int, int*);
using create_continued_task_fn = int(WINAPI*)(const char*, int, const char*, int, const char*, int,
                                              const char*, int, const char*, int, int*);
using task_fn = int(WINAPI*)(int);
using query_info_fn = int(WINAPI*)(int, void*);
using set_task_type_fn = int(WINAPI*)(int, int);
using no_arg_fn = int(WINAPI*)();

const int kInfoBlockSize = 1096;
const int kEngineStopped = 10;
const int kEngineFinished = 11;
const int kEngineFailed = 12;

// A download that makes no progress for this long counts as failed, so a
// dead engine cannot keep Torvane.exe alive for ever.
const DWORD kStallMs = 60000;

struct Listed {
    std::wstring section;
    std::wstring url;
    std::wstring path;
};

struct Running {
    Listed task;
    int id = -1;
    bool ended = false;
    std::uint64_t last_size = 0;
    DWORD last_change = 0;
};

struct Engine {
    HMODULE module = nullptr;
    init_fn init = nullptr;
    uninit_fn uninit = nullptr;
    create_new_task_fn create_new_task = nullptr;
    create_continued_task_fn create_continued_task = nullptr;
    task_fn start_task = nullptr;
    task_fn stop_task = nullptr;
    query_info_fn query_p2sp_task_info = nullptr;
    no_arg_fn start_process_thread = nullptr;
    set_task_type_fn set_task_type = nullptr;
};

template <typename T>
bool entry(HMODULE module, const char* name, T& out) {
    out = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    if (out == nullptr) {
        log_event(L"error", L"engine entry missing\t" + from_ansi(name));
    }
    return out != nullptr;
}

bool load_engine(Engine& engine) {
    const std::wstring path = own_folder() + L"asyn_download_interface.dll";
    if (!file_exists(path)) {
        log_event(L"error", L"engine missing\t" + path);
        return false;
    }
    // The engine finds its process and files through the current directory.
    SetCurrentDirectoryW(own_folder().c_str());
    engine.module = LoadLibraryW(path.c_str());
    if (engine.module == nullptr) {
        log_event(L"error", L"engine not loaded\t" + std::to_wstring(GetLastError()));
        return false;
    }
    const bool ok = entry(engine.module, "init", engine.init) &&
                    entry(engine.module, "uninit", engine.uninit) &&
                    entry(engine.module, "create_new_task", engine.create_new_task) &&
                    entry(engine.module, "create_continued_task", engine.create_continued_task) &&
                    entry(engine.module, "start_task", engine.start_task) &&
                    entry(engine.module, "stop_task", engine.stop_task) &&
                    entry(engine.module, "query_p2sp_task_info", engine.query_p2sp_task_info) &&
                    entry(engine.module, "start_process_thread", engine.start_process_thread) &&
                    entry(engine.module, "set_task_type", engine.set_task_type);
    if (!ok) {
        FreeLibrary(engine.module);
        engine.module = nullptr;
        return false;
    }
    engine.init(0);
    engine.start_process_thread();
    return true;
}

std::wstring profile_string(const std::wstring& file, const wchar_t* section,
                            const std::wstring& key) {
    std::vector<wchar_t> buffer(4096);
    GetPrivateProfileStringW(section, key.c_str(), L"", buffer.data(),
                             static_cast<DWORD>(buffer.size()), file.c_str());
    return buffer.data();
}

std::vector<Listed> read_section(const std::wstring& file, const wchar_t* section) {
    std::vector<Listed> tasks;
    const UINT count = GetPrivateProfileIntW(section, L"TaskCount", 0, file.c_str());
    for (UINT n = 1; n <= count && n <= 1000; ++n) {
        Listed task;
        task.section = section;
        task.url = profile_string(file, section, L"urlgametask" + std::to_wstring(n));
        task.path = profile_string(file, section, L"pathgametask" + std::to_wstring(n));
        if (task.url.empty()) {
            log_event(L"skipped", std::wstring(section) + L"\t" + std::to_wstring(n));
            continue;
        }
        tasks.push_back(task);
    }
    return tasks;
}

// Creates and starts one engine task: continued from its ".td" file when
// that exists, otherwise anew into the file's folder.
bool start_download(Engine& engine, Running& run) {
    const std::wstring& path = run.task.path;
    const size_t slash = path.find_last_of(L"\\/");
    const std::wstring folder =
        slash == std::wstring::npos ? own_folder() : path.substr(0, slash + 1);
    const std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    if (slash != std::wstring::npos) {
        CreateDirectoryW(folder.c_str(), nullptr);
    }
    const std::string url = to_ansi(run.task.url);
    const std::string folder_a = to_ansi(folder);
    const std::string name_a = to_ansi(name);
    int id = -1;
    int rc = 0;
    std::wstring how;
    if (!name.empty() && file_exists(path + L".td")) {
        how = L"continue";
        rc = engine.create_continued_task(url.c_str(), static_cast<int>(url.size()), nullptr, 0,
                                          nullptr, 0, folder_a.c_str(),
                                          static_cast<int>(folder_a.size()), name_a.c_str(),
                                          static_cast<int>(name_a.size()), &id);
    } else {
        how = L"start";
        rc = engine.create_new_task(url.c_str(), static_cast<int>(url.size()), nullptr, 0, nullptr,
                                    0, folder_a.c_str(), static_cast<int>(folder_a.size()), nullptr,
                                    0, &id);
    }
    if (rc != 0) {
        log_event(L"failed", how + L"\t" + run.task.url + L"\tcreate " + std::to_wstring(rc));
        return false;
    }
    engine.set_task_type(id, 0);
    rc = engine.start_task(id);
    if (rc != 0) {
        log_event(L"failed", how + L"\t" + run.task.url + L"\tstart " + std::to_wstring(rc));
        return false;
    }
    run.id = id;
    run.last_change = GetTickCount();
    log_event(how, run.task.url + L"\t" + path);
    return true;
}

// Polls until every download has finished, failed or stalled. Returns the
// number that finished.
size_t wait_for_downloads(Engine& engine, std::vector<Running>& runs) {
    size_t finished = 0;
    for (;;) {
        bool busy = false;
        for (Running& run : runs) {
            if (run.ended) {
                continue;
            }
            std::vector<unsigned char> block(kInfoBlockSize, 0);
            if (engine.query_p2sp_task_info(run.id, block.data()) == 0) {
                std::int32_t state = 0;
                std::uint64_t downloaded = 0;
                std::int32_t name_length = 0;
                std::memcpy(&state, &block[0], 4);
                std::memcpy(&downloaded, &block[44], 8);
                std::memcpy(&name_length, &block[56], 4);
                if (name_length < 0 || name_length > kInfoBlockSize - 60) {
                    name_length = 0;
                }
                const std::wstring name =
                    from_ansi(std::string(reinterpret_cast<const char*>(&block[60]), name_length));
                if (downloaded != run.last_size) {
                    run.last_size = downloaded;
                    run.last_change = GetTickCount();
                }
                if (state == kEngineFinished) {
                    run.ended = true;
                    ++finished;
                    log_event(L"done",
                              run.task.url + L"\t" + name + L"\t" + std::to_wstring(downloaded));
                    continue;
                }
                if (state == kEngineFailed || state == kEngineStopped) {
                    run.ended = true;
                    log_event(L"failed", run.task.url + L"\tstate " + std::to_wstring(state));
                    continue;
                }
            }
            if (GetTickCount() - run.last_change > kStallMs) {
                run.ended = true;
                engine.stop_task(run.id);
                log_event(L"failed", run.task.url + L"\tstalled");
                continue;
            }
            busy = true;
        }
        if (!busy) {
            return finished;
        }
        Sleep(250);
    }
}

}  // namespace

int run_net_game(const std::wstring& task_file, const std::wstring& select_my_download) {
    log_event(L"netgame", task_file + L"\t" + select_my_download);
    if (!file_exists(task_file)) {
        log_event(L"error", L"task file missing\t" + task_file);
        return 3;
    }
    log_event(L"game", profile_string(task_file, L"GameInfo", L"GameId"));
    for (const Listed& task : read_section(task_file, L"GameSuccessTask")) {
        log_event(L"finished", task.url + L"\t" + task.path +
                                   (file_exists(task.path) ? L"\tpresent" : L"\tmissing"));
    }
    std::vector<Running> runs;
    for (const wchar_t* section : {L"GameTempTask", L"GameCreateTask"}) {
        for (const Listed& task : read_section(task_file, section)) {
            log_event(L"listed", task.section + L"\t" + task.url + L"\t" + task.path);
            Running run;
            run.task = task;
            runs.push_back(run);
        }
    }
    if (runs.empty()) {
        return 0;
    }
    Engine engine;
    if (!load_engine(engine)) {
        return 4;
    }
    std::vector<Running> started;
    for (Running& run : runs) {
        if (start_download(engine, run)) {
            started.push_back(run);
        }
    }
    const size_t finished = wait_for_downloads(engine, started);
    engine.uninit();
    FreeLibrary(engine.module);
    log_event(L"summary",
              std::to_wstring(finished) + L" of " + std::to_wstring(runs.size()) + L" finished");
    return finished == runs.size() ? 0 : 5;
}

}  // namespace torvane
