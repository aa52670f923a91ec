#include "alerts/PANotifyWindowController.h"
#include "alerts/PAOpenAlerts.h"
#include "app/MainInterface.h"
#include "core/PAApplication.h"
#include "core/PAConfiguration.h"
#include "core/SharedState.h"
#include "daemonlink/BridgeClassPalisor.h"
#include "daemonlink/managesocketagent.h"
#include "mainwindow/PAController.h"
#include "platform/NotificationCenter.h"
#include "support/CapturedLog.h"
#include "support/ConfigurationRecords.h"
#include "support/DaemonPeer.h"
#include "support/EventLoop.h"
#include "support/FakeProcessInspector.h"
#include "support/Privileges.h"
#include "support/SleepingChildren.h"
#include "support/widgets/AgentFixture.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// The agent's daemon link over real sockets in the test's root, with real
// child processes for the pids in the requests.
class DaemonLinkTest : public AgentFixture
{
protected:
    void SetUp() override
    {
        AgentFixture::SetUp();
        m_peer = std::make_unique<DaemonPeer>();
        ASSERT_TRUE(m_peer->isBound());
        QString error;
        ASSERT_TRUE(managesocketagent::setUpSocket(&error)) << error.toStdString();
        managesocketagent* endpoint = m_interface->socketAgent();
        m_loop = std::thread([endpoint] { endpoint->receiveLoop(); });
        enableNotifications = true;
        requestTagCounter = 1;
    }

    void TearDown() override
    {
        managesocketagent::stopReceiving();
        m_loop.join();
        m_sleepers.reset();
        m_peer.reset();
        AgentFixture::TearDown();
    }

    // A running process whose executable lies at `relativePath` in the home.
    qint64 spawnAt(const QString& relativePath)
    {
        const QString path = homePath(relativePath);
        QFile::remove(path);
        return m_sleepers->run(SleepingChildren::copyOfSleep(path));
    }

    static qint64 gonePid() { return SleepingChildren::gonePid(); }

    std::shared_ptr<PAApplication> manage(const QString& name, const QStringList& binaries,
                                          const QString& path, qint64 state, const QStringList& matches = {})
    {
        auto app = std::make_shared<PAApplication>(name, binaries, name.endsWith(QLatin1String(".app")),
                                                   false, path);
        app->setRule(state);
        app->setAppMatches(matches);
        sharedAppsLibrary.push_back(app);
        controller().appsLibraryController->addObject(app);
        return app;
    }

    static QString request(const QString& key, const QString& address, const QString& port, qint64 pid,
                           const QString& responsible = QStringLiteral("0"))
    {
        return QStringLiteral("%1 %2 %3 %4 TCP 4 %5").arg(key, address, port).arg(pid).arg(responsible);
    }

    // A request of `pid`, which goes by `name` without the agent being able
    // to check it, while a saved rule passes the app of that name: the user
    // is asked, and told that the name is unverified.
    void expectAskedAsUnverified(qint64 pid, const QString& name)
    {
        manage(QFileInfo(name).fileName(), {name}, name, 0);
        ASSERT_TRUE(
            m_peer->send(request(QStringLiteral("u"), QStringLiteral("1.2.3.4"), QStringLiteral("80"), pid)));
        EXPECT_TRUE(m_peer->drain().isEmpty()) << "no saved rule answers";
        ASSERT_TRUE(processEventsUntil([&] { return shown().size() == 1; }));
        std::shared_ptr<PANotifyWindowController> alert = openAlerts.value(shown().at(0));
        ASSERT_TRUE(alert && alert->myNotifyWindow());
        const auto* label = alert->myNotifyWindow()->findChild<QLabel*>(QStringLiteral("processName"));
        ASSERT_TRUE(label);
        EXPECT_EQ(label->text(), PANotifyWindowController::appDisplayNameForPath(name) +
                                     QStringLiteral(" (unverified name)"));
        PANotifyWindowController::resumeQueue(alert->parameterTagString);
    }

    // The tags of the alerts that reached the screen, in the order they did.
    const QStringList& shown()
    {
        drainEvents();
        for (auto it = openAlerts.cbegin(); it != openAlerts.cend(); ++it)
            if (it.value()->notificationIsDisplayed && !m_shown.contains(it.key()))
                m_shown.append(it.key());
        return m_shown;
    }

    std::unique_ptr<DaemonPeer> m_peer;
    std::thread m_loop;
    std::unique_ptr<SleepingChildren> m_sleepers = std::make_unique<SleepingChildren>();
    QStringList m_shown;
};

TEST_F(DaemonLinkTest, SavedWholeAppStatesAnswerAtOnce)
{
    const qint64 pid = spawnAt(QStringLiteral("bin/fetcher"));
    auto app = manage(QStringLiteral("fetcher"), {homePath("bin/fetcher")}, homePath("bin/fetcher"), 0);
    for (const qint64 state : {0, 1, 2, 3}) {
        SCOPED_TRACE(state);
        app->setRule(state);
        const QString r =
            request(QString::number(100 + state), QStringLiteral("10.0.0.5"), QStringLiteral("443"), pid);
        ASSERT_TRUE(m_peer->send(r));
        EXPECT_EQ(m_peer->answers(1), QStringList{r + QStringLiteral(" %1 # #").arg(state)});
    }
    EXPECT_TRUE(shown().isEmpty());
    EXPECT_FALSE(synchronizedQueue().isSuspended());

    // A state outside 0 to 4 decides nothing: the user is asked.
    app->setAppIsBlockedOrAllowed(7);
    ASSERT_TRUE(
        m_peer->send(request(QStringLiteral("107"), QStringLiteral("10.0.0.5"), QStringLiteral("443"), pid)));
    EXPECT_TRUE(m_peer->drain().isEmpty());
    EXPECT_EQ(shown().size(), 1);
}

TEST_F(DaemonLinkTest, AskStateMatchesEachSendTheirOwnAnswer)
{
    const qint64 pid = spawnAt(QStringLiteral("bin/mailer"));
    auto app = manage(QStringLiteral("mailer"), {homePath("bin/mailer")}, homePath("bin/mailer"), 4,
                      {QStringLiteral("@10.0.0.5"), QStringLiteral("#443"), QStringLiteral("#192.168.0.0/16"),
                       QStringLiteral("@fe80::/10"), QStringLiteral("#_range1000:2000")});
    const QString both = request(QStringLiteral("1"), QStringLiteral("10.0.0.5"), QStringLiteral("443"), pid);
    ASSERT_TRUE(m_peer->send(both));
    EXPECT_EQ(m_peer->answers(2), (QStringList{both + " 4 0 0", both + " 4 1 1"}));

    const QString network =
        request(QStringLiteral("2"), QStringLiteral("192.168.3.4"), QStringLiteral("80"), pid);
    ASSERT_TRUE(m_peer->send(network));
    EXPECT_EQ(m_peer->answers(1), QStringList{network + " 4 0 1"});

    const QString v6 = request(QStringLiteral("3"), QStringLiteral("fe80::1"), QStringLiteral("80"), pid);
    ASSERT_TRUE(m_peer->send(v6));
    EXPECT_EQ(m_peer->answers(1), QStringList{v6 + " 4 0 0"});

    // A port range is never tested here: the user is asked.
    const QString range =
        request(QStringLiteral("4"), QStringLiteral("8.8.8.8"), QStringLiteral("1500"), pid);
    ASSERT_TRUE(m_peer->send(range));
    EXPECT_TRUE(m_peer->drain().isEmpty());
    ASSERT_EQ(shown().size(), 1);
    EXPECT_TRUE(synchronizedQueue().isSuspended()) << "the asked request holds the queue";
    EXPECT_EQ(app->appMatches().size(), 5);
}

TEST_F(DaemonLinkTest, EveryCandidateAnswersAndNamesAreSubstrings)
{
    const qint64 pid = spawnAt(QStringLiteral("Mailbox.app/Contents/MacOS/Mailbox"));
    // "Mail" occurs in the path, but none of its binaries does: no answer.
    manage(QStringLiteral("Mail"), {QStringLiteral("Mail.app/")}, QStringLiteral("/Applications/Mail.app"),
           1);
    manage(QStringLiteral("Mailbox.app"), {QStringLiteral("Mailbox.app/")}, homePath("Mailbox.app"), 0);
    manage(QStringLiteral("box"), {homePath("Mailbox.app/Contents/MacOS/Mailbox")}, QStringLiteral("/x"), 2);
    // Its binary only occurs in the path, as a copy's path holds the original's.
    manage(QStringLiteral("Mailbox"), {QStringLiteral("MacOS/Mailbox")}, QStringLiteral("/x"), 3);
    const QString r = request(QStringLiteral("9"), QStringLiteral("1.1.1.1"), QStringLiteral("25"), pid);
    ASSERT_TRUE(m_peer->send(r));
    EXPECT_EQ(m_peer->answers(2), (QStringList{r + " 0 # #", r + " 2 # #"}));
    EXPECT_TRUE(m_peer->drain(100).isEmpty());
}

TEST_F(DaemonLinkTest, SwitchedOffAlertsPassAndRecordNewApps)
{
    enableNotifications = false;
    const qint64 pid = spawnAt(QStringLiteral("Tool.app/Contents/MacOS/Tool"));
    const QString r = request(QStringLiteral("5"), QStringLiteral("1.2.3.4"), QStringLiteral("80"), pid);
    ASSERT_TRUE(m_peer->send(r));
    EXPECT_EQ(m_peer->answers(1), QStringList{r + " 0 # #"});
    ASSERT_EQ(sharedAppsLibrary.size(), 1u);
    const auto& app = *sharedAppsLibrary.front();
    EXPECT_EQ(app.appName(), "Tool.app");
    EXPECT_EQ(app.appPath(), homePath("Tool.app"));
    EXPECT_EQ(app.appBinaries(), QStringList{"Tool.app/"});
    EXPECT_EQ(app.appLocalizedName(), "Tool");
    EXPECT_EQ(app.appIsBlockedOrAllowed(), 0);
    ASSERT_EQ(controller().appsLibrary.size(), 1u) << "copyArrayAppLibrary put it in the main window";
    EXPECT_TRUE(postsNamed(QStringLiteral("newAppListReceived")).isEmpty()) << "no rule set is sent here";

    ASSERT_TRUE(m_peer->send(r));
    EXPECT_EQ(m_peer->answers(1), QStringList{r + " 0 # #"});
    EXPECT_EQ(sharedAppsLibrary.size(), 1u) << "a known app only gets the answer";
}

TEST_F(DaemonLinkTest, XPCServicesAreJudgedByTheirHostApp)
{
    const qint64 host = spawnAt(QStringLiteral("Host.app/Contents/MacOS/Host"));
    const qint64 service = spawnAt(QStringLiteral("Host.app/Contents/XPCServices/S.xpc/Contents/MacOS/S"));
    manage(QStringLiteral("Host.app"), {QStringLiteral("Host.app/Contents/MacOS/Host")}, homePath("Host.app"),
           1);
    const QString r = request(QStringLiteral("6"), QStringLiteral("1.2.3.4"), QStringLiteral("80"), service,
                              QString::number(host));
    ASSERT_TRUE(m_peer->send(r));
    EXPECT_EQ(m_peer->answers(1), QStringList{r + " 1 # #"});

    automaticXPC = false;
    ASSERT_TRUE(m_peer->send(r));
    EXPECT_TRUE(m_peer->drain().isEmpty()) << "judged as itself, the service is not managed: asked";
    EXPECT_EQ(shown().size(), 1);
}

TEST_F(DaemonLinkTest, QuietPeriodsAnswerTheAddressAndRememberIt)
{
    const qint64 pid = spawnAt(QStringLiteral("bin/quiet"));
    auto app = manage(QStringLiteral("quiet"), {QStringLiteral("nothing-matches")}, homePath("bin/quiet"), 4,
                      {QStringLiteral("@1.2.3.4")});
    app->setAppIsQuietPass(true);
    const QString known = request(QStringLiteral("7"), QStringLiteral("1.2.3.4"), QStringLiteral("80"), pid);
    ASSERT_TRUE(m_peer->send(known));
    EXPECT_EQ(m_peer->answers(1), QStringList{known + " 4 0 0"});
    EXPECT_EQ(app->appMatches(), QStringList{"@1.2.3.4"}) << "already there: not added twice";

    app->setAppIsQuietPass(false);
    app->setAppIsQuietBlock(true);
    const QString other = request(QStringLiteral("8"), QStringLiteral("5.6.7.8"), QStringLiteral("80"), pid);
    ASSERT_TRUE(m_peer->send(other));
    EXPECT_EQ(m_peer->answers(1), QStringList{other + " 4 0 1"});
    EXPECT_EQ(app->appMatches(), (QStringList{"@1.2.3.4", "#5.6.7.8"}));
    EXPECT_TRUE(shown().isEmpty());
}

TEST_F(DaemonLinkTest, MalformedRequestsAreDroppedAndTheNextIsHandled)
{
    const qint64 pid = spawnAt(QStringLiteral("bin/tool"));
    manage(QStringLiteral("tool"), {homePath("bin/tool")}, homePath("bin/tool"), 1);
    const QString good = request(QStringLiteral("1"), QStringLiteral("1.2.3.4"), QStringLiteral("80"), pid);
    const QStringList bad = {
        QStringLiteral("1 1.2.3.4 80 %1 TCP 4").arg(pid),      // 6 fields
        QStringLiteral("1 1.2.3.4 80 %1 TCP 4 0 x").arg(pid),  // 8 fields
        QStringLiteral("1 1.2.3.4  80 %1 TCP 4 0").arg(pid),   // a double blank adds a field
        QStringLiteral("1 1.2.3.4 80 -5 TCP 4 0"),             // not a process id
        QStringLiteral("1 1.2.3.4 80 4294967296 TCP 4 0"),     // beyond 32 bits
        QStringLiteral("1 1.2.3.4 80 %1 TCP 4 zero").arg(pid), // responsible id not a number
    };
    for (const QString& text : bad)
        ASSERT_TRUE(m_peer->send(text));
    ASSERT_TRUE(m_peer->send(good));
    EXPECT_EQ(m_peer->answers(1), QStringList{good + " 1 # #"});
    EXPECT_EQ(requestTagCounter, 2u) << "dropped requests use no tag";
}

TEST_F(DaemonLinkTest, LineFeedsAreEchoedExceptForAGoneProcess)
{
    const qint64 pid = spawnAt(QStringLiteral("bin/lf"));
    manage(QStringLiteral("lf"), {homePath("bin/lf")}, homePath("bin/lf"), 0);
    const QString withLineFeed =
        request(QStringLiteral("1"), QStringLiteral("1.2.3.4"), QStringLiteral("80"), pid) +
        QLatin1Char('\n');
    ASSERT_TRUE(m_peer->send(withLineFeed));
    EXPECT_EQ(m_peer->answers(1), QStringList{withLineFeed + " 0 # #"});

    const qint64 gone = gonePid();
    const QString goneRequest =
        request(QStringLiteral("2"), QStringLiteral("1.2.3.4"), QStringLiteral("80"), gone) +
        QLatin1Char('\n');
    const quint32 before = requestTagCounter;
    ASSERT_TRUE(m_peer->send(goneRequest));
    EXPECT_EQ(m_peer->answers(1), QStringList{goneRequest.trimmed() + " 0 # #"});
    EXPECT_EQ(requestTagCounter, before + 1) << "the gone process's request used its tag";
    EXPECT_TRUE(shown().isEmpty());
}

TEST_F(DaemonLinkTest, DatagramSizesAndTheAnswerLimit)
{
    const qint64 pid = spawnAt(QStringLiteral("bin/s"));
    manage(QStringLiteral("s"), {homePath("bin/s")}, homePath("bin/s"), 0);
    const QString tail = QStringLiteral(" 1.2.3.4 80 %1 TCP 4 0").arg(pid);

    // An answer of exactly 127 bytes goes out whole.
    const QString fits = QString(127 - 6 - tail.size(), QLatin1Char('k')) + tail;
    ASSERT_TRUE(m_peer->send(fits));
    const QStringList answers = m_peer->answers(1);
    ASSERT_EQ(answers.size(), 1);
    EXPECT_EQ(answers.at(0).toUtf8().size(), 127);

    // One byte more does not fit: nothing is sent cut, and the next request
    // is still handled.
    ASSERT_TRUE(m_peer->send(QLatin1Char('k') + fits));
    EXPECT_TRUE(m_peer->drain().isEmpty());
    ASSERT_TRUE(m_peer->send(fits));
    EXPECT_EQ(m_peer->answers(1).size(), 1);

    // 128 bytes without any zero byte: the whole of them is the text.
    QByteArray full = (QString(128 - tail.size(), QLatin1Char('f')) + tail).toUtf8();
    ASSERT_EQ(full.size(), 128);
    ASSERT_TRUE(m_peer->sendRaw(full));
    EXPECT_TRUE(m_peer->drain().isEmpty()) << "its answer cannot fit";
    EXPECT_FALSE(synchronizedQueue().isSuspended());
}

TEST_F(DaemonLinkTest, ShortAndEmptyDatagramsNeitherCarryOldBytesNorEndTheLink)
{
    const qint64 pid = spawnAt(QStringLiteral("bin/x"));
    manage(QStringLiteral("x"), {homePath("bin/x")}, homePath("bin/x"), 1);
    const QString r = request(QStringLiteral("1"), QStringLiteral("1.2.3.4"), QStringLiteral("80"), pid);
    ASSERT_TRUE(m_peer->send(QString(100, QLatin1Char('z'))));
    ASSERT_TRUE(m_peer->sendRaw(QByteArray()));
    // Without a zero byte and shorter than the last: only its own bytes count.
    ASSERT_TRUE(m_peer->sendRaw(r.toUtf8()));
    EXPECT_EQ(m_peer->answers(1), QStringList{r + " 1 # #"});
}

TEST_F(DaemonLinkTest, TagsWrapAfter999999)
{
    const qint64 pid = spawnAt(QStringLiteral("bin/t"));
    requestTagCounter = 999998;
    for (const char* key : {"a", "b"})
        ASSERT_TRUE(
            m_peer->send(request(QLatin1String(key), QStringLiteral("1.2.3.4"), QStringLiteral("80"), pid)));
    ASSERT_TRUE(processEventsUntil([&] { return !shown().isEmpty(); }));
    EXPECT_EQ(shown().at(0), "999999");
    PANotifyWindowController::resumeQueue(QStringLiteral("999999"));
    ASSERT_TRUE(processEventsUntil([&] { return shown().size() == 2; }));
    EXPECT_EQ(shown().at(1), "2");
}

TEST_F(DaemonLinkTest, RequestsAreHandledStrictlyOneAtATime)
{
    const qint64 asked = spawnAt(QStringLiteral("bin/asked"));
    const qint64 known = spawnAt(QStringLiteral("bin/known"));
    manage(QStringLiteral("known"), {homePath("bin/known")}, homePath("bin/known"), 1);
    const QString earlier =
        request(QStringLiteral("0"), QStringLiteral("1.2.3.4"), QStringLiteral("80"), known);
    const QString first =
        request(QStringLiteral("1"), QStringLiteral("1.2.3.4"), QStringLiteral("80"), asked);
    const QString second =
        request(QStringLiteral("2"), QStringLiteral("1.2.3.4"), QStringLiteral("80"), known);
    ASSERT_TRUE(m_peer->send(earlier));
    EXPECT_EQ(m_peer->answers(1), QStringList{earlier + " 1 # #"});
    const QString earlierTag = QString::number(requestTagCounter);
    ASSERT_TRUE(m_peer->send(first));
    ASSERT_TRUE(processEventsUntil([&] { return shown().size() == 1; }));
    ASSERT_TRUE(m_peer->send(second));
    // A rule publication queued meanwhile waits as well.
    appNotificationCenter().post(QStringLiteral("sendConfiguration"));
    EXPECT_TRUE(m_peer->drain().isEmpty()) << "the second waits for the first";
    EXPECT_TRUE(postsNamed(QStringLiteral("newAppListReceived")).isEmpty());

    // A late second end of the earlier, finished request must not release
    // this one.
    PANotifyWindowController::resumeQueue(earlierTag);
    EXPECT_TRUE(m_peer->drain(100).isEmpty());

    std::shared_ptr<PANotifyWindowController> alert = openAlerts.value(shown().at(0));
    ASSERT_TRUE(alert);
    EXPECT_NE(alert->parameterTagString, earlierTag);
    alert->mymanagesocketagent.sendsocketagent(first + QStringLiteral(" 0 # #"));
    PANotifyWindowController::resumeQueue(alert->parameterTagString);
    EXPECT_EQ(m_peer->answers(2), (QStringList{first + " 0 # #", second + " 1 # #"}));
    EXPECT_TRUE(
        processEventsUntil([&] { return !postsNamed(QStringLiteral("newAppListReceived")).isEmpty(); }));
}

// The user of the process is looked up only for a request that is asked:
// the alert must still name it.
TEST_F(DaemonLinkTest, AnAskedRequestsAlertShowsTheUserOfItsProcess)
{
    const qint64 asked = spawnAt(QStringLiteral("bin/asked"));
    ASSERT_TRUE(
        m_peer->send(request(QStringLiteral("1"), QStringLiteral("1.2.3.4"), QStringLiteral("80"), asked)));
    ASSERT_TRUE(processEventsUntil([&] { return shown().size() == 1; }));
    std::shared_ptr<PANotifyWindowController> alert = openAlerts.value(shown().at(0));
    ASSERT_TRUE(alert && alert->myNotifyWindow());
    const auto* user = alert->myNotifyWindow()->findChild<QLabel*>(QStringLiteral("processUID"));
    ASSERT_TRUE(user);
    EXPECT_EQ(user->text(), QString::number(getuid()));
    PANotifyWindowController::resumeQueue(alert->parameterTagString);
}

TEST_F(DaemonLinkTest, AnUnansweredAlertExpiresWithAThirtySecondRule)
{
    ManualClock& clock = m_clock.clock();
    passAppWhenNotificationExpires = false;
    const qint64 pid = spawnAt(QStringLiteral("bin/unknown"));
    const QString r = request(QStringLiteral("1"), QStringLiteral("1.2.3.4"), QStringLiteral("80"), pid);
    ASSERT_TRUE(m_peer->send(r));
    ASSERT_TRUE(processEventsUntil([&] { return shown().size() == 1; }));
    EXPECT_TRUE(isNotifyWindowOpen);
    clock.advance(notificationsTimeOut - 1);
    EXPECT_TRUE(m_peer->drain(50).isEmpty());
    clock.advance(1);
    EXPECT_EQ(m_peer->answers(1), QStringList{r + " 1 # #"});
    EXPECT_FALSE(isNotifyWindowOpen);
    ASSERT_FALSE(sharedAppsLibrary.empty());
    EXPECT_EQ(sharedAppsLibrary.front()->appPath(), homePath("bin/unknown"));
    EXPECT_EQ(sharedAppsLibrary.front()->appIsBlockedOrAllowed(), 1);
    EXPECT_FALSE(sharedAppsLibrary.front()->appIsPersistent());
    ASSERT_TRUE(sharedAppsLibrary.front()->timer());
    EXPECT_EQ(sharedAppsLibrary.front()->timer()->timeInterval(), 30.0);
    EXPECT_TRUE(processEventsUntil([] { return !synchronizedQueue().isSuspended(); }));
}

// A configuration whose alert time-out is no number: the alert still runs
// out, after the default time, and the request waiting behind it is answered
// by its saved rule.
TEST_F(DaemonLinkTest, ATimeOutOfNaNStillExpiresAndTheNextRequestGetsItsSavedRule)
{
    ManualClock& clock = m_clock.clock();
    QVariantMap saved = plainAppRecord(QStringLiteral("saved"), 1);
    saved.insert(QStringLiteral("appPath"), homePath("bin/saved"));
    saved.insert(QStringLiteral("appBinaries"), QVariantList{homePath("bin/saved")});
    const QString file = rootPath(QStringLiteral("/etc/palisor.conf"));
    writePlist(file,
               QVariantList{QVariantMap{{"PalisorClassName", QStringLiteral("PAPreferences")},
                                        {"enableNotifications", true},
                                        {"automaticXPC", true},
                                        {"notificationsTimeOut", std::nan("")}},
                            saved},
               true);
    {
        CapturedLog log;
        ASSERT_TRUE(configuration().loadConf(file));
        EXPECT_EQ(log.count(QStringLiteral("Configuration key \"notificationsTimeOut\" holds nan")), 1);
    }
    EXPECT_EQ(notificationsTimeOut, 60.0);

    const QString first = request(QStringLiteral("1"), QStringLiteral("1.2.3.4"), QStringLiteral("80"),
                                  spawnAt(QStringLiteral("bin/unknown")));
    const QString second = request(QStringLiteral("2"), QStringLiteral("1.2.3.4"), QStringLiteral("80"),
                                   spawnAt(QStringLiteral("bin/saved")));
    ASSERT_TRUE(m_peer->send(first));
    ASSERT_TRUE(processEventsUntil([&] { return shown().size() == 1; }));
    ASSERT_TRUE(m_peer->send(second));
    clock.advance(59);
    EXPECT_TRUE(m_peer->drain(50).isEmpty()) << "the alert is still open, the second request waits";
    clock.advance(1);
    EXPECT_EQ(m_peer->answers(2), (QStringList{first + " 0 # #", second + " 1 # #"}));
    EXPECT_EQ(shown().size(), 1);
}

TEST_F(DaemonLinkTest, ABlockClickIsSentAndTheSavedRuleAnswersTheNextRequest)
{
    const qint64 pid = spawnAt(QStringLiteral("bin/newcomer"));
    const QString first = request(QStringLiteral("1"), QStringLiteral("1.2.3.4"), QStringLiteral("80"), pid);
    ASSERT_TRUE(m_peer->send(first));
    ASSERT_TRUE(processEventsUntil([&] { return shown().size() == 1; }));
    std::shared_ptr<PANotifyWindowController> alert = openAlerts.value(shown().at(0));
    ASSERT_TRUE(alert && alert->myNotifyWindow());
    auto* block = alert->myNotifyWindow()->findChild<QPushButton*>(QStringLiteral("advancedBlock"));
    ASSERT_TRUE(block);
    QTest::mouseClick(block, Qt::LeftButton);
    EXPECT_EQ(m_peer->answers(1), QStringList{first + " 1 # #"});
    EXPECT_FALSE(isNotifyWindowOpen);
    EXPECT_FALSE(alert->myNotifyWindow()->isVisible());

    const QString second =
        request(QStringLiteral("2"), QStringLiteral("5.6.7.8"), QStringLiteral("443"), pid);
    ASSERT_TRUE(m_peer->send(second));
    EXPECT_EQ(m_peer->answers(1), QStringList{second + " 1 # #"});
    EXPECT_EQ(shown().size(), 1) << "the saved rule answered without an alert";
    EXPECT_EQ(controller().appsLibraryController->arrangedObjects().size(), 1);
}

TEST_F(DaemonLinkTest, AQuietPeriodFromTheAlertAnswersTheAppsNextAddresses)
{
    showMoreOptions = true;
    const qint64 pid = spawnAt(QStringLiteral("bin/chatty"));
    const QString first = request(QStringLiteral("1"), QStringLiteral("1.2.3.4"), QStringLiteral("80"), pid);
    ASSERT_TRUE(m_peer->send(first));
    ASSERT_TRUE(processEventsUntil([&] { return shown().size() == 1; }));
    std::shared_ptr<PANotifyWindowController> alert = openAlerts.value(shown().at(0));
    QWidget* window = alert->myNotifyWindow();
    window->findChild<QRadioButton*>(QStringLiteral("actionRow2"))->click();
    auto* quiet = window->findChild<QCheckBox*>(QStringLiteral("quietButton"));
    ASSERT_TRUE(quiet->isVisible());
    QTest::mouseClick(quiet, Qt::LeftButton);
    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("advancedPass")), Qt::LeftButton);
    EXPECT_EQ(m_peer->answers(1), QStringList{first + " 4 0 0"});

    const QString second = request(QStringLiteral("2"), QStringLiteral("5.6.7.8"), QStringLiteral("80"), pid);
    ASSERT_TRUE(m_peer->send(second));
    EXPECT_EQ(m_peer->answers(1), QStringList{second + " 4 0 0"});
    ASSERT_FALSE(sharedAppsLibrary.empty());
    EXPECT_EQ(sharedAppsLibrary.front()->appMatches(), (QStringList{"@1.2.3.4", "@5.6.7.8"}));
    EXPECT_EQ(shown().size(), 1);

    // The period ends after quietTime: the next new address is asked again.
    m_clock->advance(quietTime);
    const QString third = request(QStringLiteral("3"), QStringLiteral("9.9.9.9"), QStringLiteral("80"), pid);
    ASSERT_TRUE(m_peer->send(third));
    EXPECT_TRUE(processEventsUntil([&] { return shown().size() == 2; }));
}

TEST_F(DaemonLinkTest, AnswersWaitInOrderForADaemonThatPausesReading)
{
    CapturedLog log;
    const auto answer = [](int i) { return QStringLiteral("%1 1.2.3.4 80 1 TCP 4 0 0 # #").arg(i); };
    // The daemon's queue holds 10: the rest wait, and the sender goes on.
    QStringList burst;
    for (int i = 0; i < 43; ++i) {
        burst << answer(i);
        m_interface->socketAgent()->sendsocketagent(answer(i));
    }
    EXPECT_GT(managesocketagent::waitingSends(), 0);
    EXPECT_EQ(m_peer->answers(43), burst) << "every answer, in order, once the daemon reads";
    EXPECT_EQ(managesocketagent::waitingSends(), 0);

    // Past the bound later answers are dropped, and that is told once.
    const int sent = managesocketagent::kSendBound + 100;
    for (int i = 0; i < sent; ++i)
        m_interface->socketAgent()->sendsocketagent(answer(i));
    EXPECT_EQ(managesocketagent::waitingSends(), managesocketagent::kSendBound);
    EXPECT_EQ(log.count(QStringLiteral("the daemon is not reading")), 1);
    QStringList received = m_peer->answers(managesocketagent::kSendBound, 10000);
    received += m_peer->drain();
    ASSERT_GE(received.size(), managesocketagent::kSendBound);
    EXPECT_EQ(received.first(), answer(0));
    EXPECT_EQ(received.last(), answer(received.size() - 1)) << "the oldest kept, in order";
    EXPECT_LT(received.size(), sent);
}

// Every local user can write to the agent's socket; only the daemon is heard.
TEST_F(DaemonLinkTest, DatagramsOfOtherUsersAreDroppedAndToldOnce)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "sending as another user needs root";
    CapturedLog log;
    // With alerts off a heard request would be passed and its app saved.
    enableNotifications = false;
    const qint64 pid = spawnAt(QStringLiteral("bin/forged"));
    const QString forged = request(QStringLiteral("1"), QStringLiteral("6.6.6.6"), QStringLiteral("80"), pid);
    // A child connects while it may still reach the socket, then becomes
    // nobody and sends a flood of forged requests.
    const QByteArray path = managesocketagent::agentSocketPath().toLocal8Bit();
    QByteArray datagram = forged.toUtf8();
    datagram.append(QByteArray(managesocketagent::kDatagramSize - datagram.size(), '\0'));
    const pid_t child = fork();
    if (child == 0) {
        const int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
        if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
            !dropPrivilegesToNobody())
            _exit(1);
        for (int i = 0; i < 20; ++i)
            if (send(fd, datagram.constData(), static_cast<size_t>(datagram.size()), 0) < 0)
                _exit(2);
        _exit(0);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    // The daemon's own request after the flood is the first one handled.
    ASSERT_TRUE(
        m_peer->send(request(QStringLiteral("2"), QStringLiteral("1.1.1.1"), QStringLiteral("80"), pid)));
    const QStringList answers = m_peer->answers(1);
    ASSERT_EQ(answers.size(), 1);
    EXPECT_TRUE(answers.first().contains(QLatin1String("1.1.1.1"))) << answers.first().toStdString();
    EXPECT_TRUE(m_peer->drain(200).isEmpty());
    EXPECT_TRUE(shown().isEmpty());
    EXPECT_EQ(log.count(QStringLiteral("from a sender other than the daemon dropped")), 1);

    EXPECT_TRUE(managesocketagent::acceptsSender(0));
    EXPECT_TRUE(managesocketagent::acceptsSender(getuid())) << "PALISOR_ROOT is set";
    EXPECT_FALSE(managesocketagent::acceptsSender(65534));
}

// The pages the process holds in memory.
qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() * sysconf(_SC_PAGESIZE) : -1;
}

TEST_F(DaemonLinkTest, AFloodDuringAnOpenAlertKeepsMemoryFlatAndTheFirstRequestsInOrder)
{
    CapturedLog log;
    constexpr int bound = BridgeClassPalisor::kRequestBound;
    const qint64 asked = spawnAt(QStringLiteral("bin/asked"));
    ASSERT_TRUE(
        m_peer->send(request(QStringLiteral("a"), QStringLiteral("1.2.3.4"), QStringLiteral("80"), asked)));
    ASSERT_TRUE(processEventsUntil([&] { return shown().size() == 1; }));

    // Requests of a gone process (each answered at once when its turn comes)
    // between texts that cannot be requests.
    const qint64 gone = gonePid();
    const auto valid = [&](int i) {
        return request(QString::number(i), QStringLiteral("1.2.3.4"), QStringLiteral("80"), gone);
    };
    const QStringList junk = {
        QStringLiteral("%1 1.2.3.4 80 x%1 TCP 4 0"),
        QStringLiteral("%1 1.2.3.4 80 %1 TCP 4"),
        QStringLiteral("%1 1.2.3.4 80 %1 TCP 4 0 0 0 0"),
        QStringLiteral("%1").repeated(40),
    };
    const auto flood = [&](int from, int count) {
        for (int i = from; i < from + count; ++i)
            if (!m_peer->send(valid(i)) || !m_peer->send(junk.at(i % junk.size()).arg(i)))
                return false;
        return true;
    };
    // The first round fills the queue and the allocator's pools; from then
    // on nothing may grow.
    ASSERT_TRUE(flood(0, 2 * bound));
    const qint64 before = residentBytes();
    ASSERT_TRUE(flood(2 * bound, 10 * bound));
    // Each valid request is followed by a text that cannot be one: once the
    // last text is read, every request has met the bound.
    ASSERT_TRUE(m_peer->waitUntilRead());
    const qint64 after = residentBytes();
    ASSERT_GT(before, 0);
#if defined(__SANITIZE_ADDRESS__)
    // The address sanitizer keeps freed memory resident in its quarantine, so
    // growth tells nothing there; the plain build measures it.
    (void)after;
#else
    EXPECT_LT(after - before, 4 << 20) << before << " -> " << after;
#endif
    EXPECT_EQ(m_interface->bridge()->waitingRequests(), bound);
    EXPECT_EQ(log.count(QStringLiteral("requests wait for the open one")), 1);

    // Answered, the alert lets the kept requests through, oldest first; the
    // later ones were dropped.
    PANotifyWindowController::resumeQueue(shown().at(0));
    QStringList expected;
    for (int i = 0; i < bound; ++i)
        expected << valid(i) + QStringLiteral(" 0 # #");
    EXPECT_EQ(m_peer->answers(bound, 60000), expected);
    EXPECT_TRUE(m_peer->drain(200).isEmpty());
    EXPECT_EQ(m_interface->bridge()->waitingRequests(), 0);
}

// Another user's or root's process is named by its argv[0], which it may set
// to any saved app's path.
TEST_F(DaemonLinkTest, AForgedNameOfAProcessTheAgentCannotInspectIsAsked)
{
    if (geteuid() != 0) {
        const ProcessInfo::Name init = ProcessInfo::nameForPid(1);
        if (init.verified || init.path == QLatin1String("error"))
            GTEST_SKIP() << "pid 1 is open to inspection here, and only root can make another user's process";
        expectAskedAsUnverified(1, init.path);
        return;
    }
    // A root process that calls itself by a saved app's path; the agent
    // looks at it as nobody.
    EXPECT_EXIT(
        {
            // It reads until this process, as nobody no longer allowed to
            // signal it, ends.
            const QString forged = QStringLiteral("/usr/bin/trusted-tool");
            const QByteArray argv0 = forged.toLocal8Bit();
            int life[2];
            if (pipe(life) != 0)
                _exit(3);
            const pid_t pid = fork();
            if (pid == 0) {
                dup2(life[0], STDIN_FILENO);
                const int null = open("/dev/null", O_WRONLY);
                dup2(null, STDOUT_FILENO);
                dup2(null, STDERR_FILENO);
                close_range(3, ~0U, 0);
                execl("/bin/cat", argv0.constData(), static_cast<char*>(nullptr));
                _exit(127);
            }
            close(life[0]);
            processEventsUntil([&] {
                QFile arguments(QStringLiteral("/proc/%1/cmdline").arg(pid));
                return arguments.open(QIODevice::ReadOnly) && arguments.readAll().startsWith(forged.toUtf8());
            });
            for (const QString& open : {m_root.path(), m_home.path(), managesocketagent::daemonSocketPath()})
                chmod(QFile::encodeName(open).constData(), 0777);
            if (!dropPrivilegesToNobody())
                _exit(2);
            expectAskedAsUnverified(pid, forged);
            std::fprintf(stderr, "%s\n", HasFailure() ? "failed" : "asked as unverified");
            _exit(HasFailure() ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "asked as unverified");
}

TEST_F(DaemonLinkTest, ANameTheAgentCannotCheckNeverChoosesTheSavedRule)
{
    FakeProcessInspector inspector;
    const qint64 pid = spawnAt(QStringLiteral("bin/claimer"));
    const QString saved = QStringLiteral("/usr/bin/trusted-tool");
    inspector.pretend(pid_t(pid), saved, false);
    expectAskedAsUnverified(pid, saved);

    // The same name checked: its saved rule answers.
    inspector.pretend(pid_t(pid), saved, true);
    const QString checked =
        request(QStringLiteral("c"), QStringLiteral("1.2.3.4"), QStringLiteral("80"), pid);
    ASSERT_TRUE(m_peer->send(checked));
    EXPECT_EQ(m_peer->answers(1), QStringList{checked + " 0 # #"});

    // An XPC service is judged by its host: an unchecked host name is as good
    // as none.
    const qint64 service = spawnAt(QStringLiteral("Host.app/Contents/XPCServices/S.xpc/Contents/MacOS/S"));
    const QString host = homePath("Host.app/Contents/MacOS/Host");
    manage(QStringLiteral("Host.app"), {QStringLiteral("Host.app/Contents/MacOS/Host")}, homePath("Host.app"),
           1);
    inspector.pretend(pid_t(pid), host, false);
    ASSERT_TRUE(m_peer->send(request(QStringLiteral("x"), QStringLiteral("1.2.3.4"), QStringLiteral("80"),
                                     service, QString::number(pid))));
    EXPECT_TRUE(m_peer->drain().isEmpty());
    ASSERT_TRUE(processEventsUntil([&] { return shown().size() == 2; }));
    EXPECT_FALSE(openAlerts.value(shown().at(1))->parameterProcessNameVerified);
    PANotifyWindowController::resumeQueue(shown().at(1));

    // With alerts off it passes, and no app is recorded under its name.
    enableNotifications = false;
    const QString other = QStringLiteral("/usr/bin/new-tool");
    inspector.pretend(pid_t(pid), other, false);
    const QString off = request(QStringLiteral("o"), QStringLiteral("1.2.3.4"), QStringLiteral("80"), pid);
    ASSERT_TRUE(m_peer->send(off));
    EXPECT_EQ(m_peer->answers(1), QStringList{off + " 0 # #"});
    for (const auto& app : sharedAppsLibrary)
        EXPECT_NE(app->appPath(), other);
}

// In a folder only root may write to, a socket of anyone else is no daemon.
TEST_F(DaemonLinkTest, AnswersGoOnlyToASocketTheDaemonOwns)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "giving the daemon's socket to another user needs root";
    CapturedLog log;
    const QByteArray socket = QFile::encodeName(managesocketagent::daemonSocketPath());
    ASSERT_EQ(chown(socket.constData(), 65534, 65534), 0);
    const QString answer = QStringLiteral("1 1.2.3.4 80 1 TCP 4 0 0 # #");
    for (int i = 0; i < 3; ++i)
        m_interface->socketAgent()->sendsocketagent(answer);
    EXPECT_TRUE(m_peer->drain(100).isEmpty());
    EXPECT_EQ(managesocketagent::waitingSends(), 0) << "dropped, not kept for later";
    EXPECT_EQ(log.count(QStringLiteral("is not the daemon's socket")), 1);

    ASSERT_EQ(chown(socket.constData(), 0, 0), 0);
    m_interface->socketAgent()->sendsocketagent(answer);
    EXPECT_EQ(m_peer->answers(1), QStringList{answer});
}

TEST(ManageSocketAgentTest, ProcessLookUpsAndTooLongPaths)
{
    managesocketagent endpoint;
    EXPECT_EQ(endpoint.infoprocess(static_cast<uint32_t>(getpid())),
              QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget());
    EXPECT_EQ(endpoint.infoRootProcess(static_cast<uint32_t>(getpid())), static_cast<int>(geteuid()));
    EXPECT_EQ(endpoint.infoprocess(4294967295u), "error");
    EXPECT_EQ(endpoint.infoRootProcess(4294967295u), -1);

    ScopedEnvironmentVariable root("PALISOR_ROOT", QByteArray("/tmp/") + QByteArray(120, 'r'));
    QString error;
    EXPECT_FALSE(managesocketagent::setUpSocket(&error));
    EXPECT_TRUE(error.contains(QLatin1String("does not fit"))) << error.toStdString();
}

} // namespace
