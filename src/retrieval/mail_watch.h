// The IDLE connections of the running agent: one thread for every active
// IMAP mailbox of MailBox.txt, each keeping its own connection in IDLE and
// telling of new mail through a function handed down. The user-interface
// thread starts and stops them; any thread may wake them.
#pragma once
#include "retrieval/imap_idle.h"

#include <cstddef>

// Reads MailBox.txt and makes the watchers match it: a mailbox whose account
// line is unchanged keeps its connection, the connections of changed or
// removed mailboxes end, new mailboxes get one. arrived is called on a
// watcher's thread. Also listens for changes of the network.
void startMailWatch(const MailArrived& arrived);

// Cuts the pause before a new connection short and makes every open
// connection prove that it still lives (the system resumed, the network
// changed). Any thread.
void wakeMailWatch();

// Ends every connection and waits up to timeoutMs in all for the threads.
// True when every one ended in that time.
bool stopMailWatch(DWORD timeoutMs);

// The number of mailboxes watched (threads started and not stopped).
size_t mailWatchCount();
