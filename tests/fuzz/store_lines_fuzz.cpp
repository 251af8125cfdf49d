// Mail and account files as they may come from a damaged disk or a hand
// edit: every line must read into bounded fields, write back, and read back
// the same; a loaded array must arrange into consistent groups.
#include "store/account_line.h"
#include "store/line_reader.h"
#include "store/mail_date.h"
#include "store/mail_line.h"
#include "store/mail_order.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

void check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

// The record read from line, and the entry read in place from its writable
// copy, must hold the same texts and write the same line.
void mailLineRoundTrip(const char* line, size_t length, char* copy, MailEntry& entry) {
    MailRecord record;
    parseMailLine(line, length, record);
    char text[kMailLineCapacity];
    size_t n = formatMailLine(record, text);
    check(n >= 2 && n < kMailLineCapacity && text[n - 2] == '\r' && text[n - 1] == '\n');
    MailRecord back;
    parseMailLine(text, n - 2, back);
    check(memcmp(&record, &back, sizeof record) == 0);

    parseMailEntry(copy, length, entry);
    const char* const texts[][2] = {
        {entry.number, record.number},     {entry.pseudonym, record.pseudonym},   {entry.sender, record.sender},
        {entry.address, record.address},   {entry.storedDate, record.storedDate}, {entry.size, record.size},
        {entry.identity, record.identity}, {entry.subject, record.subject},
    };
    for (const auto& t : texts) {
        check(strcmp(t[0], t[1]) == 0);
    }
    check(entry.deletion == record.deletion && entry.attachment == record.attachment);
    char entryText[kMailLineCapacity];
    check(formatMailEntry(entry, entryText) == n && memcmp(entryText, text, n) == 0);

    // The shown date fits an entry's room for it.
    memcpy(record.shownDate, record.storedDate, sizeof record.storedDate);
    formatMailDate(record.shownDate, sizeof record.shownDate);
    check(strnlen(record.shownDate, sizeof record.shownDate) < kShownDateCapacity);
}

void accountLineRoundTrip(const char* line, size_t length) {
    AccountEntry entry;
    parseAccountLine(line, length, entry);
    char text[kAccountLineCapacity];
    size_t n = formatAccountLine(entry, text);
    check(n >= 2 && n < kAccountLineCapacity);
    AccountEntry back;
    parseAccountLine(text, n - 2, back);
    check(memcmp(&entry, &back, sizeof entry) == 0);
}

void checkGroups(std::vector<MailEntry>& records) {
    int count = static_cast<int>(records.size());
    std::vector<int> order(records.size());
    int groupCount = arrangeMailRecords(records.data(), count, order.data(), records.size() % 2 == 0);
    check(groupCount >= 0 && groupCount <= count);
    std::vector<MailboxGroup> groups(groupCount);
    buildMailGroups(records.data(), count, groups.data(), groupCount);
    int mails = 0;
    for (const MailboxGroup& g : groups) {
        check(g.count >= 0);
        check(g.count == 0 ? g.firstIndex == -1 : g.firstIndex >= 0 && g.firstIndex + g.count <= count);
        for (int i = g.firstIndex; g.count > 0 && i < g.firstIndex + g.count; i++) {
            check(strcmp(records[i].pseudonym, g.pseudonym) == 0 && !isPlaceholderRecord(records[i]));
        }
        mails += g.count;
    }
    int placeholders = 0;
    for (const MailEntry& r : records) {
        placeholders += isPlaceholderRecord(r) ? 1 : 0;
    }
    check(mails + placeholders == count);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    LineReader reader(text, size);
    const char* line;
    size_t length;
    std::vector<char> image(text, text + size);
    std::vector<MailEntry> records;
    while (reader.next(line, length)) {
        check(line >= text && line + length + 2 <= text + size);
        check(line[length] == '\r' && line[length + 1] == '\n');
        MailEntry entry;
        mailLineRoundTrip(line, length, image.data() + (line - text), entry);
        accountLineRoundTrip(line, length);
        if (records.size() < 64) {
            records.push_back(entry);
        }
    }
    checkGroups(records);

    // The date text of any runtime, taken as it comes.
    char clock[64];
    size_t n = size < sizeof clock - 1 ? size : sizeof clock - 1;
    memcpy(clock, text, n);
    clock[n] = '\0';
    char shown[260];
    shownDateFromClockText(clock, shown, sizeof shown);
    check(strlen(shown) < sizeof shown);
    return 0;
}
