#pragma once
// Number helpers shared by every part of the program: reading the number a user typed (or a
// workbook cell holds), turning it into a 16-bit whole number, and the decimal text of a
// single-precision value. They behave the same everywhere so that a value typed on one screen
// reads back identically on another and in the workbook.

#include <QString>
#include <cstdint>
#include <optional>

namespace zalvik {

// The number at the start of a text, read the forgiving way a typed field is read:
// optional sign, digits, one decimal point and an exponent (E or e with optional sign).
// Reading stops at the first character that cannot continue the number. Blanks, tabs, CR and
// LF are skipped wherever they stand ("1 2" is 12, " - 3" is -3). "&H" and "&O" (any case)
// introduce hexadecimal and octal digits. A text that does not start with a number gives 0
// ("", "abc", "-", "."). Only ASCII digits count; full-width digits do not.
//
// Hexadecimal and octal values follow the classic two's-complement reading: a value that fits
// in 16 bits is taken as a signed 16-bit number ("&HFFFF" is -1, "&H8000" is -32768), one
// that fits in 32 bits as a signed 32-bit number ("&H10000" is 65536, "&HFFFFFFFF" is -1).
// A larger value is returned as it stands, positive, so that a later 16-bit conversion
// reports it as out of range instead of wrapping it. A decimal value too large for a double
// gives +/-infinity (which the 16-bit conversion also rejects); one too small gives 0.
double LeadingValue(const QString& text);

// The nearest whole number as a 16-bit integer, halves going to the even neighbour
// (0.5 -> 0, 1.5 -> 2, 2.5 -> 2, -2.5 -> -2). Empty when the rounded value lies outside
// -32768..32767 or v is not a finite number: an overflow the caller must handle, never a
// silently wrapped value.
std::optional<int16_t> ToInt16(double v);

// The decimal text of a single-precision value: rounded to at most seven significant digits,
// no trailing zeros, "." as decimal point, "0" before the point below 1, "-" for negatives,
// no thousands separator. Values whose rounded decimal exponent X satisfies -4 <= X < 7 are
// written in fixed notation (0.0001 -> "0.0001", 1234567 -> "1234567"); all others in
// exponent form with an upper-case E, a sign and at least two exponent digits
// (1e-5 -> "1E-05", 12345678 -> "1.234568E+07", 1e7 -> "1E+07"). Negative zero is "0".
// The text does not depend on the user's locale.
QString SingleText(float v);

// A typed text with full-width digits, decimal point, signs, colon and spaces (as a Japanese
// input method types them: "１６", "６５．２", "－３", "１：０５") turned into their ASCII forms;
// every other character stays as it is.
QString FoldFullWidth(const QString& text);

// The number an official typed into a box: the leading numeric value of the text after the
// full-width characters are folded ("１６" is 16, as "16" is).
double TypedValue(const QString& text);

// A decimal number as its digits and a power of ten: value = digits x 10^-scale.
struct Decimal {
    int64_t digits = 0;
    int scale = 0;
};
// The shortest decimal that reads back as the float v, as digits and scale: 70.02f gives
// {7002, 2}, 1e10f gives {1, -10}.
Decimal DecimalOf(float v);
// The text of digits x 10^-scale for a scale of 0 or more, without trailing zeros after the
// point: {235, 2} gives "2.35", {150, 2} gives "1.5", {5, 2} gives "0.05".
QString DecimalText(int64_t digits, int scale);

// The number a single-precision value was entered as: the shortest decimal that reads back as
// the same float (75.3f, which is 75.30000305..., gives 75.3). Cells get this value, since the
// widened float would read 75.3000030517578 in every other program.
double ShortestDecimal(float v);

}  // namespace zalvik
