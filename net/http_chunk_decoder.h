// Incremental decoder of a chunked body: chunk-size lines with extensions, chunk
// data, the last chunk and the trailer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "net/http_response.h"

namespace qm::win32::net {

class http_chunk_decoder {
  public:
    // Data chunks recorded in response.chunks; later ones are decoded but not
    // recorded, so that a long body in small chunks costs no memory per chunk.
    static constexpr std::size_t max_chunk_records = 64;

    bool last_chunk_seen() const { return last_chunk_; }
    bool trailer_done() const { return trailer_done_; }
    std::uint32_t chunk_size() const { return size_; }
    std::uint32_t chunk_delivered() const { return delivered_; }

  private:
    friend int feed(http_chunk_decoder&, const char*, std::size_t, http_response&, std::size_t&,
                    std::string&);
    int decode(const char* data, std::size_t length, http_response& response, std::size_t& consumed,
               std::string& output);

    std::string buffer_;  // an incomplete size line, CRLF or trailer; never chunk data
    std::uint32_t size_ = 0;
    std::uint32_t delivered_ = 0;
    bool last_chunk_ = false;
    bool trailer_done_ = false;
    int error_ = 0;  // sticky result once the framing proved broken
};

// Decodes the next bytes of a chunked body. Chunk data is appended to `output`,
// each of the first max_chunk_records data chunks adds an http_chunk to
// response.chunks, the trailer goes to
// response.trailer. `consumed` becomes `length`, or, when the body ends (result
// 0), the count of bytes up to the end of the trailer. Results: 0 (body
// complete), http_need_more, http_no_data, http_already_complete,
// http_bad_chunk_size, http_malformed. After an error the decoder must not be fed
// again.
int feed(http_chunk_decoder& decoder, const char* data, std::size_t length, http_response& response,
         std::size_t& consumed, std::string& output);

}  // namespace qm::win32::net
