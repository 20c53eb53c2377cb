#pragma once

#include "app/ScreenBase.h"

namespace zalvik {

class SettingsScreen : public ScreenBase {
    Q_OBJECT
public:
    explicit SettingsScreen(Program& program);

protected:
    void closeBox() override;
};

}  // namespace zalvik
