#include "mainwindow/PAMainMenus.h"

#include "core/PASettingsTable.h"
#include "core/SharedState.h"
#include "platform/AlertPresenter.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QToolButton>

#include <iterator>

PAMainMenus::PAMainMenus(PAMainMenuItems& items, QWidget* window, QToolButton* toolsBtn, QToolButton* sortBtn,
                         const QList<QAction*>& sortItems, ArrayController<PAApplication>& apps,
                         const qint64& pasteboardState, QObject* parent)
    : QObject(parent)
    , m_items(items)
    , m_apps(apps)
    , m_pasteboardState(pasteboardState)
{
    m_buildStatusBarMenu(window);
    m_buildSortMenu(window, sortBtn, sortItems);
    m_buildToolsMenu(window, toolsBtn);
    m_buildRightClickMenu(window);
    for (QMenu* menu : {m_items.statusBarMenu.data(), m_items.toolsMenu.data(), m_items.appSortMenu.data(),
                        m_items.rightClickMenu.data()})
        connect(menu, &QMenu::aboutToShow, this, [this, menu] { menuWillOpen(menu); });
    m_items.toolsMenu->installEventFilter(this);
    // Some tray hosts never report that their menu opens: the status menu
    // follows its switches, whoever sets them.
    connect(&PASettingsTable::shared(), &PASettingsTable::statusSwitchesChanged, this,
            [this] { menuWillOpen(m_items.statusBarMenu); });
}

void PAMainMenus::m_buildStatusBarMenu(QWidget* window)
{
    // A menu without a parent widget; the main window owns it so that it goes
    // with the window.
    m_items.statusBarMenu = new QMenu(window);
    m_items.statusBarMenu->setObjectName(QStringLiteral("statusBarMenu"));
    m_items.openItem = m_items.statusBarMenu->addAction(tr("Open Palisor"));
    QAction* status = m_items.statusBarMenu->addAction(tr("Palisor Status..."));
    connect(status, &QAction::triggered, this, &PAMainMenus::statusWanted);
    m_items.statusBarMenu->addSeparator();
    m_items.enableFW = m_items.statusBarMenu->addAction(tr("Enable Firewall"));
    m_items.disableFW = m_items.statusBarMenu->addAction(tr("Disable Firewall"));
    m_items.lockItem = m_items.statusBarMenu->addAction(QStringLiteral("Lock"));
    m_items.debugMenuItem = m_items.statusBarMenu->addAction(tr("Debug"));
    m_items.statusBarMenu->addSeparator();
    QAction* about = m_items.statusBarMenu->addAction(tr("About Palisor"));
    connect(about, &QAction::triggered, this, &PAMainMenus::aboutWanted);
    m_items.quitItem = m_items.statusBarMenu->addAction(tr("Quit Palisor"));
}

void PAMainMenus::m_buildToolsMenu(QWidget* window, QToolButton* toolsBtn)
{
    m_items.toolsMenu = new QMenu(window);
    m_items.toolsMenu->setObjectName(QStringLiteral("toolsMenu"));
    m_items.importItem = m_items.toolsMenu->addAction(tr("Import Configuration..."));
    m_items.importItemAlt = m_items.toolsMenu->addAction(tr("Import Encoded Configuration..."));
    m_items.exportItem = m_items.toolsMenu->addAction(tr("Export Configuration..."));
    m_items.exportItemAlt = m_items.toolsMenu->addAction(tr("Export Encoded Configuration..."));
    m_items.toolsMenu->addSeparator();
    m_items.custompresetsItem = m_items.toolsMenu->addAction(tr("Custom Presets..."));
    m_items.emptyAllItem = m_items.toolsMenu->addAction(tr("Clear Apps List..."));
    m_items.restoreWarningsItem = m_items.toolsMenu->addAction(tr("Restore All Warnings"));
    m_showAlternateItems(false);
    toolsBtn->setMenu(m_items.toolsMenu);
}

void PAMainMenus::m_buildRightClickMenu(QWidget* window)
{
    m_items.rightClickMenu = new QMenu(window);
    m_items.rightClickMenu->setObjectName(QStringLiteral("rightClickMenu"));
    m_items.enableNotificationsForThisApp = m_items.rightClickMenu->addAction(tr("Ask About This App"));
    m_items.passThisApp = m_items.rightClickMenu->addAction(tr("Pass This App"));
    m_items.blockThisApp = m_items.rightClickMenu->addAction(tr("Block This App"));
    m_items.passAndDisableNotifications =
        m_items.rightClickMenu->addAction(tr("Pass This App Without Asking"));
    m_items.blockAndDisableNotifications =
        m_items.rightClickMenu->addAction(tr("Block This App Without Asking"));
    m_items.rightClickMenuSeparator1 = m_items.rightClickMenu->addSeparator();
    m_items.copyRulesItem = m_items.rightClickMenu->addAction(tr("Copy Rules"));
    m_items.pasteRulesItem = m_items.rightClickMenu->addAction(tr("Paste Rules"));
    m_items.rightClickMenuSeparator2 = m_items.rightClickMenu->addSeparator();
    m_items.revealAppInMacOSFinder = m_items.rightClickMenu->addAction(tr("Show in File Manager"));
    m_items.removeAppFromManagedApps = m_items.rightClickMenu->addAction(tr("Remove from Managed Apps"));
    for (QAction* item : m_items.rightClickMenu->actions())
        item->setVisible(false);
}

void PAMainMenus::menuWillOpen(QMenu* menu)
{
    if (!menu)
        return;
    if (menu == m_items.statusBarMenu) {
        m_statusMenuWillOpen();
    } else if (menu == m_items.toolsMenu) {
        m_toolsMenuWillOpen();
    } else if (menu == m_items.appSortMenu) {
        if (m_items.miAppleFirst && m_items.miThirdPartyFirst) {
            m_items.miAppleFirst->setVisible(verifySignatures);
            m_items.miThirdPartyFirst->setVisible(verifySignatures);
        }
    } else if (menu == m_items.rightClickMenu) {
        m_rightClickMenuWillOpen();
    }
}

void PAMainMenus::m_statusMenuWillOpen()
{
    if (!m_items.lockItem || !m_items.enableFW || !m_items.disableFW || !m_items.debugMenuItem)
        return;
    const QList<QAction*> items = m_items.statusBarMenu->actions();
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
        m_items.lockItem->setText(QStringLiteral("Unlock..."));
        m_items.lockItem->setVisible(true);
    } else {
        showAll(true);
        m_items.lockItem->setText(QStringLiteral("Lock"));
        if (firewallEnabled) {
            m_items.enableFW->setVisible(false);
            m_items.disableFW->setVisible(true);
        } else {
            showAll(false);
            m_items.enableFW->setVisible(true);
        }
    }
    m_items.debugMenuItem->setVisible(debugMode);
}

void PAMainMenus::m_toolsMenuWillOpen()
{
    if (!m_items.importItem || !m_items.exportItem || !m_items.exportItemAlt)
        return;
    m_showAlternateItems(QGuiApplication::queryKeyboardModifiers().testFlag(Qt::AltModifier));
}

void PAMainMenus::m_showAlternateItems(bool alternate)
{
    const std::pair<QAction*, QAction*> pairs[] = {{m_items.importItem, m_items.importItemAlt},
                                                   {m_items.exportItem, m_items.exportItemAlt}};
    for (const auto& [plain, other] : pairs) {
        if (!plain || !other)
            continue;
        plain->setVisible(!alternate);
        other->setVisible(alternate);
    }
}

bool PAMainMenus::eventFilter(QObject* watched, QEvent* event)
{
    // The event's type first: the menu's own destruction passes events here
    // too, and by then it can no longer be looked at as a menu.
    if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) &&
        watched == m_items.toolsMenu) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Alt) {
            m_showAlternateItems(event->type() == QEvent::KeyPress);
            // Alt only swaps the items here; the menu stays open.
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void PAMainMenus::m_rightClickMenuWillOpen()
{
    const QList<QAction*> named = {m_items.enableNotificationsForThisApp,
                                   m_items.passThisApp,
                                   m_items.blockThisApp,
                                   m_items.passAndDisableNotifications,
                                   m_items.blockAndDisableNotifications,
                                   m_items.removeAppFromManagedApps,
                                   m_items.revealAppInMacOSFinder,
                                   m_items.rightClickMenuSeparator1,
                                   m_items.rightClickMenuSeparator2,
                                   m_items.copyRulesItem,
                                   m_items.pasteRulesItem};
    if (named.contains(nullptr))
        return;
    const QList<QAction*> items = m_items.rightClickMenu->actions();
    for (QAction* item : items)
        item->setVisible(false);
    const auto selected = m_apps.selectedObjects();
    if (selected.empty())
        return;
    for (QAction* item : items)
        item->setEnabled(true);
    switch (selected.front()->appIsBlockedOrAllowed()) {
    case 0:
    case 2:
        m_items.blockThisApp->setVisible(true);
        m_items.enableNotificationsForThisApp->setVisible(enableNotifications);
        break;
    case 1:
    case 3:
        m_items.passThisApp->setVisible(true);
        m_items.enableNotificationsForThisApp->setVisible(enableNotifications);
        break;
    case 4:
        m_items.passAndDisableNotifications->setVisible(true);
        m_items.blockAndDisableNotifications->setVisible(true);
        break;
    default:
        break;
    }
    for (QAction* item : {m_items.removeAppFromManagedApps.data(), m_items.revealAppInMacOSFinder.data(),
                          m_items.rightClickMenuSeparator1.data(), m_items.rightClickMenuSeparator2.data(),
                          m_items.copyRulesItem.data(), m_items.pasteRulesItem.data()})
        item->setVisible(true);
    m_items.pasteRulesItem->setEnabled(m_pasteboardState != 5);
}

void PAMainMenus::m_buildSortMenu(QWidget* window, QToolButton* sortBtn, const QList<QAction*>& sortItems)
{
    m_items.appSortMenu = new QMenu(window);
    m_items.appSortMenu->setObjectName(QStringLiteral("appSortMenu"));
    QPointer<QAction>* const named[] = {
        &m_items.miByName,        &m_items.miPassedFirst, &m_items.miBlockedFirst,   &m_items.miBundlesFirst,
        &m_items.miBinariesFirst, &m_items.miAppleFirst,  &m_items.miThirdPartyFirst};
    for (qsizetype i = 0; i < sortItems.size() && i < qsizetype(std::size(named)); ++i) {
        *named[i] = sortItems[i];
        m_items.appSortMenu->addAction(sortItems[i]);
    }
    sortBtn->setMenu(m_items.appSortMenu);
}

const QStringList& PAMainMenus::silencedWarningKeys()
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

void PAMainMenus::resetUserDefaults(QWidget* window)
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
    AlertPresenter::shared().beginSheet(alert, window, [](AlertResult) {});
}
