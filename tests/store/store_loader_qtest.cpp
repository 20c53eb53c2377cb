// Loading a competition through the load action: the data and every screen it builds, reloads,
// a cancelled choice, and the faults that must be reported instead of passing in silence.

#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <functional>

#include "race/Formatting.h"
#include "race/Scoring.h"
#include "store/LoadTestSupport.h"
#include "support/Controls.h"
#include "ui/TabStrip.h"

using namespace testsupport;
using zalvik::ProcessingScreen;
using zalvik::Program;

class LoaderTest : public QObject, public ProgramFixture {
    Q_OBJECT

  private:
    ProcessingScreen& processing() { return program->processingScreen(); }
    QStringList messages() { return ui::testing::Messages(); }

    // Eight competitors in two classes, four gates offering 3, 2, 5 and 4 buoys.
    TestWorkbook fourGates(const char* name = "race.xlsx") {
        TestWorkbook wb(dir->file(name));
        for (int i = 1; i <= 8; ++i)
            wb.competitor(i, 100 + i, QStringLiteral("選手%1").arg(i), 1 + (i % 2));
        wb.settings(QStringLiteral("4"), {3, 2, 5, 4},
                    {QStringLiteral("男子"), QStringLiteral("女子")});
        return wb;
    }

  private slots:
    void init() { startProgram(); }

    void cleanup() { finishProgram(); }

    void exampleLoadsWhole() {
        TestWorkbook wb(dir->file("example.xlsx"));
        wb.example();
        wb.save();
        Load(*program, wb.qpath());

        QCOMPARE(messages(), QStringList{});
        QCOMPARE(ShownNames(*program), QStringList{"処理画面"});
        QVERIFY(!program->hasDataLoadScreen());
        const zalvik::Competition& d = program->data();
        QCOMPARE(d.competitorCount, 12);
        QCOMPARE(d.gateCount, 3);
        QCOMPARE(d.gateBuoyCount[1], 2);
        QCOMPARE(d.gateBuoyCount[2], 5);
        QCOMPARE(d.gateBuoyCount[3], 3);
        QVERIFY(d.excelStarted);
        QVERIFY(program->workbook());

        ui::Grid* list = Find<ui::Grid>(processing(), QStringLiteral("グリッドリスト"));
        QCOMPARE(list->rows(), 13);
        QCOMPARE(list->text(0, 1), QStringLiteral(" 氏　　名"));
        QCOMPARE(list->text(12, 0), QStringLiteral("12"));
        QCOMPARE(list->text(12, 1), QStringLiteral("山本　愛"));

        ui::Grid* results = Find<ui::Grid>(processing(), QStringLiteral("グリッド結果"));
        QCOMPARE(results->rows(), 13);
        QCOMPARE(results->cols(), 8);
        QCOMPARE(results->text(0, 5), QStringLiteral("GNo.1"));
        QCOMPARE(results->text(1, 0), QStringLiteral("1"));
        QCOMPARE(results->text(1, 2), QStringLiteral("61.50"));
        QCOMPARE(results->text(1, 3), QStringLiteral("13"));
        QCOMPARE(results->text(1, 4),
                 zalvik::FormatHundredths(zalvik::RoundToHundredths(d.competitors[1].racePoints)));
        QCOMPARE(Column(results, 5 + 1, 1, 1), QStringList{"6"});
        // No time: the row stays empty even with a status (slot 7 did not start).
        QCOMPARE(results->text(7, 0), QString());
        QCOMPARE(results->text(7, 4), QString());
        // Disqualified with a time.
        QCOMPARE(results->text(9, 2), QStringLiteral("-"));
        QCOMPARE(results->text(9, 3), QStringLiteral("-"));
        QCOMPARE(results->text(9, 4), QStringLiteral("DQ"));

        ui::TabStrip* tabs = Find<ui::TabStrip>(processing(), QStringLiteral("タブ"));
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(tabs->caption(3), QStringLiteral("ジュニア"));
        QVERIFY(tabs->isVisible());
        QVERIFY(Find<QWidget>(processing(), QStringLiteral("絵"), 2)->isVisible());
        QVERIFY(!Find<QWidget>(processing(), QStringLiteral("絵"), 3)->isVisible());
        // Class 1 lists bibs 1, 3, 11 (9 is disqualified, 7 did not start): two ranked runs first.
        QCOMPARE(d.classMemberCount[1], 3);
        QVERIFY(
            !Find<ui::Grid>(processing(), QStringLiteral("グリッド順位"), 0)->text(1, 1).isEmpty());

        // Gates and buoys mirrored on the processing screen.
        for (int g = 0; g < 12; ++g)
            QCOMPARE(Find<QRadioButton>(processing(), QStringLiteral("Gop"), g)->isVisible(),
                     g < 3);
        QCOMPARE(Find<QRadioButton>(processing(), QStringLiteral("Gop"), 2)->text(),
                 QStringLiteral(" 3"));
        QCOMPARE(Find<QRadioButton>(processing(), QStringLiteral("ブイ"), 4)->text(),
                 QStringLiteral("お"));
        QCOMPARE(Find<QLabel>(processing(), QStringLiteral("ブイポイント"), 0)->text(),
                 QStringLiteral("(2)"));

        // The settings screen exists, hidden, with its tables filled.
        QVERIFY(program->hasSettingsScreen());
        zalvik::SettingsScreen& settings = program->settingsScreen();
        QVERIFY(!settings.isVisible());
        QCOMPARE(Find<QComboBox>(settings, QStringLiteral("ゲート数"))->currentText(),
                 QStringLiteral("3"));
        QCOMPARE(Column(Find<ui::Grid>(settings, QStringLiteral("グリッドV数")), 1, 1, 3),
                 (QStringList{"2", "5", "3"}));
        QVERIFY(Find<QLineEdit>(settings, QStringLiteral("Text1"))->isHidden());
        QVERIFY(Find<QLineEdit>(settings, QStringLiteral("Text2"))->isHidden());
    }

    void emptyRow2LoadsNoCompetitors() {
        TestWorkbook wb = fourGates();
        wb.text(2, zalvik::store::kColName, QStringLiteral(" "));
        wb.save();
        Load(*program, wb.qpath());
        // The seven named rows below are not loaded, and the official is told so.
        QCOMPARE(messages(),
                 QStringList{
                     "入力シートの2行目の氏名が空白のため、3行目以降の7人は読み込んでいません。"});
        QCOMPARE(program->data().competitorCount, 0);
        QCOMPARE(Find<ui::Grid>(processing(), QStringLiteral("グリッドリスト"))->rows(), 1);
        QCOMPARE(Find<ui::Grid>(processing(), QStringLiteral("グリッド結果"))->rows(), 1);
        QCOMPARE(Find<ui::TabStrip>(processing(), QStringLiteral("タブ"))->count(), 2);
        QCOMPARE(Find<ui::TabStrip>(processing(), QStringLiteral("タブ"))->caption(1),
                 QStringLiteral("男子"));
        QCOMPARE(ShownNames(*program), QStringList{"処理画面"});
    }

    void cancelAtTheFirstLoad() {
        Load(*program, std::nullopt);
        QCOMPARE(messages(), QStringList{"キャンセルボタンが押されましたので戻ります。"});
        QCOMPARE(ShownNames(*program), QStringList{"処理画面"});
        QCOMPARE(program->data().competitorCount, 0);
        QCOMPARE(program->data().loadAttempted, 1);
        QVERIFY(!program->data().excelStarted);
        QVERIFY(!program->workbook());
        QCOMPARE(Find<ui::Grid>(processing(), QStringLiteral("グリッドリスト"))->rows(), 1);
        QVERIFY(Find<QPushButton>(processing(), QStringLiteral("基本設定ボタン"))->isEnabled());
    }

    void secondSmallerLoadClearsTheFirst() {
        TestWorkbook first = fourGates("first.xlsx");
        first.date(3, 26, 2026, 2, 15);
        first.result(1, 60, 10, 600, 0, {"2", "3", "2", "3"});
        first.result(3, 55, 12, 458.33, 0, {"4", "2", "3", "3"});
        first.save();
        Load(*program, first.qpath());
        QCOMPARE(program->data().competitorCount, 8);
        QCOMPARE(program->data().classMemberCount[2], 4);
        // Something half entered on the processing screen.
        Find<QLineEdit>(processing(), QStringLiteral("ゼッケン"))->setText(QStringLiteral("103"));
        Find<QRadioButton>(processing(), QStringLiteral("Gop"), 1)->click();
        Find<QLabel>(processing(), QStringLiteral("色"), 1)->setText(QStringLiteral("い"));
        Find<QRadioButton>(processing(), QStringLiteral("DSFQ"), 2)->click();
        Find<QLabel>(processing(), QStringLiteral("合計"))->setText(QStringLiteral("9"));
        Find<QPushButton>(processing(), QStringLiteral("終了ボタン"))->click();

        TestWorkbook second(dir->file("second.xlsx"));
        second.competitor(1, 7, QStringLiteral("新一"), 1);
        second.competitor(2, 8, QStringLiteral("新二"), 1);
        second.result(2, 70, 14, 500);
        second.settings(QStringLiteral("2"), {2, 2}, {QStringLiteral("一般")});
        second.text(1, 26, QStringLiteral("第二大会")).text(2, 26, QStringLiteral("別の会場"));
        second.save();
        Load(*program, second.qpath());

        QCOMPARE(messages(), QStringList{});
        const zalvik::Competition& d = program->data();
        QCOMPARE(d.competitorCount, 2);
        QCOMPARE(d.gateCount, 2);
        // Slots above the new count keep their names but lose everything the reset clears.
        QCOMPARE(d.competitors[3].name, QStringLiteral("選手3"));
        QCOMPARE(d.competitors[3].bib, 0);
        QCOMPARE(d.competitors[3].runTime, 0.0f);
        ui::Grid* results = Find<ui::Grid>(processing(), QStringLiteral("グリッド結果"));
        QCOMPARE(results->rows(), 3);
        QCOMPARE(results->cols(), 7);
        // Row 1 of the old results is emptied; the new competitor 1 has no result.
        QCOMPARE(Column(results, 2, 1, 2), (QStringList{"", "70.00"}));
        QCOMPARE(Find<ui::Grid>(processing(), QStringLiteral("グリッドリスト"))->rows(), 3);
        QCOMPARE(Column(Find<ui::Grid>(processing(), QStringLiteral("グリッドリスト")), 1, 1, 2),
                 (QStringList{"新一", "新二"}));
        QCOMPARE(Find<ui::TabStrip>(processing(), QStringLiteral("タブ"))->count(), 1);
        QCOMPARE(d.classMemberCount[1], 2);
        // The entry panel is empty again.
        QCOMPARE(Find<QLineEdit>(processing(), QStringLiteral("ゼッケン"))->text(), QString());
        QCOMPARE(SelectedOption(processing(), QStringLiteral("Gop")), -1);
        QCOMPARE(SelectedOption(processing(), QStringLiteral("DSFQ")), -1);
        QCOMPARE(Find<QLabel>(processing(), QStringLiteral("色"), 1)->text(), QString());
        QCOMPARE(Find<QLabel>(processing(), QStringLiteral("合計"))->text(), QString());
        // Buoy labels come back from the new load; gate options follow the new count.
        QCOMPARE(Find<QLabel>(processing(), QStringLiteral("ブイポイント"), 4)->text(),
                 QStringLiteral("(6)"));
        for (int g = 0; g < 12; ++g)
            QCOMPARE(Find<QRadioButton>(processing(), QStringLiteral("Gop"), g)->isVisible(),
                     g < 2);
        zalvik::SettingsScreen& settings = program->settingsScreen();
        QCOMPARE(Find<QComboBox>(settings, QStringLiteral("ゲート数"))->currentText(),
                 QStringLiteral("2"));
        QCOMPARE(Find<ui::Grid>(settings, QStringLiteral("グリッドV数"))->rows(), 3);
        QCOMPARE(Find<ui::Grid>(settings, QStringLiteral("グリッドV名"))->text(1, 0),
                 QStringLiteral("ﾌﾞｲ 1"));
        // Classes of the first competition below the new class count are not kept as names.
        QCOMPARE(Column(Find<ui::Grid>(settings, QStringLiteral("グリッドクラス名")), 0, 1, 3),
                 (QStringList{"一般", "", ""}));
        // The name, venue and date are the second workbook's, as a first load would show them:
        // without a stored date, the picker's initial date.
        QCOMPARE(Find<QLineEdit>(settings, QStringLiteral("大会名称"))->text(),
                 QStringLiteral("第二大会"));
        QCOMPARE(Find<QComboBox>(settings, QStringLiteral("場所コンボ"))->currentText(),
                 QStringLiteral("別の会場"));
        QCOMPARE(Find<QDateEdit>(settings, QStringLiteral("開催日"))->date(), QDate(2002, 1, 7));
    }

    // Competitors the sheet holds but no standings show are pointed out after the load: rows
    // below a blank name, and class numbers above the class count (0 and empty are no class).
    void competitorsLeftOutAreReported() {
        TestWorkbook wb = fourGates();
        wb.num(3, zalvik::store::kColClass, 3).num(5, zalvik::store::kColClass, 7);
        wb.num(4, zalvik::store::kColClass, 0);
        wb.ws().setText(6, zalvik::store::kColClass, "");
        wb.text(7, zalvik::store::kColName, QStringLiteral(" "));
        wb.competitor(8, 140, QStringLiteral("下の選手"));
        wb.competitor(12, 150, QStringLiteral("もっと下"));
        wb.save();
        Load(*program, wb.qpath());
        QCOMPARE(program->data().competitorCount, 5);
        QCOMPARE(messages(),
                 (QStringList{
                     "入力シートの7行目の氏名が空白のため、8行目以降の3人は読み込んでいません。",
                     "クラス番号がクラス数を超えている選手がいます（ゼッケン "
                     "102、104）。順位には入りません。"}));
    }

    // A negative class count names no class; the load goes on to the end, and only says that
    // the competitors' classes are beyond it.
    void negativeClassCountLoadsNoClass() {
        TestWorkbook wb = fourGates();
        wb.result(2, 60, 10, 600, 0, {"2", "3", "2", "3"});
        wb.num(2, zalvik::store::kColClassCount, -1);
        wb.save();
        Load(*program, wb.qpath());
        QCOMPARE(messages().size(), 1);
        QVERIFY(messages().first().startsWith(QStringLiteral("クラス番号がクラス数を超えている")));
        QCOMPARE(program->data().competitorCount, 8);
        QCOMPARE(Find<ui::Grid>(processing(), QStringLiteral("グリッド結果"))->text(2, 2),
                 QStringLiteral("60.00"));
        QCOMPARE(Find<ui::TabStrip>(processing(), QStringLiteral("タブ"))->count(), 1);
        for (int k = 0; k < 10; ++k)
            QVERIFY(
                !Find<QWidget>(processing(), QStringLiteral("絵"), k)->isVisibleTo(&processing()));
    }

    // Each fault is told in one message naming the file (and the cell); what was read stays and
    // the load still ends on the processing screen with grids that match the counts.
    void faultsAreReported_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<std::function<void(TestWorkbook&)>>("spoil");
        QTest::addColumn<QStringList>("mentions");
        QTest::addColumn<int>("competitors");

        auto none = [](TestWorkbook&) {};
        QTest::newRow("text time")
            << "race.xlsx" << std::function<void(TestWorkbook&)>([](TestWorkbook& w) {
                   w.text(7, 5, QStringLiteral("abc"));
               })
            << QStringList{"race.xlsx", "E7", "abc"} << 8;
        QTest::newRow("gate count 14")
            << "race.xlsx" << std::function<void(TestWorkbook&)>([](TestWorkbook& w) {
                   w.text(2, 23, QStringLiteral("14"));
               })
            << QStringList{"W2", "14"} << 8;
        QTest::newRow("text buoy count")
            << "race.xlsx" << std::function<void(TestWorkbook&)>([](TestWorkbook& w) {
                   w.text(3, 24, QStringLiteral("多い"));
               })
            << QStringList{"X3", "多い"} << 8;
        QTest::newRow("status 12 with a result")
            << "race.xlsx" << std::function<void(TestWorkbook&)>([](TestWorkbook& w) {
                   w.result(2, 60, 10, 600, 12);
               })
            << QStringList{"H3", "12"} << 8;
        QTest::newRow("repeated bibs")
            << "race.xlsx" << std::function<void(TestWorkbook&)>([](TestWorkbook& w) {
                   w.num(5, 1, 101);
                   w.num(9, 1, 102);
               })
            << QStringList{"race.xlsx", "101, 102"} << 8;
        QTest::newRow("missing file") << "gone.xlsx" << std::function<void(TestWorkbook&)>(none)
                                      << QStringList{"gone.xlsx"} << 0;
        QTest::newRow("old binary format") << "old.xls" << std::function<void(TestWorkbook&)>(none)
                                           << QStringList{"old.xls", "xlsx"} << 0;
        QTest::newRow("other program's format")
            << "calc.ods" << std::function<void(TestWorkbook&)>(none)
            << QStringList{"calc.ods", "xlsx"} << 0;
        QTest::newRow("not a workbook") << "notes.xlsx" << std::function<void(TestWorkbook&)>(none)
                                        << QStringList{"notes.xlsx"} << 0;
    }

    void faultsAreReported() {
        QFETCH(QString, file);
        QFETCH(std::function<void(TestWorkbook&)>, spoil);
        QFETCH(QStringList, mentions);
        QFETCH(int, competitors);

        QString path = QString::fromStdString(dir->file("race.xlsx"));
        if (file == QLatin1String("race.xlsx")) {
            TestWorkbook wb = fourGates();
            spoil(wb);
            wb.save();
        } else {
            path = QString::fromStdString(dir->file(file.toStdString()));
            if (file != QLatin1String("gone.xlsx")) {
                QFile f(path);
                QVERIFY(f.open(QIODevice::WriteOnly));
                if (file.endsWith(QLatin1String(".xls")))
                    f.write(QByteArray::fromHex("D0CF11E0A1B11AE1") + QByteArray(504, '\0'));
                else
                    f.write("just some text, not a workbook");
            }
        }
        Load(*program, path);

        QCOMPARE(messages().size(), 1);
        for (const QString& m : mentions)
            QVERIFY2(messages().first().contains(m),
                     qPrintable(messages().first() + " lacks " + m));
        QCOMPARE(ShownNames(*program), QStringList{"処理画面"});
        const zalvik::Competition& d = program->data();
        QCOMPARE(int(d.competitorCount), competitors);
        QCOMPARE(Find<ui::Grid>(processing(), QStringLiteral("グリッドリスト"))->rows(),
                 competitors + 1);
        // Never more than 12 gates, and the results grid always has the gate count's columns.
        QVERIFY(d.gateCount >= 0 && d.gateCount <= 12);
        QVERIFY(d.classCount >= 0 && d.classCount <= 9);
        if (competitors > 0) {
            QCOMPARE(Find<ui::Grid>(processing(), QStringLiteral("グリッド結果"))->cols(),
                     d.gateCount + 5);
            QCOMPARE(Find<ui::Grid>(processing(), QStringLiteral("グリッド結果"))->rows(),
                     d.competitorCount + 1);
        }
        if (competitors == 0) QVERIFY(!program->workbook());
    }

    // What was read before the failing cell stays; the loader reads nothing after it.
    void faultKeepsWhatWasRead() {
        TestWorkbook wb = fourGates();
        wb.text(7, 5, QStringLiteral("abc"));  // slot 6's time
        wb.save();
        Load(*program, wb.qpath());
        const zalvik::Competition& d = program->data();
        QCOMPARE(d.competitors[6].bib, 106);
        QCOMPARE(d.competitors[6].name, QStringLiteral("選手6"));
        QCOMPARE(d.competitors[7].bib, 0);
        QCOMPARE(d.competitors[7].name, QString());
        QCOMPARE(d.buoyName[1], QString());
        QCOMPARE(d.classCount, 0);
        QCOMPARE(Find<ui::Grid>(processing(), QStringLiteral("グリッドリスト"))->text(6, 1),
                 QStringLiteral("選手6"));
        QCOMPARE(Find<ui::Grid>(processing(), QStringLiteral("グリッドリスト"))->text(7, 1),
                 QString());
    }
};

QTEST_MAIN(LoaderTest)
#include "store_loader_qtest.moc"
