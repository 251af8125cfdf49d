#include "base/file_io.h"

#include "win_test_support.h"

#include <gtest/gtest.h>

namespace {

DWORD rewrite(const std::string& target, const std::string& content) {
    ReplacementFile file;
    DWORD error = file.create(target.c_str(), 0);
    if (error == 0) {
        file.write(content.data(), content.size());
        error = file.commit();
    }
    return error;
}

// Another program (a virus scanner) letting go of a file after a moment.
DWORD WINAPI closeSoon(void* file) {
    Sleep(300);
    CloseHandle(file);
    return 0;
}

HANDLE holdWithoutSharing(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

} // namespace

TEST(ReplacementFile, TargetHeldForAMomentIsReplacedWithItsAttributes) {
    TempFolder dir;
    const std::string target = dir / "HistMail.txt";
    ASSERT_TRUE(writeFile(target, "old\r\n"));
    ASSERT_TRUE(SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_HIDDEN));
    HANDLE thread = CreateThread(nullptr, 0, closeSoon, holdWithoutSharing(target), 0, nullptr);
    ASSERT_NE(nullptr, thread);
    EXPECT_EQ(0u, rewrite(target, "new\r\n"));
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_EQ("new\r\n", readFile(target));
    EXPECT_NE(0u, GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_FALSE(fileExists(target + ".tmp"));
}

TEST(ReplacementFile, TargetHeldTooLongKeepsItsContent) {
    TempFolder dir;
    const std::string target = dir / "IdMail.txt";
    ASSERT_TRUE(writeFile(target, "old\r\n"));
    HANDLE held = holdWithoutSharing(target);
    DWORD error = rewrite(target, "new\r\n");
    CloseHandle(held);
    // Wine reports the sharing violation, Windows may report the old file
    // as impossible to remove.
    EXPECT_TRUE(error == ERROR_SHARING_VIOLATION || error == ERROR_UNABLE_TO_REMOVE_REPLACED) << error;
    EXPECT_EQ("old\r\n", readFile(target));
    EXPECT_FALSE(fileExists(target + ".tmp"));
}
