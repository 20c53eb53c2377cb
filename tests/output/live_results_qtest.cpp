// The live results page, through the screens as the officials use them: the page file beside
// the workbook after a load and after registrations typed and clicked at the entry panel, read
// back with an HTML5 parser; then the page published from the output settings screen by a click
// on its check box and fetched from 127.0.0.1 at the port its label shows, with a real HTTP
// client, while bad requests are refused and registering goes on.
//
// Expected standings are the test's own: the race points of this small race are worked out by
// hand below, not by the program's scoring.

#include <QAbstractButton>
#include <QCheckBox>
#include <QClipboard>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRadioButton>
#include <QStandardPaths>
#include <QStyleOptionButton>
#include <QTcpSocket>
#include <cmath>
#include <filesystem>

#include "output/LivePage.h"
#include "output/LiveServer.h"
#include "output/OutputScreen.h"
#include "race/Scoring.h"
#include "store/LoadTestSupport.h"
#include "support/Controls.h"
#include "ui/Twips.h"

using namespace testsupport;

namespace {

const QString kHostile = QStringLiteral("<script>alert(1)</script>");

// What the page shows, as tests/output/read_live_page.py reads it.
QJsonObject ReadPage(const QString& path) {
    QProcess reader;
    reader.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(TEST_SOURCE_DIR "/output/read_live_page.py"), path});
    if (!reader.waitForFinished(30000)) return {{"readerError", "timed out"}};
    const QByteArray out = reader.readAllStandardOutput();
    const QJsonDocument doc = QJsonDocument::fromJson(out);
    if (!doc.isObject())
        return {{"readerError", QString::fromUtf8(out + reader.readAllStandardError())}};
    return doc.object();
}

QStringList Strings(const QJsonValue& v) {
    QStringList out;
    for (const QJsonValue& e : v.toArray()) out << e.toString();
    return out;
}

QList<QStringList> Rows(const QJsonObject& section) {
    QList<QStringList> rows;
    for (const QJsonValue& r : section["rows"].toArray()) rows << Strings(r);
    return rows;
}

QByteArray FileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// One request written as raw bytes to 127.0.0.1:port, and what came back before the server
// closed its side or `limitMs` passed. Nothing is sent when `request` is empty.
struct RawAnswer {
    QByteArray bytes;
    bool connected = false;
    QByteArray statusLine() const { return bytes.left(bytes.indexOf("\r\n")); }
};

// A line of /proc/self/status in kB, e.g. "VmHWM:".
qint64 StatusKb(const char* field) {
    for (const QByteArray& line : FileBytes(QStringLiteral("/proc/self/status")).split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ')[0].toLongLong();
    return -1;
}

}  // namespace

class LiveResultsTest : public QObject, private ProgramFixture {
    Q_OBJECT

    std::string path;
    QString pagePath;

    QStringList& messages() { return ui::testing::Messages(); }
    template <typename W = QWidget>
    W* on(QWidget& screen, const char* name) {
        return testsupport::Find<W>(screen, QString::fromUtf8(name));
    }
    QWidget& processing() { return program->processingScreen(); }
    QRadioButton* option(const char* array, int i) {
        return on<QRadioButton>(processing(),
                                qPrintable(ui::ElementName(QString::fromUtf8(array), i)));
    }

    // A click where a user clicks: the middle of a button, the mark of a check box or option.
    static void click(QAbstractButton* b) {
        QPoint at = b->rect().center();
        QStyleOptionButton opt;
        opt.initFrom(b);
        if (qobject_cast<QCheckBox*>(b))
            at = b->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &opt, b).center();
        else if (qobject_cast<QRadioButton*>(b))
            at = b->style()->subElementRect(QStyle::SE_RadioButtonIndicator, &opt, b).center();
        QTest::mouseClick(b, Qt::LeftButton, Qt::NoModifier, at);
    }
    // Clicks into a text box and types over what it held, into whatever has the focus.
    static void type(QLineEdit* box, const QString& text) {
        QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, box->rect().center());
        QTRY_COMPARE(QApplication::focusWidget(), box);
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(focus, Qt::Key_Delete);
        QTest::keyClicks(focus, text);
    }
    void activate(QWidget& screen) {
        screen.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&screen));
    }

    // A run registered at the entry panel: bib, seconds, buoy chosen per gate (index of the
    // buoy option, gates in order), or a status option (1 DS, 2 DF, 3 DQ).
    void registerRun(int bib, const QString& seconds, const std::vector<int>& buoys,
                     int status = 0) {
        activate(processing());
        type(on<QLineEdit>(processing(), "ゼッケン"), QString::number(bib));
        click(option("DSFQ", status));
        if (status == 0) {
            type(on<QLineEdit>(processing(), "分"), QString());
            type(on<QLineEdit>(processing(), "秒"), seconds);
            for (size_t g = 0; g < buoys.size(); ++g) {
                click(option("Gop", static_cast<int>(g)));
                click(option("ブイ", buoys[g]));
            }
        }
        click(on<QPushButton>(processing(), "登録ボタン"));
    }

    // Class 1 (its name needs escaping) holds two ranked competitors, one hostile name without
    // a result, one DS and one without a result; class 2 one ranked and one DQ; class 3 one
    // without a result and one DF. Buoys あ..お score 2..6; gates offer 3, 5, 5 and 2 buoys.
    void makeRace() {
        TestWorkbook wb(path);
        wb.competitor(1, 7, QStringLiteral("山田　太郎"), 1, QStringLiteral("北山SC"))
            .result(1, 61.5, 20, 307.5);
        wb.competitor(2, 2, kHostile, 1, QStringLiteral("A&B \"クラブ\""));
        wb.competitor(3, 3, QStringLiteral("佐藤　一郎"), 1).result(3, 62.05, 20, 310.25);
        wb.competitor(4, 1, QStringLiteral("田中　花子"), 1).result(4, 0, 0, 0, 1);
        wb.competitor(5, 4, QStringLiteral("渡辺　愛"), 1);
        wb.competitor(6, 5, QStringLiteral("高橋　誠"), 2).result(6, 58.2, 13, 447.69);
        wb.competitor(7, 6, QStringLiteral("伊藤　美咲"), 2).result(7, 0, 0, 0, 3);
        wb.competitor(8, 8, QStringLiteral("小林　翔"), 3);
        wb.competitor(9, 9, QStringLiteral("加藤　蓮"), 3).result(9, 0, 0, 0, 2);
        wb.settings(
            QStringLiteral("4"), {3, 5, 5, 2},
            {QStringLiteral("一般<男子>"), QStringLiteral("女子"), QStringLiteral("ジュニア")});
        wb.save();
        std::filesystem::remove(path + ".bak");
    }

    // The load as the official does it: the start screen's button, then the data-load screen's.
    void loadByClicks() {
        click(on<QPushButton>(program->dataLoadScreen(), "読込ボタン"));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    // The page file is written in the background; reading it waits for the last change.
    QJsonObject readPage() {
        program->waitForLivePage();
        return ReadPage(pagePath);
    }
    QByteArray pageBytes() {
        program->waitForLivePage();
        return FileBytes(pagePath);
    }

    void openOutputScreen() {
        click(on<QPushButton>(processing(), "出力ボタン"));
        activate(program->outputScreen());
    }
    QCheckBox* publishBox() { return on<QCheckBox>(program->outputScreen(), "速報公開"); }
    QLabel* urlLabel() { return on<QLabel>(program->outputScreen(), "速報URL"); }
    // The port in the address the label shows; 0 when it shows none.
    int shownPort() {
        const QUrl url(urlLabel()->text(), QUrl::StrictMode);
        return url.isValid() && url.scheme() == QLatin1String("http") ? url.port(0) : 0;
    }

    struct Reply {
        int status = 0;
        QByteArray body, type, length;
    };
    // A request by Qt's HTTP client to 127.0.0.1, bounded in time.
    Reply fetch(int port, const QString& target, const QByteArray& method = "GET") {
        QNetworkAccessManager manager;
        QNetworkRequest request(
            QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(target)));
        request.setTransferTimeout(10000);
        QNetworkReply* reply = method == "HEAD"  ? manager.head(request)
                               : method == "GET" ? manager.get(request)
                                                 : manager.sendCustomRequest(request, method, "x");
        QSignalSpy done(reply, &QNetworkReply::finished);
        done.wait(15000);
        Reply r;
        r.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        r.body = reply->readAll();
        r.type = reply->rawHeader("Content-Type");
        r.length = reply->rawHeader("Content-Length");
        delete reply;
        return r;
    }

    static QTcpSocket* openRaw(int port) {
        auto* socket = new QTcpSocket;
        socket->connectToHost(QHostAddress(QStringLiteral("127.0.0.1")),
                              static_cast<quint16>(port));
        socket->waitForConnected(5000);
        return socket;
    }
    // Reads until the server closes or `limitMs` passes; keeps writing what is queued.
    static RawAnswer finishRaw(QTcpSocket* socket, int limitMs = 6000, QByteArray got = {}) {
        RawAnswer answer;
        answer.connected = true;
        answer.bytes = got;
        QElapsedTimer t;
        t.start();
        // Until one whole answer is in (its head and as much body as it announces), the server
        // closes, or the time is up.
        auto whole = [&answer] {
            const qsizetype head = answer.bytes.indexOf("\r\n\r\n");
            if (head < 0) return false;
            const QByteArray lower = answer.bytes.left(head).toLower();
            const qsizetype at = lower.indexOf("content-length:");
            const qsizetype length = at < 0
                                         ? 0
                                         : lower.mid(at + 15, lower.indexOf("\r\n", at) - at - 15)
                                               .trimmed()
                                               .toLongLong();
            return answer.bytes.size() >= head + 4 + length;
        };
        while (t.elapsed() < limitMs && socket->state() == QAbstractSocket::ConnectedState &&
               !whole()) {
            if (socket->bytesToWrite() > 0) socket->waitForBytesWritten(50);
            if (socket->waitForReadyRead(50)) answer.bytes += socket->readAll();
        }
        answer.bytes += socket->readAll();
        delete socket;
        return answer;
    }
    static RawAnswer raw(int port, const QByteArray& request) {
        QTcpSocket* socket = openRaw(port);
        if (socket->state() != QAbstractSocket::ConnectedState) {
            delete socket;
            return {};
        }
        socket->write(request);
        return finishRaw(socket);
    }

  private slots:
    void initTestCase() {
        zalvik::SetUpScreenFont();
        // Nothing outside this computer can reach the servers the tests start.
        zalvik::LiveServer::setListenAddress(QHostAddress::LocalHost);
    }

    void init() {
        startProgram();
        path = dir->file("大会.xlsx");
        pagePath = QString::fromStdString(dir->file("大会_速報.html"));
        makeRace();
        ui::testing::QueueFileAnswer(QString::fromStdString(path));
    }

    void cleanup() { finishProgram(); }

    // The page file after the load and after each registration: sections, rows in standings
    // order with shared ranks, the status lists, names shown as text.
    void pageFileFollowsTheRace() {
        loadByClicks();
        QVERIFY2(messages().isEmpty(), qPrintable(messages().join(u'\n')));
        QJsonObject page = readPage();
        QVERIFY2(!page.contains("readerError") && !page.contains("parseError"),
                 qPrintable(QJsonDocument(page).toJson()));
        QVERIFY(page["doctype"].toBool());
        QCOMPARE(page["lang"].toString(), QStringLiteral("ja"));
        QCOMPARE(Strings(page["charset"]), QStringList{"utf-8"});
        QCOMPARE(Strings(page["refresh"]), QStringList{"15"});
        QCOMPARE(page["scripts"].toInt(), 0);
        QCOMPARE(page["external"].toArray().size(), 0);
        QCOMPARE(Strings(page["h1"]), QStringList{"テスト大会"});
        QJsonArray links = page["links"].toArray();
        QCOMPARE(links.size(), 3);
        QCOMPARE(Strings(links[0]), (QStringList{"#class-1", "一般<男子>"}));
        QCOMPARE(Strings(links[2]), (QStringList{"#class-3", "ジュニア"}));

        QJsonArray sections = page["sections"].toArray();
        QCOMPARE(sections.size(), 3);
        QJsonObject c1 = sections[0].toObject();
        QCOMPARE(c1["id"].toString(), QStringLiteral("class-1"));
        QCOMPARE(c1["heading"].toString(), QStringLiteral("一般<男子>"));
        QCOMPARE(Rows(c1),
                 (QList<QStringList>{{"1", "7", "山田　太郎", "北山SC", "307.50", "61.50", "20"},
                                     {"2", "3", "佐藤　一郎", "所属", "310.25", "62.05", "20"}}));
        QCOMPARE(Strings(c1["DS"]), QStringList{"1 田中　花子（所属）"});
        QCOMPARE(Strings(sections[1].toObject()["DQ"]), QStringList{"6 伊藤　美咲（所属）"});
        QCOMPARE(Strings(sections[2].toObject()["DF"]), QStringList{"9 加藤　蓮（所属）"});
        QCOMPARE(Rows(sections[2].toObject()), QList<QStringList>{});

        // Bib 2 (the hostile name) ties bib 7 at 307.50: 55.35 s through う, お, お, あ (18).
        // Ties share the rank and list the higher bib first; the next one is third.
        registerRun(2, QStringLiteral("55.35"), {2, 4, 4, 0});
        // Bib 4 did not finish; bib 8 in class 3 gets 70 s through あ, い, う, い (12).
        registerRun(4, QString(), {}, 2);
        registerRun(8, QStringLiteral("70"), {0, 1, 2, 1});
        QVERIFY2(messages().isEmpty(), qPrintable(messages().join(u'\n')));

        page = readPage();
        sections = page["sections"].toArray();
        c1 = sections[0].toObject();
        QCOMPARE(Rows(c1), (QList<QStringList>{
                               {"1", "7", "山田　太郎", "北山SC", "307.50", "61.50", "20"},
                               {"1", "2", kHostile, "A&B \"クラブ\"", "307.50", "55.35", "18"},
                               {"3", "3", "佐藤　一郎", "所属", "310.25", "62.05", "20"}}));
        QCOMPARE(Strings(c1["DF"]), QStringList{"4 渡辺　愛（所属）"});
        QCOMPARE(Rows(sections[2].toObject()),
                 (QList<QStringList>{{"1", "8", "小林　翔", "所属", "583.33", "70.00", "12"}}));
        // The hostile name is text: no script element came from it.
        QCOMPARE(page["scripts"].toInt(), 0);

        program->waitForLivePage();
        // Written by rename: the page and no temporary file of it beside the workbook.
        QStringList files;
        for (const auto& e : std::filesystem::directory_iterator(dir->path())) {
            const QString name = QString::fromStdString(e.path().filename().string());
            if (name.startsWith(QStringLiteral("大会_速報"))) files << name;
        }
        QCOMPARE(files, QStringList{"大会_速報.html"});
    }

    // Published from the output settings screen: the page and the JSON from 127.0.0.1 at the
    // port the label shows; bad requests refused quickly while registering goes on; unchecking
    // stops the server.
    void servedWhileRegistering() {
        loadByClicks();
        openOutputScreen();
        QWidget& output = program->outputScreen();
        QCOMPARE(urlLabel()->text(), QString());
        QCOMPARE(ui::GeometryTwips(on<QGroupBox>(output, "Frame17")),
                 QRect(2370, 1665, 1335, 2235));
        QCOMPARE(on<QGroupBox>(output, "Frame17")->title(), QStringLiteral("速報"));
        QCOMPARE(publishBox()->text(), QStringLiteral("LANに公開"));
        click(publishBox());
        QVERIFY(publishBox()->isChecked());
        const int port = shownPort();
        QVERIFY2(port >= 8080 && port < 8100, qPrintable(urlLabel()->text()));
        // Copied from the label as an official copies it, the address opens the page.
        QTest::mouseClick(urlLabel(), Qt::LeftButton);
        QTRY_COMPARE(QApplication::focusWidget(), urlLabel());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_C, Qt::ControlModifier);
        const QUrl copied(QGuiApplication::clipboard()->text(), QUrl::StrictMode);
        QVERIFY2(copied.isValid() && copied.port() == port && copied.path() == "/",
                 qPrintable(QGuiApplication::clipboard()->text().toUtf8().toPercentEncoding()));
        QCOMPARE(copied.host(), zalvik::LanAddress());

        Reply page = fetch(port, "/");
        QCOMPARE(page.status, 200);
        QCOMPARE(page.type, QByteArray("text/html; charset=utf-8"));
        QCOMPARE(page.body, pageBytes());
        Reply head = fetch(port, "/", "HEAD");
        QCOMPARE(head.status, 200);
        QCOMPARE(head.body, QByteArray());
        QCOMPARE(head.length.toLongLong(), page.body.size());

        // Bad requests, two of them left hanging (a huge request line still being sent, a
        // client saying nothing) while a result is registered.
        QTcpSocket* silent = openRaw(port);
        QTcpSocket* huge = openRaw(port);
        huge->write("GET /" + QByteArray(1 << 20, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n");
        // Sent at once, as a client does; what comes back meanwhile is kept for later.
        QByteArray hugeSoFar;
        QElapsedTimer sending;
        sending.start();
        while (huge->bytesToWrite() > 0 && huge->state() == QAbstractSocket::ConnectedState &&
               sending.elapsed() < 3000) {
            huge->waitForBytesWritten(50);
            if (huge->waitForReadyRead(10)) hugeSoFar += huge->readAll();
        }
        struct Bad {
            QByteArray request, status;
        };
        const QList<Bad> bad{
            {"GET /../etc/passwd HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.1 404"},
            {"GET /x HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.1 404"},
            {"GET /results.json/ HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.1 404"},
            {"POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\n\r\nabc", "HTTP/1.1 405"},
            {"DELETE /results.json HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.1 405"},
            {"BREW / HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.1 4"},
            {"GET / HTTP/1.1\r\nHost: x\r\nX: " + QByteArray(100000, 'b') + "\r\n\r\n",
             "HTTP/1.1 431"},
        };
        for (const Bad& b : bad) {
            const RawAnswer answer = raw(port, b.request);
            QVERIFY2(answer.statusLine().startsWith(b.status),
                     qPrintable(b.request.left(40) + " -> " + answer.bytes.left(200)));
            QVERIFY(!answer.bytes.contains("root:"));
        }

        click(on<QPushButton>(output, "戻るボタン"));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        registerRun(4, QStringLiteral("50"), {0, 0, 0, 0});  // あ at every gate: 8 buoy points
        QVERIFY2(messages().isEmpty(), qPrintable(messages().join(u'\n')));

        const RawAnswer hugeAnswer = finishRaw(huge, 6000, hugeSoFar);
        QVERIFY2(hugeAnswer.statusLine().startsWith("HTTP/1.1 431"),
                 hugeAnswer.bytes.left(200).constData());
        const RawAnswer silentAnswer = finishRaw(silent);
        QVERIFY2(silentAnswer.statusLine().startsWith("HTTP/1.1 408"),
                 silentAnswer.bytes.left(200).constData());

        // The served page and the JSON carry the registration; the JSON ranks as the page.
        program->waitForLiveServed();
        page = fetch(port, "/");
        QCOMPARE(page.body, pageBytes());
        QVERIFY(page.body.contains("625.00"));  // 50 s / 8 buoy points
        const Reply json = fetch(port, "/results.json");
        QCOMPARE(json.status, 200);
        QCOMPARE(json.type, QByteArray("application/json; charset=utf-8"));
        const QJsonObject results = QJsonDocument::fromJson(json.body).object();
        QCOMPARE(results["event"].toString(), QStringLiteral("テスト大会"));
        QVERIFY(QDateTime::fromString(results["updated"].toString(), Qt::ISODate).isValid());
        const QJsonArray classes = results["classes"].toArray();
        QCOMPARE(classes.size(), 3);
        const QJsonObject c1 = classes[0].toObject();
        QCOMPARE(c1["name"].toString(), QStringLiteral("一般<男子>"));
        QStringList ranked;
        for (const QJsonValue& e : c1["standings"].toArray()) {
            const QJsonObject o = e.toObject();
            ranked << QStringLiteral("%1:%2:%3:%4")
                          .arg(o["rank"].toInt())
                          .arg(o["bib"].toInt())
                          .arg(o["racePoints"].toDouble())
                          .arg(o["name"].toString());
        }
        QCOMPARE(ranked, (QStringList{"1:7:307.5:山田　太郎", "2:3:310.25:佐藤　一郎",
                                      "3:4:625:渡辺　愛"}));
        QCOMPARE(c1["DS"].toArray().first().toObject()["bib"].toInt(), 1);
        QCOMPARE(c1["waiting"].toInt(), 1);  // the hostile name has no result in this test

        // The server outlives the screen; a screen made afresh shows it running.
        openOutputScreen();
        QVERIFY(publishBox()->isChecked());
        QCOMPARE(shownPort(), port);
        click(publishBox());
        QCOMPARE(urlLabel()->text(), QString());
        QTcpSocket after;
        after.connectToHost(QHostAddress(QStringLiteral("127.0.0.1")), static_cast<quint16>(port));
        QVERIFY(!after.waitForConnected(3000));
        QVERIFY2(messages().isEmpty(), qPrintable(messages().join(u'\n')));
    }

    // A page that cannot be written is no message box (it would take the next Enter of the
    // official's entry) but a note on the processing screen until the page is written again.
    void unwritablePageIsANoteNotABox() {
        QDir().mkpath(pagePath);  // a folder where the page should go
        loadByClicks();
        registerRun(4, QStringLiteral("50"), {0, 0, 0, 0});
        program->waitForLivePage();
        QCOMPARE(program->data().competitors[5].racePoints, 625.0f);
        QVERIFY2(messages().isEmpty(), qPrintable(messages().join(u'\n')));
        auto* note = on<QLabel>(processing(), "速報状態");
        QVERIFY(note->isVisible());
        // The timing button beside it stays within reach of the mouse.
        auto* timer = on<QWidget>(processing(), "計時ボタン");
        const QPoint timerCentre = timer->mapTo(&processing(), timer->rect().center());
        QCOMPARE(processing().childAt(timerCentre), timer);
        QCOMPARE(note->text(),
                 QStringLiteral("速報ページ「大会_速報.html」を書けませんでした（同じ名"
                                "前のフォルダがあります）。結果の登録は続けられます。"));
        QDir().rmdir(pagePath);
        registerRun(8, QStringLiteral("70"), {0, 1, 2, 1});
        QVERIFY(pageBytes().contains("625.00"));
        QVERIFY(!note->isVisible());
        QVERIFY(messages().isEmpty());
    }

    // Only the computer itself and local networks are answered, in either protocol.
    void onlyLocalNetworksAreAnswered() {
        for (const char* a : {"127.8.9.10", "10.1.2.3", "172.31.255.254", "192.168.10.20",
                              "169.254.3.4", "::1", "febf::1", "fd12::1", "::ffff:192.168.1.5"})
            QVERIFY2(zalvik::IsLocalNetworkClient(QHostAddress(QString::fromLatin1(a))), a);
        for (const char* a : {"172.32.0.1", "172.15.255.255", "192.169.0.1", "100.64.0.1",
                              "0.0.0.0", "fec0::1", "2001:db8::1", "::", "::ffff:8.8.8.8"})
            QVERIFY2(!zalvik::IsLocalNetworkClient(QHostAddress(QString::fromLatin1(a))), a);
    }

    // Sixteen clients each send 300 requests for the page of a 999-competitor race and read
    // nothing: each is cut off once its unsent answers pass 1 MB, the program's peak memory
    // stays within bounds, and an ordinary client is served meanwhile.
    void clientsThatDoNotReadAreCutOff() {
        auto race = std::make_unique<zalvik::Competition>();
        race->classCount = 1;
        race->competitorCount = 999;
        for (int j = 1; j <= 999; ++j) {
            zalvik::Competitor& who = race->competitors[j];
            who.bib = static_cast<int16_t>(j);
            who.name = QStringLiteral("選手　%1").arg(j);
            who.affiliation = QStringLiteral("北海道ミルネ高等学校スキー部");
            who.classNo = zalvik::ClassValue::ofNumber(1);
            who.runTime = 60.0f + static_cast<float>(j) / 100;
            who.racePoints = zalvik::RacePoints(who.runTime, 20);
        }
        zalvik::LiveServer server;
        const int port = server.start();
        server.publish(zalvik::MakeLiveSnapshot(*race, QDateTime::currentDateTime()));
        const qint64 pageSize = fetch(port, "/").body.size();
        QVERIFY(pageSize > 100000);

        const qint64 before = StatusKb("VmRSS:");
        QFile peak(QStringLiteral("/proc/self/clear_refs"));  // the peak starts again from now
        QVERIFY(peak.open(QIODevice::WriteOnly) && peak.write("5") == 1);
        peak.close();
        std::vector<std::unique_ptr<QTcpSocket>> greedy;
        for (int i = 0; i < 16; ++i) {
            greedy.emplace_back(openRaw(port));
            greedy.back()->setReadBufferSize(1);  // takes in no answer while the test runs
            for (int r = 0; r < 300; ++r) greedy.back()->write("GET / HTTP/1.1\r\nHost: x\r\n\r\n");
            QVERIFY(greedy.back()->waitForBytesWritten(5000));
        }
        const Reply ordinary = fetch(port, "/");
        QCOMPARE(ordinary.status, 200);
        QCOMPARE(ordinary.body.size(), pageSize);
        // Read now, every greedy client gets a few answers and then the end of its connection.
        for (auto& socket : greedy) {
            socket->setReadBufferSize(0);
            qint64 got = 0;
            QElapsedTimer t;
            t.start();
            while (t.elapsed() < 20000 && socket->state() == QAbstractSocket::ConnectedState)
                if (socket->waitForReadyRead(100)) got += socket->readAll().size();
            QCOMPARE(socket->state(), QAbstractSocket::UnconnectedState);
            QVERIFY2(got < 20 * pageSize, qPrintable(QString::number(got)));
        }
        const qint64 growth = StatusKb("VmHWM:") - before;
        qInfo("peak memory grew by %lld kB", static_cast<long long>(growth));
        QVERIFY2(growth < 64 * 1024, qPrintable(QString::number(growth)));
    }

    // Headless Chromium at a phone's width loads the served page: every class heading is
    // there and nothing sticks out sideways, with nine classes, long unbroken names and
    // affiliations, names of two parts, and the widest numbers the columns hold.
    void phoneShowsEveryClassWithoutSidewaysScrolling() {
        if (QStandardPaths::findExecutable(QStringLiteral("chromium")).isEmpty())
            QSKIP("chromium is not installed (make test installs it)");
        {
            TestWorkbook wb(path);
            QStringList classes;
            for (int k = 1; k <= 9; ++k)
                classes << QStringLiteral("クラス%1 シニア男子の部").arg(k);
            int slot = 0;
            for (int k = 1; k <= 9; ++k) {
                for (int n = 1; n <= 6; ++n) {
                    ++slot;
                    const QString name = n == 1
                                             ? QStringLiteral("Wolfeschlegelsteinhausenbergerdorff")
                                         : n == 2 ? kHostile
                                         : n == 3 ? QStringLiteral("山本　真由美")
                                         : n == 4 ? QStringLiteral("佐々木　大輔")
                                                  : QStringLiteral("選手%1").arg(slot);
                    wb.competitor(slot, slot, name, k,
                                  n % 2 ? QStringLiteral("北海道ミルネ高等学校スキー部アルペン班")
                                        : QStringLiteral("東京都スキー連盟"));
                    const double time = 100 + slot + n / 100.0;
                    const double buoys = n;  // down to one buoy point: race points up to 10000s
                    wb.result(slot, time, buoys, std::floor(time * 10000 / buoys + 0.5) / 100,
                              n == 6 ? 1 : 0);
                }
            }
            std::vector<QString> names(classes.begin(), classes.end());
            wb.settings(QStringLiteral("4"), {3, 5, 5, 2}, names);
            wb.save();
        }
        loadByClicks();
        openOutputScreen();
        click(publishBox());
        const int port = shownPort();
        QVERIFY(port != 0);

        const QString picture = QString::fromStdString(dir->file("phone.png"));
        QProcess view;
        view.start(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral(PROJECT_SOURCE_DIR "/tools/phone_view.py"),
                    QStringLiteral("http://127.0.0.1:%1/").arg(port), picture});
        QVERIFY(view.waitForFinished(90000));
        const QByteArray out = view.readAllStandardOutput();
        QVERIFY2(view.exitCode() == 0, (out + view.readAllStandardError()).constData());
        const QJsonObject shown = QJsonDocument::fromJson(out).object();
        QCOMPARE(shown["innerWidth"].toInt(), 390);
        QVERIFY2(shown["scrollWidth"].toInt() <= shown["clientWidth"].toInt() &&
                     shown["widest"].toDouble() <= shown["innerWidth"].toDouble(),
                 out.constData());
        QCOMPARE(Strings(shown["overflowing"]), QStringList{});
        // A name breaks only between its parts, an affiliation between its words, and the
        // table's last column stands clear of the screen's edge.
        QCOMPARE(Strings(shown["brokenWords"]), QStringList{});
        QVERIFY2(shown["rightGap"].toDouble() >= 12, out.constData());
        QStringList headings;
        for (int k = 1; k <= 9; ++k) headings << QStringLiteral("クラス%1 シニア男子の部").arg(k);
        QCOMPARE(Strings(shown["h2"]), headings);
        QCOMPARE(Strings(shown["h1"]), QStringList{"テスト大会"});
        QVERIFY(QImage(picture).width() > 0);
        QVERIFY2(messages().isEmpty(), qPrintable(messages().join(u'\n')));
    }

    // The first port taken by another program: the next one is used and shown.
    void takenPortMovesToTheNext() {
        loadByClicks();
        zalvik::LiveServer other;
        const quint16 taken = other.start();
        QVERIFY(taken != 0);
        openOutputScreen();
        click(publishBox());
        const int port = shownPort();
        QVERIFY2(port > taken && port < 8100, qPrintable(QString::number(port)));
        QCOMPARE(fetch(port, "/").status, 200);
        QVERIFY2(messages().isEmpty(), qPrintable(messages().join(u'\n')));
    }
};

QTEST_MAIN(LiveResultsTest)
#include "live_results_qtest.moc"
