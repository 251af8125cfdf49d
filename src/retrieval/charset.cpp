#include "retrieval/charset.h"

#include <cstdint>
#include <new>

namespace {

// Unicode code points of the Windows-1251 bytes 0x80 to 0xBF; 0xC0 to 0xFF are
// U+0410 to U+044F in order. 0x98 is unassigned in the code page; Windows maps
// it to U+0098 both ways.
const uint16_t kAnsiHighCodePoints[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, //
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, //
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, //
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, //
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, //
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, //
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, //
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, //
};

// KOI8-R bytes 0x80 to 0xFF in Windows-1251 ("?" where it has no such sign).
const unsigned char kKoi8rHigh[128] = {
    0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, //
    0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0xA0, 0x3F, 0xB0, 0x3F, 0xB7, 0x3F, //
    0x3F, 0x3F, 0x3F, 0xB8, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, //
    0x3F, 0x3F, 0x3F, 0xA8, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0xA9, //
    0xFE, 0xE0, 0xE1, 0xF6, 0xE4, 0xE5, 0xF4, 0xE3, 0xF5, 0xE8, 0xE9, 0xEA, 0xEB, 0xEC, 0xED, 0xEE, //
    0xEF, 0xFF, 0xF0, 0xF1, 0xF2, 0xF3, 0xE6, 0xE2, 0xFC, 0xFB, 0xE7, 0xF8, 0xFD, 0xF9, 0xF7, 0xFA, //
    0xDE, 0xC0, 0xC1, 0xD6, 0xC4, 0xC5, 0xD4, 0xC3, 0xD5, 0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, //
    0xCF, 0xDF, 0xD0, 0xD1, 0xD2, 0xD3, 0xC6, 0xC2, 0xDC, 0xDB, 0xC7, 0xD8, 0xDD, 0xD9, 0xD7, 0xDA, //
};

// Letters of Windows-1251 between 0x80 and 0xBF, as bits (bit n of word k is
// byte 0x80 + 32k + n).
const uint32_t kAnsiHighLetters[2] = {
    // 0x80 Ђ 0x81 Ѓ 0x83 ѓ 0x8A Љ 0x8C Њ 0x8D Ќ 0x8E Ћ 0x8F Џ
    // 0x90 ђ 0x9A љ 0x9C њ 0x9D ќ 0x9E ћ 0x9F џ
    0xF401F40Bu,
    // 0xA1 Ў 0xA2 ў 0xA3 Ј 0xA5 Ґ 0xA8 Ё 0xAA Є 0xAF Ї 0xB2 І 0xB3 і
    // 0xB4 ґ 0xB5 µ 0xB8 ё 0xBA є 0xBC ј 0xBD Ѕ 0xBE ѕ 0xBF ї
    0xF53C852Eu,
};

// Letters that Windows-1251 holds precomposed, as base letter and combining
// accent (their canonical decompositions).
struct Composite {
    uint16_t base;
    uint16_t accent;
    unsigned char ansi;
};
const Composite kComposites[] = {
    {0x0415, 0x0308, 0xA8}, // Ё
    {0x0435, 0x0308, 0xB8}, // ё
    {0x0413, 0x0301, 0x81}, // Ѓ
    {0x0433, 0x0301, 0x83}, // ѓ
    {0x0406, 0x0308, 0xAF}, // Ї
    {0x0456, 0x0308, 0xBF}, // ї
    {0x041A, 0x0301, 0x8D}, // Ќ
    {0x043A, 0x0301, 0x9D}, // ќ
    {0x0423, 0x0306, 0xA1}, // Ў
    {0x0443, 0x0306, 0xA2}, // ў
    {0x0418, 0x0306, 0xC9}, // Й
    {0x0438, 0x0306, 0xE9}, // й
};

// The Windows-1251 byte of a code point, or 0 when the code page lacks it.
unsigned char ansiFromCodePoint(uint32_t cp) {
    if (cp < 0x80) {
        return static_cast<unsigned char>(cp);
    }
    if (cp >= 0x0410 && cp <= 0x044F) {
        return static_cast<unsigned char>(cp - 0x0410 + 0xC0);
    }
    for (int i = 0; i < 64; i++) {
        if (kAnsiHighCodePoints[i] == cp) {
            return static_cast<unsigned char>(0x80 + i);
        }
    }
    return 0;
}

unsigned char compose(uint32_t base, uint32_t accent) {
    for (const Composite& c : kComposites) {
        if (c.base == base && c.accent == accent) {
            return c.ansi;
        }
    }
    return 0;
}

// One decoded UTF-8 sequence: its code point and length, or an invalid part
// (valid == false) of length bytes, the longest prefix that could have begun
// a valid sequence.
struct Utf8Char {
    uint32_t codePoint;
    size_t length;
    bool valid;
};

Utf8Char readUtf8(const unsigned char* s, size_t available) {
    unsigned char lead = s[0];
    if (lead < 0x80) {
        return {lead, 1, true};
    }
    size_t need;
    uint32_t cp;
    unsigned char low = 0x80; // allowed range of the second byte
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2;
        cp = lead & 0x0F;
        if (lead == 0xE0) {
            low = 0xA0; // no overlong forms
        } else if (lead == 0xED) {
            high = 0x9F; // no surrogates
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3;
        cp = lead & 0x07;
        if (lead == 0xF0) {
            low = 0x90;
        } else if (lead == 0xF4) {
            high = 0x8F; // nothing above U+10FFFF
        }
    } else {
        return {0, 1, false};
    }
    for (size_t i = 1; i <= need; i++) {
        if (i >= available) {
            return {0, i, false};
        }
        unsigned char c = s[i];
        unsigned char lo = i == 1 ? low : 0x80;
        unsigned char hi = i == 1 ? high : 0xBF;
        if (c < lo || c > hi) {
            return {0, i, false};
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    return {cp, need + 1, true};
}

} // namespace

size_t convertUtf8ToAnsi(const char* utf8, size_t length, char* ansi, size_t capacity) {
    if (capacity == 0) {
        return 0;
    }
    const unsigned char* s = reinterpret_cast<const unsigned char*>(utf8);
    size_t in = 0;
    size_t out = 0;
    auto put = [&](unsigned char c) {
        if (out + 1 < capacity) {
            ansi[out++] = static_cast<char>(c);
        }
    };
    while (in < length) {
        Utf8Char c = readUtf8(s + in, length - in);
        in += c.length;
        if (!c.valid) {
            put('?');
            continue;
        }
        if (in < length) {
            Utf8Char next = readUtf8(s + in, length - in);
            unsigned char composed = next.valid ? compose(c.codePoint, next.codePoint) : 0;
            if (composed != 0) {
                in += next.length;
                put(composed);
                continue;
            }
        }
        unsigned char a = ansiFromCodePoint(c.codePoint);
        if (a != 0 || c.codePoint == 0) {
            put(a);
        } else {
            put('?');
            if (c.codePoint > 0xFFFF) {
                put('?'); // a surrogate pair in UTF-16
            }
        }
    }
    ansi[out] = '\0';
    return out;
}

std::unique_ptr<char[]> utf8ToAnsi(const char* utf8) {
    size_t length = 0;
    while (utf8[length] != '\0') {
        length++;
    }
    std::unique_ptr<char[]> ansi(new (std::nothrow) char[length + 1]);
    if (ansi) {
        convertUtf8ToAnsi(utf8, length, ansi.get(), length + 1);
    }
    return ansi;
}

unsigned char koi8rToAnsi(unsigned char c) {
    return c < 0x80 ? c : kKoi8rHigh[c - 0x80];
}

bool isAnsiLetter(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 0xC0) {
        return true;
    }
    if (c < 0x80) {
        return false;
    }
    unsigned bit = c - 0x80;
    return (kAnsiHighLetters[bit / 32] >> (bit % 32)) & 1u;
}
