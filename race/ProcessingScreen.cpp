#include "race/ProcessingScreen.h"

#include "app/Screens.h"

namespace zalvik {

ProcessingScreen::ProcessingScreen(Program& program) : ScreenBase(program, QStringLiteral("処理画面")) {}

void ProcessingScreen::closeBox() {}

}  // namespace zalvik
