// An HTTP response as the parser fills it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "net/http_headers.h"

namespace qm::win32::net {

// One data chunk of a chunked body: its size and the extensions of its size line.
struct http_chunk {
    std::uint32_t size = 0;
    http_headers extensions;
};

struct http_response {
    std::string version = "HTTP/1.1";
    std::int32_t status = 200;
    std::string reason = "OK";
    http_headers headers;
    std::string body;
    // The first data chunks in arrival order (chunked coding only; at most
    // http_chunk_decoder::max_chunk_records).
    std::vector<http_chunk> chunks;
    http_headers trailer;  // fields after the last chunk
};

}  // namespace qm::win32::net
