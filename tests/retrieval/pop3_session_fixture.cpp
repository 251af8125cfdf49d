#include "pop3_session_fixture.h"

#include <algorithm>
#include <cstring>

std::vector<Block> readBlocks(const std::string& text) {
    std::vector<Block> blocks;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find("\r\n.\r\n", pos);
        EXPECT_NE(std::string::npos, end) << "block without terminator at " << pos;
        if (end == std::string::npos) {
            break;
        }
        end += 5;
        std::string raw = text.substr(pos, end - pos);
        Block b;
        std::string* fields[] = {&b.alias, &b.address, &b.size, &b.id};
        const char* names[] = {"Psevdo:", "MailAddr:", "MailSize:", "MailIdent:"};
        size_t at = 0;
        for (int i = 0; i < 4; i++) {
            size_t lineEnd = raw.find("\r\n", at);
            std::string line = raw.substr(at, lineEnd - at);
            EXPECT_EQ(0u, line.find(names[i])) << line;
            *fields[i] = line.substr(strlen(names[i]));
            at = lineEnd + 2;
        }
        b.header = raw.substr(at);
        blocks.push_back(b);
        pos = end;
    }
    return blocks;
}

void Pop3Session::SetUp() {
    ASSERT_FALSE(dovecotFolder().empty()) << "run under tools/test.sh (POP3 servers)";
    copyText(gAgent.serviceFolder, sizeof gAgent.serviceFolder, dir.path().c_str());
    ASSERT_EQ(0u, openEventLog((dir / "MAInLog.txt").c_str()));
    gRetrieval.clear();
    headerFile.reset(CreateFileA((dir / "MailTmp.txt").c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(headerFile.valid());
    savedTimeouts = gNetTimeouts;
    resetPop3Cancel();
}

void Pop3Session::TearDown() {
    headerFile.reset();
    gRetrieval.clear();
    closeEventLog("end");
    gNetTimeouts = savedTimeouts;
    resetPop3Cancel();
}

int Pop3Session::receive(const std::string& accountLine) {
    char buffer[kAccountLineCapacity];
    copyText(buffer, sizeof buffer, ("A;" + accountLine).c_str());
    return runPop3Session(kSessionReception, buffer, sizeof buffer, headerFile.get());
}

int Pop3Session::test(const std::string& params, std::string& result, bool clearText) {
    char buffer[kTestParamsCapacity];
    copyText(buffer, sizeof buffer, params.c_str());
    int ok = runPop3Session(clearText ? kSessionTestInClear : kSessionTest, buffer, sizeof buffer);
    result = buffer;
    return ok;
}

void Pop3Session::clearHeaderFile() {
    SetFilePointer(headerFile.get(), 0, nullptr, FILE_BEGIN);
    SetEndOfFile(headerFile.get());
}

std::vector<std::string> Pop3Session::seen() {
    std::vector<std::string> ids;
    for (const MailId& id : gRetrieval.seenIds()) {
        ids.push_back(id.text);
    }
    return ids;
}

void Pop3Session::shortTimeouts() {
    gNetTimeouts.receiveMs = 500;
    gNetTimeouts.connectMs = 500;
}

std::string deletionRecord(const char* identity) {
    return std::string("57;0;;;;") + identity + ";;;;\r\n";
}

void setDeletionList(const std::string& lines) {
    gRetrieval.setDeletionList(lines.data(), lines.size());
}

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        n++;
    }
    return n;
}

std::string fakeLine() {
    return "Фейк;ivan@fake.test;secret;fake.test;110";
}

std::string fakeTlsLine(const char* port) {
    return std::string("Фейк;ivan@fake.test;secret;fakes.test;") + port;
}

std::string corpusScenario(const std::string& extra) {
    std::vector<std::string> names = corpusMailNames();
    names.resize(4);
    std::string json = "{\"messages\": " + corpusJsonList(names);
    if (!extra.empty()) {
        json += ", " + extra;
    }
    return json + "}";
}

bool sent(const std::string& command) {
    std::vector<std::string> commands = fakePop3Transcript();
    return std::find(commands.begin(), commands.end(), command) != commands.end();
}

bool sawLogin() {
    for (const std::string& command : fakePop3Transcript()) {
        if (command.compare(0, 4, "USER") == 0 || command.compare(0, 4, "PASS") == 0) {
            return true;
        }
    }
    return false;
}

bool waitForCommand(const std::string& command) {
    for (int i = 0; i < 500; i++) {
        if (sent(command)) {
            return true;
        }
        Sleep(20);
    }
    return false;
}

namespace {

struct ReceptionArgs {
    std::string line;
    HANDLE headerFile;
};

DWORD WINAPI receiveOnThread(void* param) {
    auto* args = static_cast<ReceptionArgs*>(param);
    char buffer[kAccountLineCapacity];
    copyText(buffer, sizeof buffer, ("A;" + args->line).c_str());
    return static_cast<DWORD>(runPop3Session(kSessionReception, buffer, sizeof buffer, args->headerFile));
}

} // namespace

DWORD stopReceptionAtTheThirdMessage(const std::string& line, HANDLE headerFile, bool ignoreFin) {
    setFakePop3Scenario(
        corpusScenario(ignoreFin ? "\"silentOn\": \"TOP 3 0\", \"ignoreFin\": true" : "\"silentOn\": \"TOP 3 0\""));
    ReceptionArgs args{line, headerFile};
    UniqueHandle thread(CreateThread(nullptr, 0, receiveOnThread, &args, 0, nullptr));
    if (!thread) {
        return kSessionNotStopped;
    }
    // Messages 1 and 2 are in once the session asks for 3, and waits.
    bool asked = waitForCommand("TOP 3 0");
    DWORD start = GetTickCount();
    cancelPop3Session();
    bool ended = WaitForSingleObject(thread.get(), 5000) == WAIT_OBJECT_0;
    if (!ended) {
        // The thread reads args: it must not outlive them.
        WaitForSingleObject(thread.get(), INFINITE);
    }
    return asked && ended ? GetTickCount() - start : kSessionNotStopped;
}
