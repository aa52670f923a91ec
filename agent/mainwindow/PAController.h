#pragma once

#include "core/PAAppEntries.h"
#include "core/PAApplication.h"
#include "platform/ArrayController.h"
#include "platform/Clock.h"
#include "ruleeditors/PARecord.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <atomic>
#include <memory>
#include <vector>

class ColorWell;
class ConcurrentQueue;
class MainWindowTripleSplitViewDelegate;
class PAAddIPPopover;
class PAConfiguration;
class PAExclusionController;
class PAInstaller;
class PAAppPopover;
class PAManagedRecordsController;
class PAPopoverDelegate;
class PASearchController;
class Popover;
class PopUpButton;
class QAbstractButton;
class PAPreferencesController;
class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QTabWidget;
class QLabel;
class QMainWindow;
class QProgressBar;
class QSplitter;
class QStackedWidget;
class QSystemTrayIcon;

namespace Ui {
class PAController;
class PALegenda;
} // namespace Ui

// The main window's controller: the managed-apps list the window shows and
// the commands that change it, the main window with its toolbar and three
// panes, the status item with its menu, the status sheet and the about window.
// Widgets are made and touched on the main thread only.
class PAController : public QObject
{
    Q_OBJECT

public:
    explicit PAController(PAConfiguration& configuration, QObject* parent = nullptr);
    ~PAController() override;

    // The managed apps as the main window shows them, in list order; holds the
    // same app objects as sharedAppsLibrary.
    std::vector<std::shared_ptr<PAApplication>> appsLibrary;
    // The array controller between appsLibrary and the apps view.
    ArrayController<PAApplication>* appsLibraryController = nullptr;

    // Publishes the rule set; given at construction.
    PAConfiguration* const paconfiguration;

    // The rule of the last copied app: its matches and its state, 5 while
    // nothing is copied.
    QStringList pasteboardMatches;
    qint64 pasteboardIsBlockedOrAllowed = 5;

    // Outlets, connected by MainInterface.
    // Its lights fill the status sheet.
    QPointer<PAInstaller> palisorinstaller;
    // Its alert settings follow the alerts switch.
    QPointer<PAPreferencesController> preferencescontroller;
    // The app rules popover's paste item; a paste it sends redraws the popover.
    QPointer<QAction> pasteItemInAppPopover;
    // The installation status view (its lights belong to the installer); the
    // status sheet shows it under its title.
    QPointer<QWidget> statusView;

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
    // Spins while a configuration loads.
    QPointer<QProgressBar> progr;
    // The editors whose icons follow the icon set.
    QPointer<PAManagedRecordsController> recordscontroller;
    QPointer<PAExclusionController> exclusionscontroller;
    // The app rules popover's legend button.
    QPointer<QAbstractButton> info_apprules;

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

    // The state icons of the chosen set ("UseAlternateIcons"); the ask icons
    // are null where the set has none.
    QIcon globalpassedupIcon;
    QIcon globalblockedupIcon;
    QIcon globalapp4Icon;
    QIcon globalapp4passIcon;
    QIcon globalapp4blockIcon;

    void awakeFromNib();

    // Just before one of the four menus opens: which of its items show, which
    // are enabled, and the lock item's title. Any other menu is left alone.
    void menuWillOpen(QMenu* menu);

    // The main window and the outlets others reach into.
    QMainWindow* window() const { return m_window.get(); }
    QWidget* aboutWindow() const { return m_aboutWindow.get(); }
    QLabel* aboutVersionLabel() const { return m_aboutVersionLabel; }
    QStackedWidget* mainTabView() const;
    // The row of segments and status lights at the top of the window.
    QWidget* mainToolbar() const;
    // Segment ids are the indices of mainTabView's tabs.
    QButtonGroup* toolbarControl() const;
    QSplitter* splitView() const;
    // The apps view goes into this container's layout.
    QWidget* appsViewContainer() const;
    // The connections log's view goes into this container's layout.
    QWidget* logsViewContainer() const;
    MainWindowTripleSplitViewDelegate* splitViewDelegate() const { return m_splitViewDelegate; }
    // A hidden placeholder until drawMenulet().
    QSystemTrayIcon* statusBarItem() const { return m_statusBarItem; }
    // The resource image the status item shows now.
    QString menuletImageName() const { return m_menuletImageName; }

    // Puts the status item in the desktop's tray; where there is none yet it
    // asks again every kTrayRetryInterval seconds, kTrayRetries times, and
    // then shows the main window instead.
    void drawMenulet();
    static constexpr double kTrayRetryInterval = 1.0;
    static constexpr int kTrayRetries = 30;
    void updateMenuletIcon();
    void updateTitles();
    // view "left" or "right", action "show" or "hide"; any other pair does nothing.
    void controlSplitViewWithView(const QString& view, const QString& action);
    void clickToolbarControl(QObject* sender = nullptr);
    void doDisplayStatus(QObject* sender = nullptr);
    void displayStatusView();
    void showAboutWindow(QObject* sender = nullptr);
    void updateDaemon();

    // "mini" or anything else ("normal").
    void setStyle(const QString& style);
    void updateToolbarLeds();

    // Appearance: label colours, icon sets, the alert sound, the legend.
    void updateColorsInPopover();
    void updateAllAppsLabelsColors();
    void selectIconsStyle();
    void updateAltIconsBtn();
    void switchAltIcons(QObject* sender = nullptr);
    // Takes the sending well's colour as its state's colour.
    void selectColorWell(QObject* sender);
    void setBlackLabels(QObject* sender = nullptr);
    void restoreDefaultColors(QObject* sender = nullptr);
    void populateSoundMenu();
    void selectSound(QObject* sender = nullptr);
    void openLegenda(QObject* sender);
    void openExclusionsLegenda(QObject* sender);
    // Brings back every silenced confirmation but the theme warning.
    void resetUserDefaults(QObject* sender = nullptr);
    // The keys resetUserDefaults() removes, in its order.
    static const QStringList& silencedWarningKeys();
    // The names of the alert sounds the pop-up offers, in its order.
    static const QStringList& alertSoundNames();

    // Sorting: `sender` is one of the seven sort items; the new order is
    // made on synchronizedQueue from the main window's list and replaces it
    // in one step. Anything else only sets the system-binaries filter again.
    void sortApps(QObject* sender);
    PASearchController* searchController() const { return m_searchController; }

    // Outlets of the form the appearance works on.
    QLineEdit* searchAppName() const;
    PopUpButton* soundMenuBtn() const;
    QAbstractButton* sortBtn() const;
    QAbstractButton* toolsBtn() const;
    QAbstractButton* appLockerBtn() const;
    QAbstractButton* toggleNotificationsBtn() const;
    QAbstractButton* infoButton(const QString& name) const;
    Popover* popoverLegenda() const { return m_popoverLegenda; }
    QTabWidget* legendaTabView() const;
    QWidget* legendaView() const { return m_legendaView; }
    QCheckBox* altIcons() const;
    // well0 to well4; nullptr for any other state.
    ColorWell* well(qint64 state) const;
    void removeAllXPCServices();

    // A new app first in the shared list goes first in the window's.
    void copyArrayAppLibrary();
    // The two steps of a load the window follows.
    void configurationApplied();
    void configurationPublished();
    // Observers of appNotificationCenter.
    void sendConfiguration();
    void silenceNotifications();
    void reenableNotifications();
    void expireApp(const QVariantMap& userInfo);

    void makeYellowAppsTurnGreenButPreserveAllMatches();
    void turnAllAppsWithMatchesFromGreenToYellow();

    // Actions; the sender is ignored unless said. Those on the selected app
    // act only when exactly one app is selected (paste: on the first one).
    // The alerts switch.
    void toggleNotifications(QObject* sender = nullptr);
    void switchNotificationAlertsStatus();
    void makeSelectedAppYellow(QObject* sender = nullptr);
    void makeSelectedAppGreen(QObject* sender = nullptr);
    void makeSelectedAppRed(QObject* sender = nullptr);
    // The lock button: block a passing app, pass a blocking one, and settle
    // an asking one by its matches.
    void clickAppLocker(QObject* sender = nullptr);
    void rulesCopy(QObject* sender = nullptr);
    // A paste from pasteItemInAppPopover also redraws the popover.
    void rulesPaste(QObject* sender = nullptr);
    void removeApp(QObject* sender = nullptr);
    void revealAppInFinder(QObject* sender = nullptr);
    // Redraws the app rules popover for the selected app. A popover that is
    // not shown is left alone: it is drawn afresh when it opens.
    void drawAppPopover();

    // The app rules popover: one managed app (the one selected), its rule
    // sentence, its matches as rows, the gear menu, and the tabs of its
    // connections and its code-signature report.
    QPointer<Popover> appPopover;
    PAAppPopover* appPopoverView() const { return m_appPopoverView; }
    PAPopoverDelegate* popoverDelegate() const { return m_popoverDelegate; }
    // The popover's rows: every row, pass or block, is in popoverPassedIPS;
    // popoverBlockedIPS stays empty. Main thread only.
    PARecord::List popoverPassedIPS;
    PARecord::List popoverBlockedIPS;
    ArrayController<PARecord>* popoverPassedIPSController = nullptr;
    ArrayController<PARecord>* popoverBlockedIPSController = nullptr;
    static constexpr QSize kNarrowPopoverSize{360, 465};
    static constexpr QSize kWidePopoverSize{700, 465};
    // Apps with more matches than this switch the host names off for good.
    static constexpr int kMostMatchesWithHostNames = 50;

    // Opens the popover under `sender` (an app item of the apps view; `rect`
    // in its coordinates, its whole area when empty) on the rules tab and
    // draws it. Nothing while a connection alert is open.
    void openAppPopover(QObject* sender, const QRect& rect = QRect());
    // Clears every field, then draws on the next turn of the main queue.
    void doDrawAppPopover();
    QString makeAppRuleDescriptionWithApp(const PAApplication& app) const;
    // After a change of the app's matches: the sentence (of the state before),
    // then the state follows the matches (0/2 and 1/3), then the controls.
    void evaluateAppRule(PAApplication& app);
    void slarga();
    void streca();
    void clickAppPopoverSegmentedControl(QObject* sender = nullptr);
    // The popover's tab view selected `index` (rules, connections, info).
    void appPopoverTabSelected(int index);
    void clickPassed(QObject* sender = nullptr);
    void clickBlocked(QObject* sender = nullptr);
    // Removes the selected rows' matches from the selected app.
    void removeAppRecord(QObject* sender = nullptr);
    // Host names for the rows' addresses, or the addresses again.
    void switchReverseIPOption(QObject* sender = nullptr);
    // The info tab's code-signature report of the selected app.
    void showSignatureInfo(QObject* sender = nullptr);
    // Ends what the popover started: rows still to arrive, host-name
    // look-ups and a signature report still running are dropped.
    void cancelPopoverWork();
    // Look-ups waiting or running (tests).
    int pendingHostNameLookups() const { return m_pendingLookups; }

    // The two tails of every change of the managed apps: publish copies the
    // list into sharedAppsLibrary before sending; send only sends.
    void publishAppsLibrary();
    void sendConfigurationToDaemon();

    // The add popover of the app rules popover and its content (the title,
    // newIP, rulePopup, addEveryoneBtn, addRuleErrorString, cautionPic and
    // progrind).
    Popover* addIPPopover() const { return m_addIPPopover; }
    PAAddIPPopover* addIPView() const { return m_addIPView; }
    // The pop-up index taken by the last parse or catch-all: 0 passes ("@"),
    // any other blocks ("#").
    qint64 addressType = 0;

    // The add steps of the selected app's entries. Each but
    // addMultipleAddresses() and addEveryone() reads the entry from newIP;
    // an entry that goes through ends with the app's rule state in line with
    // its matches, the popover redrawn and the apps published.
    void displayCautionWithErrore(const QString& errore);
    void addNewWildcard(PAApplication& app);
    void addNewSubnet(PAApplication& app);
    void addNewPort(PAApplication& app);
    void addPortRange(PAApplication& app);
    void addEveryone(PAApplication& app);
    void addMultipleAddresses(const QStringList& addresses, PAApplication& app);
    void addNewAddress(PAApplication& app);
    // The catch-all button and the pass/block pop-up by the app's rule state.
    void evaluateAppRulesPopoverButtonsStatesWithApp(PAApplication& app);

public slots:
    // Opens the add popover next to `sender` (a widget) for the selected app.
    void openAddRecordPopover(QObject* sender);
    // Confirms the typed entry: it is checked, and appended to the selected
    // app or refused with a message; a host name is looked up first, in the
    // background. Nothing happens while a connection alert is open.
    void addNewItem(QObject* sender = nullptr);
    // Sets the selected app's catch-all rule by the pop-up's choice.
    void clickAddEveryone(QObject* sender = nullptr);

public:
    QString eseguiShellCommand(const QString& launchPath, const QStringList& argomenti);
    QString doScript(const QString& command);
    QString doAScript(const QString& command);

    // What the toolbar's status lights and titles show, kept for the window.
    QString notificationsLedTitle() const { return m_notificationsLedTitle; }
    QString notificationsLedImage() const { return m_notificationsLedImage; }
    QString loggingLedTitle() const { return m_loggingLedTitle; }
    QString loggingLedImage() const { return m_loggingLedImage; }
    QString logSectionTitle() const { return m_logSectionTitle; }

signals:
    // The popover shows `app` with its rule state: the add controls follow it.
    void popoverAppRuleShown(PAApplication* app);
    // The popover's add entry and its message are cleared.
    void popoverEntryCleared();
    // The connections tab wants the log's per-app list limited to the app at
    // `appPath` (see PAAppConnectionFilter).
    void appLogsWanted(const QString& appPath);
    void toolbarLedsChanged();
    void labelColorsChanged();
    void styleChanged();
    // The icon set changed: views that draw state icons redraw.
    void stateIconsChanged();

protected:
    // Swaps the Tools menu's alternate items while it is open and Alt goes
    // down or up.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void m_statusMenuWillOpen();
    void m_toolsMenuWillOpen();
    void m_rightClickMenuWillOpen();
    void m_showAlternateItems(bool alternate);
    void m_buildToolsMenu();
    void m_buildRightClickMenu();
    void m_buildLegenda();
    void m_buildSortMenu();
    void m_paintStateTexts(qint64 state, const QColor& color);
    void m_showLegendaFrom(QObject* sender);
    void m_showSoundInUse();
    // The one selected app; null when none or several are selected.
    std::shared_ptr<PAApplication> m_singleSelectedApp() const;
    // Green or red for the single selected app, its matches emptied.
    void m_setSelectedAppRule(qint64 rule);
    void m_followSharedApps();
    void m_hideSystemBinariesIfWanted();
    void m_retryTray();
    void m_buildStatusBarMenu();
    void m_buildAboutWindow();
    void m_showMainWindow();
    static void m_setLight(QLabel* light, const QString& imageName);
    static QIcon m_templateImage(const QString& name);

    void m_buildAddIPPopover();
    // Runs one add step on the typed entry: refused (with its message, if
    // any), or the new matches written and committed.
    using AddStep = PAAppEntries::Outcome (*)(QStringList&, const QString&, const QString&);
    void m_addTypedEntry(PAApplication& app, AddStep step, bool emptyEntry);
    // The tail of an entry that went through; `shown` when the app is the one
    // the popover shows, so its controls and field follow it.
    void m_commitEntry(PAApplication& app, bool shown, bool emptyEntry);
    void m_appendAddresses(PAApplication& app, const QStringList& addresses, const QString& prefix,
                           bool shown);
    void m_refuseEntry(const QString& message);
    void m_resolveHostEntry(const std::shared_ptr<PAApplication>& app, const QString& name,
                            const QString& prefix);
    void m_addResolvedAddresses(const std::weak_ptr<PAApplication>& target, const QStringList& addresses,
                                const QString& prefix);
    void m_rejectHostEntry(const std::weak_ptr<PAApplication>& target);
    void m_startEntrySpinner();
    // Once an entry went in, only a click in the main window closes the
    // rules popover.
    void m_keepAppPopoverAfterEntry();
    void m_stopEntrySpinner();
    void m_buildAppPopover();
    void m_fillAppPopover();
    void m_clearAppPopover();
    void m_showGearItems(const PAApplication& app);
    void m_startHostNameLookups();
    void m_cancelLookups();
    void m_showSignatureText(const QString& text);
    void m_appSelectionChanged();

    const std::unique_ptr<Ui::PAController> ui;
    const std::unique_ptr<Ui::PALegenda> m_legenda;
    Popover* m_popoverLegenda = nullptr;
    Popover* m_addIPPopover = nullptr;
    PAAddIPPopover* m_addIPView = nullptr;
    // Messages of a parse show once the action has returned.
    bool m_entryMessagesLater = false;
    int m_pendingHostLookups = 0;
    PAAppPopover* m_appPopoverView = nullptr;
    PAPopoverDelegate* m_popoverDelegate = nullptr;
    // Reverse look-ups of the rows, at most five at once (myOperationQueue).
    std::unique_ptr<ConcurrentQueue> m_myOperationQueue;
    // Each draw, cancellation and report takes a new number; work that comes
    // back with an older one is dropped. The look-ups' number is read on their
    // threads too.
    quint64 m_fillGeneration = 0;
    quint64 m_signGeneration = 0;
    std::shared_ptr<std::atomic<quint64>> m_lookupGeneration;
    int m_pendingLookups = 0;
    // The app the popover shows.
    std::weak_ptr<PAApplication> m_popoverApp;
    QWidget* m_legendaView = nullptr;
    PASearchController* m_searchController = nullptr;
    std::unique_ptr<QMainWindow> m_window;
    std::unique_ptr<QWidget> m_aboutWindow;
    QLabel* m_aboutVersionLabel = nullptr;
    MainWindowTripleSplitViewDelegate* m_splitViewDelegate = nullptr;
    QSystemTrayIcon* m_statusBarItem = nullptr;
    TimerRef m_trayRetryTimer;
    int m_trayRetries = 0;
    QString m_menuletImageName;

    QString m_notificationsLedTitle;
    QString m_notificationsLedImage;
    QString m_loggingLedTitle;
    QString m_loggingLedImage;
    QString m_logSectionTitle;
};
