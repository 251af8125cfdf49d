#include "win_test_support.h"

#include "base/win_handles.h"

#include <commctrl.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

std::atomic<int> folderCounter{0};

struct WindowSearch {
    DWORD processId;
    const char* className;
    const char* title;
    bool visibleOnly;
    HWND found;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM param) {
    auto* s = reinterpret_cast<WindowSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != s->processId) {
        return TRUE;
    }
    if (s->visibleOnly && !IsWindowVisible(window)) {
        return TRUE;
    }
    char name[256];
    if (s->className != nullptr &&
        (GetClassNameA(window, name, sizeof name) == 0 || lstrcmpA(name, s->className) != 0)) {
        return TRUE;
    }
    if (s->title != nullptr) {
        GetWindowTextA(window, name, sizeof name);
        if (lstrcmpA(name, s->title) != 0) {
            return TRUE;
        }
    }
    s->found = window;
    return FALSE;
}

HWND searchWindows(DWORD processId, const char* className, const char* title, bool visibleOnly) {
    WindowSearch s{processId, className, title, visibleOnly, nullptr};
    EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

BOOL CALLBACK collectStaticText(HWND child, LPARAM param) {
    char name[32];
    if (GetClassNameA(child, name, sizeof name) && lstrcmpiA(name, "Static") == 0) {
        char text[2048];
        if (GetWindowTextA(child, text, sizeof text) > 0) {
            auto* out = reinterpret_cast<std::string*>(param);
            if (out->empty()) {
                *out = text;
            }
        }
    }
    return TRUE;
}

bool readMessageBox(HWND window, MessageBoxInfo& box) {
    std::string text;
    EnumChildWindows(window, collectStaticText, reinterpret_cast<LPARAM>(&text));
    if (text.empty()) {
        return false;
    }
    char caption[512];
    GetWindowTextA(window, caption, sizeof caption);
    box.window = window;
    box.caption = caption;
    box.text = text;
    return true;
}

} // namespace

TempFolder::TempFolder() {
    char base[MAX_PATH];
    GetTempPathA(sizeof base, base);
    char name[MAX_PATH + 64];
    snprintf(name, sizeof name, "%skorvel-test-%lu-%d\\", base, GetCurrentProcessId(), folderCounter++);
    path_ = name;
    removeTree(path_);
    CreateDirectoryA(path_.c_str(), nullptr);
}

TempFolder::~TempFolder() {
    if (getenv("KORVEL_KEEP_TEMP") == nullptr) {
        removeTree(path_);
    }
}

bool writeFile(const std::string& path, const std::string& bytes) {
    UniqueHandle f(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f) {
        return false;
    }
    DWORD written = 0;
    BOOL ok = WriteFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    return ok && written == bytes.size();
}

std::string readFile(const std::string& path) {
    UniqueHandle f(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, 0, nullptr));
    if (!f) {
        return std::string();
    }
    std::string bytes;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(f.get(), chunk, sizeof chunk, &got, nullptr) && got > 0) {
        bytes.append(chunk, got);
    }
    return bytes;
}

bool fileExists(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool waitForFile(const std::string& path, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (!fileExists(path)) {
        if (GetTickCount() - start >= timeoutMs) {
            return false;
        }
        Sleep(20); // the file is looked for again until it is there
    }
    return true;
}

bool folderExists(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void removeTree(const std::string& path) {
    std::string folder = path;
    if (!folder.empty() && folder.back() == '\\') {
        folder.pop_back();
    }
    WIN32_FIND_DATAA data;
    FindHandle find(FindFirstFileA((folder + "\\*").c_str(), &data));
    if (find.valid()) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..") {
                continue;
            }
            std::string child = folder + "\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                // A link: removed itself, never what it points at.
                if (!RemoveDirectoryA(child.c_str())) {
                    DeleteFileA(child.c_str());
                }
                continue;
            }
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                removeTree(child);
            } else {
                DeleteFileA(child.c_str());
            }
        } while (FindNextFileA(find.get(), &data));
    }
    RemoveDirectoryA(folder.c_str());
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

size_t occurrences(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        count++;
    }
    return count;
}

std::vector<std::string> readUnixLines(const std::string& path) {
    std::vector<std::string> lines;
    std::string text = readFile(path);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string folderFromEnvironment(const char* name) {
    const char* value = getenv(name);
    std::string folder = value != nullptr ? value : "";
    for (char& c : folder) {
        if (c == '/') {
            c = '\\';
        }
    }
    if (!folder.empty() && folder.back() != '\\') {
        folder += '\\';
    }
    return folder;
}

std::string testProgramFolder() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string p(path, n);
    return p.substr(0, p.rfind('\\') + 1);
}

std::string builtKorvelExe() {
    return testProgramFolder() + "Korvel.exe";
}

std::string artifactsFolder() {
    const char* env = getenv("KORVEL_ARTIFACTS");
    std::string folder = env != nullptr ? env : testProgramFolder() + "artifacts";
    for (char& c : folder) {
        if (c == '/') {
            c = '\\';
        }
    }
    if (folder.back() != '\\') {
        folder += '\\';
    }
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

ChildProcess::~ChildProcess() {
    if (running()) {
        kill();
    }
}

bool ChildProcess::start(const std::string& exe, const std::string& arguments) {
    std::string commandLine = "\"" + exe + "\"";
    if (!arguments.empty()) {
        commandLine += " " + arguments;
    }
    std::string folder = exe.substr(0, exe.rfind('\\') + 1);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                        folder.c_str(), &startup, info_.out())) {
        return false;
    }
    id_ = info_.out()->dwProcessId;
    return true;
}

bool ChildProcess::startWide(const std::wstring& exe) {
    std::wstring commandLine = L"\"" + exe + L"\"";
    std::wstring folder = exe.substr(0, exe.rfind(L'\\') + 1);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                        folder.c_str(), &startup, info_.out())) {
        return false;
    }
    id_ = info_.out()->dwProcessId;
    return true;
}

bool ChildProcess::startCommand(const std::string& commandLine) {
    std::string line = commandLine;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup,
                        info_.out())) {
        return false;
    }
    id_ = info_.out()->dwProcessId;
    return true;
}

bool ChildProcess::wait(DWORD timeoutMs, DWORD* exitCode) {
    if (info_.process() == nullptr || WaitForSingleObject(info_.process(), timeoutMs) != WAIT_OBJECT_0) {
        return false;
    }
    if (exitCode != nullptr) {
        GetExitCodeProcess(info_.process(), exitCode);
    }
    return true;
}

bool ChildProcess::running() const {
    return info_.process() != nullptr && WaitForSingleObject(info_.process(), 0) == WAIT_TIMEOUT;
}

void ChildProcess::kill() {
    if (info_.process() != nullptr) {
        TerminateProcess(info_.process(), 99);
        WaitForSingleObject(info_.process(), 5000);
    }
}

bool waitForProcessesToEnd(const char* exeName, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        return false;
    }
    bool ended = true;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot.get(), &entry); more; more = Process32Next(snapshot.get(), &entry)) {
        if (lstrcmpiA(entry.szExeFile, exeName) != 0) {
            continue;
        }
        UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID));
        if (!process) {
            continue; // gone meanwhile
        }
        DWORD spent = GetTickCount() - start;
        ended = WaitForSingleObject(process.get(), spent < timeoutMs ? timeoutMs - spent : 0) == WAIT_OBJECT_0 && ended;
    }
    return ended;
}

HWND findProcessWindow(DWORD processId, const char* className, const char* title) {
    return searchWindows(processId, className, title, false);
}

HWND waitForWindow(DWORD processId, const char* className, const char* title, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        HWND found = searchWindows(processId, className, title, true);
        if (found != nullptr || GetTickCount() - start >= timeoutMs) {
            return found;
        }
        pumpMessages(25);
    }
}

bool waitForMessageBox(DWORD processId, MessageBoxInfo& box, DWORD timeoutMs) {
    if (processId == 0) {
        processId = GetCurrentProcessId();
    }
    DWORD start = GetTickCount();
    for (;;) {
        HWND found = searchWindows(processId, "#32770", nullptr, true);
        if (found != nullptr && readMessageBox(found, box)) {
            return true;
        }
        if (GetTickCount() - start >= timeoutMs) {
            return false;
        }
        Sleep(25); // the box is looked for again until it is up
    }
}

void answerMessageBox(HWND box, int buttonId) {
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), 0);
}

MessageBoxCloser::MessageBoxCloser() : stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    if (stop_) {
        thread_.reset(CreateThread(nullptr, 0, run, this, 0, nullptr));
    }
}

MessageBoxCloser::~MessageBoxCloser() {
    if (thread_) {
        SetEvent(stop_.get());
        WaitForSingleObject(thread_.get(), INFINITE);
    }
}

std::vector<MessageBoxInfo> MessageBoxCloser::seen() {
    AcquireSRWLockExclusive(&lock_);
    std::vector<MessageBoxInfo> copy = seen_;
    ReleaseSRWLockExclusive(&lock_);
    return copy;
}

DWORD WINAPI MessageBoxCloser::run(void* param) {
    auto* self = static_cast<MessageBoxCloser*>(param);
    DWORD self_pid = GetCurrentProcessId();
    HWND last = nullptr;
    while (WaitForSingleObject(self->stop_.get(), 20) == WAIT_TIMEOUT) {
        HWND found = searchWindows(self_pid, "#32770", nullptr, true);
        MessageBoxInfo box;
        if (found == nullptr || found == last || !readMessageBox(found, box)) {
            continue;
        }
        last = found;
        AcquireSRWLockExclusive(&self->lock_);
        self->seen_.push_back(box);
        ReleaseSRWLockExclusive(&self->lock_);
        // IDOK for OK boxes; a box without OK takes the Cancel/Close path.
        PostMessageA(found, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        PostMessageA(found, WM_CLOSE, 0, 0);
    }
    return 0;
}

void pumpMessages(DWORD milliseconds) {
    DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(5);
    } while (GetTickCount() - start < milliseconds);
}

void pumpPendingMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

bool pumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    // Other threads' changes come without a message: looked at this often.
    constexpr DWORD kLookMs = 10;
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            if (done()) {
                return true;
            }
        }
        if (done()) {
            return true;
        }
        DWORD spent = GetTickCount() - start;
        if (spent >= timeoutMs) {
            return false;
        }
        DWORD left = timeoutMs - spent;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, left < kLookMs ? left : kLookMs, QS_ALLINPUT);
    }
}

namespace {

constexpr char kDesktopKey[] = "Control Panel\\Desktop";
constexpr char kLogPixels[] = "LogPixels";

// The user's display scaling set for as long as the object lives.
class ScalingSetting {
public:
    explicit ScalingSetting(DWORD dpi) {
        if (RegCreateKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                            &key_, nullptr) != ERROR_SUCCESS) {
            key_ = nullptr;
            return;
        }
        DWORD type = 0;
        DWORD size = sizeof old_;
        had_ = RegQueryValueExA(key_, kLogPixels, nullptr, &type, reinterpret_cast<BYTE*>(&old_), &size) ==
                   ERROR_SUCCESS &&
               type == REG_DWORD;
        set_ = RegSetValueExA(key_, kLogPixels, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi) ==
               ERROR_SUCCESS;
    }
    ~ScalingSetting() {
        if (key_ == nullptr) {
            return;
        }
        if (had_) {
            RegSetValueExA(key_, kLogPixels, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old_), sizeof old_);
        } else {
            RegDeleteValueA(key_, kLogPixels);
        }
        RegCloseKey(key_);
    }
    ScalingSetting(const ScalingSetting&) = delete;
    ScalingSetting& operator=(const ScalingSetting&) = delete;
    bool set() const { return set_; }

private:
    HKEY key_ = nullptr;
    DWORD old_ = 0;
    bool had_ = false;
    bool set_ = false;
};

// The lines of a gtest XML report that tell of failures.
std::string failureLines(const std::string& report) {
    std::string out;
    for (const std::string& line : splitLines(report)) {
        if (line.find("<failure") != std::string::npos || line.find("]]>") != std::string::npos) {
            out += line + "\n";
        }
    }
    return out;
}

} // namespace

RECT listIconRect(HWND list, int row) {
    RECT icon = {};
    icon.top = 0; // subitem 0: the item itself
    icon.left = LVIR_ICON;
    if (SendMessageA(list, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&icon)) == 0) {
        return RECT{};
    }
    return icon;
}

RECT listCheckBoxRect(HWND list, int row) {
    RECT icon = listIconRect(list, row);
    int width = 0;
    int height = 0;
    HIMAGELIST states = reinterpret_cast<HIMAGELIST>(SendMessageA(list, LVM_GETIMAGELIST, LVSIL_STATE, 0));
    if (states == nullptr || !ImageList_GetIconSize(states, &width, &height)) {
        return RECT{};
    }
    return RECT{icon.left - width, icon.top, icon.left, icon.bottom};
}

POINT rectCentre(const RECT& rect) {
    return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

int screenDpi() {
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi;
}

int runTestsAtDpi(DWORD dpi, const std::string& filter, DWORD timeoutMs, std::string& failures) {
    char exe[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, exe, sizeof exe);
    if (n == 0 || n >= sizeof exe) {
        return -1;
    }
    TempFolder folder;
    std::string report = folder / "report.xml";
    ScalingSetting scaling(dpi);
    if (!scaling.set()) {
        return -1;
    }
    ChildProcess child;
    DWORD code = 0;
    if (!child.start(exe, "--gtest_filter=" + filter + " --gtest_output=xml:" + report) ||
        !child.wait(timeoutMs, &code)) {
        child.kill();
        return -1;
    }
    failures = failureLines(readFile(report));
    return static_cast<int>(code);
}

bool saveScreenshot(const std::string& path) {
    HDC screen = GetDC(nullptr);
    if (screen == nullptr) {
        return false;
    }
    int width = GetDeviceCaps(screen, HORZRES);
    int height = GetDeviceCaps(screen, VERTRES);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (memory != nullptr && bitmap != nullptr) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        ok = BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY) != 0;
        SelectObject(memory, old);
        GdiFlush();
    }
    if (ok) {
        DWORD stride = ((width * 3 + 3) / 4) * 4;
        DWORD imageSize = stride * height;
        BITMAPFILEHEADER file = {};
        file.bfType = 0x4D42;
        file.bfOffBits = sizeof file + sizeof info.bmiHeader;
        file.bfSize = file.bfOffBits + imageSize;
        std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
        bytes.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
        bytes.append(static_cast<const char*>(bits), imageSize);
        ok = writeFile(path, bytes);
    }
    if (bitmap != nullptr) {
        DeleteObject(bitmap);
    }
    if (memory != nullptr) {
        DeleteDC(memory);
    }
    ReleaseDC(nullptr, screen);
    return ok;
}

std::string childrenOutside(HWND window) {
    RECT area = {};
    GetWindowRect(window, &area);
    std::string outside;
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT r = {};
        if (IsWindowVisible(child) && GetWindowRect(child, &r) &&
            (r.left < area.left || r.top < area.top || r.right > area.right || r.bottom > area.bottom)) {
            outside += (outside.empty() ? "" : " ") + std::to_string(GetDlgCtrlID(child));
        }
    }
    return outside;
}
