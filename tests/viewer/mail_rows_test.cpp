// The mail list's rows, columns and orders as data, without a window.
#include "store/mail_line.h"
#include "store/mail_order.h"
#include "viewer/mail_columns.h"
#include "viewer/mail_rows.h"
#include "viewer/mail_sort.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string mail(const char* number, const char* pseudonym, const char* address, const char* sender, const char* date) {
    return std::string(number) + ";0;" + pseudonym + ";" + address + ";1 Кб;id" + number + ";" + sender + ";" + date +
           ";+;Тема " + number;
}

// A list as the loader leaves it: mailboxes by address descending, their
// mails newest first.
class Mails {
public:
    explicit Mails(const std::vector<std::string>& lines) {
        for (const std::string& line : lines) {
            image_.insert(image_.end(), line.begin(), line.end());
            image_.insert(image_.end(), {'\r', '\n'});
        }
        records_.resize(lines.size());
        int count = static_cast<int>(readMailEntries(image_.data(), image_.size(), records_.data(), records_.size()));
        std::vector<int> order(lines.size());
        groups_.resize(static_cast<size_t>(arrangeMailRecords(records_.data(), count, order.data(), false)));
        buildMailGroups(records_.data(), count, groups_.data(), static_cast<int>(groups_.size()));
        list.records = records_.empty() ? nullptr : records_.data();
        list.count = count;
        list.groups = groups_.data();
        list.groupCount = static_cast<int>(groups_.size());
    }

    MailList list;

private:
    std::vector<char> image_;
    std::vector<MailEntry> records_;
    std::vector<MailboxGroup> groups_;
};

// "Работа" with mails 9 and 10, "Дом" with 11, "Пустой" without mail.
std::vector<std::string> sample() {
    return {mail("9", "Работа", "ivan@work.test", "Пётр", "1765000100"),
            mail("10", "Работа", "ivan@work.test", "Анна", "1765000200"),
            mail("11", "Дом", "ivan@home.test", "Мама", "1765000300"), "12;0;Пустой;0"};
}

std::string cell(const MailRows& rows, MailList& list, int row, int column) {
    char text[261];
    rows.cellText(list, row, column, text, sizeof text);
    return text;
}

// Each row as its texts from column 1 on, and its check ("x", "-" or "").
std::vector<std::string> show(const MailRows& rows, MailList& list) {
    const MailColumnTable& table = mailColumns(rows.grouped());
    std::vector<std::string> out;
    for (int row = 0; row < rows.count(); row++) {
        std::string line = cell(rows, list, row, 0) + ":";
        for (int column = 1; column < table.count; column++) {
            line += cell(rows, list, row, column) + (column + 1 < table.count ? ";" : "");
        }
        RowCheck check = rows.checkAt(list, row);
        out.push_back(line + "|" + (check == RowCheck::Ticked ? "x" : check == RowCheck::Clear ? "-" : ""));
    }
    return out;
}

std::vector<std::string> numbers(const MailList& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.count; i++) {
        out.push_back(list.records[i].number);
    }
    return out;
}

} // namespace

TEST(MailRows, GroupedViewShowsEachMailboxAboveItsMails) {
    Mails mails(sample());
    MailRows rows;
    rows.build(mails.list, true, "Архив пуст");
    std::vector<std::string> expected = {
        "Работа:Писем в ящике - 2;;;;;|-", ":Анна;;+;1 Кб;Тема 10;10|-", ":Пётр;;+;1 Кб;Тема 9;9|-",
        "Дом:Писем в ящике - 1;;;;;|-",    ":Мама;;+;1 Кб;Тема 11;11|-", "Пустой:Писем в ящике - 0;;;;;|-",
    };
    std::vector<std::string> got = show(rows, mails.list);
    ASSERT_EQ(expected.size(), got.size());
    for (size_t i = 0; i < got.size(); i++) {
        // The date column shows each mail's date: compared apart, it depends on the zone.
        std::string withoutDate = got[i];
        if (rows.groupAt(mails.list, static_cast<int>(i)) == nullptr) {
            size_t from = withoutDate.find(';') + 1;
            withoutDate.erase(from, withoutDate.find(';', from) - from);
        }
        EXPECT_EQ(expected[i], withoutDate);
    }
    EXPECT_EQ(3, mails.list.groups[1].rowIndex);
    EXPECT_EQ(nullptr, rows.recordAt(mails.list, 0));
    EXPECT_STREQ("10", rows.recordAt(mails.list, 1)->number);

    // A mailbox without mail takes no mark and no fold.
    MailboxGroup& empty = *rows.groupAt(mails.list, 5);
    EXPECT_FALSE(rows.markGroup(mails.list, empty));
    EXPECT_FALSE(rows.toggleMark(mails.list, 5));
    EXPECT_EQ(0, empty.allMarked);
}

TEST(MailRows, AFoldedMailboxIsTickedWhenAnyOfItsMailsIsMarked) {
    Mails mails(sample());
    MailRows rows;
    rows.build(mails.list, true, "");
    ASSERT_TRUE(rows.toggleMark(mails.list, 2)); // Пётр
    EXPECT_EQ(RowCheck::Clear, rows.checkAt(mails.list, 0));
    mails.list.groups[0].collapsed = 1;
    rows.build(mails.list, true, "");
    EXPECT_EQ(4, rows.count());
    EXPECT_EQ(RowCheck::Ticked, rows.checkAt(mails.list, 0));
    EXPECT_EQ(0, mails.list.groups[0].allMarked);

    // Marking the folded mailbox marks all its mails; unfolded it is ticked.
    ASSERT_TRUE(rows.markGroup(mails.list, mails.list.groups[0]));
    mails.list.groups[0].collapsed = 0;
    rows.build(mails.list, true, "");
    for (int row = 0; row < 3; row++) {
        EXPECT_EQ(RowCheck::Ticked, rows.checkAt(mails.list, row)) << row;
    }
}

TEST(MailRows, MarkAllReachesTheMailsOfFoldedMailboxes) {
    Mails mails(sample());
    mails.list.groups[1].collapsed = 1;
    MailRows rows;
    rows.build(mails.list, true, "");
    rows.markAll(mails.list, 1);
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(1, mails.list.records[i].deletion);
    }
    for (int row = 0; row < rows.count(); row++) {
        EXPECT_EQ(RowCheck::Ticked, rows.checkAt(mails.list, row)) << row;
    }
    rows.markAll(mails.list, 0);
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(0, mails.list.records[i].deletion);
    }
    EXPECT_EQ(0, mails.list.groups[1].allMarked);
}

TEST(MailRows, FlatViewShowsEveryMailAndNoPlaceholder) {
    Mails mails(sample());
    MailRows rows;
    rows.build(mails.list, false, "Нет новых");
    ASSERT_EQ(3, rows.count());
    EXPECT_EQ("Анна", cell(rows, mails.list, 0, 1));
    EXPECT_EQ("Тема 10", cell(rows, mails.list, 0, 3));
    // The hidden last column holds the number and takes no room.
    const MailColumnTable& flat = mailColumns(false);
    EXPECT_EQ("10", cell(rows, mails.list, 0, flat.numberColumn));
    EXPECT_EQ(0, flat.columns[flat.numberColumn].width(500 / flat.unitDivisor, 96));
    const MailColumnTable& grouped = mailColumns(true);
    EXPECT_EQ(MailField::Number, grouped.columns[grouped.numberColumn].field);
    EXPECT_EQ(0, grouped.columns[grouped.numberColumn].width(700 / grouped.unitDivisor, 144));
    EXPECT_EQ(nullptr, rows.groupAt(mails.list, 0));
    ASSERT_TRUE(rows.toggleMark(mails.list, 2));
    EXPECT_EQ(RowCheck::Ticked, rows.checkAt(mails.list, 2));
}

TEST(MailRows, AnEmptyListSaysSoInOneRowWithoutACheckBox) {
    Mails none({});
    MailRows rows;
    rows.build(none.list, false, "Нет новых");
    EXPECT_TRUE(rows.empty());
    EXPECT_EQ((std::vector<std::string>{":Нет новых;;;|"}), show(rows, none.list));
    rows.build(none.list, true, "Архив пуст");
    EXPECT_EQ("Архив пуст", cell(rows, none.list, 0, 0));
    EXPECT_FALSE(rows.toggleMark(none.list, 0));
}

// A row finds its mail by the number it shows: the first mail of that number.
TEST(MailRows, ARowMarksTheFirstMailOfItsNumber) {
    Mails mails({mail("7", "Дом", "ivan@home.test", "Старое", "1765000100"),
                 mail("7", "Дом", "ivan@home.test", "Новое", "1765000200")});
    MailRows rows;
    rows.build(mails.list, false, "");
    ASSERT_STREQ("Новое", mails.list.records[0].sender);
    ASSERT_TRUE(rows.toggleMark(mails.list, 1));
    EXPECT_EQ(1, mails.list.records[0].deletion);
    EXPECT_EQ(0, mails.list.records[1].deletion);
}

TEST(MailSort, FlatColumnClicksTurnTheirOrderRound) {
    Mails mails(sample());
    MailListFlags flags;
    ASSERT_TRUE(sortByColumn(mails.list, false, 2, flags)); // "Когда": newest first
    EXPECT_EQ(1, flags.compactDateFlag);
    EXPECT_EQ((std::vector<std::string>{"11", "10", "9", "12"}), numbers(mails.list));
    ASSERT_TRUE(sortByColumn(mails.list, false, 2, flags));
    EXPECT_EQ((std::vector<std::string>{"12", "9", "10", "11"}), numbers(mails.list));
    // A sorting rebuild takes the flag the other way round.
    sortForView(mails.list, false, flags);
    EXPECT_EQ((std::vector<std::string>{"11", "10", "9", "12"}), numbers(mails.list));

    ASSERT_TRUE(sortByColumn(mails.list, false, 1, flags)); // "От кого": by mailbox
    EXPECT_EQ(1, flags.compactSenderFlag);
    EXPECT_EQ("ivan@work.test", std::string(mails.list.records[0].address));
    ASSERT_TRUE(sortByColumn(mails.list, false, 1, flags)); // by sender, descending
    EXPECT_EQ((std::vector<std::string>{"9", "11", "10", "12"}), numbers(mails.list));
    EXPECT_FALSE(sortByColumn(mails.list, false, 3, flags));
}

TEST(MailSort, GroupedColumnClicksSortInsideEachMailbox) {
    Mails mails(sample());
    MailListFlags flags;
    ASSERT_TRUE(sortByColumn(mails.list, true, 2, flags)); // "Дата и время"
    EXPECT_EQ(1, flags.groupDateAscending);
    EXPECT_EQ((std::vector<std::string>{"9", "10", "11", "12"}), numbers(mails.list));
    ASSERT_TRUE(sortByColumn(mails.list, true, 1, flags)); // "Отправитель", descending
    EXPECT_EQ((std::vector<std::string>{"9", "10", "11", "12"}), numbers(mails.list));
    EXPECT_FALSE(sortByColumn(mails.list, true, 4, flags));

    Mails none({});
    EXPECT_FALSE(sortByColumn(none.list, true, 2, flags));
    EXPECT_EQ(1, flags.groupDateAscending);
}

// Back from the flat view's order, the mailboxes come together again and
// keep their folds.
TEST(MailSort, ASortingRebuildRegroupsAndKeepsTheFolds) {
    Mails mails(sample());
    MailListFlags flags;
    mails.list.groups[1].collapsed = 1;
    sortForView(mails.list, false, flags);
    EXPECT_EQ((std::vector<std::string>{"11", "10", "9", "12"}), numbers(mails.list));
    sortForView(mails.list, true, flags);
    EXPECT_EQ((std::vector<std::string>{"10", "9", "11", "12"}), numbers(mails.list));
    EXPECT_STREQ("Дом", mails.list.groups[1].pseudonym);
    EXPECT_EQ(1, mails.list.groups[1].collapsed);
    EXPECT_EQ(0, mails.list.groups[0].collapsed);
}

// The columns' fixed pixels follow the scaling; the least list width that
// holds a date holds it and one unit less does not; a centred date too
// narrow for the widest date is left-aligned, other columns keep theirs.
TEST(MailColumns, ScaledWidthsTheWidthDatesNeedAndTheirAlignment) {
    const MailColumnTable& grouped = mailColumns(true);
    const MailColumnTable& flat = mailColumns(false);
    EXPECT_EQ(130, mailColumnWidth(grouped, 1, 700, 96));
    EXPECT_EQ(145, mailColumnWidth(grouped, 1, 700, 144));
    EXPECT_EQ(53, mailColumnWidth(flat, 0, 500, 144));
    EXPECT_EQ(0, mailColumnWidth(flat, flat.count, 500, 96));
    EXPECT_EQ(0, mailColumnWidth(flat, 2, 20, 192)); // never below 0
    for (int dpi : {96, 120, 144, 192}) {
        for (const MailColumnTable* table : {&grouped, &flat}) {
            int width = listWidthForDates(*table, 150, dpi);
            EXPECT_GE(mailColumnWidth(*table, 2, width, dpi), 150) << dpi;
            EXPECT_LT(mailColumnWidth(*table, 2, width - table->unitDivisor, dpi), 150) << dpi;
        }
    }
    EXPECT_EQ(ColumnAlign::Left, mailColumnAlign(flat, 2, 99, 100));
    EXPECT_EQ(ColumnAlign::Centre, mailColumnAlign(flat, 2, 100, 100));
    EXPECT_EQ(ColumnAlign::Left, mailColumnAlign(grouped, 2, 10, 100));
    EXPECT_EQ(ColumnAlign::Centre, mailColumnAlign(grouped, 4, 10, 100)); // the size, not a date
}
