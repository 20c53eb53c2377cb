#include <QApplication>

#include "app/Screens.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    zalvik::SetUpScreenFont();
    zalvik::Program program;
    program.start();
    return app.exec();
}
