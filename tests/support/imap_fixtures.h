// The scripted IMAP server of the test session (tests/support/fake_imap.py,
// on 127.0.0.2:143 and, with TLS, 127.0.0.4:993 and 143), reached through
// the folder the session names in the environment.
#pragma once
#include <string>
#include <vector>

// The server's folder as a Windows path ("Z:..."), empty when not set.
std::string fakeImapFolder();

// The scenario the server plays to the next connections: a JSON object text
// (see fake_imap.py). The transcript, the expunged and seen records and the
// deliveries of the scenario before are cleared.
void setFakeImapScenario(const std::string& json);
std::vector<std::string> fakeImapTranscript();
// The UIDs the server expunged, and those whose \Seen flag a client set.
std::vector<std::string> fakeImapExpunged();
std::vector<std::string> fakeImapSeen();
// Delivers a message file (a Windows path) after the scenario's messages: a
// client in IDLE is told at once, later connections see it.
void deliverToFakeImap(const std::string& messagePath);
