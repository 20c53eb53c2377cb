// Taking back a result on the processing screen, and rebuilding results from the journal.
//
// A run registered on the wrong bib is taken back from the competitor's row of the results grid
// or the competitor list (right-click, or the context-menu key): after a Yes/No question naming
// the competitor, the result desk takes it back on the road of a registration (journal, data,
// input sheet, standings, save), and this screen shows the competitor as if never registered.
//
// On loading, the journal is compared with the workbook; registrations and take-backs it lacks
// (a workbook restored from its backup, a save that never reached the disk) are offered back,
// and the desk puts them back through the routine that applies every journal line.

#include <QAction>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <functional>

#include "app/Numbers.h"
#include "app/Screens.h"
#include "race/Formatting.h"
#include "race/ProcessingScreen.h"
#include "race/ResultDesk.h"
#include "sheet/Workbook.h"
#include "ui/Dialogs.h"
#include "ui/Grid.h"

namespace zalvik {

namespace {

// Passes the context-menu requests of a grid (a right-click on its cells, or the context-menu
// key while it has the focus) to the screen, with their position and whether the keyboard
// asked.
class ContextMenuWatcher : public QObject {
  public:
    using Handler = std::function<void(const QPoint&, bool)>;
    ContextMenuWatcher(QObject* parent, Handler handler)
        : QObject(parent), handler_(std::move(handler)) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() != QEvent::ContextMenu) return QObject::eventFilter(watched, e);
        auto* menu = static_cast<QContextMenuEvent*>(e);
        handler_(menu->pos(), menu->reason() == QContextMenuEvent::Keyboard);
        return true;
    }

  private:
    Handler handler_;
};

}  // namespace

void ProcessingScreen::connectTakeBack() {
    for (ui::Grid* grid : {グリッド結果_, グリッドリスト_}) {
        auto* watcher = new ContextMenuWatcher(
            grid, [this, grid](const QPoint& pos, bool key) { showTakeBackMenu(grid, pos, key); });
        // A click reaches the cells' area; the context-menu key reaches the grid with the focus.
        grid->viewport()->installEventFilter(watcher);
        grid->installEventFilter(watcher);
    }
}

int ProcessingScreen::slotForContextMenu(ui::Grid* grid, const QPoint& pos,
                                         bool fromKeyboard) const {
    int row = 0;
    if (fromKeyboard) {
        row = grid->currentRow();
    } else {
        const QModelIndex index = grid->indexAt(pos);
        if (!index.isValid()) return 0;
        row = index.row() + grid->fixedRows();
    }
    const Competition& d = program_.data();
    if (row < 1 || row > std::min<int>(d.competitorCount, kMaxCompetitors)) return 0;
    return row;
}

void ProcessingScreen::showTakeBackMenu(ui::Grid* grid, const QPoint& pos, bool fromKeyboard) {
    const int slot = slotForContextMenu(grid, pos, fromKeyboard);
    if (slot == 0) return;
    const Competitor& who = program_.data().competitors[slot];
    // Only a result or a status can be taken back.
    if (!HasRegisteredResult(who)) return;
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("取消メニュー"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* takeBack = menu->addAction(QStringLiteral("結果を取り消す"));
    connect(takeBack, &QAction::triggered, this, [this, slot] { onTakeBackChosen(slot); });
    // From the keyboard the menu opens at the row's cells; from the mouse where it was clicked.
    QPoint at = pos;
    if (fromKeyboard) {
        const QRect cell = grid->cellRect(slot, 0);
        at = cell.isEmpty() ? QPoint(0, 0) : cell.center() - grid->viewport()->pos();
    }
    menu->popup(grid->viewport()->mapToGlobal(at));
    // From the keyboard its one item is ready for Enter.
    if (fromKeyboard) menu->setActiveAction(takeBack);
}

void ProcessingScreen::onTakeBackChosen(int slot) {
    const Competition& d = program_.data();
    if (slot < 1 || slot > d.competitorCount) return;
    const Competitor& who = d.competitors[slot];
    if (!HasRegisteredResult(who)) return;
    const QString question = QStringLiteral("ゼッケン%1 %2 の結果を取り消しますか？")
                                 .arg(who.bib)
                                 .arg(who.name.trimmed());
    // Whatever the answer, the official goes on entering runs from the bib box: left in the
    // grid, the next run typed would go nowhere.
    if (ui::AskYesNo(this, question)) {
        const DeskOutcome out = program_.desk().takeBack(slot);
        for (const QString& message : out.messages()) ui::ShowMessage(this, message);
        if (out.done()) showChangedRow(out.slot);
        showStandings();
        program_.finishSave(this, out.save);
    }
    returnToBib();
}

void ProcessingScreen::emptyEntryPanel() {
    Competition& d = program_.data();
    ゼッケン_->clear();
    氏名_->clear();
    所属_->clear();
    分_->clear();
    秒_->clear();
    合計_->clear();
    RP_->clear();
    Gop_.deselectAll();
    for (int g = 0; g < kGateOptions; ++g) {
        色_[g]->clear();
        d.gateBuoyChoice[g] = -1;
    }
    ブイ_.deselectAll();
    DSFQ_.deselectAll();
    d.selectedStatus = 0;
    forgetJudgeValues();
}

void ProcessingScreen::showChangedRow(int c) {
    showResultRow(c);
    // The panel showing a competitor whose result is gone shows nothing of it.
    const Competitor& who = program_.data().competitors[c];
    if (!HasRegisteredResult(who) && !ゼッケン_->text().isEmpty() &&
        TypedValue(ゼッケン_->text()) == who.bib)
        emptyEntryPanel();
}

void ProcessingScreen::showChangedRows(const std::vector<store::JournalEntry>& entries) {
    for (const store::JournalEntry& e : entries)
        if (const int c = SlotOfBib(program_.data(), e.bib)) showChangedRow(c);
    showStandings();
}

QString ProcessingScreen::ShownBib() const { return ゼッケン_->text(); }

void ProcessingScreen::ShowTakenIn(const std::vector<store::JournalEntry>& entries,
                                   const QString& shownBib) {
    BuildCompetitorList();
    showChangedRows(entries);
    if (shownBib.isEmpty()) return;
    ゼッケン_->setText(shownBib);
    ShowStoredResult();
    const Competition& d = program_.data();
    if (const int c = SlotOfBib(d, TypedValue(shownBib));
        c != 0 && HasRun(d.competitors[c]) && d.competitors[c].status == 0)
        RP_->setText(FormatHundredths(d.competitors[c].racePoints));
}

QString ProcessingScreen::OfferJournalRecovery() {
    const Competition& d = program_.data();
    sheet::Workbook* book = program_.workbook();
    sheet::Worksheet* ws = book ? book->worksheet(1) : nullptr;
    if (!ws) return {};
    const QString path = store::JournalPathFor(QString::fromStdString(book->path()));
    const QString fileName = QFileInfo(path).fileName();
    const store::JournalReading reading = store::ReadJournal(path);
    if (!reading.exists) return {};
    // A journal that cannot be read, or only in part, says so once; the load goes on.
    const QString problem = reading.message(fileName);
    if (reading.problem != store::JournalReading::Problem::None) {
        ui::ShowMessage(this, problem);
        return {};
    }
    ResultDesk& desk = program_.desk();
    const store::JournalShare share = store::ShareOf(reading, desk.journalOwner());
    // A copy of the workbook from before its first journaled change takes on the identity its
    // entries carry, so that what it journals from now on is known as its own.
    desk.adoptJournalIdentity(share.id);
    // Another workbook's lines are left where they are; the journal is named once, until this
    // workbook journals there too.
    if (share.other && !share.hasOwnEntries)
        ui::ShowMessage(this, store::OtherWorkbookMessage(*share.other, fileName));
    if (!share.continuedIn.isEmpty()) {
        const QString other = QFileInfo(path).dir().filePath(share.continuedIn);
        if (QFileInfo(other).isFile() &&
            ui::AskYesNo(this, store::ContinuedElsewhereQuestion(share.continuedIn)))
            return other;
    }
    const store::JournalPending pending =
        store::PendingEntries(share.entries, *ws, d.competitorCount);
    if (!pending.unknownBibs.empty()) {
        ui::ShowMessage(this, store::OtherCompetitionMessage(pending.unknownBibs, fileName));
        return {};
    }
    if (!problem.isEmpty()) ui::ShowMessage(this, problem);
    if (pending.toApply.empty()) return {};
    if (!ui::AskYesNo(this, store::RecoveryQuestion(pending.toApply, fileName))) return {};
    const DeskOutcome out = desk.putBack(pending.toApply);
    showChangedRows(pending.toApply);
    program_.finishSave(this, out.save);
    return {};
}

}  // namespace zalvik
