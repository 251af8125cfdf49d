#include "store/account_file.h"
#include "resources/resource.h"
#include "store/account_list.h"
#include "store_test_support.h"

#include <commctrl.h>

#include <cstring>
#include <string>

namespace {

AccountEntry entry(char state, const std::string& alias, const char* identity, const char* password,
                   const char* extra) {
    AccountEntry e = {};
    e.state = state;
    copyText(e.alias, sizeof e.alias, alias.c_str());
    copyText(e.identity, sizeof e.identity, identity);
    copyText(e.password, sizeof e.password, password);
    copyText(e.extra, sizeof e.extra, extra);
    return e;
}

// A settings page stand-in: a window with a status bar of the page's id.
class PageWindow {
public:
    PageWindow() {
        InitCommonControls();
        window_ = CreateWindowExA(0, "STATIC", "page", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr, nullptr,
                                  nullptr);
        status_ = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, window_,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_STATUS_LINE)), nullptr, nullptr);
    }
    ~PageWindow() { DestroyWindow(window_); }

    HWND get() const { return window_; }
    std::string status() const {
        char text[2048] = {};
        GetWindowTextA(status_, text, sizeof text);
        return text;
    }
    void setStatus(const char* text) { SetWindowTextA(status_, text); }

private:
    HWND window_;
    HWND status_;
};

class AccountFiles : public ServiceFolderTest {
protected:
    void TearDown() override {
        accountList.clear();
        ServiceFolderTest::TearDown();
    }
    std::string mailBox() const { return path("MailBox.txt"); }

    AccountFileError error;
};

} // namespace

TEST_F(AccountFiles, WrittenAndReadBack) {
    accountList.clear();
    accountList.append(entry('A', "Домашний", "ivan@example.ru", "пароль", "pop.example.ru;110"));
    accountList.append(entry('P', "", "work@example.ru", "pw", "pop.work.ru;110"));
    accountList.append(entry('X', std::string(300, 'a'), "odd@example.ru", "pw", ""));
    ASSERT_TRUE(writeAccountFile(mailBox().c_str(), error));
    const std::string expected = "A;Домашний;ivan@example.ru;пароль;pop.example.ru;110\r\n"
                                 "P;;work@example.ru;pw;pop.work.ru;110\r\n"
                                 "X;" +
                                 std::string(259, 'a') + ";odd@example.ru;pw;\r\n";
    EXPECT_EQ(expected, readFile(mailBox()));
    EXPECT_FALSE(fileExists(mailBox() + ".tmp"));

    accountList.clear();
    ASSERT_TRUE(readAccountFile(mailBox().c_str(), error));
    ASSERT_EQ(3, accountList.count());
    EXPECT_EQ('A', accountList[0].state);
    EXPECT_STREQ("Домашний", accountList[0].alias);
    EXPECT_STREQ("pop.example.ru;110", accountList[0].extra);
    EXPECT_EQ('P', accountList[1].state);
    EXPECT_STREQ("", accountList[1].alias);
    EXPECT_EQ('X', accountList[2].state);
    EXPECT_EQ(std::string(259, 'a'), accountList[2].alias);

    // Rewritten unchanged, the file stays byte for byte.
    ASSERT_TRUE(writeAccountFile(mailBox().c_str(), error));
    EXPECT_EQ(expected, readFile(mailBox()));
}

TEST_F(AccountFiles, ReadingTakesALastLineWithoutLineEndFromTheFileReadLast) {
    ASSERT_TRUE(writeFile(mailBox(), "A;Дом;me@example.ru;pw;pop.example.ru;110\r\nP;Работа;w@example.ru;pw;x;110"));
    ASSERT_TRUE(writeFile(path("MessBox.txt"), "A;Я;login;secret;42\r\n"));
    ASSERT_TRUE(readAccountFile(mailBox().c_str(), error));
    ASSERT_EQ(2, accountList.count());
    EXPECT_STREQ("me@example.ru", accountList[0].identity);
    EXPECT_STREQ("w@example.ru", accountList[1].identity);
    EXPECT_STREQ("x;110", accountList[1].extra);
    // Half a line end is no part of the last field.
    ASSERT_TRUE(writeFile(mailBox(), "A;a;b;c;d\r\nA;e;f;g;h\r"));
    ASSERT_TRUE(readAccountFile(mailBox().c_str(), error));
    ASSERT_EQ(2, accountList.count());
    EXPECT_STREQ("h", accountList[1].extra);

    ASSERT_TRUE(readAccountFile(path("MessBox.txt").c_str(), error));
    ASSERT_EQ(1, accountList.count());
    EXPECT_STREQ("login", accountList[0].identity);
    EXPECT_STREQ("42", accountList[0].extra);

    // Any bytes read without overrun; fields are cut.
    std::string junk(1 << 20, ';');
    junk += "\r\n" + std::string("\0\0\0\r\n", 5) + std::string(300000, 'z') + "\r\n\r\r\n";
    ASSERT_TRUE(writeFile(mailBox(), junk));
    ASSERT_TRUE(readAccountFile(mailBox().c_str(), error));
    EXPECT_EQ(4, accountList.count());
    EXPECT_EQ(std::string(259, 'z'), accountList[2].extra);
    EXPECT_STREQ("\r", accountList[3].extra);
}

TEST_F(AccountFiles, ReadFailuresComeBackAsTheStatusLineText) {
    accountList.append(entry('A', "old", "old@example.ru", "pw", ""));
    EXPECT_FALSE(readAccountFile(mailBox().c_str(), error));
    EXPECT_EQ(0, accountList.count()); // emptied before anything else
    EXPECT_EQ(0u, std::string(error.text).find("Затрудняюсь открыть файл " + mailBox() + "\r\nОшибка 2: "))
        << error.text;

    // The page's thread puts the text into its status line.
    PageWindow page;
    showAccountReadError(page.get(), error);
    EXPECT_EQ(error.text, page.status());

    // An empty file: no accounts, no report.
    ASSERT_TRUE(writeFile(mailBox(), ""));
    EXPECT_FALSE(readAccountFile(mailBox().c_str(), error));
    EXPECT_FALSE(error.any());

    // A file held without sharing by another program.
    ASSERT_TRUE(writeFile(mailBox(), "A;a;b;c;d\r\n"));
    {
        LockedFile lock(mailBox());
        EXPECT_FALSE(readAccountFile(mailBox().c_str(), error));
    }
    EXPECT_EQ(0u, std::string(error.text).find("Затрудняюсь открыть файл " + mailBox() + "\r\nОшибка 32: "))
        << error.text;
}

TEST_F(AccountFiles, FailedRewriteKeepsTheOldFileAndSaysSo) {
    const std::string old = "A;Дом;me@example.ru;pw;pop.example.ru;110\r\n";
    ASSERT_TRUE(writeFile(mailBox(), old));
    ASSERT_TRUE(readAccountFile(mailBox().c_str(), error));
    accountList.append(entry('A', "Новый", "new@example.ru", "pw", ""));

    std::vector<std::string> reports;
    {
        LockedFile lock(mailBox());
        EXPECT_FALSE(writeAccountFile(mailBox().c_str(), error));
        reports.push_back(error.text);
    }
    // The temporary file cannot be made.
    ASSERT_TRUE(CreateDirectoryA((mailBox() + ".tmp").c_str(), nullptr));
    EXPECT_FALSE(writeAccountFile(mailBox().c_str(), error));
    reports.push_back(error.text);
    RemoveDirectoryA((mailBox() + ".tmp").c_str());
    // A folder that does not exist.
    std::string nowhere = path("no such folder\\MailBox.txt");
    EXPECT_FALSE(writeAccountFile(nowhere.c_str(), error));
    reports.push_back(error.text);

    EXPECT_EQ(old, readFile(mailBox()));
    EXPECT_EQ(2, accountList.count()); // the list keeps the new contents
    for (const std::string& report : reports) {
        EXPECT_NE(std::string::npos, report.find("\r\nПоследние изменения не будут сохранены!")) << report;
    }
    EXPECT_EQ(0u, reports[0].find("Затрудняюсь открыть файл " + mailBox() + "\r\nОшибка ")) << reports[0];
    EXPECT_EQ(0u, reports[2].find("Затрудняюсь открыть файл " + nowhere + "\r\nОшибка 3: ")) << reports[2];

    // The owner's thread shows the report in the program's message box.
    MessageBoxCloser boxes;
    showAccountWriteError(nullptr, error);
    std::vector<MessageBoxInfo> seen = boxes.seen();
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ("Lumetra Агент", seen[0].caption);
    EXPECT_EQ(reports[2], seen[0].text);

    // Once the file is free again the rewrite goes through.
    ASSERT_TRUE(writeAccountFile(mailBox().c_str(), error));
    EXPECT_FALSE(error.any());
    EXPECT_EQ(old + "A;Новый;new@example.ru;pw;\r\n", readFile(mailBox()));
}
