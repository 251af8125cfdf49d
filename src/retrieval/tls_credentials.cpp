#include "retrieval/tls_credentials.h"

// The newer credential form (SCH_CREDENTIALS) and the UNICODE_STRING it uses.
#define SCHANNEL_USE_BLACKLISTS
#include <subauth.h>
#include <schannel.h>

#include <initializer_list>

// Outbound credentials for TLS 1.2 and 1.3 where the system has them: the
// newer credential form first (the one that reaches TLS 1.3), then the older
// one, and last whatever the system takes by default. The certificate is
// checked after the handshake, not by SChannel (which under some systems
// checks nothing).
SECURITY_STATUS acquireCredentials(CredHandle& credentials) {
    constexpr DWORD kFlags = SCH_CRED_NO_DEFAULT_CREDS | SCH_CRED_MANUAL_CRED_VALIDATION;
    char package[] = UNISP_NAME_A;
    TimeStamp expiry;
    TLS_PARAMETERS parameters = {};
    parameters.grbitDisabledProtocols =
        SP_PROT_SSL2_CLIENT | SP_PROT_SSL3_CLIENT | SP_PROT_TLS1_0_CLIENT | SP_PROT_TLS1_1_CLIENT;
    SCH_CREDENTIALS modern = {};
    modern.dwVersion = SCH_CREDENTIALS_VERSION;
    modern.dwFlags = kFlags;
    modern.cTlsParameters = 1;
    modern.pTlsParameters = &parameters;
    SECURITY_STATUS status = AcquireCredentialsHandleA(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr, &modern,
                                                       nullptr, nullptr, &credentials, &expiry);
    for (DWORD protocols : {static_cast<DWORD>(SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT), DWORD{0}}) {
        if (status == SEC_E_OK) {
            break;
        }
        SCHANNEL_CRED older = {};
        older.dwVersion = SCHANNEL_CRED_VERSION;
        older.dwFlags = kFlags;
        older.grbitEnabledProtocols = protocols;
        status = AcquireCredentialsHandleA(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr, &older, nullptr, nullptr,
                                           &credentials, &expiry);
    }
    return status;
}
