#include "net/http_chunk_decoder.h"

#include <cstring>

#include "net/http_constants.h"
#include "net/http_head_parse.h"
#include "net/http_result.h"

namespace qm::win32::net {

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s, char c) {
    while (!s.empty() && s.front() == c) {
        s.remove_prefix(1);
    }
    while (!s.empty() && s.back() == c) {
        s.remove_suffix(1);
    }
    return s;
}

void parse_extensions(std::string_view text, http_headers& extensions) {
    while (!text.empty()) {
        const std::size_t semicolon = text.find(';');
        std::string_view piece = text.substr(0, semicolon);
        text =
            semicolon == std::string_view::npos ? std::string_view() : text.substr(semicolon + 1);
        const std::size_t equals = piece.find('=');
        std::string_view name = trim(piece.substr(0, equals), ' ');
        std::string_view value;
        if (equals != std::string_view::npos) {
            value = trim(trim(piece.substr(equals + 1), ' '), '"');
        }
        if (!name.empty()) {
            extensions.add(name, value);
        }
    }
}

// A chunk-size line: hexadecimal digits, optionally blanks, then the end of the
// line or ";" and the extensions. A size that needs more than 32 bits, a sign
// or an "0x" prefix is refused: read loosely it would frame the body wrongly
// (a "0x10" taken as the last chunk truncates it silently).
int parse_size_line(const char* line, std::size_t length, std::uint32_t& size,
                    std::string_view& extensions) {
    std::size_t i = 0;
    while (i < length && is_blank(line[i])) {
        ++i;
    }
    const std::size_t digits = i;
    std::uint64_t value = 0;
    for (; i < length; ++i) {
        const char c = line[i];
        unsigned d;
        if (c >= '0' && c <= '9') {
            d = static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            d = static_cast<unsigned>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            d = static_cast<unsigned>(c - 'A' + 10);
        } else {
            break;
        }
        value = value * 16 + d;
        if (value > 0xffffffffu) {
            return http_bad_chunk_size;
        }
    }
    if (i == digits) {
        return http_bad_chunk_size;
    }
    while (i < length && is_blank(line[i])) {
        ++i;
    }
    if (i < length && line[i] != ';') {
        return http_bad_chunk_size;
    }
    size = static_cast<std::uint32_t>(value);
    extensions = i < length ? std::string_view(line + i + 1, length - i - 1) : std::string_view();
    return 0;
}

// Finds "\r\n" within the first `limit` bytes; its offset, or npos.
std::size_t find_crlf(const char* data, std::size_t length, std::size_t limit) {
    const std::size_t n = length < limit ? length : limit;
    const char* p = data;
    const char* end = data + n;
    while (p + 1 < end) {
        p = static_cast<const char*>(std::memchr(p, '\r', static_cast<std::size_t>(end - 1 - p)));
        if (!p) {
            break;
        }
        if (p[1] == '\n') {
            return static_cast<std::size_t>(p - data);
        }
        ++p;
    }
    return std::string::npos;
}

}  // namespace

int http_chunk_decoder::decode(const char* data, std::size_t length, http_response& response,
                               std::size_t& consumed, std::string& output) {
    consumed = length;
    if (!data || length == 0) {
        return http_no_data;
    }
    if (last_chunk_ && trailer_done_) {
        return http_already_complete;
    }
    if (error_) {
        return error_;
    }
    const char* p = data;
    std::size_t n = length;
    auto fail = [this](int code) { return error_ = code; };

    while (!last_chunk_ && n > 0) {
        if (size_ > 0) {
            if (delivered_ < size_) {
                const std::size_t missing = size_ - delivered_;
                const std::size_t take = n < missing ? n : missing;
                output.append(p, take);
                delivered_ += static_cast<std::uint32_t>(take);
                p += take;
                n -= take;
                if (delivered_ < size_) {
                    break;
                }
            }
            // The CRLF after the chunk data; buffer_ holds its "\r" when the
            // block ended between the two bytes.
            if (buffer_.empty()) {
                if (n == 0) {
                    break;
                }
                if (p[0] != '\r') {
                    return fail(http_malformed);
                }
                if (n == 1) {
                    buffer_.assign(1, '\r');
                    n = 0;
                    break;
                }
                if (p[1] != '\n') {
                    return fail(http_malformed);
                }
                p += 2;
                n -= 2;
            } else {
                if (n == 0) {
                    break;
                }
                if (p[0] != '\n') {
                    return fail(http_malformed);
                }
                buffer_.clear();
                ++p;
                --n;
            }
            size_ = 0;
            delivered_ = 0;
            continue;
        }

        // A chunk-size line of fewer than http_head_limit bytes, CRLF included.
        const char* line;
        std::size_t line_length;
        if (buffer_.empty()) {
            const std::size_t crlf = find_crlf(p, n, http_head_limit);
            if (crlf == std::string::npos) {
                if (n >= http_head_limit) {
                    return fail(http_malformed);
                }
                buffer_.assign(p, n);
                n = 0;
                break;
            }
            line = p;
            line_length = crlf;
            p += crlf + 2;
            n -= crlf + 2;
        } else {
            const std::size_t before = buffer_.size();
            const std::size_t room = http_head_limit - before;
            const std::size_t take = n < room ? n : room;
            buffer_.append(p, take);
            const std::size_t from = before - 1;  // a "\r" may end the buffered part
            const std::size_t crlf =
                find_crlf(buffer_.data() + from, buffer_.size() - from, buffer_.size());
            if (crlf == std::string::npos) {
                if (buffer_.size() >= http_head_limit) {
                    return fail(http_malformed);
                }
                n = 0;
                break;
            }
            line_length = from + crlf;
            const std::size_t used = line_length + 2 - before;
            line = buffer_.data();
            p += used;
            n -= used;
        }
        std::uint32_t size = 0;
        std::string_view extensions;
        if (parse_size_line(line, line_length, size, extensions) != 0) {
            return fail(http_bad_chunk_size);
        }
        if (size == 0) {
            last_chunk_ = true;
        } else {
            if (response.chunks.size() < max_chunk_records) {
                response.chunks.emplace_back();
                response.chunks.back().size = size;
                parse_extensions(extensions, response.chunks.back().extensions);
            }
            size_ = size;
            delivered_ = 0;
        }
        buffer_.clear();
    }
    if (!last_chunk_) {
        return http_need_more;
    }

    // Trailer: an empty line, or header lines and an empty line, at most
    // http_head_limit bytes in all.
    std::size_t used = 0;
    if (buffer_.empty()) {
        if (n < 2) {
            if (n == 1) {
                buffer_.assign(p, 1);
            }
            return http_need_more;
        }
        if (p[0] == '\r' && p[1] == '\n') {
            used = 2;
        } else {
            used = detail::find_blank_line(p, n, http_head_limit);
            if (used == 0) {
                if (n > http_head_limit) {
                    return fail(http_malformed);
                }
                buffer_.assign(p, n);
                return http_need_more;
            }
            if (!detail::parse_header_lines(p, used, response.trailer)) {
                response.trailer.clear();
                return fail(http_malformed);
            }
        }
    } else {
        const std::size_t before = buffer_.size();
        const std::size_t room = http_head_limit - before;
        const std::size_t take = n < room ? n : room;
        buffer_.append(p, take);
        std::size_t end;
        if (buffer_.size() >= 2 && buffer_[0] == '\r' && buffer_[1] == '\n') {
            end = 2;
        } else {
            end = detail::find_blank_line(buffer_.data(), buffer_.size(), http_head_limit);
            if (end == 0) {
                if (n > take) {
                    return fail(http_malformed);
                }
                return http_need_more;
            }
            if (!detail::parse_header_lines(buffer_.data(), end, response.trailer)) {
                response.trailer.clear();
                return fail(http_malformed);
            }
        }
        used = end - before;
        buffer_.clear();
    }
    p += used;
    n -= used;
    trailer_done_ = true;
    consumed = length - n;
    return 0;
}

int feed(http_chunk_decoder& decoder, const char* data, std::size_t length, http_response& response,
         std::size_t& consumed, std::string& output) {
    return decoder.decode(data, length, response, consumed, output);
}

}  // namespace qm::win32::net
