#include "install/removal_folder.h"

#include <gtest/gtest.h>

TEST(RemovalFolder, OnlyAbsoluteFoldersThatPointNowhereElse) {
    struct Case {
        const char* folder;
        bool removable;
    };
    const Case cases[] = {
        {"C:\\Program Files\\Korvel\\", true},
        {"c:/Users/Korvel\\", true},
        {"D:\\", true},
        {"\\\\server\\share\\Korvel\\", true},
        {"C:\\Korvel.old\\", true},
        {"", false},
        {"C:\\Korvel", false}, // no trailing backslash
        {"Korvel\\", false},
        {"\\Korvel\\", false},
        {"C:Korvel\\", false},
        {"\\\\server\\", false},
        {"C:\\Korvel\\MainFolder\\..\\", false},
        {"C:\\Korvel/.\\", false},
        {"C:\\Korvel\\...\\", false},
        {"C:\\Korvel \\", false},
        {"C:\\Korvel\\\\", false},
        {"C:\\*\\", false},
        {"C:\\Korvel:stream\\", false},
        {"C:\\Korvel\n\\", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.removable, isRemovableFolderText(c.folder)) << c.folder;
    }
}

TEST(RemovalFolder, TheRootIsTheDriveOrTheShare) {
    char root[32] = "unchanged";
    EXPECT_TRUE(removableFolderRoot("C:\\Program Files\\Korvel\\", root, sizeof root));
    EXPECT_STREQ("C:\\", root);
    EXPECT_TRUE(removableFolderRoot("\\\\server\\share\\Korvel\\", root, sizeof root));
    EXPECT_STREQ("\\\\server\\share\\", root);
    EXPECT_FALSE(removableFolderRoot("Korvel\\", root, sizeof root));
    EXPECT_STREQ("", root);
    // A root that does not fit is not cut.
    char small[8];
    EXPECT_FALSE(removableFolderRoot("\\\\server\\share\\Korvel\\", small, sizeof small));
    EXPECT_STREQ("", small);
}
