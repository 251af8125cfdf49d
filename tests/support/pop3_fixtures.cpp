#include "pop3_fixtures.h"

#include "base/win_handles.h"

#include "win_test_support.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

// The scripted server's gate (see fake_pop3.py): it creates kHeldFile as it
// begins to hold a client and goes on once kReleaseFile exists.
constexpr char kHeldFile[] = "held";
constexpr char kReleaseFile[] = "release";

std::atomic<int> mailboxCounter{0};

std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    FindHandle find(FindFirstFileA((folder + "*").c_str(), &data));
    if (!find.valid()) {
        return names;
    }
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            names.push_back(data.cFileName);
        }
    } while (FindNextFileA(find.get(), &data));
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

std::string dovecotFolder() {
    return folderFromEnvironment("KORVEL_DOVECOT_DIR");
}

std::string fakePop3Folder() {
    return folderFromEnvironment("KORVEL_FAKE_POP3_DIR");
}

std::string mailCorpusFolder() {
    return folderFromEnvironment("KORVEL_MAIL_CORPUS");
}

std::string unixPath(const std::string& windowsPath) {
    std::string path = windowsPath;
    if (path.size() >= 2 && (path[0] == 'Z' || path[0] == 'z') && path[1] == ':') {
        path.erase(0, 2);
    }
    for (char& c : path) {
        if (c == '\\') {
            c = '/';
        }
    }
    return path;
}

std::vector<std::string> corpusMailNames() {
    return filesIn(mailCorpusFolder());
}

std::string corpusMail(const std::string& name) {
    return readFile(mailCorpusFolder() + name);
}

DovecotMailbox::DovecotMailbox() {
    char name[64];
    snprintf(name, sizeof name, "u%lux%d", GetCurrentProcessId(), mailboxCounter++);
    user_ = name;
    password_ = "pw-" + user_;
    std::string mailRoot = dovecotFolder() + "mail\\" + user_ + "\\";
    maildir_ = mailRoot + "Maildir\\";
    removeTree(mailRoot);
    CreateDirectoryA(mailRoot.c_str(), nullptr);
    CreateDirectoryA(maildir_.c_str(), nullptr);
    for (const char* sub : {"new", "cur", "tmp"}) {
        CreateDirectoryA((maildir_ + sub).c_str(), nullptr);
    }
}

DovecotMailbox::~DovecotMailbox() {
    removeTree(dovecotFolder() + "mail\\" + user_);
}

void DovecotMailbox::addMessage(const std::string& bytes) {
    char name[96];
    // Maildir names sort in delivery order: the server numbers them so.
    snprintf(name, sizeof name, "%010d.M%dP%lu.korvel", 1700000000 + next_, next_, GetCurrentProcessId());
    next_++;
    // Delivered as a mail server delivers: written in tmp, then moved into
    // new, where the server (told at once of a change there) never meets a
    // mail half written.
    std::string written = maildir_ + "tmp\\" + name;
    writeFile(written, bytes);
    MoveFileA(written.c_str(), (maildir_ + "new\\" + name).c_str());
}

void DovecotMailbox::addCorpus() {
    for (const std::string& name : corpusMailNames()) {
        addMessage(corpusMail(name));
    }
}

void DovecotMailbox::removeMessage(size_t index) {
    std::vector<std::pair<std::string, std::string>> files; // name, folder
    for (const char* sub : {"new\\", "cur\\"}) {
        for (const std::string& name : filesIn(maildir_ + sub)) {
            files.emplace_back(name, maildir_ + sub);
        }
    }
    std::sort(files.begin(), files.end());
    if (index < files.size()) {
        DeleteFileA((files[index].second + files[index].first).c_str());
    }
}

size_t DovecotMailbox::messageCount() const {
    return filesIn(maildir_ + "new\\").size() + filesIn(maildir_ + "cur\\").size();
}

void setFakePop3Scenario(const std::string& json) {
    std::string folder = fakePop3Folder();
    for (const char* name : {"transcript.txt", "deleted.txt", kReleaseFile, kHeldFile}) {
        DeleteFileA((folder + name).c_str());
    }
    writeFile(folder + "scenario.json", json);
}

void releaseFakePop3() {
    writeFile(fakePop3Folder() + kReleaseFile, "");
}

bool waitForFakePop3Held(DWORD timeoutMs) {
    return waitForFile(fakePop3Folder() + kHeldFile, timeoutMs);
}

std::vector<std::string> fakePop3Transcript() {
    return readUnixLines(fakePop3Folder() + "transcript.txt");
}

std::vector<std::string> fakePop3Deleted() {
    return readUnixLines(fakePop3Folder() + "deleted.txt");
}

std::string corpusJsonList(const std::vector<std::string>& names) {
    std::string json = "[";
    for (size_t i = 0; i < names.size(); i++) {
        if (i > 0) {
            json += ", ";
        }
        json += "\"" + unixPath(mailCorpusFolder() + names[i]) + "\"";
    }
    return json + "]";
}
