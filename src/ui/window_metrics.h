// What a window's sizes depend on: its resolution (dots per inch) and the
// width its font gives a text.
#pragma once
#include <windows.h>

#include "ui/dpi_scale.h"

// The window's DPI: GetDpiForWindow where the system has it, else the
// system's DPI. The program is system-DPI aware, so both give the DPI of the
// primary display as it was when the user signed in.
int windowDpi(HWND window);

// pixels at 96 DPI scaled to the window's DPI.
int scaleForWindow(HWND window, int pixels);

// Width in pixels of text drawn with font (the system font when null) in a
// device context of window.
int textWidth(HWND window, HFONT font, const char* text);

// The font a control draws its text with: the one it was given, else the
// system's font for status bars and message texts.
class ControlFont {
public:
    explicit ControlFont(HWND control);
    ~ControlFont();
    ControlFont(const ControlFont&) = delete;
    ControlFont& operator=(const ControlFont&) = delete;
    HFONT get() const { return font_; }

private:
    HFONT font_ = nullptr;
    HFONT made_ = nullptr;
};
