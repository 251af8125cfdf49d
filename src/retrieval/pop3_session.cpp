#include "retrieval/pop3_session.h"

#include "base/event_log.h"
#include "base/text.h"
#include "retrieval/pop3_connection.h"
#include "retrieval/pop3_text.h"
#include "retrieval/retrieval_state.h"
#include "retrieval/uid_cache.h"
#include "core/service_paths.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

bool gPop3ForceWalk = false;

namespace {

constexpr unsigned short kPop3Port = 110;
constexpr unsigned short kPop3sPort = 995; // POP3 inside TLS from the first byte

// Short texts a test hands back to the mailbox page.
constexpr char kNoInternet[] = "Ошибка! Нет соединения с Интернет";
constexpr char kNoInternetSocket[] = "Ошибка! Нет соединения с Интернет.";
constexpr char kNoAnswer[] = "Ошибка! Сервер не ответил.";
constexpr char kConnectionBroken[] = "Ошибка! Прерывание связи.";
constexpr char kNotRecognised[] = "Ошибка! Адрес и/или пароль неопознаны.";
constexpr char kBadCertificate[] = "Ошибка! Сертификат сервера не прошел проверку.";
constexpr char kNoSecureLink[] = "Ошибка! Защищенное соединение не установлено.";

// Where a session stands: the connection, and the text a test returns.
struct Session {
    int mode;
    char* buffer;
    size_t capacity;
    ULONGLONG start; // GetTickCount64 when the session began
    Pop3Connection connection;

    bool testMode() const { return mode == kSessionTest; }
    void setShortText(const char* text) {
        if (testMode()) {
            copyText(buffer, capacity, text);
        }
    }
    // Logs a failure and, in test mode, hands back its short text.
    void fail(const char* logText, const char* shortText) {
        writeLog(logText);
        setShortText(shortText);
    }
    // fail() with a formatted log text (the implicit this is argument 1).
    __attribute__((format(printf, 3, 4))) void failf(const char* shortText, const char* format, ...) {
        char text[256];
        va_list args;
        va_start(args, format);
        if (vsnprintf(text, sizeof text, format, args) < 0) {
            text[0] = '\0';
        }
        va_end(args);
        fail(text, shortText);
    }
};

// One command and its one-line reply. Returns 0 or the Winsock error code;
// sendFailed tells which half failed.
int exchange(Session& s, const std::string& command, std::string& reply, bool& sendFailed) {
    writeLog(loggableCommand(command).c_str());
    sendFailed = false;
    int error = s.connection.sendText(command);
    if (error != 0) {
        sendFailed = true;
        return error;
    }
    return s.connection.receiveLine(reply);
}

// Logs why TLS did not start and, in a test, hands back its short text.
void reportTlsFailure(Session& s, const char* host, const TlsFailure& failure) {
    switch (failure.kind) {
    case TlsFailure::Certificate:
        s.failf(kBadCertificate, "Сертификат сервера %s отвергнут: %s (0x%08lX). Пароль не отправлен.", host,
                certProblemText(failure.problem), static_cast<unsigned long>(failure.code));
        break;
    case TlsFailure::Network:
        s.failf(kConnectionBroken, "Ошибка при установке защищенного соединения: %ld", failure.code);
        break;
    default:
        s.failf(kNoSecureLink, "Защищенное соединение с сервером не установлено. Ошибка 0x%08lX",
                static_cast<unsigned long>(failure.code));
        break;
    }
}

// TLS on the open connection, with the certificate checked for host. A
// failure is logged with its reason; nothing more goes to the server.
bool secureConnection(Session& s, const char* host) {
    TlsFailure failure;
    if (s.connection.startTls(host, failure)) {
        writeLog("Установлено защищенное соединение с сервером (TLS)");
        return true;
    }
    reportTlsFailure(s, host, failure);
    s.connection.close();
    return false;
}

// CAPA, asked once right after the greeting: before the login, so that what
// must come before it can be known too. A server that does not know the
// command offers nothing. False when the connection failed.
bool askCapabilities(Session& s, Pop3Capabilities& caps) {
    caps = Pop3Capabilities();
    std::string reply;
    bool sendFailed = false;
    int error = exchange(s, "CAPA\r\n", reply, sendFailed);
    if (error == 0) {
        writeLog(reply.c_str());
        if (reply[0] != '+') {
            return true;
        }
        std::string text;
        bool cut = false;
        error = s.connection.receiveMultiline(text, cut);
        if (error == 0) {
            caps = parseCapabilities(text.data(), text.size());
            return true;
        }
    }
    s.failf(kConnectionBroken, sendFailed ? "Ошибка при передаче данных: %d" : "Ошибка при приеме данных: %d", error);
    return false;
}

// On a connection in the clear: STLS when the server offers it, then CAPA
// again, since what a server offers may change over TLS. A server that
// offers STLS and then refuses or fails it is an error, never a reason to go
// on in the clear. True when the login may go on.
bool startTlsWhenOffered(Session& s, const char* host, Pop3Capabilities& caps) {
    if (!caps.stls) {
        writeLog("Сервер не предлагает STLS: пароль передается открытым текстом");
        return true;
    }
    std::string reply;
    bool sendFailed = false;
    int error = exchange(s, "STLS\r\n", reply, sendFailed);
    if (error != 0) {
        s.failf(kConnectionBroken, sendFailed ? "Ошибка при передаче данных: %d" : "Ошибка при приеме данных: %d",
                error);
        return false;
    }
    writeLog(reply.c_str());
    if (reply[0] != '+') {
        s.fail("Сервер отказал в STLS. Пароль не отправлен.", kNoSecureLink);
        return false;
    }
    return secureConnection(s, host) && askCapabilities(s, caps);
}

// Greeting, CAPA, STLS where the connection is still clear, USER, PASS and
// STAT. On success statReply holds the STAT reply and caps what the server
// offers.
bool loginDialogue(Session& s, const char* host, const std::string& address, const std::string& password,
                   std::string& statReply, Pop3Capabilities& caps) {
    std::string greeting;
    int error = s.connection.receiveLine(greeting);
    if (error != 0) {
        s.failf(kConnectionBroken, "При ответе сервера произошла ошибка: %d", error);
        return false;
    }
    writeLog(greeting.c_str());
    if (!askCapabilities(s, caps) || (!s.connection.secure() && !startTlsWhenOffered(s, host, caps))) {
        return false;
    }
    const std::string commands[] = {"USER " + address + "\r\n", "PASS " + password + "\r\n", "STAT\r\n"};
    for (const std::string& command : commands) {
        bool sendFailed = false;
        error = exchange(s, command, statReply, sendFailed);
        if (error != 0) {
            s.failf(kConnectionBroken, sendFailed ? "Ошибка при передаче данных: %d" : "Ошибка при приеме данных: %d",
                    error);
            return false;
        }
        writeLog(statReply.c_str());
        if (statReply[0] == '-') {
            s.fail("Сервер не опознал указанные адрес и/или пароль.", kNotRecognised);
            return false;
        }
    }
    return true;
}

// Sends QUIT and reads its reply; true when the server confirmed it. A test
// reads the reply even when the send failed, and logs a failed receive.
bool sayGoodbye(Session& s) {
    writeLog("QUIT\r\n");
    int sendError = s.connection.sendText("QUIT\r\n");
    if (sendError != 0) {
        writeLogf("Ошибка при завершении сеанса связи с сервером: %d", sendError);
        if (!s.testMode()) {
            return false;
        }
    }
    std::string reply;
    int error = s.connection.receiveLine(reply);
    if (error != 0) {
        if (s.testMode()) {
            writeLogf("Ошибка при приеме данных: %d", error);
        }
        return false;
    }
    return sendError == 0 && reply[0] == '+';
}

int runTest(Session& s) {
    std::string address, password, domain;
    if (!splitTestParams(s.buffer, address, password, domain)) {
        s.fail("Ошибка! Затрудняюсь определить имя почтового сервера.", kNoAnswer);
        return 0;
    }
    const std::string candidates[] = {"pop3." + domain, "pop." + domain, domain};
    std::string host;
    in_addr ip = {};
    for (size_t i = 0; i < 3 && host.empty(); i++) {
        if (resolveHost(candidates[i].c_str(), ip) == 0) {
            host = candidates[i];
        } else if (i < 2) {
            writeLogf("Сервер с именем %s не найден!", candidates[i].c_str());
        }
    }
    if (host.empty()) {
        s.fail(kNoAnswer, kNoAnswer);
        return 0;
    }
    writeLogf("Сервер с именем %s обнаружен", host.c_str());

    // Implicit TLS first; a host without it is asked on the POP3 port,
    // where STLS is taken when offered. A certificate refused on 995 ends
    // the test: the same server would show it on 110 too.
    for (unsigned short port : {kPop3sPort, kPop3Port}) {
        int error = s.connection.open();
        if (error != 0) {
            s.failf(kNoInternetSocket, "Ошибка соединения с Интернет - %d", error);
            return 0;
        }
        error = s.connection.connectTo(ip, port);
        if (error != 0) {
            if (port == kPop3sPort) {
                writeLogf("Сервер %s не принимает соединений на порту 995 - %d", host.c_str(), error);
                continue;
            }
            s.failf(kNoAnswer, "При соединении с сервером возникла ошибка - %d", error);
            return 0;
        }
        if (port == kPop3sPort) {
            TlsFailure failure;
            if (!s.connection.startTls(host.c_str(), failure)) {
                if (failure.kind == TlsFailure::Certificate || pop3Cancelled()) {
                    reportTlsFailure(s, host.c_str(), failure);
                    return 0;
                }
                writeLogf("Сервер %s не установил защищенное соединение на порту 995 (0x%08lX)", host.c_str(),
                          static_cast<unsigned long>(failure.code));
                continue;
            }
            writeLog("Установлено защищенное соединение с сервером (TLS)");
        }
        std::string statReply;
        Pop3Capabilities caps;
        if (!loginDialogue(s, host.c_str(), address, password, statReply, caps)) {
            return 0;
        }
        sayGoodbye(s);
        formatText(s.buffer, s.capacity, "%s;%u", host.c_str(), static_cast<unsigned>(port));
        return 1;
    }
    return 0;
}

bool writeBlock(const std::string& block) {
    DWORD written = 0;
    return WriteFile(gRetrieval.headerFile, block.data(), static_cast<DWORD>(block.size()), &written, nullptr) &&
           written == block.size();
}

// Commands whose replies are read in order. With a window above 1 (the
// server offers PIPELINING) they go out ahead of their replies, a
// half-window in one piece whenever fewer than that are on the way; with 1,
// each goes out just before its reply is read.
class CommandPipe {
public:
    CommandPipe(Pop3Connection& connection, size_t halfWindow) : connection_(connection), half_(halfWindow) {}
    size_t add(std::string command) {
        commands_.push_back(std::move(command));
        errors_.push_back(0);
        return commands_.size() - 1;
    }
    // Sends what must be on the way before the reply to command i is read.
    // Returns 0 or the error that kept command i from the server.
    int ready(size_t i) {
        while (sent_ < commands_.size() && sent_ < i + half_) {
            size_t end = sent_ + half_ < commands_.size() ? sent_ + half_ : commands_.size();
            std::string batch;
            for (size_t k = sent_; k < end; k++) {
                writeLog(loggableCommand(commands_[k]).c_str());
                batch += commands_[k];
            }
            int error = broken_ != 0 ? broken_ : connection_.sendText(batch);
            for (size_t k = sent_; k < end; k++) {
                errors_[k] = error;
            }
            if (error != 0) {
                broken_ = error;
            }
            sent_ = end;
        }
        return errors_[i];
    }
    // A reply could not be read: the connection is out of step or gone, so
    // nothing more is sent and every later command fails with error.
    void broke(int error) {
        if (broken_ == 0) {
            broken_ = error;
        }
    }

private:
    Pop3Connection& connection_;
    size_t half_;
    std::vector<std::string> commands_;
    std::vector<int> errors_;
    size_t sent_ = 0;
    int broken_ = 0;
};

// Commands sent in one piece to a server that offers PIPELINING.
constexpr size_t kPipelineHalfWindow = 64;
// Longest UIDL or LIST listing taken (a million messages or so).
constexpr size_t kListingKeepLimit = 48 * 1024 * 1024;

// What one message needs and what is known of it before its replies.
struct MessagePlan {
    double size = 0.0;
    size_t listCommand = SIZE_MAX;         // the walk's LIST n
    size_t topCommand = SIZE_MAX;          // TOP n 0 when the header must be read
    std::string uid;                       // a unique id used for the cache, or empty
    const std::string* cachedId = nullptr; // the identifier the cache gave
    bool fromCache = false;
};

// A DELE held back until every header reply is in.
struct PendingDeletion {
    int n;
    size_t index;
    std::string id;
};

// Marks the run's walk incomplete unless the session reached its end having
// read every message: identifiers it did not report then count as unknown
// rather than gone. With the mailbox's cache at hand, only its own
// identifiers are kept. A guard that watches nothing (a test) marks nothing.
struct WalkGuard {
    bool complete = false;
    // The mailbox's cache as the session found it: the identifiers that
    // belong to the mailbox, once ownersKnown is set.
    UidCache cache;
    bool ownersKnown = false;
    explicit WalkGuard(bool watching) : complete(!watching) {}
    ~WalkGuard() {
        if (!complete) {
            gRetrieval.markWalkIncomplete(ownersKnown ? &cache : nullptr);
        }
    }
};

// Everything of one reception poll after the STAT reply.
struct Poll {
    Session& s;
    const AccountLineFields& line;
    const std::string& aliasLine;
    const UidCache& cache;
    int count;
    bool pipelined;
    std::vector<MessagePlan> plans;
    std::vector<PendingDeletion> deletions;
    bool walkedAll = true;
};

// DELE for a mail marked in the viewer, one command and its reply. The mail
// gets no header block and stays out of the identifiers seen, whatever the
// server answers.
void deleteMessage(Session& s, int n, long index, const char* id) {
    char command[32];
    formatText(command, sizeof command, "DELE %d\r\n", n);
    std::string reply;
    bool sendFailed = false;
    int error = exchange(s, command, reply, sendFailed);
    if (error != 0) {
        writeLogf(sendFailed ? "Ошибка при удалении письма: %d. Запрос на удаление не отправлен."
                             : "Ошибка при удалении письма %d. Сервер не ответил.",
                  error);
        return;
    }
    writeLog(reply.c_str());
    if (reply[0] == '+') {
        writeLogf("Письмо с ID=%s удалено с сервера.", id);
        gRetrieval.markDeleted(static_cast<size_t>(index));
    } else {
        writeLogf("Письмо с ID=%s не удалено с сервера!", id);
    }
}

// The DELE commands held back, pipelined; a record whose DELE was not
// confirmed is pending again.
void sendDeletions(Poll& p) {
    CommandPipe pipe(p.s.connection, kPipelineHalfWindow);
    char command[32];
    for (const PendingDeletion& d : p.deletions) {
        formatText(command, sizeof command, "DELE %d\r\n", d.n);
        pipe.add(command);
    }
    for (size_t i = 0; i < p.deletions.size(); i++) {
        const PendingDeletion& d = p.deletions[i];
        std::string reply;
        int error = pipe.ready(i);
        bool sendFailed = error != 0;
        if (error == 0) {
            error = p.s.connection.receiveLine(reply);
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

// The identifier of a header just read, with the notes of its rules.
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

// The deletion and known checks of message n and, for a new one, its header
// block. header is null for a message the cache identified. False when the
// message is new but its header was not read.
bool settleMessage(Poll& p, int n, const MessagePlan& m, const std::string& id, const std::string* header) {
    long index = gRetrieval.deletionListLoaded ? gRetrieval.findDeletion(id.c_str()) : -1;
    if (index >= 0) {
        if (p.pipelined) {
            // Claimed now, so that a second message of the same identifier
            // does not match it; released again when the DELE fails.
            gRetrieval.markDeleted(static_cast<size_t>(index));
            p.deletions.push_back({n, static_cast<size_t>(index), id});
        } else {
            deleteMessage(p.s, n, index, id.c_str());
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
    block += "MailAddr:" + p.line.address + "\r\n";
    block += formatSizeLine(m.size);
    block += "MailIdent:" + id + "\r\n";
    block += *header;
    if (!writeBlock(block)) {
        writeLogf("Затрудняюсь записать заголовок письма %d. Ошибка %u", n, static_cast<unsigned>(GetLastError()));
    }
    return true;
}

// The messages in order: their replies where they have commands, then their
// checks. Returns false when the poll was stopped (cancelled or overdue).
bool handleMessages(Poll& p, CommandPipe& pipe, ULONGLONG allowance, std::string* cacheText) {
    for (int n = 1; n <= p.count; n++) {
        if (pop3Cancelled()) {
            writeLog("Приём почты прерван: агент завершает работу.");
            p.walkedAll = false;
            return false;
        }
        MessagePlan& m = p.plans[static_cast<size_t>(n - 1)];
        bool handled = true;
        if (m.listCommand != SIZE_MAX && !readListReply(p, pipe, m)) {
            handled = false;
        } else if (m.topCommand != SIZE_MAX) {
            std::string header;
            handled = readTopReply(p, pipe, m, n, header);
            if (handled) {
                std::string id = identifierOf(header);
                if (cacheText != nullptr && !m.uid.empty()) {
                    *cacheText += formatUidCacheLine(m.uid, m.size, id);
                }
                handled = settleMessage(p, n, m, id, &header);
            }
        } else if (m.fromCache) {
            if (cacheText != nullptr) {
                *cacheText += formatUidCacheLine(m.uid, m.size, *m.cachedId);
            }
            handled = settleMessage(p, n, m, *m.cachedId, nullptr);
        }
        if (!handled) {
            p.walkedAll = false;
            // What the cache knew of it stays for the next poll.
            auto hit = m.uid.empty() || cacheText == nullptr ? p.cache.end() : p.cache.find(m.uid);
            if (hit != p.cache.end() && hit->second.size == cacheSizeText(m.size)) {
                *cacheText += formatUidCacheLine(m.uid, m.size, hit->second.id);
            }
        }
        if (p.s.connection.pastDeadline()) {
            writeLogf("Сеанс связи с сервером длится дольше отведенных %u с: прием писем ящика %s прерван",
                      static_cast<unsigned>(allowance / 1000), p.line.address.c_str());
            p.walkedAll = p.walkedAll && n == p.count;
            return false;
        }
    }
    return true;
}

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

// The plan of a poll by unique ids: a message whose unique id the cache
// knows, with the size it had, is identified without its header when that
// identifier is to be deleted or is known; every other one gets TOP. A
// unique id the listing gives twice is not used.
void planByUniqueIds(Poll& p, CommandPipe& pipe, const std::vector<std::string>& uidLines,
                     const std::vector<std::string>& sizeLines, const UidCache& cache) {
    std::unordered_map<std::string, int> uses;
    std::vector<std::string> uids(uidLines.size());
    for (size_t i = 0; i < uidLines.size(); i++) {
        uids[i] = listingUid(uidLines[i]);
        if (!uids[i].empty()) {
            uses[uids[i]]++;
        }
    }
    char command[32];
    for (int n = 1; n <= p.count; n++) {
        MessagePlan& m = p.plans[static_cast<size_t>(n - 1)];
        const std::string& sizeLine = sizeLines[static_cast<size_t>(n - 1)];
        m.size = sizeLine.empty() ? 0.0 : parseListSize(sizeLine.c_str());
        const std::string& uid = uids[static_cast<size_t>(n - 1)];
        if (!uid.empty() && uses[uid] == 1) {
            m.uid = uid;
            auto hit = cache.find(uid);
            if (hit != cache.end() && hit->second.size == cacheSizeText(m.size)) {
                const std::string& id = hit->second.id;
                if ((gRetrieval.deletionListLoaded && gRetrieval.findDeletion(id.c_str()) >= 0) ||
                    gRetrieval.isKnown(id.c_str())) {
                    m.fromCache = true;
                    m.cachedId = &id;
                    continue;
                }
            }
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

const char* missingFieldText(AccountLineError error) {
    switch (error) {
    case AccountLineError::Server:
        return "Невозможно прочесть имя сервера из файла MailBox.txt.";
    case AccountLineError::Password:
        return "Невозможно прочесть пароль из файла MailBox.txt.";
    case AccountLineError::Address:
        return "Невозможно прочесть почтовый адрес из файла MailBox.txt.";
    default:
        return "Невозможно прочесть псевдоним из файла MailBox.txt.";
    }
}

int runReception(Session& s, WalkGuard& walk) {
    AccountLineFields line;
    AccountLineError lineError = splitAccountLine(s.buffer, line);
    if (line.portMissing) {
        writeLog("Невозможно прочесть порт из файла MailBox.txt. Заменяем его на 110");
    }
    if (lineError != AccountLineError::None) {
        writeLog(missingFieldText(lineError));
        return 0;
    }
    const std::string aliasLine = "Psevdo:" + line.alias + "\r\n";

    // The mailbox's unique-id cache, read before anything can fail: a
    // session that stops short keeps the identifiers it names.
    const std::string cacheName = uidCacheFileName(line.address, line.server);
    UidCache& cache = walk.cache;
    bool cacheLoaded = loadUidCache(cacheName, cache);
    walk.ownersKnown = cacheLoaded;

    in_addr ip = {};
    int error = resolveHost(line.server.c_str(), ip);
    if (error != 0) {
        writeLogf("Сервер не найден! Ошибка - %d", error);
        return 0;
    }
    writeLogf("Сервер %s обнаружен", line.address.c_str());
    error = s.connection.open();
    if (error != 0) {
        writeLogf("Ошибка соединения с Интернет - %d", error);
        return 0;
    }
    unsigned short port = parsePort(line.port);
    error = s.connection.connectTo(ip, port);
    if (error != 0) {
        writeLogf("При соединении с сервером возникла ошибка - %d", error);
        return 0;
    }
    writeLog("Соединение с сервером установлено");
    if (port == kPop3sPort && !secureConnection(s, line.server.c_str())) {
        return 0;
    }

    std::string statReply;
    Pop3Capabilities caps;
    if (!loginDialogue(s, line.server.c_str(), line.address, line.password, statReply, caps)) {
        return 0;
    }
    int count = 0;
    if (statReply[0] != '+' || !parseStatCount(statReply.c_str(), count)) {
        return 0;
    }
    ULONGLONG allowance = sessionAllowanceMs(gNetTimeouts.sessionBaseMs, gNetTimeouts.sessionPerMessageMs,
                                             gNetTimeouts.sessionPerMiBMs, count, parseStatOctets(statReply.c_str()));
    s.connection.setDeadline(s.start + allowance);
    if (count < 1) {
        writeLog(aliasLine.c_str());
        writeLog("0\r\n");
        if (cacheLoaded && !cache.empty()) {
            saveUidCache(cacheName, std::string()); // nothing left to name
        }
        walk.complete = true;
        return 1;
    }

    bool pipelined = caps.pipelining && !gPop3ForceWalk;
    Poll p{s, line, aliasLine, cache, count, pipelined, std::vector<MessagePlan>(static_cast<size_t>(count)), {}, true};
    CommandPipe pipe(s.connection, pipelined ? kPipelineHalfWindow : 1);
    bool listed = false;
    std::string cacheText;
    if (caps.uidl && !gPop3ForceWalk) {
        // Both listings at once where the server allows it.
        CommandPipe listings(s.connection, pipelined ? 2 : 1);
        size_t uidl = listings.add("UIDL\r\n");
        size_t list = listings.add("LIST\r\n");
        std::vector<std::string> uidLines, sizeLines;
        if (readListing(p, listings, uidl, uidLines) != 0 || readListing(p, listings, list, sizeLines) != 0) {
            // The connection failed: nothing more can be asked.
            gRetrieval.restoreDeletions();
            return 1;
        }
        listed = !uidLines.empty() && !sizeLines.empty();
        if (listed) {
            planByUniqueIds(p, pipe, uidLines, sizeLines, cache);
        }
    }
    if (!listed) {
        planWalk(p, pipe);
    }
    if (!listed && cacheLoaded && !gPop3ForceWalk) {
        // A cache the walk cannot keep up to date would later misname this
        // mailbox's identifiers.
        ServicePath stale(cacheName.c_str());
        DeleteFileA(stale.text);
        walk.ownersKnown = false;
    }
    bool finished = handleMessages(p, pipe, allowance, listed ? &cacheText : nullptr);
    if (finished && !p.deletions.empty()) {
        sendDeletions(p);
    }
    if (listed) {
        // The listing was complete: the cache now holds its messages. For
        // this run the old one still names the mailbox's identifiers: those
        // it reads for the first time are among the identifiers seen.
        saveUidCache(cacheName, cacheText);
    }
    // Deletions take effect with a confirmed QUIT; otherwise the records
    // stay for the next run. A stopped session is not asked for more.
    bool confirmed = finished && !pop3Cancelled() && sayGoodbye(s);
    if (confirmed) {
        gRetrieval.commitDeletions();
    } else {
        gRetrieval.restoreDeletions();
    }
    walk.complete = p.walkedAll;
    return 1;
}

} // namespace

int runPop3Session(int mode, char* buffer, size_t capacity) {
    // Set up before anything can fail: a reception that ends early, in any
    // way, keeps the mailbox's known identifiers.
    WalkGuard walk(mode == kSessionReception);
    SocketLibrary library;
    if (!library.started()) {
        writeLog("Ошибка! Невозможно подключиться к Интернет");
        if (mode == kSessionTest) {
            copyText(buffer, capacity, kNoInternet);
        }
        return 0;
    }
    Session s{mode, buffer, capacity, GetTickCount64(), {}};
    // The login must be over within the base allowance; a reception gets
    // more once it knows what the mailbox holds.
    s.connection.setDeadline(s.start + gNetTimeouts.sessionBaseMs);
    if (mode == kSessionTest) {
        return runTest(s);
    }
    if (mode == kSessionReception) {
        return runReception(s, walk);
    }
    return 0;
}
