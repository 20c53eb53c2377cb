#pragma once

#include "app/ScreenBase.h"

namespace zalvik {

class StartScreen : public ScreenBase {
    Q_OBJECT
public:
    explicit StartScreen(Program& program);
    void setVersionLabel(const QString& text);

protected:
    void closeBox() override;
};

}  // namespace zalvik
