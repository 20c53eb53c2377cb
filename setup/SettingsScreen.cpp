#include "setup/SettingsScreen.h"

#include "app/Screens.h"

namespace zalvik {

SettingsScreen::SettingsScreen(Program& program) : ScreenBase(program, QStringLiteral("設定画面")) {}

void SettingsScreen::closeBox() {}

}  // namespace zalvik
