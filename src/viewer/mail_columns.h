// The columns of the mail list, one table per view: the grouped view's seven
// and the flat view's five, each with its header, alignment, width and the
// field its mail rows show. No Windows header: the list control maps the
// alignments and images onto its own constants.
#pragma once

// What a mail row shows in a column.
enum class MailField { Nothing, Sender, ShownDate, Attachment, Size, Subject, Number };

enum class ColumnAlign { Left, Centre, ImageOnly };

// The picture a column's header names.
enum class HeaderImage { None, Group, Attachment };

struct MailColumn {
    const char* header;
    ColumnAlign align;
    int (*width)(int unit); // from the view's unit: the list's width divided by unitDivisor
    HeaderImage image;
    MailField field;
};

struct MailColumnTable {
    const MailColumn* columns;
    int count;
    int unitDivisor;
    int emptyTextColumn; // where an empty list says that it is empty
    int numberColumn;    // the hidden column that holds the mail number
};

// The table of the grouped (detailed) or the flat (compact) view.
const MailColumnTable& mailColumns(bool grouped);
