// Names of the program's files, its service files and its registry key,
// written once for every layer that reaches them.
#pragma once

// In the installation folder.
constexpr char kAgentExeName[] = "Korvel.exe";
constexpr char kUpdaterExeName[] = "Velnor.exe";
// The startup link in the current user's Startup folder (and on the desktop).
constexpr char kAgentLinkName[] = "Korvel.lnk";

// In the service folder.
constexpr char kMailBoxFile[] = "MailBox.txt";     // the mailboxes
constexpr char kNewMailFile[] = "Mail.txt";        // mails not yet seen in the viewer
constexpr char kArchiveFile[] = "HistMail.txt";    // every mail kept
constexpr char kFreshMailFile[] = "GetMail.txt";   // mails of the last polls, not yet merged
constexpr char kDeletionFile[] = "DeleteMail.txt"; // mails waiting for deletion on the server
constexpr char kHeaderFile[] = "MailTmp.txt";      // headers read by the running poll
constexpr char kSettingsFile[] = "Korvel.ini";
constexpr char kEventLogFile[] = "MAInLog.txt";      // the event log
constexpr char kKnownIdsFile[] = "IdMail.txt";       // identifiers of the mails already received
constexpr char kTelegramBoxFile[] = "MessBox.txt";   // the telegram accounts
constexpr char kFreshTelegramFile[] = "GetMess.txt"; // every telegram received
constexpr char kTelegramFile[] = "Mess.txt";         // removed when the viewer closes
constexpr char kTlsLoginsFile[] = "TlsBox.txt";      // mailboxes that have logged in over TLS

// Under HKEY_CURRENT_USER: "Path" (the installation folder) and "AutoStart".
constexpr char kAgentKey[] = "SOFTWARE\\Brastel\\Korvel\\";
constexpr char kMakerKey[] = "SOFTWARE\\Brastel\\";
constexpr char kPathValue[] = "Path";
constexpr char kAutoStartValue[] = "AutoStart";
