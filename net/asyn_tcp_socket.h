#pragma once
// A client TCP connection (IPv4) that never blocks its caller: lookup,
// connection, sending and receiving run on Winsock notifications delivered as
// window messages to a hidden window of the socket, on the thread that
// created it. Results reach the owner through asyn_tcp_socket_event.

#include <windows.h>
#include <winsock2.h>

#include <cstdint>
#include <memory>
#include <string>

namespace qm::win32::net {

class safe_tcp_window;

class asyn_tcp_socket_event {
  public:
    virtual ~asyn_tcp_socket_event() = default;
    // Addresses in network byte order, ports in host byte order; 0 where the
    // system could not tell.
    virtual void on_connect(std::uint32_t local_address, int local_port, std::uint32_t peer_address,
                            int peer_port) = 0;
    // Every byte of the last block given to send() was accepted.
    virtual void on_send(std::uint32_t length) = 0;
    // data/length: every unconsumed byte, oldest first. consumed comes preset
    // to length; the sink sets how many bytes it took from the front.
    virtual void on_recv(const char* data, std::uint32_t length, std::uint32_t& consumed) = 0;
    // The connection failed (Winsock error code); the socket is already closed.
    virtual void on_error(int error) = 0;
    // The peer closed in an orderly way; the socket is already closed.
    virtual void on_close() = 0;
};

// Limits of one connection, in milliseconds; 0 waits without limit. A limit
// that runs out ends the connection through on_error with WSAETIMEDOUT.
struct tcp_timeouts {
    // From the start of the lookup to the completed handshake.
    unsigned connect_ms = 30000;
    // From a send() or the last byte received while a reply is awaited.
    unsigned idle_ms = 60000;
};

class asyn_tcp_socket {
  public:
    enum : int {
        state_idle = 0,
        state_resolving = 1,
        state_connecting = 2,
        state_connected = 3,
        state_failing = 4,
    };

    // Bytes asked of one recv(): one call per FD_READ.
    static constexpr int receive_block_size = 262144;
    // The system's receive buffer of the connection.
    static constexpr int receive_buffer_size = 1048576;

    explicit asyn_tcp_socket(asyn_tcp_socket_event* sink);
    virtual ~asyn_tcp_socket();
    asyn_tcp_socket(const asyn_tcp_socket&) = delete;
    asyn_tcp_socket& operator=(const asyn_tcp_socket&) = delete;

    // Binds the socket to host (name or dotted IPv4, ANSI) and port and
    // creates its window. No network activity.
    bool create(const std::string& host, std::uint16_t port);
    // Queues one block and starts (or reuses) the connection. Failures of the
    // start are reported through on_error from the message loop.
    bool send(const char* data, std::uint32_t length);
    // Ends the connection; a later send() reconnects to the same endpoint.
    void close();
    // Closes and gives up the window and the endpoint.
    void release();
    // Takes effect from the next connection (connect) or send() (idle).
    void set_timeouts(const tcp_timeouts& timeouts) { timeouts_ = timeouts; }
    const tcp_timeouts& timeouts() const { return timeouts_; }
    // No reply is awaited any more: a connection kept for later does not
    // time out while it waits for the next send().
    void stop_idle_timer();

    int state() const { return state_; }
    bool has_window() const { return window_ != nullptr; }
    const std::string& host() const { return host_; }
    std::uint16_t port() const { return port_; }

    // Called by the window for the socket's private messages.
    void handle_socket_notification(WPARAM wparam, LPARAM lparam);
    void handle_lookup_complete(WPARAM wparam, LPARAM lparam);
    void handle_deferred_error(WPARAM wparam);
    void handle_timer(WPARAM timer);

  private:
    enum class receive_result { would_block, data, ended, stopped };

    void start();
    void lookup();
    void connect_to_address();
    void flush(bool deferred);
    receive_result receive();
    void fail(int error, bool deferred);
    void arm_timer(UINT_PTR timer, unsigned milliseconds);
    void disarm_timer(UINT_PTR timer);

    int state_ = state_idle;
    asyn_tcp_socket_event* sink_;
    safe_tcp_window* window_ = nullptr;
    SOCKET socket_ = INVALID_SOCKET;
    std::string send_buffer_;
    std::uint32_t send_offset_ = 0;
    std::string receive_buffer_;
    std::unique_ptr<char[]> receive_block_;  // scratch for recv(), too big for the stack
    std::string host_;
    std::uint16_t port_ = 0;
    std::uint32_t address_ = INADDR_NONE;
    tcp_timeouts timeouts_;
    bool idle_timer_armed_ = false;
    // GetTickCount() values: when the connection began, and when a reply
    // was last asked for or a byte of it arrived. A timer that fires checks
    // them, so that receiving costs no timer call and a late WM_TIMER left
    // from an earlier period is not taken for a time-out.
    DWORD connect_started_ = 0;
    DWORD last_activity_ = 0;
    // The lookup writes into this buffer from another thread. A cancelled
    // lookup may still do so, so a cancelled buffer is abandoned rather than
    // freed (see close()).
    char* lookup_buffer_ = nullptr;
    HANDLE lookup_handle_ = nullptr;
    // Cleared by the destructor, so that a notification handler learns that
    // the socket went away inside a callback.
    std::shared_ptr<bool> alive_;
};

}  // namespace qm::win32::net
