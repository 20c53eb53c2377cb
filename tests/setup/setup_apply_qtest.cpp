// Editing the settings grids in place and applying the settings with "選定完了": what reaches
// the competition data, the processing screen and the saved workbook file.

#include <QComboBox>
#include <QDateEdit>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>

#include "store/LoadTestSupport.h"
#include "support/Controls.h"
#include "support/FaultText.h"
#include "ui/TabStrip.h"

using namespace testsupport;
using zalvik::Program;
using zalvik::SettingsScreen;

namespace {

const QStringList kFiveClasses = {"男子", "女子", "少年", "壮年", "シニア"};

QStringList RowTexts(ui::Grid* g, int row, int from, int to) {
    QStringList texts;
    for (int c = from; c <= to; ++c) texts << g->text(row, c);
    return texts;
}

QStringList TabCaptions(ui::TabStrip* tabs) {
    QStringList captions;
    for (int i = 1; i <= tabs->count(); ++i) captions << tabs->caption(i);
    return captions;
}

}  // namespace

class ApplySettingsTest : public QObject, public ProgramFixture {
    Q_OBJECT

  private:
    zalvik::ProcessingScreen& processing() { return program->processingScreen(); }

    // Loads a competition of seven gates (1, 2, 3, 4, 5, 1, 2 buoys), buoys あ..お scoring 2..6
    // and five classes, with one competitor who has a result, and opens the settings screen.
    SettingsScreen& loadAndOpen(const QString& file = QStringLiteral("race.xlsx"),
                                const QStringList& classes = kFiveClasses) {
        TestWorkbook wb(dir->file(file.toStdString()));
        wb.competitor(1, 5, QStringLiteral("選手一"));
        wb.result(1, 61.5, 20, 307.5, 0, {"2", "3", "4", "5", "6", "2", "3"});
        wb.competitor(2, 8, QStringLiteral("選手二"));
        wb.settings(QStringLiteral("7"), {1, 2, 3, 4, 5, 1, 2},
                    std::vector<QString>(classes.begin(), classes.end()));
        wb.date(3, 26, 2026, 2, 15);
        wb.save();
        Load(*program, wb.qpath());
        Find<QPushButton>(processing(), QStringLiteral("基本設定ボタン"))->click();
        return program->settingsScreen();
    }

    // The input sheet of the file on disk, as another program would find it.
    std::unique_ptr<sheet::Workbook> savedFile() {
        sheet::FileFault fault;
        auto book = sheet::Workbook::open(program->workbook()->path(), &fault);
        if (!book) qWarning("%s", testsupport::Message(fault).c_str());
        return book;
    }

    static void pick(QComboBox* box, const QString& entry) {
        const int i = box->findText(entry);
        QVERIFY(i >= 0);
        box->setCurrentIndex(i);
        emit box->activated(i);
    }

  private slots:
    void initTestCase() { zalvik::SetUpScreenFont(); }

    void init() { startProgram(); }

    void cleanup() { finishProgram(); }

    void editorOverTheClickedCell_data() {
        QTest::addColumn<QString>("gridName");
        QTest::addColumn<QString>("editorName");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("col");
        QTest::addColumn<QString>("shown");
        QTest::newRow("buoy 3 score") << "グリッドV名"
                                      << "Text2" << 3 << 2 << "4";
        QTest::newRow("buoy 5 name") << "グリッドV名"
                                     << "Text2" << 5 << 1 << "お";
        QTest::newRow("class 2") << "グリッドクラス名"
                                 << "Text3" << 2 << 0 << "女子";
        QTest::newRow("gate 4") << "グリッドV数"
                                << "Text1" << 4 << 1 << "4";
    }

    void editorOverTheClickedCell() {
        QFETCH(QString, gridName);
        QFETCH(QString, editorName);
        QFETCH(int, row);
        QFETCH(int, col);
        QFETCH(QString, shown);
        SettingsScreen& s = loadAndOpen();
        auto* grid = Control<ui::Grid>(s, gridName);
        auto* editor = Control<QLineEdit>(s, editorName);
        QVERIFY(grid && editor);

        grid->clickCell(row, col);
        QVERIFY(editor->isVisible());
        QCOMPARE(editor->text(), shown);
        QCOMPARE(editor->parentWidget(), grid->parentWidget());
        QCOMPARE(editor->geometry(), grid->cellRect(row, col).translated(grid->pos()));
        QCOMPARE(s.focusWidget(), editor);
        QCOMPARE(int(program->data().editRow), row);
        QCOMPARE(int(program->data().editCol), col);

        // Every keystroke shows in the cell at once; what was there is replaced.
        QTest::keyClicks(editor, QStringLiteral("1"));
        QCOMPARE(grid->text(row, col), QStringLiteral("1"));
        QTest::keyClicks(editor, QStringLiteral("5"));
        QCOMPARE(grid->text(row, col), QStringLiteral("15"));

        // A header cell opens nothing and leaves the cell under edit as it was.
        grid->clickCell(0, col);
        QCOMPARE(int(program->data().editRow), row);
        Find<QPushButton>(s, QStringLiteral("戻るボタン"))->click();
    }

    void scrollHidesTheEditorAndKeepsTheText_data() {
        QTest::addColumn<QString>("gridName");
        QTest::addColumn<QString>("editorName");
        QTest::addColumn<int>("col");
        QTest::newRow("class grid") << "グリッドクラス名"
                                    << "Text3" << 0;
        QTest::newRow("gate grid") << "グリッドV数"
                                   << "Text1" << 1;
    }

    void scrollHidesTheEditorAndKeepsTheText() {
        QFETCH(QString, gridName);
        QFETCH(QString, editorName);
        QFETCH(int, col);
        SettingsScreen& s = loadAndOpen();
        // Twelve gates are more rows than the gate grid shows.
        pick(Find<QComboBox>(s, QStringLiteral("ゲート数")), QStringLiteral("12"));
        auto* grid = Control<ui::Grid>(s, gridName);
        auto* editor = Control<QLineEdit>(s, editorName);
        grid->clickCell(1, col);
        QTest::keyClicks(editor, QStringLiteral("3"));
        QScrollBar* bar = grid->verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > 0);
        bar->setValue(bar->maximum());
        QVERIFY(editor->isHidden());
        QCOMPARE(grid->text(1, col), QStringLiteral("3"));
        Find<QPushButton>(s, QStringLiteral("戻るボタン"))->click();
    }

    void classCountFromTheGrid_data() {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("tabs");
        QTest::newRow("gap after B")
            << QStringList{"A", "B", "", "D"} << 2 << QStringList{"A", "B"};
        QTest::newRow("all nine") << QStringList{"1", "2", "3", "4", "5", "6", "7", "8", "9"} << 9
                                  << QStringList{"1", "2", "3", "4", "5", "6", "7", "8", "9"};
        // The one tab is still made, captioned with the class name held for class 1.
        QTest::newRow("row 1 empty") << QStringList{"", "B"} << 0 << QStringList{"男子"};
    }

    void classCountFromTheGrid() {
        QFETCH(QStringList, rows);
        QFETCH(int, count);
        QFETCH(QStringList, tabs);
        SettingsScreen& s = loadAndOpen();
        ui::Grid* classes = Find<ui::Grid>(s, QStringLiteral("グリッドクラス名"));
        for (int k = 1; k <= 9; ++k) classes->setText(k, 0, k <= rows.size() ? rows[k - 1] : "");

        Find<QPushButton>(s, QStringLiteral("Command1"))->click();
        QCOMPARE(ShownNames(*program), QStringList{"処理画面"});
        QCOMPARE(int(program->data().classCount), count);
        QCOMPARE(TabCaptions(Find<ui::TabStrip>(processing(), QStringLiteral("タブ"))), tabs);
        for (int k = 0; k < 10; ++k)
            QCOMPARE(
                Find<QWidget>(processing(), QStringLiteral("絵"), k)->isVisibleTo(&processing()),
                k < count);

        auto book = savedFile();
        QVERIFY(book);
        const sheet::Worksheet& ws = *book->worksheet(1);
        QCOMPARE(ws.value(2, 27).number, double(count));
        for (int k = 1; k <= count; ++k)
            QCOMPARE(QString::fromStdString(ws.text(k + 1, 28)), rows[k - 1]);
        // The names of the loaded classes beyond the new count stay in the file.
        for (int k = count + 1; k <= 5; ++k)
            QCOMPARE(QString::fromStdString(ws.text(k + 1, 28)), kFiveClasses[k - 1]);
        QCOMPARE(ui::testing::Messages(), QStringList{});
    }

    // Rows below the class count are emptied when the grid is filled, so names of a competition
    // loaded earlier in the same run are not taken as classes.
    void classesOfAnEarlierCompetitionAreNotTaken() {
        SettingsScreen& first = loadAndOpen();
        Find<QPushButton>(first, QStringLiteral("戻るボタン"))->click();
        Find<QPushButton>(processing(), QStringLiteral("終了ボタン"))->click();
        SettingsScreen& s = loadAndOpen(QStringLiteral("second.xlsx"), {"一般", "学生"});
        QCOMPARE(Column(Find<ui::Grid>(s, QStringLiteral("グリッドクラス名")), 0, 1, 9),
                 (QStringList{"一般", "学生", "", "", "", "", "", "", ""}));
        Find<QPushButton>(s, QStringLiteral("Command1"))->click();
        QCOMPARE(int(program->data().classCount), 2);
        QCOMPARE(TabCaptions(Find<ui::TabStrip>(processing(), QStringLiteral("タブ"))),
                 (QStringList{"一般", "学生"}));
    }

    // A class typed below the loaded ones stays when the gate count box is touched afterwards,
    // and is taken by the set action.
    void classTypedBelowTheCountSurvivesTheGateCountBox() {
        SettingsScreen& s = loadAndOpen(QStringLiteral("race.xlsx"), {"男子", "女子", "少年"});
        ui::Grid* classes = Find<ui::Grid>(s, QStringLiteral("グリッドクラス名"));
        const QPoint cell = classes->cellRect(4, 0).center() - classes->viewport()->pos();
        QTest::mouseClick(classes->viewport(), Qt::LeftButton, {}, cell);
        QVERIFY(Find<QLineEdit>(s, QStringLiteral("Text3"))->isVisible());
        // Typed with the input method, which commits the name to the editor.
        QInputMethodEvent commit;
        commit.setCommitString(QStringLiteral("壮年"));
        QCoreApplication::sendEvent(Find<QLineEdit>(s, QStringLiteral("Text3")), &commit);
        QCOMPARE(classes->text(4, 0), QStringLiteral("壮年"));
        Find<QComboBox>(s, QStringLiteral("ゲート数"))->setFocus();
        QTest::keyClick(Find<QComboBox>(s, QStringLiteral("ゲート数")), Qt::Key_End);
        QCOMPARE(classes->text(4, 0), QStringLiteral("壮年"));
        Find<QPushButton>(s, QStringLiteral("Command1"))->click();
        QCOMPARE(int(program->data().classCount), 4);
        QCOMPARE(TabCaptions(Find<ui::TabStrip>(processing(), QStringLiteral("タブ"))),
                 (QStringList{"男子", "女子", "少年", "壮年"}));
    }

    // Applying after a second load writes the second workbook's name, venue and date.
    void aReloadAppliesTheNewWorkbooksDetails() {
        SettingsScreen& first = loadAndOpen();
        Find<QPushButton>(first, QStringLiteral("Command1"))
            ->click();  // hidden, kept for the next opening
        Find<QPushButton>(processing(), QStringLiteral("終了ボタン"))->click();
        TestWorkbook wb(dir->file("second.xlsx"));
        wb.competitor(1, 3, QStringLiteral("選手"));
        wb.settings(QStringLiteral("2"), {2, 2}, {QStringLiteral("一般")});
        wb.text(1, 26, QStringLiteral("第二大会")).text(2, 26, QStringLiteral("別の会場"));
        wb.date(3, 26, 2027, 1, 9);
        wb.save();
        Load(*program, wb.qpath());
        Find<QPushButton>(processing(), QStringLiteral("基本設定ボタン"))->click();
        SettingsScreen& s = program->settingsScreen();
        QCOMPARE(Find<QLineEdit>(s, QStringLiteral("大会名称"))->text(),
                 QStringLiteral("第二大会"));
        Find<QPushButton>(s, QStringLiteral("Command1"))->click();
        auto book = savedFile();
        QVERIFY(book);
        const sheet::Worksheet& ws = *book->worksheet(1);
        QCOMPARE(QString::fromStdString(ws.text(1, 26)), QStringLiteral("第二大会"));
        QCOMPARE(QString::fromStdString(ws.text(2, 26)), QStringLiteral("別の会場"));
        QCOMPARE(ws.value(3, 26).date(), (sheet::Date{2027, 1, 9}));
        QCOMPARE(ui::testing::Messages(), QStringList{});
    }

    void buoyRenamedAndRescored_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("score");
        QTest::newRow("15") << "15" << 15;
        QTest::newRow("7.5 to even 8") << "7.5" << 8;
        QTest::newRow("12.5 to even 12") << "12.5" << 12;
        QTest::newRow("13.5 to even 14") << "13.5" << 14;
        QTest::newRow("no number") << "abc" << 0;
    }

    void buoyRenamedAndRescored() {
        QFETCH(QString, typed);
        QFETCH(int, score);
        SettingsScreen& s = loadAndOpen();
        Find<ui::Grid>(s, QStringLiteral("グリッドV名"))->clickCell(4, 1);
        // Japanese text arrives through the input method as a whole.
        QInputMethodEvent commit;
        commit.setCommitString(QStringLiteral("青"));
        QCoreApplication::sendEvent(Find<QLineEdit>(s, QStringLiteral("Text2")), &commit);
        Find<ui::Grid>(s, QStringLiteral("グリッドV名"))->clickCell(4, 2);
        QTest::keyClicks(Find<QLineEdit>(s, QStringLiteral("Text2")), typed);
        Find<QPushButton>(s, QStringLiteral("Command1"))->click();

        QCOMPARE(program->data().buoyName[4], QStringLiteral("青"));
        QCOMPARE(int(program->data().buoyScore[4]), score);
        QCOMPARE(Find<QLabel>(processing(), QStringLiteral("ブイポイント"), 3)->text(),
                 QStringLiteral("(%1)").arg(score));
        QTRY_COMPARE(Find<QRadioButton>(processing(), QStringLiteral("ブイ"), 3)->text(),
                     QStringLiteral("青"));
        QVERIFY(Find<QLineEdit>(s, QStringLiteral("Text1"))->isHidden() &&
                Find<QLineEdit>(s, QStringLiteral("Text2"))->isHidden() &&
                Find<QLineEdit>(s, QStringLiteral("Text3"))->isHidden());

        auto book = savedFile();
        QVERIFY(book);
        const sheet::Worksheet& ws = *book->worksheet(1);
        QCOMPARE(QString::fromStdString(ws.text(5, 21)), QStringLiteral("青"));
        QCOMPARE(ws.value(5, 22).type, sheet::ValueType::Number);
        QCOMPARE(ws.value(5, 22).number, double(score));

        // The screen was hidden, not discarded: it comes back as it was left.
        Find<QPushButton>(processing(), QStringLiteral("基本設定ボタン"))->click();
        QCOMPARE(&program->settingsScreen(), &s);
        QCOMPARE(Find<ui::Grid>(s, QStringLiteral("グリッドV名"))->text(4, 2), typed);
        Find<QPushButton>(s, QStringLiteral("戻るボタン"))->click();
    }

    void gatesSevenToFourAndBackToSix() {
        SettingsScreen& s = loadAndOpen();
        ui::Grid* results = Find<ui::Grid>(processing(), QStringLiteral("グリッド結果"));
        QCOMPARE(results->cols(), 12);
        const QStringList row1 = RowTexts(results, 1, 0, 8);
        QCOMPARE(row1.mid(5), (QStringList{"2", "3", "4", "5"}));
        pick(Find<QComboBox>(s, QStringLiteral("ゲート数")), QStringLiteral("4"));
        Find<QPushButton>(s, QStringLiteral("Command1"))->click();

        for (int g = 0; g < 12; ++g) {
            QCOMPARE(Find<QRadioButton>(processing(), QStringLiteral("Gop"), g)
                         ->isVisibleTo(&processing()),
                     g < 4);
            QCOMPARE(
                Find<QLabel>(processing(), QStringLiteral("色"), g)->isVisibleTo(&processing()),
                g < 4);
        }
        QCOMPARE(results->cols(), 9);
        QCOMPARE(results->text(0, 8), QStringLiteral("GNo.4"));
        QCOMPARE(RowTexts(results, 1, 0, 8), row1);
        QCOMPARE(program->data().appliedGateCount, 4);

        auto book = savedFile();
        QVERIFY(book);
        const sheet::Worksheet& ws = *book->worksheet(1);
        QCOMPARE(ws.value(2, 23).type, sheet::ValueType::Text);
        QCOMPARE(ws.value(2, 23).text, std::string("4"));
        QList<double> counts;
        for (int r = 2; r <= 8; ++r) counts << ws.value(r, 24).number;
        QCOMPARE(counts, (QList<double>{1, 2, 3, 4, 5, 1, 2}));

        // More gates again, the count pasted into the box rather than picked: it is taken as a
        // picked one; columns come back at the right, the kept ones keep their texts.
        Find<QPushButton>(processing(), QStringLiteral("基本設定ボタン"))->click();
        Find<QComboBox>(s, QStringLiteral("ゲート数"))->setCurrentText(QStringLiteral("6"));
        Find<QPushButton>(s, QStringLiteral("Command1"))->click();
        QCOMPARE(results->cols(), 11);
        QCOMPARE(RowTexts(results, 1, 0, 10), row1 + QStringList({"", ""}));
        QCOMPARE(results->text(0, 10), QStringLiteral("GNo.6"));
        QCOMPARE(int(program->data().gateCount), 6);
        QVERIFY(
            Find<QRadioButton>(processing(), QStringLiteral("Gop"), 5)->isVisibleTo(&processing()));
    }

    // The button takes the focus from the gate grid's editor; its check stores the typed count
    // before the set action writes it (a refused count is emptied and the stored one written).
    void pressedWhileTheGateEditorHoldsACount_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("focusMovesFirst");
        QTest::addColumn<bool>("windowSwitched");
        QTest::addColumn<int>("stored");
        QTest::newRow("new count") << "1" << false << false << 1;
        QTest::newRow("6 refused") << "6" << false << false << 2;
        // As with a mouse press: the editor loses the focus before the button acts. The check
        // must not run a second time and take the emptied cell as 0.
        QTest::newRow("new count, focus moved") << "1" << true << false << 1;
        QTest::newRow("6 refused, focus moved") << "6" << true << false << 2;
        // Another window was active for a while: the edit did not end then.
        QTest::newRow("6 refused, window switched") << "6" << true << true << 2;
    }

    void pressedWhileTheGateEditorHoldsACount() {
        QFETCH(QString, typed);
        QFETCH(bool, focusMovesFirst);
        QFETCH(bool, windowSwitched);
        QFETCH(int, stored);
        SettingsScreen& s = loadAndOpen();
        Find<ui::Grid>(s, QStringLiteral("グリッドV数"))->clickCell(2, 1);
        QTest::keyClicks(Find<QLineEdit>(s, QStringLiteral("Text1")), typed);
        if (windowSwitched) {
            QFocusEvent away(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
            QCoreApplication::sendEvent(Find<QLineEdit>(s, QStringLiteral("Text1")), &away);
            QFocusEvent back(QEvent::FocusIn, Qt::ActiveWindowFocusReason);
            QCoreApplication::sendEvent(Find<QLineEdit>(s, QStringLiteral("Text1")), &back);
        }
        if (focusMovesFirst) {
            QFocusEvent out(QEvent::FocusOut, Qt::MouseFocusReason);
            QCoreApplication::sendEvent(Find<QLineEdit>(s, QStringLiteral("Text1")), &out);
        }
        Find<QPushButton>(s, QStringLiteral("Command1"))->click();
        QCOMPARE(int(program->data().gateBuoyCount[2]), stored);
        auto book = savedFile();
        QVERIFY(book);
        QCOMPARE(book->worksheet(1)->value(3, 24).number, double(stored));
        QCOMPARE(ui::testing::Messages(), QStringList{});
    }

    void refusedBeforeAnythingIsApplied_data() {
        QTest::addColumn<int>("what");
        QTest::addColumn<QString>("named");
        QTest::newRow("score above 32767") << 0 << "ﾌﾞｲ 2（い）の得点「40000」";
        QTest::newRow("score below -32768") << 1 << "ﾌﾞｲ 2（い）の得点「-40000」";
        QTest::newRow("gate count over 12 pasted") << 2 << "「15」";
    }

    void refusedBeforeAnythingIsApplied() {
        QFETCH(int, what);
        QFETCH(QString, named);
        SettingsScreen& s = loadAndOpen();
        Find<QLineEdit>(s, QStringLiteral("大会名称"))->setText(QStringLiteral("新しい名前"));
        Find<ui::Grid>(s, QStringLiteral("グリッドV名"))->setText(1, 1, QStringLiteral("新ブイ"));
        if (what == 0)
            Find<ui::Grid>(s, QStringLiteral("グリッドV名"))
                ->setText(2, 2, QStringLiteral("40000"));
        if (what == 1)
            Find<ui::Grid>(s, QStringLiteral("グリッドV名"))
                ->setText(2, 2, QStringLiteral("-40000"));
        // Set without a key or a pick, as pasting with the mouse does.
        if (what == 2)
            Find<QComboBox>(s, QStringLiteral("ゲート数"))->setCurrentText(QStringLiteral("15"));
        Find<QPushButton>(s, QStringLiteral("Command1"))->click();

        QCOMPARE(ui::testing::Messages().size(), 1);
        QVERIFY2(ui::testing::Messages().first().contains(named),
                 qPrintable(ui::testing::Messages().first()));
        QCOMPARE(ShownNames(*program), QStringList{"設定画面"});
        QCOMPARE(program->data().eventName, QStringLiteral("テスト大会"));
        QCOMPARE(program->data().buoyName[1], QStringLiteral("あ"));
        QCOMPARE(int(program->data().gateCount), 7);
        QVERIFY(!program->workbook()->hasUnsavedChanges());
        auto book = savedFile();
        QVERIFY(book);
        QCOMPARE(book->worksheet(1)->text(1, 26), std::string("テスト大会"));
        Find<QPushButton>(s, QStringLiteral("戻るボタン"))->click();
    }

    // After a cancelled first load there is no workbook: the data and the screens are updated
    // and one message says that nothing was written.
    void withoutAWorkbook() {
        Load(*program, std::nullopt);
        Find<QPushButton>(processing(), QStringLiteral("基本設定ボタン"))->click();
        SettingsScreen& s = program->settingsScreen();
        Find<QLineEdit>(s, QStringLiteral("大会名称"))->setText(QStringLiteral("仮の大会"));
        Find<ui::Grid>(s, QStringLiteral("グリッドクラス名"))->setText(1, 0, QStringLiteral("A"));
        Find<QPushButton>(s, QStringLiteral("Command1"))->click();
        QCOMPARE(ShownNames(*program), QStringList{"処理画面"});
        QCOMPARE(program->data().eventName, QStringLiteral("仮の大会"));
        QCOMPARE(TabCaptions(Find<ui::TabStrip>(processing(), QStringLiteral("タブ"))),
                 QStringList{"A"});
        QCOMPARE(ui::testing::Messages().size(), 2);
        QVERIFY(ui::testing::Messages().last().contains(QStringLiteral("書き込みませんでした")));
    }

    // A save that fails keeps everything in memory; the next set action saves it all.
    void detailsSavedByTheNextSaveAfterAFailedOne() {
        SettingsScreen& s = loadAndOpen();
        Find<QLineEdit>(s, QStringLiteral("大会名称"))->setText(QStringLiteral("春季大会"));
        Find<QComboBox>(s, QStringLiteral("場所コンボ"))
            ->setCurrentText(QStringLiteral("ミルネ温泉スキー場"));
        Find<QDateEdit>(s, QStringLiteral("開催日"))->setDate(QDate(2026, 3, 1));
        sheet::Workbook::setSaveFaultForTesting(sheet::Workbook::SaveFault::DuringWrite);
        Find<QPushButton>(s, QStringLiteral("Command1"))->click();
        QCOMPARE(ui::testing::Messages().size(), 1);
        QVERIFY(ui::testing::Messages().first().contains(QStringLiteral("race.xlsx")));
        QCOMPARE(ShownNames(*program), QStringList{"処理画面"});
        QCOMPARE(program->data().eventName, QStringLiteral("春季大会"));
        QCOMPARE(program->data().eventVenue, QStringLiteral("ミルネ温泉スキー場"));
        QCOMPARE(program->data().eventDate, QStringLiteral("2026/03/01"));
        QCOMPARE(savedFile()->worksheet(1)->text(1, 26), std::string("テスト大会"));

        sheet::Workbook::setSaveFaultForTesting(sheet::Workbook::SaveFault::None);
        Find<QPushButton>(processing(), QStringLiteral("基本設定ボタン"))->click();
        Find<QPushButton>(s, QStringLiteral("Command1"))->click();
        QCOMPARE(ui::testing::Messages().size(), 1);
        auto book = savedFile();
        QVERIFY(book);
        const sheet::Worksheet& ws = *book->worksheet(1);
        QCOMPARE(ws.text(1, 26), std::string("春季大会"));
        QCOMPARE(ws.text(2, 26), std::string("ミルネ温泉スキー場"));
        QCOMPARE(ws.value(3, 26).type, sheet::ValueType::Date);
        QVERIFY((ws.value(3, 26).date() == sheet::Date{2026, 3, 1}));
    }

    // Another program reads what the set action saved, with the types it was written with.
    void savedFileReadByAnotherProgram() {
        if (!haveOpenpyxl()) QSKIP("openpyxl is not installed");
        SettingsScreen& s = loadAndOpen();
        Find<QLineEdit>(s, QStringLiteral("大会名称"))->setText(QStringLiteral("第1回 記念大会"));
        Find<QPushButton>(s, QStringLiteral("Command1"))->click();
        const std::string script =
            "import openpyxl,sys; ws=openpyxl.load_workbook(sys.argv[1]).worksheets[0]; "
            "print(ws.cell(1,26).value); print(type(ws.cell(2,23).value).__name__, "
            "type(ws.cell(2,22).value).__name__, type(ws.cell(3,26).value).__name__)";
        std::string out;
        const int rc = runCommand(
            "/usr/bin/python3 -c '" + script + "' '" + program->workbook()->path() + "'", &out);
        QCOMPARE(rc, 0);
        QCOMPARE(QString::fromStdString(out).trimmed(),
                 QStringLiteral("第1回 記念大会\nstr int datetime"));
    }
};

QTEST_MAIN(ApplySettingsTest)
#include "setup_apply_qtest.moc"
