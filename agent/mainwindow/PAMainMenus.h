#pragma once

#include "core/PAApplication.h"
#include "platform/ArrayController.h"

#include <QAction>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QStringList>

class QToolButton;
class QWidget;

// The main window's four menus and the items other objects act on. The main
// window's controller carries them under these names; PAMainMenus builds
// them.
struct PAMainMenuItems
{
    // The status item's menu and the items the firewall commands act on; the
    // commands behind open, lock, enable, disable, debug and quit are
    // connected by their owner.
    QPointer<QMenu> statusBarMenu;
    QPointer<QAction> openItem;
    QPointer<QAction> lockItem;
    QPointer<QAction> enableFW;
    QPointer<QAction> disableFW;
    QPointer<QAction> debugMenuItem;
    QPointer<QAction> quitItem;

    // The Tools menu: import and export of the configuration (the encoded
    // forms stand in for the plain ones while Alt is held), the custom
    // presets, clearing the apps list and bringing back silenced warnings.
    // The custom presets and clear-all commands are connected by their owner.
    QPointer<QMenu> toolsMenu;
    QPointer<QAction> importItem;
    QPointer<QAction> importItemAlt;
    QPointer<QAction> exportItem;
    QPointer<QAction> exportItemAlt;
    QPointer<QAction> custompresetsItem;
    QPointer<QAction> emptyAllItem;
    QPointer<QAction> restoreWarningsItem;

    // The apps view's context menu, on the selected app.
    QPointer<QMenu> rightClickMenu;
    QPointer<QAction> enableNotificationsForThisApp;
    QPointer<QAction> passThisApp;
    QPointer<QAction> blockThisApp;
    QPointer<QAction> passAndDisableNotifications;
    QPointer<QAction> blockAndDisableNotifications;
    QPointer<QAction> rightClickMenuSeparator1;
    QPointer<QAction> copyRulesItem;
    QPointer<QAction> pasteRulesItem;
    QPointer<QAction> rightClickMenuSeparator2;
    QPointer<QAction> revealAppInMacOSFinder;
    QPointer<QAction> removeAppFromManagedApps;

    // The apps sort menu and its seven orders; each item's action is sortApps().
    QPointer<QMenu> appSortMenu;
    QPointer<QAction> miByName;
    QPointer<QAction> miPassedFirst;
    QPointer<QAction> miBlockedFirst;
    QPointer<QAction> miBundlesFirst;
    QPointer<QAction> miBinariesFirst;
    QPointer<QAction> miAppleFirst;
    QPointer<QAction> miThirdPartyFirst;
};

// Builds the four menus into `items` and decides, just before one opens,
// which of its items show, which are enabled, and the lock item's title. The
// items' commands are connected by the main window's controller.
class PAMainMenus : public QObject
{
    Q_OBJECT

public:
    // The menus belong to `window`; the Tools and sort menus drop down from
    // their buttons; the context menu follows the selection of `apps` and
    // offers paste while `pasteboardState` holds a rule state (0 to 4).
    PAMainMenus(PAMainMenuItems& items, QWidget* window, QToolButton* toolsBtn, QToolButton* sortBtn,
                const QList<QAction*>& sortItems, ArrayController<PAApplication>& apps,
                const qint64& pasteboardState, QObject* parent = nullptr);

    // Any other menu is left alone.
    void menuWillOpen(QMenu* menu);

    // Brings back every silenced confirmation but the theme warning, and
    // says so in a sheet on `window`.
    static void resetUserDefaults(QWidget* window);
    // The keys resetUserDefaults() removes, in its order.
    static const QStringList& silencedWarningKeys();

signals:
    // The status menu's "Palisor Status..." and "About Palisor" items.
    void statusWanted();
    void aboutWanted();

protected:
    // Swaps the Tools menu's alternate items while it is open and Alt goes
    // down or up.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void m_buildStatusBarMenu(QWidget* window);
    void m_buildToolsMenu(QWidget* window, QToolButton* toolsBtn);
    void m_buildRightClickMenu(QWidget* window);
    void m_buildSortMenu(QWidget* window, QToolButton* sortBtn, const QList<QAction*>& sortItems);
    void m_statusMenuWillOpen();
    void m_toolsMenuWillOpen();
    void m_rightClickMenuWillOpen();
    void m_showAlternateItems(bool alternate);

    PAMainMenuItems& m_items;
    ArrayController<PAApplication>& m_apps;
    const qint64& m_pasteboardState;
};
