// Times whole retrieval runs against the test session's dovecot server: for
// each mailbox size, a first run (every mail new), a second run (no mail new,
// every identifier known), the same second run with the walk of LIST n and
// TOP n 0 for every message forced, and, through the scripted server acting
// as a relay that holds every reply back by 20 ms (a slow line), a second
// run by unique ids and by the walk, a run with 20 new mails and a first run
// (no identifier file, no cache). Two more rows show where a second run's
// time goes: the same run with the event log closed, and the bare POP3
// dialogue of the walk (LIST and TOP for every message, replies read to
// their ends) without the run around it. "peak MB" is the most private
// memory the process held during the run. Rows marked TLS run over dovecot's
// port 995, directly and through the relay (the handshake's round trips
// delayed as well).
// Needs the session of tools/session.sh (bench/run_retrieval_bench.sh sets
// it up). Usage: retrieval_bench [--no-relay] [--no-walk] [--repeat R]
// [messages...] (default 5000 messages, second run timed 3 times);
// --no-walk leaves out the rows of the walk.
// The columns are those of bench_support.h.
#include "core/agent_state.h"
#include "base/event_log.h"
#include "base/text.h"
#include "retrieval/pop3_connection.h"
#include "retrieval/pop3_session.h"
#include "retrieval/retrieval_run.h"
#include "retrieval/retrieval_state.h"

#include "bench_support.h"
#include "pop3_fixtures.h"
#include "win_test_support.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The POP3 dialogue of a second run and nothing else: login, LIST n and
// TOP n 0 for every message with each reply read to its end, QUIT.
bool bareDialogue(const DovecotMailbox& box, int messages) {
    SocketLibrary library;
    HostAddresses addresses;
    Pop3Connection connection;
    bool noSocket = false;
    if (!library.started() || resolveHost("pop3.alpha.test", addresses) != 0 ||
        connection.connectTo(addresses, 110, noSocket) != 0) {
        return false;
    }
    std::string reply;
    auto command = [&](const std::string& text) {
        return connection.sendText(text) == 0 && connection.receiveLine(reply) == 0 && reply[0] == '+';
    };
    if (connection.receiveLine(reply) != 0 || !command("USER " + box.user() + "\r\n") ||
        !command("PASS " + box.password() + "\r\n") || !command("STAT\r\n")) {
        return false;
    }
    std::string header;
    bool cut = false;
    char text[32];
    for (int n = 1; n <= messages; n++) {
        formatText(text, sizeof text, "LIST %d\r\n", n);
        if (!command(text)) {
            return false;
        }
        formatText(text, sizeof text, "TOP %d 0\r\n", n);
        if (!command(text) || connection.receiveMultiline(header, cut) != 0) {
            return false;
        }
    }
    return command("QUIT\r\n");
}

class Bench {
public:
    Bench(std::vector<Server> servers, int repeat, bool relay, bool walk)
        : servers_(std::move(servers)), repeat_(repeat), relay_(relay), walk_(walk) {}

    bool run(int messages, const std::vector<std::string>& corpus);
    void printHeading() const { ::printHeading(servers_); }

private:
    // One retrieval run; false when it did not find the expected number of
    // new mails or did not leave every identifier in IdMail.txt.
    bool timedRun(int messages, int expectedNew, Sample& sample);
    bool relayedRuns(int messages, DovecotMailbox& box, const std::vector<std::string>& corpus);

    std::vector<Server> servers_;
    int repeat_;
    bool relay_;
    bool walk_;
    TempFolder folder_;
    int added_ = 0; // mails added to the mailbox after its first run
};

bool Bench::timedRun(int messages, int expectedNew, Sample& sample) {
    sample = timedRetrieval(servers_);
    size_t ids = lineCount(folder_ / "IdMail.txt");
    if (gAgent.runNewMailCount != expectedNew || ids != static_cast<size_t>(messages + added_)) {
        fprintf(stderr,
                "retrieval_bench: %d new mails (expected %d), %u identifiers (expected %d); see %s "
                "(kept with KORVEL_KEEP_TEMP set)\n",
                gAgent.runNewMailCount.load(), expectedNew, static_cast<unsigned>(ids), messages + added_,
                (folder_ / "MAInLog.txt").c_str());
        return false;
    }
    return true;
}

// The runs through the relay: nothing new by unique ids and by the walk, 20
// new mails, and a first run without identifier file and cache.
bool Bench::relayedRuns(int messages, DovecotMailbox& box, const std::vector<std::string>& corpus) {
    char scenario[128];
    formatText(scenario, sizeof scenario, "{\"relayTo\": \"127.0.0.1:110\", \"delayMs\": %d}", kRelayDelayMs);
    setFakePop3Scenario(scenario);
    std::string relayed = "A;Бенчмарк;" + box.user() + ";" + box.password() + ";fake.test;110\r\n";
    bool ok = writeFile(folder_ / "MailBox.txt", relayed);
    char name[64];
    Sample slow, walked;
    // The cache belongs to the mailbox at its server name: the first poll
    // through the relay's name reads every header again.
    if (ok && (ok = timedRun(messages, 0, slow))) {
        printRow(messages, "second, relay, new name", slow);
    }
    if (ok && (ok = timedRun(messages, 0, slow))) {
        formatText(name, sizeof name, "second, %d ms relay", kRelayDelayMs);
        printRow(messages, name, slow);
    }
    if (ok && walk_) {
        gPop3ForceWalk = true;
        ok = timedRun(messages, 0, walked);
        gPop3ForceWalk = false;
        if (ok) {
            formatText(name, sizeof name, "second, walk, %d ms relay", kRelayDelayMs);
            printRow(messages, name, walked);
            printf("%6d  %-28s %8.0f\n", messages, "  walk / unique ids", walked.wall / slow.wall);
        }
    }
    if (ok) {
        const int added = 20;
        for (int i = 0; i < added; i++) {
            box.addMessage(benchMessage(corpus[static_cast<size_t>(i) % corpus.size()], messages + i));
        }
        added_ = added;
        ok = timedRun(messages, added, slow);
        if (ok) {
            formatText(name, sizeof name, "%d new, %d ms relay", added, kRelayDelayMs);
            printRow(messages, name, slow);
        }
    }
    if (ok) {
        // A first poll: the mailbox's cache goes with the identifier file.
        forgetMailboxes(folder_.path());
        ok = timedRun(messages, messages + added_, slow);
        if (ok) {
            formatText(name, sizeof name, "first (all new), %d ms relay", kRelayDelayMs);
            printRow(messages, name, slow);
        }
    }
    if (ok) {
        // The same over TLS: the relay passes the TLS bytes of dovecot's
        // port 995 through. The first poll at the new server name reads every
        // header; the second is served from the cache.
        formatText(scenario, sizeof scenario, "{\"relayTo\": \"127.0.0.3:995\", \"delayMs\": %d}", kRelayDelayMs);
        setFakePop3Scenario(scenario);
        relayed = "A;Бенчмарк;" + box.user() + ";" + box.password() + ";fakes.test;995\r\n";
        ok = writeFile(folder_ / "MailBox.txt", relayed) && timedRun(messages, 0, slow);
        if (ok) {
            formatText(name, sizeof name, "TLS, relay, new name");
            printRow(messages, name, slow);
            ok = timedRun(messages, 0, slow);
        }
        if (ok) {
            formatText(name, sizeof name, "second, TLS, %d ms relay", kRelayDelayMs);
            printRow(messages, name, slow);
        }
    }
    setFakePop3Scenario("{}");
    return ok;
}

bool Bench::run(int messages, const std::vector<std::string>& corpus) {
    copyText(gAgent.serviceFolder, sizeof gAgent.serviceFolder, folder_.path().c_str());
    for (const char* name : {"IdMail.txt", "GetMail.txt", "MailTmp.txt", "DeleteMail.txt"}) {
        DeleteFileA((folder_ / name).c_str());
    }
    if (openEventLog((folder_ / "MAInLog.txt").c_str()) != 0) {
        fprintf(stderr, "retrieval_bench: cannot open the event log in %s\n", folder_.path().c_str());
        return false;
    }
    gAgent.highestMailNumber = 0;
    gRetrieval.clear();
    resetPop3Cancel();
    added_ = 0;

    DovecotMailbox box;
    double start = wallSeconds();
    size_t bytes = 0;
    for (int i = 0; i < messages; i++) {
        std::string message = benchMessage(corpus[static_cast<size_t>(i) % corpus.size()], i);
        bytes += message.size();
        box.addMessage(message);
    }
    fprintf(stderr, "retrieval_bench: mailbox %s of %d messages (%.1f MB) written in %.1f s\n", box.user().c_str(),
            messages, static_cast<double>(bytes) / 1e6, wallSeconds() - start);

    std::string direct = "A;Бенчмарк;" + box.user() + ";" + box.password() + ";pop3.alpha.test;110\r\n";
    if (!writeFile(folder_ / "MailBox.txt", direct)) {
        fprintf(stderr, "retrieval_bench: cannot write MailBox.txt\n");
        return false;
    }

    Sample first;
    if (!timedRun(messages, messages, first)) {
        return false;
    }
    printRow(messages, "first (all new)", first);

    // Second runs, repeated; then where their time goes: the same run
    // without the event log, and the bare POP3 dialogue without the run.
    char name[64];
    Sample second;
    auto secondRun = [&](Sample& s) { return timedRun(messages, 0, s); };
    if (!medianSample(repeat_, secondRun, second)) {
        return false;
    }
    formatText(name, sizeof name, repeat_ > 1 ? "second (median of %d)" : "second", repeat_);
    printRow(messages, name, second);

    closeEventLog("");
    bool ok = medianSample(repeat_, secondRun, second);
    openEventLog((folder_ / "MAInLog.txt").c_str());
    if (!ok) {
        return false;
    }
    printRow(messages, "  same, no event log", second);

    if (walk_) {
        gPop3ForceWalk = true;
        ok = medianSample(repeat_, secondRun, second);
        gPop3ForceWalk = false;
        if (!ok) {
            return false;
        }
        printRow(messages, "second, walk", second);
    }

    auto dialogue = [&](Sample& s) {
        Sample before = takeSample(servers_);
        bool done = bareDialogue(box, messages);
        s = difference(takeSample(servers_), before);
        return done;
    };
    if (!medianSample(repeat_, dialogue, second)) {
        fprintf(stderr, "retrieval_bench: the bare POP3 dialogue failed\n");
        return false;
    }
    printRow(messages, "  LIST+TOP dialogue only", second);

    std::string secure = "A;Бенчмарк;" + box.user() + ";" + box.password() + ";pop3.delta.test;995\r\n";
    if (!writeFile(folder_ / "MailBox.txt", secure) || !secondRun(second)) {
        return false;
    }
    printRow(messages, "second, TLS (port 995)", second);

    if (relay_ && !relayedRuns(messages, box, corpus)) {
        return false;
    }
    closeEventLog("");
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<int> sizes;
    int repeat = 3;
    bool relay = true;
    bool walk = true;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--no-relay") == 0) {
            relay = false;
        } else if (strcmp(argv[i], "--no-walk") == 0) {
            walk = false;
        } else if (strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) {
            repeat = atoi(argv[++i]);
        } else {
            sizes.push_back(atoi(argv[i]));
        }
    }
    if (sizes.empty()) {
        sizes.push_back(5000);
    }
    bool valid = repeat >= 1 && repeat <= 100;
    for (int n : sizes) {
        valid = valid && n >= 1 && n <= 1000000;
    }
    if (!valid) {
        fprintf(stderr, "usage: retrieval_bench [--no-relay] [--no-walk] [--repeat R] [messages...]\n");
        return 2;
    }
    std::vector<std::string> corpus = loadCorpus("retrieval_bench");
    if (corpus.empty()) {
        return 2;
    }

    Bench bench(watchedServers(), repeat, relay, walk);
    bench.printHeading();
    for (int n : sizes) {
        if (!bench.run(n, corpus)) {
            return 1;
        }
    }
    return 0;
}
