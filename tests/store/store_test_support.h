// A scratch service folder with its own event log, for the tests of the mail
// and account files.
#pragma once
#include "core/agent_state.h"
#include "base/event_log.h"
#include "base/text.h"
#include "store/mail_lists.h"

#include "win_test_support.h"

#include <gtest/gtest.h>

#include <string>

class ServiceFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        copyText(gAgent.serviceFolder, sizeof gAgent.serviceFolder, dir.path().c_str());
        ASSERT_EQ(0u, openEventLog(logPath().c_str()));
    }
    void TearDown() override {
        closeEventLog("");
        releaseMailList(NewMailDim);
        releaseMailList(MailDim);
        gMailListFlags = MailListFlags();
    }

    std::string path(const std::string& name) const { return dir / name; }
    std::string logPath() const { return dir / "MAInLog.txt"; }
    std::string log() const { return readFile(logPath()); }
    bool logHas(const std::string& text) const { return log().find(text) != std::string::npos; }

    TempFolder dir;
};

// Holds a file open without sharing, as another program might.
class LockedFile {
public:
    explicit LockedFile(const std::string& path)
        : handle_(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {}
    ~LockedFile() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
        }
    }
    bool locked() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};
