#pragma once
// Loopback servers and a message pump for the network tests. A server runs a
// script per accepted connection on a thread of its own, with blocking
// Winsock calls that time out, so that no test can hang on the network.

#include <windows.h>
#include <winsock2.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace net_test {

// Dispatches this thread's messages until done() holds or timeout_ms passes.
bool pump_until(const std::function<bool()>& done, int timeout_ms = 5000);
// Dispatches messages for a fixed time (to see that nothing more arrives).
void pump_for(int milliseconds);

// A loopback port on which nothing listens.
std::uint16_t unused_port();

// Reads one request head (up to and including the empty line); empty when the
// peer closed or the read timed out.
std::string read_head(SOCKET s);
bool send_all(SOCKET s, const std::string& data);
// Reads until the peer closes; returns everything read.
std::string read_to_close(SOCKET s);
// Value of a header field in a raw head ("" if missing).
std::string head_field(const std::string& head, const std::string& name);
// The request URI of the request line.
std::string head_target(const std::string& head);

// A loopback port whose handshakes never complete, as towards an address
// that drops every packet: the listener never accepts and its one-place
// queue is taken.
class black_hole {
  public:
    black_hole();
    ~black_hole();
    black_hole(const black_hole&) = delete;
    black_hole& operator=(const black_hole&) = delete;
    // False when a further connect still completed within a second.
    bool ready() const { return ready_; }
    std::string url(const std::string& path) const;

  private:
    SOCKET start_connect();
    SOCKET listener_ = INVALID_SOCKET;
    sockaddr_in address_ = {};
    std::vector<SOCKET> fillers_;
    bool ready_ = false;
};

// Private bytes of this process (the committed memory that only it uses).
std::uint64_t private_bytes();

// Script for a loopback_server: reads the request, then sends `head` and
// endless body bytes (chunked when the head says so) until the client goes.
void send_endless(SOCKET s, const std::string& head);

class loopback_server {
  public:
    // script runs on its own thread for every accepted connection, with the
    // connection's socket and its number (from 0); the socket is closed after.
    using script = std::function<void(SOCKET, int)>;
    explicit loopback_server(script on_connection);
    ~loopback_server();
    loopback_server(const loopback_server&) = delete;
    loopback_server& operator=(const loopback_server&) = delete;

    std::uint16_t port() const { return port_; }
    int connections() const { return connections_.load(); }
    std::string url(const std::string& path) const;

  private:
    void accept_loop();

    script script_;
    SOCKET listener_ = INVALID_SOCKET;
    std::uint16_t port_ = 0;
    std::atomic<int> connections_{0};
    std::atomic<bool> stopping_{false};
    std::thread acceptor_;
    std::mutex mutex_;
    std::vector<std::thread> workers_;
};

}  // namespace net_test
