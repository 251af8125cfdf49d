// The user settings of Korvel.ini as the agent holds them, with their
// defaults and the limits applied when they are read.
#pragma once
#include <cstddef>

// The program's own version number; an update is offered only above it.
constexpr int kProgramVersion = 10;

constexpr size_t kServerUrlCapacity = 260;

// A SHA-256 digest as hexadecimal text, with its terminating NUL.
constexpr size_t kSha256HexLength = 64;
constexpr size_t kSha256HexCapacity = kSha256HexLength + 1;

// Compiled-in servers; the keys "UpdateServer" and "MessageServer" of section
// "Korvel" replace them (tests and the demo point them at loopback servers).
constexpr const char* kDefaultUpdateServer = "https://update.lumetra.ru/agent/";
constexpr const char* kDefaultMessageServer = "https://mess.lumetra.ru/";

struct SettingsValues {
    int interval = 15;                         // poll interval, minutes
    int kolBlink = 10;                         // blink cycles after mail arrived
    int blink = 0;                             // 1: blink the tray icon when mail arrived
    int winStyle = 0;                          // viewer style: 1 detailed, 0 compact
    int newVersion = kProgramVersion;          // highest version announced
    int versionSize = 0;                       // announced update size in bytes, 0 = unknown
    char versionHash[kSha256HexCapacity] = {}; // announced SHA-256 of the update file, lower-case hex, or empty
    char updateServer[kServerUrlCapacity] = {};
    char messageServer[kServerUrlCapacity] = {};
};

// Ranges offered by the options page.
constexpr int kMinInterval = 1;
constexpr int kMaxInterval = 120;
constexpr int kMinKolBlink = 10;
constexpr int kMaxKolBlink = 99;
// The agent records an update size only above this many bytes.
constexpr int kMinVersionSize = 100000;
// The largest updater the agent takes: a version file announcing more is
// invalid, and no download grows beyond it.
constexpr int kMaxUpdateSize = 64 * 1024 * 1024;
// The highest version number a version file may announce (the largest part
// of a Windows version resource); a larger number is no real version.
constexpr int kMaxAnnouncedVersion = 65535;

// The integer of a profile value: an optional sign and decimal digits after
// blanks, like atoi, but with fallback when the text holds no number, and
// held within the range of int. Negative values are kept (a viewer window may
// stand on a monitor left of the main one).
int parseProfileInt(const char* text, int fallback);

// Brings values read from the file into the ranges the agent can work with.
void normaliseSettings(SettingsValues& values);

// Copies text into out (kSha256HexCapacity bytes) in lower case when it is
// exactly 64 hexadecimal digits; otherwise out becomes empty and the result
// is false.
bool normaliseSha256Hex(const char* text, size_t length, char* out);

// Turns a configured server address into a base URL ending in "/"; an empty
// or unusable text gives the fallback.
void normaliseServerUrl(char* url, size_t capacity, const char* fallback);

struct ViewerRect {
    int left = 250;
    int top = 250;
    int right = 750;
    int bottom = 550;
};
