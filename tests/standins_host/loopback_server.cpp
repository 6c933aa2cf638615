#include "tests/standins_host/loopback_server.h"

#include <ws2tcpip.h>

namespace standin_test {

LoopbackServer::LoopbackServer(std::string body) : body_(std::move(body)) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof(address);
    if (listener_ == INVALID_SOCKET ||
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(listener_, 8) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
}

LoopbackServer::~LoopbackServer() {
    if (listener_ != INVALID_SOCKET) {
        closesocket(listener_);  // ends accept() in serve()
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    WSACleanup();
}

void LoopbackServer::serve() {
    for (;;) {
        SOCKET client = accept(listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET) {
            return;
        }
        // A client that never finishes its request cannot hold the server.
        DWORD timeout = 5000;
        setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
                   sizeof(timeout));
        std::string request;
        char buffer[2048];
        while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
            const int got = recv(client, buffer, sizeof(buffer), 0);
            if (got <= 0) {
                break;
            }
            request.append(buffer, got);
        }
        if (request.find("\r\n\r\n") != std::string::npos) {
            ++requests_;
            const bool head = request.compare(0, 5, "HEAD ") == 0;
            std::string answer =
                "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body_.size()) +
                "\r\nContent-Type: application/octet-stream\r\n"
                "Connection: close\r\n\r\n";
            if (!head) {
                answer += body_;
            }
            size_t sent = 0;
            while (sent < answer.size()) {
                const int n =
                    send(client, answer.data() + sent, static_cast<int>(answer.size() - sent), 0);
                if (n <= 0) {
                    break;
                }
                sent += static_cast<size_t>(n);
            }
            shutdown(client, SD_SEND);
        }
        closesocket(client);
    }
}

}  // namespace standin_test
