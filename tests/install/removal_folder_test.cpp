#include "install/removal_folder.h"

#include <gtest/gtest.h>

TEST(RemovalFolder, OnlyAbsoluteFoldersThatPointNowhereElse) {
    struct Case {
        const char* folder;
        bool removable;
    };
    const Case cases[] = {
        {"C:\\Program Files\\Korvel\\", true},
        {"c:/Korvel/", false}, // no trailing backslash
        {"c:/Users/Korvel\\", true},
        {"D:\\", true},
        {"\\\\server\\share\\Korvel\\", true},
        {"", false},
        {"\\", false},
        {"Korvel\\", false},
        {"\\Korvel\\", false},
        {"C:Korvel\\", false},
        {"\\\\server\\", false},
        {"\\\\server\\\\Korvel\\", false},
        {"C:\\Korvel\\..\\", false},
        {"C:\\Korvel/../", false},
        {"C:\\Korvel\\.\\", false},
        {"C:\\Korvel\\...\\", false},
        {"C:\\Korvel \\", false},
        {"C:\\Korvel\\\\", false},
        {"C:\\Korvel.old\\", true},
        {"C:\\*\\", false},
        {"C:\\Korvel?\\", false},
        {"C:\\Korvel:stream\\", false},
        {"C:\\\"Korvel\"\\", false},
        {"C:\\Korvel\n\\", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.removable, isRemovableFolderText(c.folder)) << c.folder;
    }
}
