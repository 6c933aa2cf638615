// Result codes of the HTTP layer. They travel as plain ints, through the
// parser and up to the client's error callback, beside Winsock codes and HTTP
// status codes, so their values are fixed.
#pragma once

namespace qm::win32::net {

constexpr int http_no_data = 20100001;             // called without data
constexpr int http_already_complete = 20100013;    // data after the message ended
constexpr int http_need_more = 20100018;           // not an error: feed more bytes
constexpr int http_malformed = 25000021;           // head, trailer or framing too long or broken
constexpr int http_closed_early = 26000001;        // connection closed mid-message
constexpr int http_too_many_redirects = 26000002;  // a sixth redirect in a row
constexpr int http_redirect_failed = 26000003;     // redirect target unusable
constexpr int http_bad_head = 26000004;            // status line or header line does not parse
constexpr int http_bad_chunk_size = 26000007;      // chunk-size line is not a usable hex number
constexpr int http_body_too_large = 26000008;      // more body than the client keeps or reads
// A connection that cannot be made, or a reply with no byte for too long,
// ends with the Winsock code WSAETIMEDOUT (10060); see tcp_timeouts.

}  // namespace qm::win32::net
