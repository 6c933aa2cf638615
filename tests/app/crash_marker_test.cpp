#include "app/crash_marker.h"

#include <gtest/gtest.h>

#include "tests/app/test_files.h"

TEST(CrashMarker, IsReportedOnceAndCleared) {
    const std::wstring record = ExecutableFolder() + L"record.ini";
    DeleteFileW(record.c_str());
    EXPECT_FALSE(TakeCrashMarker());

    ASSERT_TRUE(WritePrivateProfileStringW(L"Crash", L"Count", L"1", record.c_str()));
    EXPECT_TRUE(TakeCrashMarker());
    wchar_t value[8] = {};
    GetPrivateProfileStringW(L"Crash", L"Count", L"", value, 8, record.c_str());
    EXPECT_STREQ(value, L"0");
    EXPECT_FALSE(TakeCrashMarker());

    // The filter writes the marker and lets the system's handling go on.
    EXPECT_EQ(CrashFilter(nullptr), EXCEPTION_CONTINUE_SEARCH);
    EXPECT_EQ(GetPrivateProfileIntW(L"Crash", L"Count", 0, record.c_str()), 1u);
    EXPECT_TRUE(TakeCrashMarker());
    DeleteFileW(record.c_str());
}
