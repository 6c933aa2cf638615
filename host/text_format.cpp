#include "host/text_format.h"

namespace {

const unsigned long long kib = 1ull << 10;
const unsigned long long size_limit = 1ull << 50;

// value / 2^shift with two decimals, rounded as printf("%.2lf") rounds: the
// quotient of a value below 2^50 by a power of two is exact in a double, so
// printf sees the true value and a tie goes to the even last digit. Integer
// arithmetic gives the same digits on every C library.
std::wstring two_decimals(unsigned long long value, unsigned shift) {
    const unsigned long long scaled = value * 100;  // below 2^57: no overflow
    unsigned long long hundredths = scaled >> shift;
    const unsigned long long remainder = scaled & ((1ull << shift) - 1);
    const unsigned long long half = 1ull << (shift - 1);
    if (remainder > half || (remainder == half && (hundredths & 1) != 0)) {
        ++hundredths;
    }
    const unsigned long long fraction = hundredths % 100;
    std::wstring text = std::to_wstring(hundredths / 100);
    text += L'.';
    text += static_cast<wchar_t>(L'0' + fraction / 10);
    text += static_cast<wchar_t>(L'0' + fraction % 10);
    return text;
}

}  // namespace

int size_text(unsigned long long bytes, std::wstring& out) {
    if (bytes < kib) {
        out = std::to_wstring(bytes) + L"B";
        return 1;
    }
    if (bytes >= size_limit) {
        return 0;
    }
    static const wchar_t* const units[] = {L"KB", L"MB", L"GB", L"TB"};
    unsigned shift = 10;
    int unit = 0;
    while (bytes >= (1ull << (shift + 10))) {
        shift += 10;
        ++unit;
    }
    out = two_decimals(bytes, shift) + units[unit];
    return 1;
}

int duration_text(unsigned long long seconds, std::wstring& out) {
    const unsigned long long minute = 60, hour = 3600, day = 86400, month = 31 * day;
    std::wstring text;
    if (seconds < minute) {
        text = std::to_wstring(seconds) + L"秒";
    } else if (seconds < hour) {
        text = std::to_wstring(seconds / minute) + L"分";
        if (seconds % minute != 0) {
            text += std::to_wstring(seconds % minute) + L"秒";
        }
    } else if (seconds < day) {
        text = std::to_wstring(seconds / hour) + L"小时";
        if ((seconds % hour) / minute != 0) {
            text += std::to_wstring((seconds % hour) / minute) + L"分";
        }
    } else if (seconds < month) {
        text = std::to_wstring(seconds / day) + L"天";
        if ((seconds % day) / hour != 0) {
            text += std::to_wstring((seconds % day) / hour) + L"小时";
        }
    } else {
        text = L"大于一个月";
    }
    out = text;
    return 1;
}
