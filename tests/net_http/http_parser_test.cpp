// The incremental response parser and chunk decoder, fed whole and in pieces.
#include <gtest/gtest.h>

#include <vector>

#include "net/http_chunk_decoder.h"
#include "net/http_response_parser.h"
#include "net/http_result.h"

namespace qm::win32::net {
namespace {

struct outcome {
    int result = -1;
    http_response response;
    std::string body;
    std::size_t consumed = 0;  // bytes of the input that the message took
    http_response_parser parser;
};

// Feeds `input` cut at the given offsets, as a socket would deliver it; stops at
// the first result other than http_need_more.
void run(outcome& o, const std::string& input, const std::vector<std::size_t>& cuts = {}) {
    std::size_t from = 0;
    std::vector<std::size_t> ends = cuts;
    ends.push_back(input.size());
    for (std::size_t end : ends) {
        if (end <= from) {
            continue;
        }
        std::size_t consumed = 12345;
        o.result = feed(o.parser, input.data() + from, end - from, o.response, consumed, o.body);
        if (o.result == http_need_more) {
            EXPECT_EQ(consumed, end - from);
        }
        o.consumed = from + consumed;
        from = end;
        if (o.result != http_need_more) {
            return;
        }
    }
}

// The same input must give the same outcome whole, cut once at every offset,
// and fed one byte at a time.
template <typename Check>
void at_every_cut(const std::string& input, Check check) {
    {
        outcome o;
        run(o, input);
        SCOPED_TRACE("whole");
        check(o);
    }
    for (std::size_t cut = 1; cut < input.size(); ++cut) {
        outcome o;
        run(o, input, {cut});
        SCOPED_TRACE("cut at " + std::to_string(cut));
        check(o);
    }
    std::vector<std::size_t> bytes;
    for (std::size_t i = 1; i < input.size(); ++i)
        bytes.push_back(i);
    outcome o;
    run(o, input, bytes);
    SCOPED_TRACE("byte by byte");
    check(o);
}

TEST(HttpParser, ContentLengthBodyLeavesFollowingBytesUnconsumed) {
    const std::string msg = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nServer: t\r\n\r\nhello";
    at_every_cut(msg + "HTTP/1.1 200", [&](outcome& o) {
        ASSERT_EQ(o.result, 0);
        EXPECT_EQ(o.body, "hello");
        EXPECT_EQ(o.consumed, msg.size());
        EXPECT_EQ(o.response.status, 200);
        EXPECT_EQ(o.response.reason, "OK");
        EXPECT_EQ(o.response.version, "HTTP/1.1");
        ASSERT_EQ(o.response.headers.size(), 2u);
        EXPECT_EQ(o.response.headers.find("Server"), "t");
        EXPECT_TRUE(o.parser.complete());
        EXPECT_EQ(o.parser.received(), 5u);
    });
}

TEST(HttpParser, ChunkedWithExtensionsAndTrailerAtEveryCut) {
    const std::string msg =
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n"
        "4;name=\"v\"; flag ;=skip; k = x \r\nWiki\r\n"
        "0000000A\r\n0123456789\r\n"
        "0;last=1\r\nExpires: never\r\nX-T: a b\r\n\r\n";
    at_every_cut(msg + "junk", [&](outcome& o) {
        ASSERT_EQ(o.result, 0);
        EXPECT_EQ(o.body, "Wiki0123456789");
        EXPECT_EQ(o.consumed, msg.size());
        ASSERT_EQ(o.response.chunks.size(), 2u);
        EXPECT_EQ(o.response.chunks[0].size, 4u);
        const http_headers& ext = o.response.chunks[0].extensions;
        ASSERT_EQ(ext.size(), 3u);
        EXPECT_EQ(ext[0], http_headers::field("name", "v"));
        EXPECT_EQ(ext[1], http_headers::field("flag", ""));
        EXPECT_EQ(ext[2], http_headers::field("k", "x"));
        EXPECT_EQ(o.response.chunks[1].size, 10u);
        EXPECT_TRUE(o.response.chunks[1].extensions.empty());
        ASSERT_EQ(o.response.trailer.size(), 2u);
        EXPECT_EQ(o.response.trailer.find("Expires"), "never");
        EXPECT_EQ(o.response.trailer.find("X-T"), "a b");
        EXPECT_TRUE(o.parser.chunked());
    });
}

TEST(HttpParser, ChunkedWikiWithEmptyTrailerAtEveryPairOfCuts) {
    const std::string msg =
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nWiki\r\n0\r\n\r\n";
    for (std::size_t i = 1; i < msg.size(); ++i) {
        for (std::size_t j = i + 1; j < msg.size(); ++j) {
            outcome o;
            run(o, msg, {i, j});
            ASSERT_EQ(o.result, 0) << i << " " << j;
            ASSERT_EQ(o.body, "Wiki");
            ASSERT_EQ(o.consumed, msg.size());
            ASSERT_EQ(o.response.chunks.size(), 1u);
            ASSERT_EQ(o.response.chunks[0].size, 4u);
            ASSERT_TRUE(o.response.trailer.empty());
        }
    }
}

// A long body in tiny chunks: every byte decoded, but the per-chunk record
// stops growing, whichever way the bytes arrive.
TEST(HttpParser, ChunkRecordsAreBoundedWhileTheBodyIsWhole) {
    std::string msg = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    std::string expected;
    for (int i = 0; i < 5000; ++i) {
        const char c = static_cast<char>('a' + i % 26);
        msg += i % 2 ? "1;n=" + std::to_string(i) + "\r\n" : std::string("1\r\n");
        msg += c;
        msg += "\r\n";
        expected += c;
    }
    msg += "0\r\n\r\n";
    for (const std::vector<std::size_t>& cuts :
         {std::vector<std::size_t>{}, std::vector<std::size_t>{70, 71, 5000, 5001, 20000}}) {
        outcome o;
        run(o, msg, cuts);
        ASSERT_EQ(o.result, 0);
        EXPECT_EQ(o.body, expected);
        ASSERT_EQ(o.response.chunks.size(), http_chunk_decoder::max_chunk_records);
        EXPECT_EQ(o.response.chunks[1].extensions.find("n"), "1");
        EXPECT_EQ(o.response.chunks.back().size, 1u);
    }
}

TEST(HttpParser, ChunkedOverridesContentLength) {
    outcome o;
    run(o,
        "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nTransfer-Encoding: chunked\r\n\r\n"
        "3\r\nabc\r\n0\r\n\r\n");
    EXPECT_EQ(o.result, 0);
    EXPECT_EQ(o.body, "abc");
    EXPECT_EQ(o.parser.declared_length(), -1);
}

TEST(HttpParser, NoBodyStatusesEndWithTheHead) {
    for (int status : {204, 205, 304}) {
        const std::string head = "HTTP/1.1 " + std::to_string(status) +
                                 " X\r\nContent-Length: 10\r\nTransfer-Encoding: chunked\r\n\r\n";
        at_every_cut(head + "0123456789", [&](outcome& o) {
            ASSERT_EQ(o.result, 0);
            EXPECT_EQ(o.response.status, status);
            EXPECT_EQ(o.body, "");
            EXPECT_EQ(o.consumed, head.size());
            EXPECT_EQ(o.parser.declared_length(), 0);
            EXPECT_TRUE(o.response.chunks.empty());
        });
    }
}

TEST(HttpParser, HeadLimit) {
    // Without the empty line: 8192 buffered bytes wait, 8193 fail.
    const std::string start = "HTTP/1.1 200 OK\r\nX-Pad: ";
    std::string open = start + std::string(8192 - start.size(), 'a');
    outcome waiting;
    run(waiting, open, {100, 5000});
    EXPECT_EQ(waiting.result, http_need_more);
    std::size_t consumed = 0;
    std::string body;
    EXPECT_EQ(feed(waiting.parser, "a", 1, waiting.response, consumed, body), http_malformed);
    outcome at_once;
    run(at_once, open + "a");
    EXPECT_EQ(at_once.result, http_malformed);

    // A complete head of exactly 8192 bytes parses; one of 8193 fails, however split.
    const std::string tail = "\r\nContent-Length: 2\r\n\r\n";
    std::string fits = start + std::string(8192 - start.size() - tail.size(), 'b') + tail;
    ASSERT_EQ(fits.size(), 8192u);
    for (const std::vector<std::size_t>& cuts :
         {std::vector<std::size_t>{}, {8190}, {8191}, {4000, 8192}}) {
        outcome o;
        run(o, fits + "ok", cuts);
        EXPECT_EQ(o.result, 0);
        EXPECT_EQ(o.body, "ok");
        EXPECT_EQ(o.response.headers.find("X-Pad").size(), 8192 - start.size() - tail.size());
    }
    std::string over = start + "b" + fits.substr(start.size());
    ASSERT_EQ(over.size(), 8193u);
    for (const std::vector<std::size_t>& cuts :
         {std::vector<std::size_t>{}, {8190}, {8192}, {8193}, {4000, 8192}}) {
        outcome o;
        run(o, over + "ok", cuts);
        EXPECT_EQ(o.result, http_malformed);
    }
}

TEST(HttpParser, BadHeadLinesFailTheWholeResponse) {
    for (const char* head : {
             "HTTP/1.1 200 OK\r\nContent-Length:5\r\n\r\n",  // no space after the colon
             "HTTP/1.1 200 OK\r\nServer: \r\n\r\n",          // empty value
             "HTTP/1.1 200 OK\r\n: v\r\n\r\n",               // empty name
             "HTTP/1.1 200 OK\r\nNoColon\r\nA: b\r\n\r\n",   // name may not run into the next line
             "HTTP/1.1 200 OK\r\nContent-Length : 5\r\n\r\n",  // blank inside the name
             "HTTP/1.1 200 OK\r\n folded: x\r\n\r\n",
             "HTTP/1.1 200 OK\r\nA: b\nC: d\r\n\r\n",  // bare LF in a value
             "HTTP/1.1 200 OK\r\nA: b\r\n\rX\r\n\r\n",
             "HTTP/1.1 200\r\n\r\n",  // no reason
             "HTTP/1.1 200 \r\n\r\n", "HTTP/1.1 000 Zero\r\n\r\n", "HTTP/1.1 20x OK\r\n\r\n",
             "HTTP/1.1 2000 OK\r\n\r\n",
             " 200 OK\r\n\r\n",                // no version
             "HTTP/1.1\r\nA: 200 OK\r\n\r\n",  // status line ends early
         }) {
        outcome o;
        run(o, head);
        EXPECT_EQ(o.result, http_bad_head) << head;
        EXPECT_TRUE(o.response.headers.empty()) << head;
        std::size_t consumed = 0;
        std::string body;
        EXPECT_EQ(feed(o.parser, "x", 1, o.response, consumed, body), http_bad_head) << head;
    }
}

TEST(HttpParser, WithoutLengthTheBodyEndsAtClose) {
    // Only the exact field name counts, and text in other fields or in the body
    // is never taken for it.
    const std::string msg =
        "HTTP/1.0 200 Fine\r\ncontent-length: 3\r\nX-Content-Length: 2\r\n\r\n"
        "Content-Length: 1\r\n\r\nrest";
    at_every_cut(msg, [&](outcome& o) {
        ASSERT_EQ(o.result, http_need_more);
        EXPECT_EQ(o.parser.declared_length(), -1);
        EXPECT_EQ(o.body, "Content-Length: 1\r\n\r\nrest");
        EXPECT_EQ(o.response.version, "HTTP/1.0");
        EXPECT_EQ(o.response.reason, "Fine");
        EXPECT_EQ(finish_at_close(o.parser, o.response), 0);
        EXPECT_TRUE(o.parser.complete());
        std::size_t consumed = 0;
        std::string more;
        EXPECT_EQ(feed(o.parser, "x", 1, o.response, consumed, more), http_already_complete);
        EXPECT_EQ(finish_at_close(o.parser, o.response), http_closed_early);
    });
}

TEST(HttpParser, CloseBeforeTheEndIsEarly) {
    for (const char* partial : {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n",
                                "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nabc",
                                "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nab",
                                "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n"}) {
        outcome o;
        run(o, partial);
        EXPECT_EQ(o.result, http_need_more) << partial;
        EXPECT_EQ(finish_at_close(o.parser, o.response), http_closed_early) << partial;
        EXPECT_FALSE(o.parser.complete());
    }
    http_response_parser fresh;
    http_response r;
    EXPECT_EQ(finish_at_close(fresh, r), http_closed_early);
}

TEST(HttpParser, NoDataAndAfterComplete) {
    http_response_parser p;
    http_response r;
    std::size_t consumed = 7;
    std::string body;
    EXPECT_EQ(feed(p, nullptr, 4, r, consumed, body), http_no_data);
    EXPECT_EQ(feed(p, "x", 0, r, consumed, body), http_no_data);
    const std::string msg = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n";
    EXPECT_EQ(feed(p, msg.data(), msg.size(), r, consumed, body), 0);
    EXPECT_EQ(r.status, 404);
    EXPECT_EQ(feed(p, "x", 1, r, consumed, body), http_already_complete);
}

TEST(HttpParser, LargeContentLengthIsCountedIn64Bits) {
    for (const char* value : {"2147483648", "4294967296", "4294967301", "9223372036854775807"}) {
        outcome o;
        run(o, std::string("HTTP/1.1 200 OK\r\nContent-Length: ") + value + "\r\n\r\n0123456789");
        EXPECT_EQ(o.result, http_need_more) << value;
        EXPECT_EQ(o.parser.declared_length(), std::stoll(value));
        EXPECT_EQ(o.body, "0123456789");
        EXPECT_EQ(o.parser.received(), 10u);
        EXPECT_EQ(finish_at_close(o.parser, o.response), http_closed_early);
    }
}

TEST(HttpParser, UnusableContentLengthIsRefused) {
    for (const char* fields :
         {"Content-Length: 9223372036854775808\r\n", "Content-Length: 18446744073709551621\r\n",
          "Content-Length: 99999999999999999999999999\r\n", "Content-Length: -1\r\n",
          "Content-Length: +5\r\n", "Content-Length: 5abc\r\n", "Content-Length: x\r\n",
          "Content-Length: 5, 5\r\n", "Content-Length: 5\r\nContent-Length: 6\r\n"}) {
        outcome o;
        run(o, std::string("HTTP/1.1 200 OK\r\n") + fields + "\r\nhello");
        EXPECT_EQ(o.result, http_bad_head) << fields;
        EXPECT_TRUE(o.response.headers.empty()) << fields;
    }
    outcome agree;
    run(agree, "HTTP/1.1 200 OK\r\nContent-Length:  5 \r\nContent-Length: 05\r\n\r\nhello!");
    EXPECT_EQ(agree.result, 0);
    EXPECT_EQ(agree.body, "hello");
}

const char chunked_head[] = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";

TEST(HttpParser, ChunkSizeLines) {
    for (const char* line : {"100000000\r\n", "fffffffff\r\n", "10000000000000004\r\n", "-1\r\n",
                             "0x10\r\n", "zz\r\n", "\r\n", ";ext\r\n", "4 4\r\n", "4x\r\n"}) {
        at_every_cut(std::string(chunked_head) + line + "Wiki\r\n0\r\n\r\n",
                     [&](outcome& o) { EXPECT_EQ(o.result, http_bad_chunk_size) << line; });
    }
    outcome big;
    run(big, std::string(chunked_head) + "FFFFFFFF\r\nabc");
    EXPECT_EQ(big.result, http_need_more);
    ASSERT_EQ(big.response.chunks.size(), 1u);
    EXPECT_EQ(big.response.chunks[0].size, 0xffffffffu);
    EXPECT_EQ(big.body, "abc");

    outcome zeros;
    run(zeros, std::string(chunked_head) + "00000000000000000004 ; a=1\r\nWiki\r\n0\r\n\r\n");
    EXPECT_EQ(zeros.result, 0);
    EXPECT_EQ(zeros.body, "Wiki");
}

TEST(HttpParser, ChunkDataMustEndWithCrlf) {
    for (const char* rest :
         {"4\r\nWikiX\r\n0\r\n\r\n", "4\r\nWiki\rX0\r\n\r\n", "4\r\nWiki\n\r0\r\n\r\n"}) {
        at_every_cut(std::string(chunked_head) + rest,
                     [&](outcome& o) { EXPECT_EQ(o.result, http_malformed) << rest; });
    }
}

TEST(HttpParser, ChunkSizeLineLimit) {
    // A size line may take 8192 bytes with its CRLF; one byte more fails.
    const std::string fits = "1;x=" + std::string(8192 - 6, 'e') + "\r\n";
    ASSERT_EQ(fits.size(), 8192u);
    const std::string body = "Z\r\n0\r\n\r\n";
    const std::string head = chunked_head;
    for (const std::vector<std::size_t>& cuts : {std::vector<std::size_t>{},
                                                 {head.size() + 8190},
                                                 {head.size() + 8191},
                                                 {head.size() + 10}}) {
        outcome ok;
        run(ok, head + fits + body, cuts);
        EXPECT_EQ(ok.result, 0);
        EXPECT_EQ(ok.body, "Z");
        outcome over;
        run(over, head + "1;x=e" + fits.substr(4) + body, cuts);
        EXPECT_EQ(over.result, http_malformed);
    }
}

TEST(HttpParser, TrailerLimitAndBadTrailer) {
    const std::string start = std::string(chunked_head) + "1\r\nA\r\n0\r\n";
    const std::string field = "X-Pad: ";
    const std::string fits = field + std::string(8192 - field.size() - 4, 't') + "\r\n\r\n";
    ASSERT_EQ(fits.size(), 8192u);
    for (const std::vector<std::size_t>& cuts :
         {std::vector<std::size_t>{}, {start.size() + 1}, {start.size() + 8191}}) {
        outcome ok;
        run(ok, start + fits + "after", cuts);
        EXPECT_EQ(ok.result, 0);
        EXPECT_EQ(ok.consumed, start.size() + fits.size());
        EXPECT_EQ(ok.response.trailer.find("X-Pad").size(), 8192 - field.size() - 4);
        outcome over;
        run(over, start + "t" + fits, cuts);
        EXPECT_EQ(over.result, http_malformed);
    }
    at_every_cut(start + "Bad:x\r\n\r\n", [](outcome& o) {
        EXPECT_EQ(o.result, http_malformed);
        EXPECT_TRUE(o.response.trailer.empty());
    });
}

TEST(HttpChunkDecoder, DirectUse) {
    http_chunk_decoder d;
    http_response r;
    std::string out;
    std::size_t consumed = 0;
    EXPECT_EQ(feed(d, "", 0, r, consumed, out), http_no_data);
    const std::string body = "2\r\nab\r\n0\r\n\r\nnext";
    EXPECT_EQ(feed(d, body.data(), 5, r, consumed, out), http_need_more);
    EXPECT_EQ(consumed, 5u);
    EXPECT_EQ(d.chunk_size(), 2u);
    EXPECT_EQ(d.chunk_delivered(), 2u);
    EXPECT_EQ(feed(d, body.data() + 5, body.size() - 5, r, consumed, out), 0);
    EXPECT_EQ(consumed, body.size() - 5 - 4);
    EXPECT_TRUE(d.last_chunk_seen());
    EXPECT_TRUE(d.trailer_done());
    EXPECT_EQ(out, "ab");
    EXPECT_EQ(feed(d, "x", 1, r, consumed, out), http_already_complete);
}

}  // namespace
}  // namespace qm::win32::net
