// What a TLS connection's handshake agreed on, told in the words of the
// event log.
#pragma once
#include <winsock2.h>
#include <windows.h>
#define SECURITY_WIN32
#include <security.h>

#include <string>

// "TLS 1.3, шифр TLS_AES_256_GCM_SHA384" (the cipher suite's name where the
// system gives it, else the cipher and its strength); empty when the system
// tells nothing.
std::string describeTlsConnection(CtxtHandle& context);

// Whether the handshake agreed on a protocol older than TLS 1.2 (its name
// then in name). Not every SChannel keeps to the protocols its credentials
// disable, so the channel looks for itself. False when the system does not
// say.
bool agreedOnOutdatedProtocol(CtxtHandle& context, std::string& name);
