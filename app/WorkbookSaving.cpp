// How the program saves the workbook after a change, and what it does when another program
// (typically the spreadsheet program the official opened it in) has saved the file meanwhile.

#include <QFileInfo>

#include "app/Screens.h"
#include "output/ResultsSheet.h"
#include "race/ProcessingScreen.h"
#include "sheet/Workbook.h"
#include "store/FileMessages.h"
#include "store/Journal.h"
#include "store/ScreenLoader.h"
#include "ui/Dialogs.h"

namespace zalvik {
namespace {

// Marks a reread as running for as long as it puts this session's changes back, so that the
// save ending it asks no question again.
class TakingInScope {
  public:
    explicit TakingInScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~TakingInScope() { flag_ = false; }
    TakingInScope(const TakingInScope&) = delete;
    TakingInScope& operator=(const TakingInScope&) = delete;

  private:
    bool& flag_;
};

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
    if (!workbook_ || !workbook_->hasUnsavedChanges()) return true;
    if (!takingInChanges_ && workbook_->changedOnDisk() &&
        ui::AskYesNo(parent,
                     QStringLiteral("ブック「%1」はほかのプログラムで変更されています。その変更を"
                                    "読み込み、ここで入力した結果や設定を加えて同じファイルに"
                                    "保存しますか？")
                         .arg(FileNameOf(workbook_->path())))) {
        if (const std::optional<bool> taken = takeInOtherProgramsChanges(parent, reportFailure))
            return *taken;
        // Nothing was taken in: the workbook held here is saved beside the file, as on No.
    }
    if (!journalId_.isEmpty() && workbook_->customProperty(store::kWorkbookIdProperty).empty())
        workbook_->setCustomProperty(store::kWorkbookIdProperty, journalId_.toStdString());
    const std::string before = workbook_->path();
    const sheet::SaveResult saved = workbook_->save();
    if (saved.savedUnderNewName) keepTimingWithWorkbook(true);
    if (saved.savedUnderNewName) {
        // The original's journal says where its later results are, for a later load of it.
        store::JournalEntry moved;
        moved.action = store::JournalEntry::Action::Continuation;
        moved.details << FileNameOf(saved.savedPath);
        const std::optional<QString> failed =
            journal_.append(QString::fromStdString(before), moved, journalOwner());
        if (failed && !failed->isEmpty()) ui::ShowMessage(parent, *failed);
        ui::ShowMessage(parent, SavedUnderNewNameMessage(saved));
    } else if (!saved.ok && reportFailure)
        ui::ShowMessage(parent, store::SaveMessage(saved));
    return saved.ok;
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
    const std::vector<store::JournalEntry> session = journal_.sessionEntries();
    const store::JournalOwner owner = journalOwner();
    const QList<QWidget*> shown = shownScreens();
    const QString shownBib = processingScreen().ShownBib();
    TakingInScope scope(takingInChanges_);
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
        processingScreen().TakeInReread({}, shownBib);
        showOnly(shown);
        return std::nullopt;
    }
    // Every result the journal holds for this workbook, of whichever session, goes back when
    // the file lacks it; this session's entries come last, as the latest word on each bib
    // (they include any line the journal could not take).
    const QString journalPath = store::JournalPathFor(QString::fromStdString(path));
    std::vector<store::JournalEntry> entries =
        store::ShareOf(store::ReadJournal(journalPath), owner).entries;
    entries.insert(entries.end(), session.begin(), session.end());
    const store::JournalPending pending =
        store::PendingEntries(entries, *workbook_->worksheet(1), data_.competitorCount);
    const int putBack = processingScreen().TakeInReread(pending.toApply, shownBib);
    if (!pending.unknownBibs.empty()) {
        QStringList bibs;
        for (int b : pending.unknownBibs) bibs << QString::number(b);
        ui::ShowMessage(
            parent,
            QStringLiteral("ブック「%1」にはゼッケン %2 の選手がいなくなったため、その"
                           "結果は入れられませんでした（記録ファイル「%3」に残っています）。")
                .arg(file, bibs.join(QStringLiteral("、")), QFileInfo(journalPath).fileName()));
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
    resultsChanged();
    return saveWorkbook(parent, reportFailure);
}

void Program::showOnly(const QList<QWidget*>& shown) {
    for (QWidget* w : existingScreens()) w->setVisible(shown.contains(w));
}

}  // namespace zalvik
