#include "ui/TabStrip.h"

#include <QFrame>
#include <QTabBar>

namespace ui {

TabStrip::TabStrip(QWidget* parent)
    : QWidget(parent), bar_(new QTabBar(this)), body_(new QFrame(this)) {
    bar_->setObjectName(QStringLiteral("tabbar"));
    bar_->setExpanding(false);
    bar_->setDrawBase(false);
    static_cast<QFrame*>(body_)->setFrameShape(QFrame::StyledPanel);
    // The bar's click signal comes before the bar moves its selection, and arrow keys send no
    // click at all: only the change of the current tab says reliably which tab is selected.
    connect(bar_, &QTabBar::currentChanged, this, [this](int i) {
        if (i >= 0) emit selectedChanged(i + 1);
    });
}

void TabStrip::clear() {
    while (bar_->count() > 0) bar_->removeTab(0);
}

void TabStrip::addTab(const QString& caption) {
    // The first tab added becomes the selected one, and its page comes in front.
    bar_->addTab(caption);
    resizeEvent(nullptr);
}

int TabStrip::count() const { return bar_->count(); }

QString TabStrip::caption(int index1) const { return bar_->tabText(index1 - 1); }

int TabStrip::selectedIndex() const { return bar_->count() ? bar_->currentIndex() + 1 : 0; }

void TabStrip::select(int index1) {
    if (index1 < 1 || index1 > bar_->count()) return;
    bar_->setCurrentIndex(index1 - 1);
}

QRect TabStrip::tabRect(int index1) const {
    if (index1 < 1 || index1 > bar_->count()) return {};
    return bar_->tabRect(index1 - 1).translated(bar_->pos());
}

QRect TabStrip::clientRect() const {
    const QRect body = body_->geometry();
    // A small inset keeps the pages inside the frame line.
    return body.adjusted(2, 2, -2, -2).translated(pos());
}

void TabStrip::resizeEvent(QResizeEvent*) {
    const int h = bar_->sizeHint().height();
    bar_->setGeometry(0, 0, width(), h);
    body_->setGeometry(0, h - 1, width(), height() - h + 1);
}

}  // namespace ui
