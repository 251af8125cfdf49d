#include "agent/agent_window.h"
#include "base/file_names.h"

#include "core/agent_state.h"
#include "core/poll_notice.h"
#include "core/poll_starter.h"
#include "core/service_paths.h"
#include "base/event_log.h"
#include "agent/poll_cycle.h"
#include "agent/tray_clicks.h"
#include "agent/tray_events.h"
#include "ui/tray_icon.h"
#include "base/text.h"
#include "base/win_handles.h"
#include "base/win_util.h"
#include "base/wide_text.h"
#include "resources/resource.h"
#include "ui/alert_window.h"
#include "settings/settings_dialog.h"
#include "store/fresh_mail.h"
#include "store/mail_lists.h"
#include "ui/button.h"
#include "ui/window_state.h"
#include "viewer/viewer_window.h"
#include "core/program_names.h"
#include "retrieval/mail_watch.h"

#include <commctrl.h>
#include <shellapi.h>

#include <memory>
#include <new>

const char kAgentWindowClass[] = "Lumetra_Agent_Class";
const char kAgentWindowTitle[] = "MAIn Window";

namespace {

constexpr DWORD kShutdownPollWaitMs = 10000;
// Quitting waits this long at most for the IDLE connections to end.
constexpr DWORD kShutdownWatchWaitMs = 2000;
constexpr UINT kBlinkIntervalMs = 1000;
// After the computer wakes up a poll is tried this often until one finds the
// network, for this long at most.
constexpr UINT kResumeRetryMs = 15000;
constexpr DWORD kResumeWindowMs = 5 * 60 * 1000;
// How often an add of the tray icon the shell did not take is tried again.
constexpr UINT kTrayAddRetryMs = 2000;

// What the agent window alone keeps, on its handle (GWLP_USERDATA): made at
// WM_NCCREATE, deleted at WM_NCDESTROY.
struct AgentWindowState {
    // Sent by the shell when the task bar is created anew (Explorer restarted).
    UINT taskbarCreatedMessage = 0;
    // When the computer last woke up, and whether a poll started since.
    DWORD resumedAt = 0;
    bool resumePollStarted = false;
    // A server announced new mail while a poll ran or the settings were
    // open: one more poll follows.
    bool mailAnnounced = false;
    // The refresh notification posted to the viewer outlives the posting.
    NMHDR refreshNotification = {};
    TrayEvents trayEvents;
};

AgentWindowState* stateOf(HWND window) {
    return windowState<AgentWindowState>(window, GWLP_USERDATA);
}

LRESULT onNcCreate(HWND window, WPARAM wParam, LPARAM lParam) {
    std::unique_ptr<AgentWindowState> state(new (std::nothrow) AgentWindowState);
    if (!state || !attachWindowState(window, GWLP_USERDATA, std::move(state))) {
        return FALSE;
    }
    return DefWindowProcW(window, WM_NCCREATE, wParam, lParam);
}

// The IDLE connections of the mailboxes of MailBox.txt tell this window of
// new mail.
void watchMailboxes(HWND window) {
    startMailWatch([window] { PostMessageA(window, WM_MAIL_ANNOUNCED, 0, 0); });
}

UINT pollIntervalMs() {
    return static_cast<UINT>(gAgent.settings.interval) * 60000u;
}

// Every dialog of the process shows the agent icon: the icon is set on the
// system dialog class through a short-lived window of that class.
void setDialogClassIcon() {
    gAgent.classIcon = LoadIconA(gAgent.instance, MAKEINTRESOURCEA(IDI_AGENT));
    HWND probe = CreateWindowExA(0, MAKEINTATOM(32770), "", 0, 0, 0, 0, 0, nullptr, nullptr, gAgent.instance, nullptr);
    if (probe != nullptr) {
        SetClassLongPtrA(probe, GCLP_HICON, reinterpret_cast<LONG_PTR>(gAgent.classIcon));
        DestroyWindow(probe);
    }
}

void readAutoStart() {
    gAgent.autoStart = 0;
    RegistryKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kAgentKey, 0, KEY_READ, key.out()) != ERROR_SUCCESS) {
        return;
    }
    DWORD value = 0;
    DWORD size = sizeof value;
    DWORD type = 0;
    if (RegQueryValueExA(key.get(), kAutoStartValue, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
            ERROR_SUCCESS &&
        type == REG_DWORD && size == sizeof value) {
        gAgent.autoStart = value;
    }
}

// The shell announces a new task bar (Explorer restarted) with a registered
// message. An agent started elevated (by an installer run as administrator)
// would not receive it from the unelevated shell unless its window lets it
// through; for an unelevated agent the call changes nothing.
void listenForNewTaskBar(HWND window) {
    UINT message = RegisterWindowMessageA("TaskbarCreated");
    stateOf(window)->taskbarCreatedMessage = message;
    if (message != 0) {
        ChangeWindowMessageFilterEx(window, message, MSGFLT_ALLOW, nullptr);
    }
}

LRESULT onCreate(HWND window) {
    gAgent.agentWindow = window;
    // The mailbox page below starts its tests through the agent's starter.
    setPollStarter(startPollCycle);
    setDialogClassIcon();
    readAutoStart();
    gAgent.blinkCount = 0;
    gAgent.telegramCount = 0;
    mergeFreshMail();
    gAgent.highestMailNumber = 0;
    if (!loadMailLists()) {
        NewMailDim.count = 0;
    }
    gAgent.receivedCount = NewMailDim.count;
    listenForNewTaskBar(window);
    watchMailboxes(window);
    return 0;
}

// A reception started out of the timer's turn: the interval is counted
// anew from it.
bool startReceptionNow(HWND window) {
    if (!startReception()) {
        return false;
    }
    KillTimer(window, IDT_POLL);
    SetTimer(window, IDT_POLL, pollIntervalMs(), nullptr);
    return true;
}

// A poll a server's announcement asked for, as "Получить почту" starts one.
void startAnnouncedPoll(HWND window) {
    stateOf(window)->mailAnnounced = false;
    writeLog("Начинается опрос почты.");
    startReceptionNow(window);
}

// During a poll the announced mail may have come too late for it, and the
// settings may change the mailboxes: the poll waits for the end of either.
void onMailAnnounced(HWND window) {
    if (gAgent.settingsOpen || pollRunning()) {
        stateOf(window)->mailAnnounced = true;
        return;
    }
    startAnnouncedPoll(window);
}

// An announcement that waited starts its poll once neither stands in the way.
void startAnnouncedPollDue(HWND window) {
    if (stateOf(window)->mailAnnounced && !gAgent.settingsOpen && !pollRunning()) {
        startAnnouncedPoll(window);
    }
}

void onSettingsClosed(HWND window) {
    watchMailboxes(window);
    startAnnouncedPollDue(window);
}

void onPollNow(HWND window) {
    // Two runs at once would write the same files: a request while a poll
    // runs is dropped.
    if (pollRunning()) {
        return;
    }
    startReceptionNow(window);
    Sleep(gNoticePauseMs);
    HWND viewer = gAgent.viewerWindow;
    if (gAgent.viewerOpen && viewer != nullptr && !IsIconic(viewer) && gAgent.internetOk == 0) {
        showAlert("Нет соединения с Интернет!", 1);
        Sleep(gNoticePauseMs);
        hideAlert();
    }
}

void onSettings(HWND window) {
    if (pollRunning()) {
        return;
    }
    if (gAgent.viewerOpen && gAgent.viewerWindow.load() != nullptr) {
        SendMessageA(gAgent.viewerWindow, WM_CLOSE, 0, 0);
    }
    HWND dialog = CreateDialogParamW(gAgent.instance, MAKEINTRESOURCEW(IDD_SETTINGS), nullptr, settingsDialogProc, 0);
    if (dialog == nullptr) {
        SystemError failure(GetLastError());
        showMessagef(window, kAgentCaption, MB_OK, "Затрудняюсь отобразить диалог настроек!\r\nОшибка %u: %s",
                     failure.code, failure.text);
        gAgent.settingsOpen = 0;
        return;
    }
    ShowWindow(dialog, SW_SHOW);
}

void onViewMail() {
    if (gAgent.settingsOpen && gAgent.settingsDialog.load() != nullptr) {
        SendMessageA(gAgent.settingsDialog, WM_CLOSE, 0, 0);
    }
    openViewer(nullptr);
}

LRESULT onCommand(HWND window, WORD id) {
    switch (id) {
    case IDM_SETTINGS:
        onSettings(window);
        break;
    case IDM_VIEW_MAIL:
        onViewMail();
        break;
    case IDM_QUIT:
        DestroyWindow(window);
        break;
    case IDM_POLL_NOW:
        onPollNow(window);
        break;
    default:
        break;
    }
    return 0;
}

void onPollTimer() {
    if (gAgent.settingsOpen || pollRunning()) {
        return;
    }
    writeLog("Начинается опрос почты.");
    startReception();
}

void onBlinkTimer(HWND window) {
    if (pollRunning()) {
        KillTimer(window, IDT_BLINK);
        return;
    }
    gAgent.blinkCount++;
    int icon = 0;
    if (gAgent.blinkCount > 2 * gAgent.settings.kolBlink) {
        icon = IDI_MAIL;
        KillTimer(window, IDT_BLINK);
    } else if ((gAgent.runNewMailCount != 0 || gAgent.newTelegramCount != 0) && gAgent.settings.blink != 0) {
        icon = gAgent.blinkPhase == 0 ? IDI_MAIL : IDI_MAIL_BLINK;
        gAgent.blinkPhase = gAgent.blinkPhase == 0 ? 1 : 0;
    }
    ReceivedTip tip(gAgent.receivedCount + gAgent.telegramCount);
    // While the viewer is open it owns the tray's look.
    if (gAgent.viewerOpen) {
        updateTrayRecord(icon, tip.text);
    } else {
        modifyTrayIcon(icon, tip.text);
    }
}

// After the computer woke up: poll as soon as the network answers, instead
// of waiting out the interval. A cycle started here that found the network
// ends the retries.
void onResumeTimer(HWND window) {
    AgentWindowState& state = *stateOf(window);
    if (GetTickCount() - state.resumedAt > kResumeWindowMs) {
        KillTimer(window, IDT_RESUME);
        return;
    }
    if (gAgent.settingsOpen || pollRunning()) {
        return;
    }
    if (state.resumePollStarted && gAgent.internetOk) {
        KillTimer(window, IDT_RESUME);
        return;
    }
    writeLog("Начинается опрос почты.");
    state.resumePollStarted = startReceptionNow(window);
}

// The shell may not take the icon yet (at logon, before the task bar is up):
// the add is tried again on a timer until it is taken. The start's notices
// wait for it.
void keepTrayIconAdded(HWND window, bool added) {
    if (added) {
        KillTimer(window, IDT_TRAY_ADD);
        announceStart(stateOf(window)->trayEvents);
    } else {
        SetTimer(window, IDT_TRAY_ADD, kTrayAddRetryMs, nullptr);
    }
}

LRESULT onTimer(HWND window, WPARAM id) {
    switch (id) {
    case IDT_POLL:
        onPollTimer();
        break;
    case IDT_BLINK:
        onBlinkTimer(window);
        break;
    case IDT_RESUME:
        onResumeTimer(window);
        break;
    case IDT_TRAY_ADD:
        keepTrayIconAdded(window, restoreTrayIcon());
        break;
    default:
        break;
    }
    return 0;
}

// Asks an open viewer to merge and show the fresh mails: its "Новые" tab is
// selected and the tab control's change notification posted as if it came
// from there.
void refreshViewer(NMHDR& refreshNotification) {
    HWND viewer = gAgent.viewerWindow;
    if (!gAgent.viewerOpen || viewer == nullptr) {
        return;
    }
    // The tab control has no id: its own notifications carry 0, the refresh
    // request IDC_VIEWER_TABS.
    HWND tabs = FindWindowExA(viewer, nullptr, WC_TABCONTROLA, nullptr);
    refreshNotification.hwndFrom = tabs;
    refreshNotification.idFrom = IDC_VIEWER_TABS;
    refreshNotification.code = TCN_SELCHANGE;
    if (windowMinimised(viewer)) {
        bringWindowBack(viewer);
    }
    PostMessageA(tabs, TCM_SETCURSEL, 0, 0);
    PostMessageA(viewer, WM_NOTIFY, IDC_VIEWER_TABS, reinterpret_cast<LPARAM>(&refreshNotification));
}

// The end of a poll cycle: the tray's count, the notifications of new mail
// and of a new version, blinking after mail, the viewer's refresh.
LRESULT onPollDone(HWND window, WPARAM outcome, LPARAM received) {
    int count = static_cast<int>(received);
    modifyTrayIcon(count != 0 ? IDI_MAIL : IDI_AGENT, ReceivedTip(count).text);
    announcePollEnd(stateOf(window)->trayEvents, (outcome & kPollBroughtMail) != 0, (outcome & kPollNewVersion) != 0);
    if (outcome & kPollBroughtMail) {
        KillTimer(window, IDT_BLINK);
        if (gAgent.settings.blink != 0) {
            SetTimer(window, IDT_BLINK, kBlinkIntervalMs, nullptr);
        }
        refreshViewer(stateOf(window)->refreshNotification);
    }
    gAgent.blinkCount = 0;
    startAnnouncedPollDue(window);
    return 0;
}

LRESULT onPowerBroadcast(HWND window, WPARAM event) {
    if (event == PBT_APMRESUMEAUTOMATIC || event == PBT_APMRESUMESUSPEND) {
        AgentWindowState& state = *stateOf(window);
        state.resumedAt = GetTickCount();
        state.resumePollStarted = false;
        SetTimer(window, IDT_RESUME, kResumeRetryMs, nullptr);
        wakeMailWatch();
    }
    return TRUE;
}

void deleteServiceFile(const char* name) {
    ServicePath path(name);
    deleteFile(path.text);
}

LRESULT onDestroy(HWND window) {
    if (gAgent.settingsOpen && gAgent.settingsDialog.load() != nullptr) {
        SendMessageA(gAgent.settingsDialog, WM_CLOSE, 0, 0);
    }
    if (gAgent.viewerOpen && gAgent.viewerWindow.load() != nullptr) {
        SendMessageA(gAgent.viewerWindow, WM_CLOSE, 0, 0);
    }
    stopMailWatch(kShutdownWatchWaitMs);
    // A running cycle is asked to stop first, so that it ends between two
    // whole writes instead of being cut off in the middle of one.
    stopPollCycle(kShutdownPollWaitMs);
    // The class icon came from LoadIconA: a shared icon, which the system
    // releases with the module and which must not be destroyed.
    gAgent.classIcon = nullptr;
    deleteServiceFile(kHeaderFile);
    closeEventLog("Агент завершил работу\r\n");
    KillTimer(window, IDT_POLL);
    KillTimer(window, IDT_BLINK);
    KillTimer(window, IDT_RESUME);
    KillTimer(window, IDT_TRAY_ADD);
    removeTrayIcon();
    for (const char* name : {kAgentWindowClass, kViewerWindowClass, kButtonClass, kAlertWindowClass}) {
        UnregisterClassW(WideText(name).get(), gAgent.instance);
    }
    PostQuitMessage(0);
    return 0;
}

// The user logs off or the computer shuts down: the agent ends as its menu's
// "Отключить Агента" ends it, before this message returns, since Windows may
// end the process at any moment after that.
LRESULT onEndSession(HWND window, WPARAM ending) {
    if (ending) {
        DestroyWindow(window);
    }
    return 0;
}

bool isTaskbarCreated(HWND window, UINT message) {
    AgentWindowState* state = stateOf(window);
    return state != nullptr && state->taskbarCreatedMessage != 0 && message == state->taskbarCreatedMessage;
}

} // namespace

LRESULT CALLBACK agentWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_NCCREATE:
        return onNcCreate(window, wParam, lParam);
    case WM_CREATE:
        return onCreate(window);
    case WM_COMMAND:
        return onCommand(window, LOWORD(wParam));
    case WM_TIMER:
        return onTimer(window, wParam);
    case WM_TRAYICON:
        onTrayIconMessage(window, wParam, lParam, stateOf(window)->trayEvents);
        return 0;
    case WM_TRAY_ADD:
        stateOf(window)->trayEvents.startPending = true;
        keepTrayIconAdded(window, addTrayIcon(window));
        return 0;
    case WM_POLL_FETCHING:
        modifyTrayIcon(IDI_POLLING, "Опрос почты. Ждите...");
        return 0;
    case WM_POLL_DONE:
        return onPollDone(window, wParam, lParam);
    case WM_POLL_NOTICE:
        showPollNotice(window, lParam);
        return 0;
    case WM_MAIL_ANNOUNCED:
        onMailAnnounced(window);
        return 0;
    case WM_SETTINGS_CLOSED:
        onSettingsClosed(window);
        return 0;
    case WM_DPICHANGED:
        // The icon is made anew at the small icon size of the new scale.
        modifyTrayIcon(0, nullptr);
        return 0;
    case WM_POWERBROADCAST:
        return onPowerBroadcast(window, wParam);
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        return onEndSession(window, wParam);
    case WM_DESTROY:
        return onDestroy(window);
    case WM_NCDESTROY:
        detachWindowState<AgentWindowState>(window, GWLP_USERDATA);
        return DefWindowProcW(window, message, wParam, lParam);
    default:
        if (isTaskbarCreated(window, message)) {
            keepTrayIconAdded(window, restoreTrayIcon());
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
