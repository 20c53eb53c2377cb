// Keyboard entry on the processing screen. At the finish an official enters a run every few
// seconds, often with gloves and without a mouse, so the whole entry panel works from the keys:
//
//   ゼッケン --Enter--> 分 --Enter--> 秒 --Enter--> gate entry --1..5 per gate--> 登録ボタン
//
// Tab and Shift+Tab follow the same road. In the gate entry the focus sits on the option of
// the current gate, as a click on that option leaves it; the digit k chooses buoy k there
// through the same handlers a click on the gate and then on the buoy runs, and moves on.
// Backspace goes back one gate and clears its choice. Status keys and Ctrl+Enter work from
// anywhere in the panel. The mouse road is left as it is: every key ends in the handler the
// matching click runs.
//
// F9 takes the official from the panel to the results grid, on the row of the competitor the
// panel shows, where the context-menu key (or Shift+F10) offers the take-back and Escape leads
// back to the bib. Ctrl+PageDown and Ctrl+PageUp turn the class pages from anywhere.

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTimer>
#include <algorithm>

#include "app/Numbers.h"
#include "app/Screens.h"
#include "race/ProcessingScreen.h"
#include "race/ResultDesk.h"
#include "ui/Dialogs.h"
#include "ui/Grid.h"
#include "ui/TabStrip.h"

namespace zalvik {

namespace {

bool IsEnter(const QKeyEvent* k) { return k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter; }

// The status chosen by a key: F5..F8, -1 for none. The operators of the number pad choose
// nothing: + and - sit beside the pad's Enter, and one slip there would disqualify a
// competitor on the next Enter.
int StatusOfKey(const QKeyEvent* k) {
    switch (k->key()) {
        case Qt::Key_F5:
            return 0;
        case Qt::Key_F6:
            return 1;
        case Qt::Key_F7:
            return 2;
        case Qt::Key_F8:
            return 3;
        default:
            return -1;
    }
}

// The keys that ask a grid for its context menu: the menu key, and Shift+F10 where the
// keyboard has none (the window system turns only the menu key into a menu request).
bool IsMenuKey(const QKeyEvent* k) {
    return k->key() == Qt::Key_Menu ||
           (k->key() == Qt::Key_F10 && (k->modifiers() & Qt::ShiftModifier));
}

// The buoy a digit key names (1..5 on the main keys or the pad, as 0..4); -1 for other keys,
// -2 for a digit that names no buoy (0, 6..9).
int BuoyOfKey(const QKeyEvent* k) {
    if (k->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return -1;
    const int key = k->key();
    if (key >= Qt::Key_1 && key <= Qt::Key_5) return key - Qt::Key_1;
    if (key == Qt::Key_0 || (key >= Qt::Key_6 && key <= Qt::Key_9)) return -2;
    return -1;
}

}  // namespace

void ProcessingScreen::installEntryKeys() {
    // The screen itself, for the focus after a load; then every control of the entry panel
    // (the options and the button take the focus when clicked, so keys may come from them).
    installEventFilter(this);
    for (QWidget* w : {static_cast<QWidget*>(ゼッケン_), static_cast<QWidget*>(氏名_),
                       static_cast<QWidget*>(所属_), static_cast<QWidget*>(分_),
                       static_cast<QWidget*>(秒_), static_cast<QWidget*>(登録ボタン_)})
        w->installEventFilter(this);
    for (ui::OptionArray* a : {&Gop_, &ブイ_, &DSFQ_})
        for (int i = 0; i < a->size(); ++i) (*a)[i]->installEventFilter(this);

    const char* const statusKeys[] = {"F5", "F6", "F7", "F8"};
    for (int s = 0; s < kStatusOptions; ++s)
        DSFQ_[s]->setToolTip(
            QStringLiteral("%1（%2）").arg(DSFQ_[s]->text(), QString::fromUtf8(statusKeys[s])));
    for (int b = 0; b < kBuoyOptions; ++b)
        ブイ_[b]->setToolTip(QStringLiteral("ゲート番号の欄で数字キー %1").arg(b + 1));
    Gop_[0]->parentWidget()->setToolTip(
        QStringLiteral("数字キー1～5：このゲートのブイを選んで次のゲートへ／Backspace：一つ前の"
                       "ゲートに戻って選び直す"));
    登録ボタン_->setToolTip(QStringLiteral("Enter で登録（入力欄のどこからでも Ctrl+Enter）"));
    ゼッケン_->setToolTip(QStringLiteral("ゼッケン番号を入れて Enter"));
    for (ui::Grid* grid : {グリッド結果_, グリッドリスト_}) grid->installEventFilter(this);
    グリッド結果_->setToolTip(QStringLiteral(
        "入力欄から F9 でこの一覧へ／アプリケーションキーまたは Shift+F10：結果を取り消す／"
        "Esc：ゼッケン番号へ"));

    // The class pages turn as in any tabbed program, wherever the focus is on this screen,
    // and wrap round at either end.
    auto* next = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageDown), this);
    connect(next, &QShortcut::activated, this, [this] { turnClassPage(1); });
    auto* previous = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageUp), this);
    connect(previous, &QShortcut::activated, this, [this] { turnClassPage(-1); });
}

void ProcessingScreen::turnClassPage(int step) {
    const int tabs = タブ_->count();
    if (tabs < 2) return;
    const int at = std::max(タブ_->selectedIndex(), 1) - 1;
    タブ_->select((at + step + tabs) % tabs + 1);
}

bool ProcessingScreen::eventFilter(QObject* watched, QEvent* e) {
    if (watched == this) {
        // Every time the screen comes up (after a load, back from another screen) the official
        // starts with a bib.
        if (e->type() == QEvent::Show) returnToBib();
        return ScreenBase::eventFilter(watched, e);
    }
    if (e->type() == QEvent::KeyPress && (watched == グリッド結果_ || watched == グリッドリスト_)) {
        if (onGridKey(static_cast<ui::Grid*>(watched), static_cast<QKeyEvent*>(e))) return true;
    } else if (e->type() == QEvent::KeyPress) {
        if (onEntryKey(static_cast<QWidget*>(watched), static_cast<QKeyEvent*>(e))) return true;
    } else if (e->type() == QEvent::FocusOut && watched == ゼッケン_ &&
               static_cast<QFocusEvent*>(e)->reason() == Qt::MouseFocusReason &&
               QApplication::focusWidget() != グリッドリスト_ &&
               !leavesScreen(QApplication::focusWidget())) {
        // Leaving the box with the mouse commits the bib too. A click in the competitor list
        // puts a bib of its own into the box, so it is left alone, and so is a click that
        // leaves the screen: the bib no longer matters there, and a message about it would
        // come a second time after the one its Enter gave. The check waits until the click
        // is over: a message box in the middle of a click would take its release.
        QTimer::singleShot(0, this, [this] {
            if (isVisible() && QApplication::focusWidget() != ゼッケン_ &&
                QApplication::focusWidget() != グリッドリスト_ &&
                !leavesScreen(QApplication::focusWidget()))
                commitBib();
        });
    }
    return ScreenBase::eventFilter(watched, e);
}

bool ProcessingScreen::onEntryKey(QWidget* at, QKeyEvent* key) {
    const Competition& d = program_.data();
    const int gates = UsedGates(d);
    const bool enter = IsEnter(key);
    const bool ctrl = key->modifiers() & Qt::ControlModifier;

    // Registration and statuses from anywhere in the panel. A bib being typed is committed
    // first, so that a bib that names nobody is never carried into them.
    if (enter && ctrl) {
        if (at == ゼッケン_ && !commitBib()) return true;
        登録ボタン_->click();
        return true;
    }
    if (key->key() == Qt::Key_F9 && !ctrl) {
        if (at == ゼッケン_ && !commitBib()) return true;
        focusResultsRow();
        return true;
    }
    if (const int s = StatusOfKey(key); s >= 0) {
        if (at == ゼッケン_ && !commitBib()) return true;
        DSFQ_.select(s);
        // OK goes on to the time; a status is ready to be registered.
        if (s == 0)
            分_->setFocus(Qt::TabFocusReason);
        else
            登録ボタン_->setFocus(Qt::TabFocusReason);
        return true;
    }

    const bool tab = key->key() == Qt::Key_Tab && !(key->modifiers() & Qt::ShiftModifier);
    const bool backtab = key->key() == Qt::Key_Backtab ||
                         (key->key() == Qt::Key_Tab && (key->modifiers() & Qt::ShiftModifier));
    const bool forward = (enter && !ctrl) || tab;

    int gate = 0;
    while (gate < gates && Gop_[gate] != at) ++gate;
    const bool inGateEntry = gate < gates;

    if (at == ゼッケン_ && (forward || backtab)) {
        if (!commitBib()) return true;
        // A run whose time came from the device and every buoy from the judges is registered
        // with the next Enter.
        if (forward && runFromOutside())
            登録ボタン_->setFocus(Qt::TabFocusReason);
        else if (forward)
            分_->setFocus(Qt::TabFocusReason);
        else
            登録ボタン_->setFocus(Qt::BacktabFocusReason);
        return true;
    }
    if (at == 分_ && (forward || backtab)) {
        if (forward)
            秒_->setFocus(Qt::TabFocusReason);
        else
            ゼッケン_->setFocus(Qt::BacktabFocusReason);
        return true;
    }
    if (at == 秒_ && (forward || backtab)) {
        if (forward) {
            focusGate(std::clamp<int>(d.currentGate, 0, std::max(gates - 1, 0)));
        } else {
            分_->setFocus(Qt::BacktabFocusReason);
        }
        return true;
    }
    if (inGateEntry) {
        if (forward) {
            登録ボタン_->setFocus(Qt::TabFocusReason);
            return true;
        }
        if (backtab) {
            秒_->setFocus(Qt::BacktabFocusReason);
            return true;
        }
        if (key->key() == Qt::Key_Backspace) {
            backOneGate(gate);
            return true;
        }
        const int buoy = BuoyOfKey(key);
        if (buoy == -1) return false;
        const int offered = std::clamp<int>(d.gateBuoyCount[gate + 1], 0, kBuoyOptions);
        if (buoy < 0 || buoy >= offered) {
            // A buoy the gate does not have: nothing changes, and the official hears it.
            QApplication::beep();
            return true;
        }
        chooseBuoyByKey(gate, buoy);
        return true;
    }
    if (at == 登録ボタン_) {
        if (enter) {
            登録ボタン_->click();
            return true;
        }
        if (tab) {
            ゼッケン_->setFocus(Qt::TabFocusReason);
            ゼッケン_->selectAll();
            return true;
        }
        if (backtab) {
            focusGate(std::clamp<int>(d.currentGate, 0, std::max(gates - 1, 0)));
            return true;
        }
        if (key->key() == Qt::Key_Backspace) {
            // After the last gate: back to it, its choice cleared.
            backOneGate(gates);
            return true;
        }
    }
    return false;
}

bool ProcessingScreen::onGridKey(ui::Grid* grid, QKeyEvent* key) {
    if (key->key() == Qt::Key_Escape) {
        returnToBib();
        return true;
    }
    if (IsMenuKey(key)) {
        // Where the window system has already turned the menu key into a menu request, the
        // menu is open and this key press is the menu's.
        if (!QApplication::activePopupWidget()) showTakeBackMenu(grid, QPoint(), true);
        return true;
    }
    return false;
}

void ProcessingScreen::focusResultsRow() {
    ui::Grid* grid = グリッド結果_;
    if (!grid->isVisible()) return;
    const int slot = slotOnPanel();
    // The competitor on the panel; without one the grid keeps the row it had.
    if (slot > 0 && slot < grid->rows()) grid->setCurrentCell(slot, 0);
    grid->setFocus(Qt::ShortcutFocusReason);
}

bool ProcessingScreen::leavesScreen(const QWidget* w) const {
    return w == 終了ボタン_ || w == 基本設定ボタン_ || w == 出力ボタン_;
}

bool ProcessingScreen::commitBib() {
    const QString typed = ゼッケン_->text();
    if (typed.isEmpty() || SlotOfBib(program_.data(), TypedValue(typed)) != 0) return true;
    ui::ShowMessage(this, RefusalMessage(Refusal::UnknownBib));
    returnToBib();
    return false;
}

void ProcessingScreen::focusGate(int g) {
    if (g < 0 || g >= UsedGates(program_.data())) {
        登録ボタン_->setFocus(Qt::TabFocusReason);
        return;
    }
    // Shown as a click on the gate's option shows it: the option selected and focused, the
    // buoys of that gate offered.
    makeGateCurrent(g);
    Gop_[g]->setFocus(Qt::TabFocusReason);
}

void ProcessingScreen::chooseBuoyByKey(int g, int buoy) {
    // Exactly the clicks the mouse road makes: the gate's option, then the buoy's.
    Gop_.select(g);
    ブイ_.select(buoy);
    focusGate(g + 1);
}

void ProcessingScreen::backOneGate(int g) {
    if (g <= 0) {
        秒_->setFocus(Qt::BacktabFocusReason);
        return;
    }
    Competition& d = program_.data();
    const int back = std::min(g, UsedGates(d)) - 1;
    // The same data a choice by mouse fills: no buoy at that gate, its colour name gone, the
    // total worked out again.
    d.gateBuoyChoice[back] = -1;
    色_[back]->clear();
    takeGateFromJudges(back);
    SumBuoyPoints();
    focusGate(back);
}

void ProcessingScreen::returnToBib() {
    ゼッケン_->setFocus(Qt::OtherFocusReason);
    ゼッケン_->selectAll();
}

}  // namespace zalvik
