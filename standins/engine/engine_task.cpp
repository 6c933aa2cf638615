#include "standins/engine/engine_task.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "net/http_request.h"
#include "net/http_response.h"
#include "net/http_response_parser.h"
#include "net/http_result.h"
#include "net/http_url.h"
#include "standins/engine/engine_ipc.h"

namespace tdengine {

namespace net = qm::win32::net;

namespace {

constexpr std::size_t recv_block = 256 * 1024;
constexpr int idle_limit_ms = 30000;     // no byte for this long: the connection is dead
constexpr int wait_slice_ms = 200;       // how often a blocked receive looks at the stop flag
constexpr int connect_limit_ms = 20000;  // no handshake by then: the server is unreachable
constexpr int max_failures = 10;         // failed requests in a row before the task fails
constexpr int max_redirects = 5;
constexpr int max_restarts = 3;  // remote file changed under a running download

double now_seconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

bool sleep_unless(const std::atomic<bool>& stop, int ms) {
    for (int waited = 0; waited < ms; waited += 50) {
        if (stop.load()) {
            return false;
        }
        Sleep(50);
    }
    return !stop.load();
}

bool iequals(const std::string& a, const char* b) {
    std::size_t n = std::strlen(b);
    if (a.size() != n) {
        return false;
    }
    for (std::size_t i = 0; i < n; ++i) {
        char x = a[i], y = b[i];
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
    return true;
}

// Header names are case-insensitive on the wire; the parser keeps them as sent.
const std::string* field(const net::http_response& r, const char* name) {
    for (const auto& f : r.headers) {
        if (iequals(f.first, name)) {
            return &f.second;
        }
    }
    return nullptr;
}

std::string trimmed(const std::string& s) {
    std::size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos) {
        return std::string();
    }
    std::size_t b = s.find_last_not_of(" \t");
    return s.substr(a, b - a + 1);
}

// What tells two versions of the remote file apart: a strong ETag first,
// else Last-Modified. Empty when the server gives neither.
std::string validator_of(const net::http_response& r) {
    const std::string* etag = field(r, "ETag");
    if (etag && !etag->empty() && etag->compare(0, 2, "W/") != 0) {
        return "E:" + trimmed(*etag);
    }
    const std::string* modified = field(r, "Last-Modified");
    if (modified && !modified->empty()) {
        return "L:" + trimmed(*modified);
    }
    return std::string();
}

bool parse_u64(const std::string& s, std::size_t& i, std::uint64_t& v) {
    std::size_t start = i;
    v = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        if (v > (UINT64_MAX - 9) / 10) {
            return false;
        }
        v = v * 10 + static_cast<std::uint64_t>(s[i] - '0');
        ++i;
    }
    return i > start;
}

// "bytes a-b/total"
bool parse_content_range(const std::string& value, std::uint64_t& a, std::uint64_t& b,
                         std::uint64_t& total) {
    std::string s = trimmed(value);
    if (s.compare(0, 6, "bytes ") != 0) {
        return false;
    }
    std::size_t i = 6;
    while (i < s.size() && s[i] == ' ') {
        ++i;
    }
    if (!parse_u64(s, i, a) || i >= s.size() || s[i++] != '-' || !parse_u64(s, i, b) ||
        i >= s.size() || s[i++] != '/' || !parse_u64(s, i, total) || i != s.size()) {
        return false;
    }
    return a <= b && b < total;
}

std::string percent_decode(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        auto hex = [](char c) {
            if (c >= '0' && c <= '9')
                return c - '0';
            if (c >= 'a' && c <= 'f')
                return c - 'a' + 10;
            if (c >= 'A' && c <= 'F')
                return c - 'A' + 10;
            return -1;
        };
        if (s[i] == '%' && i + 2 < s.size() + 0 && hex(s[i + 1]) >= 0 && hex(s[i + 2]) >= 0) {
            out += static_cast<char>(hex(s[i + 1]) * 16 + hex(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::wstring widen(const std::string& s, UINT code_page) {
    if (s.empty()) {
        return std::wstring();
    }
    DWORD flags = code_page == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
    int n = MultiByteToWideChar(code_page, flags, s.data(), static_cast<int>(s.size()), nullptr, 0);
    if (n <= 0) {
        return std::wstring();
    }
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(code_page, flags, s.data(), static_cast<int>(s.size()), &w[0], n);
    return w;
}

std::string to_ansi(const std::wstring& w) {
    if (w.empty()) {
        return std::string();
    }
    int n = WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) {
        WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr,
                            nullptr);
    }
    return s;
}

// A name that is safe as one path component and survives the trip through the
// ANSI code page, since the client hands it back to look for "<name>.td".
std::wstring safe_name(std::wstring name) {
    for (wchar_t& c : name) {
        if (c < 32 || std::wcschr(L"\\/:*?\"<>|", c) != nullptr) {
            c = L'_';
            continue;
        }
        wchar_t one[2] = {c, 0};
        char narrow[8];
        BOOL lossy = FALSE;
        int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, one, 1, narrow, sizeof narrow,
                                    nullptr, &lossy);
        if (n <= 0 || lossy) {
            c = L'_';
        }
    }
    while (!name.empty() && (name.back() == L' ' || name.back() == L'.')) {
        name.pop_back();
    }
    while (!name.empty() && name.front() == L' ') {
        name.erase(0, 1);
    }
    if (name.empty() || name == L"." || name == L"..") {
        return std::wstring();
    }
    if (name.size() > 200) {
        name.resize(200);
    }
    return name;
}

std::wstring decode_name(const std::string& raw) {
    std::wstring w = widen(raw, CP_UTF8);
    if (w.empty() && !raw.empty()) {
        w = widen(raw, CP_ACP);
    }
    return safe_name(w);
}

}  // namespace

std::wstring name_from_url(const std::string& url) {
    std::string path = net::url_path(url);
    std::size_t cut = path.find_first_of("?#");
    if (cut != std::string::npos) {
        path.resize(cut);
    }
    std::size_t slash = path.rfind('/');
    std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
    std::wstring name = decode_name(percent_decode(last));
    return name.empty() ? std::wstring(L"index.html") : name;
}

std::wstring name_from_disposition(const std::string& value) {
    // filename*=UTF-8''name wins over filename="name".
    std::size_t star = value.find("filename*=");
    if (star != std::string::npos) {
        std::string v = value.substr(star + 10);
        v = v.substr(0, v.find(';'));
        std::size_t quote = v.find("''");
        if (quote != std::string::npos) {
            std::wstring name = decode_name(percent_decode(trimmed(v.substr(quote + 2))));
            if (!name.empty()) {
                return name;
            }
        }
    }
    std::size_t at = value.find("filename=");
    if (at == std::string::npos) {
        return std::wstring();
    }
    std::string v = trimmed(value.substr(at + 9));
    if (!v.empty() && v[0] == '"') {
        std::size_t end = v.find('"', 1);
        v = v.substr(1, end == std::string::npos ? std::string::npos : end - 1);
    } else {
        v = trimmed(v.substr(0, v.find(';')));
    }
    std::size_t slash = v.find_last_of("/\\");
    if (slash != std::string::npos) {
        v = v.substr(slash + 1);
    }
    return decode_name(v);
}

// ---------------------------------------------------------------------------

void rate_limiter::set_rate(std::uint64_t bytes_per_second) {
    std::lock_guard<std::mutex> guard(lock_);
    rate_ = bytes_per_second;
    debt_until_ = 0;
}

bool rate_limiter::take(std::size_t bytes, const std::atomic<bool>& stop) {
    double due = 0;
    {
        std::lock_guard<std::mutex> guard(lock_);
        std::uint64_t rate = rate_.load();
        if (rate == 0) {
            return true;
        }
        double now = now_seconds();
        // At most a tenth of a second of unused allowance carries over.
        if (debt_until_ < now - 0.1) {
            debt_until_ = now - 0.1;
        }
        debt_until_ += static_cast<double>(bytes) / static_cast<double>(rate);
        due = debt_until_;
    }
    // Against the clock, not by adding up sleeps, which may each run long.
    for (double now = now_seconds(); now < due; now = now_seconds()) {
        if (stop.load()) {
            return false;
        }
        double left = due - now;
        Sleep(left > 0.05 ? 50 : static_cast<DWORD>(left * 1000) + 1);
    }
    return true;
}

// ---------------------------------------------------------------------------

// One blocking HTTP/1.1 connection, kept alive between requests.
class http_conn {
  public:
    http_conn() : buf_(recv_block) {}
    ~http_conn() { close(); }

    bool is_open() const { return socket_ != INVALID_SOCKET; }
    void close() {
        if (socket_ != INVALID_SOCKET) {
            closesocket(socket_);
            socket_ = INVALID_SOCKET;
        }
        pos_ = len_ = 0;
    }

    // Connects without blocking past the stop flag: a server that never
    // completes the handshake costs at most connect_limit_ms, and a stop
    // ends the attempt within one wait slice.
    bool open(const std::string& host, std::uint16_t port, const std::atomic<bool>& stop,
              int& error) {
        if (is_open() && host == host_ && port == port_) {
            return true;
        }
        close();
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_protocol = IPPROTO_TCP;
        addrinfo* found = nullptr;
        if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 ||
            !found) {
            error = WSAGetLastError() ? WSAGetLastError() : WSAHOST_NOT_FOUND;
            return false;
        }
        for (addrinfo* a = found; a && !stop.load(); a = a->ai_next) {
            SOCKET s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
            if (s == INVALID_SOCKET) {
                error = WSAGetLastError();
                continue;
            }
            if (connect_bounded(s, a, stop, error)) {
                int size = 1 << 20;
                setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&size),
                           sizeof size);
                BOOL nodelay = TRUE;
                setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&nodelay),
                           sizeof nodelay);
                socket_ = s;
                break;
            }
            closesocket(s);
        }
        freeaddrinfo(found);
        if (!is_open()) {
            if (stop.load()) {
                error = 0;
            }
            return false;
        }
        host_ = host;
        port_ = port;
        return true;
    }

    bool send_all(const std::string& data, int& error) {
        std::size_t sent = 0;
        while (sent < data.size()) {
            int n = send(socket_, data.data() + sent, static_cast<int>(data.size() - sent), 0);
            if (n <= 0) {
                error = WSAGetLastError();
                return false;
            }
            sent += static_cast<std::size_t>(n);
        }
        return true;
    }

    // Receives more bytes into the buffer (at most `limit`). False on error, on
    // the peer's close (error 0) or when `stop` is set (error 0).
    bool fill(const std::atomic<bool>& stop, std::size_t limit, int& error) {
        if (pos_ == len_) {
            pos_ = len_ = 0;
        } else if (len_ == buf_.size()) {
            std::memmove(buf_.data(), buf_.data() + pos_, len_ - pos_);
            len_ -= pos_;
            pos_ = 0;
        }
        std::size_t room = std::min(buf_.size() - len_, limit);
        int idle = 0;
        for (;;) {
            if (stop.load()) {
                error = 0;
                return false;
            }
            fd_set set;
            FD_ZERO(&set);
            FD_SET(socket_, &set);
            timeval tv{0, wait_slice_ms * 1000};
            int ready = select(0, &set, nullptr, nullptr, &tv);
            if (ready < 0) {
                error = WSAGetLastError();
                return false;
            }
            if (ready == 0) {
                idle += wait_slice_ms;
                if (idle >= idle_limit_ms) {
                    error = WSAETIMEDOUT;
                    return false;
                }
                continue;
            }
            int n = recv(socket_, buf_.data() + len_, static_cast<int>(room), 0);
            if (n < 0) {
                error = WSAGetLastError();
                return false;
            }
            if (n == 0) {
                error = 0;
                return false;
            }
            len_ += static_cast<std::size_t>(n);
            return true;
        }
    }

    // Reads a response head; the body's first bytes stay in the buffer.
    int read_head(net::http_response& response, net::http_response_parser& parser,
                  const std::atomic<bool>& stop) {
        for (;;) {
            const char* data = buf_.data() + pos_;
            std::size_t avail = len_ - pos_;
            const char* end = nullptr;
            for (std::size_t i = 3; i < avail; ++i) {
                if (data[i] == '\n' && data[i - 1] == '\r' && data[i - 2] == '\n' &&
                    data[i - 3] == '\r') {
                    end = data + i + 1;
                    break;
                }
            }
            if (end) {
                std::size_t head = static_cast<std::size_t>(end - data);
                std::size_t consumed = 0;
                std::string body;
                int r = net::feed(parser, data, head, response, consumed, body);
                pos_ += consumed;
                if (r != 0 && r != net::http_need_more) {
                    return r;
                }
                return 0;
            }
            if (avail > 16384) {
                return net::http_malformed;
            }
            int error = 0;
            if (!fill(stop, buf_.size(), error)) {
                return error ? error : net::http_closed_early;
            }
        }
    }

    // Delivers the body to `sink` (false from the sink stops with error 0 and
    // result -1). Returns 0 when the body is complete.
    template <typename Sink>
    int read_body(net::http_response& response, net::http_response_parser& parser,
                  const std::atomic<bool>& stop, std::size_t limit, Sink&& sink) {
        if (parser.complete()) {
            return 0;
        }
        int error = 0;
        if (!parser.chunked() && parser.declared_length() >= 0) {
            std::uint64_t remaining = static_cast<std::uint64_t>(parser.declared_length());
            while (remaining > 0) {
                if (pos_ == len_ && !fill(stop, limit, error)) {
                    return error ? error : (stop.load() ? -1 : net::http_closed_early);
                }
                std::size_t n =
                    static_cast<std::size_t>(std::min<std::uint64_t>(remaining, len_ - pos_));
                const char* data = buf_.data() + pos_;
                pos_ += n;
                remaining -= n;
                if (!sink(data, n)) {
                    return -1;
                }
            }
            return 0;
        }
        std::string body;
        for (;;) {
            if (pos_ == len_) {
                if (!fill(stop, limit, error)) {
                    if (stop.load()) {
                        return -1;
                    }
                    if (error) {
                        return error;
                    }
                    return net::finish_at_close(parser, response);
                }
            }
            std::size_t consumed = 0;
            body.clear();
            int r = net::feed(parser, buf_.data() + pos_, len_ - pos_, response, consumed, body);
            pos_ += consumed;
            if (!body.empty() && !sink(body.data(), body.size())) {
                return -1;
            }
            if (r == 0) {
                return 0;
            }
            if (r != net::http_need_more) {
                return r;
            }
        }
    }

  private:
    static bool connect_bounded(SOCKET s, const addrinfo* a, const std::atomic<bool>& stop,
                                int& error) {
        u_long nonblocking = 1;
        ioctlsocket(s, FIONBIO, &nonblocking);
        if (connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0) {
            error = WSAGetLastError();
            if (error != WSAEWOULDBLOCK) {
                return false;
            }
            int waited = 0;
            for (;;) {
                if (stop.load()) {
                    error = 0;
                    return false;
                }
                if (waited >= connect_limit_ms) {
                    error = WSAETIMEDOUT;
                    return false;
                }
                fd_set writable;
                fd_set failed;
                FD_ZERO(&writable);
                FD_ZERO(&failed);
                FD_SET(s, &writable);
                FD_SET(s, &failed);
                timeval tv{0, wait_slice_ms * 1000};
                int ready = select(0, nullptr, &writable, &failed, &tv);
                if (ready < 0) {
                    error = WSAGetLastError();
                    return false;
                }
                if (ready == 0) {
                    waited += wait_slice_ms;
                    continue;
                }
                if (FD_ISSET(s, &failed)) {
                    int so_error = 0;
                    int length = sizeof so_error;
                    getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&so_error),
                               &length);
                    error = so_error ? so_error : WSAECONNREFUSED;
                    return false;
                }
                break;
            }
        }
        // Receives and sends wait in select() slices of their own.
        nonblocking = 0;
        ioctlsocket(s, FIONBIO, &nonblocking);
        return true;
    }

    SOCKET socket_ = INVALID_SOCKET;
    std::string host_;
    std::uint16_t port_ = 0;
    std::vector<char> buf_;
    std::size_t pos_ = 0, len_ = 0;
};

namespace {

struct request_target {
    std::string host;
    std::uint16_t port = 0;
    std::string wire_head_prefix;  // request line and Host, without the final blank line
};

bool make_target(const std::string& url, request_target& t) {
    net::http_request request;
    if (!net::make_get_request(url, request) || !net::split_url(url, t.host, t.port)) {
        return false;
    }
    request.headers.add("User-Agent", "tdengine/1.0");
    request.headers.add("Accept-Encoding", "identity");
    std::string wire = net::write_request(request, false);
    t.wire_head_prefix = wire.substr(0, wire.size() - 2);  // drop the blank line
    return true;
}

std::string range_request(const request_target& t, std::uint64_t a, std::uint64_t b) {
    return t.wire_head_prefix + "Range: bytes=" + std::to_string(a) + "-" + std::to_string(b) +
           "\r\n\r\n";
}

bool keeps_alive(const net::http_response& r) {
    const std::string* c = field(r, "Connection");
    return !(c && iequals(trimmed(*c), "close")) && r.version == "HTTP/1.1";
}

}  // namespace

// ---------------------------------------------------------------------------

download_task::download_task(int id, std::string url, std::wstring folder, std::wstring name,
                             bool predownload, task_options options)
    : id_(id),
      url_(std::move(url)),
      folder_(std::move(folder)),
      predownload_(predownload),
      options_(options),
      name_(std::move(name)),
      state_(state_stopped) {
    name_given_ = !name_.empty();
}

download_task::~download_task() {
    stop_and_wait();
}

std::wstring download_task::target_path() const {
    std::lock_guard<std::mutex> guard(lock_);
    return folder_ + name_;
}

bool download_task::start() {
    std::unique_lock<std::mutex> guard(run_lock_);
    if (state_.load() == state_finished) {
        return true;
    }
    if (thread_.joinable()) {
        if (!exited_) {
            // Running, or stopping: joining here could take as long as a lookup
            // or a connect, while the caller holds the engine's lock.
            if (stop_.load()) {
                restart_ = true;
            }
            return true;
        }
        thread_.join();  // has ended its run: only returning
        if (state_.load() == state_finished) {
            return true;
        }
    }
    stop_ = false;
    restart_ = false;
    exited_ = false;
    state_ = state_running;
    thread_ = std::thread([this] { run_loop(); });
    return true;
}

void download_task::run_loop() {
    for (;;) {
        const std::int32_t end_state = run();
        std::lock_guard<std::mutex> guard(run_lock_);
        if (restart_ && end_state != state_finished) {
            restart_ = false;
            stop_ = false;
            continue;  // state_ stays running
        }
        restart_ = false;
        exited_ = true;
        state_ = end_state;
        return;
    }
}

void download_task::stop() {
    std::lock_guard<std::mutex> guard(run_lock_);
    stop_ = true;
    restart_ = false;
}

void download_task::stop_and_wait() {
    stop();
    if (thread_.joinable()) {
        thread_.join();
    }
}

bool download_task::set_file_name(const std::wstring& name) {
    std::wstring safe = safe_name(name);
    if (safe.empty() || thread_.joinable()) {
        return false;
    }
    std::lock_guard<std::mutex> guard(lock_);
    name_ = safe;
    name_given_ = true;
    return true;
}

int download_task::resource_state() const {
    if (state_.load() == state_failed) {
        return count_failed;
    }
    std::lock_guard<std::mutex> guard(lock_);
    return probed_ || state_.load() == state_finished ? count_ready : count_pending;
}

void download_task::fill_info(unsigned char* block) const {
    std::memset(block, 0, info_block_size);
    auto put32 = [block](std::size_t at, std::uint32_t v) { std::memcpy(block + at, &v, 4); };
    auto put64 = [block](std::size_t at, std::uint64_t v) { std::memcpy(block + at, &v, 8); };
    std::lock_guard<std::mutex> guard(lock_);
    std::int32_t state = state_.load();
    put32(info_state, static_cast<std::uint32_t>(state));
    put32(info_error, static_cast<std::uint32_t>(last_error_.load()));
    put32(info_connections, static_cast<std::uint32_t>(open_connections_.load()));
    put32(info_flags, (ranges_ ? 1u : 0u) | (continued_ ? 2u : 0u));
    std::uint64_t total = total_.load();
    std::uint64_t downloaded = done_bytes_ + in_flight_.load();
    if (state == state_finished) {
        downloaded = total;
    }
    put64(info_total, total);
    put64(info_received, received_.load());
    put64(info_downloaded, downloaded);
    std::string name = to_ansi(name_);
    std::size_t n = std::min(name.size(), info_name_max);
    put32(info_name_length, static_cast<std::uint32_t>(n));
    std::memcpy(block + info_name, name.data(), n);
}

void download_task::fail(int error) {
    last_error_ = error;
    failed_ = true;
}

bool download_task::limited() const {
    return options_.limiter && !beyond_limit_.load() && options_.limiter->rate() != 0;
}

bool download_task::same_remote(const std::string& validator, std::uint64_t total) const {
    return total == layout_.total && !validator.empty() && validator == layout_.validator;
}

std::int32_t download_task::run() {
    failed_ = false;
    remote_changed_ = false;
    int probe_failures = 0;
    int plain_failures = 0;
    int restarts = 0;
    std::int32_t end_state = state_stopped;
    // After a failed attempt: true tries again after a pause that grows with
    // the failures; false ends the loop, stopped or (end_state) failed.
    auto again = [&](int& failures) {
        if (stop_.load()) {
            return false;
        }
        if (failed_.load() || ++failures >= max_failures) {
            end_state = state_failed;
            return false;
        }
        return sleep_unless(stop_, 200 * std::min(failures, 5));
    };
    for (;;) {
        if (stop_.load()) {
            break;
        }
        http_conn conn;
        std::uint32_t probe_piece = 0;
        bool plain = false;
        if (!probe_and_prepare(conn, probe_piece, plain)) {
            if (!again(probe_failures)) {
                break;
            }
            continue;
        }
        probe_failures = 0;
        if (predownload_) {
            break;
        }
        if (plain) {
            if (download_plain(conn)) {
                end_state = state_finished;
                break;
            }
            if (!again(plain_failures)) {
                break;
            }
            continue;
        }
        // Several connections over pieces; the probe's connection goes on as the first.
        int n = options_.connections < 1 ? 1 : options_.connections;
        {
            std::lock_guard<std::mutex> guard(lock_);
            std::uint32_t free_pieces = 0;
            for (auto s : piece_state_) {
                free_pieces += s == 0 ? 1 : 0;
            }
            n = static_cast<int>(
                std::min<std::uint32_t>(static_cast<std::uint32_t>(n), free_pieces + 1));
        }
        std::vector<std::thread> workers;
        for (int i = 1; i < n; ++i) {
            workers.emplace_back([this, i, probe_piece] { worker(i, nullptr, probe_piece); });
        }
        worker(0, &conn, probe_piece);
        for (auto& w : workers) {
            w.join();
        }
        bool complete = false;
        {
            std::lock_guard<std::mutex> guard(lock_);
            complete = std::all_of(layout_.done.begin(), layout_.done.end(),
                                   [](std::uint8_t d) { return d != 0; });
            if (complete) {
                if (!file_.finish(layout_.total, folder_ + name_)) {
                    last_error_ = static_cast<int>(file_.error());
                    failed_ = true;
                    complete = false;
                }
            } else {
                file_.close();
            }
        }
        if (complete) {
            end_state = state_finished;
            break;
        }
        if (stop_.load()) {
            break;
        }
        if (remote_changed_.load() && ++restarts <= max_restarts) {
            std::lock_guard<std::mutex> guard(lock_);
            layout_ = td_layout();  // the next probe starts the file anew
            fresh_ = true;
            remote_changed_ = false;
            continue;
        }
        end_state = state_failed;
        if (last_error_.load() == 0) {
            last_error_ = ERROR_INVALID_DATA;
        }
        break;
    }
    {
        std::lock_guard<std::mutex> guard(lock_);
        file_.close();
        if (end_state != state_finished) {
            in_flight_ = 0;
        }
    }
    open_connections_ = 0;
    return end_state;
}

// Asks for the first piece still needed. A 206 fixes size, validator and name,
// opens or creates the ".td" and fills that piece; a 200 means one plain
// connection whose body is then read by download_plain.
bool download_task::probe_and_prepare(http_conn& conn, std::uint32_t& probe_piece, bool& plain) {
    std::string url = url_;
    const std::uint32_t ps = options_.piece_size;
    for (int hop = 0; hop <= max_redirects; ++hop) {
        request_target target;
        if (!make_target(url, target)) {
            fail(ERROR_INVALID_PARAMETER);
            return false;
        }
        // With a record in hand (this run or a stopped one), ask for its first
        // missing piece; otherwise for the first piece.
        std::uint32_t want = 0;
        bool have_layout = false;
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (layout_.total == 0 && name_given_ && !predownload_ && !fresh_) {
                td_file existing;
                td_layout found;
                if (existing.open_existing(folder_ + name_ + L".td", found)) {
                    layout_ = std::move(found);
                }
            }
            have_layout = layout_.total != 0;
            while (have_layout && want < layout_.piece_count && layout_.done[want]) {
                ++want;
            }
            if (have_layout && want == layout_.piece_count) {
                want = 0;  // all marked but never renamed: fetch piece 0 to confirm the remote
            }
        }
        std::uint64_t a = static_cast<std::uint64_t>(want) * ps;
        std::uint64_t b = predownload_ ? 0 : a + ps - 1;
        if (have_layout && b >= layout_.total) {
            b = layout_.total - 1;
        }
        int error = 0;
        if (!conn.open(target.host, target.port, stop_, error) ||
            !conn.send_all(range_request(target, a, b), error)) {
            last_error_ = error;
            conn.close();
            return false;
        }
        open_connections_ = 1;
        net::http_response response;
        net::http_response_parser parser;
        int r = conn.read_head(response, parser, stop_);
        if (r != 0) {
            last_error_ = r > 0 ? r : 0;
            conn.close();
            return false;
        }
        int status = response.status;
        if (status == 301 || status == 302 || status == 303 || status == 307 || status == 308) {
            const std::string* location = field(response, "Location");
            conn.close();
            if (!location || location->empty()) {
                fail(status);
                return false;
            }
            std::string loc = trimmed(*location);
            if (loc[0] == '/') {
                std::string host;
                std::uint16_t port = 0;
                net::split_url(url, host, port);
                loc = "http://" + host + ":" + std::to_string(port) + loc;
            }
            url = loc;
            continue;
        }
        if (status == 416 && have_layout) {
            // The remote file is shorter than the record: start anew.
            conn.close();
            std::lock_guard<std::mutex> guard(lock_);
            layout_ = td_layout();
            fresh_ = true;
            continue;
        }
        if (status != 200 && status != 206) {
            conn.close();
            last_error_ = status;
            if (status >= 400 && status < 500 && status != 408 && status != 429) {
                failed_ = true;
            }
            return false;
        }
        std::string validator = validator_of(response);
        bool already_done = false;
        std::uint64_t ra = 0, rb = 0, total = 0;
        if (status == 206) {
            const std::string* range = field(response, "Content-Range");
            if (!range || !parse_content_range(*range, ra, rb, total) || ra != a ||
                rb != std::min(b, total - 1) ||
                (parser.declared_length() >= 0 &&
                 static_cast<std::uint64_t>(parser.declared_length()) != rb - ra + 1)) {
                conn.close();
                fail(ERROR_INVALID_DATA);
                return false;
            }
        } else if (parser.declared_length() >= 0 && !parser.chunked()) {
            total = static_cast<std::uint64_t>(parser.declared_length());
        }
        {
            std::lock_guard<std::mutex> guard(lock_);
            probed_ = true;
            if (!name_given_) {
                const std::string* disposition = field(response, "Content-Disposition");
                std::wstring name = disposition ? name_from_disposition(*disposition) : L"";
                name_ = name.empty() ? name_from_url(url) : name;
            }
            ranges_ = status == 206;
            total_ = total;
        }
        if (predownload_) {
            conn.close();
            open_connections_ = 0;
            return true;
        }
        if (status == 200) {
            // No ranges: whatever record there was cannot be continued.
            std::lock_guard<std::mutex> guard(lock_);
            layout_ = td_layout();
            continued_ = false;
            done_bytes_ = 0;
            in_flight_ = 0;
            plain = true;
            if (!file_.create_plain(folder_ + name_ + L".td")) {
                fail(static_cast<int>(file_.error()));
                return false;
            }
            plain_conn_parser_ = std::move(parser);
            plain_response_ = std::move(response);
            return true;
        }
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (have_layout && !same_remote(validator, total)) {
                // Another file now, or nothing to tell the versions apart by: anew.
                conn.close();
                layout_ = td_layout();
                fresh_ = true;
                continue;
            }
            if (have_layout) {
                if (!file_.is_open()) {
                    td_layout reread;
                    if (!file_.open_existing(folder_ + name_ + L".td", reread) ||
                        reread.total != layout_.total || reread.validator != layout_.validator) {
                        file_.close();
                        conn.close();
                        layout_ = td_layout();
                        fresh_ = true;
                        continue;
                    }
                    layout_ = std::move(reread);
                }
                continued_ = true;
            } else {
                layout_ = td_layout();
                layout_.total = total;
                layout_.piece_size = ps;
                layout_.piece_count = piece_count_for(total, ps);
                layout_.validator = validator;
                layout_.done.assign(layout_.piece_count, 0);
                continued_ = false;
                if (!file_.create(folder_ + name_ + L".td", layout_)) {
                    fail(static_cast<int>(file_.error()));
                    conn.close();
                    return false;
                }
            }
            piece_state_.assign(layout_.piece_count, 0);
            done_bytes_ = 0;
            for (std::uint32_t i = 0; i < layout_.piece_count; ++i) {
                if (layout_.done[i]) {
                    piece_state_[i] = 2;
                    std::uint64_t end = std::min<std::uint64_t>(
                        (static_cast<std::uint64_t>(i) + 1) * ps, layout_.total);
                    done_bytes_ += end - static_cast<std::uint64_t>(i) * ps;
                }
            }
            in_flight_ = 0;
            already_done = layout_.done[want] != 0;
            if (!already_done) {
                piece_state_[want] = 1;
            }
        }
        // The probe's own body is the first piece of the first worker.
        std::uint64_t offset = a;
        std::uint64_t written = 0;
        std::size_t limit = limited() ? 16384 : recv_block;
        r = conn.read_body(response, parser, stop_, limit, [&](const char* data, std::size_t n) {
            received_ += n;
            if (limited() && !options_.limiter->take(n, stop_)) {
                return false;
            }
            if (!already_done && !write_piece_bytes(want, offset, data, n, written)) {
                return false;
            }
            offset += n;
            return true;
        });
        if (r != 0 || offset != rb + 1) {
            std::lock_guard<std::mutex> guard(lock_);
            if (!already_done && layout_.done[want] == 0) {
                piece_state_[want] = 0;
                in_flight_ -= written;
            }
            conn.close();
            if (r > 0) {
                last_error_ = r;
            }
            return false;
        }
        if (!keeps_alive(response)) {
            conn.close();
        }
        probe_piece = want;
        plain = false;
        return true;
    }
    fail(net::http_too_many_redirects);
    return false;
}

bool download_task::write_piece_bytes(std::uint32_t piece, std::uint64_t offset, const char* data,
                                      std::size_t length, std::uint64_t& piece_written) {
    if (!file_.write_at(offset, data, length)) {
        fail(static_cast<int>(file_.error()));
        return false;
    }
    piece_written += length;
    in_flight_ += length;
    const std::uint64_t ps = options_.piece_size;
    std::uint64_t piece_end = std::min<std::uint64_t>((piece + 1) * ps, layout_.total);
    if (offset + length == piece_end) {
        std::lock_guard<std::mutex> guard(lock_);
        if (!file_.mark_done(layout_, piece)) {
            fail(static_cast<int>(file_.error()));
            return false;
        }
        piece_state_[piece] = 2;
        done_bytes_ += piece_end - static_cast<std::uint64_t>(piece) * ps;
        in_flight_ -= piece_written;
        piece_written = 0;
    }
    return true;
}

bool download_task::download_plain(http_conn& conn) {
    std::uint64_t written = 0;
    std::size_t limit = limited() ? 16384 : recv_block;
    int r = conn.read_body(plain_response_, plain_conn_parser_, stop_, limit,
                           [&](const char* data, std::size_t n) {
                               received_ += n;
                               if (limited() && !options_.limiter->take(n, stop_)) {
                                   return false;
                               }
                               if (!file_.write_at(written, data, n)) {
                                   fail(static_cast<int>(file_.error()));
                                   return false;
                               }
                               written += n;
                               in_flight_ = written;
                               return true;
                           });
    conn.close();
    open_connections_ = 0;
    std::int64_t declared = plain_conn_parser_.declared_length();
    bool whole = r == 0 && (declared < 0 || plain_conn_parser_.chunked() ||
                            static_cast<std::uint64_t>(declared) == written);
    std::lock_guard<std::mutex> guard(lock_);
    if (!whole) {
        if (r > 0) {
            last_error_ = r;
        }
        file_.close();
        in_flight_ = 0;
        return false;
    }
    if (!file_.finish(written, folder_ + name_)) {
        fail(static_cast<int>(file_.error()));
        return false;
    }
    total_ = written;
    done_bytes_ = written;
    in_flight_ = 0;
    return true;
}

bool download_task::take_claim(int index, std::uint32_t& cursor, claim& c) {
    std::lock_guard<std::mutex> guard(lock_);
    const std::uint32_t count = layout_.piece_count;
    std::uint32_t free_total = 0;
    for (auto s : piece_state_) {
        free_total += s == 0 ? 1 : 0;
    }
    if (free_total == 0) {
        return false;
    }
    if (cursor >= count || piece_state_[cursor] != 0) {
        // Own stretch used up: take over the largest free run, from its middle
        // when another connection is working towards it.
        std::uint32_t best = 0, best_len = 0;
        for (std::uint32_t i = 0; i < count;) {
            if (piece_state_[i] != 0) {
                ++i;
                continue;
            }
            std::uint32_t j = i;
            while (j < count && piece_state_[j] == 0) {
                ++j;
            }
            if (j - i > best_len) {
                best = i;
                best_len = j - i;
            }
            i = j;
        }
        cursor = best;
        if (best > 0 && piece_state_[best - 1] == 1) {
            cursor = best + best_len / 2;
        }
    }
    (void)index;
    int n = options_.connections < 1 ? 1 : options_.connections;
    std::uint32_t most = free_total / (2u * static_cast<std::uint32_t>(n));
    most = std::max<std::uint32_t>(1, std::min<std::uint32_t>(16, most));
    c.first = cursor;
    c.last = cursor;
    piece_state_[cursor] = 1;
    while (c.last + 1 < count && c.last + 1 - c.first < most && piece_state_[c.last + 1] == 0) {
        ++c.last;
        piece_state_[c.last] = 1;
    }
    return true;
}

void download_task::release_claim(const claim& c, std::uint32_t from) {
    std::lock_guard<std::mutex> guard(lock_);
    for (std::uint32_t i = from; i <= c.last && i < piece_state_.size(); ++i) {
        if (piece_state_[i] == 1) {
            piece_state_[i] = 0;
        }
    }
}

bool download_task::fetch_claim(http_conn& conn, const claim& c, std::uint32_t& next_piece) {
    const std::uint64_t ps = options_.piece_size;
    const std::uint64_t total = layout_.total;
    std::uint64_t a = c.first * ps;
    std::uint64_t b = std::min<std::uint64_t>((c.last + 1) * ps, total) - 1;
    next_piece = c.first;
    request_target target;
    if (!make_target(url_, target)) {
        fail(ERROR_INVALID_PARAMETER);
        return false;
    }
    int error = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        // A kept connection may have been closed by the server meanwhile: one
        // more try on a fresh one before it counts as a failure.
        bool reused = conn.is_open();
        if (!conn.open(target.host, target.port, stop_, error) ||
            !conn.send_all(range_request(target, a, b), error)) {
            conn.close();
            if (reused) {
                continue;
            }
            last_error_ = error;
            return false;
        }
        net::http_response response;
        net::http_response_parser parser;
        int r = conn.read_head(response, parser, stop_);
        if (r == net::http_closed_early && reused) {
            conn.close();
            continue;
        }
        if (r != 0) {
            last_error_ = r > 0 ? r : 0;
            conn.close();
            return false;
        }
        std::uint64_t ra = 0, rb = 0, rtotal = 0;
        const std::string* range = field(response, "Content-Range");
        if (response.status != 206 || !range || !parse_content_range(*range, ra, rb, rtotal) ||
            rtotal != total || validator_of(response) != layout_.validator) {
            conn.close();
            if (response.status == 200 || response.status == 206 || response.status == 416) {
                remote_changed_ = true;  // not the file the record describes
            }
            last_error_ = response.status;
            return false;
        }
        if (ra != a || rb != b) {
            conn.close();
            last_error_ = ERROR_INVALID_DATA;
            return false;
        }
        std::uint64_t offset = a;
        std::uint64_t written = 0;
        std::size_t limit = limited() ? 16384 : recv_block;
        r = conn.read_body(response, parser, stop_, limit, [&](const char* data, std::size_t n) {
            received_ += n;
            if (limited() && !options_.limiter->take(n, stop_)) {
                return false;
            }
            while (n > 0) {
                std::uint64_t piece_end = std::min<std::uint64_t>((next_piece + 1) * ps, total);
                std::size_t part =
                    static_cast<std::size_t>(std::min<std::uint64_t>(n, piece_end - offset));
                if (!write_piece_bytes(next_piece, offset, data, part, written)) {
                    return false;
                }
                offset += part;
                data += part;
                n -= part;
                if (offset == piece_end) {
                    ++next_piece;
                }
            }
            return true;
        });
        if (r != 0 || offset != b + 1) {
            in_flight_ -= written;
            conn.close();
            if (r > 0) {
                last_error_ = r;
            }
            return false;
        }
        if (!keeps_alive(response)) {
            conn.close();
        }
        return true;
    }
    last_error_ = error;
    return false;
}

void download_task::worker(int index, http_conn* first_conn, std::uint32_t first_piece) {
    http_conn own;
    http_conn& conn = first_conn ? *first_conn : own;
    std::uint32_t cursor = 0;
    {
        std::lock_guard<std::mutex> guard(lock_);
        int n = options_.connections < 1 ? 1 : options_.connections;
        cursor = index == 0
                     ? first_piece + 1
                     : static_cast<std::uint32_t>(static_cast<std::uint64_t>(layout_.piece_count) *
                                                  static_cast<std::uint64_t>(index) /
                                                  static_cast<std::uint64_t>(n));
    }
    if (index != 0) {
        ++open_connections_;
    }
    int failures = 0;
    while (!stop_.load() && !failed_.load() && !remote_changed_.load()) {
        claim c;
        if (!take_claim(index, cursor, c)) {
            break;
        }
        std::uint32_t next = c.first;
        if (fetch_claim(conn, c, next)) {
            failures = 0;
            cursor = c.last + 1;
            continue;
        }
        release_claim(c, next);
        if (stop_.load() || failed_.load() || remote_changed_.load()) {
            break;
        }
        if (next > c.first) {
            failures = 0;  // it moved on before it broke: a cut, not a dead server
        }
        if (++failures >= max_failures) {
            fail(last_error_.load() ? last_error_.load() : ERROR_INVALID_DATA);
            break;
        }
        cursor = next;
        if (!sleep_unless(stop_, 100 * std::min(failures, 5))) {
            break;
        }
    }
    conn.close();
    --open_connections_;
}

}  // namespace tdengine
