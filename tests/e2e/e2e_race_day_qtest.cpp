// A whole race day through the real screens, as the officials work it: start-up, the load of a
// prepared workbook of 60 competitors, a change of the settings, forty registrations at the
// entry panel, the official results sheet of every class, the way back to the data-load screen
// and a second load of the saved file.
//
// Every expected value is worked out here from the race as the test itself describes it (race
// points from the float run time in double, ranks by sorting the test's own table); nothing
// expected comes from the program's own scoring, formatting or ranking.

#include <QComboBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "output/OutputScreen.h"
#include "store/LoadTestSupport.h"
#include "support/FaultText.h"
#include "ui/TabStrip.h"

using namespace testsupport;
using zalvik::Program;

namespace {

constexpr int kCompetitors = 60;
constexpr int kGatesAfter = 5;
const char* const kBuoyNames[] = {"あ", "い", "う", "え", "お"};
// Scores as loaded (buoys 1..5), and after buoy 3 is rescored to 9 on the settings screen.
constexpr std::array<int, 5> kScoresBefore{2, 3, 4, 5, 6};
constexpr std::array<int, 5> kScoresAfter{2, 3, 9, 5, 6};
// Buoys offered at gates 1..4 as loaded; gate 5 offers three once it is added.
constexpr std::array<int, 5> kOffered{3, 5, 4, 2, 3};
const QStringList kClassesBefore{"一般男子", "一般女子", "ジュニア"};
const QStringList kClassesAfter{"一般男子", "レディース", "ジュニア"};
const QStringList kStatusWords{"", "DS", "DF", "DQ"};

// Slot i: bib (37 i mod 61 runs through 1..60 in a shuffled order, so slot and bib differ),
// class 1, 2, 3 in turn.
int16_t BibOf(int slot) { return static_cast<int16_t>(slot * 37 % 61); }
int ClassOf(int slot) { return 1 + (slot - 1) % 3; }
QString NameOf(int slot) { return QStringLiteral("選手%1").arg(slot, 2, 10, QLatin1Char('0')); }
QString ClubOf(int slot) {
    static const QStringList clubs{"北山SC", "南スキー部", "ミルネクラブ", "東高校"};
    return clubs[slot % clubs.size()];
}

// floor(T x 10000 / B + 0.5) / 100 in double, from the float time, kept as a float.
// The official's own arithmetic: the time as typed (two decimals at most in this race) times
// 100 over the buoy points (whole numbers here), rounded half up to hundredths, exactly.
double ExpectedPoints(float time, float buoys) {
    const long long hundredths = std::llround(double(time) * 100);
    const long long b = std::llround(double(buoys));
    return double((2 * hundredths * 100 + b) / (2 * b)) / 100.0;
}
float ExpectedRacePoints(float time, float buoys) {
    return static_cast<float>(ExpectedPoints(time, buoys));
}

// Two decimals. Every time and race point of this race lies in 10..9999.99 with at most two
// decimals, where the display form is plain two-decimal text.
QString Two(float v) {
    if (!(v >= 10 && v < 10000)) qFatal("value %g outside the range this race uses", double(v));
    return QString::asprintf("%.2f", double(v));
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// What the test expects of one competitor.
struct Expected {
    int16_t bib = 0;
    QString name, club;
    int cls = 0;
    bool hasRow = false;  // the results grid row is filled (a run-time cell, or a registration)
    float time = 0, buoys = 0, points = 0;
    int16_t status = 0;
    QStringList gates;  // results grid gate columns, gates 1..5
    bool registered = false;
};

// One registration at the entry panel.
struct Registration {
    int slot = 0;
    bool fromList = false;  // clicked in the competitor list rather than typed
    QString minutes, seconds;
    std::array<int, 5> buoy{};  // buoy option chosen per gate, -1 for none
    int status = 0;
};

// Everything the competition shows that a second load of the saved file must give back.
struct Snapshot {
    QStringList competitors, buoys, gates, classes, details;
    std::map<QString, QStringList> grids;
};

QStringList GridTexts(const ui::Grid* g) {
    QStringList texts{QStringLiteral("%1x%2").arg(g->rows()).arg(g->cols())};
    for (int r = 0; r < g->rows(); ++r) {
        QStringList row;
        for (int c = 0; c < g->cols(); ++c) row << g->text(r, c);
        texts << row.join(u'|');
    }
    return texts;
}

}  // namespace

class RaceDayTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TempDir> dir;
    std::string path;
    std::string asBuilt;  // the workbook file as the officials prepared it
    std::unique_ptr<Program> program;
    std::array<Expected, kCompetitors + 1> race;
    QStringList opened;  // files handed to the spreadsheet program
    int stepsDone = 0;

    QStringList& messages() { return ui::testing::Messages(); }

    template <typename W = QWidget>
    static W* find(QWidget& screen, const QString& name) {
        W* w = screen.findChild<W*>(name);
        if (!w)
            qFatal("%s has no control named %s", qPrintable(screen.objectName()), qPrintable(name));
        return w;
    }
    QWidget& processing() { return program->processingScreen(); }
    template <typename W = QWidget>
    W* onProcessing(const QString& name) {
        return find<W>(processing(), name);
    }
    QLineEdit* box(const char* name) { return onProcessing<QLineEdit>(QString::fromUtf8(name)); }
    QRadioButton* option(const char* array, int i) {
        return onProcessing<QRadioButton>(ui::ElementName(QString::fromUtf8(array), i));
    }
    ui::Grid* grid(const QString& name) { return onProcessing<ui::Grid>(name); }
    ui::Grid* standings(int cls) {
        return grid(ui::ElementName(QStringLiteral("グリッド順位"), cls - 1));
    }
    void click(QWidget& screen, const char* button) {
        find<QPushButton>(screen, QString::fromUtf8(button))->click();
    }

    std::unique_ptr<sheet::Workbook> savedFile() {
        sheet::FileFault fault;
        auto book = sheet::Workbook::open(path, &fault);
        if (!book) qWarning("%s", testsupport::Message(fault).c_str());
        return book;
    }

    // --- The workbook the officials prepared ---------------------------------------------------

    // Stored runs: slot, time, buoy option per gate (4 gates, scores as loaded), status.
    struct Stored {
        int slot;
        float time;
        std::array<int, 4> buoy;
        int status;
    };
    static std::vector<Stored> storedRuns() {
        return {{4, 61.5f, {0, 4, 3, 1}, 0},   {9, 58.25f, {2, 2, 2, 0}, 0},
                {13, 70.4f, {1, 3, 0, 1}, 0},  {22, 66.66f, {2, 4, 3, 1}, 0},
                {29, 74.1f, {0, 1, 2, 0}, 0},  {35, 59.9f, {1, 4, 1, 1}, 0},
                {44, 81.03f, {2, 0, 3, 0}, 0}, {51, 63.2f, {0, 3, 3, 1}, 0},
                {38, 70.0f, {1, 1, 1, 1}, 3},  {16, 0.0f, {-1, -1, -1, -1}, 2}};
    }

    void buildWorkbook() {
        TestWorkbook wb(path);
        for (int i = 1; i <= kCompetitors; ++i) {
            Expected& e = race[i];
            e.bib = BibOf(i);
            e.name = NameOf(i);
            e.club = ClubOf(i);
            e.cls = ClassOf(i);
            e.gates = QStringList(kGatesAfter, QString());
            wb.competitor(i, e.bib, e.name, e.cls, e.club);
        }
        for (const Stored& s : storedRuns()) {
            Expected& e = race[s.slot];
            std::vector<std::string> points;
            int total = 0;
            for (int g = 0; g < 4; ++g) {
                const int score = s.buoy[g] >= 0 ? kScoresBefore[s.buoy[g]] : 0;
                total += score;
                if (s.buoy[g] >= 0) e.gates[g] = QString::number(score);
            }
            e.hasRow = true;
            e.time = s.time;
            e.buoys = static_cast<float>(total);
            e.points = total ? ExpectedRacePoints(e.time, e.buoys) : 0;
            e.status = static_cast<int16_t>(s.status);
            wb.num(s.slot + 1, 5, double(e.time))
                .num(s.slot + 1, 6, total)
                .num(s.slot + 1, 7, total ? ExpectedPoints(e.time, total) : 0)
                .num(s.slot + 1, 8, s.status);
            for (int g = 0; g < 4; ++g)
                if (!e.gates[g].isEmpty()) wb.text(s.slot + 1, 9 + g, e.gates[g]);
        }
        wb.settings(QStringLiteral("4"), {3, 5, 4, 2},
                    std::vector<QString>(kClassesBefore.begin(), kClassesBefore.end()));
        wb.date(3, 26, 2026, 2, 15);
        wb.save();
        // Building the file left a backup of its own; the one that counts is the program's.
        std::filesystem::remove(path + ".bak");
        asBuilt = ReadBytes(path);
    }

    // --- The race day's registrations ----------------------------------------------------------

    static std::vector<Registration> registrations() {
        // 31 ordinary runs: every gate chosen, times with minutes (over a minute) and without.
        const int runSlots[] = {1,  2,  8,  11, 13, 14, 15, 17, 18, 19, 20, 21, 23, 24, 25, 26,
                                27, 28, 30, 31, 32, 33, 34, 36, 37, 39, 41, 42, 43, 45, 46};
        std::vector<Registration> ordinary;
        for (int n = 0; n < int(std::size(runSlots)); ++n) {
            Registration r;
            r.slot = runSlots[n];
            r.fromList = n % 3 == 1;
            const double seconds = (n % 2 == 0 ? 2 : 40) + (n * 7) % 19 + ((n * 37) % 100) / 100.0;
            r.minutes = n % 2 == 0 ? QStringLiteral("1") : QString();
            r.seconds =
                n % 4 == 3 ? QString::number(int(seconds)) : QString::asprintf("%.2f", seconds);
            for (int g = 0; g < kGatesAfter; ++g) r.buoy[g] = (n + 2 * g) % kOffered[g];
            ordinary.push_back(r);
        }
        auto run = [](int slot, bool fromList, const char* m, const char* s, std::array<int, 5> b) {
            Registration r;
            r.slot = slot;
            r.fromList = fromList;
            r.minutes = QString::fromUtf8(m);
            r.seconds = QString::fromUtf8(s);
            r.buoy = b;
            return r;
        };
        auto status = [](int slot, bool fromList, int s) {
            Registration r;
            r.slot = slot;
            r.fromList = fromList;
            r.buoy.fill(-1);
            r.status = s;
            return r;
        };
        // Class 1: slots 7 and 10 tie with the same run. Class 3: 72 s over 24 buoy points and
        // 48 s over 16 both make 300.00.
        const Registration tieA1 = run(7, false, "1", "02.40", {2, 4, 3, 1, 2});
        const Registration tieA2 = run(10, true, "1", "2.4", {2, 4, 3, 1, 2});
        const Registration tieB1 = run(3, false, "1", "12", {2, 3, 3, 0, 1});
        const Registration tieB2 = run(6, false, "", "48", {1, 1, 3, 0, 1});
        // Gate 3 left without a choice.
        const Registration gateLeft = run(12, false, "", "55.67", {0, 2, -1, 1, 2});
        // Slot 11 (first registered among the ordinary runs) corrected at the end.
        const Registration correction = run(11, true, "", "59.99", {1, 0, 0, 1, 0});

        std::vector<Registration> day(ordinary.begin(), ordinary.begin() + 10);
        day.push_back(tieA1);
        day.push_back(tieB1);
        day.insert(day.end(), ordinary.begin() + 10, ordinary.begin() + 20);
        day.push_back(gateLeft);
        day.push_back(status(5, true, 1));  // DS before any run
        day.push_back(tieA2);
        day.insert(day.end(), ordinary.begin() + 20, ordinary.end());
        day.push_back(status(29, false, 2));  // DF over a stored run
        day.push_back(tieB2);
        day.push_back(status(8, false, 3));  // DQ after a run registered today
        day.push_back(correction);
        return day;
    }

    // What a registration does to the test's own table.
    void expect(const Registration& r) {
        Expected& e = race[r.slot];
        e.registered = true;
        e.hasRow = true;
        e.status = static_cast<int16_t>(r.status);
        if (r.status != 0) return;  // time, points and gates stay as they were
        e.time = static_cast<float>((r.minutes.isEmpty() ? 0 : r.minutes.toDouble()) * 60.0 +
                                    r.seconds.toDouble());
        int total = 0;
        for (int g = 0; g < kGatesAfter; ++g) {
            const int score = r.buoy[g] >= 0 ? kScoresAfter[r.buoy[g]] : 0;
            total += score;
            e.gates[g] = QString::number(score);
        }
        e.buoys = static_cast<float>(total);
        e.points = ExpectedRacePoints(e.time, e.buoys);
    }

    // The official at the entry panel. A gate left without its buoy is pointed out, and the
    // official then chooses the first buoy there and registers again.
    void enter(const Registration& asPlanned) {
        Registration r = asPlanned;
        const Expected& e = race[r.slot];
        if (r.fromList) {
            grid(QStringLiteral("グリッドリスト"))->clickCell(r.slot, 1);
        } else {
            box("ゼッケン")->clear();
            QTest::keyClicks(box("ゼッケン"), QString::number(e.bib));
        }
        QCOMPARE(box("ゼッケン")->text(), QString::number(e.bib));
        QCOMPARE(box("氏名")->text(), e.name);
        QCOMPARE(box("所属")->text(), e.club);
        if (r.status != 0) {
            option("DSFQ", r.status)->click();
        } else {
            QVERIFY(option("DSFQ", 0)->isChecked());
            box("分")->clear();
            QTest::keyClicks(box("分"), r.minutes);
            box("秒")->clear();
            QTest::keyClicks(box("秒"), r.seconds);
            int total = 0;
            for (int g = 0; g < kGatesAfter; ++g) {
                if (r.buoy[g] < 0) continue;
                option("Gop", g)->click();
                QVERIFY(!option("ブイ", r.buoy[g])->isHidden());
                QCOMPARE(option("ブイ", kOffered[g] - 1)->isHidden(), false);
                if (kOffered[g] < 5) QVERIFY(option("ブイ", kOffered[g])->isHidden());
                option("ブイ", r.buoy[g])->click();
                total += kScoresAfter[r.buoy[g]];
                QCOMPARE(onProcessing<QLabel>(ui::ElementName(QStringLiteral("色"), g))->text(),
                         QString::fromUtf8(kBuoyNames[r.buoy[g]]));
            }
            QCOMPARE(onProcessing<QLabel>(QStringLiteral("合計"))->text(),
                     QStringLiteral(" %1").arg(total));
        }
        click(processing(), "登録ボタン");
        for (int g = 0; r.status == 0 && g < kGatesAfter; ++g) {
            if (r.buoy[g] >= 0) continue;
            QCOMPARE(
                messages(),
                QStringList{QStringLiteral("ゲート%1のブイが選択されていません。").arg(g + 1)});
            messages().clear();
            option("Gop", g)->click();
            option("ブイ", 0)->click();
            r.buoy[g] = 0;
            click(processing(), "登録ボタン");
        }
        QCOMPARE(messages(), QStringList{});
        expect(r);
        if (r.status == 0)
            QCOMPARE(onProcessing<QLabel>(QStringLiteral("RP"))->text(), Two(race[r.slot].points));
    }

    // --- Expectations built from the test's own table ------------------------------------------

    // Class cls in standings order: ascending race points, equal points by descending bib, the
    // competitors without race points last (by descending bib too); DS, DF and DQ left out.
    std::vector<int> standingsOrder(int cls) const {
        std::vector<int> members;
        for (int i = 1; i <= kCompetitors; ++i)
            if (race[i].cls == cls && race[i].status == 0) members.push_back(i);
        std::sort(members.begin(), members.end(), [this](int a, int b) {
            const float pa = race[a].points == 0 ? 1e9f : race[a].points;
            const float pb = race[b].points == 0 ? 1e9f : race[b].points;
            if (pa != pb) return pa < pb;
            return race[a].bib > race[b].bib;
        });
        return members;
    }
    // Ranks by position: equal race points share the rank of the first of them.
    std::vector<int> ranksOf(const std::vector<int>& order) const {
        std::vector<int> ranks(order.size());
        for (size_t n = 0; n < order.size(); ++n)
            ranks[n] = n > 0 && race[order[n]].points == race[order[n - 1]].points ? ranks[n - 1]
                                                                                   : int(n) + 1;
        return ranks;
    }

    QStringList expectedResultsRow(int slot) const {
        const Expected& e = race[slot];
        if (!e.hasRow) return QStringList(5 + kGatesAfter, QString());
        QStringList row{QString::number(e.bib), e.name};
        if (e.status != 0)
            row << "-"
                << "-" << kStatusWords[e.status];
        else
            row << Two(e.time) << QString::number(int(e.buoys)) << Two(e.points);
        return row + e.gates;
    }

    void checkCompetitionData() {
        const zalvik::Competition& d = program->data();
        QCOMPARE(int(d.competitorCount), kCompetitors);
        for (int i = 1; i <= kCompetitors; ++i) {
            const Expected& e = race[i];
            const zalvik::Competitor& who = d.competitors[i];
            const QByteArray where = QStringLiteral("slot %1 (bib %2)").arg(i).arg(e.bib).toUtf8();
            QVERIFY2(who.bib == e.bib && who.name == e.name && who.affiliation == e.club, where);
            QVERIFY2(who.classNo.equals(e.cls), where);
            QVERIFY2(who.runTime == e.time, where + " time " + QByteArray::number(who.runTime));
            QVERIFY2(who.buoyPoints == e.buoys,
                     where + " buoys " + QByteArray::number(who.buoyPoints));
            QVERIFY2(who.racePoints == e.points, where + " points " +
                                                     QByteArray::number(who.racePoints) +
                                                     " expected " + QByteArray::number(e.points));
            QVERIFY2(who.status == e.status, where + " status " + QByteArray::number(who.status));
        }
    }

    void checkResultsGrid() {
        ui::Grid* results = grid(QStringLiteral("グリッド結果"));
        QCOMPARE(results->rows(), kCompetitors + 1);
        QCOMPARE(results->cols(), 5 + kGatesAfter);
        QCOMPARE(results->text(0, 9), QStringLiteral("GNo.5"));
        for (int i = 1; i <= kCompetitors; ++i) {
            QStringList shown;
            for (int c = 0; c < results->cols(); ++c) shown << results->text(i, c);
            QCOMPARE(shown, expectedResultsRow(i));
        }
    }

    void checkStandingsGrids() {
        for (int cls = 1; cls <= 3; ++cls) {
            const std::vector<int> order = standingsOrder(cls);
            const std::vector<int> ranks = ranksOf(order);
            QStringList expected, shown;
            for (size_t n = 0; n < order.size(); ++n) {
                const Expected& e = race[order[n]];
                expected << (e.points == 0
                                 ? QStringLiteral("||||")
                                 : QStringList{QString::number(ranks[n]), QString::number(e.bib),
                                               e.name, e.club, Two(e.points)}
                                       .join(u'|'));
            }
            ui::Grid* g = standings(cls);
            QCOMPARE(g->rows(), int(order.size()) + 1);
            for (int r = 1; r < g->rows(); ++r) {
                QStringList row;
                for (int c = 0; c < 5; ++c) row << g->text(r, c);
                shown << row.join(u'|');
            }
            QCOMPARE(shown, expected);
        }
    }

    // Columns 5..13 of every competitor row of the saved input sheet.
    void checkInputSheetRows(const sheet::Worksheet& ws) {
        for (int i = 1; i <= kCompetitors; ++i) {
            const Expected& e = race[i];
            const int r = i + 1;
            const QByteArray where = QStringLiteral("row %1").arg(r).toUtf8();
            QVERIFY2(ws.text(r, 1) == std::to_string(e.bib), where);
            if (!e.hasRow) {
                for (int c = 5; c <= 13; ++c) QVERIFY2(ws.value(r, c).isEmpty(), where);
                continue;
            }
            QVERIFY2(ws.value(r, 5).type == sheet::ValueType::Number, where);
            QVERIFY2(float(ws.value(r, 5).number) == e.time, where);
            QVERIFY2(float(ws.value(r, 6).number) == e.buoys, where);
            QVERIFY2(float(ws.value(r, 7).number) == e.points, where);
            QVERIFY2(ws.value(r, 8).number == e.status, where);
            if (e.registered) {
                QVERIFY2(ws.numberFormat(r, 5) == "0.00" && ws.numberFormat(r, 7) == "0.00", where);
            }
            for (int g = 0; g < kGatesAfter; ++g) {
                const sheet::Value v = ws.value(r, 9 + g);
                if (e.gates[g].isEmpty()) {
                    QVERIFY2(v.isEmpty(), where + " gate " + QByteArray::number(g + 1));
                } else {
                    QVERIFY2(v.type == sheet::ValueType::Text, where);
                    QCOMPARE(QString::fromStdString(v.text), e.gates[g]);
                }
            }
        }
    }

    void checkSettingsBlock(const sheet::Worksheet& ws) {
        for (int k = 1; k <= 5; ++k) {
            QCOMPARE(QString::fromStdString(ws.text(k + 1, 21)),
                     QString::fromUtf8(kBuoyNames[k - 1]));
            QCOMPARE(ws.value(k + 1, 22).number, double(kScoresAfter[k - 1]));
        }
        QCOMPARE(ws.value(2, 23).type, sheet::ValueType::Text);
        QCOMPARE(ws.value(2, 23).text, std::string("5"));
        for (int g = 1; g <= kGatesAfter; ++g)
            QCOMPARE(ws.value(g + 1, 24).number, double(kOffered[g - 1]));
        QCOMPARE(ws.text(1, 26), std::string("テスト大会"));
        QCOMPARE(ws.text(2, 26), std::string("テスト会場"));
        QCOMPARE(ws.value(3, 26).type, sheet::ValueType::Date);
        QVERIFY((ws.value(3, 26).date() == sheet::Date{2026, 2, 15}));
        QCOMPARE(ws.value(2, 27).number, 3.0);
        for (int k = 1; k <= 3; ++k)
            QCOMPARE(QString::fromStdString(ws.text(k + 1, 28)), kClassesAfter[k - 1]);
    }

    // Worksheet 2 of the saved file after the output of class cls.
    void checkResultsSheet(int cls) {
        auto book = savedFile();
        QVERIFY(book && book->worksheet(2));
        const sheet::Worksheet& ws = *book->worksheet(2);
        QCOMPARE(ws.text(1, 5), std::string(" 公 式 成 績 表"));
        QCOMPARE(QString::fromStdString(ws.text(2, 11)), kClassesAfter[cls - 1]);
        QCOMPARE(ws.text(3, 1), std::string("順位"));

        const std::vector<int> order = standingsOrder(cls);
        QVERIFY(order.size() < 40);  // one page
        const std::vector<int> ranks = ranksOf(order);
        int r = 6;
        int written = 0;
        for (size_t n = 0; n < order.size(); ++n, ++r) {
            const Expected& e = race[order[n]];
            const QByteArray where = QStringLiteral("class %1 row %2").arg(cls).arg(r).toUtf8();
            if (e.points == 0) {
                for (int c = 1; c <= 11; ++c) QVERIFY2(ws.value(r, c).isEmpty(), where);
                continue;
            }
            QVERIFY2(ws.value(r, 1).number == ranks[n], where);
            QVERIFY2(ws.value(r, 2).number == e.bib, where);
            QVERIFY2(QString::fromStdString(ws.text(r, 4)) == e.name, where);
            QVERIFY2(QString::fromStdString(ws.text(r, 5)) == e.club, where);
            QVERIFY2(ws.value(r, 7).type == sheet::ValueType::Number, where);
            QVERIFY2(float(ws.value(r, 7).number) == e.time && ws.numberFormat(r, 7) == "0.00",
                     where);
            QVERIFY2(ws.value(r, 9).number == e.buoys, where);
            const double hundredths = std::floor(double(e.points) * 100 + 0.5) / 100;
            QVERIFY2(ws.value(r, 11).type == sheet::ValueType::Number, where);
            QVERIFY2(std::abs(ws.value(r, 11).number - hundredths) < 1e-9, where);
            QVERIFY2(ws.numberFormat(r, 11) == "0.00", where);
            QVERIFY2(ws.fill(r, 1) == (written % 2 == 0 ? sheet::Fill::Tan : sheet::Fill::None),
                     where);
            ++written;
        }
        QCOMPARE(ws.text(47, 12), std::string("Page 1"));

        const char* headings[] = {"", "DID NOT START", "DID NOT FINISH", "DISQUALFIED"};
        for (int s = 1; s <= 3; ++s) {
            std::vector<int> listed;
            for (int i = 1; i <= kCompetitors; ++i)
                if (race[i].cls == cls && race[i].status == s) listed.push_back(i);
            r += 2;
            QCOMPARE(QString::fromStdString(ws.text(r, 1)),
                     QStringLiteral("%1(%2)").arg(headings[s]).arg(listed.size()));
            if (listed.empty()) continue;
            ++r;
            for (int slot : listed) {
                QCOMPARE(ws.value(r, 2).number, double(race[slot].bib));
                QCOMPARE(QString::fromStdString(ws.text(r, 4)), race[slot].name);
                QCOMPARE(QString::fromStdString(ws.text(r, 5)), race[slot].club);
                ++r;
            }
        }
        for (int row = r + 1; row <= r + 5; ++row) QVERIFY(ws.value(row, 1).isEmpty());
    }

    Snapshot snapshot() {
        const zalvik::Competition& d = program->data();
        Snapshot s;
        for (int i = 1; i <= zalvik::kMaxSlots; ++i) {
            const zalvik::Competitor& w = d.competitors[i];
            s.competitors << QStringLiteral("%1|%2|%3|%4:%5:%6|%7|%8|%9|%10")
                                 .arg(w.bib)
                                 .arg(w.name, w.affiliation)
                                 .arg(int(w.classNo.kind))
                                 .arg(w.classNo.number)
                                 .arg(w.classNo.text)
                                 .arg(double(w.runTime), 0, 'g', 9)
                                 .arg(double(w.buoyPoints), 0, 'g', 9)
                                 .arg(double(w.racePoints), 0, 'g', 9)
                                 .arg(w.status);
        }
        s.competitors << QString::number(d.competitorCount);
        for (int k = 1; k <= 5; ++k)
            s.buoys << d.buoyName[k] + "=" + QString::number(d.buoyScore[k]);
        s.gates << QString::number(d.gateCount);
        for (int g = 1; g <= d.gateCount; ++g) s.gates << QString::number(d.gateBuoyCount[g]);
        s.classes << QString::number(d.classCount);
        for (int k = 1; k <= d.classCount; ++k) s.classes << d.className[k];
        s.details << d.eventName << d.eventVenue << d.eventDate;
        for (const char* name : {"グリッド結果", "グリッドリスト"})
            s.grids[QString::fromUtf8(name)] = GridTexts(grid(QString::fromUtf8(name)));
        for (int k = 1; k <= d.classCount; ++k)
            s.grids[QStringLiteral("順位%1").arg(k)] = GridTexts(standings(k));
        return s;
    }

  private slots:
    void initTestCase() {
        zalvik::SetUpScreenFont();
        ui::testing::EnableDialogHooks(true);
        ui::testing::SetSpreadsheetOpener([this](const QString& file) { opened << file; });
        dir = std::make_unique<TempDir>();
        path = dir->file("冬季大会.xlsx");
        buildWorkbook();
    }

    void cleanupTestCase() {
        ui::testing::SetSpreadsheetOpener({});
        Finish(program);
        dir.reset();
    }

    void startAndLoad() {
        program = StartedProgram();
        QCOMPARE(ShownNames(*program), QStringList{"データ読込画面"});
        ui::testing::QueueFileAnswer(QString::fromStdString(path));
        click(program->dataLoadScreen(), "読込ボタン");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(messages(), QStringList{});
        QCOMPARE(ShownNames(*program), QStringList{"処理画面"});
        QCOMPARE(int(program->data().gateCount), 4);
        QCOMPARE(grid(QStringLiteral("グリッド結果"))->cols(), 9);
        if (!QTest::currentTestFailed()) ++stepsDone;
    }

    // Class 2 renamed, buoy 3 rescored from 4 to 9, a fifth gate offering three buoys.
    void changeSettings() {
        if (stepsDone < 1) QSKIP("an earlier step of the race day failed");
        click(processing(), "基本設定ボタン");
        QCOMPARE(ShownNames(*program), QStringList{"設定画面"});
        QWidget& s = program->settingsScreen();

        find<ui::Grid>(s, QStringLiteral("グリッドクラス名"))->clickCell(2, 0);
        QInputMethodEvent commit;
        commit.setCommitString(kClassesAfter[1]);
        QCoreApplication::sendEvent(find<QLineEdit>(s, QStringLiteral("Text3")), &commit);

        find<ui::Grid>(s, QStringLiteral("グリッドV名"))->clickCell(3, 2);
        QTest::keyClicks(find<QLineEdit>(s, QStringLiteral("Text2")), QStringLiteral("9"));

        auto* gateCount = find<QComboBox>(s, QStringLiteral("ゲート数"));
        QCOMPARE(gateCount->currentText(), QStringLiteral("4"));
        const int five = gateCount->findText(QStringLiteral("5"));
        gateCount->setCurrentIndex(five);
        emit gateCount->activated(five);
        auto* gateGrid = find<ui::Grid>(s, QStringLiteral("グリッドV数"));
        QCOMPARE(gateGrid->rows(), 6);
        QCOMPARE(gateGrid->text(5, 0), QStringLiteral("5"));
        QCOMPARE(gateGrid->text(5, 1), QString());
        gateGrid->clickCell(5, 1);
        QTest::keyClicks(find<QLineEdit>(s, QStringLiteral("Text1")), QStringLiteral("3"));

        click(s, "Command1");
        QCOMPARE(messages(), QStringList{});
        QCOMPARE(ShownNames(*program), QStringList{"処理画面"});

        const zalvik::Competition& d = program->data();
        QCOMPARE(int(d.gateCount), 5);
        for (int g = 1; g <= 5; ++g) QCOMPARE(int(d.gateBuoyCount[g]), kOffered[g - 1]);
        for (int k = 1; k <= 5; ++k) QCOMPARE(int(d.buoyScore[k]), kScoresAfter[k - 1]);
        QCOMPARE(d.className[2], kClassesAfter[1]);
        for (int g = 0; g < 12; ++g) QCOMPARE(option("Gop", g)->isVisibleTo(&processing()), g < 5);
        QCOMPARE(onProcessing<QLabel>(QStringLiteral("ブイポイント(2)"))->text(),
                 QStringLiteral("(9)"));
        auto* tabs = onProcessing<ui::TabStrip>(QStringLiteral("タブ"));
        QCOMPARE(tabs->count(), 3);
        for (int k = 1; k <= 3; ++k) QCOMPARE(tabs->caption(k), kClassesAfter[k - 1]);

        auto book = savedFile();
        QVERIFY(book);
        checkSettingsBlock(*book->worksheet(1));
        // The first save kept the file as loaded beside it.
        QCOMPARE(ReadBytes(path + ".bak"), asBuilt);
        if (!QTest::currentTestFailed()) ++stepsDone;
    }

    void registerFortyResults() {
        if (stepsDone < 2) QSKIP("an earlier step of the race day failed");
        const std::vector<Registration> day = registrations();
        QCOMPARE(int(day.size()), 40);
        for (const Registration& r : day) {
            enter(r);
            if (QTest::currentTestFailed()) {
                qWarning("registration of slot %d failed", r.slot);
                return;
            }
        }
        // The race as planned: both ties hold; the gate first left open got its buoy after the
        // official was told.
        QCOMPARE(race[7].points, race[10].points);
        QCOMPARE(race[3].points, 300.0f);
        QCOMPARE(race[6].points, 300.0f);
        QCOMPARE(race[12].gates[2], QStringLiteral("2"));

        checkCompetitionData();
        checkResultsGrid();
        checkStandingsGrids();
        auto book = savedFile();
        QVERIFY(book);
        QVERIFY(!program->workbook()->hasUnsavedChanges());
        checkInputSheetRows(*book->worksheet(1));
        checkSettingsBlock(*book->worksheet(1));

        // Picked again: the corrected run comes back as corrected; so does the run whose gate 3
        // was chosen after the official was told.
        struct Shown {
            int slot;
            const char* seconds;
            QStringList colours;
        } const picks[] = {{11, "59.99", {"い", "あ", "あ", "い", "あ"}},
                           {12, "55.67", {"あ", "う", "あ", "い", "う"}}};
        for (const Shown& p : picks) {
            box("ゼッケン")->clear();
            QTest::keyClicks(box("ゼッケン"), QString::number(race[p.slot].bib));
            QCOMPARE(box("分")->text(), QString());
            QCOMPARE(box("秒")->text(), QString::fromUtf8(p.seconds));
            QCOMPARE(onProcessing<QLabel>(QStringLiteral("合計"))->text(),
                     QString::number(int(race[p.slot].buoys)));
            for (int g = 0; g < kGatesAfter; ++g)
                QCOMPARE(onProcessing<QLabel>(ui::ElementName(QStringLiteral("色"), g))->text(),
                         p.colours[g]);
        }
        QCOMPARE(messages(), QStringList{});
        if (!QTest::currentTestFailed()) ++stepsDone;
    }

    void writeEveryClassSheet() {
        if (stepsDone < 3) QSKIP("an earlier step of the race day failed");
        click(processing(), "出力ボタン");
        QCOMPARE(ShownNames(*program), QStringList{"出力設定画面"});
        QWidget& out = program->outputScreen();
        // Class 2, which holds the DS, DF and DQ competitors and the new name, goes last.
        for (int cls : {1, 3, 2}) {
            auto* classOption =
                find<QRadioButton>(out, ui::ElementName(QStringLiteral("クラスオプ"), cls - 1));
            QCOMPARE(classOption->text(), kClassesAfter[cls - 1]);
            classOption->click();
            click(out, "実行ボタン");
            // The class's competitors without a run or a status are pointed out.
            QStringList missing;
            for (int i = 1; i <= kCompetitors; ++i) {
                const Expected& e = race[i];
                if (e.cls == cls && e.status == 0 && e.time == 0 && e.buoys == 0)
                    missing << QString::number(e.bib);
            }
            QCOMPARE(messages(),
                     missing.isEmpty()
                         ? QStringList{}
                         : QStringList{QStringLiteral("結果のない選手が%1人います（ゼッケン %2）。")
                                           .arg(missing.size())
                                           .arg(missing.join(QStringLiteral("、")))});
            messages().clear();
            QCOMPARE(opened.size(), 1);
            QCOMPARE(opened.takeFirst(), QString::fromStdString(path));
            checkResultsSheet(cls);
            if (QTest::currentTestFailed()) return;
        }
        if (!QTest::currentTestFailed()) ++stepsDone;
    }

    // The saved file as another program reads it.
    void savedFileReadByOpenpyxl() {
        if (stepsDone < 4) QSKIP("an earlier step of the race day failed");
        if (!haveOpenpyxl()) QSKIP("openpyxl is not installed");
        const std::string script = dir->file("read.py");
        std::ofstream(script)
            << "import sys, openpyxl\n"
               "wb = openpyxl.load_workbook(sys.argv[1])\n"
               "ws = wb.worksheets[0]\n"
               "for r in range(2, 62):\n"
               "    cells = [ws.cell(r, c) for c in range(5, 14)]\n"
               "    print('|'.join(type(x.value).__name__ + ':' + str(x.value) for x in cells)"
               " + '|' + cells[0].number_format + '|' + cells[2].number_format)\n"
               "print(ws.cell(4, 22).value, repr(ws.cell(2, 23).value), "
               "[ws.cell(r, 24).value for r in range(2, 7)], ws.cell(3, 28).value)\n"
               "rs = wb.worksheets[1]\n"
               "print(rs.cell(2, 11).value, rs.cell(6, 2).value, '%.2f' % rs.cell(6, 11).value, "
               "rs.cell(6, 11).number_format)\n";
        std::string printed;
        QCOMPARE(runCommand("/usr/bin/python3 '" + script + "' '" + path + "'", &printed), 0);
        const QStringList lines = QString::fromStdString(printed).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), kCompetitors + 2);

        for (int i = 1; i <= kCompetitors; ++i) {
            const Expected& e = race[i];
            const QStringList cells = lines[i - 1].split('|');
            QCOMPARE(cells.size(), 11);
            if (!e.hasRow) {
                QCOMPARE(cells.mid(0, 9), QStringList(9, QStringLiteral("NoneType:None")));
                continue;
            }
            auto number = [&](int k) {
                const QString& c = cells[k];
                if (!c.startsWith("int:") && !c.startsWith("float:")) return std::nan("");
                return c.section(':', 1).toDouble();
            };
            QCOMPARE(float(number(0)), e.time);
            QCOMPARE(float(number(1)), e.buoys);
            QCOMPARE(float(number(2)), e.points);
            QCOMPARE(cells[3], QStringLiteral("int:%1").arg(e.status));
            for (int g = 0; g < kGatesAfter; ++g)
                QCOMPARE(cells[4 + g], e.gates[g].isEmpty() ? QStringLiteral("NoneType:None")
                                                            : QStringLiteral("str:") + e.gates[g]);
            if (e.registered) QCOMPARE(cells.mid(9), (QStringList{"0.00", "0.00"}));
        }
        QCOMPARE(lines[kCompetitors], QStringLiteral("9 '5' [3, 5, 4, 2, 3] レディース"));
        const std::vector<int> order = standingsOrder(2);
        const Expected& first = race[order.front()];
        QCOMPARE(lines[kCompetitors + 1],
                 QStringLiteral("レディース %1 %2 0.00").arg(first.bib).arg(Two(first.points)));
    }

    void backToDataLoadAndLoadAgain() {
        if (stepsDone < 4) QSKIP("an earlier step of the race day failed");
        QWidget& out = program->outputScreen();
        click(out, "戻るボタン");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!program->hasOutputScreen());
        QCOMPARE(ShownNames(*program), QStringList{"処理画面"});
        const Snapshot left = snapshot();

        QCOMPARE(find<QPushButton>(processing(), QStringLiteral("終了ボタン"))->text(),
                 QStringLiteral("戻　　　る"));
        click(processing(), "終了ボタン");
        QCOMPARE(ShownNames(*program), QStringList{"データ読込画面"});
        QVERIFY(program->workbook() == nullptr);

        ui::testing::QueueFileAnswer(QString::fromStdString(path));
        click(program->dataLoadScreen(), "読込ボタン");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(messages(), QStringList{});
        QCOMPARE(ShownNames(*program), QStringList{"処理画面"});

        const Snapshot again = snapshot();
        for (int i = 0; i < left.competitors.size(); ++i)
            QCOMPARE(again.competitors.value(i), left.competitors[i]);
        QCOMPARE(again.buoys, left.buoys);
        QCOMPARE(again.gates, left.gates);
        QCOMPARE(again.classes, left.classes);
        QCOMPARE(again.details, left.details);
        QCOMPARE(again.grids.size(), left.grids.size());
        for (const auto& [name, texts] : left.grids) {
            const QStringList reloaded = again.grids.at(name);
            QCOMPARE(reloaded.size(), texts.size());
            for (int r = 0; r < texts.size(); ++r)
                QCOMPARE(name + ": " + reloaded[r], name + ": " + texts[r]);
        }
        // Still what the race day left, and the backup is still the file as first loaded.
        checkCompetitionData();
        QCOMPARE(ReadBytes(path + ".bak"), asBuilt);

        // The entry panel starts empty for the new load.
        for (const char* name : {"ゼッケン", "氏名", "所属", "分", "秒"})
            QCOMPARE(box(name)->text(), QString());
        for (const char* name : {"合計", "RP", "色(0)", "色(4)"})
            QCOMPARE(onProcessing<QLabel>(QString::fromUtf8(name))->text(), QString());
        for (int s = 0; s < 4; ++s) QVERIFY(!option("DSFQ", s)->isChecked());

        // The settings screen shows the settings as applied.
        click(processing(), "基本設定ボタン");
        QWidget& settings = program->settingsScreen();
        QCOMPARE(find<QComboBox>(settings, QStringLiteral("ゲート数"))->currentText(),
                 QStringLiteral("5"));
        QCOMPARE(Column(find<ui::Grid>(settings, QStringLiteral("グリッドV数")), 1, 1, 5),
                 (QStringList{"3", "5", "4", "2", "3"}));
        QCOMPARE(Column(find<ui::Grid>(settings, QStringLiteral("グリッドV名")), 2, 1, 5),
                 (QStringList{"2", "3", "9", "5", "6"}));
        QCOMPARE(Column(find<ui::Grid>(settings, QStringLiteral("グリッドクラス名")), 0, 1, 4),
                 kClassesAfter + QStringList{""});
        click(settings, "戻るボタン");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(ShownNames(*program), QStringList{"処理画面"});
        QCOMPARE(messages(), QStringList{});
        if (!QTest::currentTestFailed()) ++stepsDone;
    }
};

QTEST_MAIN(RaceDayTest)
#include "e2e_race_day_qtest.moc"
