// The login of a session: refused logins, TLS on port 995 and through STLS,
// refused certificates, and faults of a connection over TLS.
#include "pop3_session_fixture.h"

#include "retrieval/server_certificate.h"

#include "http_fixtures.h"

#include <shlobj.h>
#include <wincrypt.h>

TEST_F(Pop3Session, RefusedLoginAndEmptyMailbox) {
    DovecotMailbox box;
    ASSERT_EQ(0, receive("x;" + box.user() + ";wrong;127.0.0.1;110"));
    EXPECT_NE(std::string::npos, log().find("Сервер не опознал указанные адрес и/или пароль."));
    EXPECT_TRUE(gRetrieval.walkIncomplete);

    gRetrieval.walkIncomplete = false;
    ASSERT_EQ(1, receive("Пусто;" + box.user() + ";" + box.password() + ";127.0.0.1;110"));
    EXPECT_NE(std::string::npos, log().find("Psevdo:Пусто\r\n"));
    EXPECT_TRUE(blocks().empty());
    EXPECT_FALSE(gRetrieval.walkIncomplete);
}

TEST_F(Pop3Session, PollsOverTlsBringTheSameRecordsAsTheClearPoll) {
    DovecotMailbox box;
    box.addCorpus();
    const char* servers[] = {"pop3.alpha.test;110", "pop3.delta.test;995", "pop3.delta.test;110"};
    std::string clear;
    for (const char* server : servers) {
        SCOPED_TRACE(server);
        gRetrieval.clear();
        clearHeaderFile();
        ASSERT_EQ(1, receive("Работа;" + box.user() + ";" + box.password() + ";" + server));
        std::string text = readFile(dir / "MailTmp.txt");
        if (clear.empty()) {
            clear = text;
            ASSERT_EQ(corpusMailNames().size(), blocks().size());
        }
        EXPECT_EQ(clear, text);
        EXPECT_FALSE(gRetrieval.walkIncomplete);
    }
    std::string text = log();
    // The clear server is used, and the log says so; the others are not.
    EXPECT_EQ(1u, count(text, "Сервер не предлагает STLS: пароль передается открытым текстом"));
    EXPECT_EQ(2u, count(text, "Установлено защищенное соединение с сервером (TLS)"));
    EXPECT_EQ(1u, count(text, "STLS\r\n"));

    std::string result;
    ASSERT_EQ(kTestPassed, test(box.user() + "@delta.test;" + box.password(), result));
    EXPECT_EQ("pop3.delta.test;995", result);
}

TEST_F(Pop3Session, RefusedTlsSendsNoPassword) {
    struct {
        const char* scenario;
        const char* port;
        const char* logged;
    } cases[] = {
        {"{\"cert\": \"wrongname\"}", "995", "сертификат выдан для другого имени сервера"},
        {"{\"cert\": \"expired\"}", "995", "срок действия сертификата истек или не наступил"},
        {"{\"cert\": \"unknown\"}", "995", "сертификат выдан неизвестным центром сертификации"},
        {"{\"cert\": \"untrusted\"}", "995", "сертификат выдан неизвестным центром сертификации"},
        {"{\"cert\": \"wrongname\", \"stls\": true}", "110", "сертификат выдан для другого имени сервера"},
        {"{\"stls\": true, \"replies\": {\"STLS\": \"-ERR not now\\r\\n\"}}", "110",
         "Сервер отказал в STLS. Пароль не отправлен."},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.scenario);
        setFakePop3Scenario(c.scenario);
        EXPECT_EQ(0, receive(fakeTlsLine(c.port)));
        EXPECT_NE(std::string::npos, log().find(c.logged));
        EXPECT_FALSE(sawLogin());
    }
    EXPECT_EQ(6u, count(log(), "Пароль не отправлен."));

    // The mailbox test: a certificate refused on 995 is not retried in the
    // clear on 110.
    setFakePop3Scenario("{\"cert\": \"expired\"}");
    std::string result;
    EXPECT_EQ(0, test("ivan@fakes.test;x", result));
    EXPECT_EQ("Ошибка! Сертификат сервера не прошел проверку.", result);
    EXPECT_FALSE(sawLogin());
}

TEST_F(Pop3Session, FaultsOverTls) {
    // Replies one byte a record give the same blocks as the clear poll.
    setFakePop3Scenario(corpusScenario());
    ASSERT_EQ(1, receive(fakeLine()));
    std::string whole = readFile(dir / "MailTmp.txt");
    for (const char* variant : {"\"splitBytes\": true", "\"stls\": true, \"splitBytes\": true"}) {
        SCOPED_TRACE(variant);
        clearHeaderFile();
        gRetrieval.clear();
        setFakePop3Scenario(corpusScenario(variant));
        ASSERT_EQ(1, receive(fakeTlsLine(strstr(variant, "stls") ? "110" : "995")));
        EXPECT_EQ(whole, readFile(dir / "MailTmp.txt"));
    }

    // A connection dropped in the middle of a header.
    clearHeaderFile();
    gRetrieval.clear();
    setFakePop3Scenario(corpusScenario("\"dropOn\": {\"TOP 2 0\": 300}"));
    ASSERT_EQ(1, receive(fakeTlsLine()));
    EXPECT_EQ(1u, blocks().size());
    EXPECT_NE(std::string::npos, log().find("Ошибка при приеме заголовка письма:"));
    EXPECT_TRUE(gRetrieval.walkIncomplete);

    // Silence.
    clearHeaderFile();
    shortTimeouts();
    setFakePop3Scenario(corpusScenario("\"silentOn\": \"TOP 1 0\""));
    ASSERT_EQ(1, receive(fakeTlsLine()));
    EXPECT_NE(std::string::npos, log().find("Сервер не выдал заголовок письма. Ошибка: 10060"));
    EXPECT_TRUE(blocks().empty());
}

TEST_F(Pop3Session, ASessionOverTlsCanBeStoppedFromAnotherThread) {
    EXPECT_NE(kSessionNotStopped, stopReceptionAtTheThirdMessage(fakeTlsLine(), headerFile.get()));
    EXPECT_EQ(2u, blocks().size());
    EXPECT_TRUE(gRetrieval.walkIncomplete);
    EXPECT_NE(std::string::npos, log().find("Приём почты прерван"));
}

// A revocation status that could not be learned refuses nothing; a revoked
// certificate is refused whatever else its chain says.
TEST(CertificateStatus, OnlyAKnownRevocationRefuses) {
    const DWORD unknown = CERT_TRUST_REVOCATION_STATUS_UNKNOWN;
    const DWORD offline = CERT_TRUST_IS_OFFLINE_REVOCATION;
    struct {
        DWORD status;
        CertProblem problem;
    } cases[] = {
        {unknown | offline, CertProblem::None},
        {CERT_TRUST_IS_REVOKED | unknown | offline, CertProblem::Revoked},
        {CERT_TRUST_IS_REVOKED | CERT_TRUST_IS_NOT_TIME_VALID, CertProblem::Revoked},
        {CERT_TRUST_IS_NOT_TIME_VALID | offline, CertProblem::Expired},
        {CERT_TRUST_IS_PARTIAL_CHAIN | unknown | offline, CertProblem::UnknownAuthority},
        {CERT_TRUST_IS_NOT_SIGNATURE_VALID | unknown, CertProblem::Other},
    };
    for (auto c : cases) {
        EXPECT_EQ(c.problem, chainProblem(c.status)) << std::hex << c.status;
    }
}

namespace {

// Forgets the revocation results the system keeps between processes. Wine
// keeps them under names that one certificate may share with another of
// the same authority, so that one's result would stand for the other's.
void forgetRevocationResults() {
    PWSTR low = nullptr;
    if (FAILED(SHGetKnownFolderPath(FOLDERID_LocalAppDataLow, 0, nullptr, &low))) {
        return;
    }
    std::wstring folder = std::wstring(low) + L"\\Microsoft\\CryptnetUrlCache\\Content\\";
    CoTaskMemFree(low);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            DeleteFileW((folder + found.cFileName).c_str());
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// Whether the system's chains report a revoked certificate as revoked: the
// session's revoked certificate, checked alone.
bool systemReportsRevocation() {
    std::string pem = readFile(folderFromEnvironment("KORVEL_CERTS_DIR") + "revoked.pem");
    BYTE der[8192];
    DWORD size = sizeof der;
    if (!CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, der, &size,
                              nullptr, nullptr)) {
        return false;
    }
    PCCERT_CONTEXT cert = CertCreateCertificateContext(X509_ASN_ENCODING, der, size);
    if (cert == nullptr) {
        return false;
    }
    CERT_CHAIN_PARA para = {};
    para.cbSize = sizeof para;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    bool revoked = CertGetCertificateChain(nullptr, cert, nullptr, nullptr, &para, CERT_CHAIN_REVOCATION_CHECK_END_CERT,
                                           nullptr, &chain) &&
                   (chain->TrustStatus.dwErrorStatus & CERT_TRUST_IS_REVOKED) != 0;
    if (chain != nullptr) {
        CertFreeCertificateChain(chain);
    }
    CertFreeCertificateContext(cert);
    return revoked;
}

} // namespace

// The certificates that name their authority's revocation list, which the
// test session's HTTP server hands out: a certificate on the list is refused
// before the password goes, one that is not is taken, and one whose list
// cannot be had is taken too.
TEST_F(Pop3Session, RevokedCertificatesAreRefused) {
    forgetRevocationResults();
    if (!systemReportsRevocation()) {
        GTEST_SKIP() << "this system reports no revocation status for a certificate on its authority's list";
    }
    EXPECT_FALSE(crlRequests().empty()); // the list came from its address
    for (const char* cert : {"revoked", "crlgood", "crlgone"}) {
        SCOPED_TRACE(cert);
        forgetRevocationResults();
        setFakePop3Scenario(std::string("{\"cert\": \"") + cert + "\"}");
        bool revoked = strcmp(cert, "revoked") == 0;
        EXPECT_EQ(revoked ? 0 : 1, receive(fakeTlsLine()));
        EXPECT_EQ(!revoked, sawLogin());
    }
    EXPECT_NE(std::string::npos, log().find("сертификат отозван выдавшим его центром сертификации"));
    EXPECT_EQ(1u, count(log(), "Пароль не отправлен."));
}
