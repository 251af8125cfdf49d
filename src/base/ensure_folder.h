#pragma once
#include <windows.h>

// Creates every level of a folder path up to its last backslash (a final
// component without a trailing backslash is not created). Returns 1 when all
// levels exist afterwards; otherwise shows a message box owned by owner and
// returns 0.
int ensureFolder(HWND owner, const char* path);
