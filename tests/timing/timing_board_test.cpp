// The received-runs board: lines cut and joined as a link reads them, pairing of impulses, and
// the log beside the workbook that rebuilds the same list after a restart.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <QFile>
#include <QStringDecoder>
#include <random>

#include "support/TestFiles.h"
#include "timing/TimingBoard.h"

using namespace zalvik::timing;

namespace {

const zalvik::store::JournalOwner kOwner{QStringLiteral("id-1"), QStringLiteral("大会"),
                                         QStringLiteral("2026-12-10")};

void Attach(TimingBoard& board, const std::string& workbook, Device device) {
    board.attach(QString::fromStdString(workbook), device, kOwner);
}

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

// The runs as "bib:time" words: "-" for no bib, the run time in seconds, or "@" and the
// finish's time of day while it has none; "x" cleared, "?" doubtful.
std::string Summary(const TimingBoard& board) {
    std::string out;
    for (const ReceivedRun& r : board.runs()) {
        char time[32] = "";
        if (r.hundredths >= 0)
            std::snprintf(time, sizeof time, "%d.%02d", r.hundredths / 100, r.hundredths % 100);
        else if (r.finishTimeOfDay >= 0)
            std::snprintf(time, sizeof time, "@%02lld:%02lld:%02lld.%02lld",
                          r.finishTimeOfDay / 36000000, r.finishTimeOfDay / 600000 % 60,
                          r.finishTimeOfDay / 10000 % 60, r.finishTimeOfDay / 100 % 100);
        if (!out.empty()) out += ' ';
        out += (r.bib ? std::to_string(r.bib) : "-") + ':' + time + (r.cleared ? "x" : "") +
               (r.hundredths >= 0 && board.needsCheck(r) ? "?" : "");
    }
    return out;
}

QByteArray ReadFile(const std::string& path) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A TAG Heuer record with its tab, checksum and CRLF.
QByteArray TagHeuer(const QByteArray& record) {
    unsigned sum = 0;
    for (char c : record) sum += static_cast<unsigned char>(c);
    return record + '\t' + QByteArray::number(sum & 0xffff, 16).rightJustified(4, '0') + "\r\n";
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

// A file that may grow by `bytes` more while it lives: the next write stops there, as on a
// disk that fills up.
class FullDisk {
  public:
    FullDisk(const std::string& path, qsizetype bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = saved_;
        small.rlim_cur = static_cast<rlim_t>(ReadFile(path).size() + bytes);
        setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FullDisk() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, previous_);
    }

  private:
    struct rlimit saved_;
    void (*previous_)(int);
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
            Attach(board, dir.file("race.xlsx"), Device::Alge);
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
            // One log line per line received, after the heading and the line naming the
            // workbook.
            EXPECT_EQ(ReadFile(dir.file("race.timing.log")).count('\n'),
                      2 + static_cast<qsizetype>(std::size(kAlgeDay)));
            EXPECT_EQ(board.latestRunOf(1)->hundredths, 6152);
            EXPECT_EQ(board.latestRunOf(5), nullptr);  // cleared
        }
    }
}

// Each way the rehearsal and the review found for a wrong time to reach a competitor or for a
// real run to vanish, as lines received (and bibs given) one read at a time; the list after
// them, and the list a restart reads back from the log.
TEST(TimingBoard, NoWrongTimeAndNoLostRunWhateverTheDeviceOrTheDiskDid) {
    // Steps: lines to receive, or "@give RUN BIB" (0 takes it back; "@give!" is refused for
    // want of a start), "@full BYTES" (the next read's write stops after that many bytes),
    // "@blocked"/"@free" (the log's name is taken by a folder / no more), "@other" (the next
    // workbook is attached), "@chop" (the log loses its last byte), "@restart", "@previous"
    // (the log is one of the previous format: the rest of the step).
    struct Case {
        const char* what;
        Device device;
        std::vector<QByteArray> steps;
        const char* runs;
        int unreadable = 0;
        const char* afterRestart = nullptr;  // when not `runs`
        qint64 cap = TimingBoard::kLogCapBytes;
    };
    const QByteArray previousLog =
        "受信時刻\t種類\t機種\t内容\tバイト数\n"
        "2026-12-09T10:00:00.000\t受信\tALGE\t 0066 C0  10:50:00.0000 00\t26\n"
        "2026-12-09T10:00:01.000\t受信\tALGE\t 0066 C1  10:50:20.0000 00\t26\n"
        "2026-12-09T10:00:02.000\t受信\tALGE\tc0066 C1  10:50:20.0000 00\t26\n"
        "2026-12-09T10:00:03.000\t受信\tALGE\t 0066 C1  10:51:15.4321 00\t26\n"
        "2026-12-09T10:00:04.000\t受信\tALGE\t 0007 C0  10:00:00.0000 00\t26\n"
        "2026-12-09T10:00:05.000\t受信\tALGE\t?0000 C1  10:01:02.0000 00\t26\n"
        "2026-12-09T10:00:06.000\tゼッケン指定\tALGE\t2,7\t3\n";
    const Case cases[] = {
        {"a cancelled finish gives its start back to the real one",
         Device::Alge,
         {" 0066 C0  10:50:00.0000 00\r 0066 C1  10:50:20.0000 00\r",
          "c0066 C1  10:50:20.0000 00\r", " 0066 C1  10:51:15.4321 00\r"},
         "66:20.00x 66:75.43"},
        {"a cancel after the real finish gives it the start",
         Device::Alge,
         {" 0066 C0  10:50:00.0000 00\r 0066 C1  10:50:20.0000 00\r",
          " 0066 C1  10:51:15.4321 00\r", "c0066 C1  10:50:20.0000 00\r"},
         "66:20.00x 66:75.43"},
        {"a finish whose start was lost is listed with its time of day",
         Device::Alge,
         {" 0067 C1  10:03:00.0000 00\r"},
         "67:@10:03:00.00"},
        {"the start resent from memory completes it",
         Device::Alge,
         {" 0067 C1  10:03:00.0000 00\r",
          "m0067 C0  10:02:00.0000 00\rm0067 C1  10:03:00.0000 00\r",
          " 0067 C0  10:05:00.0000 00\r"},
         "67:60.00"},
        {"a bib given to the wrong finish is given to the right one, and the start comes back",
         Device::Alge,
         {" 0067 C0  10:00:00.0000 00\r 0068 C0  10:00:30.0000 00\r?0000 C1  10:01:05.0000 00\r",
          "@give 1 68", " 0068 C1  10:01:50.0000 00\r", "@give 1 67"},
         "67:65.00 68:80.00"},
        {"a given bib taken back; a bib without a start refused",
         Device::Alge,
         {" 0067 C0  10:00:00.0000 00\r?0000 C1  10:01:05.0000 00\r", "@give 1 67", "@give 1 0",
          "@give! 1 69"},
         "-:@10:01:05.00"},
        {"times too large for a run are unreadable, never wrapped round",
         Device::Generic,
         {"5,42949734.48\n5,21474836.48\n5,715827:53.00\n"},
         "",
         3},
        {"days too far apart never make a run",
         Device::TagHeuer,
         {TagHeuer("TN 0007 0001 1 10:00:00.00000 00000") +
          TagHeuer("TN 0007 0002 4 10:01:00.00000 99999")},
         "7:@10:01:00.00"},
        {"runs of 0 and across midnight by a hair are doubtful",
         Device::Alge,
         {" 0008 C0  10:00:00.0000 00\r 0008 C1  10:00:00.0000 00\r"
          " 0009 C0  10:00:00.0001 00\r 0009 C1  10:00:00.0000 00\r"
          " 0010 C0  10:00:00.0000 00\r 0010 C1  10:30:00.0000 00\r"},
         "8:0.00? 9:86399.99? 10:1800.00"},
        {"a short write on a full disk writes no record twice",
         Device::Alge,
         {" 0005 RT  00:01:00.00 00\r", "@full 120",
          " 0006 RT  00:01:01.00 00\r 0007 C0  10:00:00.0000 00\r 0009 C0  10:00:00.0000 00\r",
          "?0000 C1  10:01:02.0000 00\r", "@give 3 9", "@restart"},
         "5:60.00 6:61.00 9:62.00"},
        {"what one workbook could not write never goes into another's log",
         Device::Generic,
         {"@blocked", "4,62.00\n", "@other", "5,63.00\n"},
         "5:63.00"},
        {"a record that lost only its line feed is not taken at one load and at the next",
         Device::Generic,
         {"3,61.00\n", "@chop", "@restart", "4,62.00\n"},
         "4:62.00"},
        {"a log of the previous format reads as it did, and a bib given after names its run",
         Device::Alge,
         {"@previous" + previousLog, "@give 2 0"},
         "66:20.00x -:@10:01:02.00"},
        {"a line of bytes that are not text is logged in a third more, not four times",
         Device::Alge,
         {QByteArray(3 * 1024 * 1024, '\xff') + "\r 0006 RT  00:00:59.99 00\r"},
         "6:59.99",
         1},
        {"a log at its cap takes nothing more, and says so",
         Device::Generic,
         {"3,61.00\n", "4,62.00\n"},
         "3:61.00 4:62.00",
         0,
         "3:61.00",
         200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::TempDir dir;
        std::string workbook = dir.file("race.xlsx");
        zalvik::store::JournalOwner owner = kOwner;
        const std::string log = dir.file("race.timing.log");
        auto board = std::make_unique<TimingBoard>(nullptr, c.cap);
        Attach(*board, workbook, c.device);
        qsizetype received = 0;
        std::optional<FullDisk> full;
        for (const QByteArray& step : c.steps) {
            const QList<QByteArray> words = step.split(' ');
            if (step.startsWith("@give")) {
                EXPECT_EQ(board->giveBib(words[1].toInt(), words[2].toInt()),
                          step.startsWith("@give!") ? TimingBoard::BibOutcome::NoStart
                                                    : TimingBoard::BibOutcome::Given);
            } else if (step.startsWith("@full")) {
                full.emplace(log, words[1].toInt());
                continue;  // for the next step only
            } else if (step == "@blocked" || step == "@free") {
                ASSERT_EQ(step == "@blocked" ? ::mkdir(log.c_str(), 0755) : ::rmdir(log.c_str()),
                          0);
            } else if (step == "@other") {
                workbook = dir.file("other.xlsx");
                owner = {QStringLiteral("id-2"), QStringLiteral("別の大会"), {}};
                board->attach(QString::fromStdString(workbook), c.device, owner);
            } else if (step == "@chop") {
                ASSERT_TRUE(QFile::resize(QString::fromStdString(log), ReadFile(log).size() - 1));
            } else if (step == "@restart" || step.startsWith("@previous")) {
                if (step != "@restart") {
                    QFile f(QString::fromStdString(log));
                    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
                    f.write(step.sliced(9));
                }
                board = std::make_unique<TimingBoard>(nullptr, c.cap);
                board->attach(QString::fromStdString(workbook), c.device, owner);
            } else {
                board->receive(step);
                received += step.size();
            }
            full.reset();
        }
        EXPECT_EQ(Summary(*board), c.runs);
        EXPECT_EQ(board->unreadableLines(), c.unreadable);
        EXPECT_EQ(board->logProblem().contains(QStringLiteral("上限")),
                  c.cap != TimingBoard::kLogCapBytes);
        if (received > 1024 * 1024) {
            EXPECT_LT(ReadFile(log).size(), received * 14 / 10);
        }
        TimingBoard again(nullptr, c.cap);
        again.attach(QString::fromStdString(workbook), c.device, owner);
        EXPECT_EQ(Summary(again), c.afterRestart ? c.afterRestart : c.runs) << "after a restart";
    }
}

TEST(TimingBoard, LogRebuildsTheSameListWithBibsGivenAndATornLastLine) {
    testsupport::TempDir dir;
    const std::string workbook = dir.file("race.xlsx");
    std::vector<ReceivedRun> before;
    {
        TimingBoard board;
        Attach(board, workbook, Device::Alge);
        board.receive(Joined("\r"));
        // The bibless finish is given bib 4: it pairs with 4's start, 65.00.
        EXPECT_EQ(board.giveBib(4, 4), TimingBoard::BibOutcome::Given);
        EXPECT_EQ(board.giveBib(99, 4), TimingBoard::BibOutcome::Refused);
        EXPECT_EQ(board.giveBib(1, 7), TimingBoard::BibOutcome::Refused);  // came with its bib
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
        f.write(QByteArray("17\t2026-12-09T10:00:00.000\t受信\tALGE\t 0009 C1  10:0"));
    }
    TimingBoard again;
    Attach(again, workbook, Device::Alge);
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
    Attach(third, workbook, Device::Alge);
    EXPECT_EQ(third.runs().size(), before.size() + 1);
    EXPECT_EQ(third.runs().back().bib, 8);
}

TEST(TimingBoard, OverlongLineIsCutLoggedAndCounted) {
    testsupport::TempDir dir;
    TimingBoard board;
    Attach(board, dir.file("race.xlsx"), Device::Alge);
    const QByteArray chunk(64 * 1024, 'A');
    for (int i = 0; i < 40; ++i) board.receive(chunk);  // 2.5 MB without a line end
    board.receive(QByteArrayView("AAA\r 0006 RT  00:00:59.99 00\r"));
    EXPECT_EQ(board.unreadableLines(), 1);
    ASSERT_EQ(board.runs().size(), 1u);
    EXPECT_EQ(board.runs()[0].hundredths, 5999);
    const QByteArray text = ReadFile(dir.file("race.timing.log"));
    EXPECT_GE(text.count('A'), 40 * 64 * 1024 + 3);
    EXPECT_LT(text.size(), 40 * 64 * 1024 + 1024);
    EXPECT_EQ(text.count('\n'), 2 + 3 + 1);  // heading, workbook, three pieces, the run
    TimingBoard again;
    Attach(again, dir.file("race.xlsx"), Device::Alge);
    EXPECT_EQ(again.unreadableLines(), 1);
    EXPECT_EQ(again.runs().size(), 1u);
}

TEST(TimingBoard, HeldWithoutWorkbookAndKeptThroughAFailedWrite) {
    testsupport::TempDir dir;
    TimingBoard board;
    board.attach(QString(), Device::Generic, {});
    board.receive(QByteArrayView("3,61.00\n"));
    EXPECT_EQ(board.runs().size(), 1u);
    EXPECT_TRUE(board.logPath().isEmpty());

    // The log's name is taken by a folder: the write fails, the run is shown all the same and
    // the note names the file.
    const std::string logPath = dir.file("race.timing.log");
    ASSERT_EQ(::mkdir(logPath.c_str(), 0755), 0);
    Attach(board, dir.file("race.xlsx"), Device::Generic);
    EXPECT_EQ(board.runs().size(), 1u);
    EXPECT_TRUE(board.logProblem().contains(QStringLiteral("race.timing.log")));
    board.receive(QByteArrayView("4,62.00\n"));
    EXPECT_EQ(board.runs().size(), 2u);

    // Once the file can be written, everything held goes in, in order.
    ASSERT_EQ(::rmdir(logPath.c_str()), 0);
    board.receive(QByteArrayView("5,63.00\n"));
    EXPECT_TRUE(board.logProblem().isEmpty());
    TimingBoard again;
    Attach(again, dir.file("race.xlsx"), Device::Generic);
    ASSERT_EQ(again.runs().size(), 3u);
    EXPECT_EQ(again.runs()[0].bib, 3);
    EXPECT_EQ(again.runs()[2].bib, 5);
}

TEST(TimingBoard, LineCutByALostConnectionDoesNotSwallowTheNext) {
    TimingBoard board;
    board.attach(QString(), Device::Alge, {});
    board.receive(QByteArrayView(" 0007 RT  00:0"));
    board.endOfStream();
    board.receive(QByteArrayView(" 0008 RT  00:01:00.00 00\r"));
    ASSERT_EQ(board.runs().size(), 1u);
    EXPECT_EQ(board.runs()[0].bib, 8);
    EXPECT_EQ(board.unreadableLines(), 1);
}
