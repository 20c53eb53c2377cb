#pragma once

#include "app/ScreenBase.h"

namespace zalvik {

class DataLoadScreen : public ScreenBase {
    Q_OBJECT
public:
    explicit DataLoadScreen(Program& program);

protected:
    void closeBox() override;
};

}  // namespace zalvik
