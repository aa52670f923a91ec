#include "app/AppDelegate.h"
#include "app/MainInterface.h"
#include "platform/Log.h"
#include "platform/TerminationSignals.h"
#include "platform/widgets/WidgetServices.h"

#include <QApplication>
#include <QPixmap>
#include <QTimer>

int main(int argc, char** argv)
{
    TerminationSignals::ignoreBrokenPipes();
    Log::installMessageHandler();
    QApplication app(argc, argv);
    // A menu-bar agent: closing its last window must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    WidgetServices::install();
    MainInterface interface;
    AppDelegate* delegate = interface.appDelegate();

    // However the agent is ended (the helper, systemd, the session, Ctrl-C),
    // the termination handler runs and the last notification is flushed.
    TerminationSignals::install([delegate](int) { delegate->terminate(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, delegate,
                     [delegate] { delegate->applicationWillTerminate(); });

    // Without a display (the demo on a build machine) a picture of the main
    // window shows the agent at work.
    const QString screenshot = QString::fromLocal8Bit(qgetenv("PALISOR_SCREENSHOT"));
    if (!screenshot.isEmpty())
        QObject::connect(delegate, &AppDelegate::started, delegate, [delegate, screenshot] {
            QTimer::singleShot(1000, delegate, [delegate, screenshot] {
                if (delegate->window)
                    delegate->window->grab().save(screenshot);
            });
        });

    QTimer::singleShot(0, delegate, [delegate] { delegate->applicationDidFinishLaunching(); });
    const int status = app.exec();
    TerminationSignals::uninstall();
    return status;
}
