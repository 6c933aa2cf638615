// Servers that never answer, answer too slowly or never stop answering: every
// request still ends, through its failure path, and keeps little memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <string>

#include "net/asyn_http.h"
#include "net/asyn_http_file.h"
#include "net/beacon_sender.h"
#include "net/http_result.h"
#include "tests/net/net_test_support.h"

using namespace qm::win32::net;
using net_test::loopback_server;
using net_test::pump_until;

namespace {

struct sink : asyn_http_event {
    int responses = 0;
    int errors = 0;
    int error = 0;
    int status = 0;
    std::string body;
    std::uint64_t streamed = 0;
    std::uint64_t most_kept = 0;  // the largest body_length seen
    bool keep = true;

    void on_response(int, http_response& response) override {
        ++responses;
        status = response.status;
        body = response.body;
    }
    void on_error(int, int code) override {
        ++errors;
        error = code;
    }
    void on_data(int, http_response&, const char*, std::size_t length, std::uint64_t body_length,
                 bool& keep_block) override {
        streamed += length;
        most_kept = std::max(most_kept, body_length);
        keep_block = keep;
    }
    bool done() const { return responses + errors > 0; }
};

struct file_sink : asyn_http_file_event {
    int completions = 0, failures = 0, error = 0, id = 0;
    void on_download_complete(int request_id, const std::string&, const std::wstring&,
                              int) override {
        ++completions;
        id = request_id;
    }
    void on_download_failed(int request_id, const std::string&, int code) override {
        ++failures;
        id = request_id;
        error = code;
    }
    bool done() const { return completions + failures > 0; }
};

// Reads the request and says nothing until the client goes (or the server's
// own 5 s receive limit passes).
void silent(SOCKET s) {
    net_test::read_head(s);
    net_test::read_to_close(s);
}

tcp_timeouts limits(unsigned connect_ms, unsigned idle_ms) {
    tcp_timeouts t;
    t.connect_ms = connect_ms;
    t.idle_ms = idle_ms;
    return t;
}

DWORD since(DWORD start) {
    return GetTickCount() - start;
}

std::wstring temp_file(const wchar_t* name) {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    return std::wstring(base) + L"tessaly_limits_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
           name;
}

bool exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

TEST(HttpTimeouts, ServerThatNeverAnswersOrStopsMidBodyEndsByTheIdleLimit) {
    struct scene {
        const char* what;
        loopback_server::script script;
    };
    const scene scenes[] = {
        {"no answer", [](SOCKET s, int) { silent(s); }},
        {"stops mid-body",
         [](SOCKET s, int) {
             net_test::read_head(s);
             net_test::send_all(s, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npart");
             net_test::read_to_close(s);
         }},
    };
    for (const scene& sc : scenes) {
        SCOPED_TRACE(sc.what);
        loopback_server server(sc.script);
        sink out;
        asyn_http client(&out);
        client.set_timeouts(limits(5000, 600));
        const DWORD start = GetTickCount();
        ASSERT_TRUE(client.get(3, server.url("/Configuration/1.xml")));
        ASSERT_TRUE(pump_until([&] { return out.done(); }, 4000));
        EXPECT_EQ(1, out.errors);
        EXPECT_EQ(WSAETIMEDOUT, out.error);
        EXPECT_GE(since(start), 550u);
        EXPECT_FALSE(client.busy());
        net_test::pump_for(800);  // and no second callback
        EXPECT_EQ(1, out.errors + out.responses);
    }
}

TEST(HttpTimeouts, SlowButSteadyAnswerAndAnUnusedKeptConnectionDoNotTimeOut) {
    // One byte every 200 ms for 2 s, under an idle limit of 700 ms.
    loopback_server slow([](SOCKET s, int) {
        net_test::read_head(s);
        net_test::send_all(s, "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n");
        for (int i = 0; i < 10; ++i) {
            Sleep(200);
            net_test::send_all(s, std::string(1, static_cast<char>('0' + i)));
        }
        net_test::read_to_close(s);
    });
    sink out;
    asyn_http client(&out);
    client.set_timeouts(limits(5000, 700));
    ASSERT_TRUE(client.get(1, slow.url("/slow")));
    ASSERT_TRUE(pump_until([&] { return out.done(); }, 6000));
    EXPECT_EQ(1, out.responses);
    EXPECT_EQ("0123456789", out.body);

    // A kept connection waits for the next request without a limit.
    loopback_server kept([](SOCKET s, int) {
        for (int i = 0; i < 2 && !net_test::read_head(s).empty(); ++i) {
            net_test::send_all(s,
                               "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n"
                               "Connection: Keep-Alive\r\n\r\nok");
        }
    });
    sink again;
    asyn_http reused(&again);
    reused.set_timeouts(limits(5000, 300));
    http_headers keep_alive;
    keep_alive.add("Connection", "Keep-Alive");
    ASSERT_TRUE(reused.get(1, kept.url("/a"), keep_alive));
    ASSERT_TRUE(pump_until([&] { return again.done(); }));
    net_test::pump_for(1000);
    EXPECT_EQ(0, again.errors);
    ASSERT_TRUE(reused.get(2, kept.url("/b"), keep_alive));
    ASSERT_TRUE(pump_until([&] { return again.responses == 2 || again.errors > 0; }));
    EXPECT_EQ(2, again.responses);
    EXPECT_EQ(1, kept.connections());
}

TEST(HttpTimeouts, HandshakeThatNeverCompletesEndsByTheConnectLimit) {
    net_test::black_hole hole;
    ASSERT_TRUE(hole.ready()) << "the black-hole port completed a handshake";
    for (const tcp_timeouts& t : {limits(600, 0), limits(0, 600)}) {
        sink out;
        asyn_http client(&out);
        client.set_timeouts(t);
        const DWORD start = GetTickCount();
        ASSERT_TRUE(client.get(1, hole.url("/x")));
        ASSERT_TRUE(pump_until([&] { return out.done(); }, 4000))
            << t.connect_ms << "/" << t.idle_ms;
        EXPECT_EQ(WSAETIMEDOUT, out.error);
        EXPECT_GE(since(start), 550u);
    }
}

TEST(HttpBodyLimits, EndlessSuccessfulBodyFailsAtTheLimitWithBoundedMemory) {
    for (const char* head : {"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n",
                             "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"}) {
        SCOPED_TRACE(head);
        loopback_server server([head](SOCKET s, int) { net_test::send_endless(s, head); });
        sink out;
        asyn_http client(&out);
        client.set_body_limit(1u << 20);
        ASSERT_TRUE(client.get(1, server.url("/tips.xml")));
        ASSERT_TRUE(pump_until([&] { return out.done(); }, 10000));
        EXPECT_EQ(http_body_too_large, out.error);
        EXPECT_LE(out.most_kept, 1u << 20);
        EXPECT_LT(out.streamed, 2u << 20);
    }

    // The default limit, with the process's memory watched.
    loopback_server server([](SOCKET s, int) {
        net_test::send_endless(s, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
    });
    const std::uint64_t before = net_test::private_bytes();
    ASSERT_GT(before, 0u);
    sink out;
    asyn_http client(&out);
    std::uint64_t peak = before;
    ASSERT_TRUE(client.get(1, server.url("/Configuration/1.xml")));
    ASSERT_TRUE(pump_until(
        [&] {
            peak = std::max(peak, net_test::private_bytes());
            return out.done();
        },
        20000));
    EXPECT_EQ(http_body_too_large, out.error);
    EXPECT_LE(out.most_kept, asyn_http::default_body_limit);
    EXPECT_LT(peak - before, 96u << 20);
    std::printf("memory: %llu before, peak %llu KiB more\n",
                static_cast<unsigned long long>(before >> 10),
                static_cast<unsigned long long>((peak - before) >> 10));
}

TEST(HttpBodyLimits, ErrorAnswersKeepLittleAndAnEndlessOneFails) {
    // A large error page is cut to what a person might read.
    const std::string page(200 * 1024, 'e');
    loopback_server big([&](SOCKET s, int) {
        net_test::read_head(s);
        net_test::send_all(s, "HTTP/1.1 404 Not Found\r\nContent-Length: " +
                                  std::to_string(page.size()) + "\r\n\r\n" + page);
    });
    sink out;
    asyn_http client(&out);
    ASSERT_TRUE(client.get(1, big.url("/missing")));
    ASSERT_TRUE(pump_until([&] { return out.done(); }));
    EXPECT_EQ(404, out.status);
    EXPECT_EQ(page.substr(0, asyn_http::other_body_kept), out.body);
    EXPECT_EQ(page.size(), out.streamed);

    for (const char* head : {"HTTP/1.1 503 Busy\r\nTransfer-Encoding: chunked\r\n\r\n",
                             "HTTP/1.1 302 Found\r\nLocation: /x\r\nConnection: close\r\n\r\n"}) {
        SCOPED_TRACE(head);
        loopback_server endless([head](SOCKET s, int) { net_test::send_endless(s, head); });
        sink failed;
        asyn_http c(&failed);
        c.set_body_limit(0);  // no limit on success bodies changes nothing here
        ASSERT_TRUE(c.get(1, endless.url("/UPV?gs=x")));
        ASSERT_TRUE(pump_until([&] { return failed.done(); }, 10000));
        EXPECT_EQ(http_body_too_large, failed.error);
        EXPECT_LE(failed.most_kept, asyn_http::other_body_kept);
        // One receive block may overshoot.
        EXPECT_LE(failed.streamed,
                  asyn_http::other_body_limit + asyn_tcp_socket::receive_block_size);
    }
}

TEST(AsynHttpFileLimits, StalledDownloadTimesOutAndTheNextDownloadCompletes) {
    loopback_server server([](SOCKET s, int) {
        const std::string head = net_test::read_head(s);
        if (net_test::head_target(head) == "/stalled") {
            net_test::read_to_close(s);
            return;
        }
        net_test::send_all(s, "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello");
    });
    const std::wstring first = temp_file(L"first.bin");
    const std::wstring second = temp_file(L"second.bin");
    DeleteFileW(first.c_str());
    DeleteFileW(second.c_str());
    file_sink out;
    asyn_http_file downloader(&out);
    downloader.set_timeouts(limits(5000, 600));
    ASSERT_TRUE(downloader.download(1, server.url("/stalled"), http_headers(), first));
    ASSERT_TRUE(pump_until([&] { return out.done(); }, 4000));
    EXPECT_EQ(1, out.failures);
    EXPECT_EQ(WSAETIMEDOUT, out.error);
    EXPECT_FALSE(downloader.busy());
    EXPECT_FALSE(exists(first));
    EXPECT_FALSE(exists(first + L".tmp"));

    ASSERT_TRUE(downloader.download(2, server.url("/next"), http_headers(), second));
    ASSERT_TRUE(pump_until([&] { return out.completions == 1 || out.failures > 1; }, 4000));
    EXPECT_EQ(1, out.completions);
    EXPECT_EQ(2, out.id);
    std::ifstream in(second.c_str(), std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ("hello", content);
    in.close();
    DeleteFileW(second.c_str());
}

TEST(AsynHttpFileLimits, EndlessErrorBodyFailsTheDownload) {
    loopback_server server([](SOCKET s, int) {
        net_test::send_endless(s, "HTTP/1.1 500 Oops\r\nConnection: close\r\n\r\n");
    });
    const std::wstring target = temp_file(L"endless.bin");
    DeleteFileW(target.c_str());
    file_sink out;
    asyn_http_file downloader(&out);
    ASSERT_TRUE(downloader.download(1, server.url("/game/x"), http_headers(), target));
    ASSERT_TRUE(pump_until([&] { return out.done(); }, 10000));
    EXPECT_EQ(1, out.failures);
    EXPECT_EQ(http_body_too_large, out.error);
    EXPECT_FALSE(exists(target));
}

TEST(BeaconSenderLimits, EndlessOrSilentAnswersEndTheBeacon) {
    loopback_server endless([](SOCKET s, int) {
        net_test::send_endless(s, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
    });
    loopback_server quiet([](SOCKET s, int) { silent(s); });
    beacon_sender sender;
    sender.set_timeouts(limits(5000, 800));
    sender.send(endless.url("/UPV?gs=downerstart&gameid=1"));
    sender.send(quiet.url("/UPV?gs=downertask&gameid=1"));
    EXPECT_EQ(2u, sender.in_flight());
    const DWORD start = GetTickCount();
    ASSERT_TRUE(pump_until([&] { return sender.in_flight() == 0; }, 5000));
    EXPECT_GE(since(start), 750u);  // the silent one lasted until its limit
}
