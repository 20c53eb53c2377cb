// Taking back a result through the grids' context menu, the journal the program writes beside
// the workbook, and the recovery of journaled results on loading, all through the real screens
// and real files.

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <filesystem>
#include <fstream>

#include "store/Journal.h"
#include "store/LoadTestSupport.h"

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
        W* w = screen().findChild<W*>(name);
        if (!w) qFatal("no control named %s", qPrintable(name));
        return w;
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

  private slots:
    void initTestCase() { zalvik::SetUpScreenFont(); }

    void init() {
        startProgram();
        path = dir->file("大会.xlsx");
        makeRace();
        load();
        QCOMPARE(messages(), QStringList{});
    }
    void cleanup() { finishProgram(); }

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
            std::string error;
            auto saved = sheet::Workbook::open(path, &error);
            QVERIFY2(saved, error.c_str());
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
        std::string error;
        auto saved = sheet::Workbook::open(path, &error);
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
        QVERIFY2(questions()[0].contains(QStringLiteral("3件")), qPrintable(questions()[0]));
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

    // A journal of another competition is reported and never applied.
    void journalOfAnotherCompetition() {
        JournalEntry e;
        e.bib = 99;
        e.runTime = 50;
        e.buoyPoints = 6;
        e.racePoints = 833.33f;
        e.gates = {"3", "3"};
        QFile f(journalPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(JournalLine(e));
        f.close();
        Load(*program, QString::fromStdString(path));
        QCOMPARE(questions(), QStringList{});
        QCOMPARE(messages().size(), 1);
        QVERIFY(messages()[0].contains(QStringLiteral("99")));
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
        const std::string script = dir->file("rename.py");
        std::ofstream(script) << "import sys, openpyxl\n"
                                 "wb = openpyxl.load_workbook(sys.argv[1])\n"
                                 "wb.worksheets[0].cell(3, 2).value = '鈴木　健二'\n"
                                 "wb.save(sys.argv[1])\n";
        QCOMPARE(runCommand("/usr/bin/python3 " + script + " '" + path + "'"), 0);

        ui::testing::QueueYesNoAnswer(yes);
        registerRun(13, QStringLiteral("40"));
        QCOMPARE(questions().size(), 1);
        QVERIFY2(questions()[0].contains(QStringLiteral("ほかのプログラム")),
                 qPrintable(questions()[0]));
        const std::string beside = dir->file("大会 (2).xlsx");
        std::string error;
        if (yes) {
            QCOMPARE(messages(), QStringList{});
            QVERIFY(!std::filesystem::exists(beside));
            auto saved = sheet::Workbook::open(path, &error);
            QVERIFY2(saved, error.c_str());
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
            saved = sheet::Workbook::open(path, &error);
            QCOMPARE(saved->worksheet(1)->text(5, kColRunTime), std::string("45"));
        } else {
            QCOMPARE(messages().size(), 1);
            QVERIFY2(messages()[0].contains(QStringLiteral("次からは「大会 (2).xlsx」")),
                     qPrintable(messages()[0]));
            auto theirs = sheet::Workbook::open(path, &error);
            QVERIFY(theirs->worksheet(1)->value(4, kColRunTime).isEmpty());
            auto ours = sheet::Workbook::open(beside, &error);
            QCOMPARE(ours->worksheet(1)->text(4, kColRunTime), std::string("40"));
        }
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
