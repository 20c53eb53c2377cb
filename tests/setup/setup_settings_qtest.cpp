// The settings screen after a load and on its own: what it shows, the gate count box and the
// gate grid, the buoy count check, and leaving it without applying.

#include <QComboBox>
#include <QDateEdit>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include "store/LoadTestSupport.h"
#include "support/Controls.h"
#include "ui/Twips.h"

using namespace testsupport;
using zalvik::Program;
using zalvik::SettingsScreen;

class SettingsTest : public QObject, public ProgramFixture {
    Q_OBJECT

  private:
    zalvik::ProcessingScreen& processing() { return program->processingScreen(); }

    // Loads a four-gate competition (3, 2, 5 and 4 buoys) and opens the settings screen.
    SettingsScreen& loadAndOpen(const std::function<void(TestWorkbook&)>& adjust = {}) {
        TestWorkbook wb(dir->file("race.xlsx"));
        wb.competitor(1, 5, QStringLiteral("選手"));
        wb.settings(QStringLiteral("4"), {3, 2, 5, 4},
                    {QStringLiteral("男子"), QStringLiteral("女子"), QStringLiteral("少年")});
        wb.date(3, 26, 2026, 2, 15);
        if (adjust) adjust(wb);
        wb.save();
        Load(*program, wb.qpath());
        Find<QPushButton>(processing(), QStringLiteral("基本設定ボタン"))->click();
        return program->settingsScreen();
    }

    static void pick(QComboBox* box, const QString& entry) {
        const int i = box->findText(entry);
        QVERIFY(i >= 0);
        box->setCurrentIndex(i);
        emit box->activated(i);
    }

    static void loseFocus(QWidget* w) {
        QFocusEvent out(QEvent::FocusOut, Qt::OtherFocusReason);
        QCoreApplication::sendEvent(w, &out);
    }

  private slots:
    void initTestCase() { zalvik::SetUpScreenFont(); }

    void init() { startProgram(); }

    void cleanup() { finishProgram(); }

    void layoutAndCaptions() {
        SettingsScreen& s = program->settingsScreen();
        // Showing the screen runs its load step.
        s.show();
        QCOMPARE(s.objectName(), QStringLiteral("設定画面"));
        QCOMPARE(s.windowTitle(), QStringLiteral("設定画面"));
        struct Expect {
            const char* name;
            const char* caption;
            ui::Rect r;
        };
        const Expect expected[] = {
            {"Label3", "大会名称", {165, 180, 960, 300}},
            {"大会名称", nullptr, {240, 645, 8775, 465}},
            {"Label4", "大会場所", {210, 345, 825, 270}},
            {"場所コンボ", nullptr, {195, 630, 3525, 345}},
            {"Label5", "開催日", {240, 1050, 735, 240}},
            {"開催日", nullptr, {225, 1305, 2070, 360}},
            {"Frame6", nullptr, {1875, 3690, 2355, 3510}},
            {"グリッドクラス名", nullptr, {255, 270, 1845, 2820}},
            {"Label2", "通過ﾌﾞｲ名称 ・ ﾎﾟｲﾝﾄ", {228, 552, 2280, 300}},
            {"グリッドV名", nullptr, {180, 1125, 2205, 2790}},
            {"Frame2", "ゲート数", {168, 270, 1800, 750}},
            {"ゲート数", nullptr, {270, 255, 855, 276}},
            {"Label1", "旗門", {1215, 345, 405, 255}},
            {"グリッドV数", nullptr, {132, 1092, 1836, 4152}},
            {"Command1", "選定完了", {7815, 7605, 915, 435}},
            {"戻るボタン", "戻る", {8880, 7620, 645, 420}},
        };
        const int tolerance = ui::PixelsToTwips(1) + 1;
        for (const Expect& e : expected) {
            QWidget* w = Control(s, QString::fromUtf8(e.name));
            QVERIFY2(w, e.name);
            const QRect g = ui::GeometryTwips(w);
            QVERIFY2(std::abs(g.left() - e.r.left) <= tolerance &&
                         std::abs(g.top() - e.r.top) <= tolerance &&
                         std::abs(g.width() - e.r.width) <= tolerance &&
                         std::abs(g.height() - e.r.height) <= tolerance,
                     e.name);
            if (!e.caption) continue;
            const QString caption = QString::fromUtf8(e.caption);
            if (auto* l = qobject_cast<QLabel*>(w)) QCOMPARE(l->text(), caption);
            if (auto* b = qobject_cast<QPushButton*>(w)) QCOMPARE(b->text(), caption);
            if (auto* f = qobject_cast<QGroupBox*>(w)) QCOMPARE(f->title(), caption);
        }
        QStringList gates;
        for (int i = 0; i < Find<QComboBox>(s, QStringLiteral("ゲート数"))->count(); ++i)
            gates << Find<QComboBox>(s, QStringLiteral("ゲート数"))->itemText(i);
        QCOMPARE(gates,
                 (QStringList{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12"}));
        QCOMPARE(Find<QComboBox>(s, QStringLiteral("場所コンボ"))->count(), 1);
        QCOMPARE(Find<QComboBox>(s, QStringLiteral("場所コンボ"))->itemText(0),
                 QStringLiteral("ミルネ温泉スキー場"));
        for (QWidget* editor : {Find<QLineEdit>(s, QStringLiteral("Text1")),
                                Find<QLineEdit>(s, QStringLiteral("Text2")),
                                Find<QLineEdit>(s, QStringLiteral("Text3"))})
            QVERIFY(editor->isHidden());
        // Nothing stored yet: the initial date, no gates, an empty venue.
        QCOMPARE(Find<QDateEdit>(s, QStringLiteral("開催日"))->date(), QDate(2002, 1, 7));
        QCOMPARE(Find<QDateEdit>(s, QStringLiteral("開催日"))->text(),
                 QStringLiteral("2002/01/07"));
        QCOMPARE(Find<QComboBox>(s, QStringLiteral("場所コンボ"))->currentText(), QString());
        QVERIFY(Find<ui::Grid>(s, QStringLiteral("グリッドV数"))->isHidden());

        // The grids as their set-up procedures shape them.
        ui::Grid* buoys = Find<ui::Grid>(s, QStringLiteral("グリッドV名"));
        QCOMPARE(buoys->rows(), 6);
        QCOMPARE(buoys->cols(), 3);
        QCOMPARE(Column(buoys, 0, 0, 5),
                 (QStringList{"ﾌﾞｲNo", "ﾌﾞｲ 1", "ﾌﾞｲ 2", "ﾌﾞｲ 3", "ﾌﾞｲ 4", "ﾌﾞｲ 5"}));
        QCOMPARE(buoys->text(0, 1), QStringLiteral(" 判別名"));
        QCOMPARE(buoys->text(0, 2), QStringLiteral(" 得点"));
        QCOMPARE(buoys->colWidth(1), 850);
        QCOMPARE(buoys->rowHeightTwips(3), 450);
        ui::Grid* classes = Find<ui::Grid>(s, QStringLiteral("グリッドクラス名"));
        QCOMPARE(classes->rows(), 10);
        QCOMPARE(classes->cols(), 1);
        QCOMPARE(classes->fixedCols(), 0);
        QCOMPARE(classes->text(0, 0), QStringLiteral("クラス名称"));
        QCOMPARE(classes->colWidth(0), 1460);
        program->settingsScreen().hide();
    }

    void showsTheLoadedCompetition() {
        SettingsScreen& s = loadAndOpen();
        QCOMPARE(ShownNames(*program), QStringList{"設定画面"});
        QCOMPARE(Find<QLineEdit>(s, QStringLiteral("大会名称"))->text(),
                 QStringLiteral("テスト大会"));
        // A venue other than the list entry is the box's text.
        QCOMPARE(Find<QComboBox>(s, QStringLiteral("場所コンボ"))->currentText(),
                 QStringLiteral("テスト会場"));
        QCOMPARE(Find<QDateEdit>(s, QStringLiteral("開催日"))->date(), QDate(2026, 2, 15));
        QCOMPARE(Find<QComboBox>(s, QStringLiteral("ゲート数"))->currentText(),
                 QStringLiteral("4"));
        ui::Grid* gates = Find<ui::Grid>(s, QStringLiteral("グリッドV数"));
        QVERIFY(gates->isVisible());
        QCOMPARE(gates->rows(), 5);
        QCOMPARE(gates->text(0, 0), QStringLiteral(" GNo"));
        QCOMPARE(gates->text(0, 1), QStringLiteral(" ﾌﾞｲ数"));
        QCOMPARE(Column(gates, 0, 1, 4), (QStringList{"1", "2", "3", "4"}));
        QCOMPARE(Column(gates, 1, 1, 4), (QStringList{"3", "2", "5", "4"}));
        QCOMPARE(Column(Find<ui::Grid>(s, QStringLiteral("グリッドV名")), 1, 1, 5),
                 (QStringList{"あ", "い", "う", "え", "お"}));
        QCOMPARE(Column(Find<ui::Grid>(s, QStringLiteral("グリッドV名")), 2, 1, 5),
                 (QStringList{"2", "3", "4", "5", "6"}));
        QCOMPARE(Column(Find<ui::Grid>(s, QStringLiteral("グリッドクラス名")), 0, 1, 4),
                 (QStringList{"男子", "女子", "少年", ""}));

        // Leaving and coming back rebuilds the screen from the data: a typed name is lost.
        Find<QLineEdit>(s, QStringLiteral("大会名称"))->setText(QStringLiteral("打ちかけ"));
        Find<QPushButton>(s, QStringLiteral("戻るボタン"))->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!program->hasSettingsScreen());
        QCOMPARE(ShownNames(*program), QStringList{"処理画面"});
        Find<QPushButton>(processing(), QStringLiteral("基本設定ボタン"))->click();
        SettingsScreen& again = program->settingsScreen();
        QCOMPARE(Find<QLineEdit>(again, QStringLiteral("大会名称"))->text(),
                 QStringLiteral("テスト大会"));
        QCOMPARE(Column(Find<ui::Grid>(again, QStringLiteral("グリッドV数")), 1, 1, 4),
                 (QStringList{"3", "2", "5", "4"}));
        Find<QPushButton>(again, QStringLiteral("戻るボタン"))->click();
    }

    void pickingAGateCountReshapesAtOnceAndBackUndoesIt() {
        SettingsScreen& s = loadAndOpen();
        pick(Find<QComboBox>(s, QStringLiteral("ゲート数")), QStringLiteral("5"));
        QCOMPARE(program->data().gateCount, 5);
        ui::Grid* gates = Find<ui::Grid>(s, QStringLiteral("グリッドV数"));
        QCOMPARE(gates->rows(), 6);
        QCOMPARE(Column(gates, 0, 1, 5), (QStringList{"1", "2", "3", "4", "5"}));
        QCOMPARE(gates->text(5, 1), QString());

        // A key released in the box refreshes the tables and the processing screen's options.
        QTest::keyClick(Find<QComboBox>(s, QStringLiteral("ゲート数")), Qt::Key_End);
        QCOMPARE(gates->text(5, 1), QStringLiteral("0"));
        QVERIFY(
            Find<QRadioButton>(processing(), QStringLiteral("Gop"), 4)->isVisibleTo(&processing()));

        // Back without applying: the processing screen's grid still has four gates, and so does
        // the data again.
        Find<QPushButton>(s, QStringLiteral("戻るボタン"))->click();
        QCOMPARE(program->data().gateCount, 4);
        QCOMPARE(Find<ui::Grid>(processing(), QStringLiteral("グリッド結果"))->cols(), 9);
        for (int g = 0; g < 12; ++g)
            QCOMPARE(Find<QRadioButton>(processing(), QStringLiteral("Gop"), g)->isVisible(),
                     g < 4);
    }

    void gateCountsOnTheBox_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("gateCount");
        QTest::addColumn<bool>("gridShown");
        QTest::addColumn<bool>("refused");
        QTest::newRow("zero hides the grid") << "0" << 4 << false << false;
        QTest::newRow("typed 6 reshapes first") << "6" << 6 << true << false;
        // Typed key by key: "1" is taken first, "13" is then refused and the box goes back to 1.
        QTest::newRow("13 refused") << "13" << 1 << true << true;
        QTest::newRow("negative refused") << "-2" << 4 << true << true;
        // A fraction is taken as its nearest whole number, by the grid and the tables alike.
        QTest::newRow("4.6 is five gates") << "4.6" << 5 << true << false;
        QTest::newRow("12.5 is twelve gates") << "12.5" << 12 << true << false;
    }

    void gateCountsOnTheBox() {
        QFETCH(QString, typed);
        QFETCH(int, gateCount);
        QFETCH(bool, gridShown);
        QFETCH(bool, refused);
        SettingsScreen& s = loadAndOpen();
        Find<QComboBox>(s, QStringLiteral("ゲート数"))->setFocus();
        Find<QComboBox>(s, QStringLiteral("ゲート数"))->lineEdit()->selectAll();
        QTest::keyClicks(Find<QComboBox>(s, QStringLiteral("ゲート数")), typed);
        QCOMPARE(int(program->data().gateCount), gateCount);
        QCOMPARE(Find<ui::Grid>(s, QStringLiteral("グリッドV数"))->isVisible(), gridShown);
        if (gridShown) {
            QCOMPARE(Find<ui::Grid>(s, QStringLiteral("グリッドV数"))->rows(), gateCount + 1);
            // Every gate row has its buoy count filled in.
            for (int g = 1; g <= gateCount; ++g)
                QVERIFY(!Find<ui::Grid>(s, QStringLiteral("グリッドV数"))->text(g, 1).isEmpty());
        }
        QCOMPARE(ui::testing::Messages().size(), refused ? 1 : 0);
        if (refused) {
            QVERIFY(ui::testing::Messages().first().contains(QStringLiteral("12")));
            QCOMPARE(Find<QComboBox>(s, QStringLiteral("ゲート数"))->currentText(),
                     QString::number(gateCount));
        }
        for (int g = 0; g < 12; ++g)
            QCOMPARE(Find<QRadioButton>(processing(), QStringLiteral("Gop"), g)
                         ->isVisibleTo(&processing()),
                     g < gateCount);
        Find<QPushButton>(s, QStringLiteral("戻るボタン"))->click();
    }

    void buoyCountEditorCheck_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("cell");
        QTest::addColumn<int>("stored");
        QTest::newRow("3 taken") << "3"
                                 << "3" << 3;
        QTest::newRow("6 refused") << "6"
                                   << "" << 2;
        QTest::newRow("negative taken") << "-1"
                                        << "-1" << -1;
    }

    void buoyCountEditorCheck() {
        QFETCH(QString, typed);
        QFETCH(QString, cell);
        QFETCH(int, stored);
        SettingsScreen& s = loadAndOpen();
        Find<ui::Grid>(s, QStringLiteral("グリッドV数"))->clickCell(2, 1);
        QTest::keyClicks(Find<QLineEdit>(s, QStringLiteral("Text1")), typed);
        loseFocus(Find<QLineEdit>(s, QStringLiteral("Text1")));
        QCOMPARE(Find<ui::Grid>(s, QStringLiteral("グリッドV数"))->text(2, 1), cell);
        QCOMPARE(int(program->data().gateBuoyCount[2]), stored);
        QCOMPARE(ui::testing::Messages(), QStringList{});
        Find<QPushButton>(s, QStringLiteral("戻るボタン"))->click();
    }

    void gateOptionsFollowTheGateCount() {
        SettingsScreen& s = loadAndOpen();
        pick(Find<QComboBox>(s, QStringLiteral("ゲート数")), QStringLiteral("12"));
        s.FillSettingsTables();
        for (int g = 0; g < 12; ++g)
            QVERIFY(Find<QRadioButton>(processing(), QStringLiteral("Gop"), g)
                        ->isVisibleTo(&processing()));
        pick(Find<QComboBox>(s, QStringLiteral("ゲート数")), QStringLiteral("5"));
        s.FillSettingsTables();
        for (int g = 0; g < 12; ++g) {
            QCOMPARE(Find<QRadioButton>(processing(), QStringLiteral("Gop"), g)
                         ->isVisibleTo(&processing()),
                     g < 5);
            QCOMPARE(
                Find<QLabel>(processing(), QStringLiteral("色"), g)->isVisibleTo(&processing()),
                g < 5);
        }
        QCOMPARE(Find<QRadioButton>(processing(), QStringLiteral("Gop"), 4)->text(),
                 QStringLiteral(" 5"));
        Find<QPushButton>(s, QStringLiteral("戻るボタン"))->click();
    }

    // After a cancelled first load there is no workbook: the counts held in memory are shown.
    void withoutAWorkbookTheHeldCountsStand() {
        Load(*program, std::nullopt);
        program->data().gateCount = 3;
        program->data().gateBuoyCount[1] = 4;
        Find<QPushButton>(processing(), QStringLiteral("基本設定ボタン"))->click();
        SettingsScreen& s = program->settingsScreen();
        QCOMPARE(Column(Find<ui::Grid>(s, QStringLiteral("グリッドV数")), 1, 1, 3),
                 (QStringList{"4", "0", "0"}));
        QCOMPARE(ui::testing::Messages(),
                 QStringList{"キャンセルボタンが押されましたので戻ります。"});
        QTest::keyClick(Find<QComboBox>(s, QStringLiteral("ゲート数")), Qt::Key_End);
        QCOMPARE(program->data().gateBuoyCount[1], 4);
        Find<QPushButton>(s, QStringLiteral("戻るボタン"))->click();
    }

    // Reopened after 戻るボタン, the screen reads the buoys per gate again; a cell that cannot be
    // read is named, and the other gates still show.
    void unreadableBuoyCountOnReopening() {
        SettingsScreen& s = loadAndOpen();
        Find<QPushButton>(s, QStringLiteral("戻るボタン"))->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        program->workbook()->worksheet(1)->setText(4, 24, "たくさん");
        Find<QPushButton>(processing(), QStringLiteral("基本設定ボタン"))->click();
        SettingsScreen& again = program->settingsScreen();
        QCOMPARE(ui::testing::Messages().size(), 1);
        QVERIFY(ui::testing::Messages().first().contains(QStringLiteral("X4")));
        QCOMPARE(Column(Find<ui::Grid>(again, QStringLiteral("グリッドV数")), 1, 1, 4),
                 (QStringList{"3", "2", "5", "4"}));
        QCOMPARE(Column(Find<ui::Grid>(again, QStringLiteral("グリッドV名")), 1, 1, 2),
                 (QStringList{"あ", "い"}));
        Find<QPushButton>(again, QStringLiteral("戻るボタン"))->click();
    }

    void closeBoxIsLikeBack() {
        SettingsScreen& s = loadAndOpen();
        pick(Find<QComboBox>(s, QStringLiteral("ゲート数")), QStringLiteral("7"));
        s.close();
        QCOMPARE(ShownNames(*program), QStringList{"処理画面"});
        QCOMPARE(program->data().gateCount, 4);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!program->hasSettingsScreen());
    }

    // A picture of the screen after loading the example, for a person to look at.
    void pictureAfterTheExample() {
        TestWorkbook wb(dir->file("example.xlsx"));
        wb.example();
        wb.save();
        Load(*program, wb.qpath());
        Find<QPushButton>(processing(), QStringLiteral("基本設定ボタン"))->click();
        SettingsScreen& s = program->settingsScreen();
        QVERIFY(s.grab().save(QStringLiteral("/tmp/zalvik-settings-screen.png")));
        Find<QPushButton>(s, QStringLiteral("戻るボタン"))->click();
    }
};

QTEST_MAIN(SettingsTest)
#include "setup_settings_qtest.moc"
