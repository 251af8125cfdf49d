#include "store/mail_lists.h"
#include "store/fresh_mail.h"
#include "store/mail_date.h"
#include "store_test_support.h"
#include "held_file.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string mail(int number, const char* pseudonym, const char* address, const char* date,
                 const char* subject = "Тема") {
    return std::to_string(number) + ";0;" + pseudonym + ";" + address + ";2 Кб;uid" + std::to_string(number) +
           ";Отправитель;" + date + ";;" + subject + "\r\n";
}

std::vector<std::string> numbers(const MailList& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.count; i++) {
        out.push_back(list.records[i].number);
    }
    return out;
}

class MailLists : public ServiceFolderTest {
protected:
    void SetUp() override {
        ServiceFolderTest::SetUp();
        // Shown dates in UTC, whatever the machine's zone.
        _putenv("TZ=UTC0");
        _tzset();
        gAgent.highestMailNumber = 0;
    }
    void TearDown() override {
        _putenv("TZ=");
        _tzset();
        ServiceFolderTest::TearDown();
    }
};

} // namespace

TEST_F(MailLists, LoaderSortsGroupsAndShowsDates) {
    ASSERT_TRUE(writeFile(path("Mail.txt"), mail(7, "Работа", "work@example.ru", "1230905109") +
                                                mail(8, "Дом", "home@example.ru", "1233583509")));
    ASSERT_TRUE(writeFile(path("HistMail.txt"), mail(1, "Дом", "home@example.ru", "1230000000") +
                                                    "2;0;Пустой;0;;;;;;\r\n" +
                                                    mail(7, "Работа", "work@example.ru", "1230905109") +
                                                    mail(3, "Дом", "home@example.ru", "1230000500") +
                                                    mail(8, "Дом", "home@example.ru", "1233583509")));
    EXPECT_TRUE(loadMailLists());

    ASSERT_EQ(2, NewMailDim.count);
    EXPECT_EQ((std::vector<std::string>{"7", "8"}), numbers(NewMailDim));
    EXPECT_STREQ("2 янв  09, 14:05:09", entryShownDate(NewMailDim.records[0], NewMailDim.dateBias));
    EXPECT_STREQ("2 Фев 09, 14:05:09", entryShownDate(NewMailDim.records[1], NewMailDim.dateBias));
    ASSERT_EQ(2, NewMailDim.groupCount);

    // The archive: work, home (newest first), then the mailbox without mail.
    ASSERT_EQ(5, MailDim.count);
    EXPECT_EQ((std::vector<std::string>{"7", "8", "3", "1", "2"}), numbers(MailDim));
    ASSERT_EQ(3, MailDim.groupCount);
    EXPECT_STREQ("Работа", MailDim.groups[0].pseudonym);
    EXPECT_EQ(0, MailDim.groups[0].firstIndex);
    EXPECT_EQ(1, MailDim.groups[0].count);
    EXPECT_STREQ("Дом", MailDim.groups[1].pseudonym);
    EXPECT_EQ(1, MailDim.groups[1].firstIndex);
    EXPECT_EQ(3, MailDim.groups[1].count);
    EXPECT_STREQ("Пустой", MailDim.groups[2].pseudonym);
    EXPECT_EQ(-1, MailDim.groups[2].firstIndex);
    EXPECT_EQ(0, MailDim.groups[2].count);
    EXPECT_STREQ("0", MailDim.records[4].sender);
    EXPECT_STREQ(kUnknownMailDate, entryShownDate(MailDim.records[4], MailDim.dateBias));

    // The list view's flag turns the order inside the groups.
    gMailListFlags.groupDateAscending = 1;
    EXPECT_TRUE(loadMailLists());
    EXPECT_EQ((std::vector<std::string>{"7", "1", "3", "8", "2"}), numbers(MailDim));
}

TEST_F(MailLists, MissingEmptyAndUnfinishedFiles) {
    EXPECT_FALSE(loadMailLists());
    EXPECT_EQ(nullptr, NewMailDim.records);
    EXPECT_EQ(nullptr, MailDim.records);
    EXPECT_TRUE(logHas("Затрудняюсь загрузить файл писем " + path("Mail.txt") + ". Ошибка 2: ")) << log();
    EXPECT_TRUE(logHas("Затрудняюсь загрузить файл писем " + path("HistMail.txt") + ". Ошибка 2: ")) << log();

    // An empty file is deleted; a file of one unfinished line is kept but
    // gives no list.
    ASSERT_TRUE(writeFile(path("Mail.txt"), ""));
    ASSERT_TRUE(writeFile(path("HistMail.txt"), "1;0;p;a;s;i;f;5;;no line end"));
    EXPECT_FALSE(loadMailLists());
    EXPECT_FALSE(fileExists(path("Mail.txt")));
    EXPECT_TRUE(fileExists(path("HistMail.txt")));
    EXPECT_EQ(nullptr, NewMailDim.records);
    EXPECT_EQ(nullptr, MailDim.records);
    EXPECT_EQ(0, MailDim.count);

    // The last line without "\r\n" is ignored, the others load.
    ASSERT_TRUE(writeFile(path("HistMail.txt"), mail(1, "p", "a", "5") + "2;0;p;a;s;i;f;5;;cut"));
    EXPECT_TRUE(loadMailLists());
    EXPECT_EQ(1, MailDim.count);
    EXPECT_EQ(0, NewMailDim.count);
}

TEST_F(MailLists, AnyBytesLoadWithoutOverrun) {
    std::string junk;
    for (int i = 0; i < 70000; i++) {
        junk += static_cast<char>((i * 7919) % 256);
    }
    std::string text = junk + "\r\n" + std::string(1 << 20, ';') + "\r\n" + std::string("\0\0;\0\r\n", 7) +
                       std::string(1 << 20, 'x') + "\r\n" + "a\rb\rc\r\n" + "\n\r\n";
    size_t lines = 0;
    for (size_t i = 0; i + 1 < text.size(); i++) {
        lines += text[i] == '\r' && text[i + 1] == '\n';
    }
    ASSERT_TRUE(writeFile(path("HistMail.txt"), text));
    loadMailLists();
    EXPECT_EQ(static_cast<int>(lines), MailDim.count);
    for (int i = 0; i < MailDim.count; i++) {
        const MailEntry& r = MailDim.records[i];
        EXPECT_LT(strlen(r.subject), 520u);
        EXPECT_LT(strlen(r.address), 260u);
    }
    EXPECT_TRUE(saveMailLists());
}

TEST_F(MailLists, HighestMailNumberFromArchiveAndDeleteFile) {
    ASSERT_TRUE(writeFile(path("HistMail.txt"), mail(5, "p", "a", "1") + mail(120, "p", "a", "2") +
                                                    mail(17, "p", "a", "3") + "abc;0;p;a;s;i;f;4;;x\r\n"));
    loadMailLists();
    EXPECT_EQ(120u, gAgent.highestMailNumber);

    // A pending deletion with a higher number keeps new numbers above it.
    ASSERT_TRUE(writeFile(path("DeleteMail.txt"), mail(200, "p", "a", "1")));
    loadMailLists();
    EXPECT_EQ(200u, gAgent.highestMailNumber);

    // The last archived mail deleted, 57 still pending: the next mail is 58.
    DeleteFileA(path("HistMail.txt").c_str());
    ASSERT_TRUE(writeFile(path("DeleteMail.txt"), mail(57, "p", "a", "1")));
    loadMailLists();
    EXPECT_EQ(57u, gAgent.highestMailNumber);
    // A later deletion appended a higher number: no new mail may take it.
    ASSERT_TRUE(writeFile(path("DeleteMail.txt"), mail(57, "p", "a", "1") + mail(300, "p", "a", "1")));
    loadMailLists();
    EXPECT_EQ(300u, gAgent.highestMailNumber);

    // Nothing archived, nothing pending.
    DeleteFileA(path("DeleteMail.txt").c_str());
    loadMailLists();
    EXPECT_EQ(0u, gAgent.highestMailNumber);

    // Numbers past the range of an int (an edited or old file) go on rising.
    ASSERT_TRUE(writeFile(path("HistMail.txt"), "2147483647;0;p;a;s;i;f;4;;x\r\n"
                                                "4294967296;0;p;a;s;j;f;4;;y\r\n"));
    loadMailLists();
    EXPECT_EQ(4294967296u, gAgent.highestMailNumber);
}

// After a deletion or an undo cut short between its two writes, a mail
// stands in DeleteMail.txt and in the lists: it counts as waiting, and the
// lists files lose it, so it is never both shown and deleted on its server.
TEST_F(MailLists, MailsWaitingForDeletionLeaveTheLists) {
    const std::string kept = mail(3, "p", "a", "3") + mail(1, "p", "a", "1");
    ASSERT_TRUE(
        writeFile(path("HistMail.txt"), mail(3, "p", "a", "3") + mail(2, "p", "a", "2") + mail(1, "p", "a", "1")));
    ASSERT_TRUE(writeFile(path("Mail.txt"), mail(3, "p", "a", "3") + mail(2, "p", "a", "2")));
    // Mail 2 waits; a record with number 3 but another mail's identity does
    // not take mail 3 along.
    std::string other = mail(3, "p", "a", "3");
    other.replace(other.find("uid3"), 4, "uid9");
    ASSERT_TRUE(writeFile(path("DeleteMail.txt"), mail(2, "p", "a", "2") + other));
    ASSERT_TRUE(loadMailLists());
    EXPECT_EQ((std::vector<std::string>{"3", "1"}), numbers(MailDim));
    EXPECT_EQ((std::vector<std::string>{"3"}), numbers(NewMailDim));
    EXPECT_EQ(kept, readFile(path("HistMail.txt")));
    EXPECT_EQ(mail(3, "p", "a", "3"), readFile(path("Mail.txt")));
    EXPECT_EQ(mail(2, "p", "a", "2") + other, readFile(path("DeleteMail.txt")));
    EXPECT_TRUE(logHas("Письма, ожидающие удаления на сервере, убраны из списков: 2")) << log();

    // Nothing left to take out: the files are not rewritten again.
    ASSERT_TRUE(SetFileAttributesA(path("HistMail.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(loadMailLists());
    SetFileAttributesA(path("HistMail.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_FALSE(logHas("Затрудняюсь создать файл Архива писем")) << log();
}

TEST_F(MailLists, SaverWritesBothListsInArrayOrder) {
    const std::string archive = mail(7, "Работа", "work@example.ru", "1230905109", "Отчёт") +
                                mail(3, "Дом", "home@example.ru", "1230000500") +
                                mail(1, "Дом", "home@example.ru", "1230000000");
    const std::string fresh = mail(7, "Работа", "work@example.ru", "1230905109", "Отчёт");
    ASSERT_TRUE(writeFile(path("HistMail.txt"), archive));
    ASSERT_TRUE(writeFile(path("Mail.txt"), fresh));
    ASSERT_TRUE(loadMailLists());

    // Saved unchanged, both files come back byte for byte.
    EXPECT_TRUE(saveMailLists());
    EXPECT_EQ(archive, readFile(path("HistMail.txt")));
    EXPECT_EQ(fresh, readFile(path("Mail.txt")));
    EXPECT_TRUE(logHas("Массив MailDim из 3 писем успешно сброшен в файл " + path("HistMail.txt"))) << log();
    EXPECT_TRUE(logHas("Массив NewMailDim из 1 писем успешно сброшен в файл " + path("Mail.txt"))) << log();

    // Marks and a subject with ";" are written as they are in memory.
    MailDim.records[1].deletion = 1;
    MailDim.records[2].attachment = 1;
    MailDim.records[2].subject = "Встреча; место";
    MailDim.count = 3;
    EXPECT_TRUE(saveMailLists());
    std::vector<std::string> lines = splitLines(readFile(path("HistMail.txt")));
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ("3;1;Дом;home@example.ru;2 Кб;uid3;Отправитель;1230000500;;Тема", lines[1]);
    EXPECT_EQ("1;0;Дом;home@example.ru;2 Кб;uid1;Отправитель;1230000000;+;Встреча; место", lines[2]);
    ASSERT_TRUE(loadMailLists());
    EXPECT_STREQ(" место", MailDim.records[2].subject);
    EXPECT_EQ(1, MailDim.records[1].deletion);

    // A list cut to nothing in memory still exists: its file becomes empty.
    MailDim.count = 0;
    EXPECT_TRUE(saveMailLists());
    EXPECT_EQ("", readFile(path("HistMail.txt")));
    EXPECT_TRUE(fileExists(path("HistMail.txt")));
}

TEST_F(MailLists, AbsentListsLeaveTheirFilesAlone) {
    ASSERT_TRUE(writeFile(path("HistMail.txt"), mail(1, "p", "a", "5")));
    ASSERT_TRUE(loadMailLists());
    ASSERT_EQ(nullptr, NewMailDim.records);
    ASSERT_TRUE(writeFile(path("Mail.txt"), "written meanwhile\r\n"));
    EXPECT_TRUE(saveMailLists()); // HistMail.txt written
    EXPECT_EQ("written meanwhile\r\n", readFile(path("Mail.txt")));

    releaseMailList(MailDim);
    EXPECT_FALSE(saveMailLists());
}

TEST_F(MailLists, SaveThatCannotCompleteKeepsTheOldFiles) {
    const std::string archive = mail(2, "p", "b", "5") + mail(1, "p", "a", "5");
    const std::string fresh = mail(2, "p", "b", "5");
    ASSERT_TRUE(writeFile(path("HistMail.txt"), archive));
    ASSERT_TRUE(writeFile(path("Mail.txt"), fresh));
    ASSERT_TRUE(loadMailLists());
    MailDim.records[0].deletion = 1;
    NewMailDim.records[0].deletion = 1;

    {
        // Another program holds the archive open: it cannot be replaced.
        LockedFile lock(path("HistMail.txt"));
        ASSERT_TRUE(lock.locked());
        // The temporary file of Mail.txt cannot be made.
        ASSERT_TRUE(CreateDirectoryA(path("Mail.txt.tmp").c_str(), nullptr));
        EXPECT_FALSE(saveMailLists());
    }
    EXPECT_EQ(archive, readFile(path("HistMail.txt")));
    EXPECT_EQ(fresh, readFile(path("Mail.txt")));
    EXPECT_FALSE(fileExists(path("HistMail.txt.tmp")));
    EXPECT_TRUE(logHas("Затрудняюсь создать файл Архива писем " + path("HistMail.txt") + ". Ошибка ")) << log();
    EXPECT_TRUE(logHas("Затрудняюсь создать файл новых писем " + path("Mail.txt") + ". Ошибка ")) << log();
    EXPECT_FALSE(logHas("успешно сброшен")) << log();

    // Mail.txt still blocked, the archive written: the archive's result.
    EXPECT_TRUE(saveMailLists());
    EXPECT_EQ(mail(2, "p", "b", "5").replace(2, 1, "1") + mail(1, "p", "a", "5"), readFile(path("HistMail.txt")));
    EXPECT_EQ(fresh, readFile(path("Mail.txt")));
    RemoveDirectoryA(path("Mail.txt.tmp").c_str());
}

TEST_F(MailLists, MergeIntoAMissingTargetKeepsTheSourceForTheArchive) {
    const std::string arrived = mail(9, "p", "a", "5") + mail(10, "p", "a", "6");
    ASSERT_TRUE(writeFile(path("GetMail.txt"), arrived));
    ASSERT_TRUE(writeFile(path("HistMail.txt"), mail(8, "p", "a", "4")));
    EXPECT_TRUE(appendMailFile(path("Mail.txt").c_str(), path("GetMail.txt").c_str()));
    EXPECT_TRUE(appendMailFile(path("HistMail.txt").c_str(), path("GetMail.txt").c_str()));
    EXPECT_EQ(arrived, readFile(path("Mail.txt")));
    EXPECT_EQ(mail(8, "p", "a", "4") + arrived, readFile(path("HistMail.txt")));
    EXPECT_TRUE(fileExists(path("GetMail.txt")));
}

TEST_F(MailLists, MergedRecordsStartOnTheirOwnLine) {
    const std::string arrived = mail(9, "p", "a", "5");
    ASSERT_TRUE(writeFile(path("GetMail.txt"), arrived));
    ASSERT_TRUE(writeFile(path("HistMail.txt"), "8;0;p;a;s;i;f;4;;cut short"));
    ASSERT_TRUE(writeFile(path("Mail.txt"), "8;0;p;a;s;i;f;4;;cut at\r"));
    EXPECT_TRUE(appendMailFile(path("HistMail.txt").c_str(), path("GetMail.txt").c_str()));
    EXPECT_TRUE(appendMailFile(path("Mail.txt").c_str(), path("GetMail.txt").c_str()));
    EXPECT_EQ("8;0;p;a;s;i;f;4;;cut short\r\n" + arrived, readFile(path("HistMail.txt")));
    EXPECT_EQ("8;0;p;a;s;i;f;4;;cut at\r\n" + arrived, readFile(path("Mail.txt")));
    ASSERT_TRUE(loadMailLists());
    EXPECT_EQ((std::vector<std::string>{"9", "8"}), numbers(MailDim));

    // A large source goes over whole.
    std::string many;
    for (int i = 0; i < 3000; i++) {
        many += mail(100 + i, "p", "a", "7");
    }
    ASSERT_TRUE(writeFile(path("GetMail.txt"), many));
    EXPECT_TRUE(appendMailFile(path("Mail.txt").c_str(), path("GetMail.txt").c_str()));
    EXPECT_EQ("8;0;p;a;s;i;f;4;;cut at\r\n" + arrived + many, readFile(path("Mail.txt")));
}

TEST_F(MailLists, MergeFailures) {
    // An empty source is deleted and reported as failure; the next merge
    // cannot open it.
    ASSERT_TRUE(writeFile(path("GetMail.txt"), ""));
    ASSERT_TRUE(writeFile(path("Mail.txt"), mail(1, "p", "a", "1")));
    EXPECT_FALSE(appendMailFile(path("Mail.txt").c_str(), path("GetMail.txt").c_str()));
    EXPECT_FALSE(fileExists(path("GetMail.txt")));
    EXPECT_FALSE(appendMailFile(path("HistMail.txt").c_str(), path("GetMail.txt").c_str()));
    EXPECT_TRUE(logHas("Затрудняюсь открыть файл " + path("GetMail.txt") + "\r\nОшибка 2: ")) << log();
    EXPECT_EQ(mail(1, "p", "a", "1"), readFile(path("Mail.txt")));

    // A target held by another program.
    ASSERT_TRUE(writeFile(path("GetMail.txt"), mail(2, "p", "a", "2")));
    {
        LockedFile lock(path("Mail.txt"));
        EXPECT_FALSE(appendMailFile(path("Mail.txt").c_str(), path("GetMail.txt").c_str()));
    }
    EXPECT_TRUE(logHas("Затрудняюсь открыть файл " + path("Mail.txt") + " Ошибка 32: ")) << log();
    EXPECT_EQ(mail(1, "p", "a", "1"), readFile(path("Mail.txt")));
    EXPECT_TRUE(fileExists(path("GetMail.txt")));
}

TEST_F(MailLists, FilesHeldForAMomentAreMergedAfterAll) {
    // A scanner reading the new mails' list as the merge starts.
    ASSERT_TRUE(writeFile(path("Mail.txt"), mail(1, "p", "a", "1")));
    ASSERT_TRUE(writeFile(path("GetMail.txt"), mail(2, "p", "a", "2")));
    {
        MomentaryHold hold(path("Mail.txt"));
        EXPECT_TRUE(appendMailFile(path("Mail.txt").c_str(), path("GetMail.txt").c_str()));
        EXPECT_TRUE(hold.met());
    }
    EXPECT_EQ(mail(1, "p", "a", "1") + mail(2, "p", "a", "2"), readFile(path("Mail.txt")));

    // The fresh mails' file itself, just written by a poll.
    const std::string arrived = mail(3, "p", "a", "3");
    ASSERT_TRUE(writeFile(path("GetMail.txt"), arrived));
    {
        MomentaryHold hold(path("GetMail.txt"));
        mergeFreshMail();
        EXPECT_TRUE(hold.met());
    }
    EXPECT_EQ(mail(1, "p", "a", "1") + mail(2, "p", "a", "2") + arrived, readFile(path("Mail.txt")));
    EXPECT_EQ(arrived, readFile(path("HistMail.txt")));
    EXPECT_FALSE(fileExists(path("GetMail.txt")));
}

TEST_F(MailLists, FreshMailHeldOrMissingStaysForTheNextMerge) {
    // No GetMail.txt, the ordinary start: both failures logged, no file made.
    mergeFreshMail();
    EXPECT_TRUE(logHas("Слить файлы новых писем не удалось")) << log();
    EXPECT_TRUE(logHas("Слить файлы новых писем с Архивом не удалось")) << log();
    EXPECT_FALSE(fileExists(path("Mail.txt")));
    EXPECT_FALSE(fileExists(path("HistMail.txt")));

    // Held by a poll still writing it (or by a scanner): nothing is merged
    // and nothing removed.
    const std::string arrived = mail(9, "p", "a", "5");
    ASSERT_TRUE(writeFile(path("GetMail.txt"), arrived));
    {
        LockedFile lock(path("GetMail.txt"));
        mergeFreshMail();
    }
    EXPECT_TRUE(logHas("Затрудняюсь открыть файл " + path("GetMail.txt") + "\r\nОшибка 32: ")) << log();
    EXPECT_EQ(arrived, readFile(path("GetMail.txt")));
    EXPECT_FALSE(fileExists(path("Mail.txt")));
    mergeFreshMail();
    EXPECT_EQ(arrived, readFile(path("Mail.txt")));
    EXPECT_EQ(arrived, readFile(path("HistMail.txt")));
    EXPECT_FALSE(fileExists(path("GetMail.txt")));

    // An empty one goes.
    ASSERT_TRUE(writeFile(path("GetMail.txt"), ""));
    mergeFreshMail();
    EXPECT_FALSE(fileExists(path("GetMail.txt")));
    EXPECT_EQ(arrived, readFile(path("Mail.txt")));
}

TEST_F(MailLists, ArchiveMergeThatFailsTakesBackTheNewMailMerge) {
    const std::string arrived = mail(9, "p", "a", "5") + mail(10, "p", "a", "6");
    const std::string archived = mail(8, "p", "a", "4");
    for (const std::string& newMail : {std::string(), mail(8, "p", "a", "4")}) {
        SCOPED_TRACE(newMail.empty() ? "no Mail.txt" : "Mail.txt");
        DeleteFileA(path("Mail.txt").c_str());
        if (!newMail.empty()) {
            ASSERT_TRUE(writeFile(path("Mail.txt"), newMail));
        }
        ASSERT_TRUE(writeFile(path("HistMail.txt"), archived));
        ASSERT_TRUE(writeFile(path("GetMail.txt"), arrived));
        {
            LockedFile lock(path("HistMail.txt"));
            mergeFreshMail();
        }
        EXPECT_EQ(!newMail.empty(), fileExists(path("Mail.txt")));
        EXPECT_EQ(newMail, readFile(path("Mail.txt")));
        EXPECT_EQ(arrived, readFile(path("GetMail.txt")));
        EXPECT_TRUE(logHas("Слияние файлов новых писем отменено")) << log();

        mergeFreshMail();
        EXPECT_EQ(newMail + arrived, readFile(path("Mail.txt")));
        EXPECT_EQ(archived + arrived, readFile(path("HistMail.txt")));
        EXPECT_FALSE(fileExists(path("GetMail.txt")));
    }
}
