#include "store/ExampleData.h"

#include <cmath>

#include "app/Numbers.h"
#include "race/Scoring.h"

namespace zalvik::example {
namespace {

struct Entry {
    int bib;
    const char* name;
    const char* affiliation;
    int classNo;
    double time;   // 0: no result yet
    int gates[3];  // scores of the buoys taken at gates 1..3
    int status;
};

// Twelve competitors in three classes. Gate 1 offers buoys あ, い (2, 3), gate 2 all five
// (2..6), gate 3 あ..う (2..4), so every gate score below is a buoy that gate offers.
const Entry kEntries[] = {
    {1, "山田　太郎", "ミルネスキークラブ", 1, 61.5, {3, 6, 4}, 0},
    {2, "佐藤　花子", "ミルネ高校", 2, 75.3, {2, 5, 3}, 0},
    {3, "鈴木　一郎", "北山SC", 1, 58.2, {3, 4, 4}, 0},
    {4, "高橋　美咲", "ミルネ高校", 2, 0, {0, 0, 0}, 0},
    {5, "田中　健太", "北山SC", 3, 70.0, {2, 6, 2}, 0},
    {6, "伊藤　さくら", "ミルネスキークラブ", 3, 66.8, {3, 3, 3}, 0},
    {7, "渡辺　翔", "東湖スキー部", 1, 0, {0, 0, 0}, 1},
    {8, "中村　優子", "北山SC", 2, 80.25, {2, 4, 4}, 0},
    {9, "小林　大輔", "東湖スキー部", 1, 72.4, {3, 5, 2}, 3},
    {10, "加藤　真由", "ミルネスキークラブ", 3, 0, {0, 0, 0}, 0},
    {11, "吉田　拓海", "東湖スキー部", 1, 0, {0, 0, 0}, 0},
    {12, "山本　愛", "北山SC", 2, 69.9, {2, 6, 4}, 0},
};

Cell text(int r, int c, const QString& t) {
    Cell cell;
    cell.row = r;
    cell.col = c;
    cell.text = t;
    return cell;
}

Cell number(int r, int c, double v, const QString& format = {}) {
    Cell cell;
    cell.row = r;
    cell.col = c;
    cell.kind = Cell::Kind::Number;
    cell.number = v;
    cell.numberFormat = format;
    return cell;
}

std::vector<Cell> build() {
    std::vector<Cell> cells;
    const char* headers[] = {"Zno",    " 氏　　名", "　所　　　　　属", "性別",
                             "タイム", "ﾌﾞｲﾎﾟｲﾝﾄ",  "ﾚｰｽﾎﾟｲﾝﾄ",         "DSFQ"};
    for (int c = 1; c <= 8; ++c) cells.push_back(text(1, c, QString::fromUtf8(headers[c - 1])));
    for (int g = 1; g <= 12; ++g) cells.push_back(text(1, 8 + g, QStringLiteral("VP%1").arg(g)));
    cells.push_back(text(1, 21, QStringLiteral("判別名")));
    cells.push_back(text(1, 22, QStringLiteral("得点")));
    cells.push_back(text(1, 23, QStringLiteral("ｹﾞｰﾄ数")));
    cells.push_back(text(1, 24, QStringLiteral("ﾌﾞｲ数")));
    cells.push_back(text(1, 25, QStringLiteral("大会名称")));
    cells.push_back(text(1, 26, QStringLiteral("第12回ミルネ温泉カップ")));
    cells.push_back(text(1, 27, QStringLiteral("ｸﾗｽ数")));
    cells.push_back(text(1, 28, QStringLiteral("ｸﾗｽ名称")));

    int row = 2;
    for (const Entry& e : kEntries) {
        cells.push_back(number(row, 1, e.bib));
        cells.push_back(text(row, 2, QString::fromUtf8(e.name)));
        cells.push_back(text(row, 3, QString::fromUtf8(e.affiliation)));
        cells.push_back(number(row, 4, e.classNo));
        if (e.time > 0) {
            const int total = e.gates[0] + e.gates[1] + e.gates[2];
            // Stored as the program stores a registered run: the time and the race points
            // (rounded half up to hundredths) as the decimals they were entered and shown as.
            const float time = static_cast<float>(e.time);
            const double t = ShortestDecimal(time);
            const double points = ShortestDecimal(RacePoints(time, static_cast<float>(total)));
            cells.push_back(number(row, 5, t, QStringLiteral("0.00")));
            cells.push_back(number(row, 6, total));
            cells.push_back(number(row, 7, points, QStringLiteral("0.00")));
            cells.push_back(number(row, 8, e.status));
            for (int g = 0; g < 3; ++g)
                cells.push_back(text(row, 9 + g, QString::number(e.gates[g])));
        } else if (e.status != 0) {
            cells.push_back(number(row, 8, e.status));
        }
        ++row;
    }

    const char* buoys[] = {"あ", "い", "う", "え", "お"};
    for (int k = 1; k <= 5; ++k) {
        cells.push_back(text(k + 1, 21, QString::fromUtf8(buoys[k - 1])));
        cells.push_back(number(k + 1, 22, k + 1));
    }
    cells.push_back(text(2, 23, QStringLiteral("3")));
    const int gateBuoys[] = {2, 5, 3};
    for (int g = 1; g <= 3; ++g) cells.push_back(number(g + 1, 24, gateBuoys[g - 1]));
    cells.push_back(text(2, 25, QStringLiteral("大会場所")));
    cells.push_back(text(3, 25, QStringLiteral("開催日")));
    cells.push_back(text(4, 25, QStringLiteral("結果ｼｰﾄ")));
    cells.push_back(text(2, 26, QStringLiteral("ミルネ温泉スキー場")));
    Cell date;
    date.row = 3;
    date.col = 26;
    date.kind = Cell::Kind::Date;
    date.year = 2026;
    date.month = 2;
    date.day = 15;
    cells.push_back(date);
    cells.push_back(text(4, 26, QStringLiteral("2枚目のシート")));
    cells.push_back(number(2, 27, 3));
    const char* classes[] = {"一般男子", "一般女子", "ジュニア"};
    for (int k = 1; k <= 3; ++k)
        cells.push_back(text(k + 1, 28, QString::fromUtf8(classes[k - 1])));
    return cells;
}

}  // namespace

const std::vector<Cell>& InputSheetCells() {
    static const std::vector<Cell> cells = build();
    return cells;
}

int RowCount() { return 1 + static_cast<int>(std::size(kEntries)); }

int ColumnCount() { return 28; }

QString DisplayText(int row, int col) {
    for (const Cell& c : InputSheetCells()) {
        if (c.row != row || c.col != col) continue;
        switch (c.kind) {
            case Cell::Kind::Text:
                return c.text;
            case Cell::Kind::Date:
                return QStringLiteral("%1/%2/%3")
                    .arg(c.year, 4, 10, QLatin1Char('0'))
                    .arg(c.month, 2, 10, QLatin1Char('0'))
                    .arg(c.day, 2, 10, QLatin1Char('0'));
            case Cell::Kind::Number:
                return c.numberFormat == QLatin1String("0.00") ? QString::number(c.number, 'f', 2)
                                                               : QString::number(c.number);
        }
    }
    return {};
}

}  // namespace zalvik::example
