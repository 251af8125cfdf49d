// Times how long a new mail takes from its delivery into the server's
// mailbox to the agent's record of it, with the mailbox kept in IDLE: the
// agent (Korvel.exe from an installation of its own, poll interval half an
// hour) watches an IMAP mailbox on the test session's dovecot, a mail is
// moved into the maildir's "new" folder, and the clock runs until its record
// is in GetMail.txt and until the poll's end (the tray shows the count as the
// agent window takes the poll's last message), with the server's
// announcement and the poll's connection check on the way. Then the agent is asked to
// quit and the time to its end is taken: the IDLE connection ends with it.
// Needs the session of tools/session.sh (bench/run_retrieval_bench.sh --idle
// sets it up). Usage: idle_bench [--repeat R] (default 10 deliveries per server).
#include "bench_support.h"

#include "agent_process.h"
#include "http_fixtures.h"
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

constexpr DWORD kStepTimeoutMs = 60000;
constexpr double kTargetSeconds = 2.0;

size_t countOf(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) {
        n++;
    }
    return n;
}

// Looks at the file every few milliseconds until it holds at least count
// occurrences of what; the seconds that took, or a negative number.
double secondsUntil(const std::string& path, const std::string& what, size_t count, double from) {
    while (wallSeconds() - from < kStepTimeoutMs / 1000.0) {
        if (countOf(readFile(path), what) >= count) {
            return wallSeconds() - from;
        }
        Sleep(5);
    }
    return -1.0;
}

// A small mail of its own identifier, so that every delivery is new.
std::string benchMail(int n) {
    char text[512];
    snprintf(text, sizeof text,
             "From: Bench <bench@korvel.test>\r\nTo: user@korvel.test\r\nSubject: Delivery %d\r\n"
             "Date: Tue, 08 Dec 2026 05:00:00 +0000\r\nMessage-ID: <idle-bench-%lu-%d@korvel.test>\r\n\r\nBody %d\r\n",
             n, GetCurrentProcessId(), n, n);
    return text;
}

struct Figures {
    std::vector<double> announced, checked, record, pollEnd;
    double quit = -1.0;
};

void printTimes(const char* server, const char* what, std::vector<double> times) {
    if (times.empty()) {
        return;
    }
    std::sort(times.begin(), times.end());
    double worst = times.back();
    printf("%-24s %-32s %8.3f %8.3f %8.3f   %s\n", server, what, times.front(), times[times.size() / 2], worst,
           worst <= kTargetSeconds ? "within 2 s" : "OVER 2 s");
}

// The agent on one server, repeat deliveries, then its end.
bool measure(const char* server, int repeat, Figures& f) {
    Installation inst;
    DovecotMailbox box;
    static int delivered = 0;
    box.addMessage(benchMail(++delivered));
    writeFile(inst.service() + "MailBox.txt",
              "A;Бенчмарк;" + box.user() + ";" + box.password() + ";" + server + "\r\n");
    writeFile(inst.service() + "Korvel.ini", "[Korvel]\r\nUpdateServer=" + httpBaseUrl() + "update/\r\nMessageServer=" +
                                                 httpBaseUrl() + "mess/\r\nInterval=30\r\nBlink=0\r\n");
    ChildProcess agent;
    if (!agent.start(inst.exe())) {
        return false;
    }
    HWND window = waitForAgent(agent);
    const std::string log = inst.log();
    const std::string records = inst.service() + "GetMail.txt";
    if (window == nullptr || secondsUntil(log, "Поток опроса почты завершился", 1, wallSeconds()) < 0 ||
        secondsUntil(log, " IDLE\r\n", 1, wallSeconds()) < 0) {
        return false;
    }
    for (int i = 0; i < repeat; i++) {
        // The start-up's poll request holds the agent window for its notice
        // pause: the deliveries find the agent idle, as a user's mail does.
        DWORD_PTR answer = 0;
        if (!SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, kStepTimeoutMs, &answer)) {
            return false;
        }
        size_t polls = countOf(readFile(log), "Поток опроса почты завершился");
        double start = wallSeconds();
        box.addMessage(benchMail(++delivered));
        double announced = secondsUntil(log, "Сервер сообщил о новом письме", static_cast<size_t>(i + 1), start);
        // The telegrams come after the poll's connection check (the GET of
        // the version file).
        double checked = secondsUntil(log, "Запрос приема сообщений", static_cast<size_t>(i + 2), start);
        double record = secondsUntil(records, "\r\n", static_cast<size_t>(i + 2), start);
        double end = secondsUntil(log, "Поток опроса почты завершился", polls + 1, start);
        if (announced < 0 || checked < 0 || record < 0 || end < 0) {
            fprintf(stderr, "idle_bench: delivery %d: announced %.3f, checked %.3f, record %.3f, poll end %.3f\n",
                    i + 1, announced, checked, record, end);
            return false;
        }
        f.announced.push_back(announced);
        f.checked.push_back(checked);
        f.record.push_back(record);
        f.pollEnd.push_back(end);
    }
    double start = wallSeconds();
    if (!quitAgent(window, agent, kStepTimeoutMs)) {
        return false;
    }
    f.quit = wallSeconds() - start;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    int repeat = 10;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) {
            repeat = atoi(argv[++i]);
        }
    }
    if (repeat < 1 || repeat > 100) {
        fprintf(stderr, "usage: idle_bench [--repeat R]\n");
        return 2;
    }
    if (dovecotFolder().empty() || httpBaseUrl().empty()) {
        fprintf(stderr, "idle_bench: no test servers; run bench/run_retrieval_bench.sh --idle\n");
        return 2;
    }
    printf("%-24s %-32s %8s %8s %8s   target\n", "server", "from delivery to", "min s", "median s", "max s");
    const char* servers[] = {"pop3.delta.test;993", "pop3.alpha.test;143"};
    for (const char* server : servers) {
        Figures f;
        if (!measure(server, repeat, f)) {
            fprintf(stderr, "idle_bench: the run on %s did not finish\n", server);
            return 1;
        }
        printTimes(server, "the server's announcement", f.announced);
        printTimes(server, "the poll's connection checked", f.checked);
        printTimes(server, "its record in GetMail.txt", f.record);
        printTimes(server, "the poll's end (tray count)", f.pollEnd);
        printf("%-24s %-32s %8.3f   %s\n", server, "quit during IDLE to exit", f.quit,
               f.quit <= kTargetSeconds ? "within 2 s" : "OVER 2 s");
    }
    printf("(a POP3 mailbox with the same settings waits for the next poll: up to 30 minutes)\n");
    return 0;
}
