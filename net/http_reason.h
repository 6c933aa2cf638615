// Reason phrases of the HTTP/1.1 status codes.
#pragma once

#include <string>

namespace qm::win32::net {

// The standard phrase for a status code ("Request Time-out", "Gateway Time-out"...);
// an empty string for codes without one (306 included).
std::string reason_phrase(int code);

}  // namespace qm::win32::net
