// The download of the updater on a worker thread of its own. The update
// file is written to its file as it arrives (under a temporary name until it
// is complete and checked) and hashed on the way, so that no more than a
// read's worth of it is ever held in memory. The thread logs as it goes and
// posts its progress (WM_UPDATE_PROGRESS) and its end (WM_UPDATE_DONE) to a
// window of the user-interface thread; it never calls a window itself.
//
// One download at a time; every function here belongs to the user-interface
// thread.
#pragma once
#include <windows.h>

#include "base/path.h"
#include "core/settings_values.h"

constexpr size_t kUpdateUrlCapacity = kServerUrlCapacity + 32;

// What is fetched, where it goes, and what the version file announced.
struct UpdateRequest {
    char url[kUpdateUrlCapacity] = {};
    char target[kFilePathCapacity] = {}; // the module folder's "Velnor.exe"
    int announcedSize = 0;               // 0: none announced
    char hash[kSha256HexCapacity] = {};  // empty: none announced
};

// How a download ended. Every failure has already been logged.
enum class UpdateOutcome {
    Stored,     // complete and checked, in its place
    Cancelled,  // cancelUpdateDownload
    NoSession,  // no Internet session
    NoAnswer,   // no answer, or an error page instead of the file
    NoMemory,   // no memory for the download
    NotArrived, // too short, broken off, too long, or the thread did not start
    Mismatch,   // not of the announced size or hash
    NotCreated, // its file could not be created
    NotWritten, // its file could not be written
};

// Starts the download, whose messages go to notify: true when it runs (its
// end comes with WM_UPDATE_DONE), else false with the failure that kept it
// from starting.
bool startUpdateDownload(HWND notify, const UpdateRequest& request, UpdateOutcome& failure);

bool updateDownloadRunning();

// The bytes received so far and those expected (0 when nothing says how many
// will come), for WM_UPDATE_PROGRESS. Reading them allows the next progress
// message.
void updateDownloadProgress(unsigned long long& received, unsigned long long& expected);

// WM_UPDATE_DONE (wParam: the number of the download that ended): true with
// its outcome when it is the running download, which is then over. The end
// of a download cancelled before is no longer of interest.
bool takeUpdateDownloadEnd(WPARAM number, UpdateOutcome& outcome);

// Ends a running download at once (the button, the page's end, the agent's
// end) and logs it. A thread that a silent server still holds in a receive
// is left to end on its own: it stores nothing and removes its file.
void cancelUpdateDownload();
