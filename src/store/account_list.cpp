#include "store/account_list.h"

#include <cstdlib>
#include <cstring>

AccountEntry* accountList = nullptr;
int accountCount = 0;

namespace {

int capacity = 0;

} // namespace

void clearAccountList() {
    free(accountList);
    accountList = nullptr;
    accountCount = 0;
    capacity = 0;
}

bool reserveAccounts(int count) {
    if (count <= capacity) {
        return true;
    }
    void* grown = realloc(accountList, static_cast<size_t>(count) * sizeof(AccountEntry));
    if (grown == nullptr) {
        return false;
    }
    accountList = static_cast<AccountEntry*>(grown);
    capacity = count;
    return true;
}

bool appendAccount(const AccountEntry& entry) {
    // entry may be an element of the list itself, which growing moves.
    AccountEntry copy = entry;
    if (accountCount == capacity && !reserveAccounts(capacity < 8 ? 8 : capacity * 2)) {
        return false;
    }
    accountList[accountCount++] = copy;
    return true;
}

bool removeAccount(int index) {
    if (index < 0 || index >= accountCount) {
        return false;
    }
    memmove(&accountList[index], &accountList[index + 1],
            static_cast<size_t>(accountCount - index - 1) * sizeof(AccountEntry));
    accountCount--;
    return true;
}
