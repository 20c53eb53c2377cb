// The output settings screen, driven through its controls by name: layout, the class choice
// that outlives the screen, the run button and the way back.

#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>
#include <memory>
#include <optional>

#include "app/Screens.h"
#include "output/OutputScreen.h"
#include "race/ProcessingScreen.h"
#include "race/Scoring.h"
#include "sheet/Workbook.h"
#include "support/FaultText.h"
#include "support/TestFiles.h"
#include "ui/Controls.h"
#include "ui/Dialogs.h"
#include "ui/Twips.h"

using namespace zalvik;

class OutputScreenTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<Program> program_;
    std::unique_ptr<testsupport::TempDir> dir_;
    QStringList opened_;

    OutputScreen& screen() { return program_->outputScreen(); }
    template <typename W>
    W* find(const QString& name) {
        W* w = screen().findChild<W*>(name);
        if (!w) qWarning("no control named %s", qPrintable(name));
        return w;
    }
    QRadioButton* classOption(int i) {
        return find<QRadioButton>(ui::ElementName(QStringLiteral("クラスオプ"), i));
    }

    // A competition of `classes` classes: two ranked competitors in each, one DS in class 2 and
    // one DQ without a class.
    void loadCompetition(int classes) {
        Competition& c = program_->data();
        c.classCount = static_cast<int16_t>(classes);
        for (int k = 1; k <= classes; ++k) c.className[k] = QStringLiteral("クラス%1").arg(k);
        int slot = 0;
        for (int k = 1; k <= classes; ++k) {
            for (int n = 1; n <= 2; ++n) {
                Competitor& who = c.competitors[++slot];
                who.bib = static_cast<int16_t>(10 * k + n);
                who.name = QStringLiteral("選手%1").arg(who.bib);
                who.classNo = ClassValue::ofNumber(k);
                who.runTime = 60 + n;
                who.buoyPoints = 20;
                who.racePoints = RacePoints(who.runTime, who.buoyPoints);
            }
        }
        Competitor& ds = c.competitors[++slot];
        ds.bib = 90;
        ds.classNo = ClassValue::ofNumber(2);
        ds.status = 1;
        Competitor& dq = c.competitors[++slot];
        dq.bib = 91;
        dq.status = 3;
        c.competitorCount = static_cast<int16_t>(slot);
        BuildStandings(c);
    }

    std::string openWorkbook() {
        const std::string path = dir_->file("race.xlsx");
        sheet::FileFault fault;
        if (!sheet::Workbook::createEmpty(path, {"入力", "成績表"}, &fault))
            qFatal("%s", testsupport::Message(fault).c_str());
        program_->setWorkbook(sheet::Workbook::open(path, &fault));
        return path;
    }

    // The results sheet as saved on disk.
    std::string savedText(const std::string& path, int row, int col) {
        sheet::FileFault fault;
        auto book = sheet::Workbook::open(path, &fault);
        if (!book || !book->worksheet(2))
            return "<unreadable: " + testsupport::Message(fault) + ">";
        return book->worksheet(2)->text(row, col);
    }

  private slots:
    void init() {
        ui::testing::EnableDialogHooks(true);
        opened_.clear();
        ui::testing::SetSpreadsheetOpener([this](const QString& path) { opened_.append(path); });
        dir_ = std::make_unique<testsupport::TempDir>();
        program_ = std::make_unique<Program>();
        program_->data().statusWord[1] = QStringLiteral("DS");
    }

    void cleanup() {
        program_.reset();
        dir_.reset();
        ui::testing::SetSpreadsheetOpener({});
        ui::testing::EnableDialogHooks(false);
    }

    void controlsCaptionsAndPlaces_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("twips");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("back") << "戻るボタン"
                              << "戻　る" << QRect(3375, 4170, 660, 480) << true << true;
        QTest::newRow("run") << "実行ボタン"
                             << "実行ボタン" << QRect(2220, 4155, 975, 510) << true << true;
        QTest::newRow("frame14") << "Frame14"
                                 << "" << QRect(180, 45, 3915, 4005) << true << true;
        QTest::newRow("frame15") << "Frame15"
                                 << "クラス選択" << QRect(180, 255, 2070, 3645) << true << true;
        QTest::newRow("frame16") << "Frame16"
                                 << "出力先選択" << QRect(2370, 270, 1335, 1275) << true << true;
        QTest::newRow("sheet") << "出力先オプ(0)"
                               << "Ｅxcelｼｰﾄ" << QRect(165, 285, 1080, 315) << true << true;
        QTest::newRow("printer") << "出力先オプ(1)"
                                 << "ﾌﾟﾘﾝﾀｰ" << QRect(180, 660, 1080, 315) << true << true;
        QTest::newRow("class 1") << "クラスオプ(0)"
                                 << "クラス1" << QRect(135, 210, 1770, 285) << true << true;
        QTest::newRow("class 2") << "クラスオプ(1)"
                                 << "クラス2" << QRect(135, 555, 1770, 300) << true << true;
        QTest::newRow("class 3") << "クラスオプ(2)"
                                 << "クラス3" << QRect(135, 900, 1770, 300) << true << true;
    }

    void controlsCaptionsAndPlaces() {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QRect, twips);
        QFETCH(bool, shown);
        QFETCH(bool, enabled);
        loadCompetition(3);
        QCOMPARE(screen().objectName(), QStringLiteral("出力設定画面"));
        QCOMPARE(screen().windowTitle(), QStringLiteral("出力設定画面"));
        QCOMPARE(ui::PixelsToTwips(screen().width()), 4260);
        QCOMPARE(ui::PixelsToTwips(screen().height()), 4800);

        QWidget* w = find<QWidget>(name);
        QVERIFY(w);
        QString text;
        if (auto* b = qobject_cast<QAbstractButton*>(w)) text = b->text();
        if (auto* f = qobject_cast<QGroupBox*>(w)) text = f->title();
        QCOMPARE(text, caption);
        const QRect g = ui::GeometryTwips(w);
        // One pixel of rounding either way.
        const int slack = ui::PixelsToTwips(1);
        QVERIFY2(std::abs(g.left() - twips.left()) <= slack &&
                     std::abs(g.top() - twips.top()) <= slack &&
                     std::abs(g.width() - twips.width()) <= slack &&
                     std::abs(g.height() - twips.height()) <= slack,
                 qPrintable(QStringLiteral("%1,%2 %3x%4")
                                .arg(g.left())
                                .arg(g.top())
                                .arg(g.width())
                                .arg(g.height())));
        QCOMPARE(!w->isHidden(), shown);
        QCOMPARE(w->isEnabled(), enabled);
        if (auto* option = qobject_cast<QRadioButton*>(w)) QVERIFY(!option->isChecked());
    }

    void classOptionsFollowTheClassCount_data() {
        QTest::addColumn<int>("classes");
        QTest::newRow("none") << 0;
        QTest::newRow("three") << 3;
        QTest::newRow("nine") << 9;
    }

    void classOptionsFollowTheClassCount() {
        QFETCH(int, classes);
        loadCompetition(classes);
        for (int i = 0; i < 9; ++i) {
            QRadioButton* option = classOption(i);
            QVERIFY(option);
            QCOMPARE(!option->isHidden(), i < classes);
            if (i < classes) {
                QCOMPARE(option->text(), QStringLiteral("クラス%1").arg(i + 1));
                QVERIFY(std::abs(ui::GeometryTwips(option).top() - (345 * (i + 1) - 135)) <=
                        ui::PixelsToTwips(1));
            }
        }
    }

    // An official clicks somewhere inside a class option's area, not always on its mark or its
    // short caption; and the frame's caption stands clear of the first option.
    void classOptionAnswersAClickAnywhereInItsArea() {
        loadCompetition(3);
        program_->data().className[2] = QStringLiteral("成年");
        screen().show();
        QRadioButton* option = classOption(1);
        QCOMPARE(option->text(), QStringLiteral("成年"));
        QTest::mouseClick(option, Qt::LeftButton, {},
                          QPoint(option->width() - 4, option->height() / 2));
        QVERIFY(option->isChecked());
        QCOMPARE(program_->data().outputClass, int16_t(2));

        auto* frame = find<ui::Frame>(QStringLiteral("Frame15"));
        QRadioButton* first = classOption(0);
        const int textTop =
            first->y() + (first->height() - QFontMetrics(first->font()).height()) / 2;
        QVERIFY(frame->topLine() < first->y());
        QVERIFY2(frame->captionRect().bottom() < textTop,
                 qPrintable(QStringLiteral("caption to %1, option text from %2")
                                .arg(frame->captionRect().bottom())
                                .arg(textTop)));
    }

    // The chosen class outlives the screen: after going back and opening it again the option of
    // the class chosen before is shown selected, and the run button writes that class.
    void chosenClassIsKeptAcrossOpenings() {
        loadCompetition(3);
        const std::string path = openWorkbook();
        program_->processingScreen().hide();
        screen().show();
        classOption(1)->click();
        QCOMPARE(program_->data().outputClass, int16_t(2));

        find<QPushButton>(QStringLiteral("戻るボタン"))->click();
        QVERIFY(!program_->hasOutputScreen());
        QVERIFY(program_->processingScreen().isVisible());
        QCOMPARE(program_->shownScreens().size(), 1);

        program_->processingScreen().hide();
        screen().show();
        for (int i = 0; i < 9; ++i) QCOMPARE(classOption(i)->isChecked(), i == 1);
        find<QPushButton>(QStringLiteral("実行ボタン"))->click();
        QCOMPARE(savedText(path, 2, 11), std::string("クラス2"));
        QCOMPARE(savedText(path, 10, 1), std::string("DID NOT START(1)"));
        QCOMPARE(savedText(path, 11, 2), std::string("90"));
        QVERIFY(screen().isVisible());  // the screen stays for another class
        QVERIFY(ui::testing::Messages().isEmpty());
    }

    // Each click writes the sheet once, saves it with worksheet 2 selected and shows the file.
    void runWritesSavesAndShowsTheFile() {
        loadCompetition(3);
        const std::string path = openWorkbook();
        screen().show();
        classOption(0)->click();
        find<QPushButton>(QStringLiteral("実行ボタン"))->click();
        QCOMPARE(opened_, QStringList{QString::fromStdString(path)});
        QCOMPARE(savedText(path, 6, 2), std::string("11"));
        {
            sheet::FileFault fault;
            auto book = sheet::Workbook::open(path, &fault);
            QVERIFY(book);
            QVERIFY(book->worksheet(2)->isSelected());
        }

        classOption(2)->click();
        find<QPushButton>(QStringLiteral("実行ボタン"))->click();
        QCOMPARE(opened_.size(), 2);
        QCOMPARE(savedText(path, 2, 11), std::string("クラス3"));
        QCOMPARE(savedText(path, 6, 2), std::string("31"));
        QVERIFY(ui::testing::Messages().isEmpty());
    }

    // A spreadsheet program that holds the workbook open keeps showing the class it read first;
    // the official is told, and the PDF of the class just written is shown instead.
    void workbookHeldOpenShowsThePdf_data() {
        QTest::addColumn<QString>("lockFile");
        QTest::newRow("LibreOffice") << ".~lock.race.xlsx#";
        QTest::newRow("Excel") << "~$race.xlsx";
    }

    void workbookHeldOpenShowsThePdf() {
        QFETCH(QString, lockFile);
        loadCompetition(3);
        const std::string path = openWorkbook();
        screen().show();
        classOption(0)->click();
        find<QPushButton>(QStringLiteral("実行ボタン"))->click();
        QCOMPARE(opened_, QStringList{QString::fromStdString(path)});

        QFile lock(QString::fromStdString(dir_->file(lockFile.toStdString())));
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.close();
        opened_.clear();
        QTest::mouseClick(classOption(2), Qt::LeftButton);
        find<QPushButton>(QStringLiteral("実行ボタン"))->click();
        QCOMPARE(ui::testing::Messages(),
                 QStringList{"ブック「race.xlsx」は表計算ソフトで開かれたままのため、表示は古い"
                             "内容のままです。表計算ソフトでブックを閉じてから、もう一度開いてくだ"
                             "さい。"});
        const QString pdf = QString::fromStdString(dir_->file("race_クラス3.pdf"));
        QCOMPARE(opened_, QStringList{pdf});
        QVERIFY(QFileInfo(pdf).isFile());
        QCOMPARE(savedText(path, 2, 11), std::string("クラス3"));
    }

    // Before any class is chosen the run asks for one and writes nothing: an empty sheet would
    // replace the last one. Then a class whose competitors lack a result is written and they
    // are pointed out, in the same box as what the hand-off of the workbook has to say.
    void runNeedsAClassAndPointsOutMissingResults() {
        loadCompetition(2);
        Competitor& late = program_->data().competitors[program_->data().competitorCount + 1];
        late.bib = 25;
        late.classNo = ClassValue::ofNumber(2);
        ++program_->data().competitorCount;
        const std::string path = openWorkbook();
        screen().show();
        find<QPushButton>(QStringLiteral("実行ボタン"))->click();
        QCOMPARE(ui::testing::Messages(), QStringList{"クラスを選択してください。"});
        QVERIFY(!program_->workbook()->hasUnsavedChanges());
        QCOMPARE(opened_, QStringList{});
        ui::testing::Messages().clear();

        QTest::mouseClick(classOption(1), Qt::LeftButton);
        find<QPushButton>(QStringLiteral("実行ボタン"))->click();
        QCOMPARE(ui::testing::Messages(),
                 QStringList{"結果のない選手が1人います（ゼッケン 25）。"});
        QCOMPARE(savedText(path, 2, 11), std::string("クラス2"));
        QCOMPARE(opened_.size(), 1);

        // Where no program takes the workbook, one box says both, once per press.
        ui::testing::Messages().clear();
        ui::testing::SetSpreadsheetOpenerWithAnswer([](const QString&) { return false; });
        find<QPushButton>(QStringLiteral("実行ボタン"))->click();
        QCOMPARE(ui::testing::Messages(),
                 QStringList{QStringLiteral("結果のない選手が1人います（ゼッケン 25）。\n"
                                            "「%1」を開けるプログラムが見つからないため、公式成績"
                                            "表はPDF「%2」で見てください。")
                                 .arg(QString::fromStdString(path),
                                      QString::fromStdString(dir_->file("race_クラス2.pdf")))});
    }

    void runWithoutWorkbookShowsOneMessageAndWritesNothing() {
        loadCompetition(1);
        screen().show();
        classOption(0)->click();
        find<QPushButton>(QStringLiteral("実行ボタン"))->click();
        QCOMPARE(ui::testing::Messages().size(), 1);
        QVERIFY(opened_.isEmpty());

        // A workbook with only the input sheet: the message names the file.
        ui::testing::Messages().clear();
        const std::string path = dir_->file("one.xlsx");
        sheet::FileFault fault;
        QVERIFY(sheet::Workbook::createEmpty(path, {"入力"}, &fault));
        program_->setWorkbook(sheet::Workbook::open(path, &fault));
        find<QPushButton>(QStringLiteral("実行ボタン"))->click();
        QCOMPARE(ui::testing::Messages().size(), 1);
        QVERIFY(ui::testing::Messages().first().contains(QStringLiteral("one.xlsx")));
        QVERIFY(opened_.isEmpty());
        QVERIFY(!program_->workbook()->hasUnsavedChanges());
    }

    // A file changed by another program since it was loaded is not overwritten: the sheet goes
    // to a new file beside it, a message names it, and that file is the one shown.
    void fileChangedElsewhereIsSavedUnderANewName() {
        loadCompetition(1);
        const std::string path = openWorkbook();
        {
            sheet::FileFault fault;
            QVERIFY(sheet::Workbook::createEmpty(path, {"他のプログラム", "x", "y"}, &fault));
        }
        screen().show();
        classOption(0)->click();
        find<QPushButton>(QStringLiteral("実行ボタン"))->click();
        QCOMPARE(ui::testing::Messages().size(), 1);
        QCOMPARE(opened_.size(), 1);
        QVERIFY(opened_.first() != QString::fromStdString(path));
        QCOMPARE(opened_.first(), QString::fromStdString(program_->workbook()->path()));
        QCOMPARE(savedText(opened_.first().toStdString(), 2, 11), std::string("クラス1"));
    }

    void closeBoxGoesBackLikeTheBackButton() {
        loadCompetition(1);
        program_->processingScreen().hide();
        screen().show();
        screen().close();
        QVERIFY(!program_->hasOutputScreen());
        QVERIFY(program_->processingScreen().isVisible());
        QCOMPARE(program_->shownScreens().size(), 1);
    }
};

QTEST_MAIN(OutputScreenTest)
#include "output_screen_qtest.moc"
