#include "MainInterface.h"

#include <QAction>
#include <QMainWindow>
#include <QLayout>

#include "AppDelegate.h"
#include "PACollectionView.h"
#include "PACustomPresetsWindowController.h"
#include "SharedState.h"
#include "PAInstaller.h"
#include "BridgeClassPalisor.h"
#include "PANotifyController.h"
#include "PAObserveFileLogs.h"
#include "StartSocket.h"
#include "managesocketagent.h"

#include "PAConfiguration.h"
#include "PAConnectionController.h"
#include "PAController.h"
#include "PAExclusionController.h"
#include "PAManagedRecordsController.h"
#include "PAPreferencesController.h"
#include "PAPresetsController.h"
#include "PAUpdateController.h"
#include "PAWizardController.h"

MainInterface::MainInterface(QObject* parent)
    : QObject(parent)
    , m_palisorController(new PAController(this))
    , m_configuration(new PAConfiguration(this))
    , m_exclusionController(new PAExclusionController(this))
    , m_recordsController(new PAManagedRecordsController(this))
    , m_preferencesController(new PAPreferencesController(this))
    , m_updateController(new PAUpdateController(this))
    , m_connectionController(new PAConnectionController(this))
    , m_presetsController(new PAPresetsController(this))
    , m_socketAgent(new managesocketagent(this))
    , m_startSocket(new StartSocket(this))
    , m_bridge(new BridgeClassPalisor(this))
    , m_notifyController(new PANotifyController(this))
    , m_logKeeper(new PAObserveFileLogs(this))
    , m_installer(new PAInstaller(this))
    , m_appDelegate(new AppDelegate(this))
    , m_customPresetsController(new PACustomPresetsWindowController(this))
    , m_wizardController(new PAWizardController(this))
{
    m_palisorController->paconfiguration = m_configuration;
    m_palisorController->connectioncontroller = m_connectionController;

    m_configuration->palisorcontroller = m_palisorController;
    m_configuration->exclusioncontroller = m_exclusionController;
    m_configuration->preferencescontroller = m_preferencesController;
    m_configuration->connectioncontroller = m_connectionController;
    m_configuration->updatecontroller = m_updateController;
    m_configuration->recordscontroller = m_recordsController;

    m_connectionController->preferencescontroller = m_preferencesController;
    m_connectionController->palisorcontroller = m_palisorController;

    m_presetsController->window = m_palisorController->window();
    m_presetsController->palisorconfiguration = m_configuration;
    m_presetsController->exclusionscontroller = m_exclusionController;
    m_presetsController->palisorcontroller = m_palisorController;
    m_presetsController->toolbarControl = m_palisorController->toolbarControl();
    m_presetsController->mainTabView = m_palisorController->mainTabView();
    m_presetsController->wizardcontroller = m_wizardController;
    m_presetsController->recordscontroller = m_recordsController;

    // The assistant has no window yet, so it stays unavailable and starting
    // it changes nothing.
    m_wizardController->appdelegate = m_appDelegate;
    m_wizardController->palisorconfiguration = m_configuration;
    m_wizardController->recordscontroller = m_recordsController;
    m_wizardController->palisorcontroller = m_palisorController;
    m_wizardController->presetscontroller = m_presetsController;
    m_wizardController->exclusionscontroller = m_exclusionController;
    m_wizardController->connectioncontroller = m_connectionController;
    m_wizardController->preferencescontroller = m_preferencesController;

    m_socketAgent->myBridgeClassPalisor = m_bridge;
    m_startSocket->mymanagesocketagent = m_socketAgent;
    m_bridge->myPANotifyController = m_notifyController;
    m_notifyController->mymanagesocketagent = m_socketAgent;
    m_notifyController->palisorcontroller = m_palisorController;
    m_notifyController->connectioncontroller = m_connectionController;
    m_logKeeper->myPANotifyController = m_notifyController;

    m_appDelegate->mymanagesocketagent = m_socketAgent;
    m_appDelegate->myPalisorController = m_palisorController;
    m_appDelegate->presetscontroller = m_presetsController;
    m_appDelegate->myPAConfiguration = m_configuration;
    m_appDelegate->palisorInstaller = m_installer;
    m_appDelegate->myStartSocket = m_startSocket;
    m_appDelegate->custompresetscontroller = m_customPresetsController;
    m_appDelegate->wizardWindow = m_wizardController->window;

    m_installer->palisorconfiguration = m_configuration;
    m_installer->updatecontroller = m_updateController;
    m_installer->appsWindow = m_palisorController->window();
    m_installer->startWizard = [wizard = QPointer<PAWizardController>(m_wizardController)] {
        if (wizard)
            wizard->startWizard();
    };
    m_installer->startPresetsWizard = [delegate = QPointer<AppDelegate>(m_appDelegate)] {
        if (delegate)
            delegate->startPresetsWizard();
    };

    m_appDelegate->window = m_palisorController->window();
    m_appDelegate->aboutVersionLabel = m_palisorController->aboutVersionLabel();
    m_palisorController->statusView = m_installer->statusView();
    m_palisorController->palisorinstaller = m_installer;

    // The managed apps, in the main window's apps pane.
    auto* appsView = new PACollectionView(m_palisorController->appsViewContainer());
    m_palisorController->appsViewContainer()->layout()->addWidget(appsView);
    appsView->setController(m_palisorController);
    appsView->setItemStyle(windowStyle);
    connect(m_palisorController, &PAController::styleChanged, appsView, [appsView] { appsView->setItemStyle(windowStyle); });

    // The status menu's commands.
    connect(m_palisorController->lockItem, &QAction::triggered, m_appDelegate, &AppDelegate::lockUnlockFirewall);
    connect(m_palisorController->enableFW, &QAction::triggered, m_appDelegate, &AppDelegate::enableFirewall);
    connect(m_palisorController->disableFW, &QAction::triggered, m_appDelegate, &AppDelegate::disableFirewall);
    connect(m_palisorController->quitItem, &QAction::triggered, m_appDelegate, &AppDelegate::alternateQuitPalisorAgent);

    m_palisorController->awakeFromNib();
    m_configuration->awakeFromNib();
    m_presetsController->awakeFromNib();
    m_logKeeper->awakeFromNib();
}

MainInterface::~MainInterface()
{
    // The receive loop hands requests to objects about to go: end it first.
    managesocketagent::stopReceivingAndWait();
}
