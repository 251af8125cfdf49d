// dwUrlRetrievalTimeout of CERT_CHAIN_PARA.
#define CERT_CHAIN_PARA_HAS_EXTRA_FIELDS
#include "retrieval/server_certificate.h"

#include <schannel.h>
#include <wincrypt.h>
#include <wininet.h>

namespace {

// The longest the fetches of revocation lists (or OCSP answers) of one
// chain may take together: where their addresses are filtered, a session
// waits this long and goes on with the status unknown.
constexpr DWORD kRevocationFetchTimeoutMs = 10000;

// What the revocation check may leave unknown.
constexpr DWORD kRevocationUnknown = CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;

struct ChainOwner {
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    ~ChainOwner() {
        if (chain != nullptr) {
            CertFreeCertificateChain(chain);
        }
    }
};

struct CertOwner {
    PCCERT_CONTEXT cert = nullptr;
    ~CertOwner() {
        if (cert != nullptr) {
            CertFreeCertificateContext(cert);
        }
    }
};

CertProblem policyProblem(DWORD error) {
    switch (static_cast<HRESULT>(error)) {
    case CERT_E_CN_NO_MATCH:
        return CertProblem::WrongName;
    case CERT_E_EXPIRED:
        return CertProblem::Expired;
    case CERT_E_UNTRUSTEDROOT:
    case CERT_E_CHAINING:
        return CertProblem::UnknownAuthority;
    case CERT_E_REVOKED:
    case CRYPT_E_REVOKED:
        return CertProblem::Revoked;
    default:
        return CertProblem::Other;
    }
}

} // namespace

CertProblem chainProblem(DWORD chainStatus) {
    DWORD status = chainStatus & ~kRevocationUnknown;
    if (status == CERT_TRUST_NO_ERROR) {
        return CertProblem::None;
    }
    if (status & CERT_TRUST_IS_REVOKED) {
        return CertProblem::Revoked;
    }
    if (status & (CERT_TRUST_IS_NOT_TIME_VALID | CERT_TRUST_CTL_IS_NOT_TIME_VALID)) {
        return CertProblem::Expired;
    }
    if (status & (CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN)) {
        return CertProblem::UnknownAuthority;
    }
    return CertProblem::Other;
}

namespace {

bool refused(TlsFailure& failure, long code, CertProblem problem) {
    failure.code = code;
    failure.problem = problem;
    return false;
}

// The policy of TLS servers for host, on a chain whose own status passed.
bool checkServerPolicy(PCCERT_CHAIN_CONTEXT chain, const char* host, TlsFailure& failure) {
    wchar_t wideHost[256];
    if (MultiByteToWideChar(CP_ACP, 0, host, -1, wideHost, 256) == 0) {
        return refused(failure, static_cast<long>(GetLastError()), CertProblem::WrongName);
    }
    HTTPSPolicyCallbackData https = {};
    https.cbStruct = sizeof https;
    https.dwAuthType = AUTHTYPE_SERVER;
    https.pwszServerName = wideHost;
    // Revocation was judged from the chain's status: the policy leaves it
    // alone (an unknown status is no refusal, and some systems' policies
    // report one before they look at the name).
    https.fdwChecks = SECURITY_FLAG_IGNORE_REVOCATION;
    CERT_CHAIN_POLICY_PARA policyPara = {};
    policyPara.cbSize = sizeof policyPara;
    policyPara.dwFlags = CERT_CHAIN_POLICY_IGNORE_ALL_REV_UNKNOWN_FLAGS;
    policyPara.pvExtraPolicyPara = &https;
    CERT_CHAIN_POLICY_STATUS policy = {};
    policy.cbSize = sizeof policy;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policyPara, &policy)) {
        return refused(failure, static_cast<long>(GetLastError()), CertProblem::Other);
    }
    if (policy.dwError != 0) {
        return refused(failure, static_cast<long>(policy.dwError), policyProblem(policy.dwError));
    }
    return true;
}

} // namespace

// The chain must reach a root the system trusts with no error status but an
// unknown revocation status: a chain that stops short of a root passes the
// policy alone. Revocation is asked for every certificate below the root
// (the root is trusted as it stands), within kRevocationFetchTimeoutMs for
// all the fetches.
bool verifyCertificate(CtxtHandle& context, const char* host, TlsFailure& failure) {
    failure.kind = TlsFailure::Certificate;
    CertOwner remote;
    SECURITY_STATUS status = QueryContextAttributesA(&context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &remote.cert);
    if (status != SEC_E_OK || remote.cert == nullptr) {
        return refused(failure, status, CertProblem::Other);
    }
    char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
    LPSTR usages[] = {serverAuth};
    CERT_CHAIN_PARA chainPara = {};
    chainPara.cbSize = sizeof chainPara;
    chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
    chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
    chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    chainPara.dwUrlRetrievalTimeout = kRevocationFetchTimeoutMs;
    ChainOwner chain;
    if (!CertGetCertificateChain(nullptr, remote.cert, nullptr, remote.cert->hCertStore, &chainPara,
                                 CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT |
                                     CERT_CHAIN_REVOCATION_ACCUMULATIVE_TIMEOUT,
                                 nullptr, &chain.chain)) {
        return refused(failure, static_cast<long>(GetLastError()), CertProblem::Other);
    }
    DWORD chainStatus = chain.chain->TrustStatus.dwErrorStatus;
    CertProblem problem = chainProblem(chainStatus);
    if (problem != CertProblem::None) {
        return refused(failure, static_cast<long>(chainStatus), problem);
    }
    if (!checkServerPolicy(chain.chain, host, failure)) {
        return false;
    }
    failure = TlsFailure();
    return true;
}

const char* certProblemText(CertProblem problem) {
    switch (problem) {
    case CertProblem::WrongName:
        return "сертификат выдан для другого имени сервера";
    case CertProblem::Expired:
        return "срок действия сертификата истек или не наступил";
    case CertProblem::UnknownAuthority:
        return "сертификат выдан неизвестным центром сертификации";
    case CertProblem::Revoked:
        return "сертификат отозван выдавшим его центром сертификации";
    case CertProblem::None:
        return "";
    default:
        return "сертификат не прошел проверку";
    }
}
