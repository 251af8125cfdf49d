#include "base/file_io.h"

#include "held_file.h"
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

HANDLE holdWithoutSharing(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

// Another program (a virus scanner) holding the target, and letting go of it
// only once the replacement is under way: its writer has closed the new
// content's temporary file, and the first attempt to put it in place meets
// the held target. The holder then takes the temporary file itself for a
// moment, so that an attempt meets a held file either way.
struct Holder {
    HANDLE target;
    std::string temp;
};

DWORD WINAPI letGoOnceReplacing(void* param) {
    auto* holder = static_cast<Holder*>(param);
    // The writer's handle on the temporary file is looked for until it is
    // gone: an open without sharing then succeeds.
    HANDLE temp = INVALID_HANDLE_VALUE;
    for (DWORD start = GetTickCount(); temp == INVALID_HANDLE_VALUE && GetTickCount() - start < 10000;) {
        temp = holdWithoutSharing(holder->temp);
        if (temp == INVALID_HANDLE_VALUE) {
            Sleep(1);
        }
    }
    CloseHandle(holder->target);
    if (temp != INVALID_HANDLE_VALUE) {
        CloseHandle(temp);
    }
    return 0;
}

} // namespace

TEST(ReplacementFile, TargetHeldForAMomentIsReplacedWithItsAttributes) {
    TempFolder dir;
    const std::string target = dir / "HistMail.txt";
    ASSERT_TRUE(writeFile(target, "old\r\n"));
    ASSERT_TRUE(SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_HIDDEN));
    Holder holder{holdWithoutSharing(target), target + ".tmp"};
    HANDLE thread = CreateThread(nullptr, 0, letGoOnceReplacing, &holder, 0, nullptr);
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

TEST(HeldFile, OpenAndRenameWaitForAFileHeldForAMoment) {
    TempFolder dir;
    const std::string path = dir / "Mail.txt";
    ASSERT_TRUE(writeFile(path, "old\r\n"));
    {
        MomentaryHold hold(path);
        ASSERT_TRUE(hold.held());
        HANDLE file = openServiceFile(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, OPEN_ALWAYS);
        // An opened existing file still tells so.
        EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        CloseHandle(file);
        EXPECT_TRUE(hold.met());
    }
    const std::string moved = dir / "HistMail.txt";
    {
        MomentaryHold hold(path);
        EXPECT_TRUE(moveServiceFile(path.c_str(), moved.c_str(), 0)) << GetLastError();
        EXPECT_TRUE(hold.met());
    }
    EXPECT_EQ("old\r\n", readFile(moved));
}

TEST(HeldFile, FailuresThatStayAreNotTriedAgain) {
    TempFolder dir;
    bool met = false;
    static bool* metFlag = nullptr;
    metFlag = &met;
    gHeldFileMet = [] { *metFlag = true; };
    const std::string missing = dir / "none\\Mail.txt";
    EXPECT_EQ(INVALID_HANDLE_VALUE, openServiceFile(missing.c_str(), GENERIC_READ, 0, OPEN_EXISTING));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
    EXPECT_FALSE(moveServiceFile((dir / "absent.txt").c_str(), (dir / "other.txt").c_str(), 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    gHeldFileMet = nullptr;
    EXPECT_FALSE(met);
}

TEST(ReplacementFile, TemporaryFileHeldForAMomentIsWrittenAgain) {
    TempFolder dir;
    const std::string target = dir / "IdMail.txt";
    ASSERT_TRUE(writeFile(target, "old\r\n"));
    // A scanner still reading the temporary file of an earlier rewrite.
    ASSERT_TRUE(writeFile(target + ".tmp", "earlier\r\n"));
    {
        MomentaryHold hold(target + ".tmp");
        EXPECT_EQ(0u, rewrite(target, "new\r\n"));
        EXPECT_TRUE(hold.met());
    }
    EXPECT_EQ("new\r\n", readFile(target));
    EXPECT_FALSE(fileExists(target + ".tmp"));
}
