#include "base/event_log.h"
#include "base/log_prefix.h"

#include "win_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

namespace {

// Splits an entry line into its prefix and text. The prefix must be exactly
// what formatLogPrefix makes of the date it names (so no leading zeros) and
// that date must be today.
bool splitEntry(const std::string& line, std::string& text) {
    LogTime t{};
    int consumed = 0;
    if (sscanf(line.c_str(), "%d.%d.%d %d:%d:%d - %n", &t.day, &t.month, &t.year, &t.hour, &t.minute, &t.second,
               &consumed) != 6 ||
        consumed == 0) {
        return false;
    }
    char prefix[kLogPrefixCapacity];
    size_t n = formatLogPrefix(prefix, sizeof prefix, t);
    if (line.compare(0, n, prefix) != 0) {
        return false;
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    if (t.year != now.wYear || t.month != now.wMonth) {
        return false;
    }
    text = line.substr(n);
    return true;
}

} // namespace

TEST(EventLog, EntriesArePrefixTextAndLineEnd) {
    TempFolder dir;
    std::string path = dir / "MAInLog.txt";
    writeLog("before the log is open: dropped");
    ASSERT_EQ(0u, openEventLog(path.c_str()));
    EXPECT_TRUE(eventLogOpen());
    writeLog("Агент стартовал\r\n");
    writeLog("");
    writeLog("Затрудняюсь открыть файл x\r\nОшибка 5: Отказано в доступе.");
    writeLogf("Новая версия на сайте = %d", 12);
    closeEventLog("Агент завершил работу\r\n");
    EXPECT_FALSE(eventLogOpen());
    writeLog("after the log is closed: dropped");

    std::string content = readFile(path);
    ASSERT_GE(content.size(), 2u);
    EXPECT_EQ("\r\n", content.substr(content.size() - 2));
    std::vector<std::string> lines = splitLines(content);
    ASSERT_EQ(8u, lines.size()) << content;
    std::string text;
    ASSERT_TRUE(splitEntry(lines[0], text)) << lines[0];
    EXPECT_EQ("Агент стартовал", text);
    EXPECT_EQ("", lines[1]); // a text ending in "\r\n" leaves an empty line
    ASSERT_TRUE(splitEntry(lines[2], text)) << lines[2];
    EXPECT_EQ("", text);
    ASSERT_TRUE(splitEntry(lines[3], text)) << lines[3];
    EXPECT_EQ("Затрудняюсь открыть файл x", text);
    EXPECT_EQ("Ошибка 5: Отказано в доступе.", lines[4]); // continuation lines carry no prefix
    ASSERT_TRUE(splitEntry(lines[5], text)) << lines[5];
    EXPECT_EQ("Новая версия на сайте = 12", text);
    ASSERT_TRUE(splitEntry(lines[6], text)) << lines[6];
    EXPECT_EQ("Агент завершил работу", text);
    EXPECT_EQ("", lines[7]);
}

TEST(EventLog, OpeningAgainEmptiesThePreviousRun) {
    TempFolder dir;
    std::string path = dir / "MAInLog.txt";
    ASSERT_EQ(0u, openEventLog(path.c_str()));
    writeLog("первый запуск, длинная запись, которая длиннее второй");
    closeEventLog("конец");
    ASSERT_EQ(0u, openEventLog(path.c_str()));
    writeLog("второй");
    closeEventLog("конец");

    std::vector<std::string> lines = splitLines(readFile(path));
    ASSERT_EQ(2u, lines.size());
    std::string text;
    ASSERT_TRUE(splitEntry(lines[0], text));
    EXPECT_EQ("второй", text);
}

TEST(EventLog, OpenFailureGivesTheSystemErrorCode) {
    TempFolder dir;
    // A folder where the file should be.
    ASSERT_TRUE(CreateDirectoryA((dir / "MAInLog.txt").c_str(), nullptr));
    EXPECT_NE(0u, openEventLog((dir / "MAInLog.txt").c_str()));
    EXPECT_FALSE(eventLogOpen());
    EXPECT_NE(0u, openEventLog((dir / "missing\\MAInLog.txt").c_str()));
}

namespace {

struct WriterArgs {
    int thread;
    int entries;
};

DWORD WINAPI writeEntries(void* param) {
    auto* args = static_cast<WriterArgs*>(param);
    for (int i = 0; i < args->entries; i++) {
        writeLogf("thread %d entry %d: текст записи одной строкой", args->thread, i);
    }
    return 0;
}

} // namespace

TEST(EventLog, ConcurrentWritersNeverInterleaveWithinAnEntry) {
    TempFolder dir;
    std::string path = dir / "MAInLog.txt";
    ASSERT_EQ(0u, openEventLog(path.c_str()));
    constexpr int kThreads = 4;
    constexpr int kEntries = 400;
    WriterArgs args[kThreads];
    HANDLE threads[kThreads];
    for (int t = 0; t < kThreads; t++) {
        args[t] = WriterArgs{t, kEntries};
        threads[t] = CreateThread(nullptr, 0, writeEntries, &args[t], 0, nullptr);
        ASSERT_NE(nullptr, threads[t]);
    }
    WaitForMultipleObjects(kThreads, threads, TRUE, INFINITE);
    for (HANDLE h : threads) {
        CloseHandle(h);
    }
    closeEventLog("конец");

    std::vector<std::string> lines = splitLines(readFile(path));
    ASSERT_EQ(static_cast<size_t>(kThreads * kEntries + 1), lines.size());
    std::set<std::string> texts;
    int next[kThreads] = {};
    for (size_t i = 0; i + 1 < lines.size(); i++) {
        std::string text;
        ASSERT_TRUE(splitEntry(lines[i], text)) << "line " << i << ": " << lines[i];
        int thread = -1, entry = -1;
        ASSERT_EQ(2, sscanf(text.c_str(), "thread %d entry %d:", &thread, &entry)) << text;
        ASSERT_TRUE(thread >= 0 && thread < kThreads);
        // Each thread's entries stay in its own order.
        EXPECT_EQ(next[thread]++, entry);
        char expected[128];
        snprintf(expected, sizeof expected, "thread %d entry %d: текст записи одной строкой", thread, entry);
        EXPECT_EQ(expected, text);
        texts.insert(text);
    }
    EXPECT_EQ(static_cast<size_t>(kThreads * kEntries), texts.size());
}

TEST(EventLog, TheLogRestartsAtItsLimit) {
    TempFolder dir;
    std::string path = dir / "MAInLog.txt";
    ASSERT_EQ(0u, openEventLog(path.c_str()));
    setEventLogLimit(2000);
    for (int i = 0; i < 100; i++) {
        writeLogf("запись %d о письме в почтовом ящике", i);
    }
    std::string content = readFile(path);
    setEventLogLimit(kEventLogLimit);
    closeEventLog("конец");

    EXPECT_LE(content.size(), 2000u);
    std::vector<std::string> lines = splitLines(readFile(path));
    ASSERT_GE(lines.size(), 4u);
    std::string text;
    ASSERT_TRUE(splitEntry(lines[0], text)) << lines[0];
    EXPECT_EQ("Журнал превысил 2000 байт и начат заново", text);
    EXPECT_EQ("", lines[1]);
    // After it the latest entries, in order and whole, up to the last one.
    int first = -1;
    for (size_t i = 2; i + 1 < lines.size(); i++) {
        ASSERT_TRUE(splitEntry(lines[i], text)) << lines[i];
        int number = -1;
        ASSERT_EQ(1, sscanf(text.c_str(), "запись %d", &number)) << text;
        if (first < 0) {
            first = number;
        }
        EXPECT_EQ(first + static_cast<int>(i - 2), number);
    }
    ASSERT_TRUE(splitEntry(lines.back(), text));
    EXPECT_EQ("конец", text);
    ASSERT_TRUE(splitEntry(lines[lines.size() - 2], text));
    EXPECT_EQ("запись 99 о письме в почтовом ящике", text);
}
