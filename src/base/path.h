// Paths of the program's folders and files as fixed character buffers.
#pragma once
#include <cstddef>

// A folder path (the Windows path limit).
constexpr size_t kPathCapacity = 260;
// A file path: a folder path and a file name of the program's own.
constexpr size_t kFilePathCapacity = kPathCapacity + 40;

// Joins folder (ending in a backslash) and name into path. A path that does
// not fit is never cut: path is left empty and the result is false.
bool joinPath(char* path, size_t capacity, const char* folder, const char* name);

// Appends name (a file name, or a folder name ending in a backslash) to
// folder, after a backslash unless folder already ends with one. A result that does not fit
// is never cut: folder stays as it was and the result is false.
bool appendPathItem(char* folder, size_t capacity, const char* name);
