// Result entry on the processing screen, driven through its controls after a real load: the bib
// lookup, gates and buoys, the register action with its stops, the row it writes into the
// input sheet and the save of the workbook file that ends every registration.

#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/Numbers.h"
#include "race/Formatting.h"
#include "race/Scoring.h"
#include "store/LoadTestSupport.h"
#include "support/Controls.h"
#include "support/FaultText.h"
#include "ui/TabStrip.h"

using namespace testsupport;
using namespace zalvik::store;
using zalvik::Program;

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Columns 5.. of a sheet row as "text|format" (text as the sheet layer reads the value).
QStringList SheetRow(const sheet::Worksheet& ws, int row, int lastCol = kColFirstGate + 3) {
    QStringList cells;
    for (int c = kColRunTime; c <= lastCol; ++c)
        cells << QString::fromStdString(ws.text(row, c) + "|" + ws.numberFormat(row, c));
    return cells;
}

QStringList SheetRowOnDisk(const std::string& path, int row) {
    sheet::FileFault fault;
    auto book = sheet::Workbook::open(path, &fault);
    if (!book || !book->worksheet(1))
        return {QString::fromStdString("unreadable: " + testsupport::Message(fault))};
    return SheetRow(*book->worksheet(1), row);
}

QStringList GridRow(const ui::Grid* g, int row) {
    QStringList texts;
    for (int c = 0; c < g->cols(); ++c) texts << g->text(row, c);
    return texts;
}

}  // namespace

class ResultEntryTest : public QObject, public ProgramFixture {
    Q_OBJECT

    std::string path;

    zalvik::ProcessingScreen& screen() { return program->processingScreen(); }
    zalvik::Competition& data() { return program->data(); }
    QStringList& messages() { return ui::testing::Messages(); }
    template <typename W>
    W* find(const QString& name) {
        return testsupport::Find<W>(screen(), name);
    }
    QLineEdit* box(const char* name) { return find<QLineEdit>(QString::fromUtf8(name)); }
    QLabel* label(const QString& name) { return find<QLabel>(name); }
    QRadioButton* option(const char* array, int i) {
        return find<QRadioButton>(ui::ElementName(QString::fromUtf8(array), i));
    }
    ui::Grid* results() { return find<ui::Grid>(QStringLiteral("グリッド結果")); }
    sheet::Worksheet& inputSheet() { return *program->workbook()->worksheet(1); }

    // Picks a competitor as the official does, by typing the bib over what the box held.
    void pick(const QString& bib) {
        box("ゼッケン")->clear();
        box("ゼッケン")->setText(bib);
    }
    void enterTime(const QString& minutes, const QString& seconds) {
        box("分")->setText(minutes);
        box("秒")->setText(seconds);
    }
    void chooseBuoy(int gate, int buoy) {
        option("Gop", gate)->click();
        option("ブイ", buoy)->click();
    }
    void registerIt() { find<QPushButton>(QStringLiteral("登録ボタン"))->click(); }
    // Text committed by the input method, as Japanese and full-width input reaches a box.
    static void commit(QLineEdit* box, const QString& text) {
        QInputMethodEvent event;
        event.setCommitString(text);
        QCoreApplication::sendEvent(box, &event);
    }
    // Bib 12 (slot 2, sheet row 3) registered with 58.2 s and buoys お, あ, あ, あ at gates
    // 1..4 (12 buoy points).
    void registerBib12() {
        pick(QStringLiteral("12"));
        enterTime(QString(), QStringLiteral("58.2"));
        chooseBuoy(0, 4);
        for (int g = 1; g < 4; ++g) chooseBuoy(g, 0);
        registerIt();
    }

    // Bibs listed by class k's standings grid, in order.
    QStringList standingsBibs(int k) {
        ui::Grid* g = find<ui::Grid>(ui::ElementName(QStringLiteral("グリッド順位"), k - 1));
        return Column(g, 1, 1, g->rows() - 1);
    }

    // Seven competitors, two classes, four gates offering 3, 5, 5 and 2 buoys. Buoys あ..お
    // score 2, 3, 3, 5, 6: い and う score alike.
    void makeRace() {
        TestWorkbook wb(path);
        wb.competitor(1, 7, QStringLiteral("山田　太郎"), 1)
            .result(1, 61.5, 20, 307.5, 0, {"5", "6", "3", "6"});
        wb.competitor(2, 12, QStringLiteral("鈴木　健"), 1);
        wb.competitor(3, 3, QStringLiteral("佐藤　一郎"), 2)
            .result(3, 75.3, 12, 627.5, 0, {"3", "0", "6", "3"});
        wb.competitor(4, 21, QStringLiteral("田中　花子"), 1).result(4, 0, 0, 0, 1);
        wb.competitor(5, 15, QStringLiteral("高橋　誠"), 2)
            .result(5, 58.2, 13, 447.69, 0, {"4", "2", "5", "6"});
        wb.competitor(6, 30, QStringLiteral("伊藤　美咲"), 2).num(7, kColStatus, 3);
        wb.competitor(7, 40, QStringLiteral("渡辺　愛"), 1).result(7, 50, 0, 0, 0);
        wb.settings(QStringLiteral("4"), {3, 5, 5, 2},
                    {QStringLiteral("一般"), QStringLiteral("ジュニア")});
        wb.num(4, kColBuoyScore, 3);
        wb.save();
        // Building the file made a backup of its own; the program's backup is what counts.
        std::filesystem::remove(path + ".bak");
    }

  private slots:
    void initTestCase() { zalvik::SetUpScreenFont(); }

    void init() {
        startProgram();
        path = dir->file("大会.xlsx");
        makeRace();
        Load(*program, QString::fromStdString(path));
        QCOMPARE(messages(), QStringList{});
        QCOMPARE(data().competitorCount, 7);
    }

    void cleanup() { finishProgram(); }

    void registerRun_data() {
        QTest::addColumn<QString>("minutes");
        QTest::addColumn<QString>("seconds");
        QTest::addColumn<float>("runTime");
        QTest::addColumn<QString>("shownTime");
        QTest::addColumn<QString>("sheetTime");
        QTest::newRow("1 min 15.3 s") << "1"
                                      << "15.3" << 75.3f << "75.30"
                                      << "75.3";
        QTest::newRow("58.2 s") << ""
                                << "58.2" << 58.2f << "58.20"
                                << "58.2";
    }

    void registerRun() {
        QFETCH(QString, minutes);
        QFETCH(QString, seconds);
        QFETCH(float, runTime);
        QFETCH(QString, shownTime);
        QFETCH(QString, sheetTime);

        // Bib 12 has no result yet: gate 1 お (6), gate 3 え (5); gates 2 and 4 are still
        // without a choice, and the registration stops at gate 2 without storing anything.
        pick(QStringLiteral("12"));
        QCOMPARE(box("氏名")->text(), QStringLiteral("鈴木　健"));
        QVERIFY(option("DSFQ", 0)->isChecked());
        QVERIFY(option("Gop", 0)->isChecked());  // a new competitor starts at gate 1
        enterTime(minutes, seconds);
        chooseBuoy(0, 4);
        chooseBuoy(2, 3);
        QCOMPARE(label("合計")->text(), QStringLiteral(" 11"));
        registerIt();
        QCOMPARE(messages(), QStringList{"ゲート2のブイが選択されていません。"});
        QCOMPARE(data().competitors[2].runTime, 0.0f);
        QVERIFY(!program->workbook()->hasUnsavedChanges());
        messages().clear();
        chooseBuoy(1, 1);
        chooseBuoy(3, 0);
        QCOMPARE(label("合計")->text(), QStringLiteral(" 16"));
        registerIt();

        QCOMPARE(messages(), QStringList{});
        const zalvik::Competitor& who = data().competitors[2];
        QCOMPARE(who.runTime, runTime);
        QCOMPARE(who.buoyPoints, 16.0f);
        const float points = zalvik::RacePoints(runTime, 16);
        QCOMPARE(who.racePoints, points);
        const QString shownPoints = zalvik::FormatHundredths(points);
        QCOMPARE(label("RP")->text(), shownPoints);
        QCOMPARE(GridRow(results(), 2),
                 (QStringList{"12", "鈴木　健", shownTime, "16", shownPoints, "6", "3", "5", "2"}));
        const QStringList row{sheetTime + "|0.00", "16|General", QString::number(points) + "|0.00",
                              "0|General",         "6|General",  "3|General",
                              "5|General",         "2|General"};
        QCOMPARE(SheetRow(inputSheet(), 3), row);
        // Saved at once, with nothing left unsaved.
        QCOMPARE(SheetRowOnDisk(path, 3), row);
        QVERIFY(!program->workbook()->hasUnsavedChanges());
        // Its standings row in class 1, empty while it had no race points, now shows it.
        QVERIFY(standingsBibs(1).contains("12"));

        // Picked again: the time split back as typed, every gate restored.
        pick(QStringLiteral("12"));
        QCOMPARE(box("分")->text(), minutes);
        QCOMPARE(box("秒")->text(), seconds);
        QCOMPARE(label("合計")->text(), QStringLiteral("16"));
        QCOMPARE(label("RP")->text(), zalvik::SingleText(points));
        const QStringList chosen{"お", "い", "え", "あ"};
        for (int g = 0; g < 4; ++g)
            QCOMPARE(label(ui::ElementName(QStringLiteral("色"), g))->text(), chosen[g]);
        QCOMPARE(data().gateBuoyChoice[1], int16_t(1));
    }

    void statusAndBackToOk() {
        // Bib 7 ranks first in class 1; marked DQ it leaves the standings.
        QCOMPARE(standingsBibs(1).first(), QStringLiteral("7"));
        pick(QStringLiteral("7"));
        QCOMPARE(box("秒")->text(), QStringLiteral("1.5"));
        option("DSFQ", 3)->click();
        registerIt();
        QCOMPARE(GridRow(results(), 1).mid(0, 5), (QStringList{"7", "山田　太郎", "-", "-", "DQ"}));
        QCOMPARE(data().competitors[1].status, int16_t(3));
        QCOMPARE(SheetRowOnDisk(path, 2).at(3), QStringLiteral("3|General"));
        QVERIFY(!standingsBibs(1).contains("7"));

        // Picked again: DQ shown, the panel empty. OK brings the stored run back, and
        // registering it puts the competitor back in place.
        pick(QStringLiteral("7"));
        QVERIFY(option("DSFQ", 3)->isChecked());
        for (const char* name : {"分", "秒"}) QCOMPARE(box(name)->text(), QString());
        QCOMPARE(label("合計")->text(), QString());
        option("DSFQ", 0)->click();
        QCOMPARE(box("分")->text(), QStringLiteral("1"));
        QCOMPARE(label("合計")->text(), QStringLiteral("20"));
        registerIt();
        QCOMPARE(GridRow(results(), 1),
                 (QStringList{"7", "山田　太郎", "61.50", "20", "307.50", "5", "6", "3", "6"}));
        QCOMPARE(SheetRowOnDisk(path, 2).mid(0, 4),
                 (QStringList{"61.5|0.00", "20|General", "307.5|0.00", "0|General"}));
        QCOMPARE(standingsBibs(1).first(), QStringLiteral("7"));

        // DS for a competitor without a run: the grid row says whose status it is, and the
        // sheet row gets the status with the time and points it had (none); its gate cells
        // stay empty.
        pick(QStringLiteral("12"));
        option("DSFQ", 1)->click();
        registerIt();
        QCOMPARE(GridRow(results(), 2).mid(0, 5), (QStringList{"12", "鈴木　健", "-", "-", "DS"}));
        QCOMPARE(SheetRow(inputSheet(), 3),
                 (QStringList{"0|0.00", "0|General", "0|0.00", "1|General", "|General", "|General",
                              "|General", "|General"}));
        QCOMPARE(inputSheet().value(3, kColFirstGate).type, sheet::ValueType::Empty);
        QCOMPARE(messages(), QStringList{});

        // Picked again and switched to OK: still no run, so the panel stays empty, and an OK
        // registration without buoys is stopped with its message; the DS stays.
        pick(QStringLiteral("12"));
        QVERIFY(option("DSFQ", 1)->isChecked());
        QTest::mouseClick(option("DSFQ", 0), Qt::LeftButton);
        QVERIFY(option("DSFQ", 0)->isChecked());
        QCOMPARE(box("秒")->text(), QString());
        QCOMPARE(label("合計")->text(), QString());
        QCOMPARE(label("RP")->text(), QString());
        registerIt();
        QCOMPARE(messages(), QStringList{"ﾌﾞｲﾎﾟｲﾝﾄが未設定です。"});
        QCOMPARE(data().competitors[2].status, int16_t(1));
        messages().clear();
        // The same after a reload, where the status row comes from the sheet.
        find<QPushButton>(QStringLiteral("終了ボタン"))->click();
        Load(*program, QString::fromStdString(path));
        pick(QStringLiteral("12"));
        QTest::mouseClick(option("DSFQ", 0), Qt::LeftButton);
        QCOMPARE(box("秒")->text(), QString());
        QCOMPARE(label("合計")->text(), QString());
    }

    // What the official types by mistake is caught before anything is stored: an empty or zero
    // time, a text that is no number, a time as a timer shows it in the wrong box. A timer's
    // "m:ss.xx" alone in 秒, and full-width digits from the input method, are read as meant.
    void typedTimesAreCheckedBeforeAnythingIsStored_data() {
        QTest::addColumn<QString>("minutes");
        QTest::addColumn<QString>("seconds");
        QTest::addColumn<bool>("viaInputMethod");
        QTest::addColumn<QString>("message");
        QTest::addColumn<float>("runTime");
        QTest::newRow("empty") << ""
                               << "" << false << "タイムが入力されていません。" << 0.0f;
        QTest::newRow("zero") << "0"
                              << "0.00" << false << "タイムが入力されていません。" << 0.0f;
        QTest::newRow("letters in 秒")
            << ""
            << "abc" << false << "秒の入力が数字として読めません。" << 0.0f;
        QTest::newRow("timer text beside minutes")
            << "1"
            << "1:05.20" << false << "秒の入力が数字として読めません。" << 0.0f;
        QTest::newRow("unit typed in 分")
            << "1分"
            << "5" << true << "分の入力が数字として読めません。" << 0.0f;
        QTest::newRow("timer text alone") << ""
                                          << "1:05.20" << false << "" << 65.2f;
        QTest::newRow("full-width") << ""
                                    << "６５．２" << true << "" << 65.2f;
        QTest::newRow("full-width minutes") << "１"
                                            << "５．３" << true << "" << 65.3f;
    }

    void typedTimesAreCheckedBeforeAnythingIsStored() {
        QFETCH(QString, minutes);
        QFETCH(QString, seconds);
        QFETCH(bool, viaInputMethod);
        QFETCH(QString, message);
        QFETCH(float, runTime);
        const std::string before = ReadFile(path);
        // Bib 12 typed in full width, as the input method commits it.
        box("ゼッケン")->clear();
        commit(box("ゼッケン"), QStringLiteral("１２"));
        QCOMPARE(messages(), QStringList{});
        QCOMPARE(box("氏名")->text(), QStringLiteral("鈴木　健"));
        for (const char* name : {"分", "秒"}) {
            QLineEdit* b = box(name);
            const QString text =
                QString::fromUtf8(name) == QStringLiteral("分") ? minutes : seconds;
            if (viaInputMethod)
                commit(b, text);
            else
                QTest::keyClicks(b, text);
        }
        for (int g = 0; g < 4; ++g) chooseBuoy(g, 0);
        QTest::mouseClick(find<QPushButton>(QStringLiteral("登録ボタン")), Qt::LeftButton);
        if (!message.isEmpty()) {
            QCOMPARE(messages(), QStringList{message});
            QCOMPARE(data().competitors[2].runTime, 0.0f);
            QCOMPARE(results()->text(2, 2), QString());
            QCOMPARE(ReadFile(path), before);
        } else {
            QCOMPARE(messages(), QStringList{});
            QCOMPARE(data().competitors[2].runTime, runTime);
            QCOMPARE(SheetRowOnDisk(path, 3).first(),
                     QString::number(zalvik::ShortestDecimal(runTime)) + "|0.00");
        }
    }

    // After a registration: race points as the official works them out by hand, the time shown
    // again as typed, no race points left on show for a status, and the standings of the
    // competitor's class in front.
    void afterARegistration() {
        // 70.02 s over 16 buoy points is 437.625 by hand, which rounds up to 437.63.
        pick(QStringLiteral("12"));
        enterTime(QStringLiteral("1"), QStringLiteral("10.02"));
        chooseBuoy(0, 1);
        chooseBuoy(1, 4);
        chooseBuoy(2, 3);
        chooseBuoy(3, 0);
        QCOMPARE(label("合計")->text(), QStringLiteral(" 16"));
        registerIt();
        QCOMPARE(messages(), QStringList{});
        QCOMPARE(label("RP")->text(), QStringLiteral("437.63"));
        QCOMPARE(results()->text(2, 4), QStringLiteral("437.63"));
        QCOMPARE(SheetRowOnDisk(path, 3).at(2), QStringLiteral("437.63|0.00"));

        // A run of 62.35 s comes back as 1 minute 2.35 seconds.
        pick(QStringLiteral("12"));
        box("分")->setText(QStringLiteral("1"));
        box("秒")->setText(QStringLiteral("2.35"));
        registerIt();
        pick(QStringLiteral("7"));
        pick(QStringLiteral("12"));
        QCOMPARE(box("分")->text(), QStringLiteral("1"));
        QCOMPARE(box("秒")->text(), QStringLiteral("2.35"));

        // Bib 3 is in class 2: its standings come in front when it is registered, and marked
        // DQ it shows no race points.
        auto* tabs = find<ui::TabStrip>(QStringLiteral("タブ"));
        QCOMPARE(tabs->selectedIndex(), 1);
        pick(QStringLiteral("3"));
        QCOMPARE(label("RP")->text(), QStringLiteral("627.5"));
        QTest::mouseClick(option("DSFQ", 3), Qt::LeftButton);
        registerIt();
        QCOMPARE(label("RP")->text(), QString());
        QCOMPARE(tabs->selectedIndex(), 2);
        QWidget* front =
            find<QWidget>(QStringLiteral("Frame12"))->childAt(tabs->clientRect().center());
        QVERIFY(front == find<QWidget>(QStringLiteral("絵(1)")) ||
                find<QWidget>(QStringLiteral("絵(1)"))->isAncestorOf(front));
        QCOMPARE(messages(), QStringList{});
    }

    void registrationsThatStop() {
        const std::string before = ReadFile(path);

        // DQ without a run, switched to OK with no buoy total: the message, and the competitor
        // keeps its DQ (it must not slip back into the standings).
        pick(QStringLiteral("30"));
        QVERIFY(option("DSFQ", 3)->isChecked());
        option("DSFQ", 0)->click();
        enterTime(QString(), QStringLiteral("50"));
        registerIt();
        QCOMPARE(messages(), QStringList{"ﾌﾞｲﾎﾟｲﾝﾄが未設定です。"});
        QCOMPARE(data().competitors[6].status, int16_t(3));
        QCOMPARE(data().competitors[6].runTime, 0.0f);
        messages().clear();

        // A stored run with a zero total and no gate points: the gates have no buoy to put
        // back, so registering it again is stopped at gate 1 and nothing is stored.
        pick(QStringLiteral("40"));
        QCOMPARE(label("合計")->text(), QStringLiteral("0"));
        enterTime(QString(), QStringLiteral("55"));
        registerIt();
        QCOMPARE(messages(), QStringList{"ゲート1のブイが選択されていません。"});
        QCOMPARE(data().competitors[7].runTime, 50.0f);
        QCOMPARE(results()->text(7, 2), QStringLiteral("50.00"));
        messages().clear();

        // A bib nobody carries: nothing recorded, but the standings are rebuilt (and show a
        // change made to the data meanwhile).
        pick(QStringLiteral("99"));
        QCOMPARE(messages(), QStringList{"該当するゼッケン番号はありません。"});
        QCOMPARE(box("氏名")->text(), QString());
        data().competitors[5].racePoints = 100;
        registerIt();
        QCOMPARE(standingsBibs(2).first(), QStringLiteral("15"));

        QVERIFY(!program->workbook()->hasUnsavedChanges());
        QCOMPARE(ReadFile(path), before);
        QVERIFY(!std::filesystem::exists(path + ".bak"));
    }

    void bibTyping() {
        // Each keystroke looks up: "1" finds nobody before "12" finds bib 12. A bib being
        // typed says nothing until it is committed.
        QTest::keyClicks(box("ゼッケン"), QStringLiteral("1"));
        QCOMPARE(box("氏名")->text(), QString());
        QTest::keyClicks(box("ゼッケン"), QStringLiteral("2"));
        QCOMPARE(messages(), QStringList{});
        QCOMPARE(box("氏名")->text(), QStringLiteral("鈴木　健"));
        QCOMPARE(box("所属")->text(), QStringLiteral("所属"));
        // Deleting it key by key: "1" again, then an empty box, which names nobody; neither
        // says anything.
        QTest::keyClick(box("ゼッケン"), Qt::Key_Backspace);
        QCOMPARE(box("氏名")->text(), QString());
        QTest::keyClick(box("ゼッケン"), Qt::Key_Backspace);
        QCOMPARE(messages(), QStringList{});
        QCOMPARE(box("氏名")->text(), QString());
        // A text that is no number reads as bib 0, which nobody carries here.
        messages().clear();
        box("ゼッケン")->setText(QStringLiteral("abc"));
        QCOMPARE(messages(), QStringList{"該当するゼッケン番号はありません。"});
        // Clicking the competitor list looks the competitor up as typing does.
        ui::Grid* list = find<ui::Grid>(QStringLiteral("グリッドリスト"));
        list->clickCell(3, 1);
        QCOMPARE(box("ゼッケン")->text(), QStringLiteral("3"));
        QCOMPARE(box("秒")->text(), QStringLiteral("15.3"));
    }

    void gatesAndBuoys() {
        // A buoy clicked before any gate goes to gate 1; the other gates have no choice yet.
        option("ブイ", 1)->click();
        QCOMPARE(label("色(0)")->text(), QStringLiteral("い"));
        QCOMPARE(data().gateBuoyChoice[0], int16_t(1));
        QCOMPARE(label("合計")->text(), QStringLiteral(" 3"));

        // Gate 4 offers two buoys; the others are hidden.
        option("Gop", 3)->click();
        for (int k = 0; k < 5; ++k) {
            QCOMPARE(option("ブイ", k)->isHidden(), k >= 2);
            QCOMPARE(label(ui::ElementName(QStringLiteral("ブイポイント"), k))->isHidden(), k >= 2);
        }
        QCOMPARE(label("ブイポイント(1)")->text(), QStringLiteral("(3)"));
        QCOMPARE(option("ブイ", 1)->isChecked(), false);
        option("ブイ", 0)->click();
        QCOMPARE(label("色(3)")->text(), QStringLiteral("あ"));
        QCOMPARE(label("合計")->text(), QStringLiteral(" 5"));
        // Back at gate 1 its buoy is selected again and the total stays.
        option("Gop", 0)->click();
        QVERIFY(option("ブイ", 1)->isChecked());
        QVERIFY(option("ブイ", 2)->isVisible());
        QVERIFY(option("ブイ", 3)->isHidden());
        QCOMPARE(label("合計")->text(), QStringLiteral(" 5"));

        // Restoring from gate points: equal scores take the first buoy; a score no buoy has
        // leaves its gate empty and the restore goes on.
        struct Case {
            const char* bib;
            QStringList colours;
            const char* total;
        } const cases[] = {
            {"3", {"い", "", "", ""}, "12"},
            {"15", {"", "あ", "え", "お"}, "13"},
            {"21", {"", "", "", ""}, ""},  // DS: an empty panel
        };
        for (const Case& c : cases) {
            pick(QString::fromUtf8(c.bib));
            for (int g = 0; g < 4; ++g)
                QCOMPARE(label(ui::ElementName(QStringLiteral("色"), g))->text(), c.colours[g]);
            QCOMPARE(label("合計")->text(), QString::fromUtf8(c.total));
            // Gate 1 is the current gate of every competitor picked, shown selected; the total
            // stays the stored one.
            QCOMPARE(option("Gop", 0)->isChecked(), true);
            QCOMPARE(data().currentGate, int16_t(0));
        }
        QCOMPARE(messages(), QStringList{});
    }

    void savedFileReadByAnotherProgram() {
        const std::string asLoaded = ReadFile(path);
        pick(QStringLiteral("12"));
        enterTime(QStringLiteral("1"), QStringLiteral("15.3"));
        chooseBuoy(0, 4);
        chooseBuoy(1, 3);
        chooseBuoy(2, 0);
        chooseBuoy(3, 0);
        registerIt();
        QCOMPARE(messages(), QStringList{});
        // The file as loaded is kept beside it, once.
        QCOMPARE(ReadFile(path + ".bak"), asLoaded);
        pick(QStringLiteral("3"));
        option("DSFQ", 2)->click();
        registerIt();
        QCOMPARE(ReadFile(path + ".bak"), asLoaded);

        if (!haveOpenpyxl()) QSKIP("openpyxl is not installed");
        const std::string script = dir->file("read.py");
        std::ofstream(script) << "import sys, openpyxl\n"
                                 "ws = openpyxl.load_workbook(sys.argv[1]).worksheets[0]\n"
                                 "for c in range(5, 13):\n"
                                 "    cell = ws.cell(3, c)\n"
                                 "    print(repr(cell.value), cell.number_format)\n";
        std::string out;
        QCOMPARE(runCommand("/usr/bin/python3 " + script + " '" + path + "'", &out), 0);
        QCOMPARE(QString::fromStdString(out).split('\n', Qt::SkipEmptyParts),
                 (QStringList{"75.3 0.00", "15 General", "502 0.00", "0 General", "'6' General",
                              "'5' General", "'2' General", "'2' General"}));
    }

    void fileChangedByAnotherProgram() {
        // Another program saves the file after the load.
        namespace fs = std::filesystem;
        fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(5));
        const std::string theirs = ReadFile(path);
        registerBib12();

        const std::string beside = dir->file("大会 (2).xlsx");
        QCOMPARE(messages().size(), 1);
        QVERIFY2(messages().first().contains(QStringLiteral("大会 (2).xlsx")),
                 qPrintable(messages().first()));
        QCOMPARE(ReadFile(path), theirs);
        QCOMPARE(SheetRowOnDisk(beside, 3).first(), QStringLiteral("58.2|0.00"));
        // The next registration goes on in the new file, without another message.
        messages().clear();
        pick(QStringLiteral("7"));
        option("DSFQ", 2)->click();
        registerIt();
        QCOMPARE(messages(), QStringList{});
        QCOMPARE(SheetRowOnDisk(beside, 2).at(3), QStringLiteral("2|General"));
    }

    void failedSaveIsRetried() {
        const std::string before = ReadFile(path);
        sheet::Workbook::setSaveFaultForTesting(sheet::Workbook::SaveFault::DuringWrite);
        registerBib12();
        QCOMPARE(messages().size(), 1);
        QVERIFY2(messages().first().contains(QStringLiteral("大会.xlsx")),
                 qPrintable(messages().first()));
        // The result stays in the data and on screen; the file is as it was.
        QCOMPARE(data().competitors[2].runTime, 58.2f);
        QCOMPARE(results()->text(2, 2), QStringLiteral("58.20"));
        QCOMPARE(ReadFile(path), before);

        // The next registration saves both results.
        sheet::Workbook::setSaveFaultForTesting(sheet::Workbook::SaveFault::None);
        messages().clear();
        pick(QStringLiteral("7"));
        option("DSFQ", 1)->click();
        registerIt();
        QCOMPARE(messages(), QStringList{});
        QCOMPARE(SheetRowOnDisk(path, 3).first(), QStringLiteral("58.2|0.00"));
        QCOMPARE(SheetRowOnDisk(path, 2).at(3), QStringLiteral("1|General"));
    }

    // Going back (button or close box) while a result is not yet in the file: the save is tried
    // once more; when it fails the official stays on the processing screen with the result in
    // memory, told which file lacks it; once the cause is mended, going back saves it.
    void goingBackNeverDropsAnUnsavedResult() {
        const std::string before = ReadFile(path);
        sheet::Workbook::setSaveFaultForTesting(sheet::Workbook::SaveFault::DuringWrite);
        registerBib12();
        messages().clear();
        find<QPushButton>(QStringLiteral("終了ボタン"))->click();
        QCOMPARE(messages().size(), 1);
        QVERIFY2(messages().first().contains(QStringLiteral("大会.xlsx")),
                 qPrintable(messages().first()));
        QCOMPARE(ShownNames(*program), QStringList{"処理画面"});
        QVERIFY(program->workbook() && program->workbook()->hasUnsavedChanges());
        screen().close();  // the close box goes the same way
        QCOMPARE(messages().size(), 2);
        QCOMPARE(ShownNames(*program), QStringList{"処理画面"});
        QCOMPARE(ReadFile(path), before);

        sheet::Workbook::setSaveFaultForTesting(sheet::Workbook::SaveFault::None);
        messages().clear();
        find<QPushButton>(QStringLiteral("終了ボタン"))->click();
        QCOMPARE(messages(), QStringList{});
        QCOMPARE(ShownNames(*program), QStringList{"データ読込画面"});
        QVERIFY(!program->workbook());
        QCOMPARE(SheetRowOnDisk(path, 3).first(), QStringLiteral("58.2|0.00"));
    }

    void noWorkbookOpen() {
        // A later load that was cancelled leaves the data without a workbook.
        program->closeWorkbook();
        registerBib12();
        QCOMPARE(messages().size(), 1);
        QVERIFY(messages().first().contains(QStringLiteral("ブックが開かれていない")));
        QCOMPARE(data().competitors[2].runTime, 58.2f);
        QCOMPARE(results()->text(2, 2), QStringLiteral("58.20"));
        QVERIFY(standingsBibs(1).contains("12"));
    }
};

QTEST_MAIN(ResultEntryTest)
#include "result_entry_qtest.moc"
