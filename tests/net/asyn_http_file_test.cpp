#include "net/asyn_http_file.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <string>

#include "net/http_result.h"
#include "tests/net/net_test_support.h"

using namespace qm::win32::net;
using net_test::loopback_server;
using net_test::pump_until;

namespace {

struct file_sink : asyn_http_file_event {
    int completions = 0, failures = 0;
    int id = -1, result = -1, error = 0;
    std::string url;
    std::wstring path;
    void on_download_complete(int request_id, const std::string& u, const std::wstring& p,
                              int r) override {
        ++completions;
        id = request_id;
        url = u;
        path = p;
        result = r;
    }
    void on_download_failed(int request_id, const std::string& u, int code) override {
        ++failures;
        id = request_id;
        url = u;
        error = code;
    }
    bool done() const { return completions + failures > 0; }
};

// A folder of its own under the temporary folder, emptied afterwards.
class scratch_folder {
  public:
    scratch_folder() {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        folder_ = std::wstring(base) + L"tessaly_net_" + std::to_wstring(GetCurrentProcessId()) +
                  L"_" + std::to_wstring(counter_++) + L"\\";
        CreateDirectoryW(folder_.c_str(), nullptr);
    }
    ~scratch_folder() {
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW((folder_ + L"*").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = data.cFileName;
                if (name == L"." || name == L"..") {
                    continue;
                }
                if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    RemoveDirectoryW((folder_ + name).c_str());
                } else {
                    DeleteFileW((folder_ + name).c_str());
                }
            } while (FindNextFileW(find, &data));
            FindClose(find);
        }
        RemoveDirectoryW(folder_.c_str());
    }
    std::wstring path(const wchar_t* name) const { return folder_ + name; }

  private:
    static int counter_;
    std::wstring folder_;
};
int scratch_folder::counter_ = 0;

bool exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void write_file(const std::wstring& path, const std::string& content) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD done = 0;
    WriteFile(f, content.data(), static_cast<DWORD>(content.size()), &done, nullptr);
    CloseHandle(f);
}

std::string read_file(const std::wstring& path) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        return "<missing>";
    }
    std::string content;
    char block[65536];
    DWORD got = 0;
    while (ReadFile(f, block, sizeof(block), &got, nullptr) && got > 0) {
        content.append(block, got);
    }
    CloseHandle(f);
    return content;
}

void set_last_write(const std::wstring& path, WORD year, WORD month, WORD day, WORD hour,
                    WORD minute, WORD second) {
    SYSTEMTIME st = {};
    st.wYear = year;
    st.wMonth = month;
    st.wDay = day;
    st.wHour = hour;
    st.wMinute = minute;
    st.wSecond = second;
    FILETIME ft;
    SystemTimeToFileTime(&st, &ft);
    HANDLE f = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    SetFileTime(f, nullptr, nullptr, &ft);
    CloseHandle(f);
}

// Answers every request with `reply` and records the last head.
struct scripted_http {
    std::string reply;
    std::string last_head;
    std::atomic<int> requests{0};
    loopback_server server{[this](SOCKET s, int) {
        last_head = net_test::read_head(s);
        ++requests;
        net_test::send_all(s, reply);
    }};
};

std::string ok(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

}  // namespace

TEST(AsynHttpFile, DownloadsThroughATemporaryFileAndAsksOnlyForChanges) {
    scratch_folder folder;
    const std::wstring target = folder.path(L"GameInfo.xml");
    scripted_http http;
    http.reply = ok("<new/>");
    file_sink sink;
    asyn_http_file downloader(&sink);
    const std::string url = http.server.url("/Configuration/1.xml");
    EXPECT_FALSE(downloader.download(1, "", http_headers(), target));
    EXPECT_FALSE(downloader.download(1, url, http_headers(), L""));
    ASSERT_TRUE(downloader.download(1, url, http_headers(), target));
    EXPECT_FALSE(downloader.download(2, url, http_headers(), target));
    ASSERT_TRUE(pump_until([&] { return sink.done(); }));
    EXPECT_EQ(1, sink.completions);
    EXPECT_EQ(asyn_http_file_event::downloaded, sink.result);
    EXPECT_EQ(1, sink.id);
    EXPECT_EQ(url, sink.url);
    EXPECT_EQ(target, sink.path);
    EXPECT_EQ("<new/>", read_file(target));
    EXPECT_FALSE(exists(target + L".tmp"));
    EXPECT_EQ(std::string::npos, http.last_head.find("If-Modified-Since"));
    EXPECT_FALSE(downloader.busy());

    // With a local copy the request names its time; 304 leaves the copy.
    set_last_write(target, 1994, 11, 6, 8, 49, 37);
    http.reply = "HTTP/1.1 304 Not Modified\r\n\r\n";
    http_headers extra;
    extra.add("User-Agent", "tessaly");
    ASSERT_TRUE(downloader.download(2, url, extra, target));
    ASSERT_TRUE(pump_until([&] { return sink.completions == 2; }));
    EXPECT_EQ(asyn_http_file_event::not_modified, sink.result);
    EXPECT_EQ("Sun, 06 Nov 1994 08:49:37 GMT",
              net_test::head_field(http.last_head, "If-Modified-Since"));
    EXPECT_NE(std::string::npos, http.last_head.find("\r\nUser-Agent: tessaly\r\n"));
    EXPECT_EQ("<new/>", read_file(target));
}

TEST(AsynHttpFile, ErrorStatusFailsButTransportFailureFallsBackToTheLocalCopy) {
    scratch_folder folder;
    const std::wstring target = folder.path(L"file.bin");
    write_file(target, "old");
    {
        scripted_http http;
        http.reply = "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found";
        file_sink sink;
        asyn_http_file downloader(&sink);
        ASSERT_TRUE(downloader.download(2, http.server.url("/x"), http_headers(), target));
        ASSERT_TRUE(pump_until([&] { return sink.done(); }));
        EXPECT_EQ(1, sink.failures);
        EXPECT_EQ(404, sink.error);
        EXPECT_EQ("old", read_file(target));
    }
    const std::string refused =
        "http://127.0.0.1:" + std::to_string(net_test::unused_port()) + "/x";
    {
        file_sink sink;
        asyn_http_file downloader(&sink);
        ASSERT_TRUE(downloader.download(0, refused, http_headers(), target));
        ASSERT_TRUE(pump_until([&] { return sink.done(); }));
        EXPECT_EQ(1, sink.completions);
        EXPECT_EQ(asyn_http_file_event::local_copy, sink.result);
        EXPECT_EQ("old", read_file(target));
    }
    {
        // The same without a local copy.
        file_sink sink;
        asyn_http_file downloader(&sink);
        ASSERT_TRUE(downloader.download(0, refused, http_headers(), folder.path(L"none")));
        ASSERT_TRUE(pump_until([&] { return sink.done(); }));
        EXPECT_EQ(1, sink.failures);
        EXPECT_EQ(WSAECONNREFUSED, sink.error);
        EXPECT_FALSE(exists(folder.path(L"none")));
    }
    {
        // 304 with nothing on disk does not claim a usable file.
        scripted_http http;
        http.reply = "HTTP/1.1 304 Not Modified\r\n\r\n";
        file_sink sink;
        asyn_http_file downloader(&sink);
        ASSERT_TRUE(
            downloader.download(0, http.server.url("/x"), http_headers(), folder.path(L"absent")));
        ASSERT_TRUE(pump_until([&] { return sink.done(); }));
        EXPECT_EQ(1, sink.failures);
        EXPECT_EQ(304, sink.error);
    }
}

TEST(AsynHttpFile, EmptyBodyReplacesTheTargetWithAnEmptyFile) {
    scratch_folder folder;
    const std::wstring target = folder.path(L"empty.txt");
    write_file(target, "previous");
    scripted_http http;
    http.reply = ok("");
    file_sink sink;
    asyn_http_file downloader(&sink);
    ASSERT_TRUE(downloader.download(1, http.server.url("/e"), http_headers(), target));
    ASSERT_TRUE(pump_until([&] { return sink.done(); }));
    EXPECT_EQ(asyn_http_file_event::downloaded, sink.result);
    EXPECT_EQ("", read_file(target));
}

TEST(AsynHttpFile, FailedTransferOrFileErrorLeavesNoTemporaryFileAndNoTarget) {
    scratch_folder folder;
    {
        // Cut after part of the body was written.
        const std::string part(100000, 'p');
        scripted_http http;
        http.reply = "HTTP/1.1 200 OK\r\nContent-Length: 500000\r\n\r\n" + part;
        const std::wstring target = folder.path(L"cut.bin");
        file_sink sink;
        asyn_http_file downloader(&sink);
        ASSERT_TRUE(downloader.download(1, http.server.url("/c"), http_headers(), target));
        ASSERT_TRUE(pump_until([&] { return sink.done(); }));
        EXPECT_EQ(1, sink.failures);
        EXPECT_EQ(http_closed_early, sink.error);
        EXPECT_FALSE(exists(target));
        EXPECT_FALSE(exists(target + L".tmp"));
    }
    {
        // The temporary file cannot be created: a folder is in its way.
        const std::wstring target = folder.path(L"blocked.bin");
        CreateDirectoryW((target + L".tmp").c_str(), nullptr);
        scripted_http http;
        http.reply = ok("data");
        file_sink sink;
        asyn_http_file downloader(&sink);
        ASSERT_TRUE(downloader.download(1, http.server.url("/b"), http_headers(), target));
        ASSERT_TRUE(pump_until([&] { return sink.done(); }));
        EXPECT_EQ(1, sink.failures);
        EXPECT_NE(0, sink.error);
        EXPECT_LT(sink.error, 20000);  // a Win32 code, not a status or HTTP-layer code
        EXPECT_FALSE(exists(target));
        RemoveDirectoryW((target + L".tmp").c_str());
    }
    {
        // A large body arrives whole; the downloader can be reused at once.
        std::string big(3 * 1024 * 1024, '\0');
        for (std::size_t i = 0; i < big.size(); ++i) {
            big[i] = static_cast<char>(i * 7 + i / 4096);
        }
        scripted_http http;
        http.reply = ok(big);
        const std::wstring target = folder.path(L"big.bin");
        file_sink sink;
        asyn_http_file downloader(&sink);
        ASSERT_TRUE(downloader.download(1, http.server.url("/big"), http_headers(), target));
        ASSERT_TRUE(pump_until([&] { return sink.done(); }, 20000));
        EXPECT_EQ(asyn_http_file_event::downloaded, sink.result);
        EXPECT_TRUE(read_file(target) == big);
        EXPECT_FALSE(exists(target + L".tmp"));
    }
}
