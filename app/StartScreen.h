#pragma once
// The start screen: the program's picture and version, a button that leads to the data-load
// screen and the one button that ends the program.

#include "app/ScreenBase.h"

class QLabel;
class QPushButton;
class QPixmap;
class QSize;

namespace zalvik {

class StartScreen : public ScreenBase {
    Q_OBJECT
  public:
    explicit StartScreen(Program& program);
    void setVersionLabel(const QString& text);

  protected:
    void closeBox() override;

  private:
    QLabel* Image2 = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* 読込 = nullptr;
    QPushButton* 終了ボタン = nullptr;
    QLabel* バージョン = nullptr;
};

// The start screen's picture: a snowy slope with a course of buoys, drawn for the given size
// in pixels.
QPixmap DrawStartPicture(const QSize& size);

}  // namespace zalvik
