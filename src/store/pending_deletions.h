// The mails waiting in DeleteMail.txt for deletion on their servers, as the
// mail lists need them: new mail numbers stay above theirs, and a mail that
// waits there is not shown in the lists at the same time.
#pragma once
#include <cstdint>
#include <string>
#include <unordered_set>

#include "store/mail_record.h"

class PendingDeletions {
public:
    // Reads DeleteMail.txt of the service folder under the lock its writers
    // hold. A missing, empty or unreadable file leaves nothing pending.
    void read();

    bool any() const { return !keys_.empty(); }
    // The same mail: equal number and equal server identity.
    bool contains(const MailEntry& entry) const;
    // The highest mail number of every record waiting (0 without any).
    uint64_t highestNumber() const { return highestNumber_; }

private:
    std::unordered_set<std::string> keys_;
    uint64_t highestNumber_ = 0;
};
