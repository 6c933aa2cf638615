#include "net/asyn_tcp_socket.h"

#include <cstring>

#include "net/safe_tcp_window.h"

namespace qm::win32::net {

namespace {

constexpr long kAllEvents = FD_READ | FD_WRITE | FD_OOB | FD_ACCEPT | FD_CONNECT | FD_CLOSE;

// Timers of the socket's window (WM_TIMER ids).
constexpr UINT_PTR kConnectTimer = 1;
constexpr UINT_PTR kIdleTimer = 2;

}  // namespace

asyn_tcp_socket::asyn_tcp_socket(asyn_tcp_socket_event* sink)
    : sink_(sink), alive_(std::make_shared<bool>(true)) {}

asyn_tcp_socket::~asyn_tcp_socket() {
    *alive_ = false;
    // The window must not reach this object once it is gone.
    release();
    delete[] lookup_buffer_;
}

bool asyn_tcp_socket::create(const std::string& host, std::uint16_t port) {
    if (window_ || host.empty() || port == 0) {
        return false;
    }
    auto* window = new safe_tcp_window(this);
    if (!window->Create()) {
        window->destroy_safely();
        return false;
    }
    window_ = window;
    host_ = host;
    port_ = port;
    return true;
}

bool asyn_tcp_socket::send(const char* data, std::uint32_t length) {
    if (!window_ || !send_buffer_.empty() || !data || length == 0) {
        return false;
    }
    send_buffer_.assign(data, length);
    send_offset_ = 0;
    // A reply is awaited from now on; the idle limit covers the connect too,
    // so that a handshake without limit still ends.
    last_activity_ = GetTickCount();
    arm_timer(kIdleTimer, timeouts_.idle_ms);
    idle_timer_armed_ = timeouts_.idle_ms != 0;
    start();
    return true;
}

void asyn_tcp_socket::close() {
    disarm_timer(kConnectTimer);
    stop_idle_timer();
    if (lookup_handle_) {
        WSACancelAsyncRequest(lookup_handle_);
        lookup_handle_ = nullptr;
        // The lookup thread may still write its answer here after the cancel
        // (and does so under Wine): leave the buffer to it.
        lookup_buffer_ = nullptr;
    }
    if (socket_ != INVALID_SOCKET) {
        HWND window = window_ ? window_->m_hWnd : nullptr;
        if (window) {
            WSAAsyncSelect(socket_, window, 0, 0);
        }
        closesocket(socket_);
        socket_ = INVALID_SOCKET;
        // Notifications already queued for the closed socket must not be
        // taken for a later socket that gets the same handle value.
        MSG stale;
        while (window && PeekMessageW(&stale, window, socket_notification_message,
                                      socket_notification_message, PM_REMOVE | PM_NOYIELD)) {
        }
    }
    send_buffer_.clear();
    send_offset_ = 0;
    receive_buffer_.clear();
    state_ = state_idle;
}

void asyn_tcp_socket::release() {
    if (!window_) {
        return;
    }
    close();
    safe_tcp_window* window = window_;
    window_ = nullptr;
    window->destroy_safely();
    host_.clear();
    port_ = 0;
    address_ = INADDR_NONE;
}

void asyn_tcp_socket::start() {
    switch (state_) {
        case state_connected:
            // Inside the owner's own send(): a failure is reported later.
            flush(true);
            return;
        case state_resolving:
        case state_connecting:
        case state_failing:
            return;
        default:
            break;
    }
    socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (socket_ == INVALID_SOCKET) {
        fail(WSAGetLastError(), true);
        return;
    }
    const int buffer_size = receive_buffer_size;
    setsockopt(socket_, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&buffer_size),
               sizeof(buffer_size));
    if (WSAAsyncSelect(socket_, window_->m_hWnd, socket_notification_message, kAllEvents) != 0) {
        fail(WSAGetLastError(), true);
        return;
    }
    connect_started_ = GetTickCount();
    arm_timer(kConnectTimer, timeouts_.connect_ms);
    address_ = inet_addr(host_.c_str());
    if (address_ == INADDR_NONE) {
        lookup();
    } else {
        connect_to_address();
    }
}

void asyn_tcp_socket::lookup() {
    if (!lookup_buffer_) {
        lookup_buffer_ = new char[MAXGETHOSTSTRUCT];
    }
    std::memset(lookup_buffer_, 0, MAXGETHOSTSTRUCT);
    lookup_handle_ = WSAAsyncGetHostByName(window_->m_hWnd, lookup_complete_message, host_.c_str(),
                                           lookup_buffer_, MAXGETHOSTSTRUCT);
    if (!lookup_handle_) {
        fail(WSAGetLastError(), true);
        return;
    }
    state_ = state_resolving;
}

void asyn_tcp_socket::connect_to_address() {
    sockaddr_in peer = {};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port_);
    peer.sin_addr.s_addr = address_;
    if (::connect(socket_, reinterpret_cast<const sockaddr*>(&peer), sizeof(peer)) ==
        SOCKET_ERROR) {
        const int error = WSAGetLastError();
        if (error != WSAEWOULDBLOCK) {
            fail(error, true);
            return;
        }
    }
    state_ = state_connecting;
}

void asyn_tcp_socket::handle_lookup_complete(WPARAM wparam, LPARAM lparam) {
    // An answer to a lookup that close() cancelled is not the current one.
    if (state_ != state_resolving || reinterpret_cast<HANDLE>(wparam) != lookup_handle_) {
        return;
    }
    lookup_handle_ = nullptr;
    const int error = WSAGETASYNCERROR(lparam);
    if (error != 0) {
        fail(error, false);
        return;
    }
    const auto* entry = reinterpret_cast<const hostent*>(lookup_buffer_);
    if (entry->h_addrtype != AF_INET || entry->h_length != 4 || !entry->h_addr_list ||
        !entry->h_addr_list[0]) {
        fail(WSANO_DATA, false);
        return;
    }
    std::memcpy(&address_, entry->h_addr_list[0], 4);
    connect_to_address();
}

void asyn_tcp_socket::handle_deferred_error(WPARAM wparam) {
    if (state_ != state_failing) {
        return;
    }
    close();
    sink_->on_error(static_cast<int>(wparam));
}

void asyn_tcp_socket::handle_socket_notification(WPARAM wparam, LPARAM lparam) {
    if (socket_ == INVALID_SOCKET || static_cast<SOCKET>(wparam) != socket_) {
        return;
    }
    const int event = WSAGETSELECTEVENT(lparam);
    const int error = WSAGETSELECTERROR(lparam);
    const bool acted_on =
        (event == FD_CONNECT && state_ == state_connecting) ||
        ((event == FD_READ || event == FD_WRITE || event == FD_CLOSE) && state_ == state_connected);
    if (!acted_on) {
        return;
    }
    if (error != 0) {
        fail(error, false);
        return;
    }
    switch (event) {
        case FD_CONNECT: {
            sockaddr_in peer = {};
            sockaddr_in local = {};
            int length = sizeof(peer);
            if (getpeername(socket_, reinterpret_cast<sockaddr*>(&peer), &length) != 0) {
                peer = {};
            }
            length = sizeof(local);
            if (getsockname(socket_, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
                local = {};
            }
            state_ = state_connected;
            disarm_timer(kConnectTimer);
            sink_->on_connect(local.sin_addr.s_addr, ntohs(local.sin_port), peer.sin_addr.s_addr,
                              ntohs(peer.sin_port));
            return;
        }
        case FD_READ:
            receive();
            return;
        case FD_WRITE:
            flush(false);
            return;
        case FD_CLOSE: {
            // No further notification comes for this connection: read all
            // that is left, then report the end.
            auto alive = alive_;
            const SOCKET current = socket_;
            for (;;) {
                const receive_result result = receive();
                if (result == receive_result::ended || result == receive_result::stopped) {
                    return;
                }
                if (!*alive || socket_ != current || state_ != state_connected) {
                    return;
                }
                if (result == receive_result::would_block) {
                    // The peer is gone and nothing more will be signalled:
                    // end the connection rather than wait forever.
                    close();
                    sink_->on_close();
                    return;
                }
            }
        }
        default:
            return;
    }
}

void asyn_tcp_socket::flush(bool deferred) {
    if (send_buffer_.empty()) {
        return;
    }
    while (send_offset_ < send_buffer_.size()) {
        const int sent = ::send(socket_, send_buffer_.data() + send_offset_,
                                static_cast<int>(send_buffer_.size() - send_offset_), 0);
        if (sent == SOCKET_ERROR) {
            const int error = WSAGetLastError();
            if (error != WSAEWOULDBLOCK) {
                fail(error, deferred);
            }
            return;
        }
        send_offset_ += static_cast<std::uint32_t>(sent);
    }
    const auto size = static_cast<std::uint32_t>(send_buffer_.size());
    send_buffer_.clear();
    send_offset_ = 0;
    sink_->on_send(size);
}

asyn_tcp_socket::receive_result asyn_tcp_socket::receive() {
    if (!receive_block_) {
        receive_block_.reset(new char[receive_block_size]);
    }
    char* const block = receive_block_.get();
    const int count = ::recv(socket_, block, receive_block_size, 0);
    if (count == SOCKET_ERROR) {
        const int error = WSAGetLastError();
        if (error == WSAEWOULDBLOCK) {
            return receive_result::would_block;
        }
        fail(error, false);
        return receive_result::ended;
    }
    if (count == 0) {
        close();
        sink_->on_close();
        return receive_result::ended;
    }
    // With nothing left over, the sink reads the new bytes where recv() put
    // them; only what it leaves is copied into the receive buffer.
    last_activity_ = GetTickCount();
    const bool direct = receive_buffer_.empty();
    if (!direct) {
        receive_buffer_.append(block, static_cast<std::size_t>(count));
    }
    const char* const data = direct ? block : receive_buffer_.data();
    const auto size = direct ? static_cast<std::uint32_t>(count)
                             : static_cast<std::uint32_t>(receive_buffer_.size());

    auto alive = alive_;
    const SOCKET current = socket_;
    std::uint32_t consumed = size;
    sink_->on_recv(data, size, consumed);
    if (!*alive || socket_ != current || state_ != state_connected) {
        return receive_result::stopped;
    }
    if (direct) {
        if (consumed < size) {
            receive_buffer_.assign(block + consumed, size - consumed);
        } else if (consumed > size) {
            receive_buffer_.assign(block, size);
        }
    } else if (consumed == size) {
        receive_buffer_.clear();
    } else if (consumed < size) {
        receive_buffer_.erase(0, consumed);
    }
    return receive_result::data;
}

void asyn_tcp_socket::arm_timer(UINT_PTR timer, unsigned milliseconds) {
    if (!window_ || !window_->m_hWnd) {
        return;
    }
    if (milliseconds == 0) {
        KillTimer(window_->m_hWnd, timer);
        return;
    }
    // Setting a running timer again restarts its period.
    SetTimer(window_->m_hWnd, timer, milliseconds, nullptr);
}

void asyn_tcp_socket::disarm_timer(UINT_PTR timer) {
    if (window_ && window_->m_hWnd) {
        KillTimer(window_->m_hWnd, timer);
    }
}

void asyn_tcp_socket::stop_idle_timer() {
    idle_timer_armed_ = false;
    disarm_timer(kIdleTimer);
}

void asyn_tcp_socket::handle_timer(WPARAM timer) {
    const DWORD now = GetTickCount();
    if (timer == kConnectTimer) {
        if (state_ != state_resolving && state_ != state_connecting) {
            disarm_timer(timer);
            return;
        }
        const DWORD waited = now - connect_started_;
        if (waited < timeouts_.connect_ms) {
            arm_timer(timer, timeouts_.connect_ms - waited);
            return;
        }
        disarm_timer(timer);
        fail(WSAETIMEDOUT, false);
        return;
    }
    if (timer != kIdleTimer) {
        return;
    }
    if (!idle_timer_armed_ || state_ == state_idle || state_ == state_failing) {
        disarm_timer(timer);
        return;
    }
    const DWORD quiet = now - last_activity_;
    if (quiet < timeouts_.idle_ms) {
        arm_timer(timer, timeouts_.idle_ms - quiet);
        return;
    }
    stop_idle_timer();
    fail(WSAETIMEDOUT, false);
}

void asyn_tcp_socket::fail(int error, bool deferred) {
    if (deferred) {
        state_ = state_failing;
        PostMessageW(window_->m_hWnd, deferred_error_message, static_cast<WPARAM>(error), 0);
        return;
    }
    close();
    sink_->on_error(error);
}

}  // namespace qm::win32::net
