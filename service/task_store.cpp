#include "service/task_store.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <cwchar>
#include <memory>
#include <set>

#include "host/critical_section.h"
#include "service/download_task.h"

namespace qm::win32::net {

using qm::win32::multithread::scoped_lock;

namespace {

const wchar_t kMain[] = L"Tessaly";

bool exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring section_name(int index) {
    return L"Task" + std::to_wstring(index);
}

// "Task" + a decimal index without sign or leading zeros, or 0.
int task_section_index(const wchar_t* name) {
    if (wcsncmp(name, L"Task", 4) != 0) {
        return 0;
    }
    const std::wstring digits = name + 4;
    if (digits.empty() || digits.size() > 9 || digits[0] == L'0') {
        return 0;
    }
    for (wchar_t c : digits) {
        if (c < L'0' || c > L'9') {
            return 0;
        }
    }
    return static_cast<int>(parse_stored_number(digits));
}

}  // namespace

std::uint64_t parse_stored_number(const std::wstring& text) {
    if (text.empty() || text.size() > 20) {
        return 0;
    }
    std::uint64_t value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') {
            return 0;
        }
        const std::uint64_t digit = static_cast<std::uint64_t>(c - L'0');
        if (value > (UINT64_MAX - digit) / 10) {
            return 0;
        }
        value = value * 10 + digit;
    }
    return value;
}

std::wstring task_store::read(const wchar_t* section, const wchar_t* key) {
    const DWORD n = GetPrivateProfileStringW(section, key, L"", buffer_, 2048, path_.c_str());
    return std::wstring(buffer_, std::min<DWORD>(n, 2047));
}

void task_store::write(const wchar_t* section, const wchar_t* key, const std::wstring& value) {
    WritePrivateProfileStringW(section, key, value.c_str(), path_.c_str());
}

void task_store::save_all(task_list& list) {
    std::wstring url;
    std::wstring version;
    {
        scoped_lock hold(list.package_lock);
        url = list.host_package_url;
        version = list.required_host_version;
    }
    write(kMain, L"TorvaneUrl", url);
    write(kMain, L"RelyVersion", version);
    const std::vector<download_task*> tasks = list.snapshot();
    int index = 1;
    for (download_task* task : tasks) {
        save_one(*task, index++);
    }
    write(kMain, L"TaskCount", std::to_wstring(tasks.size()));
}

void task_store::save_one(download_task& task, int index) {
    // Copied under the task's lock, written without it: readers of the task
    // never wait for the disk.
    std::wstring url;
    std::wstring folder;
    std::wstring name;
    std::uint64_t downloaded = 0;
    std::uint64_t total = 0;
    std::uint64_t elapsed = 0;
    int id = 0;
    {
        scoped_lock hold(task.lock);
        if (task.state == dl_state_predownloading || task.state == dl_state_failed) {
            return;
        }
        if (task.state == dl_state_complete) {
            task.downloaded_size = task.total_size;
        }
        url = task.url;
        folder = task.folder;
        name = task.file_name;
        downloaded = task.downloaded_size;
        total = task.total_size;
        elapsed = task.elapsed_ms;
        id = task.task_id;
    }
    const std::wstring section = section_name(index);
    write(section.c_str(), L"Url", url);
    write(section.c_str(), L"ID", std::to_wstring(id));
    write(section.c_str(), L"Path", folder);
    write(section.c_str(), L"Name", name);
    write(section.c_str(), L"DownSize", std::to_wstring(downloaded));
    write(section.c_str(), L"TotalSize", std::to_wstring(total));
    write(section.c_str(), L"Time", std::to_wstring(elapsed));
}

void task_store::load_all(task_list& list) {
    std::wstring host_url;
    {
        const std::wstring url = read(kMain, L"TorvaneUrl");
        host_url = url;
        const std::wstring version = read(kMain, L"RelyVersion");
        scoped_lock hold(list.package_lock);
        if (!url.empty()) {
            list.host_package_url = url;
        }
        if (!version.empty()) {
            list.required_host_version = version;
        }
    }
    const std::uint64_t count = parse_stored_number(read(kMain, L"TaskCount"));
    if (count == 0) {
        return;
    }
    // Only sections that are really in the file are read, in index order, so
    // that a huge "TaskCount" costs nothing.
    std::vector<wchar_t> names(65536);
    DWORD n = 0;
    for (;;) {
        n = GetPrivateProfileSectionNamesW(names.data(), static_cast<DWORD>(names.size()),
                                           path_.c_str());
        if (n + 2 < names.size() || names.size() >= (1u << 24)) {
            break;
        }
        names.resize(names.size() * 4);
    }
    std::vector<int> indices;
    for (const wchar_t* p = names.data(); p < names.data() + n && *p; p += wcslen(p) + 1) {
        const int index = task_section_index(p);
        if (index > 0 && static_cast<std::uint64_t>(index) <= count) {
            indices.push_back(index);
        }
    }
    std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());

    std::set<int> taken;
    for (download_task* task : list.snapshot()) {
        scoped_lock hold(task->lock);
        taken.insert(task->task_id);
    }
    std::vector<std::unique_ptr<download_task>> loaded;
    for (int index : indices) {
        const std::wstring section = section_name(index);
        auto task = std::make_unique<download_task>();
        task->url = read(section.c_str(), L"Url");
        if (task->url.empty()) {
            continue;
        }
        // An id out of the int range, 0 or one already given gets a new one
        // below, once every good id is known; the task itself is kept.
        const std::uint64_t id = parse_stored_number(read(section.c_str(), L"ID"));
        if (id >= 1 && id <= static_cast<std::uint64_t>(INT_MAX) &&
            taken.insert(static_cast<int>(id)).second) {
            task->task_id = static_cast<int>(id);
        } else {
            task->task_id = 0;
        }
        // The store keeps no sign: the host installer's task is known by the
        // installer URL stored beside it.
        if (!host_url.empty() && task->url == host_url) {
            task->sign = environment_task_sign;
        }
        task->folder = read(section.c_str(), L"Path");
        task->file_name = read(section.c_str(), L"Name");
        task->downloaded_size = parse_stored_number(read(section.c_str(), L"DownSize"));
        task->elapsed_ms = parse_stored_number(read(section.c_str(), L"Time"));
        const std::wstring file = task->folder + task->file_name;
        if (task->file_name.empty() || (!exists(file) && !exists(file + L".td"))) {
            task->downloaded_size = 0;
            task->elapsed_ms = 0;
        }
        task->total_size = parse_stored_number(read(section.c_str(), L"TotalSize"));
        task->state = (task->downloaded_size == task->total_size && task->total_size != 0)
                          ? dl_state_complete
                          : dl_state_stopped;
        loaded.push_back(std::move(task));
    }
    std::size_t ordinal = list.size();
    for (auto& task : loaded) {
        ++ordinal;
        if (task->task_id == 0) {
            task->task_id = free_task_id(taken, ordinal);
            taken.insert(task->task_id);
        }
        list.append(std::move(task));
    }
}

int write_transfer_file(const std::wstring& path, const std::wstring& game_id,
                        const std::vector<transfer_entry>& entries, std::size_t url_count) {
    if (entries.size() != url_count) {
        return 0;
    }
    DeleteFileW(path.c_str());
    int counts[3] = {0, 0, 0};
    const wchar_t* sections[3] = {L"GameSuccessTask", L"GameTempTask", L"GameCreateTask"};
    for (const transfer_entry& entry : entries) {
        int kind = 2;
        if (entry.state == dl_state_complete) {
            kind = 0;
        } else if (exists(entry.path + L".td")) {
            kind = 1;
        }
        const std::wstring n = std::to_wstring(++counts[kind]);
        WritePrivateProfileStringW(sections[kind], (L"urlgametask" + n).c_str(), entry.url.c_str(),
                                   path.c_str());
        WritePrivateProfileStringW(sections[kind], (L"pathgametask" + n).c_str(),
                                   entry.path.c_str(), path.c_str());
    }
    if (counts[1] + counts[2] == 0) {
        return 0;
    }
    WritePrivateProfileStringW(L"GameInfo", L"GameId", game_id.c_str(), path.c_str());
    for (int i = 0; i < 3; ++i) {
        WritePrivateProfileStringW(sections[i], L"TaskCount", std::to_wstring(counts[i]).c_str(),
                                   path.c_str());
    }
    return 1;
}

}  // namespace qm::win32::net
