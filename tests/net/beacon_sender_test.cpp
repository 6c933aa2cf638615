#include "net/beacon_sender.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "tests/net/net_test_support.h"

using net_test::loopback_server;
using net_test::pump_until;
using qm::win32::net::beacon_sender;

TEST(BeaconSender, TenBeaconsRunInParallelAndLeaveAnEmptyMap) {
    std::atomic<bool> answer{false};
    std::mutex mutex;
    std::vector<std::string> heads;
    loopback_server server([&](SOCKET s, int) {
        const std::string head = net_test::read_head(s);
        {
            std::lock_guard<std::mutex> lock(mutex);
            heads.push_back(head);
        }
        // Held back until all ten are connected at once.
        for (int i = 0; i < 500 && !answer; ++i) {
            Sleep(10);
        }
        net_test::send_all(s, "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    });
    beacon_sender sender;
    for (int i = 0; i < 10; ++i) {
        sender.send(
            server.url("/UPV?gs=downertask&gameid=7&pid=P&style=start&n=" + std::to_string(i)));
    }
    EXPECT_EQ(10u, sender.in_flight());
    ASSERT_TRUE(pump_until([&] {
        std::lock_guard<std::mutex> lock(mutex);
        return heads.size() == 10;
    }));
    EXPECT_EQ(10, server.connections());
    EXPECT_EQ(10u, sender.in_flight());
    answer = true;
    ASSERT_TRUE(pump_until([&] { return sender.in_flight() == 0; }));
    std::lock_guard<std::mutex> lock(mutex);
    for (const auto& head : heads) {
        // The request line and Host, nothing else.
        EXPECT_EQ(0u, head.find("GET /UPV?gs=downertask&gameid=7&pid=P&style=start&n="));
        EXPECT_EQ(head.find("\r\n") + 2, head.find("Host: 127.0.0.1:"));
        EXPECT_EQ(2, std::count(head.begin(), head.end(), '\n') - 1);
    }
}

TEST(BeaconSender, FailedAndRefusedBeaconsAreForgotten) {
    beacon_sender sender;
    sender.send("not a url");
    EXPECT_EQ(0u, sender.in_flight());
    sender.send("http://127.0.0.1:" + std::to_string(net_test::unused_port()) + "/UPV?gs=x");
    EXPECT_EQ(1u, sender.in_flight());
    ASSERT_TRUE(pump_until([&] { return sender.in_flight() == 0; }));
}

TEST(BeaconSender, CleanupWaitsForTheLastBeacon) {
    // A reference of the test's own, released by the sender.
    WSADATA data;
    ASSERT_EQ(0, WSAStartup(MAKEWORD(2, 2), &data));
    loopback_server server([&](SOCKET s, int) {
        net_test::read_head(s);
        Sleep(200);
        net_test::send_all(s, "HTTP/1.1 204 No Content\r\n\r\n");
    });
    beacon_sender sender;
    sender.send(server.url("/UPV?gs=downerstart&gameid=1&pid=2"));
    sender.shutdown();
    EXPECT_TRUE(sender.cleanup_pending());
    ASSERT_TRUE(pump_until([&] { return sender.in_flight() == 0; }));
    EXPECT_FALSE(sender.cleanup_pending());
    // Had the sender not released its reference, this one would not be the
    // last and sockets would still open.
    WSACleanup();
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    const int error = WSAGetLastError();
    if (s != INVALID_SOCKET) {
        closesocket(s);
    }
    WSAStartup(MAKEWORD(2, 2), &data);
    WSAStartup(MAKEWORD(2, 2), &data);  // the one the sender released
    EXPECT_EQ(INVALID_SOCKET, s);
    EXPECT_EQ(WSANOTINITIALISED, error);
    // Nothing in flight: the clean-up is at once.
    beacon_sender idle;
    idle.shutdown();
    EXPECT_FALSE(idle.cleanup_pending());
}
