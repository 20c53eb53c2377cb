// How the program reports the saves of the result desk, and what it does when another program
// (typically the spreadsheet program the official opened it in) has saved the file meanwhile:
// the questions and messages are the screens'; reading, putting back and saving are the desk's.

#include <QFileInfo>

#include "app/Screens.h"
#include "output/ResultsSheet.h"
#include "race/ProcessingScreen.h"
#include "race/ResultDesk.h"
#include "race/TakeInDialog.h"
#include "sheet/Workbook.h"
#include "store/FileMessages.h"
#include "store/Journal.h"
#include "store/ScreenLoader.h"
#include "ui/Dialogs.h"

namespace zalvik {
namespace {

// The last entry of `action` among `entries`, nullptr when there is none.
const store::JournalEntry* LastOf(const std::vector<store::JournalEntry>& entries,
                                  store::JournalEntry::Action action) {
    for (auto it = entries.rbegin(); it != entries.rend(); ++it)
        if (it->action == action) return &*it;
    return nullptr;
}

QString FileNameOf(const std::string& path) {
    return QFileInfo(QString::fromStdString(path)).fileName();
}

}  // namespace

QString SavedUnderNewNameMessage(const sheet::SaveResult& saved) {
    return store::SaveMessage(saved) +
           QStringLiteral("次からは「%1」を読み込んでください。").arg(FileNameOf(saved.savedPath));
}

bool Program::saveWorkbook(QWidget* parent, bool reportFailure) {
    return finishSave(parent, desk_->save(), reportFailure);
}

bool Program::finishSave(QWidget* parent, const SaveOutcome& outcome, bool reportFailure) {
    SaveOutcome saved = outcome;
    if (saved.kind == SaveOutcome::Kind::FileChanged) {
        if (ui::AskYesNo(parent, QStringLiteral("ブック「%1」はほかのプログラムで変更されています。"
                                                "その変更を読み込み、ここで入力した結果や設定を"
                                                "加えて同じファイルに保存しますか？")
                                     .arg(FileNameOf(workbook_->path())))) {
            if (const std::optional<bool> taken = takeInOtherProgramsChanges(parent, reportFailure))
                return *taken;
            // Nothing was taken in: the workbook held here is saved beside the file, as on No.
        }
        saved = desk_->saveUnderNewName();
    }
    if (saved.kind == SaveOutcome::Kind::SavedUnderNewName) {
        if (!saved.journalProblem.isEmpty()) ui::ShowMessage(parent, saved.journalProblem);
        ui::ShowMessage(parent, SavedUnderNewNameMessage(saved.result));
    } else if (saved.kind == SaveOutcome::Kind::Failed && reportFailure) {
        ui::ShowMessage(parent, store::SaveMessage(saved.result));
    }
    return saved.inFile();
}

bool Program::releaseWorkbook(QWidget* parent) {
    if (workbook_ && workbook_->hasUnsavedChanges() && !saveWorkbook(parent, false)) {
        ui::ShowMessage(parent,
                        QStringLiteral("結果がまだファイル「%1」に保存されていないため、保存"
                                       "できる状態にしてから（USBメモリや書き込みの許可を"
                                       "確かめて）もう一度押してください。")
                            .arg(FileNameOf(workbook_->path())));
        return false;
    }
    closeWorkbook();
    return true;
}

std::optional<bool> Program::takeInOtherProgramsChanges(QWidget* parent, bool reportFailure) {
    const std::string path = workbook_->path();
    const QString file = FileNameOf(path);
    sheet::FileFault opening;
    std::unique_ptr<sheet::Workbook> fresh = sheet::Workbook::open(path, &opening);
    if (!fresh || !fresh->worksheet(1)) {
        ui::ShowMessage(parent, store::FileFaultMessage(fresh ? fresh->lastFault() : opening));
        return std::nullopt;
    }
    // The same file stays open, so this session's journal entries stay this session's.
    const std::vector<store::JournalEntry> session = desk_->journaledThisSession();
    const store::JournalOwner owner = desk_->journalOwner();
    const QList<QWidget*> shown = shownScreens();
    const QString shownBib = processingScreen().ShownBib();
    std::unique_ptr<sheet::Workbook> ours = std::move(workbook_);

    ResetForReload(*this);
    workbook_ = std::move(fresh);
    // The backup beside the file stays this program's last copy, not the other program's.
    workbook_->keepBackupOf(*ours);
    if (!owner.id.isEmpty())
        workbook_->setCustomProperty(store::kWorkbookIdProperty, owner.id.toStdString());
    // The settings the official set here go back into the settings block before the
    // competition is read, so that the screens are built from them and not from the file's.
    if (const store::JournalEntry* set = LastOf(session, store::JournalEntry::Action::Settings))
        store::WriteCells(*workbook_->worksheet(1), set->settingsCells);
    if (const store::Fault fault = ReadCompetition(*this)) {
        // The file as the other program left it cannot be read as a competition, so nothing of
        // it is taken in: the workbook held here, which has every result, is read back.
        ui::ShowMessage(parent, fault->message(file));
        ResetForReload(*this);
        workbook_ = std::move(ours);
        ReadCompetition(*this);
        processingScreen().ShowTakenIn({}, shownBib);
        showOnly(shown);
        return std::nullopt;
    }
    // Every result the journal holds for this workbook, of whichever session, goes back when
    // the file lacks it; this session's entries come last, as the latest word on each bib
    // (they include any line the journal could not take).
    const QString journalPath = store::JournalPathFor(QString::fromStdString(path));
    const QString journalFile = QFileInfo(journalPath).fileName();
    std::vector<store::JournalEntry> entries =
        store::ShareOf(store::ReadJournal(journalPath), owner).entries;
    entries.insert(entries.end(), session.begin(), session.end());
    TakeInPlan plan = desk_->planTakeIn(entries);
    // A result the file holds otherwise than the journal may be a correction made there: the
    // official keeps the file's or the journal's.
    if (!plan.conflicts.empty()) {
        const std::vector<bool> keepJournal =
            TakeInDialog::Ask(parent, plan.conflicts, file, journalFile);
        for (size_t i = 0; i < plan.conflicts.size(); ++i)
            if (keepJournal[i]) plan.toApply.push_back(plan.conflicts[i].journal);
    }
    const int putBack = desk_->takeIn(plan.toApply);
    processingScreen().ShowTakenIn(plan.toApply, shownBib);
    if (!plan.unknownBibs.empty()) {
        QStringList bibs;
        for (int b : plan.unknownBibs) bibs << QString::number(b);
        ui::ShowMessage(
            parent,
            QStringLiteral("ブック「%1」にはゼッケン %2 の選手がいなくなったため、その"
                           "結果は入れられませんでした（記録ファイル「%3」に残っています）。")
                .arg(file, bibs.join(QStringLiteral("、")), journalFile));
    }
    if (putBack > 0)
        ui::ShowMessage(parent, QStringLiteral("ブック「%1」にほかのプログラムで保存された内容を"
                                               "読み込み、そこになかった登録・取消%2件を記録"
                                               "ファイルから入れ直しました。")
                                    .arg(file)
                                    .arg(putBack));
    // The results sheet written this session is written again from the standings as they now
    // stand; the file's worksheet 2 may be an older one.
    const store::JournalEntry* run = LastOf(session, store::JournalEntry::Action::ResultsSheet);
    if (run && run->classNo >= 1 && run->classNo <= data_.classCount) {
        data_.outputClass = static_cast<int16_t>(run->classNo);
        WriteResultsSheet(data_, workbook_.get());
    }
    showOnly(shown);
    desk_->publish();
    return finishSave(parent, desk_->saveUnderNewName(), reportFailure);
}

void Program::showOnly(const QList<QWidget*>& shown) {
    for (QWidget* w : existingScreens()) w->setVisible(shown.contains(w));
}

}  // namespace zalvik
