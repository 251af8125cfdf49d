#include "retrieval/tls_credentials.h"

#include "base/event_log.h"

// The newer credential form (SCH_CREDENTIALS) and the UNICODE_STRING it uses.
#define SCHANNEL_USE_BLACKLISTS
#include <subauth.h>
#include <schannel.h>

SystemBuildReader gSystemBuild = readSystemBuild;

namespace {

// The certificate is checked after the handshake, not by SChannel (which
// under some systems checks nothing); no client certificate is ever offered.
constexpr DWORD kFlags = SCH_CRED_NO_DEFAULT_CREDS | SCH_CRED_MANUAL_CRED_VALIDATION;

SECURITY_STATUS acquire(void* authData, CredHandle& credentials) {
    char package[] = UNISP_NAME_A;
    TimeStamp expiry;
    return AcquireCredentialsHandleA(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr, authData, nullptr, nullptr,
                                     &credentials, &expiry);
}

// The newer form names what is disabled: every protocol before TLS 1.2,
// whatever the system's own settings allow. The rest (TLS 1.3 where the
// system has it) stays on.
SECURITY_STATUS acquireNewer(CredHandle& credentials) {
    TLS_PARAMETERS parameters = {};
    parameters.grbitDisabledProtocols =
        SP_PROT_SSL2_CLIENT | SP_PROT_SSL3_CLIENT | SP_PROT_TLS1_0_CLIENT | SP_PROT_TLS1_1_CLIENT;
    SCH_CREDENTIALS newer = {};
    newer.dwVersion = SCH_CREDENTIALS_VERSION;
    newer.dwFlags = kFlags;
    newer.cTlsParameters = 1;
    newer.pTlsParameters = &parameters;
    return acquire(&newer, credentials);
}

// The older form names what is enabled: TLS 1.2 alone. TLS 1.3 is reached
// only through the newer form, and a 0 here would mean the system's defaults
// (TLS 1.0 alone on the oldest systems).
SECURITY_STATUS acquireOlder(CredHandle& credentials) {
    SCHANNEL_CRED older = {};
    older.dwVersion = SCHANNEL_CRED_VERSION;
    older.dwFlags = kFlags;
    older.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
    return acquire(&older, credentials);
}

} // namespace

// GetVersionEx reports an older system to a program whose manifest does not
// name the newer one; RtlGetVersion reports the system as it is.
DWORD readSystemBuild() {
    using RtlGetVersionFunction = LONG(WINAPI*)(RTL_OSVERSIONINFOW*);
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    FARPROC address = ntdll != nullptr ? GetProcAddress(ntdll, "RtlGetVersion") : nullptr;
    if (address == nullptr) {
        return 0;
    }
    RTL_OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof info;
    auto rtlGetVersion = reinterpret_cast<RtlGetVersionFunction>(reinterpret_cast<void*>(address));
    return rtlGetVersion(&info) == 0 ? info.dwBuildNumber : 0;
}

SECURITY_STATUS acquireCredentials(CredHandle& credentials) {
    if (gSystemBuild() >= kFirstBuildWithNewerCredentials) {
        SECURITY_STATUS status = acquireNewer(credentials);
        if (status == SEC_E_OK) {
            return status;
        }
        writeLogf("Система не приняла учетные данные TLS нового вида (0x%08lX): используется только TLS 1.2",
                  static_cast<unsigned long>(status));
    }
    return acquireOlder(credentials);
}
