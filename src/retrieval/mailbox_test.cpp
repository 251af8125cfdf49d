#include "retrieval/mailbox_test.h"

#include "base/event_log.h"
#include "core/agent_state.h"
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

// Connects to one port; on 995 TLS starts at once. Only a host that does not
// answer there (refused, or silent until the connect time-out) is tried on
// the next port: once something answered on 995, any failure of its TLS
// ends the test, since trying the clear port then would hand the password to
// whoever broke the handshake.
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
    if (port != kPop3sPort || secureConnection(s, host.c_str())) {
        return PortOutcome::Connected;
    }
    return PortOutcome::Failed;
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
        if (outcome == PortOutcome::Failed) {
            return 0;
        }
        bool loggedIn = loginDialogue(s, host.c_str(), address, password, statReply, caps);
        if (!loggedIn && !s.clearTextWanted()) {
            return 0;
        }
        sayGoodbye(s);
        s.setShortText((host + ";" + std::to_string(port)).c_str());
        return loggedIn ? kTestPassed : kTestWantsClearText;
    }
    return 0;
}
