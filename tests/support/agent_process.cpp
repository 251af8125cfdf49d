#include "agent_process.h"

#include "resources/resource.h"

#include <shellapi.h>

namespace {

constexpr char kAgentClass[] = "Lumetra_Agent_Class";
constexpr char kAgentTitle[] = "MAIn Window";

} // namespace

Installation::Installation(bool withAccountList, const std::string& name) {
    folder_ = dir_.path() + name + "\\";
    CreateDirectoryA(folder_.c_str(), nullptr);
    CopyFileA(builtKorvelExe().c_str(), exe().c_str(), FALSE);
    if (withAccountList) {
        CreateDirectoryA(service().c_str(), nullptr);
        writeFile(service() + "MailBox.txt", "");
    }
}

HWND waitForAgent(const ChildProcess& process) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < kAgentStartTimeoutMs) {
        HWND window = findProcessWindow(process.id(), kAgentClass, kAgentTitle);
        if (window != nullptr) {
            // The window is found while its creation (merging and loading the
            // mail files) still runs: a message answered by its thread tells
            // that the start-up is over and the message loop runs.
            DWORD_PTR result = 0;
            if (!SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, kAgentStartTimeoutMs, &result)) {
                return nullptr;
            }
            return window;
        }
        Sleep(25); // the window of a process that is still starting
    }
    return nullptr;
}

bool quitAgent(HWND agent, ChildProcess& process, DWORD timeoutMs) {
    PostMessageA(agent, WM_COMMAND, IDM_QUIT, 0);
    DWORD code = 1234;
    return process.wait(timeoutMs, &code) && code == 0;
}

std::vector<std::string> logTexts(const std::string& path) {
    std::vector<std::string> texts;
    for (const std::string& line : splitLines(readFile(path))) {
        size_t dash = line.find(" - ");
        texts.push_back(dash == std::string::npos ? line : line.substr(dash + 3));
    }
    return texts;
}

bool waitForTrayIcon(HWND agent, DWORD timeoutMs) {
    // A modification that changes nothing succeeds only for an icon the
    // notification area has; it is asked again until it has it.
    NOTIFYICONDATAA probe = {};
    probe.cbSize = NOTIFYICONDATAA_V2_SIZE;
    probe.hWnd = agent;
    probe.uID = TRAY_ICON_ID;
    DWORD start = GetTickCount();
    while (!Shell_NotifyIconA(NIM_MODIFY, &probe)) {
        if (GetTickCount() - start >= timeoutMs) {
            return false;
        }
        Sleep(25);
    }
    return true;
}

bool waitForLogText(const std::string& logPath, const std::string& text, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        if (readFile(logPath).find(text) != std::string::npos) {
            return true;
        }
        Sleep(50); // the log file is looked at again until the text is in it
    }
    return false;
}
