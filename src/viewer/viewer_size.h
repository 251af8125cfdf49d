// The viewer's size when none is remembered: as large as its status labels
// and its columns' dates need at the display's scaling, within the work area.
#pragma once
#include <windows.h>

#include "core/settings_values.h"

struct Viewer;

// Whether a rectangle read from the settings is the built-in default, that
// is, no size was remembered (or the remembered one is that default).
bool isDefaultViewerRect(const ViewerRect& rect);

// The window rectangle a viewer with its status bar and list made takes by
// default: from the top left corner of current (a window rectangle), wide
// enough for every status label and every date of both views, at least the
// built-in size scaled to the display, and moved and cut to fit the work area
// of the viewer's monitor.
RECT defaultViewerRect(const Viewer& viewer, const RECT& current);
