#include "retrieval/mailbox_test.h"

#include "base/event_log.h"
#include "core/agent_state.h"
#include "retrieval/imap_login.h"
#include "retrieval/pop3_address.h"

#include <string>

namespace {

// What the test logs in with.
struct TestLogin {
    std::string address;
    std::string password;
};

// The first of the candidates (at most three) that resolves, from the one
// at first on; false when none does. Each failed candidate but the last,
// the domain itself, is logged.
bool findServer(const std::string* candidates, size_t count, size_t& at, HostAddresses& addresses) {
    for (; at < count; at++) {
        if (resolveHost(candidates[at].c_str(), addresses) == 0) {
            writeLogf("Сервер с именем %s обнаружен", candidates[at].c_str());
            return true;
        }
        if (at + 1 < count) {
            writeLogf("Сервер с именем %s не найден!", candidates[at].c_str());
        }
    }
    return false;
}

enum class PortOutcome { Connected, TryNext, Failed };

// Connects to one port; on 995 and 993 TLS starts at once. While guessing,
// a host that does not answer there (refused, or silent until the connect
// time-out) lets the test go on to the next port or host. Once something
// answered, any failure of its TLS ends the test, since trying elsewhere
// then would hand the password to whoever broke the handshake.
PortOutcome connectOnPort(Pop3Dialogue& s, const std::string& host, const HostAddresses& addresses, unsigned short port,
                          bool guessing) {
    bool noSocket = false;
    int error = s.connection.connectTo(addresses, port, noSocket);
    if (noSocket) {
        s.failf(kNoInternetSocket, "Ошибка соединения с Интернет - %d", error);
        return PortOutcome::Failed;
    }
    if (error != 0) {
        // A stopped agent ends the test, it does not go on guessing.
        if (guessing && error != WSAEINTR) {
            writeLogf("Сервер %s не принимает соединений на порту %u - %d", host.c_str(), port, error);
            return PortOutcome::TryNext;
        }
        s.failf(kNoAnswer, "При соединении с сервером возникла ошибка - %d", error);
        return PortOutcome::Failed;
    }
    if (!isImplicitTlsPort(port) || secureConnection(s, host.c_str())) {
        return PortOutcome::Connected;
    }
    return PortOutcome::Failed;
}

// The login on a connected server in the protocol of its port, and the
// goodbye. On 110 and 143 TLS comes through STLS or STARTTLS when offered;
// a server that offers none stops the login before the password unless the
// user agreed. The answer is "host;port".
int logIn(Pop3Dialogue& s, const std::string& host, unsigned short port, const TestLogin& login) {
    bool loggedIn = false;
    if (protocolOfPort(port) == MailProtocol::Imap) {
        ImapSession m(s);
        loggedIn = imapLogin(m, host.c_str(), login.address, login.password);
        if (loggedIn || s.clearTextWanted()) {
            imapLogout(m);
        }
    } else {
        std::string statReply;
        Pop3Capabilities caps;
        loggedIn = loginDialogue(s, host.c_str(), login.address, login.password, statReply, caps);
        if (loggedIn || s.clearTextWanted()) {
            sayGoodbye(s);
        }
    }
    if (!loggedIn && !s.clearTextWanted()) {
        return 0;
    }
    s.setShortText((host + ";" + std::to_string(port)).c_str());
    return loggedIn ? kTestPassed : kTestWantsClearText;
}

// Tries the candidates in turn, each on its ports in turn, and logs in at
// the first that accepts a connection: answered is then true and the result
// final, whatever the login came to. A candidate that does not resolve or
// accepts no connection on any of the ports leads to the next one when
// nextHost allows; otherwise the first that resolves is the only one tried.
int tryServers(Pop3Dialogue& s, const std::string* candidates, size_t count, const unsigned short (&ports)[2],
               bool nextHost, const TestLogin& login, bool& answered) {
    answered = false;
    HostAddresses addresses;
    for (size_t at = 0; findServer(candidates, count, at, addresses); at++) {
        for (unsigned short port : ports) {
            PortOutcome outcome = connectOnPort(s, candidates[at], addresses, port, true);
            if (outcome != PortOutcome::TryNext) {
                answered = true;
                return outcome == PortOutcome::Connected ? logIn(s, candidates[at], port, login) : 0;
            }
        }
        if (!nextHost) {
            break;
        }
    }
    return 0;
}

// A server written into the account line with an IMAP port: tested there
// alone, with no guessing and no POP3.
int testNamedImapServer(Pop3Dialogue& s, const std::string& host, unsigned short port, const TestLogin& login) {
    HostAddresses addresses;
    int error = resolveHost(host.c_str(), addresses);
    if (error != 0) {
        s.failf(kNoAnswer, "Сервер с именем %s не найден! Ошибка - %d", host.c_str(), error);
        return 0;
    }
    writeLogf("Сервер с именем %s обнаружен", host.c_str());
    if (connectOnPort(s, host, addresses, port, false) != PortOutcome::Connected) {
        return 0;
    }
    return logIn(s, host, port, login);
}

// The host and port of a "server;port" field when the port is an IMAP one.
bool imapServerOf(const std::string& server, std::string& host, unsigned short& port) {
    size_t semicolon = server.rfind(';');
    if (semicolon == std::string::npos || semicolon == 0) {
        return false;
    }
    port = parsePort(server.substr(semicolon + 1));
    host = server.substr(0, semicolon);
    return protocolOfPort(port) == MailProtocol::Imap;
}

} // namespace

int runMailboxTest(Pop3Dialogue& s) {
    TestLogin login;
    std::string domain, server, host;
    if (!splitTestParams(s.text(), login.address, login.password, domain, server)) {
        s.fail("Ошибка! Затрудняюсь определить имя почтового сервера.", kNoAnswer);
        return 0;
    }
    unsigned short port = 0;
    if (imapServerOf(server, host, port)) {
        return testNamedImapServer(s, host, port, login);
    }
    // POP3 first. Only where no POP3 server answers at all does the test
    // look for IMAP: a POP3 server that answered and then refused the
    // password, or failed its TLS, has given the answer of this domain.
    const std::string pop3Hosts[] = {"pop3." + domain, "pop." + domain, domain};
    bool answered = false;
    int passed = tryServers(s, pop3Hosts, 3, {kPop3sPort, kPop3Port}, false, login, answered);
    if (answered) {
        return passed;
    }
    writeLogf("Сервер POP3 для домена %s не отвечает, ищем сервер IMAP", domain.c_str());
    const std::string imapHosts[] = {"imap." + domain, domain};
    passed = tryServers(s, imapHosts, 2, {kImapsPort, kImapPort}, true, login, answered);
    if (!answered) {
        s.fail(kNoAnswer, kNoAnswer);
    }
    return passed;
}
