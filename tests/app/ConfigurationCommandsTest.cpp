#include "core/PAApplication.h"
#include "core/PAConfiguration.h"
#include "core/SharedState.h"
#include "core/UserDefaultsPalisor.h"
#include "mainwindow/PAController.h"
#include "platform/FileChooser.h"
#include "platform/NotificationCenter.h"
#include "platform/PropertyList.h"
#include "platform/SerialQueue.h"
#include "platform/SystemColors.h"
#include "support/EventLoop.h"
#include "support/widgets/AgentFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

class ConfigurationCommandsTest : public AgentFixture
{
protected:
    void SetUp() override
    {
        AgentFixture::SetUp();
        for (const char* key :
             {"color0", "color1", "color2", "color3", "color4b", "autoUpdate",
              "displayAlertWhenSwitchingLocationAwarenessPreset", "displaySplashScreenAtStart",
              "verifySignatures", "dbPurgeOption", "hideSystemBinaries", "enableTolvaneInteraction",
              "actionTab", "showMoreOptions", "bgColor", "currentTheme", "displayAppRulePopoverBackground"})
            userDefaults().removeObjectForKey(QLatin1String(key));
    }

    void addApp(const QString& name)
    {
        auto app = std::make_shared<PAApplication>(name, QStringList{name}, false, false,
                                                   QStringLiteral("/usr/bin/") + name);
        sharedAppsLibrary.push_back(app);
        controller().appsLibraryController->addObject(app);
    }
};

TEST_F(ConfigurationCommandsTest, ReadingEmptyUserDefaultsGivesTheLaunchValues)
{
    labelColor1() = QColor(Qt::blue);
    configuration().readUserDefaults();
    EXPECT_EQ(currentTheme, 2);
    EXPECT_TRUE(displaySplashScreenAtStart);
    EXPECT_TRUE(displayAlertWhenSwitchingLocationAwarenessPreset);
    EXPECT_FALSE(displayAppRulePopoverBackground);
    EXPECT_EQ(actionTab, 0);
    EXPECT_EQ(dbPurgeOption, 0);
    for (const bool value :
         {autoupdate, verifySignatures, hideSystemBinaries, enableTolvaneInteraction, showMoreOptions})
        EXPECT_FALSE(value);
    EXPECT_EQ(notificationBackgroundColor(), SystemColors::windowBackgroundColor());
    EXPECT_EQ(labelColor1(), QColor(Qt::blue)) << "an absent colour leaves the colour as it is";
}

TEST_F(ConfigurationCommandsTest, ReadingStoredUserDefaults)
{
    UserDefaults& defaults = userDefaults();
    defaults.setInteger(0, QStringLiteral("currentTheme"));
    defaults.setBool(true, QStringLiteral("autoUpdate"));
    defaults.setBool(false, QStringLiteral("displaySplashScreenAtStart"));
    UserDefaultsPalisor::setColor(defaults, QColor::fromRgbF(0.1f, 0.2f, 0.3f, 1.0f),
                                  QStringLiteral("color4b"));
    UserDefaultsPalisor::setColor(defaults, QColor(Qt::yellow), QStringLiteral("color4"));
    defaults.setString(QStringLiteral("not a colour"), QStringLiteral("color0"));
    configuration().readUserDefaults();
    EXPECT_EQ(currentTheme, 0) << "a stored 0 is light, not the fall-back";
    EXPECT_TRUE(autoupdate);
    EXPECT_FALSE(displaySplashScreenAtStart);
    EXPECT_NEAR(labelColor4().greenF(), 0.2, 1e-6) << "rule 4's colour lives under color4b";
    EXPECT_EQ(labelColor0(), QColor::fromRgbF(0.0f, 0.8f, 0.0f, 1.0f)) << "unreadable colour data is absent";

    UserDefaultsPalisor::setColor(defaults, std::nullopt, QStringLiteral("color4b"));
    EXPECT_FALSE(defaults.contains(QStringLiteral("color4b")));
    EXPECT_FALSE(UserDefaultsPalisor::colorForKey(defaults, QStringLiteral("color4b")).has_value());
}

TEST_F(ConfigurationCommandsTest, ExportThenImportRestoresTheRules)
{
    addApp(QStringLiteral("curl"));
    addApp(QStringLiteral("wget"));
    presetName = QStringLiteral("Home");
    for (const bool encoded : {false, true}) {
        SCOPED_TRACE(encoded ? "encoded" : "plain");
        const QString path = homePath(encoded ? QStringLiteral("rules-encoded") : QStringLiteral("rules"));
        m_files->queueSave(path);
        encoded ? configuration().exportEncodedConfToFile() : configuration().exportConfToFile();
        ASSERT_TRUE(QFile::exists(path)) << "written under exactly the name given";
        EXPECT_FALSE(QFile::exists(path + QStringLiteral(".plist")));

        sharedAppsLibrary.clear();
        presetName.clear();
        m_files->queueOpen(path);
        encoded ? configuration().importEncodedConfFromFile() : configuration().importConfFromFile();
        ASSERT_EQ(sharedAppsLibrary.size(), 2u);
        EXPECT_EQ(sharedAppsLibrary.at(1)->appName(), "wget");
        EXPECT_EQ(presetName, "Home");
    }
    EXPECT_EQ(m_files->titles().first(), "Export Palisor configuration to file");
    EXPECT_EQ(m_files->titles().at(1), "Import Palisor configuration from file");
}

// A save panel that stays open while the event loop turns, as a modal
// dialog's nested loop does, and notes whether queued work ran meanwhile.
class LingeringSavePanel : public FileChooser
{
public:
    explicit LingeringSavePanel(QString path)
        : m_path(std::move(path))
    {
    }
    QString chooseFileToOpen(const QString&, QObject*) override { return {}; }
    QString chooseFileToSave(const QString&, QObject*) override
    {
        auto ran = std::make_shared<bool>(false);
        synchronizedQueue().async([ran] { *ran = true; });
        queueRanWhileOpen = processEventsUntil([ran] { return *ran; }, 1000);
        return m_path;
    }
    bool queueRanWhileOpen = false;

private:
    QString m_path;
};

// The daemon's connection requests travel through the queue: an open export
// panel must not hold them up.
TEST_F(ConfigurationCommandsTest, AnOpenExportPanelLeavesTheQueueRunning)
{
    addApp(QStringLiteral("curl"));
    LingeringSavePanel panel(homePath(QStringLiteral("rules")));
    FileChooser::setShared(&panel);
    configuration().exportConfToFile();
    FileChooser::setShared(m_files.operator->());
    EXPECT_TRUE(panel.queueRanWhileOpen);
    EXPECT_TRUE(QFile::exists(homePath(QStringLiteral("rules"))));
}

TEST_F(ConfigurationCommandsTest, CancelledPanelsChangeNothing)
{
    addApp(QStringLiteral("curl"));
    configuration().exportConfToFile();
    configuration().importConfFromFile();
    EXPECT_EQ(sharedAppsLibrary.size(), 1u);
    EXPECT_TRUE(QDir(m_home.path()).entryList(QDir::Files).isEmpty());
    EXPECT_TRUE(m_center->posts().isEmpty());
}

TEST_F(ConfigurationCommandsTest, CommandsWhileAnAlertHoldsTheQueueTellTheUserInsteadOfWaiting)
{
    addApp(QStringLiteral("curl"));
    const QString path = homePath(QStringLiteral("rules"));
    ASSERT_TRUE(configuration().writeConf(path, false, false));
    sharedAppsLibrary.clear();

    synchronizedQueue().suspend();
    isNotifyWindowOpen = true;
    m_files->queueOpen(path);
    configuration().importConfFromFile();
    configuration().exportConfToFile();
    configuration().importConf(path, false);
    EXPECT_TRUE(sharedAppsLibrary.empty());
    ASSERT_EQ(m_alerts->shown().size(), 3);
    EXPECT_EQ(m_alerts->shown().at(0).messageText, "A connection alert is open");

    // A preset switched meanwhile waits for the answer, then loads.
    appNotificationCenter().post(QStringLiteral("loadCustomPreset"), {{"presetPath", path}});
    EXPECT_TRUE(sharedAppsLibrary.empty());
    isNotifyWindowOpen = false;
    synchronizedQueue().resume();
    EXPECT_TRUE(processEventsUntil([] { return sharedAppsLibrary.size() == 1; }));
}

TEST_F(ConfigurationCommandsTest, CustomPresetMessage)
{
    const QString path = homePath(QStringLiteral("preset.plist"));
    addApp(QStringLiteral("curl"));
    ASSERT_TRUE(configuration().writeConf(path, true, false));
    sharedAppsLibrary.clear();

    appNotificationCenter().post(QStringLiteral("loadCustomPreset"),
                                 {{"presetPath", homePath("missing.plist")}});
    appNotificationCenter().post(QStringLiteral("loadCustomPreset"), {{"presetPath", 42}});
    EXPECT_TRUE(sharedAppsLibrary.empty());
    appNotificationCenter().post(QStringLiteral("loadCustomPreset"), {{"presetPath", path}});
    EXPECT_EQ(sharedAppsLibrary.size(), 1u) << "the post returns when the load has finished";
}

class LogRotationTest : public AgentFixture
{
protected:
    void SetUp() override
    {
        AgentFixture::SetUp();
        // The administrator run, carried out inside the test's root.
        m_runner.answerAdministratorRuns([](const QString& program, const QStringList& arguments) {
            if (program != QLatin1String("/usr/bin/install") || arguments.size() != 5)
                return QStringLiteral("ERROR");
            QDir().mkpath(QFileInfo(arguments.at(4)).absolutePath());
            QFile::remove(arguments.at(4));
            return QFile::copy(arguments.at(3), arguments.at(4)) ? QString() : QStringLiteral("ERROR");
        });
    }
    QString rotation() const { return rootPath(QStringLiteral("/etc/logrotate.d/palisor")); }
};

TEST_F(LogRotationTest, AMentionOfTheLogCountsAsAnEntry)
{
    EXPECT_FALSE(configuration().checkRotationSettings());
    writeText(rotation(), "# " + configuration().pathForLog().toUtf8() + " rotated elsewhere\n");
    EXPECT_TRUE(configuration().checkRotationSettings());
}

TEST_F(LogRotationTest, UpdateAddsTheEntryOnceThroughAnArgvAdministratorRun)
{
    writeText(rotation(), "/var/log/other {\n\n    weekly\n}");
    configuration().updateLogRotationSettings();

    const QString text = QString::fromUtf8(readText(rotation()));
    EXPECT_FALSE(text.contains(QLatin1String("\n\n"))) << "blank lines are dropped";
    EXPECT_TRUE(text.startsWith(QLatin1String("/var/log/other {\n    weekly\n}\n")));
    EXPECT_TRUE(text.endsWith(configuration().logRotationEntry()));
    const QString entry = configuration().logRotationEntry();
    for (const char* directive : {"size 10000k", "rotate 20", "compresscmd /bin/bzip2", "create 0666"})
        EXPECT_TRUE(entry.contains(QLatin1String(directive))) << directive;
    EXPECT_TRUE(configuration().checkRotationSettings());

    const auto runs = m_runner.administratorRunCalls();
    ASSERT_EQ(runs.size(), 1);
    EXPECT_EQ(runs.at(0).program, "/usr/bin/install");
    EXPECT_TRUE(runs.at(0).arguments.at(3).startsWith(QLatin1String("/tmp/palisor-logrotate.")))
        << "staged in a private folder, not a fixed name in /tmp";
    EXPECT_FALSE(QFile::exists(runs.at(0).arguments.at(3))) << "the staging folder is removed";
    EXPECT_TRUE(m_runner.scriptCalls().isEmpty()) << "no shell line is built from a path";
    ASSERT_EQ(m_alerts->shown().size(), 1);
    EXPECT_EQ(
        m_alerts->shown().at(0).messageText,
        "Logs rotation configuration successfully modified. Settings will take effect at next system reboot");

    configuration().updateLogRotationSettings();
    EXPECT_EQ(m_runner.administratorRunCalls().size(), 1) << "a second update changes nothing";
    EXPECT_EQ(m_alerts->shown().size(), 1) << "and shows nothing";
}

TEST_F(LogRotationTest, ARefusedAuthorisationIsNotReportedAsSuccess)
{
    m_runner.answerAdministratorRuns(nullptr);
    configuration().updateLogRotationSettings();
    EXPECT_FALSE(configuration().checkRotationSettings());
    ASSERT_EQ(m_alerts->shown().size(), 1);
    EXPECT_NE(m_alerts->shown().at(0).messageText.left(20),
              QStringLiteral("Logs rotation config").left(20).append("x"));
    EXPECT_FALSE(m_alerts->shown().at(0).messageText.contains(QLatin1String("successfully")));
}

TEST_F(ConfigurationCommandsTest, UninstallAsksAndRunsTheUninstallerFromAPrivateFolder)
{
    m_alerts->queueAnswer(AlertSecondButtonReturn);
    configuration().uninstall();
    ASSERT_EQ(m_alerts->shown().size(), 1);
    EXPECT_EQ(m_alerts->shown().at(0).buttons, (QStringList{"Uninstall Palisor", "Cancel"}));
    EXPECT_TRUE(m_runner.administratorRunCalls().isEmpty());
    EXPECT_TRUE(m_runner.scriptCalls().isEmpty());

    QString copied;
    m_runner.answerAdministratorRuns([&copied](const QString& program, const QStringList&) {
        copied = QString::fromUtf8([&] {
            QFile file(program);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }());
        return QString();
    });
    m_alerts->queueAnswer(AlertFirstButtonReturn);
    configuration().uninstall();
    const auto runs = m_runner.administratorRunCalls();
    ASSERT_EQ(runs.size(), 1);
    EXPECT_TRUE(runs.at(0).program.startsWith(QLatin1String("/tmp/palisor-uninstall.")));
    EXPECT_TRUE(runs.at(0).program.endsWith(QLatin1String("/palisoruninstaller")));
    EXPECT_TRUE(runs.at(0).arguments.isEmpty());
    EXPECT_TRUE(copied.startsWith(QLatin1String("#!/bin/sh"))) << "our own uninstaller was copied there";
}

} // namespace
