#include "install/uninstall_folder.h"

#include <gtest/gtest.h>

#include <string>

TEST(UninstallFolder, TheCommandLineBecomesAnAbsoluteFolder) {
    struct Case {
        const char* commandLine;
        const char* folder; // nullptr: refused
    };
    const Case cases[] = {
        {"C:\\Program Files\\Korvel\\", "C:\\Program Files\\Korvel\\"},
        {"C:\\Program Files\\Korvel", "C:\\Program Files\\Korvel\\"},
        {"  \"C:\\Program Files\\Korvel\\\" \t", "C:\\Program Files\\Korvel\\"},
        {"\\\\server\\share\\Korvel", "\\\\server\\share\\Korvel\\"},
        {"d:/agents/korvel", "d:/agents/korvel\\"},
        // Nothing left once blanks and quotes are gone.
        {"", nullptr},
        {"   \t", nullptr},
        {"\"\"", nullptr},
        {"\" \"", nullptr},
        // Relative to whatever the current folder is.
        {"Korvel", nullptr},
        {"C:Korvel", nullptr},
        {"\\Korvel", nullptr},
        {"\\\\\\Korvel", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.commandLine);
        char folder[64] = "unchanged";
        bool taken = uninstallFolder(c.commandLine, folder, sizeof folder);
        if (c.folder == nullptr) {
            EXPECT_FALSE(taken);
            EXPECT_STREQ("", folder);
        } else {
            EXPECT_TRUE(taken);
            EXPECT_STREQ(c.folder, folder);
        }
    }
    EXPECT_FALSE(uninstallFolder(nullptr, nullptr, 0));
    // A folder with no room left for its backslash is refused, not cut.
    char small[24];
    EXPECT_FALSE(uninstallFolder(("C:\\" + std::string(20, 'k')).c_str(), small, sizeof small));
}

// The program list's entry starts the uninstaller with the folder after its
// name, however the name is spelt or quoted.
TEST(UninstallFolder, TheFolderOfAnUninstallCommand) {
    struct Case {
        const char* command;
        const char* folder; // nullptr: none
    };
    const Case cases[] = {
        {"C:\\Windows\\UnKorvel.exe C:\\Program Files\\Korvel\\", "C:\\Program Files\\Korvel\\"},
        {"\"C:\\WINDOWS\\unkorvel.EXE\" \"D:\\Korvel\"", "D:\\Korvel\\"},
        {"C:\\Windows\\UnKorvel.exe", nullptr},
        {"C:\\Windows\\UnKorvel.exe Korvel\\", nullptr},
        {"C:\\Windows\\Other.exe C:\\Korvel\\", nullptr},
        {"", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        char folder[64] = "unchanged";
        bool taken = commandFolder(c.command, "UnKorvel.exe", folder, sizeof folder);
        EXPECT_EQ(c.folder != nullptr, taken);
        EXPECT_STREQ(c.folder != nullptr ? c.folder : "", folder);
    }
}
