// What the POP3 session tests share: a service folder with its event log and
// an open header file, the header file cut into its blocks, and the scenarios
// of the scripted server.
#pragma once
#include "core/agent_state.h"
#include "base/event_log.h"
#include "base/text.h"
#include "base/win_handles.h"
#include "retrieval/pop3_connection.h"
#include "retrieval/pop3_session.h"
#include "retrieval/retrieval_state.h"
#include "store/account_line.h"

#include "pop3_fixtures.h"
#include "win_test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

struct Block {
    std::string alias, address, size, id, header;
};

// Cuts a header file into its blocks: four lines, then the header text up to
// and including its terminator line.
std::vector<Block> readBlocks(const std::string& text);

class Pop3Session : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A reception of the account line as MailBox.txt has it, without its
    // state ("alias;address;password;server;port").
    int receive(const std::string& accountLine);
    // A mailbox test of "address;password", by default one the user allowed
    // to send the password in the clear.
    int test(const std::string& params, std::string& result, bool clearText = true);
    // Empties the header file for the next session.
    void clearHeaderFile();
    std::vector<Block> blocks() { return readBlocks(readFile(dir / "MailTmp.txt")); }
    std::string log() { return readFile(dir / "MAInLog.txt"); }
    std::vector<std::string> seen();
    // Short time-outs for the scripted server's silences.
    void shortTimeouts();

    TempFolder dir;
    UniqueHandle headerFile;
    NetTimeouts savedTimeouts;
};

// A DeleteMail.txt line of mail 57 with the identity.
std::string deletionRecord(const char* identity);
void setDeletionList(const std::string& lines);
size_t count(const std::string& text, const std::string& what);

// The scripted server's mailbox, in the clear and over TLS (fakes.test has
// TLS on 995, and STLS there when a scenario offers it).
std::string fakeLine();
std::string fakeTlsLine(const char* port = "995");
// The first four mails of the corpus, with more of a scenario's fields.
std::string corpusScenario(const std::string& extra = "");
bool sent(const std::string& command);
bool sawLogin();
// Waits until the scripted server has received the command.
bool waitForCommand(const std::string& command);

// Receives from line (as for Pop3Session::receive) on a thread of its own
// against a server that stays silent after "TOP 3 0", and stops the session
// from this thread once the server has that command. Returns the
// milliseconds from the stop to the thread's end, or kSessionNotStopped when
// it did not end within five seconds (or never began). With ignoreFin the
// server does not close when the session shuts its side down: the stop
// alone must wake the session.
constexpr DWORD kSessionNotStopped = MAXDWORD;
DWORD stopReceptionAtTheThirdMessage(const std::string& line, HANDLE headerFile, bool ignoreFin = false);
