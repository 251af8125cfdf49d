#include "retrieval/header_processing.h"
#include "retrieval/header_windows.h"

#include "core/agent_state.h"
#include "base/event_log.h"
#include "time_zone.h"

#include "win_test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string block(const std::string& alias, const std::string& ident, const std::string& headerLines) {
    return "Psevdo:" + alias + "\r\nMailAddr:ivanov@example.ru\r\nMailSize:2.4 Кб\r\nMailIdent:" + ident + "\r\n" +
           headerLines + "\r\n\r\n.\r\n";
}

class HeaderProcessing : public ::testing::Test {
protected:
    void SetUp() override {
        setTimeZone("MSK-3");
        snprintf(gAgent.serviceFolder, sizeof gAgent.serviceFolder, "%s", dir_.path().c_str());
        ASSERT_EQ(0u, openEventLog((dir_ / "MAInLog.txt").c_str()));
        gAgent.highestMailNumber = 41;
    }
    void TearDown() override {
        closeEventLog("");
        setTimeZone("UTC0");
        gAgent.serviceFolder[0] = '\0';
    }

    // Writes MailTmp.txt and opens it as the retrieval run holds it.
    UniqueHandle headerFile(const std::string& content, DWORD access = GENERIC_READ | GENERIC_WRITE) {
        EXPECT_TRUE(writeFile(tmpPath(), content));
        UniqueHandle h(CreateFileA(tmpPath().c_str(), access, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        EXPECT_TRUE(h.valid());
        return h;
    }

    // True when nobody holds the file open any more.
    static bool released(const std::string& path) {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            return false;
        }
        CloseHandle(h);
        return true;
    }

    std::string log() const { return readFile(dir_ / "MAInLog.txt"); }
    std::string tmpPath() const { return dir_ / "MailTmp.txt"; }
    std::string mailPath() const { return dir_ / "GetMail.txt"; }

    TempFolder dir_;
};

} // namespace

TEST_F(HeaderProcessing, AppendsOneNumberedRecordPerBlock) {
    ASSERT_TRUE(writeFile(mailPath(), "7;0;old;a@b.ru;1 байт;x;s;0;;left from the last run\r\n"));
    std::string text = block("Работа", "m1@example.ru",
                             "From: =?utf-8?B?0JjQstCw0L0=?= <ivan@example.ru>\r\n"
                             "Subject: =?koi8-r?Q?=F0=D2=C9=D7=C5=D4?=\r\n"
                             "Date: Tue, 1 Dec 2009 10:20:30 +0300\r\n"
                             "Content-Type: multipart/mixed; boundary=\"xyz\"") +
                       block("Работа", "m2@example.ru", "From: petr@example.ru\r\nDate: someday") +
                       block("Дом", "", "Subject: no date");
    int count = processHeaders(headerFile(text));
    EXPECT_EQ(3, count);
    EXPECT_EQ(44u, gAgent.highestMailNumber.load());
    // Read as UTC+3 standard time, as this computer's runtime has it.
    EXPECT_EQ("7;0;old;a@b.ru;1 байт;x;s;0;;left from the last run\r\n"
              "42;0;Работа;ivanov@example.ru;2.4 Кб;m1@example.ru;Иван;1259641230;+;Привет\r\n"
              "43;0;Работа;ivanov@example.ru;2.4 Кб;m2@example.ru;petr@example.ru;0;;\r\n"
              "44;0;Дом;ivanov@example.ru;2.4 Кб;;;;;no date\r\n",
              readFile(mailPath()));
    EXPECT_NE(std::string::npos, log().find("Строка даты нераспознана: someday\r\n")) << log();
    EXPECT_TRUE(released(tmpPath()));
    EXPECT_TRUE(released(mailPath()));
}

TEST_F(HeaderProcessing, ManyBlocksGoOutWhole) {
    std::string text;
    for (int i = 0; i < 3000; i++) {
        text += block("Ящик", "id" + std::to_string(i),
                      "Received: from relay (relay [10.0.0.1]) by pop; Tue, 1 Dec 2009 10:20:30 +0300\r\n"
                      "From: sender" +
                          std::to_string(i) + "@example.ru\r\nSubject: mail " + std::to_string(i));
    }
    gAgent.highestMailNumber = 0;
    EXPECT_EQ(3000, processHeaders(headerFile(text)));
    std::vector<std::string> lines = splitLines(readFile(mailPath()));
    ASSERT_EQ(3000u, lines.size());
    EXPECT_EQ("1;0;Ящик;ivanov@example.ru;2.4 Кб;id0;sender0@example.ru;;;mail 0", lines[0]);
    EXPECT_EQ("3000;0;Ящик;ivanov@example.ru;2.4 Кб;id2999;sender2999@example.ru;;;mail 2999", lines[2999]);
}

// A highest number at the top of the range of an int (a damaged or edited
// file) once made the next numbers negative and repeat.
TEST_F(HeaderProcessing, NumbersPastTheRangeOfAnIntStayPositive) {
    gAgent.highestMailNumber = 2147483647;
    EXPECT_EQ(2, processHeaders(headerFile(block("Дом", "a", "Subject: x") + block("Дом", "b", "Subject: y"))));
    std::vector<std::string> lines = splitLines(readFile(mailPath()));
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(0u, lines[0].find("2147483648;0;Дом;"));
    EXPECT_EQ(0u, lines[1].find("2147483649;0;Дом;"));
    EXPECT_EQ(2147483649u, gAgent.highestMailNumber.load());
}

TEST_F(HeaderProcessing, EmptyHeaderFile) {
    EXPECT_EQ(0, processHeaders(headerFile("")));
    EXPECT_NE(std::string::npos, log().find("Файл " + tmpPath() + " пуст!\r\n")) << log();
    EXPECT_FALSE(fileExists(mailPath()));
    EXPECT_TRUE(released(tmpPath()));
    EXPECT_EQ(41u, gAgent.highestMailNumber.load());
}

TEST_F(HeaderProcessing, MailFileHeldByAnother) {
    ASSERT_TRUE(writeFile(mailPath(), "kept\r\n"));
    HANDLE held = CreateFileA(mailPath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    int count = processHeaders(headerFile(block("Дом", "1", "Subject: x")));
    CloseHandle(held);
    EXPECT_EQ(0, count);
    EXPECT_EQ("kept\r\n", readFile(mailPath()));
    EXPECT_EQ(41u, gAgent.highestMailNumber.load());
    EXPECT_NE(std::string::npos, log().find("Затрудняюсь открыть файл " + mailPath() + "\r\nОшибка 32: ")) << log();
    EXPECT_TRUE(released(tmpPath()));
}

TEST_F(HeaderProcessing, HeaderFileThatCannotBeRead) {
    EXPECT_EQ(0, processHeaders(headerFile(block("Дом", "1", "Subject: x"), GENERIC_WRITE)));
    EXPECT_NE(std::string::npos, log().find("Затрудняюсь прочитать файл " + tmpPath() + "\r\nОшибка 5: ")) << log();
    EXPECT_TRUE(released(tmpPath()));

    EXPECT_EQ(0, processHeaders(UniqueHandle(INVALID_HANDLE_VALUE)));
    EXPECT_NE(std::string::npos, log().find("Затрудняюсь определить длину файла " + tmpPath() + "\r\nОшибка 6: "))
        << log();
    EXPECT_FALSE(fileExists(mailPath()));
}

namespace {

// Restores the window size of the header file's reading.
struct WindowSize {
    explicit WindowSize(size_t bytes) : saved(gHeaderWindowBytes) { gHeaderWindowBytes = bytes; }
    ~WindowSize() { gHeaderWindowBytes = saved; }
    size_t saved;
};

} // namespace

// The header file is read a window at a time: wherever the windows end, the
// records are those of the whole file read at once.
TEST_F(HeaderProcessing, WindowsCutAnywhereGiveTheSameRecords) {
    std::string text;
    for (int i = 0; i < 200; i++) {
        std::string padding(static_cast<size_t>((i * 37) % 1500), 'x');
        text += block("Ящик", "id" + std::to_string(i),
                      "X-Pad: " + padding + "\r\nFrom: s" + std::to_string(i) + "@example.ru\r\nSubject: mail " +
                          std::to_string(i));
    }
    gAgent.highestMailNumber = 0;
    ASSERT_EQ(200, processHeaders(headerFile(text)));
    const std::string whole = readFile(mailPath());
    for (size_t window : {4096u, 5003u, 9973u, 65536u}) {
        SCOPED_TRACE(window);
        WindowSize size(window);
        DeleteFileA(mailPath().c_str());
        gAgent.highestMailNumber = 0;
        bool allWritten = false;
        EXPECT_EQ(200, processHeaders(headerFile(text), &allWritten));
        EXPECT_TRUE(allWritten);
        EXPECT_EQ(whole, readFile(mailPath()));
    }
}

// A block longer than a whole window (no session writes one) gives its
// record from what fits, and the blocks after it come whole.
TEST_F(HeaderProcessing, ABlockLongerThanTheWindowIsCutAndTheRestFollow) {
    WindowSize size(4096);
    std::string huge = "From: big@example.ru\r\nSubject: big\r\nX-Long: " + std::string(12000, 'y');
    std::string text = block("Дом", "a", "Subject: first") + block("Дом", "b", huge) +
                       block("Дом", "c", "Subject: third") + block("Дом", "d", "Subject: fourth");
    gAgent.highestMailNumber = 0;
    bool allWritten = false;
    EXPECT_EQ(4, processHeaders(headerFile(text), &allWritten));
    EXPECT_TRUE(allWritten);
    std::vector<std::string> lines = splitLines(readFile(mailPath()));
    ASSERT_EQ(4u, lines.size());
    EXPECT_EQ(0u, lines[1].find("2;0;Дом;ivanov@example.ru;2.4 Кб;b;"));
    EXPECT_EQ("3;0;Дом;ivanov@example.ru;2.4 Кб;c;;;;third", lines[2]);
    EXPECT_EQ("4;0;Дом;ivanov@example.ru;2.4 Кб;d;;;;fourth", lines[3]);
}
