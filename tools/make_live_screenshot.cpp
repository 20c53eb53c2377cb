// Takes the picture of the live results page as a phone shows it, for the README:
//   build/tools/make_live_screenshot <example.xlsx> <output folder>
// A copy of the workbook is loaded, the page is published from the output settings screen,
// and headless Chromium (tools/phone_view.py) loads it from 127.0.0.1 at a phone's width. The
// picture is <output folder>/live-phone.png. Then a gate judge of gates 1 and 2 is added, and
// tools/judge_phone.py logs in on the judge page and enters a competitor: judge-phone.png.

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QUrl>
#include <cstdio>

#include "app/DataLoadScreen.h"
#include "app/Screens.h"
#include "app/StartScreen.h"
#include "output/OutputScreen.h"
#include "race/JudgeBoard.h"
#include "race/ProcessingScreen.h"
#include "ui/Dialogs.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s example.xlsx output-folder\n", argv[0]);
        return 2;
    }
    const QString outDir = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(outDir);
    QTemporaryDir work;
    const QString workbook = work.filePath(QStringLiteral("example.xlsx"));
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
    program.startScreen().findChild<QPushButton*>(QStringLiteral("読込"))->click();
    program.dataLoadScreen().findChild<QPushButton*>(QStringLiteral("読込ボタン"))->click();
    program.processingScreen().findChild<QPushButton*>(QStringLiteral("出力ボタン"))->click();
    zalvik::OutputScreen& output = program.outputScreen();
    output.findChild<QCheckBox*>(QStringLiteral("速報公開"))->click();
    QApplication::processEvents();

    // The address the label shows is the computer's own on the network; the picture is taken
    // through the loopback address at the same port.
    const QUrl shown(output.findChild<QLabel*>(QStringLiteral("速報URL"))->text());
    if (!shown.isValid() || shown.port() <= 0) {
        std::fprintf(stderr, "the page was not published: label \"%s\"\n",
                     qPrintable(output.findChild<QLabel*>(QStringLiteral("速報URL"))->text()));
        return 1;
    }
    const QString url = QStringLiteral("http://127.0.0.1:%1/").arg(shown.port());
    const QString picture = QDir(outDir).filePath(QStringLiteral("live-phone.png"));
    QProcess view;
    view.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    view.start(QStringLiteral("/usr/bin/python3"),
               {QStringLiteral(PROJECT_SOURCE_DIR "/tools/phone_view.py"), url, picture});
    if (!view.waitForFinished(90000) || view.exitCode() != 0) {
        std::fprintf(stderr, "phone_view failed for %s\n", qPrintable(url));
        return 1;
    }
    std::printf("%s", view.readAllStandardOutput().constData());
    std::printf("wrote %s\n", qPrintable(picture));

    zalvik::judges::JudgeBoard& judges = program.judgeBoard();
    const zalvik::judges::Judge judge = judges.addJudge();
    judges.setJudgeName(judge.id, QStringLiteral("山田"));
    judges.setJudgeGates(judge.id, {1, 2});
    const QString judgePicture = QDir(outDir).filePath(QStringLiteral("judge-phone.png"));
    view.start(QStringLiteral("/usr/bin/python3"),
               {QStringLiteral(PROJECT_SOURCE_DIR "/tools/judge_phone.py"), url + "judge",
                judge.pin, judgePicture});
    view.closeWriteChannel();
    if (!view.waitForFinished(90000) || view.exitCode() != 0) {
        std::fprintf(stderr, "%s", view.readAllStandardOutput().constData());
        std::fprintf(stderr, "judge_phone failed for %sjudge\n", qPrintable(url));
        return 1;
    }
    std::printf("wrote %s\n", qPrintable(judgePicture));
    for (const QString& m : ui::testing::Messages())
        std::fprintf(stderr, "message: %s\n", qPrintable(m));
    return ui::testing::Messages().isEmpty() ? 0 : 1;
}
