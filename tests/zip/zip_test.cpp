// mini_unzip_dll against archives written by make_archives.py: folders made
// from entry names, overwriting, skipped and failing entries, entry times,
// the current directory and hostile names.
#include "zip/mini_unzip.h"

#include <gtest/gtest.h>

#include <set>

#include "host/strings.h"
#include "tests/host/test_folder.h"
#include "tests/zip/zip_test_support.h"

namespace {

using namespace zip_test;

std::set<std::wstring> names_in(const std::wstring& folder) {
    std::set<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") {
            names.insert(name);
        }
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return names;
}

bool is_directory(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

class MiniUnzip : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.ok());
        destination_ = folder_.path() + L"dest\\";
        ASSERT_TRUE(CreateDirectoryW(destination_.c_str(), nullptr));
        ASSERT_FALSE(read_file(archives() + L"plain.zip") == "<missing>")
            << "archives not generated";
    }

    int extract(const char* name) {
        return mini_unzip_dll(archive(name).c_str(), utf16_to_ansi(destination_).c_str());
    }

    // Destroyed first: the folder cannot go while it is the current one.
    TestFolder folder_;
    KeepCurrentDirectory keep_;
    std::wstring destination_;
};

TEST_F(MiniUnzip, FindsAnArchiveNamedWithoutItsExtension) {
    EXPECT_EQ(extract("plain"), 0);
    EXPECT_EQ(read_file(destination_ + L"top.txt"), "top\r\n");
}

TEST_F(MiniUnzip, CreatesTheFoldersOfEntriesThatHaveNoFolderEntries) {
    ASSERT_EQ(extract("plain.zip"), 0);
    EXPECT_TRUE(is_directory(destination_ + L"sub\\dir"));
    EXPECT_EQ(read_file(destination_ + L"sub\\dir\\file.txt"), "deep file");
    EXPECT_EQ(names_in(destination_), (std::set<std::wstring>{L"sub", L"top.txt"}));

    // Folder entries make their folders, even empty ones; a backslash in a
    // name separates folders as well.
    ASSERT_EQ(extract("folders.zip"), 0);
    EXPECT_TRUE(is_directory(destination_ + L"empty"));
    EXPECT_EQ(read_file(destination_ + L"a\\b\\c.txt"), "c");
    EXPECT_EQ(read_file(destination_ + L"back\\slash\\d.txt"), "d");
}

TEST_F(MiniUnzip, OverwritesFilesButSkipsAReadOnlyOneAndGoesOn) {
    ASSERT_TRUE(write_file(destination_ + L"one.txt", "old one"));
    ASSERT_TRUE(write_file(destination_ + L"locked.txt", "old locked"));
    ASSERT_TRUE(
        SetFileAttributesW((destination_ + L"locked.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    // Wine maps the attribute to the Unix mode, which does not stop root:
    // there the file is also held without write sharing, which stops
    // everyone, so that it cannot be replaced either way.
    HANDLE probe = CreateFileW((destination_ + L"locked.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    HANDLE hold = INVALID_HANDLE_VALUE;
    if (probe != INVALID_HANDLE_VALUE) {
        CloseHandle(probe);
        hold = CreateFileW((destination_ + L"locked.txt").c_str(), GENERIC_READ, FILE_SHARE_READ,
                           nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(hold, INVALID_HANDLE_VALUE);
    }
    EXPECT_EQ(extract("readonly.zip"), 0);
    if (hold != INVALID_HANDLE_VALUE) {
        CloseHandle(hold);
    }
    EXPECT_EQ(read_file(destination_ + L"one.txt"), "new one");
    EXPECT_EQ(read_file(destination_ + L"locked.txt"), "old locked");
    EXPECT_EQ(read_file(destination_ + L"two.txt"), "new two");
    SetFileAttributesW((destination_ + L"locked.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(MiniUnzip, StopsAtAnEntryThatFailsAndStillReportsTheArchiveProcessed) {
    // A CRC that does not match: the entry's file stays as written, nothing
    // after it is extracted.
    EXPECT_EQ(extract("crc.zip"), 0);
    EXPECT_EQ(read_file(destination_ + L"first.txt"), "first");
    EXPECT_EQ(read_file(destination_ + L"bad.txt").size(), 900u);
    EXPECT_FALSE(file_exists(destination_ + L"last.txt"));

    // Data that cannot be inflated.
    EXPECT_EQ(extract("inflate.zip"), 0);
    EXPECT_TRUE(file_exists(destination_ + L"broken.bin"));
    EXPECT_FALSE(file_exists(destination_ + L"last.txt"));
}

TEST_F(MiniUnzip, GivesFilesTheEntryTimeReadAsLocalTime) {
    const FILETIME before = [] {
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        return now;
    }();
    ASSERT_EQ(extract("plain.zip"), 0);
    HANDLE file = CreateFileW((destination_ + L"top.txt").c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    FILETIME created, accessed, written;
    ASSERT_TRUE(GetFileTime(file, &created, &accessed, &written));
    CloseHandle(file);

    FILETIME local;
    SYSTEMTIME time;
    ASSERT_TRUE(FileTimeToLocalFileTime(&written, &local));
    ASSERT_TRUE(FileTimeToSystemTime(&local, &time));
    EXPECT_EQ(time.wYear, 2021);
    EXPECT_EQ(time.wMonth, 6);
    EXPECT_EQ(time.wDay, 15);
    EXPECT_EQ(time.wHour, 13);
    EXPECT_EQ(time.wMinute, 45);
    EXPECT_EQ(time.wSecond, 30);
    EXPECT_EQ(CompareFileTime(&created, &written), 0);
    // The last access is not set back to 2021.
    EXPECT_GE(CompareFileTime(&accessed, &before), 0);
}

TEST_F(MiniUnzip, LeavesTheCurrentDirectoryAtTheDestination) {
    ASSERT_EQ(extract("plain.zip"), 0);
    EXPECT_EQ(lstrcmpiW(current_directory().c_str(), destination_.c_str()), 0);
    EXPECT_EQ(read_file(L"sub\\dir\\file.txt"), "deep file");
}

TEST_F(MiniUnzip, WritesNothingOutsideTheDestinationForHostileNames) {
    const std::wstring inner = destination_ + L"inner\\";
    ASSERT_TRUE(CreateDirectoryW(inner.c_str(), nullptr));
    destination_ = inner;
    EXPECT_EQ(extract("slip.zip"), 0);
    // Only the two harmless entries, after all the refused ones.
    EXPECT_EQ(names_in(inner), (std::set<std::wstring>{L"ok"}));
    EXPECT_EQ(read_file(inner + L"ok\\fine.txt"), "fine");
    EXPECT_EQ(read_file(inner + L"ok\\also.txt"), "also");
    EXPECT_EQ(names_in(folder_.path() + L"dest\\"), (std::set<std::wstring>{L"inner"}));
    EXPECT_EQ(names_in(folder_.path()), (std::set<std::wstring>{L"dest"}));
    for (const wchar_t* path :
         {L"C:\\slip5.txt", L"Z:\\slip5.txt", L"C:\\slip6.txt", L"Z:\\slip6.txt", L"C:\\slip7.txt",
          L"\\\\server\\share\\slip9.txt"}) {
        EXPECT_FALSE(file_exists(path)) << path;
    }
    char drive_relative[MAX_PATH] = {};
    ASSERT_GT(GetFullPathNameA("C:slip8.txt", MAX_PATH, drive_relative, nullptr), 0u);
    EXPECT_EQ(GetFileAttributesA(drive_relative), INVALID_FILE_ATTRIBUTES) << drive_relative;
}

TEST_F(MiniUnzip, SkipsANameLongerThan256Bytes) {
    EXPECT_EQ(extract("longname.zip"), 0);
    EXPECT_EQ(names_in(destination_), (std::set<std::wstring>{L"after.txt"}));
}

TEST_F(MiniUnzip, ReportsAnArchiveThatCannotBeOpened) {
    const std::wstring before = current_directory();
    for (const char* name : {"zero.zip", "truncated.zip", "missing.zip", "missing"}) {
        EXPECT_EQ(extract(name), 1) << name;
    }
    EXPECT_EQ(mini_unzip_dll(nullptr, utf16_to_ansi(destination_).c_str()), 1);
    // Its folder is not a zip either.
    EXPECT_EQ(
        mini_unzip_dll(utf16_to_ansi(archives()).c_str(), utf16_to_ansi(destination_).c_str()), 1);
    EXPECT_TRUE(names_in(destination_).empty());
    EXPECT_EQ(current_directory(), before);
}

TEST_F(MiniUnzip, ReportsADestinationThatCannotBeEntered) {
    const std::wstring before = current_directory();
    const std::string missing = utf16_to_ansi(folder_.path() + L"missing\\deeper");
    EXPECT_EQ(mini_unzip_dll(archive("plain.zip").c_str(), missing.c_str()), -1);
    EXPECT_FALSE(file_exists(folder_.path() + L"missing"));
    ASSERT_TRUE(write_file(folder_.path() + L"a-file", "x"));
    EXPECT_EQ(mini_unzip_dll(archive("plain.zip").c_str(),
                             utf16_to_ansi(folder_.path() + L"a-file").c_str()),
              -1);
    EXPECT_EQ(mini_unzip_dll(archive("plain.zip").c_str(), nullptr), -1);
    EXPECT_EQ(current_directory(), before);
    EXPECT_FALSE(file_exists(before + L"top.txt"));
}

}  // namespace
