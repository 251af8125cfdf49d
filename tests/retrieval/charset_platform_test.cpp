// The program's own code page tables against the converters of the system.
#include "retrieval/charset.h"

#include <windows.h>

#include <gtest/gtest.h>

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
