#pragma once
// What the loader's and the settings screen's Qt tests share: a fresh program on the data-load
// screen, a load of a chosen file through the load action, and access to controls by name.

#include <QApplication>
#include <QPushButton>
#include <QtTest>
#include <memory>

#include "app/DataLoadScreen.h"
#include "app/Screens.h"
#include "app/StartScreen.h"
#include "race/ProcessingScreen.h"
#include "setup/SettingsScreen.h"
#include "sheet/Workbook.h"
#include "store/ScreenLoader.h"
#include "store/TestWorkbook.h"
#include "support/TestFiles.h"
#include "ui/Dialogs.h"
#include "ui/Grid.h"

namespace testsupport {

template <typename W = QWidget>
W* Control(QWidget& screen, const QString& name) {
    return screen.findChild<W*>(name);
}

inline QStringList ShownNames(const zalvik::Program& program) {
    QStringList names;
    for (QWidget* w : program.shownScreens()) names << w->objectName();
    return names;
}

// A grid's column as texts, rows from..to.
inline QStringList Column(ui::Grid* g, int col, int from, int to) {
    QStringList texts;
    for (int r = from; r <= to; ++r) texts << g->text(r, col);
    return texts;
}

// The program as a race official meets it: started, then moved on to the data-load screen.
inline std::unique_ptr<zalvik::Program> StartedProgram() {
    auto program = std::make_unique<zalvik::Program>();
    program->start();
    if (auto* b = Control<QPushButton>(program->startScreen(), QStringLiteral("読込"))) b->click();
    return program;
}

// The load action with the file dialog answering `path` (nullopt: cancel).
inline void Load(zalvik::Program& program, std::optional<QString> path) {
    if (!program.hasDataLoadScreen()) program.dataLoadScreen().show();
    ui::testing::QueueFileAnswer(path);
    zalvik::RunLoadAction(program);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Closes every screen the program made and checks that none stays open.
inline void Finish(std::unique_ptr<zalvik::Program>& program) {
    program.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ui::testing::EnableDialogHooks(false);
    for (QWidget* w : QApplication::topLevelWidgets())
        QVERIFY2(!w->isVisible(), qPrintable(w->objectName() + " left open"));
}

// What each loader, settings and entry test case starts from and ends with: dialog hooks on, a
// fresh folder for its workbooks, a program moved on to the data-load screen; then every screen
// closed and checked, the folder removed and no save fault left armed for the next case.
struct ProgramFixture {
    std::unique_ptr<zalvik::Program> program;
    std::unique_ptr<TempDir> dir;

    void startProgram() {
        ui::testing::EnableDialogHooks(true);
        dir = std::make_unique<TempDir>();
        program = StartedProgram();
    }
    void finishProgram() {
        sheet::Workbook::setSaveFaultForTesting(sheet::Workbook::SaveFault::None);
        Finish(program);
        dir.reset();
    }
};

}  // namespace testsupport
