#pragma once

#include "platform/Clock.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class PAAppConnectionsProxyModel;
class PAConnection;
class PAConnectionsModel;
class PAController;
class PAPreferencesController;
class PAWorkQueues;
class Socketcon;
class PATableView;
class Popover;
struct ParsedConnection;
class QAbstractButton;
class QAction;
class QLabel;
class QMenu;
class QTableView;
class QTimer;
class QWidget;

namespace Ui {
class PAConnectionController;
class PAConnectionInfoPopover;
} // namespace Ui

// The live connections log's controller: the list of recently reported
// connections and its table, the logging switch that has the daemon load or
// unload the connection-report extension, pruning by age, host names or
// addresses, the per-app list, the information popover and the menus.
// Main thread only.
class PAConnectionController : public QObject
{
    Q_OBJECT

public:
    PAConnectionController(PAPreferencesController& preferences, PAWorkQueues& queues,
                           QObject* parent = nullptr);
    ~PAConnectionController() override;

    PAPreferencesController* const preferencescontroller;
    // The connection-report reader.
    QPointer<Socketcon> mysocketcon;

    // Starts the reader on recvKextConQueue.
    void startReadConnection();
    // The connection-report extension is loaded.
    bool connKextIsRunning() const;

    // Outlets, connected by MainInterface.
    // Runs the commands' helpers and refreshes the toolbar lights; its apps
    // selection picks the per-app list's app.
    QPointer<PAController> palisorcontroller;
    // Follows the window's logging switch.
    QPointer<QAbstractButton> logToFile;

    // The window the log lives in (its delegate): closing it empties the list.
    void setWindow(QWidget* window);
    QWidget* window() const { return m_window; }

    // The log's view, for the window to hold; made with the controller.
    QWidget* view() const { return m_view; }
    PATableView* allConnsTableView() const;
    // The connections list, oldest first, and the all-connections table's
    // model; the table's selection is the list's selection.
    PAConnectionsModel* allConsLibraryController() const { return m_model; }
    // The per-app list: the same connections filtered to one app.
    PAAppConnectionsProxyModel* appConnsLibraryController() const { return m_appFilter; }
    QTableView* appConnsTableView() const;
    // Another view of the per-app list (the rules popover's connections tab):
    // the same rows, selection and menu.
    void showAppConnectionsIn(PATableView* table);
    QAbstractButton* loggingSwitch() const;
    QAbstractButton* hostnamesSwitch() const;
    QAbstractButton* autoscrollSwitch() const;

    // The information popover and its fields.
    Popover* connInfoPopover() const;
    QLabel* infopopoverImage = nullptr;
    QLabel* infopopoverAppName = nullptr;
    QLabel* infopopoverIPAddress = nullptr;
    QLabel* infopopoverPort = nullptr;
    QLabel* infopopoverUsername = nullptr;
    QLabel* infopopoverPath = nullptr;
    QLabel* infopopoverHostname = nullptr;
    QLabel* infopopoverDate = nullptr;
    QLabel* connFlag = nullptr;
    // The per-app connections popover.
    Popover* appLogsPopover() const;

    // The window's action menu, the table's context menu and the per-app
    // list's menu, with their items.
    QMenu* mainActionMenu = nullptr;
    QMenu* contextualMenu = nullptr;
    QMenu* appLogsMenu = nullptr;
    QAction* toggleLogMenuItem = nullptr;
    // The context menu's first item, never shown: with nothing selected no
    // item shows, and with a selection the first is hidden.
    QAction* contextualMenuTitle = nullptr;
    QAction* item1 = nullptr;
    QAction* item2 = nullptr;
    QAction* reveal1 = nullptr;
    QAction* reveal2 = nullptr;
    QAction* blockAppItem = nullptr;
    QAction* blockPortItem = nullptr;
    QAction* blockIPItem = nullptr;
    QAction* passAppItem = nullptr;
    QAction* passPortItem = nullptr;
    QAction* passIPItem = nullptr;
    QAction* copyIPItem = nullptr;
    QAction* copyHostItem = nullptr;
    QAction* copyIPItem2 = nullptr;
    QAction* copyHostItem2 = nullptr;

    // Start-up: pruning (from the first connection on) and the logging state
    // of the moment.
    void awakeFromNib();
    // One pruning pass: every connection at least connectionsTTL seconds old goes.
    void timerAction();
    // The pruning timer: running while the list holds connections.
    const TimerRef& connsTimer() const { return m_connsTimer; }
    static constexpr double kPruningInterval = 5.0;

    // Applies activateLogging: the preferences' log options follow it and the
    // daemon is asked to load or unload the connection-report extension.
    void loggingControl();
    void loadKext();
    void unloadKext();
    void postKextNotification(const QString& name);

    // The end of the connection-report road, on the main thread: the list
    // takes the connection (and its ownership) as its last row, and its icon
    // and host name are looked up on the log's pools.
    void addConnection(PAConnection* connection);
    // A report of the connection-report road: its row, followed in the table
    // when autoscroll is on.
    void addReportedConnection(const ParsedConnection& connection);
    // Shows the list's last row (once the rows waiting for their batch are in).
    void scrollToLastConnection();
    // Shown rows and connections waiting for the next batch.
    int connectionCount() const;

    // Host names or addresses; only while logging is on.
    void toggleHostnames(bool on);
    // The window the log lives in closes.
    void windowWillClose();
    void cleanLogsList();
    void toggleLogsFromMenu();
    void clickToggleLoggingOnAndOff(bool on);
    // Opens the agent's log file with the desktop's opener.
    void openLogsInConsole();
    // The per-app list shows the connections of the app selected in the main
    // window; nothing changes unless exactly one app is selected.
    void getAppLogs();
    // Shows every connection in the per-app list again.
    void clearAppLogsFilter();
    void switchLogAutoscroll(bool on);

    // The information popover for the one selected connection.
    void doubleClickAllConnsTableView();
    // Just before one of the three menus opens: titles, visibility, enabling.
    // Any other menu is left alone.
    void menuWillOpen(QMenu* menu);
    void copyIP();
    void copyHostname();
    void appcopyIP();
    void appcopyHostname();
    void revealInFinder();
    void revealInFinderResponsibleApp();
    // The popover's country flag from the address it shows.
    void matchNationFlag();
    void openLogsPopover(QWidget* sender);

    // The user shown for a user id text: "uid=<id>(<name>)" as the system's
    // id tool begins its answer, or "ERROR" when no account has it.
    static QString userText(const QString& uid);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void m_buildMenus();
    void m_buildInfoPopover();
    void m_buildAppLogsPopover();
    // The one selected connection of a table; null when none or several.
    PAConnection* m_singleSelected(QTableView* table) const;
    // The first selected connection of a table, in row order; null when none.
    PAConnection* m_firstSelected(QTableView* table) const;
    void m_copy(QTableView* table, bool hostname);
    void m_reveal(bool responsibleApp);
    void m_scrollNow();
    void m_startPruning();

    PAWorkQueues& m_queues;
    const std::unique_ptr<Ui::PAConnectionController> ui;
    const std::unique_ptr<Ui::PAConnectionInfoPopover> m_infoUi;
    QPointer<QWidget> m_window;
    QPointer<QWidget> m_view;
    PAConnectionsModel* m_model;
    PAAppConnectionsProxyModel* m_appFilter;
    QPointer<QTableView> m_appConnsTableView;
    QPointer<Popover> m_connInfoPopover;
    QPointer<Popover> m_appLogsPopover;
    QTimer* m_scrollTimer;
    TimerRef m_connsTimer;
    // The connection the information popover shows: a host name that arrives
    // for any other is dropped.
    QPointer<PAConnection> m_popoverConnection;
    quint64 m_popoverGeneration = 0;
    bool m_scrollWanted = false;
    bool m_awake = false;
};
