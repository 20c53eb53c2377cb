// Start-up, the start and data-load screens, and the hand-overs between them, driven through
// the real controls.

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QTranslator>
#include <QtTest>
#include <memory>

#include "app/DataLoadScreen.h"
#include "app/Screens.h"
#include "app/StartScreen.h"
#include "race/ProcessingScreen.h"
#include "sheet/Workbook.h"
#include "store/ExampleData.h"
#include "support/FaultText.h"
#include "support/TestFiles.h"
#include "ui/Dialogs.h"
#include "ui/Grid.h"
#include "ui/Twips.h"

using zalvik::Program;

namespace {

template <typename W = QWidget>
W* Control(QWidget& screen, const char* name) {
    return screen.findChild<W*>(QString::fromUtf8(name));
}

QStringList ShownNames(const Program& program) {
    QStringList names;
    for (QWidget* w : program.shownScreens()) names << w->objectName();
    return names;
}

// One pixel expressed in twips, the tolerance of a position converted to pixels and back.
int OnePixelInTwips() { return ui::PixelsToTwips(1) + 1; }

}  // namespace

class NavigationTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<Program> program;

    QWidget& start() { return program->startScreen(); }
    void click(QWidget& screen, const char* name) {
        auto* button = Control<QPushButton>(screen, name);
        QVERIFY2(button, name);
        QVERIFY2(button->isVisible(), name);
        button->click();
    }
    void goToDataLoad() {
        program->start();
        click(start(), "読込");
    }

  private slots:
    void initTestCase() { zalvik::SetUpScreenFont(); }

    void init() {
        ui::testing::EnableDialogHooks(true);
        program = std::make_unique<Program>();
    }

    void cleanup() {
        program.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ui::testing::EnableDialogHooks(false);
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY2(!w->isVisible(), qPrintable(w->objectName() + " left open"));
    }

    void startUpShowsTheStartScreen() {
        program->start();
        QCOMPARE(ShownNames(*program), QStringList{"スタート画面"});
        QCOMPARE(start().windowTitle(), QString("ザルヴィクレース処理"));
        QCOMPARE(Control<QLabel>(start(), "Label1")->text(), QString("  Ver 0.91"));

        auto* version = Control<QLabel>(start(), "バージョン");
        QCOMPARE(version->text(), QString("Ver.0.92"));
        // It exists and carries the version, but lies wholly below the client area.
        QVERIFY(!start().rect().intersects(version->geometry()));

        const auto& words = program->data().statusWord;
        QCOMPARE(words[0], QString());
        QCOMPARE(words[1], QString("DS"));
        QCOMPARE(words[2], QString("DF"));
        QCOMPARE(words[3], QString("DQ"));
        QCOMPARE(words[4], QString());
        QCOMPARE(program->data().loadAttempted, 0);
        QVERIFY(!program->hasDataLoadScreen());
    }

    void positionsAndCaptions_data() {
        QTest::addColumn<bool>("dataLoad");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("twips");
        QTest::newRow("start Image2") << false << "Image2"
                                      << "" << QRect(0, 0, 1824, 2424);
        QTest::newRow("start Label1") << false << "Label1"
                                      << "  Ver 0.91" << QRect(1860, 156, 840, 252);
        QTest::newRow("start 読込") << false << "読込"
                                    << "開　　始" << QRect(1896, 984, 780, 768);
        QTest::newRow("start 終了ボタン") << false << "終了ボタン"
                                          << "終　了" << QRect(1896, 1980, 780, 420);
        QTest::newRow("start バージョン") << false << "バージョン"
                                          << "Ver.0.92" << QRect(180, 2685, 765, 345);
        QTest::newRow("load Label1")
            << true << "Label1"
            << "あらかじめ作成したエクセルのシートからデータを読み込みます。"
            << QRect(168, 144, 5052, 384);
        QTest::newRow("load Label2")
            << true << "Label2"
            << "データ入力形式は下記表のとおりです。" << QRect(204, 540, 3108, 264);
        QTest::newRow("load OLE1") << true << "OLE1"
                                   << "" << QRect(72, 972, 4632, 1764);
        QTest::newRow("load 読込ボタン") << true << "読込ボタン"
                                         << "読　　込" << QRect(2568, 2904, 1128, 768);
        QTest::newRow("load 戻る") << true << "戻る"
                                   << "戻　る" << QRect(4092, 3156, 648, 492);
    }

    void positionsAndCaptions() {
        QFETCH(bool, dataLoad);
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QRect, twips);
        program->start();
        QWidget& screen = dataLoad ? static_cast<QWidget&>(program->dataLoadScreen()) : start();
        auto* w = screen.findChild<QWidget*>(name);
        QVERIFY(w);
        QCOMPARE(w->parentWidget(), &screen);

        const QRect got = ui::GeometryTwips(w);
        const int tol = OnePixelInTwips();
        for (auto [g, e] : {std::pair{got.x(), twips.x()},
                            {got.y(), twips.y()},
                            {got.width(), twips.width()},
                            {got.height(), twips.height()}})
            QVERIFY2(std::abs(g - e) <= tol,
                     qPrintable(QString("%1 twips, expected %2").arg(g).arg(e)));

        if (caption.isEmpty()) return;
        QString text;
        if (auto* b = qobject_cast<QPushButton*>(w)) text = b->text();
        if (auto* l = qobject_cast<QLabel*>(w)) text = l->text();
        QCOMPARE(text, caption);
        // The caption fits its control on one line in the screens' font.
        const QFontMetrics fm(w->font());
        const int room = qobject_cast<QPushButton*>(w) ? w->width() - 4 : w->width();
        QVERIFY2(
            fm.horizontalAdvance(text) <= room,
            qPrintable(QString("%1 px wide in %2 px").arg(fm.horizontalAdvance(text)).arg(room)));
    }

    void clientAreas() {
        program->start();
        const QSize startSize(ui::TwipsToPixels(2868), ui::TwipsToPixels(2616));
        const QSize loadSize(ui::TwipsToPixels(5292), ui::TwipsToPixels(3780));
        QCOMPARE(start().size(), startSize);
        QCOMPARE(program->dataLoadScreen().size(), loadSize);
        QCOMPARE(program->dataLoadScreen().windowTitle(), QString("データ読込画面"));
    }

    void exampleSheetShowsTheWholeInputFormat() {
        program->start();
        auto* grid = Control<ui::Grid>(program->dataLoadScreen(), "OLE1");
        QVERIFY(grid);
        namespace ex = zalvik::example;
        QCOMPARE(grid->cols(), 1 + 28);
        QCOMPARE(grid->rows(), 1 + ex::RowCount());
        QCOMPARE(grid->text(0, 1), QString("A"));
        QCOMPARE(grid->text(0, 26), QString("Z"));
        QCOMPARE(grid->text(0, 28), QString("AB"));
        QCOMPARE(grid->text(1, 0), QString("1"));
        for (int r = 1; r <= ex::RowCount(); ++r)
            for (int c = 1; c <= 28; ++c) QCOMPARE(grid->text(r, c), ex::DisplayText(r, c));
        QCOMPARE(grid->text(2, 26), QString("ミルネ温泉スキー場"));
        QCOMPARE(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
        // Far wider than its window, so it must scroll to show the settings block.
        QVERIFY(grid->horizontalScrollBar()->maximum() > 0);
    }

    void dataLoadScreenIsCreatedAfreshEachTime() {
        program->start();
        QPointer<QWidget> previous;
        for (int round = 0; round < 2; ++round) {
            click(start(), "読込");
            QCOMPARE(ShownNames(*program), QStringList{"データ読込画面"});
            QPointer<QWidget> current = &program->dataLoadScreen();
            QVERIFY(current != previous);

            click(*current, "戻る");
            QCOMPARE(ShownNames(*program), QStringList{"スタート画面"});
            QVERIFY(!program->hasDataLoadScreen());
            QTRY_VERIFY(current.isNull());
            previous = current;
        }
    }

    void loadButtonEndsOnTheProcessingScreen_data() {
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("cancelled")
            << true << QStringList{"キャンセルボタンが押されましたので戻ります。"};
        QTest::newRow("empty workbook chosen") << false << QStringList{};
    }

    void loadButtonEndsOnTheProcessingScreen() {
        QFETCH(bool, cancel);
        QFETCH(QStringList, messages);
        testsupport::TempDir dir;
        QString path;
        if (!cancel) {
            // A workbook with an empty input sheet: the load reads no competitor.
            const std::string file = dir.file("大会結果.xlsx");
            sheet::FileFault fault;
            QVERIFY2(sheet::Workbook::createEmpty(file, {"入力", "成績表"}, &fault),
                     testsupport::Message(fault).c_str());
            path = QString::fromStdString(file);
            ui::testing::QueueFileAnswer(path);
        }
        goToDataLoad();
        QPointer<QWidget> dataLoad = &program->dataLoadScreen();

        click(*dataLoad, "読込ボタン");
        QCOMPARE(ui::testing::Messages(), messages);
        QCOMPARE(program->data().loadAttempted, 1);
        QCOMPARE(program->data().workbookPath, path);
        QCOMPARE(program->workbook() != nullptr, !cancel);
        QVERIFY(program->hasProcessingScreen());
        QCOMPARE(ShownNames(*program), QStringList{"処理画面"});
        QVERIFY(!program->hasDataLoadScreen());
        QTRY_VERIFY(dataLoad.isNull());

        QWidget& processing = program->processingScreen();
        for (const char* name : {"基本設定ボタン", "エクセルボタン", "出力ボタン"}) {
            auto* b = Control(processing, name);
            QVERIFY2(b && b->isEnabled(), name);
        }
        // Nothing was read, so the competitor list holds its header row only.
        auto* list = Control<ui::Grid>(processing, "グリッドリスト");
        QVERIFY(list && list->isVisible());
        QCOMPARE(list->rows(), 1);
        QCOMPARE(list->text(0, 0), QString(" ZNo"));

        // A bib typed here names nobody: the message comes once, at Enter, and not again when
        // the return button's click takes the focus out of the box on the way back.
        processing.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&processing));
        QCOMPARE(QApplication::focusWidget(), Control(processing, "ゼッケン"));
        QTest::keyClicks(QApplication::focusWidget(), "5");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        messages << "該当するゼッケン番号はありません。";
        QCOMPARE(ui::testing::Messages(), messages);
        QTest::mouseClick(Control(processing, "終了ボタン"), Qt::LeftButton);
        QTRY_COMPARE(ShownNames(*program), QStringList{"データ読込画面"});
        QCoreApplication::processEvents();
        QCOMPARE(ui::testing::Messages(), messages);
    }

    // The real modal dialogs on a Japanese desktop: the file dialog speaks Japanese and is
    // cancelled, and the message box is answered with its OK button, both found from a timer
    // while they run.
    void cancelThroughTheRealDialogs() {
        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
        zalvik::InstallQtTranslations();
        ui::testing::EnableDialogHooks(false);
        goToDataLoad();

        QString shownText, shownTitle;
        qsizetype buttonCount = 0;
        bool sawFileDialog = false;
        QStringList fileButtons;
        QTimer answer;
        answer.setInterval(20);
        connect(&answer, &QTimer::timeout, this, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* files = qobject_cast<QFileDialog*>(modal)) {
                sawFileDialog = true;
                for (QAbstractButton* b : files->findChild<QDialogButtonBox*>()->buttons())
                    fileButtons << b->text();
                files->reject();
            } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                shownText = box->text();
                shownTitle = box->windowTitle();
                buttonCount = box->buttons().size();
                box->button(QMessageBox::Ok)->click();
                answer.stop();
            }
        });
        answer.start();
        click(program->dataLoadScreen(), "読込ボタン");
        answer.stop();

        for (QTranslator* t : qApp->findChildren<QTranslator*>()) {
            QCoreApplication::removeTranslator(t);
            delete t;
        }
        QLocale::setDefault(before);
        QVERIFY(sawFileDialog);
        fileButtons.sort();
        QCOMPARE(fileButtons, (QStringList{"キャンセル", "開く(&O)"}));
        QCOMPARE(shownText, QString("キャンセルボタンが押されましたので戻ります。"));
        QCOMPARE(shownTitle, QString("ザルヴィクレース処理"));
        QCOMPARE(buttonCount, 1);
        QCOMPARE(ShownNames(*program), QStringList{"処理画面"});
    }

    void endingAndCloseBoxes_data() {
        QTest::addColumn<bool>("fromDataLoad");
        QTest::addColumn<bool>("closeBox");
        QTest::addColumn<bool>("ends");
        QTest::addColumn<QString>("shownAfter");
        QTest::newRow("start 終了ボタン") << false << false << true << "";
        QTest::newRow("start close box") << false << true << true << "";
        QTest::newRow("data-load close box") << true << true << false << "スタート画面";
    }

    void endingAndCloseBoxes() {
        QFETCH(bool, fromDataLoad);
        QFETCH(bool, closeBox);
        QFETCH(bool, ends);
        QFETCH(QString, shownAfter);
        program->start();
        if (fromDataLoad) click(start(), "読込");
        QWidget* screen = program->shownScreens().value(0);
        QVERIFY(screen);

        if (closeBox)
            screen->close();
        else
            click(*screen, "終了ボタン");

        QCOMPARE(program->ended(), ends);
        QCOMPARE(ShownNames(*program),
                 shownAfter.isEmpty() ? QStringList{} : QStringList{shownAfter});
        if (fromDataLoad) QVERIFY(!program->hasDataLoadScreen());
    }
};

QTEST_MAIN(NavigationTest)
#include "app_screens_qtest.moc"
