#include "net/asyn_http.h"

#include <cstdlib>
#include <utility>

#include "net/http_constants.h"
#include "net/http_response_parser.h"
#include "net/http_result.h"
#include "net/http_url.h"

namespace qm::win32::net {

namespace {

bool equals_ignoring_case(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z') {
            x = static_cast<char>(x - 'A' + 'a');
        }
        if (y >= 'A' && y <= 'Z') {
            y = static_cast<char>(y - 'A' + 'a');
        }
        if (x != y) {
            return false;
        }
    }
    return i == a.size() && b[i] == '\0';
}

bool starts_with_scheme(const std::string& text) {
    return text.size() >= 7 && equals_ignoring_case(text.substr(0, 7), http_scheme);
}

std::string host_field_value(const std::string& host, std::uint16_t port) {
    return port == http_default_port ? host : host + ":" + std::to_string(port);
}

// Host and port of a "Host" field value, split at its first colon.
bool split_host_field(const std::string& value, std::string& host, std::uint16_t& port) {
    const std::size_t colon = value.find(':');
    host = value.substr(0, colon);
    long number = http_default_port;
    if (colon != std::string::npos) {
        number = std::atol(value.c_str() + colon + 1);
    }
    if (host.empty() || number <= 0 || number > 65535) {
        return false;
    }
    port = static_cast<std::uint16_t>(number);
    return true;
}

// A redirect target goes into the request line as it stands, so it must not
// carry anything that would end or split that line.
bool usable_location(const std::string& location) {
    if (location.empty()) {
        return false;
    }
    for (const char c : location) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7f) {
            return false;
        }
    }
    return true;
}

}  // namespace

void asyn_http_event::on_data(int, http_response&, const char*, std::size_t, std::uint64_t, bool&) {
}

asyn_http::asyn_http(asyn_http_event* sink)
    : sink_(sink), socket_(this), alive_(std::make_shared<bool>(true)) {}

asyn_http::~asyn_http() {
    *alive_ = false;
}

bool asyn_http::get(int request_id, const std::string& url) {
    return get(request_id, url, http_headers());
}

bool asyn_http::get(int request_id, const std::string& url, const http_headers& extra) {
    if (busy_) {
        return false;
    }
    http_request request;
    if (!make_get_request(url, request)) {
        return false;
    }
    for (const auto& field : extra) {
        request.headers.add(field.first, field.second);
    }
    return send_request(request_id, request);
}

bool asyn_http::send_request(int request_id, const http_request& request) {
    if (busy_) {
        return false;
    }
    std::string host;
    std::uint16_t port = 0;
    if (!split_host_field(request.headers.find(http_field::host), host, port)) {
        return false;
    }
    if (host != host_ || port != port_ || !socket_.has_window()) {
        if (!host_.empty()) {
            socket_.release();
        }
        host_ = host;
        port_ = port;
        if (!socket_.create(host, port)) {
            host_.clear();
            port_ = 0;
            return false;
        }
    }
    const std::string bytes = write_request(request, true);
    // send() may report the block as written before it returns.
    request_sent_ = false;
    busy_ = socket_.send(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    if (busy_) {
        request_ = request;
        request_id_ = request_id;
    }
    return busy_;
}

void asyn_http::reset() {
    end_exchange();
    socket_.release();
    host_.clear();
    port_ = 0;
}

void asyn_http::end_exchange() {
    request_id_ = 0;
    busy_ = false;
    request_sent_ = false;
    response_done_ = false;
    request_.clear();
    response_.reset();
    parser_.reset();
    ++exchange_;
}

void asyn_http::on_connect(std::uint32_t, int, std::uint32_t, int) {}

void asyn_http::on_send(std::uint32_t) {
    request_sent_ = true;
    complete();
}

void asyn_http::on_recv(const char* data, std::uint32_t length, std::uint32_t& consumed) {
    if (!busy_) {
        consumed = 0;
        return;
    }
    if (!response_) {
        response_ = std::make_unique<http_response>();
        parser_ = std::make_unique<http_response_parser>();
        body_read_ = 0;
    }
    // Reused from block to block; swapped out while the sink looks at it, so
    // that a new exchange started from on_data gets a scratch of its own.
    std::string body;
    body.swap(body_scratch_);
    body.clear();
    std::size_t used = length;
    const int result = feed(*parser_, data, length, *response_, used, body);
    consumed = static_cast<std::uint32_t>(used);
    if (result != 0 && result != http_need_more) {
        fail(result);
        return;
    }
    if (!body.empty()) {
        bool keep = true;
        const auto alive = alive_;
        const std::uint64_t exchange = exchange_;
        sink_->on_data(request_id_, *response_, body.data(), body.size(), response_->body.size(),
                       keep);
        if (!*alive) {
            return;
        }
        if (exchange != exchange_ || !response_) {
            body_scratch_.swap(body);
            return;
        }
        body_read_ += body.size();
        const bool success = response_->status >= 200 && response_->status < 300;
        if (!success && body_read_ > other_body_limit) {
            fail(http_body_too_large);
            return;
        }
        if (keep) {
            const std::uint64_t kept = response_->body.size();
            if (!success) {
                // An error page is for a person to read, or for nobody.
                if (kept < other_body_kept) {
                    const std::uint64_t room = other_body_kept - kept;
                    response_->body.append(
                        body, 0, static_cast<std::size_t>(room < body.size() ? room : body.size()));
                }
            } else if (body_limit_ != 0 && kept + body.size() > body_limit_) {
                fail(http_body_too_large);
                return;
            } else {
                response_->body.append(body);
            }
        }
    }
    body_scratch_.swap(body);
    if (result == 0) {
        response_done_ = true;
        complete();
    }
}

void asyn_http::on_error(int error) {
    if (busy_) {
        fail(error);
    }
}

void asyn_http::on_close() {
    if (!busy_) {
        return;
    }
    const int result = response_ ? finish_at_close(*parser_, *response_) : http_closed_early;
    if (result != 0) {
        fail(result);
        return;
    }
    // Nothing more can be written on a closed connection: the exchange is
    // over whether or not the last bytes of the request were reported.
    request_sent_ = true;
    response_done_ = true;
    complete();
}

void asyn_http::complete() {
    if (!busy_ || !request_sent_ || !response_done_ || !response_) {
        return;
    }
    if (!equals_ignoring_case(request_.headers.find(http_field::connection), "Keep-Alive") ||
        !equals_ignoring_case(response_->headers.find(http_field::connection), "Keep-Alive")) {
        socket_.close();
    } else {
        socket_.stop_idle_timer();  // kept for a later request: no reply is due
    }
    const int status = response_->status;
    if (status == 301 || status == 302 || status == 303 || status == 307) {
        redirect();
        return;
    }
    const int request_id = request_id_;
    redirects_ = 0;
    std::unique_ptr<http_response> response = std::move(response_);
    end_exchange();
    // The sink may destroy this client; the response lives on this frame.
    sink_->on_response(request_id, *response);
}

void asyn_http::redirect() {
    if (redirects_ >= max_redirects) {
        fail(http_too_many_redirects);
        return;
    }
    const std::string location = response_->headers.find(http_field::location);
    if (!usable_location(location)) {
        fail(http_redirect_failed);
        return;
    }
    std::string host;
    std::uint16_t port = 0;
    std::string url;
    if (starts_with_scheme(location)) {
        url = location;
        if (!split_url(location, host, port)) {
            host.clear();
            port = 0;
        }
    } else {
        host = host_;
        port = port_;
        url = http_scheme + host_field_value(host, port);
        // A value that already begins at the root ("/a/b") is not given a
        // second slash.
        if (location[0] != '/') {
            url += "/";
        }
        url += location;
    }
    const std::string path = url_path(url);
    if (host.empty() || path.empty()) {
        fail(http_redirect_failed);
        return;
    }
    ++redirects_;
    http_request next = request_;
    next.uri = path;
    next.headers.set(http_field::host, host_field_value(host, port));
    const int request_id = request_id_;
    end_exchange();
    if (!send_request(request_id, next)) {
        // fail() reports the id of the exchange in progress.
        request_id_ = request_id;
        fail(http_redirect_failed);
    }
}

void asyn_http::fail(int error) {
    const int request_id = request_id_;
    reset();
    sink_->on_error(request_id, error);
}

}  // namespace qm::win32::net
