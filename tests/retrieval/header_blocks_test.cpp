#include "retrieval/charset_names.h"
#include "retrieval/header_blocks.h"

#include "time_zone.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A block as the POP3 session writes it, around header lines joined by CR LF.
std::string block(const std::string& headerLines, const std::string& alias = "Работа",
                  const std::string& ident = "id1") {
    return "Psevdo:" + alias + "\r\nMailAddr:petrov@example.ru\r\nMailSize:12.5 Кб\r\nMailIdent:" + ident + "\r\n" +
           headerLines + "\r\n\r\n.\r\n";
}

struct Records {
    std::vector<std::string> lines; // without their "\r\n"
    int unrecognisedDates = 0;
};

// Cuts a header file text into record lines numbered from 1.
Records process(const std::string& text, const CodePageConverter* converter = nullptr) {
    Records r;
    size_t position = 0;
    HeaderBlock b;
    RecordLine line;
    int number = 0;
    while (nextHeaderBlock(text.data(), text.size(), &position, &b)) {
        formatHeaderRecord(b, ++number, converter, &line);
        std::string s(line.text, line.length);
        EXPECT_EQ(s.size(), strlen(line.text));
        EXPECT_GE(s.size(), 2u);
        EXPECT_EQ("\r\n", s.substr(s.size() - 2)) << s;
        s.resize(s.size() - 2);
        EXPECT_EQ(std::string::npos, s.find_first_of(std::string("\r\n\0", 3))) << s;
        r.lines.push_back(s);
        r.unrecognisedDates += line.dateUnrecognised ? 1 : 0;
    }
    return r;
}

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> f;
    size_t start = 0;
    for (;;) {
        size_t semicolon = line.find(';', start);
        f.push_back(line.substr(start, semicolon - start));
        if (semicolon == std::string::npos) {
            return f;
        }
        start = semicolon + 1;
    }
}

// The fields of the only record of one block.
std::vector<std::string> recordOf(const std::string& headerLines, const CodePageConverter* converter = nullptr) {
    Records r = process(block(headerLines), converter);
    EXPECT_EQ(1u, r.lines.size());
    if (r.lines.empty()) {
        return std::vector<std::string>(10);
    }
    std::vector<std::string> f = fields(r.lines[0]);
    EXPECT_EQ(10u, f.size()) << r.lines[0];
    f.resize(10);
    return f;
}

// Converts the Cyrillic letters of ISO-8859-5 (code page 28595), as the
// system would; refuses every other code page.
class IsoCyrillicConverter : public CodePageConverter {
public:
    bool toAnsi(unsigned codePage, const char* text, size_t length, char* ansi, size_t capacity) const override {
        if (codePage != 28595) {
            return false;
        }
        size_t n = 0;
        for (; n < length && n + 1 < capacity; n++) {
            unsigned char c = static_cast<unsigned char>(text[n]);
            ansi[n] = static_cast<char>(c >= 0xB0 && c <= 0xEF ? c + 0x10 : c);
        }
        ansi[n] = '\0';
        return true;
    }
};

enum Field { Number, Mark, Pseudonym, Address, Size, Ident, Sender, Date, Attachment, Subject };

class HeaderBlocks : public ::testing::Test {
protected:
    void SetUp() override { setTimeZone("UTC0"); }
};

} // namespace

TEST_F(HeaderBlocks, RecordOfARealHeader) {
    std::string header = "Return-Path: <ivanov@mail.ru>\r\n"
                         "Received: from mx1.mail.ru (mx1.mail.ru [94.100.176.1])\r\n"
                         "\tby pop.example.ru with ESMTP id 4F2A1; Tue, 1 Dec 2009 10:20:31 +0300\r\n"
                         "From: =?koi8-r?B?6dfBziDp18HOz9c=?= <ivanov@mail.ru>\r\n"
                         "To: petrov@example.ru\r\n"
                         "Subject: =?windows-1251?B?z/Do4uXyIOzo8A==?=\r\n"
                         "Date: Tue, 1 Dec 2009 10:20:30 +0300\r\n"
                         "Message-ID: <4B14D3DE.5050301@mail.ru>\r\n"
                         "MIME-Version: 1.0\r\n"
                         "Content-Type: multipart/mixed;\r\n"
                         " boundary=\"------------000105030601020304050607\"";
    Records r = process(block(header, "Работа", "4B14D3DE.5050301@mail.ru"));
    ASSERT_EQ(1u, r.lines.size());
    EXPECT_EQ("1;0;Работа;petrov@example.ru;12.5 Кб;4B14D3DE.5050301@mail.ru;Иван Иванов;1259652030;+;"
              "Привет мир",
              r.lines[0]);
    EXPECT_EQ(0, r.unrecognisedDates);
}

TEST_F(HeaderBlocks, SenderForms) {
    // An encoded name before the address: only the decoded name is kept.
    EXPECT_EQ("Иван", recordOf("From: =?KOI8-R?Q?=E9=D7=C1=CE?= <ivanov@mail.ru>")[Sender]);
    EXPECT_EQ("Пётр", recordOf("From: \"=?utf-8?B?0J/RkdGC0YA=?=\" <petr@example.com>")[Sender]);
    // Plain senders are written unchanged, address and trailing blanks included.
    EXPECT_EQ("Ivan Petrov <ivan@example.com>  ", recordOf("From:\t Ivan Petrov <ivan@example.com>  ")[Sender]);
    EXPECT_EQ("Иван <ivan@example.com>", recordOf("from: Иван <ivan@example.com>")[Sender]);
    EXPECT_EQ("", recordOf("To: petrov@example.ru")[Sender]);
    // A charset without a converter is left as it is.
    EXPECT_EQ("=?iso-8859-5?B?uNLQvQ==?= <i@example.com>",
              recordOf("From: =?iso-8859-5?B?uNLQvQ==?= <i@example.com>")[Sender]);
}

TEST_F(HeaderBlocks, OtherCharsetsThroughTheHandedConverter) {
    IsoCyrillicConverter iso;
    EXPECT_EQ("Иван", recordOf("From: =?iso-8859-5?B?uNLQ3Q==?= <i@example.com>", &iso)[Sender]);
    EXPECT_EQ("ПриветПр", recordOf("Subject: Re: =?ISO-8859-5?B?v+DY0tXi?= =?iso-8859-5?Q?=BF=E0?=", &iso)[Subject]);
    // A word the converter refuses is kept with the rest of the line, once.
    EXPECT_EQ("Пр=?koi8-u?Q?=F0?= x", recordOf("Subject: =?iso-8859-5?Q?=BF=E0?= =?koi8-u?Q?=F0?= x", &iso)[Subject]);
}

TEST_F(HeaderBlocks, SubjectWords) {
    // Two words: joined without the blank between them.
    EXPECT_EQ("ПриветПривет", recordOf("Subject: =?koi8-r?B?8NLJ18XU?= =?utf-8?B?0J/RgNC40LLQtdGC?=")[Subject]);
    EXPECT_EQ("Привет", recordOf("subject: =?UTF-8?Q?=D0=9F=D1=80=D0=B8=D0=B2=D0=B5=D1=82?=")[Subject]);
    // Plain text around the words is not part of the subject.
    EXPECT_EQ("Привет", recordOf("Subject: Re: =?koi8-r?B?8NLJ18XU?= (1)")[Subject]);
    // A word whose data ends in "=" is followed by "=?=", which starts no word.
    EXPECT_EQ("Привет мир", recordOf("Subject: =?windows-1251?B?z/Do4uXyIOzo8A==?=")[Subject]);
    // Unknown words are kept once, with the rest of the line.
    EXPECT_EQ("=?iso-8859-5?Q?=BF?= =?iso-8859-5?Q?=C0?= x",
              recordOf("Subject: =?iso-8859-5?Q?=BF?= =?iso-8859-5?Q?=C0?= x")[Subject]);
    // 8-bit text outside words passes unchanged.
    EXPECT_EQ("Счёт \xF0\xD2\xC9", recordOf("Subject: Счёт \xF0\xD2\xC9")[Subject]);
    EXPECT_EQ("", recordOf("Subject:")[Subject]);
}

TEST_F(HeaderBlocks, FoldedSubjects) {
    EXPECT_EQ("ПриветПривет", recordOf("Subject: =?koi8-r?B?8NLJ18XU?=\r\n =?koi8-r?B?8NLJ18XU?=\r\n"
                                       " =?koi8-r?B?8NLJ18XU?=")[Subject]);
    // Without a word the second line is written as it is, blanks included;
    // only one line is taken.
    EXPECT_EQ("Отчёт за ноябрь\t и декабрь",
              recordOf("Subject: Отчёт за ноябрь\r\n\t и декабрь\r\n third line")[Subject]);
    EXPECT_EQ("Привет and more", recordOf("Subject: =?koi8-r?B?8NLJ18XU?=\r\n and more")[Subject]);
    // A next line with a colon is another header.
    EXPECT_EQ("Hello", recordOf("Subject: Hello\r\nTo: x@example.com")[Subject]);
    EXPECT_EQ("Hello", recordOf("Subject: Hello\r\n Re: again")[Subject]);
}

TEST_F(HeaderBlocks, DateField) {
    EXPECT_EQ("1259652030", recordOf("date: Tue, 1 Dec 2009 10:20:30 +0300 \t")[Date]);
    EXPECT_EQ("", recordOf("Subject: no date")[Date]);
    Records r = process(block("Date: someday soon"));
    ASSERT_EQ(1u, r.lines.size());
    EXPECT_EQ("0", fields(r.lines[0])[Date]);
    EXPECT_EQ(1, r.unrecognisedDates);
}

TEST_F(HeaderBlocks, AttachmentMark) {
    EXPECT_EQ("+", recordOf("Content-Type: multipart/mixed; boundary=\"b1\"")[Attachment]);
    EXPECT_EQ("+", recordOf("Content-Type: multipart/mixed; Boundary=\"b1\"")[Attachment]);
    EXPECT_EQ("", recordOf("Content-Type: multipart/mixed; boundary=b1")[Attachment]);
    EXPECT_EQ("", recordOf("Content-Type: text/plain; charset=koi8-r")[Attachment]);

    // Each mark comes from its own header only.
    Records r = process(block("Content-Type: multipart/mixed; Boundary=\"b1\"") + block("Content-Type: text/plain") +
                        block("Content-Type: multipart/mixed; boundary=\"b2\""));
    ASSERT_EQ(3u, r.lines.size());
    EXPECT_EQ("+", fields(r.lines[0])[Attachment]);
    EXPECT_EQ("", fields(r.lines[1])[Attachment]);
    EXPECT_EQ("+", fields(r.lines[2])[Attachment]);
}

TEST_F(HeaderBlocks, FieldsNeverComeFromAnotherMail) {
    // The first mail has no Subject, Date or From; the second has all three.
    Records r =
        process(block("To: a@example.com", "Почта", "") +
                block("From: b@example.com\r\nDate: 1 Dec 2009 10:20:30 GMT\r\nSubject: second", "Почта", "id2"));
    ASSERT_EQ(2u, r.lines.size());
    EXPECT_EQ("1;0;Почта;petrov@example.ru;12.5 Кб;;;;;", r.lines[0]);
    EXPECT_EQ("2;0;Почта;petrov@example.ru;12.5 Кб;id2;b@example.com;1259662830;;second", r.lines[1]);
}

TEST_F(HeaderBlocks, BlockBoundaries) {
    // A header cut before its empty line (the session closes it with the
    // terminator) gives empty header fields; the block after it is whole.
    std::string cut = "Psevdo:Работа\r\nMailAddr:a@b.ru\r\nMailSize:1.0 Кб\r\nMailIdent:cut\r\n"
                      "From: x@example.com\r\nSubject: cut off\r\n.\r\n";
    // A header line of a mail that reads like a block line starts no block.
    std::string fake = block("Subject: real\r\nPsevdo:fake\r\nMailAddr:x\r\nMailSize:1\r\nMailIdent:y\r\n"
                             "From: forged@example.com",
                             "Дом", "real");
    Records r = process(cut + fake + block("Subject: last", "Дом", "id3"));
    ASSERT_EQ(3u, r.lines.size());
    EXPECT_EQ("1;0;Работа;a@b.ru;1.0 Кб;cut;;;;", r.lines[0]);
    EXPECT_EQ("2;0;Дом;petrov@example.ru;12.5 Кб;real;forged@example.com;;;real", r.lines[1]);
    EXPECT_EQ("3;0;Дом;petrov@example.ru;12.5 Кб;id3;;;;last", r.lines[2]);
}

TEST_F(HeaderBlocks, DamagedFiles) {
    std::string whole = block("Subject: one");
    // A last block without its terminator still becomes a record.
    std::string unterminated = whole + "Psevdo:Дом\r\nMailAddr:a@b.ru\r\nMailSize:1\r\nMailIdent:x\r\n"
                                       "Subject: two\r\n\r\n";
    Records r = process(unterminated);
    ASSERT_EQ(2u, r.lines.size());
    EXPECT_EQ("2;0;Дом;a@b.ru;1;x;;;;two", r.lines[1]);
    // One whose pseudonym line breaks off is dropped.
    EXPECT_EQ(1u, process(whole + "Psevdo:Дом").lines.size());
    // Pieces that are no blocks are skipped; missing own lines give empty fields.
    r = process("garbage\r\n.\r\n" + whole + "Psevdo:Дом\r\nSubject: three\r\n\r\n.\r\n");
    ASSERT_EQ(2u, r.lines.size());
    EXPECT_EQ("2;0;Дом;;;;;;;three", r.lines[1]);
    EXPECT_TRUE(process("").lines.empty());
    EXPECT_TRUE(process("Subject: x\r\n\r\n.\r\n").lines.empty());
    // Zero bytes in the file neither end the text nor reach the record.
    std::string withZero = block(std::string("Subject: a\0b", 12)) + block("Subject: next");
    r = process(withZero);
    ASSERT_EQ(2u, r.lines.size());
    EXPECT_EQ("a b", fields(r.lines[0])[Subject]);
}

TEST_F(HeaderBlocks, ValuesThatWouldBreakTheLine) {
    // ";" would shift the fields, decoded line breaks would split the line.
    std::vector<std::string> f =
        recordOf("From: Smith; John <js@example.com>\r\nSubject: =?utf-8?Q?a;b=0D=0Ac?= ; d\r\n x;y");
    EXPECT_EQ("Smith, John <js@example.com>", f[Sender]);
    EXPECT_EQ("a,b  c x,y", f[Subject]);
    EXPECT_EQ("a, b", recordOf("Subject: =?windows-1251?Q?a;_b?=")[Subject]);
}

TEST_F(HeaderBlocks, LongLinesAreCutAtTheWorkBuffer) {
    std::string longPlain(5000, 'S');
    std::vector<std::string> f = recordOf("From: " + longPlain + "\r\nSubject: " + longPlain + "\r\n " + longPlain);
    EXPECT_EQ(std::string(2047, 'S'), f[Sender]);
    EXPECT_EQ(std::string(2047, 'S'), f[Subject]);

    // Encoded words on a long line: each is decoded from at most 2047 signs,
    // the whole subject holds at most 2047.
    std::string word = "=?windows-1251?Q?" + std::string(100, 'w') + "?= ";
    std::string line;
    while (line.size() < 6000) {
        line += word;
    }
    f = recordOf("Subject: " + line + "\r\nDate: " + std::string(3000, '1'));
    EXPECT_EQ(std::string(2047, 'w'), f[Subject]);
    EXPECT_EQ("0", f[Date]);
}
