#include "retrieval/imap_reception.h"

#include "base/event_log.h"
#include "retrieval/imap_login.h"
#include "retrieval/imap_mailbox.h"
#include "retrieval/poll_messages.h"
#include "retrieval/retrieval_state.h"
#include "retrieval/uid_cache.h"

#include <algorithm>
#include <climits>

namespace {

// The message loop's state beyond the shared poll: the listing, and the
// headers of the batch in hand.
struct ImapPoll {
    ImapSession& m;
    Poll& p;
    const std::vector<ImapMessage>& list;
    std::vector<uint32_t> wanted; // UIDs whose header is needed, ascending
    size_t batch = SIZE_MAX;      // the batch whose headers are in hand
    ImapHeaders headers;
    bool broken = false; // the connection failed: nothing more is asked
};

// The header of message n (its plan names its batch), fetching its batch
// first. False when the server did not give it.
bool headerOf(ImapPoll& q, int n, const MessagePlan& m, std::string& header) {
    if (q.batch != m.topCommand && !q.broken) {
        q.batch = m.topCommand;
        q.broken = !fetchHeaders(q.m, q.wanted, q.batch, q.headers);
    }
    uint32_t uid = q.list[static_cast<size_t>(n - 1)].uid;
    auto hit = q.headers.find(uid);
    if (hit == q.headers.end()) {
        if (!q.broken) {
            writeLogf("Сервер не выдал заголовок письма %d (UID %u)", n, static_cast<unsigned>(uid));
        }
        return false;
    }
    if (hit->second.cut) {
        writeLogf("Заголовок письма %d длиннее %u байт: сохранено его начало", n,
                  static_cast<unsigned>(kHeaderKeepLimit));
    }
    header.swap(hit->second.text);
    q.headers.erase(hit);
    return true;
}

// Message n by its plan; false when it was not handled to its end.
bool handleMessage(ImapPoll& q, int n, MessagePlan& m, std::string& cacheText) {
    if (m.topCommand != SIZE_MAX) {
        std::string header;
        if (!headerOf(q, n, m, header)) {
            return false;
        }
        std::string id = identifierOf(header);
        cacheText += formatUidCacheLine(m.uid, m.size, id);
        return settleMessage(q.p, n, m, id, &header);
    }
    cacheText += formatUidCacheLine(m.uid, m.size, *m.cachedId);
    return settleMessage(q.p, n, m, *m.cachedId, nullptr);
}

// Every message in the order of its sequence number. False when the poll
// was stopped (cancelled or overdue).
bool handleMessages(ImapPoll& q, ULONGLONG allowance, std::string& cacheText) {
    Poll& p = q.p;
    for (int n = 1; n <= p.count; n++) {
        if (pop3Cancelled()) {
            writeLog("Приём почты прерван: агент завершает работу.");
            p.walkedAll = false;
            return false;
        }
        MessagePlan& m = p.plans[static_cast<size_t>(n - 1)];
        if (!handleMessage(q, n, m, cacheText)) {
            keepCachedLine(p, m, &cacheText);
        }
        if (overdue(p, n, allowance)) {
            return false;
        }
    }
    return true;
}

// The plan: a message the cache names as known or to delete needs no
// header; the others are fetched in batches of kHeaderBatch.
void planMessages(ImapPoll& q, uint32_t uidValidity) {
    Poll& p = q.p;
    for (size_t i = 0; i < q.list.size(); i++) {
        MessagePlan& m = p.plans[i];
        m.size = static_cast<double>(q.list[i].size);
        m.uid = imapCacheKey(uidValidity, q.list[i].uid);
        if (!identifiedByCache(p.cache, m)) {
            m.topCommand = q.wanted.size() / kHeaderBatch;
            q.wanted.push_back(q.list[i].uid);
        }
    }
}

// The messages of a mailbox that holds some; deletions once every message
// was handled. Deletions count once the server confirmed their expunge.
void pollMessages(ImapSession& m, Poll& p, const std::vector<ImapMessage>& list, const ImapInbox& inbox,
                  const std::string& cacheName, ULONGLONG allowance, WalkGuard& walk) {
    ImapPoll q{m, p, list, {}, SIZE_MAX, {}, false};
    planMessages(q, inbox.uidValidity);
    std::string cacheText;
    bool finished = handleMessages(q, allowance, cacheText) && !q.broken;
    // The listing was complete: the cache now holds its messages.
    saveUidCache(cacheName, cacheText);
    bool confirmed = false;
    if (finished && !p.deletions.empty() && !pop3Cancelled()) {
        confirmed = deleteMessages(m, p.deletions, list, inbox.uidValidity);
    }
    if (confirmed) {
        gRetrieval.commitDeletions();
    } else {
        gRetrieval.restoreDeletions();
    }
    // A session stopped short is not asked for more.
    if (finished && !pop3Cancelled()) {
        imapLogout(m);
    }
    walk.complete = p.walkedAll && finished;
}

} // namespace

int runImapReception(Pop3Dialogue& s, WalkGuard& walk, HANDLE headerFile, const MailboxLogin& login,
                     const std::string& cacheName) {
    const std::string aliasLine = "Psevdo:" + login.alias + "\r\n";
    ImapSession m(s);
    ImapInbox inbox;
    std::vector<ImapMessage> list;
    if (!imapLogin(m, login.server.c_str(), login.address, login.password) || !openInbox(m, "EXAMINE", inbox)) {
        return 0;
    }
    // The listing gets the time of the count; the headers that of the sizes too.
    int exists = static_cast<int>(std::min<uint32_t>(inbox.exists, INT_MAX));
    s.connection.setDeadline(s.start + sessionAllowanceMs(gNetTimeouts.sessionBaseMs, gNetTimeouts.sessionPerMessageMs,
                                                          gNetTimeouts.sessionPerMiBMs, exists, 0));
    if (inbox.exists > 0 && !listMessages(m, list)) {
        return 1;
    }
    if (list.empty()) {
        writeLog(aliasLine.c_str());
        writeLog("0\r\n");
        if (walk.ownersKnown && !walk.cache.empty()) {
            saveUidCache(cacheName, std::string()); // nothing left to name
        }
        walk.complete = true;
        imapLogout(m);
        return 1;
    }
    uint64_t octets = 0;
    for (const ImapMessage& message : list) {
        octets += message.size;
    }
    int count = static_cast<int>(list.size());
    ULONGLONG allowance = sessionAllowanceMs(gNetTimeouts.sessionBaseMs, gNetTimeouts.sessionPerMessageMs,
                                             gNetTimeouts.sessionPerMiBMs, count, octets);
    s.connection.setDeadline(s.start + allowance);
    static const Pop3Capabilities kNoPop3Capabilities;
    // Pipelined: deletions wait in p.deletions for the end of the walk.
    Poll p{s, login, aliasLine, walk.cache, headerFile, kNoPop3Capabilities, count, true, {}, {}, true};
    p.plans.resize(list.size());
    pollMessages(m, p, list, inbox, cacheName, allowance, walk);
    return 1;
}
