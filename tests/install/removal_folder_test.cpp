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
