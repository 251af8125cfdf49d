// HTTPS through WinINet against the test session's HTTP server: a certificate
// the system trusts for the host is taken, any other refused.
#include "base/internet.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

TEST(Https, OnlyATrustedCertificateForTheHostIsTaken) {
    ASSERT_NE(nullptr, getenv("KORVEL_HTTPS_URL")) << "run under tools/test.sh (HTTP server)";
    InternetSession session;
    ASSERT_TRUE(session.opened());
    char buffer[4096];
    HttpResult good = httpGet(session, "https://localhost:8081/check", buffer, sizeof buffer);
    EXPECT_EQ(0u, good.error);
    EXPECT_EQ(200u, good.status);
    // Unknown authority, another host name, expired.
    for (const char* url :
         {"https://localhost:8082/check", "https://localhost:8083/check", "https://localhost:8084/check"}) {
        HttpResult refused = httpGet(session, url, buffer, sizeof buffer);
        EXPECT_NE(0u, refused.error) << url;
        EXPECT_EQ(0u, refused.status) << url;
    }
}
