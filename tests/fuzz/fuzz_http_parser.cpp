// Drives the response parser, the chunk decoder and the URL/request helpers with
// arbitrary bytes. The oracle: feeding the same bytes whole or cut at arbitrary
// points must give the same result, body, response and consumed count, and the
// invariants of each result must hold.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "net/http_chunk_decoder.h"
#include "net/http_request.h"
#include "net/http_response_parser.h"
#include "net/http_result.h"
#include "net/http_url.h"

using namespace qm::win32::net;

namespace {

void require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_http_parser: %s\n", what);
        std::abort();
    }
}

struct run_result {
    int result = -1;
    std::size_t consumed = 0;
    std::string body;
    http_response response;
};

bool same(const run_result& a, const run_result& b) {
    // After an error the consumed count says nothing; the caller drops the exchange.
    const bool ended = a.result == 0 || a.result == http_need_more;
    if (a.result != b.result || (ended && a.consumed != b.consumed) || a.body != b.body) {
        return false;
    }
    const http_response& x = a.response;
    const http_response& y = b.response;
    if (x.version != y.version || x.status != y.status || x.reason != y.reason ||
        x.headers != y.headers || x.trailer != y.trailer || x.chunks.size() != y.chunks.size()) {
        return false;
    }
    for (std::size_t i = 0; i < x.chunks.size(); ++i) {
        if (x.chunks[i].size != y.chunks[i].size ||
            x.chunks[i].extensions != y.chunks[i].extensions) {
            return false;
        }
    }
    return true;
}

// Feeds [data, data + size) in the pieces given by `cuts` (sorted offsets) into a
// parser or decoder, stopping at the first result other than http_need_more.
template <typename Machine>
run_result drive(Machine& machine, const std::uint8_t* data, std::size_t size,
                 const std::vector<std::size_t>& cuts) {
    run_result r;
    std::size_t from = 0;
    std::vector<std::size_t> ends = cuts;
    ends.push_back(size);
    for (std::size_t end : ends) {
        if (end <= from) {
            continue;
        }
        std::size_t consumed = 0;
        const std::size_t before = r.body.size();
        r.result = feed(machine, reinterpret_cast<const char*>(data) + from, end - from, r.response,
                        consumed, r.body);
        require(consumed <= end - from, "consumed beyond the block");
        require(r.result == 0 || consumed == end - from, "partial consumption without completion");
        require(r.body.size() - before <= end - from, "more body bytes than input bytes");
        r.consumed = from + consumed;
        from = end;
        if (r.result != http_need_more) {
            break;
        }
    }
    return r;
}

std::vector<std::size_t> make_cuts(std::uint64_t seed, std::size_t size) {
    std::vector<std::size_t> cuts;
    if (size < 2) {
        return cuts;
    }
    std::uint64_t x = seed | 1;
    auto next = [&x]() {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        return x;
    };
    const unsigned mode = static_cast<unsigned>(next() % 8);
    if (mode == 0 && size <= 4096) {
        for (std::size_t i = 1; i < size; ++i) {
            cuts.push_back(i);  // byte by byte
        }
        return cuts;
    }
    const std::size_t count = 1 + static_cast<std::size_t>(next() % 12);
    for (std::size_t i = 0; i < count; ++i) {
        cuts.push_back(1 + static_cast<std::size_t>(next() % (size - 1)));
    }
    std::sort(cuts.begin(), cuts.end());
    return cuts;
}

const char* const prefixes[] = {
    "",
    "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n",
    "HTTP/1.1 200 OK\r\nContent-Length: 16\r\n\r\n",
    "HTTP/1.1 200 OK\r\n",
};

void check_parser(const std::uint8_t* data, std::size_t size, std::uint64_t seed) {
    if (size == 0) {
        return;
    }
    http_response_parser whole_parser;
    run_result whole = drive(whole_parser, data, size, {});
    http_response_parser cut_parser;
    run_result cut = drive(cut_parser, data, size, make_cuts(seed, size));
    require(same(whole, cut), "parser outcome depends on where the input was cut");
    require(whole_parser.complete() == (whole.result == 0), "complete flag disagrees");
    if (whole_parser.head_done() && !whole_parser.chunked() &&
        whole_parser.declared_length() >= 0) {
        require(
            whole_parser.received() <= static_cast<std::uint64_t>(whole_parser.declared_length()),
            "identity body beyond the declared length");
        require(whole.body.size() == whole_parser.received(), "received count disagrees");
    }
    if (whole.result == http_bad_head) {
        require(whole.response.headers.empty(), "headers left after a bad head");
    }
    std::size_t consumed = 0;
    std::string more;
    const int again = feed(whole_parser, "x", 1, whole.response, consumed, more);
    if (whole.result == 0) {
        require(again == http_already_complete, "complete parser took more data");
    } else if (whole.result != http_need_more && whole.result != http_no_data) {
        require(again == whole.result, "error not sticky");
    }
    const int closed = finish_at_close(cut_parser, cut.response);
    require(closed == 0 || closed == http_closed_early, "unexpected close result");
    if (closed == 0) {
        require(cut.result == http_need_more && cut_parser.declared_length() < 0 &&
                    !cut_parser.chunked(),
                "close accepted for a delimited body");
    }
}

void check_decoder(const std::uint8_t* data, std::size_t size, std::uint64_t seed) {
    if (size == 0) {
        return;
    }
    http_chunk_decoder whole_decoder;
    run_result whole = drive(whole_decoder, data, size, {});
    http_chunk_decoder cut_decoder;
    run_result cut = drive(cut_decoder, data, size, make_cuts(seed * 31 + 7, size));
    require(same(whole, cut), "decoder outcome depends on where the input was cut");
    std::uint64_t total = 0;
    for (const http_chunk& c : whole.response.chunks) {
        require(c.size > 0, "empty chunk recorded");
        total += c.size;
    }
    require(whole.response.chunks.size() <= http_chunk_decoder::max_chunk_records,
            "more chunk records than the decoder keeps");
    // Past the last record kept, the records no longer account for the body.
    if (whole.response.chunks.size() < http_chunk_decoder::max_chunk_records) {
        require(whole.body.size() <= total, "more chunk data than the chunks declared");
        if (whole.result == 0) {
            require(whole.body.size() == total, "complete body shorter than its chunks");
        }
    }
}

void check_url(const std::uint8_t* data, std::size_t size) {
    const std::string url(reinterpret_cast<const char*>(data), size < 512 ? size : 512);
    std::string host;
    std::uint16_t port = 0;
    const bool split = split_url(url, host, port);
    require(split == (!host.empty() && port != 0), "split_url result and outputs disagree");
    http_request request;
    if (make_get_request(url, request)) {
        require(split, "request made from an unsplittable URL");
        const std::string wire = write_request(request, true);
        const std::size_t line_end = wire.find("\r\n");
        require(line_end == request.method.size() + request.uri.size() + request.version.size() + 2,
                "request line broken by the URL");
        require(wire.find('\n') == line_end + 1, "stray line feed in the request line");
        require(wire.compare(wire.size() - 4, 4, "\r\n\r\n") == 0, "request not terminated");
    } else {
        require(request.method.empty() && request.headers.empty(), "failed request not cleared");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const unsigned prefix = data[0] % 4;
    const std::uint64_t seed =
        0x9e3779b97f4a7c15ull ^ (static_cast<std::uint64_t>(data[1]) << 32) ^ size;
    data += 2;
    size -= 2;

    std::vector<std::uint8_t> message(prefixes[prefix],
                                      prefixes[prefix] + std::strlen(prefixes[prefix]));
    message.insert(message.end(), data, data + size);
    check_parser(message.data(), message.size(), seed);
    check_decoder(data, size, seed);
    check_url(data, size);
    return 0;
}
