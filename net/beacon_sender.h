#pragma once
// Sends statistics beacons: plain GET requests whose answers are ignored.
// Each beacon runs on a client of its own and is forgotten when that client
// calls back. Winsock is cleaned up at shutdown, or, while beacons are still
// in flight, when the last of them ends.

#include <cstddef>
#include <map>
#include <memory>
#include <string>

#include "net/asyn_http.h"

namespace qm::win32::net {

class beacon_sender : public asyn_http_event {
  public:
    beacon_sender() = default;
    ~beacon_sender() override;
    beacon_sender(const beacon_sender&) = delete;
    beacon_sender& operator=(const beacon_sender&) = delete;

    // Starts one beacon for an ANSI URL; a beacon that cannot start is
    // dropped silently.
    void send(const std::string& url);
    // Worker shutdown: WSACleanup now, or once the last beacon in flight ends.
    void shutdown();
    // Limits of the beacons sent after the call.
    void set_timeouts(const tcp_timeouts& timeouts) { timeouts_ = timeouts; }

    // An answer to a beacon is "OK": more than this ends the beacon.
    static constexpr std::uint64_t answer_limit = 64u << 10;

    std::size_t in_flight() const { return clients_.size(); }
    bool cleanup_pending() const { return cleanup_pending_; }

  private:
    void on_response(int request_id, http_response& response) override;
    void on_error(int request_id, int error) override;
    void end(int request_id);

    std::map<int, std::unique_ptr<asyn_http>> clients_;
    int next_number_ = 1;
    bool cleanup_pending_ = false;
    tcp_timeouts timeouts_;
};

}  // namespace qm::win32::net
