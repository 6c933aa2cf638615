#include "tests/zip/zip_test_support.h"

#include "host/strings.h"

namespace zip_test {

std::wstring archives() {
    std::wstring path = L"Z:";
    for (const char* p = ZIP_TEST_ARCHIVES; *p; ++p) {
        path += *p == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*p));
    }
    return path + L"\\";
}

std::string archive(const char* name) {
    return utf16_to_ansi(archives()) + name;
}

std::string read_file(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return "<missing>";
    }
    std::string data;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        data.append(buffer, got);
    }
    CloseHandle(file);
    return data;
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

}  // namespace zip_test
