#include "imap_fixtures.h"

#include "pop3_fixtures.h"
#include "win_test_support.h"

#include <windows.h>

namespace {

// The control files of fake_imap.py.
constexpr char kScenario[] = "scenario.json";
constexpr char kTranscript[] = "transcript.txt";
constexpr char kExpunged[] = "expunged.txt";
constexpr char kSeen[] = "seen.txt";
constexpr char kArrivals[] = "arrivals.txt";

} // namespace

std::string fakeImapFolder() {
    return folderFromEnvironment("KORVEL_FAKE_IMAP_DIR");
}

void setFakeImapScenario(const std::string& json) {
    std::string folder = fakeImapFolder();
    for (const char* name : {kTranscript, kExpunged, kSeen, kArrivals}) {
        DeleteFileA((folder + name).c_str());
    }
    writeFile(folder + kScenario, json);
}

std::vector<std::string> fakeImapTranscript() {
    return readUnixLines(fakeImapFolder() + kTranscript);
}

std::vector<std::string> fakeImapExpunged() {
    return readUnixLines(fakeImapFolder() + kExpunged);
}

std::vector<std::string> fakeImapSeen() {
    return readUnixLines(fakeImapFolder() + kSeen);
}

void deliverToFakeImap(const std::string& messagePath) {
    // The server reads the whole list at each look: the longer list takes
    // the old one's place in one move, so it never reads half a line.
    std::string path = fakeImapFolder() + kArrivals;
    std::string next = path + ".new";
    writeFile(next, readFile(path) + unixPath(messagePath) + "\n");
    MoveFileExA(next.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}
