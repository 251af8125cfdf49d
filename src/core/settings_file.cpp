#include "core/settings_file.h"
#include "base/file_names.h"

#include "core/agent_state.h"
#include "core/service_paths.h"
#include "base/text.h"
#include "core/program_names.h"

#include <windows.h>

#include <cstring>

namespace {

constexpr char kSection[] = "Korvel";

struct IniPath {
    ServicePath file{kSettingsFile};
    const char* path = file.text;
};

// The profile's integer function cannot give negative numbers on every
// system; the text is read and converted here instead.
int readInt(const IniPath& ini, const char* section, const char* key, int fallback) {
    char text[32];
    profileString(section, key, "", text, sizeof text, ini.path);
    return parseProfileInt(text, fallback);
}

void writeInt(const IniPath& ini, const char* section, const char* key, int value) {
    char text[16];
    formatText(text, sizeof text, "%d", value);
    writeProfileString(section, key, text, ini.path);
}

// The profile functions cache the file; this writes it out.
void flush(const IniPath& ini) {
    writeProfileString(nullptr, nullptr, nullptr, ini.path);
}

void readServer(const IniPath& ini, const char* key, const char* fallback, char* out, size_t capacity) {
    profileString(kSection, key, "", out, static_cast<DWORD>(capacity), ini.path);
    normaliseServerUrl(out, capacity, fallback);
}

} // namespace

void readSettings() {
    IniPath ini;
    SettingsValues defaults;
    SettingsValues& v = gAgent.settings;
    v.blink = readInt(ini, kSection, "Blink", defaults.blink);
    v.interval = readInt(ini, kSection, "Interval", defaults.interval);
    v.kolBlink = readInt(ini, kSection, "KolBlink", defaults.kolBlink);
    v.winStyle = readInt(ini, kSection, "WinStyle", defaults.winStyle);
    v.newVersion = readInt(ini, kSection, "NewVersion", defaults.newVersion);
    v.versionSize = readInt(ini, kSection, "VersionSize", defaults.versionSize);
    char hash[kSha256HexCapacity + 1];
    profileString(kSection, "VersionHash", "", hash, sizeof hash, ini.path);
    normaliseSha256Hex(hash, strlen(hash), v.versionHash);
    normaliseSettings(v);
    readServer(ini, "UpdateServer", kDefaultUpdateServer, v.updateServer, sizeof v.updateServer);
    readServer(ini, "MessageServer", kDefaultMessageServer, v.messageServer, sizeof v.messageServer);
}

void saveUserSettings() {
    IniPath ini;
    writeInt(ini, kSection, "Blink", gAgent.settings.blink);
    writeInt(ini, kSection, "KolBlink", gAgent.settings.kolBlink);
    writeInt(ini, kSection, "Interval", gAgent.settings.interval);
    flush(ini);
}

void saveViewerRect(const ViewerRect& rect, int viewStyle, const char* section) {
    // The next viewer opens in the style written here, at this section's size.
    gAgent.settings.winStyle = viewStyle;
    IniPath ini;
    writeInt(ini, kSection, "WinStyle", viewStyle);
    writeInt(ini, section, "Left", rect.left);
    writeInt(ini, section, "Top", rect.top);
    writeInt(ini, section, "Right", rect.right);
    writeInt(ini, section, "Bottom", rect.bottom);
    flush(ini);
}

ViewerRect readViewerRect(const char* section) {
    IniPath ini;
    ViewerRect r;
    r.left = readInt(ini, section, "Left", r.left);
    r.top = readInt(ini, section, "Top", r.top);
    r.right = readInt(ini, section, "Right", r.right);
    r.bottom = readInt(ini, section, "Bottom", r.bottom);
    return r;
}

// Per installation: a new installation's first start gives the hint again,
// and the uninstaller takes the mark away with the service folder.
constexpr char kFirstStartHintKey[] = "FirstStartHint";

bool firstStartHintGiven() {
    IniPath ini;
    return readInt(ini, kSection, kFirstStartHintKey, 0) != 0;
}

void recordFirstStartHint() {
    IniPath ini;
    writeInt(ini, kSection, kFirstStartHintKey, 1);
    flush(ini);
}

void saveAnnouncedVersion() {
    IniPath ini;
    writeInt(ini, kSection, "NewVersion", gAgent.settings.newVersion);
    writeInt(ini, kSection, "VersionSize", gAgent.settings.versionSize);
    // Only a version file with a hash leaves one in the file.
    writeProfileString(kSection, "VersionHash",
                       gAgent.settings.versionHash[0] != '\0' ? gAgent.settings.versionHash : nullptr, ini.path);
    flush(ini);
}
