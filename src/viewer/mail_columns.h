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
    // From the view's unit (the list's width divided by unitDivisor) and the
    // list's DPI, which scales the fixed pixels the table adds.
    int (*width)(int unit, int dpi);
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

// The width of column index in a list listWidth pixels wide at dpi.
int mailColumnWidth(const MailColumnTable& table, int index, int listWidth, int dpi);

// How column index is aligned at width: a centred date narrower than the
// widest date (dateWidth) would lose its start, so it is left-aligned then.
ColumnAlign mailColumnAlign(const MailColumnTable& table, int index, int width, int dateWidth);

// The least list width (a multiple of the unit divisor) whose date column is
// at least dateWidth pixels wide at dpi.
int listWidthForDates(const MailColumnTable& table, int dateWidth, int dpi);
