#include "store/ScreenLoader.h"

#include <QFileInfo>
#include <algorithm>

#include "app/DataLoadScreen.h"
#include "app/Installation.h"
#include "app/Screens.h"
#include "race/ProcessingScreen.h"
#include "setup/SettingsScreen.h"
#include "sheet/Workbook.h"
#include "store/FileMessages.h"
#include "ui/Dialogs.h"

namespace zalvik {
namespace {

// Marks the program as loading for as long as the loader runs.
class LoadScope {
  public:
    explicit LoadScope(Program& p) : p_(p) { p_.setLoadInProgress(true); }
    ~LoadScope() { p_.setLoadInProgress(false); }
    LoadScope(const LoadScope&) = delete;
    LoadScope& operator=(const LoadScope&) = delete;

  private:
    Program& p_;
};

QString FileName(Program& p) { return QFileInfo(p.data().workbookPath).fileName(); }

}  // namespace

void RunLoadAction(Program& program) {
    BeginLoad(program);
    ProcessingScreen& screen = program.processingScreen();
    screen.BuildCompetitorList();
    screen.EnableLoadedButtons();
    screen.show();
    program.unloadDataLoadScreen();
    program.resultsChanged();
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
    OpenWorkbookFile(program, *chosen, parent);
}

void OpenWorkbookFile(Program& program, const QString& path, QWidget* parent) {
    Competition& d = program.data();
    d.workbookPath = QFileInfo(path).absoluteFilePath();

    // The workbook of an earlier load is let go before the new one is opened, so that a file
    // that fails to open never leaves the old competition's workbook to be read or written.
    program.closeWorkbook();
    d.excelStarted = true;
    sheet::FileFault opening;
    std::unique_ptr<sheet::Workbook> wb =
        sheet::Workbook::open(d.workbookPath.toStdString(), &opening);
    if (!wb) {
        ui::ShowMessage(parent, store::FileFaultMessage(opening));
        return;
    }
    if (!wb->worksheet(1)) {
        ui::ShowMessage(parent, store::FileFaultMessage(wb->lastFault()));
        return;
    }
    program.setWorkbook(std::move(wb));

    bool competitorsRead = false;
    const store::Fault fault = ReadCompetition(program, &competitorsRead);
    if (fault) {
        ui::ShowMessage(parent, fault->message(FileName(program)));
        // After a stop half-way the results grid may still have the previous competition's
        // shape while the counts are already the new ones.
        program.processingScreen().KeepResultsGridInStep();
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
    // A workbook whose later results went into a file saved under a new name offers that file.
    const QString instead = fault ? QString() : program.processingScreen().OfferJournalRecovery();
    if (instead.isEmpty()) {
        // The logs of what arrived from outside go with the workbook once its identity is
        // settled: a copy from before it had one takes on its journal's first.
        program.attachObservationLogs();
        return;
    }
    program.closeWorkbook();
    ResetForReload(program);
    OpenWorkbookFile(program, instead, parent);
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
    // The first use of the settings screen creates it and runs its load step before the gate
    // count goes into its box.
    SettingsScreen& settings = program.settingsScreen();
    settings.EnsureLoaded();
    // A settings screen left from an earlier load had its details emptied by the reset; it
    // shows this workbook's, as a screen created by this load does.
    settings.ShowEventDetails();
    settings.SetGateCountText(gateText);

    if (store::Fault f = store::ReadClassTable(*ws, d)) return f;

    ProcessingScreen& screen = program.processingScreen();
    screen.SetUpClassTabs();
    screen.LayOutClassPages();
    settings.SetUpGateGrid();
    if (store::Fault f = settings.FillSettingsTables()) return f;
    settings.EmptyClassRowsBelowCount();
    screen.SetUpResultsGrid();
    d.appliedGateCount = d.gateCount;

    store::ResultRow row;
    for (int i = 1; i <= d.competitorCount; ++i) {
        const store::Fault f = store::ReadResultRow(*ws, d, i, &row);
        if (row.hasResult) {
            screen.ShowResultRow(i, row);
            // The gate points live in the data too, where registrations and take-backs find
            // them; the grid shows them.
            std::copy_n(row.gates.begin(), std::min<size_t>(row.gates.size(), kMaxGates),
                        d.competitors[i].gatePoints.begin());
        }
        if (f) return f;
    }

    screen.ShowClassPages();
    screen.RebuildStandings();
    settings.HideCellEditors();
    screen.show();
    settings.hide();
    return std::nullopt;
}

void ResetForReload(Program& program) {
    Competition& d = program.data();
    // The screens are cleared while the counts still describe the previous competition.
    program.processingScreen().ClearForReload();
    if (program.hasSettingsScreen()) program.settingsScreen().ClearForReload();
    const int count = std::clamp<int>(d.competitorCount, 0, kMaxCompetitors);
    for (int i = 1; i <= count; ++i) {
        Competitor& p = d.competitors[i];
        p.bib = 0;
        p.classNo = ClassValue::ofNumber(0);
        p.status = 0;
        p.runTime = 0;
        p.buoyPoints = 0;
        p.racePoints = 0;
        p.gatePoints.fill(QString());
    }
}

}  // namespace zalvik
