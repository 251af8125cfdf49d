// The installed agent's start and the desktop user's rights on the
// installation folder, read back as Windows keeps them. The desktop user is
// the user who runs the tests.
#include "install/desktop_user.h"

#include "base/win_handles.h"

#include "win_test_support.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include <string>
#include <vector>

namespace {

// What the system's permission dialog calls "Modify".
constexpr DWORD kModifyMask = 0x1301BF;
constexpr BYTE kInheritedByAll = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
constexpr DWORD kStartTimeoutMs = 10000;
// The updater stand-in writes where it was started and how.
constexpr char kFolderFile[] = "updater-folder.txt";
constexpr char kArgsFile[] = "updater-args.txt";

struct Entry {
    std::string sid;
    BYTE type;
    BYTE flags;
    DWORD mask;
    bool operator==(const Entry& other) const {
        return sid == other.sid && type == other.type && flags == other.flags && mask == other.mask;
    }
};

std::string sidText(PSID sid) {
    LocalMemory<char> text;
    if (!ConvertSidToStringSidA(sid, text.out())) {
        return "";
    }
    return text.get();
}

std::string ownUser() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return "";
    }
    UniqueHandle owner(token);
    alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    if (!GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size)) {
        return "";
    }
    return sidText(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid);
}

// The allow and deny entries of an access list.
std::vector<Entry> entriesOfList(ACL* list) {
    std::vector<Entry> entries;
    for (DWORD i = 0; list != nullptr && i < list->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(list, i, &ace)) {
            ADD_FAILURE() << "entry " << i;
            break;
        }
        const ACE_HEADER* header = static_cast<ACE_HEADER*>(ace);
        if (header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_DENIED_ACE_TYPE) {
            // Both kinds lay out mask and SID alike.
            auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
            entries.push_back({sidText(&allowed->SidStart), header->AceType, header->AceFlags, allowed->Mask});
        }
    }
    return entries;
}

std::vector<Entry> entriesOf(const std::string& path) {
    PACL list = nullptr;
    LocalMemory<void> descriptor;
    EXPECT_EQ(0u, GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                        &list, nullptr, descriptor.out()))
        << path;
    return entriesOfList(list);
}

bool contains(const std::vector<Entry>& entries, const Entry& wanted) {
    for (const Entry& entry : entries) {
        if (entry == wanted) {
            return true;
        }
    }
    return false;
}

EXPLICIT_ACCESS_A accessFor(const char* sidString, DWORD rights, LocalMemory<void>& sid) {
    EXPLICIT_ACCESS_A access = {};
    EXPECT_TRUE(ConvertStringSidToSidA(sidString, sid.out())) << sidString;
    access.grfAccessPermissions = rights;
    access.grfAccessMode = GRANT_ACCESS;
    access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    access.Trustee.ptstrName = static_cast<char*>(sid.get());
    return access;
}

// The access list of an installation folder as an elevated installer
// leaves it: administrators and the system in full control, users may only
// read, and one more group, to tell adding from replacing.
class InstalledList {
public:
    InstalledList() {
        const EXPLICIT_ACCESS_A entries[] = {
            accessFor("BA", GENERIC_ALL, sids_[0]), accessFor("SY", GENERIC_ALL, sids_[1]),
            accessFor("BU", GENERIC_READ | GENERIC_EXECUTE, sids_[2]), accessFor("BO", FILE_GENERIC_READ, sids_[3])};
        EXPECT_EQ(0u,
                  SetEntriesInAclA(ARRAYSIZE(entries), const_cast<EXPLICIT_ACCESS_A*>(entries), nullptr, list_.out()));
    }
    ACL* get() const { return list_.get(); }

private:
    LocalMemory<void> sids_[4];
    LocalMemory<ACL> list_;
};

void expectAddedBeside(const std::vector<Entry>& before, const std::vector<Entry>& after, const std::string& user) {
    for (const Entry& entry : before) {
        EXPECT_TRUE(contains(after, entry)) << entry.sid << " " << std::hex << entry.mask;
    }
    EXPECT_TRUE(contains(after, {user, ACCESS_ALLOWED_ACE_TYPE, kInheritedByAll, kModifyMask}));
    EXPECT_EQ(before.size() + 1, after.size());
}

std::string withoutTrailingSlash(std::string path) {
    if (path.size() > 3 && path.back() == '\\') {
        path.pop_back();
    }
    return path;
}

// What the program started by the tests was given as its command line, less
// the program itself.
std::string argumentsOf(std::string commandLine) {
    size_t end = commandLine[0] == '"' ? commandLine.find('"', 1) : commandLine.find(' ');
    commandLine.erase(0, end == std::string::npos ? commandLine.size() : end + 1);
    commandLine.erase(0, commandLine.find_first_not_of(' '));
    return commandLine;
}

// The agent (the updater stand-in under the agent's name) in a folder with a
// blank, and another folder to work in.
class AgentStartTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CreateDirectoryA(programFolder_.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA(workFolder_.c_str(), nullptr));
        ASSERT_TRUE(CopyFileA((testProgramFolder() + "fake_updater.exe").c_str(), exe_.c_str(), FALSE));
    }
    // Waits for the program's record of its start; false when none came.
    bool started(std::string& commandLine) {
        if (!waitForFile(programFolder_ + kArgsFile, kStartTimeoutMs)) {
            return false;
        }
        EXPECT_STRCASEEQ(withoutTrailingSlash(workFolder_).c_str(), readFile(programFolder_ + kFolderFile).c_str());
        commandLine = readFile(programFolder_ + kArgsFile);
        return !commandLine.empty();
    }
    TempFolder temp_;
    const std::string programFolder_ = temp_ / "Lumetra Agent\\";
    const std::string workFolder_ = temp_ / "work\\";
    const std::string exe_ = programFolder_ + "Korvel.exe";
};

} // namespace

TEST(DesktopUserRights, AddsTheChangeEntryBesideTheEntriesThere) {
    LocalMemory<void> user;
    const std::string userText = ownUser();
    ASSERT_TRUE(ConvertStringSidToSidA(userText.c_str(), user.out()));
    InstalledList installed;
    LocalMemory<ACL> merged;

    ASSERT_EQ(0u, addChangeEntry(installed.get(), user.get(), merged));

    expectAddedBeside(entriesOfList(installed.get()), entriesOfList(merged.get()), userText);
    // No list at all lets everyone in; a list of one entry would not.
    LocalMemory<ACL> none;
    EXPECT_EQ(0u, addChangeEntry(nullptr, user.get(), none));
    EXPECT_EQ(nullptr, none.get());
}

// On the folder itself; where the file system keeps no access lists (Wine
// accepts them and reads back lists of its own), only the call is checked.
TEST(DesktopUserRights, GrantsTheFolderAndWhatIsMadeInItLater) {
    TempFolder temp;
    const std::string folder = temp / "Korvel";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    InstalledList installed;
    ASSERT_EQ(0u, SetNamedSecurityInfoA(const_cast<char*>(folder.c_str()), SE_FILE_OBJECT,
                                        DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                                        nullptr, installed.get(), nullptr));
    const std::vector<Entry> before = entriesOf(folder);
    const bool listsKept = before == entriesOfList(installed.get());

    ASSERT_EQ(0u, grantDesktopUserChange(folder.c_str()));

    if (!listsKept) {
        GTEST_SKIP() << "the file system keeps no access lists";
    }
    const std::string user = ownUser();
    expectAddedBeside(before, entriesOf(folder), user);
    const std::string log = folder + "\\MAInLog.txt";
    const std::string service = folder + "\\MainFolder";
    ASSERT_TRUE(writeFile(log, "x"));
    ASSERT_TRUE(CreateDirectoryA(service.c_str(), nullptr));
    EXPECT_TRUE(contains(entriesOf(log), {user, ACCESS_ALLOWED_ACE_TYPE, INHERITED_ACE, kModifyMask}));
    EXPECT_TRUE(
        contains(entriesOf(service), {user, ACCESS_ALLOWED_ACE_TYPE, kInheritedByAll | INHERITED_ACE, kModifyMask}));
}

TEST(DesktopUserRights, AMissingFolderGivesItsError) {
    TempFolder temp;
    const DWORD error = grantDesktopUserChange((temp / "missing").c_str());
    EXPECT_TRUE(error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) << error;
    EXPECT_NE(0u, grantDesktopUserChange((temp / "missing\\deeper").c_str()));
}

// Without COM on the thread the shell cannot be asked: the program is started
// by its quoted full path.
TEST_F(AgentStartTest, StartsTheProgramByItsPathInTheFolderGiven) {
    ASSERT_TRUE(startAgentProcess(exe_.c_str(), workFolder_.c_str()));
    std::string commandLine;
    ASSERT_TRUE(started(commandLine));
    EXPECT_EQ("\"" + exe_ + "\"", commandLine);
}

TEST_F(AgentStartTest, TheDesktopShellStartsTheProgramInTheFolderGiven) {
    ComLibrary com;
    ASSERT_TRUE(com.initialised());
    ASSERT_TRUE(startAsDesktopUser(exe_.c_str(), workFolder_.c_str()));
    std::string commandLine;
    ASSERT_TRUE(started(commandLine));
    EXPECT_EQ("", argumentsOf(commandLine)) << commandLine;
}

TEST_F(AgentStartTest, AMissingProgramStartsNothing) {
    ComLibrary com;
    const std::string missing = temp_ / "missing.exe";
    EXPECT_FALSE(startAsDesktopUser(missing.c_str(), workFolder_.c_str()));
    EXPECT_FALSE(startAgentProcess(missing.c_str(), workFolder_.c_str()));
}
