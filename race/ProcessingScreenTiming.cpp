// Times from the timing device on the processing screen. The official still checks the time,
// enters the buoys and registers; the device only saves typing the time and reading it off a
// paper strip. Nothing here appears until it is used: the button that opens the set-up dialog
// stands over a corner of the picture, the list of received times and the note about the
// connection only while there is something to show, so a race without a device sees the screen
// as it always was.

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <functional>

#include "app/Numbers.h"
#include "app/Screens.h"
#include "race/ProcessingScreen.h"
#include "race/TimingList.h"
#include "race/TimingSetupDialog.h"
#include "timing/TimingBoard.h"
#include "timing/TimingLink.h"
#include "ui/Controls.h"
#include "ui/Twips.h"

namespace zalvik {

namespace {

// The timing area lies over the picture and a little around it, between the competitor frame
// and the button column, in twips from the picture's top-left corner. The button is part of
// the picture, in its lower right corner; the list and the note, made only when there is
// something to show, lie over the rest of it.
constexpr ui::Rect kListRect{-525, -210, 4365, 1980};
constexpr ui::Rect kNoteRect{-525, 1770, 2580, 480};
constexpr ui::Rect kButtonRect{2100, 1770, 1200, 480};
// The live page's note, once the list covers the picture: over the list's foot, just above the
// timing note.
constexpr ui::Rect kLiveNoteRect{-525, 1290, 2580, 480};

// The tint of time boxes filled from the device.
const QColor kDeviceTint(214, 234, 255);

// Runs a function whenever the watched widget moves or changes size.
class GeometryWatcher : public QObject {
  public:
    GeometryWatcher(QObject* parent, std::function<void()> onChange)
        : QObject(parent), onChange_(std::move(onChange)) {}

  protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Move || e->type() == QEvent::Resize) onChange_();
        return false;
    }

  private:
    std::function<void()> onChange_;
};

const timing::ReceivedRun* RunWithId(const timing::TimingBoard& board, int id) {
    const auto& runs = board.runs();
    for (auto it = runs.rbegin(); it != runs.rend(); ++it)
        if (it->id == id) return &*it;
    return nullptr;
}

}  // namespace

void ProcessingScreen::buildTimingArea() {
    計時ボタン_ = new QPushButton(QStringLiteral("計　時"), picture_);
    計時ボタン_->setObjectName(QStringLiteral("計時ボタン"));
    計時ボタン_->setFocusPolicy(Qt::NoFocus);
    ui::Place(計時ボタン_, kButtonRect.left, kButtonRect.top, kButtonRect.width,
              kButtonRect.height);
    picture_->installEventFilter(new GeometryWatcher(this, [this] { placeTimingArea(); }));

    connect(計時ボタン_, &QPushButton::clicked, this, [this] {
        if (!timingDialog_) {
            timingDialog_ = new TimingSetupDialog(program_, this);
            timingDialog_->setWindowFlag(Qt::Window);
        }
        timingDialog_->show();
        timingDialog_->raise();
        timingDialog_->activateWindow();
    });

    const timing::TimingBoard& board = program_.timingBoard();
    const timing::TimingLink& link = program_.timingLink();
    connect(&board, &timing::TimingBoard::runsChanged, this, [this] {
        ShowTimingList(false);
        // A time that arrives while its competitor is already picked is offered as well.
        offerDeviceTime();
    });
    connect(&link, &timing::TimingLink::stateChanged, this, [this] { showTimingNote(); });
    // A log that cannot be written is said at once, also for a line that changed no run.
    connect(&link, &timing::TimingLink::bytesReceived, this, [this] { showTimingNote(); });

    // After the entry handlers, so that the competitor's stored result is on the panel first.
    connect(ゼッケン_, &QLineEdit::textChanged, this, [this] { offerDeviceTime(); });
    for (QLineEdit* box : {分_, 秒_})
        connect(box, &QLineEdit::textChanged, this, [this] {
            if (!fillingDeviceTime_) markDeviceTime(false);
        });
    ShowTimingList();
}

// The list is made when the first time arrives, so that a race without a device has on its
// screen exactly the widgets it always had.
void ProcessingScreen::makeTimingList() {
    計時一覧_ = new TimingListView(this);
    計時一覧_->setObjectName(QStringLiteral("計時一覧"));
    timingModel_ = new TimingListModel(program_.timingBoard(), program_.data(), 計時一覧_);
    計時一覧_->setModel(timingModel_);
    計時一覧_->setUpColumns();
    計時一覧_->setToolTip(
        QStringLiteral("ダブルクリックまたは Enter：この時間を選んでいる選手のタイムに入れる"));
    connect(計時一覧_, &TimingListView::lineChosen, this,
            [this](int row) { onTimingLineChosen(row); });
    placeTimingArea();
}

void ProcessingScreen::placeTimingArea() {
    const QRect at = ui::GeometryTwips(picture_);
    auto place = [&](QWidget* w, const ui::Rect& r) {
        ui::Place(w, at.left() + r.left, at.top() + r.top, r.width, r.height);
    };
    if (計時一覧_) place(計時一覧_, kListRect);
    if (計時メモ_) place(計時メモ_, kNoteRect);
    // Left in the picture, the note of a live page that cannot be written would lie hidden under
    // the list: it comes out of the picture and stands in front of the list.
    if (計時一覧_ && 速報状態_) {
        if (速報状態_->parentWidget() != this) {
            速報状態_->setParent(this);
            速報状態_->setVisible(!速報状態_->text().isEmpty());
        }
        place(速報状態_, kLiveNoteRect);
        速報状態_->raise();
    }
}

void ProcessingScreen::ShowTimingList(bool competitorsChanged) {
    if (!計時ボタン_) return;  // before the timing area is built
    const bool any = !program_.timingBoard().runs().empty();
    if (any && !計時一覧_) {
        makeTimingList();
        competitorsChanged = true;  // a new list knows no competitor yet
    }
    if (計時一覧_) {
        timingModel_->refresh(competitorsChanged);
        if (any != 計時一覧_->isVisible()) 計時一覧_->setVisible(any);
    }
    showTimingNote();
}

void ProcessingScreen::showTimingNote() {
    QStringList lines;
    const timing::TimingLink& link = program_.timingLink();
    // A connection on its way is no news; one that failed or broke off is.
    if (link.state() == timing::TimingLink::State::Lost)
        lines << QStringLiteral("計時: ") + link.statusText();
    if (const QString problem = program_.timingBoard().logProblem(); !problem.isEmpty())
        lines << problem;
    const QString text = lines.join(QLatin1Char('\n'));
    if (!計時メモ_) {
        if (text.isEmpty()) return;
        計時メモ_ = new QLabel(this);
        計時メモ_->setObjectName(QStringLiteral("計時メモ"));
        計時メモ_->setWordWrap(true);
        計時メモ_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        計時メモ_->setAutoFillBackground(true);
        計時メモ_->setStyleSheet(QStringLiteral("color: #a00000;"));
        placeTimingArea();
    }
    if (text != 計時メモ_->text()) {
        計時メモ_->setText(text);
        計時メモ_->setToolTip(text);
    }
    計時メモ_->setVisible(!text.isEmpty());
}

void ProcessingScreen::offerDeviceTime() {
    if (!分_->text().isEmpty() || !秒_->text().isEmpty()) return;
    const QString typed = ゼッケン_->text();
    if (typed.isEmpty()) return;
    const Competition& d = program_.data();
    const int slot = SlotOfBib(d, TypedValue(typed));
    if (slot == 0) return;
    const Competitor& who = d.competitors[slot];
    // A registered result is never written over by the device: the list shows the difference.
    if (HasRegisteredResult(who)) return;
    const timing::ReceivedRun* run = program_.timingBoard().latestRunOf(who.bib);
    if (!run || run->hundredths < 0) return;
    putDeviceTime(run->hundredths);
}

void ProcessingScreen::putDeviceTime(int hundredths) {
    fillingDeviceTime_ = true;
    分_->setText(QString::number(hundredths / 6000));
    秒_->setText(QStringLiteral("%1.%2")
                     .arg((hundredths % 6000) / 100)
                     .arg(hundredths % 100, 2, 10, QLatin1Char('0')));
    fillingDeviceTime_ = false;
    markDeviceTime(true);
}

void ProcessingScreen::markDeviceTime(bool on) {
    if (on == deviceTimeShown_) return;
    deviceTimeShown_ = on;
    QLineEdit* boxes[] = {分_, 秒_};
    for (int i = 0; i < 2; ++i) {
        QLineEdit* box = boxes[i];
        if (on) {
            timeBoxTip_[i] = box->toolTip();
            QPalette tinted = box->palette();
            tinted.setColor(QPalette::Base, kDeviceTint);
            box->setPalette(tinted);
            box->setToolTip(QStringLiteral("計時"));
        } else {
            box->setPalette(QPalette());
            box->setToolTip(timeBoxTip_[i]);
        }
    }
}

void ProcessingScreen::onTimingLineChosen(int row) {
    const timing::ReceivedRun* run = timingModel_->runAt(row);
    if (!run) return;
    const Competition& d = program_.data();
    int slot = ゼッケン_->text().isEmpty() ? 0 : SlotOfBib(d, TypedValue(ゼッケン_->text()));
    const int runId = run->id;
    // With nobody picked, the line's own competitor is picked, as typing the bib would.
    if (slot == 0 && run->bib > 0 && SlotOfBib(d, run->bib) != 0) {
        const int bib = run->bib;
        ゼッケン_->setText(QString::number(bib));
        slot = SlotOfBib(d, bib);
    }
    if (slot == 0) {
        QApplication::beep();
        return;
    }
    timing::TimingBoard& board = program_.timingBoard();
    // A time without a bib now belongs to this competitor, in the log too; a finish that waited
    // for its bib gets its run time from that bib's start.
    if (const timing::ReceivedRun* r = RunWithId(board, runId); r && r->bib == 0)
        board.assignBib(runId, d.competitors[slot].bib);
    run = RunWithId(board, runId);
    if (!run || run->hundredths < 0) {
        QApplication::beep();
        return;
    }
    putDeviceTime(run->hundredths);
    分_->setFocus(Qt::TabFocusReason);
}

}  // namespace zalvik
