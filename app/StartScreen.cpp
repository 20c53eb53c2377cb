#include "app/StartScreen.h"

#include "app/Screens.h"

namespace zalvik {

StartScreen::StartScreen(Program& program) : ScreenBase(program, QStringLiteral("スタート画面")) {}

void StartScreen::closeBox() { program_.end(); }

void StartScreen::setVersionLabel(const QString&) {}

}  // namespace zalvik
