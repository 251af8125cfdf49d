#include "base/ensure_folder.h"

#include "win_test_support.h"

#include <gtest/gtest.h>

TEST(EnsureFolder, CreatesEveryLevelOfANestedPath) {
    TempFolder dir;
    MessageBoxCloser boxes;
    EXPECT_EQ(1, ensureFolder(nullptr, (dir / "a\\b\\c\\").c_str()));
    EXPECT_TRUE(folderExists(dir / "a\\b\\c"));
    // Again: every level exists already.
    EXPECT_EQ(1, ensureFolder(nullptr, (dir / "a\\b\\c\\").c_str()));
    // A last component without a backslash is not created.
    EXPECT_EQ(1, ensureFolder(nullptr, (dir / "x\\y").c_str()));
    EXPECT_TRUE(folderExists(dir / "x"));
    EXPECT_FALSE(folderExists(dir / "x\\y"));
    EXPECT_TRUE(boxes.seen().empty());
}

TEST(EnsureFolder, PathWithoutBackslashIsRejected) {
    MessageBoxCloser boxes;
    EXPECT_EQ(0, ensureFolder(nullptr, "Korvel"));
    std::vector<MessageBoxInfo> seen = boxes.seen();
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ("Lumetra Агент", seen[0].caption);
    EXPECT_EQ("Имя папки \"Korvel\" задано неверно.", seen[0].text);
}

TEST(EnsureFolder, AFolderThatCannotBeCreatedIsReported) {
    TempFolder dir;
    MessageBoxCloser boxes;
    std::string path = dir / "bad<name\\inner\\";
    EXPECT_EQ(0, ensureFolder(nullptr, path.c_str()));
    std::vector<MessageBoxInfo> seen = boxes.seen();
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ("Lumetra Агент", seen[0].caption);
    std::string expected = "Затрудняюсь создать папку \"" + path + "\"\nОшибка 123: ";
    EXPECT_EQ(expected, seen[0].text.substr(0, expected.size())) << seen[0].text;
    EXPECT_FALSE(folderExists(dir / "bad<name"));
}

TEST(EnsureFolder, AFileInTheWayIsAFailureNotSuccess) {
    TempFolder dir;
    ASSERT_TRUE(writeFile(dir / "taken", "not a folder"));
    MessageBoxCloser boxes;
    // The last level: the file answers "already exists", yet no folder is there.
    EXPECT_EQ(0, ensureFolder(nullptr, (dir / "taken\\").c_str()));
    // A level in the middle.
    EXPECT_EQ(0, ensureFolder(nullptr, (dir / "taken\\inner\\").c_str()));
    std::vector<MessageBoxInfo> seen = boxes.seen();
    ASSERT_EQ(2u, seen.size());
    EXPECT_EQ(0u, seen[0].text.find("Затрудняюсь создать папку \"")) << seen[0].text;
    EXPECT_EQ("not a folder", readFile(dir / "taken"));
}

TEST(EnsureFolder, ExistingAncestorsKeepTheirAttributes) {
    TempFolder dir;
    std::string hidden = dir / "hidden";
    ASSERT_TRUE(CreateDirectoryA(hidden.c_str(), nullptr));
    SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN);
    if (!(GetFileAttributesA(hidden.c_str()) & FILE_ATTRIBUTE_HIDDEN)) {
        GTEST_SKIP() << "this file system keeps no hidden attribute";
    }
    EXPECT_EQ(1, ensureFolder(nullptr, (hidden + "\\new\\").c_str()));
    EXPECT_TRUE(folderExists(hidden + "\\new"));
    EXPECT_TRUE(GetFileAttributesA(hidden.c_str()) & FILE_ATTRIBUTE_HIDDEN);
    // The folder asked for is made plain even when it existed.
    EXPECT_EQ(1, ensureFolder(nullptr, (hidden + "\\").c_str()));
    EXPECT_FALSE(GetFileAttributesA(hidden.c_str()) & FILE_ATTRIBUTE_HIDDEN);
}
