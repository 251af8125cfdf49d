#include "retrieval/charset_names.h"

#include <cstring>

namespace {

struct CharsetName {
    const char* name; // lower case
    unsigned codePage;
};

// The names mailers use, with their usual aliases. Names of the form
// "windows-N", "cpN" and "ibmN" are read by number instead.
const CharsetName kCharsetNames[] = {
    {"utf-8", kCodePageUtf8},
    {"utf8", kCodePageUtf8},
    {"unicode-1-1-utf-8", kCodePageUtf8},
    {"utf-7", 65000},
    {"x-cp1251", kCodePageWindows1251},
    {"win-1251", kCodePageWindows1251},
    {"koi8-r", kCodePageKoi8r},
    {"koi8r", kCodePageKoi8r},
    {"koi8", kCodePageKoi8r},
    {"cskoi8r", kCodePageKoi8r},
    {"koi8-u", 21866},
    {"koi8u", 21866},
    {"koi8-ru", 21866},
    {"iso-8859-5", 28595},
    {"iso8859-5", 28595},
    {"iso_8859-5", 28595},
    {"iso-ir-144", 28595},
    {"cyrillic", 28595},
    {"csisolatincyrillic", 28595},
    {"csibm866", 866},
    {"866", 866},
    {"x-mac-cyrillic", 10007},
    {"mac-cyrillic", 10007},
    {"maccyrillic", 10007},
    {"x-mac-ukrainian", 10017},
    {"us-ascii", 20127},
    {"ascii", 20127},
    {"iso-8859-1", 28591},
    {"iso8859-1", 28591},
    {"iso_8859-1", 28591},
    {"latin1", 28591},
    {"l1", 28591},
    {"iso-8859-2", 28592},
    {"latin2", 28592},
    {"iso-8859-3", 28593},
    {"iso-8859-4", 28594},
    {"iso-8859-6", 28596},
    {"iso-8859-7", 28597},
    {"iso-8859-8", 28598},
    {"iso-8859-8-i", 38598},
    {"iso-8859-9", 28599},
    {"iso-8859-13", 28603},
    {"iso-8859-15", 28605},
    {"latin-9", 28605},
    {"iso-2022-jp", 50220},
    {"csiso2022jp", 50221},
    {"iso-2022-kr", 50225},
    {"shift_jis", 932},
    {"shift-jis", 932},
    {"sjis", 932},
    {"x-sjis", 932},
    {"ms_kanji", 932},
    {"windows-31j", 932},
    {"euc-jp", 20932},
    {"x-euc-jp", 20932},
    {"gb2312", 936},
    {"gbk", 936},
    {"x-gbk", 936},
    {"euc-cn", 936},
    {"gb18030", 54936},
    {"big5", 950},
    {"x-x-big5", 950},
    {"euc-kr", 949},
    {"ks_c_5601-1987", 949},
    {"korean", 949},
    {"tis-620", 874},
};

// Forms that name a code page by its number.
const char* const kNumberedPrefixes[] = {"windows-", "x-cp", "cp", "ibm"};

bool sameIgnoringCase(const char* name, size_t length, const char* lower) {
    for (size_t i = 0; i < length; i++) {
        char c = name[i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (lower[i] == '\0' || c != lower[i]) {
            return false;
        }
    }
    return lower[length] == '\0';
}

// The number after a prefix, or 0 when the rest is not all digits.
unsigned numberedCodePage(const char* name, size_t length) {
    for (const char* prefix : kNumberedPrefixes) {
        size_t n = strlen(prefix);
        if (length <= n || length > n + 5 || !sameIgnoringCase(name, n, prefix)) {
            continue;
        }
        unsigned number = 0;
        for (size_t i = n; i < length; i++) {
            if (name[i] < '0' || name[i] > '9') {
                return 0;
            }
            number = number * 10 + static_cast<unsigned>(name[i] - '0');
        }
        return number;
    }
    return 0;
}

} // namespace

unsigned codePageOfCharset(const char* name, size_t length) {
    const char* language = static_cast<const char*>(memchr(name, '*', length));
    if (language != nullptr) {
        length = static_cast<size_t>(language - name);
    }
    for (const CharsetName& c : kCharsetNames) {
        if (sameIgnoringCase(name, length, c.name)) {
            return c.codePage;
        }
    }
    return numberedCodePage(name, length);
}
