#include "net/asyn_http.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "net/http_result.h"
#include "tests/net/net_test_support.h"

using namespace qm::win32::net;
using net_test::loopback_server;
using net_test::pump_until;

namespace {

struct http_sink : asyn_http_event {
    int responses = 0;
    int errors = 0;
    int id = -1;
    int error = 0;
    int status = 0;
    std::string body;
    std::string streamed;
    std::vector<std::uint64_t> body_lengths;
    bool keep = true;
    std::function<void()> in_data, in_response;

    void on_response(int request_id, http_response& response) override {
        ++responses;
        id = request_id;
        status = response.status;
        body = response.body;
        if (in_response) {
            in_response();
        }
    }
    void on_error(int request_id, int code) override {
        ++errors;
        id = request_id;
        error = code;
    }
    void on_data(int, http_response&, const char* data, std::size_t length,
                 std::uint64_t body_length, bool& keep_block) override {
        streamed.append(data, length);
        body_lengths.push_back(body_length);
        keep_block = keep;
        if (in_data) {
            in_data();
        }
    }
    bool done() const { return responses + errors > 0; }
};

std::string response(int status, const std::string& body, const std::string& extra = "") {
    return "HTTP/1.1 " + std::to_string(status) +
           " X\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extra + "\r\n" + body;
}

// Records the heads the server saw, in order, from any thread.
struct head_log {
    std::mutex mutex;
    std::vector<std::string> heads;
    void add(const std::string& head) {
        std::lock_guard<std::mutex> lock(mutex);
        heads.push_back(head);
    }
    std::vector<std::string> all() {
        std::lock_guard<std::mutex> lock(mutex);
        return heads;
    }
};

}  // namespace

TEST(AsynHttp, RefusedRequestsGiveNoCallbackAndOneExchangeRunsAtATime) {
    loopback_server server([](SOCKET s, int) {
        net_test::read_head(s);
        net_test::send_all(s, response(200, "ok"));
    });
    http_sink sink;
    asyn_http client(&sink);
    http_request no_host;
    EXPECT_FALSE(client.send_request(1, no_host));
    EXPECT_FALSE(client.get(1, "ftp://127.0.0.1/x"));
    EXPECT_FALSE(client.get(1, "http://127.0.0.1:/x"));
    ASSERT_TRUE(client.get(7, server.url("/a")));
    EXPECT_FALSE(client.get(8, server.url("/b")));
    ASSERT_TRUE(pump_until([&] { return sink.done(); }));
    net_test::pump_for(100);
    EXPECT_EQ(1, sink.responses);
    EXPECT_EQ(0, sink.errors);
    EXPECT_EQ(7, sink.id);
    EXPECT_EQ("ok", sink.body);
    EXPECT_FALSE(client.busy());
    EXPECT_TRUE(client.get(9, server.url("/c")));
    ASSERT_TRUE(pump_until([&] { return sink.responses == 2; }));
    EXPECT_EQ(9, sink.id);
}

TEST(AsynHttp, NoBodyStatusesEndWithTheHeadDespiteContentLength) {
    for (const int status : {204, 304}) {
        loopback_server server([status](SOCKET s, int) {
            net_test::read_head(s);
            // Declares a body that never comes and keeps the connection open.
            net_test::send_all(
                s, "HTTP/1.1 " + std::to_string(status) + " X\r\nContent-Length: 10\r\n\r\n");
            net_test::read_to_close(s);
        });
        http_sink sink;
        asyn_http client(&sink);
        ASSERT_TRUE(client.get(1, server.url("/")));
        ASSERT_TRUE(pump_until([&] { return sink.done(); }, 3000)) << status;
        EXPECT_EQ(status, sink.status);
        EXPECT_TRUE(sink.body.empty());
    }
}

TEST(AsynHttp, FiveRedirectsAreFollowedAndASixthFails) {
    head_log log;
    loopback_server server([&](SOCKET s, int) {
        const std::string head = net_test::read_head(s);
        log.add(head);
        const std::string target = net_test::head_target(head);  // "/r/N"
        const int n = std::atoi(target.c_str() + 3);
        if (n == 0) {
            net_test::send_all(s, response(200, "done"));
        } else {
            net_test::send_all(
                s, response(302, "moved", "Location: /r/" + std::to_string(n - 1) + "\r\n"));
        }
    });
    {
        http_sink sink;
        asyn_http client(&sink);
        ASSERT_TRUE(client.get(42, server.url("/r/5")));
        ASSERT_TRUE(pump_until([&] { return sink.done(); }));
        EXPECT_EQ(0, sink.errors);
        EXPECT_EQ(200, sink.status);
        EXPECT_EQ("done", sink.body);
        EXPECT_EQ(42, sink.id);
        const auto heads = log.all();
        ASSERT_EQ(6u, heads.size());
        // A root-relative Location is requested as it stands.
        EXPECT_EQ("/r/4", net_test::head_target(heads[1]));
        EXPECT_EQ("/r/0", net_test::head_target(heads[5]));
        // The redirect bodies reached on_data too.
        EXPECT_EQ("movedmovedmovedmovedmoveddone", sink.streamed);

        // The counter starts again after a final response.
        ASSERT_TRUE(client.get(43, server.url("/r/5")));
        ASSERT_TRUE(pump_until([&] { return sink.responses == 2 || sink.errors > 0; }));
        EXPECT_EQ(2, sink.responses);
    }
    {
        http_sink sink;
        asyn_http client(&sink);
        ASSERT_TRUE(client.get(5, server.url("/r/6")));
        ASSERT_TRUE(pump_until([&] { return sink.done(); }));
        EXPECT_EQ(0, sink.responses);
        EXPECT_EQ(http_too_many_redirects, sink.error);
        EXPECT_EQ(5, sink.id);
    }
}

TEST(AsynHttp, RelativeAndCrossHostLocations) {
    head_log far_log;
    loopback_server far_server([&](SOCKET s, int) {
        far_log.add(net_test::read_head(s));
        net_test::send_all(s, response(200, "far"));
    });
    head_log log;
    const std::string cross = "http://localhost:" + std::to_string(far_server.port()) + "/final";
    loopback_server server([&](SOCKET s, int) {
        const std::string head = net_test::read_head(s);
        log.add(head);
        const std::string target = net_test::head_target(head);
        if (target == "/start") {
            net_test::send_all(s, response(302, "", "Location: path/x\r\n"));
        } else if (target == "/path/x") {
            net_test::send_all(s, response(301, "", "Location: " + cross + "\r\n"));
        } else if (target == "/empty") {
            net_test::send_all(s, response(302, ""));
        } else if (target == "/evil") {
            net_test::send_all(s, response(303, "", "Location: /a\tb\r\n"));
        }
    });
    http_sink sink;
    asyn_http client(&sink);
    ASSERT_TRUE(client.get(3, server.url("/start")));
    ASSERT_TRUE(pump_until([&] { return sink.done(); }));
    EXPECT_EQ(200, sink.status);
    EXPECT_EQ("far", sink.body);
    EXPECT_EQ(3, sink.id);
    const auto heads = log.all();
    ASSERT_EQ(2u, heads.size());
    EXPECT_EQ("/path/x", net_test::head_target(heads[1]));
    EXPECT_EQ("127.0.0.1:" + std::to_string(server.port()), net_test::head_field(heads[1], "Host"));
    const auto far_heads = far_log.all();
    ASSERT_EQ(1u, far_heads.size());
    EXPECT_EQ("/final", net_test::head_target(far_heads[0]));
    EXPECT_EQ("localhost:" + std::to_string(far_server.port()),
              net_test::head_field(far_heads[0], "Host"));

    // A Location that is missing or would break the request line is refused.
    for (const char* path : {"/empty", "/evil"}) {
        http_sink failing;
        asyn_http other(&failing);
        ASSERT_TRUE(other.get(4, server.url(path)));
        ASSERT_TRUE(pump_until([&] { return failing.done(); }));
        EXPECT_EQ(http_redirect_failed, failing.error) << path;
    }
}

TEST(AsynHttp, ConnectionIsKeptOnlyWhenBothSidesAskForIt) {
    head_log log;
    std::atomic<int> requests_on_first{0};
    loopback_server server([&](SOCKET s, int number) {
        for (;;) {
            const std::string head = net_test::read_head(s);
            if (head.empty()) {
                return;  // the client closed
            }
            log.add(head);
            if (number == 0) {
                ++requests_on_first;
            }
            net_test::send_all(s, response(200, "body", "Connection: keep-alive\r\n"));
        }
    });
    http_headers keep;
    keep.add("Connection", "Keep-Alive");
    http_sink sink;
    asyn_http client(&sink);
    ASSERT_TRUE(client.get(1, server.url("/one"), keep));
    ASSERT_TRUE(pump_until([&] { return sink.responses == 1; }));
    ASSERT_TRUE(client.get(2, server.url("/two"), keep));
    ASSERT_TRUE(pump_until([&] { return sink.responses == 2; }));
    EXPECT_EQ(1, server.connections());
    EXPECT_EQ(2, requests_on_first.load());
    const auto heads = log.all();
    ASSERT_EQ(2u, heads.size());
    // Extra fields follow Host.
    EXPECT_NE(std::string::npos, heads[1].find("Host: 127.0.0.1:" + std::to_string(server.port()) +
                                               "\r\nConnection: Keep-Alive\r\n"));

    // Without the request asking, the client closes after the answer even
    // though the server offered to keep the connection: the third request
    // still uses the kept connection, the fourth needs a new one.
    ASSERT_TRUE(client.get(3, server.url("/three")));
    ASSERT_TRUE(pump_until([&] { return sink.responses == 3; }));
    ASSERT_TRUE(client.get(4, server.url("/four")));
    ASSERT_TRUE(pump_until([&] { return sink.responses == 4; }));
    EXPECT_EQ(2, server.connections());
    EXPECT_EQ(3, requests_on_first.load());
    EXPECT_EQ(0, sink.errors);
}

TEST(AsynHttp, BodyIsStreamedAndKeptOnlyWhenAsked) {
    const std::string chunked =
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nWiki\r\n5\r\npedia\r\n0\r\n\r\n";
    loopback_server server([&](SOCKET s, int) {
        net_test::read_head(s);
        // In pieces, so that the body arrives in more than one block.
        for (std::size_t i = 0; i < chunked.size(); i += 7) {
            net_test::send_all(s, chunked.substr(i, 7));
            Sleep(5);
        }
    });
    for (const bool keep : {true, false}) {
        http_sink sink;
        sink.keep = keep;
        asyn_http client(&sink);
        ASSERT_TRUE(client.get(1, server.url("/")));
        ASSERT_TRUE(pump_until([&] { return sink.done(); }));
        EXPECT_EQ(0, sink.errors);
        EXPECT_EQ("Wikipedia", sink.streamed);
        EXPECT_GT(sink.body_lengths.size(), 1u);
        if (keep) {
            EXPECT_EQ("Wikipedia", sink.body);
            EXPECT_EQ(0u, sink.body_lengths.front());
            EXPECT_GT(sink.body_lengths.back(), 0u);
        } else {
            EXPECT_TRUE(sink.body.empty());
            EXPECT_EQ(0u, sink.body_lengths.back());
        }
    }
}

TEST(AsynHttp, TransportAndParseFailuresReachOnError) {
    struct failure_case {
        std::string reply;
        int error;
    };
    const std::vector<failure_case> cases = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc", http_closed_early},
        {"HTTP/1.1 200 OK\r\nBroken:\r\n\r\n", http_bad_head},
        {"", http_closed_early},
    };
    for (const auto& c : cases) {
        loopback_server server([&](SOCKET s, int) {
            net_test::read_head(s);
            net_test::send_all(s, c.reply);
        });
        http_sink sink;
        asyn_http client(&sink);
        ASSERT_TRUE(client.get(6, server.url("/")));
        ASSERT_TRUE(pump_until([&] { return sink.done(); }));
        EXPECT_EQ(c.error, sink.error);
        EXPECT_EQ(6, sink.id);
        EXPECT_EQ(0, sink.responses);
    }
    // Identity body without a length ends with the connection.
    {
        loopback_server server([&](SOCKET s, int) {
            net_test::read_head(s);
            net_test::send_all(s, "HTTP/1.1 200 OK\r\n\r\nuntil close");
        });
        http_sink sink;
        asyn_http client(&sink);
        ASSERT_TRUE(client.get(1, server.url("/")));
        ASSERT_TRUE(pump_until([&] { return sink.done(); }));
        EXPECT_EQ("until close", sink.body);
    }
    http_sink sink;
    asyn_http client(&sink);
    ASSERT_TRUE(client.get(2, "http://127.0.0.1:" + std::to_string(net_test::unused_port()) + "/"));
    ASSERT_TRUE(pump_until([&] { return sink.done(); }));
    EXPECT_EQ(WSAECONNREFUSED, sink.error);
    // Usable again after an error.
    EXPECT_FALSE(client.busy());
}

TEST(AsynHttp, ClientDestroyedInsideCallbacksIsNotTouchedAgain) {
    const std::string big(200000, 'b');
    loopback_server server([&](SOCKET s, int) {
        net_test::read_head(s);
        net_test::send_all(s, response(200, big));
    });
    {
        http_sink sink;
        auto* client = new asyn_http(&sink);
        sink.in_data = [&] {
            delete client;
            client = nullptr;
        };
        ASSERT_TRUE(client->get(1, server.url("/")));
        ASSERT_TRUE(pump_until([&] { return client == nullptr; }));
        net_test::pump_for(200);
        EXPECT_EQ(0, sink.responses + sink.errors);
        EXPECT_EQ(1u, sink.body_lengths.size());
    }
    {
        http_sink sink;
        auto* client = new asyn_http(&sink);
        sink.in_response = [&] {
            delete client;
            client = nullptr;
        };
        ASSERT_TRUE(client->get(1, server.url("/")));
        ASSERT_TRUE(pump_until([&] { return client == nullptr; }));
        net_test::pump_for(100);
        EXPECT_EQ(1, sink.responses);
        EXPECT_EQ(big.size(), sink.body.size());
    }
}
