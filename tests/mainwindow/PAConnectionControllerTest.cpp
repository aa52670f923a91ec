#include "mainwindow/PAConnectionController.h"

#include "app/MainInterface.h"
#include "core/PAApplication.h"
#include "core/PAWorkQueues.h"
#include "core/SharedState.h"
#include "mainwindow/PAAppConnectionsProxyModel.h"
#include "mainwindow/PAConnection.h"
#include "mainwindow/PAConnectionsModel.h"
#include "mainwindow/PAController.h"
#include "platform/ConcurrentQueue.h"
#include "platform/widgets/PATableView.h"
#include "platform/widgets/Popover.h"
#include "support/EventLoop.h"
#include "support/FakeFileManager.h"
#include "support/widgets/AgentFixture.h"

#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTableView>

#include <gtest/gtest.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>

namespace {

struct Report
{
    const char* path;
    const char* address;
    qint64 port;
    const char* uid;
    bool blocked;
    const char* viaApp = "";
    const char* viaPath = "";
};

class PAConnectionControllerTest : public AgentFixture
{
protected:
    PAConnectionController& connections() { return *m_interface->connectionController(); }
    PAConnectionsModel& model() { return *connections().allConsLibraryController(); }
    // The log's host-name look-ups.
    ConcurrentQueue& connHostnamesQueue() { return workQueues().connHostnamesQueue(); }

    // A reported connection made `age` seconds before the clock's now.
    PAConnection* report(const Report& r, double age = 0.0)
    {
        auto* connection = new PAConnection(QString::fromUtf8(r.path), QLatin1String(r.address), r.port, 4242,
                                            QLatin1String(r.uid), r.blocked, QString::fromUtf8(r.viaApp),
                                            QString::fromUtf8(r.viaPath), false);
        connection->connRealDate = m_clock->now().addMSecs(-qRound64(age * 1000.0));
        connections().addConnection(connection);
        return connection;
    }
    QStringList addresses()
    {
        model().flushPending();
        QStringList shown;
        for (int row = 0; row < model().rowCount(); ++row)
            shown << model().connectionAt(row)->connIPAddress;
        return shown;
    }
    void selectRows(QTableView* table, const QList<int>& rows)
    {
        model().flushPending();
        table->selectionModel()->clearSelection();
        for (int row : rows)
            table->selectionModel()->select(table->model()->index(row, 0),
                                            QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    // The visible items of the context menu, by title.
    QStringList visibleTitles(QMenu* menu)
    {
        QStringList titles;
        for (QAction* item : menu->actions())
            if (item->isVisible() && !item->isSeparator())
                titles << item->text();
        return titles;
    }
};

const Report kSafari{"/Applications/Safari.app/Contents/MacOS/Safari", "17.253.144.10", 443, "501", false};
const Report kCurl{"/usr/bin/curl", "93.184.216.34", 80, "501", true};
const Report kRootd{"/usr/sbin/ntpd", "162.159.200.1", 123, "0", false};
const Report kService{"/System/Library/XPCServices/Fetch.xpc/Contents/MacOS/Fetch",
                      "140.82.112.3",
                      22,
                      "501",
                      true,
                      "Mail",
                      "/Applications/Mail.app/Contents/MacOS/Mail"};

TEST_F(PAConnectionControllerTest, RowsArriveInBatchesAndFollowTheirConnections)
{
    QSignalSpy inserted(&model(), &QAbstractItemModel::rowsInserted);
    report(kSafari);
    PAConnection* curl = report(kCurl);
    report(kRootd);
    EXPECT_EQ(connections().connectionCount(), 3);
    EXPECT_EQ(model().rowCount(), 0);
    drainEvents();
    ASSERT_EQ(model().rowCount(), 3);
    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted.at(0).at(1).toInt(), 0);
    EXPECT_EQ(inserted.at(0).at(2).toInt(), 2);

    // The address column shows the host name; blocked rows are red.
    const QModelIndex address = model().index(1, PAConnectionsModel::ColumnAddress);
    EXPECT_EQ(address.data().toString(), "93.184.216.34");
    EXPECT_EQ(address.data(Qt::ForegroundRole).value<QColor>(), curl->connColor);
    EXPECT_EQ(model().index(1, PAConnectionsModel::ColumnProcessName).data().toString(), "curl");
    EXPECT_EQ(model().index(1, PAConnectionsModel::ColumnPort).data().toLongLong(), 80);
    EXPECT_EQ(model().index(2, PAConnectionsModel::ColumnUID).data().toString(), "0");
    EXPECT_EQ(model().index(1, PAConnectionsModel::ColumnDate).data().toString(), curl->connDate);

    // After the rows before it have gone, a late host name still redraws
    // the right row.
    model().connectionAt(0)->connRealDate = m_clock->now().addSecs(-100);
    // Dates are read when the row arrives: the one above does not count.
    EXPECT_EQ(model().removeAged(m_clock->now(), 30.0), 0);
    PAConnection* safari = report(kSafari, 100);
    drainEvents();
    EXPECT_EQ(model().removeAged(m_clock->now(), 30.0), 1);
    EXPECT_EQ(model().rowOf(safari), -1);
    QSignalSpy changed(&model(), &QAbstractItemModel::dataChanged);
    curl->setConnHostname(QStringLiteral("example.org"));
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).toModelIndex().row(), model().rowOf(curl));
    EXPECT_EQ(model().index(model().rowOf(curl), PAConnectionsModel::ColumnAddress).data().toString(),
              "example.org");
}

// The road asks to scroll right after adding, before the row exists: the
// table follows once the batch is in, and only when asked.
TEST_F(PAConnectionControllerTest, ScrollingToTheLastRowWaitsForItsBatch)
{
    QTableView* table = connections().allConnsTableView();
    controller().window()->resize(900, 500);
    controller().window()->show();
    controller().toolbarControl()->button(1)->click();
    const auto lastRowShown = [&] {
        const QRect last = table->visualRect(model().index(model().rowCount() - 1, 1));
        return model().rowCount() > 0 && table->viewport()->rect().intersects(last);
    };
    for (int i = 0; i < 200; ++i)
        report({"/usr/bin/nc", "10.0.0.1", 1, "501", false});
    drainEvents();
    EXPECT_FALSE(lastRowShown());
    for (int i = 0; i < 5; ++i) {
        report({"/usr/bin/nc", "10.0.0.2", 1, "501", false});
        connections().scrollToLastConnection();
    }
    drainEvents();
    EXPECT_EQ(model().rowCount(), 205);
    EXPECT_TRUE(lastRowShown()) << "scrolled to " << table->verticalScrollBar()->value() << " of "
                                << table->verticalScrollBar()->maximum();
}

TEST_F(PAConnectionControllerTest, PruningRemovesEveryConnectionAtLeastTheTtlOld)
{
    connectionsTTL = 30.0;
    // Out of date order, so an aged row sits between younger ones.
    const struct
    {
        const char* address;
        double age;
        bool stays;
    } rows[] = {
        {"10.0.0.1", 45.0, false},   {"10.0.0.2", 29.999, true}, {"10.0.0.3", 30.0, false},
        {"10.0.0.4", 30.001, false}, {"10.0.0.5", 0.0, true},    {"10.0.0.6", -2.0, true},
        {"10.0.0.7", 31.0, false},
    };
    QStringList staying;
    for (const auto& row : rows) {
        report({"/usr/bin/nc", row.address, 1, "501", false}, row.age);
        if (row.stays)
            staying << QLatin1String(row.address);
    }
    QSignalSpy removals(&model(), &QAbstractItemModel::rowsRemoved);
    connections().timerAction();
    EXPECT_EQ(addresses(), staying);
    // One removal per run of aged rows.
    EXPECT_EQ(removals.count(), 3);

    // Nothing aged, or nothing at all: no removal reaches the view.
    removals.clear();
    connections().timerAction();
    connections().cleanLogsList();
    EXPECT_EQ(model().rowCount(), 0);
    removals.clear();
    connections().timerAction();
    EXPECT_EQ(removals.count(), 0);
}

TEST_F(PAConnectionControllerTest, TheFiveSecondTickKeepsAConnectionBetweenTtlAndTtlPlusATick)
{
    connectionsTTL = 30.0;
    EXPECT_EQ(m_clock->activeTimerCount(), 0) << "nothing to prune yet";
    report({"/usr/bin/nc", "10.0.0.1", 1, "501", false});
    ASSERT_TRUE(connections().connsTimer() && connections().connsTimer()->isValid());
    EXPECT_DOUBLE_EQ(connections().connsTimer()->timeInterval(), 5.0);
    m_clock->advance(1.0);
    report({"/usr/bin/nc", "10.0.0.2", 1, "501", false});
    m_clock->advance(28.0);
    EXPECT_EQ(addresses().size(), 2);
    m_clock->advance(1.0); // the tick at 30 s
    EXPECT_EQ(addresses(), QStringList{"10.0.0.2"});
    m_clock->advance(4.9);
    EXPECT_EQ(addresses(), QStringList{"10.0.0.2"});
    m_clock->advance(0.1); // the tick at 35 s: 34 s old
    EXPECT_TRUE(addresses().isEmpty());
    EXPECT_EQ(m_clock->activeTimerCount(), 0) << "stops with the list empty";

    // A TTL changed in the preferences counts from the next tick.
    report({"/usr/bin/nc", "10.0.0.3", 1, "501", false});
    connectionsTTL = 4.0;
    m_clock->advance(5.0);
    EXPECT_TRUE(addresses().isEmpty());
}

TEST_F(PAConnectionControllerTest, TheLoggingSwitchTellsTheDaemonAndTheLights)
{
    QCheckBox logToFile;
    connections().logToFile = &logToFile;
    activateLogging = false;
    controller().updateToolbarLeds();

    connections().menuWillOpen(connections().mainActionMenu);
    EXPECT_EQ(connections().toggleLogMenuItem->text(), "Enable Logging");
    connections().toggleLogsFromMenu();
    EXPECT_TRUE(activateLogging);
    EXPECT_EQ(controller().loggingLedTitle(), "LOGGING ENABLED");
    EXPECT_TRUE(connections().loggingSwitch()->isChecked());
    connections().menuWillOpen(connections().mainActionMenu);
    EXPECT_EQ(connections().toggleLogMenuItem->text(), "Disable Logging");
    connections().toggleLogsFromMenu();
    EXPECT_EQ(controller().loggingLedTitle(), "LOGGING DISABLED");
    EXPECT_FALSE(connections().loggingSwitch()->isChecked());

    // The window's own switch, clicked.
    connections().loggingSwitch()->click();
    EXPECT_TRUE(activateLogging);
    EXPECT_EQ(controller().loggingLedTitle(), "LOGGING ENABLED");
    EXPECT_TRUE(logToFile.isChecked());

    EXPECT_EQ(m_center->postedNames(), (QStringList{"loadKext", "unloadKext", "loadKext"}));
    for (const auto& post : m_center->posts()) {
        EXPECT_EQ(post.object, "zz.tolvane.palisorconnkext");
        EXPECT_EQ(post.userInfo, (QVariantMap{{"kextPath", QString()}}));
        EXPECT_EQ(post.options, 3);
    }
    connections().logToFile = nullptr;
}

// Closing the window empties the list, and the daemon, the switch and the
// lights keep agreeing: logging stays as it was switched, so reports (and
// the log file's lines) keep coming.
TEST_F(PAConnectionControllerTest, ClosingTheWindowEmptiesTheListAndKeepsLoggingAsSwitched)
{
    for (const bool logging : {true, false}) {
        SCOPED_TRACE(logging);
        activateLogging = logging;
        connections().loggingControl();
        controller().updateToolbarLeds();
        m_center->clear();
        report(kSafari);
        report(kCurl);
        drainEvents();
        QMainWindow* window = controller().window();
        window->show();
        testing::internal::CaptureStdout();
        EXPECT_TRUE(window->close());
        const std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_NE(printed.find("closed connections window\n"), std::string::npos);
        EXPECT_EQ(connections().connectionCount(), 0);
        EXPECT_EQ(activateLogging, logging);
        EXPECT_TRUE(m_center->posts().isEmpty());
        EXPECT_EQ(controller().loggingLedTitle(), logging ? "LOGGING ENABLED" : "LOGGING DISABLED");
        EXPECT_EQ(connections().loggingSwitch()->isChecked(), logging);
    }
}

// The switch shows the setting whoever changes it, a load included; showing
// it asks nothing of the daemon.
TEST_F(PAConnectionControllerTest, TheLoggingSwitchFollowsTheSettingWhoeverChangesIt)
{
    m_center->clear();
    for (const bool logging : {true, false, true}) {
        SCOPED_TRACE(logging);
        PASettings::applyRecord({{"activateLogging", logging}}, nullptr);
        EXPECT_EQ(connections().loggingSwitch()->isChecked(), logging);
    }
    activateLogging = false;
    EXPECT_FALSE(connections().loggingSwitch()->isChecked());
    EXPECT_TRUE(m_center->posts().isEmpty());
}

TEST_F(PAConnectionControllerTest, HostNamesSwitchOnlyWhileLogging)
{
    PAConnection* curl = report(kCurl);
    drainEvents();
    curl->setConnHostname(QStringLiteral("example.org"));

    activateLogging = false;
    showHostnames = true;
    connections().toggleHostnames(false);
    EXPECT_TRUE(showHostnames);
    EXPECT_EQ(curl->connHostname, "example.org");

    activateLogging = true;
    connections().toggleHostnames(false);
    EXPECT_FALSE(showHostnames);
    EXPECT_EQ(curl->connHostname, "93.184.216.34");

    // Switched on: one look-up per address, its name for all its rows; an
    // address without a name keeps showing the address.
    m_hostNames.answer(QStringLiteral("93.184.216.34"), {QStringLiteral("example.org")});
    PAConnection* again = report(kCurl);
    PAConnection* safari = report(kSafari);
    ASSERT_TRUE(connHostnamesQueue().waitForDone(5000));
    drainEvents();
    const qsizetype before = m_hostNames.asked().size();
    connections().toggleHostnames(true);
    EXPECT_TRUE(showHostnames);
    ASSERT_TRUE(connHostnamesQueue().waitForDone(5000));
    drainEvents();
    EXPECT_EQ(again->connHostname, "example.org");
    EXPECT_EQ(curl->connHostname, "example.org");
    EXPECT_EQ(safari->connHostname, "17.253.144.10");
    QStringList asked = m_hostNames.asked().mid(before);
    asked.sort();
    EXPECT_EQ(asked, (QStringList{"17.253.144.10", "93.184.216.34"}));
}

TEST_F(PAConnectionControllerTest, PerAppListMatchesPathsIgnoringCaseAndDiacritics)
{
    const QString cafe = QStringLiteral("/Applications/Café.app");
    const struct
    {
        const char* path;
        const char* viaPath;
        bool shown;
    } rows[] = {
        {"/Applications/Café.app/Contents/MacOS/Café", "", true},
        {"/APPLICATIONS/CAFE.APP/Contents/MacOS/x", "", true},
        {"/Applications/Cafe\u0301.app/Contents/MacOS/decomposed", "", true},
        // Any path that holds the app's path as text, a sibling bundle too.
        {"/Applications/Café.appendix.app/Contents/MacOS/y", "", true},
        {"/S/Fetch.xpc/Contents/MacOS/Fetch", "/applications/cafÉ.app/Contents/MacOS/Café", true},
        {"/Applications/Caf.app/Contents/MacOS/z", "", false},
        {"/usr/bin/curl", "/usr/bin/other", false},
    };
    QStringList expected;
    for (const auto& row : rows) {
        auto* c =
            new PAConnection(QString::fromUtf8(row.path), QStringLiteral("10.0.0.1"), 1, 1,
                             QStringLiteral("501"), false, QString(), QString::fromUtf8(row.viaPath), false);
        connections().addConnection(c);
        if (row.shown)
            expected << QString::fromUtf8(row.path);
    }
    drainEvents();
    auto app = addApp(QStringLiteral("Café"), cafe, 1);
    auto other = addApp(QStringLiteral("curl"), QStringLiteral("/usr/bin/curl"), 1);
    PAAppConnectionsProxyModel* filter = connections().appConnsLibraryController();
    const auto shownPaths = [&] {
        QStringList paths;
        for (int row = 0; row < filter->rowCount(); ++row)
            paths << filter->index(row, 0)
                         .data(PAConnectionsModel::ConnectionRole)
                         .value<PAConnection*>()
                         ->connProcessName;
        return paths;
    };

    // Nothing or two apps selected: the list stays as it was.
    controller().appsLibraryController->setSelectedObjects({});
    connections().getAppLogs();
    EXPECT_EQ(shownPaths().size(), 7);
    controller().appsLibraryController->setSelectedObjects({app});
    connections().getAppLogs();
    EXPECT_EQ(shownPaths(), expected);
    controller().appsLibraryController->setSelectedObjects({app, other});
    connections().getAppLogs();
    EXPECT_EQ(shownPaths(), expected);

    // Rows that arrive later are filtered as well.
    connections().addConnection(new PAConnection(QStringLiteral("/applications/café.app/Contents/MacOS/late"),
                                                 QStringLiteral("10.0.0.2"), 1, 1, QStringLiteral("501"),
                                                 false, QString(), QString(), false));
    drainEvents();
    EXPECT_EQ(shownPaths().size(), expected.size() + 1);

    connections().clearAppLogsFilter();
    EXPECT_EQ(shownPaths().size(), 8);
}

TEST_F(PAConnectionControllerTest, ContextMenuItemsFollowTheSelection)
{
    report(kSafari);
    report(kCurl);
    report(kRootd);
    report(kService);
    QTableView* table = connections().allConnsTableView();
    QMenu* menu = connections().contextualMenu;

    selectRows(table, {});
    connections().menuWillOpen(menu);
    EXPECT_TRUE(visibleTitles(menu).isEmpty());

    const struct
    {
        QList<int> rows;
        QStringList titles;
    } cases[] = {
        // A passed connection offers blocking only, one reveal.
        {{0},
         {"Put 17.253.144.10 in Tolvane Black List", "Copy 17.253.144.10 to a new or existing Tolvane group",
          "Reveal Safari in Finder", "Block all Safari connections",
          "Block all Safari connections to port 443", "Block all Safari connections to 17.253.144.10",
          "Copy IP Address", "Copy Host Name"}},
        // A blocked one passing only.
        {{1},
         {"Put 93.184.216.34 in Tolvane Black List", "Copy 93.184.216.34 to a new or existing Tolvane group",
          "Reveal curl in Finder", "Pass all curl connections", "Pass all curl connections to port 80",
          "Pass all curl connections to 93.184.216.34", "Copy IP Address", "Copy Host Name"}},
        // A root process's connection reads the same way.
        {{2},
         {"Put 162.159.200.1 in Tolvane Black List", "Copy 162.159.200.1 to a new or existing Tolvane group",
          "Reveal ntpd in Finder", "Block all ntpd connections", "Block all ntpd connections to port 123",
          "Block all ntpd connections to 162.159.200.1", "Copy IP Address", "Copy Host Name"}},
        // An attributed service: its own name and its app's, two reveals.
        {{3},
         {"Put 140.82.112.3 in Tolvane Black List", "Copy 140.82.112.3 to a new or existing Tolvane group",
          "Reveal Fetch in Finder", "Reveal Mail in Finder", "Pass all Mail connections",
          "Pass all Mail connections to port 22", "Pass all Mail connections to 140.82.112.3",
          "Copy IP Address", "Copy Host Name"}},
        // Several: the first selected one.
        {{3, 1},
         {"Put 93.184.216.34 in Tolvane Black List", "Copy 93.184.216.34 to a new or existing Tolvane group",
          "Reveal curl in Finder", "Pass all curl connections", "Pass all curl connections to port 80",
          "Pass all curl connections to 93.184.216.34", "Copy IP Address", "Copy Host Name"}},
    };
    for (const auto& entry : cases) {
        SCOPED_TRACE(entry.titles.first().toStdString());
        selectRows(table, entry.rows);
        connections().menuWillOpen(menu);
        EXPECT_EQ(visibleTitles(menu), entry.titles);
        EXPECT_TRUE(connections().reveal1->isEnabled());
        EXPECT_TRUE(connections().copyIPItem->isEnabled());
        // No name found: the host name is the address, nothing to copy.
        EXPECT_FALSE(connections().copyHostItem->isEnabled());
        // The sibling firewall's and the app-rule commands are not there yet.
        for (QAction* unwired : {connections().item1, connections().item2, connections().blockAppItem,
                                 connections().passAppItem, connections().passIPItem})
            EXPECT_FALSE(unwired->isEnabled());
    }

    model().connectionAt(1)->setConnHostname(QStringLiteral("example.org"));
    selectRows(table, {1});
    connections().menuWillOpen(menu);
    EXPECT_TRUE(connections().copyHostItem->isEnabled());

    // The per-app menu: its host-name item the same way.
    QTableView* appTable = connections().appConnsTableView();
    selectRows(appTable, {1});
    connections().menuWillOpen(connections().appLogsMenu);
    EXPECT_TRUE(connections().copyHostItem2->isEnabled());
    selectRows(appTable, {0});
    connections().menuWillOpen(connections().appLogsMenu);
    EXPECT_FALSE(connections().copyHostItem2->isEnabled());
    selectRows(appTable, {});
    connections().menuWillOpen(connections().appLogsMenu);
    EXPECT_FALSE(connections().copyHostItem2->isEnabled());
    EXPECT_FALSE(connections().copyIPItem2->isEnabled());
}

TEST_F(PAConnectionControllerTest, CopyAndRevealNeedExactlyOneConnectionAndRunNoShell)
{
    const QString tricky = QStringLiteral("/tmp/palisor log/it's \"quoted\" $HOME `id`/tool");
    report({"/usr/bin/curl", "93.184.216.34", 80, "501", true});
    report({tricky.toUtf8().constData(), "10.0.0.9", 80, "501", false, "Helper", "/tmp/x $(id)/Helper"});
    report(kSafari);
    QTableView* table = connections().allConnsTableView();
    QClipboard* clipboard = QGuiApplication::clipboard();

    clipboard->setText(QStringLiteral("before"));
    selectRows(table, {0, 1});
    connections().copyIP();
    EXPECT_EQ(clipboard->text(), "before");
    selectRows(table, {0});
    connections().copyIP();
    EXPECT_EQ(clipboard->text(), "93.184.216.34");
    model().connectionAt(0)->setConnHostname(QStringLiteral("example.org"));
    connections().copyHostname();
    EXPECT_EQ(clipboard->text(), "example.org");
    selectRows(connections().appConnsTableView(), {2});
    connections().appcopyIP();
    EXPECT_EQ(clipboard->text(), "17.253.144.10");

    FakeFileManager desktop;
    selectRows(table, {1});
    connections().revealInFinder();
    connections().revealInFinderResponsibleApp();
    // No file manager on the test's bus: the folders open instead, as URLs.
    ASSERT_TRUE(processEventsUntil([&] { return desktop.openedUrls().size() == 2; }));
    EXPECT_TRUE(desktop.openedUrls().contains(
        QUrl::fromLocalFile(QStringLiteral("/tmp/palisor log/it's \"quoted\" $HOME `id`"))));
    EXPECT_TRUE(desktop.openedUrls().contains(QUrl::fromLocalFile(QStringLiteral("/tmp/x $(id)"))));

    connections().openLogsInConsole();
    EXPECT_EQ(desktop.openedUrls().last(),
              QUrl::fromLocalFile(homePath(QStringLiteral("Library/Logs/palisor.log"))));
    EXPECT_TRUE(m_runner.runCalls().isEmpty() && m_runner.scriptCalls().isEmpty());
}

// Where the desktop opens nothing (the offscreen platform has no opener, like
// a desktop without a program for text files), the user is told where the
// log is, in a sheet on the window of the button; where it opens, nothing is said.
TEST_F(PAConnectionControllerTest, OpeningTheLogWithNothingToOpenItSaysWhereItIs)
{
    auto* button = connections().view()->findChild<QAbstractButton*>(QStringLiteral("openLogButton"));
    ASSERT_TRUE(button);
    const QString log = homePath(QStringLiteral("Library/Logs/palisor.log"));
    for (const bool opener : {true, false}) {
        SCOPED_TRACE(opener ? "an opener" : "no opener");
        m_alerts->clear();
        std::optional<FakeFileManager> desktop;
        if (opener)
            desktop.emplace();
        button->click();
        if (opener) {
            EXPECT_EQ(desktop->openedUrls(), QList<QUrl>{QUrl::fromLocalFile(log)});
            EXPECT_TRUE(m_alerts->shown().isEmpty());
            continue;
        }
        ASSERT_EQ(m_alerts->shown().size(), 1);
        EXPECT_EQ(m_alerts->shown().at(0).messageText, "The log could not be opened");
        EXPECT_TRUE(m_alerts->shown().at(0).informativeText.contains(log))
            << m_alerts->shown().at(0).informativeText.toStdString();
        EXPECT_EQ(m_alerts->shownOn().at(0), button->window()) << "a sheet, not an application-modal alert";
    }
}

TEST_F(PAConnectionControllerTest, PopoverDropsAHostNameThatArrivesForAnotherRow)
{
    // Each look-up waits until the test lets its address through; at the
    // end (a failed assertion too) all are let through and waited for.
    struct Gate : HostNames
    {
        explicit Gate(PAWorkQueues& queues)
            : queues(queues)
        {
        }
        PAWorkQueues& queues;
        std::mutex mutex;
        std::condition_variable released;
        std::map<QString, bool> answer;
        bool all = false;
        void release(const QString& address)
        {
            {
                std::lock_guard lock(mutex);
                answer[address] = true;
            }
            released.notify_all();
        }
        ~Gate()
        {
            {
                std::lock_guard lock(mutex);
                all = true;
            }
            released.notify_all();
            queues.waitForDone(5000);
        }
        QStringList namesOfAddress(const QString& address) override
        {
            std::unique_lock lock(mutex);
            released.wait(lock, [&] { return all || answer.count(address) > 0; });
            return QStringList{QStringLiteral("name-of-") + address};
        }
    } gate(workQueues());
    ScopedHostNames gateInPlace(gate);
    const auto release = [&gate](const QString& address) { gate.release(address); };

    report(kSafari);
    report(kCurl);
    QTableView* table = connections().allConnsTableView();
    controller().window()->show();
    controller().mainTabView()->setCurrentIndex(1);
    showHostnames = false;

    selectRows(table, {0});
    connections().doubleClickAllConnsTableView();
    EXPECT_TRUE(connections().connInfoPopover()->isVisible());
    EXPECT_EQ(connections().infopopoverHostname->text(), "");
    EXPECT_EQ(connections().infopopoverIPAddress->text(), "17.253.144.10");
    EXPECT_EQ(connections().infopopoverPort->text(), "443");
    EXPECT_EQ(connections().infopopoverAppName->text(), "Safari");

    selectRows(table, {1});
    connections().doubleClickAllConnsTableView();
    release(QStringLiteral("17.253.144.10"));
    drainEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(connections().infopopoverHostname->text(), "");
    release(QStringLiteral("93.184.216.34"));
    ASSERT_TRUE(processEventsUntil([&] { return !connections().infopopoverHostname->text().isEmpty(); }));
    EXPECT_EQ(connections().infopopoverHostname->text(), "name-of-93.184.216.34");

    // With host names shown the row's own name, or "not found".
    showHostnames = true;
    model().connectionAt(0)->connHostname.clear();
    selectRows(table, {0});
    connections().doubleClickAllConnsTableView();
    EXPECT_EQ(connections().infopopoverHostname->text(), "not found");

    // Two rows: nothing opens.
    connections().connInfoPopover()->hide();
    selectRows(table, {0, 1});
    connections().doubleClickAllConnsTableView();
    EXPECT_FALSE(connections().connInfoPopover()->isVisible());
}

TEST_F(PAConnectionControllerTest, UserTextComesFromTheAccountsWithoutAShell)
{
    const struct
    {
        const char* uid;
        const char* shown;
    } cases[] = {
        {"0", "uid=0(root)"}, {"-1", "ERROR"},    {"", "ERROR"},
        {"abc", "ERROR"},     {"1; id", "ERROR"}, {"99999999999", "ERROR"},
    };
    for (const auto& entry : cases)
        EXPECT_EQ(PAConnectionController::userText(QLatin1String(entry.uid)), entry.shown) << entry.uid;
    EXPECT_TRUE(m_runner.runCalls().isEmpty() && m_runner.scriptCalls().isEmpty());
}

// Pictures of the connections window with passed and blocked rows, and of
// the information popover, for a reviewer to look at.
TEST_F(PAConnectionControllerTest, ScreenshotsOfTheConnectionsWindowAndItsPopover)
{
    activateLogging = true;
    controller().updateToolbarLeds();
    connections().loggingControl();
    for (const Report& r : {kSafari, kCurl, kRootd, kService})
        report(r);
    report({"/usr/lib/firefox/firefox", "2a00:1450:4001:82b::200e", 443, "501", false});
    report({"/usr/bin/ssh", "192.168.1.20", 22, "501", true});
    drainEvents();
    model().connectionAt(4)->setConnHostname(QStringLiteral("fra16s52-in-x0e.1e100.net"));
    QMainWindow* window = controller().window();
    window->resize(1100, 560);
    window->show();
    controller().toolbarControl()->button(1)->click();
    QCoreApplication::processEvents();

    const QString folder = QStringLiteral(PALISOR_TEST_BINARY_DIR "/screenshots");
    QDir().mkpath(folder);
    EXPECT_TRUE(window->grab().save(folder + QStringLiteral("/connections-window.png")));

    showHostnames = true;
    selectRows(connections().allConnsTableView(), {3});
    connections().doubleClickAllConnsTableView();
    QCoreApplication::processEvents();
    ASSERT_TRUE(connections().connInfoPopover()->isVisible());
    EXPECT_TRUE(connections().connInfoPopover()->grab().save(
        folder + QStringLiteral("/connections-info-popover.png")));
    connections().connInfoPopover()->hide();

    // The per-app list of one managed app.
    auto safari = addApp(QStringLiteral("Safari"), QStringLiteral("/Applications/Safari.app"), 1);
    controller().appsLibraryController->setSelectedObjects({safari});
    connections().openLogsPopover(connections().allConnsTableView());
    QCoreApplication::processEvents();
    ASSERT_TRUE(connections().appLogsPopover()->isVisible());
    EXPECT_EQ(connections().appConnsLibraryController()->rowCount(), 1);
    EXPECT_TRUE(
        connections().appLogsPopover()->grab().save(folder + QStringLiteral("/connections-app-popover.png")));
}

} // namespace
