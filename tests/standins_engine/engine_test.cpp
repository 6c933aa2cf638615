// The stand-in engine as a client drives it: the library loaded with
// LoadLibrary from a folder that holds it and tdengine.exe, every entry
// looked up by name, downloads from a world server started here on loopback.
#include <winsock2.h>

#include <bcrypt.h>
#include <tlhelp32.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr std::uint64_t mib = 1024 * 1024;

std::string win_path(const std::string& unix_path) {
    std::string p = "Z:" + unix_path;
    for (char& c : p) {
        if (c == '/') {
            c = '\\';
        }
    }
    return p;
}

std::wstring wide(const std::string& s) {
    return std::wstring(s.begin(), s.end());
}

bool file_exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::uint64_t file_size(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA d{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &d)) {
        return 0;
    }
    return (static_cast<std::uint64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
}

std::string sha256_file(const std::string& path) {
    BCRYPT_ALG_HANDLE alg = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (BCryptOpenAlgorithmProvider(&alg, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0 ||
        BCryptCreateHash(alg, &hash, nullptr, 0, nullptr, 0, 0) != 0) {
        return "no hash";
    }
    std::ifstream in(path, std::ios::binary);
    std::vector<char> block(1 << 20);
    while (in) {
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        std::streamsize n = in.gcount();
        if (n > 0) {
            BCryptHashData(hash, reinterpret_cast<PUCHAR>(block.data()), static_cast<ULONG>(n), 0);
        }
    }
    unsigned char digest[32];
    BCryptFinishHash(hash, digest, 32, 0);
    BCryptDestroyHash(hash);
    BCryptCloseAlgorithmProvider(alg, 0);
    char hex[65];
    for (int i = 0; i < 32; ++i) {
        std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
    }
    return std::string(hex, 64);
}

// Plain GET on loopback; the body, or "" when the server does not answer.
std::string http_get(int port, const std::string& path) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<u_short>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string out;
    if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        std::string req =
            "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
        send(s, req.data(), static_cast<int>(req.size()), 0);
        char buf[65536];
        int n;
        while ((n = recv(s, buf, sizeof buf, 0)) > 0) {
            out.append(buf, static_cast<std::size_t>(n));
        }
    }
    closesocket(s);
    std::size_t body = out.find("\r\n\r\n");
    return body == std::string::npos ? std::string() : out.substr(body + 4);
}

// One line of the world server's request log.
struct logged {
    int conn = 0;
    std::string path;
    std::string range;  // empty when the request had none
    int status = 0;
    std::uint64_t sent = 0;
    bool complete = false;
    std::uint64_t first = 0, last = 0;  // the range asked for
};

std::string json_value(const std::string& line, const std::string& key) {
    std::size_t at = line.find("\"" + key + "\": ");
    if (at == std::string::npos) {
        return std::string();
    }
    at += key.size() + 4;
    if (line[at] == '"') {
        return line.substr(at + 1, line.find('"', at + 1) - at - 1);
    }
    std::size_t end = line.find_first_of(",}", at);
    return line.substr(at, end - at);
}

std::vector<logged> parse_log(const std::string& text, const std::string& path) {
    std::vector<logged> out;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        logged e;
        e.path = json_value(line, "path");
        if (e.path != path) {
            continue;
        }
        e.conn = std::atoi(json_value(line, "conn").c_str());
        e.status = std::atoi(json_value(line, "status").c_str());
        e.sent = std::strtoull(json_value(line, "sent").c_str(), nullptr, 10);
        e.complete = json_value(line, "complete") == "true";
        std::string r = json_value(line, "range");
        if (r != "null") {
            e.range = r;
            unsigned long long a = 0, b = 0;
            if (std::sscanf(r.c_str(), "bytes=%llu-%llu", &a, &b) == 2) {
                e.first = a;
                e.last = b;
            }
        }
        out.push_back(e);
    }
    return out;
}

// The world server, as a Unix process started through Wine, bounded in time.
class world_server {
  public:
    world_server(std::string root, int port = 0) : root_(std::move(root)), port_(port) {}
    ~world_server() { stop(); }

    bool start(const std::string& files) {
        std::string port_file = root_ + "/port.txt";
        DeleteFileA(win_path(port_file).c_str());
        CreateDirectoryA(win_path(root_).c_str(), nullptr);
        std::string command = "/usr/bin/timeout 600 /usr/bin/python3 " TESSALY_SOURCE_DIR
                              "/standins/world/world.py --port " +
                              std::to_string(port_) + " --root " + root_ + " --port-file " +
                              port_file + " " + files;
        std::wstring cmd = wide(command);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                            &pi)) {
            return false;
        }
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        for (int i = 0; i < 200; ++i) {
            std::ifstream in(win_path(port_file));
            int p = 0;
            if (in >> p && p > 0) {
                port_ = p;
                running_ = true;
                return true;
            }
            Sleep(50);
        }
        return false;
    }

    void stop() {
        if (!running_) {
            return;
        }
        http_get(port_, "/_control/shutdown");
        running_ = false;
        // Wait until the port is free again for a server that takes it over.
        for (int i = 0; i < 100 && !http_get(port_, "/_control/state").empty(); ++i) {
            Sleep(50);
        }
        Sleep(200);
    }

    int port() const { return port_; }
    std::string url(const std::string& name) const {
        return "http://127.0.0.1:" + std::to_string(port_) + "/game/" + name;
    }
    std::string control(const std::string& query) const { return http_get(port_, query); }
    std::string digest(const std::string& name) const {
        std::string info = http_get(port_, "/_control/info?digests=1");
        std::size_t at = info.find("\"name\": \"" + name + "\"");
        if (at == std::string::npos) {
            return std::string();
        }
        std::size_t d = info.find("\"sha256\": \"", at);
        return d == std::string::npos ? std::string() : info.substr(d + 11, 64);
    }

  private:
    std::string root_;
    int port_;
    bool running_ = false;
};

// The thirty entries, looked up by name as the client does.
struct engine_api {
    HMODULE module = nullptr;
    int(__stdcall* init)(int);
    int(__stdcall* uninit)();
    int(__stdcall* parse_url)(const char*, int, char*, int*);
    int(__stdcall* is_support_schema)(const char*, int);
    int(__stdcall* create_new_task)(const char*, int, const char*, int, const char*, int,
                                    const char*, int, const char*, int, int*);
    int(__stdcall* create_predownload_task)(const char*, int, const char*, int, int*);
    int(__stdcall* create_continued_task)(const char*, int, const char*, int, const char*, int,
                                          const char*, int, const char*, int, int*);
    int(__stdcall* is_tempfile_exist)(const char*, int, const char*, int, int*);
    int(__stdcall* delete_tempfile)(const char*, int, const char*, int);
    int(__stdcall* start_predownload_task)(int);
    int(__stdcall* query_p2sp_task_info)(int, void*);
    int(__stdcall* query_p2sp_task_info_ex)(int, void*, int);
    int(__stdcall* submit_get_dspider_ctrl_flag_opt)(int, int*);
    int(__stdcall* query_get_failure_detail_result)(int, int*);
    int(__stdcall* notify_hub_deleted)();
    int(__stdcall* set_file_name)(int, const char*, int);
    int(__stdcall* set_beyond_global_speed_limit)(int, int);
    int(__stdcall* start_task)(int);
    int(__stdcall* stop_task)(int);
    int(__stdcall* delete_task)(int);
    int(__stdcall* start_process_thread)();
    int(__stdcall* submit_get_count_of_resource)(int, int, int*);
    int(__stdcall* query_get_count_of_resource)(int, int*, void*, int*);
    int(__stdcall* add_resources)(int, int, int);
    int(__stdcall* discard_resources)(int, int);
    int(__stdcall* get_tp_process_id)();
    int(__stdcall* set_speed_limit)(int);
    int(__stdcall* cancel_speed_limit)();
    int(__stdcall* set_speed_limit_mode)(int);
    int(__stdcall* set_task_type)(int, int);
    int found = 0;

    template <typename F>
    void look(F& f, const char* name) {
        f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
        found += f ? 1 : 0;
    }

    bool load(const std::string& dll) {
        module = LoadLibraryA(dll.c_str());
        if (!module) {
            return false;
        }
        look(init, "init");
        look(uninit, "uninit");
        look(parse_url, "parse_url");
        look(is_support_schema, "is_support_schema");
        look(create_new_task, "create_new_task");
        look(create_predownload_task, "create_predownload_task");
        look(create_continued_task, "create_continued_task");
        look(is_tempfile_exist, "is_tempfile_exist");
        look(delete_tempfile, "delete_tempfile");
        look(start_predownload_task, "start_predownload_task");
        look(query_p2sp_task_info, "query_p2sp_task_info");
        look(query_p2sp_task_info_ex, "query_p2sp_task_info_ex");
        look(submit_get_dspider_ctrl_flag_opt, "submit_get_dspider_ctrl_flag_opt");
        look(query_get_failure_detail_result, "query_get_failure_detail_result");
        look(notify_hub_deleted, "notify_hub_deleted");
        look(set_file_name, "set_file_name");
        look(set_beyond_global_speed_limit, "set_beyond_global_speed_limit");
        look(start_task, "start_task");
        look(stop_task, "stop_task");
        look(delete_task, "delete_task");
        look(start_process_thread, "start_process_thread");
        look(submit_get_count_of_resource, "submit_get_count_of_resource");
        look(query_get_count_of_resource, "query_get_count_of_resource");
        look(add_resources, "add_resources");
        look(discard_resources, "discard_resources");
        look(get_tp_process_id, "get_tp_process_id");
        look(set_speed_limit, "set_speed_limit");
        look(cancel_speed_limit, "cancel_speed_limit");
        look(set_speed_limit_mode, "set_speed_limit_mode");
        look(set_task_type, "set_task_type");
        return found == 30;
    }
};

struct info {
    std::int32_t state = 0;
    std::uint32_t error = 0, connections = 0, flags = 0;
    std::uint64_t total = 0, received = 0, downloaded = 0;
    std::string name;
};

info decode(const unsigned char* b) {
    info i;
    std::memcpy(&i.state, b + 0, 4);
    std::memcpy(&i.error, b + 4, 4);
    std::memcpy(&i.connections, b + 8, 4);
    std::memcpy(&i.flags, b + 12, 4);
    std::memcpy(&i.total, b + 28, 8);
    std::memcpy(&i.received, b + 36, 8);
    std::memcpy(&i.downloaded, b + 44, 8);
    std::uint32_t n = 0;
    std::memcpy(&n, b + 56, 4);
    if (n <= 1036) {
        i.name.assign(reinterpret_cast<const char*>(b + 60), n);
    }
    return i;
}

// Pieces marked complete in a ".td" (its footer gives the data size, the head
// sits right after the data, the bitmap after the head).
std::vector<bool> td_pieces(const std::string& path, std::uint32_t& piece_size) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(0, std::ios::end);
    std::uint64_t size = static_cast<std::uint64_t>(in.tellg());
    char footer[16];
    in.seekg(static_cast<std::streamoff>(size - 16));
    in.read(footer, 16);
    std::uint64_t total = 0;
    std::memcpy(&total, footer, 8);
    if (std::memcmp(footer + 8, "TDENGEND", 8) != 0) {
        return {};
    }
    char head[256];
    in.seekg(static_cast<std::streamoff>(total));
    in.read(head, 256);
    std::uint32_t count = 0;
    std::memcpy(&piece_size, head + 12, 4);
    std::memcpy(&count, head + 24, 4);
    std::vector<char> bits((count + 7) / 8);
    in.read(bits.data(), static_cast<std::streamsize>(bits.size()));
    std::vector<bool> done(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        done[i] = (bits[i / 8] >> (i % 8)) & 1;
    }
    return done;
}

class Engine : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
    }

    void SetUp() override {
        const char* test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        work_ = std::string(TESSALY_TEST_WORK) + "/work-" + test;
        std::string w = win_path(work_);
        std::string cmd = "cmd /c rd /s /q \"" + w + "\" >nul 2>nul";
        system(cmd.c_str());
        CreateDirectoryA(w.c_str(), nullptr);
        bin_ = w + "\\bin";
        downloads_ = w + "\\downloads\\";
        CreateDirectoryA(bin_.c_str(), nullptr);
        CreateDirectoryA(downloads_.c_str(), nullptr);
        std::string from = win_path(TESSALY_ENGINE_DIR);
        ASSERT_TRUE(CopyFileA((from + "\\asyn_download_interface.dll").c_str(),
                              (bin_ + "\\asyn_download_interface.dll").c_str(), FALSE));
        ASSERT_TRUE(
            CopyFileA((from + "\\tdengine.exe").c_str(), (bin_ + "\\tdengine.exe").c_str(), FALSE));
        // The engine this case starts records its speed settings here.
        settings_log_ = w + "\\settings.log";
        SetEnvironmentVariableA("TDENGINE_LOG", settings_log_.c_str());
        // Not the library's folder: it must find its process by itself.
        SetCurrentDirectoryA(downloads_.c_str());
        ASSERT_TRUE(api_.load(bin_ + "\\asyn_download_interface.dll"));
        api_.init(0);
        ASSERT_EQ(0, api_.start_process_thread());
        ASSERT_GT(api_.get_tp_process_id(), 0);
    }

    void TearDown() override {
        if (api_.module) {
            int pid = api_.get_tp_process_id();
            if (pid > 0) {
                HANDLE p = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
                EXPECT_EQ(0, api_.uninit());
                if (p) {
                    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(p, 10000));
                    CloseHandle(p);
                }
            }
            FreeLibrary(api_.module);
        }
        SetCurrentDirectoryA(win_path(TESSALY_TEST_WORK).c_str());
        if (!HasFailure()) {
            // Hundreds of MiB per case: keep them only to look at a failure.
            std::string cmd = "cmd /c rd /s /q \"" + win_path(work_) + "\" >nul 2>nul";
            system(cmd.c_str());
        }
    }

    int create(const std::string& url, const std::string& name = std::string()) {
        int id = -1;
        std::string folder = downloads_;
        int r = name.empty()
                    ? api_.create_new_task(url.c_str(), static_cast<int>(url.size()), nullptr, 0,
                                           nullptr, 0, folder.c_str(),
                                           static_cast<int>(folder.size()), nullptr, 0, &id)
                    : api_.create_continued_task(url.c_str(), static_cast<int>(url.size()), nullptr,
                                                 0, nullptr, 0, folder.c_str(),
                                                 static_cast<int>(folder.size()), name.c_str(),
                                                 static_cast<int>(name.size()), &id);
        EXPECT_EQ(0, r);
        api_.set_task_type(id, 0);
        return id;
    }

    info query(int id) {
        unsigned char block[1096] = {};
        int r = api_.query_p2sp_task_info(id, block);
        info i = decode(block);
        if (r != 0) {
            i.state = -r;
        }
        return i;
    }

    // Polls until the task reaches `state` or `done(info)` holds.
    template <typename Pred>
    info wait_for(int id, Pred done, int timeout_ms = 120000) {
        info i;
        for (int waited = 0; waited < timeout_ms; waited += 50) {
            i = query(id);
            if (done(i) || i.state == 12 || i.state < 0) {
                return i;
            }
            Sleep(50);
        }
        return i;
    }
    info wait_state(int id, std::int32_t state, int timeout_ms = 120000) {
        return wait_for(
            id, [state](const info& i) { return i.state == state; }, timeout_ms);
    }

    engine_api api_;
    std::string settings_log_;
    std::string work_;
    std::string bin_;
    std::string downloads_;
};

TEST_F(Engine, EntriesAnswerWithoutAServer) {
    char name[64];
    int len = sizeof name;
    const char url[] = "http://127.0.0.1:9/dir/Setup%20x.exe?v=1";
    ASSERT_EQ(0, api_.parse_url(url, sizeof url - 1, name, &len));
    EXPECT_EQ("Setup%20x.exe", std::string(name, static_cast<std::size_t>(len)));
    EXPECT_EQ(0, api_.is_support_schema("HTTP://x/y", 10));
    EXPECT_NE(0, api_.is_support_schema("ftp://x/y", 9));
    int id = -1;
    EXPECT_NE(0, api_.create_new_task("ftp://x/y", 9, nullptr, 0, nullptr, 0, downloads_.c_str(),
                                      static_cast<int>(downloads_.size()), nullptr, 0, &id));
    const char missing[] = "Z:\\no\\such\\folder\\";
    EXPECT_NE(0, api_.create_new_task(url, sizeof url - 1, nullptr, 0, nullptr, 0, missing,
                                      sizeof missing - 1, nullptr, 0, &id));
    unsigned char block[1096];
    EXPECT_NE(0, api_.query_p2sp_task_info(777, block));
    EXPECT_NE(0, api_.start_task(777));
    EXPECT_NE(0, api_.set_speed_limit_mode(4));
    EXPECT_EQ(0, api_.set_speed_limit_mode(3));
    EXPECT_EQ(0, api_.set_speed_limit_mode(0));
    int exists = -1;
    EXPECT_EQ(0, api_.is_tempfile_exist(downloads_.c_str(), static_cast<int>(downloads_.size()),
                                        "a.bin", 5, &exists));
    EXPECT_EQ(0, exists);
    EXPECT_EQ(0, api_.notify_hub_deleted());
    // A second start attaches to the same process.
    int pid = api_.get_tp_process_id();
    EXPECT_EQ(0, api_.start_process_thread());
    EXPECT_EQ(pid, api_.get_tp_process_id());
}

TEST_F(Engine, DownloadsWithFourConnectionsAndAnswersResourceCount) {
    world_server world(work_ + "/world");
    ASSERT_TRUE(world.start("--game-file big.bin:256M"));
    int id = create(world.url("big.bin"));
    ASSERT_EQ(0, api_.start_task(id));
    int handle = -1;
    ASSERT_EQ(0, api_.submit_get_count_of_resource(id, 0, &handle));
    int status = 0, count = 4;
    unsigned char buffer[32] = {};
    for (int i = 0; i < 100 && status != 2; ++i) {
        count = 4;
        ASSERT_EQ(0, api_.query_get_count_of_resource(handle, &count, buffer, &status));
        Sleep(20);
    }
    EXPECT_EQ(2, status);
    EXPECT_EQ(1, count);
    EXPECT_EQ(1u, buffer[0]);
    EXPECT_EQ(0, api_.add_resources(id, 0, 3));

    info i = wait_state(id, 11);
    ASSERT_EQ(11, i.state) << "error " << i.error;
    EXPECT_EQ(256 * mib, i.total);
    EXPECT_EQ(256 * mib, i.downloaded);
    EXPECT_GE(i.received, 256 * mib);
    EXPECT_EQ("big.bin", i.name);
    std::string file = downloads_ + "big.bin";
    EXPECT_FALSE(file_exists(file + ".td"));
    EXPECT_EQ(256 * mib, file_size(file));
    EXPECT_EQ(world.digest("big.bin"), sha256_file(file));

    auto log = parse_log(world.control("/_control/requests"), "/game/big.bin");
    std::vector<int> conns;
    std::uint64_t asked = 0;
    for (const auto& e : log) {
        EXPECT_EQ(206, e.status) << e.range;
        asked += e.last - e.first + 1;
        if (std::find(conns.begin(), conns.end(), e.conn) == conns.end()) {
            conns.push_back(e.conn);
        }
    }
    EXPECT_EQ(4u, conns.size());
    EXPECT_EQ(256 * mib, asked);  // every byte asked for once
    // A finished task stays finished.
    EXPECT_EQ(0, api_.start_task(id));
    EXPECT_EQ(11, query(id).state);
}

TEST_F(Engine, KilledEngineContinuesWithoutFetchingCompletePieces) {
    world_server world(work_ + "/world");
    ASSERT_TRUE(world.start("--game-file big.bin:256M --rate 12582912"));  // 12 MiB/s a connection
    int id = create(world.url("big.bin"));
    ASSERT_EQ(0, api_.start_task(id));
    info half = wait_for(id, [](const info& i) { return i.downloaded >= 100 * mib; });
    ASSERT_EQ(2, half.state);
    EXPECT_EQ(4u, half.connections);

    int pid = api_.get_tp_process_id();
    HANDLE p = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    ASSERT_TRUE(p);
    TerminateProcess(p, 9);
    WaitForSingleObject(p, 10000);
    CloseHandle(p);
    DWORD before = GetTickCount();
    unsigned char block[1096];
    EXPECT_NE(0, api_.query_p2sp_task_info(id, block));
    EXPECT_NE(0, api_.start_task(id));
    EXPECT_LT(GetTickCount() - before, 3000u);
    EXPECT_EQ(-1, api_.get_tp_process_id());

    std::string td = downloads_ + "big.bin.td";
    ASSERT_TRUE(file_exists(td));
    std::uint32_t piece = 0;
    std::vector<bool> done = td_pieces(td, piece);
    ASSERT_EQ(256u, done.size());
    std::uint64_t done_bytes = 0;
    for (bool d : done) {
        done_bytes += d ? piece : 0;
    }
    EXPECT_GE(done_bytes, 90 * mib);

    // The server logs an answer when it ends: wait for the four cut short by
    // the kill, so that the log holds only what the new engine asks for.
    for (int k = 0; k < 100; ++k) {
        int cut = 0;
        for (const auto& e : parse_log(world.control("/_control/requests"), "/game/big.bin")) {
            cut += e.complete ? 0 : 1;
        }
        if (cut >= 4) {
            break;
        }
        Sleep(50);
    }
    world.control("/_control/requests?clear=1");
    world.control("/_control/set?rate=0");
    ASSERT_EQ(0, api_.start_process_thread());
    EXPECT_NE(pid, api_.get_tp_process_id());
    int again = create(world.url("big.bin"), "big.bin");
    ASSERT_EQ(0, api_.start_task(again));
    info i = wait_state(again, 11);
    ASSERT_EQ(11, i.state) << "error " << i.error;
    EXPECT_EQ(2u, i.flags & 2);  // continued
    std::string file = downloads_ + "big.bin";
    EXPECT_EQ(world.digest("big.bin"), sha256_file(file));

    std::uint64_t asked = 0;
    for (const auto& e : parse_log(world.control("/_control/requests"), "/game/big.bin")) {
        asked += e.last - e.first + 1;
        for (std::uint64_t k = e.first / piece; k <= e.last / piece; ++k) {
            EXPECT_FALSE(done[k]) << "piece " << k << " fetched again by " << e.range;
        }
    }
    EXPECT_EQ(256 * mib - done_bytes, asked);
    EXPECT_LT(i.received, 256 * mib - done_bytes + 1);
}

TEST_F(Engine, ChangedRemoteFileIsDownloadedAnew) {
    auto world = std::make_unique<world_server>(work_ + "/world");
    ASSERT_TRUE(world->start("--game-file g.bin:48M:1 --rate 4194304"));
    int port = world->port();
    std::string old_digest = world->digest("g.bin");
    int id = create(world->url("g.bin"));
    ASSERT_EQ(0, api_.start_task(id));
    info part = wait_for(id, [](const info& i) { return i.downloaded >= 16 * mib; });
    ASSERT_EQ(2, part.state);
    ASSERT_EQ(0, api_.stop_task(id));
    info stopped = wait_state(id, 10, 10000);
    EXPECT_EQ(10, stopped.state);
    EXPECT_LT(stopped.downloaded, 48 * mib);
    std::string td = downloads_ + "g.bin.td";
    EXPECT_TRUE(file_exists(td));

    // The installer case: uninit, the process exits and the files are free.
    int pid = api_.get_tp_process_id();
    HANDLE p = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    ASSERT_EQ(0, api_.uninit());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(p, 10000));
    CloseHandle(p);
    EXPECT_EQ(-1, api_.get_tp_process_id());
    HANDLE h = CreateFileA(td.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, h);
    CloseHandle(h);

    // Same name and size, other content and date.
    world.reset();
    world = std::make_unique<world_server>(work_ + "/world2", port);
    ASSERT_TRUE(world->start("--game-file g.bin:48M:2 --mtime 1710000000"));
    std::string new_digest = world->digest("g.bin");
    ASSERT_NE(old_digest, new_digest);
    ASSERT_EQ(0, api_.start_process_thread());
    int again = create(world->url("g.bin"), "g.bin");
    ASSERT_EQ(0, api_.start_task(again));
    info i = wait_state(again, 11);
    ASSERT_EQ(11, i.state) << "error " << i.error;
    EXPECT_EQ(0u, i.flags & 2);
    EXPECT_EQ(new_digest, sha256_file(downloads_ + "g.bin"));
}

TEST_F(Engine, CutConnectionsAreRetriedAndNoRangesMeansOneConnection) {
    world_server world(work_ + "/world");
    ASSERT_TRUE(world.start("--game-file c.bin:24M --game-file n.bin:5M"));
    world.control("/_control/set?cut=300000&cut_times=6&cut_path=/game/c.bin");
    int id = create(world.url("c.bin"));
    ASSERT_EQ(0, api_.start_task(id));
    info i = wait_state(id, 11);
    ASSERT_EQ(11, i.state) << "error " << i.error;
    EXPECT_EQ(world.digest("c.bin"), sha256_file(downloads_ + "c.bin"));
    EXPECT_GT(i.received, 24 * mib);  // the cut parts were fetched again

    world.control("/_control/set?ranges=0");
    int plain = create(world.url("n.bin"));
    ASSERT_EQ(0, api_.start_task(plain));
    info n = wait_state(plain, 11);
    ASSERT_EQ(11, n.state) << "error " << n.error;
    EXPECT_EQ(5 * mib, n.total);
    EXPECT_EQ(0u, n.flags & 1);
    EXPECT_EQ(world.digest("n.bin"), sha256_file(downloads_ + "n.bin"));
    auto log = parse_log(world.control("/_control/requests"), "/game/n.bin");
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ(200, log[0].status);
}

TEST_F(Engine, MissingFileFailsAndTruncatedBodyIsNeverFinished) {
    world_server world(work_ + "/world");
    ASSERT_TRUE(world.start("--game-file t.bin:3M"));
    int id = create(world.url("absent.bin"));
    ASSERT_EQ(0, api_.start_task(id));
    info i = wait_state(id, 12, 20000);
    EXPECT_EQ(12, i.state);
    int code = 0;
    EXPECT_EQ(0, api_.query_get_failure_detail_result(id, &code));
    EXPECT_EQ(404, code);

    // Every answer cut short, no ranges: the engine must give up, not finish.
    world.control("/_control/set?ranges=0&cut=100000&cut_times=-1&cut_path=/game/t.bin");
    int cut = create(world.url("t.bin"));
    ASSERT_EQ(0, api_.start_task(cut));
    info c = wait_state(cut, 12, 60000);
    EXPECT_EQ(12, c.state);
    EXPECT_FALSE(file_exists(downloads_ + "t.bin"));
}

TEST_F(Engine, BackgroundModeIsSlowAndNormalModeLiftsIt) {
    world_server world(work_ + "/world");
    ASSERT_TRUE(world.start("--game-file s.bin:4M"));
    ASSERT_EQ(0, api_.set_speed_limit_mode(3));
    int id = create(world.url("s.bin"));
    ASSERT_EQ(0, api_.start_task(id));
    Sleep(500);
    std::uint64_t r0 = query(id).received;
    Sleep(2000);
    info slow = query(id);
    EXPECT_EQ(2, slow.state);
    double rate = static_cast<double>(slow.received - r0) / 2.0;
    EXPECT_LT(rate, 200.0 * 1024);
    EXPECT_GT(rate, 16.0 * 1024);  // slow, not stalled
    ASSERT_EQ(0, api_.set_speed_limit_mode(1));
    info done = wait_state(id, 11, 30000);
    EXPECT_EQ(11, done.state);
    EXPECT_EQ(world.digest("s.bin"), sha256_file(downloads_ + "s.bin"));
}

TEST_F(Engine, SpeedSettingsAreRecordedInTheOrderAsked) {
    ASSERT_EQ(0, api_.set_speed_limit_mode(3));
    ASSERT_EQ(0, api_.set_speed_limit(65536));
    EXPECT_NE(0, api_.set_speed_limit(0));  // refused, so not recorded
    ASSERT_EQ(0, api_.cancel_speed_limit());
    EXPECT_NE(0, api_.set_speed_limit_mode(4));
    ASSERT_EQ(0, api_.set_speed_limit_mode(1));
    std::ifstream in(settings_log_, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(
        "speed_limit_mode 3\r\nspeed_limit 65536\r\ncancel_speed_limit 0\r\n"
        "speed_limit_mode 1\r\n",
        text.str());
}

// A loopback port whose handshakes never complete: the listener never
// accepts and its one-place queue is taken, so further connects hang the way
// they do towards an address that drops every packet.
class black_hole {
  public:
    bool open() {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof a;
        if (listener_ == INVALID_SOCKET ||
            bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            listen(listener_, 0) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
            return false;
        }
        address_ = a;
        port_ = ntohs(a.sin_port);
        for (int i = 0; i < 2; ++i) {
            fillers_.push_back(start_connect());
        }
        Sleep(300);
        // Proof: one more connect does not complete within a second.
        SOCKET probe = start_connect();
        fd_set w;
        FD_ZERO(&w);
        FD_SET(probe, &w);
        timeval tv{1, 0};
        const int ready = select(0, nullptr, &w, nullptr, &tv);
        fillers_.push_back(probe);
        return ready == 0;
    }
    ~black_hole() {
        for (SOCKET s : fillers_) {
            closesocket(s);
        }
        if (listener_ != INVALID_SOCKET) {
            closesocket(listener_);
        }
    }
    int port() const { return port_; }

  private:
    SOCKET start_connect() {
        SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
        u_long nonblocking = 1;
        ioctlsocket(s, FIONBIO, &nonblocking);
        connect(s, reinterpret_cast<const sockaddr*>(&address_), sizeof address_);
        return s;
    }

    SOCKET listener_ = INVALID_SOCKET;
    sockaddr_in address_{};
    int port_ = 0;
    std::vector<SOCKET> fillers_;
};

DWORD elapsed_since(DWORD start) {
    return GetTickCount() - start;
}

// A task stuck connecting is stopped and started again at once: the start
// must not wait for the stuck connect, and every other call and download of
// the engine goes on meanwhile.
TEST_F(Engine, RestartDuringAStuckConnectKeepsTheEngineAnswering) {
    black_hole hole;
    ASSERT_TRUE(hole.open()) << "the black-hole port accepted a connection";
    world_server world(work_ + "/world");
    ASSERT_TRUE(world.start("--game-file ok.bin:2M"));
    const int pid = api_.get_tp_process_id();

    const int stuck = create("http://127.0.0.1:" + std::to_string(hole.port()) + "/game/x.bin");
    ASSERT_EQ(0, api_.start_task(stuck));
    Sleep(500);
    ASSERT_EQ(0, api_.stop_task(stuck));
    DWORD t0 = GetTickCount();
    EXPECT_EQ(0, api_.start_task(stuck));
    EXPECT_LT(elapsed_since(t0), 2000u);

    const int good = create(world.url("ok.bin"));
    EXPECT_EQ(0, api_.start_task(good));
    DWORD slowest = 0;
    for (int i = 0; i < 20; ++i) {
        t0 = GetTickCount();
        EXPECT_EQ(2, query(stuck).state);
        EXPECT_GT(query(good).state, 0);
        slowest = std::max(slowest, elapsed_since(t0));
        Sleep(100);
    }
    EXPECT_LT(slowest, 1000u);
    info done = wait_state(good, 11, 60000);
    EXPECT_EQ(11, done.state);
    EXPECT_EQ(world.digest("ok.bin"), sha256_file(downloads_ + "ok.bin"));

    // Stopping and deleting the stuck task are quick too.
    t0 = GetTickCount();
    EXPECT_EQ(0, api_.stop_task(stuck));
    EXPECT_EQ(0, api_.delete_task(stuck));
    EXPECT_LT(elapsed_since(t0), 2000u);
    EXPECT_EQ(pid, api_.get_tp_process_id());
}

// Suspends or resumes every thread of a process.
int suspend_process(DWORD pid, bool suspend) {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snap == INVALID_HANDLE_VALUE) {
        return 0;
    }
    int n = 0;
    THREADENTRY32 te{};
    te.dwSize = sizeof te;
    for (BOOL more = Thread32First(snap, &te); more; more = Thread32Next(snap, &te)) {
        if (te.th32OwnerProcessID != pid) {
            continue;
        }
        HANDLE t = OpenThread(THREAD_SUSPEND_RESUME, FALSE, te.th32ThreadID);
        if (t) {
            n += (suspend ? SuspendThread(t) : ResumeThread(t)) != static_cast<DWORD>(-1) ? 1 : 0;
            CloseHandle(t);
        }
    }
    CloseHandle(snap);
    return n;
}

// One call that outlasts the library's patience gives up its pipe; the
// engine is alive, so the next call reaches it again instead of failing for
// good (and the engine, seeing a library connected, stays).
TEST_F(Engine, LibraryReachesTheEngineAgainAfterASlowCall) {
    SetEnvironmentVariableW(L"TDENGINE_CALL_TIMEOUT_MS", L"700");
    ASSERT_EQ(0, api_.start_process_thread());  // takes the shorter patience
    const int pid = api_.get_tp_process_id();
    world_server world(work_ + "/world");
    ASSERT_TRUE(world.start("--game-file r.bin:1M"));
    const int id = create(world.url("r.bin"));

    ASSERT_GT(suspend_process(static_cast<DWORD>(pid), true), 0);
    DWORD t0 = GetTickCount();
    EXPECT_EQ(3, api_.start_task(id));  // no answer in time
    EXPECT_LT(elapsed_since(t0), 3000u);
    suspend_process(static_cast<DWORD>(pid), false);
    SetEnvironmentVariableW(L"TDENGINE_CALL_TIMEOUT_MS", nullptr);

    Sleep(6000);  // longer than the engine waits for a library before it exits
    EXPECT_EQ(0, api_.start_task(id));
    EXPECT_EQ(pid, api_.get_tp_process_id());
    info done = wait_state(id, 11, 60000);
    EXPECT_EQ(11, done.state);
    EXPECT_EQ(world.digest("r.bin"), sha256_file(downloads_ + "r.bin"));
}

// An engine slow to go after its shutdown (a loaded machine) refuses new
// libraries; the next start waits for it to end and starts an engine of its
// own instead of taking one that is about to vanish.
TEST_F(Engine, ANewLibraryWaitsForAnEngineThatIsShuttingDown) {
    ASSERT_EQ(0, api_.uninit());
    SetEnvironmentVariableW(L"TDENGINE_EXIT_DELAY_MS", L"7000");
    api_.init(0);
    ASSERT_EQ(0, api_.start_process_thread());
    SetEnvironmentVariableW(L"TDENGINE_EXIT_DELAY_MS", nullptr);
    const int lingering = api_.get_tp_process_id();
    HANDLE old = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(lingering));
    ASSERT_NE(nullptr, old);
    EXPECT_EQ(0, api_.uninit());  // gives up waiting after 5 s
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(old, 0));

    api_.init(0);
    const DWORD t0 = GetTickCount();
    EXPECT_EQ(0, api_.start_process_thread());
    EXPECT_LT(elapsed_since(t0), 10000u);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(old, 0));
    CloseHandle(old);
    EXPECT_NE(lingering, api_.get_tp_process_id());

    world_server world(work_ + "/world");
    ASSERT_TRUE(world.start("--game-file s.bin:1M"));
    const int id = create(world.url("s.bin"));
    EXPECT_EQ(0, api_.start_task(id));
    EXPECT_EQ(11, wait_state(id, 11, 60000).state);
    EXPECT_EQ(world.digest("s.bin"), sha256_file(downloads_ + "s.bin"));
}

// The engine serves every library of its folder, as the host's takes over
// the client's downloads: one library's uninit stops only its own tasks, and
// a download of another process goes on to the end.
TEST_F(Engine, OneLibraryLeavingStopsOnlyItsOwnTasks) {
    world_server world(work_ + "/world");
    ASSERT_TRUE(world.start("--game-file mine.bin:16M --game-file theirs.bin:4M --rate 262144"));
    const int pid = api_.get_tp_process_id();
    const int mine = create(world.url("mine.bin"));
    ASSERT_EQ(0, api_.start_task(mine));

    const std::string get = bin_ + "\\tdengine-get.exe";
    ASSERT_TRUE(CopyFileA((win_path(TESSALY_ENGINE_DIR) + "\\tdengine-get.exe").c_str(),
                          get.c_str(), FALSE));
    const std::string other_folder = win_path(work_) + "\\other";
    const std::string other = other_folder + "\\";
    CreateDirectoryA(other_folder.c_str(), nullptr);
    std::string command =
        "\"" + get + "\" " + world.url("theirs.bin") + " \"" + other_folder + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION theirs{};
    ASSERT_TRUE(CreateProcessA(get.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &si, &theirs));
    CloseHandle(theirs.hThread);
    // Both downloads under way in the one engine.
    for (int waited = 0; waited < 20000 && !file_exists(other + "theirs.bin.td"); waited += 50) {
        Sleep(50);
    }
    EXPECT_EQ(pid, api_.get_tp_process_id());
    const int state = query(mine).state;
    EXPECT_TRUE(state == 2 || state == 3) << state;  // connecting or receiving

    const DWORD t0 = GetTickCount();
    EXPECT_EQ(0, api_.uninit());
    EXPECT_LT(elapsed_since(t0), 4000u);  // no wait for an engine that stays
    HANDLE engine = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    ASSERT_NE(nullptr, engine);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(engine, 0));

    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(theirs.hProcess, 60000));
    DWORD code = 99;
    GetExitCodeProcess(theirs.hProcess, &code);
    CloseHandle(theirs.hProcess);
    EXPECT_EQ(0u, code) << "the other library's download ended early";
    EXPECT_EQ(world.digest("theirs.bin"), sha256_file(other + "theirs.bin"));
    // Mine was stopped and kept for later, not finished.
    EXPECT_FALSE(file_exists(downloads_ + "mine.bin"));
    EXPECT_TRUE(file_exists(downloads_ + "mine.bin.td"));
    // Its last library gone, the engine ends.
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(engine, 15000));
    CloseHandle(engine);
}

}  // namespace
