#pragma once
// The competition date as the settings screen's date picker takes it from the stored text.

#include <QDate>
#include <QString>
#include <optional>

namespace zalvik {

// The date the picker shows when no date is stored.
QDate InitialEventDate();

// The date a stored date text stands for. The workbook gives a date cell as yyyy/MM/dd; a text
// cell may also hold it with one-digit month and day, with "-" or "." between the parts, in the
// Japanese form 2002年1月7日, with a time after it, or as the spreadsheet's day number
// (37263 is 2002/01/07). Empty when the text is none of these.
std::optional<QDate> DateFromText(const QString& text);

// The text of a date as this program stores and shows it: yyyy/MM/dd.
QString DateText(const QDate& d);

}  // namespace zalvik
