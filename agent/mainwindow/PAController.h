#pragma once

#include "core/PAApplication.h"
#include "core/PAManagedApps.h"
#include "mainwindow/PAAppearance.h"
#include "mainwindow/PAMainMenus.h"
#include "platform/ArrayController.h"
#include "platform/Clock.h"
#include "ruleeditors/PAAppRulesController.h"
#include "ruleeditors/PARecord.h"

#include <QAction>
#include <QIcon>
#include <QMainWindow>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <memory>
#include <vector>

class ColorWell;
class MainWindowTripleSplitViewDelegate;
class PAAddIPPopover;
class PAConfiguration;
class PAExclusionController;
class PAAppPopover;
class PAManagedRecordsController;
class PAPopoverDelegate;
class PASearchController;
class PAWorkQueues;
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
} // namespace Ui

// The main window's controller, the hub of the apps window: it owns the main
// window with its toolbar and three panes, the status item, the status sheet
// and the about window, and the commands on the managed apps. The rules
// popover with its entries (PAAppRulesController), the appearance
// (PAAppearance), the four menus (PAMainMenus) and the managed apps' list
// (PAManagedApps) are objects of their own that it makes and connects; it
// keeps their names as forwards, so callers reach everything here. Widgets
// are made and touched on the main thread only.
class PAController : public QObject, public PAMainMenuItems, public PAStateIcons
{
    Q_OBJECT

    // Made first, in this order: the names below refer into them.
    const std::unique_ptr<Ui::PAController> ui;
    const std::unique_ptr<QMainWindow> m_window;
    PAManagedApps* const m_managedApps;
    const std::unique_ptr<PAAppRulesController> m_rules;
    const std::unique_ptr<PAAppearance> m_appearance;
    const std::unique_ptr<PAMainMenus> m_menus;

public:
    // The look-ups of the rules popover run on `queues`.
    PAController(PAConfiguration& configuration, PAWorkQueues& queues, QObject* parent = nullptr);
    ~PAController() override;

    // The managed apps as the main window shows them, in list order; holds the
    // same app objects as sharedAppsLibrary.
    std::vector<std::shared_ptr<PAApplication>>& appsLibrary;
    // The array controller between appsLibrary and the apps view.
    ArrayController<PAApplication>* const appsLibraryController;
    PAManagedApps& managedApps() const { return *m_managedApps; }

    // Publishes the rule set; given at construction.
    PAConfiguration* const paconfiguration;

    // The rule of the last copied app: its matches and its state, 5 while
    // nothing is copied.
    QStringList pasteboardMatches;
    qint64 pasteboardIsBlockedOrAllowed = 5;

    // Outlets, connected by MainInterface.
    // Its alert settings follow the alerts switch.
    QPointer<PAPreferencesController> preferencescontroller;
    // The app rules popover's paste item; a paste it sends redraws the popover.
    QPointer<QAction> pasteItemInAppPopover;
    // The installation status view; the status sheet shows it under its
    // title, once statusViewWillShow() has brought its lights up to date.
    QPointer<QWidget> statusView;
    // Spins while a configuration loads.
    QPointer<QProgressBar> progr;
    // The editors whose icons follow the icon set.
    QPointer<PAManagedRecordsController> recordscontroller;
    QPointer<PAExclusionController> exclusionscontroller;
    // The app rules popover's legend button.
    QPointer<QAbstractButton> info_apprules;

    void awakeFromNib();

    // Just before one of the four menus opens: which of its items show, which
    // are enabled, and the lock item's title. Any other menu is left alone.
    void menuWillOpen(QMenu* menu) { m_menus->menuWillOpen(menu); }

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
    void updateColorsInPopover() { m_appearance->updateColorsInPopover(); }
    void updateAllAppsLabelsColors() { m_appearance->updateAllAppsLabelsColors(); }
    void selectIconsStyle() { m_appearance->selectIconsStyle(); }
    void updateAltIconsBtn() { m_appearance->updateAltIconsBtn(); }
    void switchAltIcons(QObject* = nullptr) { m_appearance->switchAltIcons(); }
    // Takes the sending well's colour as its state's colour.
    void selectColorWell(QObject* sender) { m_appearance->selectColorWell(sender); }
    void setBlackLabels(QObject* = nullptr) { m_appearance->setBlackLabels(); }
    void restoreDefaultColors(QObject* = nullptr) { m_appearance->restoreDefaultColors(); }
    void populateSoundMenu() { m_appearance->populateSoundMenu(); }
    void selectSound(QObject* = nullptr) { m_appearance->selectSound(); }
    void openLegenda(QObject* sender) { m_appearance->openLegenda(sender); }
    void openExclusionsLegenda(QObject* sender) { m_appearance->openExclusionsLegenda(sender); }
    // Brings back every silenced confirmation but the theme warning.
    void resetUserDefaults(QObject* = nullptr) { PAMainMenus::resetUserDefaults(m_window.get()); }
    // The keys resetUserDefaults() removes, in its order.
    static const QStringList& silencedWarningKeys() { return PAMainMenus::silencedWarningKeys(); }
    // The names of the alert sounds the pop-up offers, in its order.
    static const QStringList& alertSoundNames() { return PAAppearance::alertSoundNames(); }

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
    Popover* popoverLegenda() const { return m_appearance->popoverLegenda(); }
    QTabWidget* legendaTabView() const { return m_appearance->legendaTabView(); }
    QWidget* legendaView() const { return m_appearance->legendaView(); }
    QCheckBox* altIcons() const { return m_appearance->altIcons(); }
    // well0 to well4; nullptr for any other state.
    ColorWell* well(qint64 state) const { return m_appearance->well(state); }
    void removeAllXPCServices();

    // A new app first in the shared list goes first in the window's.
    void copyArrayAppLibrary() { m_managedApps->copyArrayAppLibrary(); }
    // The step of a load the window follows; the lights and the status menu
    // follow the settings a load changes by themselves.
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

    // The app rules popover and its add popover (see PAAppRulesController).
    PAAppRulesController& rulesController() const { return *m_rules; }
    QPointer<Popover> appPopover;
    PAAppPopover* appPopoverView() const { return m_rules->appPopoverView(); }
    PAPopoverDelegate* popoverDelegate() const { return m_rules->popoverDelegate(); }
    PARecord::List& popoverPassedIPS;
    PARecord::List& popoverBlockedIPS;
    ArrayController<PARecord>* const popoverPassedIPSController;
    ArrayController<PARecord>* const popoverBlockedIPSController;
    static constexpr QSize kNarrowPopoverSize = PAAppRulesController::kNarrowPopoverSize;
    static constexpr QSize kWidePopoverSize = PAAppRulesController::kWidePopoverSize;
    static constexpr int kMostMatchesWithHostNames = PAAppRulesController::kMostMatchesWithHostNames;
    void drawAppPopover() { m_rules->drawAppPopover(); }
    void openAppPopover(QObject* sender, const QRect& rect = QRect())
    {
        m_rules->openAppPopover(sender, rect);
    }
    void doDrawAppPopover() { m_rules->doDrawAppPopover(); }
    QString makeAppRuleDescriptionWithApp(const PAApplication& app) const
    {
        return m_rules->makeAppRuleDescriptionWithApp(app);
    }
    void evaluateAppRule(PAApplication& app) { m_rules->evaluateAppRule(app); }
    void slarga() { m_rules->slarga(); }
    void streca() { m_rules->streca(); }
    void clickAppPopoverSegmentedControl(QObject* sender = nullptr)
    {
        m_rules->clickAppPopoverSegmentedControl(sender);
    }
    void appPopoverTabSelected(int index) { m_rules->appPopoverTabSelected(index); }
    void clickPassed(QObject* sender = nullptr) { m_rules->clickPassed(sender); }
    void clickBlocked(QObject* sender = nullptr) { m_rules->clickBlocked(sender); }
    void removeAppRecord(QObject* sender = nullptr) { m_rules->removeAppRecord(sender); }
    void switchReverseIPOption(QObject* sender = nullptr) { m_rules->switchReverseIPOption(sender); }
    void showSignatureInfo(QObject* sender = nullptr) { m_rules->showSignatureInfo(sender); }
    void cancelPopoverWork() { m_rules->cancelPopoverWork(); }
    int pendingHostNameLookups() const { return m_rules->pendingHostNameLookups(); }

    // The two tails of every change of the managed apps: publish copies the
    // list into sharedAppsLibrary before sending; send only sends.
    void publishAppsLibrary() { m_managedApps->publishAppsLibrary(); }
    void sendConfigurationToDaemon() { m_managedApps->sendConfigurationToDaemon(); }

    Popover* addIPPopover() const { return m_rules->addIPPopover(); }
    PAAddIPPopover* addIPView() const { return m_rules->addIPView(); }
    qint64& addressType;
    void displayCautionWithErrore(const QString& errore) { m_rules->displayCautionWithErrore(errore); }
    void addNewWildcard(PAApplication& app) { m_rules->addNewWildcard(app); }
    void addNewSubnet(PAApplication& app) { m_rules->addNewSubnet(app); }
    void addNewPort(PAApplication& app) { m_rules->addNewPort(app); }
    void addPortRange(PAApplication& app) { m_rules->addPortRange(app); }
    void addEveryone(PAApplication& app) { m_rules->addEveryone(app); }
    void addMultipleAddresses(const QStringList& addresses, PAApplication& app)
    {
        m_rules->addMultipleAddresses(addresses, app);
    }
    void addNewAddress(PAApplication& app) { m_rules->addNewAddress(app); }
    void evaluateAppRulesPopoverButtonsStatesWithApp(PAApplication& app)
    {
        m_rules->evaluateAppRulesPopoverButtonsStatesWithApp(app);
    }
    void openAddRecordPopover(QObject* sender) { m_rules->openAddRecordPopover(sender); }
    void addNewItem(QObject* sender = nullptr) { m_rules->addNewItem(sender); }
    void clickAddEveryone(QObject* sender = nullptr) { m_rules->clickAddEveryone(sender); }

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
    // The rules popover shows `app` with its rule state.
    void popoverAppRuleShown(PAApplication* app);
    // The popover's add entry and its message are cleared.
    void popoverEntryCleared();
    // The connections tab wants the log's per-app list limited to the app at
    // `appPath` (see PAAppConnectionRule).
    void appLogsWanted(const QString& appPath);
    // The status sheet is about to show statusView: its lights are brought
    // up to date first.
    void statusViewWillShow();
    void toolbarLedsChanged();
    void labelColorsChanged();
    void styleChanged();
    // The icon set changed: views that draw state icons redraw.
    void stateIconsChanged();

private:
    // The window laid out by `form`, for the members made after it.
    static QMainWindow* m_makeWindow(Ui::PAController& form);
    void m_connectCommands();
    // The Global Rules' and Managed Folders' rows take the icons of the set.
    void m_showEditorIcons();
    // Green or red for the single selected app, its matches emptied.
    void m_setSelectedAppRule(qint64 rule);
    void m_retryTray();
    void m_buildAboutWindow();
    void m_showMainWindow();
    static void m_setLight(QLabel* light, const QString& imageName);
    static QIcon m_templateImage(const QString& name);

    PASearchController* m_searchController = nullptr;
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
