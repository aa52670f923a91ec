#include "alerts/PANotifyWindowController.h"
#include "core/PAApplication.h"
#include "core/PAConfiguration.h"
#include "core/PARuleLists.h"
#include "core/PAWorkQueues.h"
#include "core/SharedState.h"
#include "mainwindow/PAController.h"
#include "platform/CodeSigning.h"
#include "platform/Identities.h"
#include "platform/NotificationCenter.h"
#include "platform/PropertyList.h"
#include "platform/Resources.h"
#include "platform/widgets/PopUpButton.h"
#include "platform/widgets/RadioMatrix.h"
#include "support/DaemonPeer.h"
#include "support/EventLoop.h"
#include "support/FakeCountrySource.h"
#include "support/ProcessWaits.h"
#include "support/RecordingSoundPlayer.h"
#include "support/widgets/AgentFixture.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTest>
#include <QWidgetAction>
#include <QWindow>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <string_view>

namespace {

// One alert on screen for a request of our own making, its answers caught by
// a peer bound at the daemon's socket.
class PANotifyWindowTest : public AgentFixture
{
protected:
    void SetUp() override
    {
        AgentFixture::SetUp();
        m_peer = std::make_unique<DaemonPeer>();
        ASSERT_TRUE(m_peer->isBound());
        QString error;
        ASSERT_TRUE(managesocketagent::setUpSocket(&error)) << error.toStdString();
        enableNotifications = true;
        showMoreOptions = true;
        // A new app reaches the main window by the rule lists' signal.
        QObject::connect(&ruleLists(), &PARuleLists::appInserted, &m_observerLife,
                         [this] { m_posts.append(QStringLiteral("appInserted")); });
        for (const char* name : {"sendConfiguration", "silenceNotifications"})
            appNotificationCenter().addObserver(
                QLatin1String(name), &m_observerLife,
                [this](const NotificationCenter::Notification& n) { m_posts.append(n.name); });
    }

    // Opens the alert as the request road does: the queue held by its tag.
    std::shared_ptr<PANotifyWindowController> open(const QString& path, const QString& address = "10.1.2.3",
                                                   const QString& port = "443", const QString& pid = "4242",
                                                   const QString& uid = QString::number(getuid()),
                                                   const QString& responsible = QStringLiteral("0"))
    {
        auto alert = std::make_shared<PANotifyWindowController>(road(), workQueues());
        const QString tag = holdQueueFor(alert);
        alert->parameterProcessPid = pid;
        alert->parameterProcessName = path;
        alert->parameterProcessUID = uid;
        alert->parameterProcessIP = address;
        alert->parameterProcessPort = port;
        alert->parameterProcessUDPorTCP = QStringLiteral("TCP");
        alert->parameterProcessIPversion = address.contains(QLatin1Char(':')) ? "6" : "4";
        alert->parameterOriginalRequestString =
            QStringLiteral("k%1 %2 %3 %4 TCP 4 0").arg(tag, address, port, pid);
        alert->parameterTagString = tag;
        alert->parameterResponsibleApp = responsible;
        alert->showAlertOnMain();
        return alert;
    }

    // Takes the next tag for `alert` and lets it hold the request queue.
    QString holdQueueFor(const std::shared_ptr<PANotifyWindowController>& alert)
    {
        synchronizedQueue().suspend();
        const QString tag = road().takeTag();
        road().open(tag, alert);
        return tag;
    }

    template <typename T>
    static T* child(const std::shared_ptr<PANotifyWindowController>& alert, const char* name)
    {
        T* found = alert->myNotifyWindow()->findChild<T*>(QLatin1String(name));
        EXPECT_TRUE(found) << name;
        return found;
    }

    static void click(const std::shared_ptr<PANotifyWindowController>& alert, const char* button)
    {
        QTest::mouseClick(child<QPushButton>(alert, button), Qt::LeftButton);
    }

    // Lets the alert's look-ups finish and show what they found.
    void finishLookUps()
    {
        workQueues().waitForDone();
        drainEvents();
    }

    std::shared_ptr<PAApplication> manage(const QString& path, qint64 state, const QStringList& matches = {})
    {
        auto app = PAApplication::generatePAApplication(state, path);
        app->setAppMatches(matches);
        sharedAppsLibrary.push_back(app);
        controller().appsLibraryController->addObject(app);
        return app;
    }

    std::unique_ptr<DaemonPeer> m_peer;
    RecordingSoundPlayer m_sounds;
    QObject m_observerLife;
    QStringList m_posts;
};

TEST_F(PANotifyWindowTest, TheAlertShowsTheRequestAsPlainTextWithItsNetworks)
{
    const QString path = homePath("bin/<b>odd & name");
    auto alert = open(path, QStringLiteral("10.1.2.3"), QStringLiteral("4&43"));
    ASSERT_TRUE(alert->myNotifyWindow()->isVisible());
    EXPECT_TRUE(isNotifyWindowOpen);
    EXPECT_TRUE(alert->notificationIsDisplayed);
    EXPECT_TRUE(alert->myNotifyWindow()->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(alert->myNotifyWindow()->testAttribute(Qt::WA_ShowWithoutActivating));

    // The markup of the path reaches the screen as the characters it is.
    EXPECT_EQ(child<QLabel>(alert, "processPath")->text(), path);
    EXPECT_EQ(child<QLabel>(alert, "processPath")->textFormat(), Qt::PlainText);
    EXPECT_EQ(child<QLabel>(alert, "processName")->text(), "<b>odd & name");
    EXPECT_EQ(child<QLabel>(alert, "processName")->textFormat(), Qt::PlainText);
    const QString description = child<QLabel>(alert, "descriptionString")->text();
    EXPECT_TRUE(description.contains("&lt;b&gt;odd &amp; name")) << description.toStdString();
    EXPECT_FALSE(description.contains("<b>odd"));

    EXPECT_EQ(child<QLabel>(alert, "matrixlabel1")->text(), "Port 4&43");
    alert->actionMatrix->button(1)->click();
    EXPECT_EQ(child<QPushButton>(alert, "advancedPass")->text(), "Pass port 4&&43") << "an & is no mnemonic";
    EXPECT_EQ(child<QLabel>(alert, "matrixlabel2")->text(), "10.1.2.3");
    QStringList titles, tips;
    for (const QAction* net : {alert->matrixnetA, alert->matrixnetB, alert->matrixnetC}) {
        titles << net->text();
        tips << net->toolTip();
    }
    EXPECT_EQ(titles, (QStringList{"10.0.0.0/8", "10.1.0.0/16", "10.1.2.0/24"}));
    EXPECT_EQ(tips, titles);
    EXPECT_TRUE(alert->actionMatrix->isRowEnabled(3));
    EXPECT_EQ(m_sounds.played(), QStringList{"Bottle.aiff"});
}

TEST_F(PANotifyWindowTest, AnXpcServiceShownAsItselfNamesTheAppItWorksFor)
{
    automaticXPC = false;
    const QString service = homePath("Host.app/Contents/XPCServices/Fetch.xpc/Contents/MacOS/Fetch");
    auto alert = open(service, "1.2.3.4", "80", "4242", QString::number(getuid()), QString::number(getpid()));
    const QString host = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    EXPECT_EQ(alert->viaString, " via " + QFileInfo(host).fileName());
    // A service inside an app bundle is named by that bundle.
    EXPECT_EQ(child<QLabel>(alert, "processName")->text(), "Host via " + QFileInfo(host).fileName());
    EXPECT_FALSE(child<QLabel>(alert, "viaAppIcon")->pixmap().isNull());
}

TEST_F(PANotifyWindowTest, AddressesTheTitleBuilderDoesNotExpectNeverCrashIt)
{
    struct Case
    {
        const char* address;
        const char* network; // the /8 title, sent as the match
    };
    for (const Case& c :
         {Case{"1.2", "1.0.0.0/8"}, Case{"::ffff:1.2.3.4", "::ffff:1.0.0.0/8"}, Case{"7.", "7.0.0.0/8"}}) {
        SCOPED_TRACE(c.address);
        sharedAppsLibrary.clear();
        auto alert = open(homePath("bin/x"), QLatin1String(c.address));
        auto* networks = child<PopUpButton>(alert, "matrixlabel3");
        networks->menu()->triggered(networks->itemAtIndex(0));
        click(alert, "advancedPass");
        EXPECT_EQ(m_peer->answers(1), QStringList{alert->parameterOriginalRequestString + " 4 0 0"});
        ASSERT_EQ(sharedAppsLibrary.size(), 1u);
        EXPECT_EQ(sharedAppsLibrary.front()->appMatches(), QStringList{QStringLiteral("@") + c.network});
    }
}

TEST_F(PANotifyWindowTest, OpeningTheWindowLeavesThePreferencesAsTheyAre)
{
    struct Case
    {
        double quiet;
        int minutes;
        const char* title;
    };
    for (const Case& c : {Case{90.0, 500, "Silence for 90 seconds"}, Case{20.7, 10, "Silence for 20 seconds"},
                          Case{std::nan(""), 10, "Silence for 0 seconds"}}) {
        SCOPED_TRACE(c.title);
        quietTime = c.quiet;
        notificationDefaultTime = c.minutes;
        auto alert = open(homePath("bin/prefs"));
        EXPECT_EQ(child<QCheckBox>(alert, "quietButton")->text(), QLatin1String(c.title));
        EXPECT_TRUE(std::isnan(c.quiet) ? std::isnan(quietTime) : quietTime == c.quiet);
        EXPECT_EQ(notificationDefaultTime, c.minutes);
        click(alert, "advancedPass");
        m_peer->answers(1);
    }
}

TEST_F(PANotifyWindowTest, AnIPv6AddressTurnsTheNetworkRowIntoTheTypedNetwork)
{
    selectedActionRow = 3;
    auto alert = open(homePath("bin/six"), QStringLiteral("2001:db8::1"));
    EXPECT_EQ(selectedActionRow, 2);
    EXPECT_EQ(alert->actionMatrix->selectedRow(), 2);
    EXPECT_FALSE(alert->actionMatrix->isRowEnabled(3));
    EXPECT_FALSE(child<PopUpButton>(alert, "matrixlabel3")->isVisible());
    EXPECT_TRUE(child<PopUpButton>(alert, "matrixlabel3V6")->isVisible());
    EXPECT_FALSE(child<QWidget>(alert, "flagBackground")->isVisible());

    struct Case
    {
        const char* typed;
        const char* error;
    };
    for (const Case& c : {Case{"2001:db9::/32", "address outside network range"},
                          Case{"not a network", "invalid IPv6 network address"}, Case{"2001:db8::/32", ""}}) {
        SCOPED_TRACE(c.typed);
        alert->addSubnetString->setText(QLatin1String(c.typed));
        alert->setSubnetV6();
        EXPECT_EQ(alert->addSubnetError->text(), QLatin1String(c.error));
        const bool accepted = *c.error == 0;
        EXPECT_EQ(alert->actionMatrix->isRowEnabled(3), accepted);
        EXPECT_EQ(alert->actionMatrix->selectedRow(), accepted ? 3 : 2);
        EXPECT_EQ(alert->matrixlabel3V6Title->text(), accepted ? "2001:db8::/32" : "Set network address...");
    }
    EXPECT_EQ(child<QPushButton>(alert, "advancedPass")->text(), "Pass network 2001:db8::/32");
    click(alert, "advancedBlock");
    EXPECT_EQ(m_peer->answers(1), QStringList{alert->parameterOriginalRequestString + " 4 0 1"});
    ASSERT_FALSE(sharedAppsLibrary.empty());
    EXPECT_EQ(sharedAppsLibrary.front()->appMatches(), QStringList{"#2001:db8::/32"});
    EXPECT_EQ(m_posts, (QStringList{"appInserted", "sendConfiguration"}));
}

TEST_F(PANotifyWindowTest, EveryRowOfTheAnswerTableSendsAndRecordsWhatItSays)
{
    struct Case
    {
        const char* name;
        bool known;
        int row;
        int network; // item of the network pop-up for row 3
        bool pass;
        QStringList before;
        const char* answer;
        QStringList after;
        QStringList posts;
    };
    const QList<Case> cases = {
        {"new app, address",
         false,
         2,
         0,
         true,
         {},
         " 4 0 0",
         {"@10.1.2.3"},
         {"appInserted", "sendConfiguration"}},
        {"known app, address", true, 2, 0, true, {"#99"}, " 4 0 0", {"#99", "@10.1.2.3"}, {}},
        {"known app, address again", true, 2, 0, true, {"@10.1.2.3"}, " 4 0 0", {"@10.1.2.3"}, {}},
        {"new app, network",
         false,
         3,
         1,
         false,
         {},
         " 4 0 1",
         {"#10.1.0.0/16"},
         {"appInserted", "sendConfiguration"}},
        {"known app, network",
         true,
         3,
         2,
         true,
         {"@1.1.1.1"},
         " 4 0 0",
         {"@1.1.1.1", "@10.1.2.0/24"},
         {"sendConfiguration"}},
        {"known app, network again",
         true,
         3,
         0,
         true,
         {"@10.0.0.0/8"},
         " 4 0 0",
         {"@10.0.0.0/8"},
         {"sendConfiguration"}},
        {"new app, port", false, 1, 0, false, {}, " 4 1 1", {"#443"}, {"appInserted"}},
        {"known app, port", true, 1, 0, false, {"@1.1.1.1"}, " 4 1 1", {"#443", "@1.1.1.1"}, {}},
        {"known app, port again", true, 1, 0, true, {"@443"}, " 4 1 0", {"@443"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sharedAppsLibrary.clear();
        controller().appsLibraryController->removeObjects(
            controller().appsLibraryController->arrangedObjects());
        m_posts.clear();
        const QString path = homePath(QStringLiteral("bin/app%1").arg(c.row));
        std::shared_ptr<PAApplication> known;
        if (c.known)
            known = manage(path, 4, c.before);
        auto alert = open(path);
        if (c.row == 3) {
            auto* networks = child<PopUpButton>(alert, "matrixlabel3");
            networks->menu()->triggered(networks->itemAtIndex(c.network));
            EXPECT_EQ(child<QPushButton>(alert, "advancedPass")->text(),
                      "Pass network " + networks->itemAtIndex(c.network)->text());
        } else {
            alert->actionMatrix->button(c.row)->click();
        }
        EXPECT_EQ(alert->actionMatrix->selectedRow(), c.row);
        click(alert, c.pass ? "advancedPass" : "advancedBlock");

        EXPECT_EQ(m_peer->answers(1), QStringList{alert->parameterOriginalRequestString + c.answer});
        ASSERT_EQ(sharedAppsLibrary.size(), 1u);
        const std::shared_ptr<PAApplication>& app = sharedAppsLibrary.front();
        if (c.known) {
            EXPECT_EQ(app, known);
        }
        EXPECT_EQ(app->appIsBlockedOrAllowed(), 4);
        EXPECT_EQ(app->appMatches(), c.after);
        EXPECT_EQ(m_posts, c.posts);
        EXPECT_FALSE(synchronizedQueue().isSuspended());
        EXPECT_FALSE(isNotifyWindowOpen);
    }
}

TEST_F(PANotifyWindowTest, WholeAppAnswersTakeTheChosenDuration)
{
    // Pass forever for a bundle that is not managed yet.
    const QString bundled = homePath("Example.app/Contents/MacOS/Example");
    auto alert = open(bundled);
    EXPECT_EQ(child<QPushButton>(alert, "advancedPass")->text(), "Pass this app forever");
    click(alert, "advancedPass");
    EXPECT_EQ(m_peer->answers(1), QStringList{alert->parameterOriginalRequestString + " 0 # #"});
    ASSERT_EQ(sharedAppsLibrary.size(), 1u);
    std::shared_ptr<PAApplication> added = sharedAppsLibrary.front();
    EXPECT_EQ(added->appName(), "Example.app");
    EXPECT_EQ(added->appPath(), homePath("Example.app"));
    EXPECT_EQ(added->appBinaries(), QStringList{"Example.app/"});
    EXPECT_EQ(added->appLocalizedName(), "Example");
    EXPECT_EQ(added->appIsBlockedOrAllowed(), 0);
    EXPECT_TRUE(added->appIsPersistent());
    EXPECT_EQ(m_posts, QStringList{"appInserted"});

    // Block until next logout for a known app: no timer, nothing posted.
    m_posts.clear();
    auto known = manage(homePath("bin/known"), 4, {"@1.2.3.4"});
    alert = open(homePath("bin/known"));
    auto* durations = child<PopUpButton>(alert, "timeButton");
    durations->menu()->triggered(alert->timeNextLogin);
    EXPECT_EQ(child<QPushButton>(alert, "advancedBlock")->text(), "Block this app until next logout");
    click(alert, "advancedBlock");
    EXPECT_EQ(m_peer->answers(1), QStringList{alert->parameterOriginalRequestString + " 1 # #"});
    EXPECT_EQ(known->appIsBlockedOrAllowed(), 1);
    EXPECT_TRUE(known->appMatches().isEmpty());
    EXPECT_FALSE(known->appIsPersistent());
    EXPECT_TRUE(known->appHasTimer());
    EXPECT_FALSE(known->timer() && known->timer()->isValid());
    EXPECT_TRUE(m_posts.isEmpty());
    EXPECT_EQ(notificationDefaultChoice, 1);

    // One minute: singular titles and a 60-second rule.
    alert = open(homePath("bin/known"));
    durations = child<PopUpButton>(alert, "timeButton");
    alert->timeSlider->setValue(1);
    durations->menu()->triggered(alert->timeMenuItem);
    EXPECT_EQ(alert->timeMenuItem->text(), "This app for 1 minute");
    EXPECT_EQ(child<QPushButton>(alert, "advancedPass")->text(), "Pass this app for 1 minute");
    alert->timeSlider->setValue(5);
    EXPECT_EQ(child<QPushButton>(alert, "advancedPass")->text(), "Pass this app for 5 minutes");
    alert->timeSlider->setValue(1);
    click(alert, "advancedPass");
    m_peer->answers(1);
    ASSERT_TRUE(known->timer());
    EXPECT_EQ(known->timer()->timeInterval(), 60.0);
    EXPECT_EQ(notificationDefaultTime, 1);
}

// Some trays never say that their menu opens: the status menu empties as the
// alert comes up and comes back once it is answered.
TEST_F(PANotifyWindowTest, TheStatusMenuIsEmptyWhileTheAlertIsUp)
{
    const auto visibleItems = [this] {
        int count = 0;
        for (const QAction* item : controller().statusBarMenu->actions())
            count += item->isVisible() ? 1 : 0;
        return count;
    };
    ASSERT_GT(visibleItems(), 0);
    auto alert = open(homePath("bin/curl"));
    EXPECT_EQ(visibleItems(), 0);
    click(alert, "advancedBlock");
    EXPECT_FALSE(isNotifyWindowOpen);
    EXPECT_GT(visibleItems(), 0);
}

TEST_F(PANotifyWindowTest, TheTimeOutAnswersOnceAndNothingLateAnswersAgain)
{
    // An expired alert passes with a 30-second rule, whatever the duration.
    auto alert = open(homePath("bin/slow"));
    child<PopUpButton>(alert, "timeButton")->menu()->triggered(alert->timeForever);
    EXPECT_TRUE(child<QProgressBar>(alert, "timeoutProgress")->isVisible());
    EXPECT_FALSE(child<QProgressBar>(alert, "timeoutProgressBlock")->isVisible());
    m_clock->advance(1);
    EXPECT_EQ(alert->timeoutIndicatorValue(), notificationsTimeOut - 1);
    m_clock->advance(notificationsTimeOut - 1);
    EXPECT_EQ(m_peer->answers(1), QStringList{alert->parameterOriginalRequestString + " 0 # #"});
    ASSERT_EQ(sharedAppsLibrary.size(), 1u);
    EXPECT_FALSE(sharedAppsLibrary.front()->appIsPersistent());
    EXPECT_EQ(sharedAppsLibrary.front()->timer()->timeInterval(), 30.0);
    EXPECT_FALSE(alert->myNotifyWindow()->isVisible());

    // A user's block, then every timer and road that could still fire.
    passAppWhenNotificationExpires = false;
    alert = open(homePath("bin/user"));
    EXPECT_TRUE(child<QProgressBar>(alert, "timeoutProgressBlock")->isVisible());
    click(alert, "advancedBlock");
    alert->expireTimeout();
    alert->silentlyPass();
    alert->riprendiTimeout();
    m_clock->advance(notificationsTimeOut * 3);
    EXPECT_EQ(m_peer->drain(100).size(), 1) << "one request, one answer";
    EXPECT_EQ(sharedAppsLibrary.front()->appIsBlockedOrAllowed(), 1);
    EXPECT_TRUE(sharedAppsLibrary.front()->appIsPersistent());
}

TEST_F(PANotifyWindowTest, TimeOutsNeverWipeTheRulesTheUserSaved)
{
    QStringList matches;
    for (int i = 1; i <= 7; ++i)
        matches << QStringLiteral("@10.0.0.%1").arg(i);
    const QString path = homePath("bin/mail");
    auto app = manage(path, 4, matches);
    // The rules as the saved configuration holds them.
    const auto written = [&]() -> QVariantMap {
        const QString file = rootPath(QStringLiteral("/written"));
        EXPECT_TRUE(configuration().writeConf(file, false, false));
        for (const QVariant& record : PropertyList::readFile(file).value_or(QVariant()).toList())
            if (record.toMap().value("appPath") == path)
                return record.toMap();
        return {};
    };

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        auto alert = open(path);
        m_clock->advance(notificationsTimeOut);
        EXPECT_EQ(m_peer->answers(1), QStringList{alert->parameterOriginalRequestString + " 0 # #"});
        EXPECT_EQ(app->appIsBlockedOrAllowed(), 0) << "the 30-second rule stands in";
        ASSERT_TRUE(app->appHasTimer());
        // A second time-out within the 30 seconds keeps the rule saved before both.
        alert = open(path);
        m_clock->advance(notificationsTimeOut);
        m_peer->answers(1);
        const QVariantMap saved = written();
        EXPECT_EQ(saved.value("appIsBlockedOrAllowed").toLongLong(), 4);
        EXPECT_EQ(saved.value("appMatches").toStringList(), matches);

        m_clock->advance(30);
        EXPECT_TRUE(processEventsUntil([&] { return !app->appHasTimer(); }));
        EXPECT_EQ(app->appIsBlockedOrAllowed(), 4);
        EXPECT_EQ(app->appMatches(), matches);
        EXPECT_EQ(sharedAppsLibrary.size(), 1u);
    }

    // A rule the user then picks for good is the saved one from then on.
    auto alert = open(path);
    click(alert, "advancedBlock");
    m_peer->answers(1);
    EXPECT_EQ(written().value("appIsBlockedOrAllowed").toLongLong(), 1);
    m_clock->advance(60);
    QCoreApplication::processEvents();
    EXPECT_EQ(app->appIsBlockedOrAllowed(), 1);
}

// A process the agent could not inspect may carry any saved app's name.
TEST_F(PANotifyWindowTest, ATimeOutForAnUnverifiedNameLeavesTheSavedRulesAlone)
{
    const QString path = homePath("bin/blocked");
    auto app = manage(path, 1);
    for (const QString& claimed : {path, homePath("bin/unknown")}) {
        SCOPED_TRACE(claimed.toStdString());
        auto alert = open(claimed);
        alert->parameterProcessNameVerified = false;
        m_clock->advance(notificationsTimeOut);
        EXPECT_EQ(m_peer->answers(1), QStringList{alert->parameterOriginalRequestString + " 0 # #"});
        EXPECT_FALSE(isNotifyWindowOpen);
    }
    EXPECT_EQ(app->appIsBlockedOrAllowed(), 1);
    EXPECT_FALSE(app->appHasTimer());
    EXPECT_EQ(sharedAppsLibrary.size(), 1u) << "no app recorded under a name nobody checked";
}

TEST_F(PANotifyWindowTest, OpenMenusPauseTheCountDownAndClosingRestartsItInFull)
{
    auto alert = open(homePath("bin/menus"));
    QMenu* durations = alert->rememberPopupMenu;
    QMenu* actions = alert->processNameMenu;
    m_clock->advance(50);
    emit actions->aboutToShow();
    emit durations->aboutToShow(); // a second menu while the first is open
    m_clock->advance(100);
    emit durations->aboutToHide();
    m_clock->advance(100);
    EXPECT_TRUE(m_peer->drain(50).isEmpty()) << "paused while any menu is open";
    emit actions->aboutToHide();
    EXPECT_EQ(alert->timeoutIndicatorValue(), notificationsTimeOut);
    m_clock->advance(notificationsTimeOut - 1);
    EXPECT_TRUE(m_peer->drain(50).isEmpty());
    m_clock->advance(1);
    EXPECT_EQ(m_peer->answers(1).size(), 1);
    EXPECT_EQ(m_clock->activeTimerCount(), 1) << "only the app's 30-second rule is left";

    // The sound item is titled by the menu's opening.
    alert = open(homePath("bin/menus2"));
    popSound = false;
    emit alert->processNameMenu->aboutToShow();
    EXPECT_EQ(alert->soundMenuItem->text(), "Enable notification sound");
    emit alert->processNameMenu->aboutToHide();

    // Touching the slider row leaves the minutes item chosen when the menu closes.
    emit alert->rememberPopupMenu->aboutToShow();
    alert->timeSlider->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    emit alert->rememberPopupMenu->aboutToHide();
    auto* timeButton = child<PopUpButton>(alert, "timeButton");
    EXPECT_EQ(timeButton->selectedItem(), alert->timeMenuItem);
    EXPECT_EQ(child<QPushButton>(alert, "advancedPass")->text(), "Pass this app for 11 minutes");
    // Choosing the slider row itself leaves the minutes item chosen too.
    timeButton->selectItemAtIndex(0);
    timeButton->menu()->triggered(alert->timeMenuChooser);
    EXPECT_EQ(timeButton->indexOfSelectedItem(), 2);
    EXPECT_EQ(notificationDefaultChoice, 2);
}

TEST_F(PANotifyWindowTest, FurtherChoicesAreRememberedAndHidingThemResetsTheAnswer)
{
    auto alert = open(homePath("bin/choices"));
    alert->actionMatrix->button(1)->click();
    EXPECT_EQ(child<QPushButton>(alert, "advancedPass")->text(), "Pass port 443");
    EXPECT_EQ(child<QPushButton>(alert, "advancedBlock")->text(), "Block port 443");
    alert->actionMatrix->button(2)->click();
    EXPECT_EQ(selectedActionRow, 2);
    auto* quiet = child<QCheckBox>(alert, "quietButton");
    auto* quietSlider = child<QSlider>(alert, "quietSlider");
    EXPECT_TRUE(quiet->isVisible());
    EXPECT_FALSE(quietSlider->isVisible());
    quiet->click();
    EXPECT_TRUE(quietSlider->isVisible());
    quietSlider->setValue(45);
    EXPECT_EQ(quiet->text(), "Silence for 45 seconds");
    EXPECT_EQ(quietTime, 45.0);

    alert->clickMoreOptions();
    EXPECT_FALSE(showMoreOptions);
    EXPECT_FALSE(userDefaults().boolForKey("showMoreOptions"));
    EXPECT_FALSE(child<QWidget>(alert, "matrixBox")->isVisible());
    EXPECT_EQ(alert->actionMatrix->selectedRow(), 0);
    EXPECT_EQ(child<QLabel>(alert, "moreOptionsString")->text(), "more options...");
    EXPECT_EQ(notificationDefaultChoice, 0);
    alert->clickMoreOptions();
    EXPECT_EQ(alert->actionMatrix->selectedRow(), 2);
    EXPECT_TRUE(userDefaults().boolForKey("showMoreOptions"));
    click(alert, "advancedPass");
    m_peer->answers(1);

    // The next alert opens on the same row, with the quiet switch off.
    alert = open(homePath("bin/choices"));
    EXPECT_EQ(alert->actionMatrix->selectedRow(), 2);
    EXPECT_FALSE(child<QCheckBox>(alert, "quietButton")->isChecked());
    EXPECT_FALSE(child<QSlider>(alert, "quietSlider")->isVisible());
    EXPECT_EQ(child<QCheckBox>(alert, "quietButton")->text(), "Silence for 45 seconds");
}

TEST_F(PANotifyWindowTest, SilencingAsksFirstAndThenPassesTheApp)
{
    auto alert = open(homePath("bin/noisy"));
    m_alerts.presenter().queueAnswer(AlertFirstButtonReturn);
    m_clock->advance(30);
    alert->clickSilenceBtn();
    EXPECT_EQ(m_alerts.presenter().shown().last().messageText, "Disable Notification Alerts?");
    EXPECT_EQ(alert->timeoutIndicatorValue(), notificationsTimeOut) << "kept: the count-down starts again";
    EXPECT_TRUE(m_peer->drain(50).isEmpty());

    m_alerts.presenter().queueAnswer(AlertSecondButtonReturn);
    alert->clickSilenceBtn();
    EXPECT_EQ(m_peer->answers(1), QStringList{alert->parameterOriginalRequestString + " 0 # #"});
    EXPECT_EQ(m_posts.first(), "silenceNotifications");
    EXPECT_FALSE(alert->myNotifyWindow()->isVisible());
}

TEST_F(PANotifyWindowTest, EnlargingKeepsTheTopEdgeAndTheGeometryIsRemembered)
{
    enableTolvaneInteraction = true;
    auto alert = open(homePath("bin/big"));
    QWidget* window = alert->myNotifyWindow();
    window->setGeometry(100, 200, 560, 175);
    alert->resizeNotification();

    EXPECT_EQ(window->geometry(), QRect(100, 200, 560, 372));
    alert->resizeNotification();
    EXPECT_EQ(window->geometry(), QRect(100, 200, 560, 175));
    window->setGeometry(100, 200, 560, 250);
    alert->resizeNotification();
    EXPECT_EQ(window->geometry(), QRect(100, 78, 560, 175)) << "the bottom edge moves up by 197";

    window->setGeometry(100, 200, 560, 372);
    click(alert, "advancedPass");
    m_peer->answers(1);
    EXPECT_EQ(notificationWindowHeight, 372.0);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(xoffset, screen.width() - 560 - 100);
    EXPECT_EQ(yoffset, 200);

    // A remembered tall window opens compact when the sibling tab is off.
    enableTolvaneInteraction = false;
    alert = open(homePath("bin/big"));
    EXPECT_EQ(alert->myNotifyWindow()->height(), 175);
}

TEST_F(PANotifyWindowTest, CommandsCopyPlayAndEndOnlyTheRequestsProcess)
{
    auto alert = open(homePath("bin/cmd"));
    alert->copyPortToClipboard();
    const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
    EXPECT_EQ(copied->text(), "443");
    EXPECT_EQ(copied->formats(), QStringList{"text/plain"});

    m_sounds.clear();
    popSound = true;
    alert->clickSoundBtn();
    EXPECT_FALSE(popSound);
    EXPECT_TRUE(m_sounds.played().isEmpty());
    alert->clickSoundBtn();
    EXPECT_TRUE(popSound);
    EXPECT_EQ(m_sounds.played(), QStringList{"Bottle.aiff"});

    // The terminate item is offered only for the console user's processes.
    EXPECT_TRUE(alert->terminateProcessMenuItem->isVisible());
    click(alert, "advancedPass");
    m_peer->answers(1);
    alert = open(homePath("bin/cmd"), "1.2.3.4", "80", "4242", QStringLiteral("999999"));
    EXPECT_FALSE(alert->terminateProcessMenuItem->isVisible());
    click(alert, "advancedPass");
    m_peer->answers(1);

    // A process whose pid now runs another program is left alone.
    QProcess child;
    child.start(QStringLiteral("/bin/sleep"), {QStringLiteral("30")});
    ASSERT_TRUE(child.waitForStarted(5000));
    ASSERT_TRUE(waitForExec(static_cast<pid_t>(child.processId()), QStringLiteral("/bin/sleep")));
    const QString pid = QString::number(child.processId());
    const auto arrive = [&](const QString& path) {
        auto arrived = std::make_shared<PANotifyWindowController>(road(), workQueues());
        const QString tag = holdQueueFor(arrived);
        arrived->setNotifyParameters(pid, path, QString::number(getuid()), "1.2.3.4", "80", "TCP", "4",
                                     "k " + pid, tag, "0");
        EXPECT_TRUE(processEventsUntil([&] { return arrived->notificationIsDisplayed; }));
        return arrived;
    };
    alert = arrive(homePath("bin/not-sleep"));
    alert->killProcess();
    EXPECT_FALSE(child.waitForFinished(200));
    click(alert, "advancedPass");
    m_peer->answers(1);
    alert = arrive(QStringLiteral("/bin/sleep"));
    alert->killProcess();
    EXPECT_TRUE(child.waitForFinished(5000));
}

TEST(PANotifyWindowDescriptionTest, TheSentenceAndItsBoldRuns)
{
    const auto plain = PANotifyWindowController::generateAttributedDescriptionWithProc(
        "Mail", "TCP", "1.2.3.4", "993", "alice", QString());
    EXPECT_EQ(plain.text, "alice using Mail is trying a TCP connection to  1.2.3.4 on port 993.");
    const auto located = PANotifyWindowController::generateAttributedDescriptionWithProc(
        "Mail", "TCP", "1.2.3.4", "993", "alice", "Italy");
    EXPECT_EQ(located.text, "alice using Mail is trying a TCP connection to Italy at 1.2.3.4 on port 993.");
    QStringList bold;
    for (const auto& [start, length] : located.boldRuns)
        bold << located.text.mid(start, length);
    EXPECT_EQ(bold, (QStringList{"TCP", "1.2.3.4", "993", "alice", "Mail", "Italy"}));
    EXPECT_EQ(plain.boldRuns.size(), 5) << "an empty country gets no run";
}

TEST(PANotifyWindowDescriptionTest, PicturesAreClippedToTheirOval)
{
    QImage square(40, 20, QImage::Format_ARGB32);
    square.fill(Qt::red);
    const QImage oval = PANotifyWindowController::arrotonda(square, 40, 20);
    EXPECT_EQ(oval.size(), square.size());
    EXPECT_EQ(qAlpha(oval.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(oval.pixel(39, 19)), 0);
    EXPECT_EQ(oval.pixelColor(20, 10), QColor(Qt::red));
}

TEST(PANotifyWindowDescriptionTest, AppNamesFromPaths)
{
    EXPECT_EQ(PANotifyWindowController::appDisplayNameForPath("/Applications/Foo.app/Contents/MacOS/foo"),
              "Foo");
    EXPECT_EQ(PANotifyWindowController::appDisplayNameForPath("/usr/bin/curl"), "curl");
    EXPECT_EQ(PANotifyWindowController::appDisplayNameForPath("/x/S.xpc/Contents/MacOS/S"), "S");
}

TEST_F(PANotifyWindowTest, Screenshots)
{
    const QString folder = QStringLiteral(PALISOR_TEST_BINARY_DIR "/screenshots");
    QDir().mkpath(folder);
    showMoreOptions = false;
    auto alert =
        open(QStringLiteral("/usr/bin/curl"), QStringLiteral("93.184.216.34"), QStringLiteral("443"));
    drainEvents();
    alert->myNotifyWindow()->grab().save(folder + QStringLiteral("/alert-compact.png"));
    alert->clickMoreOptions();
    alert->actionMatrix->button(2)->click();
    child<QCheckBox>(alert, "quietButton")->click();
    alert->resizeNotification();
    drainEvents();
    EXPECT_TRUE(alert->myNotifyWindow()->grab().save(folder + QStringLiteral("/alert-enlarged.png")));
}

// ------------------------------------------------------------------ look-ups

// Reports of the signing tool as a test sets them.
class RecordedCodeSigning : public CodeSigning
{
public:
    RecordedCodeSigning() { CodeSigning::setShared(this); }
    ~RecordedCodeSigning() override { CodeSigning::setShared(nullptr); }
    QString verify(const QString& path) override
    {
        paths.append(path);
        return verifyReport;
    }
    QString describe(const QString&) override
    {
        ++describes;
        return describeReport;
    }
    QString verifyReport;
    QString describeReport;
    // Asked from the look-up queue; read after it has finished.
    QStringList paths;
    int describes = 0;
};

QImage shownPicture(QLabel* label)
{
    return label->pixmap().toImage();
}

// Two pictures that differ at most by the rounding of their drawing.
bool looksAlike(const QImage& a, const QImage& b)
{
    if (a.size() != b.size() || a.isNull())
        return false;
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    qint64 difference = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int column = 0; column < x.width(); ++column) {
            const QRgb p = x.pixel(column, row), q = y.pixel(column, row);
            difference += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                          std::abs(qBlue(p) - qBlue(q)) + std::abs(qAlpha(p) - qAlpha(q));
        }
    return difference < 4LL * x.width() * x.height();
}

// A picture of three upright bands, saved as a PNG.
QString writeBands(const QString& path, QColor left, QColor middle, QColor right, QSize size = {30, 20})
{
    QImage image(size, QImage::Format_ARGB32);
    for (int x = 0; x < size.width(); ++x)
        for (int y = 0; y < size.height(); ++y)
            image.setPixelColor(x, y,
                                x < size.width() / 3       ? left
                                : x < 2 * size.width() / 3 ? middle
                                                           : right);
    EXPECT_TRUE(image.save(path, "PNG"));
    return path;
}

TEST_F(PANotifyWindowTest, TheHostNameAndTheServiceNameFillTheSentence)
{
    writeText(rootPath("/etc/services"), "ssh\t\t22/tcp\nhttps\t\t443/tcp\t\t# http over TLS\n");
    m_hostNames.answer("93.184.216.34", {"edge.example.net", "alias.example.net"});

    auto named = open(homePath("bin/curl"), "93.184.216.34", "443");
    EXPECT_FALSE(named->copyHostnameToClipboardItem->isVisible()) << "hidden until a name is found";
    finishLookUps();
    EXPECT_EQ(named->currentHostName, "edge.example.net");
    EXPECT_TRUE(named->copyHostnameToClipboardItem->isVisible());
    EXPECT_EQ(named->attributedAddress, "edge.example.net");
    EXPECT_EQ(named->attributedPort, "443 (https)");
    const QString sentence = child<QLabel>(named, "descriptionString")->text();
    EXPECT_TRUE(sentence.contains(">edge.example.net</span> on port <span")) << sentence.toStdString();
    EXPECT_TRUE(sentence.contains(">443 (https)</span>.")) << sentence.toStdString();
    named->copyHostnameToClipboardItem->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "edge.example.net");
    click(named, "advancedPass");
    m_peer->answers(1);

    // No name: the address as sent; a port no line names keeps a blank.
    auto unnamed = open(homePath("bin/curl"), "::ffff:10.9.8.7", "8080");
    finishLookUps();
    EXPECT_EQ(unnamed->currentHostName, QString());
    EXPECT_FALSE(unnamed->copyHostnameToClipboardItem->isVisible());
    EXPECT_EQ(unnamed->attributedAddress, "::ffff:10.9.8.7");
    EXPECT_EQ(unnamed->attributedPort, "8080 ");
    EXPECT_EQ(m_hostNames.asked(), (QStringList{"93.184.216.34", "::ffff:10.9.8.7"}));
    EXPECT_TRUE(m_runner.scriptCalls().isEmpty()) << "no shell reads the services";
}

TEST_F(PANotifyWindowTest, TheAddressClassOrTheCountryShowsWithItsFlag)
{
    FakeCountrySource countries;
    countries.addZone("it", {"93.184.216.0/24"});
    countries.addZone("zz", {"198.51.100.0/24"});
    countries.addZone("xx", {"203.0.113.0/24"});
    countries.setName("IT", "Italy");
    countries.setName("ZZ", "Nowhere Land");
    countries.setFlag("it", writeBands(homePath("it.png"), Qt::green, Qt::white, Qt::red));
    ScopedCountrySource scope(countries);
    const QImage terra =
        PANotifyWindowController::arrotonda(Resources::image("terra").pixmap(64, 64).toImage(), 64, 64);

    const struct
    {
        const char* address;
        const char* nation;
        const char* flag; // "bands", "terra", or an image's name
    } cases[] = {
        {"93.184.216.34", "Italy", "bands"},
        {"::ffff:93.184.216.34", "Italy", "bands"},
        {"198.51.100.7", "Nowhere Land", "terra"},    // no flag of that code
        {"203.0.113.9", "Unknown location", "terra"}, // a code without a name
        {"8.8.8.8", "Unknown location", "terra"},
        {"17.253.1.1", "Apple Corporate Network", "appleicon"},
        {"127.0.0.1", "Loopback Interface", "NSComputer"},
        {"172.31.255.255", "Local Area Network", "homelanicon"},
    };
    for (const auto& c : cases) {
        auto alert = open(homePath("bin/curl"), c.address, "443");
        finishLookUps();
        EXPECT_EQ(alert->attributedNation, c.nation) << c.address;
        const QString sentence = child<QLabel>(alert, "descriptionString")->text();
        EXPECT_TRUE(sentence.contains(QString(">%1</span> at ").arg(c.nation))) << sentence.toStdString();
        const QImage flag = shownPicture(child<QLabel>(alert, "nationFlag"));
        ASSERT_FALSE(flag.isNull()) << c.address;
        const int middle = flag.height() / 2;
        if (QLatin1String(c.flag) == QLatin1String("bands")) {
            // Its own proportions in the flag's place, clipped to the oval.
            EXPECT_EQ(flag.pixelColor(4, middle), QColor(Qt::green)) << c.address;
            EXPECT_EQ(flag.pixelColor(flag.width() / 2, middle), QColor(Qt::white)) << c.address;
            EXPECT_EQ(flag.pixelColor(flag.width() - 5, middle), QColor(Qt::red)) << c.address;
            EXPECT_EQ(qAlpha(flag.pixel(1, 2)), 0) << c.address;
        } else {
            const QImage expected =
                QLatin1String(c.flag) == QLatin1String("terra")
                    ? terra
                    : Resources::systemImage(QLatin1String(c.flag)).pixmap(64, 64).toImage();
            // Square pictures sit in the middle of the wider place.
            const QImage inMiddle =
                flag.copy((flag.width() - flag.height()) / 2, 0, flag.height(), flag.height());
            EXPECT_TRUE(looksAlike(
                inMiddle, expected.scaled(inMiddle.size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)))
                << c.address << " " << c.flag;
        }
        click(alert, "advancedPass");
        m_peer->answers(1);
    }

    // IPv6: no look-up, the frame behind the flag hidden.
    auto v6 = open(homePath("bin/curl"), "2001:db8::1", "443");
    finishLookUps();
    EXPECT_FALSE(child<QWidget>(v6, "flagBackground")->isVisible());
    EXPECT_EQ(v6->attributedNation, QString());
    EXPECT_FALSE(countries.searchedAddresses().contains("2001:db8::1"));
    EXPECT_TRUE(countries.searchedAddresses().contains("93.184.216.34")) << "mapped forms are searched bare";
    EXPECT_FALSE(countries.searchedAddresses().contains("::ffff:93.184.216.34"));
}

TEST_F(PANotifyWindowTest, WithoutZonesNoAddressIsClassified)
{
    // The country table of a machine without zone files.
    FakeCountrySource countries;
    ScopedCountrySource scope(countries);
    for (const char* address : {"127.0.0.1", "10.1.2.3", "93.184.216.34"}) {
        auto alert = open(homePath("bin/curl"), address, "443");
        finishLookUps();
        EXPECT_EQ(alert->attributedNation, QString()) << address;
        EXPECT_TRUE(shownPicture(child<QLabel>(alert, "nationFlag")).isNull()) << address;
        EXPECT_TRUE(child<QWidget>(alert, "flagBackground")->isVisible()) << address;
        click(alert, "advancedPass");
        m_peer->answers(1);
    }
}

TEST_F(PANotifyWindowTest, ALookUpThatEndsAfterTheAnswerTouchesNothing)
{
    FakeCountrySource countries;
    countries.addZone("it", {"93.184.216.0/24"});
    ScopedCountrySource scope(countries);
    RecordedCodeSigning signing;
    signing.verifyReport = "/x: a sealed resource is missing or invalid\n";
    signing.describeReport = "Authority=Developer ID Application: Jane Roe\n";
    m_hostNames.answer("93.184.216.34", {"late.example.net"});
    m_hostNames.close();

    auto alert = open(homePath("bin/curl"), "93.184.216.34", "443");
    ASSERT_TRUE(m_hostNames.waitForAsked(1));
    // The look-ups' results are on their way while the user answers.
    alert->clickGetSignatureInfo();
    workQueues().findFlagQueue().waitForDone();
    workQueues().lookUps().waitForDone();
    // A click that turns no event loop, so the results still wait in it.
    child<QPushButton>(alert, "advancedBlock")->click();
    EXPECT_EQ(m_peer->answers(1), QStringList{alert->parameterOriginalRequestString + " 1 # #"});
    m_hostNames.open();
    finishLookUps();
    EXPECT_EQ(alert->currentHostName, QString());
    EXPECT_EQ(alert->attributedAddress, "93.184.216.34");
    EXPECT_EQ(alert->attributedNation, QString());
    EXPECT_FALSE(alert->copyHostnameToClipboardItem->isVisible());
    EXPECT_TRUE(shownPicture(child<QLabel>(alert, "nationFlag")).isNull());
    EXPECT_EQ(child<QLabel>(alert, "processSignatureValidity")->text(), QString());
    EXPECT_FALSE(child<QLabel>(alert, "ledInvalidSignature")->isVisibleTo(alert->myNotifyWindow()));

    // A controller that is gone by the time its results come.
    m_hostNames.close();
    alert = open(homePath("bin/curl"), "93.184.216.34", "443");
    ASSERT_TRUE(m_hostNames.waitForAsked(2));
    click(alert, "advancedPass");
    m_peer->answers(1);
    QPointer<PANotifyWindowController> gone(alert.get());
    alert.reset();
    drainEvents(); // the road lets its last reference go on a later turn
    EXPECT_FALSE(gone) << "the look-up holds no strong reference";
    m_hostNames.open();
    finishLookUps();
}

TEST_F(PANotifyWindowTest, TheSignatureCheckShowsItsTextsAndSwitchesLightsOnOnly)
{
    RecordedCodeSigning signing;
    auto alert = open(homePath("bin/My \"App\"; rm -rf x"), "10.1.2.3", "443");
    alert->resizeNotification();
    QWidget* window = alert->myNotifyWindow();
    const auto lit = [&](const char* light) { return child<QLabel>(alert, light)->isVisibleTo(window); };
    EXPECT_FALSE(lit("ledInvalidSignature") || lit("ledNoSignature") || lit("ledAppleSignature"));
    EXPECT_TRUE(child<QLabel>(alert, "signatureinfoString")->isVisibleTo(window));

    const struct
    {
        const char* verify;
        const char* describe;
        const char* validity;
        const char* author;
        int describes;
        std::array<bool, 3> lights; // invalid, none, Apple
    } steps[] = {
        {"",
         "Authority=Apple Mac OS Application Signing\nAuthority=Apple Root CA\n",
         "valid signature",
         "signed by Apple",
         1,
         {false, false, true}},
        {"/x: invalid signature (code or signature have been modified)\n",
         "Identifier=x\nAuthority=Developer ID Application: Jane Roe (AB12)\nAuthority=Software Signing\n",
         "invalid signature",
         "signed by Jane Roe (AB12)",
         2,
         {true, false, true}},
        // Not signed: no second report, the author as it was.
        {"/x: code object is not signed at all\n",
         "Authority=Software Signing\n",
         "missing signature",
         "signed by Jane Roe (AB12)",
         2,
         {true, true, true}},
    };
    QPushButton* button = child<QPushButton>(alert, "getSignatureButton");
    for (const auto& step : steps) {
        // Set before the check starts: the check reads them on its worker.
        signing.verifyReport = QLatin1String(step.verify);
        signing.describeReport = QLatin1String(step.describe);
        if (&step == &steps[0])
            button->click();
        else
            alert->clickGetSignatureInfo();
        finishLookUps();
        EXPECT_EQ(child<QLabel>(alert, "processSignatureValidity")->text(), step.validity);
        EXPECT_EQ(child<QLabel>(alert, "processSignatureAuthor")->text(), step.author);
        EXPECT_EQ(signing.describes, step.describes);
        const std::array<bool, 3> lights{lit("ledInvalidSignature"), lit("ledNoSignature"),
                                         lit("ledAppleSignature")};
        EXPECT_EQ(lights, step.lights) << step.validity;
    }
    EXPECT_FALSE(button->isVisibleTo(window));
    EXPECT_FALSE(child<QLabel>(alert, "signatureinfoString")->isVisibleTo(window));
    EXPECT_EQ(signing.paths, QStringList(3, alert->parameterProcessName)) << "the path is one argument";
    EXPECT_TRUE(m_runner.scriptCalls().isEmpty());
    EXPECT_TRUE(m_runner.runCalls().isEmpty());
}

TEST_F(PANotifyWindowTest, TheOwnersPictureFollowsTheAccountRules)
{
    const std::optional<QString> daemonName = Identities::userName(1);
    ASSERT_TRUE(daemonName) << "uid 1 has an account on every Debian system";
    Identity withPicture;
    withPicture.posixName = *daemonName;
    withPicture.imagePath = writeBands(homePath("face.png"), Qt::red, Qt::red, Qt::red, {40, 40});
    Identity rootsOwn;
    rootsOwn.posixName = QStringLiteral("root");
    rootsOwn.imagePath = withPicture.imagePath;
    systemUsersList = {rootsOwn, withPicture};

    const QImage computer = Resources::systemImage("NSComputer").pixmap(96, 96).toImage();
    const QImage guest = Resources::image("guestusericon").pixmap(96, 96).toImage();
    ASSERT_FALSE(guest.isNull());
    const struct
    {
        QString uid;
        QImage expected; // null: the account's own picture
    } cases[] = {
        {"-1", computer}, {"0", computer},                           // root, even with a picture of its own
        {"201", guest},   {"1", QImage()}, {"4000000000", computer}, // no account: nothing matched
    };
    for (const auto& c : cases) {
        auto alert = open(homePath("bin/curl"), "10.1.2.3", "443", "4242", c.uid);
        finishLookUps();
        const QImage shown = shownPicture(child<QLabel>(alert, "userPicture"));
        if (c.expected.isNull()) {
            EXPECT_EQ(shown.size(), QSize(40, 40));
            EXPECT_EQ(shown.pixelColor(20, 20), QColor(Qt::red));
            EXPECT_EQ(qAlpha(shown.pixel(0, 0)), 0) << "clipped to its oval";
        } else {
            EXPECT_EQ(shown, c.expected.convertToFormat(shown.format())) << c.uid.toStdString();
        }
        click(alert, "advancedPass");
        m_peer->answers(1);
    }
}

TEST_F(PANotifyWindowTest, WhoisWritesTheCleanedRecordAndRunsNoShell)
{
    m_runner.answerCheckedRun("/usr/bin/whois", {"93.184.216.34"},
                              "# ARIN WHOIS data\n% Note: x\nNetName: EDGE\nOrgName: Example #1");
    const struct
    {
        const char* address;
        const char* written;
    } cases[] = {
        {"93.184.216.34", "ARIN WHOIS data\nNote: x\nNetName: EDGE\nOrgName: Example 1\n"},
        {"2001:db8::1", "ERROR\n"},             // the tool failed
        {"-h evil.example 1.2.3.4", "ERROR\n"}, // no address: never run
        {"1.2.3.4; touch /tmp/x", "ERROR\n"},
    };
    for (const auto& c : cases) {
        auto alert = open(homePath("bin/curl"), c.address, "443");
        finishLookUps();
        testing::internal::CaptureStdout();
        alert->clickWhois();
        finishLookUps();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.written) << c.address;
        click(alert, "advancedPass");
        m_peer->answers(1);
    }
    const QList<ScriptedCommandRunner::RunCall> expected{{"/usr/bin/whois", {"93.184.216.34"}},
                                                         {"/usr/bin/whois", {"2001:db8::1"}}};
    EXPECT_EQ(m_runner.checkedRunCalls(), expected);
    EXPECT_TRUE(m_runner.scriptCalls().isEmpty());
}

TEST_F(PANotifyWindowTest, ScreenshotsWithTheLookUpsFilledIn)
{
    const QString folder = QStringLiteral(PALISOR_TEST_BINARY_DIR "/screenshots");
    QDir().mkpath(folder);
    writeText(rootPath("/etc/services"), "https\t\t443/tcp\nmicrosoft-ds\t445/tcp\nssh\t\t22/tcp\n");
    FakeCountrySource countries;
    countries.addZone("it", {"93.184.216.0/24"});
    countries.setName("IT", "Italy");
    countries.setFlag(
        "it", writeBands(homePath("it.png"), QColor(0, 146, 70), Qt::white, QColor(206, 43, 55), {60, 40}));
    ScopedCountrySource scope(countries);
    m_hostNames.answer("93.184.216.34", {"edge.example.net"});
    RecordedCodeSigning signing;
    signing.verifyReport = "/usr/bin/curl: code object is not signed at all\n";
    // The owner of the first two has a picture of their own.
    if (const std::optional<QString> owner = Identities::userName(1)) {
        Identity account;
        account.posixName = *owner;
        account.imagePath = writeBands(homePath("face.png"), QColor(70, 110, 200), QColor(240, 200, 150),
                                       QColor(70, 110, 200), {64, 64});
        systemUsersList = {account};
    }

    const struct
    {
        const char* file;
        const char* address;
        const char* port;
        QString uid;
    } shots[] = {
        {"alert-public-country.png", "93.184.216.34", "443", "1"},
        {"alert-lan.png", "192.168.1.20", "445", "1"},
        {"alert-root-process.png", "8.8.8.8", "22", "0"},
    };
    for (const auto& shot : shots) {
        auto alert = open(QStringLiteral("/usr/bin/curl"), shot.address, shot.port, "4242", shot.uid);
        alert->resizeNotification();
        alert->clickGetSignatureInfo();
        finishLookUps();
        EXPECT_TRUE(
            alert->myNotifyWindow()->grab().save(folder + QLatin1Char('/') + QLatin1String(shot.file)));
        click(alert, "advancedPass");
        m_peer->answers(1);
    }
}

} // namespace

namespace {

// The alert dragged by its background with the pointer driven as the display
// drives it: every position is a point on the screen, turned into the
// window's own only as each event goes out, since the window moves under it.
// Suites named "...OnDisplay" also run on a real X server.
class PANotifyWindowOnDisplay : public PANotifyWindowTest
{
protected:
    void press(QWindow* window, QPoint global)
    {
        QTest::mousePress(window, Qt::LeftButton, {}, window->mapFromGlobal(global));
    }
    void moveTo(QWindow* window, QPoint global) { QTest::mouseMove(window, window->mapFromGlobal(global)); }
    void release(QWindow* window, QPoint global)
    {
        QTest::mouseRelease(window, Qt::LeftButton, {}, window->mapFromGlobal(global));
    }

    // A point of `area` that no control covers.
    static QPoint background(QWidget* window, QWidget* area)
    {
        for (int y = 2; y < area->height(); y += 3)
            for (int x = 2; x < area->width(); x += 3) {
                const QPoint point = area->mapTo(window, QPoint(x, y));
                if (window->childAt(point) == area)
                    return point;
            }
        ADD_FAILURE() << "no bare background in " << area->objectName().toStdString();
        return QPoint();
    }

    static bool exposed(QWidget* window) { return QTest::qWaitForWindowExposed(window); }
};

} // namespace

TEST_F(PANotifyWindowOnDisplay, DraggingByTheBackgroundEndsOnEveryReleaseHoweverQuick)
{
    // Steps: P press, M moves the pointer with the button down, R release,
    // m moves it with the button up, D the window loses the focus. Each move
    // goes 40 right and 30 down of the last.
    const struct
    {
        const char* name;
        const char* steps;
        QPoint moved;
    } cases[] = {
        {"a tap", "PRmm", {0, 0}},
        {"a release before any move", "PRmMm", {0, 0}},
        {"a drag", "PMMRmm", {80, 60}},
        {"a drag dropped with the focus", "PMDMRm", {40, 30}},
        {"a second drag", "PMRmPMRm", {80, 60}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto alert = open(homePath("bin/dragged"));
        QWidget* window = alert->myNotifyWindow();
        ASSERT_TRUE(exposed(window));
        QWindow* handle = window->windowHandle();
        QPoint pointer = window->mapToGlobal(background(window, child<QWidget>(alert, "compactArea")));
        const QPoint start = window->pos();
        for (const char step : std::string_view(c.steps)) {
            switch (step) {
            case 'P':
                press(handle, pointer);
                break;
            case 'R':
                release(handle, pointer);
                break;
            case 'M':
            case 'm':
                pointer += QPoint(40, 30);
                moveTo(handle, pointer);
                break;
            case 'D': {
                QEvent deactivate(QEvent::WindowDeactivate);
                QCoreApplication::sendEvent(window, &deactivate);
                break;
            }
            }
            drainEvents();
        }
        EXPECT_EQ(window->pos() - start, c.moved) << c.steps;
        click(alert, "advancedPass");
        m_peer->answers(1);
    }
}

// "more options..." takes its own release to switch the options; the press
// on it began a drag all the same, which must end there.
TEST_F(PANotifyWindowOnDisplay, AQuickClickOnMoreOptionsLeavesTheAlertWhereItIs)
{
    auto alert = open(homePath("bin/dragged"));
    QWidget* window = alert->myNotifyWindow();
    ASSERT_TRUE(exposed(window));
    QWindow* handle = window->windowHandle();
    auto* more = child<QLabel>(alert, "moreOptionsString");
    QPoint pointer = more->mapToGlobal(more->rect().center());
    const bool shown = showMoreOptions;
    press(handle, pointer);
    release(handle, pointer);
    drainEvents();
    EXPECT_NE(showMoreOptions, shown) << "the click still switches the options";

    const QPoint settled = window->pos();
    for (int step = 0; step < 2; ++step) {
        pointer += QPoint(25, -20);
        moveTo(handle, pointer);
        drainEvents();
    }
    EXPECT_EQ(window->pos(), settled) << "the alert does not follow the pointer";
}
