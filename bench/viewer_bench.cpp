// Times the viewer with large mail lists: opening it, changing to the
// "История" tab and sorting by the date column, in the detailed and the
// compact view. Each case is a number of archived mails and how many of them
// are new, in 20 mailboxes: the new ones arrive as a poll leaves them
// (GetMail.txt), so that opening merges them into both lists. By default
// 1,000, 10,000 and 100,000 archived with 1,000 new, and 100,000 that are all
// new (the first poll of a big mailbox); "archived:new" on the command line
// gives other cases. Each step is timed up to the end of the paint that
// follows it; each figure is the median of three runs.
#include "bench_support.h"
#include "agent/startup.h"
#include "base/event_log.h"
#include "base/file_io.h"
#include "base/text.h"
#include "core/agent_state.h"
#include "resources/resource.h"
#include "viewer/viewer_window.h"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <vector>

namespace {

constexpr int kMailboxes = 20;

struct BenchCase {
    int archived;
    int fresh; // of the archived, how many are new
};

// Each case runs this often; the median of each figure is printed, so that
// other work on the machine in one run does not decide the figure.
constexpr int kRuns = 3;

constexpr BenchCase kDefaultCases[] = {{1000, 1000}, {10000, 1000}, {100000, 1000}, {100000, 100000}};

// Writes count records numbered from first, spread over the mailboxes.
bool generate(const char* path, int first, int count) {
    if (count <= 0) {
        DeleteFileA(path);
        return true;
    }
    ReplacementFile file;
    if (file.create(path, 0) != 0) {
        return false;
    }
    char line[1024];
    unsigned seed = 12345;
    for (int i = 0; i < count; i++) {
        seed = seed * 1103515245u + 12345u;
        int number = first + i;
        unsigned box = (seed >> 16) % kMailboxes;
        size_t n = formatText(line, sizeof line,
                              "%d;0;Ящик %u;box%u@example.ru;%u.%u Кб;%08X.%d@mail.example.ru;"
                              "Отправитель %u <sender%u@example.net>;%u;%s;Обсуждение вопроса %d\r\n",
                              number, box, box, (seed >> 8) % 900 + 1, seed % 10, seed, number, (seed >> 4) % 500,
                              (seed >> 4) % 500, 1230000000u + (seed >> 6) % 500000000u, (seed & 4) ? "+" : "", number);
        if (!file.write(line, n)) {
            return false;
        }
    }
    return file.commit() == 0;
}

void paintNow(HWND window) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

struct Figures {
    double open, tabChange, sort;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

Figures medians(const std::vector<Figures>& runs) {
    std::vector<double> open, tabChange, sort;
    for (const Figures& f : runs) {
        open.push_back(f.open);
        tabChange.push_back(f.tabChange);
        sort.push_back(f.sort);
    }
    return Figures{median(open), median(tabChange), median(sort)};
}

// The files of one case: the older mails in the archive, the new ones as a
// poll leaves them. Nothing is left of the case before.
bool prepare(const char* history, const char* fresh, const BenchCase& c) {
    return generate(history, 1, c.archived - c.fresh) && generate(fresh, c.archived - c.fresh + 1, c.fresh);
}

Figures measure(int style) {
    Figures f = {};
    gAgent.settings.winStyle = style;

    double start = wallSeconds();
    HWND viewer = openViewer(nullptr);
    if (viewer == nullptr) {
        return f;
    }
    paintNow(viewer);
    f.open = wallSeconds() - start;

    HWND tabs = FindWindowExA(viewer, nullptr, WC_TABCONTROLA, nullptr);
    start = wallSeconds();
    SendMessageA(tabs, TCM_SETCURSEL, 1, 0);
    NMHDR change = {tabs, 0, TCN_SELCHANGE};
    SendMessageA(viewer, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&change));
    paintNow(viewer);
    f.tabChange = wallSeconds() - start;

    HWND list = GetDlgItem(tabs, IDC_MAIL_LIST);
    start = wallSeconds();
    NMLISTVIEW click = {};
    click.hdr = {list, IDC_MAIL_LIST, LVN_COLUMNCLICK};
    click.iItem = -1;
    click.iSubItem = 2;
    SendMessageA(viewer, WM_NOTIFY, IDC_MAIL_LIST, reinterpret_cast<LPARAM>(&click));
    paintNow(viewer);
    f.sort = wallSeconds() - start;
    DestroyWindow(viewer);
    return f;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<BenchCase> cases;
    for (int i = 1; i < argc; i++) {
        BenchCase c = {atoi(argv[i]), 0};
        const char* colon = strchr(argv[i], ':');
        c.fresh = colon != nullptr ? atoi(colon + 1) : std::min(1000, c.archived);
        if (c.archived < 0 || c.fresh < 0 || c.fresh > c.archived) {
            fprintf(stderr, "viewer_bench: a case is archived[:new] with new <= archived, not %s\n", argv[i]);
            return 2;
        }
        cases.push_back(c);
    }
    if (cases.empty()) {
        cases.assign(std::begin(kDefaultCases), std::end(kDefaultCases));
    }
    gAgent.instance = GetModuleHandleA(nullptr);
    if (!registerWindowClasses(gAgent.instance)) {
        fprintf(stderr, "viewer_bench: cannot register the window classes\n");
        return 1;
    }
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    formatText(gAgent.serviceFolder, sizeof gAgent.serviceFolder, "%skorvel-viewer-bench-%lu\\", temp,
               GetCurrentProcessId());
    CreateDirectoryA(gAgent.serviceFolder, nullptr);
    char history[MAX_PATH], newMail[MAX_PATH], fresh[MAX_PATH], log[MAX_PATH], ini[MAX_PATH];
    formatText(history, sizeof history, "%sHistMail.txt", gAgent.serviceFolder);
    formatText(newMail, sizeof newMail, "%sMail.txt", gAgent.serviceFolder);
    formatText(fresh, sizeof fresh, "%sGetMail.txt", gAgent.serviceFolder);
    formatText(log, sizeof log, "%sMAInLog.txt", gAgent.serviceFolder);
    formatText(ini, sizeof ini, "%sKorvel.ini", gAgent.serviceFolder);
    openEventLog(log);

    printf("%-9s %-9s %-9s %10s %12s %10s\n", "archived", "new", "view", "open s", "tab change s", "sort s");
    for (const BenchCase& c : cases) {
        for (int style : {1, 0}) {
            std::vector<Figures> runs;
            for (int run = 0; run < kRuns; run++) {
                if (!prepare(history, fresh, c)) {
                    fprintf(stderr, "viewer_bench: cannot write the mail files\n");
                    return 1;
                }
                runs.push_back(measure(style));
            }
            Figures f = medians(runs);
            printf("%-9d %-9d %-9s %10.3f %12.3f %10.3f\n", c.archived, c.fresh, style ? "detailed" : "compact", f.open,
                   f.tabChange, f.sort);
            fflush(stdout);
        }
    }
    closeEventLog("");
    for (const char* path : {history, newMail, fresh, log, ini}) {
        DeleteFileA(path);
    }
    RemoveDirectoryA(gAgent.serviceFolder);
    return 0;
}
