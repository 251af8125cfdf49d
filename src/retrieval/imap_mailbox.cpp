#include "retrieval/imap_mailbox.h"

#include "base/event_log.h"
#include "retrieval/retrieval_state.h"

#include <algorithm>

namespace {

bool confirmed(const ImapResponse& r) {
    return r.kind == ImapKind::Tagged && r.status == ImapStatus::Ok;
}

// One command whose tagged response must be OK; false when it is not or the
// connection failed.
bool runConfirmed(ImapSession& m, const std::string& text, const ImapUntagged& untagged = nullptr) {
    ImapResponse done;
    return imapCommand(m, m.command(text), untagged, done) == 0 && confirmed(done);
}

// Marks the records of deletions pending again, with the log line of each.
void reportDeletions(const std::vector<PendingDeletion>& deletions, bool done) {
    for (const PendingDeletion& d : deletions) {
        if (done) {
            writeLogf("Письмо с ID=%s удалено с сервера.", d.id.c_str());
        } else {
            writeLogf("Письмо с ID=%s не удалено с сервера!", d.id.c_str());
            gRetrieval.unmarkDeleted(d.index);
        }
    }
}

} // namespace

bool openInbox(ImapSession& m, const char* verb, ImapInbox& inbox) {
    inbox = ImapInbox();
    auto take = [&inbox](const ImapResponse& r) {
        if (r.data == ImapData::Exists) {
            inbox.exists = r.number;
        } else if (r.hasCode && r.code.name == "UIDVALIDITY" && r.code.hasNumber) {
            inbox.uidValidity = r.code.number;
        }
    };
    if (!runConfirmed(m, std::string(verb) + " INBOX", take)) {
        writeLog("Сервер не открыл папку входящих писем (INBOX).");
        return false;
    }
    return true;
}

bool listMessages(ImapSession& m, std::vector<ImapMessage>& list) {
    list.clear();
    auto take = [&list](const ImapResponse& r) {
        if (r.data == ImapData::Fetch && r.fetch.uid != 0 && r.fetch.hasSize) {
            list.push_back({r.fetch.uid, r.fetch.size});
        }
    };
    if (!runConfirmed(m, "UID FETCH 1:* (UID RFC822.SIZE)", take)) {
        writeLog("Список писем сервера не получен.");
        list.clear();
        return false;
    }
    std::sort(list.begin(), list.end(), [](const ImapMessage& a, const ImapMessage& b) { return a.uid < b.uid; });
    list.erase(std::unique(list.begin(), list.end(),
                           [](const ImapMessage& a, const ImapMessage& b) { return a.uid == b.uid; }),
               list.end());
    return true;
}

bool fetchHeaders(ImapSession& m, const std::vector<uint32_t>& wanted, size_t batch, ImapHeaders& headers) {
    headers.clear();
    size_t first = batch * kHeaderBatch;
    size_t last = std::min(wanted.size(), first + kHeaderBatch);
    if (first >= last) {
        return true;
    }
    std::vector<uint32_t> uids(wanted.begin() + static_cast<ptrdiff_t>(first),
                               wanted.begin() + static_cast<ptrdiff_t>(last));
    auto take = [&headers](const ImapResponse& r) {
        if (r.data == ImapData::Fetch && r.fetch.hasHeader && !r.fetch.headerNil) {
            headers[r.fetch.uid] = {pop3StyleHeader(r.fetch.header), r.fetch.headerCut};
        }
    };
    for (const std::string& set : imapUidSets(uids, kUidSetLength, kHeaderBatch)) {
        ImapResponse done;
        if (imapCommand(m, m.command("UID FETCH " + set + " (UID RFC822.SIZE BODY.PEEK[HEADER])"), take, done) != 0) {
            return false;
        }
        if (!confirmed(done)) {
            writeLog("Отрицательный ответ Сервера на запрос заголовка письма:");
        }
    }
    return true;
}

bool deleteMessages(ImapSession& m, const std::vector<PendingDeletion>& deletions, const std::vector<ImapMessage>& list,
                    uint32_t uidValidity) {
    std::vector<uint32_t> uids;
    for (const PendingDeletion& d : deletions) {
        uids.push_back(list[static_cast<size_t>(d.n - 1)].uid);
    }
    std::sort(uids.begin(), uids.end());
    ImapInbox inbox;
    if (!openInbox(m, "SELECT", inbox) || inbox.uidValidity != uidValidity) {
        reportDeletions(deletions, false);
        return false;
    }
    std::vector<std::string> sets = imapUidSets(uids, kUidSetLength, SIZE_MAX);
    bool done = true;
    for (const std::string& set : sets) {
        done = done && runConfirmed(m, "UID STORE " + set + " +FLAGS.SILENT (\\Deleted)");
    }
    // UID EXPUNGE comes with UIDPLUS, and is part of IMAP4rev2 itself.
    if (done && (m.offers("UIDPLUS") || m.offers("IMAP4REV2"))) {
        for (const std::string& set : sets) {
            done = done && runConfirmed(m, "UID EXPUNGE " + set);
        }
    } else if (done) {
        done = runConfirmed(m, "EXPUNGE");
    }
    reportDeletions(deletions, done);
    return done;
}
