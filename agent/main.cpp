#include "MainInterface.h"
#include "PAConfiguration.h"
#include "SharedState.h"
#include "StartSocket.h"

#include <QApplication>
#include <QFileInfo>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // A menu-bar agent: closing its last window must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    MainInterface interface;

    // The rule model is complete before the first request can arrive.
    PAConfiguration* configuration = interface.configuration();
    configuration->readUserDefaults();
    if (QFileInfo::exists(configuration->confPath())) {
        const QString path = configuration->confPath();
        synchronizedQueue().syncBarrier([configuration, path] { configuration->loadConf(path); });
    }
    interface.startSocket()->start();
    return app.exec();
}
