// Renders the five screens, with the example workbook loaded, to PNG files for the README (the
// processing screen also with times from a timing device, and with its panel filled from the
// gate judges):
//   build/tools/make_screenshots <example.xlsx> <output folder>
// The workbook is copied first; the copy is what the program loads, registers into and writes
// the results sheet of class 1 into (left beside the pictures as results-sheet.xlsx). The PDF
// that the run writes beside it is left as results-sheet.pdf, for the picture of its page 1.

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>
#include <algorithm>
#include <cstdio>

#include "app/DataLoadScreen.h"
#include "app/Screens.h"
#include "app/StartScreen.h"
#include "output/LiveServer.h"
#include "output/OutputScreen.h"
#include "output/ResultsSheetPdf.h"
#include "race/JudgeBoard.h"
#include "race/ProcessingScreen.h"
#include "setup/SettingsScreen.h"
#include "timing/TimingBoard.h"
#include "ui/Dialogs.h"
#include "ui/Grid.h"

namespace {

QString outDir;

bool Save(QWidget& screen, const char* name) {
    QApplication::processEvents();
    const QString path = outDir + "/" + name;
    const bool ok = screen.grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}

void Click(QWidget& screen, const char* name) {
    auto* button = screen.findChild<QPushButton*>(QString::fromUtf8(name));
    if (!button) {
        std::fprintf(stderr, "no button %s on %s\n", name, qPrintable(screen.objectName()));
        std::exit(1);
    }
    button->click();
    QApplication::processEvents();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s example.xlsx output-folder\n", argv[0]);
        return 2;
    }
    outDir = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(outDir);
    const QString workbook = outDir + "/results-sheet.xlsx";
    QFile::remove(workbook);
    QFile::remove(workbook + ".bak");
    if (!QFile::copy(QString::fromLocal8Bit(argv[1]), workbook)) {
        std::fprintf(stderr, "cannot copy %s\n", argv[1]);
        return 1;
    }

    zalvik::SetUpScreenFont();
    ui::testing::EnableDialogHooks(true);
    ui::testing::SetSpreadsheetOpener([](const QString&) {});
    ui::testing::QueueFileAnswer(workbook);

    zalvik::Program program;
    program.start();
    bool ok = Save(program.startScreen(), "start.png");
    Click(program.startScreen(), "読込");
    ok &= Save(program.dataLoadScreen(), "data-load.png");
    Click(program.dataLoadScreen(), "読込ボタン");

    zalvik::ProcessingScreen& processing = program.processingScreen();
    // Pick the first competitor from the list, so that the entry panel shows a stored result.
    if (auto* list = processing.findChild<ui::Grid*>(QStringLiteral("グリッドリスト")))
        list->clickCell(1, 1);
    ok &= Save(processing, "processing.png");

    // The same screen once a timing device has sent a morning's lines: the list over the
    // picture, the next competitor picked with the device's time in the time boxes.
    zalvik::timing::TimingBoard& board = program.timingBoard();
    board.setDevice(zalvik::timing::Device::Alge);
    const zalvik::Competition& d = program.data();
    // Times for a competitor already registered (the list compares) and for those who are not,
    // a finish without a bib, one whose start was lost, and a cancelled one.
    std::vector<int> registered, open;
    for (int i = 1; i <= d.competitorCount; ++i)
        (zalvik::HasRun(d.competitors[i]) ? registered : open).push_back(d.competitors[i].bib);
    std::vector<int> bibs;
    if (!registered.empty()) bibs.push_back(registered.front());
    for (size_t i = 0; i < open.size() && bibs.size() < 8; ++i) bibs.push_back(open[i]);
    for (size_t i = 1; i < registered.size() && bibs.size() < 9; ++i)
        bibs.insert(bibs.begin() + 1, registered[i]);
    const int runs[] = {5831, 6247, 6105, 5988, 6312, 5977, 6040, 6233, 6150};
    auto impulse = [&](int bib, int channel, int hundredths, QChar info = QLatin1Char(' ')) {
        const int t = 10 * 360000 + hundredths;
        board.receive(QStringLiteral("%1%2 C%3  %4:%5:%6.%7000 00\r")
                          .arg(info)
                          .arg(bib, 4, 10, QLatin1Char('0'))
                          .arg(channel)
                          .arg(t / 360000, 2, 10, QLatin1Char('0'))
                          .arg(t / 6000 % 60, 2, 10, QLatin1Char('0'))
                          .arg(t / 100 % 60, 2, 10, QLatin1Char('0'))
                          .arg(t % 100, 2, 10, QLatin1Char('0'))
                          .toLatin1());
    };
    for (size_t i = 0; i < bibs.size(); ++i) {
        const int start = static_cast<int>(i) * 3000;
        if (i != 5) impulse(bibs[i], 0, start);
        if (i == 3)
            impulse(0, 1, start + runs[i]);  // without a bib
        else
            impulse(bibs[i], 1, start + runs[i]);
        if (i == 6) impulse(bibs[i], 1, start + runs[i], QLatin1Char('c'));
    }
    if (auto* bib = processing.findChild<QLineEdit*>(QStringLiteral("ゼッケン"));
        bib && !bibs.empty())
        bib->setText(QString::number(bibs.back()));
    ok &= Save(processing, "processing-timing.png");
    QFile::remove(zalvik::timing::TimingLogPath(workbook));

    // The judges' dialog with publishing on and one judge of gates 1 and 2: its PIN, the QR
    // code of the judge page.
    zalvik::LiveServer::setListenAddress(QHostAddress::LocalHost);
    program.startPublishing();
    zalvik::judges::JudgeBoard& judges = program.judgeBoard();
    const zalvik::judges::Judge judge = judges.addJudge();
    judges.setJudgeName(judge.id, QStringLiteral("山田"));
    judges.setJudgeGates(judge.id, {1, 2});
    Click(processing, "審判ボタン");
    if (auto* dialog = processing.findChild<QDialog*>(QStringLiteral("審判設定画面"))) {
        dialog->findChild<QListWidget*>(QStringLiteral("審判一覧"))->setCurrentRow(0);
        ok &= Save(*dialog, "judges.png");
        dialog->close();
    }
    // The entry panel filled from the judges for the competitor whose time the device gave:
    // 山田 watches every gate, 佐藤 the last two; they disagree at the last gate, and 佐藤
    // proposes a DQ at the one before it.
    const int gates = std::clamp<int>(d.gateCount, 2, zalvik::kMaxGates);
    QList<int> all;
    for (int g = 1; g <= gates; ++g) all << g;
    judges.setJudgeGates(judge.id, all);
    const zalvik::judges::Judge other = judges.addJudge();
    judges.setJudgeName(other.id, QStringLiteral("佐藤"));
    judges.setJudgeGates(other.id, {gates - 1, gates});
    const int shown = bibs.empty() ? 0 : bibs.back();
    int sent = 0;
    auto send = [&](const zalvik::judges::Judge& j, int gate, int buoy) {
        zalvik::judges::SentEntry e;
        e.id = QByteArray::number(++sent).rightJustified(32, '0');
        e.bib = shown;
        e.gate = gate;
        e.dq = buoy == 0;
        e.buoy = buoy;
        e.reason = e.dq ? QStringLiteral("旗門不通過") : QString();
        judges.submit(judges.login(j.pin, QStringLiteral("127.0.0.1")).token, {e});
    };
    for (int g = 1; g <= gates; ++g) send(judge, g, 1 + g % 2);
    send(other, gates, 2 - gates % 2);
    send(other, gates - 1, 0);
    if (auto* bib = processing.findChild<QLineEdit*>(QStringLiteral("ゼッケン"))) {
        bib->clear();
        bib->setText(QString::number(shown));
    }
    ok &= Save(processing, "processing-judges.png");
    program.liveServer().stop();
    QFile::remove(zalvik::judges::JudgesPath(workbook));
    QFile::remove(zalvik::judges::JudgesLogPath(workbook));

    Click(processing, "基本設定ボタン");
    ok &= Save(program.settingsScreen(), "settings.png");
    Click(program.settingsScreen(), "戻るボタン");

    Click(processing, "出力ボタン");
    zalvik::OutputScreen& output = program.outputScreen();
    if (auto* first = output.findChild<QRadioButton*>(QStringLiteral("クラスオプ(0)")))
        first->click();
    ok &= Save(output, "output.png");
    Click(output, "実行ボタン");
    const QString pdf = zalvik::ResultsPdfPath(workbook, program.data());
    QFile::remove(outDir + "/results-sheet.pdf");
    if (!QFile::rename(pdf, outDir + "/results-sheet.pdf")) {
        std::fprintf(stderr, "no PDF %s\n", qPrintable(pdf));
        ok = false;
    }

    // Class 1 of the example has a competitor without a result, and 実行 says so, as it
    // should. Any other message is a fault of the run.
    bool quiet = true;
    for (const QString& m : ui::testing::Messages()) {
        std::fprintf(stderr, "message: %s\n", qPrintable(m));
        quiet &= m.startsWith(QStringLiteral("結果のない選手が"));
    }
    QFile::remove(workbook + ".bak");
    return ok && quiet ? 0 : 1;
}
