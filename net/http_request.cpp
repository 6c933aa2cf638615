#include "net/http_request.h"

#include <cstdint>

#include "net/http_constants.h"
#include "net/http_url.h"

namespace qm::win32::net {

void http_request::clear() {
    method.clear();
    uri.clear();
    version.clear();
    headers.clear();
    body.clear();
}

bool make_get_request(const std::string& url, http_request& request) {
    std::string host;
    std::uint16_t port = 0;
    bool usable = split_url(url, host, port);
    std::string path = usable ? url_path(url) : std::string();
    // A CR or LF would end the request line early and let the rest of the URL
    // be read as header fields; no control byte belongs in a URL.
    for (char c : url) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) {
            usable = false;
        }
    }
    if (!usable || path.empty()) {
        request.clear();
        return false;
    }
    request.method = http_method_get;
    request.uri = std::move(path);
    request.version = http_version_1_1;
    request.body.clear();
    request.headers.clear();
    if (port != http_default_port) {
        host += ':';
        host += std::to_string(port);
    }
    request.headers.add(http_field::host, host);
    return true;
}

std::string write_request(const http_request& request, bool with_body) {
    const bool body = with_body && !request.body.empty();
    const bool add_length = body && !request.headers.contains(http_field::content_length);
    std::string out;
    std::size_t size = request.method.size() + request.uri.size() + request.version.size() + 8 +
                       (body ? request.body.size() + 32 : 0);
    for (const auto& f : request.headers) {
        size += f.first.size() + f.second.size() + 4;
    }
    out.reserve(size);
    out += request.method;
    out += http_space;
    out += request.uri;
    out += http_space;
    out += request.version;
    out += http_crlf;
    if (add_length) {
        out += http_field::content_length;
        out += http_field_separator;
        out += std::to_string(request.body.size());
        out += http_crlf;
    }
    for (const auto& f : request.headers) {
        out += f.first;
        out += http_field_separator;
        out += f.second;
        out += http_crlf;
    }
    out += http_crlf;
    if (body) {
        out += request.body;
    }
    return out;
}

}  // namespace qm::win32::net
