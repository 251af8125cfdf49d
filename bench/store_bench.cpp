// Times loading and saving of the mail lists: generates HistMail.txt and
// Mail.txt (100,000 and 10,000 records unless given on the command line) in
// a scratch service folder, then runs loadMailLists and saveMailLists a few
// times and prints records per second and the peak working set.
#include "bench_support.h"
#include "core/agent_state.h"
#include "base/event_log.h"
#include "base/text.h"
#include "base/file_io.h"
#include "store/mail_lists.h"

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kRuns = 3;

const char* const kMailboxes[][2] = {
    {"Работа", "ivan.petrov@example.ru"}, {"Дом", "ivan@home.example.ru"},    {"Рассылки", "lists@example.ru"},
    {"Дача", "dacha@example.ru"},         {"Старый ящик", "old@example.com"}, {"Магазин", "shop@example.org"},
};

double peakWorkingSetMb() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) {
        return 0;
    }
    return static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

// Writes count records numbered from first, as header processing writes
// them: several mailboxes, dates a few minutes apart, Cyrillic texts.
bool generate(const char* path, int first, int count) {
    ReplacementFile file;
    if (file.create(path, 0) != 0) {
        return false;
    }
    char line[1024];
    unsigned seed = 12345;
    for (int i = 0; i < count; i++) {
        seed = seed * 1103515245u + 12345u;
        int number = first + i;
        const char* const* box = kMailboxes[(seed >> 16) % (sizeof kMailboxes / sizeof kMailboxes[0])];
        size_t n = formatText(line, sizeof line,
                              "%d;0;%s;%s;%u.%u Кб;%08X%08X.%d@mail.example.ru;"
                              "Отправитель номер %u <sender%u@example.net>;%u;%s;"
                              "Re: Обсуждение вопроса %d о поставке оборудования\r\n",
                              number, box[0], box[1], (seed >> 8) % 900 + 1, seed % 10, seed, ~seed, number,
                              (seed >> 4) % 500, (seed >> 4) % 500, 1230000000u + static_cast<unsigned>(number) * 317u,
                              (seed & 4) ? "+" : "", number);
        if (!file.write(line, n)) {
            return false;
        }
    }
    return file.commit() == 0;
}

LONGLONG fileSize(const char* path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) {
        return 0;
    }
    return (static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

} // namespace

int main(int argc, char** argv) {
    int archived = argc > 1 ? atoi(argv[1]) : 100000;
    int fresh = argc > 2 ? atoi(argv[2]) : 10000;
    if (archived <= 0 || fresh < 0 || fresh > archived) {
        fprintf(stderr, "usage: store_bench [archived records] [new records <= archived]\n");
        return 2;
    }

    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    formatText(gAgent.serviceFolder, sizeof gAgent.serviceFolder, "%skorvel-bench-%lu\\", temp, GetCurrentProcessId());
    CreateDirectoryA(gAgent.serviceFolder, nullptr);
    char history[MAX_PATH], mail[MAX_PATH], log[MAX_PATH];
    formatText(history, sizeof history, "%sHistMail.txt", gAgent.serviceFolder);
    formatText(mail, sizeof mail, "%sMail.txt", gAgent.serviceFolder);
    formatText(log, sizeof log, "%sMAInLog.txt", gAgent.serviceFolder);
    openEventLog(log);

    if (!generate(history, 1, archived) || !generate(mail, archived - fresh + 1, fresh)) {
        fprintf(stderr, "store_bench: cannot write the files in %s\n", gAgent.serviceFolder);
        return 1;
    }
    printf("HistMail.txt: %d records, %.1f MB; Mail.txt: %d records, %.1f MB\n", archived,
           static_cast<double>(fileSize(history)) / 1e6, fresh, static_cast<double>(fileSize(mail)) / 1e6);

    int total = archived + fresh;
    double bestLoad = 1e9, bestSave = 1e9;
    for (int run = 1; run <= kRuns; run++) {
        double start = wallSeconds();
        bool loaded = loadMailLists();
        double load = wallSeconds() - start;
        start = wallSeconds();
        bool saved = saveMailLists();
        double save = wallSeconds() - start;
        if (!loaded || !saved || MailDim.count != archived || NewMailDim.count != fresh) {
            fprintf(stderr, "store_bench: run %d went wrong (loaded %d, saved %d, %d + %d records)\n", run, loaded,
                    saved, MailDim.count, NewMailDim.count);
            return 1;
        }
        printf("run %d: load %.3f s (%.0f records/s), save %.3f s (%.0f records/s)\n", run, load, total / load, save,
               total / save);
        bestLoad = load < bestLoad ? load : bestLoad;
        bestSave = save < bestSave ? save : bestSave;
    }
    printf("best: load %.3f s, save %.3f s for %d records; groups %d + %d; highest number %llu\n", bestLoad, bestSave,
           total, MailDim.groupCount, NewMailDim.groupCount,
           static_cast<unsigned long long>(gAgent.highestMailNumber.load()));
    printf("peak working set: %.1f MB (entries of %u bytes)\n", peakWorkingSetMb(),
           static_cast<unsigned>(sizeof(MailEntry)));

    releaseMailList(NewMailDim);
    releaseMailList(MailDim);
    closeEventLog("");
    DeleteFileA(history);
    DeleteFileA(mail);
    DeleteFileA(log);
    RemoveDirectoryA(gAgent.serviceFolder);
    return 0;
}
