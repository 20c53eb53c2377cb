#include "output/OutputScreen.h"

#include "app/Screens.h"

namespace zalvik {

OutputScreen::OutputScreen(Program& program) : ScreenBase(program, QStringLiteral("出力設定画面")) {}

void OutputScreen::closeBox() {}

}  // namespace zalvik
