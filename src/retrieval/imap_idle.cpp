#include "retrieval/imap_idle.h"

#include "base/event_log.h"
#include "retrieval/imap_login.h"
#include "retrieval/imap_mailbox.h"
#include "retrieval/reception.h"

IdleTimings gIdleTimings;

namespace {

// Room for the short text of a failure (the dialogue's buffer).
constexpr size_t kShortTextCapacity = 128;
constexpr char kDone[] = "DONE\r\n";
// An IDLE the server ends sooner than this is no IDLE to begin again at once.
constexpr ULONGLONG kShortestIdleMs = 1000;

// One IDLE connection: its session, the count of INBOX as the server last
// reported it, and what to call when it grows.
struct Idle {
    ImapSession& m;
    const MailboxLogin& login;
    HANDLE wake;
    const MailArrived& arrived;
    uint32_t exists = 0;
    std::string tag; // of the IDLE command in progress
};

// Takes in an untagged response: a count above the last one tells of a new
// message, an expunge lowers it. False at the server's BYE.
bool takeUntagged(Idle& idle, const ImapResponse& r) {
    if (r.data == ImapData::Exists) {
        bool grew = r.number > idle.exists;
        idle.exists = r.number;
        if (grew) {
            writeLogf("Сервер сообщил о новом письме в ящике %s", idle.login.alias.c_str());
            idle.arrived();
        }
    } else if (r.data == ImapData::Expunge && idle.exists > 0) {
        idle.exists--;
    }
    return r.status != ImapStatus::Bye;
}

// Reads one response. The server's reports that it is still there come
// every few minutes and stay out of the log; the rest of its status
// responses and every tagged one go in. Returns 0 or the error.
int readIdleResponse(Idle& idle, ImapResponse& r) {
    ImapFramed framed;
    int error = idle.m.s.connection.receiveImapResponse(framed);
    if (error != 0) {
        if (!idle.m.s.connection.stop().requested()) {
            writeLogf("Ошибка при приеме данных: %d", error);
        }
        return error;
    }
    r = parseImapResponse(framed);
    if (r.kind == ImapKind::Malformed) {
        writeLogf("Ответ сервера не разобран: %s", r.text.c_str());
        return kImapMalformedResponse;
    }
    bool routine = r.kind == ImapKind::Untagged && r.status == ImapStatus::Ok;
    if (r.kind == ImapKind::Tagged || (r.data == ImapData::Status && !routine)) {
        writeLog(loggableResponse(framed).c_str());
    }
    return 0;
}

// Sends a line of the IDLE dialogue, logged.
bool sendLine(Idle& idle, const std::string& line) {
    idle.m.s.logCommand(line);
    int error = idle.m.s.connection.sendText(line);
    if (error != 0 && !idle.m.s.connection.stop().requested()) {
        writeLogf("Ошибка при передаче данных: %d", error);
    }
    return error == 0;
}

IdleEnd broken(const Idle& idle) {
    return idle.m.s.connection.stop().requested() ? IdleEnd::Stopped : IdleEnd::Broken;
}

// IDLE up to the server's continuation request: true once the server is in
// IDLE, else end says why not. A server that refuses IDLE (although it
// offers it) is left to the timer.
bool beginIdle(Idle& idle, IdleEnd& end) {
    ImapCommandParts command = idle.m.command("IDLE");
    idle.tag = command.front().substr(0, command.front().find(' '));
    end = IdleEnd::Broken;
    if (!sendLine(idle, command.front())) {
        end = broken(idle);
        return false;
    }
    for (;;) {
        ImapResponse r;
        if (readIdleResponse(idle, r) != 0) {
            end = broken(idle);
            return false;
        }
        if (r.kind == ImapKind::Continuation) {
            return true;
        }
        if (r.kind == ImapKind::Tagged && r.tag == idle.tag) {
            end = IdleEnd::NoIdle;
            return false;
        }
        if (r.kind == ImapKind::Untagged && !takeUntagged(idle, r)) {
            return false;
        }
    }
}

// DONE, and the responses up to IDLE's tagged one, each within waitMs.
// True when the server ended IDLE.
bool endIdle(Idle& idle, DWORD waitMs) {
    if (!sendLine(idle, kDone)) {
        return false;
    }
    for (;;) {
        ImapResponse r;
        if (idle.m.s.connection.waitForData(waitMs) != 0 || readIdleResponse(idle, r) != 0) {
            return false;
        }
        if (r.kind == ImapKind::Tagged && r.tag == idle.tag) {
            return true;
        }
        if (r.kind == ImapKind::Untagged && !takeUntagged(idle, r)) {
            return false;
        }
    }
}

// The server ended IDLE without a DONE. After a while in IDLE (a server's
// own limit) IDLE begins anew; a refusal leaves the mailbox to the timer,
// and an end at once makes a new connection after a pause rather than a
// busy loop of IDLE commands.
IdleEnd serverEndedIdle(const ImapResponse& r, ULONGLONG began, bool& again) {
    if (r.status != ImapStatus::Ok) {
        return IdleEnd::NoIdle;
    }
    again = GetTickCount64() - began >= kShortestIdleMs;
    return IdleEnd::Broken;
}

// One IDLE command from its start to its end: what the server reports is
// taken in until the time to renew it (or until a wake, when the server must
// answer DONE quickly to prove the connection alive). Again tells that the
// connection may go on with the next IDLE.
IdleEnd idleOnce(Idle& idle, bool& idled, bool& again) {
    again = false;
    IdleEnd end = IdleEnd::Broken;
    if (!beginIdle(idle, end)) {
        return end;
    }
    idled = true;
    const ULONGLONG began = GetTickCount64();
    const ULONGLONG renewAt = began + gIdleTimings.renewMs;
    for (;;) {
        ULONGLONG now = GetTickCount64();
        DWORD left = now < renewAt ? static_cast<DWORD>(renewAt - now) : 0;
        int waited = idle.m.s.connection.waitForData(left, idle.wake);
        if (waited == WSAETIMEDOUT || waited == kWaitWoken) {
            bool woken = waited == kWaitWoken;
            again = endIdle(idle, woken ? gIdleTimings.wakeCheckMs : gNetTimeouts.receiveMs);
            return again ? IdleEnd::Broken : woken ? IdleEnd::Woken : broken(idle);
        }
        ImapResponse r;
        if (waited != 0 || readIdleResponse(idle, r) != 0) {
            return broken(idle);
        }
        if (r.kind == ImapKind::Tagged && r.tag == idle.tag) {
            return serverEndedIdle(r, began, again);
        }
        if (r.kind == ImapKind::Untagged && !takeUntagged(idle, r)) {
            return IdleEnd::Broken;
        }
    }
}

// Why a connection that did not reach IDLE ended.
IdleEnd failed(const Pop3Dialogue& s) {
    if (s.connection.stop().requested()) {
        return IdleEnd::Stopped;
    }
    const char* why = s.failure();
    bool refused = why == kNotRecognised || why == kBadCertificate || why == kNoSecureLink;
    return refused ? IdleEnd::Refused : IdleEnd::Broken;
}

} // namespace

IdleEnd idleOnMailbox(const MailboxLogin& login, ConnectionStop& stop, HANDLE wake, const MailArrived& arrived,
                      bool& idled) {
    idled = false;
    SocketLibrary library;
    if (!library.started()) {
        writeLog("Ошибка! Невозможно подключиться к Интернет");
        return IdleEnd::Broken;
    }
    char shortText[kShortTextCapacity] = "";
    Pop3Dialogue s(false, shortText, sizeof shortText, stop);
    writeLogf("Ящик %s: соединение для уведомлений о новой почте (IDLE)", login.alias.c_str());
    if (!connectToServer(s, login)) {
        return failed(s);
    }
    ImapSession m(s);
    if (!imapLogin(m, login.server.c_str(), login.address, login.password)) {
        return failed(s);
    }
    if (!m.offers("IDLE")) {
        writeLogf("Сервер %s не предлагает IDLE: ящик %s проверяется по расписанию", login.server.c_str(),
                  login.alias.c_str());
        imapLogout(m);
        return IdleEnd::NoIdle;
    }
    ImapInbox inbox;
    if (!openInbox(m, "EXAMINE", inbox)) {
        return failed(s);
    }
    Idle idle{m, login, wake, arrived, inbox.exists, {}};
    for (;;) {
        bool again = false;
        IdleEnd end = idleOnce(idle, idled, again);
        if (!again) {
            if (end == IdleEnd::NoIdle) {
                writeLogf("Сервер %s отказал в IDLE: ящик %s проверяется по расписанию", login.server.c_str(),
                          login.alias.c_str());
            }
            return end;
        }
    }
}
