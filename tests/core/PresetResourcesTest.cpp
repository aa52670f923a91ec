#include "core/PAConfigurationRecords.h"
#include "platform/Resources.h"

#include <QFile>
#include <QSet>

#include <gtest/gtest.h>

#include <utility>

namespace {

// Every key of a stored preferences record with the property-list type it
// must carry: the loader tolerates looser types, but a preset we ship should
// look exactly like a configuration the agent writes itself.
const std::pair<const char*, QMetaType::Type> kPreferenceKeys[] = {
    {"PalisorClassName", QMetaType::QString},
    {"notificationDefaultChoice", QMetaType::LongLong},
    {"notificationDefaultTime", QMetaType::LongLong},
    {"reverseIPAddressInAppsPopover", QMetaType::Bool},
    {"enableNotifications", QMetaType::Bool},
    {"notificationsTimeOut", QMetaType::Double},
    {"quietTime", QMetaType::Double},
    {"quietMaxTime", QMetaType::Double},
    {"quietButtonState", QMetaType::LongLong},
    {"notificationWindowHeight2", QMetaType::Double},
    {"presetName", QMetaType::QString},
    {"presetDescription", QMetaType::QString},
    {"presetLocationID", QMetaType::QString},
    {"presetLocationName", QMetaType::QString},
    {"displayAlertWhenSwitchingLocationAwarenessPreset", QMetaType::Bool},
    {"windowStyle", QMetaType::QString},
    {"xoffset", QMetaType::Double},
    {"yoffset", QMetaType::Double},
    {"prefsBlockRoot", QMetaType::Bool},
    {"connectionsTTL", QMetaType::Double},
    {"activateLogging", QMetaType::Bool},
    {"autoupdate", QMetaType::Bool},
    {"popSound", QMetaType::Bool},
    {"soundName", QMetaType::QString},
    {"passAppWhenNotificationExpires", QMetaType::Bool},
    {"passOrBlockTemp", QMetaType::Bool},
    {"automaticXPC", QMetaType::Bool},
    {"loggaSuFile", QMetaType::Bool},
    {"isLocked", QMetaType::Bool},
};

struct Folder
{
    const char* path;
    qint64 rule;
};

struct PresetCase
{
    const char* name;
    std::vector<Folder> folders;
};

// "preset0" is the default configuration: every app passes, and its icon
// shows up in the apps view as it connects. "preset1" is the Blind strategy
// (also the resting state under the strategies' options sheet and the
// assistant): every app passes through the Managed Folder "/", so only apps
// the user manages appear. Both are silent.
const PresetCase kPresets[] = {
    {"preset0", {}},
    {"preset1", {{"/", 0}}},
};

PAConfigurationRecords::Configuration loadPreset(const char* name)
{
    const QString path = Resources::pathForResource(QString::fromLatin1(name), QStringLiteral("plist"));
    EXPECT_FALSE(path.isEmpty()) << name << " is missing from the bundle";
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(path);
    QString error;
    const auto configuration = PAConfigurationRecords::parseData(file.readAll(), &error);
    EXPECT_TRUE(configuration.has_value()) << qPrintable(error);
    return configuration.value_or(PAConfigurationRecords::Configuration{});
}

} // namespace

TEST(PresetResourcesTest, BuiltInPresetsAreCompleteSilentConfigurations)
{
    for (const PresetCase& preset : kPresets) {
        SCOPED_TRACE(preset.name);
        const PAConfigurationRecords::Configuration configuration = loadPreset(preset.name);

        ASSERT_EQ(configuration.preferences.size(), 1u);
        const QVariantMap& prefs = configuration.preferences.front();
        QSet<QString> expected;
        for (const auto& [key, type] : kPreferenceKeys) {
            expected.insert(QString::fromLatin1(key));
            const auto it = prefs.constFind(QString::fromLatin1(key));
            ASSERT_NE(it, prefs.constEnd()) << key;
            EXPECT_EQ(it->typeId(), int(type)) << key << " is a " << it->typeName();
        }
        const QStringList keys = prefs.keys();
        EXPECT_EQ(QSet<QString>(keys.begin(), keys.end()), expected);
        EXPECT_EQ(prefs.value(QStringLiteral("PalisorClassName")).toString(),
                  QStringLiteral("PAPreferences"));

        EXPECT_FALSE(prefs.value(QStringLiteral("enableNotifications")).toBool());
        // A preset must never lock the firewall or bind itself to a location.
        EXPECT_FALSE(prefs.value(QStringLiteral("isLocked")).toBool());
        EXPECT_EQ(prefs.value(QStringLiteral("presetLocationID")).toString(), QString());
        EXPECT_EQ(prefs.value(QStringLiteral("windowStyle")).toString(), QStringLiteral("normal"));

        EXPECT_TRUE(configuration.apps.empty());
        EXPECT_TRUE(configuration.records.empty());
        ASSERT_EQ(configuration.exclusions.size(), preset.folders.size());
        for (size_t i = 0; i < preset.folders.size(); ++i) {
            const auto& folder = configuration.exclusions[i];
            EXPECT_EQ(folder.path, QString::fromLatin1(preset.folders[i].path));
            EXPECT_EQ(folder.rule, preset.folders[i].rule);
            EXPECT_FALSE(folder.ignored);
            EXPECT_FALSE(folder.hardcoded);
        }
    }
}
