#include "retrieval/mailbox_test.h"

#include "base/event_log.h"
#include "retrieval/pop3_address.h"

#include <string>

namespace {

// The first of "pop3." + domain, "pop." + domain and the domain itself that
// resolves; false when none does.
bool guessServer(const std::string& domain, std::string& host, HostAddresses& addresses) {
    const std::string candidates[] = {"pop3." + domain, "pop." + domain, domain};
    for (size_t i = 0; i < 3; i++) {
        if (resolveHost(candidates[i].c_str(), addresses) == 0) {
            host = candidates[i];
            writeLogf("Сервер с именем %s обнаружен", host.c_str());
            return true;
        }
        if (i < 2) {
            writeLogf("Сервер с именем %s не найден!", candidates[i].c_str());
        }
    }
    return false;
}

enum class PortOutcome { Connected, TryNext, Failed };

// Connects to one port; on 995 TLS starts at once. A host that does not
// answer there, or not with TLS, is tried on the next port; a refused
// certificate ends the test: the same server would show it on 110 too.
PortOutcome connectOnPort(Pop3Dialogue& s, const std::string& host, const HostAddresses& addresses,
                          unsigned short port) {
    bool noSocket = false;
    int error = s.connection.connectTo(addresses, port, noSocket);
    if (noSocket) {
        s.failf(kNoInternetSocket, "Ошибка соединения с Интернет - %d", error);
        return PortOutcome::Failed;
    }
    if (error != 0) {
        if (port == kPop3sPort) {
            writeLogf("Сервер %s не принимает соединений на порту 995 - %d", host.c_str(), error);
            return PortOutcome::TryNext;
        }
        s.failf(kNoAnswer, "При соединении с сервером возникла ошибка - %d", error);
        return PortOutcome::Failed;
    }
    if (port != kPop3sPort) {
        return PortOutcome::Connected;
    }
    TlsFailure failure;
    if (!s.connection.startTls(host.c_str(), failure)) {
        if (failure.kind == TlsFailure::Certificate || pop3Cancelled()) {
            reportTlsFailure(s, host.c_str(), failure);
            return PortOutcome::Failed;
        }
        writeLogf("Сервер %s не установил защищенное соединение на порту 995 (0x%08lX)", host.c_str(),
                  static_cast<unsigned long>(failure.code));
        return PortOutcome::TryNext;
    }
    writeLog("Установлено защищенное соединение с сервером (TLS)");
    return PortOutcome::Connected;
}

} // namespace

int runMailboxTest(Pop3Dialogue& s) {
    std::string address, password, domain;
    if (!splitTestParams(s.text(), address, password, domain)) {
        s.fail("Ошибка! Затрудняюсь определить имя почтового сервера.", kNoAnswer);
        return 0;
    }
    std::string host;
    HostAddresses addresses;
    if (!guessServer(domain, host, addresses)) {
        s.fail(kNoAnswer, kNoAnswer);
        return 0;
    }
    for (unsigned short port : {kPop3sPort, kPop3Port}) {
        PortOutcome outcome = connectOnPort(s, host, addresses, port);
        if (outcome == PortOutcome::TryNext) {
            continue;
        }
        std::string statReply;
        Pop3Capabilities caps;
        if (outcome == PortOutcome::Failed || !loginDialogue(s, host.c_str(), address, password, statReply, caps)) {
            return 0;
        }
        sayGoodbye(s);
        s.setShortText((host + ";" + std::to_string(port)).c_str());
        return 1;
    }
    return 0;
}
