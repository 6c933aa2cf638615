// Incremental parser of one HTTP response: status line and header fields, then a
// body delimited by Content-Length, by chunked coding or by the connection's end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "net/http_chunk_decoder.h"
#include "net/http_response.h"
#include "net/http_result.h"

namespace qm::win32::net {

class http_response_parser {
  public:
    bool head_done() const { return head_done_; }
    // Body length the head declared; -1 when it declared none (read to close).
    std::int64_t declared_length() const { return declared_; }
    // Identity-coded body bytes delivered so far.
    std::uint64_t received() const { return received_; }
    bool chunked() const { return chunked_; }
    bool complete() const { return complete_; }

  private:
    friend int feed(http_response_parser&, const char*, std::size_t, http_response&, std::size_t&,
                    std::string&);
    friend int finish_at_close(http_response_parser&, http_response&);
    int parse(const char* data, std::size_t length, http_response& response, std::size_t& consumed,
              std::string& body);

    std::string buffer_;  // bytes of an incomplete head; body bytes are never buffered
    bool head_done_ = false;
    bool chunked_ = false;
    bool complete_ = false;
    int error_ = 0;  // sticky result once the response proved broken
    std::int64_t declared_ = -1;
    std::uint64_t received_ = 0;
    http_chunk_decoder chunks_;
};

// Feeds the next received bytes of a response. The head fills response.version,
// status, reason and headers; decoded body bytes of this call are appended to
// `body` (the response's own body is left to the caller). `consumed` is set to
// `length`, or, when the message completes, to the bytes that belonged to it, so
// that bytes after the message stay with the caller.
// Results: 0 when the message is complete; http_need_more; http_no_data for no
// data; http_already_complete once complete; http_malformed, http_bad_head or
// http_bad_chunk_size for a broken response (after which every later call gives
// the same code). A 204, 205 or 304 status ends with the head. A Content-Length
// that is not a plain decimal number below 2^63, or two Content-Length fields
// that disagree, give http_bad_head.
int feed(http_response_parser& parser, const char* data, std::size_t length,
         http_response& response, std::size_t& consumed, std::string& body);

// The connection ended: 0 (and the parser complete) only for an identity body
// without a declared length, which ends with the connection; http_closed_early
// for anything else that is not yet complete, and also once complete.
int finish_at_close(http_response_parser& parser, http_response& response);

}  // namespace qm::win32::net
