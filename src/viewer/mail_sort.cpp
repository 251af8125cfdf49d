#include "viewer/mail_sort.h"

#include "store/mail_order.h"

#include <vector>

namespace {

// Sorts each group's mails, one range of the array after another.
void sortEachGroup(MailList& list, MailKey key, bool ascending) {
    for (int g = 0; g < list.groupCount; g++) {
        const MailboxGroup& group = list.groups[g];
        if (group.count > 0 && group.firstIndex >= 0 && group.firstIndex + group.count <= list.count) {
            sortMailRecords(list.records + group.firstIndex, group.count, key, ascending);
        }
    }
}

void regroup(MailList& list, bool dateAscending) {
    std::vector<int> order(static_cast<size_t>(list.count));
    std::vector<int> collapsed;
    for (int g = 0; g < list.groupCount; g++) {
        collapsed.push_back(list.groups[g].collapsed);
    }
    int groups = arrangeMailRecords(list.records, list.count, order.data(), dateAscending);
    if (groups == list.groupCount) {
        buildMailGroups(list.records, list.count, list.groups, list.groupCount);
        for (int g = 0; g < list.groupCount; g++) {
            list.groups[g].collapsed = collapsed[static_cast<size_t>(g)];
        }
    }
}

bool sortGroupedByColumn(MailList& list, int column, MailListFlags& flags) {
    if (column == 2) { // "Дата и время"
        flags.groupDateAscending = flags.groupDateAscending ? 0 : 1;
        sortEachGroup(list, MailKey::Date, flags.groupDateAscending != 0);
        return true;
    }
    if (column == 1) { // "Отправитель"
        sortEachGroup(list, MailKey::Sender, false);
        return true;
    }
    return false;
}

bool sortFlatByColumn(MailList& list, int column, MailListFlags& flags) {
    if (column == 1) { // "От кого"
        flags.compactSenderFlag = flags.compactSenderFlag ? 0 : 1;
        if (flags.compactSenderFlag) {
            sortMailRecords(list.records, list.count, MailKey::Address, false);
            sortEachGroup(list, MailKey::Date, false);
        } else {
            sortMailRecords(list.records, list.count, MailKey::Sender, false);
        }
        return true;
    }
    if (column == 2) { // "Когда": newest first after the click that sets the flag
        flags.compactDateFlag = flags.compactDateFlag ? 0 : 1;
        sortMailRecords(list.records, list.count, MailKey::Date, flags.compactDateFlag == 0);
        return true;
    }
    return false;
}

} // namespace

void sortForView(MailList& list, bool grouped, const MailListFlags& flags) {
    if (list.records == nullptr || list.count <= 0) {
        return;
    }
    if (grouped) {
        regroup(list, flags.groupDateAscending != 0);
    } else {
        sortMailRecords(list.records, list.count, MailKey::Date, flags.compactDateFlag != 0);
    }
}

bool sortByColumn(MailList& list, bool grouped, int column, MailListFlags& flags) {
    if (list.records == nullptr || list.count <= 0) {
        return false;
    }
    return grouped ? sortGroupedByColumn(list, column, flags) : sortFlatByColumn(list, column, flags);
}
