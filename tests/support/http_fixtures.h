// The HTTP server of the test session (tests/support/http_fixture.py): the
// update server's ver.dat and the telegram server's messages.txt.
#pragma once
#include <string>
#include <vector>

// "http://127.0.0.1:8080/" as the session names it; empty outside a session.
std::string httpBaseUrl();

// Sets ver.dat to text; without text the file is gone (404).
void setVersionFile(const std::string& text);
void removeVersionFile();

// The update file download/Velnor.dat; without bytes it is gone (404).
void setUpdateFile(const std::string& bytes);
void removeUpdateFile();

// The telegram accounts as a JSON object text (see http_fixture.py).
void setTelegramAccounts(const std::string& json);

// {"chunkDelayMs": N} or {"silent": true}; "{}" for plain answers.
void setHttpBehaviour(const std::string& json);

// The request paths the server received (cleared by clearHttpRequests).
std::vector<std::string> httpRequests();
void clearHttpRequests();

// The revocation lists the server handed out in this session (their paths).
std::vector<std::string> crlRequests();

// While it exists the system reports a network connection: the session's
// local network has a gateway (leading nowhere). Without one only loopback
// is up and the system reports none. up() tells whether the switch worked.
class SystemNetwork {
public:
    SystemNetwork();
    ~SystemNetwork();
    SystemNetwork(const SystemNetwork&) = delete;
    SystemNetwork& operator=(const SystemNetwork&) = delete;
    bool up() const { return up_; }

private:
    bool up_ = false;
};
