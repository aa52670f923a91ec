#include "app/MainInterface.h"
#include "core/PAApplication.h"
#include "core/PAConfiguration.h"
#include "core/PAExclusion.h"
#include "core/PAManagedRecords.h"
#include "core/PARuleLists.h"
#include "core/SharedState.h"
#include "mainwindow/PAController.h"
#include "platform/KeyedArchive.h"
#include "platform/PropertyList.h"
#include "ruleeditors/PAExclusionController.h"
#include "ruleeditors/PAManagedRecordsController.h"
#include "setup/PAUpdateController.h"
#include "support/CapturedLog.h"
#include "support/EventLoop.h"
#include "support/HostileInputs.h"
#include "support/SharedStateReset.h"
#include "support/widgets/AgentFixture.h"

#include <QDateTime>
#include <QDir>

#include <gtest/gtest.h>

#include <limits>

namespace {

QVariantMap appRecord(const QString& name, const QString& path, qint64 state, const QStringList& matches = {},
                      bool bundle = true)
{
    return QVariantMap{
        {"PalisorClassName", QStringLiteral("PAApplication")},
        {"appName", name},
        {"appPath", path},
        {"appBinaries", QVariantList{name + QStringLiteral("/")}},
        {"appIsBundle", bundle},
        {"appIsBlockedOrAllowed", state},
        {"appMatches", QVariant(matches)},
    };
}

QVariantMap folderRecord(const QString& path, qint64 rule)
{
    return QVariantMap{{"PalisorClassName", QStringLiteral("PAExclusion")},
                       {"path", path},
                       {"rule", rule},
                       {"ignored", false},
                       {"hardcoded", false}};
}

QVariantMap ruleRecord(const QString& text, qint64 type, qint64 rule)
{
    return QVariantMap{{"PalisorClassName", QStringLiteral("PAManagedRecords")},
                       {"record", text},
                       {"type", type},
                       {"rule", rule}};
}

// A preferences record with every key the writer writes.
QVariantMap fullPreferences()
{
    return QVariantMap{
        {"PalisorClassName", QStringLiteral("PAPreferences")},
        {"notificationDefaultChoice", 2},
        {"notificationDefaultTime", 30},
        {"reverseIPAddressInAppsPopover", false},
        {"enableNotifications", true},
        {"notificationsTimeOut", 90.0},
        {"quietTime", 15.0},
        {"quietMaxTime", 120.0},
        {"quietButtonState", 1},
        {"notificationWindowHeight2", 220.0},
        {"presetName", QStringLiteral("Office")},
        {"presetDescription", QStringLiteral("At the office")},
        {"presetLocationID", QStringLiteral("loc-1")},
        {"presetLocationName", QStringLiteral("Office")},
        {"displayAlertWhenSwitchingLocationAwarenessPreset", false},
        {"windowStyle", QStringLiteral("mini")},
        {"xoffset", 10.0},
        {"yoffset", 20.0},
        {"prefsBlockRoot", false},
        {"connectionsTTL", 45.0},
        {"activateLogging", true},
        {"autoupdate", true},
        {"popSound", true},
        {"soundName", QStringLiteral("Glass")},
        {"passAppWhenNotificationExpires", false},
        {"passOrBlockTemp", false},
        {"automaticXPC", true},
        {"loggaSuFile", true},
        {"isLocked", true},
    };
}

QVariant wrappedArchive(const QVariant& archive)
{
    return QVariantList{QVariantMap{{"PalisorClassName", QStringLiteral("PalisorConfiguration")},
                                    {"PalisorConfiguration", archive}}};
}

QVariant uid(quint64 value)
{
    return QVariant::fromValue(PlistUid{value});
}

// A hand-made archive of one preferences record whose "x" holds the array
// at UID 6; `levels` are the arrays from UID 6 on, each given the UIDs it
// holds. Its last UID is a string, then come the two class records.
QByteArray preferencesArchive(const std::vector<QVariantList>& levels)
{
    const quint64 leaf = 6 + levels.size();
    const quint64 arrayClass = leaf + 1;
    const auto record = [](const QVariantMap& fields, quint64 classUid) {
        QVariantMap r = fields;
        r.insert(QStringLiteral("$class"), uid(classUid));
        return r;
    };
    QVariantList objects{
        QStringLiteral("$null"),
        record({{"NS.objects", QVariantList{uid(2)}}}, arrayClass),
        record({{"NS.keys", QVariantList{uid(3), uid(4)}}, {"NS.objects", QVariantList{uid(5), uid(6)}}},
               arrayClass + 1),
        QStringLiteral("PalisorClassName"),
        QStringLiteral("x"),
        QStringLiteral("PAPreferences"),
    };
    for (const QVariantList& refs : levels)
        objects.append(record({{"NS.objects", refs}}, arrayClass));
    objects.append(QStringLiteral("leaf"));
    objects.append(QVariantMap{{"$classname", QStringLiteral("NSArray")}});
    objects.append(QVariantMap{{"$classname", QStringLiteral("NSDictionary")}});
    return PropertyList::toData(QVariantMap{{"$archiver", QStringLiteral("NSKeyedArchiver")},
                                            {"$version", 100000},
                                            {"$top", QVariantMap{{"root", uid(1)}}},
                                            {"$objects", objects}},
                                PropertyList::Format::Binary);
}

class ConfigurationLoaderTest : public AgentFixture
{
protected:
    bool load(const QVariant& content, bool binary = false)
    {
        const QString path = rootPath(QStringLiteral("/etc/palisor.conf"));
        writePlist(path, content, binary);
        return configuration().loadConf(path);
    }

    QVariantList sampleRecords()
    {
        return QVariantList{
            fullPreferences(),
            folderRecord(QStringLiteral("/opt/b"), 1),
            folderRecord(QStringLiteral("/opt/a"), 0),
            ruleRecord(QStringLiteral("10.0.0.0/8"), 1, 1),
            ruleRecord(QStringLiteral("53"), 2, 0),
            appRecord(QStringLiteral("Mail.app"), QStringLiteral("/Applications/Mail.app"), 4,
                      {QStringLiteral("@1.2.3.4"), QStringLiteral("#80")}),
            appRecord(QStringLiteral("curl"), QStringLiteral("/usr/bin/curl"), 0, {QStringLiteral("@443")},
                      false),
        };
    }

    static QStringList names(const std::vector<std::shared_ptr<PAApplication>>& apps)
    {
        QStringList result;
        for (const auto& app : apps)
            result << app->appName();
        return result;
    }
};

TEST_F(ConfigurationLoaderTest, PlainAndEncodedFilesRebuildTheWholeModel)
{
    for (const bool encoded : {false, true}) {
        SCOPED_TRACE(encoded ? "encoded" : "plain");
        resetSharedState();
        const QVariantList records = sampleRecords();
        const QVariant content = encoded ? QVariant(QVariantList{QVariantMap{
                                               {"PalisorClassName", QStringLiteral("PalisorConfiguration")},
                                               {"PalisorConfiguration", KeyedArchive::archive(records)},
                                               {"PalisorVersion", QStringLiteral("1.0.0")}}})
                                         : QVariant(records);
        ASSERT_TRUE(load(content, encoded));

        EXPECT_EQ(names(sharedAppsLibrary), (QStringList{"Mail.app", "curl"}));
        EXPECT_EQ(names(controller().appsLibrary), names(sharedAppsLibrary));
        EXPECT_EQ(sharedAppsLibrary.at(0), controller().appsLibrary.at(0)) << "the same app objects";
        const auto& mail = *sharedAppsLibrary.at(0);
        EXPECT_EQ(mail.appIsBlockedOrAllowed(), 4);
        EXPECT_TRUE(mail.appIsYellow());
        EXPECT_EQ(mail.appLocalizedName(), "Mail") << "a missing bundle shows its name without .app";
        const auto& curl = *sharedAppsLibrary.at(1);
        EXPECT_EQ(curl.appMatches(), QStringList{"@443"}) << "state 0 keeps the stored matches";

        ASSERT_EQ(exclusionsList.size(), 2u);
        EXPECT_EQ(exclusionsList.at(0)->path(), "/opt/b");
        EXPECT_EQ(m_interface->exclusionController()->exlusionsLibrary.size(), 2u);
        ASSERT_EQ(recordsList.size(), 2u);
        EXPECT_EQ(recordsList, m_interface->recordsController()->recordsLibrary);
        EXPECT_EQ(recordsList.at(1)->type(), 2);

        EXPECT_TRUE(enableNotifications);
        EXPECT_EQ(notificationDefaultTime, 30);
        EXPECT_DOUBLE_EQ(notificationsTimeOut, 90.0);
        EXPECT_DOUBLE_EQ(quietMaxTime, 60.0) << "quietMaxTime is written, never read back";
        EXPECT_EQ(windowStyle, "mini");
        EXPECT_EQ(presetLocationID, "loc-1");
        EXPECT_TRUE(isLocked);
        EXPECT_FALSE(autoupdate) << "autoupdate comes from the user defaults only";

        // Published after the load, with the root and XPC options.
        EXPECT_EQ(m_center->postedNames(),
                  (QStringList{"loadKext", "newAppListReceived", "rootPermissions", "xpcOption"}));
        m_center->clear();
    }
}

TEST_F(ConfigurationLoaderTest, WriteThenLoadKeepsEveryRecordOrderAndType)
{
    ASSERT_TRUE(load(sampleRecords()));
    for (const bool encoded : {false, true}) {
        SCOPED_TRACE(encoded ? "encoded" : "plain");
        const QString path = rootPath(encoded ? QStringLiteral("/x.enc") : QStringLiteral("/x.plain"));
        ASSERT_TRUE(configuration().writeConf(path, encoded, false));
        const auto before = PropertyList::readFile(rootPath(QStringLiteral("/etc/palisor.conf")));
        ASSERT_TRUE(configuration().loadConf(path));
        const QString again = rootPath(QStringLiteral("/again"));
        ASSERT_TRUE(configuration().writeConf(again, false, false));
        const QVariantList rewritten = PropertyList::readFile(again)->toList();
        // The preferences record carries quietMaxTime and autoupdate as the
        // running agent has them; everything else must come back unchanged.
        QVariantList original = before->toList();
        QVariantMap preferences = original.takeFirst().toMap();
        QVariantList rest = rewritten;
        QVariantMap rewrittenPreferences = rest.takeFirst().toMap();
        for (const char* key : {"quietMaxTime", "autoupdate"}) {
            preferences.remove(key);
            rewrittenPreferences.remove(key);
        }
        EXPECT_EQ(rewrittenPreferences, preferences);
        EXPECT_EQ(rest, original);
    }
}

TEST_F(ConfigurationLoaderTest, AMissingFileChangesNothing)
{
    ASSERT_TRUE(load(sampleRecords()));
    m_center->clear();
    EXPECT_FALSE(configuration().loadConf(rootPath(QStringLiteral("/nothing/here"))));
    EXPECT_EQ(sharedAppsLibrary.size(), 2u);
    EXPECT_TRUE(enableNotifications);
    EXPECT_TRUE(m_center->posts().isEmpty());
}

TEST_F(ConfigurationLoaderTest, WrapperCountDecidesHowTheFileIsRead)
{
    const QVariantMap wrapper{{"PalisorClassName", QStringLiteral("PalisorConfiguration")},
                              {"PalisorConfiguration", KeyedArchive::archive(sampleRecords())}};
    ASSERT_TRUE(load(QVariantList{wrapper, fullPreferences(), wrapper}));
    EXPECT_TRUE(sharedAppsLibrary.empty()) << "two wrappers are a plain array, the wrappers not ours to read";
    EXPECT_EQ(windowStyle, "mini");
    ASSERT_EQ(unreadRecords.size(), 2u);
    EXPECT_EQ(unreadRecords.at(1).index, 2);
}

TEST_F(ConfigurationLoaderTest, BundleAppsComeBackWithTheirBundlePathAndDisplayName)
{
    const QString bundle = rootPath(QStringLiteral("/Applications/Notes.app"));
    writePlist(bundle + QStringLiteral("/Contents/Info.plist"),
               QVariantMap{{"CFBundleDisplayName", QStringLiteral("My Notes")}});
    ASSERT_TRUE(load(QVariantList{
        appRecord(QStringLiteral("Mail.app"), QStringLiteral("/Applications/Mail.app/Contents/MacOS/Mail"),
                  0),
        appRecord(QStringLiteral("B"), QStringLiteral("/Applications/A.app/Contents/B.app/x"), 0),
        appRecord(QStringLiteral("tool"), QStringLiteral("//usr//bin/tool"), 0),
        appRecord(QStringLiteral("plain"), QStringLiteral("/usr/bin/plain"), 0, {}, false),
        appRecord(QStringLiteral("Notes.app"), bundle, 1),
        appRecord(QStringLiteral("Other.app"), QStringLiteral("/Applications/Other.app"), 4),
    }));
    ASSERT_EQ(sharedAppsLibrary.size(), 6u);
    EXPECT_EQ(sharedAppsLibrary.at(0)->appPath(), "/Applications/Mail.app");
    EXPECT_EQ(sharedAppsLibrary.at(1)->appPath(), "/Applications/A.app");
    EXPECT_EQ(sharedAppsLibrary.at(2)->appPath(), "/usr/bin/tool");
    EXPECT_EQ(sharedAppsLibrary.at(3)->appPath(), "/usr/bin/plain");
    EXPECT_EQ(sharedAppsLibrary.at(4)->appLocalizedName(), "My Notes");
    EXPECT_EQ(sharedAppsLibrary.at(4)->appLocalizedNameCentered(), "My Notes");
    EXPECT_TRUE(sharedAppsLibrary.at(4)->appIsBlocked());
    EXPECT_EQ(sharedAppsLibrary.at(5)->appLocalizedName(), "Other");
}

// A large load looks at its paths together, several at a time: each app must
// still get its own answer, in the file's order.
TEST_F(ConfigurationLoaderTest, EveryAppOfALargeLoadKnowsWhetherItsPathExists)
{
    constexpr int count = 2000;
    QVariantList records;
    for (int i = 0; i < count; ++i) {
        const QString bundle = rootPath(QStringLiteral("/Applications/App %1.app").arg(i));
        if (i % 7 == 0)
            writePlist(bundle + QStringLiteral("/Contents/Info.plist"),
                       QVariantMap{{"CFBundleDisplayName", QStringLiteral("Shown %1").arg(i)}});
        records << appRecord(QStringLiteral("App %1.app").arg(i), bundle, 0);
    }
    ASSERT_TRUE(load(records, true));
    ASSERT_EQ(sharedAppsLibrary.size(), size_t(count));
    for (int i = 0; i < count; ++i) {
        const PAApplication& app = *sharedAppsLibrary.at(size_t(i));
        SCOPED_TRACE(i);
        EXPECT_EQ(app.appExists(), i % 7 == 0);
        EXPECT_EQ(app.appLocalizedName(),
                  i % 7 == 0 ? QStringLiteral("Shown %1").arg(i) : QStringLiteral("App %1").arg(i));
    }
}

// Made by tests/fixtures/make_foundation_configuration.py in the shape the
// desktop Foundation archiver writes: mutable classes, strings as objects,
// shared UIDs, a binary outer plist.
TEST_F(ConfigurationLoaderTest, LoadsAFoundationArchive)
{
    m_alerts->setHoldSheets(true);
    ASSERT_TRUE(configuration().loadConf(
        QStringLiteral(PALISOR_TEST_SOURCE_DIR "/fixtures/foundation-encoded.conf")));
    EXPECT_EQ(names(sharedAppsLibrary), (QStringList{"Safari.app", "curl"}));
    const auto& safari = *sharedAppsLibrary.at(0);
    EXPECT_EQ(safari.appIsBlockedOrAllowed(), 3);
    EXPECT_TRUE(safari.appGreenShadow());
    EXPECT_EQ(safari.appMatches(), (QStringList{"@17.0.0.0/8", "@443"}));
    EXPECT_EQ(safari.appBinaries(), QStringList{"Safari.app/"});
    EXPECT_TRUE(sharedAppsLibrary.at(1)->appIsYellow());
    ASSERT_EQ(exclusionsList.size(), 1u);
    EXPECT_EQ(exclusionsList.at(0)->path(), "/Applications/Utilities");
    ASSERT_EQ(recordsList.size(), 1u);
    EXPECT_EQ(recordsList.at(0)->record(), "17.0.0.0/8");
    EXPECT_TRUE(enableNotifications);
    EXPECT_DOUBLE_EQ(notificationsTimeOut, 75.0);
    EXPECT_EQ(notificationDefaultTime, 15);
    EXPECT_EQ(soundName, "Tink");
    EXPECT_EQ(m_alerts->shown().size(), 0) << "automaticXPC is set in this file";
}

// A newer or damaged writer's records are not the agent's to read, nor to
// drop: each goes back at its index, the rest of the file as it was.
TEST_F(ConfigurationLoaderTest, OtherKindsAreKeptAndWrittenBackInPlace)
{
    const QVariantMap misspelt{{"PalisorClassName", QStringLiteral("PAapplication")},
                               {"appName", QStringLiteral("Lost.app")},
                               {"appMatches", QVariantList{QStringLiteral("@443")}}};
    const QVariantMap newer{{"PalisorClassName", QStringLiteral("SomethingNew")},
                            {"x", 1LL},
                            {"nested", QVariantMap{{"y", QVariantList{2.5, QByteArray("d")}}}}};
    QVariantList records = sampleRecords();
    records.insert(0, newer);
    records.insert(4, misspelt);
    records.append(misspelt);
    // As the file holds them (a list of strings is a list), without the two
    // preferences the running agent writes its own way.
    const auto withoutRunningPreferences = [](const QVariantList& records) {
        QVariantList array =
            PropertyList::fromData(PropertyList::toData(records, PropertyList::Format::Binary))->toList();
        for (QVariant& record : array) {
            QVariantMap map = record.toMap();
            if (map.value("PalisorClassName") != QStringLiteral("PAPreferences"))
                continue;
            map.remove("quietMaxTime");
            map.remove("autoupdate");
            record = map;
        }
        return array;
    };
    const QString out = rootPath(QStringLiteral("/out"));
    for (const bool encoded : {false, true}) {
        SCOPED_TRACE(encoded ? "encoded" : "plain");
        CapturedLog log;
        ASSERT_TRUE(load(encoded ? wrappedArchive(KeyedArchive::archive(records)) : QVariant(records)));
        EXPECT_EQ(sharedAppsLibrary.size(), 2u);
        EXPECT_EQ(log.count(QStringLiteral("2 record(s) of kind \"PAapplication\", which this agent does not "
                                           "read")),
                  1);
        EXPECT_EQ(log.count(QStringLiteral("1 record(s) of kind \"SomethingNew\"")), 1);

        ASSERT_TRUE(configuration().writeConf(out, false, false));
        EXPECT_EQ(withoutRunningPreferences(PropertyList::readFile(out)->toList()),
                  withoutRunningPreferences(records));
        ASSERT_TRUE(configuration().writeConf(out, true, false));
        const QVariantMap wrapper = PropertyList::readFile(out)->toList().at(0).toMap();
        EXPECT_EQ(withoutRunningPreferences(
                      KeyedArchive::unarchive(wrapper.value("PalisorConfiguration").toByteArray())->toList()),
                  withoutRunningPreferences(records));
    }

    // Fewer records than when read: an index past the end is the end.
    ruleLists().replaceApps({});
    ASSERT_TRUE(configuration().writeConf(out, false, false));
    QStringList kinds;
    for (const QVariant& record : PropertyList::readFile(out)->toList())
        kinds << record.toMap().value("PalisorClassName").toString();
    EXPECT_EQ(kinds, (QStringList{"SomethingNew", "PAPreferences", "PAExclusion", "PAExclusion",
                                  "PAapplication", "PAManagedRecords", "PAManagedRecords", "PAapplication"}));

    // A plain file's date cannot go into an archive: that record alone stays
    // out of the encoded form.
    QVariantList dated{fullPreferences(), QVariantMap{{"PalisorClassName", QStringLiteral("Dated")},
                                                      {"when", QDateTime::fromSecsSinceEpoch(0, Qt::UTC)}}};
    ASSERT_TRUE(load(dated));
    CapturedLog log;
    ASSERT_TRUE(configuration().writeConf(out, true, false));
    const QVariantMap wrapper = PropertyList::readFile(out)->toList().at(0).toMap();
    const QVariantList archived =
        KeyedArchive::unarchive(wrapper.value("PalisorConfiguration").toByteArray())->toList();
    ASSERT_EQ(archived.size(), 1);
    EXPECT_EQ(archived.at(0).toMap().value("PalisorClassName"), "PAPreferences");
    EXPECT_EQ(log.count(QStringLiteral("left out of the encoded configuration")), 1);
}

// Kinds are the file's text: they reach the log without line breaks, and a
// file of many invented kinds gives a few lines, not one per kind.
TEST_F(ConfigurationLoaderTest, UnreadKindsAreLoggedSafelyAndBriefly)
{
    QVariantList records{fullPreferences()};
    for (int i = 0; i < 25; ++i)
        records.append(QVariantMap{
            {"PalisorClassName", QStringLiteral("Kind%1\nforged line").arg(i, 2, 10, QLatin1Char('0'))}});
    CapturedLog log;
    ASSERT_TRUE(load(records));
    EXPECT_EQ(log.count(QStringLiteral("which this agent does not read")), 10);
    EXPECT_EQ(log.count(QStringLiteral("\"Kind00?forged line\"")), 1);
    EXPECT_EQ(log.count(QStringLiteral("records of 15 more kinds")), 1);
    EXPECT_EQ(log.count(QStringLiteral("\nforged")), 0);
}

// Texts longer than a path can be would cost the apps index a node and a
// hash per character: such a file is refused before anything is built.
TEST_F(ConfigurationLoaderTest, OverlongTextsAndTooManyRecordsAreRefused)
{
    constexpr qsizetype limit = PAConfigurationRecords::kMaxTextLength;
    const QString longest(limit, QLatin1Char('a'));
    const QString tooLong(limit + 1, QLatin1Char('a'));
    const auto withApp = [&](const char* key, const QVariant& value) {
        QVariantMap app = appRecord(QStringLiteral("x"), QStringLiteral("/x"), 0);
        app[key] = value;
        return app;
    };
    const std::vector<std::pair<const char*, QVariantMap>> cases = {
        {"appName", withApp("appName", tooLong)},
        {"appPath", withApp("appPath", tooLong)},
        {"appBinaries", withApp("appBinaries", QVariantList{QStringLiteral("x"), tooLong})},
        {"appMatches", withApp("appMatches", QVariantList{tooLong})},
        {"path", folderRecord(tooLong, 0)},
        {"record", ruleRecord(tooLong, 0, 0)},
    };
    ASSERT_TRUE(load(sampleRecords()));
    for (const auto& [key, record] : cases) {
        for (const bool encoded : {false, true}) {
            SCOPED_TRACE(testing::Message() << key << (encoded ? " encoded" : " plain"));
            QVariantList records = sampleRecords();
            records.append(record);
            m_center->clear();
            CapturedLog log;
            EXPECT_FALSE(load(encoded ? wrappedArchive(KeyedArchive::archive(records)) : QVariant(records)));
            EXPECT_EQ(log.count(QStringLiteral("\"%1\" is longer than a path can be").arg(key)), 1);
            EXPECT_EQ(names(sharedAppsLibrary), (QStringList{"Mail.app", "curl"}));
            EXPECT_TRUE(m_center->posts().isEmpty());
        }
    }

    // A name of 100 MB, which once held the agent for minutes.
    QVariantMap huge = appRecord(QStringLiteral("x"), QStringLiteral("/x"), 0);
    huge["appName"] = QString(100 * 1000 * 1000, QLatin1Char('n'));
    QVariantList records{fullPreferences(), huge};
    for (const bool encoded : {false, true}) {
        SCOPED_TRACE(encoded ? "encoded" : "plain");
        CapturedLog log;
        EXPECT_FALSE(
            load(encoded ? wrappedArchive(KeyedArchive::archive(records)) : QVariant(records), true));
        EXPECT_EQ(log.count(QStringLiteral("\"appName\" is longer than a path can be")), 1);
        EXPECT_EQ(names(sharedAppsLibrary), (QStringList{"Mail.app", "curl"}));
    }

    // As long as a path can be is still a path.
    records = sampleRecords();
    QVariantMap longestApp = appRecord(longest, longest, 0, {longest});
    longestApp["appBinaries"] = QVariantList{longest};
    records.append(longestApp);
    ASSERT_TRUE(load(wrappedArchive(KeyedArchive::archive(records)), true));
    EXPECT_EQ(sharedAppsLibrary.back()->appName(), longest);

    // One record past the ceiling, every element the same preferences record:
    // a few megabytes that pass the archive's own bounds.
    const auto archiveOf = [](quint64 count) {
        const QVariantList objects{
            QStringLiteral("$null"),
            QVariantMap{{"NS.objects", QVariantList(qsizetype(count), uid(2))}, {"$class", uid(5)}},
            QVariantMap{
                {"NS.keys", QVariantList{uid(3)}}, {"NS.objects", QVariantList{uid(4)}}, {"$class", uid(6)}},
            QStringLiteral("PalisorClassName"),
            QStringLiteral("PAPreferences"),
            QVariantMap{{"$classname", QStringLiteral("NSArray")}},
            QVariantMap{{"$classname", QStringLiteral("NSDictionary")}},
        };
        return PropertyList::toData(QVariantMap{{"$archiver", QStringLiteral("NSKeyedArchiver")},
                                                {"$version", 100000},
                                                {"$top", QVariantMap{{"root", uid(1)}}},
                                                {"$objects", objects}},
                                    PropertyList::Format::Binary);
    };
    CapturedLog log;
    EXPECT_FALSE(load(wrappedArchive(archiveOf(PAConfigurationRecords::kMaxRecords + 1)), true));
    EXPECT_EQ(log.count(QStringLiteral("more than the 1000000 a configuration may hold")), 1)
        << log.messages().join('\n').toStdString();
    EXPECT_TRUE(load(wrappedArchive(archiveOf(3)), true));

    QString reason;
    EXPECT_TRUE(PAConfigurationRecords::checkRecordCount(PAConfigurationRecords::kMaxRecords));
    EXPECT_FALSE(PAConfigurationRecords::checkRecordCount(PAConfigurationRecords::kMaxRecords + 1, &reason));
    EXPECT_EQ(reason,
              QStringLiteral("it holds 1000001 records, more than the 1000000 a configuration may hold"));
}

// Each of these is refused before anything is replaced: the previous model,
// preferences and alert switch stay.
TEST_F(ConfigurationLoaderTest, MalformedFilesKeepThePreviousModel)
{
    QVariantMap noName = appRecord(QStringLiteral("x"), QStringLiteral("/x"), 0);
    noName.remove("appName");
    QVariantMap wrongType = appRecord(QStringLiteral("x"), QStringLiteral("/x"), 0);
    wrongType["appMatches"] = QStringLiteral("@1.2.3.4");
    QVariantMap badFolder = folderRecord(QStringLiteral("/x"), 0);
    badFolder["ignored"] = QStringLiteral("yes");
    QVariantMap badRule = ruleRecord(QStringLiteral("1.2.3.4"), 0, 0);
    badRule.remove("type");
    const auto wrapped = [](const QVariant& data) {
        return QVariantList{QVariantMap{{"PalisorClassName", QStringLiteral("PalisorConfiguration")},
                                        {"PalisorConfiguration", data}}};
    };

    QVariantList onlyUnread{QVariantMap{{"PalisorClassName", QStringLiteral("PAapplication")}}};
    // One flipped letter in the wrapper's class.
    QVariantMap flipped{{"PalisorClassName", QStringLiteral("PalisorConfiguratioo")},
                        {"PalisorConfiguration", KeyedArchive::archive(sampleRecords())},
                        {"PalisorVersion", QStringLiteral("1.0.0")}};
    const QVariantMap wrapper{{"PalisorClassName", QStringLiteral("PalisorConfiguration")},
                              {"PalisorConfiguration", KeyedArchive::archive(sampleRecords())}};
    const std::vector<std::pair<const char*, QVariant>> cases = {
        {"flipped wrapper class", QVariantList{flipped}},
        {"wrapper without data",
         QVariantList{QVariantMap{{"PalisorClassName", wrapper.value("PalisorClassName")}}}},
        {"two wrappers and nothing else", QVariantList{wrapper, wrapper}},
        {"no record at all", QVariantList{}},
        {"only unread kinds", onlyUnread},
        {"archive of only unread kinds", wrapped(KeyedArchive::archive(onlyUnread))},
        {"not an array", QVariantMap{{"PalisorClassName", QStringLiteral("PAPreferences")}}},
        {"element not a dictionary", QVariantList{fullPreferences(), QStringLiteral("text")}},
        {"no class name", QVariantList{QVariantMap{{"path", QStringLiteral("/x")}}}},
        {"class name not a string", QVariantList{QVariantMap{{"PalisorClassName", 7}}}},
        {"app without a key", QVariantList{noName}},
        {"app value of another type", QVariantList{wrongType}},
        {"folder value of another type", QVariantList{badFolder}},
        {"rule without a key", QVariantList{badRule}},
        {"wrapper data not data", wrapped(QStringLiteral("abc"))},
        {"wrapper data not an archive", wrapped(QByteArray("not an archive"))},
        {"archive of no array", wrapped(KeyedArchive::archive(QVariantMap{{"a", 1}}))},
        {"archive of bad records", wrapped(KeyedArchive::archive(QVariantList{noName}))},
    };

    ASSERT_TRUE(load(sampleRecords()));
    for (const auto& [what, content] : cases) {
        SCOPED_TRACE(what);
        m_center->clear();
        CapturedLog log;
        EXPECT_FALSE(load(content));
        EXPECT_EQ(log.count(QStringLiteral("is malformed")), 1);
        EXPECT_EQ(names(sharedAppsLibrary), (QStringList{"Mail.app", "curl"}));
        EXPECT_EQ(controller().appsLibrary.size(), 2u);
        EXPECT_EQ(exclusionsList.size(), 2u);
        EXPECT_EQ(recordsList.size(), 2u);
        EXPECT_TRUE(enableNotifications);
        EXPECT_EQ(windowStyle, "mini");
        EXPECT_TRUE(m_center->posts().isEmpty());
    }

    // Not a property list at all.
    writeText(rootPath(QStringLiteral("/etc/palisor.conf")), "garbage \x01\x02");
    EXPECT_FALSE(configuration().loadConf(rootPath(QStringLiteral("/etc/palisor.conf"))));
    EXPECT_EQ(sharedAppsLibrary.size(), 2u);
}

// Files a local user can plant in a shared folder: few bytes for billions of
// values, or nesting past any reader's depth. Each is refused quickly, in
// little memory, before anything is replaced, with one line saying why.
TEST_F(ConfigurationLoaderTest, HostileFilesAreRefusedAndKeepThePreviousModel)
{
    const QVariantList wrappedBomb{QVariantMap{{"PalisorClassName", QStringLiteral("PalisorConfiguration")},
                                               {"PalisorConfiguration", HostileInputs::keyedArchiveBomb()}}};
    const struct
    {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"binary bomb", HostileInputs::binaryBomb()},
        {"keyed-archive bomb", PropertyList::toData(wrappedBomb, PropertyList::Format::Binary)},
        {"keyed-archive bomb in XML", PropertyList::toData(wrappedBomb, PropertyList::Format::Xml)},
        {"100,000 nested binary arrays", HostileInputs::nestedBinaryArrays(100000)},
        {"1,000,000 nested XML arrays", HostileInputs::nestedXmlArrays(1000000)},
    };

    ASSERT_TRUE(load(sampleRecords()));
    const QString path = rootPath(QStringLiteral("/etc/palisor.conf"));
    const qint64 before = HostileInputs::peakResidentBytes();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m_center->clear();
        writeText(path, c.bytes);
        CapturedLog log;
        EXPECT_FALSE(configuration().loadConf(path));
        EXPECT_EQ(names(sharedAppsLibrary), (QStringList{"Mail.app", "curl"}));
        EXPECT_EQ(controller().appsLibrary.size(), 2u);
        EXPECT_EQ(exclusionsList.size(), 2u);
        EXPECT_EQ(windowStyle, "mini");
        EXPECT_TRUE(m_center->posts().isEmpty());
        EXPECT_EQ(log.count(QStringLiteral("values")) + log.count(QStringLiteral("levels deep")), 1)
            << log.messages().join(QLatin1Char('\n')).toStdString();
    }
    EXPECT_LT(HostileInputs::peakResidentBytes() - before, HostileInputs::kMemoryAllowance);
}

// A state outside 0-4 has no meaning anywhere in the agent: such a file is
// damaged, refused as a whole before anything is replaced.
TEST_F(ConfigurationLoaderTest, AppStatesOutsideTheKnownOnesAreRefused)
{
    ASSERT_TRUE(load(sampleRecords()));
    for (const qint64 state : {qint64(-1), qint64(5), std::numeric_limits<qint64>::max()}) {
        for (const bool encoded : {false, true}) {
            SCOPED_TRACE(testing::Message() << state << (encoded ? " encoded" : " plain"));
            QVariantList records = sampleRecords();
            records.append(appRecord(QStringLiteral("x"), QStringLiteral("/x"), state));
            m_center->clear();
            CapturedLog log;
            EXPECT_FALSE(load(encoded ? wrappedArchive(KeyedArchive::archive(records)) : QVariant(records)));
            EXPECT_EQ(log.count(QStringLiteral("\"appIsBlockedOrAllowed\" is out of range")), 1);
            EXPECT_EQ(names(sharedAppsLibrary), (QStringList{"Mail.app", "curl"}));
            EXPECT_EQ(controller().appsLibrary.size(), 2u);
            EXPECT_TRUE(m_center->posts().isEmpty());
        }
    }
}

// About a kilobyte must not make the loader build billions of values
// (each level shares its next one nine times over) nor recurse without end.
TEST_F(ConfigurationLoaderTest, ArchivesPastTheReadBoundsAreRefused)
{
    std::vector<QVariantList> shared;
    for (quint64 level = 0; level < 14; ++level)
        shared.push_back(QVariantList(9, uid(7 + level)));
    std::vector<QVariantList> deep;
    for (quint64 level = 0; level < 600; ++level)
        deep.push_back(QVariantList{uid(7 + level)});

    const struct
    {
        const char* name;
        QByteArray archive;
        const char* reason;
    } cases[] = {
        {"shared", preferencesArchive(shared), "too many values"},
        {"deep", preferencesArchive(deep), "nested too deeply"},
    };
    ASSERT_TRUE(load(sampleRecords()));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.archive.isEmpty());
        m_center->clear();
        CapturedLog log;
        EXPECT_FALSE(load(wrappedArchive(c.archive), true));
        EXPECT_EQ(log.count(QString::fromLatin1(c.reason)), 1) << log.messages().join('\n').toStdString();
        EXPECT_EQ(names(sharedAppsLibrary), (QStringList{"Mail.app", "curl"}));
        EXPECT_EQ(windowStyle, "mini");
        EXPECT_TRUE(m_center->posts().isEmpty());
    }

    // Within the bounds the same shapes load.
    shared.resize(3);
    shared.back() = QVariantList(9, uid(9));
    deep.resize(400);
    deep.back() = QVariantList{uid(406)};
    EXPECT_TRUE(load(wrappedArchive(preferencesArchive(shared)), true));
    EXPECT_TRUE(load(wrappedArchive(preferencesArchive(deep)), true));
}

TEST_F(ConfigurationLoaderTest, AbsentPreferenceKeysKeepOrFallBackAsDesigned)
{
    ASSERT_TRUE(load(sampleRecords()));
    m_center->clear();
    m_alerts->setHoldSheets(true);
    ASSERT_TRUE(load(QVariantList{QVariantMap{{"PalisorClassName", QStringLiteral("PAPreferences")},
                                              {"quietMaxTime", 300.0},
                                              {"notificationsTimeOut", 30}}}));
    EXPECT_FALSE(enableNotifications) << "alerts are off after any load without the key";
    EXPECT_DOUBLE_EQ(notificationsTimeOut, 30.0) << "an integer where a real belongs is that real";
    EXPECT_EQ(windowStyle, "mini") << "unchanged";
    EXPECT_EQ(presetName, "Office") << "unchanged";
    EXPECT_EQ(soundName, "Morse");
    EXPECT_FALSE(popSound);
    EXPECT_FALSE(loggaSuFile);
    EXPECT_FALSE(isLocked);
    EXPECT_TRUE(passAppWhenNotificationExpires);
    EXPECT_TRUE(passOrBlockTemp);
    EXPECT_DOUBLE_EQ(quietMaxTime, 60.0);
    EXPECT_FALSE(automaticXPC);
    EXPECT_TRUE(configuration().isAutomaticXPCQuestionOpen());
    const auto xpc = postsNamed(QStringLiteral("xpcOption"));
    ASSERT_EQ(xpc.size(), 1);
    EXPECT_EQ(xpc.at(0).userInfo.value("automaticXPC"), QVariant(false));

    // A value of another type counts as absent.
    ASSERT_TRUE(load(QVariantList{QVariantMap{{"PalisorClassName", QStringLiteral("PAPreferences")},
                                              {"automaticXPC", true},
                                              {"soundName", 5},
                                              {"popSound", 1}}}));
    EXPECT_EQ(soundName, "Morse");
    EXPECT_TRUE(popSound) << "the integer 1 is the Bool true in stored forms";
}

TEST_F(ConfigurationLoaderTest, AutomaticXPCQuestion)
{
    const QVariantList old{
        QVariantMap{{"PalisorClassName", QStringLiteral("PAPreferences")}},
        appRecord(QStringLiteral("svc"), QStringLiteral("/S/x.xpc/Contents/MacOS/svc"), 0, {}, false),
        appRecord(QStringLiteral("Mail.app"), QStringLiteral("/Applications/Mail.app"), 0)};
    m_alerts->setHoldSheets(true);
    ASSERT_TRUE(load(old));
    ASSERT_EQ(m_alerts->shown().size(), 1);
    const Alert& alert = m_alerts->shown().at(0);
    EXPECT_EQ(alert.messageText, "Enable automatic XPC services management?");
    EXPECT_EQ(alert.buttons, (QStringList{"Enable", "Keep disabled"}));
    EXPECT_TRUE(alert.informativeText.contains("This  feature simplifies"));
    EXPECT_TRUE(alert.informativeText.endsWith("Palisor Preferences. "));

    m_center->clear();
    ASSERT_TRUE(m_alerts->answerPendingSheet(AlertSecondButtonReturn));
    EXPECT_FALSE(automaticXPC);
    EXPECT_TRUE(m_center->posts().isEmpty());

    ASSERT_TRUE(load(old));
    ASSERT_TRUE(m_alerts->answerPendingSheet(AlertFirstButtonReturn));
    EXPECT_TRUE(automaticXPC);
    EXPECT_EQ(names(controller().appsLibrary), QStringList{"Mail.app"}) << "XPC services are removed";
    drainEvents();
    const auto xpc = postsNamed(QStringLiteral("xpcOption"));
    ASSERT_FALSE(xpc.isEmpty());
    EXPECT_EQ(xpc.last().userInfo.value("automaticXPC"), QVariant(true));
    EXPECT_EQ(names(sharedAppsLibrary), QStringList{"Mail.app"}) << "published without the services";
}

TEST_F(ConfigurationLoaderTest, AutomaticUpdateTimerIsReplacedNeverDoubled)
{
    autoupdate = true;
    ASSERT_TRUE(load(sampleRecords()));
    ASSERT_TRUE(load(sampleRecords()));
    EXPECT_EQ(m_clock->activeTimerCount(), 1);
    EXPECT_EQ(m_interface->updateController()->checksStarted(), 2);
    m_clock->advance(43200);
    EXPECT_EQ(m_interface->updateController()->checksStarted(), 3);

    autoupdate = false;
    ASSERT_TRUE(load(sampleRecords()));
    EXPECT_EQ(m_clock->activeTimerCount(), 0);
}

TEST_F(ConfigurationLoaderTest, HiddenSystemBinariesStayHiddenAfterALoad)
{
    hideSystemBinaries = true;
    ASSERT_TRUE(load(QVariantList{
        appRecord(QStringLiteral("ls"), QStringLiteral("/usr/sbin/ls"), 0, {}, false),
        appRecord(QStringLiteral("Mail.app"), QStringLiteral("/Applications/Mail.app"), 0),
    }));
    EXPECT_EQ(controller().appsLibrary.size(), 2u);
    ASSERT_EQ(controller().appsLibraryController->arrangedObjects().size(), 1u);
    EXPECT_EQ(controller().appsLibraryController->arrangedObjects().at(0)->appName(), "Mail.app");
}

} // namespace
