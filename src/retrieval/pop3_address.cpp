#include "retrieval/pop3_address.h"

#include "core/test_params.h"
#include "store/account_line.h"

#include <cstdlib>
#include <cstring>

bool readMailboxLine(const char* line, MailboxLogin& login) {
    login = MailboxLogin();
    size_t length = strcspn(line, "\r\n");
    AccountEntry entry;
    parseAccountLine(line, length, entry);
    login.address = entry.identity;
    login.alias = entry.alias[0] != '\0' ? entry.alias : entry.identity;
    login.password = entry.password;
    const char* semicolon = strrchr(entry.extra, ';');
    if (semicolon == nullptr) {
        login.portMissing = true;
        login.port = "110";
        login.server = entry.extra;
    } else {
        login.port = semicolon + 1;
        login.server.assign(entry.extra, static_cast<size_t>(semicolon - entry.extra));
    }
    unsigned short port = parsePort(login.port);
    login.protocol = protocolOfPort(port);
    login.implicitTls = isImplicitTlsPort(port);
    return !login.server.empty();
}

bool splitTestParams(const char* text, std::string& address, std::string& password, std::string& domain,
                     std::string& server) {
    const char* semicolon = strchr(text, ';');
    const char* at = strchr(text, '@');
    if (semicolon == nullptr || at == nullptr || at > semicolon) {
        return false;
    }
    const char* separator = strchr(semicolon, kTestServerSeparator);
    address.assign(text, semicolon);
    domain.assign(at + 1, semicolon);
    if (separator == nullptr) {
        password.assign(semicolon + 1);
        server.clear();
    } else {
        password.assign(semicolon + 1, separator);
        server.assign(separator + 1);
    }
    return true;
}

unsigned short parsePort(const std::string& text) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) {
        return 110;
    }
    long port = strtol(text.c_str(), nullptr, 10);
    return port >= 1 && port <= 65535 ? static_cast<unsigned short>(port) : 110;
}

MailProtocol protocolOfPort(unsigned short port) {
    return port == kImapsPort || port == kImapPort ? MailProtocol::Imap : MailProtocol::Pop3;
}

bool isImplicitTlsPort(unsigned short port) {
    return port == kPop3sPort || port == kImapsPort;
}
