// The gate judges as the officials and the judges meet them: the set-up dialog through real
// clicks (a judge added, gates ticked, the PIN shown, publishing turned on, the judge revoked);
// the judges' requests on the live server at 127.0.0.1, by raw HTTP and by the simulator; the
// judge page in a real browser (headless Chromium) that loses the desk and gets it back; and
// the desk where their entries and a device's time make up the run the official registers.

#include <signal.h>

#include <QCheckBox>
#include <QDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSettings>
#include <QTableView>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include "output/LiveServer.h"
#include "race/JudgeBoard.h"
#include "store/InputSheet.h"
#include "store/LoadTestSupport.h"
#include "support/Controls.h"
#include "timing/TimingLink.h"

using namespace testsupport;

namespace {

struct Http {
    int status = 0;
    QJsonObject json;
    QByteArray head;
};

// One request to 127.0.0.1:port on a connection of its own, read until its answer is whole.
Http Request(int port, const QByteArray& method, const QByteArray& path,
             const QByteArray& body = {}, const QByteArray& header = {}) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
    if (!socket.waitForConnected(5000)) return {};
    socket.write(method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                 (header.isEmpty() ? QByteArray() : header + "\r\n") +
                 "Content-Type: application/json\r\nContent-Length: " +
                 QByteArray::number(body.size()) + "\r\n\r\n" + body);
    // Until the whole answer is in (its head and the body it announces), or the server closes.
    QByteArray got;
    auto whole = [&got] {
        const qsizetype end = got.indexOf("\r\n\r\n");
        const QByteArray head = got.left(end).toLower();
        const qsizetype at = head.indexOf("content-length:");
        return end >= 0 && at >= 0 &&
               got.size() >= end + 4 + head.mid(at + 15).split('\r')[0].trimmed().toLongLong();
    };
    for (int i = 0; i < 100 && socket.state() == QAbstractSocket::ConnectedState && !whole(); ++i)
        if (socket.waitForReadyRead(100)) got += socket.readAll();
    Http h;
    const qsizetype end = got.indexOf("\r\n\r\n");
    h.head = got.left(end);
    h.status = got.mid(9, 3).toInt();
    h.json = QJsonDocument::fromJson(got.mid(end + 4)).object();
    return h;
}

QByteArray Json(const QJsonObject& o) { return QJsonDocument(o).toJson(QJsonDocument::Compact); }

QJsonObject Entry(int n, int bib, int gate, int buoy) {
    QJsonObject e{
        {"id", QString::number(n).rightJustified(32, u'a')}, {"bib", bib}, {"gate", gate}};
    if (buoy == 0)
        e.insert("dq", true);
    else
        e.insert("buoy", buoy);
    return e;
}

// The crash test's child: loads the race, publishes on 127.0.0.1 with one judge of gates 1..3,
// says its port and the judge's PIN, and waits for the kill.
int RunChild(const QString& path) {
    ui::testing::EnableDialogHooks(true);
    zalvik::LiveServer::setListenAddress(QHostAddress::LocalHost);
    auto program = StartedProgram();
    Load(*program, path);
    const zalvik::judges::Judge judge = program->judgeBoard().addJudge();
    program->judgeBoard().setJudgeGates(judge.id, {1, 2, 3});
    std::printf("%d %s\n", program->startPublishing(), qPrintable(judge.pin));
    std::fflush(stdout);
    return QApplication::exec();
}

}  // namespace

class JudgesTest : public QObject, private ProgramFixture {
    Q_OBJECT

    QString book;
    QDialog* dialog = nullptr;

    template <typename W = QWidget>
    W* inDialog(const QString& name) {
        return Find<W>(*dialog, name);
    }
    static void click(QAbstractButton* b) {
        QTest::mouseClick(b, Qt::LeftButton, Qt::NoModifier, b->rect().center());
    }

    // Twenty competitors, three gates offering 3, 3 and 2 of the buoys あ..お (2..6 points).
    void makeRace() {
        startProgram();
        book = QString::fromStdString(dir->file("大会.xlsx"));
        TestWorkbook wb(book.toStdString());
        for (int i = 1; i <= 20; ++i) wb.competitor(i, i, QStringLiteral("選手%1").arg(i), 1);
        wb.settings(QStringLiteral("3"), {3, 3, 2}, {QStringLiteral("一般")});
        wb.save();
    }
    void loadRace() {
        makeRace();
        Load(*program, book);
    }

    // The dialog opened by 審判ボタン; publishing turned on from it; one judge added by
    // clicks, named, watching gates 1 and 2, whose PIN the dialog shows (`pin`).
    QString pin;
    void addJudgeByClicks() {
        auto& screen = program->processingScreen();
        click(Find<QPushButton>(screen, QStringLiteral("審判ボタン")));
        dialog = screen.findChild<QDialog*>(QStringLiteral("審判設定画面"));
        QVERIFY(dialog && dialog->isVisible());
        auto* publish = inDialog<QPushButton>(QStringLiteral("審判公開ボタン"));
        QVERIFY(publish->isVisible());
        QVERIFY(inDialog(QStringLiteral("審判公開メモ"))->isVisible());
        click(publish);
        QVERIFY(program->liveServer().isRunning());
        QVERIFY(!publish->isVisible());
        QVERIFY(!inDialog<QLabel>(QStringLiteral("審判QR"))->pixmap().isNull());
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        click(inDialog<QPushButton>(QStringLiteral("審判追加ボタン")));
        QTRY_COMPARE(QApplication::focusWidget(), inDialog(QStringLiteral("審判名")));
        // As an input method hands over the name typed.
        QTest::sendKeyEvent(QTest::Click, QApplication::focusWidget(), Qt::Key_unknown,
                            QStringLiteral("山田"), Qt::NoModifier);
        for (int g : {0, 1}) click(inDialog<QCheckBox>(QStringLiteral("審判ゲート(%1)").arg(g)));
        // One check per gate raced.
        QVERIFY(inDialog(QStringLiteral("審判ゲート(2)"))->isVisible());
        QVERIFY(!inDialog(QStringLiteral("審判ゲート(3)"))->isVisible());
        const auto judges = program->judgeBoard().judges();
        QCOMPARE(judges.size(), size_t(1));
        QCOMPARE(judges[0].name, QStringLiteral("山田"));
        QCOMPARE(judges[0].gates, (QList<int>{1, 2}));
        pin = inDialog<QLabel>(QStringLiteral("審判PIN"))->text();
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d{6}$")).match(pin).hasMatch(),
                 qPrintable(pin));
    }

    int port() { return program->liveServer().port(); }

    // The desk's side.
    QTemporaryDir settingsDir;
    zalvik::ProcessingScreen& screen() { return program->processingScreen(); }
    QTableView* list() { return Find<QTableView>(screen(), QStringLiteral("計時一覧")); }
    // The list's lines as "bib|time|state|source".
    QStringList lines() {
        QStringList all;
        for (int r = 0; r < list()->model()->rowCount(); ++r) {
            QStringList cells;
            for (int c : {1, 3, 4, 5}) cells << list()->model()->index(r, c).data().toString();
            all << cells.join(u'|');
        }
        return all;
    }
    QWidget* focused() { return QApplication::focusWidget(); }
    QString focusName() { return focused() ? focused()->objectName() : QString(); }
    QLabel* gate(int g) { return Find<QLabel>(screen(), QStringLiteral("色"), g); }
    // Row 1 + slot of the workbook on disk, from the time to the last gate.
    QStringList rowOnDisk(int slot) {
        sheet::FileFault fault;
        auto onDisk = sheet::Workbook::open(book.toStdString(), &fault);
        QStringList cells;
        for (int c = zalvik::store::kColRunTime; onDisk && c < zalvik::store::kColFirstGate + 3;
             ++c)
            cells << QString::fromStdString(onDisk->worksheet(1)->text(slot + 1, c));
        return cells;
    }
    // A click on the mark of option `name`(i), where a user clicks.
    void clickOption(const char* name, int i) {
        auto* option = Find<QRadioButton>(screen(), QString::fromUtf8(name), i);
        QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(8, option->height() / 2));
    }
    // A judge of `gates`, logged in over HTTP: the token.
    QString judgeToken(const QString& name, const QList<int>& gates) {
        auto& board = program->judgeBoard();
        const zalvik::judges::Judge judge = board.addJudge();
        board.setJudgeName(judge.id, name);
        board.setJudgeGates(judge.id, gates);
        return Request(port(), "POST", "/judge/login", Json({{"pin", judge.pin}}))
            .json["token"]
            .toString();
    }
    void send(const QString& token, const QJsonArray& entries) {
        const Http h = Request(port(), "POST", "/judge/entries",
                               Json({{"token", token}, {"entries", entries}}));
        QCOMPARE(h.status, 200);
    }

  private slots:
    void initTestCase() {
        zalvik::SetUpScreenFont();
        zalvik::LiveServer::setListenAddress(QHostAddress::LocalHost);
        // The timer the desk test connects is remembered in a place of this test's own.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    }

    // Log in; the entries' answers (taken, replayed, another judge's gate, too large, bad JSON,
    // too many, a dead token); the simulator; revocation; the wrong PINs and the wait.
    void requestsOnTheLiveServer() {
        loadRace();
        addJudgeByClicks();
        if (QTest::currentTestFailed()) return;
        // The page: small, and kept by the phone's browser.
        const Http page = Request(port(), "GET", "/judge");
        QCOMPARE(page.status, 200);
        QVERIFY(page.head.contains("Cache-Control: max-age="));
        const qsizetype tag = page.head.indexOf("ETag: ");
        QVERIFY(tag > 0);
        const int length =
            page.head.mid(page.head.indexOf("Content-Length: ") + 16).split('\r')[0].toInt();
        QVERIFY2(length > 1000 && length < 50 * 1024, QByteArray::number(length).constData());
        const QByteArray etag = page.head.mid(tag + 6).split('\r')[0];
        QCOMPARE(Request(port(), "GET", "/judge", {}, "If-None-Match: " + etag).status, 304);

        const Http in = Request(port(), "POST", "/judge/login", Json({{"pin", pin}}));
        QCOMPARE(in.status, 200);
        QCOMPARE(in.json["event"].toString(), QStringLiteral("テスト大会"));
        const QJsonArray gates = in.json["gates"].toArray();
        QCOMPARE(gates.size(), 2);
        QCOMPARE(gates[1]["buoys"].toArray().size(), 3);
        QCOMPARE(gates[0]["buoys"][1]["name"].toString(), QStringLiteral("い"));
        QCOMPARE(gates[0]["buoys"][1]["score"].toInt(), 3);
        const QString token = in.json["token"].toString();
        auto batch = [&](const QJsonArray& entries, const QString& t = {}) {
            return Json({{"token", t.isEmpty() ? token : t}, {"entries", entries}});
        };
        const QByteArray first = batch({Entry(1, 5, 1, 2), Entry(2, 5, 2, 0)});
        QJsonArray many;
        for (int i = 0; i <= zalvik::judges::kMaxBatch; ++i) many.append(Entry(100 + i, 5, 1, 1));

        struct Case {
            const char* name;
            QByteArray body;
            int status;
            QStringList answers;  // per entry: "seq" or the refusal
        } const cases[] = {
            {"taken", first, 200, {"seq", "seq"}},
            {"the same batch again", first, 200, {"seq", "seq"}},
            {"another judge's gate beside a good entry",
             batch({Entry(3, 6, 3, 1), Entry(4, 6, 1, 3)}),
             403,
             {QStringLiteral("ゲート3はこの審判の担当ではありません。"), "seq"}},
            {"an unknown bib",
             batch({Entry(5, 99, 1, 1)}),
             200,
             {QStringLiteral("ゼッケン99の選手はいません。")}},
            {"a body over 64 KB", QByteArray(70 * 1024, ' '), 413, {}},
            {"bad JSON", "{\"token\": ", 400, {}},
            {"a bad id",
             batch({QJsonObject{{"id", "12"}, {"bib", 1}, {"gate", 1}, {"buoy", 1}}}),
             400,
             {}},
            {"more than a batch", batch(many), 400, {}},
            {"a token never given", batch({Entry(6, 5, 1, 1)}, QString(32, u'0')), 401, {}},
        };
        QJsonArray firstResults;
        for (const Case& c : cases) {
            const Http h = Request(port(), "POST", "/judge/entries", c.body);
            QVERIFY2(h.status == c.status,
                     qPrintable(QStringLiteral("%1: %2").arg(c.name).arg(h.status)));
            const QJsonArray results = h.json["results"].toArray();
            QCOMPARE(results.size(), c.answers.size());
            for (int i = 0; i < c.answers.size(); ++i) {
                QVERIFY2(results[i]["seq"].toInt() > 0, c.name);
                QCOMPARE(results[i]["refused"].toString(),
                         c.answers[i] == QLatin1String("seq") ? QString() : c.answers[i]);
            }
            if (c.body == first && firstResults.isEmpty()) firstResults = results;
            if (c.body == first) QCOMPARE(results, firstResults);  // same numbers again
        }
        // Taken once each: the two of the first batch, and of the others the good one.
        const auto proposals = program->judgeBoard().proposalsFor(5);
        QCOMPARE(proposals.gates[0].buoy, 2);
        QCOMPARE(proposals.dq.size(), size_t(1));
        QCOMPARE(program->judgeBoard().entries().size(), size_t(5));

        // The simulator: two entries taken, one refused (a gate not the judge's).
        QFile file(dir->file("審判.txt").c_str());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("# ゼッケン,ゲート,ブイ\n7,1,3\n7,2,DQ\n7,3,1\n");
        file.close();
        QProcess sim;
        auto runSim = [&](const QString& withPin) {
            sim.start(QStringLiteral(JUDGE_SIM),
                      {QStringLiteral("--address"), QStringLiteral("127.0.0.1:%1").arg(port()),
                       QStringLiteral("--pin"), withPin, QStringLiteral("--rate"),
                       QStringLiteral("50"), file.fileName()});
            QVERIFY(sim.waitForFinished(30000));
        };
        runSim(pin);
        QCOMPARE(sim.exitCode(), 2);
        QVERIFY(QString::fromUtf8(sim.readAllStandardError())
                    .contains(QStringLiteral("7,3,1: ゲート3はこの審判の担当ではありません。")));
        QCOMPARE(program->judgeBoard().proposalsFor(7).gates[0].buoy, 3);
        // Every entry acknowledged: 0, and the correction is the latest word.
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("7,1,2\n");
        file.close();
        runSim(pin);
        QCOMPARE(sim.exitCode(), 0);
        QCOMPARE(program->judgeBoard().proposalsFor(7).gates[0].buoy, 2);

        // Revoked by the button: the token and the PIN stop at once.
        click(inDialog<QPushButton>(QStringLiteral("審判無効ボタン")));
        QCOMPARE(inDialog<QLabel>(QStringLiteral("審判PIN"))->text(), QStringLiteral("無効"));
        QCOMPARE(Request(port(), "POST", "/judge/entries", batch({Entry(7, 5, 1, 1)})).status, 401);
        runSim(pin);
        QCOMPARE(sim.exitCode(), 1);
        QVERIFY(QString::fromUtf8(sim.readAllStandardError())
                    .contains(QStringLiteral("PINが違います")));

        // Five wrong PINs from one address (the simulator's was the first): it waits 60 s, even
        // with a right PIN.
        const QString other = program->judgeBoard().addJudge().pin;
        for (int i = 2; i <= 5; ++i) {
            const Http h = Request(port(), "POST", "/judge/login", Json({{"pin", "999999x"}}));
            QCOMPARE(h.status, i < 5 ? 401 : 429);
        }
        const Http waiting = Request(port(), "POST", "/judge/login", Json({{"pin", other}}));
        QCOMPARE(waiting.status, 429);
        QVERIFY2(waiting.head.contains("Retry-After: 60"), waiting.head.constData());
        QVERIFY(waiting.json["error"].toString().contains(QStringLiteral("60秒")));
        dialog->close();
        finishProgram();
    }

    // The page in a real browser: the road of tools/judge_phone.py, the server stopped and
    // started where the script asks for it.
    void phoneInABrowser() {
        loadRace();
        addJudgeByClicks();
        if (QTest::currentTestFailed()) return;
        dialog->close();
        // On a port away from those the other tests start from, so that no test running beside
        // this one takes it while it is stopped.
        program->liveServer().stop();
        const quint16 at =
            program->liveServer().start(20000 + QRandomGenerator::global()->bounded(20000), 100);
        QVERIFY(at != 0);
        QProcess phone;
        phone.start(QStringLiteral("/usr/bin/python3"),
                    {QStringLiteral(PROJECT_SOURCE_DIR "/tools/judge_phone.py"),
                     QStringLiteral("http://127.0.0.1:%1/judge").arg(at), pin});
        QVERIFY(phone.waitForStarted());
        QByteArray said;
        auto expect = [&](const QByteArray& word) {
            for (int i = 0; i < 900 && !said.contains(word) && phone.state() == QProcess::Running;
                 ++i)
                if (phone.waitForReadyRead(100)) said += phone.readAllStandardOutput();
            QVERIFY2(said.contains(word), (said + phone.readAllStandardError()).constData());
        };
        expect("STOP\n");
        if (QTest::currentTestFailed()) return;
        program->liveServer().stop();
        phone.write("GO\n");
        expect("START\n");
        if (QTest::currentTestFailed()) return;
        QCOMPARE(program->judgeBoard().entries().size(), size_t(1));
        QCOMPARE(program->liveServer().start(at, 1), at);
        phone.write("GO\n");
        QVERIFY(phone.waitForFinished(90000));
        said += phone.readAllStandardOutput();
        const QByteArray err = phone.readAllStandardError();
        QVERIFY2(phone.exitCode() == 0, (said + err).constData());
        const QJsonObject seen =
            QJsonDocument::fromJson(said.mid(said.lastIndexOf("\n{") + 1)).object();
        qInfo("%s", said.constData());
        QCOMPARE(seen["buoyCaption"].toString(), QStringLiteral("あ (2)"));
        QVERIFY(seen["smallestTarget"].toDouble() >= 48);
        QCOMPARE(seen["offline"].toString(), QStringLiteral("2件 未送信"));
        QCOMPARE(seen["afterReopen"].toString(), QStringLiteral("2件 未送信"));
        // Both arrived, each once.
        const auto entries = program->judgeBoard().entries();
        QCOMPARE(entries.size(), size_t(3));
        QCOMPARE(entries[1].bib, 7);
        QCOMPARE(entries[1].buoy, 2);
        QVERIFY(entries[2].dq && entries[2].gate == 2);
        QVERIFY(entries[1].id != entries[2].id);
        finishProgram();
    }

    // The whole road at the desk: judges' entries over HTTP and a generic timer's times over TCP,
    // both on 127.0.0.1, then the official's keys to whatever has the focus, and the workbook
    // on disk. 山田 watches gates 1..3 (あ..う score 2..4), 佐藤 gates 2 and 3 with him.
    void deskAssemblesTheRun() {
        loadRace();
        QVERIFY(program->startPublishing() != 0);
        const QString yamada = judgeToken(QStringLiteral("山田"), {1, 2, 3});
        const QString sato = judgeToken(QStringLiteral("佐藤"), {2, 3});
        QTcpServer timer;
        QVERIFY(timer.listen(QHostAddress::LocalHost));
        program->connectTimer({zalvik::timing::LinkSettings::Method::Tcp,
                               zalvik::timing::Device::Generic,
                               {},
                               9600,
                               QStringLiteral("127.0.0.1:%1").arg(timer.serverPort())});
        QTRY_VERIFY(timer.hasPendingConnections());
        QTcpSocket* device = timer.nextPendingConnection();

        // Bib 5 complete from outside (the judges agree at gate 3); bib 6 gates 1 and 3; bib 7
        // every gate, and 山田's DQ at gate 2.
        send(yamada,
             {Entry(11, 5, 1, 3), Entry(12, 5, 2, 1), Entry(13, 5, 3, 1), Entry(14, 6, 1, 1),
              Entry(16, 6, 3, 1), Entry(17, 7, 1, 1), Entry(18, 7, 2, 0), Entry(19, 7, 3, 1)});
        send(sato, {Entry(21, 5, 3, 1), Entry(23, 7, 2, 1)});
        device->write("5,60.00\r\n6,60.00\r\n7,61.00\r\n");
        QTRY_VERIFY(screen().findChild<QTableView*>(QStringLiteral("計時一覧")));
        QTRY_COMPARE(list()->model()->rowCount(), 13);
        QVERIFY(lines().contains(QStringLiteral("5|60.00|未登録|計時")));
        QVERIFY(lines().contains(QStringLiteral("5|G3 あ|未登録|審判 佐藤")));
        // Beside the judges' lines the list keeps its eight lines and five columns whole, a name
        // of five characters among them; its own window shows where each line came from.
        QVERIFY(list()->viewport()->height() >= 8 * list()->rowHeight(0));
        QVERIFY(list()->columnWidth(2) >=
                list()->fontMetrics().horizontalAdvance(QStringLiteral("長谷川真理")));
        QVERIFY(list()->columnViewportPosition(4) + list()->columnWidth(4) <=
                list()->viewport()->width());
        screen().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&screen()));
        QVERIFY(focused());
        QTest::keyClick(focused(), Qt::Key_F12);
        QTRY_VERIFY(list()->window() != &screen());
        QTRY_VERIFY(list()->columnViewportPosition(5) + list()->columnWidth(5) <=
                    list()->viewport()->width());
        list()->window()->close();
        QTRY_COMPARE(list()->window(), &screen());

        // Bib 5 and two Enters: the run goes down the desk's road into the workbook.
        screen().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&screen()));
        Find<QLineEdit>(screen(), QStringLiteral("ゼッケン"))->setFocus();
        QTest::keyClicks(focused(), QStringLiteral("5"));
        QTest::keyClick(focused(), Qt::Key_Return);
        QCOMPARE(focusName(), QStringLiteral("登録ボタン"));
        QCOMPARE(gate(0)->text(), QStringLiteral("う"));
        QVERIFY2(gate(2)->toolTip().startsWith(QStringLiteral("審判 佐藤 ")),
                 qPrintable(gate(2)->toolTip()));
        QTest::keyClick(focused(), Qt::Key_Return);
        QCOMPARE(rowOnDisk(5), (QStringList{"60", "8", "750", "0", "4", "2", "2"}));
        QCOMPARE(gate(0)->toolTip(), QString());  // the tint goes with the registration

        // Bib 6, while on the panel: 山田's gate 2 comes in; his correction of gate 1 does not,
        // the official having taken it; 佐藤 says い at gate 3, which is left open, marked, for
        // the official to choose.
        QTest::keyClicks(focused(), QStringLiteral("6"));
        QTest::keyClick(focused(), Qt::Key_Return);
        QCOMPARE(focusName(), QStringLiteral("分"));
        QCOMPARE(gate(2)->text(), QStringLiteral("あ"));
        clickOption("Gop", 0);
        clickOption("ブイ", 1);
        send(yamada, {Entry(31, 6, 1, 3), Entry(15, 6, 2, 1)});
        send(sato, {Entry(32, 6, 3, 2)});
        QTRY_COMPARE(gate(2)->text(), QStringLiteral("不一致"));
        QCOMPARE(gate(0)->text(), QStringLiteral("い"));
        QCOMPARE(gate(1)->text(), QStringLiteral("あ"));
        QVERIFY(gate(2)->toolTip().contains(QStringLiteral("審判 山田")) &&
                gate(2)->toolTip().contains(QStringLiteral("審判 佐藤")));
        clickOption("Gop", 2);
        QTest::keyClick(focused(), Qt::Key_2);
        QCOMPARE(focusName(), QStringLiteral("登録ボタン"));
        QTest::keyClick(focused(), Qt::Key_Return);
        QCOMPARE(rowOnDisk(6), (QStringList{"60", "8", "750", "0", "3", "2", "3"}));

        // Bib 7: the DQ is proposed, over no other control, and waits for the official's F8.
        QTest::keyClicks(focused(), QStringLiteral("7"));
        QTest::keyClick(focused(), Qt::Key_Return);
        auto* dq = Find<QLabel>(screen(), QStringLiteral("審判DQ"));
        QVERIFY(dq->isVisible());
        QCOMPARE(dq->text(), QStringLiteral("ゲート2 DQ（審判 山田）"));
        for (QWidget* other :
             dq->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            QVERIFY2(other == dq || !other->geometry().intersects(dq->geometry()),
                     qPrintable(other->objectName()));
        QCOMPARE(SelectedOption(screen(), QStringLiteral("DSFQ")), 0);
        QCOMPARE(focusName(), QStringLiteral("分"));
        QTest::keyClick(focused(), Qt::Key_F8);
        QTest::keyClick(focused(), Qt::Key_Return);
        QCOMPARE(rowOnDisk(7).value(3), QStringLiteral("3"));
        QVERIFY(!dq->isVisible());

        // After the registration, with bib 5 on the panel: listed as differing, the panel, the
        // result and the file as they were. A refused entry says why.
        QTest::keyClicks(focused(), QStringLiteral("5"));
        send(yamada, {Entry(41, 5, 1, 1), Entry(42, 99, 1, 1)});
        QTRY_VERIFY(lines().contains(QStringLiteral("5|G1 あ|登録と違う: う|審判 山田")));
        QVERIFY(lines().contains(
            QStringLiteral("99|G1 あ|拒否: ゼッケン99の選手はいません。|審判 山田")));
        QCOMPARE(gate(0)->text(), QStringLiteral("う"));
        QCOMPARE(gate(0)->toolTip(), QString());
        QCOMPARE(program->data().competitors[5].gatePoints[0], QStringLiteral("4"));
        QCOMPARE(rowOnDisk(5), (QStringList{"60", "8", "750", "0", "4", "2", "2"}));
        finishProgram();
    }

    // Nothing acknowledged is lost to a crash: a child takes 50 entries in batches of random
    // size (seed printed), each acknowledged, and is killed with SIGKILL; a program started
    // afresh loads the workbook (which never got its identity saved) and has all 50, in order.
    void killedAfterFiftyEntries() {
        makeRace();
        const QString path = book;
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ZALVIK_JUDGES_CHILD"), path);
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForStarted(10000));
        QByteArray said;
        for (int i = 0; i < 300 && !said.contains('\n') && child.state() == QProcess::Running; ++i)
            if (child.waitForReadyRead(100)) said += child.readAllStandardOutput();
        const QList<QByteArray> portAndPin = said.trimmed().split(' ');
        QCOMPARE(portAndPin.size(), 2);
        const int at = portAndPin[0].toInt();
        const Http in =
            Request(at, "POST", "/judge/login", Json({{"pin", QString(portAndPin[1])}}));
        QCOMPARE(in.status, 200);

        const quint32 seed = QRandomGenerator::global()->generate();
        qInfo("seed %u", seed);
        QRandomGenerator rng(seed);
        auto entry = [](int k) { return Entry(k, 1 + (k - 1) % 20, 1 + (k - 1) % 3, 1 + k % 2); };
        int acknowledged = 0;
        while (acknowledged < 50) {
            QJsonArray batch;
            const int size = std::min(50 - acknowledged, 1 + static_cast<int>(rng.bounded(7)));
            for (int k = acknowledged + 1; k <= acknowledged + size; ++k) batch.append(entry(k));
            const Http h = Request(at, "POST", "/judge/entries",
                                   Json({{"token", in.json["token"]}, {"entries", batch}}));
            QCOMPARE(h.status, 200);
            for (const QJsonValue& r : h.json["results"].toArray())
                QCOMPARE(r["seq"].toInt(), ++acknowledged);
        }
        ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);

        Load(*program, path);
        const auto entries = program->judgeBoard().entries();
        QCOMPARE(entries.size(), size_t(50));
        for (int k = 1; k <= 50; ++k) {
            const QJsonObject sent = entry(k);
            const auto& e = entries[k - 1];
            QCOMPARE(QString::fromLatin1(e.id), sent["id"].toString());
            QCOMPARE(e.bib, sent["bib"].toInt());
            QCOMPARE(e.gate, sent["gate"].toInt());
            QCOMPARE(e.buoy, sent["buoy"].toInt());
            QVERIFY(e.refused.isEmpty());
        }
        finishProgram();
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString childPath = qEnvironmentVariable("ZALVIK_JUDGES_CHILD");
    if (!childPath.isEmpty()) return RunChild(childPath);
    JudgesTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "judges_qtest.moc"
