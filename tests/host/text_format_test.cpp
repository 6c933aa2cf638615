#include "host/text_format.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::wstring size_of(unsigned long long bytes) {
    std::wstring text = L"unchanged";
    size_text(bytes, text);
    return text;
}

std::wstring duration_of(unsigned long long seconds) {
    std::wstring text = L"unchanged";
    EXPECT_EQ(duration_text(seconds, text), 1);
    return text;
}

TEST(SizeText, UnitBoundaries) {
    EXPECT_EQ(size_of(0), L"0B");
    EXPECT_EQ(size_of(1023), L"1023B");
    EXPECT_EQ(size_of(1024), L"1.00KB");
    EXPECT_EQ(size_of(1536), L"1.50KB");
    EXPECT_EQ(size_of((1ull << 20) - 1), L"1024.00KB");
    EXPECT_EQ(size_of(1ull << 20), L"1.00MB");
    EXPECT_EQ(size_of((1ull << 30) - 1), L"1024.00MB");
    EXPECT_EQ(size_of(1ull << 30), L"1.00GB");
    EXPECT_EQ(size_of((1ull << 40) - 1), L"1024.00GB");
    EXPECT_EQ(size_of(1ull << 40), L"1.00TB");
    EXPECT_EQ(size_of((1ull << 50) - 1), L"1024.00TB");
    EXPECT_EQ(size_of(3ull * (1ull << 30) + (1ull << 29)), L"3.50GB");
}

TEST(SizeText, FromTwoToTheFiftyTheTextStaysAsItWas) {
    std::wstring text = L"before";
    EXPECT_EQ(size_text(1ull << 50, text), 0);
    EXPECT_EQ(text, L"before");
    EXPECT_EQ(size_text(~0ull, text), 0);
    EXPECT_EQ(text, L"before");
    EXPECT_EQ(size_text(1023, text), 1);
    EXPECT_EQ(text, L"1023B");
}

TEST(SizeText, RoundsLikePrintfTwoDecimals) {
    EXPECT_EQ(size_of(1034), L"1.01KB");   // 1.009765625
    EXPECT_EQ(size_of(1029), L"1.00KB");   // 1.0048828125
    EXPECT_EQ(size_of(1152), L"1.12KB");   // exactly 1.125: the tie goes to even
    EXPECT_EQ(size_of(1408), L"1.38KB");   // exactly 1.375
    EXPECT_EQ(size_of(10234), L"9.99KB");  // 9.994140625
#ifndef _WIN32
    // glibc prints the exact binary value correctly rounded: the digits must
    // agree over a sweep of every unit.
    for (unsigned shift = 10; shift <= 40; shift += 10) {
        const unsigned long long low_mask = (1ull << (shift - 10)) - 1;
        for (unsigned long long m = 1024; m < 1024 * 1024; m += 7) {
            // m sets the digits shown; the low bits vary what lies below them.
            const unsigned long long bytes = (m << (shift - 10)) + ((m * 2654435761ull) & low_mask);
            char expected[64];
            std::snprintf(expected, sizeof(expected), "%.2f",
                          static_cast<double>(bytes) / static_cast<double>(1ull << shift));
            std::wstring text;
            ASSERT_EQ(size_text(bytes, text), 1);
            const std::string digits(text.begin(), text.end() - 2);
            ASSERT_EQ(digits, expected) << bytes;
        }
    }
#endif
}

TEST(DurationText, UnitBoundaries) {
    EXPECT_EQ(duration_of(0), L"0\u79d2");
    EXPECT_EQ(duration_of(59), L"59\u79d2");
    EXPECT_EQ(duration_of(60), L"1\u5206");
    EXPECT_EQ(duration_of(61), L"1\u52061\u79d2");
    EXPECT_EQ(duration_of(3599), L"59\u520659\u79d2");
    EXPECT_EQ(duration_of(3600), L"1\u5c0f\u65f6");
    EXPECT_EQ(duration_of(3659), L"1\u5c0f\u65f6");
    EXPECT_EQ(duration_of(3660), L"1\u5c0f\u65f61\u5206");
    EXPECT_EQ(duration_of(86399), L"23\u5c0f\u65f659\u5206");
    EXPECT_EQ(duration_of(86400), L"1\u5929");
    EXPECT_EQ(duration_of(86400 + 3599), L"1\u5929");
    EXPECT_EQ(duration_of(90000), L"1\u59291\u5c0f\u65f6");
    EXPECT_EQ(duration_of(2678399), L"30\u592923\u5c0f\u65f6");
    EXPECT_EQ(duration_of(2678400), L"\u5927\u4e8e\u4e00\u4e2a\u6708");
    EXPECT_EQ(duration_of(~0ull), L"\u5927\u4e8e\u4e00\u4e2a\u6708");
}

}  // namespace
