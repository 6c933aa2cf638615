// A scripted download engine for Torvane.exe's hand-over tests: it writes
// every call it gets into "fake_engine.log" beside itself and "downloads" a
// task by turning its ".td" file into the finished file (continued tasks) or
// by writing the file named after the URL's last part (new tasks). A URL
// containing "fail" ends in the failed state instead.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>

namespace {

struct Task {
    std::string url;
    std::string folder;
    std::string name;
    bool continued = false;
    bool started = false;
    int polls = 0;
};

std::map<int, Task> tasks;
int next_id = 1;

std::string own_folder() {
    HMODULE self = nullptr;
    GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCSTR>(&own_folder), &self);
    char path[MAX_PATH] = {};
    GetModuleFileNameA(self, path, MAX_PATH);
    std::string full = path;
    return full.substr(0, full.find_last_of('\\') + 1);
}

void record(const std::string& line) {
    const std::string text = line + "\r\n";
    HANDLE file = CreateFileA((own_folder() + "fake_engine.log").c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        CloseHandle(file);
    }
}

std::string text(const char* data, int length) {
    return data == nullptr || length <= 0 ? std::string() : std::string(data, length);
}

const std::uint64_t kSize = 1234;

// Makes the finished file; false when that is impossible.
bool finish(const Task& task) {
    const std::string target = task.folder + task.name;
    if (task.continued) {
        return MoveFileExA((target + ".td").c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) !=
               0;
    }
    HANDLE file = CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const std::string content(kSize, 'x');
    DWORD written = 0;
    WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
    return true;
}

}  // namespace

extern "C" {

__declspec(dllexport) int WINAPI init(int flags) {
    record("init " + std::to_string(flags));
    return 0;
}

__declspec(dllexport) int WINAPI uninit() {
    record("uninit");
    return 0;
}

__declspec(dllexport) int WINAPI start_process_thread() {
    record("start_process_thread");
    return 0;
}

__declspec(dllexport) int WINAPI
    create_new_task(const char* url, int url_length, const char*, int, const char*, int,
                    const char* folder, int folder_length, const char* name, int name_length,
                    int* id) {
    if (url == nullptr || id == nullptr) {
        return 1;
    }
    Task task;
    task.url = text(url, url_length);
    task.folder = text(folder, folder_length);
    // Without a given name the engine names the file after the URL.
    task.name = text(name, name_length);
    if (task.name.empty()) {
        task.name = task.url.substr(task.url.find_last_of('/') + 1);
    }
    *id = next_id++;
    tasks[*id] = task;
    record("create_new_task " + task.url + "|" + task.folder + "|" + text(name, name_length) +
           " -> " + std::to_string(*id));
    return 0;
}

__declspec(dllexport) int WINAPI
    create_continued_task(const char* url, int url_length, const char*, int, const char*, int,
                          const char* folder, int folder_length, const char* name, int name_length,
                          int* id) {
    if (url == nullptr || id == nullptr || folder == nullptr || name == nullptr) {
        return 1;
    }
    Task task;
    task.url = text(url, url_length);
    task.folder = text(folder, folder_length);
    task.name = text(name, name_length);
    task.continued = true;
    *id = next_id++;
    tasks[*id] = task;
    record("create_continued_task " + task.url + "|" + task.folder + "|" + task.name + " -> " +
           std::to_string(*id));
    return 0;
}

__declspec(dllexport) int WINAPI set_task_type(int id, int type) {
    record("set_task_type " + std::to_string(id) + " " + std::to_string(type));
    return 0;
}

__declspec(dllexport) int WINAPI start_task(int id) {
    record("start_task " + std::to_string(id));
    auto found = tasks.find(id);
    if (found == tasks.end()) {
        return 2;
    }
    found->second.started = true;
    return 0;
}

__declspec(dllexport) int WINAPI stop_task(int id) {
    record("stop_task " + std::to_string(id));
    return tasks.count(id) ? 0 : 2;
}

// Running on the first poll, finished (or failed) on the second.
__declspec(dllexport) int WINAPI query_p2sp_task_info(int id, void* block) {
    auto found = tasks.find(id);
    if (found == tasks.end() || block == nullptr || !found->second.started) {
        return 2;
    }
    Task& task = found->second;
    unsigned char* out = static_cast<unsigned char*>(block);
    std::int32_t state = 2;
    std::uint64_t done = kSize / 2;
    if (++task.polls >= 2) {
        const bool ok = task.url.find("fail") == std::string::npos && finish(task);
        state = ok ? 11 : 12;
        done = ok ? kSize : done;
    }
    const std::int32_t name_length = static_cast<std::int32_t>(task.name.size());
    std::memcpy(out + 0, &state, 4);
    std::memcpy(out + 28, &kSize, 8);
    std::memcpy(out + 36, &done, 8);
    std::memcpy(out + 44, &done, 8);
    std::memcpy(out + 56, &name_length, 4);
    std::memcpy(out + 60, task.name.data(), task.name.size());
    return 0;
}

}  // extern "C"
