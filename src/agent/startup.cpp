#include "agent/startup.h"
#include "base/file_names.h"

#include "core/agent_state.h"
#include "core/service_paths.h"
#include "agent/agent_window.h"
#include "base/ensure_folder.h"
#include "base/event_log.h"
#include "base/file_io.h"
#include "agent/keyboard.h"
#include "install/uninstall_folder.h"
#include "core/settings_file.h"
#include "base/text.h"
#include "base/win_handles.h"
#include "base/win_util.h"
#include "base/wide_text.h"
#include "install/gone_installation.h"
#include "install/install_kind.h"
#include "install/install_places.h"
#include "install/installer.h"
#include "install/uninstaller.h"
#include "resources/resource.h"
#include "ui/alert_window.h"
#include "ui/button.h"
#include "viewer/viewer_window.h"
#include "core/program_names.h"

#include <commctrl.h>
#include <cstring>
#include <string>

// Vista or any later Windows (major version 6 or higher: 10 and 11 report
// 10 to a program whose manifest names them), or a version that cannot be
// read: the installer leaves out the removal shortcut there.
int vistaFromVersion(const OSVERSIONINFOA* version) {
    return version == nullptr || version->dwMajorVersion >= 6 ? 1 : 0;
}

int detectVista() {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    bool read = GetVersionExA(&info) != FALSE;
#pragma GCC diagnostic pop
    return vistaFromVersion(read ? &info : nullptr);
}

namespace {

constexpr char kUninstallCaption[] = "Удаление Lumetra Агента";
constexpr char kUnnameableFolder[] = "Программа запущена из папки \"%s\". В имени этой папки есть знаки, "
                                     "которых нет в кириллице Windows (1251), и программа не может в ней работать. "
                                     "Перенесите программу в папку с другим именем.";

bool findFolders() {
    char modulePath[kPathCapacity];
    std::wstring wide;
    if (!moduleFilePath(modulePath, sizeof modulePath, &wide)) {
        // The program works only in a folder whose name Windows-1251 holds:
        // it keeps every path in that code page.
        if (GetLastError() == ERROR_NO_UNICODE_TRANSLATION && !wide.empty()) {
            wide.resize(wide.rfind(L'\\') + 1);
            showUnnameableFolder(nullptr, kAgentCaption, kUnnameableFolder, wide.c_str());
        } else {
            showMessage(nullptr, "Затрудняюсь обнаружить папку из которой запустились");
        }
        return false;
    }
    if (!windowsFolderPath(gAgent.windowsFolder, sizeof gAgent.windowsFolder)) {
        showMessage(nullptr, "Затрудняюсь обнаружить системную Папку Windows.");
        return false;
    }
    gAgent.isVista = detectVista();
    char* lastBackslash = strrchr(modulePath, '\\');
    if (lastBackslash != nullptr) {
        lastBackslash[1] = '\0';
    }
    copyText(gAgent.moduleFolder, sizeof gAgent.moduleFolder, modulePath);
    return true;
}

// The installation folder comes from the command line; one that is empty
// once its blanks and quotes are gone is refused before anything is asked.
int runUninstallerMode(const char* commandLine) {
    char folder[kPathCapacity];
    if (!uninstallFolder(commandLine, folder, sizeof folder)) {
        showMessage(nullptr, "Мало параметров для программы удаления.", kUninstallCaption, MB_OK);
        return 0;
    }
    int answer =
        showMessage(nullptr, "Действительно удалить Lumetra Агента?", kUninstallCaption, MB_YESNO | MB_ICONQUESTION);
    if (answer == IDNO) {
        return 0;
    }
    copyText(gAgent.moduleFolder, sizeof gAgent.moduleFolder, folder);
    UninstallResult result = uninstall(nullptr);
    // The removal is silent, but one of a folder no longer there says what
    // it found to remove.
    if (result.outcome == UninstallOutcome::FolderGone) {
        char report[1024];
        describeGoneInstallation(folder, result.goneItems, report, sizeof report);
        showMessage(nullptr, report, kUninstallCaption, MB_OK | MB_ICONINFORMATION);
    }
    return 0;
}

// The account list marks an installation: without it the executable installs.
bool accountListMissing() {
    ServicePath path(kMailBoxFile);
    UniqueHandle probe(createFile(path.text, 0, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!probe) {
        DWORD code = GetLastError();
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
    }
    return false;
}

// One agent per installation: the events are named after the service
// folder in lower case, with its backslashes (not allowed in names) made
// underscores. The session's own event tells of an agent in this session;
// the one in the global namespace, which every session on the computer sees
// (fast user switching, remote desktop), of an agent in another. An ordinary
// user may create events there; another user's event cannot be opened, so
// access denied means an agent runs there. Where the global namespace is
// closed to the program, the session's event still keeps one agent per
// session.
bool takeInstanceEvent() {
    CharLowerA(gAgent.serviceFolder);
    InstallationName local("");
    gAgent.sessionEvent = CreateEventA(nullptr, FALSE, TRUE, local.text);
    if (gAgent.sessionEvent != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        showMessage(nullptr, "Программа уже работает.");
        return false;
    }
    char global[sizeof local.text + 8];
    formatText(global, sizeof global, "Global\\%s", local.text);
    gAgent.instanceEvent = CreateEventA(nullptr, FALSE, TRUE, global);
    DWORD error = GetLastError();
    bool elsewhere = gAgent.instanceEvent != nullptr ? error == ERROR_ALREADY_EXISTS : error == ERROR_ACCESS_DENIED;
    if (elsewhere) {
        showMessage(nullptr, "Программа уже работает в другом сеансе Windows на этом компьютере: "
                             "одну установку Агента может одновременно использовать только один сеанс.");
        return false;
    }
    return true;
}

bool openLog() {
    ServicePath logPath(kEventLogFile);
    const char* path = logPath.text;
    DWORD code = openEventLog(path);
    if (code != 0) {
        SystemError failure(code);
        showMessagef(nullptr, kAgentCaption, MB_OK, "Затрудняюсь открыть файл %s\r\nОшибка %u: %s", path, failure.code,
                     failure.text);
        return false;
    }
    return true;
}

bool createAgentWindow() {
    HWND window = CreateWindowExA(WS_EX_CONTROLPARENT | WS_EX_TOOLWINDOW, kAgentWindowClass, kAgentWindowTitle,
                                  WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                  CW_USEDEFAULT, nullptr, nullptr, gAgent.instance, nullptr);
    if (window == nullptr) {
        writeLog("Затрудняюсь отобразить основное окно.");
        showMessage(nullptr, "Затрудняюсь отобразить основное окно.");
        return false;
    }
    gAgent.agentWindow = window;
    ShowWindow(window, SW_HIDE);
    return true;
}

int runMessageLoop() {
    MSG msg;
    BOOL got;
    // A Unicode loop, so that letters typed into the program's windows reach
    // them whole whatever the system's code page.
    while ((got = GetMessageW(&msg, nullptr, 0, 0)) != 0) {
        if (got == -1) {
            break;
        }
        if (IsDialogMessageW(gAgent.agentWindow, &msg)) {
            continue;
        }
        if (msg.message == WM_KEYDOWN && handleKey(msg.wParam)) {
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

int runAgentMode() {
    // The instance event comes before the log: a second start must not empty
    // the log of the agent that is already running.
    if (!takeInstanceEvent()) {
        return 0;
    }
    if (!openLog()) {
        return 0;
    }
    writeLog("Агент стартовал\r\n");
    if (!registerWindowClasses(gAgent.instance) || !createAgentWindow()) {
        return 0;
    }
    // The tray icon is added by the agent window's thread as soon as its
    // message loop runs, before the first poll.
    PostMessageA(gAgent.agentWindow, WM_TRAY_ADD, 0, 0);
    readSettings();
    SetTimer(gAgent.agentWindow, IDT_POLL, static_cast<UINT>(gAgent.settings.interval) * 60000u, nullptr);
    gAgent.internetOk = 1;
    PostMessageA(gAgent.agentWindow, WM_COMMAND, IDM_POLL_NOW, 0);
    return runMessageLoop();
}

} // namespace

bool registerWindowClasses(HINSTANCE instance) {
    struct ClassInfo {
        const char* name;
        WNDPROC procedure;
        LPCSTR cursor;
        HBRUSH background;
        int windowExtra;
        const char* failureText;
    };
    const ClassInfo classes[] = {
        {kAgentWindowClass, agentWindowProc, IDC_ARROW, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1), 0,
         "Затрудняюсь создать основное окно программы!"},
        {kViewerWindowClass, viewerWindowProc, IDC_ARROW, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1), 0,
         "Затрудняюсь создать окно просмотра почты!"},
        {kAlertWindowClass, alertWindowProc, IDC_ARROW, nullptr, 0, "Затрудняюсь создать окно предупреждений!"},
        {kButtonClass, buttonWindowProc, IDC_HAND, nullptr, 2, "Затрудняюсь создать кнопки!"},
    };
    // Unicode windows: the texts they are given stay UTF-16, whatever the
    // system's code page.
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_AGENT));
    wc.hIconSm = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_AGENT), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    for (const ClassInfo& c : classes) {
        WideText name(c.name);
        wc.lpszClassName = name.get();
        wc.lpfnWndProc = c.procedure;
        wc.hCursor = LoadCursorA(nullptr, c.cursor);
        wc.hbrBackground = c.background;
        wc.cbWndExtra = c.windowExtra;
        if (RegisterClassExW(&wc) == 0) {
            writeLog(c.failureText);
            showMessage(nullptr, c.failureText);
            return false;
        }
    }
    return true;
}

int runKorvel(HINSTANCE instance, const char* commandLine) {
    INITCOMMONCONTROLSEX icc = {sizeof icc, 0xFF};
    InitCommonControlsEx(&icc);

    if (!findFolders()) {
        return 0;
    }
    // Every path of the program starts with the module folder: one that
    // leaves no room for the names after it is refused, never cut.
    char updater[kFilePathCapacity];
    if (!joinPath(updater, sizeof updater, gAgent.moduleFolder, kUpdaterExeName) ||
        !joinPath(gAgent.agentExePath, sizeof gAgent.agentExePath, gAgent.moduleFolder, kAgentExeName) ||
        !joinPath(gAgent.serviceFolder, sizeof gAgent.serviceFolder, gAgent.moduleFolder, "MainFolder\\")) {
        showMessage(nullptr, "Затрудняюсь обнаружить папку из которой запустились");
        return 0;
    }
    // The updater of a previous update is no longer needed, nor what a
    // download cut off by the end of the agent left of one.
    deleteFile(updater);
    ReplacementFile::removeLeftover(updater);

    if (!ensureFolder(nullptr, gAgent.moduleFolder)) {
        showMessage(nullptr, "Затрудняюсь создать служебную папку!");
        return 0;
    }
    gAgent.instance = instance;

    // The uninstaller copy lives in the Windows folder (per machine) or in
    // the user's own uninstaller folder (per user).
    if (isUninstallerFolder(gAgent.moduleFolder)) {
        return runUninstallerMode(commandLine);
    }

    // COM (shell links, the folder browser) for the installer and the agent,
    // until the installation dialog or the agent's message loop ends.
    ComLibrary com;
    if (!com.initialised()) {
        showMessage(nullptr, "Система не выдала указатель на интерфейс IMalloc.\r\nОшибка OLE 2.0");
        return 0;
    }
    if (accountListMissing()) {
        DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_INSTALL), nullptr, installDialogProc,
                        static_cast<LPARAM>(decideInstallKind()));
        return 0;
    }
    return runAgentMode();
}
