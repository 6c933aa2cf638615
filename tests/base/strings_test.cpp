#include "host/strings.h"

#include <gtest/gtest.h>

#include <windows.h>

TEST(Strings, NullAndEmptyGiveEmpty) {
    EXPECT_EQ(utf16_to_utf8(static_cast<const wchar_t*>(nullptr)), "");
    EXPECT_EQ(utf8_to_utf16(static_cast<const char*>(nullptr)), L"");
    EXPECT_EQ(cp936_to_utf16(nullptr), L"");
    EXPECT_EQ(utf16_to_ansi(static_cast<const wchar_t*>(nullptr)), "");
    EXPECT_EQ(ansi_to_utf16(static_cast<const char*>(nullptr)), L"");
    EXPECT_EQ(utf16_to_utf8(L""), "");
    EXPECT_EQ(utf8_to_utf16(""), L"");
}

TEST(Strings, Utf8RoundTripsChineseAndSurrogatePairs) {
    const std::wstring text = L"高速下载器 \U0001F600 end";
    const std::string utf8 = utf16_to_utf8(text);
    EXPECT_EQ(utf8,
              "\xE9\xAB\x98\xE9\x80\x9F\xE4\xB8\x8B\xE8\xBD\xBD\xE5\x99\xA8 "
              "\xF0\x9F\x98\x80 end");
    EXPECT_EQ(utf8_to_utf16(utf8), text);
}

TEST(Strings, Utf8OutputFitsThreeBytesPerUnit) {
    // Every unit of this text takes three bytes in UTF-8: the worst case.
    const std::wstring text(5000, L'\x4E2D');
    EXPECT_EQ(utf16_to_utf8(text).size(), 15000u);
}

TEST(Strings, Cp936DecodesGb2312) {
    // "中文" in code page 936.
    EXPECT_EQ(cp936_to_utf16("\xD6\xD0\xCE\xC4"), L"中文");
    EXPECT_EQ(cp936_to_utf16("abc"), L"abc");
}

TEST(Strings, AnsiRoundTripsAscii) {
    EXPECT_EQ(utf16_to_ansi(L"http://127.0.0.1/a?b=c"), "http://127.0.0.1/a?b=c");
    EXPECT_EQ(ansi_to_utf16("C:\\downloads\\"), L"C:\\downloads\\");
}
