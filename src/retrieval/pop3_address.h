// Where a mailbox is and how to log in to it: the account line a reception
// is given and the "address;password" a mailbox test is given.
#pragma once
#include <string>

constexpr unsigned short kPop3Port = 110;
constexpr unsigned short kPop3sPort = 995; // POP3 inside TLS from the first byte
constexpr unsigned short kImapPort = 143;  // IMAP, TLS through STARTTLS
constexpr unsigned short kImapsPort = 993; // IMAP inside TLS from the first byte

// The protocol of a mailbox, told by its port: IMAP on 993 and 143, POP3 on
// every other port.
enum class MailProtocol { Pop3, Imap };

// What a reception needs of its mailbox.
struct MailboxLogin {
    std::string alias; // the address when the line's alias is empty
    std::string address;
    std::string password;
    std::string server;
    std::string port;         // "110" when the line names none
    bool portMissing = false; // the extra field held no ";"
    MailProtocol protocol = MailProtocol::Pop3;
    bool implicitTls = false; // TLS from the first byte (995, 993)
};

// Reads an account line of MailBox.txt ("state;alias;address;password;extra",
// a line end after it allowed) with the store's reader; its extra field is
// "server;port", split at its last ";". False when it names no server.
bool readMailboxLine(const char* line, MailboxLogin& login);

// Test mode input "address;password", and after it, when the test goes to
// the server an account line names, kTestServerSeparator and that line's
// "server;port" (else server is empty). The domain is the text after the
// first "@" up to the first ";"; the password runs to the separator (a
// password of one line of MailBox.txt or of the page's one-line field holds
// none). False when the text has no "@" or no ";".
bool splitTestParams(const char* text, std::string& address, std::string& password, std::string& domain,
                     std::string& server);

// The port of an account line's last field: 1 to 65535, else 110.
unsigned short parsePort(const std::string& text);

MailProtocol protocolOfPort(unsigned short port);
bool isImplicitTlsPort(unsigned short port);
