#include "core/settings_values.h"

#include "base/text.h"

#include <cstring>

int parseProfileInt(const char* text, int fallback) {
    int value = 0;
    return parseLeadingInt(text, value) ? value : fallback;
}

void normaliseSettings(SettingsValues& v) {
    // A poll interval of zero or less would make the timer fire without pause;
    // such a value cannot come from the options page, so it counts as damage
    // and gives the default. Longer intervals than offered keep the longest.
    if (v.interval < kMinInterval) {
        v.interval = SettingsValues().interval;
    } else if (v.interval > kMaxInterval) {
        v.interval = kMaxInterval;
    }
    if (v.kolBlink < kMinKolBlink) {
        v.kolBlink = kMinKolBlink;
    } else if (v.kolBlink > kMaxKolBlink) {
        v.kolBlink = kMaxKolBlink;
    }
    v.blink = v.blink != 0 ? 1 : 0;
    v.winStyle = v.winStyle != 0 ? 1 : 0;
    // A version below the program's own would announce the running version as
    // new at the next version check; one above any real version (written by
    // an older agent) would offer an update that does not exist.
    if (v.newVersion < kProgramVersion || v.newVersion > kMaxAnnouncedVersion) {
        v.newVersion = kProgramVersion;
    }
    // The agent writes either 0 or a size above the minimum and within the
    // updater's limit.
    if (v.versionSize <= kMinVersionSize || v.versionSize > kMaxUpdateSize) {
        v.versionSize = 0;
    }
}

// True when text begins with the scheme (any letter case) and has a host
// after it.
static bool startsWithScheme(const char* text, const char* prefix) {
    size_t n = matchPrefixIgnoringCase(text, prefix);
    return n != 0 && text[n] != '\0' && text[n] != '/';
}

bool normaliseSha256Hex(const char* text, size_t length, char* out) {
    out[0] = '\0';
    if (length != kSha256HexLength) {
        return false;
    }
    for (size_t i = 0; i < length; i++) {
        char c = text[i];
        if (c >= 'A' && c <= 'F') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            out[0] = '\0';
            return false;
        }
        out[i] = c;
    }
    out[length] = '\0';
    return true;
}

void normaliseServerUrl(char* url, size_t capacity, const char* fallback) {
    // Trim blanks around the text.
    size_t len = strnlen(url, capacity);
    size_t start = 0;
    while (start < len && (url[start] == ' ' || url[start] == '\t')) {
        start++;
    }
    while (len > start &&
           (url[len - 1] == ' ' || url[len - 1] == '\t' || url[len - 1] == '\r' || url[len - 1] == '\n')) {
        len--;
    }
    memmove(url, url + start, len - start);
    url[len - start] = '\0';

    bool usable = startsWithScheme(url, "http://") || startsWithScheme(url, "https://");
    if (usable && url[strlen(url) - 1] != '/') {
        size_t n = strlen(url);
        if (n + 2 <= capacity) {
            url[n] = '/';
            url[n + 1] = '\0';
        } else {
            usable = false;
        }
    }
    if (!usable) {
        copyText(url, capacity, fallback);
    }
}
