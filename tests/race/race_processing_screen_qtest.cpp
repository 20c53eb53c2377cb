// The processing screen: its layout, class tabs and pages, the results grid and competitor
// list, the standings as shown, and the navigation of its buttons.

#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QtTest>
#include <memory>

#include "app/DataLoadScreen.h"
#include "app/Screens.h"
#include "output/OutputScreen.h"
#include "race/ProcessingScreen.h"
#include "setup/SettingsScreen.h"
#include "sheet/Workbook.h"
#include "support/Controls.h"
#include "support/TestFiles.h"
#include "ui/Dialogs.h"
#include "ui/Grid.h"
#include "ui/TabStrip.h"
#include "ui/Twips.h"

using testsupport::Find;
using zalvik::Competition;
using zalvik::ProcessingScreen;
using zalvik::Program;

namespace {

struct Person {
    int16_t bib;
    const char* name;
    const char* affiliation;
    int classNo;  // 0: no class cell
    float racePoints;
    int16_t status;
};

// A small race: three classes, a dozen competitors.
void FillRace(Competition& d) {
    const char* const classes[] = {"一般男子", "一般女子", "ジュニア"};
    d.classCount = 3;
    for (int k = 1; k <= 3; ++k) d.className[k] = QString::fromUtf8(classes[k - 1]);
    const Person people[] = {
        {3, "山田　太郎", "白馬スキークラブ", 1, 310.25f, 0},
        {7, "佐藤　一郎", "八方尾根ＳＣ", 1, 307.5f, 0},
        {12, "鈴木　健", "北海道大学", 1, 307.5f, 0},
        {15, "高橋　誠", "志賀高原ＳＣ", 1, 0, 0},
        {21, "田中　花子", "蔵王スキー学校", 2, 288.87f, 0},
        {22, "伊藤　美咲", "野沢温泉ＳＣ", 2, 5.0f, 0},
        {23, "渡辺　愛", "妙高ＳＣ", 2, 0, 1},
        {31, "中村　翔", "ニセコジュニア", 3, 412.3f, 0},
        {32, "小林　大輝", "岩岳ジュニア", 3, 398.0f, 2},
        {33, "加藤　蓮", "菅平ジュニア", 3, 0, 0},
        {34, "吉田　陽斗", "苗場ジュニア", 3, 1234.5f, 0},
        {40, "山本　悠", "クラブ未登録", 0, 350.0f, 0},
    };
    d.competitorCount = 0;
    for (const Person& p : people) {
        zalvik::Competitor& who = d.competitors[++d.competitorCount];
        who.bib = p.bib;
        who.name = QString::fromUtf8(p.name);
        who.affiliation = QString::fromUtf8(p.affiliation);
        who.classNo =
            p.classNo ? zalvik::ClassValue::ofNumber(p.classNo) : zalvik::ClassValue::empty();
        who.racePoints = p.racePoints;
        who.status = p.status;
    }
}

QStringList RowTexts(const ui::Grid* g, int row) {
    QStringList texts;
    for (int c = 0; c < g->cols(); ++c) texts << g->text(row, c);
    return texts;
}

}  // namespace

class ProcessingScreenTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Program> program_;

    ProcessingScreen& screen() { return program_->processingScreen(); }
    template <typename T>
    T* find(const QString& name) {
        return testsupport::Find<T>(screen(), name);
    }

  private slots:
    void initTestCase() { zalvik::SetUpScreenFont(); }
    void init() {
        program_ = std::make_unique<Program>();
        ui::testing::EnableDialogHooks(true);
    }
    void cleanup() {
        ui::testing::SetSpreadsheetOpener({});
        ui::testing::EnableDialogHooks(false);
        program_.reset();
        QVERIFY(QApplication::topLevelWidgets().isEmpty() ||
                std::none_of(QApplication::topLevelWidgets().cbegin(),
                             QApplication::topLevelWidgets().cend(),
                             [](QWidget* w) { return w->isVisible(); }));
    }

    void captionAndPlaces_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("twips");
        QTest::newRow("基本設定") << "基本設定ボタン"
                                  << "基本設定" << QRect(12375, 165, 1250, 580);
        QTest::newRow("出力") << "出力ボタン"
                              << "出　　力" << QRect(12390, 825, 1245, 580);
        QTest::newRow("エクセル") << "エクセルボタン"
                                  << "ｴｸｾﾙ表示" << QRect(12390, 1500, 1250, 580);
        QTest::newRow("終了") << "終了ボタン"
                              << "戻　　　る" << QRect(12405, 2160, 1250, 580);
        QTest::newRow("登録") << "登録ボタン"
                              << "登録ボタン" << QRect(1860, 5580, 1365, 495);
        QTest::newRow("Frame6") << "Frame6"
                                << "タイム" << QRect(90, 105, 1665, 825);
        QTest::newRow("Frame8") << "Frame8"
                                << "ｹﾞｰﾄ番号" << QRect(90, 975, 1665, 5115);
        QTest::newRow("Frame7") << "Frame7"
                                << "通過ブイ" << QRect(1800, 990, 1485, 2250);
        QTest::newRow("Frame12") << "Frame12"
                                 << "現在の順位" << QRect(7905, 2820, 5760, 6450);
        QTest::newRow("ゼッケン") << "ゼッケン"
                                  << "" << QRect(195, 525, 735, 405);
    }
    void captionAndPlaces() {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QRect, twips);
        QWidget* w = find<QWidget>(name);
        if (auto* b = qobject_cast<QPushButton*>(w)) QCOMPARE(b->text(), caption);
        if (auto* f = qobject_cast<QGroupBox*>(w)) QCOMPARE(f->title(), caption);
        // One pixel is 15 twips at 96 dpi: positions round to the nearest pixel.
        const QRect got = ui::GeometryTwips(w);
        const int tolerance = ui::PixelsToTwips(1);
        QVERIFY2(std::abs(got.x() - twips.x()) <= tolerance &&
                     std::abs(got.y() - twips.y()) <= tolerance &&
                     std::abs(got.width() - twips.width()) <= tolerance &&
                     std::abs(got.height() - twips.height()) <= tolerance,
                 qPrintable(QStringLiteral("%1 at %2,%3 %4x%5")
                                .arg(name)
                                .arg(got.x())
                                .arg(got.y())
                                .arg(got.width())
                                .arg(got.height())));
    }

    void screenCaptionAndSize() {
        QCOMPARE(screen().objectName(), QStringLiteral("処理画面"));
        QCOMPARE(screen().windowTitle(),
                 QString(23, QChar(0x3000)) + QStringLiteral("ザルヴィクレース処理システム"));
        QCOMPARE(screen().size(), QSize(ui::TwipsToPixels(14016), ui::TwipsToPixels(9324)));
        QVERIFY(find<QLabel>("Image2")->pixmap().width() > 0);
        const char* const status[] = {"OK", "DS", "DF", "DQ"};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(find<QRadioButton>(ui::ElementName("DSFQ", i))->text(),
                     QString::fromUtf8(status[i]));
    }

    // The window can be made larger: the competitor list, the results grid and the standings
    // grow with it; every other control keeps its size, stays whole in the window and clear of
    // the others. Back at the laid-out size, every control is where it was.
    void windowGrowsWithItsGrids() {
        FillRace(program_->data());
        ProcessingScreen& s = screen();
        s.SetUpClassTabs();
        s.LayOutClassPages();
        s.SetUpResultsGrid();
        s.BuildCompetitorList();
        s.show();
        QVERIFY(QTest::qWaitForWindowExposed(&s));
        const QSize laidOut = s.size();
        QCOMPARE(s.minimumSize(), laidOut);
        QVERIFY(s.maximumWidth() > 4 * laidOut.width() && s.maximumHeight() > 4 * laidOut.height());

        // Every named control but the inner parts of grids and tab strip, in window coordinates.
        auto controls = [&s] {
            QMap<QString, QRect> at;
            for (QWidget* w : s.findChildren<QWidget*>()) {
                bool inner = w->objectName().isEmpty();
                for (QWidget* p = w->parentWidget(); p != &s && !inner; p = p->parentWidget())
                    inner = qobject_cast<ui::Grid*>(p) || qobject_cast<ui::TabStrip*>(p);
                if (!inner) at.insert(w->objectName(), QRect(w->mapTo(&s, QPoint()), w->size()));
            }
            return at;
        };
        const QMap<QString, QRect> before = controls();
        const QStringList grids{"グリッドリスト", "グリッド結果", "グリッド順位(0)"};
        // What holds a grid grows with it.
        const QStringList holders{"Frame1", "Frame9", "Frame12", "タブ"};

        s.resize(laidOut + QSize(360, 270));
        QTRY_COMPARE(s.size(), laidOut + QSize(360, 270));
        const QMap<QString, QRect> after = controls();
        for (const QString& g : grids)
            QVERIFY2(after[g].width() > before[g].width() + 100 &&
                         after[g].height() > before[g].height() + 60,
                     qPrintable(g));
        QList<QRect> top;  // the screen's own controls
        for (auto it = after.cbegin(); it != after.cend(); ++it) {
            QWidget* w = find<QWidget>(it.key());
            if (w->parentWidget() == &s) top << it.value();
            if (holders.contains(it.key()) || it.key().startsWith(QStringLiteral("絵(")) ||
                it.key().startsWith(QStringLiteral("グリッド")))
                continue;
            QVERIFY2(it.value().size() == before[it.key()].size(), qPrintable(it.key()));
            QVERIFY2(s.rect().contains(it.value()), qPrintable(it.key()));
            // Inside a frame, a control keeps its place in the frame.
            if (w->parentWidget() != &s)
                QVERIFY2(w->pos() == before[it.key()].topLeft() -
                                         before[w->parentWidget()->objectName()].topLeft(),
                         qPrintable(it.key()));
        }
        for (int i = 0; i < top.size(); ++i)
            for (int j = i + 1; j < top.size(); ++j) QVERIFY(!top[i].intersects(top[j]));

        s.resize(laidOut);
        QTRY_COMPARE(s.size(), laidOut);
        QCOMPARE(controls(), before);
        s.hide();
    }

    // The option columns are placed row by row from their first place; the last ones must
    // still lie whole inside their frames and no two controls of a frame may overlap.
    void optionColumnsFitTheirFrames() {
        struct Place {
            const char* name;
            int left, top;
        } const places[] = {
            {"Gop(0)", 180, 270},
            {"Gop(11)", 180, 270 + 380 * 11},
            {"色(11)", 780, 270 + 380 * 11},
            {"ブイ(4)", 60, 270 + 380 * 4},
            {"ブイポイント(4)", 840, 270 + 390 * 4},
        };
        const int tolerance = ui::PixelsToTwips(1);
        for (const Place& p : places) {
            const QRect got = ui::GeometryTwips(find<QWidget>(QString::fromUtf8(p.name)));
            QVERIFY2(
                std::abs(got.x() - p.left) <= tolerance && std::abs(got.y() - p.top) <= tolerance,
                p.name);
        }
        for (const char* frameName : {"Frame6", "Frame7", "Frame8", "Frame13", "Frame10", "Frame11",
                                      "Frame5", "Frame2", "Frame3", "Frame4", "Frame1", "Frame9"}) {
            QWidget* frame = find<QWidget>(QString::fromUtf8(frameName));
            const QList<QWidget*> kids = frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
            for (QWidget* a : kids) {
                QVERIFY2(frame->rect().contains(a->geometry()), qPrintable(a->objectName()));
                for (QWidget* b : kids)
                    if (a != b)
                        QVERIFY2(!a->geometry().intersects(b->geometry()),
                                 qPrintable(a->objectName() + " / " + b->objectName()));
            }
        }
        // In a race of twelve gates every gate's caption shows whole beside its mark.
        program_->data().gateCount = 12;
        screen().ShowGateOptions();
        for (int g = 0; g < 12; ++g) {
            auto* option = Find<QRadioButton>(screen(), QStringLiteral("Gop"), g);
            QStyleOptionButton o;
            o.initFrom(option);
            const QStyle::SubElement contents = QStyle::SE_RadioButtonContents;
            QVERIFY2(option->fontMetrics().horizontalAdvance(option->text()) <=
                         option->style()->subElementRect(contents, &o, option).width(),
                     qPrintable(option->text()));
        }
    }

    void buoyCaptionsFollowTheData() {
        Competition& d = program_->data();
        for (int k = 1; k <= 5; ++k) d.buoyName[k] = QStringLiteral("B%1").arg(k);
        ProcessingScreen& s = screen();
        QCOMPARE(Find<QRadioButton>(s, QStringLiteral("ブイ"), 4)->text(), QStringLiteral("B5"));
        // Coming back from another screen shows a changed name without a reload.
        s.show();
        d.buoyName[2] = QStringLiteral("ﾚｯﾄﾞ");
        s.hide();
        s.show();
        QCOMPARE(Find<QRadioButton>(s, QStringLiteral("ブイ"), 1)->text(), QStringLiteral("ﾚｯﾄﾞ"));
        d.buoyName[3] = QStringLiteral("黄");
        QEvent activate(QEvent::WindowActivate);
        QApplication::sendEvent(&s, &activate);
        QCOMPARE(Find<QRadioButton>(s, QStringLiteral("ブイ"), 2)->text(), QStringLiteral("黄"));
        s.hide();
    }

    void classTabsAndPages_data() {
        QTest::addColumn<int>("classes");
        QTest::newRow("none") << 0;
        QTest::newRow("three") << 3;
        QTest::newRow("nine") << 9;
    }
    void classTabsAndPages() {
        QFETCH(int, classes);
        Competition& d = program_->data();
        d.classCount = static_cast<int16_t>(classes);
        for (int k = 1; k <= classes; ++k) d.className[k] = QStringLiteral("クラス%1").arg(k);
        ProcessingScreen& s = screen();
        // Twice in a row, as the loader does after the screen's own load step: one set of tabs.
        s.SetUpClassTabs();
        s.LayOutClassPages();
        s.SetUpClassTabs();
        s.LayOutClassPages();
        s.show();

        ui::TabStrip* tabs = find<ui::TabStrip>("タブ");
        QCOMPARE(tabs->count(), std::max(classes, 1));
        QCOMPARE(tabs->caption(1), classes ? QStringLiteral("クラス1") : QString());
        for (int k = 1; k <= classes; ++k)
            QCOMPARE(tabs->caption(k), QStringLiteral("クラス%1").arg(k));
        for (int i = 0; i < ProcessingScreen::kClassPages; ++i) {
            QWidget* page = find<QWidget>(ui::ElementName("絵", i));
            QCOMPARE(page->isVisible(), i < classes);
            QVERIFY(page->isAncestorOf(find<ui::Grid>(ui::ElementName("グリッド順位", i))));
            if (i >= classes) continue;
            QCOMPARE(page->geometry(), tabs->clientRect());
            // The standings grid stands at its place and ends inside the page: nothing hidden.
            const QRect grid =
                ui::GeometryTwips(Find<ui::Grid>(s, QStringLiteral("グリッド順位"), i));
            const int px = ui::PixelsToTwips(1);
            QVERIFY(std::abs(grid.x() - 20) <= px && std::abs(grid.y() - 80) <= px);
            QVERIFY(std::abs(grid.width() - 5400) <= px && grid.height() <= 5900 + px);
            QVERIFY(page->rect().contains(
                Find<ui::Grid>(s, QStringLiteral("グリッド順位"), i)->geometry()));
        }

        // The page in front is the one the official sees in the middle of the strip.
        auto pageInFront = [&]() -> int {
            QWidget* front =
                Find<QGroupBox>(s, QStringLiteral("Frame12"))->childAt(tabs->clientRect().center());
            for (int i = 0; front && i < ProcessingScreen::kClassPages; ++i)
                if (front == Find<QWidget>(s, QStringLiteral("絵"), i) ||
                    Find<QWidget>(s, QStringLiteral("絵"), i)->isAncestorOf(front))
                    return i;
            return -1;
        };
        if (classes >= 1) QCOMPARE(pageInFront(), 0);
        // A click on a tab brings the page of its class in front, on the first click and
        // whichever tab was selected before.
        auto* bar = tabs->findChild<QTabBar*>();
        for (int t : {2, classes, 1, 3}) {
            if (t < 1 || t > classes) continue;
            QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(t - 1).center());
            QCOMPARE(tabs->selectedIndex(), t);
            QCOMPARE(pageInFront(), t - 1);
        }
        // The arrow keys move the tab, and the page follows.
        if (classes >= 3) {
            QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(0).center());
            bar->setFocus();
            for (int t : {2, 3}) {
                QTest::keyClick(bar, Qt::Key_Right);
                QCOMPARE(tabs->selectedIndex(), t);
                QCOMPARE(pageInFront(), t - 1);
            }
            QTest::keyClick(bar, Qt::Key_Left);
            QCOMPARE(pageInFront(), 1);
            // Making the tabs anew selects tab 1, and its page comes in front with it.
            s.SetUpClassTabs();
            s.LayOutClassPages();
            QCOMPARE(tabs->selectedIndex(), 1);
            QCOMPARE(pageInFront(), 0);
        }
        s.hide();
    }

    void resultsGridShape_data() {
        QTest::addColumn<int>("gates");
        QTest::addColumn<int>("competitors");
        QTest::newRow("3 gates") << 3 << 12;
        QTest::newRow("no gate, nobody") << 0 << 0;
        QTest::newRow("12 gates, 999") << 12 << 999;
    }
    void resultsGridShape() {
        QFETCH(int, gates);
        QFETCH(int, competitors);
        Competition& d = program_->data();
        d.gateCount = static_cast<int16_t>(gates);
        d.competitorCount = static_cast<int16_t>(competitors);
        ui::Grid* g = find<ui::Grid>("グリッド結果");
        // A grid shaped for a larger race before keeps nothing of that shape.
        g->setCols(20);
        g->setFixedCols(1);
        screen().SetUpResultsGrid();
        QCOMPARE(g->cols(), 5 + gates);
        QCOMPARE(g->rows(), competitors + 1);
        QCOMPARE(g->fixedCols(), 0);
        QCOMPARE(g->fixedRows(), 1);
        QVERIFY(!g->isHidden());
        QStringList headers{" ZNo", " 氏　　名", "ﾀｲﾑ", " B.P", "ﾚｰｽﾎﾟｲﾝﾄ"};
        for (int gate = 1; gate <= gates; ++gate) headers << QStringLiteral("GNo.%1").arg(gate);
        QCOMPARE(RowTexts(g, 0), headers);
        const int widths[] = {500, 1200, 650, 500, 900};
        for (int c = 0; c < g->cols(); ++c) QCOMPARE(g->colWidth(c), c < 5 ? widths[c] : 600);
        QCOMPARE(g->rowHeightTwips(g->rows() - 1), 210);
        QCOMPARE(g->rowHeightTwips(0), 210);
    }

    void competitorListAndClick() {
        FillRace(program_->data());
        ProcessingScreen& s = screen();
        s.BuildCompetitorList();
        ui::Grid* list = find<ui::Grid>("グリッドリスト");
        QVERIFY(!list->isHidden());
        QCOMPARE(list->rows(), 13);
        QCOMPARE(RowTexts(list, 0), (QStringList{" ZNo", " 氏　　名", " 　所　　属"}));
        QCOMPARE(RowTexts(list, 5), (QStringList{"21", "田中　花子", "蔵王スキー学校"}));
        QCOMPARE(list->colWidth(2), 2000);
        QCOMPARE(list->fixedCols(), 0);

        list->clickCell(5, 2);
        QCOMPARE(find<QLineEdit>("ゼッケン")->text(), QStringLiteral("21"));
        QCOMPARE(find<QLineEdit>("氏名")->text(), QStringLiteral("田中　花子"));
        QCOMPARE(find<QLineEdit>("所属")->text(), QStringLiteral("蔵王スキー学校"));
        // The header row names no competitor and changes nothing.
        list->clickCell(0, 0);
        QCOMPARE(find<QLineEdit>("ゼッケン")->text(), QStringLiteral("21"));
    }

    void standingsShown() {
        Competition& d = program_->data();
        FillRace(d);
        ProcessingScreen& s = screen();
        s.SetUpClassTabs();
        s.LayOutClassPages();
        s.RebuildStandings();

        const QStringList headers{"順位", " ZNo", " 氏　　名", " 　所　　属", " ﾚｰｽﾎﾟｲﾝﾄ"};
        const QStringList empty{"", "", "", "", ""};
        ui::Grid* class1 = Find<ui::Grid>(s, QStringLiteral("グリッド順位"), 0);
        QCOMPARE(class1->rows(), 5);
        QCOMPARE(RowTexts(class1, 0), headers);
        // Equal points share a rank, higher bib first; no points yet: an empty row at the end.
        QCOMPARE(RowTexts(class1, 1), (QStringList{"1", "12", "鈴木　健", "北海道大学", "307.50"}));
        QCOMPARE(RowTexts(class1, 2),
                 (QStringList{"1", "7", "佐藤　一郎", "八方尾根ＳＣ", "307.50"}));
        QCOMPARE(RowTexts(class1, 3),
                 (QStringList{"3", "3", "山田　太郎", "白馬スキークラブ", "310.25"}));
        QCOMPARE(RowTexts(class1, 4), empty);
        const int widths[] = {450, 450, 1100, 2000, 1000};
        for (int c = 0; c < 5; ++c) QCOMPARE(class1->colWidth(c), widths[c]);
        QCOMPARE(class1->rowHeightTwips(4), 210);
        // A grid without a fixed column starts its first column at its own left edge.
        s.show();
        QVERIFY(!class1->verticalHeader()->isVisible());
        QCOMPARE(class1->viewport()->geometry().left(), class1->frameWidth());
        s.hide();

        // DS leaves the class; a whole number of points shows with a blank in front.
        ui::Grid* class2 = Find<ui::Grid>(s, QStringLiteral("グリッド順位"), 1);
        QCOMPARE(class2->rows(), 3);
        QCOMPARE(RowTexts(class2, 1),
                 (QStringList{"1", "22", "伊藤　美咲", "野沢温泉ＳＣ", " 5.00"}));
        QCOMPARE(RowTexts(class2, 2),
                 (QStringList{"2", "21", "田中　花子", "蔵王スキー学校", "288.87"}));

        // DF leaves too; the competitor without a class is in no grid.
        ui::Grid* class3 = Find<ui::Grid>(s, QStringLiteral("グリッド順位"), 2);
        QCOMPARE(class3->rows(), 4);
        QCOMPARE(class3->text(1, 1), QStringLiteral("31"));
        QCOMPARE(class3->text(2, 4), QStringLiteral("1234.50"));
        QCOMPARE(RowTexts(class3, 3), empty);

        // A later rebuild rewrites the rows: bib 7 marked DS, bib 15 registered in front.
        d.competitors[2].status = 1;
        d.competitors[4].racePoints = 100.0f;
        s.RebuildStandings();
        QCOMPARE(class1->rows(), 4);
        QCOMPARE(RowTexts(class1, 1),
                 (QStringList{"1", "15", "高橋　誠", "志賀高原ＳＣ", "100.00"}));
        QCOMPARE(RowTexts(class1, 2), (QStringList{"2", "12", "鈴木　健", "北海道大学", "307.50"}));
        QCOMPARE(RowTexts(class1, 3),
                 (QStringList{"3", "3", "山田　太郎", "白馬スキークラブ", "310.25"}));
        // And the last result taken away again: its row empties.
        d.competitors[1].racePoints = 0;
        s.RebuildStandings();
        QCOMPARE(RowTexts(class1, 3), empty);
        QCOMPARE(class1->text(0, 0), QStringLiteral("順位"));
    }

    void buttonsLeadToTheOtherScreens() {
        ProcessingScreen& s = screen();
        for (const char* name : {"基本設定ボタン", "出力ボタン", "エクセルボタン"})
            QVERIFY2(!find<QPushButton>(QString::fromUtf8(name))->isEnabled(), name);
        QVERIFY(find<QPushButton>("終了ボタン")->isEnabled());
        s.EnableLoadedButtons();
        for (const char* name : {"基本設定ボタン", "出力ボタン", "エクセルボタン"})
            QVERIFY2(find<QPushButton>(QString::fromUtf8(name))->isEnabled(), name);

        // The spreadsheet button shows the loaded workbook's file; the screen stays.
        testsupport::TempDir dir;
        const std::string file = dir.file("大会.xlsx");
        sheet::FileFault fault;
        QVERIFY(sheet::Workbook::createEmpty(file, {"入力", "成績"}, &fault));
        program_->setWorkbook(sheet::Workbook::open(file, &fault));
        QVERIFY(program_->workbook());
        program_->data().workbookPath = QString::fromStdString(file);
        QStringList opened;
        ui::testing::SetSpreadsheetOpener([&](const QString& path) { opened << path; });
        s.show();
        find<QPushButton>("エクセルボタン")->click();
        QCOMPARE(opened, QStringList{QString::fromStdString(file)});
        QVERIFY(s.isVisible());
        // While a spreadsheet program holds it open, handing it over again would only bring
        // forward its old contents: a message says so instead.
        QFile lock(QString::fromStdString(dir.file(".~lock.大会.xlsx#")));
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.close();
        find<QPushButton>("エクセルボタン")->click();
        QCOMPARE(opened.size(), 1);
        QCOMPARE(ui::testing::Messages().size(), 1);
        QVERIFY(
            ui::testing::Messages().first().startsWith(QStringLiteral("ブック「大会.xlsx」は")));
        lock.remove();
        ui::testing::Messages().clear();

        find<QPushButton>("基本設定ボタン")->click();
        QCOMPARE(program_->shownScreens(), QList<QWidget*>{&program_->settingsScreen()});
        program_->settingsScreen().hide();

        s.show();
        find<QPushButton>("出力ボタン")->click();
        QCOMPARE(program_->shownScreens(), QList<QWidget*>{&program_->outputScreen()});
        program_->outputScreen().hide();

        // Returning after a load lets go of the workbook.
        s.show();
        program_->data().excelStarted = true;
        find<QPushButton>("終了ボタン")->click();
        QCOMPARE(program_->shownScreens(), QList<QWidget*>{&program_->dataLoadScreen()});
        QVERIFY(!program_->workbook());
        program_->dataLoadScreen().hide();

        // The close box returns the same way, and the screen itself stays in existence.
        s.show();
        s.close();
        QVERIFY(program_->hasProcessingScreen());
        QCOMPARE(program_->shownScreens(), QList<QWidget*>{&program_->dataLoadScreen()});
        program_->dataLoadScreen().hide();
        QVERIFY(ui::testing::Messages().isEmpty());
    }
};

QTEST_MAIN(ProcessingScreenTest)
#include "race_processing_screen_qtest.moc"
