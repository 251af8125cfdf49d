#include "install/desktop_user.h"
#include "base/file_names.h"

#include "base/path.h"
#include "base/text.h"
#include "base/win_handles.h"

#include <exdisp.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

#include <aclapi.h>
#include <cstring>

namespace {

// A text of COM automation, freed with SysFreeString.
class AutomationText {
public:
    explicit AutomationText(const wchar_t* text) : text_(SysAllocString(text)) {}
    ~AutomationText() { SysFreeString(text_); }
    AutomationText(const AutomationText&) = delete;
    AutomationText& operator=(const AutomationText&) = delete;

    BSTR get() const { return text_; }

private:
    BSTR text_;
};

// An automation argument that refers to a text owned elsewhere.
VARIANT textArgument(BSTR text) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = text;
    return value;
}

bool toWide(const char* text, wchar_t* wide, int capacity) {
    return MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, wide, capacity) > 0;
}

bool isFile(const char* path) {
    DWORD attributes = fileAttributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The view of the desktop that the shell shows: the shell's window list
// finds the desktop's browser, whose active view is the desktop folder.
bool findDesktopView(ComReference<IShellView>& view) {
    ComReference<IShellWindows> windows;
    if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_PPV_ARGS(windows.address())))) {
        return false;
    }
    VARIANT empty;
    VariantInit(&empty);
    long window = 0;
    ComReference<IDispatch> desktop;
    // S_FALSE means no desktop window; only S_OK hands out its dispatch.
    if (windows->FindWindowSW(&empty, &empty, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, desktop.address()) != S_OK ||
        !desktop) {
        return false;
    }
    ComReference<IServiceProvider> services;
    ComReference<IShellBrowser> browser;
    return SUCCEEDED(desktop->QueryInterface(IID_PPV_ARGS(services.address()))) &&
           SUCCEEDED(services->QueryService(SID_STopLevelBrowser, IID_PPV_ARGS(browser.address()))) &&
           SUCCEEDED(browser->QueryActiveShellView(view.address())) && view;
}

// The shell's automation object (the "Shell.Application" of the process that
// shows the desktop), reached through the background of the desktop's view.
bool findDesktopShell(ComReference<IShellDispatch2>& shell) {
    ComReference<IShellView> view;
    if (!findDesktopView(view)) {
        return false;
    }
    ComReference<IDispatch> background;
    ComReference<IShellFolderViewDual> folderView;
    ComReference<IDispatch> application;
    return SUCCEEDED(view->GetItemObject(SVGIO_BACKGROUND, IID_PPV_ARGS(background.address()))) &&
           SUCCEEDED(background->QueryInterface(IID_PPV_ARGS(folderView.address()))) &&
           SUCCEEDED(folderView->get_Application(application.address())) && application &&
           SUCCEEDED(application->QueryInterface(IID_PPV_ARGS(shell.address())));
}

bool startByCommandLine(const char* exe, const char* folder) {
    char commandLine[kFilePathCapacity + 2];
    // Quoted: an unquoted path with blanks would hand the program its pieces
    // as arguments.
    if (formatText(commandLine, sizeof commandLine, "\"%s\"", exe) != strlen(exe) + 2) {
        return false;
    }
    ProcessInformation process;
    return createProcess(exe, commandLine, NORMAL_PRIORITY_CLASS, folder, process.out()) != FALSE;
}

// Read, write, run and delete ("Modify"), without the rights to change the
// permissions or take ownership.
constexpr DWORD kChangeRights = FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE;

// The user of a process's token, in a buffer large enough for any SID.
struct TokenUserBuffer {
    alignas(TOKEN_USER) BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    PSID sid() const { return reinterpret_cast<const TOKEN_USER*>(bytes)->User.Sid; }
};

DWORD readTokenUser(HANDLE process, TokenUserBuffer& user) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token)) {
        return GetLastError();
    }
    UniqueHandle owner(token);
    DWORD size = 0;
    return GetTokenInformation(token, TokenUser, user.bytes, sizeof user.bytes, &size) ? 0 : GetLastError();
}

// The user who owns the desktop shell, who may be another account than the
// one an installer was started "as administrator" with. Without a shell it is
// this process's user; a shell whose user cannot be read is an error rather
// than a reason to grant someone else.
DWORD desktopUser(TokenUserBuffer& user) {
    HWND shell = GetShellWindow();
    DWORD processId = 0;
    if (shell == nullptr || GetWindowThreadProcessId(shell, &processId) == 0) {
        return readTokenUser(GetCurrentProcess(), user);
    }
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) {
        return GetLastError();
    }
    return readTokenUser(process.get(), user);
}

} // namespace

bool isElevatedProcess() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return false;
    }
    UniqueHandle owner(token);
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    return GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
           elevation.TokenIsElevated != 0;
}

// An elevated process cannot simply drop its rights for a child: the shell,
// which runs with the user's own token, is asked to start the program instead.
bool startAsDesktopUser(const char* exe, const char* folder) {
    wchar_t wideExe[kFilePathCapacity];
    wchar_t wideFolder[kFilePathCapacity];
    // The shell reports a missing program only on its own screen.
    if (!isFile(exe) || !toWide(exe, wideExe, kFilePathCapacity) || !toWide(folder, wideFolder, kFilePathCapacity)) {
        return false;
    }
    ComReference<IShellDispatch2> shell;
    if (!findDesktopShell(shell)) {
        return false;
    }
    // The shell may bring the program's windows to the front.
    CoAllowSetForegroundWindow(shell.get(), nullptr);
    AutomationText file(wideExe);
    AutomationText directory(wideFolder);
    AutomationText operation(L"open");
    AutomationText none(L"");
    if (file.get() == nullptr || directory.get() == nullptr || operation.get() == nullptr || none.get() == nullptr) {
        return false;
    }
    VARIANT show;
    VariantInit(&show);
    show.vt = VT_I4;
    show.lVal = SW_SHOWNORMAL;
    return SUCCEEDED(shell->ShellExecute(file.get(), textArgument(none.get()), textArgument(directory.get()),
                                         textArgument(operation.get()), show));
}

bool startAgentProcess(const char* exe, const char* folder) {
    if (isElevatedProcess() && startAsDesktopUser(exe, folder)) {
        return true;
    }
    return startByCommandLine(exe, folder);
}

// Files that an elevated installer makes belong to the Administrators group,
// and a folder outside the user's profile (Program Files) gives ordinary
// users only read and run rights. The agent, started by the ordinary user at
// logon, creates and rewrites its log and data files in the installation
// folder, so that user gets the right to change everything in it.
DWORD grantDesktopUserChange(const char* folder) {
    TokenUserBuffer user;
    DWORD error = desktopUser(user);
    if (error != 0) {
        return error;
    }
    PACL current = nullptr;
    LocalMemory<void> descriptor;
    error = namedSecurityInfo(folder, DACL_SECURITY_INFORMATION, &current, descriptor.out());
    LocalMemory<ACL> merged;
    if (error == 0) {
        error = addChangeEntry(current, user.sid(), merged);
    }
    if (error != 0 || merged.get() == nullptr) {
        return error;
    }
    // Also hands the inherited entry down to what the folder holds already.
    return setNamedSecurityInfo(folder, DACL_SECURITY_INFORMATION, merged.get());
}

DWORD addChangeEntry(ACL* current, PSID user, LocalMemory<ACL>& merged) {
    // No list at all lets everyone in (a file system without permissions):
    // a list of one entry would lock everyone else out.
    if (current == nullptr) {
        return 0;
    }
    EXPLICIT_ACCESS_A access = {};
    access.grfAccessPermissions = kChangeRights;
    access.grfAccessMode = GRANT_ACCESS;
    access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_USER;
    access.Trustee.ptstrName = static_cast<char*>(user);
    return SetEntriesInAclA(1, &access, current, merged.out());
}
