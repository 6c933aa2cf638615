#include "tests/installers/installer_test_support.h"

#include "host/host_process.h"
#include "service/download_service.h"
#include "tests/standins_host/support.h"

namespace installer_test {

using qm::win32::multithread::scoped_lock;

std::wstring package(const wchar_t* name) {
    return standin_test::built(INSTALLER_TEST_PACKAGES) + L"\\" + name;
}

int ScriptedPrompt::Ask(InstallerQuestion question, const std::wstring& text) {
    const bool running = question == InstallerQuestion::close_host
                             ? process_id_by_name(L"torvane.exe") != 0
                             : process_id_by_name(L"dozurudire.exe") != 0;
    asked.push_back({question, text, GetTickCount(), running});
    if (answers_.empty()) {
        return 0;
    }
    const int answer = answers_.front();
    answers_.erase(answers_.begin());
    return answer;
}

int task_for(const std::wstring& path) {
    static int counter = 0;
    const size_t slash = path.find_last_of(L'\\');
    const std::wstring folder = path.substr(0, slash + 1);
    const std::wstring url = L"http://127.0.0.1/installer-test/" + std::to_wstring(++counter) +
                             L"/" + path.substr(slash + 1);
    const int id = dl_create_task(url.c_str(), folder.c_str(), nullptr, 0);
    auto* task = qm::win32::net::download_service::instance().tasks().find_by_id(id);
    if (!task) {
        return -1;
    }
    scoped_lock hold(task->lock);
    task->file_name = path.substr(slash + 1);
    return id;
}

std::string read_file(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return "<missing>";
    }
    std::string data;
    char buffer[8192];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        data.append(buffer, got);
    }
    CloseHandle(file);
    return data;
}

namespace {

void collect(const std::wstring& root, const std::wstring& relative,
             std::map<std::wstring, std::string>& files) {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((root + relative + L"*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            files[relative + name + L"\\"] = "<folder>";
            collect(root, relative + name + L"\\", files);
        } else {
            files[relative + name] = read_file(root + relative + name);
        }
    } while (FindNextFileW(find, &found));
    FindClose(find);
}

}  // namespace

std::map<std::wstring, std::string> tree(const std::wstring& folder) {
    std::map<std::wstring, std::string> files;
    collect(folder, L"", files);
    return files;
}

std::wstring current_directory() {
    wchar_t path[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, path);
    std::wstring folder = path;
    if (!folder.empty() && folder.back() != L'\\') {
        folder += L'\\';
    }
    return folder;
}

}  // namespace installer_test
