// Strict parsing of a response head and of a trailer, shared by the response
// parser and the chunk decoder. Internal to the HTTP library.
#pragma once

#include <cstddef>

#include "net/http_headers.h"
#include "net/http_response.h"

namespace qm::win32::net::detail {

// Finds "\r\n\r\n" whose last byte lies within the first `limit` bytes of
// [data, data + length); returns the length through it, or 0 when there is none.
std::size_t find_blank_line(const char* data, std::size_t length, std::size_t limit);

// Header lines "Name: value\r\n" up to and including the final "\r\n", which must
// end the text exactly. Fields are appended to `fields`; false on any fault (the
// caller discards what was appended).
bool parse_header_lines(const char* data, std::size_t length, http_headers& fields);

// Status line and header lines of a head ending in "\r\n\r\n". On failure the
// response's header list is left empty.
bool parse_head(const char* data, std::size_t length, http_response& response);

}  // namespace qm::win32::net::detail
