#include "sheet/Formula.h"

#include <array>

#include "sheet/Format.h"

namespace sheet::detail {

namespace {

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Characters of names, references and numbers. Bytes above 0x7F are parts of UTF-8 letters:
// sheet and defined names may be written in Japanese without quotes.
bool IsWordChar(char c) {
    return IsLetter(c) || IsDigit(c) || c == '_' || c == '.' || c == '\\' || c == '?' || c == '$' ||
           static_cast<unsigned char>(c) >= 0x80;
}

// "$AB" or "AB": a column of the sheet. *fixed says whether it has the "$".
bool ParseColumn(std::string_view s, int* col, bool* fixed) {
    *fixed = !s.empty() && s[0] == '$';
    if (*fixed) s.remove_prefix(1);
    if (s.empty() || s.size() > 3) return false;
    int c = 0;
    for (char ch : s) {
        if (!IsLetter(ch)) return false;
        c = c * 26 + ((ch | 0x20) - 'a' + 1);
    }
    if (c > kMaxCol) return false;
    *col = c;
    return true;
}

bool ParseRow(std::string_view s, int* row, bool* fixed) {
    *fixed = !s.empty() && s[0] == '$';
    if (*fixed) s.remove_prefix(1);
    if (s.empty() || s.size() > 7) return false;
    long r = 0;
    for (char ch : s) {
        if (!IsDigit(ch)) return false;
        r = r * 10 + (ch - '0');
    }
    if (r < 1 || r > kMaxRow) return false;
    *row = static_cast<int>(r);
    return true;
}

// A cell reference "$A$1", "a1", "A$1" split into its column and row parts.
bool SplitCellRef(std::string_view s, std::string_view* col, std::string_view* row) {
    size_t i = s.size() && s[0] == '$' ? 1 : 0;
    while (i < s.size() && IsLetter(s[i])) ++i;
    *col = s.substr(0, i);
    *row = s.substr(i);
    return !col->empty() && !row->empty();
}

bool MoveColumn(std::string_view s, int by, std::string* out) {
    int c = 0;
    bool fixed = false;
    if (!ParseColumn(s, &c, &fixed)) return false;
    if (!fixed) c += by;
    if (c < 1 || c > kMaxCol) return false;
    *out += (fixed ? "$" : "") + ColumnName(c);
    return true;
}

bool MoveRow(std::string_view s, int by, std::string* out) {
    int r = 0;
    bool fixed = false;
    if (!ParseRow(s, &r, &fixed)) return false;
    if (!fixed) r += by;
    if (r < 1 || r > kMaxRow) return false;
    *out += (fixed ? "$" : "") + std::to_string(r);
    return true;
}

bool IsCellRef(std::string_view s) {
    std::string_view col, row;
    int c, r;
    bool f;
    return SplitCellRef(s, &col, &row) && ParseColumn(col, &c, &f) && ParseRow(row, &r, &f);
}

bool IsColumnOnly(std::string_view s) {
    int c;
    bool f;
    return ParseColumn(s, &c, &f);
}

bool IsRowOnly(std::string_view s) {
    int r;
    bool f;
    return ParseRow(s, &r, &f);
}

constexpr std::array<std::string_view, 15> kErrors = {
    "#NULL!", "#DIV/0!", "#VALUE!",   "#REF!",  "#NAME?",    "#NUM!",     "#N/A",         "#SPILL!",
    "#CALC!", "#FIELD!", "#BLOCKED!", "#BUSY!", "#CONNECT!", "#UNKNOWN!", "#GETTING_DATA"};

size_t ErrorLiteralAt(std::string_view s, size_t i) {
    for (std::string_view e : kErrors) {
        if (s.size() - i < e.size()) continue;
        bool same = true;
        for (size_t k = 0; k < e.size() && same; ++k) {
            char ch = s[i + k];
            if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
            same = ch == e[k];
        }
        if (same) return e.size();
    }
    return 0;
}

// The end of a quoted text starting at s[i] (a string in "" or a sheet name in ''), where the
// quote doubled stands for itself; npos when it never ends.
size_t QuotedEnd(std::string_view s, size_t i) {
    const char q = s[i];
    for (size_t k = i + 1; k < s.size(); ++k) {
        if (s[k] != q) continue;
        if (k + 1 < s.size() && s[k + 1] == q) {
            ++k;
            continue;
        }
        return k + 1;
    }
    return std::string_view::npos;
}

// The end of a bracketed part starting at s[i]: a workbook number "[1]" or a table reference
// "[[#This Row],[Time]]", in which "'" makes the next character literal.
size_t BracketEnd(std::string_view s, size_t i) {
    int depth = 0;
    for (size_t k = i; k < s.size(); ++k) {
        if (s[k] == '\'') {
            ++k;
        } else if (s[k] == '[') {
            ++depth;
        } else if (s[k] == ']' && --depth == 0) {
            return k + 1;
        }
    }
    return std::string_view::npos;
}

}  // namespace

bool ShiftFormula(std::string_view f, int rows, int cols, std::string* out) {
    out->clear();
    out->reserve(f.size() + 8);
    bool afterReference = false;  // a "#" right after a reference is the spill operator
    size_t i = 0;
    while (i < f.size()) {
        const char c = f[i];
        if (c == '"' || c == '\'') {
            size_t end = QuotedEnd(f, i);
            if (end == std::string_view::npos) return false;
            out->append(f.substr(i, end - i));
            i = end;
            afterReference = false;
            continue;
        }
        if (c == '[') {
            size_t end = BracketEnd(f, i);
            if (end == std::string_view::npos) return false;
            out->append(f.substr(i, end - i));
            i = end;
            afterReference = true;  // a table reference may spill too
            continue;
        }
        if (c == '#') {
            if (size_t n = ErrorLiteralAt(f, i)) {
                out->append(f.substr(i, n));
                i += n;
            } else if (afterReference) {
                *out += '#';
                ++i;
            } else {
                return false;
            }
            afterReference = false;
            continue;
        }
        if (!IsWordChar(c)) {
            *out += c;
            ++i;
            afterReference = false;
            continue;
        }
        size_t end = i;
        while (end < f.size() && IsWordChar(f[end])) ++end;
        // A number's exponent carries a sign: "1E+5".
        if ((IsDigit(c) || c == '.') && (f[end - 1] == 'E' || f[end - 1] == 'e') &&
            end < f.size() && (f[end] == '+' || f[end] == '-')) {
            ++end;
            while (end < f.size() && IsDigit(f[end])) ++end;
        }
        const std::string_view word = f.substr(i, end - i);
        const char next = end < f.size() ? f[end] : '\0';
        afterReference = false;
        if (next == '(' || next == '!' || next == '[') {
            // A function, a sheet or a table: names, kept as written.
            out->append(word);
            i = end;
            continue;
        }
        if (IsCellRef(word)) {
            std::string_view col, row;
            SplitCellRef(word, &col, &row);
            if (!MoveColumn(col, cols, out) || !MoveRow(row, rows, out)) return false;
            i = end;
            afterReference = true;
            continue;
        }
        // Whole columns "A:C" and whole rows "1:3" are references only as a pair around ":".
        size_t otherStart = end + 1, otherEnd = otherStart;
        while (next == ':' && otherEnd < f.size() && IsWordChar(f[otherEnd])) ++otherEnd;
        const std::string_view other =
            next == ':' ? f.substr(otherStart, otherEnd - otherStart) : std::string_view();
        const bool pairEnds = otherEnd >= f.size() || (f[otherEnd] != '(' && f[otherEnd] != '!');
        if (!other.empty() && pairEnds && IsColumnOnly(word) && IsColumnOnly(other)) {
            if (!MoveColumn(word, cols, out)) return false;
            *out += ':';
            if (!MoveColumn(other, cols, out)) return false;
            i = otherEnd;
            afterReference = true;
            continue;
        }
        if (!other.empty() && pairEnds && IsRowOnly(word) && IsRowOnly(other)) {
            if (!MoveRow(word, rows, out)) return false;
            *out += ':';
            if (!MoveRow(other, rows, out)) return false;
            i = otherEnd;
            afterReference = true;
            continue;
        }
        // Numbers, TRUE and FALSE, defined names.
        out->append(word);
        i = end;
    }
    return true;
}

}  // namespace sheet::detail
