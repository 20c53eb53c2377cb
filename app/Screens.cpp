#include "app/Screens.h"

#include <QApplication>
#include <QWidget>

#include "app/DataLoadScreen.h"
#include "app/StartScreen.h"
#include "output/OutputScreen.h"
#include "race/ProcessingScreen.h"
#include "setup/SettingsScreen.h"

namespace zalvik {

Program::Program() {
    // The program ends only through the start screen's exit button (or its close box), never
    // because a hand-over briefly left no window shown.
    if (qApp) qApp->setQuitOnLastWindowClosed(false);
}

Program::~Program() {
    delete output_.data();
    delete settings_.data();
    delete processing_.data();
    delete dataLoad_.data();
    delete start_.data();
}

void Program::start() {
    data_.statusWord[1] = QStringLiteral("DS");
    data_.statusWord[2] = QStringLiteral("DF");
    data_.statusWord[3] = QStringLiteral("DQ");
    data_.loadAttempted = 0;
    startScreen().setVersionLabel(QStringLiteral("Ver.0.92"));
    startScreen().setWindowTitle(QStringLiteral("ザルヴィクレース処理"));
    startScreen().show();
}

void Program::end() {
    ended_ = true;
    for (QWidget* w : {static_cast<QWidget*>(output_.data()), static_cast<QWidget*>(settings_.data()),
                       static_cast<QWidget*>(processing_.data()),
                       static_cast<QWidget*>(dataLoad_.data()), static_cast<QWidget*>(start_.data())})
        if (w) w->hide();
    QCoreApplication::quit();
}

StartScreen& Program::startScreen() {
    if (!start_) start_ = new StartScreen(*this);
    return *start_;
}

DataLoadScreen& Program::dataLoadScreen() {
    if (!dataLoad_) dataLoad_ = new DataLoadScreen(*this);
    return *dataLoad_;
}

ProcessingScreen& Program::processingScreen() {
    if (!processing_) processing_ = new ProcessingScreen(*this);
    return *processing_;
}

SettingsScreen& Program::settingsScreen() {
    if (!settings_) settings_ = new SettingsScreen(*this);
    return *settings_;
}

OutputScreen& Program::outputScreen() {
    if (!output_) output_ = new OutputScreen(*this);
    return *output_;
}

bool Program::hasDataLoadScreen() const { return !dataLoad_.isNull(); }
bool Program::hasProcessingScreen() const { return !processing_.isNull(); }
bool Program::hasSettingsScreen() const { return !settings_.isNull(); }
bool Program::hasOutputScreen() const { return !output_.isNull(); }

namespace {

// Hides the screen at once and deletes it once the running event handler has returned, since
// the handler may belong to the screen itself.
template <typename S>
void Unload(QPointer<S>& screen) {
    if (!screen) return;
    S* s = screen.data();
    screen = nullptr;
    s->hide();
    s->deleteLater();
}

}  // namespace

void Program::unloadDataLoadScreen() { Unload(dataLoad_); }
void Program::unloadSettingsScreen() { Unload(settings_); }
void Program::unloadOutputScreen() { Unload(output_); }

QList<QWidget*> Program::shownScreens() const {
    QList<QWidget*> shown;
    for (QWidget* w : {static_cast<QWidget*>(start_.data()), static_cast<QWidget*>(dataLoad_.data()),
                       static_cast<QWidget*>(processing_.data()),
                       static_cast<QWidget*>(settings_.data()), static_cast<QWidget*>(output_.data())})
        if (w && w->isVisible()) shown.append(w);
    return shown;
}

}  // namespace zalvik
