#include "store/ScreenLoader.h"

#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVariant>
#include <algorithm>

#include "app/DataLoadScreen.h"
#include "app/Installation.h"
#include "app/Screens.h"
#include "race/ProcessingScreen.h"
#include "setup/SettingsScreen.h"
#include "sheet/Workbook.h"
#include "ui/Dialogs.h"
#include "ui/Grid.h"
#include "ui/TabStrip.h"

namespace zalvik {
namespace {

const char* const kLoadInProgress = "loadInProgress";

// Marks the program as loading for as long as the loader runs.
class LoadScope {
  public:
    explicit LoadScope(Program& p) : p_(p) { p_.setProperty(kLoadInProgress, true); }
    ~LoadScope() { p_.setProperty(kLoadInProgress, false); }
    LoadScope(const LoadScope&) = delete;
    LoadScope& operator=(const LoadScope&) = delete;

  private:
    Program& p_;
};

QString FileName(Program& p) { return QFileInfo(p.data().workbookPath).fileName(); }

// Empties a cell when the grid has it; the reset walks the old counts, which a grid reshaped
// since then may no longer cover.
void Blank(ui::Grid* g, int row, int col) {
    if (row < g->rows() && col < g->cols()) g->setText(row, col, QString());
}

void WriteResultRow(ui::Grid* g, int slot, const store::ResultRow& row) {
    if (slot >= g->rows()) return;
    for (int c = 0; c < 5 && c < g->cols(); ++c) g->setText(slot, c, row.cells[c]);
    for (size_t j = 0; j < row.gates.size() && 5 + static_cast<int>(j) < g->cols(); ++j)
        g->setText(slot, 5 + static_cast<int>(j), row.gates[j]);
}

// After the loader stopped early the results grid may still have the shape of the previous
// competition while the counts are already the new ones; registering a result would then
// address rows or gate columns the grid does not have. Reshaping it (without reading anything
// more) keeps the grid, the gate options and the counts in agreement.
void KeepResultsGridInStep(Program& p) {
    ProcessingScreen& screen = p.processingScreen();
    Competition& d = p.data();
    if (screen.グリッド結果()->cols() != d.gateCount + 5 ||
        screen.グリッド結果()->rows() != d.competitorCount + 1) {
        screen.SetUpResultsGrid();
    }
    d.appliedGateCount = d.gateCount;
    if (p.hasSettingsScreen()) p.settingsScreen().ShowGateOptions();
}

}  // namespace

bool IsLoadInProgress(const Program& program) { return program.property(kLoadInProgress).toBool(); }

void RunLoadAction(Program& program) {
    BeginLoad(program);
    ProcessingScreen& screen = program.processingScreen();
    screen.BuildCompetitorList();
    screen.EnableLoadedButtons();
    screen.show();
    program.unloadDataLoadScreen();
}

void BeginLoad(Program& program) {
    program.processingScreen();
    if (program.data().loadAttempted == 1) ResetForReload(program);
    OpenWorkbook(program);
}

void OpenWorkbook(Program& program) {
    Competition& d = program.data();
    d.loadAttempted = 1;
    QWidget* parent =
        program.hasDataLoadScreen() ? static_cast<QWidget*>(&program.dataLoadScreen()) : nullptr;
    // The folder of the program's own files is offered, so that the example workbook is a
    // click away on the first day.
    const std::optional<QString> chosen = ui::AskOpenFileName(parent, DataFolder());
    if (!chosen) {
        ui::ShowMessage(parent, QStringLiteral("キャンセルボタンが押されましたので戻ります。"));
        return;
    }
    d.workbookPath = QFileInfo(*chosen).absoluteFilePath();

    // The workbook of an earlier load is let go before the new one is opened, so that a file
    // that fails to open never leaves the old competition's workbook to be read or written.
    program.closeWorkbook();
    d.excelStarted = true;
    std::string error;
    std::unique_ptr<sheet::Workbook> wb =
        sheet::Workbook::open(d.workbookPath.toStdString(), &error);
    if (!wb) {
        ui::ShowMessage(parent, QString::fromStdString(error));
        return;
    }
    if (!wb->worksheet(1)) {
        ui::ShowMessage(parent, QString::fromStdString(wb->lastError()));
        return;
    }
    program.setWorkbook(std::move(wb));

    bool competitorsRead = false;
    const store::Fault fault = ReadCompetition(program, &competitorsRead);
    if (fault) {
        ui::ShowMessage(parent, fault->message(FileName(program)));
        KeepResultsGridInStep(program);
    }
    if (competitorsRead) {
        const QString repeated =
            store::RepeatedBibsMessage(store::RepeatedBibs(d), FileName(program));
        if (!repeated.isEmpty()) ui::ShowMessage(parent, repeated);
        // Competitors that the sheet holds but no standings will show are pointed out, so
        // that none of them goes missing from the official sheet unnoticed.
        const QString below = store::RowsBelowTheListMessage(
            store::NamedRowsBelowTheList(*program.workbook()->worksheet(1), d.competitorCount));
        if (!below.isEmpty()) ui::ShowMessage(parent, below);
        if (!fault) {
            const QString beyond =
                store::BibsBeyondClassCountMessage(store::BibsBeyondClassCount(d));
            if (!beyond.isEmpty()) ui::ShowMessage(parent, beyond);
        }
    }
    // Results journaled but missing from the file (restored from its backup, or a save that
    // never reached the disk) are offered back once the competition stands on the screens.
    if (!fault) program.processingScreen().OfferJournalRecovery();
}

store::Fault ReadCompetition(Program& program, bool* competitorsRead) {
    LoadScope loading(program);
    Competition& d = program.data();
    if (competitorsRead) *competitorsRead = false;
    sheet::Workbook* wb = program.workbook();
    sheet::Worksheet* ws = wb ? wb->worksheet(1) : nullptr;
    if (!ws) return std::nullopt;

    if (store::Fault f = store::ReadCompetitors(*ws, store::CountCompetitors(*ws), d)) return f;
    if (competitorsRead) *competitorsRead = true;
    if (store::Fault f = store::ReadBuoyTable(*ws, d)) return f;
    store::ReadEventDetails(*ws, d);

    QString gateText;
    if (store::Fault f = store::ReadGateCountText(*ws, &gateText)) return f;
    // The first use of the settings screen creates it (running its load handler) before the
    // gate count goes into its box.
    SettingsScreen& settings = program.settingsScreen();
    // A settings screen left from an earlier load had its details emptied by the reset; it
    // shows this workbook's, as a screen created by this load does.
    settings.ShowEventDetails();
    settings.ゲート数()->setCurrentText(gateText);

    if (store::Fault f = store::ReadClassTable(*ws, d)) return f;

    ProcessingScreen& screen = program.processingScreen();
    screen.SetUpClassTabs();
    screen.LayOutClassPages();
    settings.SetUpGateGrid();
    if (store::Fault f = settings.FillSettingsTables()) return f;
    settings.EmptyClassRowsBelowCount();
    screen.SetUpResultsGrid();
    d.appliedGateCount = d.gateCount;

    ui::Grid* results = screen.グリッド結果();
    store::ResultRow row;
    for (int i = 1; i <= d.competitorCount; ++i) {
        const store::Fault f = store::ReadResultRow(*ws, d, i, &row);
        if (row.hasResult) WriteResultRow(results, i, row);
        if (f) return f;
    }

    screen.タブ()->show();
    for (int k = 0; k < std::clamp<int>(d.classCount, 0, kMaxClasses); ++k) screen.絵(k)->show();
    screen.BringPageToFront(0);
    screen.Frame12()->show();
    screen.RebuildStandings();
    settings.Text1()->hide();
    settings.Text2()->hide();
    screen.show();
    settings.hide();
    return std::nullopt;
}

void ResetForReload(Program& program) {
    Competition& d = program.data();
    ProcessingScreen& screen = program.processingScreen();
    const int count = std::clamp<int>(d.competitorCount, 0, kMaxCompetitors);
    const int gates = std::clamp<int>(d.gateCount, 0, kMaxGates);

    ui::Grid* results = screen.グリッド結果();
    for (int i = 1; i <= count; ++i) {
        Competitor& p = d.competitors[i];
        p.bib = 0;
        p.classNo = ClassValue::ofNumber(0);
        p.status = 0;
        p.runTime = 0;
        p.buoyPoints = 0;
        p.racePoints = 0;
        for (int c = 0; c < 5 + gates; ++c) Blank(results, i, c);
    }
    ui::Grid* list = screen.グリッドリスト();
    for (int i = 1; i <= count; ++i)
        for (int c = 0; c < 3; ++c) Blank(list, i, c);
    const int classes = std::clamp<int>(d.classCount, 0, kMaxClasses);
    for (int k = 1; k <= classes; ++k) {
        ui::Grid* ranks = screen.グリッド順位(k - 1);
        const int listed = std::clamp<int>(d.classMemberCount[k], 0, kMaxSlots);
        for (int p = 1; p <= listed; ++p)
            for (int c = 0; c < 5; ++c) Blank(ranks, p, c);
    }

    // The entry panel of the processing screen.
    screen.Gop().deselectAll();
    for (int g = 0; g < ProcessingScreen::kGateOptions; ++g) screen.色(g)->clear();
    screen.ブイ().deselectAll();
    for (int k = 0; k < ProcessingScreen::kBuoyOptions; ++k) screen.ブイポイント(k)->clear();
    screen.DSFQ().deselectAll();
    for (QLineEdit* box :
         {screen.ゼッケン(), screen.氏名(), screen.所属(), screen.分(), screen.秒()})
        box->clear();
    screen.合計()->clear();
    screen.RP()->clear();

    // The settings screen, when it exists, loses the texts the loader fills again. The buoy
    // grid's row labels stay: only the loader's own fill comes back, and it writes names and
    // scores, not labels.
    if (program.hasSettingsScreen()) {
        SettingsScreen& settings = program.settingsScreen();
        for (int k = 1; k <= kBuoyKinds; ++k) {
            settings.グリッドV名()->setText(k, 1, QString());
            settings.グリッドV名()->setText(k, 2, QString());
        }
        settings.大会名称()->clear();
        settings.場所コンボ()->setCurrentText(QString());
        settings.ゲート数()->setCurrentText(QString());
    }
}

}  // namespace zalvik
