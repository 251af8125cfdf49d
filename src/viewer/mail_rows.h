// The rows of the mail list as plain data: which row stands for which
// mailbox or mail, what each cell says and whether its check box is ticked,
// and the marking that rows, groups and the whole list do. The list control
// asks this model for every cell as it paints (it keeps no data of its own),
// so a rebuild costs one pass over the array however many mails there are.
// No Windows header: the model is also tested natively.
#pragma once
#include <cstddef>
#include <vector>

#include "store/mail_list.h"

// One row: a mailbox's header row (record < 0) or a mail (group < 0 in the
// flat view).
struct MailRow {
    int group;
    int record;
};

enum class RowCheck { None, Clear, Ticked };

class MailRows {
public:
    // Lays out the rows of list for a view: grouped, a header row per mailbox
    // with its mails below unless it is folded; flat, one row per mail (the
    // placeholder of a mailbox without mail stands for no mail). Sets each
    // group's row index and all-marked flag. A list without mails gets one
    // row that says emptyText.
    void build(MailList& list, bool grouped, const char* emptyText);
    void clear();

    bool grouped() const { return grouped_; }
    bool empty() const { return empty_; }
    // The rows the control shows.
    int count() const { return empty_ ? 1 : static_cast<int>(rows_.size()); }

    // The group whose header row row is, or null.
    MailboxGroup* groupAt(MailList& list, int row) const;
    // The mail of row as the list finds it by the number the row shows: the
    // first record with that number. Null for header rows and numbers that
    // match no record.
    MailEntry* recordAt(MailList& list, int row) const;
    RowCheck checkAt(const MailList& list, int row) const;
    // The text of a cell, cut to capacity (at least 1).
    void cellText(MailList& list, int row, int column, char* out, size_t capacity) const;

    // Turns the mark of row's mail round; false when the row has no mail.
    bool toggleMark(MailList& list, int row);
    // Turns a mailbox's all-marked flag round and gives every mail of it that
    // mark; false (nothing changed) for a mailbox without mail.
    bool markGroup(MailList& list, MailboxGroup& group);
    // Gives every mail and every mailbox of list the mark.
    void markAll(MailList& list, int mark);

private:
    void buildGrouped(MailList& list);
    void buildFlat(const MailList& list);
    const MailRow* rowAt(int row) const;

    std::vector<MailRow> rows_;
    // Whether a header row is ticked: all its mails marked when the mailbox is
    // unfolded, any when it is folded.
    std::vector<char> headerChecked_;
    bool grouped_ = false;
    bool empty_ = true;
    const char* emptyText_ = "";
};
