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
//
// Wall time comes from QueryPerformanceCounter, CPU time from GetProcessTimes
// (user + kernel of this process). KORVEL_BENCH_SERVERS="name:pid ..." names
// Unix processes (wineserver, dovecot, the relay) whose CPU time, with that of
// their children, is read from /proc for every run as well.
#include "core/agent_state.h"
#include "base/event_log.h"
#include "base/text.h"
#include "retrieval/pop3_connection.h"
#include "retrieval/pop3_session.h"
#include "retrieval/retrieval_run.h"
#include "retrieval/retrieval_state.h"

#include "pop3_fixtures.h"
#include "win_test_support.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kRelayDelayMs = 20;
// Linux reports process times in clock ticks of 1/100 s.
constexpr double kClockTicksPerSecond = 100.0;

double wallSeconds() {
    static LARGE_INTEGER frequency;
    if (frequency.QuadPart == 0) {
        QueryPerformanceFrequency(&frequency);
    }
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double fileTimeSeconds(const FILETIME& t) {
    ULARGE_INTEGER value;
    value.LowPart = t.dwLowDateTime;
    value.HighPart = t.dwHighDateTime;
    return static_cast<double>(value.QuadPart) / 1e7;
}

double processCpuSeconds() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) {
        return 0;
    }
    return fileTimeSeconds(kernel) + fileTimeSeconds(user);
}

// A small file of /proc read through drive Z: (its size shows as 0, so it is
// read to its end).
std::string readProcFile(const std::string& path) {
    std::string text;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return text;
    }
    char chunk[4096];
    DWORD got = 0;
    while (text.size() < 1024 * 1024 && ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) {
        text.append(chunk, got);
    }
    CloseHandle(file);
    return text;
}

// CPU seconds of a Unix process: its own (all threads) and those of its
// children that have ended, plus, recursively, its living children.
double unixProcessTreeCpuSeconds(unsigned long pid, int depth = 0) {
    char path[96];
    formatText(path, sizeof path, "Z:\\proc\\%lu\\stat", pid);
    std::string stat = readProcFile(path);
    size_t close = stat.rfind(')');
    if (close == std::string::npos) {
        return 0;
    }
    // After the command name: state, ppid, ... utime is the 12th field,
    // then stime, cutime, cstime.
    std::vector<unsigned long long> fields;
    const char* p = stat.c_str() + close + 1;
    while (*p != '\0' && fields.size() < 15) {
        while (*p == ' ') {
            p++;
        }
        char* end = nullptr;
        unsigned long long value = strtoull(p, &end, 10);
        fields.push_back(end != p ? value : 0);
        p = end != p ? end : p + 1;
        while (*p != '\0' && *p != ' ') {
            p++;
        }
    }
    if (fields.size() < 15) {
        return 0;
    }
    double seconds = static_cast<double>(fields[11] + fields[12] + fields[13] + fields[14]) / kClockTicksPerSecond;
    if (depth < 4) {
        formatText(path, sizeof path, "Z:\\proc\\%lu\\task\\%lu\\children", pid, pid);
        std::string children = readProcFile(path);
        const char* c = children.c_str();
        while (*c != '\0') {
            char* end = nullptr;
            unsigned long child = strtoul(c, &end, 10);
            if (end == c) {
                break;
            }
            seconds += unixProcessTreeCpuSeconds(child, depth + 1);
            c = end;
        }
    }
    return seconds;
}

struct Server {
    std::string name;
    unsigned long pid;
};

std::vector<Server> watchedServers() {
    std::vector<Server> servers;
    const char* list = getenv("KORVEL_BENCH_SERVERS");
    if (list == nullptr) {
        return servers;
    }
    std::string text = list;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(' ', at);
        std::string item = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        size_t colon = item.find(':');
        if (colon != std::string::npos) {
            servers.push_back({item.substr(0, colon), strtoul(item.c_str() + colon + 1, nullptr, 10)});
        }
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return servers;
}

struct Sample {
    double wall = 0;
    double cpu = 0;
    double peakMB = 0;
    std::vector<double> servers;
};

size_t privateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof counters)) {
        return 0;
    }
    // Wine leaves PrivateUsage at 0; its commit charge is PagefileUsage.
    return counters.PrivateUsage > counters.PagefileUsage ? counters.PrivateUsage : counters.PagefileUsage;
}

// Watches the private memory of the process every few milliseconds while
// it lives and keeps the most.
class MemoryWatch {
public:
    MemoryWatch() : stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
        peak_ = privateBytes();
        thread_ = CreateThread(nullptr, 0, watch, this, 0, nullptr);
    }
    ~MemoryWatch() {
        SetEvent(stop_);
        if (thread_ != nullptr) {
            WaitForSingleObject(thread_, INFINITE);
            CloseHandle(thread_);
        }
        CloseHandle(stop_);
    }
    double peakMB() const {
        size_t now = privateBytes();
        return static_cast<double>(now > peak_ ? now : peak_) / (1024.0 * 1024.0);
    }

private:
    static DWORD WINAPI watch(void* param) {
        auto* self = static_cast<MemoryWatch*>(param);
        while (WaitForSingleObject(self->stop_, 5) == WAIT_TIMEOUT) {
            size_t now = privateBytes();
            if (now > self->peak_) {
                self->peak_ = now;
            }
        }
        return 0;
    }
    HANDLE stop_;
    HANDLE thread_ = nullptr;
    volatile size_t peak_ = 0;
};

Sample takeSample(const std::vector<Server>& servers) {
    Sample s;
    for (const Server& server : servers) {
        s.servers.push_back(unixProcessTreeCpuSeconds(server.pid));
    }
    s.cpu = processCpuSeconds();
    s.wall = wallSeconds();
    return s;
}

Sample difference(const Sample& after, const Sample& before) {
    Sample d;
    d.wall = after.wall - before.wall;
    d.cpu = after.cpu - before.cpu;
    for (size_t i = 0; i < after.servers.size(); i++) {
        d.servers.push_back(after.servers[i] - before.servers[i]);
    }
    return d;
}

// Position of the value of the first header field name (lower case, with
// its colon) in the header part of a mail, or npos.
size_t findField(const std::string& mail, const char* name) {
    size_t headerEnd = mail.find("\r\n\r\n");
    if (headerEnd == std::string::npos) {
        headerEnd = mail.size();
    }
    size_t length = strlen(name);
    for (size_t line = 0; line < headerEnd;) {
        if (_strnicmp(mail.c_str() + line, name, length) == 0) {
            return line + length;
        }
        size_t next = mail.find("\r\n", line);
        if (next == std::string::npos) {
            break;
        }
        line = next + 2;
    }
    return std::string::npos;
}

// Message i of the mailbox: a corpus mail with a trace line of its own on
// top, as the delivering server adds it, and its Message-ID (where it has
// one) made unique, so that every message has an identifier of its own
// whichever rule finds it.
std::string benchMessage(const std::string& mail, int i) {
    std::string message = mail;
    size_t value = findField(message, "message-id:");
    if (value != std::string::npos) {
        while (value < message.size() && (message[value] == ' ' || message[value] == '\t')) {
            value++;
        }
        if (value < message.size() && message[value] == '<') {
            value++;
        }
        char prefix[32];
        formatText(prefix, sizeof prefix, "b%d.", i);
        message.insert(value, prefix);
    }
    // The trace follows a line of its own: a header name counts after a
    // line feed, so the trace, not the corpus mail's own, gives the
    // identifier of a mail without Message-ID.
    char trace[256];
    formatText(trace, sizeof trace,
               "X-Bench: %d\r\n"
               "Received: from mx.bench.example.ru (mx.bench.example.ru [10.77.0.1])\r\n"
               "\tby pop.bench.example.ru with LMTP id B%07d;\r\n"
               "\tMon, 7 Dec 2026 %02d:%02d:%02d +0300\r\n",
               i, i, (i / 3600) % 24, (i / 60) % 60, i % 60);
    return trace + message;
}

size_t lineCount(const std::string& path) {
    return splitLines(readFile(path)).size();
}

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

// The sample of median wall time of repeat calls of measured, which fills
// a sample and returns false on failure.
template <typename Measure>
bool medianSample(int repeat, Measure measured, Sample& median) {
    std::vector<Sample> samples(static_cast<size_t>(repeat));
    for (Sample& s : samples) {
        if (!measured(s)) {
            return false;
        }
    }
    std::sort(samples.begin(), samples.end(), [](const Sample& a, const Sample& b) { return a.wall < b.wall; });
    median = samples[samples.size() / 2];
    return true;
}

class Bench {
public:
    Bench(std::vector<Server> servers, int repeat, bool relay, bool walk)
        : servers_(std::move(servers)), repeat_(repeat), relay_(relay), walk_(walk) {}

    bool run(int messages, const std::vector<std::string>& corpus);
    void printHeading() const;

private:
    // One retrieval run; false when it did not find the expected number of
    // new mails or did not leave every identifier in IdMail.txt.
    bool timedRun(int messages, int expectedNew, Sample& sample);
    void printRow(int messages, const char* name, const Sample& s) const;
    bool relayedRuns(int messages, DovecotMailbox& box, const std::vector<std::string>& corpus);

    std::vector<Server> servers_;
    int repeat_;
    bool relay_;
    bool walk_;
    TempFolder folder_;
    int added_ = 0; // mails added to the mailbox after its first run
};

void Bench::printHeading() const {
    printf("%6s  %-28s %8s %8s %9s %9s %8s", "N", "run", "wall s", "CPU s", "msgs/s", "CPU us/msg", "peak MB");
    for (const Server& server : servers_) {
        printf(" %11s", (server.name + " s").c_str());
    }
    printf("\n");
}

void Bench::printRow(int messages, const char* name, const Sample& s) const {
    printf("%6d  %-28s %8.3f %8.3f %9.0f %9.1f %8.1f", messages, name, s.wall, s.cpu, messages / s.wall,
           s.cpu * 1e6 / messages, s.peakMB);
    for (double seconds : s.servers) {
        printf(" %11.2f", seconds);
    }
    printf("\n");
    fflush(stdout);
}

bool Bench::timedRun(int messages, int expectedNew, Sample& sample) {
    gAgent.pollMode = 1;
    Sample before = takeSample(servers_);
    {
        MemoryWatch memory;
        retrievalRun();
        sample = difference(takeSample(servers_), before);
        sample.peakMB = memory.peakMB();
    }
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
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA((folder_ / "Uidl_*").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                DeleteFileA((folder_ / data.cFileName).c_str());
            } while (FindNextFileA(find, &data));
            FindClose(find);
        }
        DeleteFileA((folder_ / "IdMail.txt").c_str());
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
    if (dovecotFolder().empty() || fakePop3Folder().empty() || mailCorpusFolder().empty()) {
        fprintf(stderr, "retrieval_bench: no POP3 servers; run bench/run_retrieval_bench.sh\n");
        return 2;
    }
    std::vector<std::string> corpus;
    for (const std::string& name : corpusMailNames()) {
        corpus.push_back(corpusMail(name));
    }
    if (corpus.empty()) {
        fprintf(stderr, "retrieval_bench: no mails in %s\n", mailCorpusFolder().c_str());
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
