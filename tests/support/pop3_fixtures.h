// The POP3 servers of the test session: mailboxes of the dovecot server
// (127.0.0.1:110) and scenarios of the scripted server (127.0.0.2:110), both
// reached through the folders the session names in the environment.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// The session's folders as Windows paths ("Z:..."), empty when not set.
std::string dovecotFolder();
std::string fakePop3Folder();
std::string mailCorpusFolder();

// A Windows path on drive Z: as the Unix path the servers use.
std::string unixPath(const std::string& windowsPath);

// The mails of the corpus (file names in order) and their bytes.
std::vector<std::string> corpusMailNames();
std::string corpusMail(const std::string& name);

// A dovecot mailbox of its own for one test; removed when the object goes.
// The server takes the password "pw-" + user name, for the plain user name
// and for the name with any domain after "@".
class DovecotMailbox {
public:
    DovecotMailbox();
    ~DovecotMailbox();
    DovecotMailbox(const DovecotMailbox&) = delete;
    DovecotMailbox& operator=(const DovecotMailbox&) = delete;

    const std::string& user() const { return user_; }
    const std::string& password() const { return password_; }
    void addMessage(const std::string& bytes);
    void addCorpus(); // every mail of the corpus, in order
    // Removes the mail at that place of the delivery order (from 0), as a
    // deletion by another mail program would.
    void removeMessage(size_t index);
    size_t messageCount() const;

private:
    std::string user_;
    std::string password_;
    std::string maildir_;
    int next_ = 0;
};

// The scenario the scripted server plays to the next connections: a JSON
// object text (see tests/support/fake_pop3.py). The transcript of commands
// it received is cleared.
void setFakePop3Scenario(const std::string& json);
std::vector<std::string> fakePop3Transcript();
// The gate of a scenario's "holdOn" (a reply held) or "holdReplies" (the
// relay's replies held): waits until the server holds a client there, and
// opens the gate so that what it held goes out.
bool waitForFakePop3Held(DWORD timeoutMs);
void releaseFakePop3();
std::vector<std::string> fakePop3Deleted();

// A JSON list of corpus mail paths for a scenario's "messages".
std::string corpusJsonList(const std::vector<std::string>& names);
