// Korvel.ini in the service folder, read and written with the profile
// functions. A missing file or key gives the defaults.
#pragma once
#include "core/settings_values.h"

// Reads section "Korvel" into gAgent.settings (limits applied; a
// "VersionHash" that is not 64 hexadecimal digits is none).
void readSettings();

// Writes "Blink", "KolBlink" and "Interval" from gAgent.settings and flushes.
void saveUserSettings();

// Writes "WinStyle" and the viewer rectangle into section "WinPos" or
// "WinPosInv", then flushes. The style in memory follows, so that the next
// viewer opens in it.
void saveViewerRect(const ViewerRect& rect, int viewStyle, const char* section);

// Reads a viewer rectangle of section "WinPos" or "WinPosInv".
ViewerRect readViewerRect(const char* section);

// Whether the first start's hint about the tray icon was given; recorded
// once it was.
bool firstStartHintGiven();
void recordFirstStartHint();

// Writes "NewVersion" and "VersionSize" from gAgent.settings, then
// "VersionHash" when there is one (else the key goes), and flushes.
void saveAnnouncedVersion();
