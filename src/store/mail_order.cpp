#include "store/mail_order.h"

#include "base/text.h"
#include "store/mail_line.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <numeric>
#include <vector>

namespace {

// strcmp compares as unsigned bytes, which is the order the list uses.
int compareText(const char* a, const char* b) {
    return strcmp(a, b);
}

// A sort key that orders like strcmp without reading the text: its first 16
// bytes big-endian in two words, zeros after the text's end (so a shorter
// text sorts first, as its terminator does). Only texts that agree in all 16
// bytes and go on beyond them are compared further. Sorting such keys spares
// the scattered reads of 100,000 texts in a file image at every comparison.
constexpr size_t kKeyBytes = 16;

struct SortKey {
    uint64_t high;
    uint64_t low;
    const char* text;
    int position;     // where the element stood before sorting; breaks ties
    int record;       // the record it stands for
    bool longer;      // the text goes on past the key's bytes
    bool placeholder; // a mailbox's placeholder: first in its group
};

SortKey makeKey(const char* text, int position, int record) {
    SortKey key = {0, 0, text, position, record, false, false};
    size_t i = 0;
    for (; i < kKeyBytes && text[i] != '\0'; i++) {
        uint64_t byte = static_cast<unsigned char>(text[i]);
        if (i < 8) {
            key.high |= byte << (8 * (7 - i));
        } else {
            key.low |= byte << (8 * (15 - i));
        }
    }
    key.longer = i == kKeyBytes && text[i] != '\0';
    return key;
}

int compareKeys(const SortKey& a, const SortKey& b) {
    if (a.high != b.high) {
        return a.high < b.high ? -1 : 1;
    }
    if (a.low != b.low) {
        return a.low < b.low ? -1 : 1;
    }
    // Equal key bytes: a text that ends there comes before one that goes on.
    if (a.longer != b.longer) {
        return a.longer ? 1 : -1;
    }
    return a.longer ? compareText(a.text + kKeyBytes, b.text + kKeyBytes) : 0;
}

// Sorts keys: placeholders first, then by text; equal ones keep their
// positions' order.
void sortKeys(SortKey* keys, int count, bool ascending) {
    std::sort(keys, keys + count, [ascending](const SortKey& a, const SortKey& b) {
        if (a.placeholder != b.placeholder) {
            return a.placeholder;
        }
        int c = compareKeys(a, b);
        if (c != 0) {
            return ascending ? c < 0 : c > 0;
        }
        return a.position < b.position;
    });
}

// Sorts the record indices in order[0..count) by a text of their records;
// equal texts keep their order.
template <typename TextOf>
void sortOrder(const MailEntry* records, int* order, int count, TextOf textOf, bool ascending) {
    if (count <= 1) {
        return;
    }
    std::unique_ptr<SortKey[]> keys(new (std::nothrow) SortKey[static_cast<size_t>(count)]);
    if (!keys) {
        // Without room for the keys the texts are compared where they stand.
        std::stable_sort(order, order + count, [records, &textOf, ascending](int a, int b) {
            int c = compareText(textOf(records[a]), textOf(records[b]));
            return ascending ? c < 0 : c > 0;
        });
        return;
    }
    for (int i = 0; i < count; i++) {
        keys[i] = makeKey(textOf(records[order[i]]), i, order[i]);
    }
    sortKeys(keys.get(), count, ascending);
    for (int i = 0; i < count; i++) {
        order[i] = keys[i].record;
    }
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

// A mail file holds the mails of a few mailboxes: arranging numbers their
// addresses and pseudonyms, up to this many distinct ones of each.
constexpr size_t kMostNumberedTexts = 256;

// Numbers the distinct texts of one field as they first appear: ids[i] is
// the number of record i's text, texts[n] the key of text number n. A text
// equal to the record's before (a file holds its mails mailbox by mailbox)
// is not searched for. False when there are more than kMostNumberedTexts.
bool numberTexts(const MailEntry* records, int count, const char* MailEntry::*field, int* ids,
                 std::vector<SortKey>& texts) {
    size_t last = 0;
    for (int i = 0; i < count; i++) {
        SortKey key = makeKey(records[i].*field, 0, 0);
        if (i == 0 || compareKeys(texts[last], key) != 0) {
            last = 0;
            while (last < texts.size() && compareKeys(texts[last], key) != 0) {
                last++;
            }
            if (last == texts.size()) {
                if (last == kMostNumberedTexts) {
                    return false;
                }
                texts.push_back(key);
            }
        }
        ids[i] = static_cast<int>(last);
    }
    return true;
}

// order = the records by address, descending, equal addresses in file
// order: a counting sort over the distinct addresses.
void orderByAddress(int count, const int* ids, const std::vector<SortKey>& texts, int* order) {
    std::vector<int> byText(texts.size());
    std::iota(byText.begin(), byText.end(), 0);
    std::sort(byText.begin(), byText.end(), [&texts](int a, int b) {
        return compareKeys(texts[static_cast<size_t>(a)], texts[static_cast<size_t>(b)]) > 0;
    });
    std::vector<int> rankOf(texts.size());
    for (size_t rank = 0; rank < byText.size(); rank++) {
        rankOf[static_cast<size_t>(byText[rank])] = static_cast<int>(rank);
    }
    // The next free place of each rank: after the records of the ranks before.
    std::vector<int> next(texts.size() + 1, 0);
    for (int i = 0; i < count; i++) {
        next[static_cast<size_t>(rankOf[static_cast<size_t>(ids[i])]) + 1]++;
    }
    std::partial_sum(next.begin(), next.end(), next.begin());
    for (int i = 0; i < count; i++) {
        order[next[static_cast<size_t>(rankOf[static_cast<size_t>(ids[i])])]++] = i;
    }
}

// What arranging an array needs besides its order: per record the numbers
// of its address and pseudonym among the distinct ones and its date key, and
// room to sort one group's keys.
struct Arrangement {
    std::unique_ptr<int[]> addressIds;
    std::unique_ptr<int[]> pseudonymIds;
    std::unique_ptr<SortKey[]> dates;
    std::unique_ptr<SortKey[]> groupKeys;

    bool allocate(size_t count) {
        addressIds.reset(new (std::nothrow) int[count]);
        pseudonymIds.reset(new (std::nothrow) int[count]);
        dates.reset(new (std::nothrow) SortKey[count]);
        groupKeys.reset(new (std::nothrow) SortKey[count]);
        return addressIds && pseudonymIds && dates && groupKeys;
    }
};

// Arranges with the scratch: every text is read once, in file order, and
// the sorts see only numbers and keys. -1, with order untouched, when the
// records have too many mailboxes to number.
int arrangeNumbered(Arrangement& scratch, MailEntry* records, int count, int* order, bool dateAscending) {
    std::vector<SortKey> addresses;
    std::vector<SortKey> pseudonyms;
    if (!numberTexts(records, count, &MailEntry::address, scratch.addressIds.get(), addresses) ||
        !numberTexts(records, count, &MailEntry::pseudonym, scratch.pseudonymIds.get(), pseudonyms)) {
        return -1;
    }
    for (int i = 0; i < count; i++) {
        scratch.dates[i] = makeKey(records[i].storedDate, i, i);
        scratch.dates[i].placeholder = isPlaceholderRecord(records[i]);
    }
    orderByAddress(count, scratch.addressIds.get(), addresses, order);

    const int* pseudonymIds = scratch.pseudonymIds.get();
    SortKey* keys = scratch.groupKeys.get();
    int groups = 0;
    for (int begin = 0; begin < count; groups++) {
        int end = begin + 1;
        while (end < count && pseudonymIds[order[end]] == pseudonymIds[order[begin]]) {
            end++;
        }
        for (int k = begin; k < end; k++) {
            keys[k - begin] = scratch.dates[order[k]];
            keys[k - begin].position = k;
        }
        sortKeys(keys, end - begin, dateAscending);
        for (int k = begin; k < end; k++) {
            order[k] = keys[k - begin].record;
        }
        begin = end;
    }
    return groups;
}

// Arranges by sorting the texts of all records.
int arrangeByTexts(const MailEntry* records, int count, int* order, bool dateAscending) {
    sortOrder(
        records, order, count, [](const MailEntry& r) { return r.address; }, false);
    int groups = 0;
    for (int begin = 0; begin < count; groups++) {
        int end = begin + 1;
        while (end < count && compareText(records[order[end]].pseudonym, records[order[begin]].pseudonym) == 0) {
            end++;
        }
        int* mails = std::stable_partition(order + begin, order + end,
                                           [records](int i) { return isPlaceholderRecord(records[i]); });
        sortOrder(
            records, mails, static_cast<int>(order + end - mails), [](const MailEntry& r) { return r.storedDate; },
            dateAscending);
        begin = end;
    }
    return groups;
}

const char* textOfKey(const MailEntry& record, MailKey key) {
    switch (key) {
    case MailKey::Number:
        return record.number;
    case MailKey::Address:
        return record.address;
    case MailKey::Sender:
        return record.sender;
    case MailKey::Date:
    case MailKey::Mark:
        break;
    }
    return record.storedDate;
}

} // namespace

int arrangeMailRecords(MailEntry* records, int count, int* order, bool dateAscending) {
    if (count <= 0) {
        return 0;
    }
    std::iota(order, order + count, 0);
    // Equal keys keep their file order, so every load of the same file gives
    // the same list.
    Arrangement scratch;
    int groups = -1;
    if (scratch.allocate(static_cast<size_t>(count))) {
        groups = arrangeNumbered(scratch, records, count, order, dateAscending);
    }
    if (groups < 0) {
        groups = arrangeByTexts(records, count, order, dateAscending);
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
    std::unique_ptr<int[]> order(new (std::nothrow) int[static_cast<size_t>(count)]);
    if (!order) {
        // Without room for an order the records are sorted where they stand.
        std::stable_sort(first, first + count, [key, ascending](const MailEntry& a, const MailEntry& b) {
            int c = key == MailKey::Mark ? a.deletion - b.deletion : compareText(textOfKey(a, key), textOfKey(b, key));
            return ascending ? c < 0 : c > 0;
        });
        return;
    }
    std::iota(order.get(), order.get() + count, 0);
    if (key == MailKey::Mark) {
        std::stable_sort(order.get(), order.get() + count, [first, ascending](int a, int b) {
            return ascending ? first[a].deletion < first[b].deletion : first[a].deletion > first[b].deletion;
        });
    } else {
        sortOrder(
            first, order.get(), count, [key](const MailEntry& r) { return textOfKey(r, key); }, ascending);
    }
    applyOrder(first, count, order.get());
}
