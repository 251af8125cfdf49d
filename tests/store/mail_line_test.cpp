#include "store/line_reader.h"
#include "store/mail_line.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

MailRecord parse(const std::string& line) {
    MailRecord r;
    parseMailLine(line.data(), line.size(), r);
    return r;
}

std::string format(const MailRecord& r) {
    char buffer[kMailLineCapacity];
    size_t n = formatMailLine(r, buffer);
    EXPECT_EQ(n, strlen(buffer));
    return std::string(buffer, n);
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    LineReader reader(text.data(), text.size());
    const char* line;
    size_t length;
    while (reader.next(line, length)) {
        out.emplace_back(line, length);
    }
    EXPECT_EQ(out.size(), countLines(text.data(), text.size()));
    return out;
}

} // namespace

TEST(MailLine, TenFieldsReadAndWriteBackByteForByte) {
    const std::string line = "1042;1;Работа;ivan@example.ru;12.5 Кб;UID-77;Пётр Иванов <petr@example.ru>;"
                             "1230905109;+;Отчёт за январь";
    MailRecord r = parse(line);
    EXPECT_STREQ("1042", r.number);
    EXPECT_EQ(1, r.deletion);
    EXPECT_STREQ("Работа", r.pseudonym);
    EXPECT_STREQ("ivan@example.ru", r.address);
    EXPECT_STREQ("12.5 Кб", r.size);
    EXPECT_STREQ("UID-77", r.identity);
    EXPECT_STREQ("Пётр Иванов <petr@example.ru>", r.sender);
    EXPECT_STREQ("1230905109", r.storedDate);
    EXPECT_STREQ("", r.shownDate); // made by the loader, never read or written here
    EXPECT_EQ(1, r.attachment);
    EXPECT_STREQ("Отчёт за январь", r.subject);
    EXPECT_EQ(line + "\r\n", format(r));

    // Empty fields and clear marks.
    const std::string bare = "7;0;;box@example.ru;;;;0;;";
    EXPECT_EQ(bare + "\r\n", format(parse(bare)));
}

TEST(MailLine, MarksAreSetByTheFirstCharacterAndWrittenNormalised) {
    MailRecord r = parse("1;1x;p;a;s;i;f;5;+x;subj");
    EXPECT_EQ(1, r.deletion);
    EXPECT_EQ(1, r.attachment);
    EXPECT_EQ("1;1;p;a;s;i;f;5;+;subj\r\n", format(r));

    r = parse("1;2;p;a;s;i;f;5;-;subj");
    EXPECT_EQ(0, r.deletion);
    EXPECT_EQ(0, r.attachment);
    EXPECT_EQ("1;0;p;a;s;i;f;5;;subj\r\n", format(r));
}

TEST(MailLine, LongFieldsAreCutToTheirWidths) {
    std::string number(40, '9'), pseudonym(300, 'p'), address(600, 'a'), size(40, 's'), identity(200, 'i'),
        sender(300, 'f'), date(40, '1'), subject(700, 'x');
    MailRecord r = parse(number + ";0;" + pseudonym + ";" + address + ";" + size + ";" + identity + ";" + sender + ";" +
                         date + ";;" + subject);
    EXPECT_EQ(std::string(31, '9'), r.number);
    EXPECT_EQ(std::string(259, 'p'), r.pseudonym);
    EXPECT_EQ(std::string(259, 'a'), r.address);
    EXPECT_EQ(std::string(31, 's'), r.size);
    EXPECT_EQ(std::string(127, 'i'), r.identity);
    EXPECT_EQ(std::string(259, 'f'), r.sender);
    EXPECT_EQ(std::string(31, '1'), r.storedDate);
    EXPECT_EQ(std::string(519, 'x'), r.subject);

    // Every in-memory field may use its whole array; the line still fits
    // and reads back cut.
    memset(r.address, 'a', sizeof r.address - 1);
    memset(r.subject, 'x', sizeof r.subject - 1);
    std::string saved = format(r);
    EXPECT_LT(saved.size(), kMailLineCapacity);
    MailRecord back = parse(saved.substr(0, saved.size() - 2));
    EXPECT_EQ(std::string(259, 'a'), back.address);
    EXPECT_EQ(std::string(519, 'x'), back.subject);
}

TEST(MailLine, SubjectIsTheTextAfterTheLastSemicolon) {
    // A subject written with ";" in it comes back as its last part only; the
    // parts between are surplus fields and are dropped.
    MailRecord r;
    memset(&r, 0, sizeof r);
    strcpy(r.number, "5");
    strcpy(r.address, "a@b.ru");
    strcpy(r.subject, "Встреча; место; время");
    std::string line = format(r);
    EXPECT_EQ("5;0;;a@b.ru;;;;;;Встреча; место; время\r\n", line);
    MailRecord back = parse(line.substr(0, line.size() - 2));
    EXPECT_STREQ(" время", back.subject);
    EXPECT_STREQ("a@b.ru", back.address);

    // Hundreds of separators: the first nine fields and the last piece count.
    std::string many = "1;0;p;a;s;i;f;9;+";
    for (int i = 0; i < 500; i++) {
        many += ";x";
    }
    many += ";last";
    r = parse(many);
    EXPECT_STREQ("f", r.sender);
    EXPECT_EQ(1, r.attachment);
    EXPECT_STREQ("last", r.subject);
}

TEST(MailLine, ShortLinesFillFieldsFromTheFirstAndLeaveTheRestEmpty) {
    MailRecord r = parse("12;1;Box");
    EXPECT_STREQ("12", r.number);
    EXPECT_EQ(1, r.deletion);
    EXPECT_STREQ("", r.pseudonym); // the last piece is the subject only
    EXPECT_STREQ("Box", r.subject);
    EXPECT_STREQ("", r.address);
    EXPECT_STREQ("", r.storedDate);
    EXPECT_EQ(0, r.attachment);

    r = parse("no separators at all");
    EXPECT_STREQ("", r.number);
    EXPECT_STREQ("no separators at all", r.subject);

    r = parse("");
    EXPECT_STREQ("", r.subject);
    EXPECT_EQ(";0;;;;;;;;\r\n", format(r));
}

TEST(MailLine, OnlyAnAddressOfExactlyZeroMakesAPlaceholder) {
    MailRecord r = parse("7;0;Дача;0;;;;;;");
    EXPECT_TRUE(isPlaceholderRecord(r));
    EXPECT_STREQ("7", r.number);
    EXPECT_STREQ("Дача", r.pseudonym);
    EXPECT_STREQ("0", r.sender);
    EXPECT_STREQ("", r.address);
    EXPECT_STREQ("", r.subject);

    // The placeholder line is read up to its fourth field, also when that
    // field ends the line.
    EXPECT_TRUE(isPlaceholderRecord(parse("7;0;Дача;0")));
    EXPECT_TRUE(isPlaceholderRecord(parse("7;0;Дача;0;;;;;;ignored")));

    // A real address that begins with "0" keeps its mail.
    r = parse("8;0;Дача;0leg@example.ru;1 Кб;id8;Олег;1230905109;;Привет");
    EXPECT_FALSE(isPlaceholderRecord(r));
    EXPECT_STREQ("0leg@example.ru", r.address);
    EXPECT_STREQ("Олег", r.sender);
    EXPECT_STREQ("Привет", r.subject);

    // Saved and read again, a placeholder stays one.
    r = parse("7;0;Дача;0");
    std::string saved = format(r);
    EXPECT_TRUE(isPlaceholderRecord(parse(saved.substr(0, saved.size() - 2))));
}

TEST(MailLine, LinesEndOnlyAtCrLf) {
    EXPECT_EQ((std::vector<std::string>{"a", "b\rc\nd", ""}), lines("a\r\nb\rc\nd\r\n\r\ntail without end"));
    EXPECT_EQ(std::vector<std::string>{}, lines("no line end at all\n\r"));
    EXPECT_EQ(std::vector<std::string>{"x\r"}, lines("x\r\r\n\r"));
    EXPECT_EQ(std::vector<std::string>{}, lines(""));
    EXPECT_EQ((std::vector<std::string>{"", "\n"}), lines("\r\n\n\r\n"));
}

TEST(MailLine, BinaryTextIsCutWithoutOverrun) {
    std::string binary;
    for (int i = 0; i < 4096; i++) {
        binary += static_cast<char>(i * 37 % 256);
    }
    MailRecord r = parse(binary);
    std::string saved = format(r);
    EXPECT_LT(saved.size(), kMailLineCapacity);

    // NULs end a field's text; the rest of the field is lost, not the line.
    std::string withNul("1;0;p\0hidden;addr;s;i;f;5;;subj", 31);
    r = parse(withNul);
    EXPECT_STREQ("p", r.pseudonym);
    EXPECT_STREQ("addr", r.address);
    EXPECT_STREQ("subj", r.subject);
    // "0" followed by a NUL is the text "0": a placeholder.
    EXPECT_TRUE(isPlaceholderRecord(parse(std::string("1;0;p;0\0x;s", 11))));

    std::string huge(1 << 20, 'z');
    r = parse("1;0;" + huge + ";" + huge);
    EXPECT_EQ(259u, strlen(r.pseudonym));
    EXPECT_EQ(519u, strlen(r.subject));
}

TEST(MailLine, MailNumbers) {
    uint64_t n = 1;
    EXPECT_TRUE(parseMailNumber("57", n));
    EXPECT_EQ(57u, n);
    EXPECT_TRUE(parseMailNumber("58;0;x", n));
    EXPECT_EQ(58u, n);
    // Past the range of an int: numbers go on rising, never negative.
    EXPECT_TRUE(parseMailNumber("2147483648", n));
    EXPECT_EQ(2147483648u, n);
    EXPECT_TRUE(parseMailNumber("18446744073709551615", n));
    EXPECT_EQ(UINT64_MAX, n);
    n = 3;
    EXPECT_FALSE(parseMailNumber("18446744073709551616", n));
    EXPECT_FALSE(parseMailNumber("99999999999999999999999", n));
    EXPECT_FALSE(parseMailNumber("", n));
    EXPECT_FALSE(parseMailNumber("-5", n));
    EXPECT_FALSE(parseMailNumber(" 5", n));
    EXPECT_EQ(3u, n);
}

TEST(MailLine, EntriesReadInPlaceHoldWhatRecordsHold) {
    std::string huge(3000, 'z');
    const std::vector<std::string> file = {
        "1042;1;Работа;ivan@example.ru;12.5 Кб;UID-77;Пётр <petr@example.ru>;1230905109;+;Отчёт",
        std::string(40, '9') + ";0;" + huge + ";" + huge + ";" + huge + ";" + huge + ";" + huge + ";" + huge + ";;" +
            huge,
        "5;0;;a@b.ru;;;;;;Встреча; место; время",
        "12;1;Box",
        "",
        "7;0;Дача;0",
        "7;0;Дача;0;;;;;;ignored",
        std::string("1;0;p\0hidden;addr;s;i;f;5;;subj", 31),
        "last;0;p;a;s;i;f;5;;x",
    };
    std::string image;
    for (const std::string& line : file) {
        image += line + "\r\n";
    }
    std::vector<MailEntry> entries(file.size() + 1);
    ASSERT_EQ(file.size(), readMailEntries(&image[0], image.size(), entries.data(), entries.size()));
    for (size_t i = 0; i < file.size(); i++) {
        SCOPED_TRACE(i);
        MailRecord r = parse(file[i]);
        const MailEntry& e = entries[i];
        EXPECT_STREQ(r.number, e.number);
        EXPECT_STREQ(r.pseudonym, e.pseudonym);
        EXPECT_STREQ(r.address, e.address);
        EXPECT_STREQ(r.size, e.size);
        EXPECT_STREQ(r.identity, e.identity);
        EXPECT_STREQ(r.sender, e.sender);
        EXPECT_STREQ(r.storedDate, e.storedDate);
        EXPECT_STREQ(r.subject, e.subject);
        EXPECT_EQ(r.deletion, e.deletion);
        EXPECT_EQ(r.attachment, e.attachment);
        EXPECT_EQ(isPlaceholderRecord(r), isPlaceholderRecord(e));
        char buffer[kMailLineCapacity];
        EXPECT_EQ(format(r), std::string(buffer, formatMailEntry(e, buffer)));
    }

    // An entry set by hand is cut to the widths on writing.
    MailEntry e = entries[0];
    e.subject = huge.c_str();
    char buffer[kMailLineCapacity];
    std::string saved(buffer, formatMailEntry(e, buffer));
    EXPECT_EQ(std::string(519, 'z') + "\r\n", saved.substr(saved.rfind(';') + 1));
}
