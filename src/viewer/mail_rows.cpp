#include "viewer/mail_rows.h"

#include "base/text.h"
#include "store/mail_date.h"
#include "store/mail_line.h"
#include "viewer/mail_columns.h"

#include <cstring>

namespace {

bool groupInList(const MailboxGroup& group, const MailList& list) {
    return group.count > 0 && group.firstIndex >= 0 && group.firstIndex + group.count <= list.count;
}

const char* fieldText(MailEntry& mail, MailField field, long dateBias) {
    switch (field) {
    case MailField::Nothing:
        return "";
    case MailField::Sender:
        return mail.sender;
    case MailField::ShownDate:
        return entryShownDate(mail, dateBias);
    case MailField::Attachment:
        return mail.attachment ? "+" : "";
    case MailField::Size:
        return mail.size;
    case MailField::Subject:
        return mail.subject;
    case MailField::Number:
        return mail.number;
    }
    return "";
}

} // namespace

void MailRows::build(MailList& list, bool grouped, const char* emptyText) {
    clear();
    grouped_ = grouped;
    emptyText_ = emptyText;
    empty_ = list.records == nullptr || list.count <= 0;
    if (empty_) {
        return;
    }
    if (grouped) {
        buildGrouped(list);
    } else {
        buildFlat(list);
    }
}

void MailRows::clear() {
    rows_.clear();
    headerChecked_.clear();
    empty_ = true;
}

void MailRows::buildGrouped(MailList& list) {
    headerChecked_.assign(static_cast<size_t>(list.groupCount), 0);
    for (int g = 0; g < list.groupCount; g++) {
        MailboxGroup& group = list.groups[g];
        group.rowIndex = static_cast<int>(rows_.size());
        rows_.push_back(MailRow{g, -1});
        if (!groupInList(group, list)) {
            continue;
        }
        int marked = 0;
        for (int i = group.firstIndex; i < group.firstIndex + group.count; i++) {
            marked += list.records[i].deletion != 0 ? 1 : 0;
            if (!group.collapsed) {
                rows_.push_back(MailRow{g, i});
            }
        }
        group.allMarked = marked == group.count ? 1 : 0;
        headerChecked_[static_cast<size_t>(g)] = group.collapsed ? marked > 0 : group.allMarked != 0;
    }
}

void MailRows::buildFlat(const MailList& list) {
    for (int i = 0; i < list.count; i++) {
        if (!isPlaceholderRecord(list.records[i])) {
            rows_.push_back(MailRow{-1, i});
        }
    }
}

const MailRow* MailRows::rowAt(int row) const {
    if (empty_ || row < 0 || static_cast<size_t>(row) >= rows_.size()) {
        return nullptr;
    }
    return &rows_[static_cast<size_t>(row)];
}

MailboxGroup* MailRows::groupAt(MailList& list, int row) const {
    const MailRow* at = rowAt(row);
    if (!grouped_ || at == nullptr || at->record >= 0) {
        return nullptr;
    }
    return &list.groups[at->group];
}

MailEntry* MailRows::recordAt(MailList& list, int row) const {
    const MailRow* at = rowAt(row);
    if (at == nullptr || at->record < 0 || list.records == nullptr) {
        return nullptr;
    }
    const char* number = list.records[at->record].number;
    if (number[0] == '\0') {
        return nullptr;
    }
    for (int i = 0; i < list.count; i++) {
        if (strcmp(list.records[i].number, number) == 0) {
            return &list.records[i];
        }
    }
    return nullptr;
}

RowCheck MailRows::checkAt(const MailList& list, int row) const {
    const MailRow* at = rowAt(row);
    if (at == nullptr) {
        return RowCheck::None;
    }
    bool ticked =
        at->record < 0 ? headerChecked_[static_cast<size_t>(at->group)] != 0 : list.records[at->record].deletion != 0;
    return ticked ? RowCheck::Ticked : RowCheck::Clear;
}

void MailRows::cellText(MailList& list, int row, int column, char* out, size_t capacity) const {
    out[0] = '\0';
    const MailColumnTable& table = mailColumns(grouped_);
    if (empty_) {
        if (row == 0 && column == table.emptyTextColumn) {
            copyText(out, capacity, emptyText_);
        }
        return;
    }
    const MailRow* at = rowAt(row);
    if (at == nullptr || column < 0 || column >= table.count) {
        return;
    }
    if (at->record < 0) {
        const MailboxGroup& group = list.groups[at->group];
        if (column == 0) {
            copyText(out, capacity, group.pseudonym);
        } else if (column == 1) {
            formatText(out, capacity, "Писем в ящике - %d", group.count);
        }
        return;
    }
    copyText(out, capacity, fieldText(list.records[at->record], table.columns[column].field, list.dateBias));
}

bool MailRows::toggleMark(MailList& list, int row) {
    MailEntry* record = recordAt(list, row);
    if (record == nullptr) {
        return false;
    }
    record->deletion = record->deletion ? 0 : 1;
    return true;
}

bool MailRows::markGroup(MailList& list, MailboxGroup& group) {
    if (group.count <= 0) {
        return false;
    }
    group.allMarked = group.allMarked ? 0 : 1;
    for (int i = group.firstIndex; i >= 0 && i < group.firstIndex + group.count && i < list.count; i++) {
        list.records[i].deletion = group.allMarked;
    }
    size_t index = static_cast<size_t>(&group - list.groups);
    if (index < headerChecked_.size()) {
        headerChecked_[index] = static_cast<char>(group.allMarked);
    }
    return true;
}

void MailRows::markAll(MailList& list, int mark) {
    for (int i = 0; i < list.count && list.records != nullptr; i++) {
        list.records[i].deletion = mark;
    }
    for (int g = 0; g < list.groupCount; g++) {
        list.groups[g].allMarked = mark;
    }
    headerChecked_.assign(headerChecked_.size(), static_cast<char>(mark));
}
