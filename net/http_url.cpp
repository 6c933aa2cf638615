#include "net/http_url.h"

#include <cstring>

#include "net/http_constants.h"

namespace qm::win32::net {

namespace {

constexpr std::size_t scheme_length = sizeof(http_scheme) - 1;

bool has_http_scheme(const std::string& url) {
    if (url.size() <= scheme_length) {
        return false;
    }
    for (std::size_t i = 0; i < scheme_length; ++i) {
        char c = url[i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != http_scheme[i]) {
            return false;
        }
    }
    return true;
}

// The host part ends at the path, and also at a query or fragment written
// straight after it ("http://h?x"), which must not become part of the host.
std::size_t authority_end(const std::string& url) {
    std::size_t end = url.find_first_of("/?#", scheme_length);
    return end == std::string::npos ? url.size() : end;
}

}  // namespace

bool split_url(const std::string& url, std::string& host, std::uint16_t& port) {
    host.clear();
    port = 0;
    if (!has_http_scheme(url)) {
        return false;
    }
    const std::size_t end = authority_end(url);
    const std::size_t colon = url.rfind(':', end == 0 ? 0 : end - 1);
    std::uint32_t value = http_default_port;
    std::size_t host_end = end;
    if (colon != std::string::npos && colon >= scheme_length) {
        host_end = colon;
        // Strictly decimal and in range: "h:8x" or "h:70000" must not name a
        // different port than the one written.
        if (colon + 1 == end) {
            return false;
        }
        value = 0;
        for (std::size_t i = colon + 1; i < end; ++i) {
            const char c = url[i];
            if (c < '0' || c > '9') {
                return false;
            }
            value = value * 10 + static_cast<std::uint32_t>(c - '0');
            if (value > 65535) {
                return false;
            }
        }
    }
    if (host_end == scheme_length || value == 0) {
        return false;
    }
    host.assign(url, scheme_length, host_end - scheme_length);
    port = static_cast<std::uint16_t>(value);
    return true;
}

std::string url_path(const std::string& url) {
    if (!has_http_scheme(url)) {
        return std::string();
    }
    const std::size_t end = authority_end(url);
    if (end == scheme_length) {
        return std::string();
    }
    if (end == url.size()) {
        return "/";
    }
    if (url[end] == '/') {
        return url.substr(end);
    }
    return "/" + url.substr(end);
}

}  // namespace qm::win32::net
