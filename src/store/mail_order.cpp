#include "store/mail_order.h"

#include "base/text.h"
#include "store/mail_line.h"

#include <algorithm>
#include <cstring>

namespace {

// strcmp compares as unsigned bytes, which is the order the list uses.
int compareText(const char* a, const char* b) {
    return strcmp(a, b);
}

// Index of the end of the run of equal pseudonyms that starts at begin.
int runEnd(const MailEntry* records, const int* order, int begin, int count) {
    const char* pseudonym = records[order[begin]].pseudonym;
    int end = begin + 1;
    while (end < count && compareText(records[order[end]].pseudonym, pseudonym) == 0) {
        end++;
    }
    return end;
}

// Moves every record to the position order gives it: position i receives
// the record that was at order[i]. order is used up.
void applyOrder(MailEntry* records, int count, int* order) {
    MailEntry held;
    for (int i = 0; i < count; i++) {
        if (order[i] == i) {
            continue;
        }
        memcpy(&held, &records[i], sizeof held);
        int j = i;
        for (;;) {
            int from = order[j];
            order[j] = j;
            if (from == i) {
                memcpy(&records[j], &held, sizeof held);
                break;
            }
            memcpy(&records[j], &records[from], sizeof held);
            j = from;
        }
    }
}

} // namespace

int arrangeMailRecords(MailEntry* records, int count, int* order, bool dateAscending) {
    if (count <= 0) {
        return 0;
    }
    for (int i = 0; i < count; i++) {
        order[i] = i;
    }
    // Stable sorts: equal keys keep their file order, so every load of the
    // same file gives the same list.
    std::stable_sort(order, order + count,
                     [records](int a, int b) { return compareText(records[a].address, records[b].address) > 0; });

    int groups = 0;
    for (int begin = 0; begin < count;) {
        int end = runEnd(records, order, begin, count);
        // The group's mails must be consecutive: placeholders go first.
        int* mails = std::stable_partition(order + begin, order + end,
                                           [records](int i) { return isPlaceholderRecord(records[i]); });
        std::stable_sort(mails, order + end, [records, dateAscending](int a, int b) {
            int c = compareText(records[a].storedDate, records[b].storedDate);
            return dateAscending ? c < 0 : c > 0;
        });
        groups++;
        begin = end;
    }
    applyOrder(records, count, order);
    return groups;
}

void buildMailGroups(const MailEntry* records, int count, MailboxGroup* groups, int groupCount) {
    int g = 0;
    for (int begin = 0; begin < count && g < groupCount; g++) {
        MailboxGroup& group = groups[g];
        memset(&group, 0, sizeof group);
        copyText(group.pseudonym, sizeof group.pseudonym, records[begin].pseudonym);
        group.firstIndex = -1;
        int i = begin;
        for (; i < count && compareText(records[i].pseudonym, records[begin].pseudonym) == 0; i++) {
            if (isPlaceholderRecord(records[i])) {
                continue;
            }
            if (group.firstIndex < 0) {
                group.firstIndex = i;
            }
            group.count++;
        }
        begin = i;
    }
}

void sortMailRecords(MailEntry* first, int count, MailKey key, bool ascending) {
    if (count <= 1) {
        return;
    }
    auto compare = [key](const MailEntry& a, const MailEntry& b) {
        switch (key) {
        case MailKey::Number:
            return compareText(a.number, b.number);
        case MailKey::Address:
            return compareText(a.address, b.address);
        case MailKey::Sender:
            return compareText(a.sender, b.sender);
        case MailKey::Date:
            return compareText(a.storedDate, b.storedDate);
        case MailKey::Mark:
            return a.deletion - b.deletion;
        }
        return 0;
    };
    std::sort(first, first + count, [&compare, ascending](const MailEntry& a, const MailEntry& b) {
        int c = compare(a, b);
        return ascending ? c < 0 : c > 0;
    });
}
