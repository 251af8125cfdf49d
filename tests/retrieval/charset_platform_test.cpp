// The program's own code page tables against the converters of the system,
// and the system's converter on the charsets the program has no table of.
#include "retrieval/charset.h"
#include "retrieval/charset_names.h"
#include "retrieval/encoded_word.h"
#include "retrieval/system_charsets.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::string utf8Of(uint32_t cp) {
    std::string s;
    if (cp < 0x80) {
        s += static_cast<char>(cp);
    } else if (cp < 0x800) {
        s += static_cast<char>(0xC0 | cp >> 6);
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        s += static_cast<char>(0xE0 | cp >> 12);
        s += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        s += static_cast<char>(0xF0 | cp >> 18);
        s += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        s += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return s;
}

// UTF-8 through UTF-16 to Windows-1251 by the system: composites checked,
// no best-fit replacements, "?" for what the code page lacks.
std::string systemUtf8ToAnsi(const std::string& utf8) {
    int wide = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::vector<wchar_t> w(wide + 1);
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), wide);
    const DWORD flags = WC_COMPOSITECHECK | WC_NO_BEST_FIT_CHARS;
    int n = WideCharToMultiByte(1251, flags, w.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string ansi(n, '\0');
    WideCharToMultiByte(1251, flags, w.data(), wide, &ansi[0], n, nullptr, nullptr);
    return ansi;
}

std::string ownUtf8ToAnsi(const std::string& utf8) {
    std::vector<char> ansi(utf8.size() + 1);
    size_t n = convertUtf8ToAnsi(utf8.data(), utf8.size(), ansi.data(), ansi.size());
    return std::string(ansi.data(), n);
}

uint32_t ansiCodePoint(unsigned char c) {
    char byte = static_cast<char>(c);
    wchar_t w = 0;
    MultiByteToWideChar(1251, 0, &byte, 1, &w, 1);
    return w;
}

std::string hex(const std::string& s) {
    std::string out;
    char h[4];
    for (unsigned char c : s) {
        snprintf(h, sizeof h, "%02X ", c);
        out += h;
    }
    return out;
}

} // namespace

TEST(CharsetAgainstSystem, EveryBasicCharacter) {
    int mismatches = 0;
    for (uint32_t cp = 1; cp <= 0xFFFF && mismatches < 10; cp++) {
        if (cp >= 0xD800 && cp <= 0xDFFF) {
            continue;
        }
        std::string text = utf8Of(cp);
        std::string own = ownUtf8ToAnsi(text);
        std::string system = systemUtf8ToAnsi(text);
        if (own != system) {
            ADD_FAILURE() << "U+" << std::hex << cp << ": own " << hex(own) << "system " << hex(system);
            mismatches++;
        }
    }
}

TEST(CharsetAgainstSystem, LettersWithCombiningMarks) {
    // Every character of the code page and the Latin letters, each followed
    // by every combining diacritical mark, and by two of them.
    std::vector<uint32_t> bases;
    for (int c = 0x20; c < 0x100; c++) {
        uint32_t cp = ansiCodePoint(static_cast<unsigned char>(c));
        if (cp != 0) {
            bases.push_back(cp);
        }
    }
    bases.push_back(0x0400); // Ѐ: decomposes too, but is not in the code page
    int mismatches = 0;
    for (uint32_t base : bases) {
        for (uint32_t mark = 0x0300; mark <= 0x036F && mismatches < 10; mark++) {
            std::string text = "x" + utf8Of(base) + utf8Of(mark) + utf8Of(0x0308) + "y";
            std::string own = ownUtf8ToAnsi(text);
            std::string system = systemUtf8ToAnsi(text);
            if (own != system) {
                ADD_FAILURE() << "U+" << std::hex << base << " U+" << mark << ": own " << hex(own) << "system "
                              << hex(system);
                mismatches++;
            }
        }
    }
}

TEST(CharsetAgainstSystem, CharactersBeyondTheBasicPlaneAndMixedText) {
    for (uint32_t cp : {0x10000u, 0x1F600u, 0x1F44Du, 0x20000u, 0xE0001u, 0x10FFFFu}) {
        std::string text = "a" + utf8Of(cp) + "b";
        EXPECT_EQ(systemUtf8ToAnsi(text), ownUtf8ToAnsi(text)) << std::hex << cp;
    }
    // "Re: Счёт № 17 — «Ромашка», an emoji, café, Ї, и + breve, ½ ‰ €" in UTF-8.
    std::string utf8 = "Re: \xD0\xA1\xD1\x87\xD1\x91\xD1\x82 \xE2\x84\x96 17 \xE2\x80\x94 "
                       "\xC2\xAB\xD0\xA0\xD0\xBE\xD0\xBC\xD0\xB0\xD1\x88\xD0\xBA\xD0\xB0\xC2\xBB \xF0\x9F\x98\x80 "
                       "caf\xC3\xA9 \xD0\x87\xD0\xB8\xCC\x86 \xC2\xBD \xE2\x80\xB0 \xE2\x82\xAC";
    EXPECT_EQ(systemUtf8ToAnsi(utf8), ownUtf8ToAnsi(utf8));
}

TEST(CharsetAgainstSystem, Koi8rTable) {
    for (int b = 1; b < 256; b++) {
        char byte = static_cast<char>(b);
        wchar_t w = 0;
        ASSERT_EQ(1, MultiByteToWideChar(20866, 0, &byte, 1, &w, 1));
        char ansi = 0;
        WideCharToMultiByte(1251, WC_NO_BEST_FIT_CHARS, &w, 1, &ansi, 1, nullptr, nullptr);
        EXPECT_EQ(static_cast<unsigned char>(ansi), koi8rToAnsi(static_cast<unsigned char>(b))) << std::hex << b;
    }
}

TEST(CharsetAgainstSystem, LetterTest) {
    for (int b = 1; b < 256; b++) {
        bool system = IsCharAlphaW(static_cast<wchar_t>(ansiCodePoint(static_cast<unsigned char>(b)))) != FALSE;
        EXPECT_EQ(system, isAnsiLetter(static_cast<unsigned char>(b))) << std::hex << b;
    }
}

namespace {

std::string systemToAnsi(const char* charset, const std::string& bytes) {
    unsigned codePage = codePageOfCharset(charset, strlen(charset));
    char ansi[256] = "<failed>";
    if (!systemCodePageConverter().toAnsi(codePage, bytes.data(), bytes.size(), ansi, sizeof ansi)) {
        return std::string("<") + charset + " " + std::to_string(codePage) + " failed>";
    }
    return ansi;
}

} // namespace

TEST(SystemCharsets, CyrillicAndEastAsianCharsetsBecomeWindows1251) {
    const struct {
        const char* charset;
        const char* bytes;
        const char* ansi;
    } cases[] = {
        {"koi8-u", "\xB7\xD6\xC1\xCB \xA6 \xA4\xCE\xCF\xD4, \xAD\xC1\xCE\xCF\xCB", "Їжак і єнот, ґанок"},
        {"iso-8859-5",
         "\xBF\xE0\xD8\xD2\xD5\xE2, \xDC\xD8\xE0 \xF0"
         "5",
         "Привет, мир №5"},
        {"ibm866", "\xF0\xAB\xAA\xA0 \xF7 \xF5", "Ёлка ў ї"},
        {"x-mac-cyrillic", "\xAB\xAC \x9F\xF9\xE8\xEA", "Ђђ Ящик"},
        {"iso-2022-jp", "\x1B$B'1'b'Z'S'V'd\x1B(B \x1B$BCf\x1B(B", "Привет ?"},
        {"shift_jis", "\x84P\x84\x82\x84y\x84r\x84u\x84\x84 \x92\x86", "Привет ?"},
        {"euc-jp", "\xA7\xB1\xA7\xE2\xA7\xDA\xA7\xD3\xA7\xD6\xA7\xE4 \xC3\xE6", "Привет ?"},
        {"gb2312", "\xA7\xB1\xA7\xE2\xA7\xDA\xA7\xD3\xA7\xD6\xA7\xE4 \xD6\xD0", "Привет ?"},
        {"euc-kr", "\xAC\xB1\xAC\xE2\xAC\xDA\xAC\xD3\xAC\xD6\xAC\xE4 \xF1\xE9", "Привет ?"},
        {"big5", "Big5 \xA4\xA4", "Big5 ?"},
        {"us-ascii", "plain", "plain"},
    };
    for (const auto& c : cases) {
        // Windows converts them all; Wine has no ISO-2022 converter, and
        // the decoder then leaves such words as they are.
        if (!IsValidCodePage(codePageOfCharset(c.charset, strlen(c.charset)))) {
            printf("The system cannot convert %s\n", c.charset);
            continue;
        }
        EXPECT_EQ(c.ansi, systemToAnsi(c.charset, c.bytes)) << c.charset;
    }
}

TEST(SystemCharsets, CutToTheRoomAndRefusedCodePages) {
    char small[5];
    ASSERT_TRUE(systemCodePageConverter().toAnsi(28595, "\xBF\xE0\xD8\xD2\xD5\xE2", 6, small, sizeof small));
    EXPECT_STREQ("Прив", small);
    char ansi[16] = "kept";
    EXPECT_FALSE(systemCodePageConverter().toAnsi(12345, "x", 1, ansi, sizeof ansi));
    EXPECT_STREQ("kept", ansi);
    ASSERT_TRUE(systemCodePageConverter().toAnsi(21866, "", 0, ansi, sizeof ansi));
    EXPECT_STREQ("", ansi);
}

TEST(SystemCharsets, EncodedWordsThroughTheSystem) {
    char buffer[kHeaderWorkCapacity] = "=?KOI8-U?Q?=B7=D6=C1=CB_=A6_=A4=CE=CF=D4?= =?iso-8859-5?B?v+DY0tXi?=";
    size_t consumed = decodeEncodedWord(buffer, sizeof buffer, &systemCodePageConverter());
    EXPECT_STREQ("Їжак і єнот", buffer);
    EXPECT_EQ(strlen("=?KOI8-U?Q?=B7=D6=C1=CB_=A6_=A4=CE=CF=D4?="), consumed);
    char second[kHeaderWorkCapacity] = "=?iso-8859-5?B?v+DY0tXi?=";
    decodeEncodedWord(second, sizeof second, &systemCodePageConverter());
    EXPECT_STREQ("Привет", second);
}
