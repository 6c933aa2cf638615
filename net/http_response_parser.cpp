#include "net/http_response_parser.h"

#include "net/http_constants.h"
#include "net/http_head_parse.h"

namespace qm::win32::net {

namespace {

bool starts_with_chunked(const std::string* value) {
    static const char chunked[] = "chunked";
    if (!value || value->size() < 7) {
        return false;
    }
    for (std::size_t i = 0; i < 7; ++i) {
        char c = (*value)[i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != chunked[i]) {
            return false;
        }
    }
    return true;
}

// A Content-Length value: decimal digits, blanks allowed around them, below 2^63.
// Anything else is refused rather than read as a prefix or wrapped, since a wrong
// length splices body bytes into the next message or waits forever.
bool parse_length(const std::string& value, std::int64_t& length) {
    std::size_t i = 0;
    const std::size_t n = value.size();
    while (i < n && (value[i] == ' ' || value[i] == '\t')) {
        ++i;
    }
    const std::size_t digits = i;
    std::uint64_t v = 0;
    for (; i < n && value[i] >= '0' && value[i] <= '9'; ++i) {
        const auto d = static_cast<std::uint64_t>(value[i] - '0');
        if (v > (static_cast<std::uint64_t>(INT64_MAX) - d) / 10) {
            return false;
        }
        v = v * 10 + d;
    }
    if (i == digits) {
        return false;
    }
    while (i < n && (value[i] == ' ' || value[i] == '\t')) {
        ++i;
    }
    if (i != n) {
        return false;
    }
    length = static_cast<std::int64_t>(v);
    return true;
}

// The body length the head declares: 0 for statuses that never carry a body, none
// (-1) for chunked coding, which takes precedence over any Content-Length, else
// the Content-Length fields, which must agree.
bool read_declared_length(const http_response& response, bool chunked, std::int64_t& length) {
    length = -1;
    if (response.status == 204 || response.status == 205 || response.status == 304) {
        length = 0;
        return true;
    }
    if (chunked) {
        return true;
    }
    for (const auto& f : response.headers) {
        if (f.first != http_field::content_length) {
            continue;
        }
        std::int64_t v = 0;
        if (!parse_length(f.second, v) || (length >= 0 && v != length)) {
            return false;
        }
        length = v;
    }
    return true;
}

}  // namespace

int http_response_parser::parse(const char* data, std::size_t length, http_response& response,
                                std::size_t& consumed, std::string& body) {
    consumed = length;
    if (!data || length == 0) {
        return http_no_data;
    }
    if (complete_) {
        return http_already_complete;
    }
    if (error_) {
        return error_;
    }
    const char* p = data;
    std::size_t n = length;
    auto complete = [&]() {
        complete_ = true;
        consumed = length - n;
        return 0;
    };

    if (!head_done_) {
        // The head is parsed on its own: body bytes that arrived with it are
        // never searched for header text.
        const char* head;
        std::size_t head_length;
        if (buffer_.empty()) {
            head_length = detail::find_blank_line(p, n, http_head_limit);
            if (head_length == 0) {
                if (n > http_head_limit) {
                    return error_ = http_malformed;
                }
                buffer_.assign(p, n);
                return http_need_more;
            }
            head = p;
            p += head_length;
            n -= head_length;
        } else {
            const std::size_t before = buffer_.size();
            const std::size_t room = http_head_limit - before;
            const std::size_t take = n < room ? n : room;
            buffer_.append(p, take);
            const std::size_t from = before < 3 ? 0 : before - 3;
            const std::size_t found = detail::find_blank_line(
                buffer_.data() + from, buffer_.size() - from, http_head_limit);
            if (found == 0) {
                if (n > take) {
                    return error_ = http_malformed;
                }
                return http_need_more;
            }
            head_length = from + found;
            head = buffer_.data();
            p += head_length - before;
            n -= head_length - before;
        }
        const bool parsed = detail::parse_head(head, head_length, response);
        buffer_.clear();
        buffer_.shrink_to_fit();
        if (!parsed) {
            return error_ = http_bad_head;
        }
        chunked_ = starts_with_chunked(response.headers.find_value(http_field::transfer_encoding));
        if (!read_declared_length(response, chunked_, declared_)) {
            response.headers.clear();
            return error_ = http_bad_head;
        }
        if (declared_ == 0) {
            chunked_ = false;
        }
        head_done_ = true;
        received_ = 0;
        if (declared_ == 0) {
            return complete();
        }
    }

    if (n == 0) {
        return http_need_more;
    }
    if (chunked_) {
        std::size_t used = 0;
        const int result = feed(chunks_, p, n, response, used, body);
        if (result == 0) {
            n -= used;
            return complete();
        }
        if (result != http_need_more) {
            error_ = result;
        }
        return result;
    }
    if (declared_ < 0) {
        body.append(p, n);
        received_ += n;
        return http_need_more;
    }
    const std::uint64_t missing = static_cast<std::uint64_t>(declared_) - received_;
    const std::size_t take = missing < n ? static_cast<std::size_t>(missing) : n;
    body.append(p, take);
    received_ += take;
    n -= take;
    if (received_ == static_cast<std::uint64_t>(declared_)) {
        return complete();
    }
    return http_need_more;
}

int feed(http_response_parser& parser, const char* data, std::size_t length,
         http_response& response, std::size_t& consumed, std::string& body) {
    return parser.parse(data, length, response, consumed, body);
}

int finish_at_close(http_response_parser& parser, http_response& /*response*/) {
    if (!parser.head_done_ || parser.complete_ || parser.chunked_ || parser.declared_ >= 0) {
        return http_closed_early;
    }
    parser.complete_ = true;
    return 0;
}

}  // namespace qm::win32::net
