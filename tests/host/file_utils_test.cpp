#include "host/file_utils.h"

#include <gtest/gtest.h>

#include "tests/host/test_folder.h"

namespace {

TEST(NameParts, BothSeparatorsCountAndTheLaterWins) {
    EXPECT_EQ(file_name_part(L"C:\\a/b\\c.txt"), L"c.txt");
    EXPECT_EQ(folder_part(L"C:\\a/b\\c.txt"), L"C:\\a/b\\");
    EXPECT_EQ(file_name_part(L"C:\\a\\b/c"), L"c");
    EXPECT_EQ(folder_part(L"C:\\a\\b/c"), L"C:\\a\\b/");
    EXPECT_EQ(file_extension(L"C:\\a\\b/c.tar.gz"), L"gz");
    EXPECT_EQ(file_extension(L"C:\\a.d/file"), L"");  // the dot is in a folder
    EXPECT_EQ(file_extension(L"x\\archive."), L"");
    EXPECT_EQ(file_name_part(L"C:\\a\\"), L"");
    EXPECT_EQ(file_name_part(L"plain.txt"), L"plain.txt");
    EXPECT_EQ(file_extension(L"plain.txt"), L"txt");
}

TEST(NameParts, NoSeparatorMeansNoFolderAndSetsTheError) {
    SetLastError(0);
    EXPECT_EQ(folder_part(L"plain.txt"), L"");
    EXPECT_EQ(GetLastError(), file_utils_error);
    SetLastError(0);
    EXPECT_EQ(parent_folder(L"C:\\"), L"");
    EXPECT_EQ(GetLastError(), file_utils_error);
    SetLastError(0);
    EXPECT_EQ(parent_folder(L""), L"");
    EXPECT_EQ(GetLastError(), file_utils_error);
}

TEST(NameParts, ParentFolderOfAPathEndingInASeparator) {
    EXPECT_EQ(parent_folder(L"C:\\a\\b\\"), L"C:\\a\\");
    EXPECT_EQ(parent_folder(L"C:\\a\\b"), L"C:\\a\\");
    EXPECT_EQ(parent_folder(L"C:/a/b/"), L"C:/a/");
    EXPECT_EQ(parent_folder(L"C:\\a/b\\"), L"C:\\a/");
    EXPECT_EQ(parent_folder(L"C:\\a\\"), L"C:\\");
    EXPECT_EQ(parent_folder(L"C:\\a\\b\\\\"), L"C:\\a\\b\\");  // one separator dropped
}

TEST(Folders, CreateOneLevelAndWholeTrees) {
    TestFolder root;
    ASSERT_TRUE(root.ok());
    EXPECT_EQ(is_folder(root.path()), 1);
    EXPECT_EQ(create_folder(root.path() + L"one"), 1);
    EXPECT_EQ(create_folder(root.path() + L"one"), 1);  // already there
    EXPECT_EQ(is_folder(root.path() + L"one"), 1);
    EXPECT_EQ(create_folder(root.path() + L"missing\\two"), 0);
    EXPECT_EQ(is_folder(root.path() + L"missing"), 0);

    const std::wstring deep = root.path() + L"x\\y/z\\w\\";
    EXPECT_EQ(create_folder_tree(deep), 1);
    EXPECT_EQ(is_folder(root.path() + L"x\\y\\z\\w"), 1);
    EXPECT_EQ(create_folder_tree(deep), 1);

    const std::wstring file = root.path() + L"file.txt";
    ASSERT_TRUE(write_file(file, "data"));
    EXPECT_EQ(is_folder(file), 0);
    EXPECT_EQ(create_folder_tree(file + L"\\below"), 0);  // a file stands in the way

    SetLastError(0);
    EXPECT_EQ(create_folder(L""), 0);
    EXPECT_EQ(GetLastError(), file_utils_error);
    SetLastError(0);
    EXPECT_EQ(create_folder_tree(L""), 0);
    EXPECT_EQ(GetLastError(), file_utils_error);
}

TEST(Folders, DeleteTreeWithReadOnlyFilesAndThumbsDb) {
    TestFolder root;
    ASSERT_TRUE(root.ok());
    const std::wstring tree = root.path() + L"tree";
    ASSERT_EQ(create_folder_tree(tree + L"\\sub\\deeper"), 1);
    ASSERT_TRUE(write_file(tree + L"\\plain.txt", "a"));
    ASSERT_TRUE(write_file(tree + L"\\locked.txt", "b"));
    ASSERT_TRUE(write_file(tree + L"\\Thumbs.db", "c"));
    ASSERT_TRUE(write_file(tree + L"\\sub\\Thumbs.db", "d"));
    ASSERT_TRUE(write_file(tree + L"\\sub\\deeper\\locked.bin", "e"));
    ASSERT_TRUE(SetFileAttributesW((tree + L"\\locked.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(SetFileAttributesW((tree + L"\\Thumbs.db").c_str(), FILE_ATTRIBUTE_READONLY |
                                                                        FILE_ATTRIBUTE_HIDDEN |
                                                                        FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(SetFileAttributesW((tree + L"\\sub\\Thumbs.db").c_str(),
                                   FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(
        SetFileAttributesW((tree + L"\\sub\\deeper\\locked.bin").c_str(), FILE_ATTRIBUTE_READONLY));
    // The read-only file really refuses a plain delete.
    EXPECT_FALSE(DeleteFileW((tree + L"\\locked.txt").c_str()));

    EXPECT_EQ(delete_folder_tree(tree), 1);
    EXPECT_FALSE(file_exists(tree));
    EXPECT_EQ(is_folder(root.path()), 1);

    // With a trailing separator too.
    ASSERT_EQ(create_folder_tree(tree + L"\\a"), 1);
    EXPECT_EQ(delete_folder_tree(tree + L"\\"), 1);
    EXPECT_FALSE(file_exists(tree));
}

TEST(Folders, DeleteTreeRefusesWhatIsNotAFolder) {
    TestFolder root;
    ASSERT_TRUE(root.ok());
    const std::wstring file = root.path() + L"file.txt";
    ASSERT_TRUE(write_file(file, "data"));
    SetLastError(0);
    EXPECT_EQ(delete_folder_tree(file), 0);
    EXPECT_EQ(GetLastError(), file_utils_error);
    EXPECT_TRUE(file_exists(file));
    SetLastError(0);
    EXPECT_EQ(delete_folder_tree(root.path() + L"missing"), 0);
    EXPECT_EQ(GetLastError(), file_utils_error);
}

TEST(Folders, DeleteTreeRemovesLinksWithoutEmptyingTheirTargets) {
    TestFolder root;
    ASSERT_TRUE(root.ok());
    const std::wstring outside = root.path() + L"outside";
    const std::wstring tree = root.path() + L"tree";
    ASSERT_EQ(create_folder_tree(outside), 1);
    ASSERT_EQ(create_folder_tree(tree), 1);
    ASSERT_TRUE(write_file(outside + L"\\keep.txt", "keep"));
    if (!CreateSymbolicLinkW((tree + L"\\link").c_str(), outside.c_str(),
                             SYMBOLIC_LINK_FLAG_DIRECTORY)) {
        GTEST_SKIP() << "no directory links here (" << GetLastError() << ")";
    }
    const DWORD attributes = GetFileAttributesW((tree + L"\\link").c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        GTEST_SKIP() << "directory links are not reparse points here";
    }
    EXPECT_EQ(delete_folder_tree(tree), 1);
    EXPECT_FALSE(file_exists(tree));
    EXPECT_TRUE(file_exists(outside + L"\\keep.txt"));
}

TEST(Files, DeleteFileLeavesNoFile) {
    TestFolder root;
    ASSERT_TRUE(root.ok());
    const std::wstring file = root.path() + L"file.txt";
    ASSERT_TRUE(write_file(file, "data"));
    EXPECT_EQ(delete_file(file), 1);
    EXPECT_FALSE(file_exists(file));
    EXPECT_EQ(delete_file(file), 1);  // nothing there is fine
    SetLastError(0);
    EXPECT_EQ(delete_file(L""), 0);
    EXPECT_EQ(GetLastError(), file_utils_error);
}

TEST(FolderBrowser, StartsAtTheDeepestExistingFolder) {
    TestFolder root;
    ASSERT_TRUE(root.ok());
    ASSERT_EQ(create_folder_tree(root.path() + L"games"), 1);
    const std::wstring games = root.path() + L"games\\";
    EXPECT_EQ(folder_browser_start(games + L"missing\\deeper\\Game Title"), games);
    EXPECT_EQ(folder_browser_start(games + L"missing/deeper/"), games);
    EXPECT_EQ(folder_browser_start(root.path() + L"games"), games);
    EXPECT_EQ(folder_browser_start(games), games);
    ASSERT_TRUE(write_file(games + L"file.txt", "x"));
    EXPECT_EQ(folder_browser_start(games + L"file.txt"), games);  // a file is no folder
    EXPECT_EQ(folder_browser_start(L"nowhere-at-all"), L"nowhere-at-all\\");
    EXPECT_EQ(folder_browser_start(L""), L"");
}

}  // namespace
