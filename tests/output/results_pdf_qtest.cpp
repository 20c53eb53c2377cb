// The printed results sheet, as an official gets it: choose a class and a destination on the
// output screen with the mouse, press the run button, and read the PDF beside the workbook
// with poppler's tools, which know nothing of this program.

#include <QDir>
#include <QLabel>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>
#include <memory>

#include "app/Screens.h"
#include "output/OutputScreen.h"
#include "output/ResultsSheetPdf.h"
#include "race/ProcessingScreen.h"
#include "race/Scoring.h"
#include "sheet/Workbook.h"
#include "support/FaultText.h"
#include "support/TestFiles.h"
#include "ui/Controls.h"
#include "ui/Dialogs.h"

using namespace zalvik;

namespace {

QString Shell(const QString& command, int* status = nullptr) {
    std::string out;
    const int rc = testsupport::runCommand(command.toStdString(), &out);
    if (status) *status = rc;
    return QString::fromStdString(out);
}

QString Quoted(const QString& path) { return "'" + path + "'"; }

int PdfPages(const QString& pdf) {
    const QString info = Shell("pdfinfo " + Quoted(pdf));
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QString PdfPageText(const QString& pdf, int page) {
    return Shell(QStringLiteral("pdftotext -layout -f %1 -l %1 %2 -").arg(page).arg(Quoted(pdf)));
}

// One line of the page that holds every one of the words, or an empty string.
QString LineWith(const QString& pageText, const QStringList& words) {
    for (const QString& line : pageText.split(QLatin1Char('\n'))) {
        bool all = true;
        for (const QString& w : words) all = all && line.contains(w);
        if (all) return line;
    }
    return {};
}

}  // namespace

class ResultsPdfTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<Program> program_;
    std::unique_ptr<testsupport::TempDir> dir_;
    QStringList opened_;
    bool openerAnswers_ = true;

    OutputScreen& screen() { return program_->outputScreen(); }
    QString folder() const { return QString::fromStdString(dir_->path()); }

    template <typename W>
    W* find(QWidget& on, const QString& name) {
        W* w = on.findChild<W*>(name);
        if (!w) qWarning("no control named %s", qPrintable(name));
        return w;
    }
    void click(QWidget* w) {
        QVERIFY(w);
        QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center());
    }
    // An option is clicked on its round mark, which is there however short its caption.
    void clickOption(QRadioButton* option) {
        QVERIFY(option);
        QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(8, option->height() / 2));
        QVERIFY(option->isChecked());
    }
    void chooseClass(int i) {
        clickOption(find<QRadioButton>(screen(), ui::ElementName(QStringLiteral("クラスオプ"), i)));
    }
    void chooseDestination(int i) {
        clickOption(find<QRadioButton>(screen(), ui::ElementName(QStringLiteral("出力先オプ"), i)));
    }
    void run() { click(find<QPushButton>(screen(), QStringLiteral("実行ボタン"))); }

    // Class 1 with `ranked` competitors with race points and `dq` disqualified ones. The
    // names carry kanji that the font shares with the radicals of the kangxi block.
    void loadClass(int ranked, int dq, const QString& className = QStringLiteral("一般男子")) {
        Competition& c = program_->data();
        c.classCount = 1;
        c.className[1] = className;
        c.eventName = QStringLiteral("第7回 白樺カップ");
        c.eventDate = QStringLiteral("2024/02/11");
        c.eventVenue = QStringLiteral("白樺スキー場");
        int slot = 0;
        for (int i = 1; i <= ranked + dq; ++i) {
            Competitor& who = c.competitors[++slot];
            who.bib = static_cast<int16_t>(i);
            who.name = QStringLiteral("山田%1手").arg(i);
            who.affiliation = QStringLiteral("木月クラブ");
            who.classNo = ClassValue::ofNumber(1);
            if (i > ranked) {
                who.status = 3;
                continue;
            }
            who.runTime = 50.0f + static_cast<float>(i) / 8.0f;
            who.buoyPoints = static_cast<float>(10 + i % 7);
            who.racePoints = RacePoints(who.runTime, who.buoyPoints);
        }
        c.competitorCount = static_cast<int16_t>(slot);
        BuildStandings(c);
    }

    QString openWorkbook(const QString& name = QStringLiteral("race.xlsx")) {
        const std::string path = dir_->file(name.toStdString());
        sheet::FileFault fault;
        if (!sheet::Workbook::createEmpty(path, {"入力", "成績表"}, &fault))
            qFatal("%s", testsupport::Message(fault).c_str());
        program_->setWorkbook(sheet::Workbook::open(path, &fault));
        return QString::fromStdString(path);
    }

    void showScreen() {
        program_->processingScreen().hide();
        screen().show();
        QVERIFY(QTest::qWaitForWindowExposed(&screen()));
    }

    QStringList filesInFolder() const {
        QStringList files =
            QDir(folder()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        // The live results page (and its temporary file while it is being written in the
        // background) is rewritten by every run too; it is not the PDF's concern.
        files.removeIf([](const QString& f) { return f.contains(QStringLiteral("_速報.html")); });
        return files;
    }

  private slots:
    void init() {
        ui::testing::EnableDialogHooks(true);
        opened_.clear();
        openerAnswers_ = true;
        ui::testing::SetSpreadsheetOpenerWithAnswer([this](const QString& path) {
            opened_.append(path);
            return openerAnswers_;
        });
        dir_ = std::make_unique<testsupport::TempDir>();
        program_ = std::make_unique<Program>();
    }

    void cleanup() {
        program_.reset();
        dir_.reset();
        ui::testing::SetSpreadsheetOpener({});
        ui::testing::EnableDialogHooks(false);
    }

    // The PDF holds one page per 49 rows that the sheet uses, status sections included; each
    // page carries its label, the running texts and the rows that the sheet puts on it; the
    // font travels inside the file.
    void pdfPrintsTheSheetPageForPage_data() {
        QTest::addColumn<int>("ranked");
        QTest::addColumn<int>("dq");
        QTest::addColumn<int>("pages");
        QTest::addColumn<int>("labels");
        QTest::newRow("small class") << 3 << 0 << 1 << 1;
        QTest::newRow("41 ranked") << 41 << 0 << 2 << 2;
        // 95 ranked fill three pages; the 55 disqualified run on to row 180, a fourth page.
        QTest::newRow("95 ranked and 55 DQ") << 95 << 55 << 4 << 3;
    }

    void pdfPrintsTheSheetPageForPage() {
        QFETCH(int, ranked);
        QFETCH(int, dq);
        QFETCH(int, pages);
        QFETCH(int, labels);
        loadClass(ranked, dq);
        const QString book = openWorkbook();
        showScreen();
        chooseClass(0);
        run();
        QVERIFY2(ui::testing::Messages().isEmpty(), qPrintable(ui::testing::Messages().join('\n')));
        QCOMPARE(opened_, QStringList{book});

        const QString pdf = folder() + QStringLiteral("/race_一般男子.pdf");
        QVERIFY(QFileInfo(pdf).isFile());
        QCOMPARE(PdfPages(pdf), pages);
        QVERIFY(Shell("pdfinfo " + Quoted(pdf)).contains(QStringLiteral("pts (A4)")));

        QStringList pageText;
        for (int p = 1; p <= pages; ++p) pageText << PdfPageText(pdf, p);
        for (int p = 1; p <= pages; ++p) {
            const QString& text = pageText[p - 1];
            QCOMPARE(text.contains(QStringLiteral("Page %1").arg(p)), p <= labels);
            for (const char* running :
                 {"第7回 白樺カップ", "2024/02/11/白樺スキー場", "DATA PROCESSING by T O V E L",
                  "TIMING by T O V E L", "---------------------------------------------"})
                QVERIFY2(text.contains(QString::fromUtf8(running)),
                         qPrintable(QStringLiteral("page %1 lacks %2").arg(p).arg(running)));
        }
        // No label lands on a page other than its own.
        for (int p = 1; p <= pages; ++p)
            for (int other = 1; other <= labels; ++other)
                if (other != p)
                    QVERIFY(!pageText[p - 1].contains(QStringLiteral("Page %1\n").arg(other)));

        // Every competitor row of the saved sheet, on the page of its row: bib, name and race
        // points on one line.
        sheet::FileFault fault;
        auto saved = sheet::Workbook::open(book.toStdString(), &fault);
        QVERIFY(saved);
        sheet::Worksheet* ws = saved->worksheet(2);
        int rows = 0;
        for (int r = 1; r <= pages * 49; ++r) {
            const std::string name = ws->text(r, 4);
            if (name.rfind("山田", 0) != 0) continue;
            ++rows;
            QStringList words{QString::fromStdString(ws->text(r, 2)), QString::fromStdString(name)};
            if (!ws->value(r, 11).isEmpty())
                words << QString::number(ws->value(r, 11).number, 'f', 2);
            const int page = (r - 1) / 49 + 1;
            QVERIFY2(!LineWith(pageText[page - 1], words).isEmpty(),
                     qPrintable(QStringLiteral("row %1 (%2) is not on page %3")
                                    .arg(r)
                                    .arg(words.join(' '))
                                    .arg(page)));
        }
        QCOMPARE(rows, ranked + dq);

        // Every word of every page stands between the sheet's left and right margins (0.8 and
        // 0.3 inch): columns A to L are drawn smaller rather than cut.
        for (int p = 1; p <= pages; ++p) {
            const QString boxes =
                Shell(QStringLiteral("pdftotext -bbox -f %1 -l %1 %2 -").arg(p).arg(Quoted(pdf)));
            const QRegularExpression word(
                QStringLiteral("<word xMin=\"([0-9.]+)\" yMin=\"[0-9.]+\" xMax=\"([0-9.]+)\""));
            int words = 0;
            for (const QRegularExpressionMatch& m : word.globalMatch(boxes)) {
                ++words;
                QVERIFY2(m.captured(1).toDouble() >= 0.8 * 72 - 0.5 &&
                             m.captured(2).toDouble() <= 210 / 25.4 * 72 - 0.3 * 72 + 0.5,
                         qPrintable(m.captured(0)));
            }
            QVERIFY(words > 10);
        }

        // Every font is embedded.
        const QString fonts = Shell("pdffonts " + Quoted(pdf));
        const QStringList lines = fonts.split('\n', Qt::SkipEmptyParts).mid(2);
        QVERIFY(!lines.isEmpty());
        for (const QString& line : lines) {
            const QStringList cols = line.split(' ', Qt::SkipEmptyParts);
            QVERIFY2(cols.size() >= 5 && cols[cols.size() - 5] == QStringLiteral("yes"),
                     qPrintable(fonts));
        }
        QVERIFY(fonts.contains(QStringLiteral("NotoSansCJK")));

        // Nothing but the workbook, its backup and the PDF is left in the folder.
        QCOMPARE(filesInFolder(), (QStringList{"race.journal.csv", "race.xlsx", "race.xlsx.bak",
                                               QStringLiteral("race_一般男子.pdf")}));
    }

    // A cell's text that is wider than its column is drawn smaller: every word of the
    // competitor rows lies inside the column of its cell, none runs into the next one or is cut
    // at a border. Six-character names beside long affiliations, race points of 100 and more.
    void cellTextStaysInItsColumn() {
        loadClass(6, 0);
        Competition& c = program_->data();
        const QStringList names{"佐々木　大輔", "五十嵐　真由美", "山田　健太郎"};
        for (int i = 1; i <= 3; ++i) {
            c.competitors[i].name = names[i - 1];
            c.competitors[i].affiliation = QStringLiteral("白馬村立白馬高等学校スキー部");
        }
        for (int i = 1; i <= 6; ++i) {
            c.competitors[i].runTime = 53.26f + static_cast<float>(i - 1);
            c.competitors[i].buoyPoints = 50;
            c.competitors[i].racePoints = RacePoints(c.competitors[i].runTime, 50);
        }
        BuildStandings(c);
        const QString book = openWorkbook();
        showScreen();
        chooseClass(0);
        run();
        const QString pdf = folder() + QStringLiteral("/race_一般男子.pdf");
        QVERIFY(QFileInfo(pdf).isFile());

        // Column edges on the paper, in points, as the sheet sets them.
        sheet::FileFault fault;
        auto saved = sheet::Workbook::open(book.toStdString(), &fault);
        QVERIFY(saved);
        const sheet::Worksheet& ws = *saved->worksheet(2);
        const double scale = ResultsSheetPages(ws).scale();
        std::array<double, 13> edge{};
        edge[0] = ws.pageMargins().left * 72;
        for (int col = 1; col <= 12; ++col)
            edge[col] = edge[col - 1] + ws.columnWidthPoints(col) * scale;
        // The competitor rows 6..11, from top to bottom.
        double top = ws.pageMargins().top * 72, bottom = 0;
        for (int r = 1; r <= 11; ++r) {
            if (r == 6) bottom = top;
            (r < 6 ? top : bottom) += ws.rowHeightPoints(r) * scale;
        }
        // The column of each text of a competitor row (rank, bib, name, affiliation, race
        // points); a name's two parts each.
        QMultiMap<QString, int> columnOf;
        for (int r = 6; r <= 11; ++r)
            for (int col : {1, 2, 4, 5, 11}) {
                const sheet::Value v = ws.value(r, col);
                if (v.isEmpty()) continue;
                const QString text = v.type == sheet::ValueType::Number
                                         ? QString::number(v.number, 'f', col == 11 ? 2 : 0)
                                         : QString::fromStdString(v.toText());
                for (const QString& part : text.split(QChar(0x3000), Qt::SkipEmptyParts))
                    columnOf.insert(part, col);
            }
        QVERIFY(columnOf.contains(QStringLiteral("106.52")));

        const QString boxes = Shell(QStringLiteral("pdftotext -bbox %1 -").arg(Quoted(pdf)));
        const QRegularExpression word(
            QStringLiteral("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" "
                           "yMax=\"([0-9.]+)\">([^<]*)<"));
        QSet<QString> seen;
        for (const QRegularExpressionMatch& m : word.globalMatch(boxes)) {
            const QString text = m.captured(5);
            const double middle = (m.captured(2).toDouble() + m.captured(4).toDouble()) / 2;
            if (!columnOf.contains(text) || middle < top || middle > bottom) continue;
            const double x0 = m.captured(1).toDouble(), x1 = m.captured(3).toDouble();
            bool inside = false;
            for (int col : columnOf.values(text))
                inside = inside || (x0 >= edge[col - 1] - 0.3 && x1 <= edge[col] + 0.3);
            QVERIFY2(inside, qPrintable(m.captured(0)));
            seen.insert(text);
        }
        // Each name, affiliation and race points stood as a word of its own.
        for (const QString& text : columnOf.uniqueKeys())
            QVERIFY2(seen.contains(text), qPrintable(text + QStringLiteral(" not found")));
    }

    // A class name that is not a file name part still gives a PDF in the workbook's folder.
    void unsafeClassNameGivesASafeFileName_data() {
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("file");
        QTest::newRow("parent folder") << "../x"
                                       << "race_.._x.pdf";
        QTest::newRow("sub folder") << "a/b"
                                    << "race_a_b.pdf";
        QTest::newRow("dots only") << ".."
                                   << "race___.pdf";
        QTest::newRow("windows marks") << "男子:A*?" << QStringLiteral("race_男子_A__.pdf");
    }

    void unsafeClassNameGivesASafeFileName() {
        QFETCH(QString, className);
        QFETCH(QString, file);
        loadClass(2, 0, className);
        openWorkbook();
        showScreen();
        chooseClass(0);
        run();
        QVERIFY(ui::testing::Messages().isEmpty());
        QVERIFY2(filesInFolder().contains(file), qPrintable(filesInFolder().join(", ")));
        QCOMPARE(filesInFolder().size(), 4);  // with the journal
        QCOMPARE(PdfPages(folder() + "/" + file), 1);
    }

    // A PDF that cannot be written: one message names it, the workbook is saved all the same
    // and no half-written file stays behind.
    void pdfThatCannotBeWrittenIsReportedAndTheWorkbookSaved() {
        loadClass(3, 0);
        const QString book = openWorkbook();
        // A folder where the PDF should go: the rename over it fails as on a folder that
        // cannot be written (the tests may run as root, who may write anywhere).
        const QString pdf = folder() + QStringLiteral("/race_一般男子.pdf");
        QVERIFY(QDir().mkdir(pdf));
        showScreen();
        chooseClass(0);
        run();
        QCOMPARE(ui::testing::Messages().size(), 1);
        QVERIFY(ui::testing::Messages().first().contains(QDir::toNativeSeparators(pdf)));
        QVERIFY(QFileInfo(pdf).isDir());
        QCOMPARE(filesInFolder(), (QStringList{"race.journal.csv", "race.xlsx", "race.xlsx.bak",
                                               QStringLiteral("race_一般男子.pdf")}));
        sheet::FileFault fault;
        auto saved = sheet::Workbook::open(book.toStdString(), &fault);
        QVERIFY(saved);
        QCOMPARE(saved->worksheet(2)->text(6, 1), std::string("1"));
        QVERIFY(saved->worksheet(2)->text(6, 4).rfind("山田", 0) == 0);
        QCOMPARE(opened_, QStringList{book});  // the workbook is still shown
    }

    // "ﾌﾟﾘﾝﾀｰ": the run writes the sheet and the PDF, then opens the print preview on the same
    // pages instead of the spreadsheet program; the choice outlives the screen.
    void printerOptionOpensThePrintPreview() {
        loadClass(41, 0);
        openWorkbook();
        showScreen();
        QRadioButton* printer =
            find<QRadioButton>(screen(), ui::ElementName(QStringLiteral("出力先オプ"), 1));
        QVERIFY(printer && printer->isVisible() && printer->isEnabled());
        chooseClass(0);
        chooseDestination(1);
        QVERIFY(printer->isChecked());

        QString title;
        int previewPages = -1;
        bool saysNoPrinter = false;
        bool sawPreview = false;
        auto answer = [&] {
            auto* dialog = qobject_cast<QPrintPreviewDialog*>(QApplication::activeModalWidget());
            if (!dialog) return false;
            sawPreview = true;
            title = dialog->windowTitle();
            if (auto* widget = dialog->findChild<QPrintPreviewWidget*>())
                previewPages = widget->pageCount();
            saysNoPrinter = dialog->findChild<QLabel*>(QStringLiteral("プリンターなし")) != nullptr;
            dialog->reject();
            return true;
        };
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (answer()) poll.stop();
        });
        poll.start(20);
        run();
        poll.stop();
        QVERIFY(sawPreview);
        QCOMPARE(previewPages, 2);
        QVERIFY(title.contains(QStringLiteral("公式成績表")));
        if (QPrinterInfo::availablePrinterNames().isEmpty()) QVERIFY(saysNoPrinter);
        QVERIFY(opened_.isEmpty());
        QVERIFY(ui::testing::Messages().isEmpty());
        QCOMPARE(PdfPages(folder() + QStringLiteral("/race_一般男子.pdf")), 2);

        // Back and in again: the destination is still printing, and shown as such.
        click(find<QPushButton>(screen(), QStringLiteral("戻るボタン")));
        showScreen();
        QVERIFY(find<QRadioButton>(screen(), ui::ElementName(QStringLiteral("出力先オプ"), 1))
                    ->isChecked());
        chooseDestination(0);
        run();
        QCOMPARE(opened_.size(), 1);
    }

    // Where the desktop has no spreadsheet program, the run and the processing screen's
    // spreadsheet button each say so once, naming the workbook and the PDF.
    void noSpreadsheetProgramIsReported() {
        loadClass(3, 0);
        const QString book = openWorkbook();
        openerAnswers_ = false;
        showScreen();
        chooseClass(0);
        run();
        const QString pdf =
            QDir::toNativeSeparators(folder() + QStringLiteral("/race_一般男子.pdf"));
        QCOMPARE(ui::testing::Messages().size(), 1);
        QVERIFY(ui::testing::Messages().first().contains(QDir::toNativeSeparators(book)));
        QVERIFY(ui::testing::Messages().first().contains(pdf));

        ui::testing::Messages().clear();
        click(find<QPushButton>(screen(), QStringLiteral("戻るボタン")));
        ProcessingScreen& processing = program_->processingScreen();
        QVERIFY(QTest::qWaitForWindowExposed(&processing));
        QPushButton* sheetButton = find<QPushButton>(processing, QStringLiteral("エクセルボタン"));
        QVERIFY(sheetButton);
        sheetButton->setEnabled(true);  // as after a load
        click(sheetButton);
        QCOMPARE(ui::testing::Messages().size(), 1);
        QVERIFY(ui::testing::Messages().first().contains(QDir::toNativeSeparators(book)));
        QVERIFY(ui::testing::Messages().first().contains(pdf));

        // Without a PDF the message names the workbook alone.
        ui::testing::Messages().clear();
        QVERIFY(QFile::remove(folder() + QStringLiteral("/race_一般男子.pdf")));
        click(sheetButton);
        QCOMPARE(ui::testing::Messages().size(), 1);
        QVERIFY(!ui::testing::Messages().first().contains(QStringLiteral(".pdf")));
    }
};

QTEST_MAIN(ResultsPdfTest)
#include "results_pdf_qtest.moc"
