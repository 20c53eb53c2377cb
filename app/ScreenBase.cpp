#include "app/ScreenBase.h"

namespace zalvik {

ScreenBase::ScreenBase(Program& program, const QString& name)
    : QWidget(nullptr), program_(program) {
    setObjectName(name);
}

void ScreenBase::closeEvent(QCloseEvent* e) {
    // The window stays; the screen's own navigation decides what is shown next.
    e->ignore();
    closeBox();
}

}  // namespace zalvik
