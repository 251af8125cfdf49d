// Telegrams: short messages for the logins of MessBox.txt, fetched from the
// telegram server on every reception poll and appended to GetMess.txt.
#pragma once
#include <windows.h>

// The min_id of the query under way, raised to the highest id received.
extern int highestMessageId;

// One telegram run over every active login (poll thread).
void telegramRun();

// One query for one login, appending to the open GetMess.txt (messageFile);
// 1 when at least one telegram was stored.
int fetchTelegrams(HANDLE messageFile, const char* alias, const char* login, const char* password);
