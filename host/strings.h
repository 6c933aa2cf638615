#pragma once
// Conversions between the program's wide strings and the narrow encodings it
// meets: UTF-8 (XML files, "addin.cfg"), code page 936 (gb2312 documents) and
// the system's ANSI code page (the engine and the HTTP classes). A null or
// empty input gives an empty output.

#include <string>

std::string utf16_to_utf8(const wchar_t* text);
std::wstring utf8_to_utf16(const char* text);
std::wstring cp936_to_utf16(const char* text);
std::string utf16_to_ansi(const wchar_t* text);
std::wstring ansi_to_utf16(const char* text);

inline std::string utf16_to_utf8(const std::wstring& text) { return utf16_to_utf8(text.c_str()); }
inline std::wstring utf8_to_utf16(const std::string& text) { return utf8_to_utf16(text.c_str()); }
inline std::string utf16_to_ansi(const std::wstring& text) { return utf16_to_ansi(text.c_str()); }
inline std::wstring ansi_to_utf16(const std::string& text) { return ansi_to_utf16(text.c_str()); }
