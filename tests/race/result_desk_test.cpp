// The result desk without any screen: what a refused request leaves alone, the whole road of a
// registration, a take-back and journal lines put back, and a save the desk holds back because
// another program changed the file.

#include <gtest/gtest.h>

#include <QFile>
#include <filesystem>

#include "race/ResultDesk.h"
#include "race/ResultEntry.h"
#include "race/Scoring.h"
#include "setup/GateCount.h"
#include "store/InputSheet.h"
#include "store/TestWorkbook.h"
#include "support/TestFiles.h"

using namespace zalvik;
using store::JournalEntry;
using store::kColFirstGate;
using store::kColRunTime;

namespace {

QByteArray Bytes(const std::string& path) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Three competitors of one class, two gates; bib 13 already has a run in the file.
class ResultDeskTest : public ::testing::Test {
  protected:
    testsupport::TempDir dir;
    const std::string path = dir.file("大会.xlsx");
    const QString journalPath = store::JournalPathFor(QString::fromStdString(path));
    std::unique_ptr<Competition> d = std::make_unique<Competition>();
    std::unique_ptr<sheet::Workbook> book;
    std::function<void()> onPublish;
    ResultDesk desk{*d,
                    {[this] { return book.get(); },
                     [this] {
                         if (onPublish) onPublish();
                     },
                     {}}};

    void SetUp() override {
        testsupport::TestWorkbook wb(path);
        wb.competitor(1, 11, QStringLiteral("山田　太郎"))
            .competitor(2, 12, QStringLiteral("鈴木　健"))
            .competitor(3, 13, QStringLiteral("佐藤　一郎"))
            .result(3, 50, 6, 833.33, 0, {"3", "3"})
            .settings(QStringLiteral("2"), {3, 3}, {QStringLiteral("一般")});
        wb.save();
        std::filesystem::remove(path + ".bak");
        open();
    }
    // Reads the file afresh, as a load does.
    void open() {
        sheet::FileFault fault;
        book = sheet::Workbook::open(path, &fault);
        ASSERT_TRUE(book);
        *d = Competition{};
        d->statusWord[3] = QStringLiteral("DQ");
        QString gates;
        ASSERT_FALSE(store::ReadInputSheet(*book->worksheet(1), *d, &gates));
        d->gateCount = ParseGateCount(gates).gates;
        d->competitors[3].gatePoints = {QStringLiteral("3"), QStringLiteral("3")};
        BuildStandings(*d);
        desk.startJournal();
    }
    // A run with buoy option buoys[g] at gate g; no buoy total while none is chosen.
    ResultRequest run(double bib, const char* minutes, const char* seconds,
                      std::vector<int16_t> buoys) {
        ResultRequest r;
        r.bib = bib;
        r.minutes = QString::fromUtf8(minutes);
        r.seconds = QString::fromUtf8(seconds);
        std::copy(buoys.begin(), buoys.end(), r.buoyAtGate.begin());
        if (!buoys.empty()) r.buoyTotal = 0;
        for (int16_t b : buoys) *r.buoyTotal += GateScore(*d, b);
        return r;
    }
    std::string cell(int row, int col) { return book->worksheet(1)->text(row, col); }
    std::vector<JournalEntry> journal() { return store::ReadJournal(journalPath).entries; }
};

// Buoy あ scores 0 here, so that two of them add up to 0; bib 13 is DQ with its run kept.
TEST_F(ResultDeskTest, RefusalsLeaveDataJournalAndFileAsTheyWere) {
    struct Case {
        const char* what;
        ResultRequest request;
        Refusal refusal;
        int gate = 0;
    };
    d->buoyScore[1] = 0;
    d->competitors[3].status = 3;
    const Case cases[] = {
        {"a bib nobody carries", run(99, "", "50", {1, 1}), Refusal::UnknownBib},
        {"no buoy chosen", run(12, "", "50", {}), Refusal::NoBuoyPoints},
        {"no time", run(12, "", "", {1, 1}), Refusal::NoTime},
        {"letters in the seconds", run(12, "", "abc", {1, 1}), Refusal::SecondsUnreadable},
        {"75 s beside 1 min", run(12, "1", "75", {1, 1}), Refusal::SecondsNotBelow60},
        {"gate 2 without a buoy", run(12, "", "50", {1, -1}), Refusal::GateWithoutBuoy, 2},
        {"buoys that add up to 0", run(12, "", "50", {0, 0}), Refusal::ZeroBuoyPoints},
        // A run typed over the DQ with gate 1 left out: the DQ stays.
        {"a run over a DQ, a gate left out", run(13, "", "40", {-1, 2}), Refusal::GateWithoutBuoy,
         1},
    };
    const Competitor before = d->competitors[3];
    const QByteArray file = Bytes(path);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const DeskOutcome out = desk.registerResult(c.request);
        EXPECT_EQ(out.refusal, c.refusal);
        EXPECT_EQ(out.gate, c.gate);
        EXPECT_EQ(d->competitors[2].runTime, 0.0f);
        EXPECT_EQ(d->competitors[3].status, before.status);
        EXPECT_EQ(d->competitors[3].runTime, before.runTime);
        EXPECT_EQ(d->competitors[3].gatePoints, before.gatePoints);
        EXPECT_FALSE(QFile::exists(journalPath));
        EXPECT_FALSE(book->hasUnsavedChanges());
        EXPECT_EQ(Bytes(path), file);
    }
    EXPECT_EQ(desk.takeBack(1).refusal, Refusal::NothingToTakeBack);
    EXPECT_FALSE(QFile::exists(journalPath));
}

// A run, then a status over it: each journaled and flushed, stored with its gate points, written
// into the row and saved before the live page is told; the status keeps the run's values.
TEST_F(ResultDeskTest, RegistrationJournalsStoresWritesAndSavesBeforePublishing) {
    bool published = false;
    onPublish = [&] {
        published = true;
        ASSERT_FALSE(journal().empty());
        sheet::FileFault fault;
        auto onDisk = sheet::Workbook::open(path, &fault);
        ASSERT_TRUE(onDisk);
        EXPECT_EQ(onDisk->worksheet(1)->text(3, kColRunTime), "65.5");
    };
    const DeskOutcome out = desk.registerResult(run(12, "1", "5.5", {4, 1}));
    ASSERT_TRUE(out.done());
    EXPECT_EQ(out.save.kind, SaveOutcome::Kind::Saved);
    EXPECT_TRUE(published);
    EXPECT_EQ(journal().back().runTime, 65.5f);
    EXPECT_EQ(journal().back().gates, (std::vector<QString>{"6", "3"}));
    const Competitor& who = d->competitors[2];
    EXPECT_EQ(who.racePoints, RacePoints(65.5f, 9));
    EXPECT_EQ(who.gatePoints[0] + who.gatePoints[1], QStringLiteral("63"));
    EXPECT_EQ(cell(3, kColFirstGate + 1), "3");
    EXPECT_EQ(d->classMemberBib[1][1], 12);  // ranked first

    ResultRequest dq;
    dq.bib = 12;
    dq.status = 3;
    onPublish = {};
    ASSERT_TRUE(desk.registerResult(dq).done());
    EXPECT_EQ(who.status, 3);
    EXPECT_EQ(who.runTime, 65.5f);
    EXPECT_EQ(journal().back().gates, (std::vector<QString>{"6", "3"}));
    EXPECT_EQ(journal().back().status, 3);
}

// Registrations and a take-back (bib 13's run goes from data and row), then the session's
// journal put back into the file as it was before: the results the file lacks go back as such;
// bib 13, whose run the file still holds, is a conflict for a take-in to ask about. Put back as
// at recovery, the file then holds everything the journal says.
TEST_F(ResultDeskTest, TakeBackAndJournalLinesPutBack) {
    std::filesystem::copy_file(path, path + ".before");
    ASSERT_TRUE(desk.registerResult(run(11, "", "50", {0, 0})).done());
    ASSERT_TRUE(desk.registerResult(run(12, "", "45", {1, 1})).done());
    ASSERT_TRUE(desk.takeBack(3).done());
    EXPECT_FALSE(HasRegisteredResult(d->competitors[3]));
    EXPECT_TRUE(d->competitors[3].gatePoints[0].isEmpty());
    for (int col = kColRunTime; col <= kColFirstGate + 1; ++col)
        EXPECT_TRUE(book->worksheet(1)->value(4, col).isEmpty()) << col;
    ASSERT_TRUE(desk.registerResult(run(12, "", "44", {2, 2})).done());
    const Competitor eleven = d->competitors[1], twelve = d->competitors[2];

    std::filesystem::rename(path + ".before", path);
    open();
    const std::vector<JournalEntry> entries = journal();
    const TakeInPlan plan = desk.planTakeIn(entries);
    ASSERT_EQ(plan.toApply.size(), 2u);
    EXPECT_EQ(plan.toApply[0].bib, 11);
    EXPECT_EQ(plan.toApply[1].runTime, 44.0f);
    ASSERT_EQ(plan.conflicts.size(), 1u);
    EXPECT_EQ(plan.conflicts[0].journal.action, JournalEntry::Action::TakeBack);

    std::vector<JournalEntry> all = plan.toApply;
    all.push_back(plan.conflicts[0].journal);
    const DeskOutcome out = desk.putBack(all);
    EXPECT_EQ(out.save.kind, SaveOutcome::Kind::Saved);
    EXPECT_EQ(journal().size(), entries.size());  // nothing journaled again
    open();
    EXPECT_EQ(d->competitors[1].racePoints, eleven.racePoints);
    EXPECT_EQ(d->competitors[2].runTime, twelve.runTime);
    EXPECT_FALSE(HasRegisteredResult(d->competitors[3]));
    EXPECT_TRUE(store::PendingEntries(entries, *book->worksheet(1), 3).toApply.empty());
}

// Another program saves the file: the next registration is journaled, stored and written, but
// not saved over the other program's file until told; saved under a new name, the journal says
// where the results went on.
TEST_F(ResultDeskTest, SaveHeldBackWhenTheFileChanged) {
    ASSERT_TRUE(desk.registerResult(run(11, "", "50", {0, 0})).done());
    {
        sheet::FileFault fault;
        auto other = sheet::Workbook::open(path, &fault);
        ASSERT_TRUE(other);
        other->worksheet(1)->setText(2, store::kColName, "山田　太朗");
        ASSERT_TRUE(other->save().ok);
    }
    const QByteArray theirs = Bytes(path);
    const DeskOutcome out = desk.registerResult(run(12, "", "45", {1, 1}));
    ASSERT_TRUE(out.done());
    EXPECT_EQ(out.save.kind, SaveOutcome::Kind::FileChanged);
    EXPECT_EQ(Bytes(path), theirs);
    EXPECT_EQ(journal().back().bib, 12);

    const SaveOutcome beside = desk.saveUnderNewName();
    EXPECT_EQ(beside.kind, SaveOutcome::Kind::SavedUnderNewName);
    EXPECT_EQ(Bytes(path), theirs);
    EXPECT_EQ(beside.result.savedPath, dir.file("大会 (2).xlsx"));
    EXPECT_EQ(cell(3, kColRunTime), "45");
    const JournalEntry last = journal().back();
    EXPECT_EQ(last.action, JournalEntry::Action::Continuation);
    EXPECT_EQ(last.details.value(0), QStringLiteral("大会 (2).xlsx"));
}

}  // namespace
