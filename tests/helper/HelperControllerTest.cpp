#include "helper/HelperController.h"

#include "platform/AlertPresenter.h"
#include "platform/ApplicationLauncher.h"
#include "platform/LinePrinter.h"
#include "platform/LoginItems.h"
#include "platform/Paths.h"
#include "platform/RunningApplications.h"
#include "platform/SessionEvents.h"
#include "support/ManualClock.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

const QString kAttempting = QStringLiteral("Attempting to start Palisor Agent...");
const QString kStarted = QStringLiteral("...Palisor Agent started");
const QString kError = QStringLiteral("...Error starting Palisor Agent");
const QString kAlreadyRunning = QStringLiteral("Palisor Agent already running");
const QString kResign = QStringLiteral("Session resign active: quit Palisor Agent");
const QString kBecome = QStringLiteral("Session become active: start Palisor Agent...");

// The system as the helper sees it: the running agents, the launcher, the
// printed lines and the login items, with every step in one journal so that
// tests can check the order.
class FakeSystem : public RunningApplications,
                   public ApplicationLauncher,
                   public LinePrinter,
                   public LoginItems
{
public:
    QList<RunningApplication> withBundleIdentifier(const QString& bundleIdentifier) override
    {
        journal << QStringLiteral("look");
        QList<RunningApplication> matching;
        for (const RunningApplication& application : running)
            if (application.bundleIdentifier == bundleIdentifier)
                matching << application;
        return matching;
    }

    // A terminate request only: the test decides when the agent has gone.
    void terminate(const RunningApplication& application) override
    {
        journal << QStringLiteral("terminate %1 while expected=%2").arg(application.pid).arg(agentExpected);
    }

    bool launchApplication(const QString& bundlePath, quint32 options,
                           const QVariantMap& configuration) override
    {
        journal << QStringLiteral("launch");
        launchedPath = bundlePath;
        launchedOptions = options;
        launchedConfiguration = configuration;
        if (launchSucceeds)
            addAgent();
        return launchSucceeds;
    }

    void printLine(const QString& line) override
    {
        journal << line;
        lines << line;
    }

    void removeLoginItem(const QString& name) override { removedLoginItems << name; }

    void addAgent()
    {
        RunningApplication agent;
        agent.pid = m_nextPid++;
        agent.bundleIdentifier = QStringLiteral("zz.tolvane.PalisorAgent");
        running << agent;
    }

    QList<RunningApplication> running;
    bool launchSucceeds = true;
    QStringList journal;
    QStringList lines;
    QString launchedPath;
    quint32 launchedOptions = 0;
    QVariantMap launchedConfiguration;
    QStringList removedLoginItems;

private:
    pid_t m_nextPid = 4000;
};

// Records the restart alerts; `whileOpen` runs inside the modal loop, where
// the check timer keeps firing.
class RecordingAlertPresenter : public AlertPresenter
{
public:
    void beginSheet(const Alert&, QObject*, std::function<void(AlertResult)>) override
    {
        ADD_FAILURE() << "the helper's alert is modal";
    }
    AlertResult runModal(const Alert& alert) override
    {
        shown << alert;
        if (whileOpen)
            whileOpen();
        return {};
    }

    QList<Alert> shown;
    std::function<void()> whileOpen;
};

class HelperControllerTest : public ::testing::Test
{
protected:
    void SetUp() override { agentExpected = false; }

    int launches() const { return int(system.journal.count(QStringLiteral("launch"))); }

    ManualClock clock;
    SessionEvents session;
    FakeSystem system;
    RecordingAlertPresenter alerts;
    HelperController controller{{system, system, session, clock, alerts, system, system}};
};

} // namespace

TEST_F(HelperControllerTest, FoundRunningAtStartLaunchesNothingAndIsWatched)
{
    system.addAgent();
    controller.awakeFromNib();
    EXPECT_EQ(system.lines, QStringList{kAlreadyRunning});
    EXPECT_EQ(launches(), 0);
    EXPECT_TRUE(agentExpected);
    ASSERT_TRUE(controller.ctimer());
    EXPECT_TRUE(controller.ctimer()->isValid());
    EXPECT_EQ(controller.ctimer()->timeInterval(), 3.0);

    // Checks while it runs show nothing; the check after it has gone shows
    // the restart alert, whose button starts it again.
    clock.advance(9);
    EXPECT_TRUE(alerts.shown.isEmpty());
    system.running.clear();
    system.lines.clear();
    clock.advance(2.9);
    EXPECT_TRUE(alerts.shown.isEmpty());
    clock.advance(0.1);
    ASSERT_EQ(alerts.shown.size(), 1);
    const Alert& alert = alerts.shown.first();
    EXPECT_EQ(alert.messageText, QStringLiteral("Palisor Agent has quit unexpectedly"));
    EXPECT_EQ(alert.informativeText, QStringLiteral("Click the button below to restart Palisor Agent"));
    EXPECT_EQ(alert.buttons, QStringList{QStringLiteral("Restart Palisor Agent")});
    EXPECT_EQ(alert.icon, QStringLiteral("NSCaution"));
    EXPECT_EQ(system.lines, (QStringList{kAttempting, kStarted}));
    clock.advance(30);
    EXPECT_EQ(alerts.shown.size(), 1);
}

TEST_F(HelperControllerTest, LaunchAtStartUsesTheInstallPathAndTheLaunchRequest)
{
    controller.awakeFromNib();
    EXPECT_EQ(system.lines, (QStringList{kAttempting, kStarted}));
    EXPECT_EQ(system.launchedPath,
              Paths::system(QStringLiteral("/Library/Application Support/Palisor/Agent/Palisor.app")));
    EXPECT_EQ(system.launchedOptions, 0x10000u);
    EXPECT_EQ(system.launchedConfiguration, (QVariantMap{{QString(""), QString("")}}));
    EXPECT_TRUE(agentExpected);
    clock.advance(6);
    EXPECT_TRUE(alerts.shown.isEmpty());
}

TEST_F(HelperControllerTest, RestartAlertFindsAnAgentStartedMeanwhile)
{
    controller.awakeFromNib();
    system.running.clear();
    system.lines.clear();
    alerts.whileOpen = [this] { system.addAgent(); };
    clock.advance(3);
    EXPECT_EQ(alerts.shown.size(), 1);
    EXPECT_EQ(system.lines, QStringList{kAlreadyRunning});
    EXPECT_EQ(launches(), 1);
}

TEST_F(HelperControllerTest, RestartAlertNeverStacksWhileTheTimerFiresUnderIt)
{
    controller.awakeFromNib();
    system.running.clear();
    system.launchSucceeds = false;
    int nested = 0;
    alerts.whileOpen = [&] {
        if (nested++ > 0)
            return;
        clock.advance(9);
        EXPECT_EQ(alerts.shown.size(), 1) << "no check runs while the alert is open";
    };
    clock.advance(3);
    EXPECT_EQ(nested, 1);
    // Once it is closed the checks go on.
    clock.advance(30);
    EXPECT_GT(alerts.shown.size(), 1);
}

TEST_F(HelperControllerTest, FailedLaunchAfterTheAlertBringsTheAlertBackAtTheNextCheck)
{
    controller.awakeFromNib();
    system.running.clear();
    system.launchSucceeds = false;
    system.lines.clear();
    clock.advance(3);
    EXPECT_EQ(alerts.shown.size(), 1);
    EXPECT_EQ(system.lines, (QStringList{kAttempting, kError}));
    EXPECT_TRUE(agentExpected);
    clock.advance(3);
    EXPECT_EQ(alerts.shown.size(), 2);

    system.launchSucceeds = true;
    clock.advance(3);
    EXPECT_EQ(alerts.shown.size(), 3);
    EXPECT_EQ(system.lines.last(), kStarted);
    clock.advance(9);
    EXPECT_EQ(alerts.shown.size(), 3);
}

// A launch that fails at once is reported as the failure, never as started,
// and leaves nothing watched, so no alert follows.
TEST_F(HelperControllerTest, FailedLaunchAtStartOrAfterASessionSwitchRaisesNoAlert)
{
    struct Case
    {
        const char* name;
        bool switchFirst;
        QStringList lastLines;
    };
    for (const Case& c : {Case{"at start", false, {kAttempting, kError}},
                          Case{"after a session switch", true, {kBecome, kError}}}) {
        SCOPED_TRACE(c.name);
        agentExpected = false;
        FakeSystem fake;
        RecordingAlertPresenter presenter;
        SessionEvents events;
        HelperController helper{{fake, fake, events, clock, presenter, fake, fake}};
        fake.launchSucceeds = c.switchFirst;
        helper.awakeFromNib();
        if (c.switchFirst) {
            emit events.sessionDidResignActive();
            fake.running.clear();
            fake.launchSucceeds = false;
            emit events.sessionDidBecomeActive();
        }
        EXPECT_EQ(fake.lines.mid(fake.lines.size() - 2), c.lastLines);
        EXPECT_FALSE(agentExpected);
        clock.advance(9);
        EXPECT_TRUE(presenter.shown.isEmpty());
        helper.ctimer()->invalidate();
    }
}

TEST_F(HelperControllerTest, SwitchAwayEndsTheAgentUnwatchedAndSwitchBackLaunchesWithoutLooking)
{
    system.addAgent();
    system.addAgent();
    controller.awakeFromNib();
    system.journal.clear();

    emit session.sessionDidResignActive();
    EXPECT_EQ(system.journal,
              (QStringList{kResign, QStringLiteral("look"), QStringLiteral("terminate 4000 while expected=0"),
                           QStringLiteral("terminate 4001 while expected=0")}));
    EXPECT_FALSE(agentExpected);
    system.running.removeFirst(); // one instance is slow to go
    clock.advance(9);
    EXPECT_TRUE(alerts.shown.isEmpty());

    // Back: launched all the same, although an instance still runs.
    system.journal.clear();
    emit session.sessionDidBecomeActive();
    EXPECT_EQ(system.journal, (QStringList{kBecome, QStringLiteral("launch"), kStarted}));
    EXPECT_TRUE(agentExpected);
    system.running.clear();
    clock.advance(3);
    EXPECT_EQ(alerts.shown.size(), 1);
}

TEST_F(HelperControllerTest, RemoveOldLoginItemRemovesTheOneNamedPalisor)
{
    controller.removeOldLoginItem();
    EXPECT_EQ(system.removedLoginItems, QStringList{QStringLiteral("Palisor")});
}
