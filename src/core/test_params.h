// The text a mailbox test is handed (the agent state's testParams) and
// receives back: both the page that starts the test and the poll thread that
// runs it read it.
#pragma once
#include <cstddef>

// The input: "address;password" and, when the test goes to the server an
// account line names, kTestServerSeparator and that "server;port" (a line
// end: neither a password nor a server holds one). The answer replaces it:
// "host;port" or the short text of the failure.
constexpr size_t kTestParamsCapacity = 800;
constexpr char kTestServerSeparator = '\n';
