// Throughput of the HTTP response parser beside memcpy of the same bytes, cut in
// the blocks a socket delivers: identity bodies, chunked bodies in 16 KiB chunks,
// and whole response heads per second.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "net/http_response_parser.h"
#include "net/http_result.h"

using namespace qm::win32::net;
using clock_type = std::chrono::steady_clock;

namespace {

constexpr std::size_t block = 40960;  // one socket read
constexpr std::size_t body_size = 8u << 20;
constexpr int rounds = 3;

volatile std::size_t sink;

double seconds_since(clock_type::time_point start) {
    return std::chrono::duration<double>(clock_type::now() - start).count();
}

// Best bytes per second over a few rounds of at least `min_seconds` each.
template <typename Pass>
double best_rate(std::size_t bytes_per_pass, double min_seconds, Pass pass) {
    double best = 0;
    for (int r = 0; r < rounds; ++r) {
        std::size_t passes = 0;
        const auto start = clock_type::now();
        double elapsed = 0;
        do {
            pass();
            ++passes;
            elapsed = seconds_since(start);
        } while (elapsed < min_seconds);
        const double rate = static_cast<double>(bytes_per_pass) * passes / elapsed;
        if (rate > best) {
            best = rate;
        }
    }
    return best;
}

std::string make_payload(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        s[i] = static_cast<char>('a' + (i * 7) % 26);
    }
    return s;
}

// Parses one whole message from `wire` in socket-sized blocks, like the client:
// the decoded bytes of each block go to a fresh output, which is then dropped.
std::size_t parse_message(const std::string& wire, std::string& out) {
    http_response_parser parser;
    http_response response;
    std::size_t body = 0;
    for (std::size_t at = 0; at < wire.size();) {
        const std::size_t n = wire.size() - at < block ? wire.size() - at : block;
        std::size_t consumed = 0;
        out.clear();
        const int r = feed(parser, wire.data() + at, n, response, consumed, out);
        body += out.size();
        at += consumed;
        if (r == 0) {
            break;
        }
        if (r != http_need_more) {
            std::fprintf(stderr, "parse failed: %d\n", r);
            std::exit(1);
        }
    }
    return body;
}

std::size_t copy_blocks(const std::string& wire, char* to) {
    std::size_t sum = 0;
    for (std::size_t at = 0; at < wire.size(); at += block) {
        const std::size_t n = wire.size() - at < block ? wire.size() - at : block;
        std::memcpy(to, wire.data() + at, n);
        sum += static_cast<unsigned char>(to[n - 1]);
    }
    return sum;
}

void body_case(const char* name, const std::string& wire, std::size_t body_bytes, double goal) {
    std::string out;
    out.reserve(block);
    std::vector<char> to(block);
    if (parse_message(wire, out) != body_bytes) {
        std::fprintf(stderr, "%s: wrong body length\n", name);
        std::exit(1);
    }
    const double parse = best_rate(body_bytes, 0.4, [&] { sink = parse_message(wire, out); });
    const double copy = best_rate(wire.size(), 0.4, [&] { sink = copy_blocks(wire, to.data()); });
    const double ratio = parse / copy;
    std::printf("%-9s %8.0f MB/s  memcpy %8.0f MB/s  ratio %.2f (goal %.2f) %s\n", name,
                parse / 1e6, copy / 1e6, ratio, goal, ratio >= goal ? "met" : "MISSED");
}

}  // namespace

int main() {
#if defined(__SANITIZE_ADDRESS__)
    std::printf("note: built with AddressSanitizer; figures are not representative\n");
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    std::printf("note: built with AddressSanitizer; figures are not representative\n");
#endif
#endif
    const std::string payload = make_payload(body_size);

    const std::string identity =
        "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body_size) + "\r\n\r\n" + payload;
    body_case("identity", identity, body_size, 0.5);

    std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    constexpr std::size_t chunk = 16384;
    for (std::size_t at = 0; at < body_size; at += chunk) {
        chunked += "4000\r\n";
        chunked.append(payload, at, chunk);
        chunked += "\r\n";
    }
    chunked += "0\r\n\r\n";
    body_case("chunked", chunked, body_size, 1.0 / 3);

    const std::string head =
        "HTTP/1.1 200 OK\r\n"
        "Server: nginx/1.22.1\r\n"
        "Date: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
        "Content-Type: application/octet-stream\r\n"
        "Content-Length: 0\r\n"
        "Last-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
        "Connection: keep-alive\r\n"
        "Accept-Ranges: bytes\r\n"
        "\r\n";
    constexpr std::size_t heads_per_pass = 10000;
    const double heads = best_rate(heads_per_pass, 0.4, [&] {
        std::size_t ok = 0;
        for (std::size_t i = 0; i < heads_per_pass; ++i) {
            http_response_parser parser;
            http_response response;
            std::string body;
            std::size_t consumed = 0;
            ok += feed(parser, head.data(), head.size(), response, consumed, body) == 0;
        }
        sink = ok;
    });
    std::printf("heads     %8.0f heads/s (%zu bytes, 7 fields; goal 1000000) %s\n", heads,
                head.size(), heads >= 1e6 ? "met" : "MISSED");
    return 0;
}
