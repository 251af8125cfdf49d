// The menu of the agent's tray icon.
#pragma once
#include <windows.h>

// The tray menu for the agent's present state (the caller destroys it).
HMENU buildTrayMenu();
