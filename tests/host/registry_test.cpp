#include "host/host_registry.h"

#include <gtest/gtest.h>

#include "host/version.h"
#include "tests/host/test_folder.h"

namespace {

TEST(HostRegistry, MissingValuesGiveZeroAndLeaveTheOutStringAlone) {
    FakeHostKey host;
    std::wstring out = L"keep";
    EXPECT_EQ(host_installed(), 0);
    EXPECT_EQ(host_path(out), 0);
    EXPECT_EQ(host_version(out), 0);
    EXPECT_EQ(host_install_folder(out), 0);
    EXPECT_EQ(host_program_folder(out), 0);
    EXPECT_EQ(host_addins_folder(out), 0);
    EXPECT_EQ(host_version_at_least(L"1.0.0.0"), 0);
    EXPECT_EQ(out, L"keep");

    // Present but empty counts as missing too: an empty folder would turn
    // into a bare "\" and an empty path into nothing to start.
    ASSERT_TRUE(host.set(L"Path", L""));
    ASSERT_TRUE(host.set(L"Version", L""));
    ASSERT_TRUE(host.set(L"instdir", L""));
    ASSERT_TRUE(host.set(L"addinsdir", L""));
    EXPECT_EQ(host_installed(), 0);
    EXPECT_EQ(host_path(out), 0);
    EXPECT_EQ(host_version(out), 0);
    EXPECT_EQ(host_install_folder(out), 0);
    EXPECT_EQ(host_addins_folder(out), 0);
    EXPECT_EQ(out, L"keep");
}

TEST(HostRegistry, FoldersGetTheirBackslash) {
    FakeHostKey host;
    std::wstring out;
    ASSERT_TRUE(host.set(L"instdir", L"C:\\Torvane"));
    ASSERT_TRUE(host.set(L"addinsdir", L"C:\\Torvane\\Addins"));
    EXPECT_EQ(host_install_folder(out), 1);
    EXPECT_EQ(out, L"C:\\Torvane\\");
    EXPECT_EQ(host_program_folder(out), 1);
    EXPECT_EQ(out, L"C:\\Torvane\\Program\\");
    EXPECT_EQ(host_addins_folder(out), 1);
    EXPECT_EQ(out, L"C:\\Torvane\\Addins\\");

    ASSERT_TRUE(host.set(L"instdir", L"C:\\Torvane\\"));
    ASSERT_TRUE(host.set(L"addinsdir", L"C:\\Torvane\\Addins\\"));
    EXPECT_EQ(host_install_folder(out), 1);
    EXPECT_EQ(out, L"C:\\Torvane\\");
    EXPECT_EQ(host_program_folder(out), 1);
    EXPECT_EQ(out, L"C:\\Torvane\\Program\\");
    EXPECT_EQ(host_addins_folder(out), 1);
    EXPECT_EQ(out, L"C:\\Torvane\\Addins\\\\");  // always appended
}

TEST(HostRegistry, PathsExpandEnvironmentVariablesAndRespectTheirLimits) {
    FakeHostKey host;
    wchar_t root[MAX_PATH] = {};
    ASSERT_GT(GetEnvironmentVariableW(L"SystemRoot", root, MAX_PATH), 0u);

    ASSERT_TRUE(host.set(L"Path", L"%SystemRoot%\\Torvane\\Torvane.exe", REG_EXPAND_SZ));
    std::wstring out;
    EXPECT_EQ(host_installed(), 1);
    EXPECT_EQ(host_path(out), 1);
    EXPECT_EQ(out, std::wstring(root) + L"\\Torvane\\Torvane.exe");

    // The 512-byte string read and the MAX_PATH path read each have a limit.
    const std::wstring long_folder = L"C:\\" + std::wstring(240, L'a') + L"\\Torvane.exe";
    ASSERT_TRUE(host.set(L"Path", long_folder));
    EXPECT_EQ(host_installed(), 1);
    EXPECT_EQ(host_path(out), 1);
    EXPECT_EQ(out, long_folder);

    const std::wstring too_long = L"C:\\" + std::wstring(300, L'a') + L"\\Torvane.exe";
    ASSERT_TRUE(host.set(L"Path", too_long));
    out = L"keep";
    EXPECT_EQ(host_installed(), 0);
    EXPECT_EQ(host_path(out), 0);
    EXPECT_EQ(out, L"keep");

    // Expansion can push a short stored text past the path limit.
    ASSERT_TRUE(SetEnvironmentVariableW(L"TESSALY_LONG", std::wstring(100, L'c').c_str()));
    ASSERT_TRUE(
        host.set(L"addinsdir", L"C:\\%TESSALY_LONG%\\" + std::wstring(150, L'b'), REG_EXPAND_SZ));
    EXPECT_EQ(host_addins_folder(out), 1);
    EXPECT_EQ(out, L"C:\\" + std::wstring(100, L'c') + L"\\" + std::wstring(150, L'b') + L"\\");
    ASSERT_TRUE(
        host.set(L"addinsdir", L"C:\\%TESSALY_LONG%\\" + std::wstring(170, L'b'), REG_EXPAND_SZ));
    out = L"keep";
    EXPECT_EQ(host_addins_folder(out), 0);
    EXPECT_EQ(out, L"keep");
    SetEnvironmentVariableW(L"TESSALY_LONG", nullptr);
}

TEST(HostRegistry, NonStringValuesAreMissing) {
    FakeHostKey host;
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, host_registry_key, 0, KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    const DWORD number = 7;
    ASSERT_EQ(RegSetValueExW(key, L"Version", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                             sizeof(number)),
              ERROR_SUCCESS);
    RegCloseKey(key);
    std::wstring out = L"keep";
    EXPECT_EQ(host_version(out), 0);
    EXPECT_EQ(out, L"keep");
    EXPECT_EQ(host_version_at_least(L"1"), 0);
}

TEST(HostRegistry, VersionReadsAndPartByPartTest) {
    FakeHostKey host;
    ASSERT_TRUE(host.set(L"Version", L"7.2.0.1"));
    std::wstring out;
    EXPECT_EQ(host_version(out), 1);
    EXPECT_EQ(out, L"7.2.0.1");
    EXPECT_EQ(compare_versions(out.c_str(), L"7.1.5.0"), 1);
    EXPECT_EQ(host_version_at_least(L"7.1.5.0"), 0);
    EXPECT_EQ(host_version_at_least(L"7.2.0.0000"), 1);
    EXPECT_EQ(host_version_at_least(L"7.2.0.2"), 0);
    EXPECT_EQ(host_version_at_least(nullptr), 0);

    ASSERT_TRUE(host.set(L"Version", L"7.2"));
    EXPECT_EQ(host_version_at_least(L"7.2.0.0"), 1);
    EXPECT_EQ(host_version_at_least(L"7.2.0.1"), 0);
}

}  // namespace
