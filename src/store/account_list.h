// accountList: the rows of the account file read last (MailBox.txt or
// MessBox.txt), in file order. Its users (the retrieval run, the telegram run
// and the mailbox page) take turns and never overlap, so it has no lock.
#pragma once
#include "store/account_entry.h"

extern AccountEntry* accountList;
extern int accountCount;

// Empties the list and releases its storage.
void clearAccountList();

// Makes room for count entries in all; false when there is no memory.
bool reserveAccounts(int count);

// Appends a copy of entry; false when there is no memory.
bool appendAccount(const AccountEntry& entry);

// Removes the entry at index, keeping the order of the rest.
bool removeAccount(int index);
