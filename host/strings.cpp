#include "host/strings.h"

#include <windows.h>

#include <cwchar>

namespace {

std::string narrow(UINT code_page, const wchar_t* text) {
    if (!text || !*text) {
        return {};
    }
    const int length = static_cast<int>(wcslen(text));
    // Three bytes cover any UTF-16 unit in UTF-8 and in the double-byte code
    // pages, so one call is enough.
    std::string out(static_cast<size_t>(length) * 3 + 1, '\0');
    const int n = WideCharToMultiByte(code_page, 0, text, length, &out[0],
                                      static_cast<int>(out.size()), nullptr, nullptr);
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
}

std::wstring widen(UINT code_page, const char* text) {
    if (!text || !*text) {
        return {};
    }
    const int length = static_cast<int>(strlen(text));
    std::wstring out(static_cast<size_t>(length) + 1, L'\0');
    const int n = MultiByteToWideChar(code_page, 0, text, length, &out[0],
                                      static_cast<int>(out.size()));
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
}

}  // namespace

std::string utf16_to_utf8(const wchar_t* text) { return narrow(CP_UTF8, text); }
std::wstring utf8_to_utf16(const char* text) { return widen(CP_UTF8, text); }
std::wstring cp936_to_utf16(const char* text) { return widen(936, text); }
std::string utf16_to_ansi(const wchar_t* text) { return narrow(CP_ACP, text); }
std::wstring ansi_to_utf16(const char* text) { return widen(CP_ACP, text); }
