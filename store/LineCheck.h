#pragma once
// The check that ends every line of the files the program appends to beside the workbook (the
// journal, the timing log, the judges' log): a separator, '#' and the CRC-32 of the line's bytes
// before the separator, in eight upper-case hexadecimal digits. A line cut short or torn by a
// crash fails it, and is never taken for a shorter line.

#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>
#include <optional>

namespace zalvik::store {

// What ends a line that a crash cut short, written before the next line: no line the program
// writes holds this byte, so a line carrying it is known as cut, whatever was written after it.
constexpr char kCutMark = '\x18';
// The check field's size: '#' and eight hexadecimal digits.
constexpr int kCheckFieldSize = 9;

uint32_t Crc32(QByteArrayView bytes);

// `body`, the separator and the check field of `body` (no line end).
QByteArray SealedLine(QByteArrayView body, char separator);

// What reading a line's check found.
struct LineCheckResult {
    enum class What {
        Unchecked,  // the line ends with no check field (a line of an older file)
        Good,       // the check passes; `body` is the line without it
        Damaged     // a check field that fails, or the cut mark
    };
    What what = What::Unchecked;
    QByteArrayView body;  // Good: the bytes before the separator; Unchecked: the whole line
};
// Reads the check of one line (without its line end).
LineCheckResult CheckLine(QByteArrayView line, char separator);

}  // namespace zalvik::store
