// An HTTP request, how a GET for a URL is made, and its wire form.
#pragma once

#include <string>

#include "net/http_headers.h"

namespace qm::win32::net {

struct http_request {
    std::string method = "GET";
    std::string uri = "/";
    std::string version = "HTTP/1.1";
    http_headers headers;
    std::string body;

    // Empties everything (method, URI and version too).
    void clear();
};

// Builds "GET <path> HTTP/1.1" with exactly one field, "Host" (host, plus ":port"
// unless the port is 80). Fails, leaving the request entirely empty, for a URL
// that is not a usable "http://" URL or that holds control characters.
bool make_get_request(const std::string& url, http_request& request);

// The request line, a "Content-Length" (only with_body, for a non-empty body,
// when the headers have none), the fields in order, the empty line and, with_body,
// the body.
std::string write_request(const http_request& request, bool with_body);

}  // namespace qm::win32::net
