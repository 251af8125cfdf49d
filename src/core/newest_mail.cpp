#include "core/newest_mail.h"

#include "base/text.h"
#include "base/win_handles.h"

namespace {

SRWLOCK lock = SRWLOCK_INIT;
NewestMail slot;

} // namespace

void recordNewestMail(int count, const char* sender, const char* subject) {
    ExclusiveLock hold(lock);
    slot.count = count;
    copyText(slot.sender, sizeof slot.sender, sender);
    copyText(slot.subject, sizeof slot.subject, subject);
}

NewestMail newestMail() {
    ExclusiveLock hold(lock);
    return slot;
}
