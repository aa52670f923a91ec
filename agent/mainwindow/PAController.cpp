#include "mainwindow/PAController.h"

#include "app/PAInstaller.h"
#include "core/AgentLog.h"
#include "core/PAAppsOrder.h"
#include "core/PAConfiguration.h"
#include "core/PARuleLists.h"
#include "core/PASystemUsers.h"
#include "core/SharedState.h"
#include "mainwindow/MainWindowTripleSplitViewDelegate.h"
#include "mainwindow/PASearchController.h"
#include "platform/AlertPresenter.h"
#include "platform/CommandRunner.h"
#include "platform/Resources.h"
#include "platform/SoundPlayer.h"
#include "platform/SystemColors.h"
#include "platform/Workspace.h"
#include "platform/widgets/ColorWell.h"
#include "platform/widgets/PopUpButton.h"
#include "platform/widgets/Popover.h"
#include "platform/widgets/SystemTray.h"
#include "ruleeditors/PAExclusionController.h"
#include "ruleeditors/PAManagedRecordsController.h"
#include "setup/PAPreferencesController.h"
#include "ui_PAController.h"
#include "ui_PALegenda.h"

#include <QApplication>
#include <QCheckBox>
#include <QCursor>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
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

// Paints a text in a label colour; an invalid colour gives the label back the
// palette's text colour, so it follows the theme.
void paintText(QLabel* label, const QColor& color)
{
    if (!label)
        return;
    if (!color.isValid()) {
        label->setPalette(QPalette());
        return;
    }
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

// An image of the chosen set; a missing one leaves `target` as it was.
void takeImage(QIcon& target, const QString& name)
{
    const QIcon image = Resources::image(name);
    if (!image.isNull())
        target = image;
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
    , m_legenda(new Ui::PALegenda)
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
    m_buildSortMenu();
    m_buildToolsMenu();
    m_buildRightClickMenu();
    for (QMenu* menu : {statusBarMenu.data(), toolsMenu.data(), appSortMenu.data(), rightClickMenu.data()})
        connect(menu, &QMenu::aboutToShow, this, [this, menu] { menuWillOpen(menu); });
    toolsMenu->installEventFilter(this);
    connect(ui->appLockerBtn, &QAbstractButton::clicked, this, [this] { clickAppLocker(ui->appLockerBtn); });
    connect(ui->toggleNotificationsBtn, &QAbstractButton::clicked, this,
            [this] { toggleNotifications(ui->toggleNotificationsBtn); });
    m_buildLegenda();
    m_buildAddIPPopover();
    m_searchController = new PASearchController(this);
    m_searchController->palisorcontroller = this;
    m_searchController->searchField = ui->searchAppName;
    // Every keystroke searches anew, as the field's text changes.
    connect(ui->searchAppName, &QLineEdit::textChanged, m_searchController,
            [this] { m_searchController->doSearch(ui->searchAppName); });
    connect(ui->soundMenuBtn, &PopUpButton::itemChosen, this, [this] { selectSound(ui->soundMenuBtn); });
    for (QAbstractButton* info :
         {static_cast<QAbstractButton*>(ui->info_apps), static_cast<QAbstractButton*>(ui->info_folders),
          static_cast<QAbstractButton*>(ui->info_addr), static_cast<QAbstractButton*>(ui->info_logs)})
        connect(info, &QAbstractButton::clicked, this, [this, info] { openLegenda(info); });
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
    populateSoundMenu();
    center.addObserver(QLatin1String(kStatusSwitchesChanged), this,
                       [this](const NotificationCenter::Notification&) { menuWillOpen(statusBarMenu); });
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

void PAController::m_buildStatusBarMenu()
{
    // A menu without a parent widget; the main window owns it so that it goes
    // with the window.
    statusBarMenu = new QMenu(m_window.get());
    statusBarMenu->setObjectName(QStringLiteral("statusBarMenu"));
    openItem = statusBarMenu->addAction(tr("Open Palisor"));
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

void PAController::m_buildToolsMenu()
{
    toolsMenu = new QMenu(m_window.get());
    toolsMenu->setObjectName(QStringLiteral("toolsMenu"));
    importItem = toolsMenu->addAction(tr("Import Configuration..."));
    importItemAlt = toolsMenu->addAction(tr("Import Encoded Configuration..."));
    exportItem = toolsMenu->addAction(tr("Export Configuration..."));
    exportItemAlt = toolsMenu->addAction(tr("Export Encoded Configuration..."));
    toolsMenu->addSeparator();
    custompresetsItem = toolsMenu->addAction(tr("Custom Presets..."));
    emptyAllItem = toolsMenu->addAction(tr("Clear Apps List..."));
    restoreWarningsItem = toolsMenu->addAction(tr("Restore All Warnings"));
    // The configuration object is given at construction and outlives the
    // window's menus.
    PAConfiguration* configuration = paconfiguration;
    connect(importItem, &QAction::triggered, configuration, &PAConfiguration::importConfFromFile);
    connect(importItemAlt, &QAction::triggered, configuration, &PAConfiguration::importEncodedConfFromFile);
    connect(exportItem, &QAction::triggered, configuration, &PAConfiguration::exportConfToFile);
    connect(exportItemAlt, &QAction::triggered, configuration, &PAConfiguration::exportEncodedConfToFile);
    connect(restoreWarningsItem, &QAction::triggered, this,
            [this] { resetUserDefaults(restoreWarningsItem); });
    m_showAlternateItems(false);
    ui->toolsBtn->setMenu(toolsMenu);
}

void PAController::m_buildRightClickMenu()
{
    rightClickMenu = new QMenu(m_window.get());
    rightClickMenu->setObjectName(QStringLiteral("rightClickMenu"));
    enableNotificationsForThisApp = rightClickMenu->addAction(tr("Ask About This App"));
    passThisApp = rightClickMenu->addAction(tr("Pass This App"));
    blockThisApp = rightClickMenu->addAction(tr("Block This App"));
    passAndDisableNotifications = rightClickMenu->addAction(tr("Pass This App Without Asking"));
    blockAndDisableNotifications = rightClickMenu->addAction(tr("Block This App Without Asking"));
    rightClickMenuSeparator1 = rightClickMenu->addSeparator();
    copyRulesItem = rightClickMenu->addAction(tr("Copy Rules"));
    pasteRulesItem = rightClickMenu->addAction(tr("Paste Rules"));
    rightClickMenuSeparator2 = rightClickMenu->addSeparator();
    revealAppInMacOSFinder = rightClickMenu->addAction(tr("Show in File Manager"));
    removeAppFromManagedApps = rightClickMenu->addAction(tr("Remove from Managed Apps"));
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
    };
    for (const auto& [item, action] : actions)
        connect(item, &QAction::triggered, this, [this, item, action] { (this->*action)(item); });
    for (QAction* item : rightClickMenu->actions())
        item->setVisible(false);
}

void PAController::menuWillOpen(QMenu* menu)
{
    if (!menu)
        return;
    if (menu == statusBarMenu) {
        m_statusMenuWillOpen();
    } else if (menu == toolsMenu) {
        m_toolsMenuWillOpen();
    } else if (menu == appSortMenu) {
        if (miAppleFirst && miThirdPartyFirst) {
            miAppleFirst->setVisible(verifySignatures);
            miThirdPartyFirst->setVisible(verifySignatures);
        }
    } else if (menu == rightClickMenu) {
        m_rightClickMenuWillOpen();
    }
}

void PAController::m_statusMenuWillOpen()
{
    if (!lockItem || !enableFW || !disableFW || !debugMenuItem)
        return;
    const QList<QAction*> items = statusBarMenu->actions();
    const auto showAll = [&items](bool visible) {
        for (QAction* item : items)
            item->setVisible(visible);
    };
    // An alert or the assistant holds the rules: nothing may be started from
    // the menu meanwhile.
    if (isNotifyWindowOpen || wizardIsRunning) {
        showAll(false);
        return;
    }
    if (isLocked) {
        showAll(false);
        lockItem->setText(QStringLiteral("Unlock..."));
        lockItem->setVisible(true);
    } else {
        showAll(true);
        lockItem->setText(QStringLiteral("Lock"));
        if (firewallEnabled) {
            enableFW->setVisible(false);
            disableFW->setVisible(true);
        } else {
            showAll(false);
            enableFW->setVisible(true);
        }
    }
    debugMenuItem->setVisible(debugMode);
}

void PAController::m_toolsMenuWillOpen()
{
    if (!importItem || !exportItem || !exportItemAlt)
        return;
    m_showAlternateItems(QGuiApplication::queryKeyboardModifiers().testFlag(Qt::AltModifier));
}

void PAController::m_showAlternateItems(bool alternate)
{
    const std::pair<QAction*, QAction*> pairs[] = {{importItem, importItemAlt}, {exportItem, exportItemAlt}};
    for (const auto& [plain, other] : pairs) {
        if (!plain || !other)
            continue;
        plain->setVisible(!alternate);
        other->setVisible(alternate);
    }
}

bool PAController::eventFilter(QObject* watched, QEvent* event)
{
    // The event's type first: the menu's own destruction passes events here
    // too, and by then it can no longer be looked at as a menu.
    if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) && watched == toolsMenu) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Alt) {
            m_showAlternateItems(event->type() == QEvent::KeyPress);
            // Alt only swaps the items here; the menu stays open.
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void PAController::m_rightClickMenuWillOpen()
{
    const QList<QAction*> named = {enableNotificationsForThisApp,
                                   passThisApp,
                                   blockThisApp,
                                   passAndDisableNotifications,
                                   blockAndDisableNotifications,
                                   removeAppFromManagedApps,
                                   revealAppInMacOSFinder,
                                   rightClickMenuSeparator1,
                                   rightClickMenuSeparator2,
                                   copyRulesItem,
                                   pasteRulesItem};
    if (named.contains(nullptr))
        return;
    const QList<QAction*> items = rightClickMenu->actions();
    for (QAction* item : items)
        item->setVisible(false);
    const auto selected = appsLibraryController->selectedObjects();
    if (selected.empty())
        return;
    for (QAction* item : items)
        item->setEnabled(true);
    switch (selected.front()->appIsBlockedOrAllowed()) {
    case 0:
    case 2:
        blockThisApp->setVisible(true);
        enableNotificationsForThisApp->setVisible(enableNotifications);
        break;
    case 1:
    case 3:
        passThisApp->setVisible(true);
        enableNotificationsForThisApp->setVisible(enableNotifications);
        break;
    case 4:
        passAndDisableNotifications->setVisible(true);
        blockAndDisableNotifications->setVisible(true);
        break;
    default:
        break;
    }
    for (QAction* item :
         {removeAppFromManagedApps.data(), revealAppInMacOSFinder.data(), rightClickMenuSeparator1.data(),
          rightClickMenuSeparator2.data(), copyRulesItem.data(), pasteRulesItem.data()})
        item->setVisible(true);
    pasteRulesItem->setEnabled(pasteboardIsBlockedOrAllowed != 5);
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
    ui->toggleNotificationsBtn->setChecked(enableNotifications);
    updateTitles();
    emit toolbarLedsChanged();
}

void PAController::updateColorsInPopover()
{
    for (qint64 state = 0; state <= 4; ++state) {
        const QColor& color = labelColorOfState(state);
        if (ColorWell* stateWell = well(state))
            stateWell->setColor(color);
        m_paintStateTexts(state, color);
    }
    emit labelColorsChanged();
}

void PAController::updateAllAppsLabelsColors()
{
    for (const auto& app : sharedAppsLibrary)
        if (app)
            app->setAppLabelColor(labelColorOfState(app->appIsBlockedOrAllowed()));
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
    // A load brings its own lock state.
    menuWillOpen(statusBarMenu);
}

void PAController::configurationPublished()
{
    m_showSoundInUse();
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

// ---------------------------------------------------------------- appearance

const QStringList& PAController::alertSoundNames()
{
    static const QStringList names{
        QStringLiteral("Basso"),     QStringLiteral("Blow"),  QStringLiteral("Bottle"),
        QStringLiteral("Frog"),      QStringLiteral("Funk"),  QStringLiteral("Glass"),
        QStringLiteral("Hero"),      QStringLiteral("Morse"), QStringLiteral("Ping"),
        QStringLiteral("Pop"),       QStringLiteral("Purr"),  QStringLiteral("Sosumi"),
        QStringLiteral("Submarine"), QStringLiteral("Tink"),
    };
    return names;
}

const QStringList& PAController::silencedWarningKeys()
{
    static const QStringList keys{
        QStringLiteral("autoupdate"),
        QStringLiteral("DoNotDisplayWarningWhenDraggingManagedAddress"),
        QStringLiteral("DoNotDisplayWarningWhenDraggingManagedFolders"),
        QStringLiteral("DoNotDisplayWarningWhenStartingStrategy"),
        QStringLiteral("DoNotDisplayWarningWhenQuitting"),
        QStringLiteral("DoNotDisplayWarningWhenOverwritingPreset"),
        QStringLiteral("DoNotDisplayWarningWhenDeletingPreset"),
        QStringLiteral("DoNotDisplayWarningWhenEnablingPreset"),
        QStringLiteral("DoNotDisplayWarningWhenCleaningAllApps"),
    };
    return keys;
}

void PAController::m_buildLegenda()
{
    m_popoverLegenda = new Popover(m_window.get());
    m_popoverLegenda->setObjectName(QStringLiteral("popoverLegenda"));
    m_legendaView = new QWidget;
    m_legenda->setupUi(m_legendaView);
    m_popoverLegenda->setContentWidget(m_legendaView);
    for (qint64 state = 0; state <= 4; ++state) {
        ColorWell* stateWell = well(state);
        // The colour panel belongs to the main window: the legend is a popup
        // and closes as soon as the panel takes a click.
        stateWell->setPanelParent(m_window.get());
        connect(stateWell, &ColorWell::colorPicked, this, [this, stateWell] { selectColorWell(stateWell); });
    }
    connect(m_legenda->blackLabelsBtn, &QAbstractButton::clicked, this,
            [this] { setBlackLabels(m_legenda->blackLabelsBtn); });
    connect(m_legenda->defaultColorsBtn, &QAbstractButton::clicked, this,
            [this] { restoreDefaultColors(m_legenda->defaultColorsBtn); });
    connect(m_legenda->altIcons, &QAbstractButton::clicked, this,
            [this] { switchAltIcons(m_legenda->altIcons); });
    updateColorsInPopover();
}

void PAController::m_buildSortMenu()
{
    appSortMenu = new QMenu(m_window.get());
    appSortMenu->setObjectName(QStringLiteral("appSortMenu"));
    miByName = ui->miByName;
    miPassedFirst = ui->miPassedFirst;
    miBlockedFirst = ui->miBlockedFirst;
    miBundlesFirst = ui->miBundlesFirst;
    miBinariesFirst = ui->miBinariesFirst;
    miAppleFirst = ui->miAppleFirst;
    miThirdPartyFirst = ui->miThirdPartyFirst;
    for (QAction* item : {ui->miByName, ui->miPassedFirst, ui->miBlockedFirst, ui->miBundlesFirst,
                          ui->miBinariesFirst, ui->miAppleFirst, ui->miThirdPartyFirst}) {
        appSortMenu->addAction(item);
        connect(item, &QAction::triggered, this, [this, item] { sortApps(item); });
    }
    ui->sortBtn->setMenu(appSortMenu);
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

QTabWidget* PAController::legendaTabView() const
{
    return m_legenda->legendaTabView;
}

QCheckBox* PAController::altIcons() const
{
    return m_legenda->altIcons;
}

ColorWell* PAController::well(qint64 state) const
{
    switch (state) {
    case 0:
        return m_legenda->well0;
    case 1:
        return m_legenda->well1;
    case 2:
        return m_legenda->well2;
    case 3:
        return m_legenda->well3;
    case 4:
        return m_legenda->well4;
    default:
        return nullptr;
    }
}

void PAController::m_paintStateTexts(qint64 state, const QColor& color)
{
    switch (state) {
    case 0:
        paintText(m_legenda->title0, color);
        paintText(m_legenda->ptit0, color);
        break;
    case 1:
        paintText(m_legenda->title1, color);
        paintText(m_legenda->ptit1, color);
        break;
    case 2:
        paintText(m_legenda->title2, color);
        paintText(m_legenda->ptit2, color);
        break;
    case 3:
        paintText(m_legenda->title3, color);
        paintText(m_legenda->ptit3, color);
        break;
    case 4:
        paintText(m_legenda->title4a, color);
        paintText(m_legenda->title4b, color);
        paintText(m_legenda->title4c, color);
        paintText(m_legenda->ptit4, color);
        break;
    default:
        break;
    }
}

void PAController::selectIconsStyle()
{
    const bool alternate = userDefaults().boolForKey(QStringLiteral("UseAlternateIcons"));
    const QString prefix = alternate ? QStringLiteral("alt") : QString();
    takeImage(passedUpImage(), prefix + QStringLiteral("passedup"));
    takeImage(blockedUpImage(), prefix + QStringLiteral("blockedup"));
    globalpassedupIcon = passedUpImage();
    globalblockedupIcon = blockedUpImage();
    takeImage(globalapp4Icon, prefix + QStringLiteral("app4"));
    takeImage(globalapp4passIcon, prefix + QStringLiteral("app4pass"));
    takeImage(globalapp4blockIcon, prefix + QStringLiteral("app4block"));
    const int side = m_legenda->iconPassed->maximumWidth();
    const std::pair<QLabel*, const QIcon*> legendIcons[] = {
        {m_legenda->iconPassed, &globalpassedupIcon},
        {m_legenda->iconBlocked, &globalblockedupIcon},
        {m_legenda->iconPassedExceptions, &globalpassedupIcon},
        {m_legenda->iconBlockedExceptions, &globalblockedupIcon},
        {m_legenda->iconAsk, &globalapp4Icon},
        {m_legenda->iconAskPass, &globalapp4passIcon},
        {m_legenda->iconAskBlock, &globalapp4blockIcon},
    };
    for (const auto& [label, icon] : legendIcons)
        label->setPixmap(icon->pixmap(side, side));
    emit stateIconsChanged();
}

void PAController::updateAltIconsBtn()
{
    m_legenda->altIcons->setChecked(userDefaults().boolForKey(QStringLiteral("UseAlternateIcons")));
}

void PAController::switchAltIcons(QObject*)
{
    userDefaults().setBool(m_legenda->altIcons->isChecked(), QStringLiteral("UseAlternateIcons"));
    selectIconsStyle();
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

void PAController::selectColorWell(QObject* sender)
{
    qint64 state = 0;
    for (qint64 candidate : {4, 3, 2, 1}) {
        if (sender && sender == well(candidate)) {
            state = candidate;
            break;
        }
    }
    auto* picked = qobject_cast<ColorWell*>(sender);
    if (!picked)
        return;
    labelColorOfState(state) = picked->color();
    m_paintStateTexts(state, picked->color());
    updateAllAppsLabelsColors();
    emit labelColorsChanged();
}

void PAController::setBlackLabels(QObject*)
{
    for (qint64 state = 0; state <= 4; ++state)
        labelColorOfState(state) = SystemColors::labelColor();
    updateColorsInPopover();
    updateAllAppsLabelsColors();
}

void PAController::restoreDefaultColors(QObject*)
{
    labelColor0() = PASettings::initialColor("color0");
    labelColor1() = PASettings::initialColor("color1");
    labelColor2() = PASettings::initialColor("color2");
    labelColor3() = PASettings::initialColor("color3");
    labelColor4() = PASettings::initialColor("color4b");
    updateColorsInPopover();
    updateAllAppsLabelsColors();
}

void PAController::populateSoundMenu()
{
    for (const QString& name : alertSoundNames())
        ui->soundMenuBtn->addItemWithTitle(name);
    m_showSoundInUse();
}

void PAController::m_showSoundInUse()
{
    // The pop-up shows the sound in use, not merely the first one offered.
    for (int i = 0; i < ui->soundMenuBtn->numberOfItems(); ++i) {
        if (PopUpButton::itemTitle(ui->soundMenuBtn->itemAtIndex(i)) == soundName) {
            ui->soundMenuBtn->selectItemAtIndex(i);
            return;
        }
    }
}

void PAController::selectSound(QObject*)
{
    if (!ui->soundMenuBtn->selectedItem())
        return;
    const QString title = ui->soundMenuBtn->titleOfSelectedItem();
    soundName = title;
    SoundPlayer::shared().playSystemSound(title + QStringLiteral(".aiff"));
}

void PAController::openLegenda(QObject* sender)
{
    QTabWidget* pages = m_legenda->legendaTabView;
    const int tab = ui->mainTabView->currentIndex();
    if (tab >= 0 && tab < pages->count())
        pages->setCurrentIndex(tab);
    if (sender && sender == ui->info_apps) {
        pages->setCurrentIndex(0);
        updateAltIconsBtn();
    } else if (sender && sender == ui->info_folders) {
        pages->setCurrentIndex(1);
    } else if (sender && sender == ui->info_addr) {
        pages->setCurrentIndex(3);
    } else if (sender && sender == ui->info_logs) {
        pages->setCurrentIndex(2);
    } else if (sender && sender == info_apprules) {
        // The app rules popover, once it exists, turns transient here.
        pages->setCurrentIndex(4);
    }
    m_showLegendaFrom(sender);
}

void PAController::openExclusionsLegenda(QObject* sender)
{
    m_legenda->legendaTabView->setCurrentWidget(m_legenda->exclusionsLegendaTabViewItem);
    m_showLegendaFrom(sender);
}

void PAController::m_showLegendaFrom(QObject* sender)
{
    // Shown beside the button that asked; with no view to point at, not at all.
    if (auto* view = qobject_cast<QWidget*>(sender))
        m_popoverLegenda->showRelativeTo(QRect(), view);
}

void PAController::resetUserDefaults(QObject*)
{
    UserDefaults& defaults = userDefaults();
    for (const QString& key : silencedWarningKeys())
        defaults.removeObjectForKey(key);
    defaults.synchronize();
    Alert alert;
    alert.messageText = QStringLiteral("Done");
    alert.informativeText = QStringLiteral("All warnings has been restored");
    alert.buttons = {QStringLiteral("OK")};
    // A sheet on the main window: a connection alert can still be answered.
    AlertPresenter::shared().beginSheet(alert, m_window.get(), [](AlertResult) {});
}

// ---------------------------------------------------------------- sorting

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
        self->m_hideSystemBinariesIfWanted();
    });
}
