// The outbound SChannel credentials of the program's TLS connections, in the
// form the system's build takes.
#pragma once
#include <winsock2.h>
#include <windows.h>
#define SECURITY_WIN32
#include <security.h>

// The first build with the newer credential form (Windows 10 1809).
constexpr DWORD kFirstBuildWithNewerCredentials = 17763;

// The build number of the running system, or 0 when it cannot be read.
DWORD readSystemBuild();

// How the build is read: readSystemBuild, or a stand-in of a test.
using SystemBuildReader = DWORD (*)();
extern SystemBuildReader gSystemBuild;

// Credentials for TLS 1.2 and newer only (1.3 where the system has it): the
// newer form from kFirstBuildWithNewerCredentials on, the older one before
// it or when a newer system refuses the newer form. SEC_E_OK or the failure
// of the last form tried.
SECURITY_STATUS acquireCredentials(CredHandle& credentials);
