#include "net/http_head_parse.h"

#include <cstring>

namespace qm::win32::net::detail {

namespace {

// Field names are tokens: no controls, blanks or separators that would let
// "Content-Length : 5" or a folded line pass for a field of another name.
bool is_name_byte(unsigned char c) {
    return c > 0x20 && c < 0x7f && c != ':';
}

bool valid_name(const char* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (!is_name_byte(static_cast<unsigned char>(p[i]))) {
            return false;
        }
    }
    return n > 0;
}

}  // namespace

std::size_t find_blank_line(const char* data, std::size_t length, std::size_t limit) {
    const std::size_t n = length < limit ? length : limit;
    if (n < 4) {
        return 0;
    }
    const char* p = data;
    const char* last = data + n - 3;  // a match must start before this
    while (p < last) {
        p = static_cast<const char*>(std::memchr(p, '\r', static_cast<std::size_t>(last - p)));
        if (!p) {
            return 0;
        }
        if (p[1] == '\n' && p[2] == '\r' && p[3] == '\n') {
            return static_cast<std::size_t>(p - data) + 4;
        }
        ++p;
    }
    return 0;
}

bool parse_header_lines(const char* data, std::size_t length, http_headers& fields) {
    const char* p = data;
    const char* end = data + length;
    while (p < end) {
        const char* cr = static_cast<const char*>(std::memchr(p, '\r', end - p));
        if (!cr || cr + 1 >= end || cr[1] != '\n') {
            return false;
        }
        if (cr == p) {
            // The empty line ends the block and must be its last line.
            return cr + 2 == end;
        }
        const std::size_t line = static_cast<std::size_t>(cr - p);
        const char* colon = static_cast<const char*>(std::memchr(p, ':', line));
        if (!colon || !valid_name(p, static_cast<std::size_t>(colon - p))) {
            return false;
        }
        const char* value = colon + 2;
        if (colon + 1 >= cr || colon[1] != ' ' || value >= cr) {
            return false;
        }
        const std::size_t value_length = static_cast<std::size_t>(cr - value);
        if (std::memchr(value, '\n', value_length)) {
            return false;
        }
        fields.add(std::string_view(p, static_cast<std::size_t>(colon - p)),
                   std::string_view(value, value_length));
        p = cr + 2;
    }
    return false;
}

bool parse_head(const char* data, std::size_t length, http_response& response) {
    response.headers.clear();
    const char* end = data + length;
    const char* cr = static_cast<const char*>(std::memchr(data, '\r', length));
    if (!cr || cr + 1 >= end || cr[1] != '\n') {
        return false;
    }
    const std::size_t line = static_cast<std::size_t>(cr - data);
    if (std::memchr(data, '\n', line)) {
        return false;
    }
    const char* sp1 = static_cast<const char*>(std::memchr(data, ' ', line));
    if (!sp1 || sp1 == data) {
        return false;
    }
    const char* code = sp1 + 1;
    const char* sp2 = static_cast<const char*>(std::memchr(code, ' ', cr - code));
    if (!sp2) {
        return false;
    }
    // Three decimal digits: anything looser lets "20x" or an overflowing number
    // stand for a status the server never sent.
    if (sp2 - code != 3) {
        return false;
    }
    int status = 0;
    for (const char* q = code; q < sp2; ++q) {
        if (*q < '0' || *q > '9') {
            return false;
        }
        status = status * 10 + (*q - '0');
    }
    const char* reason = sp2 + 1;
    if (status == 0 || reason >= cr) {
        return false;
    }
    std::size_t lines = 0;
    for (const char* q = cr + 2; (q = static_cast<const char*>(std::memchr(q, '\n', end - q)));
         ++q) {
        ++lines;
    }
    response.headers.reserve(lines);
    if (!parse_header_lines(cr + 2, static_cast<std::size_t>(end - (cr + 2)), response.headers)) {
        response.headers.clear();
        return false;
    }
    response.version.assign(data, static_cast<std::size_t>(sp1 - data));
    response.status = status;
    response.reason.assign(reason, static_cast<std::size_t>(cr - reason));
    return true;
}

}  // namespace qm::win32::net::detail
