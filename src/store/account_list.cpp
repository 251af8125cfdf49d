#include "store/account_list.h"

#include <new>

AccountList accountList;

void AccountList::clear() {
    std::vector<AccountEntry>().swap(entries_);
}

bool AccountList::reserve(int count) {
    if (count < 0) {
        return false;
    }
    try {
        entries_.reserve(static_cast<size_t>(count));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool AccountList::append(const AccountEntry& entry) {
    try {
        // entry may be an element of the list itself, which growing moves.
        AccountEntry copy = entry;
        entries_.push_back(copy);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool AccountList::remove(int index) {
    if (index < 0 || index >= count()) {
        return false;
    }
    entries_.erase(entries_.begin() + index);
    return true;
}
