#include "mainwindow/PAController.h"

#include "app/PAInstaller.h"
#include "core/AgentLog.h"
#include "core/PAAppRuleEvaluation.h"
#include "core/PAAppRuleText.h"
#include "core/PAAppsOrder.h"
#include "core/PAConfiguration.h"
#include "core/PAMatchStrings.h"
#include "core/PARuleLists.h"
#include "core/PASystemUsers.h"
#include "core/SharedState.h"
#include "core/TLValidateIP.h"
#include "mainwindow/MainWindowTripleSplitViewDelegate.h"
#include "mainwindow/PASearchController.h"
#include "platform/AlertPresenter.h"
#include "platform/ArrayControllerModel.h"
#include "platform/CodeSigning.h"
#include "platform/CommandRunner.h"
#include "platform/ConcurrentQueue.h"
#include "platform/HostNames.h"
#include "platform/MainQueue.h"
#include "platform/Resources.h"
#include "platform/SoundPlayer.h"
#include "platform/SystemColors.h"
#include "platform/Workspace.h"
#include "platform/widgets/ColorWell.h"
#include "platform/widgets/PopUpButton.h"
#include "platform/widgets/Popover.h"
#include "platform/widgets/SystemTray.h"
#include "ruleeditors/PAAppPopover.h"
#include "ruleeditors/PAExclusionController.h"
#include "ruleeditors/PAManagedRecordsController.h"
#include "ruleeditors/PAPopoverDelegate.h"
#include "setup/PAPreferencesController.h"
#include "ui_PAAppPopover.h"
#include "ui_PAController.h"
#include "ui_PALegenda.h"

#include <QApplication>
#include <QCheckBox>
#include <QCursor>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QProgressBar>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QTableView>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>
#include <QWidgetAction>

#include <cstdio>

namespace {

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
    m_buildAppPopover();
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
    // Look-ups still queued skip their work; the pool waits for running ones.
    cancelPopoverWork();
    // The popover goes with the window, after this object's own members: its
    // closing must not call back into a controller that is half gone.
    if (m_popoverDelegate)
        m_popoverDelegate->palisorcontroller = nullptr;
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

// ---------------------------------------------------------------- app rules popover

void PAController::m_buildAppPopover()
{
    appPopover = new Popover(m_window.get());
    appPopover->setObjectName(QStringLiteral("appPopover"));
    m_appPopoverView = new PAAppPopover;
    appPopover->setContentWidget(m_appPopoverView);
    appPopover->setContentSize(kNarrowPopoverSize);
    Ui::PAAppPopover* form = m_appPopoverView->form();
    info_apprules = form->info_apprules;
    connect(form->info_apprules, &QAbstractButton::clicked, this, [this] { openLegenda(info_apprules); });

    m_popoverDelegate = new PAPopoverDelegate(this);
    m_popoverDelegate->appPopover = appPopover;
    m_popoverDelegate->palisorcontroller = this;
    m_popoverDelegate->attach();

    popoverPassedIPSController = new ArrayController<PARecord>(this);
    popoverBlockedIPSController = new ArrayController<PARecord>(this);
    popoverPassedIPSController->setSelectsInsertedObjects(false);
    popoverBlockedIPSController->setSelectsInsertedObjects(false);
    popoverPassedIPSController->setContent(&popoverPassedIPS);
    popoverBlockedIPSController->setContent(&popoverBlockedIPS);
    const auto rowColumns = [] {
        return QList<ArrayControllerColumn>{
            makeColumn<PARecord>(QStringLiteral("kind"),
                                 [](const PARecord& row, int role) -> QVariant {
                                     if (role == Qt::DecorationRole)
                                         return row.recordImage;
                                     if (role == Qt::ToolTipRole)
                                         return row.recordType;
                                     return {};
                                 }),
            makeColumn<PARecord>(QStringLiteral("rule"),
                                 [](const PARecord& row, int role) -> QVariant {
                                     return role == Qt::DecorationRole ? QVariant(row.recordRuleImage)
                                                                       : QVariant();
                                 }),
            makeColumn<PARecord>(QStringLiteral("address"),
                                 [](const PARecord& row, int role) -> QVariant {
                                     switch (role) {
                                     case Qt::DisplayRole:
                                         return row.recordLabel;
                                     case Qt::ToolTipRole:
                                         return row.recordAddress;
                                     case Qt::ForegroundRole:
                                         return row.recordIsEnabled ? row.labelColor : QColor(Qt::gray);
                                     default:
                                         return {};
                                     }
                                 }),
        };
    };
    const std::pair<QTableView*, ArrayController<PARecord>*> tables[] = {
        {form->passedTableView, popoverPassedIPSController},
        {form->blockedTableView, popoverBlockedIPSController},
    };
    for (const auto& [table, rows] : tables) {
        auto* model = new ArrayControllerModel(rows, rowColumns(), table);
        table->setModel(model);
        model->bindSelectionModel(table->selectionModel());
        table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Fixed);
        table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Fixed);
        table->horizontalHeader()->setStretchLastSection(true);
        table->setColumnWidth(0, 26);
        table->setColumnWidth(1, 26);
    }
    connect(form->passedTableView, &QAbstractItemView::pressed, this, [this] { clickPassed(); });
    connect(form->blockedTableView, &QAbstractItemView::pressed, this, [this] { clickBlocked(); });
    connect(form->popoverRemovePassedBtn, &QAbstractButton::clicked, this,
            [this] { removeAppRecord(m_appPopoverView->form()->popoverRemovePassedBtn); });
    connect(form->appPopoverSegmentedControl, &QTabBar::tabBarClicked, this, [this](int index) {
        QTabBar* segments = m_appPopoverView->form()->appPopoverSegmentedControl;
        segments->setCurrentIndex(index);
        clickAppPopoverSegmentedControl(segments);
    });
    connect(form->appPopoverTabView, &QStackedWidget::currentChanged, this,
            &PAController::appPopoverTabSelected);
    connect(m_appPopoverView->switchReverseBtn, &QAbstractButton::clicked, this,
            [this] { switchReverseIPOption(m_appPopoverView->switchReverseBtn); });
    const std::pair<QAction*, void (PAController::*)(QObject*)> gear[] = {
        {m_appPopoverView->popoverMakeYellowItem, &PAController::makeSelectedAppYellow},
        {m_appPopoverView->popoverMakeGreenItem, &PAController::makeSelectedAppGreen},
        {m_appPopoverView->popoverMakeRedItem, &PAController::makeSelectedAppRed},
        {m_appPopoverView->popoverMakeGreenItem2, &PAController::makeSelectedAppGreen},
        {m_appPopoverView->popoverMakeRedItem2, &PAController::makeSelectedAppRed},
    };
    for (const auto& [item, action] : gear)
        connect(item, &QAction::triggered, this, [this, item, action] { (this->*action)(item); });

    m_lookupGeneration = std::make_shared<std::atomic<quint64>>(0);
    m_myOperationQueue = std::make_unique<ConcurrentQueue>(QStringLiteral("myOperationQueue"), 5);
    // The popover shows the one selected app: another selection closes it.
    connect(appsLibraryController, &ArrayControllerBase::selectionChanged, this,
            &PAController::m_appSelectionChanged);
}

void PAController::m_appSelectionChanged()
{
    // The same app merely moved (a sort, a rearrangement): the popover stays.
    if (!appPopover || !appPopover->isVisible() || m_singleSelectedApp() == m_popoverApp.lock())
        return;
    cancelPopoverWork();
    appPopover->setBehavior(Popover::Behavior::Transient);
    appPopover->performClose();
}

void PAController::openAppPopover(QObject* sender, const QRect& rect)
{
    if (isNotifyWindowOpen || !appPopover)
        return;
    Ui::PAAppPopover* form = m_appPopoverView->form();
    form->appPopoverTabView->setCurrentIndex(0);
    form->appPopoverSegmentedControl->setCurrentIndex(0);
    // A sender that is no view cannot place the popover: it does not open.
    auto* view = qobject_cast<QWidget*>(sender);
    if (!view)
        return;
    appPopover->showRelativeTo(rect, view, Popover::Edge::MinY);
    doDrawAppPopover();
}

void PAController::m_clearAppPopover()
{
    popoverPassedIPSController->setContent(nullptr);
    popoverBlockedIPSController->setContent(nullptr);
    popoverPassedIPS.clear();
    popoverBlockedIPS.clear();
    popoverPassedIPSController->setContent(&popoverPassedIPS);
    popoverBlockedIPSController->setContent(&popoverBlockedIPS);
    Ui::PAAppPopover* form = m_appPopoverView->form();
    form->popoverImage->setPixmap(QPixmap());
    form->popoverImage2->setPixmap(QPixmap());
    form->popoverAppName->clear();
    form->popoverAppName2->clear();
    form->popoverAppPath->clear();
    form->appPopoverSignature->clear();
}

void PAController::doDrawAppPopover()
{
    if (!appPopover)
        return;
    m_clearAppPopover();
    emit popoverEntryCleared();
    QPointer<PAController> self(this);
    MainQueue::async([self] {
        if (self)
            self->drawAppPopover();
    });
}

void PAController::drawAppPopover()
{
    if (!appPopover || !appPopover->isVisible())
        return;
    Ui::PAAppPopover* form = m_appPopoverView->form();
    form->spinner->show();
    m_fillAppPopover();
}

void PAController::m_fillAppPopover()
{
    Ui::PAAppPopover* form = m_appPopoverView->form();
    // A new draw: rows and host names of the one before are dropped.
    ++m_fillGeneration;
    m_cancelLookups();
    // Read on the main thread, where every edit of the apps is made: the
    // draw never waits for synchronizedQueue, which an open alert holds.
    const std::shared_ptr<PAApplication> app = m_singleSelectedApp();
    if (!app) {
        form->spinner->hide();
        return;
    }
    m_clearAppPopover();
    m_popoverApp = app;
    form->ruleDescription->setText(makeAppRuleDescriptionWithApp(*app));
    emit popoverAppRuleShown(app.get());
    const QPixmap icon = app->appImage().pixmap(64, 64);
    form->popoverImage->setPixmap(icon);
    form->popoverAppName->setText(app->appLocalizedName());
    if (debugMode) {
        std::printf("%s\n", qUtf8Printable(app->appMatches().join(QLatin1Char(','))));
        std::fflush(stdout);
    }
    const QStringList matches = app->appMatches();
    form->popoverImage->setToolTip(QStringLiteral("This app contains %1 records").arg(matches.size()));
    if (matches.size() > kMostMatchesWithHostNames)
        reverseIPAddressInAppsPopover = false;
    form->popoverBundleTag->setVisible(app->appIsBundle());
    form->popoverBinaryTag->setVisible(!app->appIsBundle());
    form->popoverImage2->setPixmap(icon);
    form->popoverAppName2->setText(form->popoverAppName->text());
    form->popoverAppPath->setText(app->appPath());
    form->appPopoverSignature->setText(app->appSignatureInfo());
    m_appPopoverView->switchReverseBtn->setChecked(reverseIPAddressInAppsPopover);
    m_showGearItems(*app);

    // The rows are built off the main thread from copies taken here; the
    // worker touches neither the app nor any QObject.
    const qint64 state = app->appIsBlockedOrAllowed();
    const bool alertsEnabled = enableNotifications;
    const quint64 generation = m_fillGeneration;
    QPointer<PAController> self(this);
    ConcurrentQueue::global().async([self, matches, state, alertsEnabled, generation] {
        PARecord::List rows = PARecord::buildRecordTables(matches, state, alertsEnabled);
        // One hand-over for all rows, in order: one rearrangement of the
        // table rather than one per row.
        MainQueue::async([self, rows = std::move(rows), generation] {
            if (!self || self->m_fillGeneration != generation || !self->appPopover ||
                !self->appPopover->isVisible())
                return;
            for (const auto& row : rows)
                row->prepareForDisplay();
            self->popoverPassedIPSController->addObjects(rows);
            self->m_appPopoverView->form()->spinner->hide();
            if (reverseIPAddressInAppsPopover)
                self->m_startHostNameLookups();
        });
    });
}

void PAController::m_showGearItems(const PAApplication& app)
{
    PAAppPopover* view = m_appPopoverView;
    for (QAction* item : {view->popoverMakeYellowItem, view->popoverMakeRedItem, view->popoverMakeGreenItem,
                          view->popoverMakeRedItem2, view->popoverMakeGreenItem2, view->popoverSeparatorItem})
        item->setVisible(false);
    view->form()->popoverRemovePassedBtn->show();
    const auto showSiblingItems = [view](bool visible) {
        view->popoverActionBtnGroupItem->setVisible(visible);
        view->popoverActionBtnBlackListItem->setVisible(visible);
    };
    switch (app.appIsBlockedOrAllowed()) {
    case 0:
    case 1:
        view->popoverMakeYellowItem->setVisible(enableNotifications);
        (app.appIsBlockedOrAllowed() == 0 ? view->popoverMakeRedItem2 : view->popoverMakeGreenItem2)
            ->setVisible(true);
        view->popoverReverseItem->setVisible(false);
        showSiblingItems(false);
        break;
    case 2:
    case 3:
        view->popoverMakeYellowItem->setVisible(enableNotifications);
        view->popoverSeparatorItem->setVisible(true);
        view->popoverReverseItem->setVisible(true);
        (app.appIsBlockedOrAllowed() == 2 ? view->popoverMakeRedItem2 : view->popoverMakeGreenItem2)
            ->setVisible(true);
        break;
    case 4:
        view->popoverReverseItem->setVisible(true);
        view->popoverMakeRedItem->setVisible(true);
        view->popoverMakeGreenItem->setVisible(true);
        view->popoverSeparatorItem->setVisible(true);
        if (!app.appMatches().isEmpty())
            showSiblingItems(true);
        break;
    default:
        break;
    }
}

QString PAController::makeAppRuleDescriptionWithApp(const PAApplication& app) const
{
    return PAAppRuleText::ruleDescription(app.appLocalizedName(), app.appIsBlockedOrAllowed(),
                                          app.appMatches().size(), !recordsList.empty());
}

void PAController::evaluateAppRule(PAApplication& app)
{
    if (m_appPopoverView)
        m_appPopoverView->form()->ruleDescription->setText(makeAppRuleDescriptionWithApp(app));
    ::evaluateAppRule(app);
    emit popoverAppRuleShown(&app);
}

void PAController::slarga()
{
    if (appPopover)
        appPopover->setContentSize(kWidePopoverSize);
}

void PAController::streca()
{
    if (appPopover)
        appPopover->setContentSize(kNarrowPopoverSize);
}

void PAController::clickAppPopoverSegmentedControl(QObject* sender)
{
    auto* segments = qobject_cast<QTabBar*>(sender);
    if (!segments || !m_appPopoverView)
        return;
    m_appPopoverView->form()->appPopoverTabView->setCurrentIndex(segments->currentIndex());
}

void PAController::appPopoverTabSelected(int index)
{
    Ui::PAAppPopover* form = m_appPopoverView->form();
    QWidget* item = form->appPopoverTabView->widget(index);
    if (item == form->popoverItemInfo) {
        streca();
        showSignatureInfo(form->popoverItemInfo);
    } else if (item == form->popoverItemLogs) {
        slarga();
        if (const std::shared_ptr<PAApplication> app = m_singleSelectedApp())
            emit appLogsWanted(app->appPath());
    } else {
        streca();
    }
}

void PAController::clickPassed(QObject*)
{
    popoverBlockedIPSController->clearSelection();
}

void PAController::clickBlocked(QObject*)
{
    popoverPassedIPSController->clearSelection();
}

void PAController::removeAppRecord(QObject*)
{
    if (isNotifyWindowOpen)
        return;
    emit popoverEntryCleared();
    const std::shared_ptr<PAApplication> app = m_singleSelectedApp();
    if (!app)
        return;
    const PARecord::List selected = popoverPassedIPSController->selectedObjects();
    // Rows of an earlier draw or of another app stand for nothing here.
    const bool current = m_popoverApp.lock() == app;
    if (app->appIsBlockedOrAllowed() == 4) {
        if (selected.empty() || !current)
            return;
        // Only the selected rows' own matches go: a match that gives no row
        // stays, and so does the order of the others.
        QStringList texts;
        for (const auto& row : selected)
            if (!row->isEveryone())
                texts << row->recordMatch;
        popoverPassedIPSController->removeObjects(selected);
        QStringList matches = app->appMatches();
        if (PAMatchStrings::removeMatches(matches, texts))
            app->setAppMatches(matches);
        drawAppPopover();
        evaluateAppRule(*app);
    } else {
        bool toAsk = false;
        if (current) {
            for (const auto& row : selected) {
                if (row->isEveryone()) {
                    toAsk = toAsk || enableNotifications;
                    continue;
                }
                PAMatchStrings::removeAddressFromApp(*app, row->recordMatch.mid(1), row->recordMatch.left(1));
                popoverPassedIPSController->removeObject(row);
            }
        }
        if (toAsk)
            applyAskState(*app);
        evaluateAppRule(*app);
        drawAppPopover();
    }
    sendConfigurationToDaemon();
}

void PAController::switchReverseIPOption(QObject*)
{
    m_cancelLookups();
    if (!m_appPopoverView)
        return;
    if (m_appPopoverView->switchReverseBtn->isChecked()) {
        m_startHostNameLookups();
        reverseIPAddressInAppsPopover = true;
    } else {
        for (const auto& row : popoverPassedIPS)
            row->displayIP();
        for (const auto& row : popoverBlockedIPS)
            row->displayIP();
        popoverPassedIPSController->rearrangeObjects();
        popoverBlockedIPSController->rearrangeObjects();
        reverseIPAddressInAppsPopover = false;
    }
}

void PAController::m_startHostNameLookups()
{
    // A fresh run: look-ups of an earlier one have been cancelled, and each
    // row gets a look-up of its own again.
    const quint64 generation = ++*m_lookupGeneration;
    const std::shared_ptr<std::atomic<quint64>> current = m_lookupGeneration;
    QPointer<PAController> self(this);
    const TLValidateIP addresses;
    for (const PARecord::List* rows : {&popoverPassedIPS, &popoverBlockedIPS}) {
        for (const auto& row : *rows) {
            // Only an address has a name to look up.
            if (!addresses.isValidIpAddress(row->recordAddress))
                continue;
            ++m_pendingLookups;
            const QString address = row->recordAddress;
            const std::weak_ptr<PARecord> target = row;
            m_myOperationQueue->async([self, current, generation, address, target] {
                QStringList names;
                if (current->load() == generation)
                    names = HostNames::shared().namesOfAddress(address);
                MainQueue::async([self, current, generation, names, target] {
                    if (!self)
                        return;
                    --self->m_pendingLookups;
                    const std::shared_ptr<PARecord> row = target.lock();
                    if (current->load() != generation || !row || names.isEmpty())
                        return;
                    row->recordLabel = names.first();
                    self->popoverPassedIPSController->rearrangeObjects();
                });
            });
        }
    }
}

void PAController::m_cancelLookups()
{
    if (m_lookupGeneration)
        ++*m_lookupGeneration;
}

void PAController::cancelPopoverWork()
{
    ++m_fillGeneration;
    ++m_signGeneration;
    m_cancelLookups();
    if (m_appPopoverView) {
        m_appPopoverView->form()->spinner->hide();
        m_appPopoverView->form()->signSpinner->hide();
    }
}

void PAController::showSignatureInfo(QObject*)
{
    const std::shared_ptr<PAApplication> app = m_singleSelectedApp();
    if (!app || !m_appPopoverView)
        return;
    QProgressBar* spinner = m_appPopoverView->form()->signSpinner;
    spinner->show();
    const QString path = app->appPath();
    const quint64 generation = ++m_signGeneration;
    if (!QFileInfo::exists(path)) {
        spinner->hide();
        m_showSignatureText(QStringLiteral("File not found"));
        return;
    }
    QPointer<PAController> self(this);
    const std::weak_ptr<PAApplication> shown = app;
    ConcurrentQueue::global().async([self, path, generation, shown] {
        CodeSigning& signing = CodeSigning::shared();
        const QString validity = signing.validityReport(path);
        const QString details = signing.detailsReport(path);
        MainQueue::async([self, validity, details, generation, shown] {
            // Only the last request's report, and only into a popover that
            // still shows its app.
            if (!self || self->m_signGeneration != generation || shown.expired() ||
                self->m_singleSelectedApp() != shown.lock())
                return;
            self->m_appPopoverView->form()->signSpinner->hide();
            self->m_showSignatureText(QStringLiteral("Signature validity check:\n\n") + validity +
                                      QStringLiteral("\n\nSignature details:\n\n") + details);
        });
    });
}

void PAController::m_showSignatureText(const QString& text)
{
    QTextEdit* view = m_appPopoverView->form()->signtext;
    view->clear();
    QTextCharFormat format;
    format.setForeground(view->palette().color(QPalette::Text));
    QFont font = QApplication::font();
    font.setPointSize(12);
    format.setFont(font);
    QTextCursor cursor(view->document());
    cursor.insertText(text, format);
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
        pages->setCurrentIndex(4);
        if (appPopover)
            appPopover->setBehavior(Popover::Behavior::Transient);
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
