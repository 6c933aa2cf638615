// Fixed texts of the HTTP/1.1 client dialect: scheme, version, separators,
// method names and header field names. Field names are spelled as HTTP/1.1
// spells them; header lookups compare names exactly, so use these.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qm::win32::net {

constexpr std::uint16_t http_default_port = 80;
constexpr char http_scheme[] = "http://";
constexpr char http_version_1_1[] = "HTTP/1.1";
constexpr char http_space[] = " ";
constexpr char http_crlf[] = "\r\n";
constexpr char http_field_separator[] = ": ";

// Limit for a response head or a trailer, and (exclusive) for a chunk-size line.
constexpr std::size_t http_head_limit = 8192;

// Method names in the order HTTP/1.1 lists them; only GET is sent.
constexpr const char* http_methods[] = {"OPTIONS", "GET",    "HEAD",  "POST",
                                        "PUT",     "DELETE", "TRACE", "CONNECT"};
constexpr char http_method_get[] = "GET";

namespace http_field {

// General fields.
constexpr char cache_control[] = "Cache-Control";
constexpr char connection[] = "Connection";
constexpr char date[] = "Date";
constexpr char pragma[] = "Pragma";
constexpr char trailer[] = "Trailer";
constexpr char transfer_encoding[] = "Transfer-Encoding";
constexpr char upgrade[] = "Upgrade";
constexpr char via[] = "Via";
constexpr char warning[] = "Warning";

// Request fields.
constexpr char accept[] = "Accept";
constexpr char accept_charset[] = "Accept-Charset";
constexpr char accept_encoding[] = "Accept-Encoding";
constexpr char accept_language[] = "Accept-Language";
constexpr char authorization[] = "Authorization";
constexpr char expect[] = "Expect";
constexpr char from[] = "From";
constexpr char host[] = "Host";
constexpr char if_match[] = "If-Match";
constexpr char if_modified_since[] = "If-Modified-Since";
constexpr char if_none_match[] = "If-None-Match";
constexpr char if_range[] = "If-Range";
constexpr char if_unmodified_since[] = "If-Unmodified-Since";
constexpr char max_forwards[] = "Max-Forwards";
constexpr char proxy_authorization[] = "Proxy-Authorization";
constexpr char range[] = "Range";
constexpr char referer[] = "Referer";
constexpr char te[] = "TE";
constexpr char user_agent[] = "User-Agent";

// Response fields.
constexpr char accept_ranges[] = "Accept-Ranges";
constexpr char age[] = "Age";
constexpr char etag[] = "ETag";
constexpr char location[] = "Location";
constexpr char proxy_authenticate[] = "Proxy-Authenticate";
constexpr char retry_after[] = "Retry-After";
constexpr char server[] = "Server";
constexpr char vary[] = "Vary";
constexpr char www_authenticate[] = "WWW-Authenticate";

// Entity fields.
constexpr char allow[] = "Allow";
constexpr char content_encoding[] = "Content-Encoding";
constexpr char content_language[] = "Content-Language";
constexpr char content_length[] = "Content-Length";
constexpr char content_location[] = "Content-Location";
constexpr char content_md5[] = "Content-MD5";
constexpr char content_range[] = "Content-Range";
constexpr char content_type[] = "Content-Type";
constexpr char expires[] = "Expires";
constexpr char last_modified[] = "Last-Modified";

}  // namespace http_field

constexpr const char* http_general_fields[] = {
    http_field::cache_control, http_field::connection, http_field::date,
    http_field::pragma,        http_field::trailer,    http_field::transfer_encoding,
    http_field::upgrade,       http_field::via,        http_field::warning};
constexpr const char* http_request_fields[] = {http_field::accept,
                                               http_field::accept_charset,
                                               http_field::accept_encoding,
                                               http_field::accept_language,
                                               http_field::authorization,
                                               http_field::expect,
                                               http_field::from,
                                               http_field::host,
                                               http_field::if_match,
                                               http_field::if_modified_since,
                                               http_field::if_none_match,
                                               http_field::if_range,
                                               http_field::if_unmodified_since,
                                               http_field::max_forwards,
                                               http_field::proxy_authorization,
                                               http_field::range,
                                               http_field::referer,
                                               http_field::te,
                                               http_field::user_agent};
constexpr const char* http_response_fields[] = {http_field::accept_ranges,
                                                http_field::age,
                                                http_field::etag,
                                                http_field::location,
                                                http_field::proxy_authenticate,
                                                http_field::retry_after,
                                                http_field::server,
                                                http_field::vary,
                                                http_field::www_authenticate};
constexpr const char* http_entity_fields[] = {
    http_field::allow,          http_field::content_encoding, http_field::content_language,
    http_field::content_length, http_field::content_location, http_field::content_md5,
    http_field::content_range,  http_field::content_type,     http_field::expires,
    http_field::last_modified};

}  // namespace qm::win32::net
