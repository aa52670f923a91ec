#include "app/AppDelegate.h"

#include "alerts/PANotifyWindowController.h"
#include "app/MainInterface.h"
#include "app/PAInstaller.h"
#include "core/PAApplication.h"
#include "core/PAConfiguration.h"
#include "core/PAPreferenceTable.h"
#include "core/SharedState.h"
#include "daemonlink/managesocketagent.h"
#include "mainwindow/PAController.h"
#include "platform/Authorization.h"
#include "platform/KeyedArchive.h"
#include "platform/PropertyList.h"
#include "platform/SystemVersion.h"
#include "platform/TerminationSignals.h"
#include "platform/UnixSocket.h"
#include "platform/UserDefaults.h"
#include "platform/widgets/Appearance.h"
#include "platform/widgets/DialogAlertPresenter.h"
#include "setup/PACustomPreset.h"
#include "setup/PACustomPresetsWindowController.h"
#include "support/ConfigurationRecords.h"
#include "support/DaemonPeer.h"
#include "support/EventLoop.h"
#include "support/ProcessWaits.h"
#include "support/widgets/AgentFixture.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class ScriptedAuthorization : public Authorization
{
public:
    void requestRight(const QString& actionId, std::function<void(Answer)> completion) override
    {
        actions << actionId;
        pending.push_back(std::move(completion));
    }
    void answer(Answer given)
    {
        auto completion = std::move(pending.front());
        pending.erase(pending.begin());
        completion(given);
    }
    QStringList actions;
    std::vector<std::function<void(Answer)>> pending;
};

class AppDelegateTest : public AgentFixture
{
protected:
    void SetUp() override
    {
        AgentFixture::SetUp();
        // The run folder of an installed system: start() binds the agent's socket there.
        QDir().mkpath(rootPath(QStringLiteral("/var/run/palisor/agent")));
    }

    void TearDown() override
    {
        managesocketagent::stopReceiving();
        AgentFixture::TearDown();
    }

    AppDelegate& delegate() { return *m_interface->appDelegate(); }

    // The apps of the one configuration sent to the daemon so far.
    QStringList sentAppNames()
    {
        const auto written = postsNamed(QStringLiteral("writePalisorConfiguration"));
        EXPECT_EQ(written.size(), 1);
        if (written.isEmpty())
            return {};
        const auto records = KeyedArchive::unarchive(
            written.at(0).userInfo.value(QStringLiteral("PalisorConfiguration")).toByteArray());
        QStringList names;
        for (const QVariant& record : records.value_or(QVariant()).toList())
            if (record.toMap().contains(QStringLiteral("appName")))
                names << record.toMap().value(QStringLiteral("appName")).toString();
        return names;
    }

    void writeConfiguration(const QVariantList& records)
    {
        writePlist(rootPath(QStringLiteral("/etc/palisor.conf")), records);
    }
};

TEST(SystemVersionTest, TheBranchComparesMajorMinorPatch)
{
    EXPECT_TRUE(SystemVersion::isAtLeast({10, 13, 0}, 10, 13));
    EXPECT_FALSE(SystemVersion::isAtLeast({10, 12, 6}, 10, 13));
    EXPECT_TRUE(SystemVersion::isAtLeast({11, 0, 0}, 10, 13));
    EXPECT_FALSE(SystemVersion::current().has_value()) << "Linux reports none: the older-system side";
}

TEST_F(AppDelegateTest, ANotReadyInstallationEndsWithTheReinstallAlertAndSendsNothing)
{
    skipSaveOnQuit = true;
    delegate().readinessChecked(false);
    ASSERT_EQ(m_alerts->shown().size(), 1);
    EXPECT_EQ(m_alerts->shown().at(0).messageText, "ERROR");
    EXPECT_TRUE(delegate().hasTerminated());
    EXPECT_TRUE(postsNamed(QStringLiteral("writePalisorConfiguration")).isEmpty())
        << "an agent that never loaded a configuration must not replace the daemon's";
}

TEST_F(AppDelegateTest, StartLoadsTheConfigurationAndTerminationSendsIt)
{
    writeConfiguration({plainAppRecord(QStringLiteral("curl"), 1)});
    skipSaveOnQuit = true;
    controller().mainToolbar()->hide();
    delegate().start();
    EXPECT_EQ(sharedAppsLibrary.size(), 1u);
    EXPECT_FALSE(postsNamed(QStringLiteral("startAgent")).isEmpty());
    EXPECT_FALSE(controller().mainToolbar()->isHidden());
    // The load's indicator was shown and, once the rules went out, stopped.
    ASSERT_TRUE(controller().progr);
    EXPECT_FALSE(controller().progr->isHidden());
    drainEvents();
    EXPECT_EQ(controller().progr->maximum(), 1);
    EXPECT_TRUE(m_alerts->shown().isEmpty()) << "no welcome with a configuration file";

    delegate().terminate();
    EXPECT_EQ(sentAppNames(), QStringList{"curl"});
    EXPECT_TRUE(postsNamed(QStringLiteral("stopKext")).isEmpty());
    delegate().terminate();
    EXPECT_EQ(postsNamed(QStringLiteral("writePalisorConfiguration")).size(), 1) << "the handler runs once";
}

// Every setting saved at quit used to rewrite the whole preferences file; a
// large one made quitting take seconds.
TEST_F(AppDelegateTest, TheSettingsSavedAtQuitGoOutInOneWrite)
{
    writeConfiguration({plainAppRecord(QStringLiteral("curl"), 1)});
    skipSaveOnQuit = true;
    delegate().start();
    ASSERT_FALSE(skipSaveOnQuit);
    ASSERT_TRUE(delegate().window);
    delegate().window->resize(delegate().window->width(), 432);
    const quint64 before = userDefaults().writeCount();
    delegate().terminate();
    EXPECT_EQ(userDefaults().writeCount(), before + 1);
    const UserDefaults onDisk(userDefaults().filePath());
    EXPECT_EQ(onDisk.doubleForKey(QStringLiteral("mainWindowHeight")), delegate().window->height());
    for (const PAColorSetting& row : PASettings::colors())
        if (row.writtenWithConfiguration)
            EXPECT_EQ(onDisk.objectForKey(QLatin1String(row.defaultsKey)),
                      userDefaults().objectForKey(QLatin1String(row.defaultsKey)))
                << row.defaultsKey;
}

// The daemon's requests reach whichever socket holds the path: another
// agent's live one keeps it, and only a stale file is replaced.
TEST_F(AppDelegateTest, TheDaemonSocketOfAnotherAgentIsNeverTaken)
{
    sockaddr_un address;
    socklen_t length = 0;
    ASSERT_TRUE(UnixSocket::address(managesocketagent::agentSocketPath(), &address, &length));
    const int other = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::bind(other, reinterpret_cast<const sockaddr*>(&address), length), 0);
    struct stat bound;
    ASSERT_EQ(::stat(address.sun_path, &bound), 0);

    QString error;
    EXPECT_FALSE(managesocketagent::setUpSocket(&error));
    EXPECT_TRUE(error.contains(QStringLiteral("in use"))) << error.toStdString();
    struct stat after;
    ASSERT_EQ(::stat(address.sun_path, &after), 0);
    EXPECT_EQ(after.st_ino, bound.st_ino);
    const int sender = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(::sendto(sender, "7", 1, 0, reinterpret_cast<const sockaddr*>(&address), length), 1);
    ::close(sender);
    char byte = 0;
    EXPECT_EQ(::recv(other, &byte, 1, MSG_DONTWAIT), 1) << "the request reached the other agent";

    ::close(other);
    EXPECT_TRUE(managesocketagent::setUpSocket(&error)) << error.toStdString();
}

TEST_F(AppDelegateTest, AMalformedStartUpConfigurationIsNeverSentBack)
{
    writeText(rootPath(QStringLiteral("/etc/palisor.conf")), "not a property list");
    skipSaveOnQuit = true;
    delegate().start();
    delegate().terminate();
    EXPECT_TRUE(postsNamed(QStringLiteral("writePalisorConfiguration")).isEmpty());
}

// One flipped letter in the wrapper's class once read as an empty
// configuration: every app passed, and at exit that replaced the user's rules.
TEST_F(AppDelegateTest, ADamagedWrapperAtStartUpIsRefusedAndNeverSentBack)
{
    writePlist(rootPath(QStringLiteral("/etc/palisor.conf")),
               QVariantList{QVariantMap{
                   {"PalisorClassName", QStringLiteral("PalisorConfiguratioo")},
                   {"PalisorConfiguration",
                    KeyedArchive::archive(QVariantList{plainAppRecord(QStringLiteral("curl"), 1)})},
                   {"PalisorVersion", QStringLiteral("1.0.0")}}});
    skipSaveOnQuit = true;
    enableNotifications = true;
    delegate().start();
    EXPECT_TRUE(skipSaveOnQuit);
    EXPECT_TRUE(enableNotifications) << "the alerts stay as they were";
    EXPECT_TRUE(postsNamed(QStringLiteral("newAppListReceived")).isEmpty());
    delegate().terminate();
    EXPECT_TRUE(postsNamed(QStringLiteral("writePalisorConfiguration")).isEmpty());
}

TEST_F(AppDelegateTest, ARequestThatWaitedWhileTheRulesLoadedIsAnsweredFromThem)
{
    const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    QVariantMap blocked = plainAppRecord(QFileInfo(self).fileName(), 1);
    blocked.insert(QStringLiteral("appPath"), self);
    blocked.insert(QStringLiteral("appBinaries"), QVariantList{self});
    writeConfiguration({QVariantMap{{"PalisorClassName", QStringLiteral("PAPreferences")},
                                    {"enableNotifications", true},
                                    {"automaticXPC", true}},
                        blocked});
    DaemonPeer daemon;
    ASSERT_TRUE(daemon.isBound());
    // The socket is open before the load; the daemon's request waits in it.
    ASSERT_TRUE(managesocketagent::prepareSocket());
    const QString request = QStringLiteral("k7 1.2.3.4 80 %1 TCP 4 0").arg(getpid());
    ASSERT_TRUE(daemon.send(request));
    delegate().start();
    EXPECT_EQ(daemon.answers(1), QStringList{request + " 1 # #"});
}

TEST_F(AppDelegateTest, AConfigurationLoadedAfterARefusedOneIsSentAtQuit)
{
    writeText(rootPath(QStringLiteral("/etc/palisor.conf")), "not a property list");
    skipSaveOnQuit = true;
    delegate().start();
    ASSERT_TRUE(skipSaveOnQuit);
    // The user then imports rules of their own and quits.
    const QString imported = rootPath(QStringLiteral("/imported.conf"));
    writePlist(imported, QVariantList{plainAppRecord(QStringLiteral("wget"), 1)});
    ASSERT_TRUE(configuration().loadConf(imported));
    delegate().terminate();
    EXPECT_EQ(sentAppNames(), QStringList{"wget"});
}

// The launch reopens standard error onto the agent's log: keep the runner's.
class KeptStandardError
{
public:
    KeptStandardError()
        : m_saved(dup(STDERR_FILENO))
    {
    }
    ~KeptStandardError()
    {
        dup2(m_saved, STDERR_FILENO);
        close(m_saved);
    }

private:
    int m_saved;
};

TEST_F(AppDelegateTest, LaunchWaitsForTheInstallationThenGivesUpWithTheReinstallAlert)
{
    KeptStandardError keep;
    delegate().applicationDidFinishLaunching();
    EXPECT_EQ(postsNamed(QStringLiteral("startKext")).size(), 1);
    m_clock->advance(5);
    drainEvents();
    EXPECT_TRUE(m_alerts->shown().isEmpty()) << "still trying after five seconds";
    m_clock->advance(1);
    ASSERT_TRUE(processEventsUntil([&] { return !m_alerts->shown().isEmpty(); }));
    EXPECT_EQ(m_alerts->shown().last().messageText, "ERROR");
    EXPECT_TRUE(delegate().hasTerminated());
    EXPECT_FALSE(delegate().hasStarted());
    EXPECT_TRUE(postsNamed(QStringLiteral("writePalisorConfiguration")).isEmpty());
    EXPECT_TRUE(QFile::exists(homePath(QStringLiteral("Library/Logs/palisor.log"))));
}

// Every window the agent puts on screen is titled "Palisor", or by a name of
// its own; the executable's file name shows nowhere. A window manager shows a
// window's title, or the program's name where the title is empty.
TEST_F(AppDelegateTest, EveryWindowIsTitledPalisorOrByItsOwnName)
{
    KeptStandardError keep;
    const auto shownTitle = [](const QWidget* window) {
        return window->windowTitle().isEmpty() ? QGuiApplication::applicationDisplayName()
                                               : window->windowTitle();
    };
    delegate().applicationDidFinishLaunching();
    controller().showAboutWindow();
    controller().openLegenda(controller().window());
    PANotifyWindowController connectionAlert(road(), workQueues());
    connectionAlert.showWindow();
    Alert warning;
    warning.messageText = QStringLiteral("Warning");
    DialogAlertPresenter dialogs;
    dialogs.beginSheet(warning, delegate().window, {});
    QMessageBox* sheet = delegate().window->findChild<QMessageBox*>();
    ASSERT_TRUE(sheet);

    struct Row
    {
        const char* window;
        QWidget* widget;
        QString title;
    };
    const Row rows[] = {
        {"main window", delegate().window, QStringLiteral("Palisor")},
        {"start panel", m_interface->installer()->startPanel(), QStringLiteral("Palisor")},
        {"about window", controller().aboutWindow(), QStringLiteral("About Palisor")},
        {"connection alert", connectionAlert.myNotifyWindow(), QStringLiteral("Palisor")},
        {"sheet", sheet, QStringLiteral("Palisor")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.window);
        ASSERT_TRUE(row.widget);
        EXPECT_EQ(shownTitle(row.widget), row.title);
    }
    // And whatever else is on screen (popovers) shows the program's name.
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible() || window->windowType() == Qt::Popup ||
            window->windowType() == Qt::ToolTip ||
            std::any_of(std::begin(rows), std::end(rows),
                        [&](const Row& row) { return row.widget == window; }))
            continue;
        EXPECT_EQ(shownTitle(window), QStringLiteral("Palisor"))
            << window->metaObject()->className() << " " << window->objectName().toStdString();
    }
    sheet->close();
}

TEST_F(AppDelegateTest, LaunchStartsAReadyInstallation)
{
    KeptStandardError keep;
    const QString kext = rootPath(QStringLiteral("/Library/Extensions/palisornke.kext/Contents/Info.plist"));
    writePlist(kext, QVariantMap{{"CFBundleVersion", QStringLiteral("2.1.0")}});
    QDir().mkpath(rootPath(QStringLiteral("/sys/module/palisornke")));
    writePlist(rootPath(QStringLiteral("/Library/LaunchDaemons/zz.tolvane.palisorafd.plist")), QVariantMap{});
    const QString daemon = rootPath(QStringLiteral("/bin/palisorafd"));
    QDir().mkpath(QFileInfo(daemon).absolutePath());
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), daemon));
    QFile::setPermissions(daemon, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    QProcess running;
    running.start(daemon, {QStringLiteral("30")});
    ASSERT_TRUE(running.waitForStarted());
    ASSERT_TRUE(waitForExec(static_cast<pid_t>(running.processId()), daemon));

    delegate().applicationDidFinishLaunching();
    ASSERT_TRUE(processEventsUntil([&] { return delegate().hasStarted(); }));
    EXPECT_EQ(m_center->postedNames().first(), "startKext");
    EXPECT_TRUE(m_center->postedNames().contains(QStringLiteral("startAgent")));
    EXPECT_FALSE(configurationVersion.isEmpty()) << "the bundle's version";
    running.kill();
    running.waitForFinished();
}

TEST_F(AppDelegateTest, OpeningTheCustomPresetsListsThem)
{
    const QString folder = rootPath(QStringLiteral("/Users/Shared/Palisor"));
    writePlist(folder + QStringLiteral("/office.plist"),
               QVariantList{QVariantMap{{"PalisorClassName", QStringLiteral("PAPreferences")},
                                        {"presetName", QStringLiteral("Office")},
                                        {"presetLocationID", QStringLiteral("L1")}}});
    delegate().openCustomPresetsWindow();
    const auto& presets = m_interface->customPresetsController()->customPresetsLibrary;
    ASSERT_EQ(presets.size(), 1u);
    EXPECT_EQ(presets.front()->presetName(), "Office");
}

TEST_F(AppDelegateTest, ThemeTable)
{
    QWidget* window = delegate().window;
    ASSERT_NE(window, nullptr);
    const auto background = [&] { return window->palette().color(QPalette::Window); };
    struct Row
    {
        int theme;
        const char* system;
        bool dark;
        bool white;
    };
    const Row rows[] = {{1, "light", true, false},
                        {0, "dark", false, true},
                        {2, "light", false, true},
                        {2, "dark", true, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.theme);
        ScopedEnvironmentVariable system("PALISOR_APPEARANCE", row.system);
        currentTheme = row.theme;
        delegate().applyTheme();
        EXPECT_EQ(background() == QColor(Qt::white), row.white);
        EXPECT_EQ(background() == Appearance::darkPalette().color(QPalette::Window), row.dark);
    }
    window->setPalette(QPalette());
    const QColor before = background();
    currentTheme = 5;
    delegate().applyTheme();
    EXPECT_EQ(background(), before) << "a theme without meaning leaves the window as it is";
}

TEST_F(AppDelegateTest, FirewallSwitchesPostInTheirOrder)
{
    delegate().disableFirewall();
    EXPECT_FALSE(firewallEnabled);
    delegate().enableFirewall();
    EXPECT_TRUE(firewallEnabled);
    EXPECT_EQ(m_center->postedNames(), (QStringList{"stopKext", "startAgent", "startKext"}));
    EXPECT_EQ(m_center->posts().at(0).object, "zz.palisor.stop");
}

TEST_F(AppDelegateTest, LockAndUnlock)
{
    ScriptedAuthorization authorization;
    Authorization::setShared(&authorization);
    enableNotifications = false;
    delegate().lockUnlockFirewall();
    ASSERT_TRUE(processEventsUntil([] { return isLocked; }));
    drainEvents();
    EXPECT_TRUE(m_alerts->shown().isEmpty()) << "no question with alerts off";
    EXPECT_EQ(postsNamed(QStringLiteral("writePalisorConfiguration")).size(), 1);

    // A refused unlock stays locked, holds later items meanwhile, and still
    // sends the configuration.
    delegate().lockUnlockFirewall();
    ASSERT_TRUE(processEventsUntil([&] { return !authorization.pending.empty(); }));
    EXPECT_EQ(authorization.actions.at(0), "zz.tolvane.palisor.unlock");
    bool later = false;
    synchronizedQueue().asyncBarrier([&] { later = true; });
    drainEvents();
    EXPECT_FALSE(later);
    authorization.answer(Authorization::Answer::Refused);
    EXPECT_TRUE(isLocked);
    EXPECT_TRUE(processEventsUntil([&] { return later; }));
    EXPECT_EQ(postsNamed(QStringLiteral("writePalisorConfiguration")).size(), 2);

    delegate().lockUnlockFirewall();
    ASSERT_TRUE(processEventsUntil([&] { return !authorization.pending.empty(); }));
    authorization.answer(Authorization::Answer::Authorised);
    EXPECT_FALSE(isLocked);
    Authorization::setShared(nullptr);

    // Locking with alerts on asks first.
    enableNotifications = true;
    m_alerts->queueAnswer(AlertSecondButtonReturn);
    delegate().lockUnlockFirewall();
    ASSERT_TRUE(processEventsUntil([&] { return !m_alerts->shown().isEmpty(); }));
    EXPECT_EQ(m_alerts->shown().at(0).buttons.at(1), "Keep notification alerts enabled");
    EXPECT_TRUE(enableNotifications);
    EXPECT_TRUE(isLocked);
}

// A refusal was shown by the authentication dialog; an unlock that could ask
// nobody says why, in a sheet on the main window, and stays locked.
TEST_F(AppDelegateTest, AnUnlockThatCouldAskNobodySaysWhy)
{
    ScriptedAuthorization authorization;
    Authorization::setShared(&authorization);
    struct Case
    {
        const char* name;
        Authorization::Answer answer;
        QString says; // "" for no sheet
    };
    const Case cases[] = {
        {"refused", Authorization::Answer::Refused, {}},
        {"no agent", Authorization::Answer::NoAgent,
         QStringLiteral("pkttyagent --process %1").arg(QCoreApplication::applicationPid())},
        {"no polkit", Authorization::Answer::Unavailable, QStringLiteral("not installed or not running")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        isLocked = true;
        m_alerts->clear();
        const qsizetype sent = postsNamed(QStringLiteral("writePalisorConfiguration")).size();
        delegate().lockUnlockFirewall();
        ASSERT_TRUE(processEventsUntil([&] { return !authorization.pending.empty(); }));
        authorization.answer(c.answer);
        drainEvents();
        EXPECT_TRUE(isLocked);
        EXPECT_EQ(postsNamed(QStringLiteral("writePalisorConfiguration")).size(), sent + 1);
        if (c.says.isEmpty()) {
            EXPECT_TRUE(m_alerts->shown().isEmpty());
            continue;
        }
        ASSERT_EQ(m_alerts->shown().size(), 1);
        EXPECT_EQ(m_alerts->shown().at(0).messageText, "Palisor stays locked");
        EXPECT_TRUE(m_alerts->shown().at(0).informativeText.contains(c.says))
            << m_alerts->shown().at(0).informativeText.toStdString();
        EXPECT_EQ(m_alerts->shownOn().at(0), delegate().window.data());
    }
    Authorization::setShared(nullptr);
}

TEST_F(AppDelegateTest, ClearAllAsksUnlessSilencedAndSendsFive)
{
    auto curl = std::make_shared<PAApplication>(QStringLiteral("curl"), QStringList{}, false, false,
                                                QStringLiteral("/x"));
    sharedAppsLibrary.push_back(curl);
    controller().appsLibraryController->addObject(curl);

    m_alerts->queueAnswer(AlertSecondButtonReturn, true);
    delegate().emptyall();
    EXPECT_EQ(sharedAppsLibrary.size(), 1u) << "cancelled";
    EXPECT_TRUE(userDefaults().boolForKey(QStringLiteral("DoNotDisplayWarningWhenCleaningAllApps")));

    delegate().emptyall();
    EXPECT_EQ(m_alerts->shown().size(), 1) << "silenced: no second question";
    EXPECT_TRUE(sharedAppsLibrary.empty());
    EXPECT_TRUE(controller().appsLibrary.empty());
    userDefaults().removeObjectForKey(QStringLiteral("DoNotDisplayWarningWhenCleaningAllApps"));
}

TEST_F(AppDelegateTest, TheQuitItemWaitsForAnOpenAlert)
{
    skipSaveOnQuit = false;
    synchronizedQueue().suspend();
    delegate().alternateQuitPalisorAgent();
    drainEvents();
    EXPECT_FALSE(delegate().hasTerminated());
    synchronizedQueue().resume();
    ASSERT_TRUE(processEventsUntil([&] { return delegate().hasTerminated(); }));
    EXPECT_EQ(m_center->postedNames(), (QStringList{"stopKext", "writePalisorConfiguration"}));
}

// The dialogs a user may leave open when the session ends: each hangs on the
// main window, leaves the request road free, and never keeps the agent alive.
TEST_F(AppDelegateTest, EveryTerminationQuitsWhateverDialogIsOpen)
{
    DialogAlertPresenter dialogs;
    const QString old = rootPath(QStringLiteral("/old.conf"));
    writePlist(old, QVariantList{QVariantMap{{"PalisorClassName", QStringLiteral("PAPreferences")}},
                                 plainAppRecord(QStringLiteral("curl"), 0)});
    struct Case
    {
        const char* dialog;
        std::function<void()> open;
    };
    const std::vector<Case> cases{
        {"Do you want Palisor to automatically check for updates?",
         [&] {
             userDefaults().removeObjectForKey(QStringLiteral("autoupdate"));
             m_interface->installer()->popUpdateAlertsIfNeeded();
         }},
        {"Warning",
         [&] {
             isLocked = false;
             enableNotifications = true;
             delegate().lockUnlockFirewall();
         }},
        {"Enable automatic XPC services management?", [&] { configuration().loadConf(old); }},
        {"Are you sure?", [&] { configuration().uninstall(); }},
        {"Logs rotation configuration was not modified",
         [&] { configuration().updateLogRotationSettings(); }},
    };
    for (const Case& c : cases) {
        for (const bool bySignal : {true, false}) {
            SCOPED_TRACE(std::string(c.dialog) + (bySignal ? " / SIGTERM" : " / quit item"));
            TearDown();
            SetUp();
            AlertPresenter::setShared(&dialogs);
            AppDelegate* agent = &delegate();
            ASSERT_TRUE(TerminationSignals::install([agent](int) { agent->terminate(); }));
            skipSaveOnQuit = false;

            QPointer<QMessageBox> box;
            QTimer::singleShot(0, [&] { c.open(); });
            ASSERT_TRUE(processEventsUntil([&] {
                for (QWidget* widget : QApplication::topLevelWidgets())
                    if (auto* found = qobject_cast<QMessageBox*>(widget); found && found->isVisible())
                        box = found;
                return !box.isNull();
            }));
            EXPECT_EQ(box->text(), c.dialog);
            EXPECT_EQ(box->windowModality(), Qt::WindowModal);
            EXPECT_EQ(box->parentWidget(), static_cast<QWidget*>(controller().window()));

            QTimer::singleShot(0, [&] {
                if (bySignal)
                    std::raise(SIGTERM);
                else
                    controller().quitItem->trigger();
            });
            // Ends the loop when the agent would not; the status tells them apart.
            QTimer watchdog;
            watchdog.setSingleShot(true);
            QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
            watchdog.start(5000);
            EXPECT_EQ(QCoreApplication::exec(), 0) << "the agent kept running";
            EXPECT_TRUE(delegate().hasTerminated());
            EXPECT_TRUE(m_center->postedNames().contains("writePalisorConfiguration"));

            TerminationSignals::uninstall();
            delete box.data();
            AlertPresenter::setShared(&m_alerts.presenter());
        }
    }
}

} // namespace
