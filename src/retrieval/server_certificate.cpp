#include "retrieval/server_certificate.h"

#include <schannel.h>
#include <wincrypt.h>

namespace {

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

CertProblem chainProblem(DWORD status) {
    if (status & (CERT_TRUST_IS_NOT_TIME_VALID | CERT_TRUST_CTL_IS_NOT_TIME_VALID)) {
        return CertProblem::Expired;
    }
    if (status & (CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN)) {
        return CertProblem::UnknownAuthority;
    }
    return CertProblem::Other;
}

CertProblem policyProblem(DWORD error) {
    switch (static_cast<HRESULT>(error)) {
    case CERT_E_CN_NO_MATCH:
        return CertProblem::WrongName;
    case CERT_E_EXPIRED:
        return CertProblem::Expired;
    case CERT_E_UNTRUSTEDROOT:
    case CERT_E_CHAINING:
        return CertProblem::UnknownAuthority;
    default:
        return CertProblem::Other;
    }
}

} // namespace

// The chain must reach a root the system trusts with no error status at all:
// a chain that stops short of a root passes the policy alone.
bool verifyCertificate(CtxtHandle& context, const char* host, TlsFailure& failure) {
    failure.kind = TlsFailure::Certificate;
    CertOwner remote;
    SECURITY_STATUS status = QueryContextAttributesA(&context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &remote.cert);
    if (status != SEC_E_OK || remote.cert == nullptr) {
        failure.code = status;
        failure.problem = CertProblem::Other;
        return false;
    }
    char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
    LPSTR usages[] = {serverAuth};
    CERT_CHAIN_PARA chainPara = {};
    chainPara.cbSize = sizeof chainPara;
    chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
    chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
    chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    ChainOwner chain;
    if (!CertGetCertificateChain(nullptr, remote.cert, nullptr, remote.cert->hCertStore, &chainPara, 0, nullptr,
                                 &chain.chain)) {
        failure.code = static_cast<long>(GetLastError());
        failure.problem = CertProblem::Other;
        return false;
    }
    DWORD chainStatus = chain.chain->TrustStatus.dwErrorStatus;
    if (chainStatus != CERT_TRUST_NO_ERROR) {
        failure.code = static_cast<long>(chainStatus);
        failure.problem = chainProblem(chainStatus);
        return false;
    }
    wchar_t wideHost[256];
    if (MultiByteToWideChar(CP_ACP, 0, host, -1, wideHost, 256) == 0) {
        failure.code = static_cast<long>(GetLastError());
        failure.problem = CertProblem::WrongName;
        return false;
    }
    HTTPSPolicyCallbackData https = {};
    https.cbStruct = sizeof https;
    https.dwAuthType = AUTHTYPE_SERVER;
    https.pwszServerName = wideHost;
    CERT_CHAIN_POLICY_PARA policyPara = {};
    policyPara.cbSize = sizeof policyPara;
    policyPara.pvExtraPolicyPara = &https;
    CERT_CHAIN_POLICY_STATUS policy = {};
    policy.cbSize = sizeof policy;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.chain, &policyPara, &policy)) {
        failure.code = static_cast<long>(GetLastError());
        failure.problem = CertProblem::Other;
        return false;
    }
    if (policy.dwError != 0) {
        failure.code = static_cast<long>(policy.dwError);
        failure.problem = policyProblem(policy.dwError);
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
    case CertProblem::None:
        return "";
    default:
        return "сертификат не прошел проверку";
    }
}
