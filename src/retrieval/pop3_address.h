// Where a mailbox is and how to log in to it: the account line a reception
// is given and the "address;password" a mailbox test is given.
#pragma once
#include <string>

// What a reception needs of its mailbox.
struct MailboxLogin {
    std::string alias; // the address when the line's alias is empty
    std::string address;
    std::string password;
    std::string server;
    std::string port;         // "110" when the line names none
    bool portMissing = false; // the extra field held no ";"
};

// Reads an account line of MailBox.txt ("state;alias;address;password;extra",
// a line end after it allowed) with the store's reader; its extra field is
// "server;port", split at its last ";". False when it names no server.
bool readMailboxLine(const char* line, MailboxLogin& login);

// Test mode input "address;password": the domain is the text after the first
// "@" up to the first ";". False when the text has no "@" or no ";".
bool splitTestParams(const char* text, std::string& address, std::string& password, std::string& domain);

// The port of an account line's last field: 1 to 65535, else 110.
unsigned short parsePort(const std::string& text);
