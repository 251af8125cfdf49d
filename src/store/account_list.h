// accountList: the rows of the account file read last (MailBox.txt or
// MessBox.txt), in file order. Its users (the retrieval run, the telegram run
// and the mailbox page) take turns and never overlap, so it has no lock.
#pragma once
#include "store/account_entry.h"

#include <cstddef>
#include <vector>

class AccountList {
public:
    int count() const { return static_cast<int>(entries_.size()); }
    AccountEntry& operator[](int index) { return entries_[static_cast<size_t>(index)]; }
    const AccountEntry& operator[](int index) const { return entries_[static_cast<size_t>(index)]; }

    // Empties the list and releases its storage.
    void clear();
    // Makes room for count entries in all; false when there is no memory.
    bool reserve(int count);
    // Appends a copy of entry; false when there is no memory.
    bool append(const AccountEntry& entry);
    // Removes the entry at index, keeping the order of the rest.
    bool remove(int index);

private:
    std::vector<AccountEntry> entries_;
};

extern AccountList accountList;
