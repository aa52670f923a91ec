#include "app/MainInterface.h"
#include "core/PAApplication.h"
#include "core/SharedState.h"
#include "mainwindow/PAController.h"
#include "platform/NotificationCenter.h"
#include "platform/SerialQueue.h"
#include "setup/PAPreferencesController.h"
#include "support/EventLoop.h"
#include "support/FakeFileManager.h"
#include "support/widgets/AgentFixture.h"

#include <QAction>
#include <QCheckBox>
#include <QSlider>
#include <QThread>

#include <gtest/gtest.h>

#include <limits>
#include <thread>

namespace {

class AppRuleStatesTest : public AgentFixture
{
protected:
    void select(const std::vector<std::shared_ptr<PAApplication>>& apps)
    {
        controller().appsLibraryController->setSelectedObjects(apps);
    }

    int ruleSetCount()
    {
        drainEvents();
        return static_cast<int>(postsNamed(QStringLiteral("newAppListReceived")).size());
    }

    void startQuietPeriod(PAApplication& app)
    {
        app.setQuiet(QStringLiteral("block"), 600);
        ASSERT_TRUE(app.appIsQuietBlock());
    }
};

TEST_F(AppRuleStatesTest, AlertsSwitchSettlesAskAppsSendsTheRulesAndForgetsTheCopiedRule)
{
    QCheckBox popSound;
    QSlider timeout;
    m_interface->preferencesController()->popSoundBtn = &popSound;
    m_interface->preferencesController()->notificationsTimeoutSlider = &timeout;
    enableNotifications = true;
    auto both = addApp("both", "/b", 4, {"@1.1.1.1", "#80"});
    auto passOnly = addApp("pass", "/p", 4, {"@1.1.1.1"});
    auto blockAll = addApp("three", "/t", 3, {"@2.2.2.2", "#443"});
    select({blockAll});
    controller().rulesCopy();
    ASSERT_EQ(controller().pasteboardIsBlockedOrAllowed, 3);

    controller().toggleNotifications();
    EXPECT_FALSE(enableNotifications);
    EXPECT_EQ(controller().pasteboardIsBlockedOrAllowed, 5);
    EXPECT_FALSE(popSound.isEnabled());
    EXPECT_FALSE(timeout.isEnabled());
    EXPECT_EQ(controller().notificationsLedTitle(), "NOTIFICATIONS DISABLED");
    ASSERT_TRUE(waitForRuleSets(1));
    EXPECT_EQ(lastRuleSet(), (QStringList{"/b 2 @1.1.1.1,#80", "/p 0 ", "/t 3 @2.2.2.2,#443"}));

    // Nothing copied any more: a paste changes nothing.
    select({passOnly});
    controller().rulesPaste();
    EXPECT_EQ(passOnly->appIsBlockedOrAllowed(), 0);

    controller().toggleNotifications();
    EXPECT_TRUE(enableNotifications);
    EXPECT_TRUE(popSound.isEnabled());
    EXPECT_TRUE(blockAll->appIsYellow());
    EXPECT_EQ(blockAll->appLabelColor(), labelColor4());
    ASSERT_TRUE(waitForRuleSets(2));
    EXPECT_EQ(lastRuleSet(), (QStringList{"/b 4 @1.1.1.1,#80", "/p 0 ", "/t 4 @2.2.2.2,#443"}));

    // The alert window's two messages act only when alerts are not yet as they
    // ask, and leave the preferences and the copied rule alone.
    select({blockAll});
    controller().rulesCopy();
    appNotificationCenter().post(QStringLiteral("reenableNotifications"));
    EXPECT_EQ(ruleSetCount(), 2);
    controller().silenceNotifications();
    controller().silenceNotifications();
    EXPECT_FALSE(enableNotifications);
    EXPECT_EQ(ruleSetCount(), 3);
    EXPECT_TRUE(popSound.isEnabled());
    EXPECT_EQ(controller().pasteboardIsBlockedOrAllowed, 4);
    appNotificationCenter().post(QStringLiteral("reenableNotifications"));
    EXPECT_TRUE(enableNotifications);
    EXPECT_EQ(ruleSetCount(), 4);
}

TEST_F(AppRuleStatesTest, SelectedAppActionsSetTheStateAndPublishIt)
{
    enum Action { Yellow, Green, Red };
    const struct
    {
        Action action;
        qint64 state;
        QStringList matches;
        QString published;
    } cases[] = {
        {Yellow, 1, {}, "/a 4 "},         {Yellow, 3, {"@1.1.1.1"}, "/a 4 @1.1.1.1"},
        {Yellow, 4, {"#80"}, "/a 4 #80"}, {Green, 3, {"@1.1.1.1", "#80"}, "/a 0 "},
        {Red, 2, {"#80"}, "/a 1 "},       {Red, 4, {"@1.1.1.1"}, "/a 1 "},
    };
    auto app = addApp("a", "/a", 0);
    int sent = 0;
    for (const auto& c : cases) {
        app->setRule(c.state);
        app->setAppMatches(c.matches);
        app->setAppHasTimer(true);
        app->setAppTimer(60);
        startQuietPeriod(*app);
        select({app});
        switch (c.action) {
        case Yellow:
            controller().makeSelectedAppYellow();
            break;
        case Green:
            controller().makeSelectedAppGreen();
            break;
        case Red:
            controller().makeSelectedAppRed();
            break;
        }
        ASSERT_TRUE(waitForRuleSets(++sent));
        EXPECT_EQ(lastRuleSet(), QStringList{c.published}) << c.action << " from " << c.state;
        EXPECT_FALSE(app->appHasTimer());
        EXPECT_FALSE(app->timer()->isValid());
        EXPECT_FALSE(app->appIsQuietBlock());
        EXPECT_FALSE(app->quietTimer()->isValid());
    }
    EXPECT_TRUE(app->appIsBlocked());
    EXPECT_EQ(sharedAppsLibrary.size(), 1u);

    // Without exactly one selected app nothing changes and nothing is sent.
    auto other = addApp("b", "/b", 0);
    const std::vector<std::vector<std::shared_ptr<PAApplication>>> selections{{}, {app, other}};
    for (const auto& selection : selections) {
        select(selection);
        controller().makeSelectedAppYellow();
        controller().makeSelectedAppGreen();
        controller().clickAppLocker();
    }
    EXPECT_EQ(ruleSetCount(), sent);
    EXPECT_EQ(app->appIsBlockedOrAllowed(), 1);
    EXPECT_EQ(other->appIsBlockedOrAllowed(), 0);
}

TEST_F(AppRuleStatesTest, LockButtonFollowsItsTableAndWaitsForNoAlert)
{
    const struct
    {
        qint64 state;
        QStringList matches;
        QString published;
    } cases[] = {
        {0, {}, "/a 1 "},
        {2, {"#80"}, "/a 1 "},
        {1, {}, "/a 0 "},
        {3, {"@1.1.1.1"}, "/a 0 "},
        {4, {"@1.1.1.1"}, "/a 3 @1.1.1.1"},
        {4, {"@1.1.1.1", "#80"}, "/a 2 @1.1.1.1,#80"},
        {4, {"#80"}, "/a 2 #80"},
        {4, {"80", "1.1.1.1"}, "/a 0 "},
        {4, {}, "/a 0 "},
        // A state no rule has (read from a file) is left as it is.
        {5, {"@1.1.1.1"}, "/a 5 @1.1.1.1"},
        {-3, {}, "/a -3 "},
        {std::numeric_limits<qint64>::max(), {"#80"}, "/a 9223372036854775807 #80"},
    };
    auto app = addApp("a", "/a", 0);
    int sent = 0;
    for (const auto& c : cases) {
        app->setAppIsBlockedOrAllowed(c.state);
        app->setAppMatches(c.matches);
        startQuietPeriod(*app);
        select({app});
        controller().clickAppLocker();
        ASSERT_TRUE(waitForRuleSets(++sent));
        EXPECT_EQ(lastRuleSet(), QStringList{c.published})
            << c.state << " " << c.matches.join(',').toStdString();
        EXPECT_FALSE(app->appIsQuietBlock()) << c.state;
    }

    isNotifyWindowOpen = true;
    app->setRule(0);
    controller().clickAppLocker();
    EXPECT_EQ(app->appIsBlockedOrAllowed(), 0);
    EXPECT_EQ(ruleSetCount(), sent);
}

TEST_F(AppRuleStatesTest, CopyAndPasteCarryStateAndMatchesButSendNothing)
{
    auto source = addApp("src", "/s", 3, {"@1.1.1.1", "@443"});
    auto target = addApp("dst", "/d", 2, {"#80"});
    auto third = addApp("third", "/t", 0);

    // Nothing copied yet, and a copy needs exactly one app.
    select({target});
    controller().rulesPaste();
    select({source, target});
    controller().rulesCopy();
    EXPECT_EQ(controller().pasteboardIsBlockedOrAllowed, 5);
    EXPECT_EQ(target->appMatches(), QStringList{"#80"});

    select({source});
    controller().rulesCopy();
    source->setAppMatches({"@changed"});
    // With several selected, the first one takes the rule.
    select({target, third});
    controller().rulesPaste();
    EXPECT_EQ(target->appIsBlockedOrAllowed(), 3);
    EXPECT_EQ(target->appMatches(), (QStringList{"@1.1.1.1", "@443"}));
    EXPECT_TRUE(target->appIsBlocked());
    EXPECT_EQ(third->appIsBlockedOrAllowed(), 0);

    // A copied pass-all leaves the target without matches.
    select({third});
    controller().rulesCopy();
    select({target});
    controller().rulesPaste();
    EXPECT_EQ(target->appIsBlockedOrAllowed(), 0);
    EXPECT_TRUE(target->appMatches().isEmpty());

    // A state no rule has is never pasted.
    third->setAppIsBlockedOrAllowed(9);
    select({third});
    controller().rulesCopy();
    select({source});
    controller().rulesPaste();
    EXPECT_EQ(source->appIsBlockedOrAllowed(), 3);

    EXPECT_EQ(ruleSetCount(), 0);
}

TEST_F(AppRuleStatesTest, ExpiryEndsTheRuleOfTheAppWhoseTimerFiredNotAnotherOfItsName)
{
    enableNotifications = true;
    auto first = addApp("curl", "/usr/bin/curl", 1);
    auto second = addApp("curl", "/opt/bin/curl", 0);
    second->setAppHasTimer(true);
    second->setAppTimer(60);
    m_clock->advance(60);
    ASSERT_TRUE(waitForRuleSets(1));
    EXPECT_EQ(lastRuleSet(), (QStringList{"/usr/bin/curl 1 ", "/opt/bin/curl 4 "}));
    EXPECT_FALSE(second->appHasTimer());

    // Alerts off: the app whose timer fired leaves the list and the rules.
    enableNotifications = false;
    second->setAppHasTimer(true);
    second->setAppTimer(30);
    m_clock->advance(30);
    ASSERT_TRUE(waitForRuleSets(2));
    EXPECT_EQ(lastRuleSet(), QStringList{"/usr/bin/curl 1 "});
    EXPECT_EQ(sharedAppsLibrary.size(), 1u);
    EXPECT_EQ(sharedAppsLibrary.front(), first);

    // An expiry waiting behind an open alert ends nothing when the app was
    // given a new temporary rule meanwhile, nor when its rule ended otherwise.
    auto third = addApp("curl", "/usr/local/bin/curl", 0);
    third->setAppHasTimer(true);
    third->setAppTimer(10);
    first->setAppHasTimer(true);
    first->setAppTimer(10);
    synchronizedQueue().suspend();
    m_clock->advance(10);
    third->setAppTimer(300);
    first->setRule(1);
    synchronizedQueue().resume();
    ASSERT_TRUE(waitForRuleSets(4));
    EXPECT_EQ(lastRuleSet(), (QStringList{"/usr/bin/curl 1 ", "/usr/local/bin/curl 0 "}));
    EXPECT_TRUE(third->appHasTimer());

    // The work happens on the main thread whichever thread posts.
    Qt::HANDLE changedOn = nullptr;
    QObject::connect(
        third.get(), &PAApplication::changed, third.get(),
        [&changedOn] { changedOn = QThread::currentThreadId(); }, Qt::DirectConnection);
    invalidateTimer(third->timer());
    std::thread poster([&] {
        appNotificationCenter().post(QStringLiteral("expireApp"), {{"appName", QStringLiteral("curl")},
                                                                   {"appSerial", third->appSerial()}});
    });
    poster.join();
    ASSERT_TRUE(waitForRuleSets(5));
    EXPECT_EQ(changedOn, QThread::currentThreadId());
    EXPECT_EQ(lastRuleSet(), QStringList{"/usr/bin/curl 1 "});
}

TEST_F(AppRuleStatesTest, RemoveAndRevealActOnTheOneSelectedApp)
{
    FakeFileManager desktop;
    auto kept = addApp("kept", "/usr/bin/kept", 1);
    auto gone = addApp("gone", QString(m_root.path() + "/Apps/Gone.app"), 0);
    gone->setAppHasTimer(true);
    gone->setAppTimer(60);

    select({kept, gone});
    controller().removeApp();
    controller().revealAppInFinder();
    select({gone});
    isNotifyWindowOpen = true;
    controller().removeApp();
    EXPECT_EQ(ruleSetCount(), 0);
    EXPECT_EQ(controller().appsLibrary.size(), 2u);

    // Revealing is allowed while an alert is open.
    controller().revealAppInFinder();
    ASSERT_TRUE(processEventsUntil([&] { return !desktop.openedUrls().isEmpty(); }));
    EXPECT_EQ(desktop.openedUrls(), QList<QUrl>{QUrl::fromLocalFile(m_root.path() + "/Apps")});

    isNotifyWindowOpen = false;
    controller().removeApp();
    EXPECT_FALSE(gone->appHasTimer());
    EXPECT_FALSE(gone->timer()->isValid());
    ASSERT_TRUE(waitForRuleSets(1));
    EXPECT_EQ(lastRuleSet(), QStringList{"/usr/bin/kept 1 "});
    EXPECT_EQ(sharedAppsLibrary.size(), 1u);
}

} // namespace
