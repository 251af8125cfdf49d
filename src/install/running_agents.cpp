#include "install/running_agents.h"
#include "base/file_names.h"

#include "base/path.h"
#include "base/text.h"
#include "base/win_handles.h"
#include "core/program_names.h"

#include <tlhelp32.h>

namespace {

// The agent window every running agent has (one per installation folder).
constexpr char kAgentWindowClass[] = "Lumetra_Agent_Class";
constexpr char kAgentWindowTitle[] = "MAIn Window";
// The agent's shutdown waits up to 10 s for a running poll.
constexpr UINT kShutdownRequestTimeoutMs = 15000;
constexpr DWORD kProcessEndWaitMs = 5000;
constexpr int kMaxAgentsAsked = 16;

// Processes of the installation's agent that were asked to shut down.
struct AskedAgents {
    DWORD ids[kMaxAgentsAsked] = {};
    int count = 0;

    void add(DWORD id) {
        if (count < kMaxAgentsAsked) {
            ids[count++] = id;
        }
    }
    bool contains(DWORD id) const {
        for (int i = 0; i < count; i++) {
            if (ids[i] == id) {
                return true;
            }
        }
        return false;
    }
};

// Whether the process runs the executable exePath. Several installations may
// run their agents at once: only the image's full path tells them apart.
bool runsExecutable(HANDLE process, const char* exePath) {
    char image[kFilePathCapacity];
    DWORD size = sizeof image;
    if (!processImageName(process, image, &size)) {
        return false;
    }
    char longImage[kFilePathCapacity];
    DWORD n = longPathName(image, longImage, sizeof longImage);
    return lstrcmpiA(n > 0 && n < sizeof longImage ? longImage : image, exePath) == 0;
}

// Asks the agent of this installation to shut down in order: the window
// procedure's WM_DESTROY closes its files and ends its message loop.
void askAgentsToShutDown(const char* exePath, AskedAgents& asked) {
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, kAgentWindowClass, kAgentWindowTitle)) != nullptr) {
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
        if (!process || !runsExecutable(process.get(), exePath)) {
            continue;
        }
        asked.add(processId);
        DWORD_PTR result = 0;
        SendMessageTimeoutA(window, WM_DESTROY, 0, 0, SMTO_NORMAL, kShutdownRequestTimeoutMs, &result);
    }
}

// Every process of this installation's executable that still runs ends: an
// agent that was asked gets time to finish its shutdown first, others (a hung
// one, a second start still showing its message) are terminated at once.
bool endAgentProcesses(const char* exePath, const AskedAgents& asked) {
    bool found = asked.count > 0;
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        return found;
    }
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot.get(), &entry); more; more = Process32Next(snapshot.get(), &entry)) {
        if (entry.th32ProcessID == GetCurrentProcessId() || lstrcmpiA(entry.szExeFile, kAgentExeName) != 0) {
            continue;
        }
        UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
                                         entry.th32ProcessID));
        if (!process || !runsExecutable(process.get(), exePath)) {
            continue;
        }
        found = true;
        DWORD grace = asked.contains(entry.th32ProcessID) ? kProcessEndWaitMs : 0;
        if (WaitForSingleObject(process.get(), grace) == WAIT_TIMEOUT) {
            TerminateProcess(process.get(), 0);
            WaitForSingleObject(process.get(), kProcessEndWaitMs);
        }
    }
    return found;
}

} // namespace

bool endInstallationAgents(const char* agentExe) {
    AskedAgents asked;
    askAgentsToShutDown(agentExe, asked);
    return endAgentProcesses(agentExe, asked);
}
