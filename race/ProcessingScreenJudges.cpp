// The gate judges on the processing screen: the button that opens their set-up dialog. It
// stands beside the timing button in the strip above the picture, which places both.

#include <QPushButton>

#include "race/JudgeSetupDialog.h"
#include "race/ProcessingScreen.h"
#include "ui/Twips.h"

namespace zalvik {

void ProcessingScreen::buildJudgesArea() {
    審判ボタン_ = new QPushButton(QStringLiteral("審　判"), this);
    審判ボタン_->setObjectName(QStringLiteral("審判ボタン"));
    審判ボタン_->setFocusPolicy(Qt::NoFocus);
    connect(審判ボタン_, &QPushButton::clicked, this, [this] {
        if (!judgesDialog_) {
            judgesDialog_ = new JudgeSetupDialog(program_, this);
            judgesDialog_->setWindowFlag(Qt::Window);
        }
        judgesDialog_->show();
        judgesDialog_->raise();
        judgesDialog_->activateWindow();
    });
}

}  // namespace zalvik
