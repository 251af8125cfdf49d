#include "retrieval/charset.h"
#include "retrieval/charset_names.h"
#include "retrieval/encoded_word.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct Decoded {
    std::string text;
    size_t consumed;
};

// Stands for the system's converter: hands back the code page it was asked
// for and the bytes, as "21866:bytes"; code page 1252 fails, as one Windows
// does not have would.
class TaggingConverter : public CodePageConverter {
public:
    bool toAnsi(unsigned codePage, const char* text, size_t length, char* ansi, size_t capacity) const override {
        calls++;
        if (codePage == 1252) {
            return false;
        }
        std::string tagged = std::to_string(codePage) + ":" + std::string(text, length);
        snprintf(ansi, capacity, "%s", tagged.c_str());
        return true;
    }
    mutable int calls = 0;
};

Decoded decode(const std::string& entry, const CodePageConverter* converter = nullptr) {
    char buffer[kHeaderWorkCapacity];
    strncpy(buffer, entry.c_str(), sizeof buffer - 1);
    buffer[sizeof buffer - 1] = '\0';
    size_t consumed = decodeEncodedWord(buffer, sizeof buffer, converter);
    return {buffer, consumed};
}

std::string utf8(const std::string& text) {
    std::unique_ptr<char[]> ansi = utf8ToAnsi(text.c_str());
    return ansi ? std::string(ansi.get()) : std::string("<null>");
}

} // namespace

TEST(EncodedWord, KoiWordsInBothEncodings) {
    // E1 C2 D7 in KOI8-R are "Абв".
    EXPECT_EQ("Абв", decode("=?koi8-r?B?4cLX?=").text);
    EXPECT_EQ("Привет", decode("=?KOI8-R?Q?=F0=D2=C9=D7=C5=D4?=").text);
    EXPECT_EQ("Привет", decode("=?Koi8-R?b?8NLJ18XU?=").text);
    // ё, Ё and the few signs Windows-1251 shares with KOI8-R are converted too;
    // box-drawing characters it lacks become "?".
    EXPECT_EQ("ёЁ\xA0\xA9?", decode("=?koi8-r?q?=A3=B3=9A=BF=80?=").text);
}

TEST(EncodedWord, WindowsWordsKeepTheirBytes) {
    EXPECT_EQ("Привет мир", decode("=?windows-1251?Q?=CF=F0=E8=E2=E5=F2_=EC=E8=F0?=").text);
    EXPECT_EQ("Привет мир", decode("=?WINDOWS-1251?B?z/Do4uXyIOzo8A==?=").text);
}

TEST(EncodedWord, Utf8WordsBecomeWindows1251) {
    EXPECT_EQ("Привет", decode("=?utf-8?B?0J/RgNC40LLQtdGC?=").text);
    EXPECT_EQ("Привет", decode("=?UTF-8?Q?=D0=9F=D1=80=D0=B8=D0=B2=D0=B5=D1=82?=").text);
    // "Счёт №5 — оплата" with ё, № and the em dash, all in Windows-1251.
    EXPECT_EQ("Счёт №5 — оплата", decode("=?utf-8?b?0KHRh9GR0YIg4oSWNSDigJQg0L7Qv9C70LDRgtCw?=").text);
}

TEST(EncodedWord, OnlyTheFirstWordAndWhatItConsumed) {
    std::string two = "=?koi8-r?B?4cLX?= =?koi8-r?B?4cLX?= tail";
    Decoded d = decode(two);
    EXPECT_EQ("Абв", d.text);
    EXPECT_EQ(strlen("=?koi8-r?B?4cLX?="), d.consumed);
    // A Q word without "?=" runs to the end of the text.
    d = decode("=?windows-1251?q?=CF=F0=E8");
    EXPECT_EQ("При", d.text);
    EXPECT_EQ(strlen("=?windows-1251?q?=CF=F0=E8"), d.consumed);
}

TEST(EncodedWord, UnknownWordsStayAsTheyAre) {
    TaggingConverter converter;
    for (const char* entry :
         {"=?x-unknown?B?v9DY0tXi?=", "=?utf-9?q?=F0?=", "=?cp?Q?=CF?= x", "=?windows-12x1?b?0J8=?=", "plain text",
          "=?utf-8?x?abc?=", "=??B?0J8=?=", "=?utf 8?B?0J8=?=", "=?koi8-u?Qx?=F0?="}) {
        Decoded d = decode(entry, &converter);
        EXPECT_EQ(entry, d.text);
        EXPECT_EQ(strlen(entry), d.consumed) << entry;
    }
    // A charset name too long to be one.
    std::string longName = "=?" + std::string(200, 'a') + "?B?0J8=?=";
    EXPECT_EQ(longName, decode(longName, &converter).text);
    EXPECT_EQ(0, converter.calls);
    // A B word without its "?=" is left alone as well.
    EXPECT_EQ("=?utf-8?B?0J/RgNC4", decode("=?utf-8?B?0J/RgNC4").text);
}

TEST(EncodedWord, OtherNamesOfTheOwnCharsets) {
    TaggingConverter converter;
    EXPECT_EQ("Привет мир", decode("=?cp1251?Q?=CF=F0=E8=E2=E5=F2_=EC=E8=F0?=", &converter).text);
    EXPECT_EQ("Привет", decode("=?UTF8?B?0J/RgNC40LLQtdGC?=", &converter).text);
    EXPECT_EQ("Привет", decode("=?koi8r?Q?=F0=D2=C9=D7=C5=D4?=", &converter).text);
    EXPECT_EQ("Абв", decode("=?X-CP1251?b?wOHi?=", &converter).text);
    // A language after the charset name.
    std::string word = "=?utf-8*ru?B?0J/RgNC4?=";
    Decoded d = decode(word + " =?utf-8?B?0J/RgNC4?=", &converter);
    EXPECT_EQ("При", d.text);
    EXPECT_EQ(word.size(), d.consumed);
    // The program's own tables, never the system's.
    EXPECT_EQ(0, converter.calls);
}

TEST(EncodedWord, OtherCharsetsGoThroughTheConverter) {
    TaggingConverter converter;
    // KOI8-U "Їжак" in B, ISO-8859-5 "Привет" in Q: the converter gets the
    // decoded bytes and the code page; what it returns is the text.
    Decoded d = decode("=?KOI8-U?B?t9bByw==?= rest", &converter);
    EXPECT_EQ("21866:\xB7\xD6\xC1\xCB", d.text);
    EXPECT_EQ(strlen("=?KOI8-U?B?t9bByw==?="), d.consumed);
    EXPECT_EQ("28595:\xBF\xE0\xD8\xD2\xD5\xE2 !", decode("=?iso-8859-5?q?=BF=E0=D8=D2=D5=E2_!?=", &converter).text);
    EXPECT_EQ("50220:\x1B$B", decode("=?ISO-2022-JP?B?GyRC?=", &converter).text);

    const struct {
        const char* name;
        unsigned codePage;
    } names[] = {{"ibm866", 866},       {"CP866", 866},      {"x-mac-cyrillic", 10007}, {"gb2312", 936},
                 {"big5", 950},         {"shift_jis", 932},  {"euc-jp", 20932},         {"euc-kr", 949},
                 {"iso-8859-1", 28591}, {"us-ascii", 20127}, {"windows-1250", 1250},    {"koi8-u", 21866},
                 {"ISO_8859-5", 28595}, {"utf-7", 65000},    {"iso-8859-15", 28605},    {"gb18030", 54936}};
    for (const auto& n : names) {
        EXPECT_EQ(std::to_string(n.codePage) + ":x", decode(std::string("=?") + n.name + "?Q?x?=", &converter).text)
            << n.name;
    }
}

TEST(EncodedWord, WordsTheConverterCannotTakeStayAsTheyAre) {
    // The converter fails (a code page the system lacks), or there is none.
    TaggingConverter converter;
    for (const char* entry : {"=?windows-1252?B?Y2Fm6Q==?= tail", "=?cp1252?Q?caf=E9?= tail"}) {
        Decoded d = decode(entry, &converter);
        EXPECT_EQ(entry, d.text);
        EXPECT_EQ(strlen(entry), d.consumed);
    }
    EXPECT_EQ(2, converter.calls);
    std::string koi8u = "=?koi8-u?B?t9bByw==?= tail";
    EXPECT_EQ(koi8u, decode(koi8u).text);
}

TEST(EncodedWord, QuotedPrintableDetails) {
    // Lower-case hexadecimal digits are read as digits, not as zero.
    EXPECT_EQ("абв", decode("=?windows-1251?Q?=e0=e1=e2?=").text);
    // Any other sign counts as 0; a decoded zero byte ends the text.
    EXPECT_EQ("\x01\x10", decode("=?windows-1251?Q?=G1=1x?=").text);
    EXPECT_EQ("ab", decode("=?windows-1251?Q?ab=00cd?=").text);
    // "_" is a blank; an "=" without two signs after it stays.
    EXPECT_EQ("a b=", decode("=?windows-1251?Q?a_b=").text);
    // Line breaks decoded from a word stay in the text (the record writer
    // blanks them).
    EXPECT_EQ("a\r\nb", decode("=?utf-8?Q?a=0D=0Ab?=").text);
}

TEST(EncodedWord, Base64Details) {
    // Line breaks, blanks and fill signs inside the data are skipped.
    EXPECT_EQ("Привет", decode("=?utf-8?B?0J/RgNC4\r\n 0LLQ=tdGC?=").text);
    // An empty word decodes to nothing; so does one whose data begins with
    // "=", where the prefix's own "?" starts the first "?=".
    EXPECT_EQ("", decode("=?utf-8?B?"
                         "?=")
                      .text);
    EXPECT_EQ("", decode("=?utf-8?B?=?= rest").text);
}

TEST(EncodedWord, TextIsCutAtTheBuffer) {
    // A word longer than the buffer is decoded as far as it was copied.
    std::string entry = "=?windows-1251?Q?" + std::string(3000, 'x') + "?=";
    Decoded d = decode(entry);
    EXPECT_EQ(std::string(kHeaderWorkCapacity - 1 - strlen("=?windows-1251?Q?"), 'x'), d.text);

    char small[12] = "=?utf-8?Q?a";
    decodeEncodedWord(small, sizeof small, nullptr);
    EXPECT_STREQ("a", small);
}

TEST(Base64, GroupsCapacityAndCount) {
    unsigned char out[8];
    size_t n = sizeof out;
    ASSERT_TRUE(decodeBase64("TWFu", 4, out, &n));
    EXPECT_EQ(3u, n);
    EXPECT_EQ(0, memcmp(out, "Man", 3));
    // A last group of three or two symbols gives two or one byte, one symbol none.
    n = sizeof out;
    ASSERT_TRUE(decodeBase64("TWFuTWE", 7, out, &n));
    EXPECT_EQ(5u, n);
    n = sizeof out;
    ASSERT_TRUE(decodeBase64("TW==", 4, out, &n));
    EXPECT_EQ(1u, n);
    EXPECT_EQ('M', out[0]);
    n = sizeof out;
    ASSERT_TRUE(decodeBase64("T", 1, out, &n));
    EXPECT_EQ(0u, n);

    // Too little room: only what fits is written, the full count comes back.
    unsigned char room[4] = {0, 0, 0, 0x55};
    n = 3;
    EXPECT_FALSE(decodeBase64("TWFuTWFu", 8, room, &n));
    EXPECT_EQ(6u, n);
    EXPECT_EQ(0, memcmp(room, "Man", 3));
    EXPECT_EQ(0x55, room[3]);

    n = sizeof out;
    EXPECT_FALSE(decodeBase64(nullptr, 4, out, &n));
}

TEST(Utf8ToAnsi, CharactersOfTheCodePage) {
    EXPECT_EQ("Hello, Мир! «ёЁ» № € ™", utf8("Hello, \xD0\x9C\xD0\xB8\xD1\x80! \xC2\xAB\xD1\x91\xD0\x81\xC2\xBB "
                                             "\xE2\x84\x96 \xE2\x82\xAC \xE2\x84\xA2"));
    EXPECT_EQ("", utf8(""));
}

TEST(Utf8ToAnsi, CompositesFoldWhereTheCodePageHasTheLetter) {
    // е + diaeresis, И + breve, у + breve, г + acute: ё, Й, ў, ѓ.
    EXPECT_EQ("ёЙўѓ", utf8("\xD0\xB5\xCC\x88\xD0\x98\xCC\x86\xD1\x83\xCC\x86\xD0\xB3\xCC\x81"));
    // e + acute has no letter in the code page: the accent alone becomes "?".
    EXPECT_EQ("e?", utf8("e\xCC\x81"));
    EXPECT_EQ("ё?", utf8("\xD0\xB5\xCC\x88\xCC\x81"));
}

TEST(Utf8ToAnsi, EverythingElseBecomesQuestionMarks) {
    EXPECT_EQ("caf?", utf8("caf\xC3\xA9"));
    EXPECT_EQ("?", utf8("\xE4\xB8\xAD")); // a CJK character
    EXPECT_EQ("a??b", utf8("a\xF0\x9F\x98\x80"
                           "b")); // an emoji: two UTF-16 units
    // Invalid sequences: one "?" per maximal invalid part.
    EXPECT_EQ("a?b", utf8("a\xC3"
                          "b"));
    EXPECT_EQ("???", utf8("\xE0\x80\x80"));      // overlong
    EXPECT_EQ("???", utf8("\xED\xA0\x80"));      // a surrogate
    EXPECT_EQ("?", utf8("\xF0\x9F\x98"));        // cut short
    EXPECT_EQ("????", utf8("\xF4\x90\x80\x80")); // above U+10FFFF
    EXPECT_EQ("??", utf8("\xC0\xAF"));
}

TEST(Charset, LetterSetOfWindows1251) {
    EXPECT_TRUE(isAnsiLetter('a'));
    EXPECT_TRUE(isAnsiLetter('Z'));
    EXPECT_TRUE(isAnsiLetter(static_cast<unsigned char>('Ж')));
    EXPECT_TRUE(isAnsiLetter(static_cast<unsigned char>('ё')));
    EXPECT_TRUE(isAnsiLetter(static_cast<unsigned char>('Ї')));
    EXPECT_FALSE(isAnsiLetter('1'));
    EXPECT_FALSE(isAnsiLetter(','));
    EXPECT_FALSE(isAnsiLetter(static_cast<unsigned char>('№')));
    EXPECT_FALSE(isAnsiLetter(static_cast<unsigned char>('«')));
}
