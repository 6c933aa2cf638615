#pragma once
// One HTTP/1.1 GET exchange at a time over an embedded asyn_tcp_socket,
// without blocking: redirects are followed, a connection both sides asked to
// keep is reused, and body bytes are offered while they arrive. Exactly one
// of on_response or on_error ends every accepted request.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "net/asyn_tcp_socket.h"
#include "net/http_headers.h"
#include "net/http_request.h"
#include "net/http_response.h"

namespace qm::win32::net {

class http_response_parser;

class asyn_http_event {
  public:
    virtual ~asyn_http_event() = default;
    // The final response; it is destroyed when the callback returns.
    virtual void on_response(int request_id, http_response& response) = 0;
    // A Winsock code or an HTTP-layer code (net/http_result.h).
    virtual void on_error(int request_id, int error) = 0;
    // Each block of decoded body bytes, for every response (redirects too).
    // body_length counts the bytes already kept in response.body; leaving
    // keep true appends this block to it.
    virtual void on_data(int request_id, http_response& response, const char* data,
                         std::size_t length, std::uint64_t body_length, bool& keep);
};

class asyn_http : public asyn_tcp_socket_event {
  public:
    // Redirects followed in one chain; the next one fails.
    static constexpr unsigned max_redirects = 5;
    // Body bytes of a successful (2xx) answer kept in response.body unless
    // set_body_limit says otherwise; more fails with http_body_too_large.
    // Bytes the sink takes for itself (keep = false) do not count.
    static constexpr std::uint64_t default_body_limit = 16u << 20;
    // Any other answer (an error page, a redirect) keeps at most this much
    // of its body; the rest is read and dropped ...
    static constexpr std::uint64_t other_body_kept = 64u << 10;
    // ... until this much was read in all, which fails with
    // http_body_too_large rather than read an endless body for ever.
    static constexpr std::uint64_t other_body_limit = 1u << 20;

    explicit asyn_http(asyn_http_event* sink);
    ~asyn_http() override;
    asyn_http(const asyn_http&) = delete;
    asyn_http& operator=(const asyn_http&) = delete;

    bool get(int request_id, const std::string& url);
    // The extra fields follow "Host" in their order.
    bool get(int request_id, const std::string& url, const http_headers& extra);
    bool send_request(int request_id, const http_request& request);
    // Ends any exchange without a callback and gives up the connection.
    void reset();
    // For the requests that follow; a limit that runs out ends the request
    // through on_error with WSAETIMEDOUT. Defaults: tcp_timeouts.
    void set_timeouts(const tcp_timeouts& timeouts) { socket_.set_timeouts(timeouts); }
    const tcp_timeouts& timeouts() const { return socket_.timeouts(); }
    // For the requests that follow; 0 keeps a 2xx body without limit.
    void set_body_limit(std::uint64_t bytes) { body_limit_ = bytes; }

    bool busy() const { return busy_; }

  private:
    void on_connect(std::uint32_t local_address, int local_port, std::uint32_t peer_address,
                    int peer_port) override;
    void on_send(std::uint32_t length) override;
    void on_recv(const char* data, std::uint32_t length, std::uint32_t& consumed) override;
    void on_error(int error) override;
    void on_close() override;

    void complete();
    void redirect();
    void fail(int error);
    void end_exchange();

    asyn_http_event* sink_;
    asyn_tcp_socket socket_;
    int request_id_ = 0;
    bool busy_ = false;
    bool request_sent_ = false;
    bool response_done_ = false;
    std::string host_;
    std::uint16_t port_ = 80;
    unsigned redirects_ = 0;
    http_request request_;
    std::unique_ptr<http_response> response_;
    std::unique_ptr<http_response_parser> parser_;
    std::string body_scratch_;  // decoded body bytes of the block in hand
    std::uint64_t body_limit_ = default_body_limit;
    std::uint64_t body_read_ = 0;  // decoded body bytes of the response in hand
    // Counts exchanges, so that code resuming after a sink callback can tell
    // whether the exchange it served has ended meanwhile.
    std::uint64_t exchange_ = 0;
    // Cleared by the destructor, for the same purpose when the sink destroyed
    // the client.
    std::shared_ptr<bool> alive_;
};

}  // namespace qm::win32::net
