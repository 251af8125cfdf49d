// Times IMAP polls of the test session's dovecot server, in rows of a table
// of steps: a first poll (every mail new), idle polls (nothing new: every
// UID known from the mailbox's cache, the median of several), and a poll at
// a new server name (every header read again, none of them new) before the
// idle polls there; over port 143 in the clear, port 993 inside TLS, and
// both through the scripted server acting as a relay that holds every reply
// back by 20 ms (a slow line). A row with a target says whether it was met.
// First of all, the memory of a first poll of a large mailbox made before
// the bench starts (KORVEL_BENCH_LARGE_MAILBOX="user count"): the most
// private memory the process held during the poll, against its target; the
// same of the bare IMAP dialogue of such a poll; and the process's peak
// working set.
// Needs the session of tools/session.sh with the relay on the scripted IMAP
// server's places (bench/run_retrieval_bench.sh --imap sets it all up).
// Usage: imap_bench [--no-relay] [--repeat R] [messages]
// (default 2,000 messages, idle polls timed 5 times).
#include "base/event_log.h"
#include "base/text.h"
#include "core/agent_state.h"
#include "core/program_names.h"
#include "retrieval/imap_login.h"
#include "retrieval/imap_mailbox.h"
#include "retrieval/pop3_address.h"
#include "retrieval/pop3_connection.h"
#include "retrieval/pop3_login.h"
#include "retrieval/retrieval_run.h"
#include "retrieval/retrieval_state.h"

#include "bench_support.h"
#include "imap_fixtures.h"
#include "pop3_fixtures.h"
#include "win_test_support.h"

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr double kIdlePollTarget = 0.3;   // seconds, through the relay
constexpr double kFirstPollMemoryMB = 64; // peak of a first poll of 50,000
constexpr double kBytesPerMB = 1024.0 * 1024.0;
// dovecot in the clear, without STARTTLS.
constexpr char kDirectHost[] = "pop3.alpha.test";

class ImapBench;

// One row of the table: the bench mailbox at server ("host;port" of its
// account line), reached directly or, with relayTo, through the relay in
// front of that dovecot place, and measured by measure, which fills the
// sample of the row (false when it failed). A row of another kind is one
// more step with a measure of its own.
struct Step {
    const char* name;
    const char* server;
    const char* relayTo;
    bool (ImapBench::*measure)(Sample& sample);
    double targetSeconds; // 0: none
};

class ImapBench {
public:
    ImapBench(std::vector<Server> servers, int repeat, bool relay)
        : servers_(std::move(servers)), repeat_(repeat), relay_(relay) {}

    bool timeSteps(int messages, const std::vector<std::string>& corpus);
    bool measureMemory(const std::string& user, int messages);
    void printHeading() const { ::printHeading(servers_); }

    // The measures of the steps.
    bool firstPoll(Sample& sample);
    bool idlePolls(Sample& sample);
    bool rereadPoll(Sample& sample);

private:
    bool begin(int messages, const std::vector<std::string>* corpus);
    bool pointAt(const Step& step);
    bool pointAt(const Step& step, const std::string& user, const std::string& password);
    bool timedRun(int expectedNew, Sample& sample);

    std::vector<Server> servers_;
    int repeat_;
    bool relay_;
    std::unique_ptr<TempFolder> folder_;
    std::unique_ptr<DovecotMailbox> box_;
    int messages_ = 0;
};

// The rows of timeSteps, in order. The cache of a mailbox belongs to it at
// its server's host name, so a new name reads every header once (port 143
// after 993 of the same host does not). The mailbox goes from clear to TLS
// places, never back: one that has once logged in over TLS keeps to it.
const Step kSteps[] = {
    {"first (all new)", "pop3.alpha.test;143", nullptr, &ImapBench::firstPoll, 0},
    {"idle", "pop3.alpha.test;143", nullptr, &ImapBench::idlePolls, 0},
    {"TLS (993), new name", "pop3.delta.test;993", nullptr, &ImapBench::rereadPoll, 0},
    {"idle, TLS (993)", "pop3.delta.test;993", nullptr, &ImapBench::idlePolls, 0},
    {"idle, STARTTLS (143)", "pop3.delta.test;143", nullptr, &ImapBench::idlePolls, 0},
    {"relay, new name", "fake.test;143", "127.0.0.1:143", &ImapBench::rereadPoll, 0},
    {"idle, 20 ms relay", "fake.test;143", "127.0.0.1:143", &ImapBench::idlePolls, kIdlePollTarget},
    {"TLS (993), relay, new name", "fakes.test;993", "127.0.0.3:993", &ImapBench::rereadPoll, 0},
    {"idle, TLS (993), 20 ms relay", "fakes.test;993", "127.0.0.3:993", &ImapBench::idlePolls, kIdlePollTarget},
};

// A fresh service folder with its event log and, given a corpus, a new
// dovecot mailbox of messages mails made from it.
bool ImapBench::begin(int messages, const std::vector<std::string>* corpus) {
    box_.reset();
    folder_.reset(new TempFolder);
    copyText(gAgent.serviceFolder, sizeof gAgent.serviceFolder, folder_->path().c_str());
    if (openEventLog((*folder_ / kEventLogFile).c_str()) != 0) {
        fprintf(stderr, "imap_bench: cannot open the event log in %s\n", folder_->path().c_str());
        return false;
    }
    gAgent.highestMailNumber = 0;
    gRetrieval.clear();
    resetPop3Cancel();
    messages_ = messages;
    if (corpus == nullptr) {
        return true;
    }
    box_.reset(new DovecotMailbox);
    double start = wallSeconds();
    size_t bytes = 0;
    for (int i = 0; i < messages; i++) {
        std::string message = benchMessage((*corpus)[static_cast<size_t>(i) % corpus->size()], i);
        bytes += message.size();
        box_->addMessage(message);
    }
    fprintf(stderr, "imap_bench: mailbox %s of %d messages (%.1f MB) written in %.1f s\n", box_->user().c_str(),
            messages, static_cast<double>(bytes) / 1e6, wallSeconds() - start);
    return true;
}

// The account line of the bench mailbox at the step's server, and the
// relay's scenario when the step goes through it.
bool ImapBench::pointAt(const Step& step) {
    return pointAt(step, box_->user(), box_->password());
}

bool ImapBench::pointAt(const Step& step, const std::string& user, const std::string& password) {
    if (step.relayTo != nullptr) {
        char scenario[128];
        formatText(scenario, sizeof scenario, "{\"relayTo\": \"%s\", \"delayMs\": %d}", step.relayTo, kRelayDelayMs);
        setFakeImapScenario(scenario);
    }
    std::string line = "A;Бенчмарк;" + user + ";" + password + ";" + step.server + "\r\n";
    return writeFile(*folder_ / kMailBoxFile, line);
}

// One retrieval run; false when it did not find the expected number of new
// mails or did not leave every identifier in the identifier file.
bool ImapBench::timedRun(int expectedNew, Sample& sample) {
    sample = timedRetrieval(servers_);
    size_t ids = lineCount(*folder_ / kKnownIdsFile);
    if (gAgent.runNewMailCount != expectedNew || ids != static_cast<size_t>(messages_)) {
        fprintf(stderr,
                "imap_bench: %d new mails (expected %d), %u identifiers (expected %d); see %s "
                "(kept with KORVEL_KEEP_TEMP set)\n",
                gAgent.runNewMailCount.load(), expectedNew, static_cast<unsigned>(ids), messages_,
                (*folder_ / kEventLogFile).c_str());
        return false;
    }
    return true;
}

bool ImapBench::firstPoll(Sample& sample) {
    forgetMailboxes(folder_->path());
    return timedRun(messages_, sample);
}

bool ImapBench::idlePolls(Sample& sample) {
    return medianSample(
        repeat_, [this](Sample& s) { return timedRun(0, s); }, sample);
}

bool ImapBench::rereadPoll(Sample& sample) {
    return timedRun(0, sample);
}

bool ImapBench::timeSteps(int messages, const std::vector<std::string>& corpus) {
    if (!begin(messages, &corpus)) {
        return false;
    }
    bool ok = true;
    for (const Step& step : kSteps) {
        if (step.relayTo != nullptr && !relay_) {
            continue;
        }
        Sample sample;
        ok = pointAt(step) && (this->*step.measure)(sample);
        if (!ok) {
            fprintf(stderr, "imap_bench: the row \"%s\" failed\n", step.name);
            break;
        }
        char target[32] = "";
        if (step.targetSeconds > 0) {
            formatText(target, sizeof target, "<= %.3f s", step.targetSeconds);
        }
        printRow(messages, step.name, sample, target[0] != '\0' ? target : nullptr, sample.wall <= step.targetSeconds);
    }
    setFakeImapScenario("{}");
    closeEventLog("");
    return ok;
}

// Whether the first mails of the large mailbox of user (one round of the
// corpus) are those benchMessage makes: the mailbox is written by another
// program (make_maildir.py), which must make the same mails.
bool madeAsBenchMessages(const std::string& user, const std::vector<std::string>& corpus) {
    std::string folder = dovecotFolder() + "mail\\" + user + "\\Maildir\\new\\";
    for (size_t i = 0; i < corpus.size(); i++) {
        char name[64];
        formatText(name, sizeof name, "%010d.M%dP0.korvel", 1700000000 + static_cast<int>(i), static_cast<int>(i));
        if (readFile(folder + name) != benchMessage(corpus[i], static_cast<int>(i))) {
            fprintf(stderr, "imap_bench: %s%s is not the bench's mail %u\n", folder.c_str(), name,
                    static_cast<unsigned>(i));
            return false;
        }
    }
    return true;
}

// The IMAP dialogue of a first poll and nothing else: login, EXAMINE, the
// listing, and the headers of every message in the batches of a poll, each
// batch dropped once in; false when something failed.
bool bareDialogue(const std::string& user, const std::string& password, int messages) {
    SocketLibrary library;
    HostAddresses addresses;
    bool noSocket = false;
    char buffer[8] = "";
    Pop3Dialogue s(false, buffer, sizeof buffer);
    ImapSession m(s);
    ImapInbox inbox;
    std::vector<ImapMessage> list;
    if (!library.started() || resolveHost(kDirectHost, addresses) != 0 ||
        s.connection.connectTo(addresses, kImapPort, noSocket) != 0 || !imapLogin(m, kDirectHost, user, password) ||
        !openInbox(m, "EXAMINE", inbox) || !listMessages(m, list) || list.size() != static_cast<size_t>(messages)) {
        return false;
    }
    std::vector<uint32_t> wanted;
    for (const ImapMessage& message : list) {
        wanted.push_back(message.uid);
    }
    ImapHeaders headers;
    size_t got = 0;
    for (size_t batch = 0; batch * kHeaderBatch < wanted.size(); batch++) {
        if (!fetchHeaders(m, wanted, batch, headers)) {
            return false;
        }
        got += headers.size();
    }
    return imapLogout(m) && got == wanted.size();
}

// A first poll of the large mailbox of user, directly over port 143, and
// before it, while the process holds the least, the poll's bare IMAP
// dialogue. Their rows show the most private memory of the process during
// each; the line below them what it held before each and its peak working
// set as the system counts it (Wine reports no peak of the private memory:
// its PeakPagefileUsage is the present value).
bool ImapBench::measureMemory(const std::string& user, int messages) {
    if (!begin(messages, nullptr)) {
        return false;
    }
    // The server takes the password "pw-" + the user name.
    const std::string password = "pw-" + user;
    Sample dialogue;
    double dialogueBefore = static_cast<double>(privateBytes()) / kBytesPerMB;
    bool ok;
    {
        Sample start = takeSample(servers_);
        MemoryWatch memory;
        ok = bareDialogue(user, password, messages);
        dialogue = difference(takeSample(servers_), start);
        dialogue.peakMB = memory.peakMB();
    }
    const Step direct = {"first (all new), memory", "pop3.alpha.test;143", nullptr, &ImapBench::firstPoll, 0};
    Sample poll;
    double pollBefore = static_cast<double>(privateBytes()) / kBytesPerMB;
    ok = ok && pointAt(direct, user, password) && firstPoll(poll);
    closeEventLog("");
    if (!ok) {
        fprintf(stderr, "imap_bench: the first poll of %d messages failed\n", messages);
        return false;
    }
    char target[32];
    formatText(target, sizeof target, "peak <= %.0f MB", kFirstPollMemoryMB);
    printRow(messages, direct.name, poll, target, poll.peakMB <= kFirstPollMemoryMB);
    printRow(messages, "  IMAP dialogue only", dialogue);
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) {
        printf("%6d  %-28s private MB before the poll %.1f, before the dialogue %.1f; process peak working set "
               "%.1f MB\n",
               messages, "  memory", pollBefore, dialogueBefore,
               static_cast<double>(counters.PeakWorkingSetSize) / kBytesPerMB);
    }
    fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    int messages = 2000;
    int repeat = 5;
    bool relay = true;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--no-relay") == 0) {
            relay = false;
        } else if (strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) {
            repeat = atoi(argv[++i]);
        } else {
            messages = atoi(argv[i]);
        }
    }
    if (repeat < 1 || repeat > 100 || messages < 1 || messages > 1000000) {
        fprintf(stderr, "usage: imap_bench [--no-relay] [--repeat R] [messages]\n");
        return 2;
    }
    if (relay && getenv("KORVEL_BENCH_IMAP_RELAY") == nullptr) {
        fprintf(stderr, "imap_bench: no relay on the IMAP places; run bench/run_retrieval_bench.sh --imap\n");
        return 2;
    }
    std::vector<std::string> corpus = loadCorpus("imap_bench");
    if (corpus.empty()) {
        return 2;
    }
    ImapBench bench(watchedServers(), repeat, relay);
    bench.printHeading();
    // The memory first: the process's own peak then belongs to that poll,
    // not to the rows before.
    const char* large = getenv("KORVEL_BENCH_LARGE_MAILBOX");
    if (large != nullptr) {
        char user[64] = "";
        int count = 0;
        if (sscanf(large, "%63s %d", user, &count) != 2 || count < static_cast<int>(corpus.size()) ||
            !madeAsBenchMessages(user, corpus) || !bench.measureMemory(user, count)) {
            return 1;
        }
    }
    return bench.timeSteps(messages, corpus) ? 0 : 1;
}
