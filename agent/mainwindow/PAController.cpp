#include "mainwindow/PAController.h"

#include "core/AgentLog.h"
#include "core/PAAppRuleEvaluation.h"
#include "core/PAAppsOrder.h"
#include "core/PAConfiguration.h"
#include "core/PARuleLists.h"
#include "core/PASettingsTable.h"
#include "core/PASystemUsers.h"
#include "core/SharedState.h"
#include "mainwindow/MainWindowTripleSplitViewDelegate.h"
#include "mainwindow/PASearchController.h"
#include "platform/AlertPresenter.h"
#include "platform/CodeSigning.h"
#include "platform/CommandRunner.h"
#include "platform/HostNames.h"
#include "platform/HostResolver.h"
#include "platform/Resources.h"
#include "platform/SystemColors.h"
#include "platform/Workspace.h"
#include "platform/widgets/Popover.h"
#include "platform/widgets/SystemTray.h"
#include "ruleeditors/PAAppPopover.h"
#include "ruleeditors/PAExclusionController.h"
#include "ruleeditors/PAManagedRecordsController.h"
#include "setup/PAPreferencesController.h"
#include "ui_PAAppPopover.h"
#include "ui_PAController.h"

#include <QAbstractButton>
#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPointer>
#include <QProgressBar>
#include <QSystemTrayIcon>
#include <QVBoxLayout>

namespace {

// The app whose temporary rule an "expireApp" message ends. A record that
// says which it is is found by that alone: apps may share a name, and the
// record may have gone meanwhile. It is left alone when its rule ended
// otherwise while the message waited (a user's rule, a newer temporary one).
// A message that names only an app ends the first of that name.
std::shared_ptr<PAApplication> expiringApp(const std::vector<std::shared_ptr<PAApplication>>& apps,
                                           const QVariantMap& userInfo)
{
    const QVariant serial = userInfo.value(QStringLiteral("appSerial"));
    if (serial.typeId() == QMetaType::ULongLong) {
        for (const auto& app : apps) {
            if (app->appSerial() != serial.toULongLong())
                continue;
            const bool newerTimer = app->timer() && app->timer()->isValid();
            return app->appHasTimer() && !newerTimer ? app : nullptr;
        }
        return nullptr;
    }
    const QVariant name = userInfo.value(QStringLiteral("appName"));
    if (name.typeId() != QMetaType::QString)
        return nullptr;
    for (const auto& app : apps)
        if (app->appName() == name.toString())
            return app;
    return nullptr;
}

} // namespace

PAController::PAController(PAConfiguration& configuration, PAWorkQueues& queues, QObject* parent)
    : QObject(parent)
    , ui(new Ui::PAController)
    , m_window(m_makeWindow(*ui))
    , m_managedApps(new PAManagedApps(ruleLists(), configuration, synchronizedQueue(), this))
    // The look-ups the popover makes go to the services in place now: a test
    // puts its fakes in before it builds the window.
    , m_rules(new PAAppRulesController(*m_managedApps, queues, HostNames::shared(), HostResolver::shared(),
                                       CodeSigning::shared(), m_window.get()))
    , m_appearance(new PAAppearance(*ui, m_window.get(), *this))
    , m_menus(new PAMainMenus(*this, m_window.get(), ui->toolsBtn, ui->sortBtn,
                              {ui->miByName, ui->miPassedFirst, ui->miBlockedFirst, ui->miBundlesFirst,
                               ui->miBinariesFirst, ui->miAppleFirst, ui->miThirdPartyFirst},
                              *m_managedApps->appsLibraryController, pasteboardIsBlockedOrAllowed))
    , appsLibrary(m_managedApps->appsLibrary)
    , appsLibraryController(m_managedApps->appsLibraryController)
    , paconfiguration(&configuration)
    , appPopover(m_rules->appPopover)
    , popoverPassedIPS(m_rules->popoverPassedIPS)
    , popoverBlockedIPS(m_rules->popoverBlockedIPS)
    , popoverPassedIPSController(m_rules->popoverPassedIPSController)
    , popoverBlockedIPSController(m_rules->popoverBlockedIPSController)
    , addressType(m_rules->addressType)
{
    ui->toolbarControl->setId(ui->segmentApps, 0);
    ui->toolbarControl->setId(ui->segmentLogs, 1);
    ui->toolbarControl->setId(ui->segmentStrategies, 2);
    ui->segmentApps->setChecked(true);
    connect(ui->toolbarControl, &QButtonGroup::buttonClicked, this,
            [this](QAbstractButton* segment) { clickToolbarControl(segment); });
    // Shown, spinning, only while a configuration loads.
    progr = new QProgressBar(ui->toolbarArea);
    progr->setObjectName(QStringLiteral("progr"));
    progr->setRange(0, 1);
    progr->setTextVisible(false);
    progr->setMaximumWidth(64);
    progr->hide();
    ui->toolbarLayout->addWidget(progr);

    m_splitViewDelegate = new MainWindowTripleSplitViewDelegate(this);
    m_splitViewDelegate->window = m_window.get();
    m_splitViewDelegate->splitView = ui->splitView;
    m_splitViewDelegate->leftView = ui->leftView;
    m_splitViewDelegate->centerView = ui->centerView;
    m_splitViewDelegate->rightView = ui->rightView;
    m_splitViewDelegate->leftBtn = ui->leftBtn;
    m_splitViewDelegate->rightBtn = ui->rightBtn;
    m_splitViewDelegate->attach();
    // Both side panes open at their width, so the divider rules have real
    // sizes to work on even before the window is first shown.
    m_window->layout()->activate();
    const int sides = MainWindowTripleSplitViewDelegate::sidePaneWidth;
    ui->splitView->setSizes({sides, std::max(0, ui->splitView->width() - 2 * sides), sides});

    m_buildAboutWindow();
    m_connectCommands();
    // The lights follow their two settings, whoever changes them: the alerts
    // switch, the logs window, a load, the daemon's silencing.
    // Tied to the window, which goes before the rest of this object.
    PASettingsTable::follow(m_window.get(), {enableNotifications.name(), activateLogging.name()},
                            [this] { updateToolbarLeds(); });
    m_searchController = new PASearchController(this);
    m_searchController->palisorcontroller = this;
    m_searchController->searchField = ui->searchAppName;
    // Every keystroke searches anew, as the field's text changes.
    connect(ui->searchAppName, &QLineEdit::textChanged, m_searchController,
            [this] { m_searchController->doSearch(ui->searchAppName); });
    // Until drawMenulet() puts the real one in the tray.
    m_statusBarItem = new QSystemTrayIcon(this);
}

QMainWindow* PAController::m_makeWindow(Ui::PAController& form)
{
    auto* window = new QMainWindow;
    form.setupUi(window);
    return window;
}

PAController::~PAController()
{
    invalidateTimer(m_trayRetryTimer);
}

// Every command of the window's buttons, menus and popovers to its action.
void PAController::m_connectCommands()
{
    connect(ui->appLockerBtn, &QAbstractButton::clicked, this, [this] { clickAppLocker(ui->appLockerBtn); });
    connect(ui->toggleNotificationsBtn, &QAbstractButton::clicked, this,
            [this] { toggleNotifications(ui->toggleNotificationsBtn); });
    connect(m_menus.get(), &PAMainMenus::statusWanted, this, [this] { doDisplayStatus(); });
    connect(m_menus.get(), &PAMainMenus::aboutWanted, this, [this] { showAboutWindow(); });
    // The configuration object is given at construction and outlives the
    // window's menus.
    connect(importItem, &QAction::triggered, paconfiguration, &PAConfiguration::importConfFromFile);
    connect(importItemAlt, &QAction::triggered, paconfiguration, &PAConfiguration::importEncodedConfFromFile);
    connect(exportItem, &QAction::triggered, paconfiguration, &PAConfiguration::exportConfToFile);
    connect(exportItemAlt, &QAction::triggered, paconfiguration, &PAConfiguration::exportEncodedConfToFile);
    connect(restoreWarningsItem, &QAction::triggered, this,
            [this] { resetUserDefaults(restoreWarningsItem); });
    PAAppPopover* popover = m_rules->appPopoverView();
    const std::pair<QAction*, void (PAController::*)(QObject*)> actions[] = {
        {enableNotificationsForThisApp, &PAController::makeSelectedAppYellow},
        {passThisApp, &PAController::makeSelectedAppGreen},
        {blockThisApp, &PAController::makeSelectedAppRed},
        {passAndDisableNotifications, &PAController::makeSelectedAppGreen},
        {blockAndDisableNotifications, &PAController::makeSelectedAppRed},
        {copyRulesItem, &PAController::rulesCopy},
        {pasteRulesItem, &PAController::rulesPaste},
        {revealAppInMacOSFinder, &PAController::revealAppInFinder},
        {removeAppFromManagedApps, &PAController::removeApp},
        // The rules popover's gear menu.
        {popover->popoverMakeYellowItem, &PAController::makeSelectedAppYellow},
        {popover->popoverMakeGreenItem, &PAController::makeSelectedAppGreen},
        {popover->popoverMakeRedItem, &PAController::makeSelectedAppRed},
        {popover->popoverMakeGreenItem2, &PAController::makeSelectedAppGreen},
        {popover->popoverMakeRedItem2, &PAController::makeSelectedAppRed},
    };
    for (const auto& [item, action] : actions)
        connect(item, &QAction::triggered, this, [this, item, action] { (this->*action)(item); });
    for (QAction* item : {ui->miByName, ui->miPassedFirst, ui->miBlockedFirst, ui->miBundlesFirst,
                          ui->miBinariesFirst, ui->miAppleFirst, ui->miThirdPartyFirst})
        connect(item, &QAction::triggered, this, [this, item] { sortApps(item); });

    info_apprules = popover->form()->info_apprules;
    m_appearance->appPopover = appPopover;
    m_appearance->info_apprules = info_apprules;
    connect(m_rules.get(), &PAAppRulesController::legendaWanted, this, &PAController::openLegenda);
    connect(m_rules.get(), &PAAppRulesController::popoverAppRuleShown, this,
            &PAController::popoverAppRuleShown);
    connect(m_rules.get(), &PAAppRulesController::popoverEntryCleared, this,
            &PAController::popoverEntryCleared);
    connect(m_rules.get(), &PAAppRulesController::appLogsWanted, this, &PAController::appLogsWanted);
    connect(m_appearance.get(), &PAAppearance::labelColorsChanged, this, &PAController::labelColorsChanged);
    connect(m_appearance.get(), &PAAppearance::stateIconsChanged, this, &PAController::stateIconsChanged);
    connect(m_appearance.get(), &PAAppearance::iconSetSwitched, this, &PAController::m_showEditorIcons);
}

void PAController::awakeFromNib()
{
    selectIconsStyle();
    NotificationCenter& center = appNotificationCenter();
    center.addObserver(QStringLiteral("expireApp"), this,
                       [this](const NotificationCenter::Notification& n) { expireApp(n.userInfo); });
    center.addObserver(QStringLiteral("sendConfiguration"), this,
                       [this](const NotificationCenter::Notification&) { sendConfiguration(); });
    setStyle(windowStyle);
    updateToolbarLeds();
    systemUsersList = PASystemUsers().systemUsers();
    center.addObserver(QStringLiteral("silenceNotifications"), this,
                       [this](const NotificationCenter::Notification&) { silenceNotifications(); });
    center.addObserver(QStringLiteral("reenableNotifications"), this,
                       [this](const NotificationCenter::Notification&) { reenableNotifications(); });
    populateSoundMenu();
    menuWillOpen(statusBarMenu);
}

QStackedWidget* PAController::mainTabView() const
{
    return ui->mainTabView;
}

QWidget* PAController::mainToolbar() const
{
    return ui->toolbarArea;
}

QButtonGroup* PAController::toolbarControl() const
{
    return ui->toolbarControl;
}

QSplitter* PAController::splitView() const
{
    return ui->splitView;
}

QWidget* PAController::appsViewContainer() const
{
    return ui->appsViewContainer;
}

QWidget* PAController::logsViewContainer() const
{
    return ui->logsViewContainer;
}

void PAController::m_buildAboutWindow()
{
    m_aboutWindow = std::make_unique<QWidget>(nullptr, Qt::Window);
    m_aboutWindow->setObjectName(QStringLiteral("aboutWindow"));
    m_aboutWindow->setWindowTitle(tr("About Palisor"));
    QPalette palette = m_aboutWindow->palette();
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::WindowText, Qt::black);
    m_aboutWindow->setPalette(palette);
    m_aboutWindow->setAutoFillBackground(true);

    auto* layout = new QVBoxLayout(m_aboutWindow.get());
    layout->setContentsMargins(40, 24, 40, 24);
    auto* icon = new QLabel(m_aboutWindow.get());
    icon->setAlignment(Qt::AlignCenter);
    const QIcon image = Resources::image(QStringLiteral("palisor"));
    if (!image.isNull())
        icon->setPixmap(image.pixmap(96, 96));
    layout->addWidget(icon);
    auto* name = new QLabel(QStringLiteral("Palisor"), m_aboutWindow.get());
    QFont font = name->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.5);
    name->setFont(font);
    name->setAlignment(Qt::AlignCenter);
    layout->addWidget(name);
    m_aboutVersionLabel = new QLabel(m_aboutWindow.get());
    m_aboutVersionLabel->setObjectName(QStringLiteral("aboutVersionLabel"));
    m_aboutVersionLabel->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_aboutVersionLabel);
    m_aboutWindow->setFixedSize(m_aboutWindow->sizeHint().expandedTo(QSize(300, 200)));
}

void PAController::m_showMainWindow()
{
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void PAController::drawMenulet()
{
    if (m_statusBarItem) {
        m_statusBarItem->hide();
        m_statusBarItem->deleteLater();
    }
    m_statusBarItem = new QSystemTrayIcon(this);
    m_statusBarItem->setContextMenu(statusBarMenu);
    // The menu opens on a plain click as well, as a menu-bar item does.
    connect(m_statusBarItem, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger && statusBarMenu)
                    statusBarMenu->popup(QCursor::pos());
            });
    m_statusBarItem->setIcon(m_templateImage(QStringLiteral("shield2Template")));
    updateMenuletIcon();
    invalidateTimer(m_trayRetryTimer);
    if (SystemTray::isAvailable()) {
        m_statusBarItem->show();
        return;
    }
    // At login the desktop's tray may come up after the agent: keep asking
    // for a while before the window becomes the way in.
    m_trayRetries = 0;
    QPointer<PAController> self(this);
    m_trayRetryTimer = Clock::shared().scheduledTimer(kTrayRetryInterval, true, [self] {
        if (self)
            self->m_retryTray();
    });
}

void PAController::m_retryTray()
{
    ++m_trayRetries;
    if (SystemTray::isAvailable()) {
        invalidateTimer(m_trayRetryTimer);
        if (m_statusBarItem)
            m_statusBarItem->show();
        return;
    }
    if (m_trayRetries < kTrayRetries)
        return;
    invalidateTimer(m_trayRetryTimer);
    qCInfo(lcWindows, "[PALISOR AGENT] no system tray on this desktop; showing the main window instead");
    m_showMainWindow();
}

void PAController::updateMenuletIcon()
{
    m_menuletImageName =
        isLocked ? QStringLiteral("shield2LockedTemplate") : QStringLiteral("shield2Template");
    if (!m_statusBarItem)
        return;
    m_statusBarItem->setIcon(m_templateImage(m_menuletImageName));
}

QIcon PAController::m_templateImage(const QString& name)
{
    // A missing image leaves the item without one rather than stopping.
    QIcon image = Resources::image(name);
    if (!image.isNull())
        image.setIsMask(true);
    return image;
}

void PAController::updateTitles()
{
    m_logSectionTitle = activateLogging ? QStringLiteral("Recent Apps Connections")
                                        : QStringLiteral("Recent Apps Connections (Disabled)");
    ui->titleLogs->setText(m_logSectionTitle);
}

void PAController::controlSplitViewWithView(const QString& view, const QString& action)
{
    MainWindowTripleSplitViewDelegate& panes = *m_splitViewDelegate;
    const int side = MainWindowTripleSplitViewDelegate::sidePaneWidth;
    const bool show = action == QLatin1String("show");
    if (!show && action != QLatin1String("hide"))
        return;
    if (view == QLatin1String("left")) {
        const bool collapsed = panes.isSubviewCollapsed(ui->leftView);
        if (show && collapsed)
            panes.setPositionOfDivider(side, 0);
        else if (!show && !collapsed)
            panes.setPositionOfDivider(0, 0);
    } else if (view == QLatin1String("right")) {
        const bool collapsed = panes.isSubviewCollapsed(ui->rightView);
        if (show && collapsed)
            panes.setPositionOfDivider(panes.splitViewWidth() - side, 1);
        else if (!show && !collapsed)
            panes.setPositionOfDivider(panes.splitViewWidth(), 1);
    }
}

void PAController::clickToolbarControl(QObject*)
{
    updateTitles();
    const int segment = ui->toolbarControl->checkedId();
    // Segment 2 also clears the strategies table's selection once the
    // strategies controller has its table.
    if (segment >= 0 && segment < ui->mainTabView->count())
        ui->mainTabView->setCurrentIndex(segment);
}

void PAController::doDisplayStatus(QObject*)
{
    displayStatusView();
}

void PAController::displayStatusView()
{
    Alert alert;
    alert.accessoryView = statusView;
    alert.icon = QStringLiteral("palisor");
    alert.messageText = QStringLiteral("Palisor Status");
    alert.buttons = {QStringLiteral("OK")};
    emit statusViewWillShow();
    AlertPresenter::shared().beginSheet(alert, m_window.get(), [](AlertResult) {});
}

void PAController::showAboutWindow(QObject*)
{
    m_aboutWindow->show();
    m_aboutWindow->raise();
    m_aboutWindow->activateWindow();
}

void PAController::m_setLight(QLabel* light, const QString& imageName)
{
    const QIcon image = Resources::systemImage(imageName);
    if (image.isNull())
        light->clear();
    else
        light->setPixmap(image.pixmap(light->maximumSize()));
}

void PAController::setStyle(const QString& style)
{
    windowStyle = style == QLatin1String("mini") ? QStringLiteral("mini") : QStringLiteral("normal");
    m_managedApps->hideSystemBinariesIfWanted();
    emit styleChanged();
}

void PAController::updateToolbarLeds()
{
    m_notificationsLedTitle = enableNotifications ? QStringLiteral("NOTIFICATIONS ENABLED")
                                                  : QStringLiteral("NOTIFICATIONS DISABLED");
    m_notificationsLedImage =
        enableNotifications ? QStringLiteral("NSStatusAvailable") : QStringLiteral("NSStatusUnavailable");
    m_loggingLedTitle =
        activateLogging ? QStringLiteral("LOGGING ENABLED") : QStringLiteral("LOGGING DISABLED");
    m_loggingLedImage =
        activateLogging ? QStringLiteral("NSStatusAvailable") : QStringLiteral("NSStatusUnavailable");
    ui->ledNotificationsLabel->setText(m_notificationsLedTitle);
    m_setLight(ui->ledNotificationsImage, m_notificationsLedImage);
    ui->ledLoggingLabel->setText(m_loggingLedTitle);
    m_setLight(ui->ledLoggingImage, m_loggingLedImage);
    ui->toggleNotificationsBtn->setChecked(enableNotifications);
    updateTitles();
    emit toolbarLedsChanged();
}

void PAController::removeAllXPCServices()
{
    if (isNotifyWindowOpen)
        return;
    const auto snapshot = appsLibrary;
    for (const auto& app : snapshot)
        if (app->appPath().contains(QLatin1String(".xpc/Contents")))
            appsLibraryController->removeObject(app);
    publishAppsLibrary();
}

void PAController::configurationPublished()
{
    m_appearance->showSoundInUse();
    updateColorsInPopover();
    updateAllAppsLabelsColors();
    m_managedApps->hideSystemBinariesIfWanted();
}

void PAController::sendConfiguration()
{
    sendConfigurationToDaemon();
}

void PAController::updateDaemon()
{
    sendConfigurationToDaemon();
}

void PAController::silenceNotifications()
{
    if (!enableNotifications)
        return;
    makeYellowAppsTurnGreenButPreserveAllMatches();
    enableNotifications = false;
    sendConfigurationToDaemon();
}

void PAController::reenableNotifications()
{
    if (enableNotifications)
        return;
    turnAllAppsWithMatchesFromGreenToYellow();
    enableNotifications = true;
    sendConfigurationToDaemon();
}

void PAController::makeYellowAppsTurnGreenButPreserveAllMatches()
{
    for (const auto& app : appsLibrary) {
        if (app->appIsBlockedOrAllowed() != 4)
            continue;
        app->setRule(hasMatchBeginningWith(app->appMatches(), QLatin1Char('#')) ? 2 : 0);
    }
}

void PAController::turnAllAppsWithMatchesFromGreenToYellow()
{
    for (const auto& app : appsLibrary)
        if (hasMatchBeginningWith(app->appMatches(), QLatin1Char('@')) &&
            hasMatchBeginningWith(app->appMatches(), QLatin1Char('#')))
            applyAskState(*app);
}

void PAController::expireApp(const QVariantMap& userInfo)
{
    QPointer<PAController> self(this);
    // The item runs on the main thread, so the app, its timer and the list
    // change there, behind an open alert and earlier edits.
    synchronizedQueue().asyncBarrier([self, userInfo] {
        if (!self)
            return;
        if (const std::shared_ptr<PAApplication> app = expiringApp(self->appsLibrary, userInfo)) {
            app->stopAppTimer();
            // A saved app gets back the rule it had; only one learnt during
            // the temporary rule asks or goes.
            if (!app->endTemporaryRule()) {
                if (enableNotifications)
                    applyAskState(*app);
                else
                    self->appsLibraryController->removeObject(app);
            }
        }
        ruleLists().publishApps(self->appsLibrary);
        self->paconfiguration->sendConf();
    });
}

void PAController::toggleNotifications(QObject*)
{
    switchNotificationAlertsStatus();
}

void PAController::switchNotificationAlertsStatus()
{
    if (enableNotifications) {
        makeYellowAppsTurnGreenButPreserveAllMatches();
        enableNotifications = false;
        // A copied ask rule would bring alerts back into an app.
        pasteboardIsBlockedOrAllowed = 5;
        if (preferencescontroller)
            preferencescontroller->disableNotificationsOption();
    } else {
        turnAllAppsWithMatchesFromGreenToYellow();
        enableNotifications = true;
        if (preferencescontroller)
            preferencescontroller->enableNotificationsOption();
    }
    sendConfigurationToDaemon();
}

void PAController::makeSelectedAppYellow(QObject*)
{
    const std::shared_ptr<PAApplication> app = m_managedApps->singleSelectedApp();
    if (!app)
        return;
    if (app->appIsBlockedOrAllowed() != 4)
        applyAskState(*app);
    app->expireQuiet();
    app->stopAppTimer();
    publishAppsLibrary();
    drawAppPopover();
}

void PAController::makeSelectedAppGreen(QObject*)
{
    m_setSelectedAppRule(0);
}

void PAController::makeSelectedAppRed(QObject*)
{
    m_setSelectedAppRule(1);
}

void PAController::m_setSelectedAppRule(qint64 rule)
{
    const std::shared_ptr<PAApplication> app = m_managedApps->singleSelectedApp();
    if (!app)
        return;
    app->setRule(rule);
    app->expireQuiet();
    publishAppsLibrary();
    drawAppPopover();
}

void PAController::clickAppLocker(QObject*)
{
    if (isNotifyWindowOpen)
        return;
    const std::shared_ptr<PAApplication> app = m_managedApps->singleSelectedApp();
    if (!app)
        return;
    switch (app->appIsBlockedOrAllowed()) {
    case 0:
    case 2:
        app->setRule(1);
        break;
    case 1:
    case 3:
        app->setRule(0);
        break;
    case 4:
        if (hasMatchBeginningWith(app->appMatches(), QLatin1Char('#')))
            app->setRule(2);
        else if (hasMatchBeginningWith(app->appMatches(), QLatin1Char('@')))
            app->setRule(3);
        else
            app->setRule(0);
        break;
    default:
        // A state no rule has keeps its state; the lock still ends a quiet period.
        break;
    }
    app->expireQuiet();
    publishAppsLibrary();
}

void PAController::rulesCopy(QObject*)
{
    const std::shared_ptr<PAApplication> app = m_managedApps->singleSelectedApp();
    if (!app)
        return;
    pasteboardMatches = app->appMatches();
    pasteboardIsBlockedOrAllowed = app->appIsBlockedOrAllowed();
}

void PAController::rulesPaste(QObject* sender)
{
    const auto selected = appsLibraryController->selectedObjects();
    if (selected.empty() || pasteboardIsBlockedOrAllowed < 0 || pasteboardIsBlockedOrAllowed > 4)
        return;
    PAApplication& target = *selected.front();
    target.setAppMatches(pasteboardMatches);
    target.setRule(pasteboardIsBlockedOrAllowed);
    if (sender && sender == pasteItemInAppPopover)
        drawAppPopover();
}

void PAController::removeApp(QObject*)
{
    if (isNotifyWindowOpen)
        return;
    const std::shared_ptr<PAApplication> app = m_managedApps->singleSelectedApp();
    if (!app)
        return;
    appsLibraryController->removeObject(app);
    app->stopAppTimer();
    publishAppsLibrary();
}

void PAController::revealAppInFinder(QObject*)
{
    if (const std::shared_ptr<PAApplication> app = m_managedApps->singleSelectedApp())
        Workspace::revealInFileManager(app->appPath());
}

QString PAController::eseguiShellCommand(const QString& launchPath, const QStringList& argomenti)
{
    return CommandRunner::shared().run(launchPath, argomenti);
}

QString PAController::doScript(const QString& command)
{
    return CommandRunner::shared().doShellScript(command, false);
}

QString PAController::doAScript(const QString& command)
{
    return CommandRunner::shared().doShellScript(command, true);
}

QLineEdit* PAController::searchAppName() const
{
    return ui->searchAppName;
}

PopUpButton* PAController::soundMenuBtn() const
{
    return ui->soundMenuBtn;
}

QAbstractButton* PAController::sortBtn() const
{
    return ui->sortBtn;
}

QAbstractButton* PAController::toolsBtn() const
{
    return ui->toolsBtn;
}

QAbstractButton* PAController::appLockerBtn() const
{
    return ui->appLockerBtn;
}

QAbstractButton* PAController::toggleNotificationsBtn() const
{
    return ui->toggleNotificationsBtn;
}

QAbstractButton* PAController::infoButton(const QString& name) const
{
    if (name == QLatin1String("info_apprules"))
        return info_apprules;
    return m_window->findChild<QAbstractButton*>(name);
}

void PAController::m_showEditorIcons()
{
    if (recordscontroller) {
        for (const auto& record : recordscontroller->recordsLibrary) {
            if (!record)
                continue;
            if (record->rule() == 0) {
                record->setImage(passedUpImage());
                record->setLabelColor(SystemColors::controlTextColor());
            } else if (record->rule() == 1) {
                record->setImage(blockedUpImage());
                record->setLabelColor(SystemColors::red());
            }
        }
    }
    if (exclusionscontroller)
        for (const auto& folder : exclusionscontroller->exlusionsLibrary)
            if (folder)
                folder->setRuleIcon();
}

void PAController::sortApps(QObject* sender)
{
    QPointer<PAController> self(this);
    QPointer<QObject> item(sender);
    synchronizedQueue().asyncBarrier([self, item] {
        if (!self)
            return;
        const std::pair<QAction*, PAAppsOrder::Order> orders[] = {
            {self->miByName, PAAppsOrder::ByName},
            {self->miPassedFirst, PAAppsOrder::PassedFirst},
            {self->miBlockedFirst, PAAppsOrder::BlockedFirst},
            {self->miBundlesFirst, PAAppsOrder::BundlesFirst},
            {self->miBinariesFirst, PAAppsOrder::BinariesFirst},
            {self->miAppleFirst, PAAppsOrder::AppleFirst},
            {self->miThirdPartyFirst, PAAppsOrder::ThirdPartyFirst},
        };
        for (const auto& [sortItem, order] : orders) {
            if (!item || item != sortItem)
                continue;
            // The window's list takes its new order in one step, from the
            // apps it holds now: the view is never empty in between, and an
            // app that arrived while the sort waited keeps its place in it.
            self->appsLibrary = PAAppsOrder::sorted(self->appsLibrary, order);
            self->appsLibraryController->rearrangeObjects();
            ruleLists().publishApps(self->appsLibrary);
            break;
        }
        self->m_managedApps->hideSystemBinariesIfWanted();
    });
}
