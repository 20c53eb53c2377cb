#include "sheet/Format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace sheet::detail {

std::string NumberToText(double v) {
    if (v == 0) return "0";  // also for -0
    if (!std::isfinite(v)) return "#NUM!";
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
    std::string s(buf, r.ptr);
    for (char& c : s)
        if (c == 'e') c = 'E';
    return s;
}

std::string NumberToXml(double v) {
    if (v == 0) return "0";
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

bool ParseNumber(std::string_view s, double* v) {
    while (!s.empty() &&
           (s.front() == ' ' || s.front() == '\t' || s.front() == '\n' || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() &&
           (s.back() == ' ' || s.back() == '\t' || s.back() == '\n' || s.back() == '\r'))
        s.remove_suffix(1);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    if (s.empty()) return false;
    auto r = std::from_chars(s.data(), s.data() + s.size(), *v);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
long DaysFromCivil(long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long>(doe) - 719468;
}

Date CivilFromDays(long z) {
    z += 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long y = static_cast<long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return Date{static_cast<int>(y + (m <= 2)), static_cast<int>(m), static_cast<int>(d)};
}

const long kEpoch1899_12_30 = DaysFromCivil(1899, 12, 30);
const long kEpoch1899_12_31 = DaysFromCivil(1899, 12, 31);

struct Builtin {
    int id;
    const char* code;
};

constexpr Builtin kBuiltins[] = {
    {0, "General"},
    {1, "0"},
    {2, "0.00"},
    {3, "#,##0"},
    {4, "#,##0.00"},
    {5, "\"$\"#,##0_);(\"$\"#,##0)"},
    {6, "\"$\"#,##0_);[Red](\"$\"#,##0)"},
    {7, "\"$\"#,##0.00_);(\"$\"#,##0.00)"},
    {8, "\"$\"#,##0.00_);[Red](\"$\"#,##0.00)"},
    {9, "0%"},
    {10, "0.00%"},
    {11, "0.00E+00"},
    {12, "# ?/?"},
    {13,
     "# ?"
     "?/?"
     "?"},
    {14, "mm-dd-yy"},
    {15, "d-mmm-yy"},
    {16, "d-mmm"},
    {17, "mmm-yy"},
    {18, "h:mm AM/PM"},
    {19, "h:mm:ss AM/PM"},
    {20, "h:mm"},
    {21, "h:mm:ss"},
    {22, "m/d/yy h:mm"},
    // Ids 27 to 36 and 50 to 58 are the Japanese locale's date formats.
    {27, "[$-411]ge.m.d"},
    {28, "[$-411]ggge\"年\"m\"月\"d\"日\""},
    {29, "[$-411]ggge\"年\"m\"月\"d\"日\""},
    {30, "m/d/yy"},
    {31, "yyyy\"年\"m\"月\"d\"日\""},
    {32, "h\"時\"mm\"分\""},
    {33, "h\"時\"mm\"分\"ss\"秒\""},
    {34, "yyyy\"年\"m\"月\""},
    {35, "m\"月\"d\"日\""},
    {36, "[$-411]ge.m.d"},
    {37, "#,##0_);(#,##0)"},
    {38, "#,##0_);[Red](#,##0)"},
    {39, "#,##0.00_);(#,##0.00)"},
    {40, "#,##0.00_);[Red](#,##0.00)"},
    {45, "mm:ss"},
    {46, "[h]:mm:ss"},
    {47, "mmss.0"},
    {48, "##0.0E+0"},
    {49, "@"},
    {50, "[$-411]ge.m.d"},
    {51, "[$-411]ggge\"年\"m\"月\"d\"日\""},
    {52, "yyyy\"年\"m\"月\""},
    {53, "m\"月\"d\"日\""},
    {54, "[$-411]ggge\"年\"m\"月\"d\"日\""},
    {55, "yyyy\"年\"m\"月\""},
    {56, "m\"月\"d\"日\""},
    {57, "[$-411]ge.m.d"},
    {58, "[$-411]ggge\"年\"m\"月\"d\"日\""},
};

}  // namespace

Date SerialToDate(double serial) {
    // Kept within the dates the spreadsheet program knows, so that no serial overflows here.
    serial = std::clamp(std::isfinite(serial) ? serial : 0.0, -1.0, kLastSerial);
    long s = static_cast<long>(std::floor(serial));
    if (s == 60) return Date{1900, 2, 29};
    if (s < 60) return CivilFromDays(kEpoch1899_12_31 + s);
    return CivilFromDays(kEpoch1899_12_30 + s);
}

double DateToSerial(Date d) {
    if (d.year == 1900 && d.month == 2 && d.day == 29) return 60;
    long days = DaysFromCivil(d.year, static_cast<unsigned>(d.month), static_cast<unsigned>(d.day));
    long s = days - kEpoch1899_12_30;
    if (s < 61) s = days - kEpoch1899_12_31;
    return static_cast<double>(s);
}

namespace {

// Reads exactly `len` digits at s[*i] and moves past them.
bool Digits(std::string_view s, size_t* i, size_t len, int* out) {
    if (*i + len > s.size()) return false;
    int v = 0;
    for (size_t k = *i; k < *i + len; ++k) {
        if (s[k] < '0' || s[k] > '9') return false;
        v = v * 10 + (s[k] - '0');
    }
    *out = v;
    *i += len;
    return true;
}

// "hh:mm", "hh:mm:ss" or "hh:mm:ss.fff" at s[*i], as a fraction of a day.
bool IsoTime(std::string_view s, size_t* i, double* day) {
    int h = 0, m = 0, sec = 0;
    if (!Digits(s, i, 2, &h) || *i >= s.size() || s[*i] != ':') return false;
    ++*i;
    if (!Digits(s, i, 2, &m)) return false;
    double frac = 0;
    if (*i < s.size() && s[*i] == ':') {
        ++*i;
        if (!Digits(s, i, 2, &sec)) return false;
        if (*i < s.size() && (s[*i] == '.' || s[*i] == ',')) {
            double scale = 0.1;
            size_t start = ++*i;
            for (; *i < s.size() && s[*i] >= '0' && s[*i] <= '9'; ++*i, scale /= 10)
                frac += (s[*i] - '0') * scale;
            if (*i == start) return false;
        }
    }
    if (h > 24 || m > 59 || sec > 60 || (h == 24 && (m || sec || frac))) return false;
    *day = (h * 3600.0 + m * 60.0 + sec + frac) / 86400.0;
    return true;
}

// A trailing "Z" or "+09:00" is dropped: the spreadsheet has no time zones and shows the
// wall-clock time as written.
bool IsoZoneOrEnd(std::string_view s, size_t i) {
    if (i == s.size()) return true;
    if (s[i] == 'Z' || s[i] == 'z') return i + 1 == s.size();
    if (s[i] != '+' && s[i] != '-') return false;
    ++i;
    int h = 0, m = 0;
    if (!Digits(s, &i, 2, &h)) return false;
    if (i < s.size() && s[i] == ':') ++i;
    if (i < s.size() && !Digits(s, &i, 2, &m)) return false;
    return i == s.size() && h <= 14 && m <= 59;
}

// "P1DT2H3M4.5S", "-PT11M": days, hours, minutes and seconds. Years and months have no fixed
// length in days, so a duration with them is not read.
bool IsoDuration(std::string_view s, double* days) {
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
    if (i >= s.size() || s[i] != 'P') return false;
    ++i;
    bool inTime = false, any = false;
    double total = 0;
    while (i < s.size()) {
        if (s[i] == 'T') {
            if (inTime) return false;
            inTime = true;
            ++i;
            continue;
        }
        double n = 0;
        auto r = std::from_chars(s.data() + i, s.data() + s.size(), n, std::chars_format::fixed);
        if (r.ec != std::errc() || r.ptr == s.data() + s.size() || n < 0) return false;
        i = static_cast<size_t>(r.ptr - s.data());
        const char unit = s[i++];
        if (!inTime && unit == 'D')
            total += n;
        else if (!inTime && unit == 'W')
            total += n * 7;
        else if (inTime && unit == 'H')
            total += n / 24;
        else if (inTime && unit == 'M')
            total += n / 1440;
        else if (inTime && unit == 'S')
            total += n / 86400;
        else
            return false;
        any = true;
    }
    if (!any || !std::isfinite(total)) return false;
    *days = negative ? -total : total;
    return true;
}

}  // namespace

bool ParseIsoValue(std::string_view s, double* serial, bool* hasDate) {
    while (!s.empty() &&
           (s.front() == ' ' || s.front() == '\n' || s.front() == '\r' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() &&
           (s.back() == ' ' || s.back() == '\n' || s.back() == '\r' || s.back() == '\t'))
        s.remove_suffix(1);
    if (s.empty()) return false;
    *hasDate = false;
    if (s.front() == 'P' || ((s.front() == '-' || s.front() == '+') && s.size() > 1 && s[1] == 'P'))
        return IsoDuration(s, serial);
    size_t i = 0;
    double day = 0;
    if (s.size() >= 3 && s[2] == ':') {  // a time of day without a date
        if (!IsoTime(s, &i, &day) || !IsoZoneOrEnd(s, i)) return false;
        *serial = day;
        return true;
    }
    int y = 0, m = 0, d = 0;
    if (!Digits(s, &i, 4, &y) || i >= s.size() || s[i++] != '-' || !Digits(s, &i, 2, &m) ||
        i >= s.size() || s[i++] != '-' || !Digits(s, &i, 2, &d))
        return false;
    if (m < 1 || m > 12 || d < 1 || d > 31) return false;
    if (i < s.size() && (s[i] == 'T' || s[i] == 't' || s[i] == ' ')) {
        ++i;
        if (!IsoTime(s, &i, &day)) return false;
    }
    if (!IsoZoneOrEnd(s, i)) return false;
    // The serial the spreadsheet program itself holds for the day: from 1900-03-01 on it counts
    // from 1899-12-30, before that (back to 1899-12-31 = 0) from 1899-12-31, because of the
    // 1900-02-29 it believes in. Days before that count from 1899-12-30, as a time of day
    // written on 1899-12-30 is meant.
    long days =
        DaysFromCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d)) - kEpoch1899_12_30;
    if (days >= 1 && days < 61) --days;
    *serial = static_cast<double>(days) + day;
    *hasDate = true;
    return true;
}

std::string DateToText(Date d) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d", d.year, d.month, d.day);
    return buf;
}

const char* BuiltinFormatCode(int id) {
    for (const Builtin& b : kBuiltins)
        if (b.id == id) return b.code;
    return nullptr;
}

int BuiltinFormatId(std::string_view code) {
    for (const Builtin& b : kBuiltins) {
        if (b.id > 26 && b.id < 37) continue;  // locale-dependent: never chosen for a code
        if (b.id >= 50) continue;
        if (code == b.code) return b.id;
    }
    return -1;
}

bool IsDateFormatId(int id) {
    // Decided by the code, so that a built-in format and the same code written as a custom
    // format read alike: the time formats (18 to 21, 45 to 47) are numbers either way.
    const char* code = BuiltinFormatCode(id);
    return code && IsDateFormatCode(code);
}

bool IsDateFormatCode(std::string_view code) {
    bool d = false, y = false, m = false, h = false, s = false;
    for (size_t i = 0; i < code.size(); ++i) {
        char c = code[i];
        if (c == ';') break;  // the first section decides how a positive number shows
        if (c == '"') {
            auto e = code.find('"', i + 1);
            if (e == std::string_view::npos) break;
            i = e;
        } else if (c == '[') {
            auto e = code.find(']', i + 1);
            if (e == std::string_view::npos) break;
            std::string_view inner = code.substr(i + 1, e - i - 1);
            if (inner == "h" || inner == "hh" || inner == "m" || inner == "mm" || inner == "s" ||
                inner == "ss")
                h = true;  // elapsed time
            i = e;
        } else if (c == '\\' || c == '_' || c == '*') {
            ++i;  // the next character is literal
        } else {
            switch (c | 0x20) {
                case 'd':
                    d = true;
                    break;
                case 'y':
                    y = true;
                    break;
                case 'm':
                    m = true;
                    break;
                case 'h':
                    h = true;
                    break;
                case 's':
                    s = true;
                    break;
                default:
                    break;
            }
        }
    }
    return d || y || (m && !h && !s);
}

std::string ColumnName(int col) {
    std::string s;
    while (col > 0) {
        int r = (col - 1) % 26;
        s.insert(s.begin(), static_cast<char>('A' + r));
        col = (col - 1) / 26;
    }
    return s;
}

bool ParseCellRef(std::string_view ref, int* row, int* col) {
    size_t i = 0;
    if (i < ref.size() && ref[i] == '$') ++i;
    long c = 0;
    size_t letters = 0;
    while (i < ref.size() &&
           ((ref[i] >= 'A' && ref[i] <= 'Z') || (ref[i] >= 'a' && ref[i] <= 'z'))) {
        c = c * 26 + ((ref[i] | 0x20) - 'a' + 1);
        ++i;
        if (++letters > 3) return false;
    }
    if (letters == 0) return false;
    if (i < ref.size() && ref[i] == '$') ++i;
    if (i >= ref.size() || ref.size() - i > 7) return false;
    long r = 0;
    for (; i < ref.size(); ++i) {
        if (ref[i] < '0' || ref[i] > '9') return false;
        r = r * 10 + (ref[i] - '0');
    }
    if (r < 1 || r > kMaxRow || c < 1 || c > kMaxCol) return false;
    *row = static_cast<int>(r);
    *col = static_cast<int>(c);
    return true;
}

bool ParseRange(std::string_view range, int* row1, int* col1, int* row2, int* col2) {
    auto colon = range.find(':');
    if (colon == std::string_view::npos) {
        if (!ParseCellRef(range, row1, col1)) return false;
        *row2 = *row1;
        *col2 = *col1;
        return true;
    }
    if (!ParseCellRef(range.substr(0, colon), row1, col1) ||
        !ParseCellRef(range.substr(colon + 1), row2, col2))
        return false;
    if (*row1 > *row2) std::swap(*row1, *row2);
    if (*col1 > *col2) std::swap(*col1, *col2);
    return true;
}

}  // namespace sheet::detail
