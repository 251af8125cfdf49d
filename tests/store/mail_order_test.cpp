#include "store/mail_line.h"
#include "store/mail_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A loaded array in file order, arranged as the loader arranges it.
struct Arranged {
    std::vector<char> image; // the texts of the records
    std::vector<MailEntry> records;
    std::vector<MailboxGroup> groups;
};

Arranged arrange(const std::vector<std::string>& lines, bool dateAscending) {
    Arranged a;
    for (const std::string& line : lines) {
        a.image.insert(a.image.end(), line.begin(), line.end());
        a.image.insert(a.image.end(), {'\r', '\n'});
    }
    a.records.resize(lines.size());
    size_t count = readMailEntries(a.image.data(), a.image.size(), a.records.data(), a.records.size());
    EXPECT_EQ(lines.size(), count);
    std::vector<int> order(lines.size());
    int groups = arrangeMailRecords(a.records.data(), static_cast<int>(count), order.data(), dateAscending);
    a.groups.resize(groups);
    buildMailGroups(a.records.data(), static_cast<int>(count), a.groups.data(), groups);
    return a;
}

std::vector<std::string> numbers(const Arranged& a) {
    std::vector<std::string> out;
    for (const MailEntry& r : a.records) {
        out.push_back(r.number);
    }
    return out;
}

std::string mail(int number, const char* pseudonym, const char* address, const char* date) {
    return std::to_string(number) + ";0;" + pseudonym + ";" + address + ";1 Кб;id" + std::to_string(number) + ";from;" +
           date + ";;subject";
}

} // namespace

TEST(MailOrder, ByAddressDescendingThenGroupsByDate) {
    std::vector<std::string> file = {
        mail(1, "Работа", "work@example.ru", "1230000001"), mail(2, "Дом", "home@example.ru", "1230000005"),
        mail(3, "Работа", "work@example.ru", "1230000009"), mail(4, "Яндекс", "ya@example.ru", "1230000003"),
        mail(5, "Дом", "home@example.ru", "1230000002"),
    };
    Arranged newest = arrange(file, false);
    // Addresses descending: ya, work, home. Inside each group newest first.
    EXPECT_EQ((std::vector<std::string>{"4", "3", "1", "2", "5"}), numbers(newest));
    ASSERT_EQ(3u, newest.groups.size());
    EXPECT_STREQ("Яндекс", newest.groups[0].pseudonym);
    EXPECT_EQ(1, newest.groups[0].count);
    EXPECT_EQ(0, newest.groups[0].firstIndex);
    EXPECT_STREQ("Работа", newest.groups[1].pseudonym);
    EXPECT_EQ(2, newest.groups[1].count);
    EXPECT_EQ(1, newest.groups[1].firstIndex);
    EXPECT_STREQ("Дом", newest.groups[2].pseudonym);
    EXPECT_EQ(2, newest.groups[2].count);
    EXPECT_EQ(3, newest.groups[2].firstIndex);
    for (const MailboxGroup& g : newest.groups) {
        EXPECT_EQ(0, g.rowIndex);
        EXPECT_EQ(0, g.collapsed);
        EXPECT_EQ(0, g.allMarked);
    }

    Arranged oldest = arrange(file, true);
    EXPECT_EQ((std::vector<std::string>{"4", "1", "3", "5", "2"}), numbers(oldest));
    // Every record moved whole, not just its number.
    EXPECT_STREQ("id5", oldest.records[3].identity);
    EXPECT_STREQ("home@example.ru", oldest.records[3].address);
}

TEST(MailOrder, ComparisonsAreByteWiseOnUnsignedBytes) {
    // "я" (0xFF in Windows-1251) sorts above every Latin letter, and the
    // date text "9" above "10" (dates are compared as text).
    Arranged a = arrange(
        {mail(1, "A", "zz@example.ru", "10"), mail(2, "B", "\xFF@example.ru", "9"), mail(3, "A", "zz@example.ru", "9")},
        false);
    EXPECT_EQ((std::vector<std::string>{"2", "3", "1"}), numbers(a));
}

TEST(MailOrder, EqualKeysKeepTheirFileOrder) {
    std::vector<std::string> file;
    for (int i = 0; i < 50; i++) {
        file.push_back(mail(i, i % 2 ? "Odd" : "Even", i % 2 ? "odd@x.ru" : "even@x.ru", "1230000000"));
    }
    Arranged a = arrange(file, false);
    ASSERT_EQ(2u, a.groups.size());
    int previous = -1;
    for (int i = 0; i < 25; i++) {
        int number = std::stoi(a.records[i].number);
        EXPECT_EQ(1, number % 2);
        EXPECT_LT(previous, number);
        previous = number;
    }
}

TEST(MailOrder, PlaceholdersMakeEmptyGroupsAndNeverSplitAGroup) {
    Arranged a = arrange(
        {
            "10;0;Пустой;0",
            mail(11, "Почта", "mail@example.ru", "1230000002"),
            // A placeholder of a mailbox that has mail too (its address is
            // empty, so it sorts among the last).
            "12;0;Почта;0",
            mail(13, "Почта", "mail@example.ru", "1230000001"),
        },
        false);
    ASSERT_EQ(3u, a.groups.size());
    EXPECT_STREQ("Почта", a.groups[0].pseudonym);
    EXPECT_EQ(2, a.groups[0].count);
    EXPECT_EQ(0, a.groups[0].firstIndex);
    EXPECT_STREQ("Пустой", a.groups[1].pseudonym);
    EXPECT_EQ(0, a.groups[1].count);
    EXPECT_EQ(-1, a.groups[1].firstIndex);
    EXPECT_STREQ("Почта", a.groups[2].pseudonym);
    EXPECT_EQ(0, a.groups[2].count);
    EXPECT_EQ(-1, a.groups[2].firstIndex);

    // A run that starts with its placeholder: the mails follow it and the
    // group points at the first of them.
    a = arrange({"20;0;Box;0", mail(21, "Box", "", "5"), mail(22, "Box", "", "7")}, false);
    ASSERT_EQ(1u, a.groups.size());
    EXPECT_EQ((std::vector<std::string>{"20", "22", "21"}), numbers(a));
    EXPECT_EQ(2, a.groups[0].count);
    EXPECT_EQ(1, a.groups[0].firstIndex);

    // Placeholders behind the mails of their run are moved in front.
    a = arrange({mail(31, "Box", "", "5"), "30;0;Box;0", mail(32, "Box", "", "7")}, false);
    EXPECT_EQ((std::vector<std::string>{"30", "32", "31"}), numbers(a));
    EXPECT_EQ(1, a.groups[0].firstIndex);
    EXPECT_EQ(2, a.groups[0].count);
}

TEST(MailOrder, ListSortsByEachKeyMovingWholeRecords) {
    // Numbers and dates compare as text: "9" after "10".
    Arranged a = arrange(
        {"9;0;p;b@x.ru;1;id9;Борис;10;;s", "10;1;p;c@x.ru;1;id10;Анна;9;;s", "2;0;p;a@x.ru;1;id2;Вера;11;;s"}, false);
    struct Case {
        MailKey key;
        bool ascending;
        std::vector<std::string> numbers;
    };
    const Case cases[] = {
        {MailKey::Number, false, {"9", "2", "10"}}, {MailKey::Address, false, {"10", "9", "2"}},
        {MailKey::Sender, false, {"2", "9", "10"}}, {MailKey::Date, true, {"9", "2", "10"}},
        {MailKey::Date, false, {"10", "2", "9"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.key));
        sortMailRecords(a.records.data(), 3, c.key, c.ascending);
        EXPECT_EQ(c.numbers, numbers(a));
        for (const MailEntry& r : a.records) {
            EXPECT_EQ(std::string("id") + r.number, r.identity);
            EXPECT_EQ(std::string(r.number) == "10" ? 1 : 0, r.deletion);
        }
    }
    // Unmarked first (the equal keys in any order).
    sortMailRecords(a.records.data(), 3, MailKey::Mark, true);
    EXPECT_EQ("10", numbers(a).back());
}

TEST(MailOrder, EmptyArray) {
    EXPECT_EQ(0, arrangeMailRecords(nullptr, 0, nullptr, false));
    buildMailGroups(nullptr, 0, nullptr, 0);
}

namespace {

// The order arrangeMailRecords promises, computed the plain way: a stable
// sort by address, then in each run of equal pseudonyms the placeholders
// first and the mails stably by date.
std::vector<std::string> referenceOrder(std::vector<MailEntry> records, bool dateAscending) {
    auto byText = [](const char* MailEntry::*field, bool ascending) {
        return [field, ascending](const MailEntry& a, const MailEntry& b) {
            int c = strcmp(a.*field, b.*field);
            return ascending ? c < 0 : c > 0;
        };
    };
    std::stable_sort(records.begin(), records.end(), byText(&MailEntry::address, false));
    for (auto begin = records.begin(); begin != records.end();) {
        auto end = std::find_if(begin, records.end(),
                                [&](const MailEntry& r) { return strcmp(r.pseudonym, begin->pseudonym) != 0; });
        auto mails = std::stable_partition(begin, end, [](const MailEntry& r) { return isPlaceholderRecord(r); });
        std::stable_sort(mails, end, byText(&MailEntry::storedDate, dateAscending));
        begin = end;
    }
    std::vector<std::string> out;
    for (const MailEntry& r : records) {
        out.push_back(r.number);
    }
    return out;
}

// Texts that agree in long prefixes (the sort looks at the first 16 bytes
// first), end at every length around them and hold bytes above 0x7F.
std::string awkwardText(unsigned& seed, int variety) {
    static const char* const kStems[] = {
        "", "9", "10", "mailbox-sixteen!", "mailbox-sixteen", "mailbox-sixteen!!", "\xFF\xFE", "почта@пример.рф"};
    seed = seed * 1103515245u + 12345u;
    std::string text = kStems[(seed >> 16) % 8];
    if ((seed >> 8) % 3 != 0) {
        text += std::to_string((seed >> 4) % static_cast<unsigned>(variety));
    }
    return text;
}

} // namespace

TEST(MailOrder, ArrangingAgreesWithThePlainSortsForFewAndManyMailboxes) {
    // 12 mailboxes are numbered; 400 are more than that and take the other
    // way. Both must give the plain order.
    for (int mailboxes : {12, 400}) {
        for (bool ascending : {false, true}) {
            SCOPED_TRACE(std::to_string(mailboxes) + (ascending ? " ascending" : " descending"));
            unsigned seed = 7u + static_cast<unsigned>(mailboxes);
            std::vector<std::string> file;
            for (int i = 0; i < 3000; i++) {
                std::string box = awkwardText(seed, mailboxes);
                std::string pseudonym = "p" + std::to_string(seed % 3) + box.substr(0, 4);
                if (i % 97 == 0) {
                    file.push_back(std::to_string(i) + ";0;" + pseudonym + ";0");
                } else {
                    file.push_back(mail(i, pseudonym.c_str(), box.c_str(), awkwardText(seed, 50).c_str()));
                }
            }
            Arranged a = arrange(file, ascending);
            // The reference starts from the file order again.
            std::vector<char> image;
            for (const std::string& line : file) {
                image.insert(image.end(), line.begin(), line.end());
                image.insert(image.end(), {'\r', '\n'});
            }
            std::vector<MailEntry> unsorted(file.size());
            readMailEntries(image.data(), image.size(), unsorted.data(), unsorted.size());
            EXPECT_EQ(referenceOrder(unsorted, ascending), numbers(a));
        }
    }
}

TEST(MailOrder, ListSortsOrderLikeStrcmpAndKeepEqualTextsInTheirOrder) {
    unsigned seed = 99;
    std::vector<std::string> file;
    for (int i = 0; i < 2000; i++) {
        std::string sender = awkwardText(seed, 30);
        file.push_back(std::to_string(i) + ";0;p;a@x.ru;1;id;" + sender + ";" + awkwardText(seed, 30) + ";;s");
    }
    for (MailKey key : {MailKey::Sender, MailKey::Date}) {
        for (bool ascending : {false, true}) {
            Arranged a = arrange(file, false);
            std::vector<MailEntry> expected = a.records;
            const char* MailEntry::*field = key == MailKey::Sender ? &MailEntry::sender : &MailEntry::storedDate;
            std::stable_sort(expected.begin(), expected.end(),
                             [field, ascending](const MailEntry& x, const MailEntry& y) {
                                 int c = strcmp(x.*field, y.*field);
                                 return ascending ? c < 0 : c > 0;
                             });
            sortMailRecords(a.records.data(), static_cast<int>(a.records.size()), key, ascending);
            std::vector<std::string> want;
            for (const MailEntry& r : expected) {
                want.push_back(r.number);
            }
            EXPECT_EQ(want, numbers(a)) << static_cast<int>(key) << ascending;
        }
    }
}
