// The gate judges on the processing screen: the button that opens their set-up dialog (it
// stands beside the timing button in the strip above the picture, which places both), and what
// their entries propose on the entry panel. The judges only propose. Their buoys fill the gates
// of a competitor without a registered result as the device's time fills the time boxes:
// tinted, with who sent them and when in the tip. The official's choice at a gate replaces
// them, a judge's DQ is a note the official may follow (F8), and only the official's
// registration sends the panel down the result desk's road.

#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>

#include "app/Numbers.h"
#include "app/Screens.h"
#include "race/JudgeBoard.h"
#include "race/JudgeSetupDialog.h"
#include "race/ProcessingScreen.h"
#include "race/TimingList.h"
#include "ui/Controls.h"
#include "ui/Twips.h"

namespace zalvik {

namespace {

// The note of the judges' DQs lies in the gap between the race points and the register button,
// inside the entry panel's frame, which keeps its size and place when the window grows.
constexpr ui::Rect kDqNoteRect{1785, 5025, 1515, 540};

}  // namespace

void ProcessingScreen::buildJudgesArea() {
    審判ボタン_ = new QPushButton(QStringLiteral("審　判"), this);
    審判ボタン_->setObjectName(QStringLiteral("審判ボタン"));
    審判ボタン_->setFocusPolicy(Qt::NoFocus);
    connect(審判ボタン_, &QPushButton::clicked, this, [this] {
        if (!judgesDialog_) {
            judgesDialog_ = new JudgeSetupDialog(program_, this);
            judgesDialog_->setWindowFlag(Qt::Window);
        }
        judgesDialog_->show();
        judgesDialog_->raise();
        judgesDialog_->activateWindow();
    });

    審判DQ_ = ui::MakeLabel(登録ボタン_->parentWidget(), QStringLiteral("審判DQ"), {}, kDqNoteRect);
    審判DQ_->setWordWrap(true);
    審判DQ_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    審判DQ_->setStyleSheet(QStringLiteral("QLabel{color:#a00000;background:#fff0e0}"));
    審判DQ_->hide();

    // Entries are taken in the live server's thread; the screen follows them in its own.
    connect(&program_.judgeBoard(), &judges::JudgeBoard::entriesChanged, this, [this] {
        offerJudgeValues();
        ShowTimingList(false);
    });
}

void ProcessingScreen::offerJudgeValues() {
    Competition& d = program_.data();
    const int slot = slotOnPanel();
    // A registered result is never written over by the judges: the list shows where they
    // differ from it.
    if (slot == 0 || HasRegisteredResult(d.competitors[slot])) return;
    const judges::BibProposals proposals =
        program_.judgeBoard().proposalsFor(d.competitors[slot].bib);
    bool changed = false;
    for (int g = 0; g < UsedGates(d); ++g) {
        if (gateFrom_[g] == GateFrom::Official) continue;
        const judges::GateProposal& at = proposals.gates[g];
        const int offered = std::clamp<int>(d.gateBuoyCount[g + 1], 0, kBuoyOptions);
        GateFrom from = GateFrom::Nobody;
        int choice = -1;
        QString label, tip;
        QColor tint;
        if (at.kind == judges::GateProposal::Kind::Buoy && at.buoy >= 1 && at.buoy <= offered) {
            from = GateFrom::Judges;
            choice = at.buoy - 1;
            label = ブイ_[choice]->text();
            tint = kJudgeTint;
            tip = JudgeSentText(at.entries.back());
        } else if (at.kind == judges::GateProposal::Kind::Disagreement) {
            // Left open for the official, with every judge's value in the tip.
            from = GateFrom::Disagreement;
            label = QStringLiteral("不一致");
            tint = kDisagreementTint;
            QStringList lines;
            for (const judges::JudgeEntry& e : at.entries)
                lines << JudgeSentText(e) + u' ' +
                             (e.buoy >= 1 && e.buoy <= kBuoyOptions ? ブイ_[e.buoy - 1]->text()
                                                                    : QString::number(e.buoy));
            tip = lines.join(u'\n');
        } else if (gateFrom_[g] == GateFrom::Nobody) {
            continue;
        }
        if (gateFrom_[g] == from && d.gateBuoyChoice[g] == choice && 色_[g]->toolTip() == tip)
            continue;
        gateFrom_[g] = from;
        d.gateBuoyChoice[g] = static_cast<int16_t>(choice);
        色_[g]->setText(label);
        markJudgeGate(g, tint, tip);
        changed = true;
    }
    if (changed) {
        if (std::any_of(d.gateBuoyChoice.begin(), d.gateBuoyChoice.begin() + UsedGates(d),
                        [](int16_t c) { return c >= 0; }))
            SumBuoyPoints();
        else
            合計_->clear();
        makeGateCurrent(d.currentGate);  // its buoy option shows what the gate holds now
    }

    QStringList notes, tips;
    for (const judges::JudgeEntry& e : proposals.dq) {
        notes << QStringLiteral("ゲート%1 DQ（%2）").arg(e.gate).arg(JudgeSourceText(e));
        tips << notes.back() + (e.reason.isEmpty() ? QString() : QStringLiteral("：") + e.reason) +
                    u' ' + e.received.toString(QStringLiteral("HH:mm:ss"));
    }
    審判DQ_->setText(notes.join(u'\n'));
    審判DQ_->setToolTip(tips.join(u'\n') + QStringLiteral("\nDQ にするときは F8"));
    審判DQ_->setVisible(!notes.isEmpty());
}

void ProcessingScreen::markJudgeGate(int g, const QColor& tint, const QString& tip) {
    QLabel* label = 色_[g];
    if (tint.isValid()) {
        QPalette tinted = label->palette();
        tinted.setColor(QPalette::Window, tint);
        label->setPalette(tinted);
    } else {
        label->setPalette(QPalette());
    }
    label->setAutoFillBackground(tint.isValid());
    label->setToolTip(tip);
}

void ProcessingScreen::forgetJudgeValues() {
    for (int g = 0; g < kGateOptions; ++g) {
        if (gateFrom_[g] == GateFrom::Disagreement) 色_[g]->clear();
        if (gateFrom_[g] == GateFrom::Judges || gateFrom_[g] == GateFrom::Disagreement)
            markJudgeGate(g, {}, {});
        gateFrom_[g] = GateFrom::Nobody;
    }
    審判DQ_->clear();
    審判DQ_->hide();
}

void ProcessingScreen::takeGateFromJudges(int g) {
    if (g < 0 || g >= kGateOptions || gateFrom_[g] == GateFrom::Official) return;
    if (gateFrom_[g] != GateFrom::Nobody) markJudgeGate(g, {}, {});
    gateFrom_[g] = GateFrom::Official;
}

int ProcessingScreen::firstGateToEnter() const {
    const int gates = UsedGates(program_.data());
    const auto end = gateFrom_.begin() + gates;
    if (std::find(gateFrom_.begin(), end, GateFrom::Judges) == end) return 0;
    const auto open =
        std::find_if(gateFrom_.begin(), end, [](GateFrom f) { return f != GateFrom::Judges; });
    return open == end ? 0 : static_cast<int>(open - gateFrom_.begin());
}

bool ProcessingScreen::runFromOutside() const {
    const Competition& d = program_.data();
    const int gates = UsedGates(d);
    if (!deviceTimeShown_ || gates == 0 || DSFQ_.selected() != 0 || !審判DQ_->text().isEmpty())
        return false;
    for (int g = 0; g < gates; ++g)
        if (gateFrom_[g] != GateFrom::Judges || d.gateBuoyChoice[g] < 0) return false;
    return true;
}

}  // namespace zalvik
