#include "output/OutputScreen.h"

#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>

#include "app/Screens.h"
#include "output/ResultsDelivery.h"
#include "output/ResultsSheet.h"
#include "race/ProcessingScreen.h"
#include "ui/Dialogs.h"
#include "ui/Twips.h"

namespace zalvik {

namespace {

constexpr int kClassOptions = 9;

}  // namespace

OutputScreen::OutputScreen(Program& program) : ScreenBase(program, QStringLiteral("出力設定画面")) {
    setWindowTitle(QStringLiteral("出力設定画面"));
    ui::SetClientSize(this, 4260, 4800);

    戻るボタン_ = ui::MakeButton(this, QStringLiteral("戻るボタン"), QStringLiteral("戻　る"),
                                 {3375, 4170, 660, 480});
    実行ボタン_ = ui::MakeButton(this, QStringLiteral("実行ボタン"), QStringLiteral("実行ボタン"),
                                 {2220, 4155, 975, 510});
    Frame14_ = ui::MakeFrame(this, QStringLiteral("Frame14"), QString(), {180, 45, 3915, 4005});

    Frame15_ = ui::MakeFrame(Frame14_, QStringLiteral("Frame15"), QStringLiteral("クラス選択"),
                             {180, 255, 2070, 3645});
    クラスオプ_.create(Frame15_, QStringLiteral("クラスオプ"), kClassOptions);
    for (int i = 0; i < kClassOptions; ++i) {
        ui::Place(クラスオプ_[i], 135, 345 * (i + 1) - 135, 1770, i == 0 ? 285 : 300);
        クラスオプ_[i]->hide();
    }

    Frame16_ = ui::MakeFrame(Frame14_, QStringLiteral("Frame16"), QStringLiteral("出力先選択"),
                             {2370, 270, 1335, 1275});
    // The sheet always goes to the workbook and to a PDF beside it; "ﾌﾟﾘﾝﾀｰ" also opens the
    // print preview, "Ｅxcelｼｰﾄ" shows the workbook in the spreadsheet program.
    出力先オプ_.create(Frame16_, QStringLiteral("出力先オプ"), 2);
    出力先オプ_[0]->setText(QStringLiteral("Ｅxcelｼｰﾄ"));
    ui::Place(出力先オプ_[0], 165, 285, 1080, 315);
    出力先オプ_[1]->setText(QStringLiteral("ﾌﾟﾘﾝﾀｰ"));
    ui::Place(出力先オプ_[1], 180, 660, 1080, 315);

    クラスオプ_.onClick(
        [this](int i) { program_.data().outputClass = static_cast<int16_t>(i + 1); });
    出力先オプ_.onClick([this](int i) { program_.data().printResultsSheet = i == 1; });
    // The destination is kept for the rest of the run; after printing was chosen the screen
    // shows it again, so that a run never prints unannounced.
    if (program_.data().printResultsSheet) 出力先オプ_[1]->setChecked(true);
    connect(実行ボタン_, &QPushButton::clicked, this, [this] { runOutput(); });
    connect(戻るボタン_, &QPushButton::clicked, this, [this] { goBack(); });

    placeClassOptions();
    createLiveFrame();
}

void OutputScreen::placeClassOptions() {
    const Competition& data = program_.data();
    const int classes = std::clamp<int>(data.classCount, 0, kClassOptions);
    for (int k = 1; k <= classes; ++k) {
        QRadioButton* option = クラスオプ_[k - 1];
        ui::Move(option, 135, 345 * k - 135);
        option->setText(data.className[k]);
        option->show();
    }
    for (int k = classes + 1; k <= kClassOptions; ++k) クラスオプ_[k - 1]->hide();
    // The class chosen last time (which the run button would write) is shown chosen.
    if (data.outputClass >= 1 && data.outputClass <= classes)
        クラスオプ_.check(data.outputClass - 1);
}

void OutputScreen::runOutput() {
    Competition& data = program_.data();
    // Without a class there is no results sheet to write; writing one would put an empty sheet
    // over the last one.
    if (data.outputClass < 1 ||
        data.outputClass > std::clamp<int>(data.classCount, 0, kClassOptions)) {
        ui::ShowMessage(this, QStringLiteral("クラスを選択してください。"));
        return;
    }
    program_.writeJournal(
        this, store::ResultsSheetEntry(data.outputClass, data.className[data.outputClass]));
    const ResultsSheetRun run = WriteResultsSheet(data, program_.workbook());
    program_.resultsChanged();
    if (!run.written) {
        ui::ShowMessage(this, run.why);
        return;
    }
    // The save may first take in another program's changes to the file; the sheet is then
    // written again into the workbook read afresh, which is the one delivered below.
    const bool saved = program_.saveWorkbook(this);
    // Competitors of the class who have neither a run nor a status are on no part of the sheet.
    const QString missing =
        CompetitorsWithoutResultMessage(CompetitorsWithoutResult(data, data.outputClass));
    DeliverResultsSheet(this, data, *program_.workbook(), saved, missing);
}

void OutputScreen::goBack() {
    program_.processingScreen().show();
    program_.unloadOutputScreen();
}

void OutputScreen::closeBox() { goBack(); }

}  // namespace zalvik
