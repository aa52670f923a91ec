#include "MainInterface.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // A menu-bar agent: closing its last window must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    MainInterface interface;
    return app.exec();
}
