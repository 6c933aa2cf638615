// One download of the engine process: the probe request, the piece scheduler
// that shares the file among several range connections, and the record in the
// ".td" file. Everything here runs inside tdengine.exe.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/http_response.h"
#include "net/http_response_parser.h"
#include "standins/engine/td_file.h"

namespace tdengine {

// Bytes per second shared by every connection of the engine; 0 is no limit.
class rate_limiter {
  public:
    void set_rate(std::uint64_t bytes_per_second);
    std::uint64_t rate() const { return rate_.load(); }
    // Waits until `bytes` may be taken; gives up early (false) when `stop` is set.
    bool take(std::size_t bytes, const std::atomic<bool>& stop);

  private:
    std::mutex lock_;
    std::atomic<std::uint64_t> rate_{0};
    double debt_until_ = 0;  // seconds on the limiter's clock when the bytes so far are due
};

class http_conn;

struct task_options {
    int connections = 4;
    std::uint32_t piece_size = 1u << 20;
    rate_limiter* limiter = nullptr;
};

class download_task {
  public:
    download_task(int id, std::string url, std::wstring folder, std::wstring name, bool predownload,
                  task_options options);
    ~download_task();
    download_task(const download_task&) = delete;
    download_task& operator=(const download_task&) = delete;

    int id() const { return id_; }
    // Starts (or restarts after a stop or failure) the transfer; a finished task
    // stays finished. False when the task's target is used by another task.
    // Never waits: a transfer still stopping (stuck in a lookup or a connect)
    // starts over by itself once it has let go.
    bool start();
    // Asks the transfer to stop (and forgets a restart asked for meanwhile);
    // the state turns to stopped once every connection has let go of the file.
    void stop();
    // Stops and waits.
    void stop_and_wait();
    void fill_info(unsigned char* block) const;
    bool set_file_name(const std::wstring& name);
    void set_beyond_limit(bool beyond) { beyond_limit_ = beyond; }
    int last_error() const { return last_error_.load(); }
    // Resources known: 0 before the first answer from the server.
    int resource_state() const;
    int connections_open() const { return open_connections_.load(); }
    std::wstring target_path() const;
    std::int32_t state() const { return state_.load(); }

  private:
    struct claim {
        std::uint32_t first = 0, last = 0;  // pieces, inclusive
    };
    void run_loop();
    std::int32_t run();
    bool probe_and_prepare(http_conn& conn, std::uint32_t& probe_piece, bool& plain);
    bool download_plain(http_conn& conn);
    void worker(int index, http_conn* first_conn, std::uint32_t first_piece);
    bool take_claim(int index, std::uint32_t& cursor, claim& c);
    void release_claim(const claim& c, std::uint32_t from);
    bool fetch_claim(http_conn& conn, const claim& c, std::uint32_t& next_piece);
    bool write_piece_bytes(std::uint32_t piece, std::uint64_t offset, const char* data,
                           std::size_t length, std::uint64_t& piece_written);
    bool same_remote(const std::string& validator, std::uint64_t total) const;
    void fail(int error);
    bool limited() const;

    const int id_;
    const std::string url_;
    const std::wstring folder_;
    const bool predownload_;
    const task_options options_;
    std::string referer_;

    mutable std::mutex lock_;  // guards name_, layout_, piece states, file_
    std::wstring name_;
    bool name_given_ = false;
    td_layout layout_;
    std::vector<std::uint8_t> piece_state_;  // 0 free, 1 claimed, 2 complete
    std::uint64_t done_bytes_ = 0;
    td_file file_;
    bool continued_ = false;
    bool ranges_ = false;
    bool probed_ = false;
    bool fresh_ = false;  // the record on disk was found stale: never read it again
    qm::win32::net::http_response plain_response_;
    qm::win32::net::http_response_parser plain_conn_parser_;

    std::atomic<std::int32_t> state_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> remote_changed_{false};
    std::atomic<bool> failed_{false};
    std::atomic<bool> beyond_limit_{false};
    std::atomic<int> last_error_{0};
    std::atomic<int> open_connections_{0};
    std::atomic<std::uint64_t> total_{0};
    std::atomic<std::uint64_t> received_{0};
    std::atomic<std::uint64_t> in_flight_{0};  // written bytes of pieces not yet complete
    // Guards the hand-over between a run that ends and a start that came
    // while it was stopping: restart_ and exited_.
    std::mutex run_lock_;
    bool restart_ = false;
    bool exited_ = false;
    std::thread thread_;
};

// Name the engine gives a download: Content-Disposition's filename when
// there is one, else the last segment of the URL path, percent-decoded; made
// safe for a file name in the ANSI code page.
std::wstring name_from_url(const std::string& url);
std::wstring name_from_disposition(const std::string& value);

}  // namespace tdengine
