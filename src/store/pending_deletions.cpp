#include "store/pending_deletions.h"

#include "base/file_io.h"
#include "core/service_paths.h"
#include "store/deletion_file.h"
#include "store/line_reader.h"
#include "store/mail_line.h"
#include "core/program_names.h"

#include <windows.h>

#include <memory>

namespace {

// A field cannot hold ";", so it parts the two texts of a key safely.
std::string keyOf(const char* number, const char* identity) {
    std::string key(number);
    key += ';';
    key += identity;
    return key;
}

} // namespace

void PendingDeletions::read() {
    keys_.clear();
    highestNumber_ = 0;
    ServicePath path(kDeletionFile);
    if (!path.fits) {
        return;
    }
    FileImage image;
    {
        ExclusiveLock lock(deletionFileLock());
        if (!readFileImage(path.text, FILE_SHARE_READ | FILE_SHARE_WRITE, image).ok() || image.size == 0) {
            return;
        }
    }
    size_t lines = countLines(image.text(), image.size);
    std::unique_ptr<MailEntry[]> entries(new (std::nothrow) MailEntry[lines]);
    if (!entries) {
        return;
    }
    size_t count = readMailEntries(image.text(), image.size, entries.get(), lines);
    keys_.reserve(count);
    for (size_t i = 0; i < count; i++) {
        keys_.insert(keyOf(entries[i].number, entries[i].identity));
        uint64_t number = 0;
        if (parseMailNumber(entries[i].number, number) && number > highestNumber_) {
            highestNumber_ = number;
        }
    }
}

bool PendingDeletions::contains(const MailEntry& entry) const {
    return !keys_.empty() && keys_.count(keyOf(entry.number, entry.identity)) != 0;
}
