#include "app/PAInstaller.h"

#include "app/MainInterface.h"
#include "core/PAConfiguration.h"
#include "core/PAExclusion.h"
#include "core/SharedState.h"
#include "platform/MainQueue.h"
#include "platform/Resources.h"
#include "setup/PAUpdateController.h"
#include "support/EventLoop.h"
#include "support/ProcessWaits.h"
#include "support/widgets/AgentFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace {

// What of the installation a test lays out in its root.
struct Layout
{
    bool kextBundle = true;
    std::optional<QString> kextVersion = QStringLiteral("2.1.0"); // nullopt: no CFBundleVersion
    bool kextLoaded = true;
    bool daemonExecutable = true;
    bool daemonRunning = true;
    bool daemonInOtherRoot = false; // runs, but for another PALISOR_ROOT
    bool launchPlist = true;
};

const QString bundleResources = QStringLiteral(PALISOR_TEST_BUNDLE_DIR "/Contents/Resources");

class PAInstallerTest : public AgentFixture
{
protected:
    void SetUp() override
    {
        AgentFixture::SetUp();
        ASSERT_TRUE(m_resources.isValid());
        m_makeResources();
        Resources::setResourcesPath(m_resources.path());
        userDefaults().removeObjectForKey(QStringLiteral("autoupdate"));
        userDefaults().removeObjectForKey(QStringLiteral("autoUpdate"));
        m_installer = std::make_unique<PAInstaller>(configuration(), *m_interface->updateController());
    }

    void TearDown() override
    {
        m_installer.reset();
        if (m_daemon) {
            m_daemon->kill();
            m_daemon->waitForFinished();
            m_daemon.reset();
        }
        userDefaults().removeObjectForKey(QStringLiteral("autoupdate"));
        userDefaults().removeObjectForKey(QStringLiteral("autoUpdate"));
        Resources::setResourcesPath(bundleResources);
        AgentFixture::TearDown();
    }

    // A fresh installer in an empty root, for the next case of a table.
    void restart()
    {
        TearDown();
        QDir root(m_root.path());
        for (const QString& entry : root.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
            QDir(root.filePath(entry)).removeRecursively() || QFile::remove(root.filePath(entry));
        m_alerts->clear();
        m_ready.reset();
        SetUp();
    }

    void layOut(const Layout& layout)
    {
        if (layout.kextBundle) {
            QVariantMap info{{"CFBundleIdentifier", QStringLiteral("zz.tolvane.palisornke")}};
            if (layout.kextVersion)
                info.insert(QStringLiteral("CFBundleVersion"), *layout.kextVersion);
            writePlist(rootPath(QStringLiteral("/Library/Extensions/palisornke.kext/Contents/Info.plist")),
                       info);
        }
        if (layout.kextLoaded) {
            ASSERT_TRUE(QDir().mkpath(rootPath(QStringLiteral("/sys/module/palisornke"))));
        }
        const QString daemon = rootPath(QStringLiteral("/usr/local/bin/palisorafd"));
        if (layout.daemonExecutable || layout.daemonRunning) {
            ASSERT_TRUE(QDir().mkpath(QFileInfo(daemon).absolutePath()));
            ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), daemon));
        }
        if (layout.daemonRunning) {
            // Started after PALISOR_ROOT was set, so it shares our root.
            m_daemon = std::make_unique<QProcess>();
            if (layout.daemonInOtherRoot) {
                QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
                environment.insert(QStringLiteral("PALISOR_ROOT"), m_root.path() + QStringLiteral("/other"));
                m_daemon->setProcessEnvironment(environment);
            }
            m_daemon->start(daemon, {QStringLiteral("60")});
            ASSERT_TRUE(m_daemon->waitForStarted());
            ASSERT_TRUE(waitForExec(static_cast<pid_t>(m_daemon->processId()), daemon));
            if (!layout.daemonExecutable)
                QFile::remove(daemon);
        }
        if (layout.launchPlist)
            writePlist(rootPath(QStringLiteral("/Library/LaunchDaemons/zz.tolvane.palisorafd.plist")),
                       QVariantMap{{"Label", QStringLiteral("zz.tolvane.palisorafd")}});
    }

    // Runs the check; the answer, if any came yet, lands in m_ready.
    void check()
    {
        m_installer->palisorAgentIsReadyToStart([this](bool ready) {
            EXPECT_FALSE(m_ready.has_value()) << "answered twice";
            m_ready = ready;
        });
    }

    static QImage imageOf(const QIcon& icon)
    {
        return icon.pixmap(PAInstaller::lightSize, PAInstaller::lightSize).toImage();
    }

    QTemporaryDir m_resources{QDir::tempPath() + QStringLiteral("/palisor-resources.XXXXXX")};
    std::unique_ptr<PAInstaller> m_installer;
    std::unique_ptr<QProcess> m_daemon;
    std::optional<bool> m_ready;

private:
    // The bundle's resources, with the presets the welcome loads and the
    // lights where the bundle has none yet; each preset is told apart by one
    // managed folder.
    void m_makeResources()
    {
        const QDir source(bundleResources);
        for (const QString& name : source.entryList(QDir::Files))
            QFile::copy(source.filePath(name), m_resources.filePath(name));
        const QList<std::pair<QString, QString>> lights{{"NSStatusAvailable", "#2fb344"},
                                                        {"NSStatusUnavailable", "#e03131"},
                                                        {"NSStatusPartiallyAvailable", "#f0b400"}};
        for (const auto& [name, colour] : lights) {
            const QString path = m_resources.filePath(name + QStringLiteral(".svg"));
            if (!QFileInfo::exists(path))
                writeText(path,
                          QStringLiteral("<svg xmlns='http://www.w3.org/2000/svg' width='16' height='16'>"
                                         "<circle cx='8' cy='8' r='7' fill='%1'/></svg>")
                              .arg(colour)
                              .toUtf8());
        }
        for (const char* preset : {"preset0", "preset1"})
            writePlist(m_resources.filePath(QString::fromLatin1(preset) + QStringLiteral(".plist")),
                       QVariantList{QVariantMap{{"PalisorClassName", QStringLiteral("PAExclusion")},
                                                {"path", QStringLiteral("/") + QString::fromLatin1(preset)},
                                                {"rule", 1},
                                                {"ignored", false},
                                                {"hardcoded", false}}});
    }
};

TEST_F(PAInstallerTest, AReadyInstallationPassesOnTheFirstAttempt)
{
    layOut({});
    displaySplashScreenAtStart = true;
    check();
    ASSERT_TRUE(m_ready.has_value()) << "answers before returning";
    EXPECT_TRUE(*m_ready);
    EXPECT_EQ(m_installer->startupCount(), 0);
    EXPECT_FALSE(m_installer->startPanel()->isVisible());
    EXPECT_EQ(m_clock->activeTimerCount(), 0);
}

TEST_F(PAInstallerTest, EachMissingPieceFailsAfterSixAttempts)
{
    const struct
    {
        const char* missing;
        Layout layout;
    } cases[] = {
        {"extension bundle", {.kextBundle = false}},
        {"extension not loaded", {.kextLoaded = false}},
        {"daemon not running", {.daemonRunning = false}},
        {"daemon of another root", {.daemonInOtherRoot = true}},
        {"launch plist", {.launchPlist = false}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.missing);
        restart();
        layOut(c.layout);
        displaySplashScreenAtStart = true;
        check();
        EXPECT_TRUE(m_installer->startPanel()->isVisible());
        EXPECT_EQ(m_installer->startPanelString()->text(), "Starting Palisor Agent...");
        for (int second = 1; second < 6; ++second) {
            m_clock->advance(1.0);
            ASSERT_FALSE(m_ready.has_value()) << "answered after " << second << " s";
            EXPECT_EQ(m_installer->startupCount(), second);
        }
        m_clock->advance(1.0);
        ASSERT_TRUE(m_ready.has_value());
        EXPECT_FALSE(*m_ready);
        EXPECT_EQ(m_installer->startupCount(), 6);
        EXPECT_FALSE(m_installer->startPanel()->isVisible());
        EXPECT_EQ(m_installer->startPanelString()->text(), "Please wait...");
        EXPECT_EQ(m_clock->activeTimerCount(), 0);

        // The count is never reset: a second check in this process makes no attempt.
        m_ready.reset();
        check();
        ASSERT_TRUE(m_ready.has_value());
        EXPECT_FALSE(*m_ready);
        EXPECT_EQ(m_clock->activeTimerCount(), 0);
        m_ready.reset();
    }
}

TEST_F(PAInstallerTest, WithoutTheSplashThePanelAppearsOnTopFromTheFirstRetry)
{
    layOut({.daemonRunning = false});
    displaySplashScreenAtStart = false;
    check();
    EXPECT_FALSE(m_installer->startPanel()->isVisible());
    m_clock->advance(1.0);
    EXPECT_TRUE(m_installer->startPanel()->isVisible());
    EXPECT_TRUE(m_installer->startPanel()->windowFlags() & Qt::WindowStaysOnTopHint);
}

TEST_F(PAInstallerTest, TheEventLoopRunsWhileTheCheckWaits)
{
    layOut({.launchPlist = false});
    check();
    bool ran = false;
    MainQueue::async([&] { ran = true; });
    EXPECT_TRUE(processEventsUntil([&] { return ran; }));
    EXPECT_FALSE(m_ready.has_value());

    // The piece appears while the check waits: the next attempt passes.
    layOut({.kextBundle = false, .kextLoaded = false, .daemonExecutable = false, .daemonRunning = false});
    m_clock->advance(1.0);
    ASSERT_TRUE(m_ready.has_value());
    EXPECT_TRUE(*m_ready);
    EXPECT_EQ(m_installer->startupCount(), 1);
}

TEST_F(PAInstallerTest, AWrongOrUnreadableVersionFailsAtOnce)
{
    for (const std::optional<QString>& version :
         {std::optional<QString>(QStringLiteral("2.1.1")), std::optional<QString>(QStringLiteral("2.1.0 ")),
          std::optional<QString>()}) {
        SCOPED_TRACE(version.value_or(QStringLiteral("<no CFBundleVersion>")).toStdString());
        restart();
        layOut({.kextVersion = version});
        displaySplashScreenAtStart = true;
        check();
        ASSERT_TRUE(m_ready.has_value());
        EXPECT_FALSE(*m_ready);
        EXPECT_EQ(m_installer->startupCount(), 0);
        EXPECT_TRUE(m_installer->startPanel()->isVisible()) << "stays up until the agent ends";
        EXPECT_EQ(m_clock->activeTimerCount(), 0);
        m_ready.reset();
    }
}

TEST_F(PAInstallerTest, StatusLights)
{
    enum Light { Green, Yellow, Red };
    const struct
    {
        const char* name;
        Layout layout;
        Light filter;
        const char* filterText;
        Light daemon;
        const char* daemonText;
        Light boot;
        const char* bootText;
    } cases[] = {
        {"all in order",
         {},
         Green,
         "Network kernel extension loaded",
         Green,
         "Daemon is running",
         Green,
         "Palisor boot scripts installed"},
        {"extension present, daemon stopped",
         {.kextLoaded = false, .daemonRunning = false},
         Yellow,
         "Network kernel extension not loaded",
         Yellow,
         "Daemon not running",
         Green,
         "Palisor boot scripts installed"},
        {"nothing installed",
         {.kextBundle = false,
          .kextLoaded = false,
          .daemonExecutable = false,
          .daemonRunning = false,
          .launchPlist = false},
         Red,
         "Network kernel extension not installed",
         Red,
         "Daemon not installed",
         Red,
         "Palisor boot scripts not installed"},
        // Each row stands alone: a loaded extension without its bundle is still green.
        {"loaded without bundle, daemon running without executable",
         {.kextBundle = false, .daemonExecutable = false, .launchPlist = false},
         Green,
         "Network kernel extension loaded",
         Green,
         "Daemon is running",
         Red,
         "Palisor boot scripts not installed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        layOut(c.layout);
        const QString logsText = m_installer->labelLogs()->text();
        m_installer->updateStatusView();
        const QImage lights[] = {imageOf(m_installer->green()), imageOf(m_installer->yellow()),
                                 imageOf(m_installer->red())};
        EXPECT_EQ(m_installer->ledFilter()->pixmap().toImage(), lights[c.filter]);
        EXPECT_EQ(m_installer->labelFilter()->text(), c.filterText);
        EXPECT_EQ(m_installer->ledHelper()->pixmap().toImage(), lights[c.daemon]);
        EXPECT_EQ(m_installer->labelHelper()->text(), c.daemonText);
        EXPECT_EQ(m_installer->ledBoot()->pixmap().toImage(), lights[c.boot]);
        EXPECT_EQ(m_installer->labelBoot()->text(), c.bootText);
        EXPECT_TRUE(m_installer->ledLogs()->pixmap().isNull());
        EXPECT_EQ(m_installer->labelLogs()->text(), logsText);
    }
}

TEST_F(PAInstallerTest, TheLightsAreDistinct)
{
    EXPECT_NE(imageOf(m_installer->green()), imageOf(m_installer->yellow()));
    EXPECT_NE(imageOf(m_installer->green()), imageOf(m_installer->red()));
    EXPECT_NE(imageOf(m_installer->yellow()), imageOf(m_installer->red()));
}

TEST_F(PAInstallerTest, WelcomeSheetAndItsAnswers)
{
    userDefaults().setBool(false, QStringLiteral("autoupdate")); // the update question was answered before
    const struct
    {
        int response;
        QStringList folders;
        QStringList hooks;
    } cases[] = {
        {AlertFirstButtonReturn, {"/preset1"}, {"toolbar", "wizard"}},
        {AlertSecondButtonReturn, {"/preset0"}, {"toolbar", "strategies"}},
        {AlertThirdButtonReturn, {"/preset1"}, {"toolbar"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.response);
        m_alerts->clear();
        exclusionsList.clear();
        QStringList hooks;
        QStringList foldersAtStrategies;
        m_installer->showMainToolbar = [&] { hooks << "toolbar"; };
        m_installer->startWizard = [&] { hooks << "wizard"; };
        m_installer->startPresetsWizard = [&] {
            hooks << "strategies";
            foldersAtStrategies = managedFolderPaths();
        };
        m_alerts->setHoldSheets(true);
        m_installer->startWelcome();
        EXPECT_EQ(managedFolderPaths(), QStringList{"/preset1"}) << "loaded before the sheet opens";
        ASSERT_EQ(m_alerts->shown().size(), 1) << "no update question";
        const Alert& welcome = m_alerts->shown().first();
        EXPECT_EQ(welcome.messageText, "Firewall Configuration");
        EXPECT_EQ(welcome.buttons,
                  (QStringList{"Run Configuration Assistant", "Choose Configuration Strategy"}));
        EXPECT_EQ(welcome.informativeText,
                  "Run the Assistant to configure Palisor firewall step by step or choose your favourite "
                  "configuration strategy between a list of predefined presets. Later you will be able to "
                  "restart the Assistant, to choose a different strategy or to configure the firewall "
                  "manually.\n\nPlease choose how you want to configure the application-layer firewall. ");
        EXPECT_EQ(welcome.icon, "palisor");

        ASSERT_TRUE(m_alerts->answerPendingSheet(c.response));
        EXPECT_EQ(hooks, QStringList{"toolbar"}) << "the answer runs on a later turn";
        drainEvents();
        EXPECT_EQ(hooks, c.hooks);
        EXPECT_EQ(managedFolderPaths(), c.folders);
        if (c.response == AlertSecondButtonReturn) {
            EXPECT_EQ(foldersAtStrategies, QStringList{"/preset0"});
        }
    }
}

TEST_F(PAInstallerTest, WelcomeWithoutHooksDoesNotCrash)
{
    userDefaults().setBool(false, QStringLiteral("autoupdate"));
    m_alerts->queueAnswer(AlertSecondButtonReturn);
    m_installer->startWelcome();
    drainEvents();
    EXPECT_EQ(managedFolderPaths(), QStringList{"/preset0"}) << "the welcome's preset loaded all the same";
}

TEST_F(PAInstallerTest, AutoUpdateQuestionIsAskedOnceAndStoresBothKeys)
{
    for (const bool yes : {true, false}) {
        SCOPED_TRACE(yes ? "Yes" : "No");
        restart();
        autoupdate = !yes;
        PAUpdateController& updater = *m_interface->updateController();
        m_alerts->queueAnswer(yes ? AlertFirstButtonReturn : AlertSecondButtonReturn);
        m_installer->popUpdateAlertsIfNeeded();
        ASSERT_EQ(m_alerts->shown().size(), 1);
        EXPECT_EQ(m_alerts->shown().first().messageText,
                  "Do you want Palisor to automatically check for updates?");
        EXPECT_EQ(m_alerts->shown().first().buttons, (QStringList{"Yes", "No"}));
        EXPECT_EQ(autoupdate, yes);
        for (const char* key : {"autoupdate", "autoUpdate"}) {
            const QVariant stored = userDefaults().objectForKey(QString::fromLatin1(key));
            EXPECT_EQ(stored.typeId(), QMetaType::Bool) << key;
            EXPECT_EQ(stored.toBool(), yes) << key;
        }
        EXPECT_EQ(updater.checksStarted(), 0) << "started on a later turn";
        drainEvents();
        EXPECT_EQ(updater.checksStarted(), yes ? 1 : 0);
        EXPECT_EQ(updater.autoUpdateTimer != nullptr, yes);
        if (yes) {
            EXPECT_EQ(updater.autoUpdateTimer->timeInterval(), 43200.0);
        }

        m_installer->popUpdateAlertsIfNeeded();
        EXPECT_EQ(m_alerts->shown().size(), 1) << "asked only once";
    }
}

TEST_F(PAInstallerTest, AWelcomePresetWaitsForAHeldQueue)
{
    userDefaults().setBool(false, QStringLiteral("autoupdate"));
    m_alerts->setHoldSheets(true);
    synchronizedQueue().suspend();
    m_installer->startWelcome();
    EXPECT_TRUE(exclusionsList.empty());
    EXPECT_EQ(synchronizedQueue().pendingCount(), 1);
    ASSERT_TRUE(synchronizedQueue().resume());
    EXPECT_TRUE(processEventsUntil([] { return managedFolderPaths() == QStringList{"/preset1"}; }));
}

TEST_F(PAInstallerTest, Screenshots)
{
    layOut({.kextLoaded = false, .daemonExecutable = false, .daemonRunning = false});
    displaySplashScreenAtStart = true;
    check();
    QWidget* panel = m_installer->startPanel();
    panel->adjustSize();

    QWidget sheet;
    auto* layout = new QVBoxLayout(&sheet);
    layout->addWidget(m_installer->statusView());
    m_installer->updateStatusView();
    sheet.resize(380, 180);
    sheet.show();
    drainEvents();

    const QString dir = QStringLiteral(PALISOR_TEST_BINARY_DIR "/screenshots");
    ASSERT_TRUE(QDir().mkpath(dir));
    EXPECT_TRUE(panel->grab().save(dir + QStringLiteral("/installer-start-panel.png")));
    EXPECT_TRUE(sheet.grab().save(dir + QStringLiteral("/installer-status-view.png")));
    // The sheet owns the view now; the installer must not delete it twice.
    m_installer.reset();
}

} // namespace
