// The outbound SChannel credentials of the program's TLS connections.
#pragma once
#include <winsock2.h>
#include <windows.h>
#define SECURITY_WIN32
#include <security.h>

// Credentials for TLS 1.2 and 1.3 where the system has them. SEC_E_OK or the
// failure of the last form tried.
SECURITY_STATUS acquireCredentials(CredHandle& credentials);
