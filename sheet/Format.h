#pragma once
// Numbers, dates, number-format codes and cell addresses as the file format writes them.

#include <string>
#include <string_view>

#include "sheet/Workbook.h"

namespace sheet::detail {

constexpr int kMaxRow = 1048576;
constexpr int kMaxCol = 16384;

// The text the spreadsheet shows for a number in a General cell: at most 15 significant digits,
// no trailing zeros, "E+20" style exponents for very large or small magnitudes.
std::string NumberToText(double v);
// The shortest text that reads back as exactly `v`, for the file.
std::string NumberToXml(double v);
bool ParseNumber(std::string_view s, double* v);

// Serial dates of the 1900 date system (serial 1 is 1900-01-01, serial 60 the 1900-02-29 that
// the spreadsheet program has always counted).
Date SerialToDate(double serial);
double DateToSerial(Date d);
constexpr double k1904Offset = 1462;
// 9999-12-31, the last day the spreadsheet program has a serial for.
constexpr double kLastSerial = 2958465;
// An ISO 8601 value as a cell of type "d" holds it: a date, a date and time, a time of day, or a
// duration ("PT11M"). *serial is what a number cell would hold for it (the time as a fraction of
// a day); *hasDate says whether it names a day.
bool ParseIsoValue(std::string_view s, double* serial, bool* hasDate);
std::string DateToText(Date d);  // yyyy/MM/dd

// The code of a built-in number format id, or nullptr when the id has no fixed code.
const char* BuiltinFormatCode(int id);
// The built-in id whose code is exactly `code`, or -1.
int BuiltinFormatId(std::string_view code);
bool IsDateFormatId(int id);
bool IsDateFormatCode(std::string_view code);

std::string ColumnName(int col);
// "E7", "$E$7", "e7" -> (7, 5). False when it is not a cell address inside the sheet's bounds.
bool ParseCellRef(std::string_view ref, int* row, int* col);
// "A1:K1000" or a single cell; the corners are put in order.
bool ParseRange(std::string_view range, int* row1, int* col1, int* row2, int* col2);

}  // namespace sheet::detail
