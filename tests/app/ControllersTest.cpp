#include "app/MainInterface.h"
#include "core/PAApplication.h"
#include "core/PAConfiguration.h"
#include "core/PARuleLists.h"
#include "core/SharedState.h"
#include "mainwindow/PAConnectionController.h"
#include "mainwindow/PAController.h"
#include "platform/NotificationCenter.h"
#include "setup/PAPreferencesController.h"
#include "support/ConfigurationRecords.h"
#include "support/EventLoop.h"
#include "support/widgets/AgentFixture.h"

#include <QCheckBox>
#include <QProgressBar>
#include <QSlider>

#include <gtest/gtest.h>

namespace {

class ControllersTest : public AgentFixture
{
protected:
    QStringList appNames() const
    {
        QStringList names;
        for (const auto& app : m_interface->palisorController()->appsLibrary)
            names << app->appName();
        return names;
    }
};

TEST_F(ControllersTest, ANewAppFromTheAlertGoesToTheTopOfTheList)
{
    addApp(QStringLiteral("old"), QStringLiteral("/usr/bin/old"), 0);
    auto added = std::make_shared<PAApplication>(QStringLiteral("new"), QStringList{}, false, false,
                                                 QStringLiteral("/usr/bin/new"));
    ruleLists().insertApp(added);
    EXPECT_EQ(appNames(), (QStringList{"new", "old"}));
    EXPECT_TRUE(m_center->posts().isEmpty()) << "inserting does not publish";
}

TEST_F(ControllersTest, SendConfigurationWaitsForTheAlertToBeAnswered)
{
    synchronizedQueue().suspend();
    appNotificationCenter().post(QStringLiteral("sendConfiguration"));
    drainEvents();
    EXPECT_TRUE(postsNamed(QStringLiteral("newAppListReceived")).isEmpty());
    synchronizedQueue().resume();
    EXPECT_TRUE(
        processEventsUntil([&] { return !postsNamed(QStringLiteral("newAppListReceived")).isEmpty(); }));
}

TEST_F(ControllersTest, SilencingAlertsTurnsAskAppsGreenOrOrangeAndBackToAsk)
{
    enableNotifications = true;
    auto both = addApp(QStringLiteral("both"), QStringLiteral("/b"), 4,
                       {QStringLiteral("@1.1.1.1"), QStringLiteral("#80")});
    auto passOnly = addApp(QStringLiteral("pass"), QStringLiteral("/p"), 4, {QStringLiteral("@1.1.1.1")});
    appNotificationCenter().post(QStringLiteral("silenceNotifications"));
    EXPECT_FALSE(enableNotifications);
    EXPECT_EQ(both->appIsBlockedOrAllowed(), 2);
    EXPECT_EQ(both->appMatches().size(), 2);
    EXPECT_EQ(passOnly->appIsBlockedOrAllowed(), 0);
    EXPECT_TRUE(passOnly->appMatches().isEmpty());
    // Switching alerts off keeps no copy of the matches it drops.
    EXPECT_TRUE(passOnly->appMatchesBackup().isEmpty());
    EXPECT_EQ(controller().notificationsLedTitle(), "NOTIFICATIONS DISABLED");

    appNotificationCenter().post(QStringLiteral("reenableNotifications"));
    EXPECT_TRUE(enableNotifications);
    EXPECT_EQ(both->appIsBlockedOrAllowed(), 4);
    EXPECT_TRUE(both->appIsYellow());
    EXPECT_EQ(passOnly->appIsBlockedOrAllowed(), 0);
    EXPECT_TRUE(
        processEventsUntil([&] { return postsNamed(QStringLiteral("newAppListReceived")).size() == 2; }));
}

TEST_F(ControllersTest, ATemporaryRuleEndsInTheAskStateOrRemovesTheApp)
{
    auto timed = addApp(QStringLiteral("timed"), QStringLiteral("/t"), 0);
    addApp(QStringLiteral("other"), QStringLiteral("/o"), 1);
    timed->setAppHasTimer(true);
    timed->setAppTimer(60);

    enableNotifications = true;
    m_clock->advance(60);
    ASSERT_TRUE(
        processEventsUntil([&] { return !postsNamed(QStringLiteral("newAppListReceived")).isEmpty(); }));
    EXPECT_EQ(timed->appIsBlockedOrAllowed(), 4);
    EXPECT_FALSE(timed->appHasTimer());

    enableNotifications = false;
    timed->setAppHasTimer(true);
    timed->setAppTimer(60);
    m_clock->advance(60);
    ASSERT_TRUE(
        processEventsUntil([&] { return postsNamed(QStringLiteral("newAppListReceived")).size() == 2; }));
    EXPECT_EQ(appNames(), QStringList{"other"});
    EXPECT_EQ(sharedAppsLibrary.size(), 1u);
    EXPECT_EQ(
        postsNamed(QStringLiteral("newAppListReceived")).last().userInfo.value("AppList").toList().size(), 1);

    // A name that is no managed app changes nothing, but the list still goes out.
    appNotificationCenter().post(QStringLiteral("expireApp"), {{"appName", QStringLiteral("ghost")}});
    EXPECT_TRUE(
        processEventsUntil([&] { return postsNamed(QStringLiteral("newAppListReceived")).size() == 3; }));
    EXPECT_EQ(appNames(), QStringList{"other"});
}

TEST_F(ControllersTest, RemovingXPCServicesPublishesAndWaitsForAnOpenAlert)
{
    addApp(QStringLiteral("svc"), QStringLiteral("/S/a.xpc/Contents/MacOS/svc"), 0);
    addApp(QStringLiteral("app"), QStringLiteral("/usr/bin/app"), 0);
    isNotifyWindowOpen = true;
    controller().removeAllXPCServices();
    drainEvents();
    EXPECT_EQ(appNames().size(), 2);
    EXPECT_TRUE(m_center->posts().isEmpty());

    isNotifyWindowOpen = false;
    controller().removeAllXPCServices();
    EXPECT_EQ(appNames(), QStringList{"app"});
    EXPECT_TRUE(processEventsUntil([&] { return sharedAppsLibrary.size() == 1; }));
}

TEST_F(ControllersTest, ToolbarLightsAndLabelColoursFollowTheSwitches)
{
    enableNotifications = true;
    activateLogging = false;
    controller().updateToolbarLeds();
    EXPECT_EQ(controller().notificationsLedTitle(), "NOTIFICATIONS ENABLED");
    EXPECT_EQ(controller().notificationsLedImage(), "NSStatusAvailable");
    EXPECT_EQ(controller().loggingLedTitle(), "LOGGING DISABLED");
    EXPECT_EQ(controller().logSectionTitle(), "Recent Apps Connections (Disabled)");

    auto app = addApp(QStringLiteral("x"), QStringLiteral("/x"), 3);
    labelColor3() = QColor(Qt::cyan);
    controller().updateAllAppsLabelsColors();
    EXPECT_EQ(app->appLabelColor(), QColor(Qt::cyan));
}

TEST_F(ControllersTest, LoggingSwitchAsksTheDaemonAndFollowsInThePreferences)
{
    QSlider slider;
    QCheckBox logToFile;
    m_interface->preferencesController()->logTimeoutSlider = &slider;
    m_interface->preferencesController()->logToFile = &logToFile;

    activateLogging = true;
    m_interface->connectionController()->loggingControl();
    EXPECT_TRUE(slider.isEnabled());
    activateLogging = false;
    m_interface->connectionController()->loggingControl();
    EXPECT_FALSE(logToFile.isEnabled());

    const auto posts = m_center->posts();
    ASSERT_EQ(posts.size(), 2);
    EXPECT_EQ(posts.at(0).name, "loadKext");
    EXPECT_EQ(posts.at(1).name, "unloadKext");
    EXPECT_EQ(posts.at(1).object, "zz.tolvane.palisorconnkext");
    EXPECT_EQ(posts.at(1).userInfo, (QVariantMap{{"kextPath", QString()}}));
    EXPECT_EQ(posts.at(1).options, 3);

    m_interface->preferencesController()->changeLogsTimeout(90);
    EXPECT_DOUBLE_EQ(connectionsTTL, 90.0);
}

// Beside the logging light a still, empty bar reads as a text field: the
// indicator is there, spinning, only while a configuration loads, and no
// click or key ever lands in it.
TEST_F(ControllersTest, TheLoadIndicatorSpinsDuringALoadAndIsGoneAfter)
{
    QProgressBar* indicator = controller().progr;
    ASSERT_TRUE(indicator);
    EXPECT_TRUE(indicator->isHidden()) << "before any load";
    EXPECT_EQ(indicator->focusPolicy(), Qt::NoFocus);

    const QString path = rootPath(QStringLiteral("/loaded.conf"));
    writePlist(path, QVariantList{plainAppRecord(QStringLiteral("wget"), 1)});
    for (int load = 1; load <= 2; ++load) {
        SCOPED_TRACE(load);
        bool shownBusy = false;
        QObject probe;
        QObject::connect(&configuration(), &PAConfiguration::configurationApplied, &probe, [&] {
            shownBusy = !indicator->isHidden() && indicator->minimum() == 0 && indicator->maximum() == 0;
        });
        ASSERT_TRUE(configuration().loadConf(path));
        EXPECT_TRUE(shownBusy) << "spinning while the load runs";
        EXPECT_TRUE(processEventsUntil([&] { return indicator->isHidden(); })) << "gone once it ends";
        EXPECT_EQ(indicator->maximum(), 1) << "and still, should anything show it";
    }
}

} // namespace
