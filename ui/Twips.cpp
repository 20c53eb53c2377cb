#include "ui/Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace ui {
namespace {

double LogicalDpi() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInch() : 96.0;
    return dpi > 0 ? dpi : 96.0;
}

}  // namespace

int TwipsToPixels(int twips) {
    return static_cast<int>(std::lround(twips * LogicalDpi() / 1440.0));
}

int PixelsToTwips(int pixels) {
    return static_cast<int>(std::lround(pixels * 1440.0 / LogicalDpi()));
}

void Place(QWidget* w, int left, int top, int width, int height) {
    const QRect r(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width),
                  TwipsToPixels(height));
    // Laying out again at the same place is common (every load lays out the class pages); a
    // grid recomputes its header sizes on every geometry change, so unchanged ones are skipped.
    if (w->geometry() != r) w->setGeometry(r);
}

void Move(QWidget* w, int left, int top) { w->move(TwipsToPixels(left), TwipsToPixels(top)); }

void SetClientSize(QWidget* screen, int width, int height) {
    screen->setFixedSize(TwipsToPixels(width), TwipsToPixels(height));
}

QRect GeometryTwips(const QWidget* w) {
    const QRect g = w->geometry();
    return QRect(PixelsToTwips(g.x()), PixelsToTwips(g.y()), PixelsToTwips(g.width()),
                 PixelsToTwips(g.height()));
}

}  // namespace ui
