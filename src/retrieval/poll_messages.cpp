#include "retrieval/poll_messages.h"

#include "base/event_log.h"
#include "base/text.h"
#include "retrieval/header_identifier.h"
#include "retrieval/retrieval_state.h"

namespace {

bool writeBlock(HANDLE file, const std::string& block) {
    DWORD written = 0;
    return WriteFile(file, block.data(), static_cast<DWORD>(block.size()), &written, nullptr) &&
           written == block.size();
}

} // namespace

std::string identifierOf(const std::string& header) {
    IdentifierResult id = deriveIdentifier(header.data(), header.size());
    if (id.messageIdEndedEarly) {
        writeLog("Неожиданный конец заголовка письма при считывании идентификатора. Попробуем данные приема.");
    }
    if (id.receivedEndedEarly) {
        writeLog("Неожиданный конец заголовка письма при считывании Received. Попробуем Дату приема письма.");
    }
    if (id.fromHeaderText) {
        writeLog("В заголовке письма не обнаружен идентификатор");
        writeLogf("Идентификатор письма составлен по тексту заголовка: %s", id.id.c_str());
    }
    return id.id;
}

bool settleMessage(Poll& p, int n, const MessagePlan& m, const std::string& id, const std::string* header) {
    long index = gRetrieval.deletionListLoaded ? gRetrieval.findDeletion(id.c_str()) : -1;
    if (index >= 0) {
        // Claimed now, so that a second message of the same identifier does
        // not match it; released again when the DELE fails. Without
        // pipelining the DELE goes out at once.
        gRetrieval.markDeleted(static_cast<size_t>(index));
        p.deletions.push_back({n, static_cast<size_t>(index), id});
        if (!p.pipelined) {
            carryOutDeletions(p.s, p.deletions, 1);
            p.deletions.clear();
        }
        return true;
    }
    gRetrieval.addSeen(id.c_str());
    if (gRetrieval.isKnown(id.c_str())) {
        writeLogf("Письмо с ID=%s имеется в БД. Загрузка прервана.", id.c_str());
        return true;
    }
    if (header == nullptr) {
        return false;
    }
    // The whole block goes out in one write: a session that is stopped never
    // leaves half a block behind.
    std::string block = p.aliasLine;
    block += "MailAddr:" + p.login.address + "\r\n";
    block += formatSizeLine(m.size);
    block += "MailIdent:" + id + "\r\n";
    block += *header;
    if (!writeBlock(p.headerFile, block)) {
        writeLogf("Затрудняюсь записать заголовок письма %d. Ошибка %u", n, static_cast<unsigned>(GetLastError()));
    }
    return true;
}

namespace {

// The walk's LIST n reply: the size, 0 when the reply is negative. False
// when the exchange failed.
bool readListReply(Poll& p, CommandPipe& pipe, MessagePlan& m) {
    int error = pipe.ready(m.listCommand);
    if (error != 0) {
        writeLogf("Ошибка при прочтении размера письма: %d", error);
        return false;
    }
    std::string reply;
    error = p.s.connection.receiveLine(reply);
    if (error != 0) {
        pipe.broke(error);
        writeLogf("Ошибка при приеме размера письма: %d", error);
        return false;
    }
    if (reply[0] == '+') {
        m.size = parseListSize(reply.c_str());
    } else {
        writeLog(reply.c_str());
    }
    return true;
}

// The TOP n 0 reply: the header text. False when there is none.
bool readTopReply(Poll& p, CommandPipe& pipe, const MessagePlan& m, int n, std::string& header) {
    int error = pipe.ready(m.topCommand);
    if (error != 0) {
        writeLogf("Ошибка при прочтении заголовка письма: %d", error);
        return false;
    }
    std::string reply;
    error = p.s.connection.receiveLine(reply);
    if (error != 0) {
        pipe.broke(error);
        writeLogf("Сервер не выдал заголовок письма. Ошибка: %d", error);
        return false;
    }
    if (reply[0] != '+') {
        writeLog("Отрицательный ответ Сервера на запрос заголовка письма:");
        writeLog(reply.c_str());
        return false;
    }
    bool cut = false;
    error = p.s.connection.receiveMultiline(header, cut);
    if (error != 0) {
        pipe.broke(error);
        writeLogf("Ошибка при приеме заголовка письма: %d", error);
        return false;
    }
    if (cut) {
        writeLogf("Заголовок письма %d длиннее %u байт: сохранено его начало", n,
                  static_cast<unsigned>(kHeaderKeepLimit));
    }
    return true;
}

// Message n by its plan; false when it was not handled to its end.
bool handleMessage(Poll& p, CommandPipe& pipe, int n, MessagePlan& m, std::string* cacheText) {
    if (m.listCommand != SIZE_MAX && !readListReply(p, pipe, m)) {
        return false;
    }
    if (m.topCommand != SIZE_MAX) {
        std::string header;
        if (!readTopReply(p, pipe, m, n, header)) {
            return false;
        }
        std::string id = identifierOf(header);
        if (cacheText != nullptr && !m.uid.empty()) {
            *cacheText += formatUidCacheLine(m.uid, m.size, id);
        }
        return settleMessage(p, n, m, id, &header);
    }
    if (m.fromCache) {
        if (cacheText != nullptr) {
            *cacheText += formatUidCacheLine(m.uid, m.size, *m.cachedId);
        }
        return settleMessage(p, n, m, *m.cachedId, nullptr);
    }
    return true;
}

} // namespace

bool handleMessages(Poll& p, CommandPipe& pipe, ULONGLONG allowance, std::string* cacheText) {
    for (int n = 1; n <= p.count; n++) {
        if (pop3Cancelled()) {
            writeLog("Приём почты прерван: агент завершает работу.");
            p.walkedAll = false;
            return false;
        }
        MessagePlan& m = p.plans[static_cast<size_t>(n - 1)];
        if (!handleMessage(p, pipe, n, m, cacheText)) {
            keepCachedLine(p, m, cacheText);
        }
        if (overdue(p, n, allowance)) {
            return false;
        }
    }
    return true;
}

void keepCachedLine(Poll& p, const MessagePlan& m, std::string* cacheText) {
    p.walkedAll = false;
    // What the cache knew of it stays for the next poll.
    auto hit = m.uid.empty() || cacheText == nullptr ? p.cache.end() : p.cache.find(m.uid);
    if (hit != p.cache.end() && hit->second.size == cacheSizeText(m.size)) {
        *cacheText += formatUidCacheLine(m.uid, m.size, hit->second.id);
    }
}

bool overdue(Poll& p, int n, ULONGLONG allowance) {
    if (!p.s.connection.pastDeadline()) {
        return false;
    }
    writeLogf("Сеанс связи с сервером длится дольше отведенных %u с: прием писем ящика %s прерван",
              static_cast<unsigned>(allowance / 1000), p.login.address.c_str());
    p.walkedAll = p.walkedAll && n == p.count;
    return true;
}

void carryOutDeletions(Pop3Dialogue& s, const std::vector<PendingDeletion>& deletions, size_t halfWindow) {
    CommandPipe pipe(s, halfWindow);
    char command[32];
    for (const PendingDeletion& d : deletions) {
        formatText(command, sizeof command, "DELE %d\r\n", d.n);
        pipe.add(command);
    }
    for (size_t i = 0; i < deletions.size(); i++) {
        const PendingDeletion& d = deletions[i];
        std::string reply;
        int error = pipe.ready(i);
        bool sendFailed = error != 0;
        if (error == 0) {
            error = s.connection.receiveLine(reply);
            if (error != 0) {
                pipe.broke(error);
            }
        }
        if (error != 0) {
            writeLogf(sendFailed ? "Ошибка при удалении письма: %d. Запрос на удаление не отправлен."
                                 : "Ошибка при удалении письма %d. Сервер не ответил.",
                      error);
            gRetrieval.unmarkDeleted(d.index);
            continue;
        }
        writeLog(reply.c_str());
        if (reply[0] == '+') {
            writeLogf("Письмо с ID=%s удалено с сервера.", d.id.c_str());
        } else {
            writeLogf("Письмо с ID=%s не удалено с сервера!", d.id.c_str());
            gRetrieval.unmarkDeleted(d.index);
        }
    }
}
