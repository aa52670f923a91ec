#include "ruleeditors/PAAppPopover.h"

#include "app/MainInterface.h"
#include "core/PAApplication.h"
#include "core/PAManagedRecords.h"
#include "core/PAWorkQueues.h"
#include "core/SharedState.h"
#include "mainwindow/PAConnection.h"
#include "mainwindow/PAConnectionController.h"
#include "mainwindow/PAController.h"
#include "platform/CodeSigning.h"
#include "platform/ConcurrentQueue.h"
#include "platform/SerialQueue.h"
#include "platform/widgets/PATableView.h"
#include "platform/widgets/Popover.h"
#include "ruleeditors/PAAddIPPopover.h"
#include "ruleeditors/PAAppRulesController.h"
#include "ruleeditors/PAPopoverDelegate.h"
#include "support/EventLoop.h"
#include "support/widgets/AgentFixture.h"
#include "support/widgets/RulesPopoverFixture.h"
#include "ui_PAAppPopover.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTabBar>
#include <QTableView>
#include <QTest>
#include <QTextCursor>
#include <QTextEdit>
#include <QWidgetAction>
#include <QWindow>

#include <gtest/gtest.h>

namespace {

// The popover's helpers over either the popover alone or the whole agent,
// whose end-to-end cases reach the log, the legend and the window's commands.
template <class Base> class PopoverTest : public Base
{
protected:
    void SetUp() override
    {
        Base::SetUp();
        enableNotifications = true;
        // No host names unless a test asks for them.
        reverseIPAddressInAppsPopover = false;
        m_anchor.resize(80, 80);
        m_anchor.show();
    }
    void TearDown() override
    {
        this->m_hostNames.open();
        m_anchor.hide();
        waitForLookUps();
        Base::TearDown();
    }

    Ui::PAAppPopover& form() { return *this->controller().appPopoverView()->form(); }
    PAAppPopover& view() { return *this->controller().appPopoverView(); }
    Popover& popover() { return *this->controller().appPopover; }

    std::shared_ptr<PAApplication> managed(const QString& name, qint64 state, const QStringList& matches = {})
    {
        auto app = this->addApp(name, "/opt/" + name, state, matches);
        app->setAppLocalizedName(name);
        return app;
    }

    // Selects the app and opens its popover; true once its rows are shown.
    bool open(const std::shared_ptr<PAApplication>& app)
    {
        this->controller().appsLibraryController->setSelectedObjects({app});
        this->controller().openAppPopover(&m_anchor);
        // The draw runs on the next turn; its rows come back from a worker.
        drainEvents();
        return processEventsUntil([this] { return !form().spinner->isVisible(); });
    }

    QStringList rows()
    {
        QStringList out;
        for (const auto& row : this->controller().popoverPassedIPSController->arrangedObjects())
            out << row->recordPrefix + row->recordLabel;
        return out;
    }

    // Selects every row shown as one of `labels` (prefix and label), or,
    // with `byMatch`, standing for one of them.
    void selectRows(const QStringList& labels, bool byMatch = false)
    {
        PARecord::List chosen;
        QStringList found;
        for (const auto& row : this->controller().popoverPassedIPSController->arrangedObjects()) {
            const QString key = byMatch ? row->recordMatch : row->recordPrefix + row->recordLabel;
            if (labels.contains(key)) {
                chosen.push_back(row);
                found << key;
            }
        }
        for (const QString& label : labels)
            ASSERT_TRUE(found.contains(label)) << label.toStdString();
        this->controller().popoverPassedIPSController->setSelectedObjects(chosen);
    }

    int ruleSetCount()
    {
        drainEvents();
        return static_cast<int>(this->postsNamed(QStringLiteral("newAppListReceived")).size());
    }

    QStringList visibleGearItems()
    {
        QStringList titles;
        for (QAction* item : view().popoverActionMenu()->actions()) {
            if (!item->isVisible())
                continue;
            if (item == view().popoverReverseItem)
                titles << "reverse";
            else if (item->isSeparator())
                titles << "-";
            else
                titles << item->text();
        }
        return titles;
    }

    // Every look-up and report the popover started has ended.
    void waitForLookUps() { this->workQueues().waitForDone(); }

    QWidget m_anchor;
};

using PAAppPopoverTest = PopoverTest<RulesPopoverFixture>;
using PAAppPopoverAgentTest = PopoverTest<AgentFixture>;

TEST_F(PAAppPopoverTest, FillShowsTheAppItsSentenceAndTheGearItemsOfItsState)
{
    const QString ask = "Ask About This App";
    const QString group = "Add Addresses to a Group of the Sibling Firewall";
    const QString blackList = "Black-List Addresses in the Sibling Firewall";
    const struct
    {
        qint64 state;
        QStringList matches;
        bool alerts;
        QStringList gear;
    } cases[] = {
        {0, {}, true, {ask, "Block All Connections"}},
        {0, {}, false, {"Block All Connections"}},
        {1, {}, true, {ask, "Pass All Connections"}},
        {2, {"#80"}, true, {ask, "Block All Connections", "-", "reverse"}},
        {3, {"@80"}, false, {"Pass All Connections", "-", "reverse"}},
        {4, {"@80"}, true, {"Pass This App", "Block This App", "-", "reverse", group, blackList}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "state " << c.state << (c.alerts ? " alerts on" : " alerts off"));
        enableNotifications = c.alerts;
        auto app = managed("Mail", c.state, c.matches);
        ASSERT_TRUE(open(app));
        EXPECT_EQ(form().popoverAppName->text(), "Mail");
        EXPECT_EQ(form().popoverAppName2->text(), "Mail");
        EXPECT_EQ(form().popoverAppPath->text(), "/opt/Mail");
        EXPECT_EQ(form().ruleDescription->text(), controller().makeAppRuleDescriptionWithApp(*app));
        EXPECT_TRUE(form().ruleDescription->text().startsWith("Mail will "));
        EXPECT_TRUE(form().popoverBinaryTag->isVisibleTo(&view()));
        EXPECT_FALSE(form().popoverBundleTag->isVisibleTo(&view()));
        EXPECT_TRUE(form().popoverRemovePassedBtn->isVisibleTo(&view()));
        EXPECT_EQ(visibleGearItems(), c.gear);
        popover().close();
    }
}

TEST_F(PAAppPopoverTest, StatesWithoutMatchesOrUnknownLeaveTheSiblingItemsAsTheyWere)
{
    auto asking = managed("ssh", 4, {"@1.1.1.1"});
    ASSERT_TRUE(open(asking));
    EXPECT_TRUE(view().popoverActionBtnGroupItem->isVisible());
    popover().close();

    // An ask app without matches and a state no rule has keep the items.
    for (const qint64 state : {qint64(4), qint64(7)}) {
        auto other = managed("other", state);
        ASSERT_TRUE(open(other));
        EXPECT_TRUE(view().popoverActionBtnGroupItem->isVisible()) << state;
        EXPECT_TRUE(view().popoverActionBtnBlackListItem->isVisible()) << state;
        popover().close();
    }
    auto unknown = managed("unknown", 7);
    ASSERT_TRUE(open(unknown));
    EXPECT_EQ(form().ruleDescription->text(), "");
    EXPECT_TRUE(form().popoverRemovePassedBtn->isVisibleTo(&view()));
    for (QAction* item :
         {view().popoverMakeYellowItem, view().popoverMakeGreenItem, view().popoverMakeRedItem,
          view().popoverMakeGreenItem2, view().popoverMakeRedItem2, view().popoverSeparatorItem})
        EXPECT_FALSE(item->isVisible()) << item->text().toStdString();

    auto passing = managed("pass", 0);
    ASSERT_TRUE(open(passing));
    EXPECT_FALSE(view().popoverActionBtnGroupItem->isVisible());
}

TEST_F(PAAppPopoverTest, ToolTipCountsTheMatchesAndMoreThanFiftyTurnHostNamesOff)
{
    for (const int count : {3, 50, 51}) {
        reverseIPAddressInAppsPopover = true;
        QStringList matches;
        for (int i = 0; i < count; ++i)
            matches << QStringLiteral("@%1").arg(1000 + i);
        auto app = managed("many", 4, matches);
        ASSERT_TRUE(open(app));
        EXPECT_EQ(form().popoverImage->toolTip(), QStringLiteral("This app contains %1 records").arg(count));
        EXPECT_EQ(reverseIPAddressInAppsPopover, count <= 50) << count;
        EXPECT_EQ(view().switchReverseBtn->isChecked(), count <= 50) << count;
        popover().close();
    }
}

TEST_F(PAAppPopoverTest, SentenceNamesGlobalRulesWhenThereAreAny)
{
    auto app = managed("Terminal", 4);
    ASSERT_TRUE(open(app));
    EXPECT_EQ(form().ruleDescription->text(),
              "Terminal has no rules thus it will request user interaction as "
              "soon as it tries to connect to the network.");
    recordsList.push_back(std::make_shared<PAManagedRecords>("1.1.1.1", 0, 0));
    controller().drawAppPopover();
    EXPECT_EQ(
        form().ruleDescription->text(),
        "Terminal has no rules thus it will request user interaction as soon as it tries to connect to the "
        "network unless a connection matches a rules defined in Global Rules.");
}

TEST_F(PAAppPopoverTest, EvaluateAppRuleMovesBetweenAllAndExceptionsAndTellsTheControls)
{
    QSignalSpy shown(&controller(), &PAAppRulesController::popoverAppRuleShown);
    const struct
    {
        qint64 state;
        QStringList matches;
        qint64 after;
        QStringList matchesAfter;
    } cases[] = {
        {0, {"#10.0.0.1"}, 2, {"#10.0.0.1"}},
        {1, {"@443"}, 3, {"@443"}},
        // The last exception gone: back to all, and the rest is emptied.
        {2, {"@1.1.1.1"}, 0, {}},
        {3, {"#1.1.1.1"}, 1, {}},
        {4, {"@1", "#2"}, 4, {"@1", "#2"}},
        {9, {"#2"}, 9, {"#2"}},
    };
    for (const auto& c : cases) {
        auto app = managed("app", c.state, c.matches);
        // The matches changed after the state was set, as an editor does.
        app->setAppMatches(c.matches);
        const QString before = controller().makeAppRuleDescriptionWithApp(*app);
        controller().evaluateAppRule(*app);
        EXPECT_EQ(app->appIsBlockedOrAllowed(), c.after) << c.state;
        EXPECT_EQ(app->appMatches(), c.matchesAfter) << c.state;
        EXPECT_EQ(form().ruleDescription->text(), before) << "the sentence of the state before";
        ASSERT_FALSE(shown.isEmpty());
        EXPECT_EQ(shown.takeLast().at(0).value<PAApplication*>(), app.get());
    }
}

TEST_F(PAAppPopoverTest, TabsResizeTheContentAndTheConnectionsTabAsksForTheAppsLog)
{
    auto app = managed("Mail", 4);
    ASSERT_TRUE(open(app));
    QSignalSpy logs(&controller(), &PAAppRulesController::appLogsWanted);
    QTabBar* segments = form().appPopoverSegmentedControl;
    EXPECT_EQ(popover().contentSize(), QSize(360, 465));

    segments->setCurrentIndex(1);
    controller().clickAppPopoverSegmentedControl(segments);
    EXPECT_EQ(form().appPopoverTabView->currentWidget(), form().popoverItemLogs);
    EXPECT_EQ(popover().contentSize(), QSize(700, 465));
    ASSERT_EQ(logs.count(), 1);
    EXPECT_EQ(logs.at(0).at(0).toString(), "/opt/Mail");

    segments->setCurrentIndex(0);
    controller().clickAppPopoverSegmentedControl(segments);
    EXPECT_EQ(popover().contentSize(), QSize(360, 465));

    // Opening again starts on the rules tab.
    segments->setCurrentIndex(2);
    controller().clickAppPopoverSegmentedControl(segments);
    popover().close();
    ASSERT_TRUE(open(app));
    EXPECT_EQ(form().appPopoverTabView->currentIndex(), 0);
    EXPECT_EQ(segments->currentIndex(), 0);
}

TEST_F(PAAppPopoverAgentTest, ShowingMakesItSemitransientAndClosingClearsTheLogFilter)
{
    auto app = managed("Mail", 4);
    popover().setBehavior(Popover::Behavior::Transient);
    ASSERT_TRUE(open(app));
    EXPECT_EQ(popover().behavior(), Popover::Behavior::Semitransient);
    // The legend's button inside the popover makes it transient.
    controller().openLegenda(form().info_apprules);
    EXPECT_EQ(popover().behavior(), Popover::Behavior::Transient);
    controller().popoverLegenda()->close();

    QSignalSpy cleared(controller().popoverDelegate(), &PAPopoverDelegate::appConnectionsFilterCleared);
    popover().close();
    EXPECT_EQ(cleared.count(), 1);
}

TEST_F(PAAppPopoverAgentTest, TheAddButtonOpensTheAddPopoverInsideAndAnEntryKeepsTheRulesOpen)
{
    auto app = managed("Mail", 4);
    ASSERT_TRUE(open(app));
    form().addRecordBtn->click();
    Popover* add = controller().addIPPopover();
    ASSERT_TRUE(add->isVisible());
    // Typing happens in a window of the rules popover's own, so it stays.
    bool inside = false;
    for (QWidget* up = add->parentWidget(); up && !inside; up = up->parentWidget())
        inside = up == &popover();
    EXPECT_TRUE(inside);
    EXPECT_EQ(popover().behavior(), Popover::Behavior::Transient);

    controller().addIPView()->newIP()->setText("10.0.0.1");
    controller().addIPView()->addNewItemBtn()->click();
    drainEvents();
    EXPECT_TRUE(app->appMatches().contains("@10.0.0.1") || app->appMatches().contains("#10.0.0.1"))
        << app->appMatches().join(' ').toStdString();
    EXPECT_FALSE(add->isVisible());
    EXPECT_TRUE(popover().isVisible());
    EXPECT_EQ(popover().behavior(), Popover::Behavior::Semitransient);
}

TEST_F(PAAppPopoverAgentTest, TheConnectionsTabListsTheLogsRowsOfItsAppUntilItCloses)
{
    PAConnectionController& log = *m_interface->connectionController();
    log.addConnection(
        new PAConnection("/opt/Mail/bin/fetch", "192.0.2.1", 443, 10, "501", false, "", "", false));
    log.addConnection(new PAConnection("/usr/bin/other", "192.0.2.2", 80, 11, "501", true, "", "", false));
    auto app = managed("Mail", 4);
    ASSERT_TRUE(open(app));
    QTableView* table = form().appConnsTableView;
    ASSERT_TRUE(table->model());

    QTabBar* segments = form().appPopoverSegmentedControl;
    segments->setCurrentIndex(1);
    controller().clickAppPopoverSegmentedControl(segments);
    ASSERT_EQ(table->model()->rowCount(), 1);
    EXPECT_EQ(table->model()->index(0, 1).data().toString(), "fetch");

    popover().close();
    EXPECT_EQ(table->model()->rowCount(), 2);
}

TEST_F(PAAppPopoverAgentTest, TheConnectionsTabOffersThePerAppMenuOnItsSelection)
{
    PAConnectionController& log = *m_interface->connectionController();
    log.addConnection(
        new PAConnection("/opt/Mail/bin/fetch", "192.0.2.1", 443, 10, "501", false, "", "", false));
    auto app = managed("Mail", 4);
    ASSERT_TRUE(open(app));
    QTabBar* segments = form().appPopoverSegmentedControl;
    segments->setCurrentIndex(1);
    controller().clickAppPopoverSegmentedControl(segments);

    PATableView* table = form().appConnsTableView;
    EXPECT_EQ(table->menu(), log.appLogsMenu);
    table->selectRow(0);
    log.appcopyIP();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "192.0.2.1");
}

TEST_F(PAAppPopoverTest, NothingOpensWhileAnAlertIsOpenOrWithoutOneSelectedApp)
{
    auto app = managed("Mail", 4, {"@1.1.1.1"});
    controller().appsLibraryController->setSelectedObjects({app});
    isNotifyWindowOpen = true;
    controller().openAppPopover(&m_anchor);
    EXPECT_FALSE(popover().isVisible());
    isNotifyWindowOpen = false;

    auto other = managed("Safari", 0);
    controller().appsLibraryController->setSelectedObjects({app, other});
    controller().openAppPopover(&m_anchor);
    ASSERT_TRUE(popover().isVisible());
    drainEvents();
    EXPECT_TRUE(rows().isEmpty());
    EXPECT_EQ(form().popoverAppName->text(), "");
}

TEST_F(PAAppPopoverTest, RowsShowBlockedBeforePassedAndPassSelectionsClearTheOtherTable)
{
    auto app = managed("Mail", 2, {"@10.0.0.1", "#10.0.0.2", "#443", "@_range1000:2000"});
    ASSERT_TRUE(open(app));
    EXPECT_EQ(rows(), (QStringList{"#10.0.0.2", "@10.0.0.1", "#443", "@1000:2000", "@Everyone"}));
    EXPECT_TRUE(controller().popoverBlockedIPS.empty());

    controller().popoverBlockedIPSController->setSelectionIndexes({0});
    controller().popoverPassedIPSController->setSelectionIndexes({1});
    controller().clickPassed();
    EXPECT_EQ(controller().popoverPassedIPSController->selectionIndexes(), std::vector<int>{1});
    controller().clickBlocked();
    EXPECT_TRUE(controller().popoverPassedIPSController->selectionIndexes().empty());
}

TEST_F(PAAppPopoverTest, RemovalOutsideTheAskStateTakesOutTheRowsMatchesAndEveryoneAsks)
{
    auto app = managed("Mail", 2, {"@10.0.0.1", "#10.0.0.2", "#443", "@_range1000:2000", "@1000:2000"});
    ASSERT_TRUE(open(app));
    selectRows({"@_range1000:2000", "#443"}, true);
    controller().removeAppRecord();
    ASSERT_EQ(ruleSetCount(), 1);
    // The range row takes out its own match only, not "@1000:2000".
    EXPECT_EQ(lastRuleSet(), (QStringList{"/opt/Mail 2 @10.0.0.1,#10.0.0.2,@1000:2000"}));
    ASSERT_TRUE(processEventsUntil([this] { return !form().spinner->isVisible(); }));
    EXPECT_EQ(rows(), (QStringList{"#10.0.0.2", "@10.0.0.1", "@1000:2000", "@Everyone"}));

    // The last block match gone: pass all, and the rest emptied.
    selectRows({"#10.0.0.2"});
    controller().removeAppRecord();
    ASSERT_EQ(ruleSetCount(), 2);
    EXPECT_EQ(lastRuleSet(), (QStringList{"/opt/Mail 0 "}));

    // Everyone turns the app to asking with its matches; with alerts off it
    // stays, the other selected rows still go.
    auto blocked = managed("curl", 3, {"@1.1.1.1", "@2.2.2.2"});
    for (const bool alerts : {false, true}) {
        enableNotifications = alerts;
        popover().close();
        ASSERT_TRUE(open(blocked));
        selectRows(alerts ? QStringList{"#Everyone"} : QStringList{"#Everyone", "@2.2.2.2"});
        controller().removeAppRecord();
        drainEvents();
    }
    EXPECT_EQ(blocked->appIsBlockedOrAllowed(), 4);
    EXPECT_TRUE(blocked->appIsYellow());
    EXPECT_EQ(blocked->appMatches(), QStringList{"@1.1.1.1"});
    ASSERT_TRUE(processEventsUntil([this] { return !form().spinner->isVisible(); }));
    EXPECT_EQ(rows(), QStringList{"@1.1.1.1"}) << "an asking app has no Everyone row";
}

TEST_F(PAAppPopoverTest, RemovalInTheAskStateTakesOutExactlyTheSelectedMatches)
{
    // "80" gives no row, "@a@b" shows as "ab", and the order is not the rows'.
    auto app = managed("ssh", 4, {"@_range1000:2000", "80", "#10.0.0.2", "@a@b", "@10.0.0.1", "#10.0.0.2"});
    ASSERT_TRUE(open(app));
    controller().removeAppRecord();
    EXPECT_EQ(ruleSetCount(), 0) << "no row selected: nothing happens";

    selectRows({"@1000:2000", "@10.0.0.1"});
    controller().removeAppRecord();
    ASSERT_EQ(ruleSetCount(), 1);
    EXPECT_EQ(lastRuleSet(), (QStringList{"/opt/ssh 4 80,#10.0.0.2,@a@b,#10.0.0.2"}));

    ASSERT_TRUE(processEventsUntil([this] { return !form().spinner->isVisible(); }));
    // A duplicated match is one rule: its rows go together.
    selectRows({"#10.0.0.2", "@ab"});
    controller().removeAppRecord();
    ASSERT_EQ(ruleSetCount(), 2);
    EXPECT_EQ(lastRuleSet(), (QStringList{"/opt/ssh 4 80"}));
}

TEST_F(PAAppPopoverTest, RowsOfAnotherAppOrAnEarlierDrawRemoveNothing)
{
    auto first = managed("first", 4, {"@1.1.1.1"});
    auto second = managed("second", 4, {"@1.1.1.1", "@2.2.2.2"});
    ASSERT_TRUE(open(first));
    selectRows({"@1.1.1.1"});
    // The selection moves on before the removal (the popover closes).
    controller().appsLibraryController->setSelectedObjects({second});
    EXPECT_FALSE(popover().isVisible());
    controller().removeAppRecord();
    EXPECT_EQ(second->appMatches(), (QStringList{"@1.1.1.1", "@2.2.2.2"}));
    EXPECT_EQ(first->appMatches(), QStringList{"@1.1.1.1"});

    // Removing while an alert is open does nothing at all.
    ASSERT_TRUE(open(second));
    selectRows({"@2.2.2.2"});
    isNotifyWindowOpen = true;
    controller().removeAppRecord();
    isNotifyWindowOpen = false;
    EXPECT_EQ(second->appMatches(), (QStringList{"@1.1.1.1", "@2.2.2.2"}));
    EXPECT_EQ(ruleSetCount(), 0);
}

TEST_F(PAAppPopoverAgentTest, RedrawWhileAnAlertHoldsTheQueueNeitherWaitsNorLosesTheChange)
{
    auto app = managed("Mail", 0, {});
    ASSERT_TRUE(open(app));
    // A connection alert opens and holds synchronizedQueue.
    synchronizedQueue().suspend();
    isNotifyWindowOpen = true;
    controller().makeSelectedAppRed();
    EXPECT_TRUE(processEventsUntil([this] { return rows() == QStringList{"#Everyone"}; }));
    EXPECT_TRUE(form().ruleDescription->text().contains("All connections are blocked."));
    EXPECT_EQ(ruleSetCount(), 0) << "the send waits for the answer";
    isNotifyWindowOpen = false;
    synchronizedQueue().resume();
    EXPECT_TRUE(waitForRuleSets(1));
    EXPECT_EQ(lastRuleSet(), (QStringList{"/opt/Mail 1 "}));
}

TEST_F(PAAppPopoverTest, HostNamesReplaceAddressesAtMostFiveAtOnceAndGoBackWhenSwitchedOff)
{
    QStringList matches;
    for (int i = 1; i <= 8; ++i) {
        matches << QStringLiteral("@10.0.0.%1").arg(i);
        m_hostNames.answer(QStringLiteral("10.0.0.%1").arg(i), {QStringLiteral("host%1.example").arg(i)});
    }
    matches << "#443"
            << "@10.0.0.0/8"
            << "@_range1:2"
            << "#fe80::1";
    m_hostNames.answer("fe80::1", {"router.example"});
    auto app = managed("Mail", 4, matches);
    ASSERT_TRUE(open(app));

    m_hostNames.close();
    view().switchReverseBtn->setChecked(true);
    controller().switchReverseIPOption(view().switchReverseBtn);
    EXPECT_TRUE(reverseIPAddressInAppsPopover);
    ASSERT_TRUE(m_hostNames.waitForRunning(5));
    m_hostNames.open();
    ASSERT_TRUE(processEventsUntil([this] { return controller().pendingHostNameLookups() == 0; }));
    EXPECT_EQ(m_hostNames.mostRunning(), 5);
    // Only addresses are asked about; ports, subnets and ranges keep their text.
    EXPECT_EQ(m_hostNames.asked().size(), 9);
    EXPECT_FALSE(m_hostNames.asked().contains("443"));
    EXPECT_EQ(rows().mid(0, 3), (QStringList{"#router.example", "@host1.example", "@host2.example"}));
    EXPECT_TRUE(rows().contains("#443"));
    EXPECT_TRUE(rows().contains("@10.0.0.0/8"));

    view().switchReverseBtn->setChecked(false);
    controller().switchReverseIPOption(view().switchReverseBtn);
    EXPECT_FALSE(reverseIPAddressInAppsPopover);
    EXPECT_EQ(rows().mid(0, 2), (QStringList{"#fe80::1", "@10.0.0.1"}));

    // On again: every row is looked up afresh.
    view().switchReverseBtn->setChecked(true);
    controller().switchReverseIPOption(view().switchReverseBtn);
    ASSERT_TRUE(processEventsUntil([this] { return controller().pendingHostNameLookups() == 0; }));
    EXPECT_EQ(rows().mid(0, 2), (QStringList{"#router.example", "@host1.example"}));
}

TEST_F(PAAppPopoverTest, LateHostNamesReachNeitherAClosedPopoverNorAnotherApp)
{
    m_hostNames.answer("1.1.1.1", {"one.example"});
    m_hostNames.answer("2.2.2.2", {"two.example"});
    auto first = managed("first", 4, {"@1.1.1.1"});
    auto second = managed("second", 4, {"@2.2.2.2"});
    reverseIPAddressInAppsPopover = true;

    const std::function<void()> leave[] = {
        [this] { popover().close(); },
        [this, second] { controller().appsLibraryController->setSelectedObjects({second}); },
    };
    for (const auto& away : leave) {
        m_hostNames.close();
        ASSERT_TRUE(open(first));
        ASSERT_TRUE(m_hostNames.waitForRunning(1));
        away();
        m_hostNames.open();
        ASSERT_TRUE(processEventsUntil([this] { return controller().pendingHostNameLookups() == 0; }));
        drainEvents();
        for (const auto& row : controller().popoverPassedIPSController->arrangedObjects())
            EXPECT_NE(row->recordLabel, "one.example");
        popover().close();
    }

    // While it stays open, the name arrives.
    ASSERT_TRUE(open(first));
    ASSERT_TRUE(processEventsUntil([this] { return rows() == QStringList{"@one.example"}; }));
}

class SignatureReportTest : public PAAppPopoverTest
{
protected:
    void SetUp() override
    {
        PAAppPopoverTest::SetUp();
        // A tool in the test's root, so the scripted runner is asked.
        const QString tool = CodeSigning::toolPath();
        QDir().mkpath(QFileInfo(tool).path());
        writeText(tool, "#!/bin/sh\n");
        QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_appFile = rootPath("/opt/Mail");
        writeText(m_appFile, "binary");
    }

    void answer(const QString& path, const QString& validity, const QString& details)
    {
        m_runner.answerRun(CodeSigning::toolPath(), {"-vv", "--ignore-resources", path}, validity);
        m_runner.answerRun(CodeSigning::toolPath(), {"-dvv", "--ignore-resources", path}, details);
    }

    std::shared_ptr<PAApplication> signedApp(const QString& path)
    {
        auto app = managed("Mail", 4);
        app->setAppPath(path);
        return app;
    }

    QString m_appFile;
};

TEST_F(SignatureReportTest, InfoTabRunsTheToolWithThePathAsOneArgumentAndLaysOutTheReport)
{
    // Quotes, dollars and blanks stay inside the one argument.
    const QString odd = rootPath("/opt/Ma\"il $(touch x) `y`\\.app");
    writeText(odd, "binary");
    auto app = signedApp(odd);
    answer(odd, odd + ": code object is not signed at all\n", odd + ": code object is not signed at all\n");
    ASSERT_TRUE(open(app));
    form().appPopoverSegmentedControl->setCurrentIndex(2);
    controller().clickAppPopoverSegmentedControl(form().appPopoverSegmentedControl);
    EXPECT_EQ(popover().contentSize(), QSize(360, 465));
    EXPECT_TRUE(form().signSpinner->isVisibleTo(&view()));
    ASSERT_TRUE(processEventsUntil([this] { return !form().signSpinner->isVisibleTo(&view()); }));
    EXPECT_EQ(form().signtext->toPlainText(),
              "Signature validity check:\n\n" + odd + ": code object is not signed at all\n\n\n" +
                  "Signature details:\n\n" + odd + ": code object is not signed at all\n");
    EXPECT_EQ(m_runner.runCalls(), (QList<ScriptedCommandRunner::RunCall>{
                                       {CodeSigning::toolPath(), {"-vv", "--ignore-resources", odd}},
                                       {CodeSigning::toolPath(), {"-dvv", "--ignore-resources", odd}},
                                   }));
    EXPECT_TRUE(m_runner.scriptCalls().isEmpty()) << "no shell";
    QTextCursor end(form().signtext->document());
    end.movePosition(QTextCursor::End);
    EXPECT_EQ(end.charFormat().font().pointSize(), 12);

    // Twice in a row: one report, not two.
    controller().showSignatureInfo();
    controller().showSignatureInfo();
    waitForLookUps();
    drainEvents();
    EXPECT_EQ(form().signtext->toPlainText().count("Signature validity check:"), 1);
}

TEST_F(SignatureReportTest, MissingFileNoSelectionAndLateReportsOfAnotherApp)
{
    auto gone = signedApp(rootPath("/opt/gone"));
    ASSERT_TRUE(open(gone));
    controller().showSignatureInfo();
    EXPECT_FALSE(form().signSpinner->isVisibleTo(&view()));
    EXPECT_EQ(form().signtext->toPlainText(), "File not found");
    EXPECT_TRUE(m_runner.runCalls().isEmpty());

    form().signtext->clear();
    controller().appsLibraryController->setSelectedObjects({});
    controller().showSignatureInfo();
    EXPECT_FALSE(form().signSpinner->isVisibleTo(&view()));
    EXPECT_EQ(form().signtext->toPlainText(), "");

    // The report of the first app comes back after the selection moved on.
    auto mail = signedApp(m_appFile);
    auto other = signedApp(m_appFile);
    answer(m_appFile, "valid", "details");
    ASSERT_TRUE(open(mail));
    controller().showSignatureInfo();
    controller().appsLibraryController->setSelectedObjects({other});
    waitForLookUps();
    drainEvents();
    EXPECT_EQ(form().signtext->toPlainText(), "");
}

// Pictures of the popover for a reviewer: the rules tab with passed and
// blocked rows and host names, and the signature tab.
TEST_F(SignatureReportTest, PicturesOfTheRulesAndSignatureTabs)
{
    m_hostNames.answer("17.253.144.10", {"www.example.com"});
    m_hostNames.answer("2001:db8::1", {"mail.example.org"});
    reverseIPAddressInAppsPopover = true;
    recordsList.push_back(std::make_shared<PAManagedRecords>("1.1.1.1", 0, 0));
    auto app = signedApp(m_appFile);
    app->setAppIsBundle(true);
    app->setAppSignatureInfo("Not signed");
    app->setRule(2);
    app->setAppMatches(
        {"@17.253.144.10", "#2001:db8::1", "#10.1.2.3", "@10.0.0.0/8", "#25", "@_range6000:6010"});
    answer(m_appFile, m_appFile + ": code object is not signed at all\nIn architecture: x86_64\n",
           m_appFile + ": code object is not signed at all\n");
    m_anchor.move(200, 60);
    ASSERT_TRUE(open(app));
    ASSERT_TRUE(processEventsUntil([this] { return controller().pendingHostNameLookups() == 0; }));
    drainEvents();
    ASSERT_TRUE(rows().contains("@www.example.com"));

    const QString folder = QStringLiteral(PALISOR_TEST_BINARY_DIR "/screenshots");
    QDir().mkpath(folder);
    EXPECT_TRUE(popover().grab().save(folder + "/apppopover-rules.png"));

    form().appPopoverSegmentedControl->setCurrentIndex(2);
    controller().clickAppPopoverSegmentedControl(form().appPopoverSegmentedControl);
    ASSERT_TRUE(processEventsUntil([this] { return !form().signSpinner->isVisibleTo(&view()); }));
    EXPECT_TRUE(popover().grab().save(folder + "/apppopover-signature.png"));
}

} // namespace

namespace {

// The rules popover on an X server as well: a window of its own that must come
// up and go away as a click in its anchor's window or Escape asks.
using PAAppPopoverOnDisplay = PAAppPopoverTest;

bool exposed(QWidget* window)
{
    return QTest::qWaitForWindowExposed(window);
}

} // namespace

TEST_F(PAAppPopoverOnDisplay, OpensOnScreenAndClosesByTheAnchorsWindowOrEscape)
{
    auto app = managed("Mail", 4);
    ASSERT_TRUE(exposed(&m_anchor));
    for (const bool byEscape : {false, true}) {
        SCOPED_TRACE(byEscape ? "Escape" : "a click in the anchor's window");
        ASSERT_TRUE(open(app));
        ASSERT_TRUE(exposed(&popover()));
        if (byEscape)
            QTest::keyClick(&popover(), Qt::Key_Escape);
        else
            QTest::mouseClick(&m_anchor, Qt::LeftButton);
        EXPECT_TRUE(processEventsUntil(
            [&] { return !popover().isVisible() && !popover().windowHandle()->isExposed(); }));
    }
}
