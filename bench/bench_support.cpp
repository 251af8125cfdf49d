#include "bench_support.h"

#include "base/text.h"
#include "core/agent_state.h"
#include "core/program_names.h"
#include "retrieval/retrieval_run.h"

#include "pop3_fixtures.h"
#include "win_test_support.h"

#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Linux reports process times in clock ticks of 1/100 s.
constexpr double kClockTicksPerSecond = 100.0;

} // namespace

double wallSeconds() {
    static LARGE_INTEGER frequency;
    if (frequency.QuadPart == 0) {
        QueryPerformanceFrequency(&frequency);
    }
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

namespace {

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

} // namespace

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

namespace {

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

} // namespace

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

MemoryWatch::MemoryWatch() : stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    peak_ = privateBytes();
    if (stop_ != nullptr) {
        thread_ = CreateThread(nullptr, 0, watch, this, 0, nullptr);
    }
}

MemoryWatch::~MemoryWatch() {
    if (stop_ != nullptr) {
        SetEvent(stop_);
    }
    if (thread_ != nullptr) {
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
    }
    if (stop_ != nullptr) {
        CloseHandle(stop_);
    }
}

double MemoryWatch::peakMB() const {
    size_t now = privateBytes();
    return static_cast<double>(now > peak_ ? now : peak_) / (1024.0 * 1024.0);
}

DWORD WINAPI MemoryWatch::watch(void* param) {
    auto* self = static_cast<MemoryWatch*>(param);
    while (WaitForSingleObject(self->stop_, 5) == WAIT_TIMEOUT) {
        size_t now = privateBytes();
        if (now > self->peak_) {
            self->peak_ = now;
        }
    }
    return 0;
}

std::vector<std::string> loadCorpus(const char* program) {
    std::vector<std::string> corpus;
    if (dovecotFolder().empty() || fakePop3Folder().empty() || mailCorpusFolder().empty()) {
        fprintf(stderr, "%s: no mail servers; run bench/run_retrieval_bench.sh\n", program);
        return corpus;
    }
    for (const std::string& name : corpusMailNames()) {
        corpus.push_back(corpusMail(name));
    }
    if (corpus.empty()) {
        fprintf(stderr, "%s: no mails in %s\n", program, mailCorpusFolder().c_str());
    }
    return corpus;
}

void forgetMailboxes(const std::string& folder) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "Uidl_*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            DeleteFileA((folder + data.cFileName).c_str());
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    DeleteFileA((folder + kKnownIdsFile).c_str());
}

void printHeading(const std::vector<Server>& servers) {
    printf("%6s  %-28s %8s %8s %9s %9s %8s", "N", "run", "wall s", "CPU s", "msgs/s", "CPU us/msg", "peak MB");
    for (const Server& server : servers) {
        printf(" %11s", (server.name + " s").c_str());
    }
    printf("\n");
}

void printRow(int messages, const char* name, const Sample& s, const char* target, bool met) {
    printf("%6d  %-28s %8.3f %8.3f %9.0f %9.1f %8.1f", messages, name, s.wall, s.cpu, messages / s.wall,
           s.cpu * 1e6 / messages, s.peakMB);
    for (double seconds : s.servers) {
        printf(" %11.2f", seconds);
    }
    if (target != nullptr) {
        printf("  target %s: %s", target, met ? "met" : "MISSED");
    }
    printf("\n");
    fflush(stdout);
}

Sample timedRetrieval(const std::vector<Server>& servers) {
    gAgent.pollMode = 1;
    Sample before = takeSample(servers);
    MemoryWatch memory;
    retrievalRun();
    Sample sample = difference(takeSample(servers), before);
    sample.peakMB = memory.peakMB();
    return sample;
}
