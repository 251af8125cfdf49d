#include "store/account_line.h"
#include "store/account_list.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

AccountEntry parse(const std::string& line) {
    AccountEntry e;
    parseAccountLine(line.data(), line.size(), e);
    return e;
}

std::string format(const AccountEntry& e) {
    char buffer[kAccountLineCapacity];
    size_t n = formatAccountLine(e, buffer);
    EXPECT_EQ(n, strlen(buffer));
    return std::string(buffer, n);
}

AccountEntry entry(char state, const char* alias, const char* identity, const char* password, const char* extra) {
    AccountEntry e = {};
    e.state = state;
    strcpy(e.alias, alias);
    strcpy(e.identity, identity);
    strcpy(e.password, password);
    strcpy(e.extra, extra);
    return e;
}

} // namespace

TEST(AccountLine, MailboxRowReadAndWrittenBack) {
    const std::string line = "P;Домашний ящик;ivan@example.ru;секрет;pop.example.ru;110";
    AccountEntry e = parse(line);
    EXPECT_EQ('P', e.state);
    EXPECT_STREQ("Домашний ящик", e.alias);
    EXPECT_STREQ("ivan@example.ru", e.identity);
    EXPECT_STREQ("секрет", e.password);
    EXPECT_STREQ("pop.example.ru;110", e.extra); // the fifth field is the rest of the line
    EXPECT_EQ(line + "\r\n", format(e));

    // A telegram login with an empty next message id.
    EXPECT_EQ("A;Я;login;pw;\r\n", format(parse("A;Я;login;pw;")));
}

TEST(AccountLine, StateIsOneCharacterOfAnyValue) {
    EXPECT_EQ("X;a;b;c;d\r\n", format(parse("X;a;b;c;d")));
    EXPECT_EQ('\xC0', parse("\xC0;a;b;c;d").state);
    // Further characters before the first ";" are ignored.
    EXPECT_EQ("A;a;b;c;d\r\n", format(parse("Active;a;b;c;d")));
    // No state at all stays none, and is written as none.
    AccountEntry e = parse(";a;b;c;d");
    EXPECT_EQ('\0', e.state);
    EXPECT_EQ(";a;b;c;d\r\n", format(e));
}

TEST(AccountLine, SemicolonInAnAliasShiftsTheFieldsWhenRead) {
    std::string line = format(entry('A', "Дом;работа", "me@example.ru", "pw", "pop.example.ru;110"));
    EXPECT_EQ("A;Дом;работа;me@example.ru;pw;pop.example.ru;110\r\n", line);
    AccountEntry back = parse(line.substr(0, line.size() - 2));
    EXPECT_STREQ("Дом", back.alias);
    EXPECT_STREQ("работа", back.identity);
    EXPECT_STREQ("me@example.ru", back.password);
    EXPECT_STREQ("pw;pop.example.ru;110", back.extra);
}

TEST(AccountLine, ShortLinesPutTheirLastPieceIntoExtra) {
    AccountEntry e = parse("A;box");
    EXPECT_EQ('A', e.state);
    EXPECT_STREQ("", e.alias);
    EXPECT_STREQ("", e.identity);
    EXPECT_STREQ("", e.password);
    EXPECT_STREQ("box", e.extra);

    e = parse("A;alias;id");
    EXPECT_STREQ("alias", e.alias);
    EXPECT_STREQ("", e.identity);
    EXPECT_STREQ("id", e.extra);

    e = parse("no separator");
    EXPECT_EQ('\0', e.state);
    EXPECT_STREQ("no separator", e.extra);
    EXPECT_EQ(";;;;no separator\r\n", format(e));
}

TEST(AccountLine, LongAndBinaryFieldsAreCut) {
    std::string alias(300, 'a');
    std::string extra(1 << 20, 'e');
    AccountEntry e = parse("A;" + alias + ";id;pw;" + extra);
    EXPECT_EQ(std::string(259, 'a'), e.alias);
    EXPECT_EQ(std::string(259, 'e'), e.extra);

    e = parse(std::string("A;al\0ias;id;p\0w;ex", 18));
    EXPECT_STREQ("al", e.alias);
    EXPECT_STREQ("id", e.identity);
    EXPECT_STREQ("p", e.password);
    EXPECT_STREQ("ex", e.extra);

    // Every field full: the line still fits its buffer.
    memset(e.alias, 'x', sizeof e.alias - 1);
    memset(e.identity, 'x', sizeof e.identity - 1);
    memset(e.password, 'x', sizeof e.password - 1);
    memset(e.extra, 'x', sizeof e.extra - 1);
    EXPECT_LT(format(e).size(), kAccountLineCapacity);
}

TEST(AccountList, AppendRemoveAndClearKeepFileOrder) {
    accountList.clear();
    for (char c = 'a'; c <= 'l'; c++) {
        ASSERT_TRUE(accountList.append(entry('A', std::string(1, c).c_str(), "id", "pw", "")));
    }
    // Appending an entry of the list itself, while the list grows.
    ASSERT_TRUE(accountList.append(accountList[0]));
    ASSERT_EQ(13, accountList.count());
    EXPECT_STREQ("a", accountList[12].alias);

    EXPECT_TRUE(accountList.remove(1));
    EXPECT_FALSE(accountList.remove(12));
    EXPECT_FALSE(accountList.remove(-1));
    ASSERT_EQ(12, accountList.count());
    EXPECT_STREQ("a", accountList[0].alias);
    EXPECT_STREQ("c", accountList[1].alias);
    EXPECT_STREQ("a", accountList[11].alias);

    accountList.clear();
    EXPECT_EQ(0, accountList.count());
}
