#pragma once
// Screen lengths are given in twips (1/1440 inch); the screens are placed through these
// helpers so that every position is converted the same way: pixels = twips × logical DPI / 1440.

#include <QRect>

class QWidget;

namespace ui {

int TwipsToPixels(int twips);
int PixelsToTwips(int pixels);

// Places w inside its parent at (left, top) with the given size, all in twips.
void Place(QWidget* w, int left, int top, int width, int height);
// Moves w inside its parent, keeping its size.
void Move(QWidget* w, int left, int top);
// Sets the client area of a top-level screen.
void SetClientSize(QWidget* screen, int width, int height);
// The widget's geometry inside its parent, in twips.
QRect GeometryTwips(const QWidget* w);

}  // namespace ui
