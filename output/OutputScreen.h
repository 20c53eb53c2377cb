#pragma once

#include "app/ScreenBase.h"

namespace zalvik {

class OutputScreen : public ScreenBase {
    Q_OBJECT
public:
    explicit OutputScreen(Program& program);

protected:
    void closeBox() override;
};

}  // namespace zalvik
