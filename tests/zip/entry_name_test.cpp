// Which entry names may be written inside the destination folder.
#include "zip/entry_name.h"

#include <gtest/gtest.h>

TEST(ZipEntryName, AcceptsNamesThatStayInside) {
    for (const char* name : {"a.txt", "sub/dir/file.txt", "sub\\dir\\file.txt", "folder/", "a/./b",
                             "./a", "a..b/c", "..a", "a..", ".hidden", "a/ /b"}) {
        EXPECT_TRUE(zip_entry_name_is_safe(name)) << name;
    }
}

TEST(ZipEntryName, RefusesAbsoluteDriveAndClimbingNames) {
    for (const char* name : {"",
                             "/etc/passwd",
                             "\\windows\\x",
                             "\\\\server\\share\\x",
                             "//server/share/x",
                             "C:/x",
                             "C:x",
                             "c:\\x",
                             "a/b:stream",
                             "..",
                             "../x",
                             "..\\x",
                             "a/../../x",
                             "a\\..\\..\\x",
                             "a/b/../c",
                             "a/..",
                             "a/../",
                             ".../x",
                             "a/.../b",
                             ".. /x",
                             ". ./x",
                             "a/.. "}) {
        EXPECT_FALSE(zip_entry_name_is_safe(name)) << name;
    }
    EXPECT_FALSE(zip_entry_name_is_safe(nullptr));
}
