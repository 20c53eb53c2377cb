#include <QApplication>
#include <cstdio>

#include "app/Installation.h"
#include "app/Screens.h"

int main(int argc, char** argv) {
    // Answered before Qt starts, so that it works without a display.
    if (zalvik::AsksForVersion(argc, argv)) {
        std::puts(qPrintable(zalvik::VersionLine()));
        return 0;
    }
    // Only the program's name is handed to Qt: no argument changes what the program does.
    int qtArgc = argc > 0 ? 1 : 0;
    QApplication app(qtArgc, argv);
    // Lets the desktop match the window to the menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("zalvik-race"));
    zalvik::SetUpScreenFont();
    zalvik::InstallQtTranslations();
    zalvik::Program program;
    program.start();
    return app.exec();
}
