// The download of the updater on a worker thread of its own. The update
// file is written to its file as it arrives (under a temporary name until it
// is complete and checked) and hashed on the way, so that no more than a
// read's worth of it is ever held in memory. The thread logs as it goes and
// posts its progress (WM_UPDATE_PROGRESS) and its end (WM_UPDATE_DONE) to a
// window of the user-interface thread; it never calls a window itself.
//
// Every function of UpdateDownload belongs to the user-interface thread.
#pragma once
#include <windows.h>

#include "base/path.h"
#include "base/win_handles.h"
#include "core/settings_values.h"

#include <memory>

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

class UpdateDownloadJob;
// Lets go of one reference to a job (the user-interface thread's or the
// download thread's); the last one deletes it.
struct UpdateDownloadJobRelease {
    void operator()(UpdateDownloadJob* job) const;
};

// The download that a window started and owns: at most one runs at a time,
// and it is cancelled when the owner goes.
class UpdateDownload {
public:
    UpdateDownload() = default;
    ~UpdateDownload() { cancel(); }
    UpdateDownload(const UpdateDownload&) = delete;
    UpdateDownload& operator=(const UpdateDownload&) = delete;

    // Starts the download, whose messages go to notify: true when it runs
    // (its end comes with WM_UPDATE_DONE), else false with the failure that
    // kept it from starting.
    bool start(HWND notify, const UpdateRequest& request, UpdateOutcome& failure);

    bool running() const { return job_ != nullptr; }

    // The bytes received so far and those expected (0 when nothing says how
    // many will come), for WM_UPDATE_PROGRESS. Reading them allows the next
    // progress message.
    void progress(unsigned long long& received, unsigned long long& expected);

    // WM_UPDATE_DONE (wParam: the number of the download that ended): true
    // with its outcome when it is the running download, which is then over.
    // The end of a download cancelled before is no longer of interest.
    bool takeEnd(WPARAM number, UpdateOutcome& outcome);

    // Ends a running download at once (the button, the page's end, the
    // agent's end) and logs it. A thread that a silent server still holds in
    // a receive is left to end on its own: it stores nothing and removes its
    // file.
    void cancel();

private:
    // Lets go of the running download, whose thread has ended or is left to
    // end on its own.
    UpdateOutcome letGo(DWORD waitMs);

    std::unique_ptr<UpdateDownloadJob, UpdateDownloadJobRelease> job_;
    UniqueHandle thread_;
    WPARAM lastNumber_ = 0; // tells a download's end from an earlier one's
};
