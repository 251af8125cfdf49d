// The viewer's status bar: five parts, each with a borderless button of the
// "Кнопка" class laid over it, whose icons and labels the list's rebuild sets.
#pragma once
#include <windows.h>

struct Viewer;

// Creates the status bar at the bottom of the viewer's client area (client)
// with its five parts and buttons. False when the bar cannot be created.
bool createStatusBar(Viewer& viewer, const RECT& client);

// Moves the bar, its parts and the buttons to the client area's bottom.
void layoutStatusBar(Viewer& viewer, const RECT& client);

// The width the five parts need to show their icons and labels whole.
int statusBarNeededWidth(const Viewer& viewer);

// Sets every part's icon and label: the undo part from whether
// DeleteMail.txt is there, the size toggle's from the view style.
void labelStatusBar(const Viewer& viewer);

// Sets the undo button and its part (icon and label) on or off.
void setUndoAvailable(const Viewer& viewer, bool available);
