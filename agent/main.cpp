#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // A menu-bar agent: closing its last window must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    return app.exec();
}
