// tessaly-fetch URL FILE: downloads one URL into FILE with the client's own
// file downloader in a message loop, for manual checks and the benchmark.
// The last line is "complete R BYTES MS" (R the result 0, 1 or 2, BYTES the
// size of FILE afterwards) with exit code 0, or "failed CODE MS" with exit
// code 1. Usage errors exit with code 2.

#include <winsock2.h>

#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>

#include "host/strings.h"
#include "net/asyn_http_file.h"

namespace {

using qm::win32::net::asyn_http_file;
using qm::win32::net::asyn_http_file_event;

struct fetch_sink : asyn_http_file_event {
    bool done = false;
    bool ok = false;
    int value = 0;
    void on_download_complete(int, const std::string&, const std::wstring&, int result) override {
        done = true;
        ok = true;
        value = result;
    }
    void on_download_failed(int, const std::string&, int error) override {
        done = true;
        value = error;
    }
};

unsigned long long file_size(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        return 0;
    }
    return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc != 3) {
        std::fprintf(stderr, "usage: tessaly-fetch URL FILE\n");
        return 2;
    }
    const std::string url = utf16_to_ansi(argv[1]);
    const std::wstring path = argv[2];
    LocalFree(argv);

    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
        std::printf("failed %d 0\n", WSAGetLastError());
        return 1;
    }
    // Wine starts its window system with the first window of a process,
    // which takes most of a second; that happens before the clock starts.
    DestroyWindow(
        CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr));
    const DWORD start = GetTickCount();
    fetch_sink sink;
    int code = 1;
    {
        asyn_http_file downloader(&sink);
        if (!downloader.download(0, url, qm::win32::net::http_headers(), path)) {
            std::printf("failed 0 %lu\n", GetTickCount() - start);
            WSACleanup();
            return 1;
        }
        MSG msg;
        while (!sink.done && GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        const DWORD elapsed = GetTickCount() - start;
        if (sink.ok) {
            std::printf("complete %d %llu %lu\n", sink.value, file_size(path), elapsed);
            code = 0;
        } else {
            std::printf("failed %d %lu\n", sink.value, elapsed);
        }
    }
    std::fflush(stdout);
    WSACleanup();
    return code;
}
