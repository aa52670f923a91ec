#include "AppDelegate.h"
#include "MainInterface.h"
#include "TerminationSignals.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // A menu-bar agent: closing its last window must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    MainInterface interface;
    AppDelegate* delegate = interface.appDelegate();

    // However the agent is ended (the helper, systemd, the session, Ctrl-C),
    // the termination handler runs and the last notification is flushed.
    TerminationSignals::install([delegate](int) { delegate->terminate(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, delegate, [delegate] { delegate->applicationWillTerminate(); });

    QTimer::singleShot(0, delegate, [delegate] { delegate->applicationDidFinishLaunching(); });
    const int status = app.exec();
    TerminationSignals::uninstall();
    return status;
}
