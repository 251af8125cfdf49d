#include "viewer/mail_columns.h"

namespace {

// Grouped view: the unit is a seventh of the list's width.
constexpr MailColumn kGroupedColumns[] = {
    {"Ящик", ColumnAlign::Centre, [](int k) { return k; }, HeaderImage::Group, MailField::Nothing},
    {"Отправитель", ColumnAlign::Left, [](int k) { return k + 30; }, HeaderImage::None, MailField::Sender},
    {"Дата и время", ColumnAlign::Left, [](int k) { return k + 15; }, HeaderImage::None, MailField::ShownDate},
    {"", ColumnAlign::Centre, [](int k) { return (k + 15) / 3; }, HeaderImage::Attachment, MailField::Attachment},
    {"Размер", ColumnAlign::Centre, [](int k) { return k / 2 + 10; }, HeaderImage::None, MailField::Size},
    {"Тема", ColumnAlign::Left, [](int k) { return 4 * k; }, HeaderImage::None, MailField::Subject},
    {"", ColumnAlign::Left, [](int) { return 0; }, HeaderImage::None, MailField::Number},
};

// Flat view: the unit is a fifth of the list's width; column 0 holds only
// the check box.
constexpr MailColumn kFlatColumns[] = {
    {"", ColumnAlign::ImageOnly, [](int) { return 35; }, HeaderImage::Group, MailField::Nothing},
    {"От кого", ColumnAlign::Left, [](int f) { return f + 20; }, HeaderImage::None, MailField::Sender},
    {"Когда", ColumnAlign::Centre, [](int f) { return f - 10; }, HeaderImage::None, MailField::ShownDate},
    {"Что", ColumnAlign::Left, [](int f) { return 4 * f; }, HeaderImage::None, MailField::Subject},
    {"", ColumnAlign::Left, [](int) { return 0; }, HeaderImage::None, MailField::Number},
};

constexpr MailColumnTable kGrouped = {kGroupedColumns, 7, 7, 0, 6};
constexpr MailColumnTable kFlat = {kFlatColumns, 5, 5, 1, 4};

} // namespace

const MailColumnTable& mailColumns(bool grouped) {
    return grouped ? kGrouped : kFlat;
}
