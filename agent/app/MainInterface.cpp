#include "app/MainInterface.h"

#include "alerts/PANotifyController.h"
#include "alerts/PAOpenAlerts.h"
#include "app/AppDelegate.h"
#include "app/PAInstaller.h"
#include "core/PAApplication.h"
#include "core/PAConfiguration.h"
#include "core/PAFlagsController.h"
#include "core/PAObserveFileLogs.h"
#include "core/PAWorkQueues.h"
#include "core/SharedState.h"
#include "daemonlink/BridgeClassPalisor.h"
#include "daemonlink/PARequestRoad.h"
#include "daemonlink/Socketcon.h"
#include "daemonlink/StartSocket.h"
#include "daemonlink/managesocketagent.h"
#include "mainwindow/PACollectionView.h"
#include "mainwindow/PAConnectionController.h"
#include "mainwindow/PAController.h"
#include "platform/ConcurrentQueue.h"
#include "platform/DesktopEntries.h"
#include "platform/MainQueue.h"
#include "platform/Resources.h"
#include "ruleeditors/PAAppPopover.h"
#include "ruleeditors/PAExclusionController.h"
#include "ruleeditors/PAManagedRecordsController.h"
#include "ruleeditors/PAPopoverDelegate.h"
#include "setup/PACustomPresetsWindowController.h"
#include "setup/PAPreferencesController.h"
#include "setup/PAPresetsController.h"
#include "setup/PAUpdateController.h"
#include "setup/PAWizardController.h"
#include "ui_PAAppPopover.h"

#include <QAction>
#include <QCoreApplication>
#include <QLayout>
#include <QMainWindow>
#include <QProgressBar>

#include <utility>

namespace {

// A look-up reads a file or two; one that hangs on a dead mount must not hold
// up the end of the agent.
constexpr int kLookUpWaitMs = 2000;

} // namespace

MainInterface::MainInterface(QObject* parent)
    : QObject(parent)
    , m_workQueues(std::make_unique<PAWorkQueues>())
    , m_openAlerts(std::make_unique<PAOpenAlerts>())
    , m_configuration(new PAConfiguration(this))
    , m_preferencesController(new PAPreferencesController(this))
    , m_updateController(new PAUpdateController(this))
    , m_exclusionController(new PAExclusionController(this))
    , m_recordsController(new PAManagedRecordsController(this))
    , m_palisorController(new PAController(*m_configuration, *m_workQueues, this))
    , m_connectionController(new PAConnectionController(*m_preferencesController, *m_workQueues, this))
    , m_presetsController(new PAPresetsController(*m_configuration, this))
    , m_wizardController(new PAWizardController(*m_presetsController, this))
    , m_requestRoad(new PARequestRoad(synchronizedQueue(), *m_openAlerts, this))
    , m_socketAgent(new managesocketagent(this))
    , m_startSocket(new StartSocket(*m_socketAgent, this))
    , m_notifyController(new PANotifyController(*m_requestRoad, *m_socketAgent, *m_workQueues, this))
    , m_bridge(new BridgeClassPalisor(*m_requestRoad, *m_notifyController, this))
    , m_socketcon(new Socketcon(*m_bridge, this))
    , m_logKeeper(new PAObserveFileLogs(this))
    , m_installer(new PAInstaller(*m_configuration, *m_updateController, this))
    , m_customPresetsController(new PACustomPresetsWindowController(this))
    , m_appDelegate(new AppDelegate(*m_socketAgent, *m_palisorController, *m_configuration, *m_installer,
                                    *m_startSocket, *m_presetsController, *m_customPresetsController, this))
    , m_flagsController(new PAFlagsController(this))
{
    // The bundle names the program ("Palisor", not the executable's file
    // name): a window without a title of its own, a dialog, a sheet, shows
    // that name in its title bar. No window is on screen yet.
    const QString name = Resources::bundleName();
    if (!name.isEmpty())
        QCoreApplication::setApplicationName(name);
    // Every record made from now on checks its signature on the pool of
    // blocking look-ups; none is made before this point.
    PAApplication::setSignatureCheckQueue(&m_workQueues->lookUps());
    m_configuration->window = m_palisorController->window();
    m_connectConfiguration();
    // The apps' icons come from the desktop's entries: reading them starts
    // now, on a worker thread, so that the first load seldom waits for it.
    DesktopEntries::prepare();

    // Outlets to windows and their parts. The assistant has no window yet,
    // so it stays unavailable and starting it changes nothing.
    m_presetsController->window = m_palisorController->window();
    m_socketAgent->myBridgeClassPalisor = m_bridge;
    m_connectionController->mysocketcon = m_socketcon;
    // A reported connection becomes the log's row before its log line.
    connect(m_notifyController, &PANotifyController::connectionReported, m_connectionController,
            &PAConnectionController::addReportedConnection);
    connect(m_logKeeper, &PAObserveFileLogs::logFileChanged, m_notifyController,
            &PANotifyController::logFileChanged);

    m_appDelegate->wizardWindow = m_wizardController->window;
    m_wizardController->appsWindow = m_palisorController->window();

    m_installer->appsWindow = m_palisorController->window();
    m_installer->startWizard = [wizard = QPointer<PAWizardController>(m_wizardController)] {
        if (wizard)
            wizard->startWizard();
    };
    m_installer->showMainToolbar = [main = QPointer<PAController>(m_palisorController)] {
        if (main)
            main->mainToolbar()->setVisible(true);
    };
    m_installer->startPresetsWizard = [delegate = QPointer<AppDelegate>(m_appDelegate)] {
        if (delegate)
            delegate->startPresetsWizard();
    };

    m_appDelegate->window = m_palisorController->window();
    m_appDelegate->aboutVersionLabel = m_palisorController->aboutVersionLabel();
    m_palisorController->statusView = m_installer->statusView();
    connect(m_palisorController, &PAController::statusViewWillShow, m_installer,
            &PAInstaller::updateStatusView);
    m_palisorController->recordscontroller = m_recordsController;
    m_palisorController->exclusionscontroller = m_exclusionController;
    m_palisorController->preferencescontroller = m_preferencesController;

    // The managed apps, in the main window's apps pane.
    auto* appsView = new PACollectionView(m_palisorController->appsViewContainer());
    m_palisorController->appsViewContainer()->layout()->addWidget(appsView);
    appsView->setController(m_palisorController);
    appsView->setMenu(m_palisorController->rightClickMenu);
    appsView->setItemStyle(windowStyle);
    connect(m_palisorController, &PAController::styleChanged, appsView,
            [appsView] { appsView->setItemStyle(windowStyle); });
    connect(m_palisorController, &PAController::stateIconsChanged, appsView,
            &PACollectionView::reloadStateImages);
    // A double click on an app opens its rules popover under the item.
    connect(appsView, &QAbstractItemView::doubleClicked, m_palisorController,
            [appsView, main = QPointer<PAController>(m_palisorController)](const QModelIndex& index) {
                if (main)
                    main->openAppPopover(appsView->viewport(), appsView->visualRect(index));
            });

    // The status and Tools menus' commands that belong to the delegate.
    connect(m_palisorController->openItem, &QAction::triggered, m_appDelegate, &AppDelegate::showAppsWindow);
    connect(m_palisorController->custompresetsItem, &QAction::triggered, m_appDelegate,
            &AppDelegate::openCustomPresetsWindow);
    connect(m_palisorController->emptyAllItem, &QAction::triggered, m_appDelegate, &AppDelegate::emptyall);
    connect(m_palisorController->lockItem, &QAction::triggered, m_appDelegate,
            &AppDelegate::lockUnlockFirewall);
    connect(m_palisorController->enableFW, &QAction::triggered, m_appDelegate, &AppDelegate::enableFirewall);
    connect(m_palisorController->disableFW, &QAction::triggered, m_appDelegate,
            &AppDelegate::disableFirewall);
    connect(m_palisorController->quitItem, &QAction::triggered, m_appDelegate,
            &AppDelegate::alternateQuitPalisorAgent);

    // The connections log, in the main window's logs tab.
    m_connectionController->palisorcontroller = m_palisorController;
    m_connectionController->logToFile = m_preferencesController->logToFile;
    m_connectionController->setWindow(m_palisorController->window());
    m_palisorController->logsViewContainer()->layout()->addWidget(m_connectionController->view());
    // The rules popover's connections tab lists the log's rows of its app.
    m_connectionController->showAppConnectionsIn(
        m_palisorController->appPopoverView()->form()->appConnsTableView);
    connect(m_palisorController, &PAController::appLogsWanted, m_connectionController,
            &PAConnectionController::getAppLogs);
    connect(m_palisorController->popoverDelegate(), &PAPopoverDelegate::appConnectionsFilterCleared,
            m_connectionController, &PAConnectionController::clearAppLogsFilter);

    // The reports' socket is bound only once the delegate knows no other
    // agent runs: binding it earlier would take the running agent's.
    connect(m_appDelegate, &AppDelegate::onlyInstance, m_connectionController,
            &PAConnectionController::startReadConnection);

    m_palisorController->awakeFromNib();
    m_connectionController->awakeFromNib();
    m_configuration->awakeFromNib();
    m_presetsController->awakeFromNib();
    m_logKeeper->awakeFromNib();
    // The country zones are read here, on the main thread and before the
    // delegate starts the daemon's receive loop, so every alert's look-up
    // finds them complete and nothing writes them while it reads.
    m_flagsController->awakeFromNib();
}

// What the windows do at each step of a load, in the order the daemon sees
// their messages: the windows refresh and logging is switched, then the rule
// set is published, then the root and XPC options follow it.
void MainInterface::m_connectConfiguration()
{
    PAConfiguration* configuration = m_configuration;
    QPointer<PAController> main = m_palisorController;
    connect(configuration, &PAConfiguration::loadStarted, this, [main] {
        if (QProgressBar* progress = main ? main->progr.data() : nullptr) {
            progress->setRange(0, 0);
            progress->show();
        }
    });
    connect(configuration, &PAConfiguration::configurationApplied, m_preferencesController,
            &PAPreferencesController::updatePreferencesGUI);
    connect(configuration, &PAConfiguration::configurationApplied, m_connectionController,
            &PAConnectionController::loggingControl);
    connect(configuration, &PAConfiguration::configurationApplied, m_updateController,
            [update = m_updateController] {
                if (autoupdate)
                    update->startAutoUpdateTimer();
                else
                    update->stopAutoUpdateTimer();
            });
    connect(configuration, &PAConfiguration::configurationPublished, m_preferencesController,
            &PAPreferencesController::sendToDaemonManageRootOption);
    connect(configuration, &PAConfiguration::configurationPublished, m_preferencesController,
            &PAPreferencesController::sendToDaemonManageXPCOption);
    connect(configuration, &PAConfiguration::configurationPublished, m_palisorController,
            &PAController::configurationPublished);
    connect(configuration, &PAConfiguration::configurationPublished, this, [main] {
        QPointer<QProgressBar> progress = main ? main->progr.data() : nullptr;
        // A still bar beside the logging light reads as an empty text field:
        // it shows only while a load runs.
        MainQueue::async([progress] {
            if (progress) {
                progress->setRange(0, 1);
                progress->hide();
            }
        });
    });

    connect(configuration, &PAConfiguration::automaticXPCQuestionWillOpen, m_palisorController,
            [window = QPointer<QMainWindow>(m_palisorController->window())] {
                if (window) {
                    window->raise();
                    window->activateWindow();
                }
            });
    connect(configuration, &PAConfiguration::automaticXPCEnabled, m_palisorController,
            &PAController::removeAllXPCServices);
    connect(configuration, &PAConfiguration::automaticXPCEnabled, m_preferencesController,
            &PAPreferencesController::sendToDaemonManageXPCOption);
    connect(configuration, &PAConfiguration::logRotationChecked, m_preferencesController,
            [preferences = m_preferencesController](bool present) {
                if (preferences->updateRotationBtn)
                    preferences->updateRotationBtn->setVisible(!present);
            });
}

MainInterface::~MainInterface()
{
    // The receive loops hand requests and reports to objects about to go:
    // end them first.
    managesocketagent::stopReceivingAndWait();
    Socketcon::stopReadingAndWait();
    m_endOpenAlerts();
    if (PAApplication::signatureCheckQueue() == &m_workQueues->lookUps())
        PAApplication::setSignatureCheckQueue(nullptr);
    // The objects go here rather than with QObject, after the members: the
    // pools they hand work to and the table the road reads must outlive
    // them. In the order QObject would delete them.
    while (!children().isEmpty())
        delete children().constFirst();
}

// An alert still open at the end (the session ending, SIGTERM) holds a
// window, its timers and a place on the request road. All of it must go
// while the road and the application object are still there: left to the
// end of the process, the window would be destroyed after the GUI it
// belongs to.
void MainInterface::m_endOpenAlerts()
{
    const auto alerts = std::exchange(openAlerts, {});
    // A look-up under way hands its result to the main queue and holds the
    // alert only weakly; once it is done nothing more arrives for the alert.
    for (ConcurrentQueue* pool :
         {&m_workQueues->mostraQueue(), &m_workQueues->findFlagQueue(), &m_workQueues->work()})
        pool->waitForDone(kLookUpWaitMs);
    // Work queued for the main thread that will never run now may hold the
    // last reference to an alert: it goes here, before the alerts themselves.
    if (QCoreApplication* app = QCoreApplication::instance())
        QCoreApplication::removePostedEvents(app, QEvent::MetaCall);
}
