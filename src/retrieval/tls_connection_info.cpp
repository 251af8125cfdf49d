#include "retrieval/tls_connection_info.h"

#include "base/wide_text.h"

#include <schannel.h>

#include <cstdio>

namespace {

struct Named {
    DWORD value;
    const char* name;
};

constexpr Named kProtocols[] = {
    {SP_PROT_TLS1_3, "TLS 1.3"}, {SP_PROT_TLS1_2, "TLS 1.2"}, {SP_PROT_TLS1_1, "TLS 1.1"},
    {SP_PROT_TLS1_0, "TLS 1.0"}, {SP_PROT_SSL3, "SSL 3.0"},   {SP_PROT_SSL2, "SSL 2.0"},
};

constexpr DWORD kOutdatedProtocols = SP_PROT_SSL2 | SP_PROT_SSL3 | SP_PROT_TLS1_0 | SP_PROT_TLS1_1;

constexpr Named kCiphers[] = {
    {CALG_AES_128, "AES"}, {CALG_AES_192, "AES"}, {CALG_AES_256, "AES"}, {CALG_AES, "AES"},
    {CALG_3DES, "3DES"},   {CALG_DES, "DES"},     {CALG_RC4, "RC4"},
};

// The older attribute's words: the cipher's algorithm and key length.
std::string cipherOf(const SecPkgContext_ConnectionInfo& info) {
    const char* name = nullptr;
    for (const Named& c : kCiphers) {
        if (c.value == info.aiCipher) {
            name = c.name;
        }
    }
    char text[64];
    const auto strength = static_cast<unsigned long>(info.dwCipherStrength);
    if (name != nullptr) {
        snprintf(text, sizeof text, "%s %lu бит", name, strength);
    } else {
        snprintf(text, sizeof text, "0x%04lX %lu бит", static_cast<unsigned long>(info.aiCipher), strength);
    }
    return text;
}

// The protocol of SChannel's protocol bits ("TLS 1.2"), either side's.
std::string protocolName(DWORD protocol) {
    for (const Named& p : kProtocols) {
        if ((protocol & p.value) != 0) {
            return p.name;
        }
    }
    char text[32];
    snprintf(text, sizeof text, "0x%lX", static_cast<unsigned long>(protocol));
    return text;
}

} // namespace

std::string describeTlsConnection(CtxtHandle& context) {
    SecPkgContext_ConnectionInfo info = {};
    if (QueryContextAttributesA(&context, SECPKG_ATTR_CONNECTION_INFO, &info) != SEC_E_OK) {
        return std::string();
    }
    std::string text = protocolName(info.dwProtocol) + ", шифр ";
    // The cipher suite's name is told from Windows Vista on.
    SecPkgContext_CipherInfo suite = {};
    suite.dwVersion = SECPKGCONTEXT_CIPHERINFO_V1;
    char name[SZ_ALG_MAX_SIZE] = "";
    if (QueryContextAttributesA(&context, SECPKG_ATTR_CIPHER_INFO, &suite) == SEC_E_OK &&
        narrowText(suite.szCipherSuite, name, sizeof name) > 0) {
        return text + name;
    }
    return text + cipherOf(info);
}

bool agreedOnOutdatedProtocol(CtxtHandle& context, std::string& name) {
    SecPkgContext_ConnectionInfo info = {};
    if (QueryContextAttributesA(&context, SECPKG_ATTR_CONNECTION_INFO, &info) != SEC_E_OK ||
        (info.dwProtocol & kOutdatedProtocols) == 0) {
        return false;
    }
    name = protocolName(info.dwProtocol);
    return true;
}
