// TLS as servers use it: a request for a client certificate, a close that
// comes in one piece with the last reply, and the credentials of older and
// newer systems.
#include "core/agent_state.h"
#include "retrieval/retrieval_run.h"
#include "retrieval/tls_credentials.h"

#include "pop3_session_fixture.h"

namespace {

// Mail 1 of the scripted server's mailbox (corpusScenario).
constexpr char kFirstMailId[] = "20261207101500.4711@mail.example.ru";

bool transcriptHas(const char* prefix) {
    for (const std::string& line : fakePop3Transcript()) {
        if (line.compare(0, strlen(prefix), prefix) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace

TEST_F(Pop3Session, AServerAskingForAClientCertificateIsAnsweredAtOnce) {
    // A receive time-out far beyond the scripted server's handshake limit: a
    // client that waited for more bytes instead of answering the request
    // would see the server give up and fail, not time out itself.
    gNetTimeouts.receiveMs = 30 * 60 * 1000;
    setFakePop3Scenario(corpusScenario());
    ASSERT_EQ(1, receive(fakeLine()));
    std::string whole = readFile(dir / "MailTmp.txt");
    for (const char* port : {"995", "110"}) {
        SCOPED_TRACE(port);
        clearHeaderFile();
        gRetrieval.clear();
        setFakePop3Scenario(corpusScenario("\"clientCert\": \"optional\", \"stls\": true"));
        ASSERT_EQ(1, receive(fakeTlsLine(port)));
        EXPECT_EQ(whole, readFile(dir / "MailTmp.txt"));
    }

    // A server that insists on a certificate ends the handshake; the
    // password stays unsent.
    setFakePop3Scenario(corpusScenario("\"clientCert\": \"required\""));
    EXPECT_EQ(0, receive(fakeTlsLine()));
    EXPECT_FALSE(sawLogin());
    EXPECT_NE(std::string::npos,
              log().find("Сервер прервал установку защищенного соединения уведомлением TLS (alert)"));
}

// Whole runs over MailBox.txt and DeleteMail.txt in the service folder.
class TlsRun : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(fakePop3Folder().empty()) << "run under tools/test.sh (POP3 servers)";
        copyText(gAgent.serviceFolder, sizeof gAgent.serviceFolder, dir.path().c_str());
        ASSERT_EQ(0u, openEventLog((dir / "MAInLog.txt").c_str()));
        gAgent.pollMode = 1;
        gAgent.highestMailNumber = 100;
        gAgent.runNewMailCount = 0;
        gRetrieval.clear();
        resetPop3Cancel();
    }
    void TearDown() override {
        closeEventLog("end");
        gRetrieval.clear();
    }
    std::string log() const { return readFile(dir / "MAInLog.txt"); }

    TempFolder dir;
};

TEST_F(TlsRun, TheReplyToQuitThatComesWithTheCloseConfirmsTheDeletions) {
    // The close itself, and a record that fails after the reply: the reply
    // counts either way.
    for (const char* close : {"true", "\"garbled\""}) {
        SCOPED_TRACE(close);
        const std::string scenario = corpusScenario(std::string("\"quitWithClose\": ") + close);
        ASSERT_TRUE(writeFile(dir / "MailBox.txt", "A;" + fakeTlsLine() + "\r\n"));
        ASSERT_TRUE(writeFile(dir / "DeleteMail.txt", "40;0;Фейк;ivan@fake.test;1.0 Кб;" + std::string(kFirstMailId) +
                                                          ";a@b;1765090000;;Тема\r\n"));
        setFakePop3Scenario(scenario);
        retrievalRun();
        // "+OK" and what follows it left the server in one send.
        ASSERT_TRUE(transcriptHas("(one send: 2 TLS records)")) << log();
        EXPECT_TRUE(sent("DELE 1"));
        EXPECT_EQ(std::vector<std::string>{"1"}, fakePop3Deleted());
        EXPECT_FALSE(fileExists(dir / "DeleteMail.txt")) << log();

        // The next run asks for no deletion.
        setFakePop3Scenario(scenario);
        retrievalRun();
        EXPECT_TRUE(transcriptHas("(one send:"));
        EXPECT_FALSE(transcriptHas("DELE"));
        EXPECT_FALSE(fileExists(dir / "DeleteMail.txt"));
    }
}

namespace {

DWORD olderSystem() {
    return kFirstBuildWithNewerCredentials - 1;
}

DWORD newerSystem() {
    return 22621;
}

struct SystemBuildStandIn {
    explicit SystemBuildStandIn(SystemBuildReader reader) { gSystemBuild = reader; }
    ~SystemBuildStandIn() { gSystemBuild = readSystemBuild; }
};

} // namespace

TEST_F(Pop3Session, OlderAndNewerSystemsSpeakTls12OrNewerOnly) {
    setFakePop3Scenario(corpusScenario());
    ASSERT_EQ(1, receive(fakeLine()));
    std::string whole = readFile(dir / "MailTmp.txt");
    for (SystemBuildReader system : {olderSystem, newerSystem}) {
        SystemBuildStandIn standIn(system);
        SCOPED_TRACE(system());
        clearHeaderFile();
        gRetrieval.clear();
        setFakePop3Scenario(corpusScenario());
        ASSERT_EQ(1, receive(fakeTlsLine()));
        EXPECT_EQ(whole, readFile(dir / "MailTmp.txt"));

        // A server of TLS 1.1 at most gets no password.
        setFakePop3Scenario(corpusScenario("\"tlsMax\": \"1.1\""));
        EXPECT_EQ(0, receive(fakeTlsLine()));
        EXPECT_FALSE(sawLogin());
        EXPECT_NE(std::string::npos, log().find("Защищенное соединение с сервером не установлено")) << log();
    }
    // Once a session, after the handshake: the protocol and the cipher.
    EXPECT_EQ(2u, count(log(), "Протокол защищенного соединения: TLS 1."));
}
