#include "retrieval/reception.h"
#include "base/file_names.h"

#include "base/event_log.h"
#include "core/service_paths.h"
#include "retrieval/imap_reception.h"
#include "retrieval/poll_messages.h"
#include "retrieval/pop3_session.h"
#include "retrieval/retrieval_state.h"
#include "retrieval/uid_cache.h"

WalkGuard::~WalkGuard() {
    if (!complete) {
        gRetrieval.markWalkIncomplete(ownersKnown ? &cache : nullptr);
    }
}

bool connectToServer(Pop3Dialogue& s, const MailboxLogin& login) {
    HostAddresses addresses;
    int error = resolveHost(login.server.c_str(), addresses, s.connection.stop());
    if (error != 0) {
        writeLogf("Сервер не найден! Ошибка - %d", error);
        return false;
    }
    writeLogf("Сервер %s обнаружен", login.address.c_str());
    unsigned short port = parsePort(login.port);
    bool noSocket = false;
    error = s.connection.connectTo(addresses, port, noSocket);
    if (error != 0) {
        writeLogf(noSocket ? "Ошибка соединения с Интернет - %d" : "При соединении с сервером возникла ошибка - %d",
                  error);
        return false;
    }
    writeLog("Соединение с сервером установлено");
    return !login.implicitTls || secureConnection(s, login.server.c_str());
}

namespace {

// The mailbox of the account line and its cache file's name. False (logged)
// when the line names no server.
bool readAccount(const char* line, MailboxLogin& login) {
    bool named = readMailboxLine(line, login);
    if (login.portMissing) {
        writeLog("Невозможно прочесть порт из файла MailBox.txt. Заменяем его на 110");
    }
    if (!named) {
        writeLog("Невозможно прочесть имя сервера из файла MailBox.txt.");
    }
    return named;
}

// A cache the walk cannot keep up to date would later misname this mailbox's
// identifiers: it goes.
void dropStaleCache(const std::string& cacheName, WalkGuard& walk) {
    ServicePath stale(cacheName.c_str());
    deleteFile(stale.text);
    walk.ownersKnown = false;
}

// Every message of a mailbox that holds some, then QUIT. Deletions take
// effect with a confirmed QUIT; otherwise the records stay for the next run.
// A stopped session is not asked for more.
void pollMessages(Poll& p, WalkGuard& walk, const std::string& cacheName, ULONGLONG allowance) {
    CommandPipe pipe(p.s, p.pipelined ? kPipelineHalfWindow : 1);
    bool listed = false;
    if (!planPoll(p, pipe, listed)) {
        gRetrieval.restoreDeletions();
        return;
    }
    if (!listed && walk.ownersKnown && !gPop3ForceWalk) {
        dropStaleCache(cacheName, walk);
    }
    std::string cacheText;
    bool finished = handleMessages(p, pipe, allowance, listed ? &cacheText : nullptr);
    if (finished && !p.deletions.empty()) {
        carryOutDeletions(p.s, p.deletions, kPipelineHalfWindow);
    }
    if (listed) {
        // The listing was complete: the cache now holds its messages. For
        // this run the old one still names the mailbox's identifiers: those
        // it reads for the first time are among the identifiers seen.
        saveUidCache(cacheName, cacheText);
    }
    bool confirmed = finished && !pop3Cancelled() && sayGoodbye(p.s);
    if (confirmed) {
        gRetrieval.commitDeletions();
    } else {
        gRetrieval.restoreDeletions();
    }
    walk.complete = p.walkedAll;
}

} // namespace

int runReception(Pop3Dialogue& s, WalkGuard& walk, HANDLE headerFile) {
    MailboxLogin login;
    if (!readAccount(s.text(), login)) {
        return 0;
    }
    const std::string aliasLine = "Psevdo:" + login.alias + "\r\n";
    // The mailbox's unique-id cache, read before anything can fail: a
    // session that stops short keeps the identifiers it names.
    const std::string cacheName = uidCacheFileName(login.address, login.server);
    walk.ownersKnown = loadUidCache(cacheName, walk.cache);

    if (!connectToServer(s, login)) {
        return 0;
    }
    if (login.protocol == MailProtocol::Imap) {
        return runImapReception(s, walk, headerFile, login, cacheName);
    }
    std::string statReply;
    Pop3Capabilities caps;
    int count = 0;
    if (!loginDialogue(s, login.server.c_str(), login.address, login.password, statReply, caps) ||
        statReply[0] != '+' || !parseStatCount(statReply.c_str(), count)) {
        return 0;
    }
    ULONGLONG allowance = sessionAllowanceMs(gNetTimeouts.sessionBaseMs, gNetTimeouts.sessionPerMessageMs,
                                             gNetTimeouts.sessionPerMiBMs, count, parseStatOctets(statReply.c_str()));
    s.connection.setDeadline(s.start + allowance);
    if (count < 1) {
        writeLog(aliasLine.c_str());
        writeLog("0\r\n");
        if (walk.ownersKnown && !walk.cache.empty()) {
            saveUidCache(cacheName, std::string()); // nothing left to name
        }
        walk.complete = true;
        return 1;
    }
    bool pipelined = caps.pipelining && !gPop3ForceWalk;
    Poll p{s, login, aliasLine, walk.cache, headerFile, caps, count, pipelined, {}, {}, true};
    p.plans.resize(static_cast<size_t>(count));
    pollMessages(p, walk, cacheName, allowance);
    return 1;
}
