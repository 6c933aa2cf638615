// tdengine-get URL FOLDER: downloads one URL through asyn_download_interface.dll
// (loaded from this program's folder, as a client loads it) and prints
// "complete <bytes> <milliseconds>" or "failed <engine error>". For scripts and
// benchmarks.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

template <typename F>
bool look(HMODULE m, F& f, const char* name) {
    f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m, name)));
    return f != nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: tdengine-get URL FOLDER\n");
        return 2;
    }
    char self[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string dir(self, n);
    dir = dir.substr(0, dir.find_last_of("\\/") + 1);
    HMODULE m = LoadLibraryA((dir + "asyn_download_interface.dll").c_str());
    int(__stdcall * init)(int);
    int(__stdcall * uninit)();
    int(__stdcall * start_process_thread)();
    int(__stdcall * create_new_task)(const char*, int, const char*, int, const char*, int,
                                     const char*, int, const char*, int, int*);
    int(__stdcall * start_task)(int);
    int(__stdcall * query)(int, void*);
    if (!m || !look(m, init, "init") || !look(m, uninit, "uninit") ||
        !look(m, start_process_thread, "start_process_thread") ||
        !look(m, create_new_task, "create_new_task") || !look(m, start_task, "start_task") ||
        !look(m, query, "query_p2sp_task_info")) {
        std::printf("failed no-library\n");
        return 1;
    }
    init(0);
    if (start_process_thread() != 0) {
        std::printf("failed no-engine\n");
        return 1;
    }
    std::string url = argv[1], folder = argv[2];
    int id = -1;
    DWORD begin = GetTickCount();
    if (create_new_task(url.c_str(), static_cast<int>(url.size()), nullptr, 0, nullptr, 0,
                        folder.c_str(), static_cast<int>(folder.size()), nullptr, 0, &id) != 0 ||
        start_task(id) != 0) {
        std::printf("failed create\n");
        uninit();
        return 1;
    }
    int code = 1;
    for (;;) {
        unsigned char block[1096] = {};
        if (query(id, block) != 0) {
            std::printf("failed engine-gone\n");
            break;
        }
        std::int32_t state = 0;
        std::uint32_t error = 0;
        std::uint64_t total = 0;
        std::memcpy(&state, block, 4);
        std::memcpy(&error, block + 4, 4);
        std::memcpy(&total, block + 28, 8);
        if (state == 11) {
            std::printf("complete %llu %lu\n", static_cast<unsigned long long>(total),
                        static_cast<unsigned long>(GetTickCount() - begin));
            code = 0;
            break;
        }
        if (state == 12) {
            std::printf("failed %lu\n", static_cast<unsigned long>(error));
            break;
        }
        Sleep(20);
    }
    uninit();
    FreeLibrary(m);
    return code;
}
