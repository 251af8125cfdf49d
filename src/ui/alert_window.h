// The notice window of class "AlertWin": a rounded, coloured banner that the
// settings dialog and the viewer show over themselves for short messages.
#pragma once
#include <windows.h>

extern const char kAlertWindowClass[]; // "AlertWin"

LRESULT CALLBACK alertWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Creates the hidden notice window over the middle of parent's client area
// and makes it gAgent.alertWindow.
HWND createAlertWindow(HWND parent);

// Shows text in gAgent.alertWindow (error colour when isError is 1) and paints
// it at once; the caller waits and then calls hideAlert.
void showAlert(const char* text, int isError);
void hideAlert();

// How long a short notice stays up. The Windows tests shorten gNoticePauseMs,
// which every notice waits; the program never changes it.
constexpr DWORD kNoticePauseMs = 2000;
extern DWORD gNoticePauseMs;

// A short notice: shows text, waits durationMs keeping the windows painted
// (input given meanwhile is dropped), then hides it.
void showNotice(const char* text, int isError, DWORD durationMs = gNoticePauseMs);

// A notice that stays up until object is signalled (or timeoutMs, INFINITE
// allowed, has passed), the windows painted meanwhile; true when object was
// signalled.
bool showNoticeUntil(const char* text, int isError, HANDLE object, DWORD timeoutMs);

// The background colour the notice is painted with (for the tests).
COLORREF alertBackground(const char* text, int isError, int pollMode);
