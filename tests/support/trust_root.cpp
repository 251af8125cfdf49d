// Adds a certificate (a DER file) to the machine's trusted root authorities:
// the test session trusts the test authority it made for its run this way.
// Usage: trust_root.exe FILE
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: trust_root FILE\n");
        return 2;
    }
    FILE* file = fopen(argv[1], "rb");
    if (file == nullptr) {
        fprintf(stderr, "trust_root: cannot open %s\n", argv[1]);
        return 1;
    }
    std::vector<BYTE> der(65536);
    size_t size = fread(der.data(), 1, der.size(), file);
    fclose(file);
    if (size == 0 || size == der.size()) {
        fprintf(stderr, "trust_root: %s is empty or too large\n", argv[1]);
        return 1;
    }
    HCERTSTORE store =
        CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, const_cast<char*>("Root"));
    if (store == nullptr) {
        fprintf(stderr, "trust_root: no root store (%lu)\n", GetLastError());
        return 1;
    }
    BOOL added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), static_cast<DWORD>(size),
                                                  CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    DWORD error = GetLastError();
    CertCloseStore(store, 0);
    if (!added) {
        fprintf(stderr, "trust_root: not added (0x%08lX)\n", error);
        return 1;
    }
    return 0;
}
