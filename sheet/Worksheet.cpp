#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>

#include "sheet/Format.h"
#include "sheet/Formula.h"
#include "sheet/Internal.h"
#include "sheet/Xml.h"

namespace sheet {

using namespace detail;

namespace {

constexpr std::string_view kCellOrder[] = {"f", "v", "is", "extLst"};
constexpr std::string_view kHeaderFooterOrder[] = {"oddHeader",  "oddFooter",   "evenHeader",
                                                   "evenFooter", "firstHeader", "firstFooter"};
constexpr std::string_view kSheetViewsOrder[] = {"sheetView", "extLst"};
constexpr size_t kMaxCellChars = 32767;  // counted in UTF-16 units, as the file format does
constexpr size_t kMaxHeaderChars = 255;

void SetAttr(pugi::xml_node n, const char* name, const std::string& value) {
    pugi::xml_attribute a = n.attribute(name);
    if (!a) a = n.append_attribute(name);
    a.set_value(value.c_str());
}

bool IsTrue(pugi::xml_attribute a) {
    std::string_view v = a.value();
    return v == "1" || v == "true";
}

// Cuts a UTF-8 text to the longest prefix a cell can hold, never inside a character.
std::string_view LimitCellText(std::string_view s) {
    size_t units = 0;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        size_t need = len == 4 ? 2 : 1;
        if (units + need > kMaxCellChars) return s.substr(0, i);
        units += need;
        i += len;
    }
    return s;
}

std::string EscapeHeaderText(std::string_view s) {
    std::string out;
    for (char c : s) {
        out += c;
        if (c == '&') out += '&';  // a lone "&" would start a formatting code
    }
    return out;
}

// Splits "&Lleft&Ccentre&Rright" into its three sections; "&&" is a literal "&", other codes
// are kept as they stand.
void SplitHeaderText(std::string_view s, std::string* left, std::string* center,
                     std::string* right) {
    std::string* cur = center;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '&' && i + 1 < s.size()) {
            char k = s[i + 1];
            if (k == '&') {
                *cur += '&';
                ++i;
                continue;
            }
            if (k == 'L' || k == 'C' || k == 'R') {
                cur = k == 'L' ? left : k == 'C' ? center : right;
                ++i;
                continue;
            }
        }
        *cur += s[i];
    }
}

std::string JoinHeaderText(const std::string& left, const std::string& center,
                           const std::string& right) {
    std::string out;
    if (!left.empty()) out += "&L" + EscapeHeaderText(left);
    if (!center.empty()) out += "&C" + EscapeHeaderText(center);
    if (!right.empty()) out += "&R" + EscapeHeaderText(right);
    // The spreadsheet program refuses a header longer than 255 characters, codes included:
    // cut the end rather than lose the file, and never leave half of an "&&".
    size_t units = 0, i = 0;
    while (i < out.size()) {
        unsigned char c = static_cast<unsigned char>(out[i]);
        size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        size_t need = len == 4 ? 2 : 1;
        if (units + need > kMaxHeaderChars) break;
        units += need;
        i += len;
    }
    if (i < out.size()) {
        out.resize(i);
        size_t amps = 0;
        while (amps < out.size() && out[out.size() - 1 - amps] == '&') ++amps;
        if (amps % 2) out.pop_back();
    }
    return out;
}

// The <col> range that covers `col`. Producers do not always sort the ranges, and a sheet may
// have more than one <cols>, so every range is looked at.
pugi::xml_node FindCol(pugi::xml_node root, int col) {
    for (pugi::xml_node cols = Child(root, "cols"); cols; cols = NextSibling(cols, "cols"))
        for (pugi::xml_node c = cols.first_child(); c; c = c.next_sibling())
            if (IsLocal(c, "col") && c.attribute("min").as_int() <= col &&
                col <= c.attribute("max").as_int())
                return c;
    return {};
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Value

bool Value::isEmpty() const {
    return type == ValueType::Empty || (type == ValueType::Text && text.empty());
}

std::string Value::toText() const {
    switch (type) {
        case ValueType::Empty:
            return {};
        case ValueType::Number:
            return NumberToText(number);
        case ValueType::Text:
        case ValueType::Error:
            return text;
        case ValueType::Boolean:
            return number != 0 ? "TRUE" : "FALSE";
        case ValueType::Date:
            return DateToText(SerialToDate(number));
    }
    return {};
}

Date Value::date() const { return SerialToDate(number); }

std::string CellName(int row, int col) { return ColumnName(col) + std::to_string(row); }

// ---------------------------------------------------------------------------------------------
// Index of the sheet data

bool Worksheet::Impl::index(FileFault* why) {
    root = part.doc.document_element();
    if (!IsLocal(root, "worksheet")) {
        why->defect = PartDefect::WrongRoot;
        return false;
    }
    prefix = PrefixOf(root);
    sheetData = Child(root, "sheetData");
    rows.clear();
    lastRow = nullptr;
    if (!sheetData) return true;
    int prevRow = 0;
    for (pugi::xml_node r = sheetData.first_child(); r; r = r.next_sibling()) {
        if (!IsLocal(r, "row")) continue;
        int rowNo = prevRow + 1;
        if (pugi::xml_attribute a = r.attribute("r")) {
            long long v = a.as_llong(0);
            if (v < 1 || v > kMaxRow) {
                why->defect = PartDefect::RowNumberOutOfRange;
                why->found = a.value();
                return false;
            }
            rowNo = static_cast<int>(v);
        } else {
            if (rowNo > kMaxRow) {
                why->defect = PartDefect::TooManyRows;
                return false;
            }
            // An implicit row number is made explicit, so that inserting rows later cannot
            // shift it.
            r.append_attribute("r").set_value(rowNo);
        }
        if (rowNo <= prevRow) {
            why->defect = PartDefect::RowOutOfOrder;
            why->row = rowNo;
            return false;
        }
        prevRow = rowNo;
        Row entry;
        entry.node = r;
        int prevCol = 0;
        for (pugi::xml_node c = r.first_child(); c; c = c.next_sibling()) {
            if (!IsLocal(c, "c")) continue;
            int col = prevCol + 1;
            if (pugi::xml_attribute a = c.attribute("r")) {
                int cr = 0, cc = 0;
                if (!ParseCellRef(a.value(), &cr, &cc)) {
                    why->defect = PartDefect::CellReferenceBad;
                    why->found = a.value();
                    return false;
                }
                if (cr != rowNo) {
                    why->defect = PartDefect::CellInOtherRow;
                    why->found = a.value();
                    why->row = rowNo;
                    return false;
                }
                col = cc;
            } else {
                if (col > kMaxCol) {
                    why->defect = PartDefect::TooManyColumns;
                    why->row = rowNo;
                    return false;
                }
                c.append_attribute("r").set_value(CellName(rowNo, col).c_str());
            }
            if (col <= prevCol) {
                why->defect = PartDefect::CellOutOfOrder;
                why->row = rowNo;
                why->column = col;
                return false;
            }
            prevCol = col;
            entry.cells.emplace_back(col, c);
        }
        rows.emplace_hint(rows.end(), rowNo, std::move(entry));
    }
    return true;
}

pugi::xml_node Worksheet::Impl::findCell(int row, int col) const {
    if (!lastRow || lastRowNo != row) {
        auto it = rows.find(row);
        if (it == rows.end()) return {};
        lastRow = &it->second;
        lastRowNo = row;
    }
    const auto& cells = lastRow->cells;
    auto c = std::lower_bound(cells.begin(), cells.end(), col,
                              [](const auto& p, int v) { return p.first < v; });
    return c != cells.end() && c->first == col ? c->second : pugi::xml_node();
}

pugi::xml_node Worksheet::Impl::addChild(pugi::xml_node parent, const char* local) {
    return parent.append_child((prefix + local).c_str());
}

Worksheet::Impl::Row& Worksheet::Impl::ensureRow(int row) {
    auto it = rows.lower_bound(row);
    if (it != rows.end() && it->first == row) return it->second;
    if (!sheetData) sheetData = EnsureChild(root, "sheetData", kWorksheetOrder);
    const std::string name = prefix + "row";
    pugi::xml_node node = it != rows.end()
                              ? sheetData.insert_child_before(name.c_str(), it->second.node)
                              : sheetData.append_child(name.c_str());
    node.append_attribute("r").set_value(row);
    part.dirty = true;
    return rows.emplace_hint(it, row, Row{node, {}})->second;
}

pugi::xml_node Worksheet::Impl::ensureCell(int row, int col) {
    Row& r = ensureRow(row);
    auto it = std::lower_bound(r.cells.begin(), r.cells.end(), col,
                               [](const auto& p, int v) { return p.first < v; });
    if (it != r.cells.end() && it->first == col) return it->second;
    const std::string name = prefix + "c";
    pugi::xml_node c;
    if (it != r.cells.end())
        c = r.node.insert_child_before(name.c_str(), it->second);
    else if (!r.cells.empty())
        c = r.node.insert_child_after(name.c_str(), r.cells.back().second);
    else
        c = r.node.prepend_child(name.c_str());
    c.append_attribute("r").set_value(CellName(row, col).c_str());
    if (int s = inheritedStyle(row, col)) c.append_attribute("s").set_value(s);
    // The row's span hint no longer covers its cells; it is optional, so it goes.
    r.node.remove_attribute("spans");
    r.cells.insert(it, {col, c});
    part.dirty = true;
    cellsAdded = true;
    return c;
}

int Worksheet::Impl::styleOf(pugi::xml_node cell) const {
    return cell ? cell.attribute("s").as_int(0) : 0;
}

int Worksheet::Impl::inheritedStyle(int row, int col) const {
    // A cell typed into a formatted row or column takes that row's or column's format.
    auto it = rows.find(row);
    if (it != rows.end() && IsTrue(it->second.node.attribute("customFormat")))
        return it->second.node.attribute("s").as_int(0);
    return FindCol(root, col).attribute("style").as_int(0);
}

void Worksheet::Impl::setStyle(pugi::xml_node cell, int s) {
    if (styleOf(cell) == s) return;
    if (s == 0)
        cell.remove_attribute("s");
    else
        SetAttr(cell, "s", std::to_string(s));
    part.dirty = true;
}

template <class Derive>
void Worksheet::Impl::restyle(int row, int col, Derive derive) {
    StyleSheet* st = book->stylesForWrite();
    if (!st) return;
    pugi::xml_node cell = ensureCell(row, col);
    setStyle(cell, derive(st, styleOf(cell)));
}

void Worksheet::Impl::clearValue(pugi::xml_node cell, bool wholeSheet) {
    bool hadFormula = false;
    for (pugi::xml_node c = cell.first_child(); c;) {
        pugi::xml_node next = c.next_sibling();
        if (IsLocal(c, "f")) {
            hadFormula = true;
            const std::string_view t = c.attribute("t").value();
            if (!wholeSheet && t == "shared" && c.attribute("ref")) moveSharedFormula(cell, c);
            if (!wholeSheet && t == "array" && c.attribute("ref") &&
                book->isDynamicArray(cell.attribute("cm").as_int(0)))
                clearSpill(cell, c.attribute("ref").value());
        }
        if (IsLocal(c, "f") || IsLocal(c, "v") || IsLocal(c, "is")) cell.remove_child(c);
        c = next;
    }
    cell.remove_attribute("t");
    cell.remove_attribute("cm");
    cell.remove_attribute("vm");
    if (hadFormula) book->dropCalcChain();
    part.dirty = true;
}

void Worksheet::Impl::clearSpill(pugi::xml_node master, std::string_view ref) {
    // The other cells of a dynamic array hold only what its formula spilled into them; with the
    // formula gone they are empty, as the spreadsheet program leaves them.
    int r0 = 0, c0 = 0, r1 = 0, c1 = 0, r2 = 0, c2 = 0;
    if (!ParseCellRef(master.attribute("r").value(), &r0, &c0) ||
        !ParseRange(ref, &r1, &c1, &r2, &c2))
        return;
    for (auto it = rows.lower_bound(r1); it != rows.end() && it->first <= r2; ++it)
        for (auto& [c, other] : it->second.cells)
            if (c >= c1 && c <= c2 && !(it->first == r0 && c == c0)) clearValue(other, true);
}

int Worksheet::Impl::newSharedIndex() {
    if (nextSharedIndex < 0) {
        nextSharedIndex = 0;
        for (const auto& [r, row] : rows)
            for (const auto& [c, cell] : row.cells) {
                pugi::xml_node f = Child(cell, "f");
                if (f && std::string_view(f.attribute("t").value()) == "shared")
                    nextSharedIndex = std::max(nextSharedIndex, f.attribute("si").as_int(0) + 1);
            }
    }
    return nextSharedIndex++;
}

void Worksheet::Impl::moveSharedFormula(pugi::xml_node master, pugi::xml_node f) {
    // The other cells of a shared formula hold only a reference to the formula text kept in
    // its first cell. When that cell gets a value of its own, the formula moves to the next
    // cell of its range, its references shifted by the distance, so that every other cell
    // keeps calculating. The range left over is cut into rectangles that each start at their
    // new first cell: the rest of the first row, and the rows below.
    const int si = f.attribute("si").as_int(-1);
    const std::string text = f.text().get();
    int r0 = 0, c0 = 0, r1 = 0, c1 = 0, r2 = 0, c2 = 0;
    const bool known = ParseCellRef(master.attribute("r").value(), &r0, &c0) &&
                       ParseRange(f.attribute("ref").value(), &r1, &c1, &r2, &c2);

    struct Member {
        int row, col;
        pugi::xml_node cell, f;
    };
    std::vector<Member> inRange, elsewhere;  // in row and column order
    for (auto& [r, row] : rows)
        for (auto& [c, cell] : row.cells) {
            if (cell == master) continue;
            pugi::xml_node g = Child(cell, "f");
            if (!g || std::string_view(g.attribute("t").value()) != "shared" ||
                g.attribute("si").as_int(-2) != si || g.attribute("ref"))
                continue;
            Member m{r, c, cell, g};
            const bool after = r > r0 || (r == r0 && c > c0);
            (known && after && r <= r2 && c >= c1 && c <= c2 ? inRange : elsewhere).push_back(m);
        }

    // What cannot be moved keeps its last values as plain values, which every program
    // accepts, rather than point at a formula that is no longer there.
    auto drop = [](const std::vector<Member>& ms) {
        for (Member m : ms) m.cell.remove_child(m.f);
    };
    drop(elsewhere);
    // Each group must be a rectangle whose first cell is its top-left corner; a group that is
    // not is cut after its first row, and the rest is looked at again.
    std::vector<std::vector<Member>> groups;
    std::vector<Member> rest = std::move(inRange);
    while (!rest.empty()) {
        const Member first = rest.front();
        bool rectangle = true;
        for (const Member& m : rest) rectangle = rectangle && m.col >= first.col;
        if (rectangle) {
            groups.push_back(std::move(rest));
            break;
        }
        auto cut = std::find_if(rest.begin(), rest.end(),
                                [&](const Member& m) { return m.row != first.row; });
        groups.emplace_back(rest.begin(), cut);
        rest.erase(rest.begin(), cut);
    }
    bool siTaken = false;
    for (const std::vector<Member>& group : groups) {
        const Member& first = group.front();
        int maxCol = first.col, maxRow = first.row;
        for (const Member& m : group) {
            maxCol = std::max(maxCol, m.col);
            maxRow = std::max(maxRow, m.row);
        }
        std::string moved;
        if (!ShiftFormula(text, first.row - r0, first.col - c0, &moved)) {
            drop(group);
            continue;
        }
        const int groupSi = siTaken ? newSharedIndex() : si;
        siTaken = true;
        for (const Member& m : group)
            if (m.cell != first.cell) SetAttr(m.f, "si", std::to_string(groupSi));
        pugi::xml_node nf = first.f;
        for (pugi::xml_attribute a = f.first_attribute(); a; a = a.next_attribute())
            if (!nf.attribute(a.name())) nf.append_attribute(a.name()).set_value(a.value());
        nf.remove_attribute("t");
        nf.remove_attribute("ref");
        nf.remove_attribute("si");
        std::string ref = CellName(first.row, first.col);
        if (maxRow != first.row || maxCol != first.col) ref += ":" + CellName(maxRow, maxCol);
        nf.prepend_attribute("si").set_value(groupSi);
        nf.prepend_attribute("ref").set_value(ref.c_str());
        nf.prepend_attribute("t").set_value("shared");
        nf.text().set(moved.c_str());
    }
}

pugi::xml_node Worksheet::Impl::writableCell(int row, int col) {
    pugi::xml_node c = ensureCell(row, col);
    clearValue(c);
    return c;
}

void Worksheet::Impl::updateDimension() {
    pugi::xml_node dim = Child(root, "dimension");
    if (!dim) return;
    int minCol = kMaxCol + 1, maxCol = 0;
    for (const auto& [r, row] : rows)
        if (!row.cells.empty()) {
            minCol = std::min(minCol, row.cells.front().first);
            maxCol = std::max(maxCol, row.cells.back().first);
        }
    if (maxCol == 0) {
        SetAttr(dim, "ref", "A1");
        return;
    }
    int minRow = 0, maxRow = 0;
    for (const auto& [r, row] : rows)
        if (!row.cells.empty()) {
            if (!minRow) minRow = r;
            maxRow = r;
        }
    std::string ref = CellName(minRow, minCol);
    if (minRow != maxRow || minCol != maxCol) ref += ":" + CellName(maxRow, maxCol);
    SetAttr(dim, "ref", ref);
}

// ---------------------------------------------------------------------------------------------
// Worksheet

Worksheet::Worksheet(std::unique_ptr<Impl> impl) : d_(std::move(impl)) {}
Worksheet::~Worksheet() = default;

const std::string& Worksheet::name() const { return d_->name; }

Value Worksheet::value(int row, int col) const {
    Value out;
    pugi::xml_node cell = d_->findCell(row, col);
    if (!cell) return out;
    std::string_view t = cell.attribute("t").value();
    pugi::xml_node v = Child(cell, "v");
    if (t == "s") {
        if (!v) return out;
        const auto& strings = d_->book->strings();
        long long i = v.text().as_llong(-1);
        if (i >= 0 && i < static_cast<long long>(strings.size())) {
            out.type = ValueType::Text;
            out.text = strings[static_cast<size_t>(i)];
        }
    } else if (t == "inlineStr") {
        if (pugi::xml_node is = Child(cell, "is")) {
            out.type = ValueType::Text;
            out.text = StringItemText(is);
        } else if (v) {
            out.type = ValueType::Text;
            out.text = DecodeEscapes(v.text().get());
        }
    } else if (t == "str") {
        if (v) {
            out.type = ValueType::Text;
            out.text = DecodeEscapes(v.text().get());
        }
    } else if (t == "b") {
        if (v && *v.text().get()) {
            std::string_view b = v.text().get();
            out.type = ValueType::Boolean;
            out.number = (b == "1" || b == "true") ? 1 : 0;
        }
    } else if (t == "e") {
        if (v && *v.text().get()) {
            out.type = ValueType::Error;
            out.text = v.text().get();
        }
    } else if (t == "d") {
        double serial = 0;
        bool hasDate = false;
        if (v && ParseIsoValue(v.text().get(), &serial, &hasDate)) {
            // A time of day or a duration (also one written on the day before serial 1) is a
            // number, as in a number cell with a time format; a day is a date. Either way the
            // value is already in the 1900 system.
            out.type = hasDate && serial >= 1 ? ValueType::Date : ValueType::Number;
            out.number = serial;
        }
    } else if (v) {
        double x = 0;
        std::string_view text = v.text().get();
        // A formula whose result was never calculated may carry an empty cached value.
        if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) return out;
        if (!ParseNumber(text, &x)) {
            out.type = ValueType::Error;
            out.text = "#VALUE!";
            return out;
        }
        out.number = x;
        out.type = ValueType::Number;
        int s = d_->styleOf(cell);
        if (s) {
            StyleSheet* st = d_->book->stylesForRead();
            if (st && st->isDate(s)) {
                const double serial = out.number + (d_->book->date1904 ? k1904Offset : 0);
                // Outside 1900-01-00 .. 9999-12-31 there is no date: the spreadsheet program
                // shows such a number as it is, and so does this one.
                if (serial >= 0 && serial <= kLastSerial) {
                    out.type = ValueType::Date;
                    out.number = serial;
                }
            }
        }
    }
    return out;
}

std::string Worksheet::text(int row, int col) const { return value(row, col).toText(); }

void Worksheet::setNumber(int row, int col, double v) {
    pugi::xml_node c = d_->writableCell(row, col);
    if (!std::isfinite(v)) {  // the file has no infinities; the spreadsheet shows #NUM!
        c.append_attribute("t").set_value("e");
        d_->addChild(c, "v").text().set("#NUM!");
        return;
    }
    pugi::xml_node vn = InsertChild(c, "v", kCellOrder);
    vn.text().set(NumberToXml(v).c_str());
}

void Worksheet::setInteger(int row, int col, long long v) {
    pugi::xml_node c = d_->writableCell(row, col);
    InsertChild(c, "v", kCellOrder).text().set(std::to_string(v).c_str());
}

void Worksheet::setText(int row, int col, std::string_view utf8) {
    pugi::xml_node c = d_->writableCell(row, col);
    c.append_attribute("t").set_value("inlineStr");
    pugi::xml_node is = InsertChild(c, "is", kCellOrder);
    pugi::xml_node t = d_->addChild(is, "t");
    std::string text = EncodeEscapes(LimitCellText(utf8));
    if (!text.empty() && (std::isspace(static_cast<unsigned char>(text.front())) ||
                          std::isspace(static_cast<unsigned char>(text.back())) ||
                          text.find('\n') != std::string::npos))
        t.append_attribute("xml:space").set_value("preserve");
    t.text().set(text.c_str());
}

void Worksheet::clearValue(int row, int col) {
    pugi::xml_node c = d_->findCell(row, col);
    if (c && (c.first_child() || c.attribute("t"))) d_->clearValue(c);
}

void Worksheet::setDate(int row, int col, Date d) {
    double serial = DateToSerial(d) - (d_->book->date1904 ? k1904Offset : 0);
    pugi::xml_node c = d_->writableCell(row, col);
    InsertChild(c, "v", kCellOrder).text().set(NumberToXml(serial).c_str());
    StyleSheet* st = d_->book->stylesForWrite();
    if (st && !st->isDate(d_->styleOf(c)))
        d_->setStyle(c, st->withNumberFormat(d_->styleOf(c), "yyyy/mm/dd"));
}

std::string Worksheet::numberFormat(int row, int col) const {
    pugi::xml_node c = d_->findCell(row, col);
    int s = c ? d_->styleOf(c) : d_->inheritedStyle(row, col);
    StyleSheet* st = d_->book->stylesForRead();
    return st ? st->numberFormatCode(s) : "General";
}

void Worksheet::setNumberFormat(int row, int col, std::string_view code) {
    d_->restyle(row, col, [&](StyleSheet* st, int s) { return st->withNumberFormat(s, code); });
}

void Worksheet::setRowHeight(int row, double points) {
    pugi::xml_node r = d_->ensureRow(row).node;
    SetAttr(r, "ht", NumberToXml(points));
    SetAttr(r, "customHeight", "1");
    d_->part.dirty = true;
}

double Worksheet::rowHeight(int row) const {
    auto it = d_->rows.find(row);
    return it == d_->rows.end() ? 0 : it->second.node.attribute("ht").as_double(0);
}

void Worksheet::setColumnWidth(int col, double characters) {
    // The file stores the width with the cell padding of 5 pixels included, in 1/256ths of a
    // digit, as the spreadsheet program itself does when a column width is set.
    StyleSheet* st = d_->book->stylesForRead();
    const double mdw = st ? st->maxDigitWidth() : 7;
    const double stored = std::floor((characters * mdw + 5) / mdw * 256) / 256;

    if (pugi::xml_node c = FindCol(d_->root, col)) {
        // Ranges must not overlap: split the one that holds col into before, col, after, each
        // keeping the range's other attributes (its style above all).
        pugi::xml_node cols = c.parent();
        const int lo = c.attribute("min").as_int(), hi = c.attribute("max").as_int();
        if (lo < col) {
            pugi::xml_node before = cols.insert_copy_before(c, c);
            SetAttr(before, "max", std::to_string(col - 1));
        }
        if (hi > col) {
            pugi::xml_node after = cols.insert_copy_after(c, c);
            SetAttr(after, "min", std::to_string(col + 1));
        }
        SetAttr(c, "min", std::to_string(col));
        SetAttr(c, "max", std::to_string(col));
        SetAttr(c, "width", NumberToXml(stored));
        SetAttr(c, "customWidth", "1");
        d_->part.dirty = true;
        return;
    }
    pugi::xml_node cols = EnsureChild(d_->root, "cols", kWorksheetOrder);
    pugi::xml_node next;  // the first range that starts after col
    for (pugi::xml_node c = cols.first_child(); c && !next; c = c.next_sibling())
        if (IsLocal(c, "col") && c.attribute("min").as_int() > col) next = c;
    const std::string colName = d_->prefix + "col";
    pugi::xml_node c =
        next ? cols.insert_child_before(colName.c_str(), next) : cols.append_child(colName.c_str());
    c.append_attribute("min").set_value(col);
    c.append_attribute("max").set_value(col);
    c.append_attribute("width").set_value(NumberToXml(stored).c_str());
    c.append_attribute("customWidth").set_value("1");
    d_->part.dirty = true;
}

double Worksheet::columnWidth(int col) const {
    pugi::xml_node c = FindCol(d_->root, col);
    double stored = c.attribute("width").as_double(0);
    if (stored <= 0) return 0;
    StyleSheet* st = d_->book->stylesForRead();
    const double mdw = st ? st->maxDigitWidth() : 7;
    return std::round((stored * mdw - 5) / mdw * 100) / 100;
}

void Worksheet::setFontSize(int row, int col, double points) {
    d_->restyle(row, col, [&](StyleSheet* st, int s) { return st->withFontSize(s, points); });
}

double Worksheet::fontSize(int row, int col) const {
    pugi::xml_node c = d_->findCell(row, col);
    StyleSheet* st = d_->book->stylesForRead();
    return st ? st->fontSize(c ? d_->styleOf(c) : d_->inheritedStyle(row, col)) : 11;
}

void Worksheet::setHorizontalCenter(int row, int col) {
    d_->restyle(row, col, [](StyleSheet* st, int s) { return st->withCenter(s); });
}

bool Worksheet::isHorizontalCenter(int row, int col) const {
    pugi::xml_node c = d_->findCell(row, col);
    StyleSheet* st = d_->book->stylesForRead();
    return st && st->isCenter(c ? d_->styleOf(c) : d_->inheritedStyle(row, col));
}

void Worksheet::setBottomDoubleBorder(int row, int col) {
    d_->restyle(row, col, [](StyleSheet* st, int s) { return st->withBottomDouble(s); });
}

bool Worksheet::hasBottomDoubleBorder(int row, int col) const {
    pugi::xml_node c = d_->findCell(row, col);
    StyleSheet* st = d_->book->stylesForRead();
    return st && st->isBottomDouble(c ? d_->styleOf(c) : d_->inheritedStyle(row, col));
}

bool Worksheet::setFill(std::string_view rangeA1, Fill fill) {
    int r1, c1, r2, c2;
    if (!ParseRange(rangeA1, &r1, &c1, &r2, &c2)) return false;
    StyleSheet* st = d_->book->stylesForWrite();
    if (!st) return false;
    if (fill == Fill::Tan) {
        for (int r = r1; r <= r2; ++r)
            for (int c = c1; c <= c2; ++c) {
                pugi::xml_node cell = d_->ensureCell(r, c);
                d_->setStyle(cell, st->withFill(d_->styleOf(cell), Fill::Tan));
            }
        return true;
    }
    // Removing a fill touches only cells that show one: existing cells, and missing cells
    // that would take a filled format from their row or column.
    bool columnsFilled = false;
    for (int c = c1; c <= c2 && !columnsFilled; ++c)
        columnsFilled = st->hasFill(d_->inheritedStyle(0, c));
    auto clearRow = [&](int r) {
        auto it = d_->rows.find(r);
        const bool rowFilled = it != d_->rows.end() &&
                               IsTrue(it->second.node.attribute("customFormat")) &&
                               st->hasFill(it->second.node.attribute("s").as_int(0));
        for (int c = c1; c <= c2; ++c) {
            pugi::xml_node cell = d_->findCell(r, c);
            if (!cell) {
                if (!(rowFilled || columnsFilled) || !st->hasFill(d_->inheritedStyle(r, c)))
                    continue;
                cell = d_->ensureCell(r, c);
            }
            if (st->hasFill(d_->styleOf(cell)))
                d_->setStyle(cell, st->withFill(d_->styleOf(cell), Fill::None));
        }
    };
    if (columnsFilled) {
        for (int r = r1; r <= r2; ++r) clearRow(r);
    } else {
        for (auto it = d_->rows.lower_bound(r1); it != d_->rows.end() && it->first <= r2; ++it)
            clearRow(it->first);
    }
    return true;
}

Fill Worksheet::fill(int row, int col) const {
    pugi::xml_node c = d_->findCell(row, col);
    StyleSheet* st = d_->book->stylesForRead();
    return st ? st->fill(c ? d_->styleOf(c) : d_->inheritedStyle(row, col)) : Fill::None;
}

void Worksheet::clearContents() {
    for (auto& [r, row] : d_->rows)
        for (auto& [c, cell] : row.cells)
            if (cell.first_child() || cell.attribute("t"))
                d_->clearValue(cell, /*wholeSheet=*/true);
}

void Worksheet::setPageMargins(const Margins& m) {
    pugi::xml_node pm = EnsureChild(d_->root, "pageMargins", kWorksheetOrder);
    SetAttr(pm, "left", NumberToXml(m.left));
    SetAttr(pm, "right", NumberToXml(m.right));
    SetAttr(pm, "top", NumberToXml(m.top));
    SetAttr(pm, "bottom", NumberToXml(m.bottom));
    SetAttr(pm, "header", NumberToXml(m.header));
    SetAttr(pm, "footer", NumberToXml(m.footer));
    d_->part.dirty = true;
}

Margins Worksheet::pageMargins() const {
    pugi::xml_node pm = Child(d_->root, "pageMargins");
    Margins m;
    m.left = pm.attribute("left").as_double();
    m.right = pm.attribute("right").as_double();
    m.top = pm.attribute("top").as_double();
    m.bottom = pm.attribute("bottom").as_double();
    m.header = pm.attribute("header").as_double();
    m.footer = pm.attribute("footer").as_double();
    return m;
}

void Worksheet::setHeaderFooter(const HeaderFooter& h) {
    pugi::xml_node hf = EnsureChild(d_->root, "headerFooter", kWorksheetOrder);
    EnsureChild(hf, "oddHeader", kHeaderFooterOrder)
        .text()
        .set(JoinHeaderText(h.leftHeader, h.centerHeader, h.rightHeader).c_str());
    EnsureChild(hf, "oddFooter", kHeaderFooterOrder)
        .text()
        .set(JoinHeaderText(h.leftFooter, h.centerFooter, h.rightFooter).c_str());
    d_->part.dirty = true;
}

HeaderFooter Worksheet::headerFooter() const {
    HeaderFooter h;
    pugi::xml_node hf = Child(d_->root, "headerFooter");
    SplitHeaderText(Child(hf, "oddHeader").text().get(), &h.leftHeader, &h.centerHeader,
                    &h.rightHeader);
    SplitHeaderText(Child(hf, "oddFooter").text().get(), &h.leftFooter, &h.centerFooter,
                    &h.rightFooter);
    return h;
}

void Worksheet::select() {
    pugi::xml_node views = EnsureChild(d_->root, "sheetViews", kWorksheetOrder);
    pugi::xml_node view = EnsureChild(views, "sheetView", kSheetViewsOrder);
    if (!view.attribute("workbookViewId")) view.append_attribute("workbookViewId").set_value(0);
    SetAttr(view, "tabSelected", "1");
    d_->part.dirty = true;
    d_->book->selectSheet(d_->sheetIndex);
}

bool Worksheet::isSelected() const { return d_->book->activeTab() == d_->sheetIndex; }

}  // namespace sheet
