// A loopback HTTP server for one test: every GET or HEAD is answered with
// 200 and the same body, one request per connection.
#pragma once

#include <winsock2.h>

#include <atomic>
#include <string>
#include <thread>

namespace standin_test {

class LoopbackServer {
  public:
    explicit LoopbackServer(std::string body);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const { return port_; }  // 0 when it could not listen
    int requests() const { return requests_; }

  private:
    void serve();

    std::string body_;
    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    std::atomic<int> requests_{0};
    std::thread thread_;
};

}  // namespace standin_test
