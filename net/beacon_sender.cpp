#include "net/beacon_sender.h"

#include <winsock2.h>

namespace qm::win32::net {

beacon_sender::~beacon_sender() = default;

void beacon_sender::send(const std::string& url) {
    auto client = std::make_unique<asyn_http>(this);
    client->set_timeouts(timeouts_);
    client->set_body_limit(answer_limit);
    if (!client->get(next_number_, url)) {
        return;
    }
    clients_.emplace(next_number_, std::move(client));
    ++next_number_;
}

void beacon_sender::shutdown() {
    if (clients_.empty()) {
        WSACleanup();
    } else {
        cleanup_pending_ = true;
    }
}

void beacon_sender::on_response(int request_id, http_response&) {
    end(request_id);
}

void beacon_sender::on_error(int request_id, int) {
    end(request_id);
}

void beacon_sender::end(int request_id) {
    const auto found = clients_.find(request_id);
    if (found != clients_.end()) {
        // Destroys the client inside its own callback; it touches nothing after.
        clients_.erase(found);
    }
    if (cleanup_pending_ && clients_.empty()) {
        cleanup_pending_ = false;
        WSACleanup();
    }
}

}  // namespace qm::win32::net
