// Entering runs from the keyboard alone, through key presses sent to whatever control has the
// focus: the same 40 runs entered by mouse and by keys on two copies of one workbook end in the
// same workbook, data and standings; then the keys' own rules (bib committed before any message,
// refused digits, Backspace, status keys, Ctrl+Enter, the Tab road back and forth); then the
// faults an official's keys ran into: a take-back by keys and the run typed after it, a run
// typed over a status, the keypad's operators, seconds beyond a minute, a buoy total of 0, the
// keys left on the field to mend after a refusal and the class pages turned by
// Ctrl+PageDown/PageUp.

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <array>
#include <filesystem>

#include "store/InputSheet.h"
#include "store/Journal.h"
#include "store/LoadTestSupport.h"
#include "support/Controls.h"
#include "support/FaultText.h"
#include "ui/TabStrip.h"

using namespace testsupport;
using namespace zalvik::store;

namespace {

constexpr int kCompetitors = 30;
constexpr int kGates = 12;
constexpr std::array<int, kGates> kOffered = {5, 3, 5, 2, 4, 5, 1, 5, 3, 5, 2, 5};

int BibOf(int slot) { return slot * 3 + 1; }

// Thirty competitors in three classes, twelve gates, no result yet; buoy あ may score 0.
void MakeRace(const std::string& path, bool firstBuoyScoresZero = false) {
    TestWorkbook wb(path);
    for (int i = 1; i <= kCompetitors; ++i)
        wb.competitor(i, BibOf(i), QStringLiteral("選手%1").arg(i), 1 + i % 3);
    wb.settings(QStringLiteral("12"), std::vector<int>(kOffered.begin(), kOffered.end()),
                {QStringLiteral("一般"), QStringLiteral("ジュニア"), QStringLiteral("シニア")});
    if (firstBuoyScoresZero) wb.num(2, kColBuoyScore, 0);
    wb.save();
    std::filesystem::remove(path + ".bak");
}

struct Run {
    int slot;
    int status;  // 0 OK, 1 DS, 2 DF, 3 DQ
    QString minutes, seconds;
    std::array<int, kGates> buoys;  // 0-based buoy per gate
};

// Every competitor once, with a status now and then; then ten more runs over competitors
// already registered, four of them after a status (so OK must be chosen again).
std::vector<Run> FortyRuns() {
    std::vector<Run> runs;
    for (int i = 0; i < 40; ++i) {
        Run r;
        r.slot = 1 + (i * 7) % kCompetitors;
        r.status = i < 30 ? (i % 10 == 3   ? 1
                             : i % 10 == 6 ? 2
                             : i % 10 == 9 ? 3
                                           : 0)
                          : (i % 4 == 1 ? 3 : 0);
        r.minutes = i % 3 == 0 ? QStringLiteral("0") : QStringLiteral("1");
        r.seconds = QStringLiteral("%1.%2")
                        .arg(10 + (i * 13) % 50)
                        .arg((i * 37) % 100, 2, 10, QLatin1Char('0'));
        for (int g = 0; g < kGates; ++g) r.buoys[g] = (i * 3 + g * 7) % kOffered[g];
        runs.push_back(r);
    }
    return runs;
}

// What both roads must leave behind, as texts.
struct Outcome {
    QStringList data, grids, sheet;
};

QStringList SheetCells(const std::string& path) {
    sheet::FileFault fault;
    auto book = sheet::Workbook::open(path, &fault);
    if (!book || !book->worksheet(1))
        return {QString::fromStdString("unreadable: " + testsupport::Message(fault))};
    QStringList cells;
    for (int r = 1; r <= kCompetitors + 1; ++r)
        for (int c = 1; c < kColFirstGate + kGates; ++c)
            cells << QString::fromStdString(book->worksheet(1)->text(r, c) + "|" +
                                            book->worksheet(1)->numberFormat(r, c));
    return cells;
}

QStringList GridTexts(const ui::Grid* g) {
    QStringList texts;
    for (int r = 0; r < g->rows(); ++r)
        for (int c = 0; c < g->cols(); ++c) texts << g->text(r, c);
    return texts;
}

QByteArray FileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class KeyboardEntryTest : public QObject, public ProgramFixture {
    Q_OBJECT

    int clicks = 0;
    int keys = 0;

    zalvik::ProcessingScreen& screen() { return program->processingScreen(); }
    zalvik::Competition& data() { return program->data(); }
    QStringList& messages() { return ui::testing::Messages(); }
    template <typename W = QWidget>
    W* find(const QString& name) {
        return testsupport::Find<W>(screen(), name);
    }
    QWidget* option(const char* array, int i) {
        return find(ui::ElementName(QString::fromUtf8(array), i));
    }
    QString focusName() {
        QWidget* w = QApplication::focusWidget();
        return w ? w->objectName() : QStringLiteral("(none)");
    }
    QString text(const char* name) { return find<QLineEdit>(QString::fromUtf8(name))->text(); }
    QString label(const QString& name) { return find<QLabel>(name)->text(); }

    // Input as the official gives it, counted.
    void press(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWidget* w = QApplication::focusWidget();
        QVERIFY2(w, "nothing has the focus");
        QTest::keyClick(w, key, mods);
        ++keys;
    }
    void type(const QString& s, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        for (QChar ch : s) {
            QWidget* w = QApplication::focusWidget();
            QVERIFY2(w, "nothing has the focus");
            QTest::keyClick(w, ch.toLatin1(), mods);
            ++keys;
        }
    }
    void click(QWidget* w) {
        QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center());
        ++clicks;
    }
    // The mouse road's way into a box: a click, then the old text replaced.
    void clickAndType(const char* box, const QString& s) {
        click(find(QString::fromUtf8(box)));
        press(Qt::Key_A, Qt::ControlModifier);
        type(s);
    }

    void loadAndActivate(const std::string& path) {
        ui::testing::EnableDialogHooks(true);
        program = StartedProgram();
        Load(*program, QString::fromStdString(path));
        QCOMPARE(messages(), QStringList{});
        screen().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&screen()));
        // A load leaves the official in the bib box.
        QCOMPARE(focusName(), QStringLiteral("ゼッケン"));
    }

    Outcome outcome(const std::string& path) {
        Outcome o;
        for (int i = 1; i <= kCompetitors; ++i) {
            const zalvik::Competitor& c = data().competitors[i];
            o.data << QStringLiteral("%1 %2 %3 %4 %5")
                          .arg(c.bib)
                          .arg(c.status)
                          .arg(double(c.runTime))
                          .arg(double(c.buoyPoints))
                          .arg(double(c.racePoints));
        }
        o.grids << GridTexts(find<ui::Grid>(QStringLiteral("グリッド結果")));
        for (int k = 0; k < 3; ++k)
            o.grids << GridTexts(
                find<ui::Grid>(ui::ElementName(QStringLiteral("グリッド順位"), k)));
        o.sheet = SheetCells(path);
        return o;
    }

    void enterByMouse(const Run& r, int storedStatus) {
        clickAndType("ゼッケン", QString::number(BibOf(r.slot)));
        if (r.status != 0) {
            click(option("DSFQ", r.status));
        } else {
            if (storedStatus != 0) click(option("DSFQ", 0));
            clickAndType("分", r.minutes);
            clickAndType("秒", r.seconds);
            for (int g = 0; g < kGates; ++g) {
                click(option("Gop", g));
                click(option("ブイ", r.buoys[g]));
            }
        }
        click(find(QStringLiteral("登録ボタン")));
    }

    void enterByKeys(const Run& r, int storedStatus, int i) {
        QCOMPARE(focusName(), QStringLiteral("ゼッケン"));
        type(QString::number(BibOf(r.slot)));
        press(Qt::Key_Return);
        QCOMPARE(focusName(), QStringLiteral("分"));
        // Half of the runs from the number pad.
        const Qt::KeyboardModifiers pad = i % 2 ? Qt::KeypadModifier : Qt::NoModifier;
        if (r.status != 0) {
            const Qt::Key statusKeys[] = {Qt::Key_F5, Qt::Key_F6, Qt::Key_F7, Qt::Key_F8};
            press(statusKeys[r.status]);
            QCOMPARE(focusName(), QStringLiteral("登録ボタン"));
            press(Qt::Key_Return);
            return;
        }
        if (storedStatus != 0) press(Qt::Key_F5);
        QCOMPARE(focusName(), QStringLiteral("分"));
        type(r.minutes, pad);
        press(pad ? Qt::Key_Enter : Qt::Key_Return, pad);
        type(r.seconds, pad);
        press(pad ? Qt::Key_Enter : Qt::Key_Return, pad);
        for (int g = 0; g < kGates; ++g) {
            // The gate entry sits on the current gate's option, shown selected.
            QCOMPARE(focusName(), ui::ElementName(QStringLiteral("Gop"), g));
            QVERIFY(find<QRadioButton>(focusName())->isChecked());
            type(QString::number(r.buoys[g] + 1), pad);
        }
        QCOMPARE(focusName(), QStringLiteral("登録ボタン"));
        press(Qt::Key_Return);
    }

    // A run typed by keys from the bib box up to the register button (not pressed).
    void typeRun(int bib, const QString& minutes, const QString& seconds, const QString& gates) {
        type(QString::number(bib));
        press(Qt::Key_Return);
        type(minutes);
        press(Qt::Key_Return);
        type(seconds);
        press(Qt::Key_Return);
        type(gates);
    }
    QRadioButton* status(int s) { return find<QRadioButton>(ui::ElementName("DSFQ", s)); }
    QString journal() {
        return QString::fromUtf8(
            FileBytes(JournalPathFor(QString::fromStdString(program->workbook()->path()))));
    }
    QString bibSelected() { return find<QLineEdit>(QStringLiteral("ゼッケン"))->selectedText(); }

    Outcome enterForty(const std::string& path, bool byKeys, int* clickCount, int* keyCount,
                       int* mostKeysPerOkRun) {
        clicks = keys = 0;
        loadAndActivate(path);
        if (QTest::currentTestFailed()) return {};
        std::array<int, kCompetitors + 1> stored{};
        *mostKeysPerOkRun = 0;
        const std::vector<Run> runs = FortyRuns();
        for (int i = 0; i < static_cast<int>(runs.size()); ++i) {
            const Run& r = runs[i];
            const int keysBefore = keys;
            if (byKeys)
                enterByKeys(r, stored[r.slot], i);
            else
                enterByMouse(r, stored[r.slot]);
            if (QTest::currentTestFailed()) return {};
            if (byKeys && r.status == 0 && stored[r.slot] == 0) {
                // The bib, the time, one digit per gate and four Enter presses.
                const int bound = QString::number(BibOf(r.slot)).size() + r.minutes.size() +
                                  r.seconds.size() + kGates + 4;
                *mostKeysPerOkRun = std::max(*mostKeysPerOkRun, keys - keysBefore);
                [&] { QVERIFY2(keys - keysBefore <= bound, qPrintable(QString::number(i))); }();
            }
            stored[r.slot] = r.status;
            [&] { QCOMPARE(messages(), QStringList{}); }();
            // After a registration the official is back in the bib box, its text selected.
            [&] {
                QCOMPARE(focusName(), QStringLiteral("ゼッケン"));
                QCOMPARE(find<QLineEdit>(QStringLiteral("ゼッケン"))->selectedText(),
                         QString::number(BibOf(r.slot)));
            }();
            if (QTest::currentTestFailed()) return {};
        }
        Outcome o = outcome(path);
        *clickCount = clicks;
        *keyCount = keys;
        Finish(program);
        return o;
    }

  private slots:
    void initTestCase() { zalvik::SetUpScreenFont(); }

    void init() {
        startProgram();
        clicks = keys = 0;
    }
    void cleanup() { finishProgram(); }

    void fortyRunsByMouseAndByKeysAgree() {
        const std::string byMouse = dir->file("マウス.xlsx");
        const std::string byKeys = dir->file("キー.xlsx");
        MakeRace(byMouse);
        std::filesystem::copy_file(byMouse, byKeys);
        const QStringList fresh = SheetCells(byMouse);
        Finish(program);

        int mouseClicks = 0, mouseKeys = 0, keyClicks = 0, keyKeys = 0, mostMouse = 0, most = 0;
        const Outcome mouse = enterForty(byMouse, false, &mouseClicks, &mouseKeys, &mostMouse);
        QVERIFY(!QTest::currentTestFailed());
        const Outcome keys = enterForty(byKeys, true, &keyClicks, &keyKeys, &most);
        QVERIFY(!QTest::currentTestFailed());

        QCOMPARE(keys.data, mouse.data);
        QCOMPARE(keys.grids, mouse.grids);
        QCOMPARE(keys.sheet, mouse.sheet);
        // Something was really written.
        QVERIFY(mouse.sheet != fresh);
        QCOMPARE(keyClicks, 0);
        qInfo(
            "40 runs by mouse: %d clicks and %d key presses; by keys: %d key presses; "
            "a 12-gate OK run by keys: at most %d key presses",
            mouseClicks, mouseKeys, keyKeys, most);
        program = StartedProgram();
    }

    void bibIsCommittedBeforeAnyMessage() {
        const std::string path = dir->file("大会.xlsx");
        MakeRace(path);
        Finish(program);
        loadAndActivate(path);
        auto* bib = find<QLineEdit>(QStringLiteral("ゼッケン"));

        // Bib 25 (slot 8): typing "2" names nobody, but no message comes mid-typing.
        type(QStringLiteral("2"));
        QCOMPARE(messages(), QStringList{});
        QCOMPARE(text("氏名"), QString());
        type(QStringLiteral("5"));
        QCOMPARE(text("氏名"), QStringLiteral("選手8"));
        QCOMPARE(messages(), QStringList{});

        // Committing a bib that names nobody, by Enter, Tab or Shift+Tab: the message, and the
        // official stays in the box with the bib selected for retyping.
        struct Commit {
            Qt::Key key;
            Qt::KeyboardModifiers mods;
        } const commits[] = {
            {Qt::Key_Return, Qt::NoModifier}, {Qt::Key_Enter, Qt::KeypadModifier},
            {Qt::Key_Tab, Qt::NoModifier},    {Qt::Key_Backtab, Qt::ShiftModifier},
            {Qt::Key_F6, Qt::NoModifier},     {Qt::Key_Return, Qt::ControlModifier}};
        for (const Commit& c : commits) {
            messages().clear();
            press(Qt::Key_A, Qt::ControlModifier);
            type(QStringLiteral("99"));
            press(c.key, c.mods);
            QCOMPARE(messages(), QStringList{"該当するゼッケン番号はありません。"});
            QCOMPARE(focusName(), QStringLiteral("ゼッケン"));
            QCOMPARE(bib->selectedText(), QStringLiteral("99"));
            // Nothing was chosen or registered on the way.
            QCOMPARE(find<QRadioButton>(QStringLiteral("DSFQ(1)"))->isChecked(), false);
        }
        QVERIFY(!program->workbook()->hasUnsavedChanges());

        // Leaving the box with the mouse commits it as well.
        messages().clear();
        QTest::mouseClick(find(QStringLiteral("秒")), Qt::LeftButton);
        QTRY_COMPARE(messages(), QStringList{"該当するゼッケン番号はありません。"});
        QCOMPARE(focusName(), QStringLiteral("ゼッケン"));
        QCOMPARE(bib->selectedText(), QStringLiteral("99"));

        // A click in the competitor list puts its own bib in: no message.
        messages().clear();
        auto* list = find<ui::Grid>(QStringLiteral("グリッドリスト"));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->cellRect(2, 1).center() - list->viewport()->pos());
        QCOMPARE(text("ゼッケン"), QString::number(BibOf(2)));
        QTest::qWait(20);
        QCOMPARE(messages(), QStringList{});
    }

    void gateEntryKeys() {
        const std::string path = dir->file("大会.xlsx");
        MakeRace(path);
        Finish(program);
        loadAndActivate(path);

        // Bib 4, 1 min 5.5 s, Enter through to gate 1.
        type(QStringLiteral("4"));
        press(Qt::Key_Return);
        type(QStringLiteral("1"));
        press(Qt::Key_Tab);
        QCOMPARE(focusName(), QStringLiteral("秒"));
        type(QStringLiteral("5.5"));
        press(Qt::Key_Return);
        QCOMPARE(focusName(), QStringLiteral("Gop(0)"));

        // Gate 1 お (6 points), gate 2 い (3): the colours and the total follow.
        type(QStringLiteral("5"));
        QCOMPARE(focusName(), QStringLiteral("Gop(1)"));
        QVERIFY(find<QRadioButton>(QStringLiteral("Gop(1)"))->isChecked());
        // Gate 2 offers three buoys: only three options are shown.
        QVERIFY(find(QStringLiteral("ブイ(2)"))->isVisible());
        QVERIFY(find(QStringLiteral("ブイ(3)"))->isHidden());
        type(QStringLiteral("2"));
        QCOMPARE(label(QStringLiteral("色(0)")), QStringLiteral("お"));
        QCOMPARE(label(QStringLiteral("色(1)")), QStringLiteral("い"));
        QCOMPARE(label(QStringLiteral("合計")), QStringLiteral(" 9"));

        // Gate 4 offers two buoys: digits beyond them, 0 and 6..9 change nothing.
        type(QStringLiteral("1"));
        QCOMPARE(focusName(), QStringLiteral("Gop(3)"));
        const auto choices = data().gateBuoyChoice;
        for (const char* refused : {"3", "5", "0", "9"}) {
            type(QString::fromLatin1(refused));
            type(QString::fromLatin1(refused), Qt::KeypadModifier);
            QCOMPARE(focusName(), QStringLiteral("Gop(3)"));
            QCOMPARE(data().gateBuoyChoice, choices);
            QCOMPARE(label(QStringLiteral("色(3)")), QString());
            QCOMPARE(label(QStringLiteral("合計")), QStringLiteral(" 11"));
        }

        // Backspace: back to gate 3, its choice gone from the data, the colour and the total.
        press(Qt::Key_Backspace);
        QCOMPARE(focusName(), QStringLiteral("Gop(2)"));
        QVERIFY(find<QRadioButton>(QStringLiteral("Gop(2)"))->isChecked());
        QCOMPARE(data().gateBuoyChoice[2], int16_t(-1));
        QCOMPARE(label(QStringLiteral("色(2)")), QString());
        QCOMPARE(label(QStringLiteral("合計")), QStringLiteral(" 9"));
        // From the keypad this time: gate 3 え, then all the rest with buoy 1.
        type(QStringLiteral("4"), Qt::KeypadModifier);
        for (int g = 3; g < kGates; ++g) type(QStringLiteral("1"));
        QCOMPARE(focusName(), QStringLiteral("登録ボタン"));
        const QString total = label(QStringLiteral("合計"));
        QCOMPARE(total, QStringLiteral(" 32"));  // 6 + 3 + 5 + 9 × 2

        // Backspace after the last gate goes back to it; a digit there comes back here.
        press(Qt::Key_Backspace);
        QCOMPARE(focusName(), QStringLiteral("Gop(11)"));
        QCOMPARE(data().gateBuoyChoice[11], int16_t(-1));
        type(QStringLiteral("3"));
        QCOMPARE(label(QStringLiteral("合計")), QStringLiteral(" 34"));

        // Shift+Tab walks the road back; Tab forward again.
        press(Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(focusName(), QStringLiteral("Gop(11)"));
        press(Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(focusName(), QStringLiteral("秒"));
        press(Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(focusName(), QStringLiteral("分"));
        press(Qt::Key_Tab);
        press(Qt::Key_Tab);
        QCOMPARE(focusName(), QStringLiteral("Gop(11)"));
        press(Qt::Key_Tab);
        QCOMPARE(focusName(), QStringLiteral("登録ボタン"));

        // Ctrl+Enter from 秒 registers; the run is stored as the keys chose it.
        press(Qt::Key_Backtab, Qt::ShiftModifier);
        press(Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(focusName(), QStringLiteral("秒"));
        press(Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(messages(), QStringList{});
        QCOMPARE(data().competitors[1].runTime, 65.5f);
        QCOMPARE(data().competitors[1].buoyPoints, 34.0f);
        QCOMPARE(focusName(), QStringLiteral("ゼッケン"));
        QVERIFY(!program->workbook()->hasUnsavedChanges());

        // Ctrl+Enter with a gate left empty is stopped by the same check as a click, and the
        // official stays where the keys were.
        type(QStringLiteral("7"));
        press(Qt::Key_Return);
        type(QStringLiteral("1"));
        press(Qt::Key_Return);
        type(QStringLiteral("2"));
        press(Qt::Key_Return);
        type(QStringLiteral("1"));
        press(Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(messages(), QStringList{"ゲート2のブイが選択されていません。"});
        QCOMPARE(focusName(), QStringLiteral("Gop(1)"));
        QCOMPARE(data().competitors[2].status, int16_t(0));
        QCOMPARE(data().competitors[2].runTime, 0.0f);

        // The keys are named where the official looks for them.
        QVERIFY(find(QStringLiteral("DSFQ(3)"))->toolTip().contains(QStringLiteral("F8")));
        QVERIFY(
            find(QStringLiteral("登録ボタン"))->toolTip().contains(QStringLiteral("Ctrl+Enter")));
    }

    // From the panel to the results grid and back by keys: F9 lands on the competitor's row,
    // the menu key or Shift+F10 offers the take-back, and after the question (Yes or No) the
    // official is back in the bib box, so that the next run typed is registered.
    void takeBackByKeysThenTheNextRun() {
        const std::string path = dir->file("大会.xlsx");
        MakeRace(path);
        Finish(program);
        loadAndActivate(path);
        auto* results = find<ui::Grid>(QStringLiteral("グリッド結果"));
        const QString twelveGates = QStringLiteral("111111111111");

        typeRun(4, QStringLiteral("1"), QStringLiteral("05.5"), twelveGates);
        press(Qt::Key_Return);
        typeRun(7, QStringLiteral("1"), QStringLiteral("02.02"), twelveGates);
        press(Qt::Key_Return);
        QCOMPARE(messages(), QStringList{});

        // Escape from the grid goes back to the bib, its text selected.
        press(Qt::Key_F9);
        QCOMPARE(focusName(), QStringLiteral("グリッド結果"));
        QCOMPARE(results->currentRow(), 2);
        press(Qt::Key_Escape);
        QCOMPARE(focusName(), QStringLiteral("ゼッケン"));
        QCOMPARE(bibSelected(), QStringLiteral("7"));

        struct Ask {
            Qt::Key key;
            Qt::KeyboardModifiers mods;
            bool yes;
        } const asks[] = {{Qt::Key_Menu, Qt::NoModifier, false},
                          {Qt::Key_F10, Qt::ShiftModifier, true}};
        for (const Ask& a : asks) {
            // Bib 4 on the panel; F9, then the arrows move the row the menu is for.
            press(Qt::Key_A, Qt::ControlModifier);
            type(QStringLiteral("4"));
            press(Qt::Key_F9);
            QCOMPARE(focusName(), QStringLiteral("グリッド結果"));
            QCOMPARE(results->currentRow(), 1);
            press(Qt::Key_Down);
            press(Qt::Key_Up);
            QCOMPARE(results->currentRow(), 1);
            ui::testing::QueueYesNoAnswer(a.yes);
            press(a.key, a.mods);
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QVERIFY(menu);
            QCOMPARE(menu->objectName(), QStringLiteral("取消メニュー"));
            // The menu has the keyboard while it is open.
            QTest::keyClick(menu, Qt::Key_Return);
            QTRY_VERIFY(!QApplication::activePopupWidget());
            QCOMPARE(ui::testing::Questions(),
                     QStringList{"ゼッケン4 選手1 の結果を取り消しますか？"});
            ui::testing::Questions().clear();
            QCOMPARE(zalvik::HasRun(data().competitors[1]), !a.yes);
            QCOMPARE(focusName(), QStringLiteral("ゼッケン"));
            // No leaves bib 4 on the panel; Yes takes it off with the result.
            QCOMPARE(bibSelected(), a.yes ? QString() : QStringLiteral("4"));
        }

        // The next run goes in as usual.
        typeRun(73, QStringLiteral("1"), QStringLiteral("02.02"), QStringLiteral("332121131121"));
        press(Qt::Key_Return);
        QCOMPARE(messages(), QStringList{});
        QCOMPARE(data().competitors[24].runTime, 62.02f);
        QCOMPARE(results->text(24, 0), QStringLiteral("73"));
        QCOMPARE(focusName(), QStringLiteral("ゼッケン"));
        QVERIFY(!program->workbook()->hasUnsavedChanges());
    }

    // A time typed or a buoy chosen over DS, DF or DQ makes the run an OK run; F5..F8 still
    // choose; the keypad's operators choose nothing.
    void statusesAndRuns() {
        const std::string path = dir->file("大会.xlsx");
        MakeRace(path);
        Finish(program);
        loadAndActivate(path);
        const QString twelveGates = QStringLiteral("111111111111");

        // Bib 4 registered DS.
        type(QStringLiteral("4"));
        press(Qt::Key_Return);
        press(Qt::Key_F6);
        press(Qt::Key_Return);
        QCOMPARE(data().competitors[1].status, int16_t(1));

        // Typing its run shows OK at the first digit, and the run is what is registered.
        type(QStringLiteral("4"));
        press(Qt::Key_Return);
        QVERIFY(status(1)->isChecked());
        type(QStringLiteral("1"));
        QVERIFY(status(0)->isChecked());
        press(Qt::Key_Return);
        type(QStringLiteral("14.14"));
        press(Qt::Key_Return);
        type(twelveGates);
        press(Qt::Key_Return);
        QCOMPARE(messages(), QStringList{});
        QCOMPARE(data().competitors[1].status, int16_t(0));
        QCOMPARE(data().competitors[1].runTime, 74.14f);
        QCOMPARE(data().competitors[1].buoyPoints, 24.0f);

        // F8 still disqualifies; over DQ a buoy chosen by key, then one by mouse, means a run
        // again, and F7 after them still chooses DF, the run kept as it was.
        type(QStringLiteral("4"));
        press(Qt::Key_Return);
        press(Qt::Key_F8);
        press(Qt::Key_Return);
        QCOMPARE(data().competitors[1].status, int16_t(3));
        type(QStringLiteral("4"));
        press(Qt::Key_Return);
        press(Qt::Key_Return);
        press(Qt::Key_Return);
        QVERIFY(status(3)->isChecked());
        type(QStringLiteral("2"));
        QVERIFY(status(0)->isChecked());
        press(Qt::Key_F8);
        QVERIFY(status(3)->isChecked());
        click(option("ブイ", 0));
        QVERIFY(status(0)->isChecked());
        // Looking at a gate that has its buoy chooses nothing.
        press(Qt::Key_F8);
        click(option("Gop", 0));
        QVERIFY(status(3)->isChecked());
        press(Qt::Key_F7);
        QCOMPARE(focusName(), QStringLiteral("登録ボタン"));
        press(Qt::Key_Return);
        QCOMPARE(data().competitors[1].status, int16_t(2));
        QCOMPARE(data().competitors[1].runTime, 74.14f);

        // The keypad's / * - + where a status key would act: nothing is chosen, the focus
        // stays, and Enter registers the run typed.
        typeRun(7, QStringLiteral("1"), QStringLiteral("5.5"), twelveGates);
        QCOMPARE(focusName(), QStringLiteral("登録ボタン"));
        for (Qt::Key k : {Qt::Key_Slash, Qt::Key_Asterisk, Qt::Key_Minus, Qt::Key_Plus}) {
            press(k, Qt::KeypadModifier);
            QCOMPARE(focusName(), QStringLiteral("登録ボタン"));
            QVERIFY(status(0)->isChecked());
        }
        press(Qt::Key_Return);
        QCOMPARE(messages(), QStringList{});
        QCOMPARE(data().competitors[2].status, int16_t(0));
        QCOMPARE(data().competitors[2].runTime, 65.5f);
        QVERIFY(!find(QStringLiteral("DSFQ(3)"))->toolTip().contains(QStringLiteral("テンキー")));

        // Recalled, bib 7 shows 1 min 5.5 s; seconds beyond a minute beside it are refused
        // and nothing is stored; beside 0 minutes they are the whole time.
        const QString journalBefore = journal();
        const QStringList sheetBefore = SheetCells(path);
        type(QStringLiteral("7"));
        press(Qt::Key_Return);
        QCOMPARE(text("分"), QStringLiteral("1"));
        press(Qt::Key_Return);
        press(Qt::Key_A, Qt::ControlModifier);
        type(QStringLiteral("75.3"));
        press(Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(messages(), QStringList{"秒は60未満で入力してください。"});
        QCOMPARE(data().competitors[2].runTime, 65.5f);
        QCOMPARE(find<ui::Grid>(QStringLiteral("グリッド結果"))->text(2, 2),
                 QStringLiteral("65.50"));
        QCOMPARE(journal(), journalBefore);
        QCOMPARE(SheetCells(path), sheetBefore);
        messages().clear();
        press(Qt::Key_Backtab, Qt::ShiftModifier);
        press(Qt::Key_A, Qt::ControlModifier);
        type(QStringLiteral("0"));
        press(Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(messages(), QStringList{});
        QCOMPARE(data().competitors[2].runTime, 75.3f);
    }

    // Buoys that add up to 0 give no race points: the registration is refused with a word and
    // the competitor (here DQ) stays exactly as it was, in data, grid, workbook and journal.
    void zeroBuoyTotalIsRefused() {
        const std::string path = dir->file("大会.xlsx");
        MakeRace(path, /*firstBuoyScoresZero=*/true);
        Finish(program);
        loadAndActivate(path);
        auto* results = find<ui::Grid>(QStringLiteral("グリッド結果"));

        type(QStringLiteral("10"));
        press(Qt::Key_Return);
        press(Qt::Key_F8);
        press(Qt::Key_Return);
        const zalvik::Competitor before = data().competitors[3];
        const QStringList gridBefore = GridTexts(results);
        const QString journalBefore = journal();
        const QStringList sheetBefore = SheetCells(path);

        typeRun(10, QStringLiteral("1"), QStringLiteral("5"), QStringLiteral("111111111111"));
        QCOMPARE(label(QStringLiteral("合計")), QStringLiteral(" 0"));
        press(Qt::Key_Return);
        QCOMPARE(messages(), QStringList{"ﾌﾞｲﾎﾟｲﾝﾄが0のため、レースポイントを計算できません。"});
        const zalvik::Competitor& after = data().competitors[3];
        QCOMPARE(after.status, before.status);
        QCOMPARE(after.runTime, before.runTime);
        QCOMPARE(after.buoyPoints, before.buoyPoints);
        QCOMPARE(after.racePoints, before.racePoints);
        QCOMPARE(GridTexts(results), gridBefore);
        QCOMPARE(journal(), journalBefore);
        QCOMPARE(SheetCells(path), sheetBefore);
        QVERIFY(!program->workbook()->hasUnsavedChanges());

        // A gate still without its buoy is named first; mended, the run registers.
        messages().clear();
        press(Qt::Key_Backspace);
        press(Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(messages(), QStringList{"ゲート12のブイが選択されていません。"});
        messages().clear();
        type(QStringLiteral("2"));
        press(Qt::Key_Return);
        QCOMPARE(messages(), QStringList{});
        QCOMPARE(data().competitors[3].status, int16_t(0));
        QCOMPARE(data().competitors[3].buoyPoints, 3.0f);
    }

    // A refused run leaves the keys on the field to mend, its text selected, not on the register
    // button (where the next bib's digits would go): the mend typed there and Ctrl+Enter
    // register it. In `mend`, '>' is Enter.
    void refusedRunLeavesTheKeysOnTheFieldToMend_data() {
        for (const char* column : {"minutes", "seconds", "message", "focus", "mend"})
            QTest::addColumn<QString>(column);
        QTest::addColumn<int>("gatesTyped");
        auto row = [](const char* name, const QStringList& texts, int gatesTyped) {
            QTestData& r = QTest::newRow(name);
            for (const QString& text : texts) r << text;
            r << gatesTyped;
        };
        row("no time", {"", "", "タイムが入力されていません。", "分", "1>5.5"}, kGates);
        row("seconds unreadable", {"1", "5..5", "秒の入力が数字として読めません。", "秒", "5.5"},
            kGates);
        row("gate 3 left out",
            {"1", "5.5", "ゲート3のブイが選択されていません。", "Gop(2)", "1111111111"}, 2);
    }
    void refusedRunLeavesTheKeysOnTheFieldToMend() {
        QFETCH(QString, minutes);
        QFETCH(QString, seconds);
        QFETCH(int, gatesTyped);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        QFETCH(QString, mend);
        const std::string path = dir->file("大会.xlsx");
        MakeRace(path);
        Finish(program);
        loadAndActivate(path);
        type(QString::number(BibOf(1)));
        press(Qt::Key_Return);
        for (const QString& box : {minutes, seconds}) {
            type(box);
            press(Qt::Key_Return);
        }
        type(QString(gatesTyped, QLatin1Char('1')));
        if (gatesTyped < kGates) press(Qt::Key_Tab);
        QCOMPARE(focusName(), QStringLiteral("登録ボタン"));
        press(Qt::Key_Return);
        QCOMPARE(messages(), QStringList{message});
        QCOMPARE(focusName(), focus);
        const QStringList parts = mend.split(QLatin1Char('>'));
        for (int i = 0; i < parts.size(); ++i) {
            if (i > 0) press(Qt::Key_Return);
            type(parts[i]);
        }
        press(Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(messages(), QStringList{message});
        QCOMPARE(data().competitors[1].runTime, 65.5f);
        QCOMPARE(focusName(), QStringLiteral("ゼッケン"));
    }

    // Ctrl+PageDown and Ctrl+PageUp turn the class pages wherever the focus is, round and
    // round.
    void classPagesTurnByKeys() {
        const std::string path = dir->file("大会.xlsx");
        MakeRace(path);
        Finish(program);
        loadAndActivate(path);
        auto* tabs = find<ui::TabStrip>(QStringLiteral("タブ"));
        QWidget* frame = find(QStringLiteral("Frame12"));
        const auto inFront = [&] {
            QWidget* at = frame->childAt(tabs->clientRect().center());
            for (int k = 0; k < 3; ++k)
                if (at && (at == option("絵", k) || option("絵", k)->isAncestorOf(at))) return k;
            return -1;
        };
        QCOMPARE(tabs->selectedIndex(), 1);

        struct Turn {
            Qt::Key key;
            const char* from;  // where the focus is taken first by keys
            int tab;
        } const turns[] = {{Qt::Key_PageDown, "ゼッケン", 2},
                           {Qt::Key_PageDown, "分", 3},
                           {Qt::Key_PageDown, "Gop(0)", 1},
                           {Qt::Key_PageUp, "登録ボタン", 3},
                           {Qt::Key_PageUp, "グリッド結果", 2}};
        for (const Turn& t : turns) {
            const QString from = QString::fromUtf8(t.from);
            if (from == QStringLiteral("グリッド結果")) press(Qt::Key_F9);
            for (int i = 0; i < 6 && focusName() != from; ++i) press(Qt::Key_Tab);
            QCOMPARE(focusName(), from);
            press(t.key, Qt::ControlModifier);
            QCOMPARE(tabs->selectedIndex(), t.tab);
            QCOMPARE(inFront(), t.tab - 1);
            QCOMPARE(focusName(), from);
        }
        QCOMPARE(messages(), QStringList{});
    }
};

QTEST_MAIN(KeyboardEntryTest)
#include "keyboard_entry_qtest.moc"
