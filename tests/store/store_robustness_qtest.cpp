// Loading never crashes, hangs or changes the file, whatever the official picks: each bad file
// ends on the processing screen with one message naming the file, and the file on disk stays
// byte for byte as it was.

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QPushButton>
#include <QtTest>
#include <functional>

#include "sheet/Zip.h"
#include "store/LoadTestSupport.h"

using namespace testsupport;
using zalvik::Competition;

namespace {

QByteArray Bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteBytes(const QString& path, const QByteArray& data) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}

// A valid workbook's package with one part replaced (or removed when `data` is null).
void ReplacePart(const QString& path, const std::string& part, const std::string* data) {
    using namespace sheet::detail;
    ZipReader in;
    ZipError err;
    QVERIFY(in.open(std::make_shared<const std::string>(Bytes(path).toStdString()), &err));
    ZipWriter out;
    for (int64_t i = 0; i < in.count(); ++i) {
        if (in.name(i) != part) {
            QVERIFY(out.copyRaw(in, i));
        } else if (data) {
            QVERIFY(out.add(part, *data, 9));
        }
    }
    std::string bytes;
    QVERIFY(out.finish(&bytes));
    WriteBytes(path, QByteArray::fromStdString(bytes));
}

// A small, sound competition: 3 competitors of one class, 2 gates.
TestWorkbook Sound(const std::string& path) {
    TestWorkbook wb(path);
    wb.settings(QStringLiteral("2"), {2, 3}, {QStringLiteral("一般")});
    for (int i = 1; i <= 3; ++i) wb.competitor(i, 100 + i, QStringLiteral("選手%1").arg(i));
    return wb;
}

}  // namespace

class RobustnessTest : public QObject, public ProgramFixture {
    Q_OBJECT

  private slots:
    void init() { startProgram(); }
    void cleanup() { finishProgram(); }

    void badFilesGiveOneMessageAndStayUnchanged_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<std::function<void(const QString&)>>("make");
        QTest::addColumn<QString>("mention");  // besides the file's name
        using Make = std::function<void(const QString&)>;

        QTest::newRow("not a zip")
            << "text.xlsx" << Make([](const QString& p) { WriteBytes(p, "Zno,氏名\n1,山田\n"); })
            << "zip";
        QTest::newRow("empty file")
            << "empty.xlsx" << Make([](const QString& p) { WriteBytes(p, {}); }) << "zip";
        QTest::newRow("truncated zip") << "cut.xlsx" << Make([](const QString& p) {
            Sound(p.toStdString()).save();
            const QByteArray whole = Bytes(p);
            WriteBytes(p, whole.left(whole.size() / 2));
        }) << "zip";
        QTest::newRow("zip bomb") << "bomb.xlsx" << Make([](const QString& p) {
            Sound(p.toStdString()).save();
            const std::string spaces(64 << 20, ' ');
            ReplacePart(p, "xl/worksheets/sheet1.xml", &spaces);
        }) << "sheet1.xml";
        QTest::newRow("malformed sheet XML") << "broken.xlsx" << Make([](const QString& p) {
            Sound(p.toStdString()).save();
            const std::string xml = "<worksheet><sheetData><row r=\"1\"><c>";
            ReplacePart(p, "xl/worksheets/sheet1.xml", &xml);
        }) << "XML";
        QTest::newRow("no worksheet part") << "nosheet.xlsx" << Make([](const QString& p) {
            Sound(p.toStdString()).save();
            ReplacePart(p, "xl/worksheets/sheet1.xml", nullptr);
        }) << "";
        QTest::newRow("text in every numeric column") << "text.xlsx" << Make([](const QString& p) {
            TestWorkbook wb = Sound(p.toStdString());
            for (int c = 5; c <= 8; ++c) wb.text(2, c, QStringLiteral("速い"));
            wb.text(2, 22, QStringLiteral("高い")).text(3, 24, QStringLiteral("多い"));
            wb.text(2, 27, QStringLiteral("三つ"));
            wb.save();
        }) << "E2";
        QTest::newRow("class count 10") << "classes.xlsx" << Make([](const QString& p) {
            TestWorkbook wb = Sound(p.toStdString());
            wb.num(2, 27, 10);
            wb.save();
        }) << "AA2";
        QTest::newRow("gate count 13") << "gates.xlsx" << Make([](const QString& p) {
            TestWorkbook wb = Sound(p.toStdString());
            wb.text(2, 23, QStringLiteral("13"));
            wb.save();
        }) << "W2";
        QTest::newRow("bib 40000") << "bib.xlsx" << Make([](const QString& p) {
            TestWorkbook wb = Sound(p.toStdString());
            wb.num(3, 1, 40000);
            wb.save();
        }) << "A3";
    }

    void badFilesGiveOneMessageAndStayUnchanged() {
        QFETCH(QString, file);
        QFETCH(std::function<void(const QString&)>, make);
        QFETCH(QString, mention);
        const QString path = QString::fromStdString(dir->file(file.toStdString()));
        make(path);
        QFile::remove(path + ".bak");
        const QByteArray before = Bytes(path);

        Load(*program, path);

        const QStringList shown = ui::testing::Messages();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown.first().contains(file), qPrintable(shown.first()));
        QVERIFY2(shown.first().contains(mention), qPrintable(shown.first()));
        QCOMPARE(ShownNames(*program), QStringList{"処理画面"});
        const Competition& d = program->data();
        QVERIFY(d.competitorCount >= 0 && d.competitorCount <= 999);
        QVERIFY(d.gateCount >= 0 && d.gateCount <= 12);
        QVERIFY(d.classCount >= 0 && d.classCount <= 9);
        QCOMPARE(Bytes(path), before);
        QVERIFY(!QFile::exists(path + ".bak"));
    }

    // Five thousand competitor rows: the first 999 load, row 1001 and below are never read.
    void fiveThousandRows() {
        const std::string path = dir->file("many.xlsx");
        TestWorkbook wb(path);
        wb.settings(QStringLiteral("1"), {2}, {QStringLiteral("一般")});
        for (int i = 1; i <= 5000; ++i) wb.competitor(i, i, QStringLiteral("選手%1").arg(i));
        wb.save();
        const QByteArray before = Bytes(QString::fromStdString(path));

        QElapsedTimer timer;
        timer.start();
        Load(*program, QString::fromStdString(path));
        QVERIFY2(timer.elapsed() < 20000, "the load must not hang");
        QCOMPARE(ui::testing::Messages(), QStringList{});
        QCOMPARE(program->data().competitorCount, 999);
        QCOMPARE(program->data().competitors[999].name, QStringLiteral("選手999"));
        QCOMPARE(program->data().competitors[1000].name, QString());
        QCOMPARE(Bytes(QString::fromStdString(path)), before);
    }

    // The official reads the file layer's sentence word for word, whether the file cannot be
    // opened or its input sheet cannot be read.
    void theMessageIsTheFileLayersSentence_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("sheetXml");  // empty: no file at all
        QTest::addColumn<QString>("expected");
        QTest::newRow("missing") << "gone.xlsx" << QString()
                                 << QStringLiteral("ファイル「gone.xlsx」が見つかりません。");
        QTest::newRow("rows out of order")
            << "order.xlsx"
            << R"(<worksheet><sheetData><row r="5"/><row r="3"/></sheetData></worksheet>)"
            << QStringLiteral(
                   "ファイル「order.xlsx」のワークシート「入力」は読み込めません（行3が"
                   "正しい並び順にありません）。");
    }

    void theMessageIsTheFileLayersSentence() {
        QFETCH(QString, file);
        QFETCH(QString, sheetXml);
        QFETCH(QString, expected);
        const QString path = QString::fromStdString(dir->file(file.toStdString()));
        if (!sheetXml.isEmpty()) {
            Sound(path.toStdString()).save();
            const std::string xml = sheetXml.toStdString();
            ReplacePart(path, "xl/worksheets/sheet1.xml", &xml);
        }
        auto* load =
            program->dataLoadScreen().findChild<QPushButton*>(QStringLiteral("読込ボタン"));
        QVERIFY(load && load->isVisible());
        ui::testing::QueueFileAnswer(path);
        QTest::mouseClick(load, Qt::LeftButton, {}, load->rect().center());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(ui::testing::Messages(), QStringList{expected});
        QCOMPARE(ShownNames(*program), QStringList{"処理画面"});
    }

    // A file the program may not read gives its message (only meaningful when not root, since
    // root reads every file).
    void fileWithoutReadPermission() {
        if (geteuid() == 0) QSKIP("root reads files whatever their permissions");
        const std::string path = dir->file("locked.xlsx");
        Sound(path).save();
        QVERIFY(chmod(path.c_str(), 0) == 0);
        Load(*program, QString::fromStdString(path));
        QCOMPARE(ui::testing::Messages().size(), 1);
        QVERIFY(ui::testing::Messages().first().contains(QStringLiteral("locked.xlsx")));
        QCOMPARE(ShownNames(*program), QStringList{"処理画面"});
    }
};

QTEST_MAIN(RobustnessTest)
#include "store_robustness_qtest.moc"
