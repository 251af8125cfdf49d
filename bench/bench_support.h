// What the benchmarks of whole retrieval runs share: wall and CPU time of
// this process and of the Unix processes named in KORVEL_BENCH_SERVERS
// ("name:pid ..."; wineserver, dovecot, the relay, read from /proc with
// their children), the private memory of this process, the mails of a
// mailbox made from the corpus, and the table their rows are printed in.
//
// Wall time comes from QueryPerformanceCounter, CPU time from GetProcessTimes
// (user + kernel of this process).
#pragma once
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

// The scripted server acting as a relay holds every reply back this long.
constexpr int kRelayDelayMs = 20;

struct Server {
    std::string name;
    unsigned long pid;
};

// The processes named in KORVEL_BENCH_SERVERS.
std::vector<Server> watchedServers();

struct Sample {
    double wall = 0;
    double cpu = 0;
    double peakMB = 0;
    std::vector<double> servers;
};

double wallSeconds();
Sample takeSample(const std::vector<Server>& servers);
Sample difference(const Sample& after, const Sample& before);

// The private memory (commit charge) of this process now, in bytes.
size_t privateBytes();

// Watches the private memory of the process every few milliseconds while
// it lives and keeps the most.
class MemoryWatch {
public:
    MemoryWatch();
    ~MemoryWatch();
    MemoryWatch(const MemoryWatch&) = delete;
    MemoryWatch& operator=(const MemoryWatch&) = delete;
    double peakMB() const;

private:
    static DWORD WINAPI watch(void* param);
    HANDLE stop_;
    HANDLE thread_ = nullptr;
    volatile size_t peak_ = 0;
};

// Message i of a bench mailbox: a corpus mail with a trace line of its own
// on top, as the delivering server adds it, and its Message-ID (where it has
// one) made unique, so that every message has an identifier of its own
// whichever rule finds it.
std::string benchMessage(const std::string& mail, int i);

// The mails of the test corpus; empty (with the reason on stderr) when the
// session of tools/session.sh is missing.
std::vector<std::string> loadCorpus(const char* program);

size_t lineCount(const std::string& path);

// One retrieval run of the mailboxes of the service folder, with its wall
// and CPU time, the servers' and its peak private memory.
Sample timedRetrieval(const std::vector<Server>& servers);

// Removes the identifier file and every mailbox's unique-id cache from
// folder (a path ending with "\\"): the next poll is a first one.
void forgetMailboxes(const std::string& folder);

// The table: the heading names the watched servers' columns; a row shows
// its sample and, when target is given, the target and whether it was met.
void printHeading(const std::vector<Server>& servers);
void printRow(int messages, const char* name, const Sample& s, const char* target = nullptr, bool met = true);

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
