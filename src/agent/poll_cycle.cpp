#include "agent/poll_cycle.h"

#include "core/agent_state.h"
#include "core/newest_mail.h"
#include "core/program_names.h"
#include "core/service_paths.h"
#include "base/file_io.h"
#include "store/line_reader.h"
#include "store/mail_line.h"
#include "base/event_log.h"
#include "core/settings_file.h"
#include "agent/agent_window.h"
#include "agent/version_file.h"
#include "base/internet.h"
#include "base/text.h"
#include "resources/resource.h"
#include "retrieval/pop3_connection.h"
#include "retrieval/retrieval_run.h"
#include "telegram/telegram.h"

#include <wininet.h>

#include <cstring>

namespace {

constexpr size_t kVersionFileCapacity = 260;
constexpr DWORD kUndoPauseMs = 2000;

// The last cycle's thread, for the shutdown's wait; UI thread only.
UniqueHandle lastCycle;

// The thread leaves the fetching phase: from here on no poll counts as
// running. The thread closes its own handle.
void endFetching() {
    UniqueHandle self(gAgent.pollThread.exchange(nullptr));
}

// The notification of new mail names the newest one: the last record of
// GetMail.txt, which the run has just appended to and which no other thread
// touches before this one's fetching ends.
void recordRunMail(int count) {
    ServicePath path(kFreshMailFile);
    FileImage image;
    MailRecord record = {};
    if (readFileImage(path.text, FILE_SHARE_READ, image).ok() && image.size != 0) {
        LineReader lines(image.text(), image.size);
        const char* line = nullptr;
        size_t length = 0;
        const char* last = nullptr;
        size_t lastLength = 0;
        while (lines.next(line, length)) {
            last = line;
            lastLength = length;
        }
        if (last != nullptr) {
            parseMailLine(last, lastLength, record);
        }
    }
    recordNewestMail(count, record.sender, record.subject);
}

enum class Connection {
    None,         // neither the update server nor the system knows of one
    System,       // the update server is silent, the system has a network
    UpdateServer, // the update server answered
};

// The system's own view: a LAN, modem or proxy connection that is up.
bool systemHasNetwork() {
    DWORD flags = 0;
    if (!InternetGetConnectedState(&flags, 0)) {
        return false;
    }
    DWORD kinds = INTERNET_CONNECTION_LAN | INTERNET_CONNECTION_MODEM | INTERNET_CONNECTION_PROXY;
    return (flags & kinds) != 0 && (flags & INTERNET_CONNECTION_OFFLINE) == 0;
}

// The announcement is what the server offers now: a version above the
// program's own with its size and hash, or nothing (the program's own
// version). An offer withdrawn on the server is withdrawn here too, so that
// no number once announced stands in the way of the real updates after it.
// True when a newer version than the one known before is offered.
bool recordAnnouncement(const VersionFile& file) {
    SettingsValues& settings = gAgent.settings;
    bool offered = file.version > kProgramVersion;
    int version = offered ? file.version : kProgramVersion;
    int size = offered && file.hasSize && file.size > kMinVersionSize ? file.size : 0;
    const char* hash = offered ? file.hash : "";
    bool newVersion = version != settings.newVersion;
    bool changed = newVersion || size != settings.versionSize || strcmp(hash, settings.versionHash) != 0;
    settings.newVersion = version;
    settings.versionSize = size;
    copyText(settings.versionHash, sizeof settings.versionHash, hash);
    // Without an offer the size and hash mean nothing: only a withdrawn
    // version is worth writing.
    if (!changed || (!offered && !newVersion)) {
        return false;
    }
    if (!offered) {
        writeLog("Сервер больше не предлагает новую версию.");
    } else {
        if (newVersion) {
            writeLogf("Новая версия на сайте = %d", version);
        }
        if (file.hasSize) {
            writeLogf("Файл обновления имеет размер = %d", size);
        }
        if (hash[0] != '\0') {
            writeLogf("Контрольная сумма SHA-256 файла обновления = %s", hash);
        }
    }
    saveAnnouncedVersion();
    return offered && newVersion;
}

// The version file as the update server gave it, fetched when the cycle
// starts and announced once the mail is in.
struct VersionReply {
    bool sessionOpened = false;
    HttpResult reply;
    char text[kVersionFileCapacity + 1] = {};
};

void fetchVersionFile(VersionReply& version) {
    InternetSession session;
    version.sessionOpened = session.opened();
    if (!version.sessionOpened) {
        return;
    }
    char url[kServerUrlCapacity + 16];
    formatText(url, sizeof url, "%sver.dat", gAgent.settings.updateServer);
    version.reply = httpGet(session, url, version.text, kVersionFileCapacity);
}

// The GET of the version file is the connection test: it goes the way the
// user's proxy settings send it, where a bare connection check would not.
// Any answer of the server proves the connection, a missing file or a
// redirect that leads nowhere too; a gateway's report that it could not
// reach the server does not. When the server does not answer (it may be
// down, or unknown where the compiled-in server is not reachable), the
// system's view decides, and each mail server then answers for itself.
Connection checkConnection(const VersionReply& version) {
    const HttpResult& reply = version.reply;
    bool answered = version.sessionOpened && reply.status != 0 && reply.status != HTTP_STATUS_BAD_GATEWAY &&
                    reply.status != HTTP_STATUS_GATEWAY_TIMEOUT;
    if (answered) {
        return Connection::UpdateServer;
    }
    return systemHasNetwork() ? Connection::System : Connection::None;
}

// Logs what the version file holds and records what it offers. True when it
// offers a version newer than the one known before.
bool announceVersionFile(VersionReply& version) {
    if (!version.sessionOpened) {
        writeLog("Затрудняюсь открыть Интернет-сессию для опроса новой версии.");
        return false;
    }
    const HttpResult& reply = version.reply;
    // A server's error page is no version file either.
    if (reply.error != 0 || reply.status < 200 || reply.status > 299) {
        writeLog("Затрудняюсь соединиться с сервером для опроса новой версии.");
        return false;
    }
    VersionFile file = parseVersionFile(version.text, reply.size);
    if (!file.valid) {
        writeLog("Неверный файл номера новой версии на сервере!");
        return false;
    }
    version.text[reply.size] = '\0';
    writeLogf("Принят файл ver.dat с содержимым: %s", version.text);
    return recordAnnouncement(file);
}

} // namespace

bool checkProgramVersion() {
    VersionReply version;
    fetchVersionFile(version);
    return announceVersionFile(version);
}

DWORD WINAPI pollCycleThread(void*) {
    gAgent.internetOk = 0;
    bool reception = gAgent.pollMode == 1;
    VersionReply version;
    fetchVersionFile(version);
    Connection connection = checkConnection(version);
    if (connection == Connection::None) {
        writeLog("Поток опроса почты - Нет соединения с Интернет!");
        endFetching();
        return 0;
    }
    if (connection == Connection::System) {
        writeLog("Поток опроса почты - Сервер обновлений не отвечает, опрос почты продолжается.");
    }
    gAgent.internetOk = 1;

    // The tray belongs to the agent window's thread: this one asks it by
    // posted messages, which arrive in the order they were posted.
    HWND agent = gAgent.agentWindow;
    if (reception) {
        PostMessageA(agent, WM_POLL_FETCHING, 0, 0);
        telegramRun();
        if (gAgent.undoInProgress) {
            Sleep(kUndoPauseMs);
        }
    }
    retrievalRun();
    if (reception && gAgent.runNewMailCount != 0) {
        recordRunMail(gAgent.runNewMailCount);
    }

    endFetching();
    // A mailbox test brings no mail: the counters, the blinking and the
    // viewer stay as the last reception left them.
    if (reception) {
        gAgent.receivedCount += gAgent.runNewMailCount;
    }

    // The version file was fetched as the connection test: it is announced
    // now, after the mail, and the server is not asked a second time.
    WPARAM outcome = announceVersionFile(version) ? kPollNewVersion : 0;
    outcome |= reception && gAgent.runNewMailCount != 0 ? kPollBroughtMail : 0;
    PostMessageA(agent, WM_POLL_DONE, outcome, gAgent.receivedCount);
    writeLog("Поток опроса почты завершился");
    return 0;
}

UniqueHandle startPollCycle() {
    resetPop3Cancel();
    resetHttpCancel();
    HANDLE thread = CreateThread(nullptr, 0, pollCycleThread, nullptr, CREATE_SUSPENDED, nullptr);
    if (thread == nullptr) {
        return UniqueHandle();
    }
    // The handle is stored before the thread can clear it.
    gAgent.pollThread = thread;
    HANDLE process = GetCurrentProcess();
    HANDLE forCaller = nullptr;
    HANDLE forShutdown = nullptr;
    DuplicateHandle(process, thread, process, &forCaller, SYNCHRONIZE, FALSE, 0);
    DuplicateHandle(process, thread, process, &forShutdown, SYNCHRONIZE, FALSE, 0);
    lastCycle.reset(forShutdown);
    ResumeThread(thread);
    return UniqueHandle(forCaller);
}

bool pollRunning() {
    return gAgent.pollThread.load() != nullptr;
}

bool startReception() {
    gAgent.pollMode = 1;
    gAgent.testParams[0] = '\0';
    gAgent.testFlag = 0;
    return static_cast<bool>(startPollCycle());
}

HANDLE lastPollCycle() {
    return lastCycle.get();
}

bool stopPollCycle(DWORD timeoutMs) {
    if (!lastCycle) {
        return true;
    }
    if (WaitForSingleObject(lastCycle.get(), 0) == WAIT_OBJECT_0) {
        lastCycle.reset();
        return true;
    }
    cancelPop3Session();
    cancelHttpRequests();
    bool ended = WaitForSingleObject(lastCycle.get(), timeoutMs) == WAIT_OBJECT_0;
    if (ended) {
        lastCycle.reset();
    }
    return ended;
}
