// The log of what arrives from outside: records come back once each, in order, with their
// numbers; torn, damaged and foreign lines are never taken; a write cut short by a full disk
// never puts a record in the file twice.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <QFile>

#include "store/ObservationLog.h"
#include "support/TestFiles.h"

using namespace zalvik::store;

namespace {

const JournalOwner kOwner{QStringLiteral("id-1"), QStringLiteral("大会"),
                          QStringLiteral("2026-12-10")};

QByteArray Bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void Put(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// The records' numbers and first fields, as "1:a 2:b".
std::string Summary(const ObservationReading& r) {
    std::string out;
    for (const ObservationRecord& rec : r.records) {
        if (!out.empty()) out += ' ';
        out += std::to_string(rec.seq) + ':' + rec.fields.value(0).toStdString();
    }
    return out;
}

}  // namespace

// Two sessions of one workbook, then whatever can happen to the file between them.
TEST(ObservationLog, RecordsComeBackOnceEachWhateverHappenedToTheFile) {
    testsupport::TempDir dir;
    const QString path = QString::fromStdString(dir.file("race.log"));
    {
        ObservationLog log("heading\n");
        EXPECT_FALSE(log.attach(path, kOwner).exists);
        EXPECT_EQ(log.append({"a", "tab\there"}), 1);
        EXPECT_EQ(log.appendAll(std::vector<QList<QByteArray>>{{"b"}, {"c"}}), 2);
        EXPECT_TRUE(log.written());
    }
    {
        ObservationLog log("heading\n");
        const ObservationReading r = log.attach(path, kOwner);
        EXPECT_EQ(Summary(r), "1:a 2:b 3:c");
        EXPECT_EQ(r.records[0].fields.value(1), "tab here");  // a tab never splits a field
        EXPECT_EQ(log.append({"d"}), 4);                      // the second session goes on counting
    }
    const QByteArray good = Bytes(path);
    const qsizetype lastLine = good.lastIndexOf('\n', good.size() - 2) + 1;
    struct Case {
        const char* what;
        QByteArray bytes;
        std::string records;
        int damaged;
        int foreign;
    };
    QByteArray flipped = good;
    flipped[lastLine + 2] = 'X';
    const Case cases[] = {
        {"as written", good, "1:a 2:b 3:c 4:d", 0, 0},
        {"last line torn by a crash", good.first(good.size() - 5), "1:a 2:b 3:c", 1, 0},
        {"last line without its line feed", good.chopped(1), "1:a 2:b 3:c", 1, 0},
        {"a byte changed", flipped, "1:a 2:b 3:c", 1, 0},
        {"a record written twice", good + good.sliced(lastLine), "1:a 2:b 3:c 4:d", 0, 0},
        {"records of a rehearsal workbook",
         good +
             [] {
                 testsupport::TempDir other;
                 const QString p = QString::fromStdString(other.file("o.log"));
                 ObservationLog log("");
                 log.attach(p, {QStringLiteral("id-2"), QStringLiteral("リハーサル"), {}});
                 log.append({"x"});
                 return Bytes(p);
             }(),
         "1:a 2:b 3:c 4:d", 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Put(path, c.bytes);
        const ObservationReading r = ReadObservationLog(path, kOwner);
        EXPECT_EQ(Summary(r), c.records);
        EXPECT_EQ(r.damaged, c.damaged);
        EXPECT_EQ(r.foreign, c.foreign);
        if (c.foreign) {
            EXPECT_EQ(r.other->eventName, QStringLiteral("リハーサル"));
        }
    }

    // The torn line is closed with the cut mark: the next record stands on its own, at both
    // loads, and takes the number after the last one in the file.
    Put(path, good.first(good.size() - 5));
    {
        ObservationLog log("heading\n");
        log.attach(path, kOwner);
        EXPECT_EQ(log.append({"e"}), 4);
    }
    EXPECT_EQ(Summary(ReadObservationLog(path, kOwner)), "1:a 2:b 3:c 4:e");

    // A copy of the workbook from before it had an identity finds its records by event and date.
    const ObservationReading copy =
        ReadObservationLog(path, {QString(), kOwner.eventName, kOwner.eventDate});
    EXPECT_EQ(copy.adoptedId, kOwner.id);
    EXPECT_EQ(Summary(copy), "1:a 2:b 3:c 4:e");
    EXPECT_EQ(ReadObservationLog(path, {QString(), kOwner.eventName, "2026-12-11"}).foreign, 4);
}

// A disk that fills in the middle of a write: the records that reached the file whole are not
// written again, the torn one is written again whole, and nothing is in the file twice.
TEST(ObservationLog, AWriteCutShortByAFullDiskNeverWritesARecordTwice) {
    testsupport::TempDir dir;
    const QString path = QString::fromStdString(dir.file("race.log"));
    ObservationLog log("heading\n");
    log.attach(path, kOwner);
    log.append({"first"});
    ASSERT_TRUE(log.written());

    // The file may grow by 60 bytes more: the next write stops inside its second record.
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = static_cast<rlim_t>(Bytes(path).size() + 60);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    log.appendAll(std::vector<QList<QByteArray>>{{"second"}, {"third-with-a-longer-field"}});
    const bool writtenWhileFull = log.written();
    const int error = log.lastError();
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previous);
    EXPECT_FALSE(writtenWhileFull);
    EXPECT_EQ(error, EFBIG);

    log.append({"fourth"});
    EXPECT_TRUE(log.written());
    const ObservationReading r = ReadObservationLog(path, kOwner);
    EXPECT_EQ(Summary(r), "1:first 2:second 3:third-with-a-longer-field 4:fourth");
    EXPECT_EQ(r.damaged, 1);  // the torn piece, closed by the cut mark
    EXPECT_EQ(Bytes(path).count("second"), 1);
}

// Records of one workbook never go into another's log; those that came with no workbook go into
// the next one.
TEST(ObservationLog, RecordsNeverCrossFromOneWorkbookToAnother) {
    testsupport::TempDir dir;
    const QString first =
        QString::fromStdString(dir.file("a/a.log"));  // a folder that is not there
    const QString second = QString::fromStdString(dir.file("b.log"));
    ObservationLog log("heading\n");
    log.attach({}, kOwner);
    log.append({"before any workbook"});
    log.attach(first, kOwner);
    EXPECT_FALSE(log.written());
    log.append({"of a"});
    const ObservationReading r = log.attach(second, {QStringLiteral("id-b"), {}, {}});
    EXPECT_EQ(log.droppedRecords(), 2);
    EXPECT_EQ(Summary(r), "");
    EXPECT_TRUE(Bytes(second).isEmpty());

    log.attach({}, kOwner);
    log.append({"between workbooks"});
    EXPECT_EQ(Summary(log.attach(second, {QStringLiteral("id-b"), {}, {}})), "1:between workbooks");
    EXPECT_EQ(Summary(ReadObservationLog(second, {QStringLiteral("id-b"), {}, {}})),
              "1:between workbooks");

    // A record of a workbook without an identity yet waits for it: written without one it
    // would be nobody's.
    const QString fourth = QString::fromStdString(dir.file("d.log"));
    ObservationLog unnamed("heading\n");
    unnamed.attach(fourth, {QString(), kOwner.eventName, kOwner.eventDate});
    unnamed.append({"waits"});
    EXPECT_FALSE(unnamed.written());
    unnamed.setOwner(kOwner);
    EXPECT_TRUE(unnamed.retry());
    EXPECT_EQ(Summary(ReadObservationLog(fourth, kOwner)), "1:waits");

    // A log at its cap takes nothing more, and says so; what it took reads back whole, the
    // heading of a new file counted.
    const QString third = QString::fromStdString(dir.file("c.log"));
    ObservationLog capped(QByteArray(100, 'h') + '\n', 300);
    capped.attach(third, kOwner);
    int taken = 0;
    for (; taken < 10 && !capped.full(); ++taken) capped.append({QByteArray(20, 'x')});
    EXPECT_TRUE(capped.full());
    EXPECT_LE(Bytes(third).size(), 300);
    const ObservationReading read = ReadObservationLog(third, kOwner, 300);
    EXPECT_EQ(static_cast<int>(read.records.size()), taken - 1);
    EXPECT_EQ(read.damaged, 0);
}
