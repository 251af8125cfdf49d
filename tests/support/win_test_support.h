// Helpers for the tests that run under Wine: scratch folders, files, the
// program's own processes, message boxes and screenshots.
#pragma once
#include <windows.h>

#include "base/win_handles.h"

#include <functional>
#include <string>
#include <vector>

// A new empty folder under the temporary folder, removed with its contents
// when the object goes (unless KORVEL_KEEP_TEMP is set). path() ends with "\".
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

bool writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);
bool fileExists(const std::string& path);
// Waits until the file exists; true when it came in time.
bool waitForFile(const std::string& path, DWORD timeoutMs);
bool folderExists(const std::string& path);
void removeTree(const std::string& path);

// Splits text at "\r\n"; a last line without one is kept.
std::vector<std::string> splitLines(const std::string& text);

// How many places of text what begins at (a log line written n times: n).
size_t occurrences(const std::string& text, const std::string& what);

// The lines of a file written by a Unix program (ended by "\n").
std::vector<std::string> readUnixLines(const std::string& path);

// A folder named by an environment variable of the test session, as a
// Windows path ending with "\"; empty when the variable is not set.
std::string folderFromEnvironment(const char* name);

// The folder of the running test program, ending with "\".
std::string testProgramFolder();

// Korvel.exe as built beside the test programs.
std::string builtKorvelExe();

// Where tests leave pictures and other artefacts of the run.
std::string artifactsFolder();

// A started process of the program under test.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts exe with the given argument text (may be empty).
    bool start(const std::string& exe, const std::string& arguments = "");
    // Starts a whole command line as the system's list of programs does: the
    // program is the one the line names, quoted or not.
    bool startCommand(const std::string& commandLine);
    // Starts exe, named in UTF-16, without arguments in its own folder.
    bool startWide(const std::wstring& exe);
    // Waits for the end; returns true and the exit code when it ended in time.
    bool wait(DWORD timeoutMs, DWORD* exitCode = nullptr);
    bool running() const;
    void kill();
    DWORD id() const { return id_; }

private:
    ProcessInformation info_;
    DWORD id_ = 0;
};

// Waits until no process of that executable name ("Velnor.exe") runs any
// more; true when they had all ended in time.
bool waitForProcessesToEnd(const char* exeName, DWORD timeoutMs);

// The first visible top-level window of a process with the given class (and
// title, when not null), waiting up to timeoutMs for it.
HWND waitForWindow(DWORD processId, const char* className, const char* title, DWORD timeoutMs);

// A window of a process regardless of visibility, without waiting.
HWND findProcessWindow(DWORD processId, const char* className, const char* title);

struct MessageBoxInfo {
    HWND window = nullptr;
    std::string caption;
    std::string text;
};

// Waits for a message box (dialog class "#32770" with a static text) of the
// process; processId 0 means this process.
bool waitForMessageBox(DWORD processId, MessageBoxInfo& box, DWORD timeoutMs);

// Presses a button of a message box (IDOK, IDNO, ...).
void answerMessageBox(HWND box, int buttonId);

// Closes every message box this process shows while it exists and keeps
// what they said: for code under test that reports through message boxes.
class MessageBoxCloser {
public:
    MessageBoxCloser();
    ~MessageBoxCloser();
    MessageBoxCloser(const MessageBoxCloser&) = delete;
    MessageBoxCloser& operator=(const MessageBoxCloser&) = delete;

    std::vector<MessageBoxInfo> seen();

private:
    static DWORD WINAPI run(void* self);
    UniqueHandle stop_;
    UniqueHandle thread_;
    SRWLOCK lock_ = SRWLOCK_INIT;
    std::vector<MessageBoxInfo> seen_;
};

// Dispatches the messages of this thread for the given time.
void pumpMessages(DWORD milliseconds);

// Dispatches the messages already waiting for this thread, and those that
// handling them posts, until none is left.
void pumpPendingMessages();

// Dispatches this thread's messages one at a time until done() holds, which
// is asked after every message, and at least every few milliseconds for
// what other threads change; true when it held within timeoutMs.
bool pumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs);

// Parts of a row of a report-style list view where the control draws them:
// the first column's icon (a tree's fold sign), and the check box, the state
// image drawn just left of it (its left edge may lie outside the list).
RECT listIconRect(HWND list, int row);
RECT listCheckBoxRect(HWND list, int row);
POINT rectCentre(const RECT& rect);

// The screen's dots per inch as this process sees them (96 at 100 %).
int screenDpi();

// Runs the tests of this test program that filter names (a gtest filter) in
// a new process started while the user's display scaling ("LogPixels") is
// dpi, which a process reads when it starts; the setting is put back
// afterwards. Returns the child's exit code (0 when every test passed), or
// -1 when it could not be started or did not end within timeoutMs. failures
// receives what the child reported of failed tests.
int runTestsAtDpi(DWORD dpi, const std::string& filter, DWORD timeoutMs, std::string& failures);

// The ids of the visible child windows that reach beyond the window (a
// control cut by its dialog's edge), blank-separated; empty when none does.
std::string childrenOutside(HWND window);

// Saves the whole screen (the virtual desktop under Wine) as a BMP file.
bool saveScreenshot(const std::string& path);
