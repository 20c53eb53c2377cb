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

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <algorithm>

#include "app/Numbers.h"
#include "app/Screens.h"
#include "race/ProcessingScreen.h"
#include "ui/Dialogs.h"
#include "ui/Grid.h"

namespace zalvik {

namespace {

int GatesInUse(const Competition& d) {
    return std::min<int>(std::clamp<int>(d.gateCount, 0, kMaxGates),
                         ProcessingScreen::kGateOptions);
}

bool IsEnter(const QKeyEvent* k) { return k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter; }

// The status chosen by a key: F5..F8 on every keyboard, and the operators of the number pad
// (/ * - +, in the order they stand), which a gloved hand finds beside the digits. -1: none.
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
            break;
    }
    if (!(k->modifiers() & Qt::KeypadModifier)) return -1;
    switch (k->key()) {
        case Qt::Key_Slash:
            return 0;
        case Qt::Key_Asterisk:
            return 1;
        case Qt::Key_Minus:
            return 2;
        case Qt::Key_Plus:
            return 3;
        default:
            return -1;
    }
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

    const char* const statusKeys[] = {"F5／テンキー /", "F6／テンキー *", "F7／テンキー -",
                                      "F8／テンキー +"};
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
}

bool ProcessingScreen::eventFilter(QObject* watched, QEvent* e) {
    if (watched == this) {
        // Every time the screen comes up (after a load, back from another screen) the official
        // starts with a bib.
        if (e->type() == QEvent::Show) returnToBib();
        return ScreenBase::eventFilter(watched, e);
    }
    if (e->type() == QEvent::KeyPress) {
        if (onEntryKey(static_cast<QWidget*>(watched), static_cast<QKeyEvent*>(e))) return true;
    } else if (e->type() == QEvent::FocusOut && watched == ゼッケン_ &&
               static_cast<QFocusEvent*>(e)->reason() == Qt::MouseFocusReason &&
               QApplication::focusWidget() != グリッドリスト_) {
        // Leaving the box with the mouse commits the bib too. A click in the competitor list
        // puts a bib of its own into the box, so it is left alone. The check waits until the
        // click is over: a message box in the middle of a click would take its release.
        QTimer::singleShot(0, this, [this] {
            if (QApplication::focusWidget() != ゼッケン_ &&
                QApplication::focusWidget() != グリッドリスト_)
                commitBib();
        });
    }
    return ScreenBase::eventFilter(watched, e);
}

bool ProcessingScreen::onEntryKey(QWidget* at, QKeyEvent* key) {
    const Competition& d = program_.data();
    const int gates = GatesInUse(d);
    const bool enter = IsEnter(key);
    const bool ctrl = key->modifiers() & Qt::ControlModifier;

    // Registration and statuses from anywhere in the panel. A bib being typed is committed
    // first, so that a bib that names nobody is never carried into them.
    if (enter && ctrl) {
        if (at == ゼッケン_ && !commitBib()) return true;
        登録ボタン_->click();
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
        if (forward)
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

bool ProcessingScreen::commitBib() {
    const QString typed = ゼッケン_->text();
    if (typed.isEmpty() || SlotOfBib(program_.data(), TypedValue(typed)) != 0) return true;
    ui::ShowMessage(this, QStringLiteral("該当するゼッケン番号はありません。"));
    returnToBib();
    return false;
}

void ProcessingScreen::focusGate(int g) {
    if (g < 0 || g >= GatesInUse(program_.data())) {
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
    const int back = std::min(g, GatesInUse(d)) - 1;
    // The same data a choice by mouse fills: no buoy at that gate, its colour name gone, the
    // total worked out again.
    d.gateBuoyChoice[back] = -1;
    色_[back]->clear();
    SumBuoyPoints();
    focusGate(back);
}

void ProcessingScreen::returnToBib() {
    ゼッケン_->setFocus(Qt::OtherFocusReason);
    ゼッケン_->selectAll();
}

}  // namespace zalvik
