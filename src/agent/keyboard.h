// The keyboard handler of the message loop: shortcuts of the settings dialog
// and the viewer, which have no accelerator tables of their own.
#pragma once
#include <windows.h>

// Returns 1 when the key was consumed (the message is then neither
// translated nor dispatched), 0 otherwise.
int handleKey(WPARAM key);
