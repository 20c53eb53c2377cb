#pragma once
// What the five screens have in common: a top-level window that knows its program, and a
// close box that never leaves the program running with no screen shown.

#include <QCloseEvent>
#include <QWidget>

namespace zalvik {

class Program;

class ScreenBase : public QWidget {
    Q_OBJECT
  public:
    ScreenBase(Program& program, const QString& name);

  protected:
    // What the window's close box does instead of closing the window. Each screen maps it to
    // the navigation of its own back (or exit) button.
    virtual void closeBox() = 0;
    void closeEvent(QCloseEvent* e) override;

    Program& program_;
};

}  // namespace zalvik
