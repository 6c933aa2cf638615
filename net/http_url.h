// Splitting "http://" URLs into host, port and path.
#pragma once

#include <cstdint>
#include <string>

namespace qm::win32::net {

// Host and port of an "http://" URL (scheme in any case). Port 80 when the URL
// names none. False, with an empty host and port 0, for another scheme, an empty
// host, or a port that is empty, not decimal, 0 or above 65535.
bool split_url(const std::string& url, std::string& host, std::uint16_t& port);

// The request URI of an "http://" URL: from the first "/" after the host to the
// end, query and fragment included; "/" when the URL ends after the host ("?query"
// directly after the host gives "/?query"); empty for a URL that is not "http://"
// or whose host part is empty.
std::string url_path(const std::string& url);

}  // namespace qm::win32::net
