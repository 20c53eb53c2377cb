#pragma once

#include "app/ScreenBase.h"

namespace zalvik {

class ProcessingScreen : public ScreenBase {
    Q_OBJECT
public:
    explicit ProcessingScreen(Program& program);

protected:
    void closeBox() override;
};

}  // namespace zalvik
