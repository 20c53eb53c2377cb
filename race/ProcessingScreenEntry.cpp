// Result entry on the processing screen: the official picks a competitor by bib, enters the
// run (minutes and seconds, a buoy per gate) or marks it DS, DF or DQ, and registers it. The
// screen only gathers what the panel holds into a request and shows what the result desk made
// of it (race/ResultDesk.h): the message of a refusal with the focus on the field to mend, or
// the competitor's row, the race points and the standings of a registration.

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>

#include "app/Numbers.h"
#include "app/Screens.h"
#include "race/Formatting.h"
#include "race/ProcessingScreen.h"
#include "race/ResultDesk.h"
#include "race/ResultEntry.h"
#include "ui/Dialogs.h"
#include "ui/Grid.h"
#include "ui/TabStrip.h"

namespace zalvik {

namespace {

constexpr int kFirstGateColumn = 5;  // results grid: gate g + 1 in column 5 + g

}  // namespace

void ProcessingScreen::connectEntryHandlers() {
    // Nothing is chosen at any gate until a competitor is picked; a gate left at 0 would count
    // as buoy 1 in the total.
    program_.data().gateBuoyChoice.fill(-1);

    connect(ゼッケン_, &QLineEdit::textChanged, this, [this] { onBibChanged(); });
    DSFQ_.onClick([this](int s) { onStatusClicked(s); });
    Gop_.onClick([this](int g) { onGateClicked(g); });
    ブイ_.onClick([this](int b) {
        takeEntryAsRun();
        // The official's choice replaces what the judges proposed there.
        takeGateFromJudges(std::clamp<int>(program_.data().currentGate, 0, kGateOptions - 1));
        onBuoyClicked(b);
    });
    // Only the official's own typing counts, not the boxes being filled from a stored result.
    for (QLineEdit* box : {分_, 秒_})
        connect(box, &QLineEdit::textEdited, this, [this] { takeEntryAsRun(); });
    connect(登録ボタン_, &QPushButton::clicked, this, [this] { onRegisterClicked(); });
}

void ProcessingScreen::onBibChanged() {
    Competition& d = program_.data();
    const QString typed = ゼッケン_->text();
    // A box the official has emptied names no competitor. Its value would be 0, and looking
    // that up would greet every deletion with "no such bib" (or, when the bib cells of some
    // competitors are empty, put one of them on the panel). A competitor whose bib is 0 is
    // still found by typing 0.
    if (typed.isEmpty()) {
        氏名_->clear();
        所属_->clear();
        return;
    }
    // The lookup runs on every change, so typing 12 looks up 1 first. While the official is
    // still typing, a bib that names nobody only empties the boxes: the message waits until the
    // bib is committed (Enter, Tab or leaving the box), so that it never steals a keystroke.
    const int i = SlotOfBib(d, TypedValue(typed));
    if (i == 0) {
        if (!ゼッケン_->isModified()) ui::ShowMessage(this, RefusalMessage(Refusal::UnknownBib));
        氏名_->clear();
        所属_->clear();
        return;
    }
    const Competitor& who = d.competitors[i];
    氏名_->setText(who.name);
    所属_->setText(who.affiliation);
    DSFQ_.deselectAll();
    if (who.status >= 0 && who.status < kStatusOptions) {
        DSFQ_.select(who.status);
    } else {
        // A status the screen has no option for (the sheet may hold any small number): no
        // option is shown, and registering without a new choice keeps the stored status.
        d.selectedStatus = who.status;
    }
    ShowStoredResult();
    // A new competitor starts at gate 1: the first buoy chosen goes there, not to the gate
    // the previous competitor ended on. Where the judges gave gates, at the first they did not.
    makeGateCurrent(firstGateToEnter());
}

int ProcessingScreen::slotOnPanel() const {
    const QString typed = ゼッケン_->text();
    return typed.isEmpty() ? 0 : SlotOfBib(program_.data(), TypedValue(typed));
}

void ProcessingScreen::onStatusClicked(int s) {
    program_.data().selectedStatus = static_cast<float>(s);
    if (s == 0) {
        ShowStoredResult();
        makeGateCurrent(0);
    }
}

void ProcessingScreen::takeEntryAsRun() {
    // A competitor recalled with DS, DF or DQ shows that status; an official who then types a
    // time or picks a buoy is entering a run, which a registration of the old status would
    // throw away. OK is shown without recalling the stored run over what is being typed.
    const int shown = DSFQ_.selected();
    if (shown < 1 || shown >= kStatusOptions) return;
    program_.data().selectedStatus = 0;
    DSFQ_.check(0);
}

void ProcessingScreen::onGateClicked(int g) {
    Competition& d = program_.data();
    d.currentGate = static_cast<int16_t>(g);
    showBuoyOptionsOf(g);
    // A gate that already has its buoy shows it again (which runs the buoy handler and
    // totals once more, to the same total). Looking at a gate chooses no buoy, so a status
    // chosen since stays.
    if (const int chosen = shownChoice(g); chosen >= 0) {
        ブイ_.check(chosen);
        onBuoyClicked(chosen);
    }
}

void ProcessingScreen::makeGateCurrent(int g) {
    Competition& d = program_.data();
    if (g < 0 || g >= std::min<int>(UsedGates(d), kGateOptions)) return;
    d.currentGate = static_cast<int16_t>(g);
    Gop_.check(g);
    showBuoyOptionsOf(g);
    // The buoy already chosen there is shown, without totalling again: 合計 keeps what it
    // shows (the stored total of a recalled result).
    if (const int chosen = shownChoice(g); chosen >= 0) ブイ_.check(chosen);
}

int ProcessingScreen::shownChoice(int g) const {
    const int chosen = program_.data().gateBuoyChoice[g];
    return !色_[g]->text().isEmpty() && chosen >= 0 && chosen < kBuoyOptions ? chosen : -1;
}

void ProcessingScreen::showBuoyOptionsOf(int g) {
    const Competition& d = program_.data();
    // The buoy options offered at this gate, with their scores; the others are hidden.
    const int offered = std::clamp<int>(d.gateBuoyCount[g + 1], 0, kBuoyOptions);
    for (int k = 1; k <= kBuoyOptions; ++k) {
        const bool shown = k <= offered;
        if (shown) {
            ブイ_.deselect(k - 1);
            ブイポイント_[k - 1]->setText(QStringLiteral("(%1)").arg(d.buoyScore[k]));
        }
        ブイ_[k - 1]->setVisible(shown);
        ブイポイント_[k - 1]->setVisible(shown);
    }
}

void ProcessingScreen::onBuoyClicked(int b) {
    Competition& d = program_.data();
    // Before any gate has been clicked the choice goes to gate 1.
    const int g = std::clamp<int>(d.currentGate, 0, kGateOptions - 1);
    色_[g]->setText(ブイ_[b]->text());
    d.gateBuoyChoice[g] = static_cast<int16_t>(b);
    SumBuoyPoints();
}

void ProcessingScreen::SumBuoyPoints() {
    合計_->setText(BuoyTotalText(ChosenBuoyTotal(program_.data())));
}

void ProcessingScreen::ShowStoredResult() {
    Competition& d = program_.data();
    const int gates = UsedGates(d);
    forgetJudgeValues();
    for (int g = 0; g < gates; ++g) {
        色_[g]->clear();
        Gop_.deselect(g);
        d.gateBuoyChoice[g] = -1;
    }
    ブイ_.deselectAll();
    分_->clear();
    秒_->clear();
    合計_->clear();
    RP_->clear();

    // The stored result is found through the results grid: a row whose bib column shows the
    // typed bib. Only status OK shows it; DS, DF and DQ leave the panel empty.
    const double typed = TypedValue(ゼッケン_->text());
    const int rows = std::min<int>(d.competitorCount, グリッド結果_->rows() - 1);
    for (int i = 1; i <= rows; ++i) {
        if (TypedValue(グリッド結果_->text(i, 0)) != typed) continue;
        if (DSFQ_.selected() != 0) {
            秒_->clear();
            合計_->clear();
            RP_->clear();
            continue;
        }
        const Competitor& who = d.competitors[i];
        // A row that holds only a status has no run to put back, whatever the status is now.
        if (!HasRun(who)) continue;
        const MinutesAndSeconds time = SplitRunTime(who.runTime);
        分_->setText(time.minutes);
        秒_->setText(time.seconds);
        合計_->setText(SingleText(who.buoyPoints));
        RP_->setText(SingleText(who.racePoints));
        // The gate choices come back from the stored gate points; the gate options stay
        // unselected and 合計 keeps the stored total.
        const std::vector<int> choices = RecoveredGateChoices(
            std::vector<QString>(who.gatePoints.begin(), who.gatePoints.begin() + gates), d);
        for (int g = 0; g < gates; ++g) {
            if (choices[g] < 0) continue;
            色_[g]->setText(ブイ_[choices[g]]->text());
            d.gateBuoyChoice[g] = static_cast<int16_t>(choices[g]);
        }
        return;
    }
    // No stored run to show: what the judges propose, if anything.
    offerJudgeValues();
}

ResultRequest ProcessingScreen::requestOfPanel() const {
    const Competition& d = program_.data();
    ResultRequest r;
    r.bib = TypedValue(ゼッケン_->text());
    r.status = ToInt16(d.selectedStatus).value_or(0);
    r.minutes = 分_->text();
    r.seconds = 秒_->text();
    std::copy_n(d.gateBuoyChoice.begin(), kMaxGates, r.buoyAtGate.begin());
    // 合計 stays empty until a buoy is chosen, and shows the stored total of a recalled run.
    if (!合計_->text().isEmpty()) r.buoyTotal = LeadingValue(合計_->text());
    return r;
}

void ProcessingScreen::onRegisterClicked() {
    const DeskOutcome out = program_.desk().registerResult(requestOfPanel());
    // A bib that names nobody was said when it was committed; the panel does not say it twice.
    if (out.refusal != Refusal::UnknownBib)
        for (const QString& message : out.messages()) ui::ShowMessage(this, message);
    if (!out.done() && out.refusal != Refusal::UnknownBib) {
        mend(out);
        return;
    }
    const Competition& d = program_.data();
    if (out.done()) {
        const Competitor& who = d.competitors[out.slot];
        showResultRow(out.slot);
        // A status has no race points to show.
        if (who.status == 0)
            RP_->setText(FormatHundredths(who.racePoints));
        else
            RP_->clear();
    }
    showStandings();
    // The standings of the registered competitor's class come in front, through the tabs so
    // that the selected tab and the page shown agree.
    for (int k = 1; out.done() && k <= std::clamp<int>(d.classCount, 0, kMaxClasses); ++k) {
        if (d.competitors[out.slot].classNo.equals(k)) {
            タブ_->select(k);
            break;
        }
    }
    program_.finishSave(this, out.save);
    // The boxes and the gates show the registered result now.
    markDeviceTime(false);
    forgetJudgeValues();
    returnToBib();
}

void ProcessingScreen::mend(const DeskOutcome& out) {
    const Competition& d = program_.data();
    QLineEdit* box = nullptr;
    switch (out.refusal) {
        case Refusal::NoTime:
        case Refusal::MinutesUnreadable:
            box = 分_;
            break;
        case Refusal::SecondsUnreadable:
        case Refusal::SecondsNotBelow60:
            box = 秒_;
            break;
        case Refusal::GateWithoutBuoy:
            focusGate(out.gate - 1);
            return;
        case Refusal::NoBuoyPoints:
            focusGate(std::max(FirstGateWithoutBuoy(d, d.gateBuoyChoice), 1) - 1);
            return;
        case Refusal::ZeroBuoyPoints:
            // A total of 0 has no one field to mend: the official stays where the keys were.
        default:
            return;
    }
    box->setFocus(Qt::OtherFocusReason);
    box->selectAll();
}

void ProcessingScreen::showResultRow(int c) {
    const Competition& d = program_.data();
    const Competitor& who = d.competitors[c];
    ui::Grid* grid = グリッド結果_;
    if (c >= grid->rows()) return;
    if (!HasRegisteredResult(who)) {
        // A result taken back leaves the row as a competitor without a result has it: empty.
        for (int col = 0; col < grid->cols(); ++col) grid->setText(c, col, QString());
        return;
    }
    // The bib and the name are written with every result: a competitor marked DS before any
    // run has an empty row, which would otherwise show the status without saying whose it is.
    grid->setText(c, 0, QString::number(who.bib));
    grid->setText(c, 1, who.name);
    if (who.status != 0) {
        const QString word = who.status > 0 && who.status < static_cast<int>(d.statusWord.size())
                                 ? d.statusWord[who.status]
                                 : QString();
        grid->setText(c, 2, QStringLiteral("-"));
        grid->setText(c, 3, QStringLiteral("-"));
        grid->setText(c, 4, word);
    } else {
        grid->setText(c, 2, FormatHundredths(who.runTime));
        grid->setText(c, 3, SingleText(who.buoyPoints));
        grid->setText(c, 4, FormatHundredths(who.racePoints));
    }
    const int gates = std::min(UsedGates(d), grid->cols() - kFirstGateColumn);
    for (int g = 0; g < gates; ++g) grid->setText(c, kFirstGateColumn + g, who.gatePoints[g]);
}

}  // namespace zalvik
