// The gate judges' board: what the entries of several judges propose for a competitor's gates,
// which entries are refused, the log they are kept in (read back at every attach), and who may
// log in and send.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "race/JudgeBoard.h"
#include "support/TestFiles.h"

using namespace zalvik;
using namespace zalvik::judges;

namespace {

const store::JournalOwner kOwner{QStringLiteral("id-1"), QStringLiteral("大会"),
                                 QStringLiteral("2026/12/10")};

// Twenty competitors (bibs 1..20), three gates of three buoys.
JudgeRace Race() {
    JudgeRace r;
    r.eventName = kOwner.eventName;
    r.gateCount = 3;
    for (int g = 1; g <= 3; ++g) r.gateBuoyCount[g] = 3;
    for (int k = 1; k <= 5; ++k) r.buoyScore[k] = k + 1;
    for (int b = 1; b <= 20; ++b) r.bibs.push_back(b);
    return r;
}

QByteArray Id(int n) { return QByteArray::number(n).rightJustified(32, '0'); }

// What the board proposes for a bib, gate by gate: "-" nothing, "3" buoy 3, "?1,2" judges
// disagree on 1 and 2; then each DQ as "DQ<gate>".
std::string Shown(const JudgeBoard& board, int bib) {
    const BibProposals p = board.proposalsFor(bib);
    std::string out;
    for (int g = 0; g < 3; ++g) {
        const GateProposal& gp = p.gates[g];
        if (!out.empty()) out += ' ';
        if (gp.kind == GateProposal::Kind::None) out += '-';
        if (gp.kind == GateProposal::Kind::Buoy) out += std::to_string(gp.buoy);
        if (gp.kind == GateProposal::Kind::Disagreement) {
            out += '?';
            for (size_t i = 0; i < gp.entries.size(); ++i)
                out += (i ? "," : "") + std::to_string(gp.entries[i].buoy);
        }
    }
    for (const JudgeEntry& e : p.dq) out += " DQ" + std::to_string(e.gate);
    return out;
}

struct Board {
    testsupport::TempDir dir;
    QString book = QString::fromStdString(dir.file("大会.xlsx"));
    JudgeBoard board;
    QByteArray tokenA, tokenB;

    Board() {
        board.attach(book, kOwner);
        board.setRace(Race());
        tokenA = login({1, 2});
        tokenB = login({2, 3});
    }
    QByteArray login(const QList<int>& gates) {
        const Judge j = board.addJudge();
        board.setJudgeGates(j.id, gates);
        return board.login(j.pin, QStringLiteral("10.0.0.1")).token;
    }
    EntryAnswer send(const QByteArray& token, int id, int bib, int gate, int buoy) {
        SentEntry e{Id(id), bib, gate, buoy, buoy == 0, {}};
        return board.submit(token, {e}).value().front();
    }
};

TEST(JudgeBoard, EntriesOfJudgesMergePerGate) {
    struct Send {
        char judge;
        int id, bib, gate, buoy;  // buoy 0: DQ
        const char* answer;       // "" taken, else the refusal
    };
    struct Case {
        const char* name;
        std::vector<Send> sends;
        std::string bib5;
    } const cases[] = {
        {"the latest of a judge wins", {{'A', 1, 5, 1, 2, ""}, {'A', 2, 5, 1, 3, ""}}, "3 - -"},
        {"two judges who agree", {{'A', 1, 5, 2, 1, ""}, {'B', 2, 5, 2, 1, ""}}, "- 1 -"},
        {"two judges who disagree leave the gate open",
         {{'A', 1, 5, 2, 1, ""}, {'B', 2, 5, 2, 2, ""}},
         "- ?1,2 -"},
        {"a correction ends the disagreement",
         {{'A', 1, 5, 2, 1, ""}, {'B', 2, 5, 2, 2, ""}, {'B', 3, 5, 2, 1, ""}},
         "- 1 -"},
        {"a resent id is kept once, as first sent",
         {{'A', 1, 5, 1, 2, ""}, {'A', 1, 5, 1, 3, ""}},
         "2 - -"},
        {"another judge's gate",
         {{'A', 1, 5, 3, 1, "ゲート3はこの審判の担当ではありません。"}},
         "- - -"},
        {"an unknown bib, a buoy not offered, a gate not raced",
         {{'A', 1, 99, 1, 1, "ゼッケン99の選手はいません。"},
          {'A', 2, 5, 1, 4, "ゲート1で選べるのはブイ1〜3です。"},
          {'B', 3, 5, 3, 1, ""}},
         "- - 1"},
        {"a DQ is a proposal beside the gate",
         {{'A', 1, 5, 1, 2, ""}, {'B', 2, 5, 2, 0, ""}},
         "2 - - DQ2"},
        {"a buoy after a DQ takes it back",
         {{'A', 1, 5, 1, 0, ""}, {'A', 2, 5, 1, 2, ""}},
         "2 - -"},
        {"entries of other bibs stay theirs", {{'A', 1, 6, 1, 2, ""}}, "- - -"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Board b;
        std::map<int, qint64> seqOf;
        for (const Send& s : c.sends) {
            const EntryAnswer a =
                b.send(s.judge == 'A' ? b.tokenA : b.tokenB, s.id, s.bib, s.gate, s.buoy);
            EXPECT_EQ(a.refused.toStdString(), s.answer);
            EXPECT_EQ(a.otherGate, std::string(s.answer).find("担当") != std::string::npos);
            EXPECT_FALSE(a.unlogged);
            EXPECT_GT(a.seq, 0);
            // An id sent again is answered with the number it got the first time.
            if (seqOf.count(s.id)) {
                EXPECT_EQ(a.seq, seqOf[s.id]);
            }
            seqOf.emplace(s.id, a.seq);
        }
        EXPECT_EQ(Shown(b.board, 5), c.bib5);
        EXPECT_EQ(b.board.entries().size(), seqOf.size());
        // Read back from the log by a board started afresh: the same.
        JudgeBoard again;
        again.attach(b.book, kOwner);
        EXPECT_EQ(Shown(again, 5), c.bib5);
        EXPECT_EQ(again.entries().size(), seqOf.size());
    }
}

// The log read back at load: a torn last line is never taken, and the next entry goes on after
// the last whole one; the log of another workbook is never offered.
TEST(JudgeBoard, LogReplay) {
    Board b;
    b.send(b.tokenA, 1, 5, 1, 2);
    b.send(b.tokenB, 2, 5, 2, 3);
    const QString log = JudgesLogPath(b.book);
    {
        QFile f(log);
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write("3\t受付\t" + Id(3) + "\t1\t\t5\t1\t3\t\t\t17");  // cut short by a crash
    }
    JudgeBoard after;
    after.attach(b.book, kOwner);
    EXPECT_EQ(Shown(after, 5), "2 3 -");
    after.setRace(Race());
    const Judge a = after.judges().front();
    const QByteArray token = after.login(a.pin, QStringLiteral("10.0.0.1")).token;
    const EntryAnswer next = after.submit(token, {{Id(4), 5, 1, 1, false, {}}}).value().front();
    EXPECT_EQ(next.seq, 3);
    JudgeBoard third;
    third.attach(b.book, kOwner);
    EXPECT_EQ(Shown(third, 5), "1 3 -");
    EXPECT_EQ(third.entries().size(), 3u);

    // The same log beside a rehearsal's workbook with the same bibs.
    const QString other = QString::fromStdString(b.dir.file("練習.xlsx"));
    ASSERT_TRUE(QFile::copy(log, JudgesLogPath(other)));
    JudgeBoard rehearsal;
    rehearsal.attach(other, {QStringLiteral("id-2"), QStringLiteral("練習"), {}});
    EXPECT_TRUE(rehearsal.entries().empty());
    EXPECT_EQ(Shown(rehearsal, 5), "- - -");
}

// An entry the log cannot take is not acknowledged; sent again once the log can be written, it
// is taken once, with the number it was given.
TEST(JudgeBoard, NothingAcknowledgedBeforeItIsLogged) {
    Board b;
    const QString log = JudgesLogPath(b.book);
    ASSERT_TRUE(QDir().mkdir(log));  // a folder where the log should go
    const EntryAnswer refused = b.send(b.tokenA, 1, 5, 1, 2);
    EXPECT_TRUE(refused.unlogged);
    EXPECT_EQ(refused.seq, 0);
    EXPECT_TRUE(b.board.entries().empty());
    EXPECT_FALSE(b.board.problem().isEmpty());
    ASSERT_TRUE(QDir().rmdir(log));
    const EntryAnswer again = b.send(b.tokenA, 1, 5, 1, 2);
    EXPECT_FALSE(again.unlogged);
    EXPECT_EQ(again.seq, 1);
    EXPECT_EQ(b.board.entries().size(), 1u);
    EXPECT_TRUE(b.board.problem().isEmpty());
    JudgeBoard after;
    after.attach(b.book, kOwner);
    EXPECT_EQ(Shown(after, 5), "2 - -");
    EXPECT_EQ(after.entries().size(), 1u);
}

// Who may send: a PIN gives a token; five wrong PINs from one address make it wait 60 s (the
// other addresses do not); a revoked judge's token and PIN stop at once; another workbook ends
// every token.
TEST(JudgeBoard, LoginsAndTokens) {
    Board b;
    qint64 now = 1'000'000;
    b.board.setClockForTesting([&now] { return now; });
    const Judge a = b.board.judges().front();
    const QString phone = QStringLiteral("10.0.0.7");
    using What = LoginAnswer::What;
    for (int i = 1; i <= 4; ++i)
        EXPECT_EQ(b.board.login(QStringLiteral("x"), phone).what, What::WrongPin);
    const LoginAnswer fifth = b.board.login(QStringLiteral("x"), phone);
    EXPECT_EQ(fifth.what, What::Wait);
    EXPECT_EQ(fifth.waitSeconds, 60);
    now += 59'500;
    EXPECT_EQ(b.board.login(a.pin, phone).what, What::Wait);
    EXPECT_EQ(b.board.login(a.pin, QStringLiteral("10.0.0.8")).what, What::Ok);
    now += 500;
    const LoginAnswer in = b.board.login(a.pin, phone);
    ASSERT_EQ(in.what, What::Ok);
    EXPECT_EQ(in.token.size(), 32);
    EXPECT_EQ(in.judge.gates, (QList<int>{1, 2}));

    EXPECT_TRUE(b.board.submit(in.token, {}));
    b.board.revokeJudge(a.id);
    EXPECT_FALSE(b.board.submit(in.token, {}));
    EXPECT_FALSE(b.board.submit(b.tokenA, {}));
    EXPECT_EQ(b.board.login(a.pin, QStringLiteral("10.0.0.9")).what, What::WrongPin);
    // The roster, revocation included, is kept beside the workbook.
    JudgeBoard after;
    after.attach(b.book, kOwner);
    ASSERT_EQ(after.judges().size(), 2u);
    EXPECT_TRUE(after.judges()[0].revoked);
    EXPECT_EQ(after.judges()[1].gates, (QList<int>{2, 3}));
    EXPECT_EQ(after.judges()[1].pin.size(), 6);

    EXPECT_TRUE(b.board.submit(b.tokenB, {}));
    b.board.attach(QString::fromStdString(b.dir.file("次.xlsx")), kOwner);
    EXPECT_FALSE(b.board.submit(b.tokenB, {}));
}

}  // namespace
