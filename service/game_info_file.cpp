#include "service/game_info_file.h"

#include <windows.h>

#include <string>

#include "host/host_paths.h"

namespace qm::win32::net {

namespace {

const wchar_t kSection[] = L"GameInfo";

// Size and last-write time of the file as two decimal texts; false when it
// cannot be read.
bool file_stamp(const std::wstring& path, std::wstring& size, std::wstring& time) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return false;
    }
    const unsigned long long bytes =
        (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    const unsigned long long written =
        (static_cast<unsigned long long>(data.ftLastWriteTime.dwHighDateTime) << 32) |
        data.ftLastWriteTime.dwLowDateTime;
    size = std::to_wstring(bytes);
    time = std::to_wstring(written);
    return true;
}

std::wstring read(const std::wstring& db, const wchar_t* key) {
    wchar_t buffer[64] = {};
    const DWORD n = GetPrivateProfileStringW(kSection, key, L"", buffer, 64, db.c_str());
    return std::wstring(buffer, n < 64 ? n : 63);
}

}  // namespace

bool game_info_downloaded(const std::wstring& path, const std::wstring& db) {
    std::wstring size;
    std::wstring time;
    if (!file_stamp(path, size, time)) {
        return false;
    }
    const std::wstring recorded_size = read(db, L"Size");
    return !recorded_size.empty() && recorded_size == size && read(db, L"Time") == time;
}

void record_game_info_download(const std::wstring& path, const std::wstring& db) {
    std::wstring size;
    std::wstring time;
    if (!file_stamp(path, size, time)) {
        return;
    }
    WritePrivateProfileStringW(kSection, L"Size", size.c_str(), db.c_str());
    WritePrivateProfileStringW(kSection, L"Time", time.c_str(), db.c_str());
}

bool discard_downloaded_game_info(const std::wstring& path) {
    const std::wstring db = program_directory() + L"db.ini";
    if (!game_info_downloaded(path, db)) {
        return false;
    }
    WritePrivateProfileStringW(kSection, nullptr, nullptr, db.c_str());
    return DeleteFileW(path.c_str()) != 0;
}

}  // namespace qm::win32::net
