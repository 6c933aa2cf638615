#include "tests/net/net_test_support.h"

#include <psapi.h>

#include <cstring>

namespace net_test {

namespace {

// Winsock for the whole test program (the client code assumes its owner
// started it).
struct winsock_session {
    winsock_session() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~winsock_session() { WSACleanup(); }
} g_winsock;

constexpr DWORD kServerTimeoutMs = 5000;

}  // namespace

bool pump_until(const std::function<bool()>& done, int timeout_ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
            if (done()) {
                return true;
            }
        }
        if (done()) {
            return true;
        }
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= static_cast<DWORD>(timeout_ms)) {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

void pump_for(int milliseconds) {
    pump_until([] { return false; }, milliseconds);
}

std::uint16_t unused_port() {
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    int length = sizeof(address);
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    closesocket(s);
    return ntohs(address.sin_port);
}

std::string read_head(SOCKET s) {
    std::string head;
    char c;
    while (head.size() < 65536) {
        const int n = recv(s, &c, 1, 0);
        if (n <= 0) {
            return std::string();
        }
        head.push_back(c);
        if (head.size() >= 4 && head.compare(head.size() - 4, 4, "\r\n\r\n") == 0) {
            return head;
        }
    }
    return std::string();
}

bool send_all(SOCKET s, const std::string& data) {
    std::size_t offset = 0;
    while (offset < data.size()) {
        const int n = send(s, data.data() + offset, static_cast<int>(data.size() - offset), 0);
        if (n <= 0) {
            return false;
        }
        offset += static_cast<std::size_t>(n);
    }
    return true;
}

std::string read_to_close(SOCKET s) {
    std::string all;
    char block[4096];
    for (;;) {
        const int n = recv(s, block, sizeof(block), 0);
        if (n <= 0) {
            return all;
        }
        all.append(block, static_cast<std::size_t>(n));
    }
}

std::string head_field(const std::string& head, const std::string& name) {
    const std::string key = "\r\n" + name + ": ";
    const std::size_t at = head.find(key);
    if (at == std::string::npos) {
        return std::string();
    }
    const std::size_t begin = at + key.size();
    return head.substr(begin, head.find("\r\n", begin) - begin);
}

std::string head_target(const std::string& head) {
    const std::size_t first = head.find(' ');
    if (first == std::string::npos) {
        return std::string();
    }
    const std::size_t second = head.find(' ', first + 1);
    return head.substr(first + 1, second - first - 1);
}

black_hole::black_hole() {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    address_.sin_family = AF_INET;
    address_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof(address_);
    if (listener_ == INVALID_SOCKET ||
        bind(listener_, reinterpret_cast<sockaddr*>(&address_), sizeof(address_)) != 0 ||
        listen(listener_, 0) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address_), &length) != 0) {
        return;
    }
    for (int i = 0; i < 2; ++i) {
        fillers_.push_back(start_connect());
    }
    Sleep(300);
    SOCKET probe = start_connect();
    fillers_.push_back(probe);
    fd_set writable;
    FD_ZERO(&writable);
    FD_SET(probe, &writable);
    timeval wait = {1, 0};
    ready_ = select(0, nullptr, &writable, nullptr, &wait) == 0;
}

black_hole::~black_hole() {
    for (SOCKET s : fillers_) {
        closesocket(s);
    }
    if (listener_ != INVALID_SOCKET) {
        closesocket(listener_);
    }
}

SOCKET black_hole::start_connect() {
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    u_long nonblocking = 1;
    ioctlsocket(s, FIONBIO, &nonblocking);
    connect(s, reinterpret_cast<const sockaddr*>(&address_), sizeof(address_));
    return s;
}

std::string black_hole::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(ntohs(address_.sin_port)) + path;
}

std::uint64_t private_bytes() {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    if (GetProcessMemoryInfo(GetCurrentProcess(),
                             reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                             sizeof(counters))) {
        if (counters.PrivateUsage != 0) {
            return counters.PrivateUsage;
        }
        if (counters.PagefileUsage != 0) {
            return counters.PagefileUsage;  // the same figure on older systems
        }
    }
    // Else the address space in use, which is what runs out in a 32-bit process.
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof(status);
    if (!GlobalMemoryStatusEx(&status)) {
        return 0;
    }
    return status.ullTotalVirtual - status.ullAvailVirtual;
}

void send_endless(SOCKET s, const std::string& head) {
    if (read_head(s).empty() || !send_all(s, head)) {
        return;
    }
    const bool chunked = head.find("chunked") != std::string::npos;
    std::string piece(65536, 'x');
    if (chunked) {
        piece = "10000\r\n" + piece + "\r\n";
    }
    // Ends when the client closes (or stops reading for the send time-out).
    while (send_all(s, piece)) {
    }
}

loopback_server::loopback_server(script on_connection) : script_(std::move(on_connection)) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    listen(listener_, 32);
    int length = sizeof(address);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { accept_loop(); });
}

loopback_server::~loopback_server() {
    stopping_ = true;
    closesocket(listener_);
    acceptor_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& worker : workers_) {
        worker.join();
    }
}

std::string loopback_server::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void loopback_server::accept_loop() {
    for (;;) {
        SOCKET s = accept(listener_, nullptr, nullptr);
        if (s == INVALID_SOCKET) {
            return;
        }
        if (stopping_) {
            closesocket(s);
            return;
        }
        const DWORD timeout = kServerTimeoutMs;
        setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
                   sizeof(timeout));
        setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout),
                   sizeof(timeout));
        const int number = connections_++;
        std::lock_guard<std::mutex> lock(mutex_);
        workers_.emplace_back([this, s, number] {
            script_(s, number);
            closesocket(s);
        });
    }
}

}  // namespace net_test
