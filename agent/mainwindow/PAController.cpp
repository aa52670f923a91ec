#include "mainwindow/PAController.h"

#include "app/PAInstaller.h"
#include "core/AgentLog.h"
#include "core/PAConfiguration.h"
#include "core/PARuleLists.h"
#include "core/PASystemUsers.h"
#include "core/SharedState.h"
#include "mainwindow/MainWindowTripleSplitViewDelegate.h"
#include "platform/AlertPresenter.h"
#include "platform/CommandRunner.h"
#include "platform/Resources.h"
#include "platform/Workspace.h"
#include "platform/widgets/SystemTray.h"
#include "setup/PAPreferencesController.h"
#include "ui_PAController.h"

#include <QApplication>
#include <QCursor>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QProgressBar>
#include <QSystemTrayIcon>
#include <QVBoxLayout>

namespace {

bool hasMatchBeginningWith(const PAApplication& app, QChar first)
{
    for (const QString& match : app.appMatches())
        if (match.startsWith(first))
            return true;
    return false;
}

// An app put into the ask state without setRule(): its matches, quiet period
// and timers stay.
void applyAskState(PAApplication& app)
{
    app.setAppIsBlockedOrAllowed(4);
    app.setAppIsYellow(true);
    app.setAppIsBlocked(false);
    app.setAppLabelColor(labelColor4());
    app.setAppRedShadow(false);
    app.setAppGreenShadow(false);
}

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

PAController::PAController(PAConfiguration& configuration, QObject* parent)
    : QObject(parent)
    , appsLibraryController(new ArrayController<PAApplication>(this))
    , paconfiguration(&configuration)
    , ui(new Ui::PAController)
    , m_window(new QMainWindow)
{
    appsLibraryController->setContent(&appsLibrary);
    // The window's list follows the shared one wherever that changes.
    connect(&ruleLists(), &PARuleLists::appsReplaced, this, &PAController::m_followSharedApps);
    connect(&ruleLists(), &PARuleLists::appInserted, this, &PAController::copyArrayAppLibrary);

    ui->setupUi(m_window.get());
    ui->toolbarControl->setId(ui->segmentApps, 0);
    ui->toolbarControl->setId(ui->segmentLogs, 1);
    ui->toolbarControl->setId(ui->segmentStrategies, 2);
    ui->segmentApps->setChecked(true);
    connect(ui->toolbarControl, &QButtonGroup::buttonClicked, this,
            [this](QAbstractButton* segment) { clickToolbarControl(segment); });
    // Hidden until the first load; it then stays, still once the load ends.
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

    m_buildStatusBarMenu();
    m_buildAboutWindow();
    // Until drawMenulet() puts the real one in the tray.
    m_statusBarItem = new QSystemTrayIcon(this);
}

PAController::~PAController()
{
    invalidateTimer(m_trayRetryTimer);
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

void PAController::m_buildStatusBarMenu()
{
    // A menu without a parent widget; the main window owns it so that it goes
    // with the window.
    statusBarMenu = new QMenu(m_window.get());
    statusBarMenu->setObjectName(QStringLiteral("statusBarMenu"));
    QAction* open = statusBarMenu->addAction(tr("Open Palisor"));
    connect(open, &QAction::triggered, this, [this] { m_showMainWindow(); });
    QAction* status = statusBarMenu->addAction(tr("Palisor Status..."));
    connect(status, &QAction::triggered, this, [this] { doDisplayStatus(); });
    statusBarMenu->addSeparator();
    enableFW = statusBarMenu->addAction(tr("Enable Firewall"));
    disableFW = statusBarMenu->addAction(tr("Disable Firewall"));
    lockItem = statusBarMenu->addAction(QStringLiteral("Lock"));
    debugMenuItem = statusBarMenu->addAction(tr("Debug"));
    statusBarMenu->addSeparator();
    QAction* about = statusBarMenu->addAction(tr("About Palisor"));
    connect(about, &QAction::triggered, this, [this] { showAboutWindow(); });
    quitItem = statusBarMenu->addAction(tr("Quit Palisor"));
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
    if (palisorinstaller)
        palisorinstaller->updateStatusView();
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
    m_hideSystemBinariesIfWanted();
    emit styleChanged();
}

void PAController::m_hideSystemBinariesIfWanted()
{
    if (hideSystemBinaries)
        appsLibraryController->setFilterPredicate(
            [](const PAApplication& app) { return !app.appIsSystemBinary(); });
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
    updateTitles();
    emit toolbarLedsChanged();
}

void PAController::updateColorsInPopover()
{
    emit labelColorsChanged();
}

void PAController::updateAllAppsLabelsColors()
{
    for (const auto& app : sharedAppsLibrary) {
        switch (app->appIsBlockedOrAllowed()) {
        case 1:
            app->setAppLabelColor(labelColor1());
            break;
        case 2:
            app->setAppLabelColor(labelColor2());
            break;
        case 3:
            app->setAppLabelColor(labelColor3());
            break;
        case 4:
            app->setAppLabelColor(labelColor4());
            break;
        default:
            app->setAppLabelColor(labelColor0());
            break;
        }
    }
}

void PAController::selectIconsStyle()
{
    const bool alternate = userDefaults().boolForKey(QStringLiteral("UseAlternateIcons"));
    passedUpImage() =
        Resources::requiredImage(alternate ? QStringLiteral("altpassedup") : QStringLiteral("passedup"));
    blockedUpImage() =
        Resources::requiredImage(alternate ? QStringLiteral("altblockedup") : QStringLiteral("blockedup"));
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

void PAController::m_followSharedApps()
{
    appsLibraryController->setContent(nullptr);
    appsLibrary.clear();
    appsLibraryController->setContent(&appsLibrary);
    if (sharedAppsLibrary.empty())
        return;
    // One arrangement for the whole list rather than one per app; the view
    // ends as adding them one by one leaves it, with the last app selected.
    const std::vector<std::shared_ptr<PAApplication>> apps = sharedAppsLibrary;
    appsLibraryController->addObjects(apps);
    if (appsLibraryController->selectsInsertedObjects())
        appsLibraryController->setSelectedObjects({apps.back()});
}

void PAController::configurationApplied()
{
    updateToolbarLeds();
}

void PAController::configurationPublished()
{
    updateColorsInPopover();
    updateAllAppsLabelsColors();
    if (hideSystemBinaries)
        appsLibraryController->setFilterPredicate(
            [](const PAApplication& app) { return !app.appIsSystemBinary(); });
}

void PAController::copyArrayAppLibrary()
{
    if (sharedAppsLibrary.empty())
        return;
    appsLibraryController->insertObject(sharedAppsLibrary.front(), 0);
    m_hideSystemBinariesIfWanted();
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
    updateToolbarLeds();
}

void PAController::reenableNotifications()
{
    if (enableNotifications)
        return;
    turnAllAppsWithMatchesFromGreenToYellow();
    enableNotifications = true;
    sendConfigurationToDaemon();
    updateToolbarLeds();
}

void PAController::makeYellowAppsTurnGreenButPreserveAllMatches()
{
    for (const auto& app : appsLibrary) {
        if (app->appIsBlockedOrAllowed() != 4)
            continue;
        app->setRule(hasMatchBeginningWith(*app, QLatin1Char('#')) ? 2 : 0);
    }
}

void PAController::turnAllAppsWithMatchesFromGreenToYellow()
{
    for (const auto& app : appsLibrary)
        if (hasMatchBeginningWith(*app, QLatin1Char('@')) && hasMatchBeginningWith(*app, QLatin1Char('#')))
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
    updateToolbarLeds();
}

std::shared_ptr<PAApplication> PAController::m_singleSelectedApp() const
{
    const auto selected = appsLibraryController->selectedObjects();
    return selected.size() == 1 ? selected.front() : nullptr;
}

void PAController::makeSelectedAppYellow(QObject*)
{
    const std::shared_ptr<PAApplication> app = m_singleSelectedApp();
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
    const std::shared_ptr<PAApplication> app = m_singleSelectedApp();
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
    const std::shared_ptr<PAApplication> app = m_singleSelectedApp();
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
        if (hasMatchBeginningWith(*app, QLatin1Char('#')))
            app->setRule(2);
        else if (hasMatchBeginningWith(*app, QLatin1Char('@')))
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
    const std::shared_ptr<PAApplication> app = m_singleSelectedApp();
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
    const std::shared_ptr<PAApplication> app = m_singleSelectedApp();
    if (!app)
        return;
    appsLibraryController->removeObject(app);
    app->stopAppTimer();
    publishAppsLibrary();
}

void PAController::revealAppInFinder(QObject*)
{
    if (const std::shared_ptr<PAApplication> app = m_singleSelectedApp())
        Workspace::revealInFileManager(app->appPath());
}

void PAController::drawAppPopover()
{
    // The window has no app rules popover yet: nothing to redraw.
}

void PAController::publishAppsLibrary()
{
    QPointer<PAController> self(this);
    synchronizedQueue().asyncBarrier([self] {
        if (!self)
            return;
        ruleLists().publishApps(self->appsLibrary);
        self->paconfiguration->sendConf();
    });
}

void PAController::sendConfigurationToDaemon()
{
    QPointer<PAController> self(this);
    synchronizedQueue().asyncBarrier([self] {
        if (self)
            self->paconfiguration->sendConf();
    });
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
