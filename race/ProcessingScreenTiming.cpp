// Times from the timing device on the processing screen. The official still checks the time,
// enters the buoys and registers; the device only saves typing the time and reading it off a
// paper strip. Nothing here appears until it is used: the button that opens the set-up dialog
// stands above the picture's right corner; the list of received times and judges' entries (with
// the button that opens it in a window of its own) and the note about the connection only while
// there is something to show, so a race without a device sees the screen as it always was.

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPalette>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>
#include <functional>

#include "app/Numbers.h"
#include "app/Screens.h"
#include "race/JudgeBoard.h"
#include "race/ProcessingScreen.h"
#include "race/TimingList.h"
#include "race/TimingSetupDialog.h"
#include "timing/TimingBoard.h"
#include "timing/TimingLink.h"
#include "ui/Controls.h"
#include "ui/Dialogs.h"
#include "ui/Twips.h"

namespace zalvik {

namespace {

// The timing area lies over the picture and a little around it, between the competitor frame
// and the button column, in twips from the picture's top-left corner: its buttons (and the
// judges' beside the timing button) in the strip above the picture, the list over the picture (as
// tall as eight lines under its heading), the notes over the list's foot. The list and the notes
// are made only when there is something to show.
constexpr int kAreaLeft = -585;
constexpr int kAreaWidth = 4470;
constexpr ui::Rect kButtonRect{2685, -315, 1200, 300};
constexpr ui::Rect kJudgesButtonRect{1425, -315, 1200, 300};
constexpr ui::Rect kWindowButtonRect{465, -315, 900, 300};
constexpr int kNoteWidth = 2580;
constexpr int kLiveNoteHeight = 480;
constexpr int kListLines = 8;

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

// The list's window of its own: closing it puts the list back over the picture.
class TimingWindow : public QWidget {
  public:
    TimingWindow(QWidget* parent, std::function<void()> onClose)
        : QWidget(parent, Qt::Window), onClose_(std::move(onClose)) {
        setObjectName(QStringLiteral("計時一覧画面"));
        setWindowTitle(QStringLiteral("受信した時刻"));
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        resize(ui::TwipsToPixels(9000), ui::TwipsToPixels(6000));
        // F12 here too puts the list back.
        connect(new QShortcut(QKeySequence(Qt::Key_F12), this), &QShortcut::activated, this,
                &QWidget::close);
    }

  protected:
    void closeEvent(QCloseEvent* e) override {
        QWidget::closeEvent(e);
        onClose_();
    }

  private:
    std::function<void()> onClose_;
};

}  // namespace

void ProcessingScreen::buildTimingArea() {
    計時ボタン_ = new QPushButton(QStringLiteral("計　時"), this);
    計時ボタン_->setObjectName(QStringLiteral("計時ボタン"));
    計時一覧ボタン_ = new QPushButton(QStringLiteral("別窓"), this);
    計時一覧ボタン_->setObjectName(QStringLiteral("計時一覧ボタン"));
    計時一覧ボタン_->setToolTip(
        QStringLiteral("受信した時刻の一覧を別の窓で開く（F12）。閉じるとここに戻ります"));
    計時一覧ボタン_->setCheckable(true);  // down while the list is in its own window
    計時一覧ボタン_->hide();              // until there is a list
    for (QPushButton* b : {計時ボタン_, 計時一覧ボタン_}) b->setFocusPolicy(Qt::NoFocus);
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
    connect(計時一覧ボタン_, &QPushButton::clicked, this, [this] { toggleTimingWindow(); });
    auto* windowKey = new QShortcut(QKeySequence(Qt::Key_F12), this);
    connect(windowKey, &QShortcut::activated, this, [this] { toggleTimingWindow(); });

    const timing::TimingBoard& board = program_.timingBoard();
    const timing::TimingLink& link = program_.timingLink();
    connect(&board, &timing::TimingBoard::runsChanged, this, [this] {
        ShowTimingList(false);
        // A time the boxes hold that the device took back goes; a time that arrives while its
        // competitor is already picked is offered.
        withdrawStaleDeviceTime();
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
    placeTimingArea();
}

// The list is made when the first time (or the first judge's entry) arrives, so that a race
// without a device or judges has on its screen exactly the widgets it always had.
void ProcessingScreen::makeTimingList() {
    計時一覧_ = new TimingListView(this);
    計時一覧_->setObjectName(QStringLiteral("計時一覧"));
    timingModel_ = new TimingListModel(program_.timingBoard(), program_.data(), 計時一覧_);
    timingModel_->addSource(JudgeEntryLines(program_.judgeBoard(), program_.data()));
    // In the corner the list keeps its eight lines: the source column past its edge scrolls
    // no bar into them.
    計時一覧_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    計時一覧_->setModel(timingModel_);
    計時一覧_->setUpColumns();
    計時一覧_->setToolTip(
        QStringLiteral("ダブルクリックまたは Enter：この時間を選んでいる選手のタイムに入れる\n"
                       "Delete：与えたゼッケンを外す　右クリック：ゼッケンを外す・付け替える"));
    connect(計時一覧_, &TimingListView::lineChosen, this,
            [this](int row) { onTimingLineChosen(row); });
    connect(計時一覧_, &TimingListView::bibTakenBack, this,
            [this](int row) { giveTimingBib(row, 0); });
    connect(計時一覧_, &TimingListView::menuAsked, this,
            [this](int row, QPoint at) { showTimingMenu(row, at); });
    計時一覧ボタン_->show();
    placeTimingArea();
}

void ProcessingScreen::placeTimingArea() {
    const QRect at = ui::GeometryTwips(picture_);
    auto place = [&](QWidget* w, const ui::Rect& r) {
        ui::Place(w, at.left() + r.left, at.top() + r.top, r.width, r.height);
    };
    place(計時ボタン_, kButtonRect);
    if (審判ボタン_) place(審判ボタン_, kJudgesButtonRect);
    place(計時一覧ボタン_, kWindowButtonRect);
    // The notes stand over the foot of the list, or of the picture while the list is not
    // there (none yet, or in its own window).
    const bool listHere = 計時一覧_ && 計時一覧_->window() == this;
    const int listHeight = listHere ? 計時一覧_->heightForRows(kListLines) : picture_->height();
    const QPoint origin = picture_->mapTo(this, QPoint(0, 0));
    const int left = origin.x() + ui::TwipsToPixels(kAreaLeft);
    int foot = origin.y() + listHeight;
    if (listHere)
        計時一覧_->setGeometry(left, origin.y(), ui::TwipsToPixels(kAreaWidth), listHeight);
    if (計時メモ_) {
        // As tall as its text needs: a message of three lines is read whole.
        const int width = ui::TwipsToPixels(kNoteWidth);
        const int height =
            std::max(ui::TwipsToPixels(kLiveNoteHeight) / 2, 計時メモ_->heightForWidth(width));
        計時メモ_->setGeometry(left, foot - height, width, height);
        計時メモ_->raise();
        if (!計時メモ_->isHidden()) foot -= height;
    }
    // Left in the picture, the note of a live page that cannot be written would lie hidden under
    // the list: it comes out of the picture and stands in front of the list.
    if (listHere && 速報状態_) {
        if (速報状態_->parentWidget() != this) {
            速報状態_->setParent(this);
            速報状態_->setVisible(!速報状態_->text().isEmpty());
        }
        const int height = ui::TwipsToPixels(kLiveNoteHeight);
        速報状態_->setGeometry(left, foot - height, ui::TwipsToPixels(kNoteWidth), height);
        速報状態_->raise();
    }
}

void ProcessingScreen::toggleTimingWindow() {
    if (!計時一覧_) return;
    if (!計時一覧画面_) 計時一覧画面_ = new TimingWindow(this, [this] { toggleTimingWindow(); });
    if (計時一覧_->window() == this) {
        計時一覧画面_->layout()->addWidget(計時一覧_);
        計時一覧_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        計時一覧_->show();
        計時一覧画面_->show();
        計時一覧画面_->raise();
        計時一覧画面_->activateWindow();
        計時一覧ボタン_->setChecked(true);
    } else {
        計時一覧画面_->layout()->removeWidget(計時一覧_);
        計時一覧_->setParent(this);
        計時一覧_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        計時一覧_->setVisible(hasReceivedLines());
        計時一覧ボタン_->setChecked(false);
        if (計時一覧画面_->isVisible()) 計時一覧画面_->hide();
    }
    placeTimingArea();
}

void ProcessingScreen::ShowTimingList(bool competitorsChanged) {
    if (!計時ボタン_) return;  // before the timing area is built
    const bool any = hasReceivedLines();
    if (any && !計時一覧_) {
        makeTimingList();
        competitorsChanged = true;  // a new list knows no competitor yet
    }
    if (計時一覧_) {
        timingModel_->refresh(competitorsChanged);
        if (計時一覧_->window() == this && any != 計時一覧_->isVisible()) {
            計時一覧_->setVisible(any);
            placeTimingArea();
        }
    }
    showTimingNote();
}

bool ProcessingScreen::hasReceivedLines() const {
    return !program_.timingBoard().runs().empty() || program_.judgeBoard().entryCount() > 0;
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
    }
    const bool changed = text != 計時メモ_->text() || text.isEmpty() != 計時メモ_->isHidden();
    if (text != 計時メモ_->text()) {
        計時メモ_->setText(text);
        計時メモ_->setToolTip(text);
    }
    計時メモ_->setVisible(!text.isEmpty());
    if (changed) placeTimingArea();
}

void ProcessingScreen::offerDeviceTime() {
    if (!分_->text().isEmpty() || !秒_->text().isEmpty()) return;
    const int slot = slotOnPanel();
    if (slot == 0) return;
    const Competition& d = program_.data();
    const Competitor& who = d.competitors[slot];
    // A registered result is never written over by the device: the list shows the difference.
    if (HasRegisteredResult(who)) return;
    const timing::TimingBoard& board = program_.timingBoard();
    const timing::ReceivedRun* run = board.latestRunOf(who.bib);
    // A doubtful run (0, or longer than the bound) is for the official to look at, not to take.
    if (!run || board.needsCheck(*run)) return;
    putDeviceTime(run->id, run->hundredths);
}

void ProcessingScreen::putDeviceTime(int runId, int hundredths) {
    fillingDeviceTime_ = true;
    分_->setText(QString::number(hundredths / 6000));
    秒_->setText(QStringLiteral("%1.%2")
                     .arg((hundredths % 6000) / 100)
                     .arg(hundredths % 100, 2, 10, QLatin1Char('0')));
    fillingDeviceTime_ = false;
    markDeviceTime(true);
    deviceRunShown_ = runId;
    deviceHundredthsShown_ = hundredths;
}

void ProcessingScreen::markDeviceTime(bool on) {
    if (!on) deviceRunShown_ = 0;
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

void ProcessingScreen::withdrawStaleDeviceTime() {
    if (!deviceTimeShown_ || deviceRunShown_ == 0) return;
    const timing::TimingBoard& board = program_.timingBoard();
    const timing::ReceivedRun* run = board.run(deviceRunShown_);
    const int slot = slotOnPanel();
    if (run && !run->cleared && run->hundredths == deviceHundredthsShown_ && slot != 0 &&
        run->bib == program_.data().competitors[slot].bib)
        return;
    分_->clear();
    秒_->clear();
    markDeviceTime(false);
}

bool ProcessingScreen::giveTimingBib(int row, int bib) {
    const timing::ReceivedRun* run = timingModel_ ? timingModel_->runAt(row) : nullptr;
    if (!run || !run->arrivedWithoutBib) {
        QApplication::beep();
        return false;
    }
    switch (program_.timingBoard().giveBib(run->id, bib)) {
        case timing::TimingBoard::BibOutcome::Given:
            return true;
        case timing::TimingBoard::BibOutcome::NoStart:
            ui::ShowMessage(this, QStringLiteral("ゼッケン%1のスタートを受信していないため、"
                                                 "このゴールの時刻を%1の走行にはできません。")
                                      .arg(bib));
            return false;
        case timing::TimingBoard::BibOutcome::Refused:
            break;
    }
    QApplication::beep();
    return false;
}

void ProcessingScreen::showTimingMenu(int row, const QPoint& at) {
    const timing::ReceivedRun* run = timingModel_->runAt(row);
    if (!run || !run->arrivedWithoutBib || run->cleared) return;
    const Competition& d = program_.data();
    const int slot = slotOnPanel();
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("計時メニュー"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (slot != 0 && d.competitors[slot].bib != run->bib) {
        QAction* give = menu->addAction(QStringLiteral("ゼッケン%1 %2 の時間にする")
                                            .arg(d.competitors[slot].bib)
                                            .arg(d.competitors[slot].name.trimmed()));
        connect(give, &QAction::triggered, this, [this, row] { onTimingLineChosen(row); });
    }
    if (run->bib != 0) {
        QAction* takeBack = menu->addAction(QStringLiteral("ゼッケン%1を外す").arg(run->bib));
        connect(takeBack, &QAction::triggered, this, [this, row] { giveTimingBib(row, 0); });
    }
    if (menu->isEmpty()) {
        delete menu;
        return;
    }
    menu->popup(at);
    menu->setActiveAction(menu->actions().first());
}

void ProcessingScreen::onTimingLineChosen(int row) {
    const timing::ReceivedRun* run = timingModel_->runAt(row);
    if (!run) return;
    const Competition& d = program_.data();
    int slot = slotOnPanel();
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
    // A finish that arrived without a bib now belongs to this competitor, in the log too (also
    // one given to another before); it gets its run time from this competitor's start.
    const int bib = d.competitors[slot].bib;
    if (run->arrivedWithoutBib && run->bib != bib && !giveTimingBib(row, bib)) return;
    const timing::TimingBoard& board = program_.timingBoard();
    run = board.run(runId);
    if (!run || run->hundredths < 0 || board.needsCheck(*run)) {
        QApplication::beep();
        return;
    }
    putDeviceTime(run->id, run->hundredths);
    分_->setFocus(Qt::TabFocusReason);
}

}  // namespace zalvik
