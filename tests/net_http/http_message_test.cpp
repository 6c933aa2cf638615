// Header lists, URLs, GET requests, the request writer and reason phrases.
#include <gtest/gtest.h>

#include <set>

#include "net/http_headers.h"
#include "net/http_reason.h"
#include "net/http_request.h"
#include "net/http_url.h"

namespace qm::win32::net {
namespace {

TEST(HttpHeaders, FindAndContainsCompareNamesExactlyAndTakeTheFirst) {
    http_headers h;
    h.add("Host", "a");
    h.add("Host", "b");
    h.add("X-Empty", "");
    EXPECT_EQ(h.find("Host"), "a");
    EXPECT_EQ(h.find("host"), "");
    EXPECT_FALSE(h.contains("HOST"));
    EXPECT_TRUE(h.contains("X-Empty"));
    EXPECT_EQ(h.find_value("Missing"), nullptr);
    ASSERT_NE(h.find_value("X-Empty"), nullptr);
    EXPECT_EQ(h.size(), 3u);
}

TEST(HttpHeaders, SetReplacesRemovesOrAppends) {
    http_headers h;
    h.add("Host", "a");
    h.add("Accept", "x");
    h.add("Host", "b");
    h.set("Host", "c");  // first Host only, in place
    ASSERT_EQ(h.size(), 3u);
    EXPECT_EQ(h[0], http_headers::field("Host", "c"));
    EXPECT_EQ(h[2], http_headers::field("Host", "b"));

    h.set("Host", "");  // removes the first Host
    ASSERT_EQ(h.size(), 2u);
    EXPECT_EQ(h[0].first, "Accept");
    EXPECT_EQ(h.find("Host"), "b");

    h.set("Range", "");  // missing name: appended even though empty
    ASSERT_EQ(h.size(), 3u);
    EXPECT_EQ(h[2], http_headers::field("Range", ""));
    h.clear();
    EXPECT_TRUE(h.empty());
}

TEST(HttpUrl, SplitUrlHostAndPort) {
    std::string host;
    std::uint16_t port = 1;
    EXPECT_TRUE(split_url("http://h", host, port));
    EXPECT_EQ(host, "h");
    EXPECT_EQ(port, 80);
    EXPECT_TRUE(split_url("HTTP://Example.COM:8080/a?b=1", host, port));
    EXPECT_EQ(host, "Example.COM");
    EXPECT_EQ(port, 8080);
    EXPECT_TRUE(split_url("http://h:65535/", host, port));
    EXPECT_EQ(port, 65535);
    // A query straight after the host is not part of the host.
    EXPECT_TRUE(split_url("http://h:81?x=1:2", host, port));
    EXPECT_EQ(host, "h");
    EXPECT_EQ(port, 81);
    // A colon in the path is not a port.
    EXPECT_TRUE(split_url("http://h/a:9", host, port));
    EXPECT_EQ(host, "h");
    EXPECT_EQ(port, 80);
}

TEST(HttpUrl, SplitUrlFailuresClearHostAndPort) {
    for (const char* url :
         {"http://h:/x", "http://h:0", "http://h:65536", "http://h:8x", "http://h:-1",
          "http://:80/", "http:///x", "http://", "https://h/", "ftp://h/x", "h:80", ""}) {
        std::string host = "old";
        std::uint16_t port = 9;
        EXPECT_FALSE(split_url(url, host, port)) << url;
        EXPECT_EQ(host, "") << url;
        EXPECT_EQ(port, 0) << url;
    }
}

TEST(HttpUrl, UrlPath) {
    EXPECT_EQ(url_path("http://h"), "/");
    EXPECT_EQ(url_path("http://h:8080/a?b=1"), "/a?b=1");
    EXPECT_EQ(url_path("Http://h/a/b#frag"), "/a/b#frag");
    EXPECT_EQ(url_path("http://h?gs=1&x=/y"), "/?gs=1&x=/y");
    EXPECT_EQ(url_path("http:///x"), "");
    EXPECT_EQ(url_path("http://"), "");
    EXPECT_EQ(url_path("https://h/a"), "");
}

TEST(HttpRequest, MakeGetRequestHostFieldCarriesPortOnlyWhenNot80) {
    http_request r;
    r.body = "old";
    r.headers.add("Old", "1");
    ASSERT_TRUE(make_get_request("http://h:80/a?b=1", r));
    EXPECT_EQ(r.method, "GET");
    EXPECT_EQ(r.uri, "/a?b=1");
    EXPECT_EQ(r.version, "HTTP/1.1");
    EXPECT_EQ(r.body, "");
    ASSERT_EQ(r.headers.size(), 1u);
    EXPECT_EQ(r.headers[0], http_headers::field("Host", "h"));

    ASSERT_TRUE(make_get_request("http://h:81", r));
    EXPECT_EQ(r.uri, "/");
    EXPECT_EQ(r.headers.find("Host"), "h:81");
}

TEST(HttpRequest, MakeGetRequestFailureEmptiesTheRequest) {
    for (const char* url :
         {"http://h:/", "mailto:x", "http://h/a\r\nX-Injected: 1", "http://h/\x7f"}) {
        http_request r;
        r.headers.add("Host", "x");
        r.body = "b";
        EXPECT_FALSE(make_get_request(url, r)) << url;
        EXPECT_EQ(r.method, "");
        EXPECT_EQ(r.uri, "");
        EXPECT_EQ(r.version, "");
        EXPECT_TRUE(r.headers.empty());
        EXPECT_EQ(r.body, "");
    }
}

TEST(HttpRequest, WriteRequestOrderAndContentLength) {
    http_request r;
    ASSERT_TRUE(make_get_request("http://h:8080/p", r));
    r.headers.add("Connection", "Keep-Alive");
    EXPECT_EQ(write_request(r, true),
              "GET /p HTTP/1.1\r\nHost: h:8080\r\nConnection: Keep-Alive\r\n\r\n");

    r.method = "POST";
    r.body = "abc";
    EXPECT_EQ(write_request(r, true),
              "POST /p HTTP/1.1\r\nContent-Length: 3\r\nHost: h:8080\r\n"
              "Connection: Keep-Alive\r\n\r\nabc");
    EXPECT_EQ(write_request(r, false),
              "POST /p HTTP/1.1\r\nHost: h:8080\r\nConnection: Keep-Alive\r\n\r\n");
    r.headers.add("Content-Length", "3");
    EXPECT_EQ(write_request(r, true),
              "POST /p HTTP/1.1\r\nHost: h:8080\r\nConnection: Keep-Alive\r\n"
              "Content-Length: 3\r\n\r\nabc");
}

TEST(HttpReason, PhrasesAsSpelledAndNoneElsewhere) {
    EXPECT_EQ(reason_phrase(200), "OK");
    EXPECT_EQ(reason_phrase(203), "Non-Authoritative Information");
    EXPECT_EQ(reason_phrase(307), "Temporary Redirect");
    EXPECT_EQ(reason_phrase(408), "Request Time-out");
    EXPECT_EQ(reason_phrase(414), "Request-URI Too Large");
    EXPECT_EQ(reason_phrase(416), "Requested range not satisfiable");
    EXPECT_EQ(reason_phrase(504), "Gateway Time-out");
    EXPECT_EQ(reason_phrase(505), "HTTP Version not supported");

    std::set<int> known = {100, 101, 305, 307};
    for (int c = 200; c <= 206; ++c)
        known.insert(c);
    for (int c = 300; c <= 304; ++c)
        known.insert(c);
    for (int c = 400; c <= 417; ++c)
        known.insert(c);
    for (int c = 500; c <= 505; ++c)
        known.insert(c);
    for (int c = -1; c < 1000; ++c) {
        EXPECT_EQ(reason_phrase(c).empty(), known.count(c) == 0) << c;
    }
    EXPECT_EQ(reason_phrase(306), "");
}

}  // namespace
}  // namespace qm::win32::net
