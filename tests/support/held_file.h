// Another program (a virus scanner) holding a file without sharing until the
// code under test has met it held once, then letting go of it.
#pragma once
#include "base/file_io.h"

#include <windows.h>

#include <string>

class MomentaryHold {
public:
    explicit MomentaryHold(const std::string& path)
        : file_(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)),
          met_(CreateEventA(nullptr, TRUE, FALSE, nullptr)), savedBudget_(gHeldFileRetryMs) {
        current_ = this;
        gHeldFileMet = [] { SetEvent(current_->met_); };
        // The release follows the event, so a long budget costs nothing and
        // no slow moment of the machine runs it out.
        gHeldFileRetryMs = 10000;
        thread_ = CreateThread(nullptr, 0, release, this, 0, nullptr);
    }
    ~MomentaryHold() {
        if (thread_ != nullptr) {
            WaitForSingleObject(thread_, INFINITE);
            CloseHandle(thread_);
        }
        gHeldFileMet = nullptr;
        gHeldFileRetryMs = savedBudget_;
        CloseHandle(met_);
    }
    MomentaryHold(const MomentaryHold&) = delete;
    MomentaryHold& operator=(const MomentaryHold&) = delete;

    bool held() const { return file_ != INVALID_HANDLE_VALUE && thread_ != nullptr; }
    // Whether the code under test met the file held.
    bool met() const { return WaitForSingleObject(met_, 0) == WAIT_OBJECT_0; }

private:
    static DWORD WINAPI release(void* param) {
        auto* hold = static_cast<MomentaryHold*>(param);
        WaitForSingleObject(hold->met_, 10000);
        CloseHandle(hold->file_);
        return 0;
    }

    static inline MomentaryHold* current_ = nullptr;
    HANDLE file_;
    HANDLE met_;
    DWORD savedBudget_;
    HANDLE thread_ = nullptr;
};
