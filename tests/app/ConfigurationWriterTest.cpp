#include "app/MainInterface.h"
#include "core/PAApplication.h"
#include "core/PAConfiguration.h"
#include "core/PAExclusion.h"
#include "core/PAManagedRecords.h"
#include "core/SharedState.h"
#include "mainwindow/PAController.h"
#include "platform/DBusDistributedNotificationCenter.h"
#include "platform/KeyedArchive.h"
#include "platform/PropertyList.h"
#include "ruleeditors/PAManagedRecordsController.h"
#include "support/CapturedLog.h"
#include "support/EventLoop.h"
#include "support/PrivateBus.h"
#include "support/widgets/AgentFixture.h"

#include <gtest/gtest.h>

namespace {

class ConfigurationWriterTest : public AgentFixture
{
protected:
    std::shared_ptr<PAApplication> addApp(const QString& name, qint64 state, const QStringList& matches = {},
                                          bool timed = false)
    {
        auto app = std::make_shared<PAApplication>(name, QStringList{name + QStringLiteral(".app/")}, true,
                                                   state == 1, QStringLiteral("/Applications/") + name);
        app->setRule(state);
        app->setAppMatches(matches);
        app->setAppHasTimer(timed);
        sharedAppsLibrary.push_back(app);
        controller().appsLibraryController->addObject(app);
        return app;
    }

    // A model with one of everything the writer treats apart.
    void buildModel()
    {
        addApp(QStringLiteral("Mail.app"), 4,
               {QStringLiteral("@10.0.0.0/8"), QStringLiteral("#_range1:1024")});
        addApp(QStringLiteral("Timed.app"), 0, {}, true);
        addApp(QStringLiteral("Blocked.app"), 1);
        exclusionsList.push_back(
            std::make_shared<PAExclusion>(QStringLiteral("/usr/bin/whois"), 0, true, true));
        exclusionsList.push_back(std::make_shared<PAExclusion>(QStringLiteral("/opt/tools"), 1, true, false));
        exclusionsList.push_back(
            std::make_shared<PAExclusion>(QStringLiteral("/Applications"), 0, false, false));
        for (const auto& [text, type, rule] :
             std::initializer_list<std::tuple<const char*, int, int>>{{"10.1.2.3", 0, 1},
                                                                      {"192.168.0.0/16", 1, 0},
                                                                      {"fe80::/10", 16, 1},
                                                                      {"443", 2, 0},
                                                                      {"1000:2000", 3, 1}}) {
            auto record = std::make_shared<PAManagedRecords>(QLatin1String(text), type, rule);
            recordsList.push_back(record);
            m_interface->recordsController()->recordsLibraryController->addObject(record);
        }
        notificationsTimeOut = 45.0;
        quietMaxTime = 120.0;
        soundName = QStringLiteral("Glass");
        enableNotifications = true;
        configurationVersion = QStringLiteral("1.0.0");
    }

    static QStringList kinds(const QVariantList& array)
    {
        QStringList result;
        for (const QVariant& record : array)
            result << record.toMap().value(QStringLiteral("PalisorClassName")).toString();
        return result;
    }
};

TEST_F(ConfigurationWriterTest, PlainFileHoldsEveryKindInOrderWithTypesAndLeavesOutBuiltInsAndTimedApps)
{
    buildModel();
    const QString path = rootPath(QStringLiteral("/plain"));
    ASSERT_TRUE(configuration().writeConf(path, false, false));

    const QByteArray bytes = readText(path);
    EXPECT_TRUE(bytes.startsWith("<?xml")) << "plain files are XML property lists";
    const auto read = PropertyList::fromData(bytes);
    ASSERT_TRUE(read.has_value());
    const QVariantList array = read->toList();
    EXPECT_EQ(kinds(array), (QStringList{"PAPreferences", "PAExclusion", "PAExclusion", "PAManagedRecords",
                                         "PAManagedRecords", "PAManagedRecords", "PAManagedRecords",
                                         "PAManagedRecords", "PAApplication", "PAApplication"}));

    const QVariantMap preferences = array.at(0).toMap();
    EXPECT_EQ(preferences.size(), 29);
    EXPECT_EQ(preferences.value("notificationsTimeOut").typeId(), QMetaType::Double);
    EXPECT_EQ(preferences.value("notificationDefaultTime").typeId(), QMetaType::LongLong);
    EXPECT_EQ(preferences.value("enableNotifications").typeId(), QMetaType::Bool);
    EXPECT_EQ(preferences.value("notificationWindowHeight2").toDouble(), 175.0);
    EXPECT_EQ(preferences.value("soundName").toString(), "Glass");

    EXPECT_EQ(array.at(1).toMap().value("path").toString(), "/opt/tools");
    EXPECT_EQ(array.at(1).toMap().value("hardcoded").typeId(), QMetaType::Bool);
    EXPECT_EQ(array.at(5).toMap().value("record").toString(), "fe80::/10");
    EXPECT_EQ(array.at(5).toMap().value("type").toLongLong(), 16);
    const QVariantMap mail = array.at(8).toMap();
    EXPECT_EQ(mail.value("appName").toString(), "Mail.app");
    EXPECT_EQ(mail.value("appIsBlockedOrAllowed").typeId(), QMetaType::LongLong);
    EXPECT_EQ(mail.value("appMatches").toList().size(), 2);
    EXPECT_EQ(array.at(9).toMap().value("appName").toString(), "Blocked.app");
}

TEST_F(ConfigurationWriterTest, EmptyModelWritesOnlyThePreferences)
{
    exclusionsList.push_back(std::make_shared<PAExclusion>(QStringLiteral("/usr/bin/whois"), 0, true, true));
    const QString path = rootPath(QStringLiteral("/empty"));
    ASSERT_TRUE(configuration().writeConf(path, false, false));
    const auto read = PropertyList::readFile(path);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(kinds(read->toList()), QStringList{"PAPreferences"});
}

TEST_F(ConfigurationWriterTest, EncodedFileIsOneWrapperHoldingAKeyedArchive)
{
    buildModel();
    const QString path = rootPath(QStringLiteral("/encoded"));
    ASSERT_TRUE(configuration().writeConf(path, true, false));
    const auto read = PropertyList::readFile(path);
    ASSERT_TRUE(read.has_value());
    const QVariantList file = read->toList();
    ASSERT_EQ(file.size(), 1);
    const QVariantMap wrapper = file.at(0).toMap();
    EXPECT_EQ(wrapper.value("PalisorClassName").toString(), "PalisorConfiguration");
    EXPECT_EQ(wrapper.value("PalisorVersion").toString(), "1.0.0");
    const auto archived = PropertyList::fromData(wrapper.value("PalisorConfiguration").toByteArray());
    ASSERT_TRUE(archived.has_value());
    EXPECT_EQ(archived->toMap().value("$archiver").toString(), "NSKeyedArchiver");
    const auto records = KeyedArchive::unarchive(wrapper.value("PalisorConfiguration").toByteArray());
    ASSERT_TRUE(records.has_value());
    EXPECT_EQ(records->toList().size(), 10);
    EXPECT_TRUE(postsNamed(QStringLiteral("writePalisorConfiguration")).isEmpty());
}

TEST_F(ConfigurationWriterTest, SendingToTheDaemonPostsTheWrapperAndWritesNoFile)
{
    buildModel();
    const QString path = rootPath(QStringLiteral("/_"));
    ASSERT_TRUE(configuration().writeConf(path, true, true));
    EXPECT_FALSE(QFile::exists(path));
    const auto posts = postsNamed(QStringLiteral("writePalisorConfiguration"));
    ASSERT_EQ(posts.size(), 1);
    EXPECT_EQ(posts.at(0).object, "zz.palisor.writePalisorConfiguration");
    EXPECT_EQ(posts.at(0).options, 3);
    EXPECT_EQ(posts.at(0).userInfo.value("PalisorClassName").toString(), "PalisorConfiguration");
    EXPECT_EQ(posts.at(0).userInfo.value("PalisorConfiguration").typeId(), QMetaType::QByteArray);

    // Without encoding, sending means nothing: the plain array is written.
    m_center->clear();
    ASSERT_TRUE(configuration().writeConf(path, false, true));
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_TRUE(m_center->posts().isEmpty());
}

TEST_F(ConfigurationWriterTest, WritingTwiceGivesEqualArraysAndStoresTheLabelColours)
{
    buildModel();
    labelColor2() = QColor::fromRgbF(0.25f, 0.5f, 0.75f, 1.0f);
    const QString first = rootPath(QStringLiteral("/a")), second = rootPath(QStringLiteral("/b"));
    ASSERT_TRUE(configuration().writeConf(first, false, false));
    ASSERT_TRUE(configuration().writeConf(second, false, false));
    EXPECT_EQ(PropertyList::readFile(first), PropertyList::readFile(second));
    const QVariantList stored = userDefaults().objectForKey(QStringLiteral("color2")).toList();
    ASSERT_EQ(stored.size(), 4);
    const double expected[] = {0.25, 0.5, 0.75, 1.0};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(stored.at(i).typeId(), QMetaType::Double);
        EXPECT_NEAR(stored.at(i).toDouble(), expected[i], 1e-4);
    }
    // The ask colour follows the theme until the user picks one of their own.
    EXPECT_FALSE(userDefaults().contains(QStringLiteral("color4b")));
    labelColor4() = QColor(Qt::darkCyan);
    ASSERT_TRUE(configuration().writeConf(second, false, false));
    EXPECT_TRUE(userDefaults().contains(QStringLiteral("color4b")));
}

TEST_F(ConfigurationWriterTest, AnUnwritablePathIsReportedAsNotWritten)
{
    buildModel();
    writeText(rootPath(QStringLiteral("/blocker")), "a file, not a folder");
    EXPECT_FALSE(configuration().writeConf(rootPath(QStringLiteral("/blocker/conf")), false, false));
}

TEST_F(ConfigurationWriterTest, RuleSetCarriesExactlyTheThreeListsFromTheEditors)
{
    buildModel();
    // A Global Rule added in the editor but not yet copied into recordsList.
    m_interface->recordsController()->recordsLibraryController->addObject(
        std::make_shared<PAManagedRecords>(QStringLiteral("8.8.8.8"), 0, 1));
    configuration().sendConf();

    const auto posts = postsNamed(QStringLiteral("newAppListReceived"));
    ASSERT_EQ(posts.size(), 1);
    EXPECT_EQ(posts.at(0).object, "zz.tolvane");
    EXPECT_EQ(posts.at(0).options, 3);
    const QVariantMap info = posts.at(0).userInfo;
    EXPECT_EQ(info.keys(), (QStringList{"AppList", "ExclusionList", "RecordList"}));

    const QVariantList apps = info.value("AppList").toList();
    ASSERT_EQ(apps.size(), 3) << "an app under a temporary rule is sent";
    EXPECT_EQ(apps.at(0).toMap().keys(), (QStringList{"appBinaries", "appIsBlockedOrAllowed", "appMatches"}));
    EXPECT_EQ(apps.at(0).toMap().value("appIsBlockedOrAllowed").toLongLong(), 4);

    const QVariantList folders = info.value("ExclusionList").toList();
    ASSERT_EQ(folders.size(), 3) << "the built-in folder is sent";
    EXPECT_EQ(folders.at(0).toMap(),
              (QVariantMap{{"path", QStringLiteral("/usr/bin/whois")}, {"rule", 0LL}}));

    const QVariantList rules = info.value("RecordList").toList();
    ASSERT_EQ(rules.size(), 6);
    EXPECT_EQ(rules.at(5).toMap(),
              (QVariantMap{{"record", QStringLiteral("8.8.8.8")}, {"rule", 1LL}, {"type", 0LL}}));

    configuration().sendConf();
    EXPECT_EQ(postsNamed(QStringLiteral("newAppListReceived")).at(1).userInfo, info);
}

// The rule set is written without a value tree: the bus must still carry the
// very bytes the dictionary of the three lists is written as, shared strings
// and numbers included.
TEST_F(ConfigurationWriterTest, RuleSetBytesAreThoseOfItsDictionary)
{
    class BytesCenter : public DistributedNotificationCenter
    {
    public:
        void postNotificationName(const QString&, const QString&, const QVariantMap&, int) override
        {
            ADD_FAILURE() << "the rule set is posted as bytes";
        }
        void postNotificationData(const QString&, const QString&, const QByteArray& userInfo, int) override
        {
            posted.append(userInfo);
        }
        ObserverToken addObserver(const QString&, const QString&, Handler) override { return 0; }
        void removeObserver(ObserverToken) override {}
        QList<QByteArray> posted;
    };

    for (const bool empty : {true, false}) {
        SCOPED_TRACE(empty ? "empty" : "full");
        if (!empty) {
            buildModel();
            addApp(QStringLiteral("Mail copy.app"), 4, sharedAppsLibrary.front()->appMatches());
        }
        QVariantList apps;
        for (const auto& app : sharedAppsLibrary)
            apps.append(QVariantMap{{"appBinaries", QVariant(app->appBinaries())},
                                    {"appIsBlockedOrAllowed", app->appIsBlockedOrAllowed()},
                                    {"appMatches", QVariant(app->appMatches())}});
        QVariantList folders;
        for (const auto& folder : exclusionsList)
            folders.append(QVariantMap{{"path", folder->path()}, {"rule", folder->rule()}});
        QVariantList rules;
        for (const auto& rule : recordsList)
            rules.append(
                QVariantMap{{"record", rule->record()}, {"rule", rule->rule()}, {"type", rule->type()}});
        const QByteArray expected = PropertyList::toData(
            QVariantMap{{"AppList", apps}, {"ExclusionList", folders}, {"RecordList", rules}},
            PropertyList::Format::Binary);

        BytesCenter center;
        DistributedNotificationCenter::setDefaultCenter(&center);
        configuration().sendConf();
        DistributedNotificationCenter::setDefaultCenter(&m_center.center());
        ASSERT_EQ(center.posted.size(), 1);
        EXPECT_EQ(center.posted.at(0), expected);
    }
}

TEST_F(ConfigurationWriterTest, EmptyRuleSetStillGoesOut)
{
    configuration().sendConf();
    const auto posts = postsNamed(QStringLiteral("newAppListReceived"));
    ASSERT_EQ(posts.size(), 1);
    for (const char* key : {"AppList", "ExclusionList", "RecordList"}) {
        EXPECT_EQ(posts.at(0).userInfo.value(key).typeId(), QMetaType::QVariantList);
        EXPECT_TRUE(posts.at(0).userInfo.value(key).toList().isEmpty());
    }
}

TEST_F(ConfigurationWriterTest, RuleSetReachesTheDaemonOverARealBus)
{
    PrivateBus bus;
    ASSERT_TRUE(bus.isRunning());
    DBusDistributedNotificationCenter agentSide;
    DBusDistributedNotificationCenter daemonSide;
    QList<DistributedNotificationCenter::Notification> heard;
    daemonSide.addObserver(QStringLiteral("newAppListReceived"), QStringLiteral("zz.tolvane"),
                           [&](const DistributedNotificationCenter::Notification& n) { heard << n; });
    DistributedNotificationCenter::setDefaultCenter(&agentSide);

    buildModel();
    configuration().sendConf();
    const bool arrived = processEventsUntil([&] { return !heard.isEmpty(); });
    DistributedNotificationCenter::setDefaultCenter(&m_center.center());
    ASSERT_TRUE(arrived);
    const QVariantMap info = heard.at(0).userInfo;
    EXPECT_EQ(info.keys(), (QStringList{"AppList", "ExclusionList", "RecordList"}));
    EXPECT_EQ(info.value("AppList").toList().at(0).toMap().value("appMatches").toList(),
              (QVariantList{QStringLiteral("@10.0.0.0/8"), QStringLiteral("#_range1:1024")}));
    EXPECT_EQ(info.value("RecordList").toList().size(), 5);
}

// Past what the bus carries, libdbus once aborted the agent at exit and
// nothing was sent. Neither post goes out now: the log and the user are told,
// and the daemon keeps the configuration it stored.
TEST_F(ConfigurationWriterTest, AConfigurationTooLargeForTheBusIsRefusedAndTheStoredOneKept)
{
    PrivateBus bus;
    ASSERT_TRUE(bus.isRunning());
    DBusDistributedNotificationCenter agentSide;
    DBusDistributedNotificationCenter daemonSide;
    const QString stored = rootPath(QStringLiteral("/etc/palisor.conf"));
    writeText(stored, "the stored configuration");
    // Stands in for the daemon, which writes what it receives.
    QStringList heard;
    daemonSide.addObserver(QString(), QString(), [&](const DistributedNotificationCenter::Notification& n) {
        heard << n.name;
        if (n.name != QStringLiteral("marker"))
            writeText(stored, "replaced");
    });
    DistributedNotificationCenter::setDefaultCenter(&agentSide);

    // Both posts carry the binaries; one text just past the limit.
    auto app = std::make_shared<PAApplication>(
        QStringLiteral("Big.app"),
        QStringList{QString(DistributedNotificationCenter::kMaxUserInfoBytes, QLatin1Char('b'))}, true, false,
        QStringLiteral("/Applications/Big.app"));
    sharedAppsLibrary.push_back(app);
    CapturedLog log;
    const bool written = configuration().writeConf(rootPath(QStringLiteral("/_")), true, true);
    configuration().sendConf();
    agentSide.postNotificationName(QStringLiteral("marker"), QStringLiteral("test"));
    agentSide.flush();
    const bool markerArrived = processEventsUntil([&] { return heard.contains(QStringLiteral("marker")); });
    DistributedNotificationCenter::setDefaultCenter(&m_center.center());
    sharedAppsLibrary.clear();

    EXPECT_FALSE(written);
    ASSERT_TRUE(markerArrived);
    EXPECT_EQ(heard, QStringList{"marker"});
    QFile file(stored);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "the stored configuration");
    for (const char* name : {"writePalisorConfiguration", "newAppListReceived"})
        EXPECT_EQ(log.count(QStringLiteral("\"%1\" was not posted").arg(QLatin1String(name))), 1) << name;
    ASSERT_EQ(m_alerts->shown().size(), 2);
    EXPECT_EQ(m_alerts->shown().at(0).messageText, "The configuration is too large to send");
    EXPECT_EQ(
        m_alerts->shown().at(0).informativeText,
        "The firewall did not receive it and keeps the configuration it had. Remove some apps or rules, "
        "then try again.");
}

} // namespace
