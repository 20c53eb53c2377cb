#include "store/InputSheet.h"

#include <QLocale>
#include <QStringList>
#include <algorithm>
#include <cfloat>
#include <cmath>

#include "app/Numbers.h"
#include "race/Formatting.h"
#include "race/Scoring.h"
#include "setup/GateCount.h"
#include "sheet/Workbook.h"

namespace zalvik::store {
namespace {

CellFault MakeFault(const sheet::Worksheet& ws, int row, int col, CellFault::Reason reason) {
    CellFault f;
    f.row = row;
    f.col = col;
    f.held = CellText(ws.value(row, col));
    f.reason = reason;
    return f;
}

// A 16-bit field read as a number: 0 for an empty cell, halves to the even neighbour.
Fault ReadInt16(const sheet::Worksheet& ws, int row, int col, int16_t* out) {
    const std::optional<double> v = CellNumber(ws.value(row, col));
    if (!v) return MakeFault(ws, row, col, CellFault::Reason::NotANumber);
    const std::optional<int16_t> i = ToInt16(*v);
    if (!i) return MakeFault(ws, row, col, CellFault::Reason::OutOfRange);
    *out = *i;
    return std::nullopt;
}

Fault ReadFloat(const sheet::Worksheet& ws, int row, int col, float* out) {
    const std::optional<double> v = CellNumber(ws.value(row, col));
    if (!v) return MakeFault(ws, row, col, CellFault::Reason::NotANumber);
    if (!(std::fabs(*v) <= FLT_MAX)) return MakeFault(ws, row, col, CellFault::Reason::OutOfRange);
    *out = static_cast<float>(*v);
    return std::nullopt;
}

ClassValue ReadClassValue(const sheet::Value& v) {
    switch (v.type) {
        case sheet::ValueType::Empty:
            return ClassValue::empty();
        case sheet::ValueType::Number:
        case sheet::ValueType::Date:
        case sheet::ValueType::Boolean:
            return ClassValue::ofNumber(v.number);
        case sheet::ValueType::Text:
            if (v.text.empty()) return ClassValue::empty();
            return ClassValue::ofText(QString::fromStdString(v.text));
        case sheet::ValueType::Error:
            return ClassValue::ofText(CellText(v));
    }
    return ClassValue::empty();
}

}  // namespace

QString CellFault::cellName() const { return QString::fromStdString(sheet::CellName(row, col)); }

QString CellFault::message(const QString& fileName) const {
    const QString why = reason == Reason::NotANumber ? QStringLiteral("数として読めない")
                                                     : QStringLiteral("使える範囲を超えている");
    return QStringLiteral(
               "ファイル「%1」のセル%2の「%3」は%"
               "4ため、読み込みをこのセルで止め、それまでに読んだデータで続けます。")
        .arg(fileName, cellName(), held, why);
}

QString CellText(const sheet::Value& v) { return QString::fromStdString(v.toText()); }

std::optional<double> CellNumber(const sheet::Value& v) {
    switch (v.type) {
        case sheet::ValueType::Empty:
            return 0.0;
        case sheet::ValueType::Number:
        case sheet::ValueType::Date:
        case sheet::ValueType::Boolean:
            return v.number;
        case sheet::ValueType::Text: {
            const QString t = QString::fromStdString(v.text).trimmed();
            if (t.isEmpty()) return 0.0;
            bool ok = false;
            const double d = QLocale::c().toDouble(t, &ok);
            if (!ok || !std::isfinite(d)) return std::nullopt;
            return d;
        }
        case sheet::ValueType::Error:
            return std::nullopt;
    }
    return std::nullopt;
}

namespace {

// Only the ordinary space counts as blank here; a name of ideographic spaces is a name.
bool NameIsBlank(const sheet::Worksheet& ws, int row) {
    const QString name = CellText(ws.value(row, kColName));
    for (QChar ch : name)
        if (ch != u' ') return false;
    return true;
}

}  // namespace

int16_t CountCompetitors(const sheet::Worksheet& ws) {
    int16_t count = 0;
    for (int r = kFirstCompetitorRow; r <= kLastCompetitorRow; ++r) {
        if (NameIsBlank(ws, r)) break;
        ++count;
    }
    return count;
}

RowsBelowTheList NamedRowsBelowTheList(const sheet::Worksheet& ws, int16_t competitorCount) {
    RowsBelowTheList rows;
    const int blank = kFirstCompetitorRow + competitorCount;
    if (competitorCount < 0 || blank > kLastCompetitorRow) return rows;
    for (int r = blank + 1; r <= kLastCompetitorRow; ++r) {
        if (NameIsBlank(ws, r)) continue;
        if (rows.count++ == 0) rows.firstRow = r;
    }
    if (rows.count) rows.blankRow = blank;
    return rows;
}

QString RowsBelowTheListMessage(const RowsBelowTheList& rows) {
    if (rows.count == 0) return {};
    return QStringLiteral(
               "入力シートの%1行目の氏名が空白のため、%2行目以降の%3人は読み込んでいません。")
        .arg(rows.blankRow)
        .arg(rows.firstRow)
        .arg(rows.count);
}

std::vector<int16_t> BibsBeyondClassCount(const Competition& c) {
    std::vector<int16_t> bibs;
    for (int i = 1; i <= c.competitorCount; ++i) {
        const ClassValue& cls = c.competitors[i].classNo;
        if (cls.kind == ClassValue::Kind::Number && cls.number > c.classCount)
            bibs.push_back(c.competitors[i].bib);
    }
    return bibs;
}

QString BibsBeyondClassCountMessage(const std::vector<int16_t>& bibs) {
    if (bibs.empty()) return {};
    QStringList list;
    for (int16_t b : bibs) list << QString::number(b);
    return QStringLiteral(
               "クラス番号がクラス数を超えている選手がいます（ゼッケン %1）。順位には入りません。")
        .arg(list.join(QStringLiteral("、")));
}

Fault ReadCompetitors(const sheet::Worksheet& ws, int16_t count, Competition& c) {
    c.competitorCount = count;
    for (int i = 1; i <= count; ++i) {
        const int r = i + 1;
        Competitor& p = c.competitors[i];
        const std::optional<int16_t> bib = ToInt16(LeadingValue(CellText(ws.value(r, kColBib))));
        if (!bib) return MakeFault(ws, r, kColBib, CellFault::Reason::OutOfRange);
        p.bib = *bib;
        p.name = CellText(ws.value(r, kColName));
        p.affiliation = CellText(ws.value(r, kColAffiliation));
        p.classNo = ReadClassValue(ws.value(r, kColClass));
        if (Fault f = ReadFloat(ws, r, kColRunTime, &p.runTime)) return f;
        if (Fault f = ReadFloat(ws, r, kColBuoyPoints, &p.buoyPoints)) return f;
        if (Fault f = ReadFloat(ws, r, kColRacePoints, &p.racePoints)) return f;
        if (Fault f = ReadInt16(ws, r, kColStatus, &p.status)) return f;
    }
    return std::nullopt;
}

Fault ReadBuoyTable(const sheet::Worksheet& ws, Competition& c) {
    for (int k = 1; k <= kBuoyKinds; ++k) {
        c.buoyName[k] = CellText(ws.value(k + 1, kColBuoyName));
        if (Fault f = ReadInt16(ws, k + 1, kColBuoyScore, &c.buoyScore[k])) return f;
    }
    return std::nullopt;
}

void ReadEventDetails(const sheet::Worksheet& ws, Competition& c) {
    c.eventName = CellText(ws.value(1, kColEvent));
    c.eventVenue = CellText(ws.value(2, kColEvent));
    c.eventDate = CellText(ws.value(3, kColEvent));
}

Fault ReadGateCountText(const sheet::Worksheet& ws, QString* text) {
    const QString t = CellText(ws.value(2, kColGateCount));
    if (ParseGateCount(t).kind == GateCountValue::Kind::OutOfRange)
        return MakeFault(ws, 2, kColGateCount, CellFault::Reason::OutOfRange);
    *text = t;
    return std::nullopt;
}

Fault ReadClassTable(const sheet::Worksheet& ws, Competition& c) {
    int16_t count = 0;
    if (Fault f = ReadInt16(ws, 2, kColClassCount, &count)) return f;
    // The class table, the tabs and the class pages hold nine classes; a larger count would
    // address pages that do not exist, so it is refused before anything is taken from it. A
    // negative count is kept as read: it names no class, and everything that walks the classes
    // walks none.
    if (count > kMaxClasses) return MakeFault(ws, 2, kColClassCount, CellFault::Reason::OutOfRange);
    c.classCount = count;
    for (int k = 1; k <= count; ++k) c.className[k] = CellText(ws.value(k + 1, kColClassName));
    return std::nullopt;
}

Fault ReadGateBuoyCount(const sheet::Worksheet& ws, int gate, int16_t* count) {
    return ReadInt16(ws, gate + 1, kColGateBuoys, count);
}

Fault ReadResultRow(const sheet::Worksheet& ws, const Competition& c, int slot, ResultRow* row) {
    const int r = slot + 1;
    *row = ResultRow{};
    const sheet::Value time = ws.value(r, kColRunTime);
    if (time.isEmpty()) return std::nullopt;
    row->hasResult = true;
    row->cells[0] = CellText(ws.value(r, kColBib));
    row->cells[1] = CellText(ws.value(r, kColName));
    const std::optional<double> seconds = CellNumber(time);
    if (!seconds) return MakeFault(ws, r, kColRunTime, CellFault::Reason::NotANumber);
    row->cells[2] = FormatHundredths(*seconds);
    row->cells[3] = CellText(ws.value(r, kColBuoyPoints));
    row->cells[4] =
        FormatHundredths(RoundToHundredths(LeadingValue(CellText(ws.value(r, kColRacePoints)))));
    const int16_t status = c.competitors[slot].status;
    if (status != 0) {
        row->cells[2] = QStringLiteral("-");
        row->cells[3] = QStringLiteral("-");
        if (status < 0 || status >= static_cast<int>(c.statusWord.size()))
            return MakeFault(ws, r, kColStatus, CellFault::Reason::OutOfRange);
        row->cells[4] = c.statusWord[status];
    }
    const int gates = UsedGates(c);
    row->gates.reserve(gates);
    for (int j = 0; j < gates; ++j) row->gates.push_back(CellText(ws.value(r, kColFirstGate + j)));
    return std::nullopt;
}

Fault ReadInputSheet(const sheet::Worksheet& ws, Competition& c, QString* gateCountText) {
    if (Fault f = ReadCompetitors(ws, CountCompetitors(ws), c)) return f;
    if (Fault f = ReadBuoyTable(ws, c)) return f;
    ReadEventDetails(ws, c);
    if (Fault f = ReadGateCountText(ws, gateCountText)) return f;
    return ReadClassTable(ws, c);
}

std::vector<int16_t> RepeatedBibs(const Competition& c) {
    std::vector<int16_t> repeated;
    // Bibs are 16-bit: a table of 65536 counters finds every repeat in one pass.
    std::vector<uint8_t> seen(65536, 0);
    for (int i = 1; i <= c.competitorCount; ++i) {
        uint8_t& n = seen[static_cast<uint16_t>(c.competitors[i].bib)];
        if (n == 1) repeated.push_back(c.competitors[i].bib);
        if (n < 2) ++n;
    }
    return repeated;
}

QString RepeatedBibsMessage(const std::vector<int16_t>& bibs, const QString& fileName) {
    if (bibs.empty()) return {};
    QStringList list;
    for (int16_t b : bibs) list << QString::number(b);
    return QStringLiteral(
               "ファイル「%1」ではゼッケン番号 %2 "
               "が二人以上の選手に付いていて番号で選べるのは最初の選手だけですので、ワークブックを"
               "直して読み込み直してください。")
        .arg(fileName, list.join(QStringLiteral(", ")));
}

}  // namespace zalvik::store
