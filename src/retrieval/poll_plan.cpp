#include "retrieval/poll_plan.h"

#include "base/event_log.h"
#include "base/text.h"
#include "retrieval/pop3_session.h"
#include "retrieval/retrieval_state.h"

#include <unordered_map>

namespace {

// Longest UIDL or LIST listing taken (a million messages or so).
constexpr size_t kListingKeepLimit = 48 * 1024 * 1024;

// The reply to a UIDL or LIST command without argument, its lines by
// message. Returns 0 (lines empty when the reply was negative or not of
// that form) or the error of the exchange.
int readListing(Poll& p, CommandPipe& pipe, size_t command, std::vector<std::string>& lines) {
    lines.clear();
    int error = pipe.ready(command);
    if (error != 0) {
        writeLogf("Ошибка при передаче данных: %d", error);
        return error;
    }
    std::string reply;
    error = p.s.connection.receiveLine(reply);
    if (error == 0) {
        writeLog(reply.c_str());
        if (reply[0] != '+') {
            return 0;
        }
        std::string text;
        bool cut = false;
        error = p.s.connection.receiveMultiline(text, cut, kListingKeepLimit);
        if (error == 0) {
            if (cut || !parseListing(text.data(), text.size(), p.count, lines)) {
                writeLog("Список писем сервера не разобран: заголовки писем будут прочтены по одному");
                lines.clear();
            }
            return 0;
        }
    }
    pipe.broke(error);
    writeLogf("Ошибка при приеме данных: %d", error);
    return error;
}

// The unique ids of a UIDL listing by message; a unique id the listing gives
// twice is left out for both.
std::vector<std::string> usableUids(const std::vector<std::string>& uidLines) {
    std::unordered_map<std::string, int> uses;
    std::vector<std::string> uids(uidLines.size());
    for (size_t i = 0; i < uidLines.size(); i++) {
        uids[i] = listingUid(uidLines[i]);
        if (!uids[i].empty()) {
            uses[uids[i]]++;
        }
    }
    for (std::string& uid : uids) {
        if (!uid.empty() && uses[uid] != 1) {
            uid.clear();
        }
    }
    return uids;
}

// The plan of a poll by unique ids: a message whose unique id the cache
// knows, with the size it had, is identified without its header when that
// identifier is to be deleted or is known; every other one gets TOP.
void planByUniqueIds(Poll& p, CommandPipe& pipe, const std::vector<std::string>& uidLines,
                     const std::vector<std::string>& sizeLines) {
    std::vector<std::string> uids = usableUids(uidLines);
    char command[32];
    for (int n = 1; n <= p.count; n++) {
        MessagePlan& m = p.plans[static_cast<size_t>(n - 1)];
        const std::string& sizeLine = sizeLines[static_cast<size_t>(n - 1)];
        m.size = sizeLine.empty() ? 0.0 : parseListSize(sizeLine.c_str());
        m.uid = uids[static_cast<size_t>(n - 1)];
        if (!m.uid.empty() && identifiedByCache(p.cache, m)) {
            continue;
        }
        formatText(command, sizeof command, "TOP %d 0\r\n", n);
        m.topCommand = pipe.add(command);
    }
}

// The walk: LIST n and TOP n 0 for every message.
void planWalk(Poll& p, CommandPipe& pipe) {
    char command[32];
    for (int n = 1; n <= p.count; n++) {
        MessagePlan& m = p.plans[static_cast<size_t>(n - 1)];
        formatText(command, sizeof command, "LIST %d\r\n", n);
        m.listCommand = pipe.add(command);
        formatText(command, sizeof command, "TOP %d 0\r\n", n);
        m.topCommand = pipe.add(command);
    }
}

} // namespace

bool identifiedByCache(const UidCache& cache, MessagePlan& m) {
    auto hit = cache.find(m.uid);
    if (hit == cache.end() || hit->second.size != cacheSizeText(m.size)) {
        return false;
    }
    const std::string& id = hit->second.id;
    if ((gRetrieval.deletionListLoaded && gRetrieval.findDeletion(id.c_str()) >= 0) || gRetrieval.isKnown(id.c_str())) {
        m.fromCache = true;
        m.cachedId = &id;
        return true;
    }
    return false;
}

bool planPoll(Poll& p, CommandPipe& pipe, bool& listed) {
    listed = false;
    if (p.caps.uidl && !gPop3ForceWalk) {
        // Both listings at once where the server allows it.
        CommandPipe listings(p.s, p.pipelined ? 2 : 1);
        size_t uidl = listings.add("UIDL\r\n");
        size_t list = listings.add("LIST\r\n");
        std::vector<std::string> uidLines, sizeLines;
        if (readListing(p, listings, uidl, uidLines) != 0 || readListing(p, listings, list, sizeLines) != 0) {
            return false;
        }
        listed = !uidLines.empty() && !sizeLines.empty();
        if (listed) {
            planByUniqueIds(p, pipe, uidLines, sizeLines);
        }
    }
    if (!listed) {
        planWalk(p, pipe);
    }
    return true;
}
