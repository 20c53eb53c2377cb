// Times from the timing device, through the real widgets: the set-up dialog opened by its button,
// a real pseudo-terminal pair standing in for the cable (socat) and a server on 127.0.0.1
// standing in for a networked timer. The official picks the bib with the keyboard, finds the
// time in 分/秒, registers, and sees the list say so; a pulled cable and a vanished peer show
// in 計時状態 without a single message box, and the connection comes back by itself.

#include <QAbstractItemView>
#include <QComboBox>
#include <QDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QSettings>
#include <QSpinBox>
#include <QStyle>
#include <QTableView>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include "race/TimingList.h"
#include "store/LoadTestSupport.h"
#include "support/Controls.h"
#include "timing/TimingBoard.h"

using namespace testsupport;

namespace {

// Bibs 34, 35, 16, 7 in slots 1..4; one gate of three buoys.
void MakeRace(const std::string& path) {
    TestWorkbook wb(path);
    const int bibs[] = {34, 35, 16, 7};
    for (int i = 1; i <= 4; ++i)
        wb.competitor(i, bibs[i - 1], QStringLiteral("選手%1").arg(bibs[i - 1]), 1);
    wb.settings(QStringLiteral("1"), {3}, {QStringLiteral("一般")});
    wb.save();
}

// A TAG Heuer record with its tab, checksum and CRLF.
QByteArray TagHeuer(const QByteArray& record) {
    unsigned sum = 0;
    for (char c : record) sum += static_cast<unsigned char>(c);
    return record + '\t' + QByteArray::number(sum & 0xffff, 16).rightJustified(4, '0') + "\r\n";
}

// A pseudo-terminal pair at stable names, as a USB-serial cable with the timer at its far end.
class Cable {
  public:
    explicit Cable(const QString& folder)
        : program_(folder + QStringLiteral("/ttyTimer")), device_(folder + "/ttyDevice") {}
    ~Cable() { pull(); }
    const QString& programEnd() const { return program_; }
    void plug() {
        socat_.start(QStringLiteral("socat"), {QStringLiteral("-d"), QStringLiteral("-d"),
                                               QStringLiteral("pty,raw,echo=0,link=") + program_,
                                               QStringLiteral("pty,raw,echo=0,link=") + device_});
        QVERIFY(socat_.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(program_) && QFileInfo::exists(device_), 10000);
        device.setFileName(device_);
        QVERIFY(device.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    }
    void pull() {
        device.close();
        if (socat_.state() == QProcess::NotRunning) return;
        socat_.kill();
        socat_.waitForFinished(10000);
    }
    void send(const QByteArray& bytes) { QCOMPARE(device.write(bytes), bytes.size()); }

  private:
    QString program_, device_;
    QProcess socat_;
    QFile device;
};

}  // namespace

class TimingTest : public QObject, public ProgramFixture {
    Q_OBJECT

    QTemporaryDir settingsDir;

    zalvik::ProcessingScreen& screen() { return program->processingScreen(); }
    template <typename W = QWidget>
    W* find(const QString& name) {
        return Find<W>(screen(), name);
    }
    QString text(const char* box) { return find<QLineEdit>(QString::fromUtf8(box))->text(); }
    QTableView* list() { return find<QTableView>(QStringLiteral("計時一覧")); }
    // The list and the note are made only when they have something to show.
    bool shown(const QString& name) {
        auto* w = screen().findChild<QWidget*>(name);
        return w && w->isVisible();
    }
    QString cell(int row, int col) { return list()->model()->index(row, col).data().toString(); }
    QString status() { return Find<QLabel>(*dialog(), QStringLiteral("計時状態"))->text(); }
    QDialog* dialog() { return Find<QDialog>(screen(), QStringLiteral("計時設定画面")); }

    QString focusName() {
        QWidget* w = QApplication::focusWidget();
        return w ? w->objectName() : QStringLiteral("(none)");
    }
    void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center()); }
    void press(Qt::Key key) {
        QWidget* w = QApplication::focusWidget();
        QVERIFY2(w, "nothing has the focus");
        QTest::keyClick(w, key);
    }
    void type(const QString& s) {
        QWidget* w = QApplication::focusWidget();
        QVERIFY2(w, "nothing has the focus");
        QTest::keyClicks(w, s);
    }
    // Opens the combo's list with a click and walks to the item with the arrow keys, as a user
    // with the list open does (a click straight after the list opened is taken for the click
    // that opened it).
    void choose(const char* combo, const QString& item) {
        auto* box = Find<QComboBox>(*dialog(), QString::fromUtf8(combo));
        const int target = box->findText(item);
        QVERIFY(target >= 0);
        click(box);
        QTRY_VERIFY(box->view()->isVisible());
        for (int step = 0; step < box->count() && box->view()->currentIndex().row() != target;
             ++step)
            QTest::keyClick(box->view(),
                            box->view()->currentIndex().row() < target ? Qt::Key_Down : Qt::Key_Up);
        QTest::keyClick(box->view(), Qt::Key_Return);
        QTRY_COMPARE(box->currentText(), item);
        QTRY_VERIFY(!box->view()->isVisible());
    }
    void typeInto(QWidget* box, const QString& s) {
        click(box);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
        type(s);
    }

    void openDialog() {
        click(find(QStringLiteral("計時ボタン")));
        QTRY_VERIFY(dialog()->isVisible());
        QVERIFY(QTest::qWaitForWindowActive(dialog()));
    }
    // Opens the dialog and connects to a timer on 127.0.0.1:`port`, with the bound `longest`
    // when given.
    void connectTcp(const QString& device, quint16 port, const QString& longest = {}) {
        openDialog();
        choose("計時方式", QStringLiteral("TCP"));
        choose("計時機種", device);
        typeInto(Find<QLineEdit>(*dialog(), QStringLiteral("計時アドレス")),
                 QStringLiteral("127.0.0.1:%1").arg(port));
        if (!longest.isEmpty())
            typeInto(Find<QSpinBox>(*dialog(), QStringLiteral("計時上限")), longest);
        click(Find<QWidget>(*dialog(), QStringLiteral("計時接続ボタン")));
    }
    void loadRace() {
        const std::string path = dir->file("大会.xlsx");
        MakeRace(path);
        Load(*program, QString::fromStdString(path));
        QCOMPARE(ui::testing::Messages(), QStringList{});
        // Without a device nothing of the timing shows but its button.
        QVERIFY(find(QStringLiteral("計時ボタン"))->isVisible());
        QVERIFY(!shown(QStringLiteral("計時一覧")));
        QVERIFY(!shown(QStringLiteral("計時メモ")));
    }
    void backToEntry() {
        click(Find<QWidget>(*dialog(), QStringLiteral("計時閉じるボタン")));
        QTRY_VERIFY(!dialog()->isVisible());
        screen().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&screen()));
        find<QLineEdit>(QStringLiteral("ゼッケン"))->setFocus();
    }
    // The keyboard road: bib, Enter; the time as the device gave it; Enter to the gate, buoy 1,
    // Enter on the register button.
    void pickBib(int bib) {
        QTRY_COMPARE(focusName(), QStringLiteral("ゼッケン"));
        type(QString::number(bib));
        press(Qt::Key_Return);
        QCOMPARE(focusName(), QStringLiteral("分"));
    }
    void registerWithBuoy1() {
        press(Qt::Key_Return);
        press(Qt::Key_Return);
        press(Qt::Key_1);
        QCOMPARE(focusName(), QStringLiteral("登録ボタン"));
        press(Qt::Key_Return);
    }
    void noMessageBox() {
        QCOMPARE(ui::testing::Messages(), QStringList{});
        QVERIFY(!QApplication::activeModalWidget());
    }
    // Right-clicks the list's row and picks the menu's item `item`; false when it is not offered.
    bool fromMenu(int row, const QString& item) {
        const QPoint at = list()->visualRect(list()->model()->index(row, 1)).center();
        QTest::mouseClick(list()->viewport(), Qt::RightButton, {}, at);
        QContextMenuEvent click(QContextMenuEvent::Mouse, at, list()->viewport()->mapToGlobal(at));
        QApplication::sendEvent(list()->viewport(), &click);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return false;
        for (QAction* a : menu->actions())
            if (a->text() == item) {
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
                return QTest::qWaitFor([] { return !QApplication::activePopupWidget(); });
            }
        menu->close();
        return false;
    }
    QRect onScreen(QWidget* w) { return QRect(w->mapTo(&screen(), QPoint()), w->size()); }
    bool tinted() { return find(QStringLiteral("秒"))->toolTip() == QStringLiteral("計時"); }
    // Back to the bib box, its text selected for the next bib.
    void toBib() {
        screen().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&screen()));
        find<QLineEdit>(QStringLiteral("ゼッケン"))->setFocus();
        find<QLineEdit>(QStringLiteral("ゼッケン"))->selectAll();
    }

  private slots:
    void initTestCase() {
        zalvik::SetUpScreenFont();
        // The choices are remembered in a place of this test's own.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    }
    void init() {
        QSettings(QStringLiteral("zalvik-race"), QStringLiteral("zalvik-race")).clear();
        startProgram();
    }
    void cleanup() { finishProgram(); }

    void serialAlgeRoad() {
        Cable cable(QString::fromStdString(dir->path()));
        cable.plug();
        loadRace();

        openDialog();
        QCOMPARE(Find<QComboBox>(*dialog(), QStringLiteral("計時速度"))->currentText(),
                 QStringLiteral("9600"));
        choose("計時方式", QStringLiteral("シリアル"));
        choose("計時機種", QStringLiteral("ALGE"));
        typeInto(Find<QComboBox>(*dialog(), QStringLiteral("計時ポート")), cable.programEnd());
        click(Find<QWidget>(*dialog(), QStringLiteral("計時接続ボタン")));
        QTRY_VERIFY2(status().startsWith(QStringLiteral("接続しています")), qPrintable(status()));

        // Bib 34 starts and finishes: 61.5299 s is 61.52, cut. Bib 35 starts; a finish comes
        // without a valid bib; garbage is counted. The first time arrives while the official
        // has the window enlarged.
        const QSize laidOut = screen().size();
        screen().resize(laidOut + QSize(360, 270));
        cable.send(" 0034 C0  10:00:00.0000 00\r 0034 C1  10:01:01.5299 00\r");
        cable.send(" 0035 C0  10:02:00.0000 00\r?0000 C1  10:03:00.0000 00\r\x01\xff zz\r");
        QTRY_VERIFY(shown(QStringLiteral("計時一覧")));
        // The list lies over the picture at whatever size the window has, and so does the live
        // page's note, which stands over the list's foot once the list is there.
        auto overPicture = [this](const QString& name) {
            QWidget* w = find(name);
            return w->mapTo(&screen(), QPoint()) - find(QStringLiteral("Image2"))->pos();
        };
        const QPoint enlarged = overPicture(QStringLiteral("計時一覧"));
        const QPoint noteAt = overPicture(QStringLiteral("速報状態"));
        for (QSize size : {laidOut + QSize(720, 540), laidOut}) {
            screen().resize(size);
            QTRY_COMPARE(screen().size(), size);
            QCOMPARE(overPicture(QStringLiteral("計時一覧")), enlarged);
            QCOMPARE(overPicture(QStringLiteral("速報状態")), noteAt);
        }
        QTRY_COMPARE(list()->model()->rowCount(), 2);
        QCOMPARE(cell(1, 1), QStringLiteral("34"));
        QCOMPARE(cell(1, 2), QStringLiteral("選手34"));
        QCOMPARE(cell(1, 3), QStringLiteral("61.52"));
        QCOMPARE(cell(1, 4), QStringLiteral("未登録"));
        // A finish without a bib shows its own time of day, not only when it arrived.
        QCOMPARE(cell(0, 0), QStringLiteral("10:03:00"));
        QCOMPARE(cell(0, 4), QStringLiteral("ゼッケンなし"));
        QTRY_VERIFY2(status().contains(QStringLiteral("読めない行: 1")), qPrintable(status()));

        backToEntry();
        // At the laid-out size the list shows eight whole lines and names of five full-width
        // characters, and covers none of the screen's other controls but the picture.
        QVERIFY(list()->viewport()->height() >= 8 * list()->rowHeight(0));
        int others = list()->style()->pixelMetric(QStyle::PM_ScrollBarExtent);  // once it scrolls
        for (int c : {0, 1, 3, 4}) others += list()->columnWidth(c);
        QVERIFY(others + list()->fontMetrics().horizontalAdvance(QStringLiteral("長谷川真理")) +
                    6 <=
                list()->viewport()->width());
        const QRect listAt = onScreen(list());
        for (const char* other :
             {"Frame1", "Frame12", "基本設定ボタン", "計時ボタン", "計時一覧ボタン"})
            QVERIFY2(!listAt.intersects(onScreen(find(QString::fromUtf8(other)))), other);
        // F12 opens it in a window of its own, which grows; F12 there puts it back.
        QTRY_COMPARE(focusName(), QStringLiteral("ゼッケン"));
        press(Qt::Key_F12);
        QWidget* own = nullptr;
        QTRY_VERIFY((own = screen().findChild<QWidget*>(QStringLiteral("計時一覧画面"))) &&
                    own->isVisible());
        QCOMPARE(list()->window(), own);
        own->resize(own->size() + QSize(400, 300));
        QTRY_VERIFY(list()->height() > listAt.height() + 250);
        QVERIFY(QTest::qWaitForWindowActive(own));
        QTest::keyClick(own, Qt::Key_F12);
        QTRY_COMPARE(list()->window(), &screen());
        QCOMPARE(onScreen(list()), listAt);
        toBib();
        pickBib(34);
        QCOMPARE(text("分"), QStringLiteral("1"));
        QCOMPARE(text("秒"), QStringLiteral("1.52"));
        QCOMPARE(find(QStringLiteral("秒"))->toolTip(), QStringLiteral("計時"));
        registerWithBuoy1();
        QCOMPARE(program->data().competitors[1].runTime, 61.52f);
        QTRY_COMPARE(cell(1, 4), QStringLiteral("登録済"));
        QVERIFY(!tinted());  // the boxes show the registered result, no longer the device's

        // The bibless finish goes to bib 35, picked first: the run from 35's start, 60.00 s.
        pickBib(35);
        QCOMPARE(text("秒"), QString());
        const QRect line = list()->visualRect(list()->model()->index(0, 3));
        // A double click as the mouse delivers it: a click, then the second press.
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, line.center());
        QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, line.center());
        QTRY_COMPARE(cell(0, 1), QStringLiteral("35"));
        QCOMPARE(cell(0, 3), QStringLiteral("60.00"));
        QCOMPARE(text("分"), QStringLiteral("1"));
        QCOMPARE(text("秒"), QStringLiteral("0.00"));
        // Typing over it takes the device's mark away.
        QCOMPARE(focusName(), QStringLiteral("分"));
        type(QStringLiteral("2"));
        QCOMPARE(find(QStringLiteral("分"))->toolTip(), QString());
        registerWithBuoy1();
        QTRY_COMPARE(cell(0, 4), QStringLiteral("登録と違う: 120.00"));
        // The bib given is taken back from the list's menu (and logged); the finish is bibless
        // again. It cannot go to 34, whose start its own run used, and goes back to 35 by Enter.
        QVERIFY(fromMenu(0, QStringLiteral("ゼッケン35を外す")));
        QTRY_COMPARE(cell(0, 4), QStringLiteral("ゼッケンなし"));
        QCOMPARE(cell(0, 3), QString());
        toBib();
        pickBib(34);
        QVERIFY(fromMenu(0, QStringLiteral("ゼッケン34 選手34 の時間にする")));
        QCOMPARE(ui::testing::Messages(),
                 QStringList{QStringLiteral("ゼッケン34のスタートを受信していないため、このゴール"
                                            "の時刻を34の走行にはできません。")});
        ui::testing::Messages().clear();
        QCOMPARE(cell(0, 4), QStringLiteral("ゼッケンなし"));
        toBib();
        pickBib(35);
        list()->setFocus();
        list()->setCurrentIndex(list()->model()->index(0, 0));
        press(Qt::Key_Return);
        QTRY_COMPARE(cell(0, 4), QStringLiteral("登録と違う: 120.00"));
        QCOMPARE(cell(0, 3), QStringLiteral("60.00"));

        // The cable is pulled: said in 計時状態 and on the screen, no box; entry goes on.
        cable.pull();
        QTRY_VERIFY2(status().contains(QStringLiteral("2秒ごとに接続し直します")),
                     qPrintable(status()));
        QTRY_VERIFY(shown(QStringLiteral("計時メモ")));
        noMessageBox();

        // Plugged back: connected again by itself, and a line sent now arrives. A new time for a
        // registered competitor is listed beside the result, never written over it.
        cable.plug();
        QTRY_VERIFY_WITH_TIMEOUT(status().startsWith(QStringLiteral("接続しています")), 15000);
        QTRY_VERIFY(!shown(QStringLiteral("計時メモ")));
        cable.send(" 0016rRT  00:00:05.22   09\r 0034 RT  00:01:03.00 00\r");
        QTRY_COMPARE(list()->model()->rowCount(), 4);
        QCOMPARE(cell(1, 1), QStringLiteral("16"));
        QCOMPARE(cell(1, 3), QStringLiteral("05.22"));
        QCOMPARE(cell(0, 4), QStringLiteral("登録と違う: 61.52"));
        toBib();
        pickBib(34);
        QCOMPARE(text("秒"), QStringLiteral("1.52"));
        QCOMPARE(program->data().competitors[1].runTime, 61.52f);

        // Bib 7 on the panel: a false finish fills the boxes, its cancel empties them, and the
        // real finish gets the start back.
        toBib();
        pickBib(7);
        cable.send(" 0007 C0  10:50:00.0000 00\r 0007 C1  10:50:20.0000 00\r");
        QTRY_COMPARE(text("秒"), QStringLiteral("20.00"));
        QVERIFY(tinted());
        cable.send("c0007 C1  10:50:20.0000 00\r");
        QTRY_COMPARE(text("秒"), QString());
        QVERIFY(!tinted());
        cable.send(" 0007 C1  10:51:15.4321 00\r");
        QTRY_COMPARE(text("秒"), QStringLiteral("15.43"));
        QCOMPARE(text("分"), QStringLiteral("1"));
        // A run of 0 is listed as doubtful and never put into the boxes.
        toBib();
        pickBib(16);
        QCOMPARE(text("秒"), QStringLiteral("5.22"));
        find<QLineEdit>(QStringLiteral("秒"))->clear();
        find<QLineEdit>(QStringLiteral("分"))->clear();
        cable.send(" 0016 C0  11:00:00.0000 00\r 0016 C1  11:00:00.0000 00\r");
        QTRY_COMPARE(cell(0, 4), QStringLiteral("要確認"));
        QCOMPARE(text("秒"), QString());
        noMessageBox();
    }

    void tcpTagHeuerRoad() {
        QTcpServer timer;
        QVERIFY(timer.listen(QHostAddress::LocalHost));
        const quint16 port = timer.serverPort();
        loadRace();
        connectTcp(QStringLiteral("TAG Heuer"), port, QStringLiteral("1"));
        QTRY_VERIFY(timer.hasPendingConnections());
        QTcpSocket* peer = timer.nextPendingConnection();
        QTRY_VERIFY2(status().startsWith(QStringLiteral("接続しています")), qPrintable(status()));

        // Bib 7 over midnight: 23:59:30.12345 to 00:00:17.45678 the next day is 47.33 s. A
        // record with a wrong checksum is refused and counted.
        QByteArray records = TagHeuer("TN 0007 0001 1 23:59:30.12345 09474") +
                             TagHeuer("TN 0007 0002 4 00:00:17.45678 09475");
        records += "TN 0016 0003 4 00:00:20.00000 09475\t0000\r\n";
        for (char c : records) {  // byte by byte, as a slow line delivers it
            peer->write(&c, 1);
            peer->flush();
        }
        QTRY_VERIFY(shown(QStringLiteral("計時一覧")));
        QTRY_COMPARE(list()->model()->rowCount(), 1);
        QCOMPARE(cell(0, 3), QStringLiteral("47.33"));
        QTRY_VERIFY(status().contains(QStringLiteral("読めない行: 1")));

        backToEntry();
        pickBib(7);
        QCOMPARE(text("分"), QStringLiteral("0"));
        QCOMPARE(text("秒"), QStringLiteral("47.33"));
        registerWithBuoy1();
        QTRY_COMPARE(cell(0, 4), QStringLiteral("登録済"));

        // The timer goes away and comes back on its address.
        peer->abort();
        timer.close();
        QTRY_VERIFY2(status().contains(QStringLiteral("2秒ごとに接続し直します")),
                     qPrintable(status()));
        noMessageBox();
        QVERIFY(timer.listen(QHostAddress::LocalHost, port));
        QTRY_VERIFY_WITH_TIMEOUT(timer.hasPendingConnections(), 15000);
        peer = timer.nextPendingConnection();
        peer->write(TagHeuer("RR 0016 0004 00:00:51.239") + TagHeuer("RR 0035 0005 00:01:01.00"));
        QTRY_COMPARE(list()->model()->rowCount(), 3);
        QCOMPARE(cell(1, 3), QStringLiteral("51.23"));
        QCOMPARE(cell(0, 4), QStringLiteral("要確認"));  // longer than the bound of 1 minute

        // The choices come back in the dialog of a program started afresh, and so does the
        // connection, by itself.
        finishProgram();
        startProgram();
        loadRace_reconnects(port, &timer);
    }

    // A line cut by a pulled cable never swallows the first line after the reconnection: the
    // program wires the link as the link's own tests do. The note of a refused connection, three
    // lines long, is read whole.
    void lineCutByTheCableInTheProgram() {
        QTcpServer timer;
        QVERIFY(timer.listen(QHostAddress::LocalHost));
        const quint16 port = timer.serverPort();
        timer.close();  // nobody listens yet: the connection is refused
        loadRace();
        connectTcp(QStringLiteral("汎用"), port);
        QTRY_VERIFY(shown(QStringLiteral("計時メモ")));
        auto* note = find<QLabel>(QStringLiteral("計時メモ"));
        QCOMPARE(note->text(),
                 QStringLiteral("計時: 接続できません（127.0.0.1:%1 が接続を受け付けません）。2秒"
                                "ごとに接続し直します。")
                     .arg(port));
        QVERIFY(note->height() >= note->heightForWidth(note->width()));

        QVERIFY(timer.listen(QHostAddress::LocalHost, port));
        for (const QByteArray& sent : {QByteArray("1,50.00\r\n3,61."), QByteArray("4,62.00\r\n")}) {
            QTRY_VERIFY_WITH_TIMEOUT(timer.hasPendingConnections(), 15000);
            QTcpSocket* peer = timer.nextPendingConnection();
            peer->write(sent);
            peer->flush();
            QTRY_VERIFY(shown(QStringLiteral("計時一覧")));
            peer->disconnectFromHost();
        }
        QTRY_COMPARE(list()->model()->rowCount(), 2);
        QCOMPARE(cell(0, 1), QStringLiteral("4"));
        QCOMPARE(cell(0, 3), QStringLiteral("62.00"));
        QCOMPARE(cell(1, 1), QStringLiteral("1"));
        QTRY_VERIFY2(status().contains(QStringLiteral("読めない行: 1")), qPrintable(status()));
    }

  private:
    void loadRace_reconnects(quint16 port, QTcpServer* timer) {
        const std::string path = dir->file("大会.xlsx");
        MakeRace(path);
        QTRY_VERIFY_WITH_TIMEOUT(timer->hasPendingConnections(), 15000);
        Load(*program, QString::fromStdString(path));
        openDialog();
        QCOMPARE(Find<QComboBox>(*dialog(), QStringLiteral("計時方式"))->currentText(),
                 QStringLiteral("TCP"));
        QCOMPARE(Find<QComboBox>(*dialog(), QStringLiteral("計時機種"))->currentText(),
                 QStringLiteral("TAG Heuer"));
        QCOMPARE(Find<QLineEdit>(*dialog(), QStringLiteral("計時アドレス"))->text(),
                 QStringLiteral("127.0.0.1:%1").arg(port));
        QCOMPARE(Find<QSpinBox>(*dialog(), QStringLiteral("計時上限"))->value(), 1);
        QTRY_VERIFY(status().startsWith(QStringLiteral("接続しています")));
    }
};

QTEST_MAIN(TimingTest)
#include "timing_qtest.moc"
