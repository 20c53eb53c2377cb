#include "app/DataLoadScreen.h"

#include "app/Screens.h"

namespace zalvik {

DataLoadScreen::DataLoadScreen(Program& program) : ScreenBase(program, QStringLiteral("データ読込画面")) {}

void DataLoadScreen::closeBox() {}

}  // namespace zalvik
