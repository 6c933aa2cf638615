#pragma once
// Sizes and durations as the user interface shows them: "1.50KB", "1小时1分".

#include <string>

// Below 1024 bytes the whole number and "B"; then the value in KB, MB, GB or
// TB with two decimals. From 2^50 bytes on nothing fits: out is left as it was
// and the result is 0; otherwise 1. Negative counts passed through an
// unsigned conversion land in that range too.
int size_text(unsigned long long bytes, std::wstring& out);

// Seconds as at most two units ("59秒", "1分5秒", "1小时1分", "1天1小时");
// from 31 days on "大于一个月". Always 1.
int duration_text(unsigned long long seconds, std::wstring& out);
