// The journal's file format, its appending, and the comparison that finds what a workbook lacks.

#include "store/Journal.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <cstring>
#include <filesystem>

#include "sheet/Workbook.h"
#include "store/InputSheet.h"
#include "store/TestWorkbook.h"
#include "support/TestFiles.h"

using namespace zalvik::store;

namespace {

JournalEntry Registration(int bib, float time, float buoys, float race, int status,
                          std::vector<QString> gates, QString name = QStringLiteral("山田")) {
    JournalEntry e;
    e.time = QStringLiteral("2026-12-08 10:11:12");
    e.bib = bib;
    e.name = std::move(name);
    e.runTime = time;
    e.buoyPoints = buoys;
    e.racePoints = race;
    e.status = status;
    e.gates = std::move(gates);
    return e;
}

JournalEntry TakeBack(int bib) {
    JournalEntry e;
    e.time = QStringLiteral("2026-12-08 10:12:00");
    e.action = JournalEntry::Action::TakeBack;
    e.bib = bib;
    return e;
}

QByteArray Bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

// Lines read back as written, whatever the name holds; a float comes back as the same float. A
// name a spreadsheet program would run as a formula is written so that it shows as text.
TEST(Journal, LinesReadBackAsWritten) {
    const JournalEntry written[] = {
        Registration(12, 75.3f, 16, 470.63f, 0, {"6", "3", "5", "2"}),
        Registration(7, 0.1f, 3, 3.33f, 2, {}, QStringLiteral("名前, \"愛称\" 付き")),
        Registration(-3, 61.5f, 20, 307.5f, 0, {"", "6"}, QStringLiteral("改行\nあり")),
        TakeBack(12),
        Registration(8, 50, 6, 833.33f, 0, {"-1"}, QStringLiteral("=HYPERLINK(\"http://x\")")),
        Registration(9, 50, 6, 833.33f, 0, {"3"}, QStringLiteral("+cmd|' /C calc'!A0")),
        Registration(10, 50, 6, 833.33f, 0, {"3"}, QStringLiteral("@SUM(1)")),
        Registration(11, 50, 6, 833.33f, 0, {"3"}, QStringLiteral("\t-1")),
        Registration(13, 50, 6, 833.33f, 0, {"3"}, QStringLiteral("'=見せるだけ")),
    };
    QByteArray file("\xEF\xBB\xBF");
    for (const JournalEntry& e : written) file += JournalLine(e);
    // Every text field that would start a formula is a quoted text with a leading apostrophe;
    // numbers stay numbers.
    for (const QByteArray& line : file.split('\n')) {
        for (const QByteArray& field : line.split(','))
            for (const char* start : {"=", "+", "-1", "@", "\t", "\"="})
                EXPECT_FALSE(field.startsWith(start) && field != "-3") << line.toStdString();
    }
    EXPECT_TRUE(file.contains(",\"'=HYPERLINK(\"\"http://x\"\")\","));
    EXPECT_TRUE(file.contains(",-3,"));
    const JournalReading r = ParseJournal(file);
    ASSERT_EQ(r.entries.size(), std::size(written));
    EXPECT_EQ(r.unreadableLines, 0);
    EXPECT_FALSE(r.truncatedLastLine);
    for (size_t i = 0; i < r.entries.size(); ++i) {
        SCOPED_TRACE(i);
        const JournalEntry& got = r.entries[i];
        EXPECT_EQ(got.action, written[i].action);
        EXPECT_EQ(got.bib, written[i].bib);
        EXPECT_EQ(got.runTime, written[i].runTime);
        EXPECT_EQ(got.racePoints, written[i].racePoints);
        EXPECT_EQ(got.status, written[i].status);
        EXPECT_EQ(got.gates, written[i].gates);
        EXPECT_EQ(got.lineNumber, static_cast<int>(i) + 1);
    }
    EXPECT_EQ(r.entries[1].name, QStringLiteral("名前, \"愛称\" 付き"));
    EXPECT_EQ(r.entries[2].name, QStringLiteral("改行 あり"));  // one entry, one line
    for (size_t i = 4; i < std::size(written); ++i) EXPECT_EQ(r.entries[i].name, written[i].name);
}

// What a damaged journal gives: the good lines, counted bad ones, one message.
TEST(Journal, DamagedJournals) {
    const QByteArray good = JournalLine(Registration(5, 50, 6, 833.33f, 0, {"3", "3"}));
    struct Case {
        const char* name;
        QByteArray bytes;
        size_t entries;
        int unreadable;
        bool truncated;
    } cases[] = {
        {"cut short", good + good.left(25), 1, 0, true},
        {"garbage", "\x01\x02garbage\r\n" + good + "2026-13-45 x,登録,1\r\n", 1, 2, false},
        {"bad number", good + QByteArray(good).replace("50,", "5x0,"), 1, 1, false},
        {"open quote", "2026-12-08 10:11:12,登録,5,\"open,50,6,1,0\r\n" + good, 1, 1, false},
        {"heading and blank lines", "日時,操作\r\n\r\n" + good, 1, 0, false},
        {"LF only", QByteArray(good).replace("\r\n", "\n"), 1, 0, false},
        {"torn: one byte changed", QByteArray(good).replace(",50,", ",60,") + good, 1, 1, false},
        {"a line without its check after checked ones", good + "2026-12-08 10:11:12,取消,1\r\n", 1,
         1, false},
        {"empty", "", 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const JournalReading r = ParseJournal(c.bytes);
        EXPECT_EQ(r.entries.size(), c.entries);
        EXPECT_EQ(r.unreadableLines, c.unreadable);
        EXPECT_EQ(r.truncatedLastLine, c.truncated);
        EXPECT_EQ(r.message(QStringLiteral("j.csv")).isEmpty(), !c.unreadable && !c.truncated);
    }
}

// Appending: a new journal starts with the byte order mark and the heading; every line ends in
// CRLF; a line cut short by a crash is ended before the next one; a journal that cannot be
// written says so once.
TEST(Journal, Appending) {
    testsupport::TempDir dir;
    const QString book = QString::fromStdString(dir.file("大会.xlsx"));
    const QString path = JournalPathFor(book);
    EXPECT_EQ(QFileInfo(path).fileName(), QStringLiteral("大会.journal.csv"));

    JournalWriter w;
    EXPECT_FALSE(w.append(book, Registration(1, 50, 6, 833.33f, 0, {"3"})));
    QByteArray bytes = Bytes(path);
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF日時,"));
    EXPECT_TRUE(bytes.endsWith("\r\n"));
    EXPECT_EQ(bytes.count("\r\n"), 3);  // the heading, the workbook's line, the entry

    // A crash cut a take-back of bib 12 short to "…,取消,1"; the next session's lines start
    // afresh and the cut line is never read as a take-back of bib 1, nor are older lines
    // without a check read as more than before.
    EXPECT_FALSE(w.append(book, TakeBack(12)));
    bytes = Bytes(path);
    bytes.chop(bytes.size() - bytes.lastIndexOf(",取消,1") - int(strlen(",取消,1")));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    JournalWriter next;
    EXPECT_FALSE(next.append(book, TakeBack(3)));
    EXPECT_FALSE(next.append(book, Registration(4, 50, 6, 833.33f, 0, {"3"})));
    const JournalReading r = ReadJournal(path);
    std::vector<std::pair<int, JournalEntry::Action>> got;
    for (const JournalEntry& e : r.entries)
        if (e.action != JournalEntry::Action::Workbook) got.emplace_back(e.bib, e.action);
    EXPECT_EQ(got, (std::vector<std::pair<int, JournalEntry::Action>>{
                       {1, JournalEntry::Action::Registration},
                       {3, JournalEntry::Action::TakeBack},
                       {4, JournalEntry::Action::Registration}}))
        << Bytes(path).toStdString();
    EXPECT_EQ(r.unreadableLines, 1);
    EXPECT_FALSE(r.truncatedLastLine);
    EXPECT_EQ(next.sessionEntries().size(), 2u);

    // A folder where the journal belongs: one message per outage, then silence until a line
    // has been written again.
    const QString other = QString::fromStdString(dir.file("別.xlsx"));
    ASSERT_TRUE(QDir().mkpath(JournalPathFor(other)));
    JournalWriter blocked;
    const auto first = blocked.append(other, TakeBack(1));
    ASSERT_TRUE(first);
    EXPECT_EQ(*first,
              QStringLiteral("記録ファイル「別.journal.csv」に書き込めません（同じ名前の"
                             "フォルダがあります）が、ブックへの書き込みと保存は続けます。"));
    const auto second = blocked.append(other, TakeBack(2));
    ASSERT_TRUE(second);
    EXPECT_TRUE(second->isEmpty());
    ASSERT_TRUE(QDir().rmdir(JournalPathFor(other)));
    EXPECT_FALSE(blocked.append(other, TakeBack(3)));
    ASSERT_TRUE(QFile::remove(JournalPathFor(other)));
    ASSERT_TRUE(QDir().mkpath(JournalPathFor(other)));
    EXPECT_FALSE(blocked.append(other, TakeBack(4)).value_or(QString()).isEmpty());
    blocked.reset();
    EXPECT_FALSE(blocked.append(other, TakeBack(5))->isEmpty());
}

// Reading never changes the journal, and refuses what is not a journal file.
TEST(Journal, ReadingLeavesTheFileAlone) {
    testsupport::TempDir dir;
    const QString path = QString::fromStdString(dir.file("j.journal.csv"));
    EXPECT_FALSE(ReadJournal(path).exists);
    const QByteArray line = JournalLine(Registration(5, 50, 6, 833.33f, 0, {"3"}));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        for (int i = 0; i < 10 * 1024 * 1024 / line.size(); ++i) f.write(line);
    }
    const QByteArray before = Bytes(path);
    const JournalReading big = ReadJournal(path);
    EXPECT_EQ(big.problem, JournalReading::Problem::None);
    EXPECT_EQ(static_cast<qsizetype>(big.entries.size()), 10 * 1024 * 1024 / line.size());
    EXPECT_EQ(Bytes(path), before);

    const QString folder = QString::fromStdString(dir.file("d.journal.csv"));
    ASSERT_TRUE(QDir().mkpath(folder));
    EXPECT_EQ(ReadJournal(folder).problem, JournalReading::Problem::Folder);
    const QString loop = QString::fromStdString(dir.file("l.journal.csv"));
    ASSERT_TRUE(QFile::link(loop, loop));
    EXPECT_TRUE(ReadJournal(loop).exists);
    EXPECT_NE(ReadJournal(loop).problem, JournalReading::Problem::None);
}

// What the workbook lacks: for each bib the last entry, unless its row already holds it.
TEST(Journal, PendingEntries) {
    testsupport::TempDir dir;
    testsupport::TestWorkbook wb(dir.file("b.xlsx"));
    for (int i = 1; i <= 4; ++i) wb.competitor(i, 10 + i, QStringLiteral("選手"));
    // Bib 11 holds its journaled run; bib 12 an older one; bib 13 a DS; bib 14 nothing.
    wb.num(2, kColRunTime, 50).num(2, kColBuoyPoints, 6).num(2, kColRacePoints, 833.33);
    wb.num(2, kColStatus, 0).text(2, kColFirstGate, QStringLiteral("3"));
    wb.num(3, kColRunTime, 60).num(3, kColBuoyPoints, 6).num(3, kColRacePoints, 1000);
    wb.num(3, kColStatus, 0);
    wb.num(4, kColRunTime, 0).num(4, kColBuoyPoints, 0).num(4, kColRacePoints, 0);
    wb.num(4, kColStatus, 1);

    const std::vector<JournalEntry> journal = {
        Registration(11, 50, 6, 833.33f, 0, {"3"}),  // held
        Registration(12, 45, 6, 750, 0, {"3"}),      // lacking
        Registration(14, 40, 6, 666.67f, 0, {"3"}),  // taken back later: lacking only
        TakeBack(14),                                // ...as a take-back, which an empty row holds
        Registration(13, 0, 0, 0, 1, {""}),          // the DS the row holds
        TakeBack(13),                                // lacking
        Registration(11, 50, 6, 833.33f, 0, {"4"}),  // a later gate change: lacking
    };
    JournalPending p = PendingEntries(journal, wb.ws(), 4);
    EXPECT_TRUE(p.unknownBibs.empty());
    std::vector<std::pair<int, JournalEntry::Action>> got;
    for (const JournalEntry& e : p.toApply) got.emplace_back(e.bib, e.action);
    const std::vector<std::pair<int, JournalEntry::Action>> want = {
        {12, JournalEntry::Action::Registration},
        {13, JournalEntry::Action::TakeBack},
        {11, JournalEntry::Action::Registration},
    };
    EXPECT_EQ(got, want);

    std::vector<JournalEntry> other = journal;
    other.push_back(Registration(99, 1, 1, 100, 0, {}));
    other.push_back(TakeBack(98));
    other.push_back(TakeBack(99));
    p = PendingEntries(other, wb.ws(), 4);
    EXPECT_EQ(p.unknownBibs, (std::vector<int>{99, 98}));
}
