// The check of a TLS server's certificate, made by the program itself after
// the handshake whatever SChannel did during it: its chain up to a root the
// system trusts, none of its certificates below the root revoked, then the
// policy of TLS servers with the host name.
#pragma once
#include <winsock2.h>
#include <windows.h>
#define SECURITY_WIN32
#include <security.h>

// Why a certificate was refused.
enum class CertProblem { None, WrongName, Expired, UnknownAuthority, Revoked, Other };

// What failed in starting TLS.
struct TlsFailure {
    enum Kind { None, Network, Handshake, Certificate } kind = None;
    long code = 0; // Winsock error, SECURITY_STATUS, or the chain/policy status
    CertProblem problem = CertProblem::None;
};

// The event log's reason for a refused certificate.
const char* certProblemText(CertProblem problem);

// What a chain's error status (CERT_TRUST_STATUS dwErrorStatus) refuses the
// certificate for; None when nothing does. A revocation status that could
// not be learned (no list or responder answered) refuses nothing: only a
// certificate known to be revoked is refused for it.
CertProblem chainProblem(DWORD chainStatus);

// The certificate the server of context showed, checked for host. False with
// failure filled in when it is refused.
bool verifyCertificate(CtxtHandle& context, const char* host, TlsFailure& failure);
