#include "retrieval/pop3_session.h"

#include "base/event_log.h"
#include "base/text.h"
#include "retrieval/pop3_connection.h"
#include "retrieval/pop3_text.h"
#include "retrieval/retrieval_state.h"

#include <cstdarg>
#include <cstdio>
#include <string>

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

// On a connection in the clear: CAPA, and STLS when the server offers it. A
// server that offers STLS and then refuses or fails it is an error, never a
// reason to go on in the clear. True when the login may go on.
bool offerStls(Session& s, const char* host) {
    std::string reply;
    bool sendFailed = false;
    int error = exchange(s, "CAPA\r\n", reply, sendFailed);
    if (error != 0) {
        s.failf(kConnectionBroken, sendFailed ? "Ошибка при передаче данных: %d" : "Ошибка при приеме данных: %d",
                error);
        return false;
    }
    writeLog(reply.c_str());
    Pop3Capabilities caps;
    if (reply[0] == '+') {
        std::string list;
        bool cut = false;
        error = s.connection.receiveMultiline(list, cut);
        if (error != 0) {
            s.failf(kConnectionBroken, "Ошибка при приеме данных: %d", error);
            return false;
        }
        caps = parseCapabilities(list.data(), list.size());
    }
    if (!caps.stls) {
        writeLog("Сервер не предлагает STLS: пароль передается открытым текстом");
        return true;
    }
    error = exchange(s, "STLS\r\n", reply, sendFailed);
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
    return secureConnection(s, host);
}

// Greeting, STLS where the connection is still clear, USER, PASS and STAT.
// On success statReply holds the STAT reply.
bool loginDialogue(Session& s, const char* host, const std::string& address, const std::string& password,
                   std::string& statReply) {
    std::string greeting;
    int error = s.connection.receiveLine(greeting);
    if (error != 0) {
        s.failf(kConnectionBroken, "При ответе сервера произошла ошибка: %d", error);
        return false;
    }
    writeLog(greeting.c_str());
    if (!s.connection.secure() && !offerStls(s, host)) {
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
        if (!loginDialogue(s, host.c_str(), address, password, statReply)) {
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

// DELE for a mail marked in the viewer. The mail gets no header block and
// stays out of the identifiers seen, whatever the server answers.
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

// LIST, TOP and what follows for message n. False when the message could not
// be read, so that the walk counts as incomplete.
bool handleMessage(Session& s, int n, const std::string& aliasLine, const std::string& address) {
    char command[32];
    std::string reply;
    bool sendFailed = false;

    formatText(command, sizeof command, "LIST %d\r\n", n);
    int error = exchange(s, command, reply, sendFailed);
    if (error != 0) {
        writeLogf(sendFailed ? "Ошибка при прочтении размера письма: %d" : "Ошибка при приеме размера письма: %d",
                  error);
        return false;
    }
    double size = 0.0;
    if (reply[0] == '+') {
        size = parseListSize(reply.c_str());
    } else {
        writeLog(reply.c_str());
    }

    formatText(command, sizeof command, "TOP %d 0\r\n", n);
    error = exchange(s, command, reply, sendFailed);
    if (error != 0) {
        writeLogf(sendFailed ? "Ошибка при прочтении заголовка письма: %d"
                             : "Сервер не выдал заголовок письма. Ошибка: %d",
                  error);
        return false;
    }
    if (reply[0] != '+') {
        writeLog("Отрицательный ответ Сервера на запрос заголовка письма:");
        writeLog(reply.c_str());
        return false;
    }
    std::string header;
    bool cut = false;
    error = s.connection.receiveMultiline(header, cut);
    if (error != 0) {
        writeLogf("Ошибка при приеме заголовка письма: %d", error);
        return false;
    }
    if (cut) {
        writeLogf("Заголовок письма %d длиннее %u байт: сохранено его начало", n,
                  static_cast<unsigned>(kHeaderKeepLimit));
    }

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
    long index = gRetrieval.deletionListLoaded ? gRetrieval.findDeletion(id.id.c_str()) : -1;
    if (index >= 0) {
        deleteMessage(s, n, index, id.id.c_str());
        return true;
    }
    gRetrieval.addSeen(id.id.c_str());
    if (gRetrieval.isKnown(id.id.c_str())) {
        writeLogf("Письмо с ID=%s имеется в БД. Загрузка прервана.", id.id.c_str());
        return true;
    }

    // The whole block goes out in one write: a session that is stopped never
    // leaves half a block behind.
    std::string block = aliasLine;
    block += "MailAddr:" + address + "\r\n";
    block += formatSizeLine(size);
    block += "MailIdent:" + id.id + "\r\n";
    block += header;
    if (!writeBlock(block)) {
        writeLogf("Затрудняюсь записать заголовок письма %d. Ошибка %u", n, static_cast<unsigned>(GetLastError()));
    }
    return true;
}

// Marks the run's walk incomplete unless the session reached its end having
// read every message: identifiers it did not report then count as unknown
// rather than gone. A guard that watches nothing (a test) marks nothing.
struct WalkGuard {
    bool complete = false;
    explicit WalkGuard(bool watching) : complete(!watching) {}
    ~WalkGuard() {
        if (!complete) {
            gRetrieval.walkIncomplete = true;
        }
    }
};

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
    if (!loginDialogue(s, line.server.c_str(), line.address, line.password, statReply)) {
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
        walk.complete = true;
        return 1;
    }

    bool walkedAll = true;
    bool overdue = false;
    for (int n = 1; n <= count; n++) {
        if (pop3Cancelled()) {
            writeLog("Приём почты прерван: агент завершает работу.");
            walkedAll = false;
            break;
        }
        if (!handleMessage(s, n, aliasLine, line.address)) {
            walkedAll = false;
        }
        if (s.connection.pastDeadline()) {
            writeLogf("Сеанс связи с сервером длится дольше отведенных %u с: прием писем ящика %s прерван",
                      static_cast<unsigned>(allowance / 1000), line.address.c_str());
            overdue = true;
            walkedAll = walkedAll && n == count;
            break;
        }
    }
    // Deletions take effect with a confirmed QUIT; otherwise the records
    // stay for the next run. An overdue session is not asked for more.
    bool confirmed = !pop3Cancelled() && !overdue && sayGoodbye(s);
    if (confirmed) {
        gRetrieval.commitDeletions();
    } else {
        gRetrieval.restoreDeletions();
    }
    walk.complete = walkedAll;
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
