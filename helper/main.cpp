#include "helper/AppDelegate.h"
#include "helper/HelperController.h"
#include "platform/AlertPresenter.h"
#include "platform/ApplicationLauncher.h"
#include "platform/LinePrinter.h"
#include "platform/Log.h"
#include "platform/LoginItems.h"
#include "platform/LogindSessionEvents.h"
#include "platform/RunningApplications.h"
#include "platform/TerminationSignals.h"
#include "platform/widgets/WidgetServices.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char** argv)
{
    TerminationSignals::ignoreBrokenPipes();
    Log::installMessageHandler();
    QApplication application(argc, argv);
    // The restart alert is the only window; closing it must not end the helper.
    QApplication::setQuitOnLastWindowClosed(false);
    WidgetServices::install();

    // What the interface file of a windowed program would make: the delegate
    // and the controller, with the real system behind the controller.
    AppDelegate delegate;
    WorkspaceRunningApplications applications;
    WorkspaceApplicationLauncher launcher;
    LogindSessionEvents sessionEvents;
    StandardOutputPrinter output;
    XdgAutostartLoginItems loginItems;
    HelperController controller({applications, launcher, sessionEvents, Clock::shared(),
                                 AlertPresenter::shared(), output, loginItems});

    sessionEvents.start();
    controller.awakeFromNib();
    QTimer::singleShot(0, &delegate, [&delegate] { delegate.applicationDidFinishLaunching(); });
    const int status = QApplication::exec();
    delegate.applicationWillTerminate();
    return status;
}
