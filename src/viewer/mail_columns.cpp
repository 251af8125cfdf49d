#include "viewer/mail_columns.h"

#include "ui/dpi_scale.h"

namespace {

// Grouped view: the unit is a seventh of the list's width.
constexpr MailColumn kGroupedColumns[] = {
    {"Ящик", ColumnAlign::Centre, [](int k, int) { return k; }, HeaderImage::Group, MailField::Nothing},
    {"Отправитель", ColumnAlign::Left, [](int k, int dpi) { return k + scaleForDpi(30, dpi); }, HeaderImage::None,
     MailField::Sender},
    {"Дата и время", ColumnAlign::Left, [](int k, int dpi) { return k + scaleForDpi(15, dpi); }, HeaderImage::None,
     MailField::ShownDate},
    {"", ColumnAlign::Centre, [](int k, int dpi) { return (k + scaleForDpi(15, dpi)) / 3; }, HeaderImage::Attachment,
     MailField::Attachment},
    {"Размер", ColumnAlign::Centre, [](int k, int dpi) { return k / 2 + scaleForDpi(10, dpi); }, HeaderImage::None,
     MailField::Size},
    {"Тема", ColumnAlign::Left, [](int k, int) { return 4 * k; }, HeaderImage::None, MailField::Subject},
    {"", ColumnAlign::Left, [](int, int) { return 0; }, HeaderImage::None, MailField::Number},
};

// Flat view: the unit is a fifth of the list's width; column 0 holds only
// the check box.
constexpr MailColumn kFlatColumns[] = {
    {"", ColumnAlign::ImageOnly, [](int, int dpi) { return scaleForDpi(35, dpi); }, HeaderImage::Group,
     MailField::Nothing},
    {"От кого", ColumnAlign::Left, [](int f, int dpi) { return f + scaleForDpi(20, dpi); }, HeaderImage::None,
     MailField::Sender},
    {"Когда", ColumnAlign::Centre, [](int f, int dpi) { return f - scaleForDpi(10, dpi); }, HeaderImage::None,
     MailField::ShownDate},
    {"Что", ColumnAlign::Left, [](int f, int) { return 4 * f; }, HeaderImage::None, MailField::Subject},
    {"", ColumnAlign::Left, [](int, int) { return 0; }, HeaderImage::None, MailField::Number},
};

constexpr MailColumnTable kGrouped = {kGroupedColumns, 7, 7, 0, 6};
constexpr MailColumnTable kFlat = {kFlatColumns, 5, 5, 1, 4};

} // namespace

const MailColumnTable& mailColumns(bool grouped) {
    return grouped ? kGrouped : kFlat;
}

int mailColumnWidth(const MailColumnTable& table, int index, int listWidth, int dpi) {
    if (index < 0 || index >= table.count) {
        return 0;
    }
    int width = table.columns[index].width(listWidth / table.unitDivisor, dpi);
    return width > 0 ? width : 0;
}

ColumnAlign mailColumnAlign(const MailColumnTable& table, int index, int width, int dateWidth) {
    const MailColumn& column = table.columns[index];
    if (column.align == ColumnAlign::Centre && column.field == MailField::ShownDate && width < dateWidth) {
        return ColumnAlign::Left;
    }
    return column.align;
}

int listWidthForDates(const MailColumnTable& table, int dateWidth, int dpi) {
    int date = 0;
    while (date < table.count && table.columns[date].field != MailField::ShownDate) {
        date++;
    }
    if (date == table.count) {
        return 0;
    }
    // The widths grow with the unit; a unit as wide as the date plus every
    // fixed offset the table subtracts is always enough.
    int unit = 0;
    int limit = dateWidth + scaleForDpi(100, dpi);
    while (unit < limit && table.columns[date].width(unit, dpi) < dateWidth) {
        unit++;
    }
    return unit * table.unitDivisor;
}
