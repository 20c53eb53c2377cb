// Taking back a result through the grids' context menu, the journal the program writes beside
// the workbook, and the recovery of journaled results on loading, all through the real screens
// and real files.

#include <QApplication>
#include <QDate>
#include <QFile>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>

#include "output/OutputScreen.h"
#include "race/Formatting.h"
#include "race/JudgeBoard.h"
#include "store/Journal.h"
#include "store/LoadTestSupport.h"
#include "support/Controls.h"
#include "support/FaultText.h"

using namespace testsupport;
using namespace zalvik::store;

namespace {

QByteArray FileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

}  // namespace

class TakeBackTest : public QObject, public ProgramFixture {
    Q_OBJECT

    std::string path;
    QString journalPath() const { return JournalPathFor(QString::fromStdString(path)); }

    zalvik::ProcessingScreen& screen() { return program->processingScreen(); }
    zalvik::Competition& data() { return program->data(); }
    QStringList& messages() { return ui::testing::Messages(); }
    QStringList& questions() { return ui::testing::Questions(); }
    template <typename W>
    W* find(const QString& name) {
        return testsupport::Find<W>(screen(), name);
    }
    QLineEdit* box(const char* name) { return find<QLineEdit>(QString::fromUtf8(name)); }
    ui::Grid* grid(const char* name) { return find<ui::Grid>(QString::fromUtf8(name)); }
    QRadioButton* option(const char* array, int i) {
        return find<QRadioButton>(ui::ElementName(QString::fromUtf8(array), i));
    }

    // Registers a run of `seconds` with buoy `buoy` at both gates, as the official does.
    void registerRun(int bib, const QString& seconds, int buoy = 1) {
        box("ゼッケン")->clear();
        box("ゼッケン")->setText(QString::number(bib));
        box("分")->setText(QString());
        box("秒")->setText(seconds);
        for (int g = 0; g < 2; ++g) {
            option("Gop", g)->click();
            option("ブイ", buoy)->click();
        }
        find<QPushButton>(QStringLiteral("登録ボタン"))->click();
    }
    void registerStatus(int bib, int status) {
        box("ゼッケン")->clear();
        box("ゼッケン")->setText(QString::number(bib));
        option("DSFQ", status)->click();
        find<QPushButton>(QStringLiteral("登録ボタン"))->click();
    }

    // Opens the context menu of `row` as a user does (a right-click on the row's cells, or the
    // context-menu key on the row made current) and picks "結果を取り消す". False when no
    // menu, or no such item, is offered.
    bool takeBackFromMenu(ui::Grid* g, int row, bool withKey = false) {
        if (withKey) {
            g->clickCell(row, 0);
            g->setFocus();
            QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(0, 0),
                                  g->mapToGlobal(QPoint(0, 0)));
            QApplication::sendEvent(g, &key);
        } else {
            // The right button goes down on the row's cells; the window system then asks the
            // cells' area for its context menu at that point.
            const QPoint at = g->cellRect(row, 0).center() - g->viewport()->pos();
            QTest::mouseClick(g->viewport(), Qt::RightButton, {}, at);
            QContextMenuEvent click(QContextMenuEvent::Mouse, at, g->viewport()->mapToGlobal(at));
            QApplication::sendEvent(g->viewport(), &click);
        }
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return false;
        QAction* item = nullptr;
        for (QAction* a : menu->actions())
            if (a->text() == QStringLiteral("結果を取り消す")) item = a;
        if (!item) {
            menu->close();
            return false;
        }
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
        return QTest::qWaitFor([] { return !QApplication::activePopupWidget(); });
    }

    QStringList standingsBibs() {
        ui::Grid* g = find<ui::Grid>(ui::ElementName(QStringLiteral("グリッド順位"), 0));
        QStringList bibs;
        for (int r = 1; r < g->rows(); ++r)
            if (!g->text(r, 1).isEmpty()) bibs << g->text(r, 1);
        return bibs;
    }

    // Another program (openpyxl, as a spreadsheet program would) writes `text` into one cell
    // of the input sheet (by default a name, corrected; a number when `number`) and saves the
    // file.
    void renameInOtherProgram(int row, const char* text, int col = kColName, bool number = false) {
        const std::string script = dir->file("rename.py");
        std::ofstream(script) << "import sys, openpyxl\n"
                                 "wb = openpyxl.load_workbook(sys.argv[1])\n"
                                 "v = float(sys.argv[4]) if len(sys.argv) > 5 else sys.argv[4]\n"
                                 "wb.worksheets[0].cell(int(sys.argv[2]), int(sys.argv[3])).value "
                                 "= v\n"
                                 "wb.save(sys.argv[1])\n";
        QCOMPARE(
            runCommand("/usr/bin/python3 " + script + " '" + path + "' " + std::to_string(row) +
                       " " + std::to_string(col) + " '" + text + "'" + (number ? " number" : "")),
            0);
    }
    // Runs `answer` on the modal dialog once one is open (the take-in's question is one).
    QPointer<QTimer> poll;
    void whenDialogOpens(std::function<void(QWidget*)> answer) {
        poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, [this, answer] {
            if (QWidget* dialog = QApplication::activeModalWidget()) {
                poll->deleteLater();
                poll->stop();
                answer(dialog);
            }
        });
        poll->start(10);
    }
    void clickButton(QWidget& screen, const char* name) {
        auto* b = Find<QPushButton>(screen, QString::fromUtf8(name));
        QVERIFY2(b->isVisible() && b->isEnabled(), name);
        QTest::mouseClick(b, Qt::LeftButton);
    }

    // Five competitors of one class, two gates offering three buoys.
    void makeRace() {
        TestWorkbook wb(path);
        const char* names[] = {"山田　太郎", "鈴木　健", "佐藤　一郎", "田中　花子", "高橋　誠"};
        for (int i = 1; i <= 5; ++i) wb.competitor(i, 10 + i, QString::fromUtf8(names[i - 1]), 1);
        wb.settings(QStringLiteral("2"), {3, 3}, {QStringLiteral("一般")});
        wb.save();
        std::filesystem::remove(path + ".bak");
    }

    void load() {
        Load(*program, QString::fromStdString(path));
        QCOMPARE(data().competitorCount, 5);
    }
    // The program quit and started again on the same files, the workbook loaded.
    void restart() {
        Finish(program);
        ui::testing::EnableDialogHooks(true);
        program = StartedProgram();
        load();
    }
    // Another program saves `from` over the workbook (a new file renamed over it).
    void saveOverInOtherProgram(const std::string& from) {
        std::filesystem::copy_file(from, path + ".other");
        std::filesystem::rename(path + ".other", path);
    }

  private slots:
    void initTestCase() { zalvik::SetUpScreenFont(); }

    void init() {
        startProgram();
        path = dir->file("大会.xlsx");
        makeRace();
        load();
        QCOMPARE(messages(), QStringList{});
    }
    void cleanup() {
        delete poll;
        finishProgram();
    }

    // The whole road: two results, one taken back from the results grid; data, grid, standings,
    // the saved sheet (values gone, formats kept), the journal and a reload agree; then the
    // competitor is registered again.
    void takeBackAndRegisterAgain() {
        registerRun(12, QStringLiteral("50"));
        registerRun(13, QStringLiteral("40"));
        QCOMPARE(standingsBibs(), (QStringList{"13", "12"}));
        box("ゼッケン")->setText(QStringLiteral("12"));  // the panel shows bib 12
        QVERIFY(!box("秒")->text().isEmpty());

        ui::testing::QueueYesNoAnswer(true);
        QVERIFY(takeBackFromMenu(grid("グリッド結果"), 2));
        QCOMPARE(questions(), QStringList{"ゼッケン12 鈴木　健 の結果を取り消しますか？"});
        QCOMPARE(messages(), QStringList{});
        const zalvik::Competitor& who = data().competitors[2];
        QCOMPARE(who.runTime, 0.0f);
        QCOMPARE(who.racePoints, 0.0f);
        QVERIFY(!zalvik::HasRun(who));
        for (int c = 0; c < grid("グリッド結果")->cols(); ++c)
            QCOMPARE(grid("グリッド結果")->text(2, c), QString());
        QCOMPARE(standingsBibs(), QStringList{"13"});
        QCOMPARE(box("ゼッケン")->text(), QString());
        QCOMPARE(box("秒")->text(), QString());
        QVERIFY(!program->workbook()->hasUnsavedChanges());

        {
            sheet::FileFault fault;
            auto saved = sheet::Workbook::open(path, &fault);
            QVERIFY2(saved, testsupport::Message(fault).c_str());
            sheet::Worksheet& ws = *saved->worksheet(1);
            for (int c = kColRunTime; c <= kColFirstGate + 11; ++c)
                QVERIFY2(ws.value(3, c).isEmpty(), qPrintable(QString::number(c)));
            QCOMPARE(ws.numberFormat(3, kColRunTime), std::string("0.00"));  // format stays
            QCOMPARE(ws.text(4, kColRunTime), std::string("40"));
        }
        const JournalReading journal = ReadJournal(journalPath());
        QCOMPARE(journal.entries.size(), size_t(3));
        QCOMPARE(journal.entries[2].action, JournalEntry::Action::TakeBack);
        QCOMPARE(journal.entries[2].bib, 12);
        QVERIFY(FileBytes(journalPath()).startsWith("\xEF\xBB\xBF"));
        QVERIFY(FileBytes(journalPath()).endsWith("\r\n"));

        // A reload finds the competitor without a run and nothing to recover.
        Load(*program, QString::fromStdString(path));
        QCOMPARE(questions().size(), 1);
        QVERIFY(!zalvik::HasRun(data().competitors[2]));
        QCOMPARE(grid("グリッド結果")->text(2, 0), QString());

        registerRun(12, QStringLiteral("30"), 2);
        QCOMPARE(messages(), QStringList{});
        QCOMPARE(standingsBibs(), (QStringList{"12", "13"}));
        QCOMPARE(ReadJournal(journalPath()).entries.size(), size_t(4));
    }

    // The context-menu key on the competitor list takes back a status; a No changes nothing; a
    // competitor without a result is offered no menu item.
    void takeBackStatusFromListAndRefusals() {
        registerStatus(14, 2);
        QCOMPARE(grid("グリッド結果")->text(4, 4), QStringLiteral("DF"));
        QVERIFY(!takeBackFromMenu(grid("グリッドリスト"), 1));  // bib 11 has nothing

        ui::testing::QueueYesNoAnswer(false);
        QVERIFY(takeBackFromMenu(grid("グリッドリスト"), 4, /*withKey=*/true));
        QCOMPARE(data().competitors[4].status, int16_t(2));
        QCOMPARE(ReadJournal(journalPath()).entries.size(), size_t(1));

        ui::testing::QueueYesNoAnswer(true);
        QVERIFY(takeBackFromMenu(grid("グリッドリスト"), 4, /*withKey=*/true));
        QCOMPARE(data().competitors[4].status, int16_t(0));
        QCOMPARE(grid("グリッド結果")->text(4, 4), QString());
        sheet::FileFault fault;
        auto saved = sheet::Workbook::open(path, &fault);
        QVERIFY(saved->worksheet(1)->value(5, kColStatus).isEmpty());
        QCOMPARE(messages(), QStringList{});
    }

    // The workbook replaced by its backup: the load offers the journaled results back; No
    // leaves workbook and journal alone (and asks again next time), Yes applies them and saves.
    void recoveryFromBackup() {
        registerRun(11, QStringLiteral("50"));
        registerStatus(13, 3);
        registerRun(12, QStringLiteral("45"));
        ui::testing::QueueYesNoAnswer(true);
        QVERIFY(takeBackFromMenu(grid("グリッド結果"), 1));
        registerRun(15, QStringLiteral("41.5"), 2);
        QVERIFY(program->releaseWorkbook(nullptr));
        std::filesystem::copy_file(path + ".bak", path,
                                   std::filesystem::copy_options::overwrite_existing);
        const QByteArray journalBefore = FileBytes(journalPath());
        questions().clear();

        Load(*program, QString::fromStdString(path));
        QCOMPARE(questions().size(), 1);
        // The count, and the span of the entries offered: today, from the first to the last.
        QVERIFY2(questions()[0].contains(QStringLiteral("3件あります（") +
                                         QDate::currentDate().toString("yyyy/MM/dd ")),
                 qPrintable(questions()[0]));
        QVERIFY2(questions()[0].contains(QStringLiteral("～")), qPrintable(questions()[0]));
        QVERIFY(!zalvik::HasRun(data().competitors[2]));
        QCOMPARE(FileBytes(journalPath()), journalBefore);

        ui::testing::QueueYesNoAnswer(true);
        Load(*program, QString::fromStdString(path));
        QCOMPARE(questions().size(), 2);
        QCOMPARE(messages(), QStringList{});
        QCOMPARE(data().competitors[2].runTime, 45.0f);
        QCOMPARE(data().competitors[5].runTime, 41.5f);
        QCOMPARE(data().competitors[3].status, int16_t(3));
        QVERIFY(!zalvik::HasRun(data().competitors[1]));
        QCOMPARE(standingsBibs(), (QStringList{"15", "12"}));
        QCOMPARE(grid("グリッド結果")->text(5, 5), QStringLiteral("4"));
        QCOMPARE(FileBytes(journalPath()), journalBefore);  // applying adds no lines

        // Saved once: a further load has nothing to offer.
        Load(*program, QString::fromStdString(path));
        QCOMPARE(questions().size(), 2);
        QCOMPARE(data().competitors[5].runTime, 41.5f);
    }

    // A journal of another competition is reported and never applied: one of an older journal
    // by its bibs, one of a rehearsal with the same bibs by the workbook it names. The
    // rehearsal's journal is named once; once this workbook journals there too, no more.
    void journalOfAnotherCompetition_data() {
        QTest::addColumn<bool>("rehearsal");
        QTest::newRow("unknown bibs") << false;
        QTest::newRow("a rehearsal with the same bibs") << true;
    }
    void journalOfAnotherCompetition() {
        QFETCH(bool, rehearsal);
        JournalEntry named;
        named.time = QStringLiteral("2025-03-01 09:00:00");
        named.action = JournalEntry::Action::Workbook;
        named.details << QStringLiteral("テスト大会") << QStringLiteral("2025/03/01");
        named.workbookId = QStringLiteral("rehearsal");
        JournalEntry e;
        e.time = QStringLiteral("2025-03-01 09:10:00");
        e.bib = rehearsal ? 12 : 99;
        e.runTime = 50;
        e.buoyPoints = 6;
        e.racePoints = 833.33f;
        e.gates = {"3", "3"};
        if (rehearsal) e.workbookId = QStringLiteral("rehearsal");
        QFile f(journalPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        if (rehearsal) f.write(JournalLine(named));
        f.write(JournalLine(e));
        f.close();
        Load(*program, QString::fromStdString(path));
        QCOMPARE(questions(), QStringList{});
        QCOMPARE(messages().size(), 1);
        QVERIFY2(messages()[0].contains(rehearsal
                                            ? QStringLiteral("ほかの大会（テスト大会　2025/03/01）")
                                            : QStringLiteral("99")),
                 qPrintable(messages()[0]));
        QVERIFY(!zalvik::HasRun(data().competitors[2]));
        if (!rehearsal) return;
        registerRun(11, QStringLiteral("50"));
        messages().clear();
        Load(*program, QString::fromStdString(path));
        QCOMPARE(messages(), QStringList{});
        QCOMPARE(questions(), QStringList{});
        QVERIFY(!zalvik::HasRun(data().competitors[2]));
        QCOMPARE(data().competitors[1].runTime, 50.0f);
    }

    // The file changed by another program while loaded (a name corrected and saved there):
    // Yes takes that change in and keeps both results in the one file; No saves beside it
    // under a new name and says that file is the one to load next time.
    void fileChangedByAnotherProgram_data() {
        QTest::addColumn<bool>("yes");
        QTest::newRow("take the change in") << true;
        QTest::newRow("save under a new name") << false;
    }
    void fileChangedByAnotherProgram() {
        QFETCH(bool, yes);
        if (!haveOpenpyxl()) QSKIP("openpyxl is not installed");
        registerRun(11, QStringLiteral("50"));
        // A judge's entry, in the log beside the workbook: it goes along to a new name.
        zalvik::judges::JudgeBoard& board = program->judgeBoard();
        const zalvik::judges::Judge judge = board.addJudge();
        board.setJudgeGates(judge.id, {1});
        const QByteArray token = board.login(judge.pin, QStringLiteral("127.0.0.1")).token;
        QVERIFY(board.submit(token, {{"0123456789abcdef0123456789abcdef", 12, 1, 1, false, {}}}));
        renameInOtherProgram(3, "鈴木　健二");

        ui::testing::QueueYesNoAnswer(yes);
        registerRun(13, QStringLiteral("40"));
        QCOMPARE(questions().size(), 1);
        QVERIFY2(questions()[0].contains(QStringLiteral("ほかのプログラム")),
                 qPrintable(questions()[0]));
        const std::string beside = dir->file("大会 (2).xlsx");
        sheet::FileFault fault;
        if (yes) {
            // Bib 13, registered after the other program's save, was put back from the journal.
            QCOMPARE(messages().size(), 1);
            QVERIFY2(messages()[0].contains(QStringLiteral("1件")), qPrintable(messages()[0]));
            QVERIFY(!std::filesystem::exists(beside));
            auto saved = sheet::Workbook::open(path, &fault);
            QVERIFY2(saved, testsupport::Message(fault).c_str());
            sheet::Worksheet& ws = *saved->worksheet(1);
            QCOMPARE(ws.text(3, kColName), std::string("鈴木　健二"));
            QCOMPARE(ws.text(2, kColRunTime), std::string("50"));
            QCOMPARE(ws.text(4, kColRunTime), std::string("40"));
            QCOMPARE(data().competitors[2].name, QStringLiteral("鈴木　健二"));
            QCOMPARE(grid("グリッドリスト")->text(2, 1), QStringLiteral("鈴木　健二"));
            QCOMPARE(standingsBibs(), (QStringList{"13", "11"}));
            // Later registrations go on in the same file without a question.
            registerRun(14, QStringLiteral("45"));
            QCOMPARE(questions().size(), 1);
            saved = sheet::Workbook::open(path, &fault);
            QCOMPARE(saved->worksheet(1)->text(5, kColRunTime), std::string("45"));
        } else {
            QCOMPARE(messages().size(), 1);
            QVERIFY2(messages()[0].contains(QStringLiteral("次からは「大会 (2).xlsx」")),
                     qPrintable(messages()[0]));
            auto theirs = sheet::Workbook::open(path, &fault);
            QVERIFY(theirs->worksheet(1)->value(4, kColRunTime).isEmpty());
            auto ours = sheet::Workbook::open(beside, &fault);
            QCOMPARE(ours->worksheet(1)->text(4, kColRunTime), std::string("40"));
            QVERIFY(QFile::exists(zalvik::judges::JudgesLogPath(QString::fromStdString(beside))));
            QCOMPARE(board.entryCount(), size_t(1));
            // Loading the original out of habit, after a restart, says where the later results
            // are and loads that file on Yes.
            restart();
            QCOMPARE(questions().size(), 1);
            QCOMPARE(questions()[0],
                     QStringLiteral("このブックのあとの結果は「大会 (2).xlsx」に"
                                    "保存されています。そのブックを読み込みますか？"));
            QCOMPARE(program->workbook()->path(), path);
            ui::testing::QueueYesNoAnswer(true);
            load();
            QCOMPARE(questions().size(), 2);
            QCOMPARE(program->workbook()->path(), beside);
            QCOMPARE(data().competitors[3].runTime, 40.0f);
            QCOMPARE(standingsBibs(), (QStringList{"13", "11"}));
        }
    }

    // A take-in after a restart: bib 11 registered in one session, bib 12 in the next; another
    // program then saves an older copy (without either) over the file. On Yes the registration
    // of bib 13 brings every journaled result back into the screen, the standings and the file,
    // says how many, shows the race points of the run just registered, and the backup keeps
    // the copy this program saved last.
    void takeInPutsBackResultsOfEarlierSessions() {
        const std::string older = dir->file("older.xlsx");
        std::filesystem::copy_file(path, older);
        registerRun(11, QStringLiteral("50"));
        restart();
        registerRun(12, QStringLiteral("45"));
        saveOverInOtherProgram(older);
        messages().clear();
        ui::testing::QueueYesNoAnswer(true);
        registerRun(13, QStringLiteral("40"));
        QCOMPARE(questions().size(), 1);
        QCOMPARE(messages().size(), 1);
        QVERIFY2(messages()[0].contains(QStringLiteral("3件")), qPrintable(messages()[0]));
        QCOMPARE(standingsBibs(), (QStringList{"13", "12", "11"}));
        QCOMPARE(find<QLabel>(QStringLiteral("RP"))->text(),
                 zalvik::FormatHundredths(data().competitors[3].racePoints));
        QCOMPARE(box("ゼッケン")->text(), QStringLiteral("13"));
        sheet::FileFault fault;
        auto saved = sheet::Workbook::open(path, &fault);
        QVERIFY(saved);
        for (auto [row, time] : {std::pair{2, "50"}, {3, "45"}, {4, "40"}})
            QCOMPARE(saved->worksheet(1)->text(row, kColRunTime), std::string(time));
        // The file read again keeps the identity its journal lines carry.
        QVERIFY(!saved->customProperty(kWorkbookIdProperty).empty());
        auto backup = sheet::Workbook::open(path + ".bak", &fault);
        QVERIFY(backup);
        QCOMPARE(backup->worksheet(1)->text(2, kColRunTime), std::string("50"));
        QCOMPARE(backup->worksheet(1)->text(3, kColRunTime), std::string("45"));
    }

    // An official corrects bib 12's time from 70.00 to 71.00 and bib 14's from 45.00 to 46.00 in
    // the spreadsheet program and saves; the next registration's take-in lists both with the
    // file's and the journal's results, and keeps what the official picks: the journal's for
    // all, then the file's for bib 12. Bib 13, which the file lacks, goes back as before.
    void takeInAsksWhichOfTwoResultsToKeep() {
        if (!haveOpenpyxl()) QSKIP("openpyxl is not installed");
        registerRun(12, QStringLiteral("70"));
        registerRun(14, QStringLiteral("45"));
        renameInOtherProgram(3, "71", kColRunTime, /*number=*/true);
        renameInOtherProgram(5, "46", kColRunTime, /*number=*/true);
        QStringList listed;
        bool decided = false;
        whenDialogOpens([&](QWidget* dialog) {
            auto* table = Find<QTableWidget>(*dialog, QStringLiteral("取込一覧"));
            for (int r = 0; r < table->rowCount(); ++r)
                listed << table->item(r, 0)->text() + " " +
                              qobject_cast<QRadioButton*>(table->cellWidget(r, 2))->text() + " / " +
                              qobject_cast<QRadioButton*>(table->cellWidget(r, 3))->text();
            auto* decide = Find<QPushButton>(*dialog, QStringLiteral("決定ボタン"));
            const bool waitedForAChoice = !decide->isEnabled();
            QTest::mouseClick(Find<QPushButton>(*dialog, QStringLiteral("全部記録ボタン")),
                              Qt::LeftButton);
            QTest::mouseClick(Find<QRadioButton>(*dialog, QStringLiteral("ブック側(0)")),
                              Qt::LeftButton);
            decided = waitedForAChoice && decide->isEnabled();
            QTest::mouseClick(decide, Qt::LeftButton);
        });
        ui::testing::QueueYesNoAnswer(true);
        registerRun(13, QStringLiteral("40"));
        QVERIFY(decided);
        QCOMPARE(listed.size(), 2);
        for (const char* shown : {"12 タイム 71.00", "/ タイム 70.00", "14 タイム 46.00", "45.00"})
            QVERIFY2(listed.join("|").contains(QString::fromUtf8(shown)),
                     qPrintable(listed.join("|")));
        QCOMPARE(data().competitors[2].runTime, 71.0f);
        QCOMPARE(data().competitors[4].runTime, 45.0f);
        QCOMPARE(data().competitors[3].runTime, 40.0f);
        QVERIFY2(messages().join("").contains(QStringLiteral("2件")),
                 qPrintable(messages().join("")));
        sheet::FileFault fault;
        auto saved = sheet::Workbook::open(path, &fault);
        QVERIFY(saved);
        for (auto [row, time] : {std::pair{3, "71"}, {4, "40"}, {5, "45"}})
            QCOMPARE(saved->worksheet(1)->text(row, kColRunTime), std::string(time));
    }

    // The same question comes with every kind of save, not only a registration's: the set
    // action, a results-sheet run, and leaving with a result that an earlier save could not
    // write. Yes keeps the other program's correction and this session's settings, results and
    // results sheet in the one file; No saves beside it and names that file for next time.
    void fileChangedBeforeEveryKindOfSave_data() {
        QTest::addColumn<QString>("save");
        QTest::addColumn<bool>("yes");
        for (const char* save : {"set action", "results sheet", "leaving"}) {
            QTest::addRow("%s, take the change in", save) << save << true;
            QTest::addRow("%s, save under a new name", save) << save << false;
        }
    }
    void fileChangedBeforeEveryKindOfSave() {
        QFETCH(QString, save);
        QFETCH(bool, yes);
        if (!haveOpenpyxl()) QSKIP("openpyxl is not installed");
        QStringList opened;
        ui::testing::SetSpreadsheetOpener([&](const QString& p) { opened << p; });
        registerRun(11, QStringLiteral("50"));
        if (save == "leaving") {
            sheet::Workbook::setSaveFaultForTesting(sheet::Workbook::SaveFault::DuringWrite);
            registerRun(13, QStringLiteral("40"));
            QCOMPARE(messages().size(), 1);  // not saved; kept for the next save
            messages().clear();
            sheet::Workbook::setSaveFaultForTesting(sheet::Workbook::SaveFault::None);
        }
        renameInOtherProgram(2, "山田　太朗");
        ui::testing::QueueYesNoAnswer(yes);

        if (save == "set action") {
            clickButton(screen(), "基本設定ボタン");
            zalvik::SettingsScreen& s = program->settingsScreen();
            s.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&s));
            auto* event = Find<QLineEdit>(s, QStringLiteral("大会名称"));
            QTest::mouseClick(event, Qt::LeftButton);
            QCOMPARE(QApplication::focusWidget(), event);
            event->selectAll();
            // Japanese reaches the box as the input method commits it.
            QInputMethodEvent typed;
            typed.setCommitString(QStringLiteral("春季大会"));
            QApplication::sendEvent(QApplication::focusWidget(), &typed);
            clickButton(s, "Command1");
            QCOMPARE(ShownNames(*program), QStringList{screen().objectName()});
        } else if (save == "results sheet") {
            clickButton(screen(), "出力ボタン");
            zalvik::OutputScreen& out = program->outputScreen();
            QTest::mouseClick(Find<QRadioButton>(out, QStringLiteral("クラスオプ"), 0),
                              Qt::LeftButton);
            clickButton(out, "実行ボタン");
            QCOMPARE(ShownNames(*program), QStringList{out.objectName()});
        } else {
            clickButton(screen(), "終了ボタン");
            QVERIFY(!program->workbook());
        }
        QCOMPARE(questions().size(), 1);
        QVERIFY2(questions()[0].contains(QStringLiteral("ほかのプログラム")),
                 qPrintable(questions()[0]));

        const std::string beside = dir->file("大会 (2).xlsx");
        sheet::FileFault fault;
        auto theirs = sheet::Workbook::open(path, &fault);
        QVERIFY(theirs);
        QCOMPARE(theirs->worksheet(1)->text(2, kColName), std::string("山田　太朗"));
        auto ours = yes ? std::move(theirs) : sheet::Workbook::open(beside, &fault);
        QVERIFY(ours);
        QCOMPARE(std::filesystem::exists(beside), !yes);
        sheet::Worksheet& input = *ours->worksheet(1);
        QCOMPARE(input.text(2, kColName), std::string(yes ? "山田　太朗" : "山田　太郎"));
        QCOMPARE(input.text(2, kColRunTime), std::string("50"));
        if (yes) {
            QVERIFY2(!messages().join("").contains(QStringLiteral("次からは")),
                     qPrintable(messages().join("\n")));
        } else {
            QVERIFY(!messages().isEmpty());
            QVERIFY2(messages()[0].contains(QStringLiteral("次からは「大会 (2).xlsx」")),
                     qPrintable(messages()[0]));
        }
        if (save == "set action") {
            zalvik::Competition read;
            ReadEventDetails(input, read);
            QCOMPARE(read.eventName, QStringLiteral("春季大会"));
            QCOMPARE(data().eventName, QStringLiteral("春季大会"));
        } else if (save == "results sheet") {
            // The sheet is the one of this run, with the name as the file now has it, and it is
            // the file holding it that is shown.
            sheet::Worksheet& sheet2 = *ours->worksheet(2);
            QCOMPARE(sheet2.text(6, 2), std::string("11"));
            QCOMPARE(QString::fromStdString(sheet2.text(6, 4))
                         .contains(QString::fromUtf8(yes ? "山田　太朗" : "山田　太郎")),
                     true);
            QCOMPARE(opened, QStringList{QString::fromStdString(yes ? path : beside)});
        } else {
            QCOMPARE(input.text(4, kColRunTime), std::string("40"));
        }
        ui::testing::SetSpreadsheetOpener({});
    }

    // The other program left the file so that it no longer reads as a competition (a bib out
    // of range): Yes takes nothing of it in, the program keeps its own workbook with every
    // result and saves it beside the file, saying so.
    void fileChangedIntoOneThatDoesNotRead() {
        if (!haveOpenpyxl()) QSKIP("openpyxl is not installed");
        registerRun(11, QStringLiteral("50"));
        renameInOtherProgram(3, "99999", kColBib);
        ui::testing::QueueYesNoAnswer(true);
        registerRun(13, QStringLiteral("40"));
        QCOMPARE(questions().size(), 1);
        QCOMPARE(messages().size(), 2);
        QVERIFY2(messages()[0].contains(QStringLiteral("A3")), qPrintable(messages()[0]));
        QVERIFY2(messages()[1].contains(QStringLiteral("次からは「大会 (2).xlsx」")),
                 qPrintable(messages()[1]));
        QCOMPARE(data().competitorCount, 5);
        QCOMPARE(data().competitors[2].bib, 12);
        QCOMPARE(standingsBibs(), (QStringList{"13", "11"}));
        sheet::FileFault fault;
        auto ours = sheet::Workbook::open(dir->file("大会 (2).xlsx"), &fault);
        QVERIFY(ours);
        QCOMPARE(ours->worksheet(1)->text(2, kColRunTime), std::string("50"));
        QCOMPARE(ours->worksheet(1)->text(4, kColRunTime), std::string("40"));
        QCOMPARE(ours->worksheet(1)->text(3, kColBib), std::string("12"));
    }

    // Bad journals: each gives at most one message, the load completes and the journal stays
    // as it was.
    void badJournals_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("truncated last line") << "truncated";
        QTest::newRow("garbage line") << "garbage";
        QTest::newRow("10 MB") << "large";
        QTest::newRow("a directory") << "directory";
        QTest::newRow("unreadable") << "loop";
    }
    void badJournals() {
        QFETCH(QString, kind);
        registerRun(11, QStringLiteral("50"));
        QVERIFY(program->releaseWorkbook(nullptr));
        const QString j = journalPath();
        QFile::remove(j);
        JournalEntry e;
        e.time = QStringLiteral("2026-01-01 10:00:00");
        e.bib = 12;
        e.runTime = 45;
        e.buoyPoints = 6;
        e.racePoints = 750;
        e.gates = {"3", "3"};
        if (kind == "directory") {
            QVERIFY(QDir().mkpath(j));
        } else if (kind == "loop") {
            QVERIFY(QFile::link(j, j));
        } else {
            QFile f(j);
            QVERIFY(f.open(QIODevice::WriteOnly));
            if (kind == "truncated") {
                f.write(JournalLine(e));
                f.write(JournalLine(e).left(20));
            } else if (kind == "garbage") {
                f.write("\x01\x02 not a line ,,,\"\r\n");
                f.write(JournalLine(e));
            } else {
                const QByteArray line = JournalLine(e);
                for (qint64 n = 0; n < 10LL * 1024 * 1024 / line.size(); ++n) f.write(line);
            }
        }
        const QByteArray before = QFileInfo(j).isFile() ? FileBytes(j) : QByteArray();
        messages().clear();
        questions().clear();
        Load(*program, QString::fromStdString(path));
        QCOMPARE(data().competitorCount, 5);
        QVERIFY(program->workbook());
        QVERIFY2(messages().size() <= 1, qPrintable(messages().join("\n")));
        if (kind == "directory" || kind == "loop") {
            QCOMPARE(messages().size(), 1);
            QCOMPARE(questions(), QStringList{});
        } else {
            QCOMPARE(questions().size(), 1);  // bib 12 is offered back
        }
        if (QFileInfo(j).isFile()) QCOMPARE(FileBytes(j), before);
        // A registration still goes through, whatever the journal is.
        messages().clear();
        registerRun(13, QStringLiteral("40"));
        registerRun(14, QStringLiteral("41"));
        // A journal that cannot be written says so once; the registrations are saved all the same.
        QCOMPARE(messages().size(), kind == "directory" || kind == "loop" ? 1 : 0);
        QCOMPARE(data().competitors[4].runTime, 41.0f);
        QVERIFY(!program->workbook()->hasUnsavedChanges());
        if (kind == "truncated") {
            // The cut-short line is ended before the next line, which stands on its own.
            const JournalReading r = ReadJournal(j);
            QCOMPARE(r.entries.back().bib, 14);
            QCOMPARE(r.unreadableLines, 1);
        }
        if (kind == "directory" || kind == "loop") QVERIFY(!QFileInfo(j).isFile());
    }
};

QTEST_MAIN(TakeBackTest)
#include "take_back_qtest.moc"
