// The received-runs board: lines cut and joined as a link reads them, pairing of impulses, and
// the log beside the workbook that rebuilds the same list after a restart.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <QStringDecoder>
#include <random>

#include "support/TestFiles.h"
#include "timing/TimingBoard.h"

using namespace zalvik::timing;

namespace {

struct Run {
    int id;
    int bib;
    int hundredths;
    bool cleared;
    bool operator==(const Run&) const = default;
};

std::vector<Run> RunsOf(const TimingBoard& board) {
    std::vector<Run> out;
    for (const ReceivedRun& r : board.runs()) out.push_back({r.id, r.bib, r.hundredths, r.cleared});
    return out;
}

std::ostream& operator<<(std::ostream& os, const Run& r) {
    return os << "{" << r.id << "," << r.bib << "," << r.hundredths << "," << r.cleared << "}";
}

QByteArray ReadFile(const std::string& path) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A morning of ALGE lines (CR ends): ordinary runs, a restart, a run across midnight, a time
// sent again from memory, a bibless finish, a cleared run and a device run time.
const char* const kAlgeDay[] = {
    " 0001 C0  09:00:00.0000 00",  // 1 starts
    " 0002 C0  09:00:30.0000 00",  // 2 starts
    " 0001 C1  09:01:01.5299 00",  // 1: 61.52, cut not rounded
    " 0002 C0  09:00:40.0000 00",  // 2 starts again: the latest start counts
    " 0002 C1  09:01:50.1000 00",  // 2: 70.10
    "m0001 C1  09:01:01.5299 00",  // the same finish again from memory: no second run
    " 0003 C0  23:59:30.0000 00",  // 3 starts before midnight
    " 0003 C1  00:00:45.2500 00",  // 3: 75.25 across midnight
    " 0004 C0  10:00:00.0000 00",  // 4 starts
    "?0000 C1  10:01:05.0000 00",  // a finish without a bib: waits for one
    " 0005 C0  10:02:00.0000 00",  // 5 starts
    " 0005 C1  10:03:00.0000 00",  // 5: 60.00
    " 0005 RT  00:01:00.00 00",    // the device's own run time of that run: still one run
    "c0005 C1  10:03:00.0000 00",  // and the device clears it
    "garbage",                     // unreadable
    " 0006 RT  00:00:59.999 00",   // a device run time alone: 59.99
};

QByteArray Joined(const char* ending) {
    QByteArray all;
    for (const char* l : kAlgeDay) all += QByteArray(l) + ending;
    return all;
}

const std::vector<Run> kExpected = {
    {1, 1, 6152, false}, {2, 2, 7010, false}, {3, 3, 7525, false},
    {4, 0, -1, false},   {5, 5, 6000, true},  {6, 6, 5999, false},
};

}  // namespace

TEST(TimingBoard, LinesSplitAndJoinedAnyWayGiveTheSameRuns) {
    const unsigned seed = std::random_device{}();
    std::cout << "chunking seed " << seed << "\n";
    std::mt19937 random(seed);
    for (const char* ending : {"\r", "\n", "\r\n"}) {
        const QByteArray all = Joined(ending);
        for (int pass = 0; pass < 4; ++pass) {
            SCOPED_TRACE(testing::Message() << "ending " << QByteArray(ending).toHex().constData()
                                            << " pass " << pass);
            testsupport::TempDir dir;
            TimingBoard board;
            board.attach(QString::fromStdString(dir.file("race.xlsx")), Device::Alge);
            int changed = 0;
            QObject::connect(&board, &TimingBoard::runsChanged, [&] { ++changed; });
            // Pass 0: all in one read; 1: a byte at a time (a CR LF split between reads);
            // then random pieces.
            for (qsizetype i = 0; i < all.size();) {
                const qsizetype n = pass == 0   ? all.size()
                                    : pass == 1 ? 1
                                                : std::uniform_int_distribution<int>(1, 40)(random);
                board.receive(QByteArrayView(all).sliced(i, std::min(n, all.size() - i)));
                i += n;
            }
            EXPECT_EQ(RunsOf(board), kExpected);
            EXPECT_EQ(board.unreadableLines(), 1);
            if (pass == 0) {
                EXPECT_EQ(changed, 1);
            }
            // One log line per line received, after the heading.
            EXPECT_EQ(ReadFile(dir.file("race.timing.log")).count('\n'),
                      1 + static_cast<qsizetype>(std::size(kAlgeDay)));
            EXPECT_EQ(board.latestRunOf(1)->hundredths, 6152);
            EXPECT_EQ(board.latestRunOf(5), nullptr);  // cleared
        }
    }
}

TEST(TimingBoard, LogRebuildsTheSameListWithBibsGivenAndATornLastLine) {
    testsupport::TempDir dir;
    const QString workbook = QString::fromStdString(dir.file("race.xlsx"));
    std::vector<ReceivedRun> before;
    {
        TimingBoard board;
        board.attach(workbook, Device::Alge);
        board.receive(Joined("\r"));
        // The bibless finish is given bib 4: it pairs with 4's start, 65.00.
        EXPECT_TRUE(board.assignBib(4, 4));
        EXPECT_FALSE(board.assignBib(99, 4));
        EXPECT_FALSE(board.assignBib(1, 0));
        // Bytes that are not text, and the generic device's full-width digits.
        board.receive(QByteArrayView("\x01\xff\xfe\\\t\xe3\x81\r"));
        board.setDevice(Device::Generic);
        board.receive(QByteArrayView("\xef\xbc\x97,58.5\n"));  // "７,58.5"
        before = board.runs();
        EXPECT_EQ(board.unreadableLines(), 2);
        EXPECT_TRUE(board.logProblem().isEmpty());
    }
    ASSERT_EQ(before.size(), 7u);
    EXPECT_EQ(before[3].bib, 4);
    EXPECT_EQ(before[3].hundredths, 6500);
    EXPECT_EQ(before[6].bib, 7);

    const std::string log = dir.file("race.timing.log");
    const QByteArray text = ReadFile(log);
    // UTF-8 throughout, one line per record, the odd bytes escaped.
    QStringDecoder utf8(QStringDecoder::Utf8);
    (void)QString(utf8(text));
    EXPECT_FALSE(utf8.hasError());
    EXPECT_TRUE(text.contains("\\x01\\xFF\\xFE\\\\\\t\\xE3\\x81"));
    EXPECT_TRUE(text.contains("\xef\xbc\x97,58.5"));

    // A crash while a line was written: the torn line is not taken, nothing else is lost.
    {
        QFile f(QString::fromStdString(log));
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write(QByteArray("2026-12-09T10:00:00.000\t受信\tALGE\t 0009 C1  10:0"));
    }
    TimingBoard again;
    again.attach(workbook, Device::Alge);
    ASSERT_EQ(again.runs().size(), before.size());
    for (size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(again.runs()[i].id, before[i].id);
        EXPECT_EQ(again.runs()[i].bib, before[i].bib);
        EXPECT_EQ(again.runs()[i].hundredths, before[i].hundredths);
        EXPECT_EQ(again.runs()[i].cleared, before[i].cleared);
        EXPECT_EQ(again.runs()[i].received, before[i].received);
    }
    EXPECT_EQ(again.unreadableLines(), 2);
    // The next line starts a line of its own after the torn one.
    again.receive(QByteArrayView(" 0008 RT  00:01:02.00 00\r"));
    TimingBoard third;
    third.attach(workbook, Device::Alge);
    EXPECT_EQ(third.runs().size(), before.size() + 1);
    EXPECT_EQ(third.runs().back().bib, 8);
}

TEST(TimingBoard, OverlongLineIsCutLoggedAndCounted) {
    testsupport::TempDir dir;
    TimingBoard board;
    board.attach(QString::fromStdString(dir.file("race.xlsx")), Device::Alge);
    const QByteArray chunk(64 * 1024, 'A');
    for (int i = 0; i < 40; ++i) board.receive(chunk);  // 2.5 MB without a line end
    board.receive(QByteArrayView("AAA\r 0006 RT  00:00:59.99 00\r"));
    EXPECT_EQ(board.unreadableLines(), 1);
    ASSERT_EQ(board.runs().size(), 1u);
    EXPECT_EQ(board.runs()[0].hundredths, 5999);
    const QByteArray text = ReadFile(dir.file("race.timing.log"));
    EXPECT_EQ(text.count('A'), 40 * 64 * 1024 + 3 + 4);  // and the A of ALGE in four records
    EXPECT_EQ(text.count('\n'), 1 + 3 + 1);              // heading, three pieces, the run
    TimingBoard again;
    again.attach(QString::fromStdString(dir.file("race.xlsx")), Device::Alge);
    EXPECT_EQ(again.unreadableLines(), 1);
    EXPECT_EQ(again.runs().size(), 1u);
}

TEST(TimingBoard, HeldWithoutWorkbookAndKeptThroughAFailedWrite) {
    testsupport::TempDir dir;
    TimingBoard board;
    board.attach(QString(), Device::Generic);
    board.receive(QByteArrayView("3,61.00\n"));
    EXPECT_EQ(board.runs().size(), 1u);
    EXPECT_TRUE(board.logPath().isEmpty());

    // The log's name is taken by a folder: the write fails, the run is shown all the same and
    // the note names the file.
    const std::string logPath = dir.file("race.timing.log");
    ASSERT_EQ(::mkdir(logPath.c_str(), 0755), 0);
    board.attach(QString::fromStdString(dir.file("race.xlsx")), Device::Generic);
    EXPECT_EQ(board.runs().size(), 1u);
    EXPECT_TRUE(board.logProblem().contains(QStringLiteral("race.timing.log")));
    board.receive(QByteArrayView("4,62.00\n"));
    EXPECT_EQ(board.runs().size(), 2u);

    // Once the file can be written, everything held goes in, in order.
    ASSERT_EQ(::rmdir(logPath.c_str()), 0);
    board.receive(QByteArrayView("5,63.00\n"));
    EXPECT_TRUE(board.logProblem().isEmpty());
    TimingBoard again;
    again.attach(QString::fromStdString(dir.file("race.xlsx")), Device::Generic);
    ASSERT_EQ(again.runs().size(), 3u);
    EXPECT_EQ(again.runs()[0].bib, 3);
    EXPECT_EQ(again.runs()[2].bib, 5);
}

TEST(TimingBoard, LineCutByALostConnectionDoesNotSwallowTheNext) {
    TimingBoard board;
    board.attach(QString(), Device::Alge);
    board.receive(QByteArrayView(" 0007 RT  00:0"));
    board.endOfStream();
    board.receive(QByteArrayView(" 0008 RT  00:01:00.00 00\r"));
    ASSERT_EQ(board.runs().size(), 1u);
    EXPECT_EQ(board.runs()[0].bib, 8);
    EXPECT_EQ(board.unreadableLines(), 1);
}
