#include "app/Numbers.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace zalvik {

namespace {

// Reads characters of a text one at a time, passing over the blanks that a typed number may
// contain anywhere.
class NumberReader {
  public:
    explicit NumberReader(const QString& text) : text_(text) {}

    // The next character that is not a blank, without consuming it; 0 at the end.
    char16_t peek() {
        while (pos_ < text_.size()) {
            const char16_t ch = text_.at(pos_).unicode();
            if (ch != u' ' && ch != u'\t' && ch != u'\n' && ch != u'\r') return ch;
            ++pos_;
        }
        return 0;
    }
    void take() { ++pos_; }

  private:
    const QString& text_;
    qsizetype pos_ = 0;
};

bool isDecimalDigit(char16_t ch) { return ch >= u'0' && ch <= u'9'; }

int digitValue(char16_t ch, int base) {
    int v = -1;
    if (ch >= u'0' && ch <= u'9')
        v = ch - u'0';
    else if (ch >= u'a' && ch <= u'f')
        v = ch - u'a' + 10;
    else if (ch >= u'A' && ch <= u'F')
        v = ch - u'A' + 10;
    return v < base ? v : -1;
}

double readRadix(NumberReader& in, int base) {
    // Exact as an integer while it fits in 64 bits; beyond that only its size matters, since
    // such a value is out of range for every caller anyway.
    uint64_t exact = 0;
    double approx = 0;
    bool fits = true;
    for (;;) {
        const int d = digitValue(in.peek(), base);
        if (d < 0) break;
        in.take();
        approx = approx * base + d;
        if (exact > (std::numeric_limits<uint64_t>::max() - d) / base) fits = false;
        if (fits) exact = exact * base + d;
    }
    if (!fits) return approx;
    // The classic reading of such literals: 16-bit two's complement when the value fits in
    // 16 bits, else 32-bit two's complement when it fits in 32 bits.
    if (exact <= 0xFFFFu) return static_cast<int16_t>(static_cast<uint16_t>(exact));
    if (exact <= 0xFFFFFFFFu) return static_cast<int32_t>(static_cast<uint32_t>(exact));
    return static_cast<double>(exact);
}

}  // namespace

double LeadingValue(const QString& text) {
    NumberReader in(text);
    char16_t ch = in.peek();

    if (ch == u'&') {
        in.take();
        const char16_t kind = in.peek();
        if (kind == u'H' || kind == u'h') {
            in.take();
            return readRadix(in, 16);
        }
        if (kind == u'O' || kind == u'o') {
            in.take();
            return readRadix(in, 8);
        }
        return 0;
    }

    bool negative = false;
    if (ch == u'+' || ch == u'-') {
        negative = ch == u'-';
        in.take();
    }

    std::string intDigits;
    std::string fracDigits;
    while (isDecimalDigit(ch = in.peek())) {
        in.take();
        intDigits += static_cast<char>(ch);
    }
    if (in.peek() == u'.') {
        in.take();
        while (isDecimalDigit(ch = in.peek())) {
            in.take();
            fracDigits += static_cast<char>(ch);
        }
    }
    if (intDigits.empty() && fracDigits.empty()) return 0;

    // An exponent counts only when at least one digit follows the E and its sign: "1e" and
    // "1e+" read as 1.
    long exponent = 0;
    ch = in.peek();
    if (ch == u'E' || ch == u'e') {
        in.take();
        bool expNegative = false;
        ch = in.peek();
        if (ch == u'+' || ch == u'-') {
            expNegative = ch == u'-';
            in.take();
        }
        while (isDecimalDigit(ch = in.peek())) {
            in.take();
            if (exponent < 100000) exponent = exponent * 10 + (ch - u'0');
        }
        if (expNegative) exponent = -exponent;
    }

    const std::string literal = (intDigits.empty() ? std::string("0") : intDigits) + "." +
                                (fracDigits.empty() ? std::string("0") : fracDigits) + "e" +
                                std::to_string(exponent);
    double value = 0;
    const auto [end, ec] = std::from_chars(literal.data(), literal.data() + literal.size(), value,
                                           std::chars_format::general);
    (void)end;
    if (ec == std::errc::result_out_of_range) {
        // Decide between overflow and underflow from the position of the first significant
        // digit relative to the decimal point.
        const auto firstInt = intDigits.find_first_not_of('0');
        long magnitude;
        if (firstInt != std::string::npos) {
            magnitude = static_cast<long>(intDigits.size() - firstInt);
        } else {
            const auto firstFrac = fracDigits.find_first_not_of('0');
            magnitude = firstFrac == std::string::npos ? -100000 : -static_cast<long>(firstFrac);
        }
        value = magnitude + exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (ec != std::errc()) {
        return 0;
    }
    if (value == 0) return 0;  // never a negative zero
    return negative ? -value : value;
}

std::optional<int16_t> ToInt16(double v) {
    if (!std::isfinite(v)) return std::nullopt;
    // Rounded explicitly rather than through the floating-point environment, so the result
    // does not depend on the current rounding mode. v - floor(v) is exact for doubles.
    const double below = std::floor(v);
    const double fraction = v - below;
    double rounded = below;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(below, 2.0) != 0)) rounded = below + 1;
    if (rounded < -32768.0 || rounded > 32767.0) return std::nullopt;
    return static_cast<int16_t>(rounded);
}

QString SingleText(float v) {
    // The C "%.7G" rule: seven significant digits, trailing zeros dropped, exponent form when
    // the decimal exponent is below -4 or at least 7. std::to_chars applies it without
    // looking at the locale (a Qt program runs with the user's locale, where printf could
    // write a decimal comma). An exact tie at the eighth digit rounds to even.
    if (v == 0) return QStringLiteral("0");
    char buffer[32];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(v),
                                         std::chars_format::general, 7);
    if (ec != std::errc()) return QStringLiteral("0");
    QString text = QString::fromLatin1(buffer, end - buffer);
    text.replace(QLatin1Char('e'), QLatin1Char('E'));
    return text;
}

double ShortestDecimal(float v) {
    std::array<char, 32> buf{};
    const auto out = std::to_chars(buf.data(), buf.data() + buf.size(), v);
    double d = v;
    std::from_chars(buf.data(), out.ptr, d);
    return d;
}

QString FoldFullWidth(const QString& text) {
    QString folded = text;
    for (QChar& ch : folded) {
        const char16_t c = ch.unicode();
        if (c >= u'０' && c <= u'９')
            ch = QChar(u'0' + (c - u'０'));
        else if (c == u'．')
            ch = QLatin1Char('.');
        else if (c == u'－' || c == u'−' || c == u'ー')
            ch = QLatin1Char('-');
        else if (c == u'＋')
            ch = QLatin1Char('+');
        else if (c == u'：')
            ch = QLatin1Char(':');
        else if (c == u'　')
            ch = QLatin1Char(' ');
    }
    return folded;
}

double TypedValue(const QString& text) { return LeadingValue(FoldFullWidth(text)); }

Decimal DecimalOf(float v) {
    std::array<char, 48> buf{};
    const auto out = std::to_chars(buf.data(), buf.data() + buf.size(), v);
    Decimal d;
    bool negative = false;
    int exponent = 0;
    bool inFraction = false;
    for (const char* p = buf.data(); p < out.ptr; ++p) {
        const char c = *p;
        if (c == '-') {
            negative = true;
        } else if (c == '.') {
            inFraction = true;
        } else if (c == 'e' || c == 'E') {
            std::from_chars(p[1] == '+' ? p + 2 : p + 1, out.ptr, exponent);
            break;
        } else if (c >= '0' && c <= '9') {
            d.digits = d.digits * 10 + (c - '0');
            if (inFraction) ++d.scale;
        }
    }
    d.scale -= exponent;
    if (negative) d.digits = -d.digits;
    return d;
}

QString DecimalText(int64_t digits, int scale) {
    const bool negative = digits < 0;
    QString text = QString::number(negative ? -digits : digits);
    if (scale > 0) {
        if (text.size() <= scale) text = QString(scale - text.size() + 1, QLatin1Char('0')) + text;
        text.insert(text.size() - scale, QLatin1Char('.'));
        while (text.endsWith(QLatin1Char('0'))) text.chop(1);
        if (text.endsWith(QLatin1Char('.'))) text.chop(1);
    }
    return negative && text != QLatin1String("0") ? QLatin1Char('-') + text : text;
}

}  // namespace zalvik
